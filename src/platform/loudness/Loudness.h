#pragma once
// Loudness of a song as EBU R128 measures it (integrated loudness in LUFS)
// and its peak, over libebur128, and the gain that brings a song to a
// reference loudness.
//
// The peak is the sample peak (dBFS), not the oversampled true peak: in the
// analysis's pass libebur128's true peak costs about 140 % more CPU than the
// tempo analysis alone, the integrated loudness with the sample peak about
// 27 %. An intersample peak
// lies at most a few tenths of a dB above it in music, well inside the
// headroom the auto-gain leaves the output limiter (kMaxPeakDbtp).
//
// The meter is a tempo::PcmSink: the tempo analysis decodes a song once and
// feeds it the same PCM. A mono song counts as played on both speakers (dual
// mono, 3 LU louder than one channel alone), as the console plays it.
//
// Threads: a Meter belongs to the thread that feeds it; autoGain() is pure.

#include <memory>
#include <optional>

#include "platform/tempo/Tempo.h"

namespace qdl::loudness {

struct Level {
  double integrated = 0;  // LUFS
  double truePeak = 0;    // the peak, dBFS (the sample peak, see above)
};

class Meter : public tempo::PcmSink {
 public:
  Meter();
  ~Meter() override;
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;

  void start(int sampleRate, int channels) override;
  void add(const std::int16_t* pcm, std::size_t frames) override;

  // What was measured over everything added since start(); nullopt before
  // start(), when nothing was added, and for silence (nothing above the
  // absolute gate of -70 LUFS).
  std::optional<Level> level() const;

 private:
  struct State;  // libebur128's state
  struct StateDeleter {
    void operator()(State* st) const;
  };
  std::unique_ptr<State, StateDeleter> state_;
  int channels_ = 0;
  int peak_ = 0;  // the largest magnitude added, in 16-bit steps
  bool added_ = false;
};

// The highest gain auto-gain gives: a very quiet song is lifted this much.
inline constexpr double kMaxGainDb = 12.0;
// The lowest: what the sound path's gain trim reaches.
inline constexpr double kMinGainDb = -24.0;
// The true peak a lifted song may reach: a few dB over full scale are
// caught by the output limiter without audible pumping; beyond that the
// gain is held back.
inline constexpr double kMaxPeakDbtp = 3.0;
// The reference loudness unless the settings say otherwise.
inline constexpr double kDefaultReferenceLufs = -14.0;

// The gain in dB that brings a song of `level` to `referenceLufs`: the
// difference, kMinGainDb to kMaxGainDb, and no more than lets its true peak reach
// kMaxPeakDbtp (a song that peaks higher already is not lifted, but may
// still be lowered). Rounded to a tenth of a dB.
double autoGainDb(const Level& level, double referenceLufs);

// ReplayGain 2.0 measures against -18 LUFS: a track gain of g dB means the
// song's loudness is -18 - g LUFS.
inline constexpr double kReplayGainReferenceLufs = -18.0;

}  // namespace qdl::loudness
