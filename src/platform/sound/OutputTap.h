#pragma once
// A copy of a card's output as it is rendered, for a reader on another thread
// (the recorder's writer): a single-producer single-consumer ring of 44100 Hz
// 16-bit stereo frames.
//
// The rendering thread only copies into the ring: push() neither allocates,
// locks nor waits. When the ring is full the frames that do not fit are not
// kept; they are counted, and the place and length of each such gap are
// queued for the reader, so that it can fill the gap with silence and the
// reader's timeline stays the card's timeline. Gaps beyond kMaxGaps queued at
// once are merged into the last one queued.
//
// Units: frames (one sample per channel) of the card's output.

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace qdl::sound {

class OutputTap {
 public:
  static constexpr int kChannels = 2;
  static constexpr int kMaxGaps = 64;

  // A ring of `frames` frames (at least 1); allocated here, on the caller's thread.
  explicit OutputTap(int frames);
  OutputTap(const OutputTap&) = delete;
  OutputTap& operator=(const OutputTap&) = delete;

  int capacity() const { return capacity_; }

  // ---- Producer (the rendering thread)
  // Copies `frames` interleaved stereo frames in; what does not fit is lost.
  void push(const std::int16_t* out, int frames) noexcept;

  // ---- Consumer (one reader thread)
  // What the reader takes next: frames of sound, or a gap of lost frames
  // that stands in the stream at this point.
  struct Chunk {
    int frames = 0;        // sound frames copied into the caller's buffer
    std::int64_t gap = 0;  // or: frames lost here (nothing copied)
  };
  // Copies up to `maxFrames` frames into `into`, stopping before the next
  // gap; at a gap returns the gap instead. Nothing to take: both are 0.
  Chunk pop(std::int16_t* into, int maxFrames) noexcept;
  // Frames waiting in the ring now.
  int available() const noexcept;
  // Once the producer has stopped for good (the tap taken off its card) and
  // pop() gives nothing more: the frames of a last gap that could not yet
  // be queued (0 when none), which then end the stream.
  std::int64_t takeLastGap() noexcept;

  // ---- Any thread
  // Frames the card rendered since the tap was made: kept and lost.
  std::int64_t producedFrames() const noexcept { return produced_.load(std::memory_order_acquire); }
  std::int64_t lostFrames() const noexcept { return lost_.load(std::memory_order_acquire); }

 private:
  struct Gap {
    std::atomic<std::int64_t> at{0};      // kept frames before it, counted from the start
    std::atomic<std::int64_t> frames{0};  // its length
  };
  void closeGap() noexcept;

  const int capacity_;
  std::vector<std::int16_t> ring_;
  // Kept frames written and read, counted from the start; the ring index is
  // the count modulo capacity_.
  std::atomic<std::int64_t> written_{0};
  std::atomic<std::int64_t> read_{0};
  std::atomic<std::int64_t> produced_{0};
  std::atomic<std::int64_t> lost_{0};

  // Gaps: a queue of their own, same discipline.
  std::array<Gap, kMaxGaps> gaps_;
  std::atomic<std::uint32_t> gapsWritten_{0};
  std::atomic<std::uint32_t> gapsRead_{0};
  // The gap the producer is in now (not yet queued). Written by the producer;
  // the reader touches it only in takeLastGap(), once the producer has
  // stopped. Atomic (relaxed, plain moves on x86) so that this hand-over
  // never depends on how the caller ordered the two threads.
  std::atomic<std::int64_t> openAt_{-1};
  std::atomic<std::int64_t> openFrames_{0};
};

}  // namespace qdl::sound
