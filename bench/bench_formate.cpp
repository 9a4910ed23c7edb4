// MP3 source figures:
//  - decoding a 5-minute 192 kbps stereo file block by block with
//    TMp3Source, next to the bare `mpg123 -s` command on the same file
//    (the ratio of the two is the figure; it should stay at most 1.3);
//  - opening a 10-minute VBR file (full frame scan for the exact length)
//    and seeking to 0, as a player does when a song is loaded.
#include <benchmark/benchmark.h>

#include "Figures.h"
#include "audio/Formate.h"

#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>

namespace {

// CPU seconds (user + system) of this process or of its waited-for children.
double cpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

const QString kFiveMinutes =
    QStringLiteral(QDL_FIXTURE_DIR "/bench_chord_44k_stereo_cbr192_5min.mp3");
const QString kTenMinutesVbr =
    QStringLiteral(QDL_FIXTURE_DIR "/bench_noise_44k_stereo_v0_10min.mp3");

// CPU milliseconds per decode of the 5-minute file, for the ratio.
double sourceCpuMs = 0.0;

void DecodeFileWithMp3Source(benchmark::State& state) {
  std::int64_t bytes = 0;
  const double cpu0 = cpuSeconds(RUSAGE_SELF);
  for (auto _ : state) {
    qdl::TMp3Source source(kFiveMinutes);
    std::vector<std::uint8_t> block(source.BufferBytes / 2);
    while (source.ReadBlock(block.data()) != 10) bytes += block.size();
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(bytes);
  sourceCpuMs = (cpuSeconds(RUSAGE_SELF) - cpu0) * 1000 / double(state.iterations());
  state.counters["cpu_ms"] = sourceCpuMs;
}
BENCHMARK(DecodeFileWithMp3Source)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void DecodeFileWithMpg123Command(benchmark::State& state) {
  const std::string cmd = "mpg123 -q -s '" + kFiveMinutes.toStdString() + "' > /dev/null";
  const double cpu0 = cpuSeconds(RUSAGE_CHILDREN);
  for (auto _ : state) {
    if (std::system(cmd.c_str()) != 0) {
      state.SkipWithError("mpg123 failed");
      break;
    }
  }
  // The decoding runs in the child: its CPU time is the fair comparison
  // on a loaded machine.
  const double commandCpuMs =
      (cpuSeconds(RUSAGE_CHILDREN) - cpu0) * 1000 / double(state.iterations());
  state.counters["cpu_ms"] = commandCpuMs;
  if (sourceCpuMs > 0 && commandCpuMs > 0)
    qdl::bench::figure("MP3 source: 5-minute 192 kbps decode, CPU against mpg123 -s",
                       sourceCpuMs / commandCpuMs, "x", qdl::bench::atMost(1.3));
}
BENCHMARK(DecodeFileWithMpg123Command)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void OpenTenMinuteVbrAndSeekToZero(benchmark::State& state) {
  int duration = 0;
  for (auto _ : state) {
    qdl::TMp3Source source(kTenMinutesVbr);
    source.Seek(0);
    duration = source.Duration;
    benchmark::DoNotOptimize(duration);
  }
  state.counters["Duration"] = duration;
}
BENCHMARK(OpenTenMinuteVbrAndSeekToZero)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
