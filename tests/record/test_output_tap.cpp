// The ring between a card's rendering thread and the recorder's writer.

#include <gtest/gtest.h>

#include <thread>

#include "platform/sound/OutputTap.h"
#include "record/RecordHarness.h"

using qdl::sound::OutputTap;

namespace {

// Drains the tap into a timeline: sound frames as they are, gaps as
// silence.
std::vector<std::int16_t> drain(OutputTap& tap, int chunk = 100) {
  std::vector<std::int16_t> out;
  std::vector<std::int16_t> buffer(std::size_t(chunk) * 2);
  for (;;) {
    const OutputTap::Chunk c = tap.pop(buffer.data(), chunk);
    if (c.frames == 0 && c.gap == 0) {
      out.insert(out.end(), std::size_t(tap.takeLastGap()) * 2, std::int16_t(0));
      break;
    }
    out.insert(out.end(), buffer.begin(), buffer.begin() + c.frames * 2);
    out.insert(out.end(), std::size_t(c.gap) * 2, std::int16_t(0));
  }
  return out;
}

struct OverflowCase {
  const char* name;
  int capacity;
  std::vector<int> pushes;  // frames per push; a negative entry drains first
  std::int64_t lost;
};

class TapOverflow : public testing::TestWithParam<OverflowCase> {};

TEST_P(TapOverflow, CountsLostFramesAndKeepsTheTimeline) {
  const OverflowCase& c = GetParam();
  OutputTap tap(c.capacity);
  std::vector<std::int16_t> timeline;
  std::vector<std::int16_t> expected;
  std::int64_t at = 0;
  std::int64_t keptSinceDrain = 0;
  for (const int push : c.pushes) {
    if (push < 0) {
      const auto got = drain(tap);
      timeline.insert(timeline.end(), got.begin(), got.end());
      keptSinceDrain = 0;
      continue;
    }
    const auto frames = qdl::test::pattern(at, push);
    tap.push(frames.data(), push);
    // What the ring keeps is the part that fit; the rest becomes silence.
    for (int i = 0; i < push; ++i) {
      const bool kept = keptSinceDrain < c.capacity;
      if (kept) ++keptSinceDrain;
      expected.push_back(kept ? frames[std::size_t(i) * 2] : 0);
      expected.push_back(kept ? frames[std::size_t(i) * 2 + 1] : 0);
    }
    at += push;
  }
  const auto rest = drain(tap);
  timeline.insert(timeline.end(), rest.begin(), rest.end());
  EXPECT_EQ(tap.lostFrames(), c.lost);
  EXPECT_EQ(tap.producedFrames(), at);
  ASSERT_EQ(timeline.size(), expected.size());
  EXPECT_TRUE(timeline == expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TapOverflow,
    testing::Values(OverflowCase{"fits", 1000, {300, 300, 300}, 0},
                    OverflowCase{"wraps", 1000, {700, -1, 700, -1, 700}, 0},
                    OverflowCase{"one_push_too_big", 1000, {1500}, 500},
                    OverflowCase{"full_then_more", 1000, {800, 400, 300}, 500},
                    OverflowCase{"gap_then_sound", 1000, {1200, -1, 500, 700}, 400},
                    OverflowCase{"many_gaps", 10, {20, -1, 20, -1, 20, -1, 20}, 40}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputTap, MoreGapsThanTheQueueHoldsAreMergedNotReordered) {
  OutputTap tap(4);
  std::int64_t at = 0;
  for (int i = 0; i < OutputTap::kMaxGaps * 3; ++i) {
    const auto frames = qdl::test::pattern(at, 8);
    tap.push(frames.data(), 8);
    at += 8;
  }
  const auto timeline = drain(tap);
  EXPECT_EQ(std::int64_t(timeline.size() / 2), at);
  EXPECT_EQ(tap.lostFrames(), at - 4);
  // The four kept frames come first, the rest is silence.
  const auto first = qdl::test::pattern(0, 4);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), timeline.begin()));
}

TEST(OutputTap, AProducerAndAConsumerOnTwoThreadsLoseNothingWhenTheRingKeepsUp) {
  OutputTap tap(44100);
  constexpr int kBlocks = 2000;
  constexpr int kBlock = 441;
  std::thread producer([&] {
    for (int b = 0; b < kBlocks; ++b) {
      const auto frames = qdl::test::pattern(std::int64_t(b) * kBlock, kBlock);
      while (tap.available() > tap.capacity() - kBlock) std::this_thread::yield();
      tap.push(frames.data(), kBlock);
    }
  });
  std::vector<std::int16_t> got;
  std::vector<std::int16_t> buffer(1000 * 2);
  while (got.size() < std::size_t(kBlocks) * kBlock * 2) {
    const OutputTap::Chunk c = tap.pop(buffer.data(), 1000);
    got.insert(got.end(), buffer.begin(), buffer.begin() + c.frames * 2);
  }
  producer.join();
  EXPECT_EQ(tap.lostFrames(), 0);
  EXPECT_TRUE(got == qdl::test::pattern(0, kBlocks * kBlock));
}

}  // namespace
