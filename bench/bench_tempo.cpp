// Tempo analysis figures on generated songs of known tempo:
//   TempoAccuracy: the share of songs measured within 1 BPM of their true
//     tempo and the share of octave errors (half or double the tempo), over
//     songs of 30..60 s spread over 70..180 BPM in ten styles, some swung,
//     some with a beatless intro, at random levels, rates and bit rates
//     (tests/support/BeatSongs.h), analysed with the default range 70..180;
//     On the same songs, the beat grid: the share whose first downbeat lies
//     within 10 ms of the true one (the drums' entry brought into the first
//     bar), found in the analysis and, as `quandrel analyse` does for songs
//     analysed before grids were kept, from the tracker's beats alone;
//   AnalyseFiveMinutesBesideDecode: a 5-minute 320 kbps song analysed and
//     decoded bare, alternately in one loop, as CPU seconds and the
//     analysis's speed in times real time.
// The songs are made on the first run (sox, lame: about a second each) into
// $QDL_BENCH_DIR or /tmp/qdl-bench-tempo-v<generator>-<seed>-<count> and kept for later
// runs. QDL_BENCH_TEMPO_SONGS (48) and QDL_BENCH_TEMPO_SEED (17) choose
// another set, QDL_BENCH_TEMPO_ONLY=<text> only the songs whose names hold
// the text; QDL_BENCH_VERBOSE=1 lists every song, otherwise only misses.
// QDL_BENCH_TEMPO_FILE=<mp3> analyses that one file and prints its result.
//
// Run: ./bench_tempo
#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

#include "Figures.h"
#include "platform/mp3/Decoder.h"
#include "platform/tempo/Tempo.h"
#include "support/BeatSongs.h"

namespace {

using qdl::tempo::Outcome;
using qdl::test::BeatSong;

int envInt(const char* name, int fallback) {
  const int v = qEnvironmentVariableIntValue(name);
  return v > 0 ? v : fallback;
}

// `x` brought into -m/2 .. m/2.
double circular(double x, double m) { return x - std::round(x / m) * m; }

int songCount() { return envInt("QDL_BENCH_TEMPO_SONGS", 48); }
unsigned seed() { return unsigned(envInt("QDL_BENCH_TEMPO_SEED", 17)); }

QString setDir() {
  const QString dir = qEnvironmentVariable("QDL_BENCH_DIR");
  return dir.isEmpty() ? QStringLiteral("/tmp/qdl-bench-tempo-v%1-%2-%3")
                             .arg(qdl::test::kBeatSongsVersion)
                             .arg(seed())
                             .arg(songCount())
                       : dir;
}

QString pathOf(const BeatSong& s) { return setDir() + "/" + s.name(); }

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// Makes the songs that are not there yet; false (with a message) on failure.
// A song is written under a temporary name first, so a broken-off run never
// leaves a half-made song behind.
bool ensure(const std::vector<BeatSong>& songs) {
  QDir().mkpath(setDir());
  for (const BeatSong& s : songs) {
    const QString path = pathOf(s);
    if (QFileInfo::exists(path)) continue;
    std::fprintf(stderr, "making %s\n", qPrintable(s.name()));
    const QString error = qdl::test::makeBeatSong(s, path + ".part");
    if (!error.isEmpty() || !QFile::rename(path + ".part", path)) {
      std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), qPrintable(error));
      return false;
    }
  }
  return true;
}

BeatSong fiveMinuteSong() {
  BeatSong s;
  s.style = qdl::test::BeatStyle::House;
  s.bpm = 126;
  s.seconds = 300;
  s.introSeconds = 8;
  s.seed = 5;
  s.lameOptions = QStringLiteral("-b 320");
  return s;
}

void TempoAccuracy(benchmark::State& state) {
  std::vector<BeatSong> songs;
  for (const BeatSong& s : qdl::test::beatSongSet(songCount(), seed()))
    if (s.name().contains(qEnvironmentVariable("QDL_BENCH_TEMPO_ONLY"))) songs.push_back(s);
  if (songs.empty() || !ensure(songs)) {
    state.SkipWithError("no songs (sox, lame missing?)");
    return;
  }
  const bool verbose = qEnvironmentVariableIntValue("QDL_BENCH_VERBOSE") > 0;
  int within = 0, octave = 0, none = 0, gridHit = 0, beatsHit = 0, gridSongs = 0, beatsPhase = 0;
  double cpu = 0, lagSum = 0, beatsLagSum = 0;
  for (auto _ : state) {
    within = octave = none = gridHit = beatsHit = gridSongs = beatsPhase = 0;
    lagSum = beatsLagSum = 0;
    const double cpu0 = cpuSeconds();
    for (const BeatSong& s : songs) {
      const auto r = qdl::tempo::analyseFile(pathOf(s).toStdString());
      const bool tempo = r.outcome == Outcome::Tempo;
      const bool hit = tempo && std::abs(r.bpm - s.bpm) <= 1;
      const double ratio = tempo ? r.exactBpm / s.bpm : 0;
      const bool oct = tempo && (std::abs(ratio - 2) < 0.06 || std::abs(ratio - 0.5) < 0.015);
      within += hit;
      octave += oct;
      none += !tempo;
      if (verbose || !hit)
        std::fprintf(stderr, "%-44s %s %7.2f (%d) strength %.2f\n", qPrintable(s.name()),
                     hit   ? "ok  "
                     : oct ? "OCT "
                           : "MISS",
                     r.exactBpm, r.bpm, r.strength);
      // The grid, measured only where the tempo is right: a grid at the
      // wrong tempo is the tempo's miss, counted above.
      if (!hit) continue;
      ++gridSongs;
      const double bar = 240 / s.bpm, beat = 60 / s.bpm;
      const double truth = std::fmod(s.introSeconds, bar);
      const auto fromBeats = qdl::tempo::findBeatGrid(r.exactBpm, r.beats);
      const double err = circular(r.grid.firstBeat - truth, bar);
      const double beatsErr = circular(fromBeats.firstBeat - truth, bar);
      lagSum += circular(r.grid.firstBeat - truth, beat);
      beatsLagSum += circular(fromBeats.firstBeat - truth, beat);
      gridHit += r.grid.valid() && std::abs(err) <= 0.010;
      beatsHit += fromBeats.valid() && std::abs(beatsErr) <= 0.010;
      beatsPhase += fromBeats.valid() && std::abs(circular(beatsErr, beat)) <= 0.010;
      if (verbose || std::abs(err) > 0.010)
        std::fprintf(stderr,
                     "%-44s grid %s %+8.1f ms (beat phase %+6.1f ms), from beats %+8.1f ms\n",
                     qPrintable(s.name()), std::abs(err) <= 0.010 ? "ok  " : "MISS", err * 1000,
                     circular(r.grid.firstBeat - truth, beat) * 1000, beatsErr * 1000);
    }
    cpu = cpuSeconds() - cpu0;
  }
  const double n = double(songs.size());
  state.counters["songs"] = n;
  state.counters["within_1bpm_pct"] = 100.0 * within / n;
  state.counters["octave_err_pct"] = 100.0 * octave / n;
  state.counters["no_tempo_pct"] = 100.0 * none / n;
  state.counters["cpu_s_per_song"] = cpu / n;
  qdl::bench::figure("Tempo: songs within 1 BPM", 100.0 * within / n, "%", qdl::bench::atLeast(95));
  const double g = std::max(1, gridSongs);
  state.counters["grid_within_10ms_pct"] = 100.0 * gridHit / g;
  state.counters["grid_from_beats_within_10ms_pct"] = 100.0 * beatsHit / g;
  state.counters["grid_from_beats_on_the_beat_pct"] = 100.0 * beatsPhase / g;
  state.counters["grid_mean_beat_phase_ms"] = 1000 * lagSum / g;
  state.counters["grid_from_beats_mean_beat_phase_ms"] = 1000 * beatsLagSum / g;
  qdl::bench::figure("Beat grid: first downbeat within 10 ms", 100.0 * gridHit / g, "%",
                     qdl::bench::atLeast(95));
  qdl::bench::figure("Beat grid from stored beats: first downbeat within 10 ms",
                     100.0 * beatsHit / g, "%", qdl::bench::noTarget());
  qdl::bench::figure("Beat grid from stored beats: beats within 10 ms (any beat of the bar)",
                     100.0 * beatsPhase / g, "%", qdl::bench::noTarget());
  qdl::bench::figure("Tempo: octave errors", 100.0 * octave / n, "%", qdl::bench::atMost(2));
}
BENCHMARK(TempoAccuracy)->Unit(benchmark::kSecond)->Iterations(1);

// Analysis and bare decode of one 5-minute 320 kbps song, alternated in one
// loop so both see the same machine load.
void AnalyseFiveMinutesBesideDecode(benchmark::State& state) {
  const BeatSong song = fiveMinuteSong();
  if (!ensure({song})) {
    state.SkipWithError("cannot make the song (sox, lame missing?)");
    return;
  }
  const std::string path = pathOf(song).toStdString();
  double analyse = 0, decode = 0;
  int bpm = 0;
  for (auto _ : state) {
    double t0 = cpuSeconds();
    bpm = qdl::tempo::analyseFile(path).bpm;
    analyse += cpuSeconds() - t0;
    t0 = cpuSeconds();
    qdl::mp3::Decoder d;
    std::string reason;
    if (!d.open(path, reason)) {
      state.SkipWithError("cannot open the song");
      return;
    }
    while (d.decode() == qdl::mp3::DecodeStatus::Ok) benchmark::DoNotOptimize(d.frame());
    decode += cpuSeconds() - t0;
  }
  const double n = double(state.iterations());
  state.counters["bpm"] = bpm;
  state.counters["analyse_cpu_s"] = analyse / n;
  state.counters["decode_cpu_s"] = decode / n;
  state.counters["analyse_x_realtime"] = song.seconds / (analyse / n);
  state.counters["analyse_over_decode"] = analyse / decode;
  qdl::bench::figure("Tempo: 5-minute 320 kbps song analysed, CPU", analyse / n, "s",
                     qdl::bench::below(3));
}
BENCHMARK(AnalyseFiveMinutesBesideDecode)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
  const QString file = qEnvironmentVariable("QDL_BENCH_TEMPO_FILE");
  if (!file.isEmpty()) {
    const auto r = qdl::tempo::analyseFile(file.toStdString());
    const char* outcomes[] = {"tempo", "no tempo", "unreadable", "cancelled"};
    std::printf("%s: %s %.2f (%d) strength %.2f %s\n", qPrintable(file), outcomes[int(r.outcome)],
                r.exactBpm, r.bpm, r.strength, r.reason.c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
