#include "platform/mp3/Decoder.h"

#include <mpg123.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qdl::mp3 {

namespace {

// Consecutive library calls that deliver nothing before a decode gives up.
constexpr int kMaxIdleReads = 64;

void initLibrary() {
  static std::once_flag once;
  // Needed by libmpg123 before 1.27; harmless afterwards.
  std::call_once(once, [] { mpg123_init(); });
}

std::string errnoText(int err) { return std::strerror(err); }

// The sample rate a frame header names; 0 when the four bytes are no MPEG
// audio frame header.
int headerRate(const unsigned char* h) {
  if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
  // By version (2.5, reserved, 2, 1) and rate index.
  static constexpr int kRates[4][3] = {
      {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
  const int version = (h[1] >> 3) & 3;
  const int index = (h[2] >> 2) & 3;
  return index < 3 ? kRates[version][index] : 0;
}

}  // namespace

// The library reads a frame header and a frame body per call; served from a
// buffer filled by large preads, a full frame scan costs a few hundred
// system calls instead of two per frame.
struct Decoder::Reader {
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  int fd = -1;
  std::int64_t size = 0;
  std::int64_t pos = 0;
  std::int64_t bufStart = 0;
  std::size_t bufLen = 0;
  std::vector<char> buf = std::vector<char>(kBufferBytes);

  static mpg123_ssize_t read(void* handle, void* dest, std::size_t bytes) {
    auto* r = static_cast<Reader*>(handle);
    char* out = static_cast<char*>(dest);
    std::size_t done = 0;
    while (done < bytes && r->pos < r->size) {
      if (r->pos >= r->bufStart && r->pos < r->bufStart + std::int64_t(r->bufLen)) {
        const std::size_t at = std::size_t(r->pos - r->bufStart);
        const std::size_t n = std::min(bytes - done, r->bufLen - at);
        std::memcpy(out + done, r->buf.data() + at, n);
        done += n;
        r->pos += std::int64_t(n);
        continue;
      }
      ssize_t got;
      do {
        got = ::pread(r->fd, r->buf.data(), r->buf.size(), r->pos);
      } while (got < 0 && errno == EINTR);
      if (got < 0) return done > 0 ? mpg123_ssize_t(done) : -1;
      if (got == 0) break;  // the file shrank under us: treat as its end
      r->bufStart = r->pos;
      r->bufLen = std::size_t(got);
    }
    return mpg123_ssize_t(done);
  }

  static off_t lseek(void* handle, off_t offset, int whence) {
    auto* r = static_cast<Reader*>(handle);
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
      base = r->pos;
    else if (whence == SEEK_END)
      base = r->size;
    else if (whence != SEEK_SET)
      return -1;
    const std::int64_t target = base + offset;
    if (target < 0) return -1;
    r->pos = target;
    return off_t(target);
  }
};

Decoder::Decoder() = default;

Decoder::~Decoder() { close(); }

void Decoder::close() {
  dropStream();
  input_ = {};
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool Decoder::fail(std::string& reason, const std::string& why) {
  close();
  reason = why;
  return false;
}

bool Decoder::open(const std::string& path, std::string& reason) {
  close();
  initLibrary();

  // O_NONBLOCK keeps a FIFO or device from blocking the open; only regular
  // files are accepted below.
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd_ < 0) return fail(reason, "cannot read: " + errnoText(errno));
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return fail(reason, "cannot read: " + errnoText(errno));
  if (S_ISDIR(st.st_mode)) return fail(reason, "cannot read: " + errnoText(EISDIR));
  if (!S_ISREG(st.st_mode)) return fail(reason, "not a regular file");
  if (st.st_size == 0) return fail(reason, "empty file");
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK);
  // A first read tells unreadable files (I/O errors) apart from bad data.
  char probe = 0;
  if (::pread(fd_, &probe, 1, 0) < 0) return fail(reason, "cannot read: " + errnoText(errno));
  input_.fileBytes = st.st_size;

  if (openStream(false, reason)) return true;
  // The library takes a frame for MPEG audio only once the next frame's
  // header confirms it, so a file of a single frame is refused. Such a file
  // is opened again without that look-ahead and kept when its one frame
  // fills it (an ID3v1 tag or a few bytes of padding may follow).
  std::string again;
  if (openStream(true, again) && frameOffsets_.size() == 1 &&
      frameOffsets_.front() + firstFrameBytes_ + 128 >= input_.fileBytes)
    return true;
  close();
  return false;
}

void Decoder::dropStream() {
  if (handle_) {
    mpg123_close(handle_);
    mpg123_delete(handle_);
    handle_ = nullptr;
  }
  reader_.reset();
  frameOffsets_.clear();
  frame_.clear();
  const std::int64_t fileBytes = input_.fileBytes;
  input_ = {};
  input_.fileBytes = fileBytes;
  output_ = {};
  position_ = 0;
  ended_ = false;
}

bool Decoder::openStream(bool singleFrame, std::string& reason) {
  dropStream();
  auto refuse = [&](const std::string& why) {
    dropStream();
    reason = why;
    return false;
  };
  int err = MPG123_OK;
  handle_ = mpg123_new(nullptr, &err);
  if (!handle_) return refuse(std::string("decoder unavailable: ") + mpg123_plain_strerror(err));
  mpg123_param(handle_, MPG123_ADD_FLAGS,
               MPG123_QUIET | MPG123_GAPLESS | (singleFrame ? MPG123_NO_READAHEAD : 0), 0.0);
  // A growing index keeps the offset of every frame, for exact seeking.
  mpg123_param(handle_, MPG123_INDEX_SIZE, -1000, 0.0);

  reader_ = std::make_unique<Reader>();
  reader_->fd = fd_;
  reader_->size = input_.fileBytes;
  if (mpg123_replace_reader_handle(handle_, &Reader::read, &Reader::lseek, nullptr) != MPG123_OK ||
      mpg123_open_handle(handle_, reader_.get()) != MPG123_OK)
    return refuse(std::string("cannot read: ") + mpg123_strerror(handle_));

  long rate = 0;
  int channels = 0;
  int encoding = 0;
  if (mpg123_getformat(handle_, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
      channels < 1 || channels > 2)
    return refuse("not MP3 data");
  mpg123_frameinfo info{};
  if (mpg123_info(handle_, &info) != MPG123_OK) return refuse("not MP3 data");
  mode_ = info.mode;
  firstFrameBytes_ = info.framesize;
  // One output format for the whole file: 16-bit at the first frame's rate
  // and channel count.
  mpg123_format_none(handle_);
  if (mpg123_format(handle_, rate, channels, MPG123_ENC_SIGNED_16) != MPG123_OK)
    return refuse("unsupported format");

  if (mpg123_scan(handle_) != MPG123_OK)
    return refuse(std::string("cannot read: ") + mpg123_strerror(handle_));
  const off_t samples = mpg123_length(handle_);
  const int spf = mpg123_spf(handle_);
  if (samples <= 0 || spf <= 0) return refuse("not MP3 data (no audio frames)");
  // The library counts each frame at its own rate but plays every frame at
  // the first one's: when the rate changes within the file, the length no
  // longer matches the frames (beyond what the encoder's delay and padding,
  // at most 8190 samples, explain) and seeking and the shown length would
  // both be wrong.
  const off_t frames = mpg123_framelength(handle_);
  if (frames > 0 && std::abs(static_cast<long long>(frames) * spf - samples) > 8190 + 2 * spf)
    return refuse("the sample rate changes within the file");

  off_t* offsets = nullptr;
  off_t step = 1;
  size_t fill = 0;
  if (mpg123_index(handle_, &offsets, &step, &fill) == MPG123_OK && offsets && fill > 0) {
    frameOffsets_.assign(offsets, offsets + fill);
    indexStep_ = std::max<off_t>(step, 1);
  }
  // Rates of one frame size (48 and 44.1 kHz, 24 and 22.05 kHz) keep the
  // count above right, so every indexed frame's header is read as well.
  if (rateChangesAfterFirstFrame(static_cast<int>(rate)))
    return refuse("the sample rate changes within the file");

  output_.sampleRate = static_cast<int>(rate);
  output_.channels = channels;
  output_.bytesPerSample = 2;
  output_.samplesPerFrame = spf;
  output_.frameBytes = spf * channels * 2;
  input_.totalSamples = samples;
  input_.durationSeconds = static_cast<int>(samples / rate);
  frame_.assign(output_.frameBytes, 0);

  if (!seekToSample(0)) return refuse(std::string("cannot read: ") + mpg123_strerror(handle_));
  return true;
}

bool Decoder::rateChangesAfterFirstFrame(int rate) const {
  // The frames lie in file order; their headers are read in large blocks.
  constexpr std::int64_t kBlock = 64 * 1024;
  std::vector<unsigned char> block(kBlock);
  std::int64_t blockStart = 0;
  std::int64_t blockLength = 0;
  for (const std::int64_t at : frameOffsets_) {
    if (at < blockStart || at + 4 > blockStart + blockLength) {
      ssize_t got;
      do {
        got = ::pread(fd_, block.data(), block.size(), at);
      } while (got < 0 && errno == EINTR);
      if (got < 4) return false;  // the file shrank: its frames were counted already
      blockStart = at;
      blockLength = got;
    }
    const int frameRate = headerRate(block.data() + (at - blockStart));
    if (frameRate != 0 && frameRate != rate) return true;
  }
  return false;
}

DecodeStatus Decoder::decode(std::uint8_t* dest) {
  const std::size_t want = static_cast<std::size_t>(output_.frameBytes);
  std::uint8_t* out = dest ? dest : frame_.data();
  if (!handle_) {
    std::memset(out, 0, want);
    return DecodeStatus::Error;
  }
  if (ended_) {
    // Silence after the end still counts as handed out, so the time code
    // stays the playing time of everything delivered.
    std::memset(out, 0, want);
    position_ += output_.samplesPerFrame;
    return DecodeStatus::EndOfInput;
  }

  std::size_t got = 0;
  int idle = 0;
  DecodeStatus result = DecodeStatus::Ok;
  while (got < want) {
    std::size_t done = 0;
    const int r = mpg123_read(handle_, out + got, want - got, &done);
    got += done;
    if (r == MPG123_OK || r == MPG123_NEW_FORMAT) {
      if (done > 0) {
        idle = 0;
      } else if (++idle > kMaxIdleReads) {
        result = DecodeStatus::Error;
        break;
      }
      continue;
    }
    if (r == MPG123_DONE) {
      if (got == 0) result = DecodeStatus::EndOfInput;
    } else {
      result = DecodeStatus::Error;
    }
    break;
  }

  // Keep whole sample frames only, so channel order never slips.
  const std::size_t align = static_cast<std::size_t>(output_.channels) * 2;
  got -= got % align;
  if (result == DecodeStatus::Error) got = 0;
  if (got < want) {
    std::memset(out + got, 0, want - got);
    ended_ = true;  // a short or failed read means the input is exhausted
  }
  position_ += output_.samplesPerFrame;
  return result;
}

Status Decoder::status() const {
  Status s;
  s.mode = mode_;
  if (output_.sampleRate <= 0) return s;
  const std::int64_t total = position_ * 100 / output_.sampleRate;
  s.time.hours = static_cast<int>(total / 360000);
  s.time.minutes = static_cast<int>(total % 360000 / 6000);
  s.time.seconds = static_cast<int>(total % 6000 / 100);
  s.time.hundredths = static_cast<int>(total % 100);
  return s;
}

bool Decoder::seekToSample(std::int64_t sample) {
  if (!handle_) return false;
  sample = std::clamp<std::int64_t>(sample, 0, input_.totalSamples);
  const off_t r = mpg123_seek(handle_, static_cast<off_t>(sample), SEEK_SET);
  if (r < 0) {
    ended_ = true;
    return false;
  }
  position_ = r;
  ended_ = false;
  return true;
}

bool Decoder::seekToTime(float seconds) {
  if (!handle_) return false;
  if (!std::isfinite(seconds)) seconds = 0.0f;
  const double samples = std::round(static_cast<double>(seconds) * output_.sampleRate);
  const double limit = static_cast<double>(input_.totalSamples);
  return seekToSample(static_cast<std::int64_t>(std::clamp(samples, 0.0, limit)));
}

bool Decoder::seekToOffset(std::int64_t offset) {
  if (!handle_) return false;
  if (frameOffsets_.empty() || offset <= frameOffsets_.front()) return seekToSample(0);
  const auto it = std::upper_bound(frameOffsets_.begin(), frameOffsets_.end(), offset);
  const std::int64_t entry = (it - frameOffsets_.begin()) - 1;
  const off_t r = mpg123_seek_frame(handle_, static_cast<off_t>(entry * indexStep_), SEEK_SET);
  if (r < 0) {
    ended_ = true;
    return false;
  }
  position_ = std::max<off_t>(mpg123_tell(handle_), 0);
  ended_ = false;
  return true;
}

}  // namespace qdl::mp3
