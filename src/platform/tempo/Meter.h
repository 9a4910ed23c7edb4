#pragma once
// Which of two tempos an octave apart is the beat a DJ counts, when both
// fit the range (by default 70..90 against 140..180 BPM).
//
// Both fit a song equally well as pulses; the drums tell them apart. The
// fast tempo is the beat unless the groove says otherwise:
//  - a kick and bass line that comes back after eight beats of the fast
//    tempo but hardly after four is a one-bar figure of the slow tempo
//    (hip-hop), which the fast one would stretch over two bars; the same
//    less marked when the snare does not come every second fast beat;
//  - a kick line that comes back every second fast beat, with neither a
//    snare on 2 and 4 of the fast bar nor the same hits on every fast beat,
//    keeps the slow tempo's beats (reggaeton, a slow rock beat).
// Drum and bass (a one-bar two-step kick, the snare on 2 and 4), hard dance
// and trance (a kick on every beat) fill the fast grid and stay fast.

#include "platform/tempo/Periodicity.h"

namespace qdl::tempo {

struct MeterEvidence {
  double backbeat = 0;        // 0..1: the snare layer's accent comes back two fast beats later
  double fourFloor = 0;       // 0..1: share of the kick layer's bar that repeats every fast beat
  double kickRepeat[4] = {};  // the kick layer's autocorrelation after 1, 2, 4, 8 fast beats
  double snareRepeat = 0;     // the snare layer's autocorrelation after 2 fast beats
  bool fast() const;          // the fast tempo is the beat
};

// `fastPeriod`: the faster tempo's beat period in envelope frames, exact
// enough that the song's frames can be folded onto one bar of it.
MeterEvidence meterEvidence(const Pulse& pulse, double fastPeriod);

}  // namespace qdl::tempo
