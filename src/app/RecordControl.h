#pragma once
// Recording the set from the console: what the room hears (the card of the
// left deck's main output, after its limiter) goes to a file in the folder
// `Aufnahmen` beside qdl.ini, with a cue sheet and a plain track list.
//
// Settings, section [Record] of qdl.ini:
//   Folder=Aufnahmen   the folder (relative to the folder of qdl.ini)
//   Format=flac        flac (the default), wav or mp3 (320 kbit/s)
//
// While recording, a red "REC 0:12:34 · 123 MB" stands at the right end of
// the menu bar. A track goes to the track list when its deck
// becomes audible: it plays and its volume after the crossfader is above
// silence; once per load. A failed write (a full disk, a removed stick)
// stops the recording and says so; frames the ring between the card and the
// writer could not take are told as they are lost, and at the stop.
//
// Threads: the UI thread.

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QLabel;
class QTimer;
class QWidget;

namespace qdl::sound {
class Device;
}
namespace qdl::record {
class Recorder;
}
namespace qdl::decks {
class Deck;
}

namespace qdl::app {

class RecordControl : public QObject {
  Q_OBJECT
 public:
  inline static const QString kSection = QStringLiteral("Record");

  // `status` is the menu bar the REC text stands in (its right end); `device`
  // gives the device whose card is recorded (null: none open); `baseDir`
  // the folder of qdl.ini; `notice` tells a text without a box.
  RecordControl(QWidget* window, QWidget* status, std::array<decks::Deck*, 2> decks,
                std::function<sound::Device*()> device, std::function<QString()> baseDir,
                std::function<void(const QString&)> notice);
  ~RecordControl() override;

  bool isRecording() const;
  // Starts or stops; empty, or why it could not start (a stop always stops,
  // and tells a failure in a box itself).
  QString toggle();
  QString start();
  // Stops and tells, in a box, what went wrong during the recording or at
  // its end. Nothing when not recording.
  void stop();

  // The REC text for a length in frames and a size in bytes.
  static QString statusText(std::int64_t frames, std::int64_t bytes);
  QLabel* label() const { return label_; }
  const record::Recorder& recorder() const { return *recorder_; }

  // Looks at the decks now (their signals do so too).
  void checkDecks();
  // Brings the REC text up to date, stops on a failed write and tells lost
  // frames; a timer runs it four times a second while recording.
  void refresh();

 signals:
  void recordingChanged(bool on);

 private:
  QWidget* window_;
  QLabel* label_;
  QTimer* timer_;
  std::array<decks::Deck*, 2> decks_;
  std::array<bool, 2> listed_{};  // the deck's song is in the track list
  std::function<sound::Device*()> device_;
  std::function<QString()> baseDir_;
  std::function<void(const QString&)> notice_;
  std::unique_ptr<record::Recorder> recorder_;
  sound::Device* tapped_ = nullptr;
  std::int64_t lostTold_ = 0;
};

}  // namespace qdl::app
