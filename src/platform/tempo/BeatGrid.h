#pragma once
// The beat grid of a song: where its bars begin and how far apart its beats
// are, one tempo for the whole song, as a DJ counts "one, two, three, four".
//
// The phase of the beats comes from the tracker's beats (each placed within
// a few milliseconds, their mean over the song to a fraction of one) and, where
// the song's onset envelopes are at hand, from the onsets folded onto one
// beat period. Which beat of four is the "one" comes from the envelopes as
// well: the snare or clap marks 2 and 4, the kick, the bass and the chords
// mark 1 over 3. Where no beat of the bar stands out (or only the beats are
// at hand), the "one" is the first strong beat after a beatless intro, where
// the drums come in. The grid is extended backwards over the intro: its
// first downbeat is the first one at or after the song's start, so an intro
// that is no whole number of bars long does not shift it.

#include <optional>
#include <vector>

#include "platform/tempo/Onsets.h"

namespace qdl::tempo {

inline constexpr int kBeatsPerBar = 4;

struct BeatGrid {
  double firstBeat = 0;  // seconds from the song's start to a downbeat, within its first bar
  double bpm = 0;        // one beat every 60 / bpm seconds; 0: the song has no grid
  bool valid() const { return bpm > 0; }
};

// The grid of a song of tempo `bpm` (the analysis's exact tempo) from the
// tracker's beats over the whole song (seconds), and from the song's onset
// envelopes when given (the same song; the bar's "one" then comes from the
// drums). No grid for a tempo of 0 or fewer than eight beats.
BeatGrid findBeatGrid(double bpm, const std::vector<double>& beats, const Onsets* onsets = nullptr);

// `measured` doubled or halved to the octave nearest `wanted`; nullopt when
// that still differs from `wanted` by more than `tolerance` (a share: 0.03
// is 3 %), or either is not above 0.
std::optional<double> foldTempo(double measured, double wanted, double tolerance = 0.03);

// The same downbeats at another octave of the tempo: `bpm` is the new
// tempo, the first downbeat is brought into the new tempo's first bar.
BeatGrid withTempo(const BeatGrid& grid, double bpm);

}  // namespace qdl::tempo
