#pragma once
// The period of aubio's beats. The tracker places its beats a period apart
// within each block of about 1.5 s and then re-aligns them to the music, so
// single intervals wobble by a few percent around the true period while the
// beat times themselves do not drift. A histogram of the intervals finds the
// period the tracker keeps to; a line fitted through the beat times of each
// run of beats that keeps to it gives the period to a small fraction of a
// percent.

#include <vector>

namespace qdl::tempo {

struct BeatPeriod {
  double seconds = 0;  // 0 when the beats keep to no period
  double share = 0;    // the share of the beats that lie on runs keeping to it
};

BeatPeriod beatPeriod(const std::vector<double>& beats);

}  // namespace qdl::tempo
