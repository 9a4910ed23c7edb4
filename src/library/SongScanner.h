#pragma once
// The work behind "Check" and "Scan", without any window: the check and
// scan window and the command line `quandrel scan` both run it.
//
// Check: walks the song table in the order of iDateiname and deletes the
// records whose files were deleted. A record is deleted only when its file
// is certainly missing (qdl::fs::fileState) and either its folder is there,
// or its folder is gone while the folder's parent is there, and the path
// does not lie where an unmounted volume would hold it (VolumeMap), neither
// as written nor with its links resolved, and no link on its way points
// nowhere. Records of a pulled-out stick, an absent disc or share, or of
// files the system cannot examine are kept and counted as not reachable:
// their cue points and hand-edited texts survive.
// Known volumes: the scan and the check note the mount point (other than
// "/") of every folder that holds songs in the library's file (the table's
// notes, list "mount points"), so a volume mounted anywhere, by hand or by
// the desktop, counts as absent in later checks, also in later runs, when
// it is not mounted. The notes sit beside the records, not in them: the
// records keep their fields, and a note is committed or rolled back with
// the records that caused it.
// Scan: searches a folder tree for "*.mp3" (any letter case, hidden files
// included) and adds a record for each file not yet in the library through
// TDataModule1::AddSongFile. Paths already in the library are skipped
// without reading their tags.
//
// Order of a scan of `root` (folders end with "/"): scanFolder(root), then
// walkFolders(root), which for each non-hidden subfolder in the order the
// file system returns them first walks that subfolder, then scans it. So the
// files of a folder come after those of all folders below it, and the
// root's own files come first of all. The walk follows no symbolic link to a
// folder, never enters a folder on the list of mount points (other volumes,
// pseudo file systems), never visits one folder twice (bind mounts), and
// skips folders it cannot read without a message.
//
// Retag: re-reads the tags of the records already in the library whose
// files lie below a folder (TDataModule1::RetagCurrent), so that a library
// scanned before the ID3v2 tags were read gets its artists and titles. It
// walks the records in file-name order, not the folders, so also records
// added from hidden folders (by a playlist) are read again.
//
// Changes go to the table in batches (one transaction per some thousand
// changes), so the storage does not sync once per file.
//
// The step callback runs on every folder, every file and every checked
// record; it may process events (timers, repaints) and may call cancel(),
// which stops the work after the current file or record; everything done
// until then stays. Storage failures other than a refused insert throw
// DbError. The counts say what was written: changes of a batch that the
// storage could not commit (a full disk) are taken back out of them.
// Everything runs on the user-interface thread.

#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <unordered_set>

#include "platform/fs/Folders.h"
#include "platform/fs/Volumes.h"

class TDataModule1;

namespace qdl::db {
class Table;
}

namespace qdl::library {

struct ScanCounts {
  int folders = 0;         // folders searched for MP3 files
  int filesFound = 0;      // MP3 files found
  int added = 0;           // records added
  int alreadyPresent = 0;  // files found that were in the library already
  int unreadable = 0;      // folders that could not be searched, files that could not be read
  int notStored = 0;       // files the storage refused for another reason
  int checked = 0;         // records examined by the check
  int removed = 0;         // records removed by the check
  int notReachable = 0;    // records kept because their file cannot be reached now
  bool checkRan = false;   // whether a check was run
  int tagsRead = 0;        // records whose tags were read again
  int retagged = 0;        // records those tags changed
  bool retagRan = false;   // whether tags were read again
};

// The table's notes of the volumes that hold the library's songs (list
// "mount points", see above). Whatever adds songs to the library notes
// their volumes through it: the scan, and the playlist window for the
// songs a load or autoplay adds, so that the check keeps them all alike.
class VolumeNotes {
 public:
  // `volumes` tells where a folder's volume is mounted; it must outlive
  // this object.
  VolumeNotes(db::Table& table, const fs::VolumeMap& volumes) : table_(table), volumes_(volumes) {}

  // Notes the mount point (other than "/") of the volume that holds
  // `folder` (ending with "/"; links resolved), unless it is noted already.
  // Inside an open batch of the table the note is committed or rolled back
  // with it. Throws DbError like Table::addNote.
  void noteFolder(const QString& folder);
  // The same for the folder holding the file at `path`.
  void noteFileFolder(const QString& path);

  // The batch holding notes was rolled back: they are read again.
  void forget();

 private:
  db::Table& table_;
  const fs::VolumeMap& volumes_;
  QSet<QString> noted_;  // known mount points, as far as read or written
  bool read_ = false;    // whether noted_ holds the table's notes
  QString lastFolder_;
};

class SongScanner {
 public:
  enum class Step { Folder, File, Record };

  explicit SongScanner(TDataModule1& data);
  ~SongScanner();
  SongScanner(const SongScanner&) = delete;
  SongScanner& operator=(const SongScanner&) = delete;

  // Called with each step of the work (see above).
  std::function<void(Step)> onStep;

  // Folders the walk never enters (absolute paths without a trailing slash),
  // usually every mount point of the system. A scanned root may be one.
  void setMountPoints(const QStringList& mountPoints);

  // Where volumes are and are not mounted; the running system's unless set.
  void setVolumeMap(const fs::VolumeMap& volumes) { volumes_ = volumes; }

  // Makes iDateiname the table's order when it is not.
  void useFileNameOrder();

  // Deletes the records whose files are gone, from the first record on.
  void checkDatabase();
  // scanFolder(root), then walkFolders(root); root ends with "/".
  void scanRoot(const QString& root);
  // Adds the MP3 files of one folder (ending with "/").
  void scanFolder(const QString& folder);
  // Scans every folder below `folder` (ending with "/"), deepest first.
  void walkFolders(const QString& folder);
  // Reads the tags of every record whose file lies below `root` (ending
  // with "/") again; one Step::Record per record.
  void retagRoot(const QString& root);

  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }

  const ScanCounts& counts() const { return counts_; }
  QString currentFolder() const { return currentFolder_; }

  // Writes what is pending in the table's current batch and starts a new
  // one; called by the work itself every few thousand changes.
  void flush();

 private:
  class Batch;
  void addFile(const QString& path);
  void changed();
  // Whether the check may delete the record of a file that is missing.
  bool isDeleted(const QString& path) const;
  // The changes counted since the last commit were written, or were lost.
  void committed(bool written);
  void step(Step s) {
    if (onStep) onStep(s);
  }

  TDataModule1& data_;
  QSet<QString> mountPoints_;
  fs::VolumeMap volumes_ = fs::VolumeMap::current();
  std::unordered_set<fs::FolderId, fs::FolderIdHash> visited_;
  ScanCounts counts_;
  QString currentFolder_;
  bool cancelled_ = false;
  int pendingChanges_ = 0;
  int pendingAdded_ = 0;     // counted in added, not committed yet
  int pendingRemoved_ = 0;   // counted in removed, not committed yet
  int pendingRetagged_ = 0;  // counted in retagged, not committed yet
  VolumeNotes notes_;        // after volumes_, which it reads
};

// A summary of the counts, one "name: value" line each, for the command
// line: folders, files found, added, already present, unreadable, records
// removed; after a check also records checked and not reachable; after a
// retag the tags read and the records changed; not stored when any file was
// refused.
QString summaryText(const ScanCounts& counts);

}  // namespace qdl::library
