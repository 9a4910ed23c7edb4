#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <exception>

namespace qdl::ui {
namespace {

class QtDialogs final : public DialogService {
 public:
  Answer messageBox(QWidget* parent, const QString& text, const QString& caption,
                    Buttons buttons) override {
    QMessageBox box(QMessageBox::NoIcon, caption, text,
                    buttons == Buttons::Ok ? QMessageBox::Ok : (QMessageBox::Yes | QMessageBox::No),
                    parent);
    const int r = box.exec();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
  }

  void showError(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
  }

  int execDialog(QDialog* dialog) override { return dialog->exec(); }

  QString openFileName(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
  }

  QString saveFileName(QWidget* parent, const QString& caption, const QString& folder,
                       const QString& filter, const QString& defaultSuffix) override {
    QFileDialog dlg(parent, caption, folder, filter);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(defaultSuffix);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    return dlg.selectedFiles().constFirst();
  }

  bool printerSetup(QWidget* parent, QPrinter& printer, const QString& caption,
                    const QString& okText) override {
    QPrintDialog dlg(&printer, parent);
    dlg.setWindowTitle(caption);
    // A set-up, not a print: no page range to choose, and the button confirms.
    dlg.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    if (auto* box = dlg.findChild<QDialogButtonBox*>())
      if (QPushButton* ok = box->button(QDialogButtonBox::Ok)) ok->setText(okText);
    return dlg.exec() == QDialog::Accepted;
  }
};

QtDialogs& qtDialogs() {
  static QtDialogs instance;
  return instance;
}

DialogService* current = nullptr;

}  // namespace

DialogService& dialogs() { return current ? *current : qtDialogs(); }

DialogService* setDialogs(DialogService* service) {
  DialogService* previous = current;
  current = service;
  return previous;
}

bool guarded(QWidget* parent, const std::function<void()>& f) {
  try {
    f();
    return true;
  } catch (const std::exception& e) {
    dialogs().showError(parent, QString::fromUtf8(e.what()));
  } catch (...) {
    dialogs().showError(parent, QStringLiteral("Unknown error"));
  }
  return false;
}

}  // namespace qdl::ui
