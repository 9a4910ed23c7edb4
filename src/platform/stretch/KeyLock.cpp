#include "platform/stretch/KeyLock.h"

#include <rubberband/RubberBandStretcher.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qdl::stretch {

namespace {

using RubberBand::RubberBandStretcher;

// Frames fed to the stretcher at a time.
constexpr int kChunk = 1024;
// Frames of the song kept before the next block: enough for any start pad.
constexpr int kHistory = 16384;

// The faster engine with the method for pitch scales that change while it
// runs (bends, the pitch bar), both channels together for a steady stereo
// image.
constexpr RubberBandStretcher::Options kOptions =
    RubberBandStretcher::OptionProcessRealTime | RubberBandStretcher::OptionEngineFaster |
    RubberBandStretcher::OptionPitchHighConsistency | RubberBandStretcher::OptionChannelsTogether;

std::int16_t toSample(float v) {
  return static_cast<std::int16_t>(std::lround(std::clamp(v * 32768.0f, -32768.0f, 32767.0f)));
}

}  // namespace

KeyLock::KeyLock(int sampleRate, int channels, int blockFrames)
    : sampleRate_(sampleRate),
      channels_(std::max(1, channels)),
      blockFrames_(blockFrames),
      fadeFrames_(std::clamp(sampleRate * kCrossfadeMs / 1000, 1, blockFrames)) {
  plain_.resize(static_cast<std::size_t>(blockFrames_) * channels_);
  stretched_.resize(plain_.size());
}

KeyLock::~KeyLock() = default;

void KeyLock::ensureStretcher() {
  if (stretcher_) return;
  stretcher_ = std::make_unique<RubberBandStretcher>(static_cast<std::size_t>(sampleRate_),
                                                     static_cast<std::size_t>(channels_), kOptions);
  stretcher_->setMaxProcessSize(kChunk);
  planar_.resize(static_cast<std::size_t>(kChunk) * channels_);
  out_.resize(static_cast<std::size_t>(blockFrames_) * channels_);
}

int KeyLock::startDelay(double pitchScale) {
  ensureStretcher();
  stretcher_->reset();
  stretcher_->setPitchScale(pitchScale);
  scale_ = pitchScale;
  active_ = false;
  return static_cast<int>(stretcher_->getStartDelay());
}

void KeyLock::reset() {
  held_.clear();
  ends_.clear();
  heldStart_ = readFrames_ = position_ = 0;
  active_ = false;
}

void KeyLock::readUpTo(std::int64_t frame, const ReadBlock& read) {
  const std::size_t blockSamples = static_cast<std::size_t>(blockFrames_) * channels_;
  while (readFrames_ < frame) {
    const std::size_t at = held_.size();
    held_.resize(at + blockSamples);
    ends_.push_back(read(held_.data() + at));
    readFrames_ += blockFrames_;
  }
}

void KeyLock::trim() {
  const std::int64_t keep = std::min(position_ - kHistory, fedTo_ - kHistory);
  if (keep <= heldStart_) return;
  const auto drop = static_cast<std::size_t>(keep - heldStart_) * channels_;
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(drop));
  heldStart_ = keep;
}

void KeyLock::feed(std::int64_t from, int count) {
  for (int done = 0; done < count;) {
    const int n = std::min(kChunk, count - done);
    std::vector<float*> planes(static_cast<std::size_t>(channels_));
    for (int c = 0; c < channels_; ++c) planes[c] = planar_.data() + std::size_t(c) * kChunk;
    for (int i = 0; i < n; ++i) {
      const std::int64_t f = from + done + i;
      const bool have = f >= heldStart_ && f < readFrames_;
      const std::int16_t* s =
          have ? held_.data() + static_cast<std::size_t>(f - heldStart_) * channels_ : nullptr;
      for (int c = 0; c < channels_; ++c) planes[c][i] = s ? s[c] / 32768.0f : 0.0f;
    }
    stretcher_->process(planes.data(), static_cast<std::size_t>(n), false);
    done += n;
  }
}

void KeyLock::prime(double pitchScale) {
  ensureStretcher();
  stretcher_->reset();
  stretcher_->setPitchScale(pitchScale);
  scale_ = pitchScale;
  // The pad is the song's sound just before the block where one is held
  // (a switch while playing), silence where none is (after a seek): the
  // shifted sound then starts where the plain one is.
  const int pad = static_cast<int>(stretcher_->getPreferredStartPad());
  feed(position_ - pad, pad);
  fedTo_ = position_;
  discard_ = static_cast<int>(stretcher_->getStartDelay());
  active_ = true;
}

void KeyLock::stretchBlock(double pitchScale, const ReadBlock& read) {
  if (!active_) prime(pitchScale);
  if (pitchScale != scale_) {
    stretcher_->setPitchScale(pitchScale);
    scale_ = pitchScale;
  }
  std::vector<float*> planes(static_cast<std::size_t>(channels_));
  int got = 0;
  while (got < blockFrames_) {
    const int available = stretcher_->available();
    if (available <= 0) {
      const int n = kChunk;
      readUpTo(fedTo_ + n, read);
      feed(fedTo_, n);
      fedTo_ += n;
      continue;
    }
    if (discard_ > 0) {
      // Throws away the start delay, a block at most at a time.
      const int n = std::min({available, discard_, blockFrames_});
      for (int c = 0; c < channels_; ++c) planes[c] = out_.data() + std::size_t(c) * blockFrames_;
      stretcher_->retrieve(planes.data(), static_cast<std::size_t>(n));
      discard_ -= n;
      continue;
    }
    const int n = std::min(available, blockFrames_ - got);
    for (int c = 0; c < channels_; ++c)
      planes[c] = out_.data() + std::size_t(c) * blockFrames_ + got;
    stretcher_->retrieve(planes.data(), static_cast<std::size_t>(n));
    got += n;
  }
  for (int i = 0; i < blockFrames_; ++i)
    for (int c = 0; c < channels_; ++c)
      stretched_[std::size_t(i) * channels_ + c] =
          toSample(out_[std::size_t(c) * blockFrames_ + i]);
}

bool KeyLock::next(std::int16_t* out, bool on, double pitchScale, const ReadBlock& read) {
  const bool wasOn = active_;
  readUpTo(position_ + blockFrames_, read);
  const std::size_t blockSamples = static_cast<std::size_t>(blockFrames_) * channels_;
  const std::int16_t* plain =
      held_.data() + static_cast<std::size_t>(position_ - heldStart_) * channels_;
  std::copy(plain, plain + blockSamples, plain_.begin());
  if (on || wasOn) stretchBlock(pitchScale, read);
  if (on && wasOn) {
    std::copy(stretched_.begin(), stretched_.end(), out);
  } else if (!on && !wasOn) {
    std::copy(plain_.begin(), plain_.end(), out);
  } else {
    // A switch: from the signal that played to the other, on a raised
    // cosine; both are the same place of the song.
    const std::vector<std::int16_t>& from = on ? plain_ : stretched_;
    const std::vector<std::int16_t>& to = on ? stretched_ : plain_;
    for (int i = 0; i < blockFrames_; ++i) {
      const double w =
          i >= fadeFrames_ ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * (i + 0.5) / fadeFrames_);
      for (int c = 0; c < channels_; ++c) {
        const std::size_t k = std::size_t(i) * channels_ + c;
        out[k] = static_cast<std::int16_t>(std::lround(from[k] * (1.0 - w) + to[k] * w));
      }
    }
    if (!on) active_ = false;
  }
  const bool end = ends_.front();
  ends_.pop_front();
  position_ += blockFrames_;
  if (!active_) fedTo_ = position_;
  trim();
  return end;
}

}  // namespace qdl::stretch
