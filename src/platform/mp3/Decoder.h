#pragma once
// MP3 decoder over libmpg123, offering exactly what the MP3 source needs:
// open a file, decode one frame of PCM at a time, report a status with a
// time code, describe input and output, and seek by time or byte offset.
//
// Output is always signed 16-bit native-endian PCM at the file's own sample
// rate and channel count (1 for single-channel files, 2 otherwise).
//
// Frames: every decode call yields one frame of a fixed size per file,
// `samplesPerFrame` sample frames (1152 for MPEG-1 layer 3, 576 for MPEG-2
// and 2.5 layer 3). Gapless decoding is on: the encoder's start delay and end
// padding recorded in the LAME/Xing header are dropped, so sample 0 is the
// first sample of the original signal and the length is the original one.
// The last frame, usually partial, is padded with silence to the full size.
//
// Length: open() scans every frame of the file, so the length is exact for
// VBR files and files without a header frame, and seeking is sample exact.
// A file of a single frame opens; a file whose sample rate changes within it
// is refused (the library would play its frames at the first one's rate).
//
// Time code: the playing time of all frames handed out so far, counted from
// the last seek target: sample frames, padding and the silent frames after
// the end included, divided by the sample rate.
//
// Not thread-safe; one decoder belongs to one user at a time.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct mpg123_handle_struct;

namespace qdl::mp3 {

// Result of one decode call.
enum class DecodeStatus {
  Ok = 0,             // a frame of PCM was written (possibly padded at the end)
  EndOfInput = -514,  // no data left; the frame is silence
  Error = -1,         // the library failed; the frame is silence and the input counts as ended
};

// MPEG channel modes as the frame headers give them.
enum StreamMode { ModeStereo = 0, ModeJointStereo = 1, ModeDualChannel = 2, ModeSingleChannel = 3 };

struct TimeCode {
  int hours = 0;
  int minutes = 0;     // 0..59
  int seconds = 0;     // 0..59
  int hundredths = 0;  // 0..99
};

struct Status {
  int mode = ModeStereo;  // StreamMode of the first frame
  TimeCode time;          // playing time at the end of the data decoded so far
};

struct InputInfo {
  int durationSeconds = 0;        // exact length in whole seconds (truncated)
  std::int64_t totalSamples = 0;  // exact length in sample frames
  std::int64_t fileBytes = 0;
};

struct OutputInfo {
  int frameBytes = 0;      // bytes of every decoded frame, the last one included
  int bytesPerSample = 2;  // per channel
  int sampleRate = 0;
  int channels = 0;
  int samplesPerFrame = 0;
};

class Decoder {
 public:
  Decoder();
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Opens `path` (a local file name in the file system's encoding) and scans
  // all of its frames. On failure returns false, sets `reason` ("empty file",
  // "not MP3 data", "cannot read: No such file or directory", ...) and leaves
  // the decoder closed. An open decoder is positioned at the start.
  bool open(const std::string& path, std::string& reason);
  void close();
  bool isOpen() const { return handle_ != nullptr; }

  // Decodes one frame. With `dest` the frame's output().frameBytes bytes go
  // there, otherwise into the decoder's own buffer (see frame()). Always
  // writes a whole frame; silence where there is no data.
  DecodeStatus decode(std::uint8_t* dest = nullptr);
  const std::uint8_t* frame() const { return frame_.data(); }

  Status status() const;
  const InputInfo& input() const { return input_; }
  const OutputInfo& output() const { return output_; }

  // Positions the next decode at `seconds` (rounded to the nearest sample,
  // limited to 0..length). Returns false when the library failed; the input
  // then counts as ended until the next successful seek.
  bool seekToTime(float seconds);
  // Positions the next decode at the start of the frame that holds byte
  // `offset` of the file; offsets before the first frame give the start.
  bool seekToOffset(std::int64_t offset);
  // Positions the next decode at sample frame `sample` (limited to
  // 0..length); false as seekToTime.
  bool seekToSample(std::int64_t sample);

  // Sample frames from the start to the next decoded sample.
  std::int64_t position() const { return position_; }
  // True once the last sample of the input was decoded: every further
  // decode call returns EndOfInput.
  bool atEnd() const { return ended_ || position_ >= input_.totalSamples; }
  // (position() goes on growing by a frame per decode call after the end.)

 private:
  bool fail(std::string& reason, const std::string& why);
  // Sets up the library on the open file: format, full scan, index. Without
  // `singleFrame` a frame counts only once the next one confirms it.
  bool openStream(bool singleFrame, std::string& reason);
  void dropStream();  // the library's part; the file stays open
  // Whether an indexed frame's header names another rate than `rate`.
  bool rateChangesAfterFirstFrame(int rate) const;

  struct Reader;
  mpg123_handle_struct* handle_ = nullptr;
  std::unique_ptr<Reader> reader_;
  int fd_ = -1;
  int mode_ = ModeStereo;
  bool ended_ = false;
  std::int64_t position_ = 0;
  InputInfo input_;
  OutputInfo output_;
  std::vector<std::int64_t> frameOffsets_;  // file offset of every indexed frame
  std::int64_t indexStep_ = 1;              // frames between two index entries
  int firstFrameBytes_ = 0;                 // the first frame's size in the file, header included
  std::vector<std::uint8_t> frame_;
};

}  // namespace qdl::mp3
