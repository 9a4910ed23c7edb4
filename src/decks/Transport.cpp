// Deck transport: load, cue, play and pause, seek with loop preview, time
// display and the end of the song.

#include <QFileInfo>
#include <QTimer>
#include <exception>
#include <memory>
#include <optional>

#include "audio/Dsutil.h"
#include "decks/AutoGain.h"
#include "decks/Deck.h"
#include "decks/Sync.h"
#include "lang/Sprache.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"

namespace qdl::decks {
namespace {

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
  const qint64 song = d.deck.song();
  if (song < 0) return {};
  QString problem;
  try {
    s.songs->setStoredValue(song, kStartZeit, position);
    if (s.unstoredCues) s.unstoredCues->remove(song);
    return {};
  } catch (const db::ReadOnlyError&) {
    if (!s.readOnlyTold || !*s.readOnlyTold)
      problem = FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt;
    if (s.readOnlyTold) *s.readOnlyTold = true;
  } catch (const db::DbError& e) {
    problem = e.message();
  }
  if (s.unstoredCues) s.unstoredCues->insert(song, position);
  return problem;
}

bool elapsed(const DeckRefs& d) { return d.deck.timeMode() == 1; }

// The time display of the deck's position (which also keeps the player's
// near-end flag current). A text already shown is not set again: the
// display repaints only when its text changes.
void showTime(DeckRefs& d) {
  d.deck.setTimeText(d.deck.player()->FormatTime(d.deck.position(), elapsed(d)));
  d.deck.noticeNearEnd();
}

// Tells a refusal: in a message box, or only into `why` when it is given.
void tell(const Shared& s, QString* why, const QString& text) {
  if (why)
    *why = text;
  else
    ui::showMessage(s.window, text, FormSprache->Meldung.sAchtung);
}

LoadResult refuse(const Shared& s, QString* why, LoadResult result, const QString& text) {
  tell(s, why, text);
  return result;
}

}  // namespace

DeckState state(const DeckRefs& d) { return d.deck.state(); }

int LoadedCuePoint(const DeckRefs& d, const Shared& s) {
  const qint64 song = d.deck.song();
  if (song < 0) return 0;
  const std::optional<QVariant> v = s.songs->storedValue(song, kStartZeit);
  if (!v) return 0;  // the record is gone
  if (const std::optional<int> cue = unstoredCue(s, song)) return *cue;
  return v->isValid() ? v->toInt() : 0;
}

LoadResult Load(DeckRefs& d, const Shared& s, QString* why) {
  const DeckState st = state(d);
  if (st == DeckState::Playing || st == DeckState::Seeking) return LoadResult::Busy;
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
  Deck& deck = d.deck;
  deck.setPlayer(player.release());
  deck.setSong(key.isValid() ? key.toLongLong() : -1);
  const QVariant beats = s.songs->fieldByName(QStringLiteral("Beats"));
  deck.setBeats(beats.isValid() ? beats.toInt() : 0);
  deck.clearSync();
  std::optional<db::Table::BeatGrid> grid;
  try {
    if (deck.song() >= 0) grid = s.songs->beatGrid(deck.song());
  } catch (const db::DbError&) {
    // A grid that cannot be read is as none: the song plays, Sync says why.
  }
  deck.setGrid(grid && grid->bpm > 0 ? grid : std::nullopt);
  const int cue = currentStartZeit(s);
  deck.setCuePoint(cue);

  deck.setLength(deck.player()->Source->Duration);
  deck.setPosition(0);
  if (s.mixer->autoCue()) deck.setPosition(cue);
  deck.player()->SetPosition(deck.position());
  deck.setState(DeckState::Loaded);
  deck.setSongText(s.songs->asString(QStringLiteral("Interpret")) + QStringLiteral(" - ") +
                   s.songs->asString(QStringLiteral("Titel")));
  // A bar (or the crossfader) that holds the deck silent keeps the new song
  // silent too.
  deck.player()->SetVolume(BarVolume(deck.volume()));
  deck.player()->SetHeadVolume(deck.headCue() == 1 ? BarVolume(s.mixer->headVolume()) : -10000);
  ApplyAutoGain(d, s);
  showTime(d);
  PitchChange(d);
  return LoadResult::Loaded;
}

void CueMouseDown(DeckRefs& d, const Shared& s, QString* why) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  const DeckState st = state(d);
  const bool seeking = st == DeckState::Seeking;
  // The cue point is read before anything changes: a song table that cannot
  // be read leaves the deck playing as it was.
  const int cue = seeking || st == DeckState::Cued ? 0 : LoadedCuePoint(d, s);
  d.timer->stop();
  if (st == DeckState::Cued) return;
  deck.player()->Stop();
  // The sought position becomes the cue point of the loaded song. Whether
  // or not the table takes it, the deck is cued there; a refusal is told
  // once the deck stands.
  const QString problem = seeking ? storeCuePoint(d, s, deck.position()) : QString();
  if (!seeking) deck.setPosition(cue);
  deck.setCuePoint(deck.position());
  deck.player()->SetPosition(deck.position());
  deck.setState(DeckState::Cued);
  if (!problem.isEmpty()) tell(s, why, problem);
}

void PlayMouseDown(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  if (state(d) == DeckState::Playing) {
    deck.player()->Stop();
    deck.setState(DeckState::Paused);
    return;  // the timer keeps running while paused
  }
  // The seek preview loops the ring without refilling it, so its cursor may
  // stand in sound already played, out of step with the next refill: the
  // deck plays on from the seek bar's position with the ring full.
  if (state(d) == DeckState::Seeking) deck.player()->SetPosition(deck.position());
  deck.player()->Play();
  d.timer->start();
  deck.setState(DeckState::Playing);
}

void SeekScroll(DeckRefs& d, ui::ScrollCode code) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  // Only the first scroll action of a seek decides about the output: a
  // drag sends many, and the later ones must not start a deck that was
  // paused (seeking from "paused" stays silent).
  if (state(d) != DeckState::Seeking) {
    if (d.timer->isActive())
      d.timer->stop();  // playing goes on looping, paused stays silent
    else
      deck.player()->Play();        // the loop preview starts
    deck.player()->PauseRefills();  // the preview repeats the ring as it stands
  }
  deck.setState(DeckState::Seeking);
  if (code == ui::ScrollCode::EndScroll) deck.player()->SetPosition(deck.position());
}

void SeekChange(DeckRefs& d) {
  if (!d.deck.player()) return;
  showTime(d);
}

void TimeClick(DeckRefs& d) {
  if (!d.deck.player()) return;
  d.deck.setTimeMode(d.deck.timeMode() == 1 ? 0 : 1);
  showTime(d);
}

void TimerTick(DeckRefs& d, const Shared& s) {
  Deck& deck = d.deck;
  if (!deck.player()) return;
  // A card pulled out mid-set: the deck would run on in silence.
  if (s.cardLost)
    for (TSoundDevice* device : {d.mainDevice, d.headDevice})
      if (device && device->DirectSound && device->DirectSound->isLost())
        s.cardLost(device->DirectSound->description());
  deck.setPosition(deck.player()->Update());
  GlideStep(d);
  if (deck.player()->EndCount < 3) return;
  d.timer->stop();
  deck.player()->Stop();
  // The song always ends: a song table that cannot be read leaves the deck
  // at 0, loadable, and says why afterwards.
  int cue = 0;
  if (s.mixer->autoCue()) {
    try {
      cue = LoadedCuePoint(d, s);
    } catch (const std::exception& e) {
      if (s.showErrorLater) s.showErrorLater(QString::fromUtf8(e.what()));
    }
  }
  deck.setPosition(cue);
  deck.player()->EndCount = 0;
  deck.player()->SetPosition(deck.position());
  deck.setState(DeckState::Ended);
}

}  // namespace qdl::decks
