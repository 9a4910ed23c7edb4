#include "platform/ui/Dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
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
    while (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) {
      const QString chosen = dlg.selectedFiles().constFirst();
      const QString name = withSuffix(chosen, defaultSuffix);
      // The dialog asked about replacing the name as typed; a name that
      // gets its suffix only here ("Gig 24.12") is asked about now.
      if (name == chosen || !QFileInfo::exists(name)) return name;
      const QString question = QFileDialog::tr("%1 already exists.\nDo you want to replace it?")
                                   .arg(QFileInfo(name).fileName());
      if (QMessageBox::warning(&dlg, dlg.windowTitle(), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes)
        return name;
    }
    return QString();
  }

  bool printerSetup(QWidget* parent, QPrinter& printer, const QString& caption,
                    const QString& okText) override {
    QPrintDialog dlg(&printer, parent);
    dlg.setWindowTitle(caption);
    // A set-up, not a print: no page range to choose, and the button
    // confirms. No paper to choose either: the song list is A4.
    dlg.setOptions(QAbstractPrintDialog::PrintToFile);
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

QString withSuffix(const QString& fileName, const QString& suffix) {
  if (suffix.isEmpty() || fileName.endsWith(QLatin1Char('.') + suffix, Qt::CaseInsensitive))
    return fileName;
  return fileName + QLatin1Char('.') + suffix;
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
