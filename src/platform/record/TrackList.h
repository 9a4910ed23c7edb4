#pragma once
// The track list of a recording: a cue sheet (.cue) and a plain list (.txt)
// beside the audio file, each track with the time it became audible in the
// recording.
//
// Both files are created (never replacing a file) when the recording starts
// and each track is appended to them as it comes, so a killed console leaves
// a list up to its last track; finish() writes their final versions through
// the safe writer. Times: frames of the recording (44100 per second); the
// cue sheet writes them as minutes, seconds and frames of 1/75 s, relative
// to the audio file the track starts in (a long WAV recording has parts).
//
// Threads: the UI thread.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace qdl::record {

class TrackList {
 public:
  // `base` is the path without extension; `audioFile` the name of the first
  // audio file (no folder) and `fileType` its cue sheet type ("WAVE", "MP3").
  TrackList(const QString& base, const QString& audioFile, const QString& fileType);
  ~TrackList();
  TrackList(const TrackList&) = delete;
  TrackList& operator=(const TrackList&) = delete;

  // Empty, or why a file could not be created (the recording goes on).
  QString error() const { return error_; }
  QString cuePath() const { return base_ + QStringLiteral(".cue"); }
  QString textPath() const { return base_ + QStringLiteral(".txt"); }

  // A track became audible `frame` frames into the recording.
  void add(std::int64_t frame, const QString& artist, const QString& title);
  // The recording goes on in a new audio file from `frame` on.
  void newPart(std::int64_t frame, const QString& audioFile);
  // Writes the final versions; empty or the reason.
  QString finish();

  int count() const { return tracks_; }

  // "h:mm:ss" of a frame count.
  static QString clock(std::int64_t frame);
  // "mm:ss:ff" (75 frames a second) of a frame count.
  static QString cueTime(std::int64_t frame);

 private:
  void append(const QString& path, const QString& text, QString* whole);

  QString base_;
  QString fileType_;
  QString cue_;   // the whole cue sheet so far
  QString text_;  // the whole plain list so far
  std::int64_t partStart_ = 0;
  int tracks_ = 0;
  QString error_;
  QStringList made_;  // the files this list created
  bool finished_ = false;
};

}  // namespace qdl::record
