#include "platform/sound/Realtime.h"

#include <QString>
#include <QtGlobal>

#include <atomic>
#include <cstring>

#include <pthread.h>
#include <sched.h>

namespace qdl::sound::detail {
namespace {

thread_local bool realtimeSection = false;
std::atomic<int> violations{0};
std::atomic<const char*> lastViolation{nullptr};
std::atomic<bool> refusalLogged{false};

}  // namespace

bool inRealtimeSection() { return realtimeSection; }

RealtimeSection::RealtimeSection() : outer_(realtimeSection) { realtimeSection = true; }
RealtimeSection::~RealtimeSection() { realtimeSection = outer_; }

void realtimeViolation(const char* what) {
  lastViolation.store(what);
  violations.fetch_add(1);
}

int realtimeViolations() { return violations.load(); }
const char* lastRealtimeViolation() { return lastViolation.load(); }

void clearRealtimeViolations() {
  violations.store(0);
  lastViolation.store(nullptr);
}

bool requestRealtimeScheduling(const char* who, int priority) {
  // QUANDREL_REALTIME=0 keeps every thread at normal priority.
  if (qEnvironmentVariable("QUANDREL_REALTIME") == QLatin1String("0")) return false;
  sched_param param{};
  param.sched_priority = priority;
  const int error = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  if (error == 0) return true;
  if (!refusalLogged.exchange(true))
    qWarning(
        "Real-time scheduling was refused for the %s thread (%s): sound may drop out while "
        "the machine is busy. Allow it with a real-time limit (ulimit -r) for this user.",
        who, std::strerror(error));
  return false;
}

}  // namespace qdl::sound::detail
