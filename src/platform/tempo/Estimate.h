#pragma once
// From what the tracker kept of a song to its tempo.

#include "platform/tempo/Onsets.h"
#include "platform/tempo/Tempo.h"

namespace qdl::tempo {

// The tempo of a whole song (Tempo or NoTempo).
Result estimateTempo(const Onsets& onsets, const Range& range);

}  // namespace qdl::tempo
