#pragma once
// TMp3Source: one MP3 file as a stream of PCM blocks for one stream player.
//
// Units: times in hundredths of a second unless a name says seconds; sizes
// in bytes. PCM is signed 16-bit native-endian, interleaved, at the file's
// own rate and channel count.
//
// Blocks: every ReadBlock hands out exactly BufferBytes / 2 bytes. Whole
// decoded frames are appended to what the previous block left over (the
// carry-over), so CarryBytes always stays below 2 * FrameBytes. The song's
// last 3 ms are faded to silence; everything else is the decoder's PCM.
//
// Opening: the constructor throws Mp3OpenError when the file cannot be
// used (missing, unreadable, empty, not MP3 data); no half-made source ever
// exists, and the caller refuses the song with the error's reason.
//
// Threads: all calls come from the UI thread; a source belongs to one player.

#include <QString>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qdl {

namespace mp3 {
class Decoder;
}

// Raised when a file cannot be opened as MP3 data. what() reads
// "<file>: <reason>".
class Mp3OpenError : public std::runtime_error {
 public:
  Mp3OpenError(const QString& fileName, const QString& reason);
  const QString& fileName() const { return fileName_; }
  // Short reason in English: "empty file", "not MP3 data", "cannot read: ...".
  const QString& reason() const { return reason_; }

 private:
  QString fileName_;
  QString reason_;
};

class TMp3Source {
 public:
  // Opens and probes `fileName`; afterwards every format field is set and
  // the next block starts at the beginning of the song. Throws Mp3OpenError.
  explicit TMp3Source(const QString& fileName);
  ~TMp3Source();
  TMp3Source(const TMp3Source&) = delete;
  TMp3Source& operator=(const TMp3Source&) = delete;

  // Writes exactly BufferBytes / 2 bytes to `dest`. Returns 10 when this
  // block hands out the end of the input: the block with the song's last
  // sound (its bytes after the end are silence) and every later block (all
  // silence). Otherwise 0.
  int ReadBlock(std::uint8_t* dest);
  // Playing time of the first byte the next ReadBlock hands out.
  int GetTime() const;
  // Positions the source so that the next block begins with the first
  // sample at or after `hundredths` (negative values mean 0): 0 is the
  // song's first sample. Also valid after the end was reached.
  void Seek(int hundredths);
  // Positions the source so that the next block begins with sample frame
  // `sample` (clamped to 0 .. the song's length).
  void SeekSample(std::int64_t sample);
  // The sample frame the next ReadBlock hands out first.
  std::int64_t NextSample() const;

  int SampleRate = 0;     // samples per second per channel
  int BitsPerSample = 0;  // 16
  // Size of the player's ring: half a second of PCM, rounded down so that
  // each half holds whole sample frames (see Formate.cpp).
  int BufferBytes = 0;
  int BytesPerSecond = 0;  // SampleRate * Channels * BitsPerSample / 8
  int Channels = 0;        // 1 for single-channel files, otherwise 2
  int Duration = 0;        // length in whole seconds * 100
  int FrameBytes = 0;      // PCM bytes per decoded frame
  double FrameSeconds = 0.0;
  int CarryBytes = 0;      // decoded bytes not yet handed out
  double CarryTime = 0.0;  // their playing time in hundredths
  int FramesPerBlock = 0;  // ceil((BufferBytes / 2) / FrameBytes)

 private:
  int blockAlign() const { return Channels * BitsPerSample / 8; }
  // Fades the part of a decoded frame that lies in the song's last 3 ms;
  // `first` is the frame's first sample.
  void fadeOutEnd(std::uint8_t* frame, std::int64_t first) const;

  std::unique_ptr<mp3::Decoder> decoder_;
  // Carry-over at the front, then room for the frames of one block.
  std::vector<std::uint8_t> work_;
  // Offset in work_ where the song's data ends, once the decoder has met the
  // end of the input; -1 before.
  int endOffset_ = -1;
};

}  // namespace qdl
