// The DJ of the simulated set: one random action every few seconds, some of
// them gestures that last (a seek with its preview, a bend held, a
// crossfader sweep), drawn from the set's seeded generator.

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <array>
#include <iterator>
#include <optional>

#include "app/RecordControl.h"
#include "control/Actions.h"
#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "soak/SoakDeck.h"
#include "soak/SoakShadow.h"

namespace qdl::soak {
namespace {

using ui::ScrollCode;

// Mean time between two actions, in steps of 10 ms.
constexpr int kMeanGap = 250;

struct Kind {
  const char* name;
  double weight;
};

// How often each action comes, relative to the others.
constexpr std::array kKinds{
    Kind{"load", 10},       Kind{"cue", 6},
    Kind{"cue store", 6},   Kind{"seek preview", 6},
    Kind{"play", 8},        Kind{"pitch", 8},
    Kind{"bend", 5},        Kind{"volume", 8},
    Kind{"head volume", 2}, Kind{"fader sweep", 5},
    Kind{"fader jump", 4},  Kind{"head cue", 4},
    Kind{"time mode", 2},   Kind{"search", 3},
    Kind{"playlist", 4},    Kind{"tag edit", 2},
    Kind{"check", 0.4},     Kind{"scan", 0.4},
    Kind{"language", 0.5},  Kind{"autocue", 0.3},
    Kind{"controller", 4},  Kind{"key", 4},
    Kind{"record", 0.3},    Kind{"autogain", 0.3},
    Kind{"sync", 4},        Kind{"beat autoplay", 0.3},
};

}  // namespace

void SoakSet::later(int steps, std::function<void()> what) {
  pending_.emplace(step_ + steps, std::move(what));
}

void SoakSet::act() {
  if (rng_() % kMeanGap != 0) return;
  double total = 0;
  for (const Kind& k : kKinds) total += k.weight;
  double pick = double(rng_()) / 4294967296.0 * total;
  std::size_t i = 0;
  while (i + 1 < kKinds.size() && pick >= kKinds[i].weight) pick -= kKinds[i++].weight;
  const QString kind = QString::fromLatin1(kKinds[i].name);
  count(kind);
  // Mostly the deck that is not on the air, as a DJ works.
  const bool leftOnAir = decks_[0]->state() == QLatin1String("playing");
  const bool rightOnAir = decks_[1]->state() == QLatin1String("playing");
  std::size_t pickDeck = rng_() % 2;
  if (leftOnAir != rightOnAir && rng_() % 4 != 0) pickDeck = leftOnAir ? 1 : 0;
  Deck& d = *decks_[pickDeck];
  TFormQuandrel& f = console();
  switch (i) {
    case 0:
      return pressLoad(d);
    case 1:
      return pressCue(d);
    case 2:
      return storeCue(d);
    case 3:
      return previewSeek(d);
    case 4:
      return pressPlay(d);
    case 5:
      return movePitch(d);
    case 6:
      return bend(d);
    case 7:
      return moveVolume(d);
    case 8:
      f.SBVolume_Head->setValue(int(rng_() % 1500));
      return log(QStringLiteral("head volume %1").arg(f.SBVolume_Head->value()));
    case 9:
      return sweepFader();
    case 10:
      return jumpFader();
    case 11:
      return toggleHeadCue(d);
    case 12:
      d.timeMode();
      return log(QStringLiteral("time mode on the %1 deck").arg(QLatin1String(d.name())));
    case 13: {
      // Types the start of an artist into the artist box, letter by letter.
      const QString artist = songs_[rng_() % songs_.size()].artist;
      f.EditArtistEnter();
      const int letters = 1 + int(rng_() % unsigned(artist.size()));
      for (int n = 1; n <= letters; ++n) f.EditArtist->setText(artist.left(n));
      return log(QStringLiteral("search \"%1\"").arg(f.EditArtist->text()));
    }
    case 14:
      return editPlaylist();
    case 15:
      return editTag();
    case 16:
      return checkLibrary();
    case 17:
      return scanLibrary();
    case 18:
      return switchLanguage();
    case 19:
      f.actions->press(QStringLiteral("autocue.toggle"));
      return log(QStringLiteral("autocue %1").arg(f.cbAutoCue->isChecked() ? "on" : "off"));
    case 20:
      return turnKnob(d);
    case 22:
      return record();
    case 23:
      f.actions->press(QStringLiteral("autogain.toggle"));
      return log(QStringLiteral("autogain %1").arg(f.AutoGain1->isChecked() ? "on" : "off"));
    case 21:
      return pressKey(d);
    case 24: {
      const control::ActionResult r = f.actions->press(
          QLatin1String(d.name()) == QLatin1String("left") ? QStringLiteral("links.sync")
                                                           : QStringLiteral("rechts.sync"));
      return log(QStringLiteral("sync the %1 deck: %2")
                     .arg(QLatin1String(d.name()), r.status == control::ActionResult::Refused
                                                       ? r.why
                                                       : QStringLiteral("done")));
    }
    default:
      f.actions->press(QStringLiteral("autoplay.beat.toggle"));
      return log(
          QStringLiteral("autoplay on the beat %1").arg(f.mixer->beatAutoPlay() ? "on" : "off"));
  }
}

// Records the set for 10 to 60 seconds, into Aufnahmen in the set's folder,
// by the action a key or a controller runs.
void SoakSet::record() {
  TFormQuandrel& f = console();
  if (f.recording->isRecording()) return;
  f.actions->press(QStringLiteral("record.toggle"));
  log(QStringLiteral("record: %1").arg(f.recording->isRecording() ? "on" : "refused"));
  // A few seconds: the set waits for what it has scheduled before the next
  // action, and a long recording would hold the DJ's hands.
  later(100 + int(rng_() % 400), [this] {
    TFormQuandrel& c = console();
    if (!c.recording->isRecording()) return;
    c.actions->press(QStringLiteral("record.toggle"));
    log(QStringLiteral("record: off"));
  });
}

// A song from the grid into a deck; a playing deck is paused first (a DJ
// never loads over a song that plays: the console refuses it, and that is
// tried now and then too).
void SoakSet::pressLoad(Deck& d) {
  auto load = [this, &d] {
    DataModule1->Table1->moveTo(int(rng_() % unsigned(DataModule1->Table1->recordCount())));
    d.load();
    log(QStringLiteral("load %1 on the %2 deck: %3")
            .arg(DataModule1->Table1->asString(QStringLiteral("Titel")), QLatin1String(d.name()),
                 d.state()));
  };
  if (d.state() == QLatin1String("playing") && rng_() % 4 != 0) {
    d.play();
    log(QStringLiteral("pause the %1 deck to load it").arg(QLatin1String(d.name())));
    later(20 + int(rng_() % 200), load);
    return;
  }
  load();
}

void SoakSet::pressCue(Deck& d) {
  // A cue in the seek preview (a controller's seek, or a drag not yet
  // played on) stores the sought position.
  const bool seeking = d.state() == QLatin1String("seeking");
  const int position = d.seek()->value();
  d.cue();
  if (seeking) cueStored(d, position);
  log(QStringLiteral("cue the %1 deck: %2 at %3")
          .arg(QLatin1String(d.name()), d.state())
          .arg(d.seek()->value()));
}

void SoakSet::pressPlay(Deck& d) {
  d.play();
  log(QStringLiteral("play on the %1 deck: %2").arg(QLatin1String(d.name()), d.state()));
}

// Drags the seek bar's thumb over a few positions and lets go: the deck
// loops the half second there until the gesture goes on.
void SoakSet::drag(Deck& d) {
  const int top = std::max(0, d.seek()->maximum() - 100);
  const int moves = 1 + int(rng_() % 5);
  for (int m = 0; m < moves; ++m) {
    const int to = top > 0 ? int(rng_() % unsigned(top)) : 0;
    later(m * (1 + int(rng_() % 8)), [&d, to] { d.scroll(ScrollCode::ThumbTrack, to); });
  }
  later(moves * 8 + 1, [&d] { d.scroll(ScrollCode::EndScroll); });
}

void SoakSet::storeCue(Deck& d) {
  if (!d.player()) return pressLoad(d);
  log(QStringLiteral("seek on the %1 deck to store a cue point").arg(QLatin1String(d.name())));
  drag(d);
  later(60 + int(rng_() % 300), [this, &d] {
    const bool seeking = d.state() == QLatin1String("seeking");
    const int position = d.seek()->value();
    d.cue();
    if (seeking) cueStored(d, position);
    log(QStringLiteral("cue on the %1 deck %2 %3")
            .arg(QLatin1String(d.name()), seeking ? "stores" : "returns to")
            .arg(d.seek()->value()));
  });
}

void SoakSet::previewSeek(Deck& d) {
  if (!d.player()) return pressLoad(d);
  log(QStringLiteral("seek with preview on the %1 deck from %2")
          .arg(QLatin1String(d.name()), d.state()));
  drag(d);
  later(60 + int(rng_() % 400), [this, &d] {
    if (d.state() == QLatin1String("seeking")) d.play();
    log(QStringLiteral("play after the preview on the %1 deck: %2 at %3")
            .arg(QLatin1String(d.name()), d.state())
            .arg(d.seek()->value()));
  });
}

void SoakSet::movePitch(Deck& d) {
  // Mostly small changes, as when matching tempos; now and then far out.
  const int range = rng_() % 4 == 0 ? 200 : 40;
  const int to = int(rng_() % unsigned(2 * range + 1)) - range;
  if (rng_() % 6 == 0) {
    d.speedZero();
  } else {
    d.pitch()->setValue(to);
  }
  log(QStringLiteral("pitch %1 on the %2 deck")
          .arg(d.pitch()->value())
          .arg(QLatin1String(d.name())));
}

void SoakSet::bend(Deck& d) {
  const bool faster = rng_() % 2 == 0;
  d.bendDown(faster);
  log(QStringLiteral("bend %1 on the %2 deck")
          .arg(faster ? "up" : "down", QLatin1String(d.name())));
  later(20 + int(rng_() % 250), [&d, faster] { d.bendUp(faster); });
}

void SoakSet::moveVolume(Deck& d) {
  const int to = rng_() % 8 == 0 ? int(rng_() % 3001) : int(rng_() % 700);
  d.volume()->setValue(to);
  log(QStringLiteral("volume %1 on the %2 deck").arg(to).arg(QLatin1String(d.name())));
}

void SoakSet::sweepFader() {
  TFormQuandrel& f = console();
  const int from = f.sbFader->value();
  const int to = int(rng_() % 6001) - 3000;
  const int steps = 20 + int(rng_() % 280);
  log(QStringLiteral("crossfader sweep from %1 to %2").arg(from).arg(to));
  for (int s = 1; s <= steps; ++s)
    later(s, [&f, from, to, s, steps] { f.sbFader->setValue(from + (to - from) * s / steps); });
}

void SoakSet::jumpFader() {
  TFormQuandrel& f = console();
  // Held: back to the centre on release; else it stays at the end.
  const bool hold = rng_() % 2 == 0;
  const int to = int(rng_() % 3);
  if (to < 2) {
    const QString name =
        QLatin1String(to == 0 ? "mixer.crossfader.links" : "mixer.crossfader.rechts") +
        QLatin1String(hold ? ".hold" : "");
    f.actions->press(name);
    later(10 + int(rng_() % 200), [&f, name] { f.actions->release(name); });
  } else {
    f.actions->press(QStringLiteral("mixer.crossfader.zero"));
  }
  log(QStringLiteral("crossfader jump to %1").arg(f.sbFader->value()));
}

// A knob or fader of a controller: a value action by name with a value in
// its range. A seek lets the deck loop its preview and then plays on.
void SoakSet::turnKnob(Deck& d) {
  TFormQuandrel& f = console();
  static const char* const kKnobs[] = {"pitch", "volume", "seek", "mixer.crossfader",
                                       "mixer.headvolume"};
  const QString knob = QLatin1String(kKnobs[rng_() % std::size(kKnobs)]);
  const QString name = knob.startsWith(QLatin1String("mixer.")) ? knob : d.action(qPrintable(knob));
  const std::optional<control::ActionInfo> info = f.actions->info(name);
  if (!info) return fail(QStringLiteral("no action %1").arg(name));
  const int maximum =
      knob == QLatin1String("seek") ? std::max(0, d.seek()->maximum() - 100) : info->maximum;
  const int value = info->minimum + int(rng_() % unsigned(maximum - info->minimum + 1));
  const control::ActionResult r = f.actions->setValue(name, value);
  log(QStringLiteral("controller %1 to %2: %3")
          .arg(name)
          .arg(value)
          .arg(r.status == control::ActionResult::Done      ? QStringLiteral("done")
               : r.status == control::ActionResult::Ignored ? QStringLiteral("ignored")
                                                            : r.why));
  if (r.status == control::ActionResult::Refused)
    return fail(QStringLiteral("the controller's %1 was refused: %2").arg(name, r.why));
  if (knob == QLatin1String("seek") && r.status == control::ActionResult::Done)
    later(60 + int(rng_() % 400), [&d] {
      if (d.state() == QLatin1String("seeking")) d.play();
    });
}

// A key of the keyboard map that steps a bar or switches something on: the
// press actions the mouse has no button for, and key lock (often while the
// deck plays).
void SoakSet::pressKey(Deck& d) {
  TFormQuandrel& f = console();
  static const char* const kDeckKeys[] = {"pitch.step.up", "pitch.step.down", "volume.up",
                                          "volume.down", "keylock"};
  static const char* const kMixerKeys[] = {"mixer.crossfader.step.links",
                                           "mixer.crossfader.step.rechts",
                                           "mixer.headvolume.up",
                                           "mixer.headvolume.down",
                                           "playlist.start",
                                           "search.focus"};
  const std::size_t pick = rng_() % (std::size(kDeckKeys) + std::size(kMixerKeys));
  const QString name = pick < std::size(kDeckKeys)
                           ? d.action(kDeckKeys[pick])
                           : QLatin1String(kMixerKeys[pick - std::size(kDeckKeys)]);
  // A few presses in a row, as a held key repeats a step.
  const int presses =
      name.contains(QLatin1String(".step.")) || name.contains(QLatin1String("volume."))
          ? 1 + int(rng_() % 8)
          : 1;
  for (int n = 0; n < presses; ++n) {
    const control::ActionResult r = f.actions->press(name);
    if (r.status == control::ActionResult::Refused)
      return fail(QStringLiteral("the key's %1 was refused: %2").arg(name, r.why));
  }
  log(QStringLiteral("key %1 pressed %2 times").arg(name).arg(presses));
}

void SoakSet::toggleHeadCue(Deck& d) {
  d.headCue();
  log(QStringLiteral("head cue on the %1 deck").arg(QLatin1String(d.name())));
}

// Removes a random entry, or adds the grid's song, keeping the list about
// as long as the library.
void SoakSet::editPlaylist() {
  TFormPlayList& w = *FormPlayList;
  if (w.ListBox1->count() > options_.songs - 5 && rng_() % 2 == 0) {
    w.ListBox1->setCurrentRow(int(rng_() % unsigned(w.ListBox1->count())));
    w.btDelete->click();
    log(QStringLiteral("playlist: entry removed, %1 left").arg(w.FileList.size()));
    return;
  }
  DataModule1->Table1->moveTo(int(rng_() % unsigned(DataModule1->Table1->recordCount())));
  console().ChooseCurrentSong();
  log(QStringLiteral("playlist: %1 added")
          .arg(DataModule1->Table1->asString(QStringLiteral("Titel"))));
}

void SoakSet::switchLanguage() {
  test::ScriptedDialogs& dialogs = console_->dialogs;
  int chosen = -1;
  dialogs.onDialog = [&chosen](QDialog* dialog) {
    if (dialog != FormSprache) return dialog->reject();
    chosen = 1 - FormSprache->rgSprache->itemIndex();
    FormSprache->rgSprache->setItemIndex(chosen);
    FormSprache->btOK->click();
  };
  console().Sprache1Click();
  dialogs.onDialog = nullptr;
  log(QStringLiteral("language %1").arg(chosen == 1 ? "English" : "German"));
}

}  // namespace qdl::soak
