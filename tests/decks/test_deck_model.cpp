// The deck and mixer models on their own: ranges, clamping, and change
// signals that come only for a change.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>
#include <vector>

#include "decks/DeckModel.h"

namespace {

using qdl::decks::Deck;
using qdl::decks::DeckState;
using qdl::decks::Mixer;

TEST(DeckModel, StatesShowTheirWordsAndLightTheirButtons) {
  struct Row {
    DeckState state;
    const char* word;
    bool cue, play;
  };
  const std::vector<Row> rows = {
      {DeckState::Empty, "", false, false},        {DeckState::Loaded, "loaded", true, false},
      {DeckState::Cued, "cued", true, false},      {DeckState::Playing, "playing", false, true},
      {DeckState::Paused, "paused", false, false}, {DeckState::Seeking, "seeking", false, false},
      {DeckState::Ended, "ended", true, false}};
  for (const Row& r : rows) {
    EXPECT_EQ(qdl::decks::stateWord(r.state), r.word);
    EXPECT_EQ(qdl::decks::cueLit(r.state), r.cue) << r.word;
    EXPECT_EQ(qdl::decks::playLit(r.state), r.play) << r.word;
  }
}

TEST(DeckModel, ValuesAreClampedToTheirRanges) {
  struct Row {
    const char* what;
    std::function<void(Deck&, int)> set;
    std::function<int(const Deck&)> get;
    int in, out;
  };
  const std::vector<Row> rows = {
      {"pitch below", &Deck::setPitch, &Deck::pitch, -250, -200},
      {"pitch above", &Deck::setPitch, &Deck::pitch, 201, 200},
      {"pitch inside", &Deck::setPitch, &Deck::pitch, -37, -37},
      {"volume below", &Deck::setVolume, &Deck::volume, -1, 0},
      {"volume above", &Deck::setVolume, &Deck::volume, 3001, 3000},
      {"position beyond the length", &Deck::setPosition, &Deck::position, 1500, 1000},
      {"position below 0", &Deck::setPosition, &Deck::position, -5, 0},
      {"head cue other than 1 is off", &Deck::setHeadCue, &Deck::headCue, 7, 0},
      {"time mode other than 1 is remaining", &Deck::setTimeMode, &Deck::timeMode, 2, 0},
  };
  for (const Row& r : rows) {
    Deck deck(Deck::Side::Left);
    deck.setLength(1000);
    r.set(deck, r.in);
    EXPECT_EQ(r.get(deck), r.out) << r.what;
  }
  Mixer mixer;
  mixer.setCrossfader(-4000);
  EXPECT_EQ(mixer.crossfader(), -3000);
  mixer.setHeadVolume(5000);
  EXPECT_EQ(mixer.headVolume(), 3000);
}

TEST(DeckModel, ChangesAreSignalledOnceAndASameValueIsNot) {
  Deck deck(Deck::Side::Right);
  EXPECT_EQ(deck.sideName(), "rechts");
  QSignalSpy state(&deck, &Deck::stateChanged);
  QSignalSpy position(&deck, &Deck::positionChanged);
  QSignalSpy length(&deck, &Deck::lengthChanged);
  QSignalSpy time(&deck, &Deck::timeTextChanged);
  deck.setState(DeckState::Loaded);
  deck.setState(DeckState::Loaded);
  EXPECT_EQ(state.count(), 1);
  deck.setLength(500);
  deck.setPosition(400);
  deck.setPosition(400);
  EXPECT_EQ(position.count(), 1);
  // A shorter song moves the position to its end.
  deck.setLength(300);
  EXPECT_EQ(length.count(), 2);
  EXPECT_EQ(position.count(), 2);
  EXPECT_EQ(position.last()[0].toInt(), 300);
  EXPECT_EQ(deck.timeText(), "00:00:00:00");
  deck.setTimeText("00:00:00:00");
  EXPECT_EQ(time.count(), 0);
  EXPECT_EQ(deck.pitchText(), "0 %");
  EXPECT_EQ(deck.song(), -1);
  EXPECT_FALSE(deck.nearEnd());  // no player

  // The crossfader remembers where it stood before its last change.
  Mixer mixer;
  QSignalSpy fader(&mixer, &Mixer::crossfaderChanged);
  mixer.setCrossfader(-1000);
  mixer.setCrossfader(2000);
  mixer.setCrossfader(2000);
  EXPECT_EQ(fader.count(), 2);
  EXPECT_EQ(mixer.previousCrossfader(), -1000);
  EXPECT_EQ(mixer.crossfader(), 2000);
}

}  // namespace
