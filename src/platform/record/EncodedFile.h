#pragma once
// One recording file being written: FLAC or WAV through libsndfile, MP3
// (320 kbit/s constant bit rate) through LAME. Input is 44100 Hz 16-bit
// stereo, interleaved.
//
// The file is created with O_EXCL: an existing file is never replaced.
// What a crash leaves behind plays: a WAV file's header is brought up to
// date about once a second of audio, a FLAC file is a stream of frames that
// decodes up to the last one written, and an MP3 file is a stream of frames
// anyway. close() finishes the file (headers, the last frames) also after a
// failed write, so a full disk leaves a valid file up to there.
//
// Threads: one object is used by one thread at a time.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace qdl::record {

enum class Format { Flac, Wav, Mp3 };

// "flac", "wav", "mp3" (any letter case) or nothing.
std::optional<Format> formatFromName(const QString& name);
QString formatName(Format format);  // "flac", "wav", "mp3": also the file extension

class EncodedFile {
 public:
  static constexpr int kRate = 44100;
  static constexpr int kChannels = 2;
  static constexpr int kMp3Kbps = 320;

  // Creates `path` (never replacing a file: errno EEXIST and null then) and
  // prepares the encoder. Null with the reason in `why` on failure.
  static std::unique_ptr<EncodedFile> create(const QString& path, Format format, QString* why);
  virtual ~EncodedFile();
  EncodedFile(const EncodedFile&) = delete;
  EncodedFile& operator=(const EncodedFile&) = delete;

  // Encodes and writes `frames` frames. False once a write failed (the
  // reason in error()); nothing more is written then.
  virtual bool write(const std::int16_t* frames, int count) = 0;
  // Finishes the file and closes it; false with error() when that failed
  // (what was written before stays). A second call does nothing.
  virtual bool close() = 0;

  // Bytes in the file now (what the encoder has handed to the system).
  std::int64_t bytes() const;
  QString error() const { return error_; }
  const QString& path() const { return path_; }

 protected:
  EncodedFile(QString path, int fd) : path_(std::move(path)), fd_(fd) {}
  bool fail(const QString& why);
  bool failFromErrno();
  QString path_;
  int fd_ = -1;
  QString error_;
};

}  // namespace qdl::record
