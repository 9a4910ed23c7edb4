#pragma once
// The panel of one deck, built once for the left and once for the right
// deck: load button, time and pitch displays, seek bar, pitch bar with its
// bend and zero buttons, cue and play buttons and the status bar. Its
// controls carry the names of their side ("LoadDB_Links", "Cue_Rechts") and
// stand where the console's fixed layout puts them; the pitch column stands
// on the outer side of each deck.
//
// bind() makes the controls views of a Deck: what the user changes goes to
// the model, and every change of the model is shown. Bind before anything
// else connects to the controls, so that handlers of their changes find the
// model already updated.

#include <QFrame>

#include "decks/DeckModel.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace qdl::ui {
class ClickPanel;
class RunningLabel;
class ScrollBar;
class SpeedButton;
class StatusBar;
}  // namespace qdl::ui

namespace qdl::decks {

class OverviewView;

class DeckPanel : public QFrame {
  Q_OBJECT
 public:
  static constexpr int kWidth = 318;
  static constexpr int kHeight = 201;
  // The width of the auto-gain text beside the tempo; the pitch text keeps
  // the rest of its room to the right.
  static constexpr int kGainWidth = 50;

  // A panel of kWidth x kHeight at the top left of `parent`; the console
  // moves it to its place.
  DeckPanel(Deck::Side side, QWidget* parent);

  Deck::Side side() const { return side_; }
  void bind(Deck& deck);

  QPushButton* load;        // LoadDB_Links
  QFrame* info;             // PanelInfo_Links, the black display
  QPushButton* timeButton;  // btTime_Links
  QLabel* pitchLabel;       // lbPitch_Links
  QLabel* tempo;            // lbTempo_Links, the playing tempo
  QLabel* gain;             // lbGain_Links, the auto-gain applied to the song
  ui::RunningLabel* time;   // LabelZeitLinks
  ui::ScrollBar* seek;      // sBarSeekLinks
  OverviewView* overview;   // the song's shape behind the time, over the seek bar's track
  ui::ScrollBar* pitch;     // SBarPitchLinks
  ui::SpeedButton* plus;    // SBtPlusSpeedLinks
  ui::SpeedButton* minus;   // SBtMinusSpeedLinks
  ui::SpeedButton* zero;    // SpeedZero_Links
  QPushButton* sync;        // btSync_Links: tempo and beats to the other deck
  ui::ClickPanel* cue;      // Cue_Links
  ui::ClickPanel* play;     // Play_Links
  QPushButton* keyLock;     // KeyLock_Links: key lock on or off, down while on
  QLabel* image;            // Image1 (left), Image2 (right)
  ui::StatusBar* status;    // StatusBar_Links: the state word and the song

 private:
  Deck::Side side_;
};

// The deck's controls on the mixer strip as views of the deck: its volume
// bar and its headphone cue button (LED_ON while the cue is on).
void bindVolumeBar(Deck& deck, ui::ScrollBar* bar);
void bindHeadCueButton(Deck& deck, ui::SpeedButton* button);
// The shared controls as views of the mixer.
void bindMixer(Mixer& mixer, ui::ScrollBar* crossfader, ui::ScrollBar* headVolume,
               QCheckBox* autoCue, QCheckBox* autoPlay);

}  // namespace qdl::decks
