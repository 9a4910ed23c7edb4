// Auto-gain on the console: the menu tick and the action, the setting in
// qdl.ini (off for a settings file that was there, on for a new one), the
// gain each deck applies from its song's loudness (measured, or from
// ReplayGain tags), capped at +12 dB and by the true peak, the text beside
// the tempo, a song without a loudness as it was, and what the cards play:
// lowered songs quieter by the gain, lifted ones caught by the limiter.

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <cmath>

#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/AutoGain.h"
#include "decks/Deck.h"
#include "decks/DeckHarness.h"
#include "decks/DeckPanel.h"
#include "library/SongLoudness.h"
#include "platform/ini/IniFile.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;
using qdl::test::peak;

const char* const kTone = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz at -6 dBFS

QLabel* gainLabel(TFormQuandrel& f, const char* side) {
  return f.findChild<QLabel*>(QStringLiteral("lbGain_") + QLatin1String(side));
}

int mainGain(const qdl::decks::Deck& deck) { return deck.player()->MainBuffer->gain(); }

TEST(DeckGain, TextHasSignOneDecimalAndTheLocalesSeparator) {
  QLocale::setDefault(QLocale::c());
  const struct {
    double db;
    const char* text;
  } cases[] = {{-3.5, "-3.5 dB"}, {2, "+2.0 dB"},    {0, "0.0 dB"},     {-0.04, "0.0 dB"},
               {12, "+12.0 dB"},  {-24, "-24.0 dB"}, {0.96, "+1.0 dB"}, {-8.25, "-8.3 dB"}};
  for (const auto& c : cases) EXPECT_EQ(qdl::decks::GainText(c.db), c.text) << c.db;
  QLocale::setDefault(QLocale(QLocale::German));
  EXPECT_EQ(qdl::decks::GainText(-3.5), "-3,5 dB");
  QLocale::setDefault(QLocale::c());
}

TEST(DeckGain, OffForAnExistingSettingsFileThenTheTickAndTheActionSwitchIt) {
  QLocale::setDefault(QLocale::c());
  Console c;
  TFormQuandrel& f = *c.f;
  EXPECT_FALSE(f.AutoGain1->isChecked());
  EXPECT_EQ(f.actions->state(QStringLiteral("autogain.toggle")), 0);

  struct Song {
    const char* title;
    std::optional<qdl::loudness::Level> measured;
    const char* text;  // with auto-gain on at -14 LUFS
    int hundredths;
  } songs[] = {
      {"Loud", qdl::loudness::Level{-6, -6}, "-8.0 dB", -800},
      {"Quiet", qdl::loudness::Level{-40, -30}, "+12.0 dB", 1200},  // at most +12
      {"Peaky", qdl::loudness::Level{-23, -1}, "+4.0 dB", 400},     // peak to +3 dBTP
      {"Unmeasured", std::nullopt, "", 0},                          // plays as it is
  };
  std::vector<qint64> keys;
  for (const Song& s : songs) {
    // One file under several names: each record its own song.
    const QString path = c.cwd.file(QStringLiteral("%1.mp3").arg(s.title));
    ASSERT_TRUE(QFile::copy(fixture(kTone), path));
    c.addSong(path, "Artist", s.title);
    keys.push_back(c.songs->currentId());
    if (s.measured) {
      ASSERT_TRUE(qdl::library::storeMeasuredLoudness(*c.songs, keys.back(), s.measured));
    }
  }

  for (std::size_t i = 0; i < std::size(songs); ++i) {
    SCOPED_TRACE(songs[i].title);
    c.select(c.cwd.file(QStringLiteral("%1.mp3").arg(songs[i].title)));
    f.LoadDB_LinksClick();
    ASSERT_TRUE(f.DeckLinks->player());
    EXPECT_EQ(gainLabel(f, "Links")->text(), "");  // off: nothing applied
    EXPECT_EQ(mainGain(*f.DeckLinks), 0);
    f.actions->press(QStringLiteral("autogain.toggle"));
    EXPECT_TRUE(f.AutoGain1->isChecked());
    EXPECT_EQ(gainLabel(f, "Links")->text(), songs[i].text);
    EXPECT_EQ(mainGain(*f.DeckLinks), songs[i].hundredths);
    if (f.DeckLinks->player()->HeadBuffer) {
      EXPECT_EQ(f.DeckLinks->player()->HeadBuffer->gain(), songs[i].hundredths);
    }
    EXPECT_EQ(qdl::openSettings().readString("AutoGain", "On", ""), "1");
    f.AutoGain1->trigger();  // the menu's tick
    EXPECT_FALSE(f.AutoGain1->isChecked());
    EXPECT_EQ(gainLabel(f, "Links")->text(), "");
    EXPECT_EQ(mainGain(*f.DeckLinks), 0);
    EXPECT_EQ(qdl::openSettings().readString("AutoGain", "On", ""), "0");
  }

  // Loaded while on: applied at load; the bars keep their own values.
  f.actions->press(QStringLiteral("autogain.toggle"));
  c.select(c.cwd.file("Loud.mp3"));
  f.LoadDB_RechtsClick();
  EXPECT_EQ(gainLabel(f, "Rechts")->text(), "-8.0 dB");
  EXPECT_EQ(f.DeckRechts->player()->MainBuffer->volume(), 0);
  // ReplayGain tags count until the song is measured.
  ASSERT_TRUE(qdl::library::storeReplayGain(*c.songs, keys[3], -2.0, 0.5));
  c.select(c.cwd.file("Unmeasured.mp3"));
  f.LoadDB_RechtsClick();
  EXPECT_EQ(gainLabel(f, "Rechts")->text(), "+2.0 dB");  // -18 - -2 = -16 LUFS by the tags
  // Another reference counts for the loaded songs at once.
  f.mixer->setReferenceLoudness(-18);
  EXPECT_EQ(gainLabel(f, "Rechts")->text(), "-2.0 dB");
}

TEST(DeckGain, ANewSettingsFileHasItOnAndTheReferenceComesFromTheFile) {
  Console c;
  TFormQuandrel& f = *c.f;
  f.ReadAutoGain(true);  // as the first start in a folder does
  EXPECT_TRUE(f.AutoGain1->isChecked());
  EXPECT_EQ(qdl::openSettings().readString("AutoGain", "On", ""), "1");
  EXPECT_EQ(f.mixer->referenceLoudness(), -14);
  const struct {
    const char* value;
    double reference;
  } cases[] = {{"-18", -18}, {"-23.5", -23.5}, {"loud", -14}, {"5", -14}, {"-60", -14}};
  for (const auto& r : cases) {
    qdl::openSettings().writeString("AutoGain", "Reference", r.value);
    f.ReadAutoGain(false);
    EXPECT_EQ(f.mixer->referenceLoudness(), r.reference) << r.value;
    EXPECT_TRUE(f.AutoGain1->isChecked());  // the file says on now
  }
  qdl::openSettings().writeString("AutoGain", "On", "0");
  f.ReadAutoGain(true);
  EXPECT_FALSE(f.AutoGain1->isChecked());
}

// The tone at -6 dBFS plays at its level with auto-gain off, 8 dB lower with
// it on, and lifted by 9 dB it is caught by the card's limiter.
TEST(DeckGain, TheCardsPlayTheGainAndTheLimiterCatchesALift) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTone), "Artist", "Tone");
  const qint64 key = c.songs->currentId();
  ASSERT_TRUE(qdl::library::storeMeasuredLoudness(*c.songs, key, qdl::loudness::Level{-6, -6}));
  f.LoadDB_LinksClick();
  f.Play_LinksMouseDown();
  auto playedPeak = [&] {
    c.run(300);
    Console::played(0);
    c.run(500);
    return peak(Console::played(0));
  };
  const int off = playedPeak();
  EXPECT_NEAR(off, 16384, 1200);
  f.actions->press(QStringLiteral("autogain.toggle"));
  const int lowered = playedPeak();
  EXPECT_NEAR(20 * std::log10(double(lowered) / off), -8.0, 0.3);
  // A song that measured 20 dB quieter with the same peak is lifted by
  // 9 dB (its peak to +3 dBTP): the limiter holds it below full scale.
  ASSERT_TRUE(qdl::library::storeMeasuredLoudness(*c.songs, key, qdl::loudness::Level{-26, -6}));
  f.Play_LinksMouseDown();  // paused
  f.LoadDB_LinksClick();
  EXPECT_EQ(gainLabel(f, "Links")->text(), "+9.0 dB");
  f.Play_LinksMouseDown();
  const int lifted = playedPeak();
  EXPECT_GT(lifted, 30000);
  EXPECT_LE(lifted, 31655);
}

// The gain text fits beside the tempo and the pitch text without touching
// either; no control moved for it.
TEST(DeckGain, TextFitsBesideTheTempoAndThePitch) {
  Console c;
  TFormQuandrel& f = *c.f;
  for (const char* side : {"Links", "Rechts"}) {
    QLabel* gain = gainLabel(f, side);
    ASSERT_TRUE(gain);
    QLabel* tempo = side[0] == 'L' ? f.lbTempo_Links : f.lbTempo_Rechts;
    QLabel* pitch = side[0] == 'L' ? f.lbPitch_Links : f.lbPitch_Rechts;
    EXPECT_EQ(tempo->geometry(), QRect(52, 4, 96, 20));
    EXPECT_EQ(pitch->geometry(), QRect(150, 4, 108, 20));
    EXPECT_FALSE(gain->geometry().intersects(tempo->geometry()));
    const QFontMetrics fm(gain->font());
    for (const char* widest : {"-24,0 dB", "+12,0 dB", "-24.0 dB"})
      EXPECT_LE(fm.horizontalAdvance(QString::fromLatin1(widest)), gain->width()) << widest;
    const QFontMetrics pm(pitch->font());
    const int pitchWidth = pm.horizontalAdvance(QStringLiteral("-20,0%"));
    EXPECT_LE(gain->geometry().right() + 4, pitch->geometry().right() - pitchWidth);
  }
}

}  // namespace
