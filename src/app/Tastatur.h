#pragma once
// The keyboard window ("Tastatur" / "Keyboard", from the settings menu): the
// keyboard map as the console uses it, one line per action with its keys in
// the language's key labels, and the entries of the settings file's [Keys]
// that were left out.

#include <QDialog>
#include <QList>

#include "control/KeyMap.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace qdl::control {
class Actions;
}

class TFormTastatur : public QDialog {
  Q_OBJECT
 public:
  explicit TFormTastatur(QWidget* parent = nullptr);

  // Shows this map with these problems (`file` is the settings file they
  // are in), in the language of the string table.
  void showMap(const qdl::control::KeyMap& map, const QList<qdl::control::KeyProblem>& problems,
               const QString& file);

  QTableWidget* Liste;
  QLabel* lbHinweis;
  QLabel* lbProbleme;
  QPushButton* btClose;
  QPushButton* btHelp;
};

// The line that tells one problem of [Keys] in the string table's language.
QString keyProblemText(const qdl::control::KeyProblem& problem, const QString& file);
// What an action does, in the string table's language ("Links: Play/Pause");
// the action's name for one the table does not describe.
QString keyActionText(const QString& action);
