// Playlist files on disk: reading with guards against what is no playlist
// (folders, pipes, huge or binary files), and the atomic write of ".qdp".

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "playlist/PlaylistFile.h"

namespace qdl::playlist {

ReadError readFileBytes(const QString& path, QByteArray& bytes, QString& detail) {
  bytes.clear();
  detail.clear();
  // Without blocking: a pipe chosen as playlist must not wait for a writer.
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int e = errno;
    if (e == ENOENT || e == ENOTDIR) return ReadError::NotFound;
    detail = QString::fromLocal8Bit(std::strerror(e));
    return ReadError::Unreadable;
  }
  struct stat st;
  ReadError result = ReadError::None;
  if (::fstat(fd, &st) != 0) {
    detail = QString::fromLocal8Bit(std::strerror(errno));
    result = ReadError::Unreadable;
  } else if (S_ISDIR(st.st_mode)) {
    result = ReadError::IsFolder;
  } else if (!S_ISREG(st.st_mode)) {
    result = ReadError::NotRegular;
  } else if (st.st_size > kMaxFileBytes) {
    detail = QString::number(st.st_size);
    result = ReadError::TooLarge;
  } else {
    // Read to the end, but never past the limit: the file may grow.
    bytes.resize(qsizetype(st.st_size) + 1);
    qsizetype have = 0;
    for (;;) {
      if (have == bytes.size()) {
        if (have > kMaxFileBytes) break;
        bytes.resize(qMin<qsizetype>(have * 2 + 4096, kMaxFileBytes + 1));
      }
      const ssize_t n = ::read(fd, bytes.data() + have, size_t(bytes.size() - have));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        detail = QString::fromLocal8Bit(std::strerror(errno));
        result = ReadError::Unreadable;
        break;
      }
      if (n == 0) break;
      have += n;
    }
    bytes.truncate(have);
    if (result == ReadError::None && have > kMaxFileBytes) {
      detail = QString::number(have);
      result = ReadError::TooLarge;
    }
  }
  ::close(fd);
  if (result != ReadError::None) bytes.clear();
  return result;
}

FileResult readPlaylistFile(const QString& path, const QStringList& mountPoints) {
  FileResult r;
  r.format = formatOf(path).value_or(Format::Qdp);
  QByteArray bytes;
  r.error = readFileBytes(path, bytes, r.detail);
  if (r.error != ReadError::None) return r;
  bool binary = false;
  const QString text = decodeText(bytes, &binary);
  if (binary) {
    r.error = ReadError::Binary;
    return r;
  }
  if (r.format == Format::Qdp) {
    r.read = readQdpText(text);
  } else {
    const QFileInfo info(path);
    M3uPlace place;
    place.folder = info.absolutePath();
    // The volume is found on the real path: a link to a list on a stick
    // still names the stick's root.
    const QString real = info.canonicalFilePath();
    place.volumeRoot = volumeRootOf(real.isEmpty() ? info.absoluteFilePath() : real, mountPoints);
    r.read = readM3uText(text, place);
  }
  return r;
}

QString writeQdp(const QString& path, const QStringList& entries, fs::Replace replace) {
  return fs::writeFileSafely(path, qdpBytes(entries), fs::OutputKind::Playlist, replace);
}

}  // namespace qdl::playlist
