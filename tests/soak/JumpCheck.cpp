#include "soak/JumpCheck.h"

#include <cstdlib>

namespace qdl::soak {

void JumpCheck::feed(const std::vector<std::int16_t>& frames, double bound, bool excused) {
  const std::size_t n = frames.size() / 2;
  for (std::size_t i = 0; i < n; ++i) {
    for (int c = 0; c < 2; ++c) {
      const int y = frames[2 * i + std::size_t(c)];
      // The bend at the sample before this one, now that its neighbours
      // are known.
      const double bend = std::abs(y - 2 * y1_[c] + y2_[c]);
      y2_[c] = y1_[c];
      y1_[c] = y;
      if (excused) continue;
      const double ratio = bend / bound;
      if (ratio > worst_) worst_ = ratio;
      if (bend <= bound) continue;
      ++count_;
      if (jumps_.size() < std::size_t(kKept))
        jumps_.push_back({frame_ + std::int64_t(i) - 1, c, bend, bound});
    }
  }
  frame_ += std::int64_t(n);
}

}  // namespace qdl::soak
