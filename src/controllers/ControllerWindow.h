#pragma once
// The learn window ("MIDI-Controller" / "MIDI controllers"): the connected
// controllers, the mapping each one follows and its bindings, and learning.
// Learning: pick an action in the list (or click a control of the console
// while "Learn" is down), then move or press a control of the controller;
// the binding is made, saved in the controller's own mapping file, and what
// it replaced is shown. A mapping to start from ("Based on") can be chosen.
// Non-modal; the console plays on while it is open.

#include <QDialog>
#include <QHash>
#include <QPointer>
#include <QString>

#include "platform/midi/MidiParser.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace qdl::controllers {

class Controllers;

class ControllerWindow : public QDialog {
  Q_OBJECT
 public:
  explicit ControllerWindow(Controllers* controllers, QWidget* parent = nullptr);
  ~ControllerWindow() override;

  // The console's controls and the actions they run: a press on one of them
  // while learning picks its action instead of running it.
  void setConsoleControls(const QHash<QWidget*, QString>& controls);
  // Reads the texts of the language table again.
  void applyTexts();

  // Controls; object names equal the member names.
  QComboBox* cbController;
  QLabel* lbMapping;
  QComboBox* cbGrundlage;
  QPushButton* btVerwenden;
  QListWidget* lvAktionen;
  QPushButton* btLernen;
  QLabel* lbStatus;
  QTableWidget* tbBindings;
  QLabel* lbProbleme;
  QPushButton* btSchliessen;

  // The controller chosen in the list, 0 when none.
  int currentController() const;
  // Selects an action (or "links.jog", "shift") in the list.
  bool selectAction(const QString& name);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void fillControllers();
  void fillMapping();
  void fillActions();
  void learnToggled(bool on);
  void heard(int controller, const qdl::midi::MidiMessage& message);
  void useClicked();
  QString selectedAction() const;

  // The controllers may go first when the console is destroyed.
  const QPointer<Controllers> controllers_;
  QHash<QWidget*, QString> controls_;
};

}  // namespace qdl::controllers
