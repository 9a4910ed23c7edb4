#include "platform/fs/SafeWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/fs/FileKind.h"

namespace qdl::fs {
namespace {

QString systemError(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

QByteArray encoded(const QString& path) { return QFile::encodeName(path); }

// What a file whose type is not regular is, in words.
QString notRegular(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("It is a folder, not a file.");
  if (S_ISFIFO(mode)) return QStringLiteral("It is a pipe, not a regular file.");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("It is a device, not a regular file.");
  if (S_ISSOCK(mode)) return QStringLiteral("It is a socket, not a regular file.");
  return QStringLiteral("It is not a regular file.");
}

// Whether the folder entry `name` names a journal file of an SQLite
// database that lies beside it (data.db-journal, data.db-wal, data.db-shm).
bool isJournalOfDatabase(const QString& path) {
  for (const char* suffix : {"-journal", "-wal", "-shm"}) {
    const QLatin1String s(suffix);
    if (!path.endsWith(s)) continue;
    const QString database = path.chopped(s.size());
    return fileStartsLikeSqlite(database);
  }
  return false;
}

// Why the regular file at `path` (no link) must not be replaced by an
// output of `kind`, or empty. `st` is its status.
QString refusedRegular(const QString& path, const struct stat& st, OutputKind kind) {
  if (st.st_size == 0) return {};  // nothing to lose
  QByteArray head;
  const int e = readFileHead(path, head, kFileKindProbeBytes);
  if (e != 0)
    return QStringLiteral("It cannot be read to tell what it is (%1).").arg(systemError(e));
  if (looksLikeSqlite(head))
    return QStringLiteral(
        "It is a database (a song library), which only the console's library "
        "code may change.");
  if (QFileInfo(path).suffix().compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("It is an MP3 file.");
  const bool pdf = head.startsWith("%PDF-");
  if (kind == OutputKind::Pdf) {
    if (pdf) return {};
  } else if (looksLikeText(head) && !looksLikeMpegAudio(head, qint64(st.st_size))) {
    if (kind != OutputKind::Settings || looksLikeSettings(head)) return {};
    return QStringLiteral("It holds no settings sections, so it is not a settings file.");
  }
  if (looksLikeMpegAudio(head, qint64(st.st_size))) return QStringLiteral("It is an MP3 file.");
  if (pdf) return QStringLiteral("It is a PDF file.");
  if (kind == OutputKind::Pdf) return QStringLiteral("It is not a PDF file.");
  return QStringLiteral("It is not a text file.");
}

// Examines the target. Returns the refusal or empty; `replaced` receives
// the path of the file that the write replaces (a link's target) and
// `exists` whether something is there.
QString examine(const QString& path, OutputKind kind, QString& replaced, bool& exists) {
  replaced = path;
  exists = false;
  if (path.isEmpty()) return QStringLiteral("No file name was given.");
  const QString name = QFileInfo(path).fileName();
  if (kind != OutputKind::Settings &&
      name.compare(QLatin1String("qdl.ini"), Qt::CaseInsensitive) == 0)
    return QStringLiteral("It is the console's settings file.");
  if (isJournalOfDatabase(path))
    return QStringLiteral(
        "It belongs to a song library (its journal), which only the console's "
        "library code may change.");
  struct stat st;
  if (::lstat(encoded(path).constData(), &st) != 0) return {};  // nothing there (or the write says)
  exists = true;
  if (S_ISLNK(st.st_mode)) {
    char buffer[PATH_MAX];
    if (!::realpath(encoded(path).constData(), buffer))
      return QStringLiteral("It is a link that leads nowhere (%1).").arg(systemError(errno));
    replaced = QFile::decodeName(buffer);
    if (::stat(buffer, &st) != 0) return systemError(errno);
    if (!S_ISREG(st.st_mode))
      return QStringLiteral("It is a link to something that is not a regular file.");
    if (st.st_uid != ::geteuid())
      return QStringLiteral(
                 "It is a link to a file of another user (%1), which the console "
                 "does not write through.")
          .arg(replaced);
    if (kind != OutputKind::Settings &&
        QFileInfo(replaced).fileName().compare(QLatin1String("qdl.ini"), Qt::CaseInsensitive) == 0)
      return QStringLiteral("It is a link to the console's settings file.");
    if (isJournalOfDatabase(replaced))
      return QStringLiteral("It is a link to a song library's journal.");
  }
  if (!S_ISREG(st.st_mode)) return notRegular(st.st_mode);
  return refusedRegular(replaced, st, kind);
}

bool publish(const QByteArray& from, const QByteArray& to, Replace replace) {
  if (replace == Replace::Allowed) return ::rename(from.constData(), to.constData()) == 0;
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EEXIST) return false;
  if (::link(from.constData(), to.constData()) == 0) {
    ::unlink(from.constData());
    return true;
  }
  if (errno == EEXIST) return false;
  struct stat st;
  if (::lstat(to.constData(), &st) == 0) {
    errno = EEXIST;
    return false;
  }
  return ::rename(from.constData(), to.constData()) == 0;
}

}  // namespace

bool publishFile(const QString& from, const QString& to, Replace replace) {
  return publish(encoded(from), encoded(to), replace);
}

void syncFolderOf(const QString& path) {
  const int fd = ::open(encoded(QFileInfo(path).absolutePath()).constData(),
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // some file systems refuse to sync a folder; the rename stands anyway
  ::close(fd);
}

QString refusedTarget(const QString& path, OutputKind kind) {
  QString replaced;
  bool exists = false;
  return examine(path, kind, replaced, exists);
}

QString writeFileSafely(const QString& path, const QByteArray& bytes, OutputKind kind,
                        Replace replace) {
  SafeFile file(path, kind, replace);
  if (!file.open(QIODevice::WriteOnly)) return file.failure();
  if (!bytes.isEmpty()) file.write(bytes);
  if (!file.commit()) return file.failure();
  return {};
}

QString freeName(const QString& path) {
  const QFileInfo info(path);
  struct stat st;
  if (::lstat(encoded(path).constData(), &st) != 0 && errno == ENOENT) return path;
  const QString base = info.completeBaseName();
  const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
  for (int n = 2;; ++n) {
    const QString candidate =
        info.dir().filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(suffix));
    if (::lstat(encoded(candidate).constData(), &st) != 0 && errno == ENOENT) return candidate;
  }
}

SafeFile::SafeFile(QString target, OutputKind kind, Replace replace)
    : target_(std::move(target)), kind_(kind), replace_(replace) {}

SafeFile::~SafeFile() { removeTemporary(); }

void SafeFile::fail(const QString& why) {
  if (failure_.isEmpty()) failure_ = why;
  setErrorString(failure_);
}

void SafeFile::removeTemporary() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.isEmpty()) ::unlink(encoded(temporary_).constData());
  temporary_.clear();
}

bool SafeFile::open(OpenMode mode) {
  if (isOpen() || !(mode & WriteOnly) || (mode & ReadOnly)) {
    fail(QStringLiteral("The file can only be opened once, for writing."));
    return false;
  }
  bool exists = false;
  const QString refusal = examine(target_, kind_, resolved_, exists);
  if (!refusal.isEmpty()) {
    fail(refusal);
    return false;
  }
  if (exists && replace_ == Replace::Never) {
    fail(systemError(EEXIST));
    return false;
  }
  struct stat old;
  const bool hadFile = exists && ::stat(encoded(resolved_).constData(), &old) == 0;
  const QFileInfo info(resolved_);
  // The temporary file lives in the target's folder, so that the rename
  // that publishes it never crosses file systems.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    const QString name = QStringLiteral(".%1.%2.part")
                             .arg(info.fileName())
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    temporary_ = info.dir().filePath(name);
    fd_ = ::open(encoded(temporary_).constData(),
                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int e = errno;
    temporary_.clear();
    fail(systemError(e));
    return false;
  }
  if (hadFile) {
    // The new file keeps the old one's permissions and, where allowed, owner.
    if (::fchown(fd_, old.st_uid, old.st_gid) != 0) { /* another owner is not ours to give */
    }
    ::fchmod(fd_, old.st_mode & 07777);
  }
  return QIODevice::open(mode | Unbuffered);
}

qint64 SafeFile::readData(char*, qint64) { return -1; }

qint64 SafeFile::writeData(const char* data, qint64 size) {
  if (fd_ < 0 || !failure_.isEmpty()) return -1;
  qint64 done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd_, data + done, std::size_t(size - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fail(systemError(n < 0 ? errno : ENOSPC));
      return -1;
    }
    done += n;
  }
  return done;
}

bool SafeFile::commit() {
  if (fd_ < 0 && failure_.isEmpty()) fail(QStringLiteral("The file was not opened."));
  if (failure_.isEmpty() && ::fsync(fd_) != 0) fail(systemError(errno));
  if (fd_ >= 0) {
    if (::close(fd_) != 0) fail(systemError(errno));
    fd_ = -1;
  }
  if (failure_.isEmpty() && !publish(encoded(temporary_), encoded(resolved_), replace_))
    fail(systemError(errno));
  QIODevice::close();
  if (!failure_.isEmpty()) {
    removeTemporary();
    return false;
  }
  temporary_.clear();
  syncFolderOf(resolved_);
  return true;
}

void SafeFile::cancelWriting() {
  removeTemporary();
  if (isOpen()) QIODevice::close();
}

}  // namespace qdl::fs
