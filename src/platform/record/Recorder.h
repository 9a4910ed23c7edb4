#pragma once
// Records a card's output to a file: the card copies each rendered block
// into an OutputTap (a lock-free ring, 20 s by default), and a writer thread
// of the recorder drains it, encodes and writes. The card's thread never
// waits for the disk; a disk too slow for a moment is absorbed by the ring.
// When the ring still overflows, the frames lost are counted (status()) and
// the writer puts as much silence in their place, so the file's timeline
// stays the room's timeline (and the track list's times stay right).
//
// Files: `<folder>/<yyyy-MM-dd HH-mm-ss>.<ext>` from the local time the
// recording starts, with " (2)", " (3)", ... when that name, or the name of
// its track list, is taken: a file is never replaced. A WAV recording goes
// on in a next file ("<name>-2.wav", ...) before a file reaches splitBytes
// (WAV headers hold 32-bit sizes). A failed write (a full disk, a removed
// stick) ends the writing: the file is finished as far as it was written
// and status().failure says why; the caller then calls stop().
//
// Threads: everything is called on one application thread (the UI thread).

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/record/EncodedFile.h"

namespace qdl::sound {
class OutputTap;
}

namespace qdl::record {

class TrackList;

struct RecordSettings {
  QString folder;  // made when missing
  Format format = Format::Flac;
  int ringSeconds = 20;                     // the ring between the card and the writer
  int ringFrames = 0;                       // the ring in frames instead, when above 0
  std::int64_t splitBytes = 4'000'000'000;  // WAV only: the next file starts before this size
};

class Recorder {
 public:
  // Gives the tap to the card (null: takes it away); returns once the card
  // uses the new one.
  using Attach = std::function<void(std::shared_ptr<sound::OutputTap>)>;

  Recorder();
  ~Recorder();  // stops a recording
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Starts recording: makes the folder, the file and its track list, and
  // attaches the tap. Empty on success, else the reason (nothing attached,
  // nothing left open).
  QString start(const RecordSettings& settings, const QDateTime& startedAt, Attach attach);
  // Takes the tap away, writes what the ring still holds, finishes the file
  // and the track list. Empty, or the reason of a failure during the
  // recording or at its end. Nothing when not recording.
  QString stop();
  bool isRecording() const { return attach_ != nullptr; }

  struct Status {
    std::int64_t frames = 0;         // the recording's length (the card's frames since the start)
    std::int64_t bytes = 0;          // in its files
    std::int64_t lostFrames = 0;     // frames the ring could not take (silence in the file)
    std::int64_t writtenFrames = 0;  // frames the writer has handed to the encoder
    bool failed = false;             // writing ended: failure says why
    QString failure;
  };
  Status status() const;

  // The recording's length now: the frame a track that becomes audible now
  // starts at.
  std::int64_t recordedFrames() const;
  // A track became audible now.
  void addTrack(const QString& artist, const QString& title);

  // The audio files of the current (or last) recording, in order, and its
  // track list files.
  QStringList files() const;
  QString cuePath() const;
  QString textPath() const;

  static constexpr int kRate = EncodedFile::kRate;

 private:
  void run();  // the writer thread
  bool writeFrames(const std::int16_t* frames, int count);
  bool writeToFile(const std::int16_t* frames, int count);
  bool openPart();
  bool writeSilence(std::int64_t frames);

  RecordSettings settings_;
  Attach attach_;
  std::shared_ptr<sound::OutputTap> tap_;
  std::unique_ptr<TrackList> tracks_;
  QString base_;  // folder and name without extension

  // Writer state (the writer thread while it runs).
  std::unique_ptr<EncodedFile> file_;
  std::int64_t bytesBefore_ = 0;  // in the finished parts
  int part_ = 0;
  std::thread writer_;
  mutable std::mutex mutex_;  // guards files_, failure_, stopping_ and pendingParts_
  std::condition_variable wake_;
  std::atomic<bool> stopping_{false};  // set under mutex_, so a wait sees it
  QStringList files_;
  QString failure_;
  QList<std::pair<std::int64_t, QString>> pendingParts_;  // new parts for the track list
  std::atomic<std::int64_t> bytes_{0};
  std::atomic<std::int64_t> written_{0};  // frames written, silence included
  std::atomic<bool> failed_{false};
};

}  // namespace qdl::record
