#include "platform/fs/Folders.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qdl::fs {
namespace {

// An open directory stream, closed on every way out.
class Dir {
 public:
  explicit Dir(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    dir_ = ::fdopendir(fd);
    if (!dir_) ::close(fd);
  }
  ~Dir() {
    if (dir_) ::closedir(dir_);
  }
  Dir(const Dir&) = delete;
  Dir& operator=(const Dir&) = delete;

  bool isOpen() const { return dir_ != nullptr; }
  int fd() const { return ::dirfd(dir_); }

  // The next entry other than "." and ".."; nullptr at the end or on a read
  // error (then failed() is true).
  const dirent* next() {
    for (;;) {
      errno = 0;
      const dirent* e = ::readdir(dir_);
      if (!e) {
        failed_ = errno != 0;
        return nullptr;
      }
      const char* n = e->d_name;
      if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
      return e;
    }
  }
  bool failed() const { return failed_; }

 private:
  DIR* dir_ = nullptr;
  bool failed_ = false;
};

EntryKind kindOf(int dirFd, const dirent* e) {
  switch (e->d_type) {
    case DT_REG:
      return EntryKind::File;
    case DT_DIR:
      return EntryKind::Folder;
    case DT_LNK: {
      struct stat st;
      if (::fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) return EntryKind::File;
      return EntryKind::Other;
    }
    case DT_UNKNOWN: {
      struct stat st;
      if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Other;
      if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
      if (S_ISREG(st.st_mode)) return EntryKind::File;
      if (S_ISLNK(st.st_mode) && ::fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode))
        return EntryKind::File;
      return EntryKind::Other;
    }
    default:
      return EntryKind::Other;
  }
}

bool endsWithNoCase(const char* name, std::size_t length, const QByteArray& suffix) {
  const auto n = std::size_t(suffix.size());
  if (length < n) return false;
  return ::strncasecmp(name + (length - n), suffix.constData(), n) == 0;
}

// The name as a QString, or false when the name does not come back to the
// same bytes (bytes that are not UTF-8 decode to replacement characters, and
// a path made of them names another file or none).
bool decodeName(const char* name, QString& out) {
  out = QFile::decodeName(name);
  for (const char* c = name; *c; ++c)
    if (static_cast<unsigned char>(*c) >= 0x80) return QFile::encodeName(out) == name;
  return true;
}

}  // namespace

bool listFolder(const QString& folder, Hidden hidden, std::vector<FolderEntry>& out, FolderId* id,
                int* undecodableFolders) {
  out.clear();
  Dir dir(folder);
  if (!dir.isOpen()) return false;
  if (id) {
    struct stat st;
    if (::fstat(dir.fd(), &st) != 0) return false;
    *id = FolderId{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
  }
  while (const dirent* e = dir.next()) {
    if (hidden == Hidden::Skip && e->d_name[0] == '.') continue;
    QString name;
    const EntryKind kind = kindOf(dir.fd(), e);
    if (!decodeName(e->d_name, name)) {
      if (undecodableFolders && kind == EntryKind::Folder) ++*undecodableFolders;
      continue;
    }
    out.push_back(FolderEntry{name, kind});
  }
  if (dir.failed()) {
    out.clear();
    return false;
  }
  return true;
}

bool findFiles(const QString& folder, const QByteArray& suffix, Hidden hidden, QStringList& out,
               int* undecodable) {
  out.clear();
  Dir dir(folder);
  if (!dir.isOpen()) return false;
  while (const dirent* e = dir.next()) {
    if (hidden == Hidden::Skip && e->d_name[0] == '.') continue;
    if (!endsWithNoCase(e->d_name, std::strlen(e->d_name), suffix)) continue;
    if (kindOf(dir.fd(), e) != EntryKind::File) continue;
    QString name;
    if (!decodeName(e->d_name, name)) {
      if (undecodable) ++*undecodable;
      continue;
    }
    out << name;
  }
  if (dir.failed()) {
    out.clear();
    return false;
  }
  return true;
}

bool folderId(const QString& path, FolderId& id) {
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  id = FolderId{std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
  return true;
}

bool fileExists(const QString& path) {
  struct stat st;
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISDIR(st.st_mode);
}

FileState fileState(const QString& path) {
  if (path.isEmpty()) return FileState::Missing;
  struct stat st;
  if (::stat(QFile::encodeName(path).constData(), &st) == 0)
    return S_ISDIR(st.st_mode) ? FileState::Missing : FileState::Present;
  return (errno == ENOENT || errno == ENOTDIR) ? FileState::Missing : FileState::Unknown;
}

bool isFileMissing(const QString& path) { return fileState(path) == FileState::Missing; }

std::optional<QString> resolvedPath(const QString& path) {
  const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QByteArray at;  // resolved so far, without links; "" is the root
  for (qsizetype i = 0; i < parts.size(); ++i) {
    const QByteArray next = at + '/' + QFile::encodeName(parts[i]);
    struct stat st;
    if (::lstat(next.constData(), &st) != 0) {
      if (errno != ENOENT && errno != ENOTDIR) return std::nullopt;
      // Missing from here on: the rest stays as it stands.
      QString rest = QFile::decodeName(at);
      for (qsizetype j = i; j < parts.size(); ++j) rest += QLatin1Char('/') + parts[j];
      return rest;
    }
    if (!S_ISLNK(st.st_mode)) {
      at = next;
      continue;
    }
    char* target = ::realpath(next.constData(), nullptr);
    if (!target) return std::nullopt;  // dangling, a loop, or not to be examined
    at = target;
    std::free(target);
    if (at == "/") at.clear();
  }
  return at.isEmpty() ? QStringLiteral("/") : QFile::decodeName(at);
}

}  // namespace qdl::fs
