#pragma once
// The one way the console writes a file of its own (settings, playlists,
// PDF song lists, later side files): the new content goes to a temporary
// file in the target's folder, every write, flush and sync is checked, and
// only a complete file takes the target's name. On any failure the old file
// stays byte for byte and the temporary file is removed.
//
// Before anything is written the target is examined:
// - a symbolic link is followed only to a regular file owned by the user
//   who runs the console (the link stays, its target is replaced);
// - a target that is not a regular file (pipe, device, folder, socket) is
//   refused;
// - an output never replaces a song library or its journal files, the
//   settings file qdl.ini, an MP3 file, or an existing file that is not of
//   the output's own kind (a PDF replaces only a PDF, a playlist only a
//   text file).
//
// Reasons are English sentences without the path; callers name the file.
// Called from any thread; the functions keep no state.

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace qdl::fs {

// What a file is, for the question of what it may replace.
enum class OutputKind {
  Settings,  // qdl.ini: replaces only a text file that is empty or has sections
  Playlist,  // .qdp: replaces only a text file
  Pdf,       // replaces only a PDF file
  Csv,       // replaces only a text file
  SideFile,  // a file of the console's own beside another (replaces only text)
};

enum class Replace {
  Allowed,  // an existing file of the same kind is replaced
  Never,    // an existing file is never replaced: the write fails (EEXIST)
};

// Why an output of `kind` must not be written at `path`, or an empty string
// when it may be. Reads at most the first 64 KiB of an existing file.
QString refusedTarget(const QString& path, OutputKind kind);

// Writes `bytes` as the whole content of `path`. Empty on success, else the
// reason (the old file, if any, is unchanged).
QString writeFileSafely(const QString& path, const QByteArray& bytes, OutputKind kind,
                        Replace replace = Replace::Allowed);

// The first name like `path` that no file holds: "Friday.qdp" itself when
// free, else "Friday (2).qdp", "Friday (3).qdp", ...
QString freeName(const QString& path);

// Gives the complete file `from` the name `to` (same file system). With
// Replace::Never a file that is there already wins: false with errno
// EEXIST. File systems without no-replace renames (FAT on a stick) get a
// hard link, or the name when it is still free.
bool publishFile(const QString& from, const QString& to, Replace replace);
// Makes a rename durable: the entry in the folder of `path` is synced.
void syncFolderOf(const QString& path);

// A write-only device over a temporary file beside the target, for writers
// that stream (a PDF writer): open() examines the target and creates the
// temporary file; commit() syncs it and gives it the target's name. A
// failed write is remembered, so commit() fails too. Destroying the object
// without commit() removes the temporary file.
class SafeFile : public QIODevice {
 public:
  SafeFile(QString target, OutputKind kind, Replace replace = Replace::Allowed);
  ~SafeFile() override;
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  bool open(OpenMode mode) override;
  // Makes the written bytes the target's content. False with a reason in
  // errorString() when anything failed; the old file is then unchanged.
  bool commit();
  // Drops what was written.
  void cancelWriting();

  bool isSequential() const override { return true; }
  // The reason of the first failure (also in errorString()).
  QString failure() const { return failure_; }

 protected:
  qint64 readData(char* data, qint64 maxSize) override;
  qint64 writeData(const char* data, qint64 size) override;

 private:
  void fail(const QString& why);
  void removeTemporary();

  QString target_;    // the path as given
  QString resolved_;  // the file that is replaced (a link's target)
  OutputKind kind_;
  Replace replace_;
  QString temporary_;
  int fd_ = -1;
  QString failure_;
};

}  // namespace qdl::fs
