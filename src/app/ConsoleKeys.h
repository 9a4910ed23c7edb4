#pragma once
// The console's keys: runs the action of the keyboard map (control/KeyMap.h)
// for each key pressed in the console window.
//
// - Keys act only in the console window, only while no text field there has
//   the focus (the search boxes keep every key they take), never while a
//   modal dialog is open, and never with Ctrl, Alt or Meta held (menus and
//   shortcuts keep those). Other windows (the playlist, the editor) keep
//   their keys.
// - Esc in a search box leaves it for the song grid, where the keys act.
// - A key held is a mouse button held: its action is pressed when the key
//   goes down and released when it comes up (a bend lasts as long as its
//   key). The key's release runs wherever it lands, and when the console
//   loses the keyboard every held key is let go.
// - A key that repeats while held runs its action again only when it is a
//   step (KeyMap::repeats); a play, a load or a switch never toggles on a
//   held key, also where the platform does not mark the repeats.

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>

#include "control/KeyMap.h"

class QKeyEvent;
class QWidget;

namespace qdl::control {
class Actions;
}

namespace qdl::app {

class ConsoleKeys : public QObject {
  Q_OBJECT
 public:
  // Watches every key event of the application; `console` is the window
  // the keys act in.
  ConsoleKeys(QWidget* console, control::Actions* actions);

  void setMap(control::KeyMap map) { map_ = std::move(map); }
  const control::KeyMap& map() const { return map_; }
  // The search boxes Esc leaves, and the widget it gives the focus to.
  void setEscape(QList<QWidget*> boxes, QWidget* to);

  // The actions of the keys held now.
  QList<QString> held() const { return held_.values(); }
  // Lets go of every held key.
  void releaseAll();

  // Whether a widget takes typed text (its keys are its own).
  static bool isTextField(const QWidget* widget);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool keyPress(QWidget* receiver, const QKeyEvent& event);
  bool keyRelease(const QKeyEvent& event);

  QWidget* console_;
  control::Actions* actions_;
  control::KeyMap map_;
  QHash<int, QString> held_;  // place -> the action its press ran
  QList<QPointer<QWidget>> escapeBoxes_;
  QPointer<QWidget> escapeTo_;
};

}  // namespace qdl::app
