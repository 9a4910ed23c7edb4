// The deck panel and the binding of the console's controls to the deck and
// mixer models.

#include "decks/DeckPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "decks/OverviewView.h"
#include "platform/ui/Controls.h"

namespace qdl::decks {
namespace {

QString named(const char* base, Deck::Side side) {
  return QLatin1String(base) +
         (side == Deck::Side::Left ? QLatin1String("Links") : QLatin1String("Rechts"));
}

ui::ScrollBar* scrollBar(QWidget* parent, Qt::Orientation o, int min, int max, int small, int large,
                         QRect geometry) {
  return ui::ScrollBar::create(parent, o, min, max, small, large, geometry);
}

ui::SpeedButton* speedButton(QWidget* parent, const QString& text, QRect geometry) {
  auto* b = new ui::SpeedButton(parent);
  b->setText(text);
  b->setGeometry(geometry);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

// A value of the model shown by a scroll bar that also sets it.
template <typename Model, typename Setter, typename Signal>
void bindBar(ui::ScrollBar* bar, Model* model, Setter set, Signal changed) {
  QObject::connect(bar, &ui::ScrollBar::valueChanged, model,
                   [model, set](int v) { (model->*set)(v); });
  QObject::connect(model, changed, bar, [bar](int v) { bar->setValue(v); });
}

}  // namespace

DeckPanel::DeckPanel(Deck::Side side, QWidget* parent) : QFrame(parent), side_(side) {
  const bool left = side == Deck::Side::Left;
  setObjectName(left ? QStringLiteral("Panel1") : QStringLiteral("Panel3"));
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setGeometry(0, 0, kWidth, kHeight);

  // The pitch column stands on the outer side of each deck.
  const int pitchX = left ? 4 : kWidth - 48;
  const int mainX = left ? 52 : 4;

  load = new QPushButton(QStringLiteral("Load"), this);
  load->setObjectName(named("LoadDB_", side));
  load->setGeometry(mainX, 4, 80, 24);

  info = new QFrame(this);
  info->setObjectName(named("PanelInfo_", side));
  info->setAutoFillBackground(true);
  QPalette black = info->palette();
  black.setColor(QPalette::Window, Qt::black);
  black.setColor(QPalette::WindowText, Qt::white);
  info->setPalette(black);
  info->setGeometry(mainX, 32, 262, 86);

  timeButton = new QPushButton(QStringLiteral("Time"), info);
  timeButton->setObjectName(named("btTime_", side));
  timeButton->setGeometry(4, 4, 44, 20);
  timeButton->setFocusPolicy(Qt::NoFocus);

  pitchLabel = new QLabel(QStringLiteral("0 %"), info);
  pitchLabel->setObjectName(named("lbPitch_", side));
  pitchLabel->setGeometry(150, 4, 108, 20);
  pitchLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  // The playing tempo, between the time button and the pitch text.
  tempo = new QLabel(info);
  tempo->setObjectName(named("lbTempo_", side));
  tempo->setGeometry(52, 4, 96, 20);
  tempo->setAlignment(Qt::AlignCenter);

  // The auto-gain, right of the tempo, on the left of the pitch text's
  // room (the pitch text is right-aligned and never reaches it).
  gain = new QLabel(info);
  gain->setObjectName(named("lbGain_", side));
  gain->setGeometry(150, 4, kGainWidth, 20);
  gain->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

  time = new ui::RunningLabel(QStringLiteral("00:00:00:00"), info);
  time->setObjectName(named("LabelZeit", side));
  QFont big = time->font();
  big.setPointSize(20);
  big.setBold(true);
  time->setFont(big);
  QPalette yellow = time->palette();
  yellow.setColor(QPalette::WindowText, Qt::yellow);
  time->setPalette(yellow);
  time->setAlignment(Qt::AlignCenter);
  time->setGeometry(4, 26, 254, 34);

  seek = scrollBar(info, Qt::Horizontal, 0, 0, 1, 10, QRect(4, 64, 254, 18));
  seek->setObjectName(named("sBarSeek", side));
  overview = new OverviewView(info, time, seek);

  pitch = scrollBar(this, Qt::Vertical, Deck::kPitchMin, Deck::kPitchMax, 1, 10,
                    QRect(pitchX, 4, 18, 150));
  pitch->setObjectName(named("SBarPitch", side));
  plus = speedButton(this, QStringLiteral("+"), QRect(pitchX + 22, 4, 22, 22));
  plus->setObjectName(named("SBtPlusSpeed", side));
  minus = speedButton(this, QStringLiteral("-"), QRect(pitchX + 22, 30, 22, 22));
  minus->setObjectName(named("SBtMinusSpeed", side));
  zero = speedButton(this, QStringLiteral("Zero"), QRect(pitchX, 158, 44, 20));
  zero->setObjectName(named("SpeedZero_", side));

  // Beside the play panel, where nothing else stands.
  sync = new QPushButton(QStringLiteral("Sync"), this);
  sync->setObjectName(named("btSync_", side));
  sync->setGeometry(mainX + 160, 124, 56, 24);
  sync->setFocusPolicy(Qt::NoFocus);

  cue = new ui::ClickPanel(this);
  cue->setObjectName(named("Cue_", side));
  cue->setAutoFillBackground(true);
  QPalette red = cue->palette();
  red.setColor(QPalette::Window, Qt::red);
  cue->setPalette(red);
  cue->setGeometry(mainX, 124, 72, 52);
  auto* cueText = new QLabel(QStringLiteral("CUE"), cue);
  QFont bold = cueText->font();
  bold.setBold(true);
  bold.setPointSize(14);
  cueText->setFont(bold);
  cueText->setAlignment(Qt::AlignCenter);
  cueText->setGeometry(2, 2, 68, 48);
  cueText->setAttribute(Qt::WA_TransparentForMouseEvents);

  play = new ui::ClickPanel(this);
  play->setObjectName(named("Play_", side));
  play->setAutoFillBackground(true);
  QPalette lime = play->palette();
  lime.setColor(QPalette::Window, QColor(0x00, 0xFF, 0x00));
  play->setPalette(lime);
  play->setGeometry(mainX + 80, 124, 72, 52);
  image = new QLabel(play);
  image->setObjectName(left ? QStringLiteral("Image1") : QStringLiteral("Image2"));
  image->setPixmap(QPixmap(QStringLiteral(":/PLAY")));
  image->setAlignment(Qt::AlignCenter);
  image->setGeometry(2, 2, 68, 48);

  // Key lock, in the free corner right of the play panel.
  keyLock = new QPushButton(QStringLiteral("KEY"), this);
  keyLock->setObjectName(named("KeyLock_", side));
  keyLock->setCheckable(true);
  keyLock->setFocusPolicy(Qt::NoFocus);
  keyLock->setGeometry(mainX + 212, 154, 50, 22);

  status = new ui::StatusBar(this, {50, 50});
  status->setObjectName(named("StatusBar_", side));
  status->setGeometry(2, kHeight - 22, kWidth - 4, 20);
}

void DeckPanel::bind(Deck& deck) {
  // The seek bar's maximum is the song's length; a shorter one clamps the
  // bar, whose change then sets the position.
  connect(&deck, &Deck::lengthChanged, seek, [this](int length) { seek->setMaximum(length); });
  bindBar(seek, &deck, &Deck::setPosition, &Deck::positionChanged);
  bindBar(pitch, &deck, &Deck::setPitch, &Deck::pitchChanged);
  connect(&deck, &Deck::stateChanged, this, [this](DeckState state) {
    status->setPanelText(0, stateWord(state));
    cue->setFramed(cueLit(state));
    play->setFramed(playLit(state));
  });
  connect(&deck, &Deck::songTextChanged, this,
          [this](const QString& text) { status->setPanelText(1, text); });
  connect(&deck, &Deck::timeTextChanged, time, &ui::RunningLabel::setRunningText);
  connect(&deck, &Deck::pitchTextChanged, pitchLabel, &QLabel::setText);
  connect(&deck, &Deck::tempoTextChanged, tempo, &QLabel::setText);
  // The button shows the model; a click runs the console's action, which
  // sets the model (and so the button) again.
  keyLock->setChecked(deck.keyLock());
  connect(&deck, &Deck::keyLockChanged, keyLock, &QPushButton::setChecked);
  connect(&deck, &Deck::gainTextChanged, gain, &QLabel::setText);
}

void bindVolumeBar(Deck& deck, ui::ScrollBar* bar) {
  bindBar(bar, &deck, &Deck::setVolume, &Deck::volumeChanged);
}

void bindHeadCueButton(Deck& deck, ui::SpeedButton* button) {
  QObject::connect(&deck, &Deck::headCueChanged, button, [button](bool on) {
    button->setGlyph(on ? QStringLiteral("LED_ON") : QStringLiteral("LED_OFF"));
  });
}

void bindMixer(Mixer& mixer, ui::ScrollBar* crossfader, ui::ScrollBar* headVolume,
               QCheckBox* autoCue, QCheckBox* autoPlay) {
  bindBar(crossfader, &mixer, &Mixer::setCrossfader, &Mixer::crossfaderChanged);
  bindBar(headVolume, &mixer, &Mixer::setHeadVolume, &Mixer::headVolumeChanged);
  QObject::connect(autoCue, &QCheckBox::toggled, &mixer, &Mixer::setAutoCue);
  QObject::connect(&mixer, &Mixer::autoCueChanged, autoCue, &QCheckBox::setChecked);
  QObject::connect(autoPlay, &QCheckBox::toggled, &mixer, &Mixer::setAutoPlay);
  QObject::connect(&mixer, &Mixer::autoPlayChanged, autoPlay, &QCheckBox::setChecked);
}

}  // namespace qdl::decks
