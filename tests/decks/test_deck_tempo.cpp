// Tempo on the console: each deck shows the tempo its song plays at as the
// pitch bar and the bends move it; the menu's analysis runs beside two
// playing decks with its live count and Cancel, and its results reach the
// grids and the decks as they come; a scan can start it.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "decks/Deck.h"
#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "library/TempoAnalysis.h"
#include "platform/db/TableModel.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/RadioGroup.h"

namespace {

using qdl::library::TempoAnalysis;
using qdl::test::Console;
using qdl::test::fixture;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz
const char* const kLong = "sine1k_44k_stereo_200_5s.mp3";

TEST(DeckTempo, TextIsBeatsTimesThePitchWithOneDecimal) {
  QLocale::setDefault(QLocale::c());
  const struct {
    int beats, pitch;
    const char* text;
  } cases[] = {
      {128, 0, "128.0 BPM"},
      {128, 25, "131.2 BPM"},
      {128, -200, "102.4 BPM"},
      {128, 300, "166.4 BPM"},
      {100, -300, "70.0 BPM"},
      {125, 1, "125.1 BPM"},
      {99, 5, "99.5 BPM"},
      {174, 15, "176.6 BPM"},
      {0, 25, ""},
      {-4, 0, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(qdl::decks::TempoText(c.beats, c.pitch), c.text) << c.beats << " at " << c.pitch;
  QLocale::setDefault(QLocale(QLocale::German));
  EXPECT_EQ(qdl::decks::TempoText(128, 25), "131,2 BPM");
  QLocale::setDefault(QLocale::c());
}

TEST(DeckTempo, FollowsBarBendsZeroAndTheRecordTheDeckWasLoadedFrom) {
  QLocale::setDefault(QLocale::c());
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kLong), "Long", "One");
  const qint64 long_ = c.songs->currentId();
  ASSERT_TRUE(c.songs->setStoredValue(long_, "Beats", 128));
  c.addSong(fixture(kTen), "Ten", "Two");
  const qint64 ten = c.songs->currentId();

  c.select(fixture(kLong));
  f.LoadDB_LinksClick();
  EXPECT_EQ(f.lbTempo_Links->text(), "128.0 BPM");
  c.select(fixture(kTen));
  f.LoadDB_RechtsClick();
  EXPECT_EQ(f.lbTempo_Rechts->text(), "");  // no Beats, nothing shown

  f.SBarPitchLinks->setValue(25);
  EXPECT_EQ(f.lbTempo_Links->text(), "131.2 BPM");
  f.SBarPitchLinks->setValue(200);
  f.SBtPlusSpeedLinksMouseDown();
  EXPECT_EQ(f.lbTempo_Links->text(), "166.4 BPM");  // the bend counts
  EXPECT_EQ(f.lbPitch_Links->text(), "20%");        // while the pitch text stays
  f.SBtPlusSpeedLinksMouseUp();
  EXPECT_EQ(f.lbTempo_Links->text(), "153.6 BPM");
  f.SBtMinusSpeedLinksMouseDown();
  EXPECT_EQ(f.lbTempo_Links->text(), "140.8 BPM");
  f.SBtMinusSpeedLinksMouseUp();
  f.SpeedZero_LinksMouseDown();
  EXPECT_EQ(f.lbTempo_Links->text(), "128.0 BPM");

  // The grid stands on the other song; the deck keeps its own. Beats stored
  // by an analysis or the editor show at once, on both decks.
  ASSERT_EQ(c.songs->currentId(), ten);
  ASSERT_TRUE(c.songs->setStoredValue(ten, "Beats", 90));
  EXPECT_EQ(f.lbTempo_Rechts->text(), "90.0 BPM");
  ASSERT_TRUE(c.songs->moveToId(long_));
  c.songs->setFieldValue("Beats", 130);
  c.songs->post();
  EXPECT_EQ(f.lbTempo_Links->text(), "130.0 BPM");
  ASSERT_TRUE(c.songs->setStoredValue(long_, "Beats", QVariant()));
  EXPECT_EQ(f.lbTempo_Links->text(), "");

  // The text fits the display between the time button and the pitch text,
  // and no control moved for it.
  for (QLabel* tempo : {f.lbTempo_Links, f.lbTempo_Rechts}) {
    QWidget* info = tempo->parentWidget();
    EXPECT_TRUE(info->rect().contains(tempo->geometry()));
    EXPECT_LE(tempo->fontMetrics().horizontalAdvance("166.4 BPM"), tempo->width());
    for (QWidget* other : info->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == tempo) continue;
      EXPECT_FALSE(other->geometry().intersects(tempo->geometry()))
          << other->objectName().toStdString();
    }
  }
  EXPECT_EQ(f.btTime_Links->geometry(), QRect(4, 4, 44, 20));
  EXPECT_EQ(f.lbPitch_Links->geometry(), QRect(150, 4, 108, 20));
}

// Answers 120 BPM for every file; from the `immediately`-th call on it waits
// until `release` is set or the run is cancelled.
TempoAnalysis::Analyser fakeAnalyser(std::shared_ptr<std::atomic<bool>> release, int immediately) {
  auto calls = std::make_shared<std::atomic<int>>(0);
  return [=](const QString&, const qdl::tempo::Range&, const qdl::tempo::CancelCheck& cancelled) {
    qdl::tempo::Result r;
    if (calls->fetch_add(1) >= immediately) {
      while (!release->load()) {
        if (cancelled()) {
          r.outcome = qdl::tempo::Outcome::Cancelled;
          return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    }
    r.outcome = qdl::tempo::Outcome::Tempo;
    r.bpm = 120;
    return r;
  };
}

// Runs events (with `c`, also the decks' clock) until `done`, for at most a
// minute. It pauses between rounds: the analysis's worker only gets a core
// that no other thread wants.
bool waitFor(const std::function<bool()>& done, Console* c = nullptr) {
  const QDeadlineTimer deadline(std::chrono::minutes(1));
  while (!done() && !deadline.hasExpired()) {
    if (c) c->run(10);
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// The Beats the model shows for the record of this artist, column by name.
QVariant shownBeats(const QAbstractItemModel* model, int beatsColumn, const QString& artist) {
  for (int row = 0; row < model->rowCount(); ++row)
    if (model->index(row, 0).data().toString() == artist)
      return model->index(row, beatsColumn).data();
  return {};
}

TEST(DeckTempo, TheMenuAnalysesBesideTwoPlayingDecksAndCancelKeepsWhatWasDone) {
  QLocale::setDefault(QLocale::c());
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kLong), "Left", "Playing");
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  c.addSong(fixture("sine1k_noise_48k_stereo_vbr.mp3"), "Right", "Playing");
  f.LoadDB_RechtsClick();
  f.Play_RechtsMouseDown();
  for (const char* name : {"sine5k_44k_stereo_cbr192.mp3", "sine1k_22k_mono_cbr64.mp3",
                           "loud440_44k_stereo_cbr192.mp3", "sine1k_44k_stereo_id3v2.mp3"})
    c.addSong(fixture(name), name, "Song");
  FormDatenBearbeiten->show();  // the editor's grid follows too

  auto release = std::make_shared<std::atomic<bool>>(false);
  FormAnalyse->analysis()->analyser = fakeAnalyser(release, 3);
  f.Analyse1->trigger();
  ASSERT_TRUE(FormAnalyse->isRunning());
  EXPECT_TRUE(FormAnalyse->isVisible());
  EXPECT_EQ(FormAnalyse->windowModality(), Qt::NonModal);  // the console stays usable
  EXPECT_EQ(FormAnalyse->windowTitle(), "Tempo analysieren");
  EXPECT_EQ(FormAnalyse->ProgressBar1->maximum(), 6);

  // Both decks play on while three results arrive.
  waitFor([] { return FormAnalyse->analysis()->counts().done >= 3; }, &c);
  ASSERT_EQ(FormAnalyse->analysis()->counts().done, 3);
  EXPECT_EQ(FormAnalyse->ProgressBar1->value(), 3);
  EXPECT_TRUE(FormAnalyse->lbStatus->text().startsWith("3 von 6 Titeln analysiert    120 BPM\n"))
      << FormAnalyse->lbStatus->text().toStdString();
  EXPECT_EQ(f.lbTempo_Links->text(), "120.0 BPM");  // the left deck's song came first
  EXPECT_EQ(f.lbTempo_Rechts->text(), "120.0 BPM");
  EXPECT_EQ(shownBeats(f.DBGrid1->model(), 4, "Left").toInt(), 120);
  EXPECT_EQ(shownBeats(FormDatenBearbeiten->gridModel(), 2, "Right").toInt(), 120);
  FormDatenBearbeiten->hide();

  FormAnalyse->btCancel->click();
  waitFor([] { return !FormAnalyse->isRunning(); }, &c);
  EXPECT_FALSE(FormAnalyse->isRunning());
  EXPECT_FALSE(FormAnalyse->isVisible());
  EXPECT_EQ(c.leftState(), "playing");
  EXPECT_EQ(c.rightState(), "playing");
  EXPECT_EQ(f.PlayerLinks->MainBuffer->refillMisses(), 0);
  EXPECT_EQ(f.PlayerRechts->MainBuffer->refillMisses(), 0);
  int analysed = 0;
  c.songs->forEachStored({"Analyse"}, [&](qint64, const QVariantList& v) {
    if (v[0].toBool()) ++analysed;
  });
  EXPECT_EQ(analysed, 3);

  // The rest on the next run; then nothing is left, and the menu says so.
  release->store(true);
  f.Analyse1->trigger();
  waitFor([] { return !FormAnalyse->isRunning(); });
  EXPECT_EQ(FormAnalyse->analysis()->counts().tempo, 3);
  f.Analyse1->trigger();
  EXPECT_FALSE(FormAnalyse->isRunning());
  ASSERT_FALSE(c.dialogs.boxes.empty());
  EXPECT_EQ(c.dialogs.boxes.back().text, FormSprache->Tempo.sAllesAnalysiert);
  EXPECT_TRUE(c.dialogs.errors.isEmpty()) << c.dialogs.errors.join('\n').toStdString();
}

// "Tempo analysieren" refuses a range that cannot hold every tempo, as it
// refuses a broken value: the file, section and key named, nothing analysed.
TEST(DeckTempo, ARangeNarrowerThanAnOctaveIsRefusedBeforeAnythingIsAnalysed) {
  const struct Case {
    const char* settings;
    const char* told;
  } cases[] = {
      {"[Tempo]\r\nMinBPM=125\r\nMaxBPM=126\r\n", "[Tempo] MaxBPM (126)"},
      {"[Tempo]\r\nMaxBPM=fast\r\n", "[Tempo] MaxBPM"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.settings);
    Console c;
    QFile ini(c.cwd.file("qdl.ini"));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(k.settings);
    ini.close();
    c.addSong(fixture(kTen), "Ten", "Song");
    c.f->Analyse1->trigger();
    EXPECT_FALSE(FormAnalyse->isRunning());
    ASSERT_EQ(c.dialogs.errors.size(), 1);
    EXPECT_TRUE(c.dialogs.errors[0].contains(k.told)) << c.dialogs.errors[0].toStdString();
    EXPECT_TRUE(c.dialogs.errors[0].contains(QDir::toNativeSeparators(c.cwd.file("qdl.ini"))));
    EXPECT_FALSE(c.songs->asBoolean("Analyse"));
  }
}

TEST(DeckTempo, ABrokenRangeSettingIsReportedAndAScanCanStartTheAnalysis) {
  Console c;
  TFormQuandrel& f = *c.f;
  QFile ini(c.cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::Append));
  ini.write("[Tempo]\r\nMaxBPM=fast\r\n");
  ini.close();
  c.addSong(fixture(kTen), "Ten", "Song");
  f.Analyse1->trigger();
  EXPECT_FALSE(FormAnalyse->isRunning());
  ASSERT_EQ(c.dialogs.errors.size(), 1);
  EXPECT_TRUE(c.dialogs.errors[0].contains("[Tempo] MaxBPM")) << c.dialogs.errors[0].toStdString();

  qdl::IniFile(c.cwd.file("qdl.ini")).writeString("Tempo", "MaxBPM", "170");

  // A scan with the box ticked analyses the new songs once it has ended.
  const QString music = c.cwd.file("music");
  QDir().mkpath(music);
  ASSERT_TRUE(QFile::copy(fixture("sine5k_44k_stereo_cbr192.mp3"), music + "/new.mp3"));
  auto release = std::make_shared<std::atomic<bool>>(true);
  FormAnalyse->analysis()->analyser = fakeAnalyser(release, 0);
  FormScan->volumeSource = [&] {
    return QList<qdl::fs::Volume>{{music, "/dev/test", "ext4", qdl::fs::VolumeKind::Fixed}};
  };
  FormScan->mountPointSource = [] { return QStringList{}; };
  FormScan->show();
  FormScan->RGBedingung->setItemIndex(2);
  FormScan->cbTempo->setChecked(true);
  FormScan->btStart->click();
  EXPECT_EQ(c.songs->recordCount(), 2);
  waitFor([] { return FormAnalyse->analysis()->counts().done > 0; });
  waitFor([] { return !FormAnalyse->isRunning(); });
  EXPECT_EQ(FormAnalyse->analysis()->counts().tempo, 2);  // the new song and the older one
}

}  // namespace
