#pragma once
// The rules of the sound callback (internal): it never allocates, locks or
// calls into the system, so it never waits for a thread of lower priority.
//
// RealtimeSection marks the code that runs under those rules on the current
// thread. CheckedMutex counts a lock taken inside one; test builds also count
// every allocation there (tests/support/RealtimeGuard.cpp replaces operator
// new), and the tests fail on any count.

#include <mutex>

namespace qdl::sound::detail {

bool inRealtimeSection();

class RealtimeSection {
 public:
  RealtimeSection();
  ~RealtimeSection();
  RealtimeSection(const RealtimeSection&) = delete;
  RealtimeSection& operator=(const RealtimeSection&) = delete;

 private:
  bool outer_;
};

// Records a broken rule ("allocation", "lock"); never allocates or locks.
void realtimeViolation(const char* what);
// How many times a rule was broken since the program started, and the last
// rule broken (null when none).
int realtimeViolations();
const char* lastRealtimeViolation();
void clearRealtimeViolations();  // for the tests of the check itself

// A mutex for the threads that drive the sound layer; taking it inside a
// real-time section counts as a violation.
class CheckedMutex {
 public:
  void lock() {
    if (inRealtimeSection()) realtimeViolation("lock");
    mutex_.lock();
  }
  void unlock() { mutex_.unlock(); }
  bool try_lock() {
    if (inRealtimeSection()) realtimeViolation("lock");
    return mutex_.try_lock();
  }

 private:
  std::mutex mutex_;
};

// Asks for real-time (first-in, first-out) scheduling of the calling thread
// at `priority` (1..99); `who` names the thread in the log. When the system
// refuses, says so in the log once per process and runs on as before.
// Returns whether the thread now runs at real-time priority. With
// QUANDREL_REALTIME=0 it asks for nothing and returns false.
bool requestRealtimeScheduling(const char* who, int priority);

// Priorities of the engine's threads: the card's callback above the decks'
// feeder, both above every ordinary thread.
constexpr int kCallbackPriority = 70;
constexpr int kFeederPriority = 60;

}  // namespace qdl::sound::detail
