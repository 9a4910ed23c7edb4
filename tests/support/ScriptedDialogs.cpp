#include "support/ScriptedDialogs.h"

#include <QCoreApplication>

namespace qdl::test {

ScriptedDialogs::ScriptedDialogs() : previous_(ui::setDialogs(this)) {}

ScriptedDialogs::~ScriptedDialogs() { ui::setDialogs(previous_); }

ui::Answer ScriptedDialogs::messageBox(QWidget*, const QString& text, const QString& caption,
                                       ui::Buttons buttons) {
  boxes.push_back({text, caption, buttons});
  if (buttons == ui::Buttons::Ok) return ui::Answer::Ok;
  if (answers.empty()) return ui::Answer::No;
  const ui::Answer a = answers.front();
  answers.pop_front();
  return a;
}

void ScriptedDialogs::showError(QWidget*, const QString& text) { errors << text; }

int ScriptedDialogs::execDialog(QDialog* dialog) {
  dialogsRun.push_back(dialog);
  dialog->setResult(QDialog::Rejected);
  dialog->show();
  QCoreApplication::processEvents();
  if (onDialog) onDialog(dialog);
  if (dialog->isVisible()) dialog->hide();
  QCoreApplication::processEvents();
  return dialog->result();
}

QString ScriptedDialogs::openFileName(QWidget*, const QString&, const QString&, const QString&) {
  if (fileNames.empty()) return QString();
  QString f = fileNames.front();
  fileNames.pop_front();
  return f;
}

QString ScriptedDialogs::saveFileName(QWidget* p, const QString& c, const QString& d,
                                      const QString& f, const QString&) {
  return openFileName(p, c, d, f);
}

bool ScriptedDialogs::printerSetup(QWidget*, QPrinter& printer, const QString&, const QString&) {
  ++printerSetups;
  return onPrinterSetup ? onPrinterSetup(printer) : false;
}

}  // namespace qdl::test
