// Deck transport: load, cue, play and pause, seek with loop preview, time
// display and the end of the song.

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <exception>
#include <memory>
#include <optional>

#include "audio/Dsutil.h"
#include "decks/Deck.h"
#include "lang/Sprache.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"

namespace qdl::decks {
namespace {

void setState(DeckRefs& d, const QString& word) { d.status->setPanelText(0, word); }

const QString kStartZeit = QStringLiteral("StartZeit");

// A cue point of this session that the song table could not store.
std::optional<int> unstoredCue(const Shared& s, qint64 key) {
  if (!s.unstoredCues) return std::nullopt;
  const auto it = s.unstoredCues->constFind(key);
  return it == s.unstoredCues->cend() ? std::nullopt : std::optional<int>(*it);
}

// The cue point of the song table's current record (the one being loaded);
// 0 when it has none.
int currentStartZeit(const Shared& s) {
  const QVariant key = s.songs->fieldByName(QStringLiteral("Index"));
  if (key.isValid())
    if (const std::optional<int> cue = unstoredCue(s, key.toLongLong())) return *cue;
  const QVariant v = s.songs->fieldByName(kStartZeit);
  return v.isNull() ? 0 : v.toInt();
}

// Stores `position` as the cue point of the song the deck was loaded from
// (a record deleted since takes nothing). A song table that cannot take it
// keeps it for this session; the text to show then, empty when there is
// none (a read-only library is mentioned once).
QString storeCuePoint(const DeckRefs& d, const Shared& s, int position) {
  if (d.song < 0) return {};
  QString problem;
  try {
    s.songs->setStoredValue(d.song, kStartZeit, position);
    if (s.unstoredCues) s.unstoredCues->remove(d.song);
    return {};
  } catch (const db::ReadOnlyError&) {
    if (!s.readOnlyTold || !*s.readOnlyTold)
      problem = FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt;
    if (s.readOnlyTold) *s.readOnlyTold = true;
  } catch (const db::DbError& e) {
    problem = e.message();
  }
  if (s.unstoredCues) s.unstoredCues->insert(d.song, position);
  return problem;
}

bool elapsed(const DeckRefs& d) { return d.timeMode == 1; }

// The time display of the seek bar's position (which also keeps the
// player's near-end flag current). A text already shown is not set again:
// the display repaints only when its text changes.
void showTime(DeckRefs& d) {
  const QString text = d.player->FormatTime(d.seek->value(), elapsed(d));
  if (d.time->text() != text) d.time->setText(text);
}

LoadResult refuse(const Shared& s, QString* why, LoadResult result, const QString& text) {
  if (why)
    *why = text;
  else
    ui::showMessage(s.window, text, FormSprache->Meldung.sAchtung);
  return result;
}

}  // namespace

QString state(const DeckRefs& d) { return d.status->panelText(0); }

int LoadedCuePoint(const DeckRefs& d, const Shared& s) {
  if (d.song < 0) return 0;
  const std::optional<QVariant> v = s.songs->storedValue(d.song, kStartZeit);
  if (!v) return 0;  // the record is gone
  if (const std::optional<int> cue = unstoredCue(s, d.song)) return *cue;
  return v->isValid() ? v->toInt() : 0;
}

LoadResult Load(DeckRefs& d, const Shared& s, QString* why) {
  const QString st = state(d);
  if (st == kPlaying || st == kSeeking) return LoadResult::Busy;
  d.timer->stop();

  const QString fileName = s.songs->asString(QStringLiteral("DateiName"));
  const QVariant key = s.songs->fieldByName(QStringLiteral("Index"));
  if (fileName.isEmpty() || !QFileInfo(fileName).isFile())
    return refuse(s, why, LoadResult::FileMissing, FormSprache->Meldung.sDateiFehlt);
  if (!d.mainDevice || !d.mainDevice->DirectSound)
    return refuse(s, why, LoadResult::NoDevice, FormSprache->Meldung.sKeinGeraet);

  // The new player is made before the old one goes, so a file that cannot
  // be played leaves the deck with its song, player and state.
  std::unique_ptr<TStreamPlayer> player;
  try {
    player = std::make_unique<TStreamPlayer>(
        d.mainDevice->DirectSound.get(), d.headDevice ? d.headDevice->DirectSound.get() : nullptr,
        fileName);
  } catch (const std::exception& e) {
    return refuse(
        s, why, LoadResult::Unplayable,
        FormSprache->Meldung.sDateiDefekt + QLatin1Char('\n') + QString::fromUtf8(e.what()));
  }
  delete d.player;
  d.player = player.release();
  d.song = key.isValid() ? key.toLongLong() : -1;
  const QVariant beats = s.songs->fieldByName(QStringLiteral("Beats"));
  d.beats = beats.isValid() ? beats.toInt() : 0;

  d.seek->setMaximum(d.player->Source->Duration);
  d.seek->setValue(0);
  if (s.autoCue->isChecked()) d.seek->setValue(currentStartZeit(s));
  d.player->SetPosition(d.seek->value());
  setState(d, kLoaded);
  d.status->setPanelText(1, s.songs->asString(QStringLiteral("Interpret")) + QStringLiteral(" - ") +
                                s.songs->asString(QStringLiteral("Titel")));
  // A bar (or the crossfader) that holds the deck silent keeps the new song
  // silent too.
  d.player->SetVolume(BarVolume(d.volume));
  d.player->SetHeadVolume(d.headCue == 1 ? BarVolume(s.headVolume) : -10000);
  d.cue->setFramed(true);
  d.play->setFramed(false);
  showTime(d);
  PitchChange(d);
  return LoadResult::Loaded;
}

void CueMouseDown(DeckRefs& d, const Shared& s) {
  if (!d.player) return;
  const QString st = state(d);
  // The cue point is read before anything changes: a song table that cannot
  // be read leaves the deck playing as it was.
  const int cue = st == kSeeking || st == kCued ? 0 : LoadedCuePoint(d, s);
  d.timer->stop();
  if (st == kCued) return;
  d.player->Stop();
  // The sought position becomes the cue point of the loaded song. Whether
  // or not the table takes it, the deck is cued there; a refusal is told
  // once the deck stands.
  const QString problem = st == kSeeking ? storeCuePoint(d, s, d.seek->value()) : QString();
  if (st != kSeeking) d.seek->setValue(cue);
  d.player->SetPosition(d.seek->value());
  setState(d, kCued);
  d.cue->setFramed(true);
  d.play->setFramed(false);
  if (!problem.isEmpty()) ui::showMessage(s.window, problem, FormSprache->Meldung.sAchtung);
}

void PlayMouseDown(DeckRefs& d) {
  if (!d.player) return;
  if (state(d) == kPlaying) {
    d.player->Stop();
    setState(d, kPaused);
    d.play->setFramed(false);
    return;  // the timer keeps running while paused
  }
  // The seek preview loops the ring without refilling it, so its cursor may
  // stand in sound already played, out of step with the next refill: the
  // deck plays on from the seek bar's position with the ring full.
  if (state(d) == kSeeking) d.player->SetPosition(d.seek->value());
  d.player->Play();
  d.timer->start();
  setState(d, kPlaying);
  d.play->setFramed(true);
  d.cue->setFramed(false);
}

void SeekScroll(DeckRefs& d, ui::ScrollCode code) {
  if (!d.player) return;
  // Only the first scroll action of a seek decides about the output: a
  // drag sends many, and the later ones must not start a deck that was
  // paused (seeking from "paused" stays silent).
  if (state(d) != kSeeking) {
    if (d.timer->isActive())
      d.timer->stop();  // playing goes on looping, paused stays silent
    else
      d.player->Play();        // the loop preview starts
    d.player->PauseRefills();  // the preview repeats the ring as it stands
  }
  setState(d, kSeeking);
  d.cue->setFramed(false);
  d.play->setFramed(false);
  if (code == ui::ScrollCode::EndScroll) d.player->SetPosition(d.seek->value());
}

void SeekChange(DeckRefs& d) {
  if (!d.player) return;
  showTime(d);
}

void TimeClick(DeckRefs& d) {
  if (!d.player) return;
  d.timeMode = d.timeMode == 1 ? 0 : 1;
  showTime(d);
}

void TimerTick(DeckRefs& d, const Shared& s) {
  if (!d.player) return;
  // A card pulled out mid-set: the deck would run on in silence.
  if (s.cardLost)
    for (TSoundDevice* device : {d.mainDevice, d.headDevice})
      if (device && device->DirectSound && device->DirectSound->isLost())
        s.cardLost(device->DirectSound->description());
  d.seek->setValue(d.player->Update());
  if (d.player->EndCount < 3) return;
  d.timer->stop();
  d.player->Stop();
  // The song always ends: a song table that cannot be read leaves the deck
  // at 0, loadable, and says why afterwards.
  int cue = 0;
  if (s.autoCue->isChecked()) {
    try {
      cue = LoadedCuePoint(d, s);
    } catch (const std::exception& e) {
      if (s.showErrorLater) s.showErrorLater(QString::fromUtf8(e.what()));
    }
  }
  d.seek->setValue(cue);
  d.player->EndCount = 0;
  d.player->SetPosition(d.seek->value());
  setState(d, kEnded);
  d.cue->setFramed(true);
  d.play->setFramed(false);
}

}  // namespace qdl::decks
