// The deck and mixer models: values, their ranges and change signals.

#include "decks/DeckModel.h"

#include <algorithm>

#include "audio/Dsutil.h"

namespace qdl::decks {

QString stateWord(DeckState state) {
  switch (state) {
    case DeckState::Empty:
      return {};
    case DeckState::Loaded:
      return QStringLiteral("loaded");
    case DeckState::Cued:
      return QStringLiteral("cued");
    case DeckState::Playing:
      return QStringLiteral("playing");
    case DeckState::Paused:
      return QStringLiteral("paused");
    case DeckState::Seeking:
      return QStringLiteral("seeking");
    case DeckState::Ended:
      return QStringLiteral("ended");
  }
  return {};
}

bool cueLit(DeckState state) {
  return state == DeckState::Loaded || state == DeckState::Cued || state == DeckState::Ended;
}

bool playLit(DeckState state) { return state == DeckState::Playing; }

Deck::Deck(Side side, QObject* parent) : QObject(parent), side_(side) {}

Deck::~Deck() { delete player_; }

QString Deck::sideName() const {
  return side_ == Side::Left ? QStringLiteral("links") : QStringLiteral("rechts");
}

void Deck::setState(DeckState state) {
  if (state_ == state) return;
  state_ = state;
  emit stateChanged(state);
}

void Deck::setPlayer(TStreamPlayer* player) {
  if (player_ == player) return;
  delete player_;
  player_ = player;
  if (player_) player_->SetKeyLock(keyLock_);
  emit playerChanged();
  noticeNearEnd();
}

void Deck::deletePlayer() { setPlayer(nullptr); }

void Deck::setKeyLock(bool on) {
  if (keyLock_ == on) return;
  keyLock_ = on;
  if (player_) player_->SetKeyLock(on);
  emit keyLockChanged(on);
}

bool Deck::nearEnd() const { return player_ && player_->NearEnd == 1; }

void Deck::noticeNearEnd() {
  const bool now = nearEnd();
  if (now == nearEndSeen_) return;
  nearEndSeen_ = now;
  emit nearEndChanged(now);
}

void Deck::clearNearEnd() {
  if (player_) player_->NearEnd = 0;
  noticeNearEnd();
}

void Deck::setCuePoint(int cue) {
  if (cuePoint_ == cue) return;
  cuePoint_ = cue;
  emit cuePointChanged(cue);
}

void Deck::setPosition(int position) {
  position = std::clamp(position, 0, length_);
  if (position_ == position) return;
  position_ = position;
  emit positionChanged(position);
}

void Deck::setLength(int length) {
  length = std::max(0, length);
  if (length_ == length) return;
  length_ = length;
  emit lengthChanged(length);
  setPosition(position_);
}

void Deck::setPitch(int pitch) {
  pitch = std::clamp(pitch, kPitchMin, kPitchMax);
  if (pitch_ == pitch) return;
  pitch_ = pitch;
  emit pitchChanged(pitch);
}

void Deck::setVolume(int volume) {
  volume = std::clamp(volume, kVolumeMin, kVolumeMax);
  if (volume_ == volume) return;
  volume_ = volume;
  emit volumeChanged(volume);
}

void Deck::setHeadCue(int on) {
  on = on == 1 ? 1 : 0;
  if (headCue_ == on) return;
  headCue_ = on;
  emit headCueChanged(on == 1);
}

void Deck::setTimeMode(int mode) {
  mode = mode == 1 ? 1 : 0;
  if (timeMode_ == mode) return;
  timeMode_ = mode;
  emit timeModeChanged(mode);
}

void Deck::setTimeText(const QString& text) {
  if (timeText_ == text) return;
  timeText_ = text;
  emit timeTextChanged(text);
}

void Deck::setPitchText(const QString& text) {
  if (pitchText_ == text) return;
  pitchText_ = text;
  emit pitchTextChanged(text);
}

void Deck::setTempoText(const QString& text) {
  if (tempoText_ == text) return;
  tempoText_ = text;
  emit tempoTextChanged(text);
}

void Deck::setSongText(const QString& text) {
  if (songText_ == text) return;
  songText_ = text;
  emit songTextChanged(text);
}

void Mixer::setCrossfader(int position) {
  position = std::clamp(position, kCrossfaderMin, kCrossfaderMax);
  if (crossfader_ == position) return;
  previousCrossfader_ = crossfader_;
  crossfader_ = position;
  emit crossfaderChanged(position);
}

void Mixer::setHeadVolume(int volume) {
  volume = std::clamp(volume, kHeadVolumeMin, kHeadVolumeMax);
  if (headVolume_ == volume) return;
  headVolume_ = volume;
  emit headVolumeChanged(volume);
}

void Mixer::setAutoCue(bool on) {
  if (autoCue_ == on) return;
  autoCue_ = on;
  emit autoCueChanged(on);
}

void Mixer::setAutoPlay(bool on) {
  if (autoPlay_ == on) return;
  autoPlay_ = on;
  emit autoPlayChanged(on);
}

}  // namespace qdl::decks
