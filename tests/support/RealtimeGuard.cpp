// Test builds: every allocation on a thread inside a real-time section (the
// sound callback) counts as a broken rule, and a test program whose sound
// callbacks broke one fails at its end. Replaces the global operator new and
// delete of the programs it is linked into, except under ThreadSanitizer:
// there the allocations of the libraries that it cannot see into (Qt's own
// threads) must stay theirs, or it reports them as races.

#include "platform/sound/Realtime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

[[maybe_unused]] void* allocate(std::size_t n) {
  if (qdl::sound::detail::inRealtimeSection()) qdl::sound::detail::realtimeViolation("allocation");
  if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
  throw std::bad_alloc();
}

[[maybe_unused]] void* allocateAligned(std::size_t n, std::align_val_t alignment) {
  if (qdl::sound::detail::inRealtimeSection()) qdl::sound::detail::realtimeViolation("allocation");
  const auto a = static_cast<std::size_t>(alignment);
  const std::size_t size = n == 0 ? a : (n + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, size)) return p;
  throw std::bad_alloc();
}

class RealtimeRulesKept : public ::testing::Environment {
 public:
  void TearDown() override {
    const char* last = qdl::sound::detail::lastRealtimeViolation();
    EXPECT_EQ(qdl::sound::detail::realtimeViolations(), 0)
        << "the sound callback broke a real-time rule (" << (last ? last : "") << ")";
  }
};

[[maybe_unused]] ::testing::Environment* const environment =
    ::testing::AddGlobalTestEnvironment(new RealtimeRulesKept);

}  // namespace

#if !defined(__SANITIZE_THREAD__)
void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, std::align_val_t a) { return allocateAligned(n, a); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocateAligned(n, a); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#endif
