#include "audio/DeckFeeder.h"

#include "audio/Dsutil.h"
#include "platform/sound/Realtime.h"

#include <algorithm>

namespace qdl {

namespace {
// A fed deck is looked at again before its cursor reaches the next half,
// and at least this often, for the headphone ring's drift correction.
constexpr auto kLongestWait = std::chrono::milliseconds(20);
constexpr auto kShortestWait = std::chrono::milliseconds(2);
}  // namespace

DeckFeeder& DeckFeeder::instance() {
  static DeckFeeder feeder;
  return feeder;
}

DeckFeeder::~DeckFeeder() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void DeckFeeder::add(TStreamPlayer* player) {
  {
    std::lock_guard lock(mutex_);
    players_.push_back(player);
    ++wakes_;
    if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
  }
  changed_.notify_all();
}

void DeckFeeder::wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakes_;
  }
  changed_.notify_all();
}

void DeckFeeder::remove(TStreamPlayer* player) {
  std::lock_guard lock(mutex_);  // the thread feeds under this lock
  std::erase(players_, player);
}

std::int64_t DeckFeeder::rounds() const {
  std::lock_guard lock(mutex_);
  return rounds_;
}

std::chrono::microseconds DeckFeeder::longestGap() const {
  std::lock_guard lock(mutex_);
  return longestGap_;
}

void DeckFeeder::run() {
  sound::detail::requestRealtimeScheduling("deck feeder", sound::detail::kFeederPriority);
  using clock = std::chrono::steady_clock;
  std::unique_lock lock(mutex_);
  clock::time_point last{};
  while (!quit_) {
    if (players_.empty()) {
      last = {};
      changed_.wait(lock, [this] { return quit_ || !players_.empty(); });
      continue;
    }
    const auto now = clock::now();
    if (last != clock::time_point{})
      longestGap_ =
          std::max(longestGap_, std::chrono::duration_cast<std::chrono::microseconds>(now - last));
    last = now;
    ++rounds_;
    std::chrono::milliseconds wait = kNotFeeding;
    for (TStreamPlayer* player : players_) wait = std::min(wait, player->feed());
    const std::uint64_t seen = wakes_;
    if (wait == kNotFeeding) {
      // No deck plays: sleep until one does, so that an idle console wakes
      // nobody. The lock is held from the players' answers to the wait, so a
      // wake() in between is never lost.
      last = {};
      changed_.wait(lock, [&] { return quit_ || wakes_ != seen; });
      continue;
    }
    changed_.wait_for(lock, std::clamp(wait, kShortestWait, kLongestWait));
  }
}

}  // namespace qdl
