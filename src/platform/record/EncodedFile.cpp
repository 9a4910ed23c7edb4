#include "platform/record/EncodedFile.h"

#include <fcntl.h>
#include <lame/lame.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <vector>

namespace qdl::record {

std::optional<Format> formatFromName(const QString& name) {
  const QString n = name.trimmed().toLower();
  if (n == QLatin1String("flac")) return Format::Flac;
  if (n == QLatin1String("wav")) return Format::Wav;
  if (n == QLatin1String("mp3")) return Format::Mp3;
  return std::nullopt;
}

QString formatName(Format format) {
  switch (format) {
    case Format::Flac:
      return QStringLiteral("flac");
    case Format::Wav:
      return QStringLiteral("wav");
    case Format::Mp3:
      return QStringLiteral("mp3");
  }
  return {};
}

EncodedFile::~EncodedFile() {
  if (fd_ >= 0) ::close(fd_);
}

std::int64_t EncodedFile::bytes() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return std::int64_t(st.st_size);
}

bool EncodedFile::fail(const QString& why) {
  if (error_.isEmpty()) error_ = why;
  return false;
}

bool EncodedFile::failFromErrno() { return fail(QString::fromLocal8Bit(std::strerror(errno))); }

namespace {

// Writes all of `size` bytes at the file's end; false on a short write.
bool writeAll(int fd, const unsigned char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// FLAC and WAV through libsndfile, on our descriptor.
class SndFile final : public EncodedFile {
 public:
  SndFile(QString path, int fd, Format format)
      : EncodedFile(std::move(path), fd), wav_(format == Format::Wav) {
    SF_INFO info{};
    info.samplerate = kRate;
    info.channels = kChannels;
    info.format = wav_ ? (SF_FORMAT_WAV | SF_FORMAT_PCM_16) : (SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    file_ = sf_open_fd(fd_, SFM_WRITE, &info, SF_FALSE);
    if (!file_) fail(QString::fromUtf8(sf_strerror(nullptr)));
  }
  ~SndFile() override { close(); }
  bool ok() const { return file_ != nullptr; }

  bool write(const std::int16_t* frames, int count) override {
    if (!file_ || !error_.isEmpty()) return false;
    errno = 0;
    const sf_count_t n = sf_writef_short(file_, frames, count);
    if (n != count || sf_error(file_) != SF_ERR_NO_ERROR) return failWrite();
    if (wav_) {
      // The header follows about once a second, so a killed recording plays.
      sinceHeader_ += count;
      if (sinceHeader_ >= kRate) {
        sinceHeader_ = 0;
        sf_command(file_, SFC_UPDATE_HEADER_NOW, nullptr, 0);
      }
    }
    return true;
  }

  bool close() override {
    if (!file_) return error_.isEmpty();
    const int rc = sf_close(file_);  // writes the last frames and the header
    file_ = nullptr;
    if (rc != 0) fail(QString::fromUtf8(sf_error_number(rc)));
    if (::fsync(fd_) != 0 && errno != EINVAL) failFromErrno();
    return error_.isEmpty();
  }

 private:
  bool failWrite() {
    if (errno != 0) return failFromErrno();
    const QString why = QString::fromUtf8(sf_strerror(file_));
    return fail(why.isEmpty() ? QStringLiteral("write failed") : why);
  }
  SNDFILE* file_ = nullptr;
  bool wav_ = false;
  int sinceHeader_ = 0;
};

// MP3 at 320 kbit/s CBR through LAME. The first frame is the LAME tag, which
// close() fills in (the exact length, so decoders drop the encoder's delay
// and padding).
class Mp3File final : public EncodedFile {
 public:
  Mp3File(QString path, int fd) : EncodedFile(std::move(path), fd) {
    lame_ = lame_init();
    if (!lame_) {
      fail(QStringLiteral("LAME could not be started"));
      return;
    }
    lame_set_in_samplerate(lame_, kRate);
    lame_set_out_samplerate(lame_, kRate);
    lame_set_num_channels(lame_, kChannels);
    lame_set_mode(lame_, JOINT_STEREO);
    lame_set_brate(lame_, kMp3Kbps);
    lame_set_VBR(lame_, vbr_off);
    lame_set_quality(lame_, 5);
    lame_set_bWriteVbrTag(lame_, 1);
    if (lame_init_params(lame_) < 0) {
      fail(QStringLiteral("LAME does not take 44100 Hz stereo at 320 kbit/s"));
      lame_close(lame_);
      lame_ = nullptr;
    }
  }
  ~Mp3File() override { close(); }
  bool ok() const { return lame_ != nullptr; }

  bool write(const std::int16_t* frames, int count) override {
    if (!lame_ || !error_.isEmpty()) return false;
    // LAME's bound for its output: 1.25 * samples + 7200 bytes.
    const std::size_t need = std::size_t(count) * 5 / 4 + 7200;
    if (buffer_.size() < need) buffer_.resize(need);
    const int n = lame_encode_buffer_interleaved(lame_, const_cast<short*>(frames), count,
                                                 buffer_.data(), int(buffer_.size()));
    if (n < 0) return fail(QStringLiteral("LAME failed to encode (%1)").arg(n));
    if (!writeAll(fd_, buffer_.data(), std::size_t(n))) return failFromErrno();
    return true;
  }

  bool close() override {
    if (!lame_) return error_.isEmpty();
    if (error_.isEmpty()) {
      buffer_.resize(std::max<std::size_t>(buffer_.size(), 7200));
      const int n = lame_encode_flush(lame_, buffer_.data(), int(buffer_.size()));
      if (n < 0)
        fail(QStringLiteral("LAME failed to finish (%1)").arg(n));
      else if (!writeAll(fd_, buffer_.data(), std::size_t(n)))
        failFromErrno();
    }
    // The tag frame is rewritten in place, so it needs no room on a full disk.
    unsigned char tag[2880];
    const std::size_t size = lame_get_lametag_frame(lame_, tag, sizeof tag);
    if (size > 0 && size <= sizeof tag && ::pwrite(fd_, tag, size, 0) != ssize_t(size))
      failFromErrno();
    lame_close(lame_);
    lame_ = nullptr;
    if (::fsync(fd_) != 0 && errno != EINVAL) failFromErrno();
    return error_.isEmpty();
  }

 private:
  lame_global_flags* lame_ = nullptr;
  std::vector<unsigned char> buffer_;
};

}  // namespace

std::unique_ptr<EncodedFile> EncodedFile::create(const QString& path, Format format, QString* why) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (why) *why = QString::fromLocal8Bit(std::strerror(errno));
    return nullptr;
  }
  std::unique_ptr<EncodedFile> file;
  bool ok = false;
  if (format == Format::Mp3) {
    auto mp3 = std::make_unique<Mp3File>(path, fd);
    ok = mp3->ok();
    file = std::move(mp3);
  } else {
    auto snd = std::make_unique<SndFile>(path, fd, format);
    ok = snd->ok();
    file = std::move(snd);
  }
  if (!ok) {
    if (why) *why = file->error();
    file.reset();
    ::unlink(name.constData());
    return nullptr;
  }
  return file;
}

}  // namespace qdl::record
