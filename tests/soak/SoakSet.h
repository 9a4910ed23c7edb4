#pragma once
// A whole DJ set on the virtual cards' manual clock, faster than real time:
// the console in a temporary folder with 50 generated songs (SoakSongs) in
// its library and its playlist, autoplay handing over from deck to deck,
// autocue on, and a DJ doing random things from a seeded generator: loads,
// cue, cue points stored after a seek, seeks with their preview loop, play
// and pause, pitch and bends, volumes, crossfader sweeps and jumps, head
// cue, playlist edits, tag edits in the editor, a check after a song file
// went away and a scan that finds it again, language switches.
//
// Output mode 1: card A carries both decks, card B the headphones. Every
// 10 ms both cards render 441 frames, then the deck timers tick; the
// autoplay timer ticks every second. The console's own timers are kept from
// ever firing by the real clock, so a seed always plays the same set.
//
// What is watched, all the way through:
// - refill misses of every deck buffer, outside the seek preview (where the
//   half second loops on purpose, and each pass counts as one);
// - jumps in both cards' output (JumpCheck), against a bound from what the
//   decks on the card play: each song's own largest bend scaled by its
//   playback speed and volume, allowances for fades, ramps and the limiter;
// - messages and errors the console shows (a load of a song whose file went
//   away is told; an error display is a fault);
// - heap and resident memory every simulated minute.
// At the end: every record is read whole; its cue point is the one last
// stored for its own song, its artist and title those last written (by the
// editor or by the scan that found it again), and its file's tag says so;
// each song's audio bytes are untouched; SQLite's integrity check passes.
//
// The set never writes outside its temporary folder: the songs are copied
// there from the folder they are made in.

#include <QMap>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "soak/JumpCheck.h"
#include "soak/SoakSongs.h"

class TFormQuandrel;
class TStreamPlayer;

namespace qdl::test {
class Console;
}

namespace qdl::soak {

struct SoakOptions {
  double minutes = 10;     // simulated
  std::uint32_t seed = 1;  // of the DJ's actions
  QString songFolder;      // where the songs are made and kept between runs
  int songs = 50;          // in the library and the playlist
  bool djActions = true;   // false: autoplay alone (and what beforeStep does)
  bool progress = false;   // a line on standard error every simulated hour
};

struct SoakFigures {
  double hours = 0;  // simulated
  std::int64_t steps = 0;
  double realSeconds = 0;
  int actions = 0;
  QMap<QString, int> actionsByKind;
  int handOvers = 0;       // autoplay starts of the other deck
  int refillMisses = 0;    // outside the seek preview
  int previewPasses = 0;   // refill misses inside the seek preview (on purpose)
  std::int64_t jumps = 0;  // both cards
  double worstBend = 0;    // largest bend over its bound, both cards
  int messages = 0;        // message boxes (a load of a song that went away)
  int errors = 0;          // error displays
  double heapStartMB = 0, heapHour1MB = 0, heapEndMB = 0, heapMaxAfterHour1MB = 0;
  double rssHour1MB = 0, rssEndMB = 0;
  double memoryMark = 0;  // minutes at which "hour 1" was taken (60, or less for short sets)
  int records = 0;
  int cuePointsStored = 0;  // by cue after a seek
  int recordsChecked = 0;
  int recordFaults = 0;  // unreadable, wrong cue point, wrong texts, missing
  int fileFaults = 0;    // tag not as the record, audio bytes changed
  QString integrity;     // SQLite's integrity check
};

class SoakSet {
 public:
  explicit SoakSet(SoakOptions options);
  ~SoakSet();
  SoakSet(const SoakSet&) = delete;
  SoakSet& operator=(const SoakSet&) = delete;

  // Plays the set and checks the library; failures() says what did not hold.
  SoakFigures run();
  QStringList failures() const { return failures_; }
  // The actions of the last simulated minutes, for a failure report.
  QStringList recentActions() const;

  // Runs at every step before the cards render (tests inject faults here).
  std::function<void(SoakSet&, std::int64_t step)> beforeStep;
  TFormQuandrel& console();
  const JumpCheck& output(int card) const { return check_[card]; }
  double now() const { return double(step_) / 100.0; }  // simulated seconds

 private:
  struct Deck;
  struct Shadow;

  void setUp();
  void step();
  void account();
  void sampleMemory();
  double cardBound(int card);
  bool inPreview(const Deck& d) const;
  const SoakSong* songOf(const Deck& d) const;
  void keepTheSetGoing();
  void autoplayTick();
  void log(const QString& what);
  void fail(const QString& what);

  // Actions (SoakActions.cpp).
  void act();
  void startGesture();
  void pressLoad(Deck& d);
  void pressCue(Deck& d);
  void drag(Deck& d);
  void storeCue(Deck& d);
  void previewSeek(Deck& d);
  void pressPlay(Deck& d);
  void movePitch(Deck& d);
  void bend(Deck& d);
  void moveVolume(Deck& d);
  void sweepFader();
  void jumpFader();
  void turnKnob(Deck& d);
  void record();  // record.toggle, and off again a little later
  void pressKey(Deck& d);
  void toggleHeadCue(Deck& d);
  void editPlaylist();
  void editTag();
  void checkLibrary();
  void scanLibrary();
  void switchLanguage();
  void later(int steps, std::function<void()> what);
  void count(const QString& kind);

  // The library as it should be (SoakLibrary.cpp).
  void buildLibrary();
  void cueStored(Deck& d, int position);
  void verifyLibrary();
  void verifyFiles();
  QString songPath(const SoakSong& s) const;

  SoakOptions options_;
  SoakFigures figures_;
  QStringList failures_;
  std::vector<SoakSong> songs_;
  std::unique_ptr<test::Console> console_;
  std::unique_ptr<Shadow> shadow_;
  std::vector<std::unique_ptr<Deck>> decks_;  // left, right
  JumpCheck check_[2];
  double bound_[2] = {0, 0};  // the bound of the step before, per card
  bool excused_[2] = {false, false};
  std::mt19937 rng_;
  std::int64_t step_ = 0;
  std::int64_t steps_ = 0;
  std::int64_t quietSince_ = 0;
  std::multimap<std::int64_t, std::function<void()>> pending_;  // a gesture's next moves, by step
  std::deque<QString> log_;
  std::vector<double> heapByMinute_;
  std::vector<double> rssByMinute_;
  bool handingOver_ = false;
  std::int64_t jumpsSeen_[2] = {0, 0};
};

}  // namespace qdl::soak
