#pragma once
// Folder searches and file tests over POSIX calls, fast enough to walk whole
// disks: one readdir pass per search, no stat for entries whose type the
// directory already tells.
//
// Paths are QStrings in the file system's encoding (QFile::encodeName).
// A folder that cannot be opened or read yields nothing; the result says so.
// Entries come in the order the file system returns them; "." and ".." never.

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace qdl::fs {

// Hidden entries are those whose names begin with a dot.
enum class Hidden { Include, Skip };

enum class EntryKind {
  File,    // a regular file, or a symbolic link to one
  Folder,  // a real folder (never a symbolic link)
  Other,   // a link to a folder, a broken link, a device, a socket, ...
};

struct FolderEntry {
  QString name;
  EntryKind kind = EntryKind::Other;
};

// Identity of a folder on its file system (device and inode).
struct FolderId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

struct FolderIdHash {
  std::size_t operator()(const FolderId& id) const noexcept {
    return std::size_t(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
  }
};

// Entries of `folder`. Returns false, with `out` empty, when the folder
// cannot be opened or read. `id`, when given, receives the folder's identity.
// Entries whose names are not text in the file system's encoding (UTF-8)
// are left out, since no QString path reaches them; `undecodableFolders`,
// when given, receives how many of them were folders.
bool listFolder(const QString& folder, Hidden hidden, std::vector<FolderEntry>& out,
                FolderId* id = nullptr, int* undecodableFolders = nullptr);

// Names of the files in `folder` whose names end with `suffix` (compared
// without regard to case, ASCII letters), hidden files included or not.
// Returns false, with `out` empty, when the folder cannot be read. Files
// whose names are not text in the file system's encoding are left out and
// counted in `undecodable`, when given.
bool findFiles(const QString& folder, const QByteArray& suffix, Hidden hidden, QStringList& out,
               int* undecodable = nullptr);

// The identity of the folder at `path` (links followed); false when it
// cannot be examined or is no folder.
bool folderId(const QString& path, FolderId& id);

// True when a file (not a folder) exists at `path`, following links.
bool fileExists(const QString& path);

enum class FileState {
  Present,  // a file (not a folder) is there
  Missing,  // the file system says for sure that no file is there
  Unknown,  // it cannot tell (no permission on a folder, an I/O error)
};

// What is at `path`, following links: a folder counts as Missing (no file).
FileState fileState(const QString& path);

// `path` (absolute) as the file system resolves it: each symbolic link in
// the part of the path that exists is replaced by where it points, the part
// that does not exist is kept as it stands. Nothing when a link on the way
// points nowhere (its target, a stick or a share, may just not be there) or
// when a folder on the way cannot be examined.
std::optional<QString> resolvedPath(const QString& path);

// True only when the file system says for sure that no file is at `path`:
// the path or one of its folders does not exist, or it names a folder. A
// path that cannot be examined (no permission on a folder, an I/O error)
// is not missing.
bool isFileMissing(const QString& path);

}  // namespace qdl::fs
