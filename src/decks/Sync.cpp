// Sync of a deck's tempo and beats to the other deck, and autoplay's start
// on the beat with its glide back to the bar.

#include "decks/Sync.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "audio/Dsutil.h"
#include "lang/Sprache.h"

namespace qdl::decks {
namespace {

// x modulo m, in 0 .. m.
double wrap(double x, double m) {
  const double r = std::fmod(x, m);
  return r < 0 ? r + m : r;
}

int sampleRate(const Deck& deck) { return deck.player()->Source->SampleRate; }

// The frequency of a bar step at `rate`, as TStreamPlayer::SetPitch plays it.
int stepFrequency(int rate, int step) { return rate + step * (rate / 1000); }

// The bar step nearest to the frequency `hz`, within the bar's range.
int nearestStep(int rate, int hz) {
  const int perStep = std::max(1, rate / 1000);
  const int step = int(std::lround(double(hz - rate) / perStep));
  return std::clamp(step, int(Deck::kPitchMin), int(Deck::kPitchMax));
}

bool fitsBar(int rate, int hz) {
  return hz >= stepFrequency(rate, Deck::kPitchMin) && hz <= stepFrequency(rate, Deck::kPitchMax);
}

// "+25.3 %": a pitch the bar cannot reach, as the texts show it.
QString pitchText(double percent) {
  return (percent >= 0 ? QStringLiteral("+") : QString()) + QLocale().toString(percent, 'f', 1) +
         QStringLiteral(" %");
}

// Matches the tempo of `d` to `tempo`: empty when the deck now plays at the
// matched frequency, else why not. `showStep` puts the bar on the nearest
// step (Sync); otherwise the bar stays where it is (autoplay).
QString matchTempo(DeckRefs& d, double tempo, bool showStep) {
  Deck& deck = d.deck;
  const int rate = sampleRate(deck);
  const int hz = MatchFrequency(deck.grid()->bpm, rate, tempo);
  if (!fitsBar(rate, hz)) {
    const int end = hz > rate ? Deck::kPitchMax : Deck::kPitchMin;
    return FormSprache->Sync.sSyncAusserhalb.arg(pitchText((double(hz) / rate - 1) * 100),
                                                 pitchText(end / 10.0));
  }
  deck.clearSync();
  const int step = showStep ? nearestStep(rate, hz) : deck.pitch();
  deck.setSync(hz, step);
  deck.setPitch(step);  // the bar's change runs PitchChange, which keeps the sync
  PitchChange(d);
  return {};
}

}  // namespace

int MatchFrequency(double bpm, int rate, double tempo) {
  double best = tempo / bpm;
  for (const double k : {0.5, 2.0}) {
    const double ratio = tempo * k / bpm;
    if (std::abs(ratio - 1) < std::abs(best - 1)) best = ratio;
  }
  return int(std::lround(rate * best));
}

int BaseFrequency(const Deck& deck) {
  if (!deck.player()) return 0;
  if (deck.syncFrequency() > 0) return deck.syncFrequency();
  return stepFrequency(sampleRate(deck), deck.pitch());
}

std::optional<double> PlayingTempo(const Deck& deck) {
  if (!deck.player() || !deck.grid()) return std::nullopt;
  return deck.grid()->bpm * BaseFrequency(deck) / sampleRate(deck);
}

std::int64_t PhaseShift(const Deck& deck, int deckFrequency, const Deck& other,
                        std::int64_t deckSample, std::int64_t otherSample) {
  // Each deck's time since its last beat and its beat, in seconds of real
  // time: a song second lasts rate / frequency real seconds.
  const auto beat = [](const Deck& dk, int hz, std::int64_t sample, double* since) {
    const double rate = sampleRate(dk);
    const double speed = hz / rate;
    const double period = 60.0 / dk.grid()->bpm;
    *since = wrap(sample / rate - dk.grid()->firstBeat, period) / speed;
    return period / speed;
  };
  double sinceDeck = 0, sinceOther = 0;
  const double beatDeck = beat(deck, deckFrequency, deckSample, &sinceDeck);
  const double beatOther = beat(other, BaseFrequency(other), otherSample, &sinceOther);
  // At half or double tempo every beat of the slower deck falls on a beat
  // of the faster one: the beats meet modulo the shorter beat.
  const double shorter = std::min(beatDeck, beatOther);
  const double late = wrap(sinceDeck - sinceOther + shorter / 2, shorter) - shorter / 2;
  // The deck is `late` seconds past the other's beat: it goes back by as
  // much of its song as it plays in that time.
  return -std::llround(late * deckFrequency);
}

QString Sync(DeckRefs& d, const Deck& other) {
  Deck& deck = d.deck;
  if (!deck.player()) return {};
  if (!other.player()) return FormSprache->Sync.sSyncOhneSong;
  if (!deck.grid() || !other.grid()) return FormSprache->Sync.sSyncOhneRaster;
  const QString why = matchTempo(d, *PlayingTempo(other), true);
  if (!why.isEmpty()) return why;
  // The beats: only while both play (see Sync.h).
  if (deck.state() != DeckState::Playing || other.state() != DeckState::Playing) return {};
  TStreamPlayer* player = deck.player();
  const std::int64_t here = player->PlayingSample();
  const std::int64_t shift =
      PhaseShift(deck, deck.syncFrequency(), other, here, other.player()->PlayingSample());
  // The new position is heard only after the card's output lead, while the
  // other deck is heard as it plays now: the deck starts that much further.
  const std::int64_t lead = std::llround(player->OutputLead() * deck.syncFrequency());
  if (shift + lead == 0) return {};
  // Near the song's start a move back may not fit: forward by the rest of
  // the beat instead.
  std::int64_t to = here + shift + lead;
  if (to < 0) to += std::llround(60.0 / deck.grid()->bpm * sampleRate(deck));
  player->SetSamplePosition(to);
  deck.setPosition(int(to * 100 / sampleRate(deck)));
  return {};
}

bool StartOnTheBeat(DeckRefs& d, const Deck& outgoing) {
  Deck& deck = d.deck;
  const std::optional<double> tempo = PlayingTempo(outgoing);
  if (!deck.player() || !deck.grid() || !tempo || !matchTempo(d, *tempo, false).isEmpty())
    return false;
  deck.setBeatLeader(&outgoing);
  // The outgoing song's next downbeat, in real seconds from now.
  const double rateOut = sampleRate(outgoing);
  const double barOut = 4 * 60.0 / outgoing.grid()->bpm;
  const double songOut = outgoing.player()->PlayingSample() / rateOut;
  const double untilOut =
      wrap(outgoing.grid()->firstBeat - songOut, barOut) / (BaseFrequency(outgoing) / rateOut);
  // This song starts where one of its downbeats reaches the speakers with
  // that one: the first such start at or after where the load put it.
  const double rate = sampleRate(deck);
  const double speed = deck.syncFrequency() / rate;
  const double bar = 4 * 60.0 / deck.grid()->bpm;
  const double from = deck.player()->PlayingSample() / rate;
  // Play is heard after the card's output lead: the song starts that much
  // later in its downbeat's approach.
  const double x = deck.grid()->firstBeat - (untilOut - deck.player()->OutputLead()) * speed;
  const double start = x + std::ceil((from - x) / bar - 1e-9) * bar;
  const auto sample = std::int64_t(std::llround(start * rate));
  if (start * 100 >= deck.length()) return true;  // no downbeat left: tempo only
  deck.player()->SetSamplePosition(sample);
  deck.setPosition(int(sample * 100 / std::int64_t(rate)));
  return true;
}

void GlideStep(DeckRefs& d) {
  Deck& deck = d.deck;
  if (!deck.beatLeader() || deck.syncFrequency() <= 0 || !deck.grid() || !deck.player()) return;
  if (deck.glideStart() < 0) {
    if (deck.beatLeader()->state() == DeckState::Playing) return;  // still handing over
    deck.setGlideStart(deck.position(), deck.syncFrequency());
  }
  const int rate = sampleRate(deck);
  const int target = stepFrequency(rate, deck.pitch());
  const double beats16 = 16 * 60.0 / deck.grid()->bpm * 100;  // hundredths of the song
  const double done = std::clamp((deck.position() - deck.glideStart()) / beats16, 0.0, 1.0);
  if (done >= 1) {
    deck.clearSync();
    PitchChange(d);
    return;
  }
  const int hz = int(std::lround(deck.glideFrequency() + (target - deck.glideFrequency()) * done));
  if (hz == deck.syncFrequency()) return;
  deck.setSync(hz, deck.syncStep());
  deck.player()->SetFrequency(hz);
  ShowTempo(d, deck.pitch());
}

}  // namespace qdl::decks
