// The console's keys: from a key event to a press or release of the action
// the keyboard map names for the key's place.

#include "app/ConsoleKeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "control/Actions.h"

namespace qdl::app {

ConsoleKeys::ConsoleKeys(QWidget* console, control::Actions* actions)
    : QObject(console), console_(console), actions_(actions) {
  qApp->installEventFilter(this);
}

void ConsoleKeys::setEscape(QList<QWidget*> boxes, QWidget* to) {
  escapeBoxes_.clear();
  for (QWidget* b : boxes) escapeBoxes_.append(b);
  escapeTo_ = to;
}

bool ConsoleKeys::isTextField(const QWidget* widget) {
  if (!widget) return false;
  if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
      qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QAbstractSpinBox*>(widget))
    return true;
  const auto* combo = qobject_cast<const QComboBox*>(widget);
  return combo && combo->isEditable();
}

void ConsoleKeys::releaseAll() {
  const QHash<int, QString> held = std::exchange(held_, {});
  for (const QString& action : held) {
    const std::optional<control::ActionInfo> info = actions_->info(action);
    if (info && info->kind == control::ActionKind::PressRelease) actions_->release(action);
  }
}

bool ConsoleKeys::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      auto* receiver = qobject_cast<QWidget*>(watched);
      if (!receiver || receiver->window() != console_) return false;
      return keyPress(receiver, static_cast<const QKeyEvent&>(*event));
    }
    case QEvent::KeyRelease:
      // Wherever it lands: a key held in the console may come up anywhere.
      return watched->isWidgetType() && keyRelease(static_cast<const QKeyEvent&>(*event));
    case QEvent::WindowDeactivate:
      if (watched == console_) releaseAll();
      return false;
    default:
      return false;
  }
}

bool ConsoleKeys::keyPress(QWidget* receiver, const QKeyEvent& event) {
  if (event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  if (QApplication::activeModalWidget()) return false;
  // The widget the key is meant for: the decision is the same for each
  // widget a key event passes on its way up.
  QWidget* focus = QApplication::focusWidget();
  if (!focus || focus->window() != console_) focus = receiver;
  if (event.key() == Qt::Key_Escape && escapeTo_ && escapeBoxes_.contains(focus)) {
    if (!event.isAutoRepeat()) escapeTo_->setFocus(Qt::ShortcutFocusReason);
    return true;
  }
  if (isTextField(focus)) return false;
  const int place = control::keyPlace(event.nativeScanCode(), event.key());
  const QString action = map_.actionOf(place);
  if (action.isEmpty()) return false;
  if (event.isAutoRepeat() || held_.contains(place)) {
    // Held down: only a step runs again.
    if (control::KeyMap::repeats(action)) actions_->press(action);
    return true;
  }
  held_.insert(place, action);
  actions_->press(action);
  return true;
}

bool ConsoleKeys::keyRelease(const QKeyEvent& event) {
  const int place = control::keyPlace(event.nativeScanCode(), event.key());
  if (!held_.contains(place)) return false;
  // The release half of a repeat: the key is still down.
  if (event.isAutoRepeat()) return true;
  const QString action = held_.take(place);
  const std::optional<control::ActionInfo> info = actions_->info(action);
  if (info && info->kind == control::ActionKind::PressRelease) actions_->release(action);
  return true;
}

}  // namespace qdl::app
