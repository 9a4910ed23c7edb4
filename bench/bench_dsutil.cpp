// Stream player figures:
//  - loading a song: TStreamPlayer construction (opening the 10-minute VBR
//    file, ~13 MB, lame -V0) plus SetPosition, as a deck does on load; the
//    median should stay under 30 ms;
//  - one refill of a half (a quarter second of PCM decoded and written to
//    the main and headphone buffers), which the deck timer does about four
//    times a second per deck.
// Runs on the virtual cards (QUANDREL_AUDIO=virtual unless set otherwise).
#include <benchmark/benchmark.h>

#include "Figures.h"
#include "audio/Dsutil.h"
#include "platform/sound/VirtualCards.h"

#include <cstdlib>

namespace {

const QString kTenMinutesVbr =
    QStringLiteral(QDL_FIXTURE_DIR "/bench_noise_44k_stereo_v0_10min.mp3");

void LoadTenMinuteVbrAndSetPosition(benchmark::State& state) {
  TSoundDevice main(nullptr, qdl::sound::VirtualCards::guid(0));
  TSoundDevice head(nullptr, qdl::sound::VirtualCards::guid(1));
  const int position = static_cast<int>(state.range(0));
  static qdl::bench::Samples ms[2];  // over every repetition, at 0 and at 5 minutes
  qdl::bench::Samples& samples = ms[position == 0 ? 0 : 1];
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    TStreamPlayer player(main.DirectSound.get(), head.DirectSound.get(), kTenMinutesVbr);
    player.SetPosition(position);
    benchmark::DoNotOptimize(player.Source->Duration);
    samples.add((qdl::bench::wallSeconds() - t0) * 1000);
  }
  qdl::bench::figure(
      position == 0 ? "Stream player: 10-minute VBR song opened and positioned at 0, median"
                    : "Stream player: 10-minute VBR song opened and positioned at 5:00, median",
      samples.median(), "ms", qdl::bench::below(30));
}
BENCHMARK(LoadTenMinuteVbrAndSetPosition)
    ->Arg(0)
    ->Arg(30000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

void RefillOneHalf(benchmark::State& state) {
  TSoundDevice main(nullptr, qdl::sound::VirtualCards::guid(0));
  TSoundDevice head(nullptr, qdl::sound::VirtualCards::guid(1));
  TStreamPlayer player(main.DirectSound.get(), head.DirectSound.get(), kTenMinutesVbr);
  player.SetPosition(0);
  int offset = 0;
  for (auto _ : state) {
    player.FillHalf(offset);
    offset = offset ? 0 : player.HalfBytes;
    if (player.EndCount) {
      state.PauseTiming();
      player.SetPosition(0);
      player.EndCount = 0;
      state.ResumeTiming();
    }
  }
  state.SetBytesProcessed(state.iterations() * player.HalfBytes);
}
BENCHMARK(RefillOneHalf)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  setenv("QUANDREL_AUDIO", "virtual", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
