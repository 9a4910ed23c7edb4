#pragma once
// The thread that feeds the decks: decoding and ring refills of every stream
// player on a card with a clock of its own, at raised priority, so that a
// window thread held busy (a slow disk, a printer, a dialog) never starves a
// deck. The deck timers keep their role for the display and the state.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class TStreamPlayer;

namespace qdl {

class DeckFeeder {
 public:
  static DeckFeeder& instance();
  ~DeckFeeder();
  DeckFeeder(const DeckFeeder&) = delete;
  DeckFeeder& operator=(const DeckFeeder&) = delete;

  // What a player's feed() returns when it wants no refill until it is
  // played again: the thread then sleeps until wake() or a change of players.
  static constexpr std::chrono::milliseconds kNotFeeding = std::chrono::milliseconds::max();

  // Starts feeding `player` (starting the thread on first use).
  void add(TStreamPlayer* player);
  // A player wants refills again (its deck plays): the thread looks at once.
  // Never call it while holding a player's own lock.
  void wake();
  // Stops feeding `player`; returns once the thread no longer touches it.
  void remove(TStreamPlayer* player);

  // Rounds the thread has made, and the longest time between two of them
  // while a deck was fed (for the benchmarks).
  std::int64_t rounds() const;
  std::chrono::microseconds longestGap() const;

 private:
  DeckFeeder() = default;
  void run();

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TStreamPlayer*> players_;  // guarded by mutex_
  bool quit_ = false;                    // guarded by mutex_
  std::uint64_t wakes_ = 0;              // guarded by mutex_; counts wake() and add()
  std::int64_t rounds_ = 0;              // guarded by mutex_
  std::chrono::microseconds longestGap_{0};
  std::thread thread_;
};

}  // namespace qdl
