// Recording a set from the console on the virtual cards' manual clock: the
// file is what the room heard, the track list has each hand-over of an
// autoplay set at the time it was heard, and the menu entry, its key, the
// action, the REC text and quitting behave.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QThread>
#include <QTimer>

#include "app/RecordControl.h"
#include "control/Actions.h"
#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "platform/record/Recorder.h"
#include "platform/ui/Controls.h"
#include "playlist/Playlist.h"
#include "support/ScratchDisk.h"

using qdl::control::ActionResult;
using qdl::test::Console;
using qdl::test::fixture;

namespace {

const char* const kLong = "sine1k_44k_stereo_200_5s.mp3";  // 200.5 s

std::vector<std::int16_t> decode(const QString& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
  if (!f) return {};
  std::vector<std::int16_t> out(std::size_t(info.frames) * std::size_t(info.channels));
  out.resize(std::size_t(sf_read_short(f, out.data(), sf_count_t(out.size()))));
  sf_close(f);
  return out;
}

QStringList recordings(const QString& folder, const QString& pattern) {
  QStringList files;
  for (const QString& name : QDir(folder).entryList({pattern}, QDir::Files))
    files << QDir(folder).filePath(name);
  return files;
}

QString readText(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The INDEX times of a cue sheet, in frames (to 1/75 s).
std::vector<std::int64_t> cueTimes(const QString& sheet) {
  std::vector<std::int64_t> times;
  static const QRegularExpression index(QStringLiteral("INDEX 01 (\\d+):(\\d\\d):(\\d\\d)"));
  for (auto it = index.globalMatch(sheet); it.hasNext();) {
    const auto m = it.next();
    const std::int64_t seconds = m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong();
    times.push_back(seconds * 44100 + m.captured(3).toLongLong() * 44100 / 75);
  }
  return times;
}

class RecordConsole : public ::testing::Test {
 protected:
  QString song(const QString& name, int cue) {
    const QString path = c.cwd.file(name);
    EXPECT_TRUE(QFile::link(fixture(kLong), path));
    c.addSong(path, name, QStringLiteral("Title"), cue);
    return path;
  }
  // 10 ms steps: both cards render, the deck timers tick, and the autoplay
  // timer every second while it runs. Keeps what card A (the room) played
  // and notes the frame of card A at which a deck was started.
  void run(int ms) {
    for (int t = 0; t < ms; t += 10) {
      c.run(10);
      const auto a = Console::played(0);
      heard.insert(heard.end(), a.begin(), a.end());
      Console::played(1);
      if (++steps % 100 != 0 || !c.f->TimerAutoPlay->isActive()) continue;
      TStreamPlayer* const before[2] = {c.f->PlayerLinks, c.f->PlayerRechts};
      const QString states[2] = {c.leftState(), c.rightState()};
      c.f->TimerAutoPlayTimer();
      for (int d = 0; d < 2; ++d) {
        TStreamPlayer* now = d == 0 ? c.f->PlayerLinks : c.f->PlayerRechts;
        const QString state = d == 0 ? c.leftState() : c.rightState();
        if (state == "playing" && (states[d] != "playing" || now != before[d]))
          handOvers.push_back(std::int64_t(heard.size() / 2));
      }
    }
  }
  Console c{0};  // both decks on card A
  std::vector<std::int16_t> heard;
  std::vector<std::int64_t> handOvers;
  int steps = 0;
};

TEST_F(RecordConsole, AnAutoplaySetIsRecordedAsHeardWithEachHandOverInTheTrackList) {
  const QString a = song("a.mp3", 18000);
  const QString b = song("b.mp3", 18100);
  const QString intro = song("intro.mp3", 18500);
  c.f->cbAutoCue->setChecked(true);
  c.select(intro);
  c.f->LoadDB_LinksClick();
  c.f->Play_LinksMouseDown();
  c.run(300);  // the set is on before the recording starts
  Console::played(0);
  Console::played(1);

  ASSERT_EQ(c.f->actions->press(QStringLiteral("record.toggle")).status, ActionResult::Done);
  EXPECT_EQ(c.f->actions->state(QStringLiteral("record.toggle")), 1);
  EXPECT_TRUE(c.f->Aufnahme1->isChecked());
  c.f->Neu1Click();
  FormPlayList->ShowEntries({a, b}, *DataModule1);
  FormPlayList->btStart->click();
  run(30000);
  ASSERT_EQ(c.f->actions->press(QStringLiteral("record.toggle")).status, ActionResult::Done);
  EXPECT_EQ(c.f->actions->state(QStringLiteral("record.toggle")), 0);
  EXPECT_FALSE(c.f->Aufnahme1->isChecked());
  EXPECT_TRUE(c.dialogs.boxes.empty());

  const QString folder = c.cwd.file("Aufnahmen");
  const QStringList files = recordings(folder, QStringLiteral("*.flac"));
  ASSERT_EQ(files.size(), 1);
  EXPECT_TRUE(QFileInfo(files[0]).fileName().contains(
      QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.flac$"))));
  const auto recorded = decode(files[0]);
  ASSERT_EQ(recorded.size(), heard.size());
  EXPECT_TRUE(recorded == heard) << "the recording is what card A played, sample for sample";

  // The intro was audible when the recording started; then each hand-over.
  ASSERT_GE(handOvers.size(), 2u);
  const QString base = files[0].chopped(5);
  const QString sheet = readText(base + QStringLiteral(".cue"));
  const auto times = cueTimes(sheet);
  ASSERT_EQ(times.size(), handOvers.size() + 1) << sheet.toStdString();
  EXPECT_EQ(times[0], 0);
  for (std::size_t i = 0; i < handOvers.size(); ++i)
    EXPECT_NEAR(double(times[i + 1]), double(handOvers[i]), 44100.0 / 75 + 1) << i;
  EXPECT_TRUE(sheet.contains(QStringLiteral("PERFORMER \"intro.mp3\"")));
  EXPECT_TRUE(sheet.contains(QStringLiteral("PERFORMER \"a.mp3\"")));
  const QStringList lines =
      readText(base + QStringLiteral(".txt")).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), qsizetype(times.size()));
  EXPECT_EQ(lines[0], QStringLiteral("0:00:00  intro.mp3 - Title"));
  EXPECT_TRUE(lines[1].endsWith(QStringLiteral("  a.mp3 - Title")));
}

TEST_F(RecordConsole, ASilentDeckJoinsTheListOnlyWhenItIsHeard) {
  const QString a = song("a.mp3", 0);
  c.select(a);
  c.f->LoadDB_LinksClick();
  // The volume bar at its bottom: silent.
  c.f->actions->setValue(QStringLiteral("links.volume"), qdl::decks::Deck::kVolumeMax);
  ASSERT_EQ(c.f->recording->toggle(), QString());
  c.f->Play_LinksMouseDown();
  run(1000);
  c.f->actions->setValue(QStringLiteral("links.volume"), 0);
  run(500);
  c.f->Play_LinksMouseDown();  // a pause and a restart are still the same track
  run(100);
  c.f->Play_LinksMouseDown();
  run(100);
  c.f->recording->stop();
  const QStringList files = recordings(c.cwd.file("Aufnahmen"), QStringLiteral("*.flac"));
  ASSERT_EQ(files.size(), 1);
  const auto times = cueTimes(readText(files[0].chopped(5) + QStringLiteral(".cue")));
  ASSERT_EQ(times.size(), 1u);
  EXPECT_NEAR(double(times[0]), 44100.0, 44100.0 / 75 + 441);
}

TEST_F(RecordConsole, TheMenuEntryItsKeyAndTheRecText) {
  QAction* entry = c.f->Aufnahme1;
  EXPECT_EQ(entry->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
  EXPECT_TRUE(entry->isCheckable());
  // No other entry or key of the window has Ctrl+R.
  for (QAction* other : c.f->findChildren<QAction*>()) {
    if (other == entry) continue;
    EXPECT_NE(other->shortcut(), entry->shortcut()) << other->objectName().toStdString();
  }
  EXPECT_EQ(entry->text(), FormSprache->Aufnahme.sAufnahme);

  QLabel* rec = c.f->recording->label();
  EXPECT_FALSE(rec->isVisible());
  QMenuBar* bar = c.f->menuBar();
  const QRect help = bar->actionGeometry(c.f->Hilfe1->menuAction());
  const QRect client = c.f->centralWidget()->geometry();
  entry->trigger();
  EXPECT_TRUE(entry->isChecked());
  ASSERT_TRUE(c.f->recording->isRecording());
  EXPECT_TRUE(rec->isVisible());
  run(2050);
  c.f->recording->refresh();
  EXPECT_EQ(rec->text(), QStringLiteral("REC 0:00:02 \u00b7 0 MB"));
  // It stands at the menu bar's right end, right of its menus, and moves
  // nothing.
  QApplication::processEvents();
  EXPECT_EQ(rec->parentWidget(), bar);
  EXPECT_GT(rec->x(), help.right());
  EXPECT_LE(rec->geometry().right(), bar->width());
  EXPECT_EQ(bar->actionGeometry(c.f->Hilfe1->menuAction()), help);
  EXPECT_EQ(c.f->centralWidget()->geometry(), client);
  EXPECT_EQ(rec->palette().color(QPalette::WindowText).red() > 150, true);
  entry->trigger();
  EXPECT_FALSE(entry->isChecked());
  EXPECT_FALSE(rec->isVisible());
  EXPECT_EQ(recordings(c.cwd.file("Aufnahmen"), QStringLiteral("*.flac")).size(), 1);

  struct Case {
    std::int64_t frames, bytes;
    const char* text;
  };
  for (const Case& t :
       {Case{0, 0, "REC 0:00:00 \u00b7 0 MB"},
        Case{44100LL * 754, 123'456'789, "REC 0:12:34 \u00b7 123 MB"},
        Case{44100LL * 36000 + 44099, 4'000'000'000, "REC 10:00:00 \u00b7 4000 MB"}})
    EXPECT_EQ(qdl::app::RecordControl::statusText(t.frames, t.bytes), QString::fromUtf8(t.text));
}

TEST_F(RecordConsole, QuittingWhileRecordingAsksAndAYesFinishesTheFile) {
  ASSERT_EQ(c.f->recording->toggle(), QString());
  run(500);
  c.dialogs.answers = {qdl::ui::Answer::No};
  EXPECT_FALSE(c.f->close());
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_TRUE(c.dialogs.boxes[0].text.contains(FormSprache->Aufnahme.sAufnahmeLaeuft));
  EXPECT_TRUE(c.f->recording->isRecording());
  run(500);
  c.dialogs.answers = {qdl::ui::Answer::Yes};
  EXPECT_TRUE(c.f->close());
  EXPECT_FALSE(c.f->recording->isRecording());
  const QStringList files = recordings(c.cwd.file("Aufnahmen"), QStringLiteral("*.flac"));
  ASSERT_EQ(files.size(), 1);
  EXPECT_EQ(decode(files[0]).size(), heard.size());
}

TEST(RecordFullDiskOfTheConsole, AFullDiskStopsTheRecordingWithAMessageAndTheFilePlays) {
  qdl::test::ScratchDisk disk(256);
  if (!disk.isMounted()) GTEST_SKIP() << "no disk of its own can be mounted here";
  qdl::test::TempCwd probe;
  qdl::test::writeVirtualCardSettings(probe.file("qdl.ini"), 0);
  QFile ini(probe.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  Console c(ini.readAll() + "[Record]\r\nFormat=wav\r\nFolder=" + disk.path().toUtf8() + "\r\n");
  ASSERT_EQ(c.f->recording->toggle(), QString());
  // 256 KiB hold about 1.5 s of WAV.
  for (int i = 0; i < 100 && c.f->recording->isRecording(); ++i) {
    c.run(100);
    const qdl::record::Recorder& r = c.f->recording->recorder();
    while (!r.status().failed && r.status().writtenFrames < r.status().frames) QThread::msleep(2);
    c.f->recording->refresh();
  }
  EXPECT_FALSE(c.f->recording->isRecording());
  EXPECT_FALSE(c.f->Aufnahme1->isChecked());
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_TRUE(c.dialogs.boxes[0].text.startsWith(
      FormSprache->Aufnahme.sGestoppt.section(QStringLiteral("%1"), 0, 0)))
      << c.dialogs.boxes[0].text.toStdString();
  const QStringList files = recordings(disk.path(), QStringLiteral("*.wav"));
  ASSERT_EQ(files.size(), 1);
  EXPECT_GT(decode(files[0]).size(), std::size_t(44100));
}

TEST(RecordSettingsOfTheConsole, FolderAndFormatComeFromTheSettingsFile) {
  struct Case {
    const char* record;  // the [Record] section
    const char* folder;
    const char* pattern;
    bool told;
  };
  for (const Case& t : {Case{"", "Aufnahmen", "*.flac", false},
                        Case{"[Record]\r\nFormat=wav\r\nFolder=Sets\r\n", "Sets", "*.wav", false},
                        Case{"[Record]\r\nFormat=MP3\r\n", "Aufnahmen", "*.mp3", false},
                        Case{"[Record]\r\nFormat=ogg\r\n", "Aufnahmen", "*.flac", true}}) {
    SCOPED_TRACE(t.record);
    qdl::test::TempCwd probe;  // only for a settings text of the virtual cards
    qdl::test::writeVirtualCardSettings(probe.file("qdl.ini"), 0);
    QFile ini(probe.file("qdl.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    const QByteArray settings = ini.readAll() + t.record;
    ini.close();
    Console c(settings);
    ASSERT_EQ(c.f->recording->toggle(), QString());
    c.run(200);
    EXPECT_EQ(c.f->Notice->isVisible(), t.told);
    c.f->recording->stop();
    EXPECT_EQ(recordings(c.cwd.file(t.folder), QLatin1String(t.pattern)).size(), 1);
  }
}

}  // namespace
