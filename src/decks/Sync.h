#pragma once
// Sync: one deck takes the other deck's tempo and, when both play, its
// beats; and autoplay's hand-over on the beat.
//
// The tempo is matched exactly, finer than the pitch bar's 0.1 % steps: the
// deck's player runs at the frequency that makes its song's beat grid play
// at the other deck's tempo (or at half or double that, whichever is
// nearer to 0 % pitch), while the bar and its text show the nearest step.
// A move of the bar returns the deck to the bar's steps; bends work on top
// of the synced frequency (Pitch.cpp).
//
// The beats are matched by moving the deck's position by less than half a
// beat, sample exact, through the player's crossfading position change. A
// deck plays its beats in time with the other's only while both play: Sync
// on a standing deck, or against a standing deck, matches the tempo only
// (the beats of a deck that stands fall nowhere yet); pressing Sync again
// once both play puts the beats together.
//
// Everything runs on the UI thread.

#include <QString>
#include <optional>

#include "decks/Deck.h"

namespace qdl::decks {

// The frequency (Hz) at which a song of `bpm` at `rate` samples a second
// plays at `tempo` BPM, or at half or double `tempo`, whichever needs the
// pitch nearest to 0 %. Whether that frequency lies within the pitch bar's
// range is for the caller to check.
int MatchFrequency(double bpm, int rate, double tempo);

// The frequency the deck's player runs at without a bend: the synced one,
// or the bar's step. 0 without a player.
int BaseFrequency(const Deck& deck);

// The tempo in BPM at which the deck plays its grid (without a bend); none
// without a player or a grid.
std::optional<double> PlayingTempo(const Deck& deck);

// The shift (sample frames of `deck`'s song, positive forward) that puts
// the deck's beats on `other`'s beats, less than half of the shorter of the
// two beats in real time. `deckFrequency` is the frequency the deck plays
// at. Both need a grid and a player.
std::int64_t PhaseShift(const Deck& deck, int deckFrequency, const Deck& other,
                        std::int64_t deckSample, std::int64_t otherSample);

// Sync of the deck `d` to `other`: empty when done, else why nothing was
// done (no song on the other deck, a grid missing, a tempo beyond the bar's
// range). A deck without a song is left alone (empty).
QString Sync(DeckRefs& d, const Deck& other);

// Autoplay on the beat, for the deck `d` just loaded and about to start
// while `outgoing` plays out: when both songs have grids and the tempo fits
// the bar's range, the deck plays at the outgoing song's tempo and its
// position moves (at most one bar from where the load put it, never before
// it) so that its downbeats fall on the outgoing song's downbeats once both
// play. After the outgoing deck stops, GlideStep brings the tempo back to
// the bar's over 16 beats. False (nothing changed) otherwise.
bool StartOnTheBeat(DeckRefs& d, const Deck& outgoing);

// Each deck timer tick: moves a deck started on the beat back to its bar's
// pitch, once the deck it followed has stopped playing, evenly over its next
// 16 beats.
void GlideStep(DeckRefs& d);

}  // namespace qdl::decks
