#include "platform/loudness/Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace qdl::loudness {

namespace {
// The absolute gate of BS.1770: anything quieter counts as silence.
constexpr double kSilenceLufs = -70.0;
}  // namespace

struct Meter::State {
  ebur128_state* st = nullptr;
};

void Meter::StateDeleter::operator()(State* s) const {
  ebur128_destroy(&s->st);
  delete s;
}

Meter::Meter() = default;
Meter::~Meter() = default;

void Meter::start(int sampleRate, int channels) {
  state_.reset();
  added_ = false;
  channels_ = 0;
  peak_ = 0;
  if (sampleRate <= 0 || channels <= 0) return;
  ebur128_state* st =
      ebur128_init(unsigned(channels), static_cast<unsigned long>(sampleRate), EBUR128_MODE_I);
  if (!st) return;
  state_.reset(new State{st});
  channels_ = channels;
  if (channels == 1) ebur128_set_channel(st, 0, EBUR128_DUAL_MONO);
}

void Meter::add(const std::int16_t* pcm, std::size_t frames) {
  if (!state_ || frames == 0) return;
  if (ebur128_add_frames_short(state_->st, pcm, frames) != EBUR128_SUCCESS) return;
  added_ = true;
  // The sample peak, here rather than in libebur128: this loop vectorises,
  // the library's per-sample one costs about a sixth of the meter.
  int peak = peak_;
  const std::size_t samples = frames * std::size_t(channels_);
  for (std::size_t i = 0; i < samples; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
  peak_ = peak;
}

std::optional<Level> Meter::level() const {
  if (!state_ || !added_) return std::nullopt;
  double integrated = 0;
  if (ebur128_loudness_global(state_->st, &integrated) != EBUR128_SUCCESS) return std::nullopt;
  if (!std::isfinite(integrated) || integrated < kSilenceLufs) return std::nullopt;
  // A silent channel beside a loud one: the louder one's peak counts.
  const double peak = peak_ / 32768.0;
  Level level;
  level.integrated = integrated;
  level.truePeak = peak > 0 ? 20.0 * std::log10(peak) : kSilenceLufs;
  return level;
}

double autoGainDb(const Level& level, double referenceLufs) {
  if (!std::isfinite(level.integrated) || !std::isfinite(referenceLufs)) return 0;
  double gain = referenceLufs - level.integrated;
  gain = std::min(gain, kMaxGainDb);
  if (std::isfinite(level.truePeak))
    gain = std::min(gain, std::max(0.0, kMaxPeakDbtp - level.truePeak));
  gain = std::max(gain, kMinGainDb);
  return std::round(gain * 10.0) / 10.0;
}

}  // namespace qdl::loudness
