// The loudness meter and the overview in the tempo analysis's pass:
//   TempoWithLoudness: a 5-minute 320 kbps song analysed for its tempo
//     alone, with the EBU R128 meter, and with the meter and the overview
//     builder fed from the same decode (as the library's analysis does),
//     alternately in one loop, as CPU seconds each and the extra shares.
// The song is the one bench_tempo uses (made on the first run with sox and
// lame into $QDL_BENCH_DIR or /tmp/qdl-bench-loudness-v<generator>).
//
// Run: ./bench_loudness
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "Figures.h"
#include "platform/analysis/Overview.h"
#include "platform/loudness/Loudness.h"
#include "platform/tempo/Tempo.h"
#include "support/BeatSongs.h"

namespace {

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

QString songPath() {
  QString dir = qEnvironmentVariable("QDL_BENCH_DIR");
  if (dir.isEmpty())
    dir = QStringLiteral("/tmp/qdl-bench-loudness-v%1").arg(qdl::test::kBeatSongsVersion);
  QDir().mkpath(dir);
  qdl::test::BeatSong s;
  s.style = qdl::test::BeatStyle::House;
  s.bpm = 126;
  s.seconds = 300;
  s.introSeconds = 8;
  s.seed = 5;
  s.lameOptions = QStringLiteral("-b 320");
  const QString path = dir + QLatin1Char('/') + s.name();
  if (QFileInfo::exists(path)) return path;
  std::fprintf(stderr, "making %s\n", qPrintable(s.name()));
  const QString error = qdl::test::makeBeatSong(s, path + ".part");
  if (!error.isEmpty() || !QFile::rename(path + ".part", path)) {
    std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), qPrintable(error));
    return {};
  }
  return path;
}

void TempoWithLoudness(benchmark::State& state) {
  const QString song = songPath();
  if (song.isEmpty()) {
    state.SkipWithError("cannot make the song (sox, lame missing?)");
    return;
  }
  const std::string path = QFile::encodeName(song).toStdString();
  double alone = 0, with = 0, both = 0, lufs = 0;
  for (auto _ : state) {
    double t0 = cpuSeconds();
    benchmark::DoNotOptimize(qdl::tempo::analyseFile(path).bpm);
    alone += cpuSeconds() - t0;
    t0 = cpuSeconds();
    qdl::loudness::Meter meter;
    benchmark::DoNotOptimize(qdl::tempo::analyseFile(path, {}, {}, {&meter}).bpm);
    const auto level = meter.level();
    with += cpuSeconds() - t0;
    lufs = level ? level->integrated : 0;
    t0 = cpuSeconds();
    qdl::loudness::Meter meter2;
    qdl::analysis::OverviewBuilder overview;
    benchmark::DoNotOptimize(qdl::tempo::analyseFile(path, {}, {}, {&meter2, &overview}).bpm);
    benchmark::DoNotOptimize(overview.result().bins());
    both += cpuSeconds() - t0;
  }
  const double n = double(state.iterations());
  const double extra = 100.0 * (with - alone) / alone;
  const double extraBoth = 100.0 * (both - alone) / alone;
  state.counters["tempo_cpu_s"] = alone / n;
  state.counters["with_loudness_cpu_s"] = with / n;
  state.counters["with_both_cpu_s"] = both / n;
  state.counters["extra_percent"] = extra;
  state.counters["lufs"] = lufs;
  qdl::bench::figure("Loudness: extra CPU of the meter in the tempo analysis", extra, "%",
                     qdl::bench::noTarget());
  qdl::bench::figure("Loudness: extra CPU of the meter and the overview in the tempo analysis",
                     extraBoth, "%", qdl::bench::below(30));
}
BENCHMARK(TempoWithLoudness)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
