#include "app/RecordControl.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QTimer>

#include "audio/Dsutil.h"
#include "decks/DeckModel.h"
#include "lang/Sprache.h"
#include "platform/ini/IniFile.h"
#include "platform/record/Recorder.h"
#include "platform/sound/OutputTap.h"
#include "platform/sound/Sound.h"
#include "platform/ui/Dialogs.h"

namespace qdl::app {

namespace {

constexpr int kLabelWidth = 170;
constexpr int kPollMs = 250;

// Reads [Record]; a Format that is none records FLAC and says why.
record::RecordSettings readSettings(const QString& baseDir, QString* problem) {
  record::RecordSettings settings;
  QString folder = QStringLiteral("Aufnahmen");
  QString format = QStringLiteral("flac");
  try {
    const IniFile ini = openSettings();
    folder = ini.readString(RecordControl::kSection, QStringLiteral("Folder"), folder);
    format = ini.readString(RecordControl::kSection, QStringLiteral("Format"), format);
  } catch (const std::exception&) {
    // An unreadable settings file was told at the start: the defaults record.
  }
  if (folder.trimmed().isEmpty()) folder = QStringLiteral("Aufnahmen");
  settings.folder = QDir(baseDir).absoluteFilePath(folder.trimmed());
  if (const auto f = record::formatFromName(format))
    settings.format = *f;
  else
    *problem = FormSprache->Aufnahme.sFormat.arg(format, QStringLiteral("qdl.ini"));
  return settings;
}

}  // namespace

RecordControl::RecordControl(QWidget* window, QWidget* status, std::array<decks::Deck*, 2> decks,
                             std::function<sound::Device*()> device,
                             std::function<QString()> baseDir,
                             std::function<void(const QString&)> notice)
    : QObject(window),
      window_(window),
      label_(new QLabel(status)),
      timer_(new QTimer(this)),
      decks_(decks),
      device_(std::move(device)),
      baseDir_(std::move(baseDir)),
      notice_(std::move(notice)),
      recorder_(std::make_unique<record::Recorder>()) {
  label_->setObjectName(QStringLiteral("RecordStatus"));
  // The menu bar's right end is free: the text stands there without moving
  // any control.
  label_->setFixedWidth(kLabelWidth);
  label_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label_->setContentsMargins(0, 0, 6, 0);
  if (auto* bar = qobject_cast<QMenuBar*>(status)) bar->setCornerWidget(label_, Qt::TopRightCorner);
  QPalette red = label_->palette();
  red.setColor(QPalette::WindowText, QColor(0xD0, 0x00, 0x00));
  label_->setPalette(red);
  QFont bold = label_->font();
  bold.setBold(true);
  label_->setFont(bold);
  label_->hide();
  timer_->setInterval(kPollMs);
  connect(timer_, &QTimer::timeout, this, &RecordControl::refresh);
  for (std::size_t i = 0; i < decks_.size(); ++i) {
    decks::Deck* deck = decks_[i];
    connect(deck, &decks::Deck::stateChanged, this, &RecordControl::checkDecks);
    connect(deck, &decks::Deck::volumeChanged, this, &RecordControl::checkDecks);
    // A new load is a new track.
    connect(deck, &decks::Deck::playerChanged, this, [this, i] {
      listed_[i] = false;
      checkDecks();
    });
  }
}

RecordControl::~RecordControl() {
  if (recorder_->isRecording()) {
    recorder_->stop();
    tapped_ = nullptr;
  }
}

bool RecordControl::isRecording() const { return recorder_->isRecording(); }

QString RecordControl::toggle() {
  if (!isRecording()) return start();
  stop();
  return {};
}

QString RecordControl::start() {
  if (isRecording()) return {};
  const AufnahmeTexte& t = FormSprache->Aufnahme;
  sound::Device* device = device_();
  if (!device) return t.sKeineKarte;
  QString problem;
  const record::RecordSettings settings = readSettings(baseDir_(), &problem);
  if (!problem.isEmpty()) notice_(problem);
  const QString why = recorder_->start(
      settings, QDateTime::currentDateTime(),
      [device](std::shared_ptr<sound::OutputTap> tap) { device->setTap(std::move(tap)); });
  if (!why.isEmpty()) return t.sStartFehler.arg(why);
  tapped_ = device;
  lostTold_ = 0;
  listed_ = {};
  label_->setText(statusText(0, 0));
  label_->setToolTip(QDir::toNativeSeparators(recorder_->files().value(0)));
  label_->show();
  label_->raise();
  timer_->start();
  checkDecks();
  emit recordingChanged(true);
  return {};
}

void RecordControl::stop() {
  if (!isRecording()) return;
  timer_->stop();
  const QString why = recorder_->stop();
  tapped_ = nullptr;
  label_->hide();
  emit recordingChanged(false);
  const AufnahmeTexte& t = FormSprache->Aufnahme;
  QStringList told;
  if (!why.isEmpty()) told << t.sGestoppt.arg(why);
  const std::int64_t lost = recorder_->status().lostFrames;
  if (lost > 0) told << t.sVerloren.arg(double(lost) / record::Recorder::kRate, 0, 'f', 1);
  if (!told.isEmpty())
    ui::showMessage(window_, told.join(QLatin1Char('\n')), FormSprache->Meldung.sAchtung);
}

QString RecordControl::statusText(std::int64_t frames, std::int64_t bytes) {
  const std::int64_t s = frames / record::Recorder::kRate;
  return QStringLiteral("REC %1:%2:%3 \u00b7 %4 MB")
      .arg(s / 3600)
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'))
      .arg(bytes / 1'000'000);
}

void RecordControl::refresh() {
  if (!isRecording()) return;
  const record::Recorder::Status s = recorder_->status();
  if (s.failed) {
    stop();  // tells why
    return;
  }
  label_->setText(statusText(s.frames, s.bytes));
  if (s.lostFrames > lostTold_) {
    lostTold_ = s.lostFrames;
    notice_(FormSprache->Aufnahme.sVerloren.arg(double(s.lostFrames) / record::Recorder::kRate, 0,
                                                'f', 1));
  }
}

void RecordControl::checkDecks() {
  if (!isRecording()) return;
  for (std::size_t i = 0; i < decks_.size(); ++i) {
    const decks::Deck* deck = decks_[i];
    const bool audible = deck->player() && deck->state() == decks::DeckState::Playing &&
                         deck->volume() < decks::Deck::kVolumeMax;
    if (!audible || listed_[i]) continue;
    listed_[i] = true;
    const QString text = deck->songText();
    const qsizetype dash = text.indexOf(QStringLiteral(" - "));
    const QString artist = dash < 0 ? QString() : text.left(dash);
    const QString title = dash < 0 ? text : text.mid(dash + 3);
    recorder_->addTrack(artist, title);
  }
}

}  // namespace qdl::app
