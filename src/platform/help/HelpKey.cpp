#include "platform/help/HelpKey.h"

#include <QApplication>
#include <QCursor>
#include <QShortcut>
#include <QVariant>
#include <QWidget>

#include "platform/help/Help.h"

namespace qdl::help {
namespace {
const char* const kContext = "qdlHelpContext";
const char* const kFile = "qdlHelpFile";
}  // namespace

void setHelpContext(QWidget* widget, int context) { widget->setProperty(kContext, context); }

int helpContextOf(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget()) {
    const QVariant v = w->property(kContext);
    if (v.isValid() && v.toInt() != 0) return v.toInt();
  }
  return 0;
}

void setHelpFile(QWidget* window, const QString& helpFile) { window->setProperty(kFile, helpFile); }

QString helpFileOf(const QWidget* widget) {
  const QWidget* w = widget ? widget->window() : nullptr;
  return w ? w->property(kFile).toString() : QString();
}

void helpKeyPressed(QWidget* widget) {
  const QString file = helpFileOf(widget);
  const int context = helpContextOf(widget);
  if (context != 0)
    showTopic(file, context);
  else
    showContents(file);
}

void attachHelpKey(QWidget* window) {
  auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), window);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, window, [window] {
    QWidget* under = QApplication::widgetAt(QCursor::pos());
    if (!under || under->window() != window) under = QApplication::focusWidget();
    if (!under || under->window() != window) under = window;
    helpKeyPressed(under);
  });
}

}  // namespace qdl::help
