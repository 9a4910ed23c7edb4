// The device dialog end to end: a real dialog on the offscreen platform, the
// virtual sound cards of the sound layer (one, two or none plugged in), and a
// real qdl.ini in a temporary current directory.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <utility>
#include <vector>

#include "audio/Dsutil.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/RadioGroup.h"
#include "settings/Geraete.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using qdl::sound::VirtualCards;

const QString kCardA = QStringLiteral("Virtual Card A");
const QString kCardB = QStringLiteral("Virtual Card B");

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

// What the dialog shows while it is open.
struct Shown {
  int mode = -2;
  bool modeEnabled = false;
  QString label1, label2, aux, head;
  bool headVisible = false;
  QStringList auxItems, headItems;
};

Shown look(const TDlgGeraete& d) {
  Shown s;
  s.mode = d.rgMode->itemIndex();
  s.modeEnabled = d.rgMode->isEnabled();
  s.label1 = d.Label1->text();
  s.label2 = d.Label2->text();
  s.aux = d.CB_Aux->currentText();
  s.head = d.CB_Head->currentText();
  s.headVisible = d.CB_Head->isVisible();
  for (int i = 0; i < d.CB_Aux->count(); ++i) s.auxItems << d.CB_Aux->itemText(i);
  for (int i = 0; i < d.CB_Head->count(); ++i) s.headItems << d.CB_Head->itemText(i);
  return s;
}

class DeviceDialog : public ::testing::Test {
 protected:
  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  TDlgGeraete dialog;

  ~DeviceDialog() override { qunsetenv("QUANDREL_AUDIO_VIRTUAL_CARDS"); }

  static void plugCards(int n) { qputenv("QUANDREL_AUDIO_VIRTUAL_CARDS", QByteArray::number(n)); }

  QString ini() const { return cwd.file("qdl.ini"); }
  qdl::IniFile settings() const { return qdl::IniFile(ini()); }
  QString stored(const QString& key) const {
    return settings().readString(QStringLiteral("Devices"), key, QStringLiteral("<none>"));
  }

  // Runs the dialog modally as the main window does; act plays the user.
  int run(const std::function<void(TDlgGeraete&)>& act = {}) {
    dialogs.onDialog = [this, act](QDialog*) {
      if (act) act(dialog);
    };
    return dialogs.execDialog(&dialog);
  }

  Shown showAndCancel() {
    Shown s;
    run([&](TDlgGeraete& d) {
      s = look(d);
      d.CancelBtn->click();
    });
    return s;
  }
};

TEST_F(DeviceDialog, OneCardOffersOnlyModeZeroAndStoresIt) {
  plugCards(1);
  Shown s;
  const int result = run([&](TDlgGeraete& d) {
    s = look(d);
    d.OKBtn->click();
  });
  EXPECT_EQ(s.mode, 0);
  EXPECT_FALSE(s.modeEnabled);
  EXPECT_EQ(s.label1, "Soundkartenauswahl");
  EXPECT_EQ(s.label2, "");
  EXPECT_FALSE(s.headVisible);
  EXPECT_EQ(s.auxItems, QStringList{kCardA});
  EXPECT_EQ(s.headItems, QStringList{kCardA});
  EXPECT_EQ(s.aux, kCardA) << "the only card is preselected";

  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(stored("Mode"), "0");
  EXPECT_EQ(stored("Card_1"), kCardA);
  EXPECT_EQ(stored("Card_2"), "") << "empty in a new file";
  EXPECT_EQ(settings().readSection("present Devices"), QStringList{kCardA});
  EXPECT_EQ(settings().readString("present Devices", kCardA, ""),
            qdl::sound::guidToText(VirtualCards::guid(0)));
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(DeviceDialog, OneCardKeepsTheStoredSecondCard) {
  plugCards(1);
  writeFile(ini(), "[Devices]\r\nMode=0\r\nCard_1=Virtual Card A\r\nCard_2=Old Card\r\n");
  Shown s;
  run([&](TDlgGeraete& d) {
    s = look(d);
    d.OKBtn->click();
  });
  EXPECT_FALSE(s.headVisible);
  EXPECT_EQ(s.head, "Old Card") << "the hidden list keeps the stored text";
  EXPECT_EQ(stored("Mode"), "0");
  EXPECT_EQ(stored("Card_2"), "Old Card");
}

TEST_F(DeviceDialog, TwoCardsWithEmptyStoredCardsPreselectTheFirstAndTheSecondForHeadphones) {
  writeFile(ini(), "[Devices]\r\nCard_1=\r\n");
  const Shown s = showAndCancel();
  EXPECT_EQ(s.auxItems, (QStringList{kCardA, kCardB}));
  EXPECT_EQ(s.headItems, (QStringList{kCardA, kCardB}));
  EXPECT_EQ(s.aux, kCardA);
  EXPECT_EQ(s.head, kCardB);
  EXPECT_EQ(s.mode, 1) << "two cards default to Aux/Head";
  EXPECT_TRUE(s.modeEnabled);
  EXPECT_TRUE(s.headVisible);
  // No language applied yet: the German texts instead of blank labels.
  EXPECT_EQ(s.label1, "Soundkarte Ausgang");
  EXPECT_EQ(s.label2, "Soundkarte Kopfhörer");
  EXPECT_EQ(stored("Card_1"), "") << "Cancel writes nothing";
}

TEST_F(DeviceDialog, StoredChoiceIsPreselectedAndListsAreRebuiltEachShowing) {
  writeFile(ini(), "[devices]\r\nmode=2\r\ncard_1=Virtual Card B\r\ncard_2=Virtual Card A\r\n");
  showAndCancel();
  const Shown s = showAndCancel();
  EXPECT_EQ(s.mode, 2);
  EXPECT_EQ(s.aux, kCardB);
  EXPECT_EQ(s.head, kCardA);
  EXPECT_TRUE(s.headVisible);
  EXPECT_EQ(s.label1, "Soundkarte linker Player");
  EXPECT_EQ(s.label2, "Soundkarte rechter Player");
  EXPECT_EQ(s.auxItems.size(), 2) << "a second showing does not append the devices again";

  // A card that is no longer present keeps its entry and stays the stored
  // text; a mode group disabled by a one-card showing is enabled again.
  writeFile(ini(), "[Devices]\r\nMode=0\r\nCard_1=Virtual Card B\r\n");
  plugCards(1);
  const Shown one = showAndCancel();
  EXPECT_FALSE(one.modeEnabled);
  EXPECT_EQ(one.aux, kCardB) << "an absent stored card is still shown as stored";
  qunsetenv("QUANDREL_AUDIO_VIRTUAL_CARDS");
  const Shown two = showAndCancel();
  EXPECT_TRUE(two.modeEnabled);
  EXPECT_EQ(two.mode, 0);
  // Listed devices are stored on OK; one that is gone keeps its entry.
  run([](TDlgGeraete& d) { d.OKBtn->click(); });
  plugCards(1);
  run([](TDlgGeraete& d) { d.OKBtn->click(); });
  EXPECT_EQ(settings().readSection("present Devices"), (QStringList{kCardA, kCardB}));
}

TEST_F(DeviceDialog, CancelLeavesTheFileByteForByteAndOkChangesOnlyItsOwnLines) {
  // Notes, a lone CR, LF and CRLF, a stale card, no line end at the end.
  const QByteArray guidA = qdl::sound::guidToText(VirtualCards::guid(0)).toLatin1();
  const QByteArray guidB = qdl::sound::guidToText(VirtualCards::guid(1)).toLatin1();
  const QByteArray head = "; chosen for the club\r[Devices]\r\nMode = 1\r\n";
  const QByteArray cards =
      "Card_1=Virtual Card A\nCard_2=Virtual Card B\r\n\r\n"
      "[present Devices]\r\nVirtual Card A=" +
      guidA + "\r\nOld Card={12345678-1234-1234-1234-123456789ABC}\r\n";
  const QByteArray tail = "[Sprache]\rMode=0";
  const QByteArray before = head + cards + tail;
  writeFile(ini(), before);
  for (int i = 0; i < 2; ++i) showAndCancel();
  QFile f(ini());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
  f.close();

  run([](TDlgGeraete& d) {
    d.rgMode->setItemIndex(2);
    d.OKBtn->click();
  });
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "; chosen for the club\r[Devices]\r\nMode =2\r\n" + cards +
                             "Virtual Card B=" + guidB + "\r\n" + tail);
}

TEST_F(DeviceDialog, IdenticalCardsAreRefusedAndNothingIsWritten) {
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    QFile::remove(ini());
    dialogs.boxes.clear();
    bool stayedOpen = false;
    const int result = run([&](TDlgGeraete& d) {
      d.rgMode->button(mode)->click();
      d.CB_Aux->setCurrentIndex(1);
      d.CB_Head->setCurrentIndex(1);
      d.OKBtn->click();
      stayedOpen = d.isVisible();
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_NE(result, QDialog::Accepted);
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, "Keine identischen Geräte ausgewählen!");
    EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
    EXPECT_EQ(dialogs.boxes[0].buttons, qdl::ui::Buttons::Ok);
    EXPECT_FALSE(settings().sectionExists("Devices"));
  }

  // The user corrects the choice: now it is stored.
  dialogs.boxes.clear();
  const int result = run([&](TDlgGeraete& d) {
    d.rgMode->button(2)->click();
    d.CB_Aux->setCurrentIndex(1);
    d.CB_Head->setEditText(kCardB);
    d.OKBtn->click();
    d.CB_Head->setEditText(kCardA);
    d.OKBtn->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(stored("Mode"), "2");
  EXPECT_EQ(stored("Card_1"), kCardB);
  EXPECT_EQ(stored("Card_2"), kCardA);
}

TEST_F(DeviceDialog, TheHeadphoneAndTheLeftRightModeNeedASecondCard) {
  // The first start: Enter takes the preselected cards, headphones included.
  EXPECT_EQ(run([](TDlgGeraete& d) { d.OKBtn->click(); }), QDialog::Accepted);
  EXPECT_EQ(stored("Mode"), "1");
  EXPECT_EQ(stored("Card_1"), kCardA);
  EXPECT_EQ(stored("Card_2"), kCardB);

  // No second card chosen in a mode that needs one (headphones, right
  // deck): refused like equal cards, nothing written.
  const std::pair<int, const char*> modes[] = {
      {1, "Keine Soundkarte für den Kopfhörer ausgewählt!"},
      {2, "Keine Soundkarte für den rechten Player ausgewählt!"}};
  for (const auto& [mode, text] : modes) {
    dialogs.boxes.clear();
    bool stayedOpen = false;
    const int refused = run([&, mode = mode](TDlgGeraete& d) {
      d.rgMode->button(mode)->click();
      d.CB_Head->setEditText(QStringLiteral("  "));
      d.OKBtn->click();
      stayedOpen = d.isVisible();
    });
    EXPECT_TRUE(stayedOpen) << mode;
    EXPECT_NE(refused, QDialog::Accepted);
    ASSERT_EQ(dialogs.boxes.size(), 1u) << mode;
    EXPECT_EQ(dialogs.boxes[0].text, text);
    EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
    EXPECT_EQ(stored("Mode"), "1");
    EXPECT_EQ(stored("Card_2"), kCardB);
  }

  // Coming from the one-card mode, the second card is offered again.
  Shown s;
  run([&](TDlgGeraete& d) {
    d.rgMode->button(0)->click();
    d.rgMode->button(2)->click();
    s = look(d);
    d.CancelBtn->click();
  });
  EXPECT_EQ(s.aux, kCardA);
  EXPECT_EQ(s.head, kCardB);
}

TEST_F(DeviceDialog, ChoosingModeZeroEmptiesTheHeadphoneCard) {
  writeFile(ini(), "[Devices]\r\nMode=1\r\nCard_1=Virtual Card A\r\nCard_2=Virtual Card B\r\n");
  Shown s;
  run([&](TDlgGeraete& d) {
    d.rgMode->button(0)->click();
    s = look(d);
    d.OKBtn->click();
  });
  EXPECT_EQ(s.label1, "Soundkartenauswahl");
  EXPECT_EQ(s.label2, "");
  EXPECT_FALSE(s.headVisible);
  EXPECT_EQ(s.head, "");
  EXPECT_TRUE(s.modeEnabled) << "two cards: the user may go back";
  EXPECT_EQ(stored("Mode"), "0");
  EXPECT_EQ(stored("Card_1"), kCardA);
  EXPECT_EQ(stored("Card_2"), "");
}

TEST_F(DeviceDialog, NoDeviceLeavesBothListsEmptyAndOkRefuses) {
  plugCards(0);
  Shown s;
  const int result = run([&](TDlgGeraete& d) {
    s = look(d);
    d.OKBtn->click();
  });
  EXPECT_TRUE(s.auxItems.isEmpty());
  EXPECT_TRUE(s.headItems.isEmpty());
  EXPECT_EQ(s.aux, "");
  EXPECT_EQ(s.mode, 0);
  EXPECT_FALSE(s.modeEnabled);
  EXPECT_NE(result, QDialog::Accepted);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_FALSE(QFile::exists(ini())) << "nothing listed, nothing written";
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(DeviceDialog, BadStoredModeIsShownAndSkipsThePreselection) {
  writeFile(ini(), "[Devices]\r\nMode=zwei\r\nCard_1=Virtual Card B\r\n");
  const Shown s = showAndCancel();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("zwei")) << dialogs.errors[0].toStdString();
  EXPECT_NE(s.aux, kCardB) << "the stored card is not preselected";
  EXPECT_EQ(s.auxItems.size(), 2) << "the listing itself ran";
}

TEST_F(DeviceDialog, FailedListingIsShownAndTheStoredChoiceStillShows) {
  qputenv("QUANDREL_AUDIO_VIRTUAL_CARDS", "many");
  writeFile(ini(), "[Devices]\r\nMode=0\r\nCard_1=Virtual Card B\r\n");
  const Shown s = showAndCancel();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("many")) << dialogs.errors[0].toStdString();
  EXPECT_TRUE(s.auxItems.isEmpty());
  EXPECT_EQ(s.aux, kCardB);
}

TEST_F(DeviceDialog, HelpOpensContextForty) {
  std::vector<qdl::help::Request> asked;
  const auto previous =
      qdl::help::setRecorder([&](const qdl::help::Request& r) { asked.push_back(r); });
  qdl::help::setHelpFile(&dialog, QStringLiteral("qdl_e.hlp"));
  run([&](TDlgGeraete& d) {
    d.btHelp->click();
    d.CancelBtn->click();
  });
  qdl::help::setRecorder(previous);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].command, qdl::help::Command::Topic);
  EXPECT_EQ(asked[0].file, "qdl_e.hlp");
  EXPECT_EQ(asked[0].context, 40);
  EXPECT_EQ(qdl::help::helpContextOf(dialog.CB_Aux), 40) << "the help key shows the same topic";
}

}  // namespace

namespace {

// The stored output buffer as the dialog shows it, and what the settings
// reader says of it.
struct BufferCase {
  const char* stored;  // nullptr: no line at all
  int shown;           // milliseconds selected
  bool broken;         // named as broken (section, key, value and file)
};

class OutputBufferDialog : public DeviceDialog, public ::testing::WithParamInterface<BufferCase> {
 protected:
  ~OutputBufferDialog() override { qdl::sound::setOutputBuffer(qdl::sound::kDefaultOutputBuffer); }
};

}  // namespace

TEST_P(OutputBufferDialog, ShowsTheStoredBufferOrNamesABrokenOneAndOffersTheDefault) {
  const BufferCase c = GetParam();
  QByteArray file = "[Devices]\r\nMode=1\r\nCard_1=Virtual Card A\r\nCard_2=Virtual Card B\r\n";
  if (c.stored) file += QByteArray("OutputBuffer=") + c.stored + "\r\n";
  writeFile(ini(), file);
  int shown = 0;
  run([&](TDlgGeraete& d) {
    shown = d.CB_Buffer->currentData().toInt();
    d.CancelBtn->click();
  });
  EXPECT_EQ(shown, c.shown);
  if (c.broken) {
    ASSERT_EQ(dialogs.errors.size(), 1);
    const QString error = dialogs.errors.first();
    EXPECT_TRUE(error.contains(QStringLiteral("[Devices] OutputBuffer=%1").arg(c.stored).trimmed()))
        << error.toStdString();
    EXPECT_TRUE(error.contains(ini())) << error.toStdString();
    EXPECT_THROW(qdl::outputBufferSetting(settings()), qdl::ConversionError);
  } else {
    EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join('\n').toStdString();
    EXPECT_EQ(qdl::outputBufferSetting(settings()), c.shown);
  }

  // The devices opened from this file play with that buffer, or with the
  // default beside a message.
  TSoundDevice* left = nullptr;
  TSoundDevice* leftHead = nullptr;
  TSoundDevice* right = nullptr;
  TSoundDevice* rightHead = nullptr;
  qdl::sound::setOutputBuffer(c.shown == 3 ? 11 : 3);  // something else before
  const qdl::OpenDevicesResult result =
      qdl::openSoundDevices(settings(), {left, leftHead, right, rightHead});
  EXPECT_EQ(qdl::sound::outputBuffer(), c.shown);
  EXPECT_EQ(result.bufferProblem.isEmpty(), !c.broken) << result.bufferProblem.toStdString();
  if (c.broken) {
    EXPECT_TRUE(result.bufferProblem.contains(QStringLiteral("OutputBuffer")));
  }
  qdl::closeSoundDevices({left, leftHead, right, rightHead});
}

INSTANTIATE_TEST_SUITE_P(Values, OutputBufferDialog,
                         ::testing::Values(BufferCase{nullptr, 10, false},
                                           BufferCase{"", 10, false}, BufferCase{"3", 3, false},
                                           BufferCase{"6", 6, false}, BufferCase{" 11 ", 11, false},
                                           BufferCase{"10", 10, false}, BufferCase{"5", 10, true},
                                           BufferCase{"6ms", 10, true}, BufferCase{"-3", 10, true},
                                           BufferCase{"99999999999", 10, true},
                                           BufferCase{"0x06", 10, true}));

TEST_F(DeviceDialog, OkStoresAChosenBufferAndAppliesItWithoutARestart) {
  const QByteArray file =
      "[Devices]\r\nMode=1\r\nCard_1=Virtual Card A\r\nCard_2=Virtual Card B\r\n";
  writeFile(ini(), file);
  struct Step {
    int choose;        // milliseconds chosen
    int mode;          // mode chosen
    const char* line;  // the OutputBuffer line stored after OK (nullptr: none)
    bool restart;      // a restart is needed
  };
  for (const Step& step : {Step{10, 1, nullptr, false}, Step{6, 1, "6", false},
                           Step{3, 2, "3", true}, Step{10, 2, "10", false}}) {
    SCOPED_TRACE(step.choose);
    run([&](TDlgGeraete& d) {
      d.CB_Buffer->setCurrentIndex(d.CB_Buffer->findData(step.choose));
      d.rgMode->setItemIndex(step.mode);
      d.OKBtn->click();
    });
    EXPECT_EQ(stored("OutputBuffer"), step.line ? QString::fromLatin1(step.line) : "<none>");
    EXPECT_EQ(qdl::sound::outputBuffer(), step.choose);
    EXPECT_EQ(dialog.restartNeeded(), step.restart);
  }
  qdl::sound::setOutputBuffer(qdl::sound::kDefaultOutputBuffer);
}

TEST_F(DeviceDialog, TheBufferListFitsBesideTheButtonsInBothLanguages) {
  int seen = 0;
  run([&](TDlgGeraete& d) {
    const QRect list = d.CB_Buffer->geometry();
    for (QWidget* w : {static_cast<QWidget*>(d.OKBtn), static_cast<QWidget*>(d.Bevel1),
                       static_cast<QWidget*>(d.rgMode)})
      EXPECT_FALSE(list.intersects(w->geometry())) << w->objectName().toStdString();
    EXPECT_TRUE(d.rect().contains(list));
    EXPECT_LE(d.CB_Buffer->minimumSizeHint().width(), list.width());
    for (int i = 0; i < d.CB_Buffer->count(); ++i, ++seen)
      EXPECT_LE(d.CB_Buffer->fontMetrics().horizontalAdvance(d.CB_Buffer->itemText(i)) + 20,
                list.width())
          << d.CB_Buffer->itemText(i).toStdString();
    d.CancelBtn->click();
  });
  EXPECT_EQ(seen, int(qdl::sound::kOutputBufferChoices.size()));
}
