// The console's named actions: each calls the same deck and mixer code as
// the window's mouse handlers, which run these actions (MainformDecks.cpp).
// The table and its states are documented in the README ("Actions").

#include <QLineEdit>
#include <algorithm>
#include <functional>

#include "app/Mainform.h"
#include "app/RecordControl.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/Deck.h"
#include "decks/DeckModel.h"
#include "decks/Sync.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::control::ActionResult;
using qdl::decks::Deck;
using qdl::decks::DeckRefs;
using qdl::decks::DeckState;
using qdl::decks::Mixer;

ActionResult told(const QString& why) {
  return why.isEmpty() ? ActionResult::done() : ActionResult::refused(why);
}

// One step of a bar: the bar's small step for the pitch, its large step for
// volumes and the crossfader. A step past the bar's end is ignored.
constexpr int kPitchStep = 1;     // 0.1 %
constexpr int kVolumeStep = 100;  // 1 dB
constexpr int kFaderStep = 100;

ActionResult step(int now, int by, int minimum, int maximum, const std::function<void(int)>& set) {
  const int to = std::clamp(now + by, minimum, maximum);
  if (to == now) return ActionResult::ignored();
  set(to);
  return ActionResult::done();
}

}  // namespace

void TFormQuandrel::buildActions() {
  qdl::control::Actions& a = *actions;
  for (Deck* deck : {DeckLinks, DeckRechts}) {
    const bool left = deck == DeckLinks;
    const QString side = deck->sideName();
    auto name = [side](const char* what) { return side + QLatin1Char('.') + QLatin1String(what); };
    auto refs = [this, left] { return left ? deckLinks() : deckRechts(); };
    // Without a song a deck ignores its transport, pitch and cue buttons,
    // as the window's buttons always did.
    auto ignoredWithoutSong = [deck] { return !deck->player(); };

    a.addPress(name("load"), QStringLiteral("load the song selected in the grid"), [this, refs] {
      auto d = refs();
      QString why;
      const auto result = qdl::decks::Load(d, shared(), &why);
      if (result == qdl::decks::LoadResult::Busy) return ActionResult::ignored();
      return told(why);
    });
    a.addPress(
        name("cue"), QStringLiteral("return to the cue point; while seeking, store it there"),
        [this, refs, ignoredWithoutSong] {
          if (ignoredWithoutSong()) return ActionResult::ignored();
          auto d = refs();
          QString why;
          qdl::decks::CueMouseDown(d, shared(), &why);
          return told(why);
        },
        [deck] { return int(qdl::decks::cueLit(deck->state())); });
    a.addPress(
        name("play"), QStringLiteral("play, or pause while playing"),
        [refs, ignoredWithoutSong] {
          if (ignoredWithoutSong()) return ActionResult::ignored();
          auto d = refs();
          qdl::decks::PlayMouseDown(d);
          return ActionResult::done();
        },
        [deck] { return int(qdl::decks::playLit(deck->state())); });
    a.addValue(
        name("seek"),
        QStringLiteral("seek to a position and let go (the seek preview), hundredths of a second"),
        0, 0,
        [refs, deck, ignoredWithoutSong](int position) {
          if (ignoredWithoutSong()) return ActionResult::ignored();
          auto d = refs();
          deck->setPosition(position);
          qdl::decks::SeekScroll(d, qdl::ui::ScrollCode::EndScroll);
          return ActionResult::done();
        },
        [deck] { return deck->position(); }, [deck] { return deck->length(); });
    a.addPress(
        name("time"), QStringLiteral("switch the time display between elapsed and remaining"),
        [refs, ignoredWithoutSong] {
          if (ignoredWithoutSong()) return ActionResult::ignored();
          auto d = refs();
          qdl::decks::TimeClick(d);
          return ActionResult::done();
        },
        [deck] { return deck->timeMode(); });
    a.addValue(
        name("pitch"), QStringLiteral("pitch, tenths of a percent"), Deck::kPitchMin,
        Deck::kPitchMax,
        [deck](int pitch) {
          deck->setPitch(pitch);
          return ActionResult::done();
        },
        [deck] { return deck->pitch(); });
    for (const int offset : {+100, -100}) {
      a.addPressRelease(
          name(offset > 0 ? "pitch.up" : "pitch.down"),
          offset > 0 ? QStringLiteral("bend 10 % faster while held")
                     : QStringLiteral("bend 10 % slower while held"),
          [refs, offset, ignoredWithoutSong] {
            if (ignoredWithoutSong()) return ActionResult::ignored();
            auto d = refs();
            qdl::decks::BendDown(d, offset);
            return ActionResult::done();
          },
          [refs, ignoredWithoutSong] {
            if (ignoredWithoutSong()) return ActionResult::ignored();
            auto d = refs();
            qdl::decks::BendUp(d);
            return ActionResult::done();
          });
    }
    a.addPress(name("pitch.zero"), QStringLiteral("pitch back to 0"), [refs, ignoredWithoutSong] {
      if (ignoredWithoutSong()) return ActionResult::ignored();
      auto d = refs();
      qdl::decks::SpeedZero(d);
      return ActionResult::done();
    });
    for (const int by : {+kPitchStep, -kPitchStep}) {
      a.addPress(name(by > 0 ? "pitch.step.up" : "pitch.step.down"),
                 by > 0 ? QStringLiteral("pitch bar one step (0.1 %) faster")
                        : QStringLiteral("pitch bar one step (0.1 %) slower"),
                 [deck, by] {
                   return step(deck->pitch(), by, Deck::kPitchMin, Deck::kPitchMax,
                               [deck](int p) { deck->setPitch(p); });
                 });
    }
    a.addValue(
        name("volume"), QStringLiteral("volume as the bar stands: 0 full level, 3000 silent"),
        Deck::kVolumeMin, Deck::kVolumeMax,
        [deck](int volume) {
          deck->setVolume(volume);
          return ActionResult::done();
        },
        [deck] { return deck->volume(); });
    // The bar's 0 is full level: louder is a step towards 0.
    for (const int by : {-kVolumeStep, +kVolumeStep}) {
      a.addPress(name(by < 0 ? "volume.up" : "volume.down"),
                 by < 0 ? QStringLiteral("volume bar one step (1 dB) louder")
                        : QStringLiteral("volume bar one step (1 dB) quieter"),
                 [deck, by] {
                   return step(deck->volume(), by, Deck::kVolumeMin, Deck::kVolumeMax,
                               [deck](int v) { deck->setVolume(v); });
                 });
    }
    a.addPress(name("sync"),
               QStringLiteral("take the other deck's tempo and, while both play, its beats"),
               [this, refs, deck, ignoredWithoutSong] {
                 if (ignoredWithoutSong()) return ActionResult::ignored();
                 auto d = refs();
                 const Deck& other = deck == DeckLinks ? *DeckRechts : *DeckLinks;
                 return told(qdl::decks::Sync(d, other));
               });
    a.addPress(
        name("headcue"), QStringLiteral("headphone cue on or off"),
        [this, refs, ignoredWithoutSong] {
          if (ignoredWithoutSong()) return ActionResult::ignored();
          auto d = refs();
          qdl::decks::HeadCueMouseDown(d, shared());
          return ActionResult::done();
        },
        [deck] { return deck->headCue(); });
    // Key lock works with or without a song: a deck keeps it across loads.
    a.addPress(
        name("keylock"),
        QStringLiteral("key lock on or off: the pitch changes the tempo, not the key"),
        [this, deck] {
          deck->setKeyLock(!deck->keyLock());
          storeKeyLock(*deck);
          return ActionResult::done();
        },
        [deck] { return int(deck->keyLock()); });

    // The states sent back follow the deck.
    const auto refresh = [this, name](std::initializer_list<const char*> names) {
      return [this, name, list = QList<const char*>(names)] {
        for (const char* n : list) actions->refresh(name(n));
      };
    };
    connect(deck, &Deck::stateChanged, actions, refresh({"cue", "play"}));
    connect(deck, &Deck::positionChanged, actions, refresh({"seek"}));
    connect(deck, &Deck::timeModeChanged, actions, refresh({"time"}));
    connect(deck, &Deck::pitchChanged, actions, refresh({"pitch"}));
    connect(deck, &Deck::volumeChanged, actions, refresh({"volume"}));
    connect(deck, &Deck::headCueChanged, actions, refresh({"headcue"}));
    connect(deck, &Deck::keyLockChanged, actions, refresh({"keylock"}));
  }

  Mixer* m = mixer;
  auto setFader = [m](int position) {
    return [m, position] {
      m->setCrossfader(position);
      return ActionResult::done();
    };
  };
  a.addValue(
      QStringLiteral("mixer.crossfader"),
      QStringLiteral("crossfader: -3000 left end (right deck silent), 0 centre, 3000 right end"),
      Mixer::kCrossfaderMin, Mixer::kCrossfaderMax,
      [m](int position) {
        m->setCrossfader(position);
        return ActionResult::done();
      },
      [m] { return m->crossfader(); });
  a.addPress(QStringLiteral("mixer.crossfader.links"), QStringLiteral("crossfader to the left end"),
             setFader(Mixer::kCrossfaderMin));
  a.addPress(QStringLiteral("mixer.crossfader.rechts"),
             QStringLiteral("crossfader to the right end"), setFader(Mixer::kCrossfaderMax));
  a.addPressRelease(QStringLiteral("mixer.crossfader.links.hold"),
                    QStringLiteral("crossfader at the left end while held, then the centre"),
                    setFader(Mixer::kCrossfaderMin), setFader(0));
  a.addPressRelease(QStringLiteral("mixer.crossfader.rechts.hold"),
                    QStringLiteral("crossfader at the right end while held, then the centre"),
                    setFader(Mixer::kCrossfaderMax), setFader(0));
  a.addPress(QStringLiteral("mixer.crossfader.zero"), QStringLiteral("crossfader to the centre"),
             setFader(0));
  for (const int by : {-kFaderStep, +kFaderStep}) {
    a.addPress(by < 0 ? QStringLiteral("mixer.crossfader.step.links")
                      : QStringLiteral("mixer.crossfader.step.rechts"),
               by < 0 ? QStringLiteral("crossfader one step (100) to the left")
                      : QStringLiteral("crossfader one step (100) to the right"),
               [m, by] {
                 return step(m->crossfader(), by, Mixer::kCrossfaderMin, Mixer::kCrossfaderMax,
                             [m](int p) { m->setCrossfader(p); });
               });
  }
  a.addValue(
      QStringLiteral("mixer.headvolume"),
      QStringLiteral("headphone volume as the bar stands: 0 full level, 3000 silent"),
      Mixer::kHeadVolumeMin, Mixer::kHeadVolumeMax,
      [m](int volume) {
        m->setHeadVolume(volume);
        return ActionResult::done();
      },
      [m] { return m->headVolume(); });
  for (const int by : {-kVolumeStep, +kVolumeStep}) {
    a.addPress(
        by < 0 ? QStringLiteral("mixer.headvolume.up") : QStringLiteral("mixer.headvolume.down"),
        by < 0 ? QStringLiteral("headphone volume one step (1 dB) louder")
               : QStringLiteral("headphone volume one step (1 dB) quieter"),
        [m, by] {
          return step(m->headVolume(), by, Mixer::kHeadVolumeMin, Mixer::kHeadVolumeMax,
                      [m](int v) { m->setHeadVolume(v); });
        });
  }
  a.addPress(
      QStringLiteral("autocue.toggle"),
      QStringLiteral("autocue on or off: stand at the cue point after a load and at the end"),
      [m] {
        m->setAutoCue(!m->autoCue());
        return ActionResult::done();
      },
      [m] { return int(m->autoCue()); });
  a.addPress(
      QStringLiteral("autoplay.toggle"),
      QStringLiteral("autoplay on or off: hand over to the other deck near a song's end"),
      [m] {
        m->setAutoPlay(!m->autoPlay());
        return ActionResult::done();
      },
      [m] { return int(m->autoPlay()); });
  a.addPress(
      QStringLiteral("autogain.toggle"),
      QStringLiteral("auto-gain on or off: play each song at the reference loudness"),
      [m] {
        m->setAutoGain(!m->autoGain());
        return ActionResult::done();
      },
      [m] { return int(m->autoGain()); });
  a.addPress(
      QStringLiteral("autoplay.beat.toggle"),
      QStringLiteral("autoplay on the beat on or off: start the next song in time with the last"),
      [m] {
        m->setBeatAutoPlay(!m->beatAutoPlay());
        return ActionResult::done();
      },
      [m] { return int(m->beatAutoPlay()); });
  a.addPress(QStringLiteral("playlist.start"),
             QStringLiteral("autoplay on, as \"Start\" in the playlist window"), [m] {
               if (m->autoPlay()) return ActionResult::ignored();
               m->setAutoPlay(true);
               return ActionResult::done();
             });
  a.addPress(
      QStringLiteral("record.toggle"),
      QStringLiteral("record what the room hears, or stop recording (lit while recording)"),
      [this] { return told(recording->toggle()); },
      [this] { return int(recording->isRecording()); });
  connect(recording, &qdl::app::RecordControl::recordingChanged, actions,
          [this] { actions->refresh(QStringLiteral("record.toggle")); });
  a.addPress(QStringLiteral("search.focus"),
             QStringLiteral("into the search box of the grid's order, its text selected"), [this] {
               QLineEdit* box = searchBoxOfOrder();
               box->setFocus(Qt::ShortcutFocusReason);
               box->selectAll();
               return ActionResult::done();
             });
  connect(m, &Mixer::crossfaderChanged, actions,
          [this] { actions->refresh(QStringLiteral("mixer.crossfader")); });
  connect(m, &Mixer::headVolumeChanged, actions,
          [this] { actions->refresh(QStringLiteral("mixer.headvolume")); });
  connect(m, &Mixer::autoCueChanged, actions,
          [this] { actions->refresh(QStringLiteral("autocue.toggle")); });
  connect(m, &Mixer::autoPlayChanged, actions,
          [this] { actions->refresh(QStringLiteral("autoplay.toggle")); });
  connect(m, &Mixer::autoGainChanged, actions,
          [this] { actions->refresh(QStringLiteral("autogain.toggle")); });
  connect(m, &Mixer::beatAutoPlayChanged, actions,
          [this] { actions->refresh(QStringLiteral("autoplay.beat.toggle")); });
}

QLineEdit* TFormQuandrel::searchBoxOfOrder() const {
  const qdl::db::Table* t = DataModule1 ? DataModule1->Table1 : nullptr;
  const QString order = t ? t->indexName() : QString();
  const std::pair<const char*, QLineEdit*> boxes[] = {
      {"iTitel", EditSong}, {"iGenre", EditGenre}, {"iJahr", EditJahr}};
  for (const auto& [index, box] : boxes)
    if (order.compare(QLatin1String(index), Qt::CaseInsensitive) == 0) return box;
  return EditArtist;
}
