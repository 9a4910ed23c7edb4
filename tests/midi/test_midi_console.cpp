// The console driven by a MIDI controller over a real JACK server (the
// dummy driver, started by scripts/jack-testbed): the test controller
// "qdlpad" sends notes and control changes as a USB controller would, the
// console connects it by itself, and its lights come back. The shipped
// mapping "Generic" drives it until one is learned.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "app/Mainform.h"
#include "control/Actions.h"
#include "controllers/ControllerWindow.h"
#include "controllers/Controllers.h"
#include "decks/Deck.h"
#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "midi/JackPad.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;
using qdl::test::JackPad;
using Bytes = JackPad::Bytes;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz
const QString kPadFile = QStringLiteral("qdlpad_pads.txt");

// The JACK server of all tests here, or why there is none.
QString testbedDir;
QString missing;

void runTestbed(const QString& command) {
  QProcess p;
  p.start(QStringLiteral(QDL_SOURCE_DIR "/scripts/jack-testbed"), {command, testbedDir});
  p.waitForFinished(20000);
  if (command != QLatin1String("start")) return;
  if (p.exitCode() != 0) {
    missing = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (missing.isEmpty()) missing = QStringLiteral("scripts/jack-testbed start failed");
    return;
  }
  static const QRegularExpression line(QStringLiteral("^export (\\w+)=(.*)$"),
                                       QRegularExpression::MultilineOption);
  auto it = line.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
  while (it.hasNext()) {
    const auto m = it.next();
    qputenv(m.captured(1).toUtf8().constData(), m.captured(2).toUtf8());
  }
}

class MidiConsole : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    testbedDir = QDir::temp().filePath(
        QStringLiteral("qdl-jack-%1").arg(QCoreApplication::applicationPid()));
    runTestbed(QStringLiteral("start"));
  }
  static void TearDownTestSuite() {
    runTestbed(QStringLiteral("stop"));
    QDir(testbedDir).removeRecursively();
  }
  void SetUp() override {
    if (!missing.isEmpty())
      GTEST_SKIP() << "no JACK server for the MIDI tests: " << qPrintable(missing);
    qputenv("QUANDREL_MIDI", "on");
    ASSERT_TRUE(pad.open()) << "the test controller could not join the JACK server";
  }
  void TearDown() override {
    pad.close();
    qputenv("QUANDREL_MIDI", "off");
  }

  // Starts the console and waits until it has connected the pad.
  void start(bool realtime = false) {
    qputenv("QUANDREL_AUDIO", realtime ? "virtual-realtime" : "virtual");
    c = std::make_unique<Console>(2);
    f = c->f;
    ASSERT_TRUE(f->controllers);
    ASSERT_TRUE(connected(true)) << "the console did not connect the test controller";
  }

  bool connected(bool wanted) {
    return QTest::qWaitFor(
        [&] {
          bool there = false;
          for (const auto& p : f->controllers->controllers())
            there |= p.name == QLatin1String("qdlpad:pads") && p.feedback;
          return there == wanted;
        },
        10000);
  }

  // Sends and waits until the console has run it.
  void play(std::initializer_list<Bytes> messages) {
    const quint64 before = f->controllers->handled();
    for (const Bytes& b : messages) pad.send(b);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return f->controllers->handled() >= before + messages.size(); }, 10000));
  }

  bool lightSeen(const Bytes& message) {
    return QTest::qWaitFor(
        [&] {
          for (const Bytes& b : pad.received()) seen.push_back(b);
          return std::find(seen.begin(), seen.end(), message) != seen.end();
        },
        5000);
  }

  JackPad pad;
  std::unique_ptr<Console> c;
  TFormQuandrel* f = nullptr;
  std::vector<Bytes> seen;
};

TEST_F(MidiConsole, GenericNotesLoadAndPlayADeckAndItsLightsComeBack) {
  start();
  c->addSong(fixture(kTen), "A", "T");
  const qdl::controllers::Mapping* m =
      f->controllers->mappingOf(f->controllers->controllers().first().id);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->name, "Generic");
  EXPECT_TRUE(m->problems.isEmpty());

  play({{0x91, 18, 127}, {0x81, 18, 0}});  // channel 2: load the right deck
  ASSERT_TRUE(f->PlayerRechts);
  EXPECT_FALSE(f->PlayerLinks);
  EXPECT_TRUE(lightSeen({0x91, 17, 127}));  // cue lit after the load

  play({{0x91, 16, 100}, {0x91, 16, 0}});  // play (note off by velocity 0)
  EXPECT_EQ(f->actions->state("rechts.play"), 1);
  EXPECT_TRUE(lightSeen({0x91, 16, 127}));
  c->played(0), c->played(1);
  c->run(500);
  EXPECT_GT(qdl::test::peak(c->played(0)) + qdl::test::peak(c->played(1)), 3000);

  play({{0x91, 19, 127}});  // head cue on: lit
  EXPECT_TRUE(lightSeen({0x91, 19, 127}));
  play({{0x91, 16, 127}});  // pause: play goes dark
  EXPECT_EQ(f->actions->state("rechts.play"), 0);
  EXPECT_TRUE(lightSeen({0x91, 16, 0}));
  // The left deck heard none of it.
  EXPECT_FALSE(f->PlayerLinks);
}

TEST_F(MidiConsole, GenericControlChangesMoveTheBars) {
  start();
  struct Case {
    Bytes message;
    const char* action;
    int expected;
  };
  const std::vector<Case> cases = {
      {{0xB0, 7, 0}, "links.volume", 3000},       {{0xB0, 7, 127}, "links.volume", 0},
      {{0xB0, 7, 64}, "links.volume", 1500},      {{0xB1, 7, 0}, "rechts.volume", 3000},
      {{0xB0, 8, 64}, "links.pitch", 0},          {{0xB0, 8, 0}, "links.pitch", -200},
      {{0xB1, 8, 127}, "rechts.pitch", 200},      {{0xB2, 8, 0}, "mixer.crossfader", -3000},
      {{0xB2, 8, 127}, "mixer.crossfader", 3000}, {{0xB2, 8, 64}, "mixer.crossfader", 0},
  };
  for (const Case& k : cases) {
    play({k.message});
    EXPECT_EQ(f->actions->state(k.action), k.expected)
        << k.action << " " << int(k.message[0]) << " " << int(k.message[2]);
  }
  // The bars show the model.
  EXPECT_EQ(f->SBarPitchRechts->value(), 200);
  EXPECT_EQ(f->sbFader->value(), 0);
  // A control the mapping does not name does nothing.
  const int fader = f->actions->state("mixer.crossfader").value();
  play({{0xB3, 8, 0}, {0xB2, 9, 0}});
  play({{0xB0, 7, 10, 7, 20}});
  EXPECT_EQ(f->actions->state("links.volume"),
            qdl::controllers::scaleToRange(20, 7, 0, 3000, true));
  EXPECT_EQ(f->actions->state("mixer.crossfader"), fader);
}

TEST_F(MidiConsole, UnpluggingLeavesTheMusicAndPluggingInAgainIsNoticed) {
  start();
  c->addSong(fixture(kTen), "A", "T");
  play({{0x90, 18, 127}, {0x90, 16, 127}});
  ASSERT_EQ(f->actions->state("links.play"), 1);
  c->run(200);
  c->played(0), c->played(1);

  pad.close();
  ASSERT_TRUE(connected(false)) << "the console did not notice the controller go";
  EXPECT_EQ(f->actions->state("links.play"), 1);
  c->run(500);
  EXPECT_GT(qdl::test::peak(c->played(0)) + qdl::test::peak(c->played(1)), 3000);
  EXPECT_EQ(f->PlayerLinks->MainBuffer->refillMisses(), 0);

  ASSERT_TRUE(pad.open());
  ASSERT_TRUE(connected(true)) << "the console did not notice the controller come back";
  EXPECT_TRUE(lightSeen({0x90, 16, 127}));  // the lights as they stand, after the plug
  play({{0x90, 16, 127}});
  EXPECT_EQ(f->actions->state("links.play"), 0);
}

TEST_F(MidiConsole, TheLearnWindowBindsAPickedOrClickedActionAndSavesIt) {
  start();
  f->MidiController1->trigger();
  qdl::controllers::ControllerWindow* w = f->controllerWindow;
  ASSERT_TRUE(w && w->isVisible());
  EXPECT_TRUE(w->cbController->currentText().startsWith("qdlpad:pads"));
  EXPECT_GT(w->tbBindings->rowCount(), 10);  // Generic's bindings

  // Picked from the list: note 60 on channel 5 plays the left deck.
  ASSERT_TRUE(w->selectAction("links.headcue"));
  w->btLernen->click();
  EXPECT_TRUE(w->lbStatus->text().contains("links.headcue"));
  play({{0x94, 60, 127}});
  EXPECT_FALSE(w->btLernen->isChecked());
  EXPECT_TRUE(w->lbStatus->text().contains("note 5 60")) << w->lbStatus->text().toStdString();
  const QString path = QDir(c->cwd.path()).filePath("Controller/" + kPadFile);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("note 5 60 links.headcue led"));
  file.close();
  // Its own file now, without Generic.
  const int id = w->currentController();
  EXPECT_TRUE(f->controllers->hasOwnFile(id));
  EXPECT_EQ(f->controllers->mappingOf(id)->bindings.size(), 1);

  // Clicked on the console while learning: the click picks, and runs nothing.
  w->btLernen->click();
  const int fader = f->actions->state("mixer.crossfader").value();
  QTest::mouseClick(f->FaderRechts, Qt::LeftButton);
  EXPECT_EQ(f->actions->state("mixer.crossfader"), fader);
  EXPECT_TRUE(w->lbStatus->text().contains("mixer.crossfader.rechts"));
  // The same note again: a conflict, shown and replaced.
  play({{0x94, 60, 127}});
  EXPECT_TRUE(w->lbStatus->text().contains("links.headcue")) << w->lbStatus->text().toStdString();
  EXPECT_EQ(f->controllers->mappingOf(id)->bindings.size(), 1);
  play({{0x94, 60, 127}});
  EXPECT_EQ(f->actions->state("mixer.crossfader"), 3000);

  // Based on Generic: its bindings come back under the learned one.
  w->cbGrundlage->setCurrentText("Generic");
  w->btVerwenden->click();
  EXPECT_EQ(f->controllers->mappingOf(id)->bindings.size(), 14);
  play({{0xB2, 8, 0}});
  EXPECT_EQ(f->actions->state("mixer.crossfader"), -3000);
  w->close();
}

TEST_F(MidiConsole, FloodsOfBadInputNeverReachTheDecksTiming) {
  start(true);
  c->addSong(fixture(kTen), "A", "T");
  play({{0x90, 18, 127}, {0x91, 18, 127}, {0x90, 16, 127}, {0x91, 16, 127}});
  ASSERT_EQ(f->actions->state("links.play"), 1);
  ASSERT_EQ(f->actions->state("rechts.play"), 1);
  QTest::qWait(300);
  const int missesBefore =
      f->PlayerLinks->MainBuffer->refillMisses() + f->PlayerRechts->MainBuffer->refillMisses();
  EXPECT_EQ(missesBefore, 0);

  // One second of 3,000 messages: fader moves, clock, active sensing,
  // SysEx, random bytes and running status, as a broken controller sends.
  std::mt19937 random(3000);
  for (int i = 0; i < 3000; ++i) {
    switch (i % 6) {
      case 0:
        pad.send({0xB2, 8, std::uint8_t(i % 128)});
        break;
      case 1:
        pad.send({0xF8});
        break;
      case 2:
        pad.send({0xFE});
        break;
      case 3:
        pad.send({0xF0, 0x7E, std::uint8_t(random() & 0x7F), 0x09, 0xF7});
        break;
      case 4:
        pad.send({std::uint8_t(random() & 0x7F), std::uint8_t(random() & 0x7F)});  // no status
        break;
      default:
        pad.send({0xB0, 7, 10, 7, 20});  // running status in one event
        break;
    }
    if (i % 60 == 59) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] { return pad.waiting() == 0; }, 10000));
  pad.send({0xB2, 8, 127});  // the last value wins
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return f->actions->state("mixer.crossfader") == 3000; }, 10000));
  QTest::qWait(200);
  EXPECT_EQ(f->PlayerLinks->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f->PlayerRechts->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f->actions->state("links.play"), 1);
  EXPECT_EQ(f->actions->state("rechts.play"), 1);
  play({{0x90, 16, 127}, {0x91, 16, 127}});
}

TEST_F(MidiConsole, BrokenMappingFilesAreToldAndTheConsoleGoesOn) {
  struct Case {
    const char* what;
    QByteArray own;    // the pad's own file
    QByteArray other;  // Other.txt beside it
    const char* problem;
    int bindings;
  };
  const std::vector<Case> cases = {
      {"binary", QByteArray("note 1 16 links.play\n\0\xFF", 23), {}, "not a text file", 0},
      {"huge", QByteArray(300 * 1024, '#'), {}, "larger than 256 KiB", 0},
      {"cyclic", "use Other\nnote 1 1 links.cue\n", "use qdlpad_pads\nnote 1 2 links.play\n",
       "used in a circle", 2},
      {"broken line", "note 1 1 links.cue\nnote 99 1 links.play\n", {}, "line 2", 1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    qputenv("QUANDREL_AUDIO", "virtual");
    {
      Console console(2);
      QDir(console.cwd.path()).mkdir("Controller");
      const QDir folder(QDir(console.cwd.path()).filePath("Controller"));
      QFile own(folder.filePath(kPadFile));
      ASSERT_TRUE(own.open(QIODevice::WriteOnly));
      own.write(k.own);
      own.close();
      if (!k.other.isEmpty()) {
        QFile other(folder.filePath("Other.txt"));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write(k.other);
      }
      f = console.f;
      ASSERT_TRUE(connected(true));
      const auto list = f->controllers->controllers();
      const qdl::controllers::Mapping* m = f->controllers->mappingOf(list.first().id);
      ASSERT_TRUE(m);
      ASSERT_FALSE(m->problems.isEmpty());
      EXPECT_TRUE(m->problems.join('\n').contains(k.problem))
          << m->problems.join('\n').toStdString();
      EXPECT_EQ(m->bindings.size(), k.bindings);
      f->MidiController1->trigger();
      EXPECT_TRUE(f->controllerWindow->lbProbleme->text().contains(k.problem));
      f->controllerWindow->close();
    }
    f = nullptr;
  }
}

}  // namespace
