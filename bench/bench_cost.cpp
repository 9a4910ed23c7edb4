// The cost of playing: the console on the real PortAudio path, on the
// project's PulseAudio test bed (scripts/audio-testbed, started here), with
// its own timers in its own event loop, for 30 seconds each:
//   Playing  both decks play (the right one pitched at +8 %), in output
//            mode 0 (both on card A) and in mode 1 (main card A, headphone
//            card B), the seek bars and time displays following the songs;
//   Idle     the console in mode 1 with both songs loaded and nothing
//            playing.
// PlayingKeyLocked: both decks at +8 % with key lock on, in mode 0; also
// the refill misses of both rings over the run.
// Figures: the console's CPU share of one core (user and system time of all
// of its threads over wall time; the sound server is another process and
// does not count) and its wake-ups per second (voluntary and involuntary
// context switches of all of its threads), each the median of 5-second
// windows. A line per thread shows where they come from.
// QDL_BENCH_COST_SECONDS sets another length.
// Playing runs in mode 0 at each output buffer setting ([Devices]
// OutputBuffer 3, 6 and 11 ms) beside today's default (10 ms, no line).
// ActionToSound: the time from a press of the action "links.play" (the path
// a key or a MIDI note takes) to the deck's first sound on the card, at each
// output buffer, on the test bed's PortAudio path and on the virtual
// real-time card. The card's callback marks when the first sounding sample
// is heard: the time of its block plus the output latency PortAudio reports
// for it plus its place in the block. 25 presses each, with the deck paused
// in between for lengths that put the presses on every phase of the card's
// blocks; the median and the largest.
// Overviews: both decks play in mode 0 with their songs' overviews, shown
// and hidden in turns of 5 s in the same run (so that what else loads the
// machine falls on both alike); the figure is the difference of the two
// medians of CPU share.
// Recording: both decks play in mode 0 while the set is recorded to FLAC or
// MP3, in 5-second windows that alternate with windows without a recording
// (so a machine that others load counts against both alike); the figures are
// the extra CPU share (the median window with, less the median without) and
// the refill misses of the decks' rings over the whole run.
// HeldWindow: both decks play in mode 0 while the window's thread is held
// busy for 1 s and for 5 s (a stuck dialog, a slow disk); the figure is the
// refill misses of the two decks' rings over that time.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "BenchDialogs.h"
#include "Figures.h"
#include "app/Mainform.h"
#include "app/RecordControl.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/DeckPanel.h"
#include "decks/OverviewLoader.h"
#include "decks/OverviewView.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/record/Recorder.h"
#include "platform/sound/Mixer.h"
#include "platform/sound/Sound.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "support/AudioTestbed.h"

namespace {

const QString kSongs[] = {
    QStringLiteral(QDL_FIXTURE_DIR "/bench_chord_44k_stereo_cbr192_5min.mp3"),
    QStringLiteral(QDL_FIXTURE_DIR "/bench_noise_44k_stereo_cbr320_10min.mp3")};

int seconds() {
  const int s = qEnvironmentVariableIntValue("QDL_BENCH_COST_SECONDS");
  return s > 0 ? s : 30;
}

// Runs scripts/audio-testbed with `args`; its standard output into `out`.
int testbed(const QStringList& args, QByteArray* out = nullptr) {
  return qdl::test::runAudioTestbed(QStringLiteral(QDL_SOURCE_DIR "/scripts/audio-testbed"), args,
                                    out);
}

// The test bed for the life of the program.
class Testbed {
 public:
  Testbed() {
    QByteArray exports;
    if (testbed({QStringLiteral("start"), dir_.path()}, &exports) != 0) return;
    for (const QByteArray& line : exports.split('\n')) {
      if (!line.startsWith("export ")) continue;
      const QByteArray assignment = line.mid(7);
      const qsizetype eq = assignment.indexOf('=');
      qputenv(assignment.left(eq).constData(), assignment.mid(eq + 1));
    }
    qputenv("QUANDREL_AUDIO", "portaudio");
    running_ = true;
  }
  ~Testbed() {
    if (running_) testbed({QStringLiteral("stop"), dir_.path()});
  }
  bool running() const { return running_; }

 private:
  QTemporaryDir dir_;
  bool running_ = false;
};

// CPU seconds and context switches of every thread of the process, by name.
struct Usage {
  double cpu = 0;
  long switches = 0;
  std::map<std::string, std::pair<double, long>> threads;

  static Usage now() {
    Usage u;
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    u.cpu = double(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
            double(r.ru_utime.tv_usec + r.ru_stime.tv_usec) * 1e-6;
    u.switches = r.ru_nvcsw + r.ru_nivcsw;
    const long tick = sysconf(_SC_CLK_TCK);
    for (const QString& tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(tid));
      QFile status(QStringLiteral("/proc/self/task/%1/status").arg(tid));
      if (!stat.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) continue;
      const QByteArray s = stat.readAll();
      const qsizetype open = s.indexOf('('), close = s.lastIndexOf(')');
      const std::string name = s.mid(open + 1, close - open - 1).toStdString();
      const QList<QByteArray> f = s.mid(close + 2).split(' ');
      double cpu = f.size() > 12 ? (f[11].toDouble() + f[12].toDouble()) / double(tick) : 0;
      long sw = 0;
      for (const QByteArray& line : status.readAll().split('\n'))
        if (line.contains("ctxt_switches")) sw += line.split(':').value(1).trimmed().toLong();
      auto& t = u.threads[name + " " + tid.toStdString()];
      t.first += cpu;
      t.second += sw;
    }
    return u;
  }
};

// The console in a temporary folder on the test bed's cards in output mode
// `mode` (0: both decks on card A; 1: main card A, headphone card B), with
// the two songs loaded.
// `bufferMs` is the [Devices] OutputBuffer line (0: none, today's default);
// `cardA` and `cardB` the cards' names (the test bed's, or the virtual ones).
class Console {
 public:
  explicit Console(int mode, int bufferMs = 0, const QString& cardA = QStringLiteral("quandrel_a"),
                   const QString& cardB = QStringLiteral("quandrel_b"))
      : previous_(QDir::currentPath()) {
    QDir::setCurrent(dir_.path());
    QString a, b, ga, gb;
    for (const qdl::sound::DeviceInfo& d : qdl::sound::enumerateDevices()) {
      if (!d.guid) continue;
      if (d.description == cardA) a = d.description, ga = qdl::sound::guidToText(*d.guid);
      if (d.description == cardB) b = d.description, gb = qdl::sound::guidToText(*d.guid);
    }
    QFile ini(dir_.filePath(QStringLiteral("qdl.ini")));
    const QString buffer =
        bufferMs > 0 ? QStringLiteral("OutputBuffer=%1\r\n").arg(bufferMs) : QString();
    if (ini.open(QIODevice::WriteOnly))
      ini.write(QStringLiteral("[Devices]\r\nMode=%5\r\nCard_1=%1\r\nCard_2=%2\r\n%6"
                               "[present Devices]\r\n%1=%3\r\n%2=%4\r\n")
                    .arg(a, b, ga, gb)
                    .arg(mode)
                    .arg(buffer)
                    .toUtf8());
    ini.close();
    qdl::ui::setDialogs(&dialogs_);
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    TFormQuandrel& f = *FormQuandrel;
    for (const QString& song : kSongs)
      DataModule1->Table1->insertRecord({QVariant(), "Bench", song.section('/', -1), QVariant(),
                                         "Noise", "2026", song, QVariant(), 0, QVariant(), false});
    DataModule1->Table1->setIndexName(QStringLiteral("iDateiname"));
    DataModule1->Table1->findNearest(kSongs[0]);
    f.LoadDB_LinksClick();
    DataModule1->Table1->findNearest(kSongs[1]);
    f.LoadDB_RechtsClick();
    f.SBarPitchRechts->setValue(80);
    ok_ = f.PlayerLinks && f.PlayerRechts;
  }
  ~Console() {
    qdl::app::destroyWindows();
    qdl::ui::setDialogs(nullptr);
    QDir::setCurrent(previous_);
  }
  bool ok() const { return ok_; }

 private:
  QString previous_;
  QTemporaryDir dir_;
  qdl::bench::NoDialogs dialogs_;
  bool ok_ = false;
};

Testbed* bed = nullptr;

// Runs the event loop for `s` seconds.
void runFor(double s) {
  QEventLoop loop;
  QTimer::singleShot(int(s * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

void measure(benchmark::State& state, bool playing, bool keyLock = false) {
  if (!bed || !bed->running()) {
    state.SkipWithError("the audio test bed did not start (pulseaudio missing?)");
    return;
  }
  const int mode = int(state.range(0));
  const int bufferMs = int(state.range(1));
  Console console(mode, bufferMs);
  if (!console.ok()) {
    state.SkipWithError("the songs did not load");
    return;
  }
  TFormQuandrel& f = *FormQuandrel;
  if (keyLock) {
    // Both decks at +8 % with key lock: the stretcher runs for both.
    f.SBarPitchLinks->setValue(80);
    f.actions->press(QStringLiteral("links.keylock"));
    f.actions->press(QStringLiteral("rechts.keylock"));
  }
  if (playing) {
    f.Play_LinksMouseDown();
    f.Play_RechtsMouseDown();
  }
  if (f.LeftMain && f.LeftMain->DirectSound) {
    const qdl::sound::Device& card = *f.LeftMain->DirectSound;
    std::fprintf(stderr, "  card A: %d frames per callback, output latency %.1f ms\n",
                 card.framesPerBuffer(), card.outputLatency() * 1000);
    qdl::bench::figure("Cost: output latency of the PortAudio stream", card.outputLatency() * 1000,
                       "ms");
  }
  runFor(2);  // settle
  // The run in windows of 5 s: on a machine that others load too, CPU time
  // grows with their load (caches, shared cores); the median window is the
  // figure, the whole run's mean is shown beside it.
  const double wall0 = qdl::bench::wallSeconds();
  const Usage u0 = Usage::now();
  qdl::bench::Samples shares, wakes;
  for (auto _ : state) {
    for (int done = 0; done < seconds(); done += 5) {
      const double w0 = qdl::bench::wallSeconds();
      const Usage a = Usage::now();
      runFor(std::min(5, seconds() - done));
      const Usage b = Usage::now();
      const double w = qdl::bench::wallSeconds() - w0;
      shares.add(100.0 * (b.cpu - a.cpu) / w);
      wakes.add(double(b.switches - a.switches) / w);
    }
  }
  const Usage u1 = Usage::now();
  const double wall = qdl::bench::wallSeconds() - wall0;
  const double share = shares.median();
  const double wakeups = wakes.median();
  state.counters["cpu_pct"] = share;
  state.counters["cpu_pct_mean"] = 100.0 * (u1.cpu - u0.cpu) / wall;
  state.counters["wakeups_per_s"] = wakeups;
  for (const auto& [name, t] : u1.threads) {
    const auto before = u0.threads.find(name);
    const double cpu = t.first - (before == u0.threads.end() ? 0 : before->second.first);
    const long sw = t.second - (before == u0.threads.end() ? 0 : before->second.second);
    if (cpu > 0 || sw > 0)
      std::fprintf(stderr, "  thread %-24s %6.2f %% of a core, %7.1f wake-ups/s\n", name.c_str(),
                   100.0 * cpu / wall, double(sw) / wall);
  }
  const std::string what =
      std::string(keyLock   ? "Cost: two decks playing at +8 % with key lock"
                  : playing ? "Cost: two decks playing (one at +8 %)"
                            : "Cost: nothing playing") +
      (mode == 0 ? ", one card" : ", main and headphone cards") +
      (bufferMs > 0 ? ", output buffer " + std::to_string(bufferMs) + " ms" : std::string());
  qdl::bench::figure(what + ", CPU share of one core", share, "%",
                     qdl::bench::below(keyLock   ? 25.0
                                       : playing ? 3.0
                                                 : 0.5));
  if (keyLock) {
    const int missed =
        f.PlayerLinks->MainBuffer->refillMisses() + f.PlayerRechts->MainBuffer->refillMisses();
    state.counters["refill_misses"] = missed;
    qdl::bench::figure(what + ", refill misses", missed, "", qdl::bench::atMost(0));
  }
  qdl::bench::figure(what + ", wake-ups", wakeups, "per s");
  if (playing && (f.StatusBar_Links->panelText(0) != QLatin1String("playing") ||
                  f.StatusBar_Rechts->panelText(0) != QLatin1String("playing")))
    state.SkipWithError("a deck stopped playing");
  // The sound really went out: the decks moved on with the cards' clocks
  // (the test bed's null sinks take their sound in bursts, so roughly).
  if (playing && f.sBarSeekLinks->value() < 100 * seconds() / 10)
    state.SkipWithError("the left deck did not move on with the card");
}

// CPU share of one core over `s` seconds of the event loop.
double cpuShare(double s) {
  const double w0 = qdl::bench::wallSeconds();
  const Usage a = Usage::now();
  runFor(s);
  const Usage b = Usage::now();
  return 100.0 * (b.cpu - a.cpu) / (qdl::bench::wallSeconds() - w0);
}

void Overviews(benchmark::State& state) {
  if (!bed || !bed->running()) {
    state.SkipWithError("the audio test bed did not start (pulseaudio missing?)");
    return;
  }
  Console console(0);
  if (!console.ok()) {
    state.SkipWithError("the songs did not load");
    return;
  }
  TFormQuandrel& f = *FormQuandrel;
  const qdl::decks::DeckPanel* panels[] = {f.Panel1, f.Panel3};
  const auto loader = [](const qdl::decks::DeckPanel* p) {
    return p->overview->findChild<qdl::decks::OverviewLoader*>();
  };
  // The loads made both overviews in the background.
  for (int i = 0; i < 300 && !(loader(panels[0])->overview() && loader(panels[1])->overview()); ++i)
    runFor(0.1);
  if (!loader(panels[0])->overview() || !loader(panels[1])->overview()) {
    state.SkipWithError("the overviews were not made");
    return;
  }
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  runFor(2);  // settle
  qdl::bench::Samples shown, hidden;
  for (auto _ : state) {
    for (int w = 0; w < std::max(2, 2 * ((seconds() + 9) / 10)); ++w) {
      const bool show = w % 2 == 0;
      for (const qdl::decks::DeckPanel* p : panels)
        p->overview->setOverview(show ? loader(p)->overview()
                                      : std::optional<qdl::analysis::Overview>());
      runFor(0.5);
      (show ? shown : hidden).add(cpuShare(5));
    }
  }
  const double extra = shown.median() - hidden.median();
  std::fprintf(stderr, "  overviews shown %.2f %%, hidden %.2f %% of a core\n", shown.median(),
               hidden.median());
  state.counters["shown_pct"] = shown.median();
  state.counters["hidden_pct"] = hidden.median();
  state.counters["extra_pct"] = extra;
  qdl::bench::figure("Cost: two decks playing with their overviews shown, CPU share of one core",
                     shown.median(), "%", qdl::bench::noTarget());
  qdl::bench::figure("Cost: two decks playing with their overviews hidden, CPU share of one core",
                     hidden.median(), "%", qdl::bench::noTarget());
  qdl::bench::figure("Cost: the two overviews shown beyond hidden, CPU share of one core", extra,
                     "%", qdl::bench::atMost(0.5));
}

void HeldWindow(benchmark::State& state) {
  if (!bed || !bed->running()) {
    state.SkipWithError("the audio test bed did not start (pulseaudio missing?)");
    return;
  }
  const int heldMs = int(state.range(0));
  Console console(0);
  if (!console.ok()) {
    state.SkipWithError("the songs did not load");
    return;
  }
  TFormQuandrel& f = *FormQuandrel;
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  runFor(2);  // settle
  auto misses = [&] {
    return f.PlayerLinks->MainBuffer->refillMisses() + f.PlayerRechts->MainBuffer->refillMisses();
  };
  const int before = misses();
  for (auto _ : state) {
    std::this_thread::sleep_for(std::chrono::milliseconds(heldMs));  // the window is stuck
    runFor(0.5);
  }
  const int missed = misses() - before;
  state.counters["refill_misses"] = missed;
  qdl::bench::figure("Window thread held busy " + std::to_string(heldMs / 1000) +
                         " s while two decks play: refill misses",
                     missed, "", qdl::bench::atMost(0));
}

void Recording(benchmark::State& state) {
  if (!bed || !bed->running()) {
    state.SkipWithError("the audio test bed did not start (pulseaudio missing?)");
    return;
  }
  const bool mp3 = state.range(0) == 1;
  Console console(0);
  if (!console.ok()) {
    state.SkipWithError("the songs did not load");
    return;
  }
  {
    QFile ini(QStringLiteral("qdl.ini"));
    if (ini.open(QIODevice::Append))
      ini.write(mp3 ? "[Record]\r\nFormat=mp3\r\n" : "[Record]\r\nFormat=flac\r\n");
  }
  TFormQuandrel& f = *FormQuandrel;
  f.Play_LinksMouseDown();
  f.Play_RechtsMouseDown();
  runFor(2);  // settle
  auto misses = [&] {
    return f.PlayerLinks->MainBuffer->refillMisses() + f.PlayerRechts->MainBuffer->refillMisses();
  };
  const int before = misses();
  qdl::bench::Samples with, without;
  std::int64_t lost = 0;
  for (auto _ : state) {
    for (int w = 0; w < 2 * std::max(1, seconds() / 5); ++w) {
      const bool recording = w % 2 == 1;
      if (recording && !f.actions->press(QStringLiteral("record.toggle")).why.isEmpty()) {
        state.SkipWithError("the recording did not start");
        return;
      }
      runFor(0.5);  // the ring and the encoder are made; the writer runs
      const double w0 = qdl::bench::wallSeconds();
      const Usage a = Usage::now();
      runFor(5);
      const Usage b = Usage::now();
      (recording ? with : without).add(100.0 * (b.cpu - a.cpu) / (qdl::bench::wallSeconds() - w0));
      if (recording) {
        lost += f.recording->recorder().status().lostFrames;
        f.actions->press(QStringLiteral("record.toggle"));
      }
    }
  }
  const int missed = misses() - before;
  const double extra = with.median() - without.median();
  state.counters["cpu_pct_recording"] = with.median();
  state.counters["cpu_pct_not_recording"] = without.median();
  state.counters["extra_cpu_pct"] = extra;
  state.counters["refill_misses"] = missed;
  state.counters["lost_frames"] = double(lost);
  const std::string what =
      std::string("Cost: recording ") + (mp3 ? "MP3 (320 kbit/s)" : "FLAC") + " beside two decks";
  qdl::bench::figure(what + ", extra CPU share of one core", extra, "%",
                     qdl::bench::below(mp3 ? 4.0 : 1.0));
  qdl::bench::figure(what + ", refill misses", missed, "", qdl::bench::atMost(0));
  qdl::bench::figure(what + ", frames lost", double(lost), "", qdl::bench::atMost(0));
}

// Marks, on the card's rendering thread, when the first sounding sample
// after a press is heard (steady clock, ns).
class FirstSound {
 public:
  FirstSound() { qdl::sound::detail::setRenderHook(&hook_); }
  ~FirstSound() { qdl::sound::detail::setRenderHook(nullptr); }
  FirstSound(const FirstSound&) = delete;
  FirstSound& operator=(const FirstSound&) = delete;

  void arm() {
    heardAt_ = 0;
    armed_ = true;
  }
  std::int64_t heardAt() const { return heardAt_.load(); }

 private:
  static std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::atomic<bool> armed_{false};
  std::atomic<std::int64_t> heardAt_{0};
  qdl::sound::detail::RenderHook hook_ = [this](const std::int16_t* out, int frames,
                                                double latencyFrames) {
    if (!armed_.load()) return;
    const std::int64_t now = nowNs();
    for (int i = 0; i < 2 * frames; ++i)
      if (out[i] != 0) {
        heardAt_ = now + std::int64_t((latencyFrames + i / 2) * 1e9 / 44100.0);
        armed_ = false;
        return;
      }
  };
};

void ActionToSound(benchmark::State& state) {
  const bool portAudio = state.range(0) == 1;
  const int bufferMs = int(state.range(1));
  if (portAudio && (!bed || !bed->running())) {
    state.SkipWithError("the audio test bed did not start (pulseaudio missing?)");
    return;
  }
  const QByteArray backend = qgetenv("QUANDREL_AUDIO");
  if (!portAudio) qputenv("QUANDREL_AUDIO", "virtual-realtime");
  {
    Console console(0, bufferMs,
                    portAudio ? QStringLiteral("quandrel_a") : QStringLiteral("Virtual Card A"),
                    portAudio ? QStringLiteral("quandrel_b") : QStringLiteral("Virtual Card B"));
    TFormQuandrel& f = *FormQuandrel;
    if (!console.ok() || !f.LeftMain || !f.LeftMain->DirectSound) {
      state.SkipWithError("the songs did not load");
    } else {
      const qdl::sound::Device& card = *f.LeftMain->DirectSound;
      FirstSound first;
      qdl::bench::Samples ms;
      int missed = 0;
      // The song's first second may be quiet; the presses start 2 s in.
      f.actions->press(QStringLiteral("links.play"));
      runFor(2.0);
      f.actions->press(QStringLiteral("links.play"));
      runFor(0.3);
      for (auto _ : state) {
        for (int i = 0; i < 25; ++i) {
          first.arm();
          const auto pressed = std::chrono::steady_clock::now();
          f.actions->press(QStringLiteral("links.play"));
          runFor(0.25);
          const std::int64_t heard = first.heardAt();
          if (heard == 0)
            ++missed;
          else
            ms.add(double(heard - std::chrono::duration_cast<std::chrono::nanoseconds>(
                                      pressed.time_since_epoch())
                                      .count()) /
                   1e6);
          f.actions->press(QStringLiteral("links.play"));  // pause
          // A pause of its own length each time, so that the presses fall
          // on every phase of the card's blocks, not always on the same.
          runFor(0.25 + 0.0005 * double((i * 7) % 25));
        }
      }
      const double buffer = qdl::sound::outputBufferFrames(bufferMs) * 1000.0 / 44100.0;
      const std::string what = std::string("Latency: press to first sound, ") +
                               (portAudio ? "PortAudio test bed" : "virtual card") +
                               ", output buffer " + std::to_string(bufferMs) + " ms";
      std::fprintf(stderr,
                   "  %s: %d frames per callback, output latency %.1f ms, buffer %.1f ms, "
                   "median %.1f ms, largest %.1f ms, %d presses without sound\n",
                   what.c_str(), card.framesPerBuffer(), card.outputLatency() * 1000, buffer,
                   ms.median(), ms.max(), missed);
      state.counters["median_ms"] = ms.median();
      state.counters["max_ms"] = ms.max();
      state.counters["silent_presses"] = missed;
      qdl::bench::figure(what + ", median", ms.median(), "ms",
                         bufferMs == 6 ? qdl::bench::atMost(buffer + 5.0) : qdl::bench::noTarget());
      qdl::bench::figure(what + ", largest", ms.max(), "ms",
                         bufferMs == 6 ? qdl::bench::atMost(buffer + 5.0) : qdl::bench::noTarget());
      if (missed > 0) state.SkipWithError("a press made no sound");
    }
  }
  if (!portAudio) qputenv("QUANDREL_AUDIO", backend);
}

void Playing(benchmark::State& state) { measure(state, true); }
void Idle(benchmark::State& state) { measure(state, false); }
void PlayingKeyLocked(benchmark::State& state) { measure(state, true, true); }
BENCHMARK(ActionToSound)
    ->ArgNames({"portaudio", "buffer_ms"})
    ->ArgsProduct({{1, 0}, {3, 6, 10, 11}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(Playing)
    ->ArgNames({"mode", "buffer_ms"})
    ->Args({0, 0})
    ->Args({0, 3})
    ->Args({0, 6})
    ->Args({0, 11})
    ->Args({1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(Overviews)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(Recording)
    ->ArgName("mp3")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(PlayingKeyLocked)
    ->ArgNames({"mode", "buffer_ms"})
    ->Args({0, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(HeldWindow)
    ->ArgName("ms")
    ->Arg(1000)
    ->Arg(5000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();
BENCHMARK(Idle)
    ->ArgNames({"mode", "buffer_ms"})
    ->Args({1, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  Testbed testbed;
  bed = &testbed;
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  bed = nullptr;
  return 0;
}
