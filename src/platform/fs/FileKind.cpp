#include "platform/fs/FileKind.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>

namespace qdl::fs {
namespace {

// Bit rates in kbit/s by [MPEG 1 or not][layer I, II, III][index].
constexpr int kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
// Sample rates by [version bits: 2.5, reserved, 2, 1][index].
constexpr int kSampleRates[4][3] = {
    {11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};

}  // namespace

int mpegFrameLength(const unsigned char* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return 0;
  const int version = (p[1] >> 3) & 3;
  const int layer = (p[1] >> 1) & 3;  // 3: layer I, 2: II, 1: III
  const int rateIndex = p[2] >> 4;
  const int sampleIndex = (p[2] >> 2) & 3;
  if (version == 1 || layer == 0 || rateIndex == 0 || rateIndex == 15 || sampleIndex == 3 ||
      (p[3] & 3) == 2)
    return 0;
  const int bitRate = kBitRates[version == 3 ? 0 : 1][3 - layer][rateIndex] * 1000;
  const int sampleRate = kSampleRates[version][sampleIndex];
  const int padding = (p[2] >> 1) & 1;
  if (layer == 3) return (12 * bitRate / sampleRate + padding) * 4;
  const int factor = (layer == 1 && version != 3) ? 72 : 144;
  return factor * bitRate / sampleRate + padding;
}

bool looksLikeMpegAudio(const QByteArray& head, qint64 fileSize) {
  const auto* p = reinterpret_cast<const unsigned char*>(head.constData());
  const qsizetype n = head.size();
  // ID3v2: "ID3", a version below 0xFF and a size of four 7-bit bytes.
  if (n >= 10 && std::memcmp(p, "ID3", 3) == 0 && p[3] != 0xFF && p[4] != 0xFF &&
      ((p[6] | p[7] | p[8] | p[9]) & 0x80) == 0)
    return true;
  for (qsizetype i = 0; i + 4 <= n; ++i) {
    const int length = mpegFrameLength(p + i);
    if (length == 0) continue;
    const qint64 next = i + length;
    if (next + 4 <= n && mpegFrameLength(p + next) != 0) return true;
    // The last frame of a short file, maybe before its tag.
    if (n == fileSize && (next == fileSize || next == fileSize - 128)) return true;
  }
  return false;
}

int readFileHead(const QString& path, QByteArray& head, int size) {
  head.clear();
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  struct stat st;
  const int statError = ::fstat(fd, &st) != 0 ? errno : (S_ISREG(st.st_mode) ? 0 : EINVAL);
  if (statError != 0) {
    ::close(fd);
    return statError;
  }
  head.resize(size);
  qsizetype got = 0;
  int e = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, head.data() + got, std::size_t(size - got), got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) e = errno;
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  head.resize(got);
  return e;
}

bool looksLikeSqlite(const QByteArray& head) {
  return head.startsWith(QByteArrayLiteral("SQLite format 3\0"));
}

bool fileStartsLikeSqlite(const QString& path) {
  QByteArray head;
  return readFileHead(path, head, 16) == 0 && looksLikeSqlite(head);
}

bool looksLikeText(const QByteArray& head) {
  qsizetype controls = 0;
  for (const char c : head) {
    const auto b = static_cast<unsigned char>(c);
    if (b == 0) return false;
    if ((b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1B) || b == 0x7F)
      ++controls;
  }
  return controls * 100 <= head.size();
}

bool looksLikeSettings(const QByteArray& head) {
  bool blank = true;
  for (const QByteArray& line : head.split('\n')) {
    QByteArray t = line.trimmed();
    if (t.startsWith("\xEF\xBB\xBF")) t = t.mid(3);
    if (t.startsWith('[')) return true;
    if (!t.isEmpty()) blank = false;
  }
  return blank;
}

}  // namespace qdl::fs
