#include "platform/tempo/Tempo.h"

#include "platform/mp3/Decoder.h"
#include "platform/tempo/Estimate.h"
#include "platform/tempo/Onsets.h"

namespace qdl::tempo {

Result analyseFile(const std::string& path, const Range& range, const CancelCheck& cancelled) {
  return analyseFile(path, range, cancelled, {});
}

Result analyseFile(const std::string& path, const Range& range, const CancelCheck& cancelled,
                   const std::vector<PcmSink*>& sinks) {
  Result result;
  if (cancelled && cancelled()) {
    result.outcome = Outcome::Cancelled;
    return result;
  }
  mp3::Decoder decoder;
  if (!decoder.open(path, result.reason)) {
    result.outcome = Outcome::Unreadable;
    return result;
  }
  const mp3::OutputInfo& out = decoder.output();
  OnsetTracker tracker(out.sampleRate, out.channels);
  if (!tracker.valid()) {
    result.outcome = Outcome::Unreadable;
    result.reason = "unsupported sample rate";
    return result;
  }
  for (PcmSink* sink : sinks) sink->start(out.sampleRate, out.channels);
  while (!decoder.atEnd()) {
    if (cancelled && cancelled()) {
      result.outcome = Outcome::Cancelled;
      return result;
    }
    if (decoder.decode() != mp3::DecodeStatus::Ok) break;
    const auto* pcm = reinterpret_cast<const std::int16_t*>(decoder.frame());
    const auto frames = std::size_t(out.frameBytes / (out.bytesPerSample * out.channels));
    tracker.feed(pcm, frames);
    for (PcmSink* sink : sinks) sink->add(pcm, frames);
  }
  result = estimateTempo(tracker.onsets(), range);
  if (result.outcome == Outcome::Tempo) {
    result.beats = tracker.onsets().beats;
    result.grid = findBeatGrid(result.exactBpm, result.beats, &tracker.onsets());
  }
  return result;
}

}  // namespace qdl::tempo
