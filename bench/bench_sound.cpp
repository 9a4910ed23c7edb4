// Mixer speed in multiples of real time (counter "x_realtime": seconds of
// card output rendered per second of CPU), run on the virtual card with the
// manual clock so only the mixer is measured; and resampler quality (counter
// "spurious_dB": the strongest component other than the tone, relative to it),
// both against libsamplerate in the same run.

#include "platform/sound/Kernel.h"
#include "platform/sound/Limiter.h"
#include "platform/sound/Mixer.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/stretch/KeyLock.h"

#include "Figures.h"
#include "SignalAnalysis.h"

#include <benchmark/benchmark.h>
#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using namespace qdl::sound;

namespace {

constexpr int kRate = 44100;

std::vector<std::int16_t> tone(int frames, double hz) {
  std::vector<std::int16_t> s(size_t(frames) * 2);
  for (int i = 0; i < frames; ++i)
    s[2 * size_t(i)] = s[2 * size_t(i) + 1] =
        std::int16_t(12000 * std::sin(2 * std::numbers::pi * hz * i / kRate));
  return s;
}

std::unique_ptr<SoundBuffer> deck(Device& device, int pitch, double hz) {
  const auto data = tone(kRate / 2, hz);
  auto b = device.createBuffer({2, kRate, 16}, int(data.size() * 2));
  const LockedRegion r = b->lock(0, b->bytes());
  std::memcpy(r.first.data(), data.data(), r.first.size());
  b->unlock(r);
  b->setFrequency(kRate + pitch * (kRate / 1000));
  b->play();
  return b;
}

// Renders one second of card output per iteration.
void mixDecks(benchmark::State& state) {
  qputenv("QUANDREL_AUDIO", "virtual");
  const int pitch = int(state.range(0));
  const int decks = int(state.range(1));
  auto device = Device::open();
  std::vector<std::unique_ptr<SoundBuffer>> buffers;
  for (int i = 0; i < decks; ++i) buffers.push_back(deck(*device, pitch, 440.0 * (i + 1)));
  const double cpu0 = qdl::bench::cpuSeconds();
  for (auto _ : state) {
    for (int done = 0; done < kRate; done += 441) VirtualCards::advance(0, 441);
    benchmark::DoNotOptimize(VirtualCards::takeCaptured(0));
  }
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  if (pitch == 80 && decks == 2)
    qdl::bench::figure("Mixer: two decks at pitch +80 on one card, times real time (CPU)",
                       double(state.iterations()) / (qdl::bench::cpuSeconds() - cpu0), "x",
                       qdl::bench::atLeast(100));
}
BENCHMARK(mixDecks)
    ->ArgNames({"pitch", "decks"})
    ->Args({80, 2})
    ->Args({0, 2})
    ->Args({-200, 2})
    ->Args({200, 2})
    ->Unit(benchmark::kMillisecond);

// A deck as the player feeds it, with key lock on: a tone decoded block by
// block, through the key lock stage into a half-second ring, the half the
// cursor has left refilled after each 10 ms of the card.
class LockedDeck {
 public:
  static constexpr int kBlock = kRate / 4;

  LockedDeck(Device& device, int pitch, double hz)
      : hz_(hz), scale_(double(kRate) / (kRate + pitch * (kRate / 1000))) {
    ring_ = device.createBuffer({2, kRate, 16}, kBlock * 2 * 4);
    fill(0);
    fill(kBlock * 4);
    ring_->setFrequency(kRate + pitch * (kRate / 1000));
    ring_->play();
  }
  void refill() {
    const auto p = std::uint32_t(ring_->currentPosition());
    const std::uint32_t half = kBlock * 4;
    if (p >= half && last_ < half) fill(0);
    if (p < last_) fill(int(half));
    last_ = p;
  }

 private:
  void fill(int offset) {
    stage_.next(block_.data(), true, scale_, [this](std::int16_t* d) {
      for (int i = 0; i < kBlock; ++i, ++frame_)
        d[2 * i] = d[2 * i + 1] = std::int16_t(
            12000 * std::sin(2 * std::numbers::pi * hz_ * double(frame_ % kRate) / kRate));
      return false;
    });
    const LockedRegion r = ring_->lock(offset, kBlock * 4);
    std::memcpy(r.first.data(), block_.data(), r.first.size());
    ring_->unlock(r);
  }

  double hz_;
  double scale_;
  qdl::stretch::KeyLock stage_{kRate, 2, kBlock};
  std::unique_ptr<SoundBuffer> ring_;
  std::vector<std::int16_t> block_ = std::vector<std::int16_t>(kBlock * 2);
  std::int64_t frame_ = 0;
  std::uint32_t last_ = 0;
};

// The mixer with key lock: two decks at pitch +80 whose rings the key lock
// stage fills, one second of card output per iteration (the stage's work
// and the mixer's, as the feeder and the card do them).
void mixDecksKeyLocked(benchmark::State& state) {
  qputenv("QUANDREL_AUDIO", "virtual");
  const int pitch = int(state.range(0));
  auto device = Device::open();
  std::vector<std::unique_ptr<LockedDeck>> decks;
  for (int i = 0; i < 2; ++i)
    decks.push_back(std::make_unique<LockedDeck>(*device, pitch, 440.0 * (i + 1)));
  const double cpu0 = qdl::bench::cpuSeconds();
  for (auto _ : state) {
    for (int done = 0; done < kRate; done += 441) {
      VirtualCards::advance(0, 441);
      for (auto& d : decks) d->refill();
    }
    benchmark::DoNotOptimize(VirtualCards::takeCaptured(0));
  }
  const double x = double(state.iterations()) / (qdl::bench::cpuSeconds() - cpu0);
  state.counters["x_realtime"] = x;
  qdl::bench::figure("Mixer: two decks at pitch " + std::to_string(pitch) +
                         " with key lock on one card, times real time (CPU)",
                     x, "x", qdl::bench::atLeast(20));
}
BENCHMARK(mixDecksKeyLocked)->ArgName("pitch")->Arg(80)->Arg(-80)->Unit(benchmark::kMillisecond);

// Key lock's accuracy: a 1 kHz tone on one deck at pitch +8 % and -8 % with
// key lock, measured on the card's output (zero crossings over 4 s).
void keyLockTone(benchmark::State& state) {
  qputenv("QUANDREL_AUDIO", "virtual");
  const int pitch = int(state.range(0));
  double hz = 0;
  for (auto _ : state) {
    auto device = Device::open();
    LockedDeck deck(*device, pitch, 1000.0);
    VirtualCards::takeCaptured(0);
    std::vector<std::int16_t> out;
    for (int done = 0; done < 5 * kRate; done += 441) {
      VirtualCards::advance(0, 441);
      deck.refill();
      if (done >= kRate) {
        const auto part = VirtualCards::takeCaptured(0);
        out.insert(out.end(), part.begin(), part.end());
      } else {
        VirtualCards::takeCaptured(0);
      }
    }
    hz = qdl::test::toneFrequency(qdl::test::channel(out, 0));
  }
  state.counters["hz"] = hz;
  const std::string at = std::string(pitch > 0 ? "+" : "") + std::to_string(pitch / 10) + " %";
  qdl::bench::figure("Key lock: 1 kHz tone at pitch " + at + ", measured on the card", hz, "Hz");
  qdl::bench::figure("Key lock: 1 kHz tone at pitch " + at + ", off by",
                     100 * std::abs(hz - 1000) / 1000, "%", qdl::bench::atMost(0.5));
}
BENCHMARK(keyLockTone)->ArgName("pitch")->Arg(80)->Arg(-80)->Iterations(1);

// Two full-scale decks at the centre (tones of 95 % of full scale, so their
// sum passes it) at `pitch`, one second of a card's output per iteration:
// the card's mixer with its limiter, and the limiter on its own on the same
// kind of sum. Counters: "limiter_pct", the limiter's time over that of the
// rest of the mixer (resampling, volume, summing), both measured in this
// run; "clipped", the samples of the card's output at full scale (none: the
// limiter keeps them under its ceiling).
void limiterShare(benchmark::State& state) {
  using namespace qdl::sound::detail;
  const int pitch = int(state.range(0));
  const int hz = kRate + pitch * (kRate / 1000);
  Card card(QStringLiteral("bench"));
  auto device = std::make_shared<DeviceState>();
  std::vector<std::unique_ptr<Voice>> decks;
  for (double tone : {440.0, 660.0}) {
    auto v = std::make_unique<Voice>(WaveFormat{2, kRate, 16}, kRate * 4, device);
    for (int i = 0; i < kRate; ++i) {
      const auto x = std::int16_t(31000 * std::sin(2 * std::numbers::pi * tone * i / kRate));
      std::memcpy(v->data.data() + 4 * i, &x, 2);
      std::memcpy(v->data.data() + 4 * i + 2, &x, 2);
    }
    std::fill(v->fresh.begin(), v->fresh.end(), 1);
    v->setFrequencyLocked(hz, kernelBankForStep(double(hz) / kRate));
    v->playing = true;
    card.voices.push_back(v.get());
    decks.push_back(std::move(v));
  }
  std::vector<float> sum(size_t(kRate) * 2);
  for (int i = 0; i < kRate; ++i)
    sum[2 * size_t(i)] = sum[2 * size_t(i) + 1] =
        float(31000 * (std::sin(2 * std::numbers::pi * 440 * i / kRate) +
                       std::sin(2 * std::numbers::pi * 660 * i / kRate)));
  std::vector<std::int16_t> mixed(size_t(kRate) * 2), limited(size_t(kRate) * 2);
  Limiter limiter;
  // CPU time of this thread: other programs on a busy machine do not count.
  auto cpu = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
  };
  // The limiter's part is its process() less handing it the sum (zeroing
  // the place and copying), which in the card is the mixer's own summing.
  double rendering = 0, limiting = 0;
  long clipped = 0;
  for (auto _ : state) {
    const double t0 = cpu();
    for (int done = 0; done < kRate; done += 441) card.render(mixed.data() + 2 * done, 441, -1.0);
    const double t1 = cpu();
    for (int done = 0; done < kRate; done += 441)
      limiter.process(sum.data() + 2 * done, limited.data() + 2 * done, 441);
    const double t2 = cpu();
    for (int done = 0; done < kRate; done += 441)
      std::memcpy(limiter.next(441), sum.data() + 2 * done, sizeof(float) * 2 * 441);
    const double t3 = cpu();
    rendering += t1 - t0;
    limiting += (t2 - t1) - (t3 - t2);
    for (std::int16_t v : mixed) clipped += (v >= 32767 || v <= -32767) ? 1 : 0;
    benchmark::DoNotOptimize(limited.data());
  }
  card.voices.clear();
  const double share = 100.0 * limiting / (rendering - limiting);
  state.counters["limiter_pct"] = share;
  state.counters["clipped"] = double(clipped);
  const std::string at = " (two full-scale decks at pitch " + std::to_string(pitch) + ")";
  qdl::bench::figure("Limiter: share of the mixer's time" + at, share, "%", qdl::bench::below(10));
  qdl::bench::figure("Limiter: samples at full scale" + at, double(clipped), "samples",
                     qdl::bench::atMost(0));
}
BENCHMARK(limiterShare)->ArgName("pitch")->Arg(0)->Arg(80)->Unit(benchmark::kMillisecond);

// Reference: libsamplerate on one stereo stream at pitch +80.
void libsamplerate(benchmark::State& state) {
  const int converter = int(state.range(0));
  const auto input16 = tone(kRate, 440.0);
  std::vector<float> in(input16.size()), out(size_t(kRate) * 2 + 1024);
  for (size_t i = 0; i < in.size(); ++i) in[i] = input16[i] / 32768.0f;
  int error = 0;
  SRC_STATE* src = src_new(converter, 2, &error);
  const double ratio = double(kRate) / (kRate + 80 * 44);
  for (auto _ : state) {
    // One second of output needs 1/ratio seconds of input.
    long produced = 0;
    size_t offset = 0;
    while (produced < kRate) {
      SRC_DATA d{};
      d.data_in = in.data() + offset;
      d.input_frames = long((in.size() - offset) / 2);
      d.data_out = out.data();
      d.output_frames = 441;
      d.src_ratio = ratio;
      src_process(src, &d);
      produced += d.output_frames_gen;
      offset += size_t(d.input_frames_used) * 2;
      if (offset >= in.size()) offset = 0;
    }
    benchmark::DoNotOptimize(out.data());
  }
  src_delete(src);
  state.counters["x_realtime"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(libsamplerate)
    ->ArgName("converter")
    ->Arg(SRC_SINC_FASTEST)
    ->Arg(SRC_LINEAR)
    ->Unit(benchmark::kMillisecond);

// A 5 kHz sine at 30000 played at `pitch` (tenths of a percent), as the
// console's decks set it: 44 Hz per step.
constexpr double kProbeHz = 5000.0;
constexpr int kProbeSettle = 4410;  // skipped: the resampler's start
constexpr int kProbeFrames = 65536;

int pitchedRate(int pitch) { return kRate + pitch * 44; }

// Our mixer: the tone in a looping buffer on a virtual card.
void spuriousMixer(benchmark::State& state) {
  qputenv("QUANDREL_AUDIO", "virtual");
  const int pitch = int(state.range(0));
  auto device = Device::open();
  std::vector<std::int16_t> data(size_t(kRate) * 2);  // one second: a whole number of periods
  for (int i = 0; i < kRate; ++i)
    data[2 * size_t(i)] = data[2 * size_t(i) + 1] =
        std::int16_t(std::lround(30000 * std::sin(2 * std::numbers::pi * kProbeHz * i / kRate)));
  auto b = device->createBuffer({2, kRate, 16}, int(data.size() * 2));
  const LockedRegion r = b->lock(0, b->bytes());
  std::memcpy(r.first.data(), data.data(), r.first.size());
  b->unlock(r);
  b->setFrequency(pitchedRate(pitch));
  b->play();
  double db = 0;
  for (auto _ : state) {
    VirtualCards::advance(0, kProbeSettle);
    VirtualCards::takeCaptured(0);
    VirtualCards::advance(0, kProbeFrames);
    const auto out = qdl::test::channel(VirtualCards::takeCaptured(0), 0);
    db = qdl::test::spuriousDb(out, kProbeHz * pitchedRate(pitch) / kRate);
  }
  state.counters["spurious_dB"] = db;
  qdl::bench::figure("Resampler: strongest spurious tone at pitch " + std::to_string(pitch), db,
                     "dB", qdl::bench::atMost(-90));
}
BENCHMARK(spuriousMixer)->ArgName("pitch")->Arg(200)->Arg(-200)->Iterations(1);

// libsamplerate on the same tone, its output rounded to 16 bits like a card's.
void spuriousLibsamplerate(benchmark::State& state) {
  const int converter = int(state.range(0));
  const int pitch = int(state.range(1));
  const int outFrames = kProbeSettle + kProbeFrames;
  const int inFrames = int(double(outFrames) * pitchedRate(pitch) / kRate) + 1024;
  std::vector<float> in(static_cast<size_t>(inFrames));
  for (int i = 0; i < inFrames; ++i)
    in[size_t(i)] =
        float(std::lround(30000 * std::sin(2 * std::numbers::pi * kProbeHz * i / kRate)) / 32768.0);
  std::vector<float> out(static_cast<size_t>(outFrames));
  double db = 0;
  for (auto _ : state) {
    SRC_DATA d{};
    d.data_in = in.data();
    d.input_frames = inFrames;
    d.data_out = out.data();
    d.output_frames = outFrames;
    d.src_ratio = double(kRate) / pitchedRate(pitch);
    d.end_of_input = 1;
    src_simple(&d, converter, 1);
    std::vector<double> x(static_cast<size_t>(kProbeFrames));
    for (size_t i = 0; i < x.size(); ++i)
      x[i] = std::clamp(std::round(out[size_t(kProbeSettle) + i] * 32768.0), -32768.0, 32767.0);
    db = qdl::test::spuriousDb(x, kProbeHz * pitchedRate(pitch) / kRate);
  }
  state.counters["spurious_dB"] = db;
}
BENCHMARK(spuriousLibsamplerate)
    ->ArgNames({"converter", "pitch"})
    ->Args({SRC_SINC_FASTEST, 200})
    ->Args({SRC_SINC_FASTEST, -200})
    ->Args({SRC_LINEAR, 200})
    ->Args({SRC_LINEAR, -200})
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
