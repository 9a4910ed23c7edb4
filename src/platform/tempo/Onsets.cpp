#include "platform/tempo/Onsets.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>

namespace qdl::tempo {

namespace {

// Half-band low-pass for halving the rate: 31 taps, of which only the centre
// and the odd offsets are not zero (Blackman-windowed sinc).
constexpr int kHalfTaps = 15;
struct HalfBand {
  float odd[(kHalfTaps + 1) / 2];  // taps at offsets 1, 3, .., 15 either side of the centre
  HalfBand() {
    double sum = 0;
    for (int j = 1, k = 0; j <= kHalfTaps; j += 2, ++k) {
      const double x = M_PI * j / 2;
      const double w = 0.42 + 0.5 * std::cos(M_PI * j / (kHalfTaps + 1)) +
                       0.08 * std::cos(2 * M_PI * j / (kHalfTaps + 1));
      odd[k] = float(std::sin(x) / x / 2 * w);
      sum += 2 * odd[k];
    }
    for (float& c : odd) c = float(c * 0.5 / sum);  // unity gain at DC
  }
};
const HalfBand kHalfBand;

constexpr int kHistory = 2 * kHalfTaps + 1;

// Magnitudes are compressed as log(1 + k * magnitude / reference) before the
// flux, the reference being the loudest recent bin; the reference falls by
// 20 dB per second when the music gets quieter.
constexpr float kCompression = 100;
constexpr double kReleaseDbPerSecond = 20;
// The reference never falls below a bin 40 dB under a full-scale sine
// (whose bin reaches about a quarter of the window's length): near-silence
// stays near-silence instead of being raised to the level of music.
const float kQuietest = 0.25f * 512 * std::pow(10.f, -40.f / 20);

}  // namespace

// aubio's tempo tracker, and for our own envelopes its FFT on windowed
// frames (only magnitudes: a phase vocoder would also work out every bin's
// phase, which costs more than the transform).
struct OnsetTracker::Aubio {
  aubio_tempo_t* tempo = nullptr;
  aubio_fft_t* fft = nullptr;
  fvec_t* in = nullptr;
  fvec_t* beat = nullptr;
  fvec_t* frame = nullptr;
  fvec_t* spectrum = nullptr;
  cvec_t* grain = nullptr;
  ~Aubio() {
    if (tempo) del_aubio_tempo(tempo);
    if (fft) del_aubio_fft(fft);
    if (in) del_fvec(in);
    if (beat) del_fvec(beat);
    if (frame) del_fvec(frame);
    if (spectrum) del_fvec(spectrum);
    if (grain) del_cvec(grain);
  }
};

OnsetTracker::OnsetTracker(int sampleRate, int channels)
    : aubio_(std::make_unique<Aubio>()),
      channels_(std::max(channels, 1)),
      halve_(sampleRate >= 32000),
      history_(2 * kHistory, 0.f) {
  const int rate = halve_ ? sampleRate / 2 : sampleRate;
  // aubio's tracker is tuned for hops of 512 samples at 44.1 kHz; keep the
  // hop's duration, so its tempo weighting and thresholds mean the same.
  hop_ = std::max(16, int(std::lround(rate * 512.0 / 44100)));
  const int window = 2 * hop_;
  if (rate < 4000) return;
  aubio_->tempo = new_aubio_tempo("default", window, hop_, rate);
  aubio_->fft = new_aubio_fft(window);
  aubio_->in = new_fvec(hop_);
  aubio_->beat = new_fvec(2);
  aubio_->frame = new_fvec(window);
  aubio_->spectrum = new_fvec(window);
  aubio_->grain = new_cvec(window);
  if (!valid()) return;
  hopBuffer_.resize(hop_);
  recent_.assign(window, 0.f);
  hann_.resize(window);
  for (int i = 0; i < window; ++i) hann_[i] = float(0.5 - 0.5 * std::cos(2 * M_PI * i / window));
  prevLog_.assign(aubio_->grain->length, 0.f);
  onsets_.frameRate = double(rate) / hop_;
  releasePerFrame_ = float(std::pow(10.0, -kReleaseDbPerSecond / 20 / onsets_.frameRate));
}

OnsetTracker::~OnsetTracker() = default;

bool OnsetTracker::valid() const {
  const Aubio& a = *aubio_;
  return a.tempo && a.fft && a.in && a.beat && a.frame && a.spectrum && a.grain;
}

void OnsetTracker::feed(const std::int16_t* pcm, std::size_t frames) {
  if (!valid()) return;
  const float scale = 1.f / (32768.f * channels_);
  for (std::size_t i = 0; i < frames; ++i) {
    float sum = 0;
    for (int c = 0; c < channels_; ++c) sum += pcm[i * channels_ + c];
    const float mono = sum * scale;
    if (!halve_) {
      push(mono);
      continue;
    }
    // The history holds every input sample twice (at pos and pos + kHistory),
    // so the filter reads the last kHistory samples without wrapping.
    history_[historyPos_] = history_[historyPos_ + kHistory] = mono;
    historyPos_ = (historyPos_ + 1) % kHistory;
    second_ = !second_;
    if (second_) continue;
    const float* x = &history_[historyPos_];  // oldest .. newest
    float y = 0.5f * x[kHalfTaps];
    for (int j = 1, k = 0; j <= kHalfTaps; j += 2, ++k)
      y += kHalfBand.odd[k] * (x[kHalfTaps - j] + x[kHalfTaps + j]);
    push(y);
  }
}

void OnsetTracker::push(float sample) {
  hopBuffer_[filled_++] = sample;
  if (filled_ < hopBuffer_.size()) return;
  runHop();
  filled_ = 0;
}

void OnsetTracker::runHop() {
  Aubio& a = *aubio_;
  std::copy(hopBuffer_.begin(), hopBuffer_.end(), a.in->data);

  aubio_tempo_do(a.tempo, a.in, a.beat);
  if (a.beat->data[0] != 0) {
    onsets_.beats.push_back(aubio_tempo_get_last_s(a.tempo));
    onsets_.beatConfidence.push_back(aubio_tempo_get_confidence(a.tempo));
  }

  // Log-compressed spectral flux per band: what rises from one frame to the
  // next, so steady tones count for nothing whatever their level. The
  // magnitudes are taken relative to the loudest bin of the last second or
  // so: a quiet song counts like a loud one, and what lies 60 dB or more
  // below the music (an encoder's toggling of near-empty bands) barely
  // counts at all.
  std::copy(recent_.begin() + hop_, recent_.end(), recent_.begin());
  std::copy(hopBuffer_.begin(), hopBuffer_.end(), recent_.end() - hop_);
  for (std::size_t i = 0; i < recent_.size(); ++i) a.frame->data[i] = recent_[i] * hann_[i];
  aubio_fft_do_complex(a.fft, a.frame, a.spectrum);
  aubio_fft_get_norm(a.spectrum, a.grain);
  const int bins = int(a.grain->length);
  float peak = 0;
  for (int k = 0; k < bins; ++k) peak = std::max(peak, a.grain->norm[k]);
  reference_ = std::max({peak, reference_ * releasePerFrame_, kQuietest});
  const float scale = kCompression / reference_;
  const double binHz = onsets_.frameRate * hop_ / (2.0 * (bins - 1));
  float flux[kBands] = {};
  int band = 0;
  for (int k = 0; k < bins; ++k) {
    const float mag = a.grain->norm[k];
    const float lg = std::log1p(mag * scale);
    const float rise = std::max(0.f, lg - prevLog_[k]);
    prevLog_[k] = lg;
    while (band < kBands - 1 && k * binHz >= kBandEdgesHz[band]) ++band;
    flux[band] += rise;
  }
  for (int b = 0; b < kBands; ++b) onsets_.flux[b].push_back(flux[b]);
}

}  // namespace qdl::tempo
