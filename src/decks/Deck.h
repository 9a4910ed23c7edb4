#pragma once
// One deck of the console: transport, pitch, volume and headphone cue.
//
// The two decks are mirror images. The console's handlers for the left and
// the right deck are one-line calls into the functions below, each given the
// deck's model and what it plays on as a DeckRefs, and what both decks share
// as a Shared.
//
// The deck's state is its model's DeckState (shown as its word in panel 0
// of the deck's status bar): handlers decide by it. They read and write the
// model only; the window's controls are its views (DeckPanel).
//
// Units: positions in hundredths of a second; volumes in hundredths of a
// decibel; pitch in tenths of a percent. Everything runs on the UI thread.

#include <QHash>
#include <QString>
#include <QtGlobal>
#include <functional>

#include "decks/DeckModel.h"

class QTimer;
class QWidget;
class TSoundDevice;
class TStreamPlayer;

namespace qdl::db {
class Table;
}
namespace qdl::ui {
enum class ScrollCode;
}  // namespace qdl::ui

namespace qdl::decks {

// A deck: its model, its timer and the output devices it plays on (the
// console's own slots).
struct DeckRefs {
  Deck& deck;
  QTimer* timer;
  TSoundDevice*& mainDevice;
  TSoundDevice*& headDevice;
};

// What both decks share.
struct Shared {
  QWidget* window;   // parent of message boxes
  db::Table* songs;  // the song table; a load takes its current record
  Mixer* mixer;      // autocue (stand at the cue point after load and end), headphone volume
  // Tells the user once that the sound card with this description stopped
  // playing. Called from a deck's timer: the message must not be shown
  // before the timer handler has returned.
  std::function<void(const QString& card)> cardLost;
  // Shows an error once the handler that met it has returned (a timer's).
  std::function<void(const QString& text)> showErrorLater;
  // Cue points set in this session that the song table could not store (a
  // library that cannot be written), by the record's key: they count over
  // what the table holds until the console closes. May be null.
  QHash<qint64, int>* unstoredCues = nullptr;
  // Whether the user has heard that the library cannot be written.
  bool* readOnlyTold = nullptr;
};

DeckState state(const DeckRefs& d);

// ---- Transport
// What a load did. A deck that is playing or seeking keeps its song (Busy);
// a refused load leaves the deck with its song, player and state.
enum class LoadResult { Loaded, Busy, NoDevice, FileMissing, Unplayable };
// Loads the song table's current record. A refusal is told in a message box,
// or, when `why` is given, only written there: autoplay must never wait for
// a click while the other deck runs out.
LoadResult Load(DeckRefs& d, const Shared& s, QString* why = nullptr);
// Returns to or stores the cue point. A cue point the song table could not
// store is told in a message box after the deck is cued, or, when `why` is
// given, only written there.
void CueMouseDown(DeckRefs& d, const Shared& s, QString* why = nullptr);
void PlayMouseDown(DeckRefs& d);
void SeekScroll(DeckRefs& d, ui::ScrollCode code);
void SeekChange(DeckRefs& d);
void TimeClick(DeckRefs& d);
void TimerTick(DeckRefs& d, const Shared& s);
// The cue point of the record the deck was loaded from: 0 when that record
// is gone or has none; one of this session that could not be stored counts
// first. Throws DbError when the song table cannot be read.
int LoadedCuePoint(const DeckRefs& d, const Shared& s);

// ---- Pitch
void PitchChange(DeckRefs& d);
// A bend lasts from mouse down to mouse up: +100 or -100 on top of the bar.
void BendDown(DeckRefs& d, int offset);
void BendUp(DeckRefs& d);
void SpeedZero(DeckRefs& d);
// The pitch display text of a bar position: its tenth as a number in its
// shortest form with the locale's decimal separator, then "%".
QString PitchText(int position);

// ---- Tempo
// The tempo a song of `beats` BPM plays at with the pitch `pitch` (tenths of
// a percent, a bend included): beats x (1 + pitch / 1000) with one decimal
// and the locale's decimal separator, then " BPM" ("128.0 BPM"); empty for
// a song without Beats (0 or less).
QString TempoText(int beats, int pitch);
// The same for a song played at `ratio` times its speed (a synced deck).
QString ExactTempoText(int beats, double ratio);
// Shows the deck's tempo at the pitch the player plays (bar, or bar and bend).
void ShowTempo(DeckRefs& d, int pitch);
// Reads Beats of the record the deck was loaded from and shows the tempo at
// the bar's pitch; a record deleted since keeps the tempo shown. Throws
// DbError when the song table cannot be read.
void RefreshTempo(DeckRefs& d, const Shared& s);

// ---- Mixer
void VolumeChange(DeckRefs& d);
void HeadCueMouseDown(DeckRefs& d, const Shared& s);
// The headphone volume of a cued deck after the headphone bar moved.
void HeadVolumeChange(DeckRefs& d, const Shared& s);
// The player volume a bar position (0 .. 3000) gives: minus the position,
// and silence at the bar's maximum.
int BarVolume(int position);
// The crossfader moved from `previous` to `position`: towards the right end
// the left deck's volume follows it down, towards the left end the right
// deck's; at the centre both return to 0, and so they do when the move
// crosses the centre without stopping there.
void CrossfaderChange(int previous, int position, Deck& left, Deck& right);

}  // namespace qdl::decks
