// The device dialog inside the whole program, headless with the virtual
// sound cards: the first start in an empty folder, the menu item
// "&Geräte" with its restart message, and the dialog after a language switch.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "lang/Sprache.h"
#include "platform/help/Help.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "settings/Geraete.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

const QString kCardA = QStringLiteral("Virtual Card A");
const QString kCardB = QStringLiteral("Virtual Card B");

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

QString cardOf(const TSoundDevice* device) {
  return device && device->DirectSound ? device->DirectSound->description() : QString();
}

class DeviceDialogInProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    previousRecorder_ = qdl::help::setRecorder([](const qdl::help::Request&) {});
  }
  void TearDown() override {
    qdl::app::destroyWindows();
    qdl::help::setRecorder(previousRecorder_);
    qunsetenv("QUANDREL_AUDIO_VIRTUAL_CARDS");
  }

  // Starts the program; `onDevices` plays the user in the device dialog,
  // every other dialog is cancelled.
  void start(const std::function<void(TDlgGeraete&)>& onDevices = {}) {
    dialogs.onDialog = [this, onDevices](QDialog* d) {
      shown << d->objectName();
      if (d == DlgGeraete && onDevices) onDevices(*DlgGeraete);
    };
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
  }

  qdl::IniFile settings() const { return qdl::IniFile(cwd.file("qdl.ini")); }
  QString stored(const QString& key) const {
    return settings().readString(QStringLiteral("Devices"), key, QStringLiteral("<none>"));
  }

  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  QStringList shown;

 private:
  qdl::help::Recorder previousRecorder_;
};

TEST_F(DeviceDialogInProgram, FirstStartRunsTheDialogBeforeTheDevicesAndUsesItsChoice) {
  bool slotsEmptyWhileShown = false;
  QString caption, label1, label2;
  int shownMode = -2;
  start([&](TDlgGeraete& d) {
    slotsEmptyWhileShown = !FormQuandrel->LeftMain && !FormQuandrel->RightMain &&
                           !FormQuandrel->LeftHead && !FormQuandrel->RightHead;
    caption = d.windowTitle();
    shownMode = d.rgMode->itemIndex();
    label1 = d.Label1->text();
    label2 = d.Label2->text();
    d.rgMode->button(2)->click();
    d.CB_Aux->setCurrentIndex(1);
    d.CB_Head->setCurrentIndex(0);
    d.OKBtn->click();
  });
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.first(), "DlgGeraete");
  EXPECT_TRUE(slotsEmptyWhileShown) << "the dialog runs before the devices are opened";
  // The first start shows the dialog with the texts of the language to come.
  EXPECT_EQ(caption, "Geräteeinstellungen");
  EXPECT_EQ(shownMode, 1);
  EXPECT_EQ(label1, "Soundkarte Ausgang");
  EXPECT_EQ(label2, "Soundkarte Kopfhörer");

  // The choice is used at once, without a restart message.
  EXPECT_EQ(cardOf(FormQuandrel->LeftMain), kCardB);
  EXPECT_EQ(cardOf(FormQuandrel->RightMain), kCardA);
  EXPECT_EQ(FormQuandrel->LeftHead, nullptr);
  EXPECT_EQ(FormQuandrel->RightHead, nullptr);
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
  EXPECT_EQ(stored("Mode"), "2");

  // The language step then resets the dialog to mode 0 with its labels.
  EXPECT_EQ(DlgGeraete->windowTitle(), "Geräteeinstellungen");
  EXPECT_EQ(DlgGeraete->rgMode->items(), (QStringList{"nur eine", "Aux/Kopf", "Links/Rechts"}));
  EXPECT_EQ(DlgGeraete->rgMode->itemIndex(), 0);
  EXPECT_EQ(DlgGeraete->Label1->text(), "Soundkartenauswahl");
  EXPECT_EQ(DlgGeraete->Label2->text(), "");
  EXPECT_TRUE(DlgGeraete->CB_Head->isHidden());
}

TEST_F(DeviceDialogInProgram, FirstStartWithOneCardPlaysBothDecksOnIt) {
  qputenv("QUANDREL_AUDIO_VIRTUAL_CARDS", "1");
  bool modeEnabled = true;
  start([&](TDlgGeraete& d) {
    modeEnabled = d.rgMode->isEnabled();
    d.OKBtn->click();
  });
  EXPECT_FALSE(modeEnabled);
  EXPECT_EQ(stored("Mode"), "0");
  EXPECT_EQ(stored("Card_1"), kCardA);
  EXPECT_EQ(cardOf(FormQuandrel->LeftMain), kCardA);
  EXPECT_EQ(cardOf(FormQuandrel->RightMain), kCardA);
  EXPECT_NE(FormQuandrel->LeftMain, FormQuandrel->RightMain) << "one device object per deck";
  EXPECT_FALSE(FormQuandrel->SBVolume_Head->isEnabled());
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DeviceDialogInProgram, CancelAtFirstStartOpensNothingAndWritesNothing) {
  start([](TDlgGeraete& d) { d.CancelBtn->click(); });
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_EQ(shown.first(), "DlgGeraete");
  EXPECT_FALSE(QFile::exists(cwd.file("qdl.ini")));
  EXPECT_EQ(FormQuandrel->LeftMain, nullptr);
  EXPECT_EQ(FormQuandrel->RightMain, nullptr);
  EXPECT_EQ(FormQuandrel->Geraete1->text(), "&Geräte") << "German applied";
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DeviceDialogInProgram, MenuOkTellsAboutTheRestartAndReopensNothing) {
  writeFile(cwd.file("qdl.ini"),
            "[Devices]\r\nMode=1\r\nCard_1=Virtual Card A\r\nCard_2=Virtual Card B\r\n"
            "[present Devices]\r\n"
            "Virtual Card A={2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0A01}\r\n"
            "Virtual Card B={2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0B02}\r\n");
  start();
  EXPECT_FALSE(shown.contains("DlgGeraete")) << "a settings file exists";
  TSoundDevice* main = FormQuandrel->LeftMain;
  TSoundDevice* head = FormQuandrel->LeftHead;
  ASSERT_NE(main, nullptr);
  ASSERT_NE(head, nullptr);

  // Cancel: no message, nothing written.
  QString aux, headCard;
  int mode = -2;
  dialogs.onDialog = [&](QDialog*) {
    mode = DlgGeraete->rgMode->itemIndex();
    aux = DlgGeraete->CB_Aux->currentText();
    headCard = DlgGeraete->CB_Head->currentText();
    DlgGeraete->CancelBtn->click();
  };
  FormQuandrel->Geraete1->trigger();
  EXPECT_EQ(mode, 1) << "the stored mode, not the language step's item 0";
  EXPECT_EQ(aux, kCardA);
  EXPECT_EQ(headCard, kCardB);
  EXPECT_TRUE(dialogs.boxes.empty());

  // OK: stored, the restart message, the open devices untouched.
  dialogs.onDialog = [&](QDialog*) {
    DlgGeraete->rgMode->button(2)->click();
    DlgGeraete->CB_Aux->setEditText(kCardB);
    DlgGeraete->CB_Head->setEditText(kCardA);
    DlgGeraete->OKBtn->click();
  };
  FormQuandrel->Geraete1->trigger();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Änderung erst nach Programmneustart wirksam");
  EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(dialogs.boxes[0].buttons, qdl::ui::Buttons::Ok);
  EXPECT_EQ(stored("Mode"), "2");
  EXPECT_EQ(stored("Card_1"), kCardB);
  EXPECT_EQ(FormQuandrel->LeftMain, main);
  EXPECT_EQ(FormQuandrel->LeftHead, head);
  EXPECT_EQ(FormQuandrel->RightMain, main);
}

TEST_F(DeviceDialogInProgram, EnglishLabelsForModeTwoAfterTheLanguageIsSwitched) {
  writeFile(cwd.file("qdl.ini"),
            "[Devices]\r\nMode=2\r\nCard_1=Virtual Card A\r\nCard_2=Virtual Card B\r\n"
            "[present Devices]\r\nVirtual Card A={2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0A01}\r\n"
            "Virtual Card B={2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0B02}\r\n");
  start();
  dialogs.onDialog = [](QDialog* d) {
    if (d != FormSprache) return;
    FormSprache->rgSprache->setItemIndex(1);
    FormSprache->btOK->click();
  };
  FormQuandrel->Sprache1->trigger();
  ASSERT_EQ(settings().readString("Sprache", "Mode", ""), "1");

  EXPECT_EQ(DlgGeraete->rgMode->itemIndex(), 0);
  EXPECT_TRUE(DlgGeraete->CB_Head->isHidden());

  QString title, label1, label2, auxLabel, headLabel, ok, cancel, help;
  QStringList items;
  dialogs.onDialog = [&](QDialog*) {
    TDlgGeraete& d = *DlgGeraete;
    title = d.windowTitle();
    items = d.rgMode->items();
    label1 = d.Label1->text();
    label2 = d.Label2->text();
    ok = d.OKBtn->text();
    cancel = d.CancelBtn->text();
    help = d.btHelp->text();
    d.CB_Head->setEditText(d.CB_Aux->currentText());
    d.OKBtn->click();  // refused
    d.rgMode->button(1)->click();
    auxLabel = d.Label1->text();
    headLabel = d.Label2->text();
    d.rgMode->button(2)->click();
    // The decks change cards: that needs a restart.
    d.CB_Aux->setEditText(kCardB);
    d.CB_Head->setEditText(kCardA);
    d.OKBtn->click();
  };
  FormQuandrel->Geraete1->trigger();
  EXPECT_EQ(title, "Sounddevices");
  EXPECT_EQ(items, (QStringList{"only one", "Aux/Head", "Left/Right"}));
  EXPECT_EQ(label1, "Soundcard for left player");
  EXPECT_EQ(label2, "Soundcard for right player");
  EXPECT_EQ(auxLabel, "Soundcard for Auxilary (Amp)");
  EXPECT_EQ(headLabel, "Soundcard for headphone");
  EXPECT_EQ(ok, "&OK");
  EXPECT_EQ(cancel, "&Cancel");
  EXPECT_EQ(help, "&Help");
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_EQ(dialogs.boxes[0].text, "choosing the same devices not allowed!");
  EXPECT_EQ(dialogs.boxes[0].caption, "Attention!");
  EXPECT_EQ(dialogs.boxes[1].text, "Changes commited after restart");
  EXPECT_EQ(dialogs.boxes[1].caption, "Attention!");
}

}  // namespace
