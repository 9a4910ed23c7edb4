// The dialog service's Qt side, driven as a user drives it: the save
// dialog's suffix and its question before a file is replaced, Qt's own
// German button texts, and a printer set-up without a paper choice.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "platform/ui/Dialogs.h"
#include "platform/ui/QtTexts.h"

namespace {

// Acts on the next modal window of type T as soon as it is shown.
template <typename T>
void onNext(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(w);
  });
  timer->start();
}

void type(QFileDialog* dialog, const QString& name) {
  auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(edit, nullptr);
  edit->setText(name);
  QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
}

QString save(const QString& folder) {
  return qdl::ui::dialogs().saveFileName(nullptr, QStringLiteral("Save"), folder,
                                         QStringLiteral("Quandrel Playlist (*.qdp)"),
                                         QStringLiteral("qdp"));
}

TEST(QtDialogs, ASavedNameGetsItsSuffixAndReplacingAFileIsAskedFirst) {
  QTemporaryDir dir;
  const QString gig = dir.filePath("Gig 24.12.qdp");
  onNext<QFileDialog>([](QFileDialog* d) { type(d, "Gig 24.12"); });
  EXPECT_EQ(save(dir.path()), gig);

  // That file exists now: the same typed name asks first. No goes back to
  // the dialog; Yes replaces.
  QFile(gig).open(QIODevice::WriteOnly);
  QStringList asked;
  onNext<QFileDialog>([&asked](QFileDialog* d) {
    type(d, "Gig 24.12");
    onNext<QMessageBox>([&asked](QMessageBox* box) {
      asked << box->text();
      box->button(QMessageBox::No)->click();
      onNext<QFileDialog>([&asked](QFileDialog* again) {
        type(again, "Gig 24.12");
        onNext<QMessageBox>([&asked](QMessageBox* box2) {
          asked << box2->text();
          box2->button(QMessageBox::Yes)->click();
        });
      });
    });
  });
  EXPECT_EQ(save(dir.path()), gig);
  ASSERT_EQ(asked.size(), 2);
  EXPECT_TRUE(asked[0].startsWith("Gig 24.12.qdp")) << asked[0].toStdString();

  // A name that ends in the suffix in capitals keeps it.
  onNext<QFileDialog>([](QFileDialog* d) { type(d, "Set.QDP"); });
  EXPECT_EQ(save(dir.path()), dir.filePath("Set.QDP"));
  // Cancel gives nothing.
  onNext<QFileDialog>([](QFileDialog* d) { d->reject(); });
  EXPECT_EQ(save(dir.path()), QString());
}

TEST(QtDialogs, MessageBoxButtonsSpeakTheChosenLanguage) {
  for (const bool german : {true, false, true}) {
    ASSERT_TRUE(qdl::ui::useQtTexts(german));
    QStringList buttons;
    onNext<QMessageBox>([&buttons](QMessageBox* box) {
      buttons << box->button(QMessageBox::Yes)->text() << box->button(QMessageBox::No)->text();
      box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(qdl::ui::askYesNo(nullptr, QStringLiteral("?"), QStringLiteral("Quandrel")));
    EXPECT_EQ(buttons, german ? QStringList({"&Ja", "&Nein"}) : QStringList({"&Yes", "&No"}));
  }
  qdl::ui::useQtTexts(false);
}

TEST(QtDialogs, ThePrinterSetUpOffersNoPaperTheSongListWouldIgnore) {
  QPrinter printer;
  bool shown = false;
  onNext<QPrintDialog>([&shown](QPrintDialog* d) {
    shown = true;
    EXPECT_FALSE(d->testOption(QAbstractPrintDialog::PrintShowPageSize));
    EXPECT_TRUE(d->testOption(QAbstractPrintDialog::PrintToFile));
    d->reject();
  });
  EXPECT_FALSE(qdl::ui::dialogs().printerSetup(nullptr, printer, QStringLiteral("Set-up"),
                                               QStringLiteral("OK")));
  EXPECT_TRUE(shown);
}

}  // namespace
