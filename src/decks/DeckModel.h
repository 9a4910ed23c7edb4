#pragma once
// The model of one deck and of the mixer controls both decks share.
//
// A Deck holds everything a deck is: its state, its player, its position
// and length, pitch, volume, headphone cue, time mode, the record it was
// loaded from and the texts its displays show. The window's controls are
// views of it (DeckPanel binds them): a control the user moves writes the
// model, and each change of the model is sent to its controls through the
// signals below. The deck code of src/decks reads and writes the model only.
//
// Every setter that changes nothing emits nothing, so a control and the
// model that update each other settle after one round.
//
// Units: positions and lengths in hundredths of a second; volumes as bar
// positions (0 full level .. 3000 silent); pitch in tenths of a percent.
// Everything runs on the UI thread.

#include <QObject>
#include <QString>
#include <optional>

#include "platform/db/Table.h"

class TStreamPlayer;

namespace qdl::decks {

// The state of a deck. The status bar shows it as its word.
enum class DeckState { Empty, Loaded, Cued, Playing, Paused, Seeking, Ended };

// The word a state shows: "loaded", "cued", "playing", "paused", "seeking",
// "ended", and empty before the first load. These words are not translated.
QString stateWord(DeckState state);
// Whether the cue button is lit (framed) in a state: after a load, when cued
// and when the song has ended.
bool cueLit(DeckState state);
// Whether the play button is lit: while playing.
bool playLit(DeckState state);

class Deck : public QObject {
  Q_OBJECT
 public:
  enum class Side { Left, Right };

  // Ranges of the deck's values.
  static constexpr int kPitchMin = -200, kPitchMax = 200;
  static constexpr int kVolumeMin = 0, kVolumeMax = 3000;

  explicit Deck(Side side, QObject* parent = nullptr);
  // Deletes the player.
  ~Deck() override;

  Side side() const { return side_; }
  // "links" or "rechts": the first part of the deck's action names.
  QString sideName() const;

  DeckState state() const { return state_; }
  void setState(DeckState state);

  // The player (owned), none before the first load. A new one replaces
  // (deletes) the old one.
  TStreamPlayer* player() const { return player_; }
  void setPlayer(TStreamPlayer* player);
  void deletePlayer();
  // The player field as the console names it (PlayerLinks, PlayerRechts).
  TStreamPlayer* const& playerField() const { return player_; }
  // The player's near-end flag: its song has less than seven seconds left
  // from the displayed position. False without a player. The player sets
  // it when it formats the time; noticeNearEnd() sends its change.
  bool nearEnd() const;
  void noticeNearEnd();
  void clearNearEnd();

  // The position (0 .. length), set beyond its ends it is clamped to them.
  int position() const { return position_; }
  void setPosition(int position);
  // The loaded song's length; the position follows a shorter one.
  int length() const { return length_; }
  void setLength(int length);

  // Pitch, clamped to kPitchMin .. kPitchMax.
  int pitch() const { return pitch_; }
  void setPitch(int pitch);

  // Volume as the bar's position, clamped to kVolumeMin .. kVolumeMax.
  int volume() const { return volume_; }
  void setVolume(int volume);

  // Headphone cue: 1 on, 0 off.
  int headCue() const { return headCue_; }
  const int& headCueField() const { return headCue_; }
  void setHeadCue(int on);

  // Key lock: while on, the pitch changes the tempo but not the key. Kept
  // with the deck across loads; its player is told at once (its feeder
  // reads it through an atomic of the player's own).
  bool keyLock() const { return keyLock_; }
  void setKeyLock(bool on);

  // Time mode: 1 elapsed, 0 remaining.
  int timeMode() const { return timeMode_; }
  const int& timeModeField() const { return timeMode_; }
  void setTimeMode(int mode);

  // The song table's key (field Index) of the record the deck was loaded
  // from, -1 before the first load; Beats of that record (0 none); and the
  // cue point last read or stored for it.
  qint64 song() const { return song_; }
  const qint64& songField() const { return song_; }
  void setSong(qint64 key) { song_ = key; }
  int beats() const { return beats_; }
  void setBeats(int beats) { beats_ = beats; }
  int cuePoint() const { return cuePoint_; }
  void setCuePoint(int cue);

  // The beat grid of the loaded song (read from the library at load), none
  // when the song has not been analysed for one.
  const std::optional<db::Table::BeatGrid>& grid() const { return grid_; }
  void setGrid(const std::optional<db::Table::BeatGrid>& grid) { grid_ = grid; }

  // A playback frequency finer than the pitch bar's steps, set by Sync or
  // by autoplay on the beat: the deck plays at `hz` while the bar stands at
  // `step`; a move of the bar away from `step` returns the deck to the bar.
  // 0 when the deck plays at the bar's pitch.
  int syncFrequency() const { return syncFrequency_; }
  int syncStep() const { return syncStep_; }
  void setSync(int hz, int step) {
    syncFrequency_ = hz;
    syncStep_ = step;
  }
  // Also ends a glide (below).
  void clearSync() {
    syncFrequency_ = 0;
    beatLeader_ = nullptr;
    glideStart_ = -1;
  }
  // Autoplay on the beat: the deck this one was started in time with.
  // Once that deck stops playing, the synced frequency glides back to the
  // bar's over 16 beats, counted from glideStart (a position, -1 before)
  // and starting from glideFrequency.
  const Deck* beatLeader() const { return beatLeader_; }
  void setBeatLeader(const Deck* leader) {
    beatLeader_ = leader;
    glideStart_ = -1;
  }
  int glideStart() const { return glideStart_; }
  int glideFrequency() const { return glideFrequency_; }
  void setGlideStart(int position, int hz) {
    glideStart_ = position;
    glideFrequency_ = hz;
  }

  // What the displays show: the time, the pitch ("0 %" until the first
  // pitch change with a song), the playing tempo, and the loaded song
  // ("Interpret - Titel").
  QString timeText() const { return timeText_; }
  void setTimeText(const QString& text);
  QString pitchText() const { return pitchText_; }
  void setPitchText(const QString& text);
  QString tempoText() const { return tempoText_; }
  void setTempoText(const QString& text);
  // The auto-gain applied to the loaded song ("-3.5 dB"); empty when none.
  QString gainText() const { return gainText_; }
  void setGainText(const QString& text);
  QString songText() const { return songText_; }
  void setSongText(const QString& text);

 signals:
  void stateChanged(qdl::decks::DeckState state);
  void playerChanged();
  void nearEndChanged(bool nearEnd);
  void cuePointChanged(int cue);
  void positionChanged(int position);
  void lengthChanged(int length);
  void pitchChanged(int pitch);
  void volumeChanged(int volume);
  void headCueChanged(bool on);
  void keyLockChanged(bool on);
  void timeModeChanged(int mode);
  void timeTextChanged(const QString& text);
  void pitchTextChanged(const QString& text);
  void tempoTextChanged(const QString& text);
  void gainTextChanged(const QString& text);
  void songTextChanged(const QString& text);

 private:
  Side side_;
  DeckState state_ = DeckState::Empty;
  TStreamPlayer* player_ = nullptr;
  bool nearEndSeen_ = false;
  int position_ = 0;
  int length_ = 0;
  int pitch_ = 0;
  int volume_ = 0;
  int headCue_ = 0;
  bool keyLock_ = false;
  int timeMode_ = 1;
  qint64 song_ = -1;
  int beats_ = 0;
  int cuePoint_ = 0;
  std::optional<db::Table::BeatGrid> grid_;
  int syncFrequency_ = 0;
  int syncStep_ = 0;
  const Deck* beatLeader_ = nullptr;
  int glideStart_ = -1;
  int glideFrequency_ = 0;
  QString timeText_ = QStringLiteral("00:00:00:00");
  QString pitchText_ = QStringLiteral("0 %");
  QString tempoText_;
  QString gainText_;
  QString songText_;
};

// The controls both decks share: the crossfader, the headphone volume and
// the autocue and autoplay switches.
class Mixer : public QObject {
  Q_OBJECT
 public:
  static constexpr int kCrossfaderMin = -3000, kCrossfaderMax = 3000;
  static constexpr int kHeadVolumeMin = 0, kHeadVolumeMax = 3000;

  explicit Mixer(QObject* parent = nullptr) : QObject(parent) {}

  // The crossfader (-3000 left end .. 3000 right end, clamped) and where it
  // stood before its last change: its move decides which volume follows.
  int crossfader() const { return crossfader_; }
  int previousCrossfader() const { return previousCrossfader_; }
  void setCrossfader(int position);
  // The headphone volume as its bar's position (0 .. 3000, clamped).
  int headVolume() const { return headVolume_; }
  void setHeadVolume(int volume);
  bool autoCue() const { return autoCue_; }
  void setAutoCue(bool on);
  bool autoPlay() const { return autoPlay_; }
  void setAutoPlay(bool on);
  // Auto-gain: each loaded song played at the reference loudness (LUFS).
  bool autoGain() const { return autoGain_; }
  void setAutoGain(bool on);
  double referenceLoudness() const { return referenceLoudness_; }
  void setReferenceLoudness(double lufs);
  // Autoplay on the beat: hand-overs between songs with beat grids start
  // the next song in time with the last (on unless qdl.ini says otherwise).
  bool beatAutoPlay() const { return beatAutoPlay_; }
  void setBeatAutoPlay(bool on) {
    if (beatAutoPlay_ == on) return;
    beatAutoPlay_ = on;
    emit beatAutoPlayChanged(on);
  }

 signals:
  void crossfaderChanged(int position);
  void headVolumeChanged(int volume);
  void autoCueChanged(bool on);
  void autoPlayChanged(bool on);
  void autoGainChanged(bool on);
  void referenceLoudnessChanged(double lufs);
  void beatAutoPlayChanged(bool on);

 private:
  int crossfader_ = 0;
  int previousCrossfader_ = 0;
  int headVolume_ = 0;
  bool autoCue_ = false;
  bool autoPlay_ = false;
  bool autoGain_ = false;
  double referenceLoudness_ = -14.0;
  bool beatAutoPlay_ = true;
};

}  // namespace qdl::decks
