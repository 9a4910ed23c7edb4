#include "soak/SoakSet.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include <malloc.h>
#include <unistd.h>

#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "playlist/Playlist.h"
#include "soak/SoakDeck.h"
#include "soak/SoakShadow.h"

#if defined(__SANITIZE_ADDRESS__)
#define QDL_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QDL_SOAK_ASAN 1
#endif
#endif
#ifdef QDL_SOAK_ASAN
// AddressSanitizer's count of the bytes allocated and not freed.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace qdl::soak {
namespace {

constexpr int kStepFrames = 441;        // 10 ms of a card
constexpr std::int64_t kMinute = 6000;  // steps
constexpr double kMiB = 1024.0 * 1024.0;
constexpr double kCeiling = 31655.0;  // where the cards' limiters hold the output

// Bytes the program has allocated and not freed.
double heapBytes() {
#ifdef QDL_SOAK_ASAN
  return double(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 m = mallinfo2();
  return double(m.uordblks + m.hblkhd);
#endif
}

double rssBytes() {
  long pages = 0, resident = 0;
  if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// The simulated time of a step (10 ms each) as h:mm:ss.cc.
QString clock(std::int64_t cs) {
  return QStringLiteral("%1:%2:%3.%4")
      .arg(cs / 360000)
      .arg(cs / 6000 % 60, 2, 10, QLatin1Char('0'))
      .arg(cs / 100 % 60, 2, 10, QLatin1Char('0'))
      .arg(cs % 100, 2, 10, QLatin1Char('0'));
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace

bool SoakSet::Deck::timerActive() const {
  return (left ? f->TimerLinks : f->TimerRechts)->isActive();
}

int SoakSet::Deck::misses() const {
  const TStreamPlayer* p = player();
  if (!p) return 0;
  return p->MainBuffer->refillMisses() + (p->HeadBuffer ? p->HeadBuffer->refillMisses() : 0);
}

sound::SoundBuffer* SoakSet::Deck::buffer(int card) const {
  const TStreamPlayer* p = player();
  if (!p) return nullptr;
  return card == 0 ? p->MainBuffer.get() : p->HeadBuffer.get();
}

SoakSet::SoakSet(SoakOptions options) : options_(std::move(options)), rng_(options_.seed) {}

SoakSet::~SoakSet() = default;

TFormQuandrel& SoakSet::console() { return *console_->f; }

QStringList SoakSet::recentActions() const { return QStringList(log_.begin(), log_.end()); }

void SoakSet::log(const QString& what) {
  log_.push_back(clock(step_) + QStringLiteral("  ") + what);
  while (log_.size() > 40) log_.pop_front();
}

void SoakSet::fail(const QString& what) {
  if (failures_.size() >= 50) return;
  failures_ << QStringLiteral("at %1 (seed %2): %3").arg(clock(step_)).arg(options_.seed).arg(what);
  // The first failure with the actions that led to it.
  if (failures_.size() == 1) {
    const auto from = log_.size() > 12 ? log_.end() - 12 : log_.begin();
    for (auto it = from; it != log_.end(); ++it) failures_ << QStringLiteral("  after ") + *it;
  }
}

void SoakSet::setUp() {
  songs_ = makeSongs(options_.songFolder, options_.songs);
  console_ = std::make_unique<test::Console>(1);  // card A main, card B headphones
  TFormQuandrel& f = console();
  // The set's clock drives every timer: none may fire by the real one.
  for (QTimer* t : {f.TimerLinks, f.TimerRechts, f.TimerAutoPlay}) t->setInterval(24 * 3600 * 1000);
  for (bool left : {true, false}) {
    auto d = std::make_unique<Deck>();
    d->left = left;
    d->f = &f;
    decks_.push_back(std::move(d));
  }
  buildLibrary();

  f.cbAutoCue->setChecked(true);
  f.SBVolume_Head->setValue(600);
  QStringList playlist;
  for (const SoakSong& s : songs_) playlist << songPath(s);
  std::shuffle(playlist.begin(), playlist.end(), rng_);
  f.Neu1Click();
  FormPlayList->ShowEntries(playlist, *DataModule1);
  FormPlayList->btStart->click();
  if (!f.TimerAutoPlay->isActive()) fail(QStringLiteral("autoplay did not start"));
  // The DJ opens the set with the first song of the list on the left deck.
  console_->select(playlist.front());
  decks_[0]->load();
  decks_[0]->play();
  log(QStringLiteral("set starts: ") + decks_[0]->state());
}

const SoakSong* SoakSet::songOf(const Deck& d) const {
  const std::optional<QVariant> file =
      d.song() >= 0 ? DataModule1->Table1->storedValue(d.song(), QStringLiteral("DateiName"))
                    : std::nullopt;
  const QString name = file ? file->toString().section(QLatin1Char('/'), -1) : QString();
  for (const SoakSong& s : songs_)
    if (s.file == name) return &s;
  return nullptr;
}

bool SoakSet::inPreview(const Deck& d) const {
  return d.player() && d.state() == QLatin1String("seeking") && d.player()->MainBuffer->isPlaying();
}

// What the decks on a card can make its output bend, from what they play
// now and in the step before (a fade or a ramp spans the change): each
// song's largest bend, scaled by the square of its playback speed and by
// its volume (as at speed 1 at least with key lock); allowances for fades and volume ramps (a
// hundredth of the song's peak) and, when the decks together pass full scale, for the limiter's
// gain coming down; and a floor for the resampler's and the encoder's noise.
double SoakSet::cardBound(int card) {
  double bound = 60, loud = 0;
  for (auto& d : decks_) {
    sound::SoundBuffer* b = d->buffer(card);
    const bool sounding = b && b->isPlaying();
    if (!sounding && !d->wasSounding[card]) {
      d->lastGain[card] = 0;
      continue;
    }
    d->wasSounding[card] = sounding;
    const SoakSong* s = d->playing;
    if (!s)
      s = &*std::max_element(songs_.begin(), songs_.end(),
                             [](const auto& a, const auto& c) { return a.bend < c.bend; });
    const double gain = b && b->volume() > -10000 ? std::pow(10.0, b->volume() / 2000.0) : 0.0;
    const double hz = b && b->frequency() > 0 ? b->frequency() : s->rate;
    const double speed = hz / 44100.0;
    const double g = std::max(gain, d->lastGain[card]);
    // Key lock keeps the song's key: its waveform bends as at speed 1 (or
    // more), whatever the pitch; a fifth more for the stretcher's own.
    const bool locked = d->player() && d->player()->KeyLock();
    const double v = locked ? 1.2 * std::max({speed, d->lastSpeed[card], 1.0})
                            : std::max(speed, d->lastSpeed[card]);
    d->lastGain[card] = gain;
    d->lastSpeed[card] = speed;
    bound += g * (s->bend * std::max(v * v, 0.25) + 0.012 * s->peak);
    loud += g * s->peak;
  }
  if (loud > 0.9 * kCeiling) bound += 2 * kCeiling * std::max(0.0, 1.0 - kCeiling / loud) / 48 + 60;
  return bound;
}

void SoakSet::step() {
  TFormQuandrel& f = console();
  while (!pending_.empty() && pending_.begin()->first <= step_) {
    auto move = std::move(pending_.begin()->second);
    pending_.erase(pending_.begin());
    move();
  }
  if (options_.djActions && pending_.empty()) act();
  if (beforeStep) beforeStep(*this, step_);

  // What the cards are about to play, and whether a jump is asked for.
  bool preview = false;
  for (auto& d : decks_) {
    d->previewing = inPreview(*d);
    preview = preview || d->previewing;
  }
  double bounds[2];
  for (int c = 0; c < 2; ++c) {
    const double now = cardBound(c);
    bounds[c] = std::max(now, bound_[c]);
    bound_[c] = now;
  }
  const bool excused = preview || excused_[0];
  excused_[0] = preview;
  for (int c = 0; c < 2; ++c) {
    sound::VirtualCards::advance(c, kStepFrames);
    check_[c].feed(sound::VirtualCards::takeCaptured(c), bounds[c], excused);
  }
  account();

  for (auto& d : decks_)
    if (d->timerActive()) d->tick();
  if (step_ % 100 == 99 && f.TimerAutoPlay->isActive()) autoplayTick();
  QCoreApplication::sendPostedEvents();
  keepTheSetGoing();
  ++step_;
  if (step_ % kMinute == 0) sampleMemory();
}

// Refill misses since the last step, per deck, told apart by whether the
// deck was in the seek preview while the cards played.
void SoakSet::account() {
  for (auto& d : decks_) {
    if (d->player() != d->seen) {
      d->seen = d->player();
      d->missesSeen = 0;
      d->playing = d->seen ? songOf(*d) : nullptr;
    }
    const int m = d->misses();
    const int fresh = m - d->missesSeen;
    d->missesSeen = m;
    if (fresh <= 0) continue;
    if (d->previewing) {
      figures_.previewPasses += fresh;
    } else {
      figures_.refillMisses += fresh;
      fail(QStringLiteral("%1 refill miss(es) on the %2 deck (%3)")
               .arg(fresh)
               .arg(QLatin1String(d->name()), d->state()));
    }
  }
  for (int c = 0; c < 2; ++c) {
    const JumpCheck& k = check_[c];
    if (k.jumpCount() == jumpsSeen_[c]) continue;
    QString what = QStringLiteral("card %1 jumped (%2 sample(s) in this step)")
                       .arg(QChar(u'A' + c))
                       .arg(k.jumpCount() - jumpsSeen_[c]);
    if (!k.jumps().empty() && std::size_t(jumpsSeen_[c]) < k.jumps().size()) {
      const Jump& j = k.jumps()[std::size_t(jumpsSeen_[c])];
      what += QStringLiteral(": frame %1, channel %2, bend %3 over a bound of %4")
                  .arg(j.frame)
                  .arg(j.channel)
                  .arg(j.bend)
                  .arg(j.bound, 0, 'f', 0);
    }
    const QStringList recent = recentActions();
    what += QStringLiteral("; last actions: ") +
            recent.mid(std::max(0, int(recent.size()) - 4)).join(QStringLiteral(" | "));
    fail(what);
    jumpsSeen_[c] = k.jumpCount();
  }
  figures_.jumps = check_[0].jumpCount() + check_[1].jumpCount();
}

void SoakSet::autoplayTick() {
  TStreamPlayer* before[2] = {decks_[0]->player(), decks_[1]->player()};
  QString was[2] = {decks_[0]->state(), decks_[1]->state()};
  handingOver_ = true;
  console().TimerAutoPlayTimer();
  handingOver_ = false;
  for (int i = 0; i < 2; ++i) {
    Deck& d = *decks_[size_t(i)];
    if (d.state() == QLatin1String("playing") &&
        (was[i] != QLatin1String("playing") || d.player() != before[i])) {
      ++figures_.handOvers;
      log(QStringLiteral("autoplay starts the %1 deck").arg(QLatin1String(d.name())));
    }
  }
}

// A set that has fallen silent (the DJ stopped both decks) is started again
// after five seconds, as a DJ would.
void SoakSet::keepTheSetGoing() {
  for (auto& d : decks_)
    if (d->state() == QLatin1String("playing")) {
      quietSince_ = step_;
      return;
    }
  if (step_ - quietSince_ < 500 || !pending_.empty()) return;
  quietSince_ = step_;
  Deck& d = *decks_[rng_() % 2];
  if (!d.player()) d.load();
  d.play();
  count(QStringLiteral("restart"));
  log(QStringLiteral("the DJ starts the %1 deck again: %2")
          .arg(QLatin1String(d.name()), d.state()));
}

void SoakSet::sampleMemory() {
  heapByMinute_.push_back(heapBytes() / kMiB);
  rssByMinute_.push_back(rssBytes() / kMiB);
  const std::int64_t minute = step_ / kMinute;
  if (options_.progress && minute % 60 == 0)
    std::fprintf(stderr, "soak: %lld h simulated, heap %.1f MiB, resident %.1f MiB, %d actions\n",
                 static_cast<long long>(minute / 60), heapByMinute_.back(), rssByMinute_.back(),
                 figures_.actions);
  if (minute % 60 == 0) verifyLibrary();
}

SoakFigures SoakSet::run() {
  QElapsedTimer real;
  real.start();
  setUp();
  figures_.heapStartMB = heapBytes() / kMiB;
  steps_ = std::int64_t(options_.minutes * double(kMinute));
  for (step_ = 0; step_ < steps_;) step();

  figures_.hours = double(steps_) / double(60 * kMinute);
  figures_.steps = steps_;
  // Memory: the mark is the end of hour 1 (of the first fifth of a shorter
  // set); the end is the median of the last ten samples.
  const int minutes = int(heapByMinute_.size());
  const int mark = std::max(1, std::min(60, minutes / 5));
  figures_.memoryMark = mark;
  if (minutes >= mark) {
    figures_.heapHour1MB = heapByMinute_[size_t(mark - 1)];
    figures_.rssHour1MB = rssByMinute_[size_t(mark - 1)];
    const int tail = std::max(0, minutes - 10);
    figures_.heapEndMB = median({heapByMinute_.begin() + tail, heapByMinute_.end()});
    figures_.rssEndMB = median({rssByMinute_.begin() + tail, rssByMinute_.end()});
    figures_.heapMaxAfterHour1MB =
        *std::max_element(heapByMinute_.begin() + mark - 1, heapByMinute_.end());
    const double growth = figures_.heapEndMB - figures_.heapHour1MB;
    if (growth > 4.0)
      fail(QStringLiteral("the heap grew by %1 MiB after minute %2")
               .arg(growth, 0, 'f', 1)
               .arg(mark));
  }
  figures_.worstBend = std::max(check_[0].worstRatio(), check_[1].worstRatio());
  figures_.messages = int(console_->dialogs.boxes.size());
  figures_.errors = int(console_->dialogs.errors.size());
  for (const QString& e : console_->dialogs.errors) fail(QStringLiteral("error shown: ") + e);

  verifyLibrary();
  app::destroyWindows();  // closes the library; the set's folder stays until the console goes
  verifyFiles();
  console_.reset();
  figures_.realSeconds = double(real.elapsed()) / 1000.0;
  return figures_;
}

void SoakSet::count(const QString& kind) {
  ++figures_.actions;
  ++figures_.actionsByKind[kind];
}

}  // namespace qdl::soak
