#pragma once
// Forces the moment a card's sleep could be lost: a buffer starts playing
// right after the card has decided to sleep and before its output stream
// has acted on that decision.

#include "platform/sound/Mixer.h"
#include "platform/sound/Sound.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace qdl::test {

class SleepRace {
 public:
  SleepRace() { sound::detail::setSleepHook(&hook_); }
  ~SleepRace() { sound::detail::setSleepHook(nullptr); }
  SleepRace(const SleepRace&) = delete;
  SleepRace& operator=(const SleepRace&) = delete;

  // Plays `buffer` briefly, waits until the card decides to sleep and, while
  // its rendering thread still holds that decision, plays it again. False
  // when the card never fell asleep.
  bool playAsTheCardFallsAsleep(sound::SoundBuffer& buffer) {
    buffer.play();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    buffer.stop();
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::seconds(20), [this] { return sleeping_; }))
        return false;
    }
    buffer.play();
    {
      std::lock_guard lock(mutex_);
      played_ = true;
    }
    changed_.notify_all();
    sound::detail::setSleepHook(nullptr);
    return true;
  }

 private:
  // On the rendering thread: holds the decision to sleep until the buffer
  // plays again (at most a few seconds, so a broken test cannot hang).
  std::function<void()> hook_ = [this] {
    std::unique_lock lock(mutex_);
    if (played_) return;
    sleeping_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, std::chrono::seconds(5), [this] { return played_; });
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  bool sleeping_ = false;
  bool played_ = false;
};

// Waits (up to 10 s) until `buffer`'s cursor has moved `bytes` on from `from`.
inline bool cursorMovesOn(const sound::SoundBuffer& buffer, int from, int bytes) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    int moved = buffer.currentPosition() - from;
    if (moved < 0) moved += buffer.bytes();
    if (moved >= bytes) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

}  // namespace qdl::test
