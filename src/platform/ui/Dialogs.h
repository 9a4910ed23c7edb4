#pragma once
// Every message box, modal dialog run, file dialog and printer set-up of
// the program goes through one injectable service, so that tests can answer
// them.
//
// The real service uses Qt. Tests install a ScriptedDialogs (see
// tests/support) that answers from a queue and records what was asked.
// All calls come from the user-interface thread.

#include <QString>
#include <functional>

class QDialog;
class QPrinter;
class QWidget;

namespace qdl::ui {

enum class Buttons { Ok, YesNo };
enum class Answer { Ok, Yes, No };

class DialogService {
 public:
  virtual ~DialogService() = default;

  // A message box with a text, a caption and either one OK button or Yes and
  // No buttons; returns the button pressed (No when a Yes/No box is closed).
  virtual Answer messageBox(QWidget* parent, const QString& text, const QString& caption,
                            Buttons buttons) = 0;

  // The general error display: an error that ended an event handler.
  virtual void showError(QWidget* parent, const QString& text) = 0;

  // Runs a dialog modally and returns its result code (QDialog::Accepted or
  // QDialog::Rejected, or the value given to done()).
  virtual int execDialog(QDialog* dialog) = 0;

  // File dialogs; an empty result means the user cancelled. A saved name
  // ends in "." + defaultSuffix (see withSuffix); the user is asked before
  // an existing file is replaced.
  virtual QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter) = 0;
  virtual QString saveFileName(QWidget* parent, const QString& caption, const QString& folder,
                               const QString& filter, const QString& defaultSuffix) = 0;

  // The printer set-up: the user chooses a printer (or a PDF file) and its
  // settings on `printer`; false when cancelled, and the printer is as it
  // was. okText is the caption of the confirming button.
  virtual bool printerSetup(QWidget* parent, QPrinter& printer, const QString& caption,
                            const QString& okText) = 0;
};

// The service in use; the Qt one unless a test installed another.
DialogService& dialogs();

// Installs a service (not owned) and returns the previous one; nullptr
// restores the Qt service.
DialogService* setDialogs(DialogService* service);

// `fileName` with "." + suffix appended unless it already ends so, letter
// case aside: "Gig 24.12" becomes "Gig 24.12.qdp", "Set.QDP" stays.
QString withSuffix(const QString& fileName, const QString& suffix);

// Shorthands for the system's own message boxes.
inline void showMessage(QWidget* parent, const QString& text, const QString& caption) {
  dialogs().messageBox(parent, text, caption, Buttons::Ok);
}
inline bool askYesNo(QWidget* parent, const QString& text, const QString& caption) {
  return dialogs().messageBox(parent, text, caption, Buttons::YesNo) == Answer::Yes;
}

// Runs f; an exception that escapes it is shown by the general error display
// and swallowed, so the program goes on. Returns false when one escaped.
bool guarded(QWidget* parent, const std::function<void()>& f);

}  // namespace qdl::ui
