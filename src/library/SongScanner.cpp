#include "library/SongScanner.h"

#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "library/Datamod.h"
#include "library/ScanRoots.h"
#include "platform/db/Table.h"

namespace qdl::library {
namespace {

// Changes written per transaction: large enough that syncing costs nothing
// per file, small enough that an interrupted run keeps most of its work.
constexpr int kChangesPerBatch = 4000;

const QString kFileNameIndex = QStringLiteral("iDateiname");
// The table's notes that list the mount points of the library's volumes.
const QString kMountPoints = QStringLiteral("mount points");

// The folder of a path, with its trailing "/".
QString folderOf(const QString& path) { return path.left(path.lastIndexOf(QLatin1Char('/')) + 1); }

}  // namespace

// Keeps the table in one batch while the work runs; commits on every way out
// and tells the scanner whether what it counted was written.
class SongScanner::Batch {
 public:
  explicit Batch(SongScanner& scanner) : scanner_(scanner), table_(*scanner.data_.Table1) {
    table_.beginBatch();
  }
  ~Batch() noexcept(false) {
    // A batch the storage rolled back by itself is no longer open.
    const bool open = table_.inBatch();
    if (std::uncaught_exceptions() > uncaught_) {
      try {
        if (open) table_.endBatch();
        scanner_.committed(open);
      } catch (const db::DbError&) {
        scanner_.committed(false);  // the first failure is the one to report
      }
      return;
    }
    try {
      table_.endBatch();
    } catch (const db::DbError&) {
      scanner_.committed(false);
      throw;
    }
    scanner_.committed(true);
  }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

 private:
  SongScanner& scanner_;
  db::Table& table_;
  int uncaught_ = std::uncaught_exceptions();
};

SongScanner::SongScanner(TDataModule1& data) : data_(data), notes_(*data.Table1, volumes_) {}

SongScanner::~SongScanner() = default;

void SongScanner::setMountPoints(const QStringList& mountPoints) {
  mountPoints_ = QSet<QString>(mountPoints.begin(), mountPoints.end());
}

void SongScanner::useFileNameOrder() {
  db::Table& table = *data_.Table1;
  if (table.indexName().compare(kFileNameIndex, Qt::CaseInsensitive) != 0)
    table.setIndexName(kFileNameIndex);
}

void SongScanner::committed(bool written) {
  if (!written) {
    counts_.added -= pendingAdded_;
    counts_.notStored += pendingAdded_;
    counts_.removed -= pendingRemoved_;
    counts_.retagged -= pendingRetagged_;
    notes_.forget();  // notes of the batch went with it
  }
  pendingAdded_ = pendingRemoved_ = pendingRetagged_ = 0;
}

void SongScanner::flush() {
  db::Table& table = *data_.Table1;
  pendingChanges_ = 0;
  if (!table.inBatch()) return;
  try {
    table.endBatch();
  } catch (const db::DbError&) {
    committed(false);
    throw;
  }
  committed(true);
  table.beginBatch();
}

void SongScanner::changed() {
  if (++pendingChanges_ >= kChangesPerBatch) flush();
}

bool SongScanner::isDeleted(const QString& path) const {
  if (path.isEmpty()) return true;
  // A link on the way that points nowhere: what it pointed to (a stick, a
  // share) may just not be there.
  const std::optional<QString> real = fs::resolvedPath(path);
  if (!real) return false;
  if (volumes_.isUnreachable(path) || volumes_.isUnreachable(*real)) return false;
  const QFileInfo file(*real);
  if (QFileInfo(file.path()).isDir()) return true;  // gone from a folder that is there
  // The folder is gone too: deleted with it only when its parent is there.
  return QFileInfo(QFileInfo(file.path()).path()).isDir();
}

void VolumeNotes::noteFolder(const QString& folder) {
  if (folder == lastFolder_) return;
  lastFolder_ = folder;
  const std::optional<QString> real = fs::resolvedPath(folder);
  if (!real) return;
  const QString point = volumes_.mountPointOf(*real);
  if (point == QLatin1String("/") || noted_.contains(point)) return;
  if (!read_) {
    const QStringList known = table_.notes(kMountPoints);
    noted_.unite(QSet<QString>(known.begin(), known.end()));
    read_ = true;
    if (noted_.contains(point)) return;
  }
  table_.addNote(kMountPoints, point);
  noted_.insert(point);
}

void VolumeNotes::noteFileFolder(const QString& path) { noteFolder(folderOf(path)); }

void VolumeNotes::forget() {
  noted_.clear();
  read_ = false;
  lastFolder_.clear();
}

void SongScanner::checkDatabase() {
  db::Table& table = *data_.Table1;
  useFileNameOrder();
  counts_.checkRan = true;
  volumes_.addKnownMountPoints(table.notes(kMountPoints));
  Batch batch(*this);
  table.first();
  while (!table.eof() && !cancelled_) {
    // The step may run timers; whatever they do, the check goes on from
    // the record it stands on.
    const int row = table.currentRow();
    step(Step::Record);
    if (table.currentRow() != row && row < table.recordCount()) table.moveTo(row);
    ++counts_.checked;
    const QString path = table.asString(QStringLiteral("DateiName"));
    const fs::FileState state = fs::fileState(path);
    if (state == fs::FileState::Missing && isDeleted(path)) {
      table.deleteRecord();
      ++counts_.removed;
      ++pendingRemoved_;
      changed();
      continue;
    }
    if (state == fs::FileState::Present)
      notes_.noteFolder(folderOf(path));  // also the volumes of libraries made before notes
    else
      ++counts_.notReachable;
    table.next();
  }
}

void SongScanner::scanRoot(const QString& root) {
  useFileNameOrder();
  Batch batch(*this);
  fs::FolderId id;
  if (fs::folderId(root, id)) visited_.insert(id);
  scanFolder(root);
  if (!cancelled_) walkFolders(root);
}

void SongScanner::scanFolder(const QString& folder) {
  step(Step::Folder);
  ++counts_.folders;
  currentFolder_ = folder;
  QStringList names;
  // Files whose names are not UTF-8 cannot be stored by their path: they
  // count as unreadable rather than becoming records that point nowhere.
  int undecodable = 0;
  if (!fs::findFiles(folder, QByteArrayLiteral(".mp3"), fs::Hidden::Include, names, &undecodable)) {
    ++counts_.unreadable;
    return;
  }
  counts_.unreadable += undecodable;
  if (!names.isEmpty()) notes_.noteFolder(folder);
  for (const QString& name : std::as_const(names)) {
    if (cancelled_) return;
    addFile(folder + name);
    step(Step::File);
  }
}

void SongScanner::addFile(const QString& path) {
  ++counts_.filesFound;
  db::Table& table = *data_.Table1;
  if (table.containsKey(path)) {
    ++counts_.alreadyPresent;
    return;
  }
  const int before = table.recordCount();
  data_.AddSongFile(path);
  // An unreadable file still becomes a record, made from its name; only a
  // record without a title can come from one.
  if (table.recordCount() > before && table.asString(QStringLiteral("Titel")).isEmpty() &&
      ::access(QFile::encodeName(path).constData(), R_OK) != 0)
    ++counts_.unreadable;
  if (table.recordCount() > before) {
    ++counts_.added;
    ++pendingAdded_;
    changed();
  } else {
    ++counts_.notStored;
  }
}

void SongScanner::retagRoot(const QString& root) {
  db::Table& table = *data_.Table1;
  useFileNameOrder();
  counts_.retagRan = true;
  Batch batch(*this);
  // File-name order ignores case, so the records below `root` are one run
  // that starts at the first name not smaller than it; within that run
  // only those whose path begins with `root` letter for letter count.
  table.findNearest(root);
  while (!table.eof() && table.currentRow() >= 0 && !cancelled_) {
    const QString path = table.asString(QStringLiteral("DateiName"));
    if (!path.startsWith(root, Qt::CaseInsensitive)) break;
    const int row = table.currentRow();
    step(Step::Record);
    if (table.currentRow() != row && row < table.recordCount()) table.moveTo(row);
    if (path.startsWith(root)) {
      ++counts_.tagsRead;
      if (data_.RetagCurrent()) {
        ++counts_.retagged;
        ++pendingRetagged_;
        changed();
      }
    }
    table.next();
  }
}

void SongScanner::walkFolders(const QString& folder) {
  std::vector<fs::FolderEntry> entries;
  int undecodable = 0;
  if (!fs::listFolder(folder, fs::Hidden::Skip, entries, nullptr, &undecodable)) return;
  counts_.unreadable += undecodable;
  for (const fs::FolderEntry& e : entries) {
    if (cancelled_) return;
    if (e.kind != fs::EntryKind::Folder) continue;
    const QString path = folder + e.name;
    if (mountPoints_.contains(path)) continue;
    // The system's own trees (/usr, /proc, ...) hold no music of the user's.
    if (isSystemTree(path)) continue;
    const QString sub = path + QLatin1Char('/');
    // A folder seen before (through a bind mount) is neither walked nor
    // scanned again. One that cannot be examined is still tried, so that
    // its scan counts it as unreadable.
    fs::FolderId id;
    if (fs::folderId(sub, id) && !visited_.insert(id).second) continue;
    walkFolders(sub);
    if (cancelled_) return;
    scanFolder(sub);
  }
}

QString summaryText(const ScanCounts& c) {
  QString text = QStringLiteral(
                     "folders: %1\nfiles found: %2\nadded: %3\nalready present: %4\n"
                     "unreadable: %5\nrecords removed: %6\n")
                     .arg(c.folders)
                     .arg(c.filesFound)
                     .arg(c.added)
                     .arg(c.alreadyPresent)
                     .arg(c.unreadable)
                     .arg(c.removed);
  if (c.checkRan)
    text += QStringLiteral("records checked: %1\nnot reachable: %2\n")
                .arg(c.checked)
                .arg(c.notReachable);
  if (c.retagRan)
    text += QStringLiteral("tags read again: %1\nrecords changed by their tags: %2\n")
                .arg(c.tagsRead)
                .arg(c.retagged);
  if (c.notStored > 0) text += QStringLiteral("not stored: %1\n").arg(c.notStored);
  return text;
}

}  // namespace qdl::library
