#include "platform/sound/OutputTap.h"

#include <algorithm>

namespace qdl::sound {
namespace {

// The samples cross threads as relaxed atomics (plain moves on x86): their
// order comes from the indices' release and acquire; being atomic
// themselves, they are never taken for a race, whatever a race detector
// makes of the indices under heavy load.
void putSamples(std::int16_t* ring, const std::int16_t* from, std::size_t count) noexcept {
  for (std::size_t i = 0; i < count; ++i)
    std::atomic_ref<std::int16_t>(ring[i]).store(from[i], std::memory_order_relaxed);
}

void takeSamples(std::int16_t* into, std::int16_t* ring, std::size_t count) noexcept {
  for (std::size_t i = 0; i < count; ++i)
    into[i] = std::atomic_ref<std::int16_t>(ring[i]).load(std::memory_order_relaxed);
}

}  // namespace

OutputTap::OutputTap(int frames)
    : capacity_(std::max(frames, 1)), ring_(std::size_t(capacity_) * kChannels) {}

void OutputTap::push(const std::int16_t* out, int frames) noexcept {
  if (frames <= 0) return;
  const std::int64_t w = written_.load(std::memory_order_relaxed);
  const std::int64_t r = read_.load(std::memory_order_acquire);
  if (openAt_.load(std::memory_order_relaxed) >= 0) closeGap();
  // Sound after a gap the reader cannot yet be told of would be read before
  // it: until the gap is queued, nothing is kept.
  const bool open = openAt_.load(std::memory_order_relaxed) >= 0;
  const int room = open ? 0 : capacity_ - int(w - r);
  const int keep = std::min(frames, room);
  if (keep > 0) {
    const int start = int(w % capacity_);
    const int first = std::min(keep, capacity_ - start);
    putSamples(ring_.data() + std::size_t(start) * kChannels, out, std::size_t(first) * kChannels);
    if (keep > first)
      putSamples(ring_.data(), out + std::size_t(first) * kChannels,
                 std::size_t(keep - first) * kChannels);
    written_.store(w + keep, std::memory_order_release);
  }
  if (keep < frames) {
    const int lost = frames - keep;
    if (openAt_.load(std::memory_order_relaxed) < 0) {
      openAt_.store(w + keep, std::memory_order_relaxed);
      openFrames_.store(0, std::memory_order_relaxed);
    }
    openFrames_.store(openFrames_.load(std::memory_order_relaxed) + lost,
                      std::memory_order_relaxed);
    lost_.fetch_add(lost, std::memory_order_release);
    // Queued at once when the gap queue has room, so that a reader that
    // drains the ring learns of it without waiting for the next kept frame.
    closeGap();
  }
  produced_.fetch_add(frames, std::memory_order_release);
}

void OutputTap::closeGap() noexcept {
  const std::int64_t at = openAt_.load(std::memory_order_relaxed);
  const std::int64_t frames = openFrames_.load(std::memory_order_relaxed);
  if (at < 0 || frames == 0) return;
  const std::uint32_t gw = gapsWritten_.load(std::memory_order_relaxed);
  const std::uint32_t gr = gapsRead_.load(std::memory_order_acquire);
  if (gw - gr < kMaxGaps) {
    Gap& gap = gaps_[gw % kMaxGaps];
    gap.at.store(at, std::memory_order_relaxed);
    gap.frames.store(frames, std::memory_order_relaxed);
    gapsWritten_.store(gw + 1, std::memory_order_release);
    openAt_.store(-1, std::memory_order_relaxed);
    openFrames_.store(0, std::memory_order_relaxed);
  }
  // Else the gap stays open and grows until the reader has taken a gap.
}

OutputTap::Chunk OutputTap::pop(std::int16_t* into, int maxFrames) noexcept {
  Chunk chunk;
  const std::int64_t r = read_.load(std::memory_order_relaxed);
  const std::int64_t w = written_.load(std::memory_order_acquire);
  std::int64_t limit = w;
  const std::uint32_t gr = gapsRead_.load(std::memory_order_relaxed);
  if (gr != gapsWritten_.load(std::memory_order_acquire)) {
    const Gap& gap = gaps_[gr % kMaxGaps];
    const std::int64_t at = gap.at.load(std::memory_order_relaxed);
    if (at <= r) {
      chunk.gap = gap.frames.load(std::memory_order_relaxed);
      gapsRead_.store(gr + 1, std::memory_order_release);
      return chunk;
    }
    limit = std::min(limit, at);
  }
  const int n = int(std::min<std::int64_t>(limit - r, maxFrames));
  if (n <= 0) return chunk;
  const int start = int(r % capacity_);
  const int first = std::min(n, capacity_ - start);
  takeSamples(into, ring_.data() + std::size_t(start) * kChannels, std::size_t(first) * kChannels);
  if (n > first)
    takeSamples(into + std::size_t(first) * kChannels, ring_.data(),
                std::size_t(n - first) * kChannels);
  read_.store(r + n, std::memory_order_release);
  chunk.frames = n;
  return chunk;
}

std::int64_t OutputTap::takeLastGap() noexcept {
  // Pairs with the release at the end of the producer's last push: what that
  // push left open is seen here, whichever way the caller stopped the
  // producer.
  (void)produced_.load(std::memory_order_acquire);
  const std::int64_t frames = openAt_.load(std::memory_order_relaxed) >= 0
                                  ? openFrames_.load(std::memory_order_relaxed)
                                  : 0;
  openAt_.store(-1, std::memory_order_relaxed);
  openFrames_.store(0, std::memory_order_relaxed);
  return frames;
}

int OutputTap::available() const noexcept {
  return int(written_.load(std::memory_order_acquire) - read_.load(std::memory_order_acquire));
}

}  // namespace qdl::sound
