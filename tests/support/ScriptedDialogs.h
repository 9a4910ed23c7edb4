#pragma once
// A dialog service for tests: answers message boxes and file dialogs from
// queues, runs modal dialogs through a handler instead of a nested event
// loop, and records everything it was asked.

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

#include "platform/ui/Dialogs.h"

namespace qdl::test {

struct AskedBox {
  QString text;
  QString caption;
  ui::Buttons buttons;
};

class ScriptedDialogs : public ui::DialogService {
 public:
  ScriptedDialogs();
  ~ScriptedDialogs() override;

  // Answers for the next Yes/No boxes, in order; Yes/No boxes beyond the
  // queue are answered No. OK boxes need no answer.
  std::deque<ui::Answer> answers;
  // Names returned by the next file dialogs; an empty queue means cancel.
  std::deque<QString> fileNames;
  // Handler for modal dialogs: the dialog is shown (so its show handler
  // runs), the handler acts on it (clicks OK, Cancel, ...) and the dialog's
  // result is returned. Without a handler the dialog is rejected.
  std::function<void(QDialog*)> onDialog;
  // Handler for the printer set-up: it may change the printer and returns
  // whether the set-up was confirmed. Without one the set-up is cancelled.
  std::function<bool(QPrinter&)> onPrinterSetup;
  int printerSetups = 0;

  std::vector<AskedBox> boxes;
  QStringList errors;
  std::vector<QDialog*> dialogsRun;

  ui::Answer messageBox(QWidget* parent, const QString& text, const QString& caption,
                        ui::Buttons buttons) override;
  void showError(QWidget* parent, const QString& text) override;
  int execDialog(QDialog* dialog) override;
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override;
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                       const QString&) override;
  bool printerSetup(QWidget*, QPrinter& printer, const QString&, const QString&) override;

 private:
  ui::DialogService* previous_;
};

}  // namespace qdl::test
