// The library side of the simulated set: the songs copied into the set's
// folder and scanned, cue points and texts as they should be, the editor,
// the check and the scan, and the checks of records, tags and audio bytes.

#include <sqlite3.h>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>

#include "decks/DeckHarness.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "library/SongScanner.h"
#include "library/Suche.h"
#include "platform/db/Collation.h"
#include "platform/db/TableModel.h"
#include "platform/fs/Volumes.h"
#include "platform/ui/RadioGroup.h"
#include "soak/SoakDeck.h"
#include "soak/SoakShadow.h"

namespace qdl::soak {
namespace {

const QString kIndex = QStringLiteral("Index");
const QString kFile = QStringLiteral("DateiName");
const QString kArtist = QStringLiteral("Interpret");
const QString kTitle = QStringLiteral("Titel");
const QString kCue = QStringLiteral("StartZeit");

// The Index of the record of `path`, -1 when there is none; the cursor
// stays where it is.
qint64 indexOf(const QString& path) {
  db::Table& t = *DataModule1->Table1;
  const int file = t.fieldIndex(kFile), index = t.fieldIndex(kIndex);
  for (const std::int64_t id : t.recordIds())
    if (t.valueById(id, file).toString() == path) return t.valueById(id, index).toLongLong();
  return -1;
}

// Types text into the grid's cell as a user does: click, open the editor,
// replace the text, Return.
bool typeIntoCell(QTableView* grid, int row, int column, const QString& text) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  grid->edit(index);
  QLineEdit* editor = nullptr;
  for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
    if (e->isVisible()) editor = e;
  if (!editor) return false;
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Delete);
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(editor, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QCoreApplication::sendEvent(editor, &release);
  }
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  return true;
}

// Runs the check and scan window on the set's song folder in `mode` (0
// check and scan, 1 only check, 2 only scan), as the user does from the menu.
void runScanWindow(TFormQuandrel& f, const QString& folder, int mode) {
  FormScan->volumeSource = [folder] {
    return QList<fs::Volume>{
        {folder, QStringLiteral("/dev/soak"), QStringLiteral("ext4"), fs::VolumeKind::Fixed}};
  };
  FormScan->mountPointSource = [] { return QStringList{}; };
  f.Scan1Click();
  FormScan->RGBedingung->setItemIndex(mode);
  FormScan->btStart->click();
  if (FormScan->isVisible()) FormScan->hide();
}

}  // namespace

QString SoakSet::songPath(const SoakSong& s) const {
  return QDir(shadow_->folder).filePath(s.file);
}

void SoakSet::buildLibrary() {
  shadow_ = std::make_unique<Shadow>();
  shadow_->folder = console_->cwd.file(QStringLiteral("Songs"));
  QDir().mkpath(shadow_->folder);
  for (const SoakSong& s : songs_) {
    const QString to = songPath(s);
    QFile::copy(QDir(options_.songFolder).filePath(s.file), to);
    QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner);
  }
  library::SongScanner scanner(*DataModule1);
  scanner.setMountPoints({});
  scanner.scanRoot(shadow_->folder + QLatin1Char('/'));
  scanner.flush();
  // Each song gets a cue point in its first third.
  for (const SoakSong& s : songs_) {
    const qint64 index = indexOf(songPath(s));
    if (index < 0) {
      fail(QStringLiteral("the scan did not add ") + s.file);
      continue;
    }
    const int cue = int(rng_() % unsigned(s.seconds * 100 / 3));
    DataModule1->Table1->setStoredValue(index, kCue, cue);
    // Two songs in three have a beat grid, so Sync has something to match.
    if (rng_() % 3 != 0)
      DataModule1->Table1->setBeatGrid(
          index, {double(rng_() % 1000) / 1000.0, 90.0 + double(rng_() % 500) / 10.0});
    shadow_->records.insert(index, {songPath(s), s.artist, s.title, cue});
  }
}

void SoakSet::cueStored(Deck& d, int position) {
  auto it = shadow_->records.find(d.song());
  if (it == shadow_->records.end()) return;  // its record was removed: nothing is stored
  it->cue = position;
  ++figures_.cuePointsStored;
}

// Opens the editor, types a new title (or artist) into a random row and
// closes it: the record is posted and its file's tag written.
void SoakSet::editTag() {
  test::ScriptedDialogs& dialogs = console_->dialogs;
  qint64 index = -1;
  QString field, text;
  dialogs.onDialog = [&](QDialog* dialog) {
    if (dialog != FormDatenBearbeiten) return dialog->reject();
    QTableView* grid = FormDatenBearbeiten->DBGrid1;
    const db::TableModel* model = FormDatenBearbeiten->gridModel();
    if (model->rowCount() == 0) return dialog->reject();
    const int row = int(rng_() % unsigned(model->rowCount()));
    field = rng_() % 3 == 0 ? kArtist : kTitle;
    text = QStringLiteral("%1 %2")
               .arg(field == kArtist ? QStringLiteral("Künstler") : QStringLiteral("Größe"))
               .arg(rng_() % 1000);
    if (!typeIntoCell(grid, row, int(model->columns().indexOf(field)), text)) field.clear();
    index = DataModule1->Table1->fieldByName(kIndex).toLongLong();
    FormDatenBearbeiten->done(QDialog::Accepted);
  };
  console().IDEdit1Click();
  dialogs.onDialog = nullptr;
  if (field.isEmpty()) return fail(QStringLiteral("the editor's cell could not be edited"));
  auto it = shadow_->records.find(index);
  if (it == shadow_->records.end())
    return fail(QStringLiteral("the editor edited an unknown record"));
  (field == kArtist ? it->artist : it->title) = text;
  log(QStringLiteral("editor: %1 of record %2 is now \"%3\"").arg(field).arg(index).arg(text));
}

// A song file goes away (deleted, or on a stick pulled out), and the check
// removes its record.
void SoakSet::checkLibrary() {
  std::vector<const SoakSong*> present;
  for (const SoakSong& s : songs_)
    if (std::find(shadow_->removed.begin(), shadow_->removed.end(), &s) == shadow_->removed.end())
      present.push_back(&s);
  if (present.size() > 1) {
    const SoakSong* gone = present[rng_() % present.size()];
    QFile::remove(songPath(*gone));
    shadow_->removed.push_back(gone);
    shadow_->records.remove(shadow_->indexOf(songPath(*gone)));
    log(QStringLiteral("check after %1 went away").arg(gone->file));
  }
  runScanWindow(console(), shadow_->folder, 1);
}

// The songs that went away come back, and a check and scan adds them anew:
// new records with the tags they had and no cue point.
void SoakSet::scanLibrary() {
  for (const SoakSong* s : shadow_->removed) {
    QFile::copy(QDir(options_.songFolder).filePath(s->file), songPath(*s));
    QFile::setPermissions(songPath(*s), QFile::ReadOwner | QFile::WriteOwner);
  }
  runScanWindow(console(), shadow_->folder, 0);
  for (const SoakSong* s : shadow_->removed) {
    const qint64 index = indexOf(songPath(*s));
    if (index < 0) {
      fail(QStringLiteral("the scan did not add %1 again").arg(s->file));
      continue;
    }
    shadow_->records.insert(index, {songPath(*s), s->artist, s->title, 0});
  }
  log(QStringLiteral("scan finds %1 song(s) again").arg(shadow_->removed.size()));
  shadow_->removed.clear();
}

// Every record read whole and compared with what it should hold.
void SoakSet::verifyLibrary() {
  db::Table& t = *DataModule1->Table1;
  const int fields = t.fieldCount();
  const int index = t.fieldIndex(kIndex), file = t.fieldIndex(kFile),
            artist = t.fieldIndex(kArtist), title = t.fieldIndex(kTitle), cue = t.fieldIndex(kCue);
  QSet<qint64> seen;
  const std::vector<std::int64_t> ids = t.recordIds();
  for (const std::int64_t id : ids) {
    QVariantList values;
    try {
      for (int i = 0; i < fields; ++i) values << t.valueById(id, i);
    } catch (const std::exception& e) {
      ++figures_.recordFaults;
      fail(QStringLiteral("record %1 cannot be read: %2").arg(id).arg(QString::fromUtf8(e.what())));
      continue;
    }
    const qint64 key = values[index].toLongLong();
    seen.insert(key);
    const auto it = shadow_->records.constFind(key);
    if (it == shadow_->records.constEnd()) {
      ++figures_.recordFaults;
      fail(QStringLiteral("record %1 (%2) should not be there")
               .arg(key)
               .arg(values[file].toString()));
      continue;
    }
    const int storedCue = values[cue].isNull() ? 0 : values[cue].toInt();
    if (values[file].toString() != it->file || values[artist].toString() != it->artist ||
        values[title].toString() != it->title || storedCue != it->cue) {
      ++figures_.recordFaults;
      fail(QStringLiteral("record %1 holds %2 / %3 / %4 / cue %5, not %6 / %7 / %8 / cue %9")
               .arg(key)
               .arg(values[file].toString(), values[artist].toString(), values[title].toString())
               .arg(storedCue)
               .arg(it->file, it->artist, it->title)
               .arg(it->cue));
    }
  }
  for (auto it = shadow_->records.constBegin(); it != shadow_->records.constEnd(); ++it)
    if (!seen.contains(it.key())) {
      ++figures_.recordFaults;
      fail(QStringLiteral("record %1 (%2) is missing").arg(it.key()).arg(it->file));
    }
  figures_.records = int(ids.size());
  figures_.recordsChecked += int(ids.size());
}

// After the console closed: each song's tag says what its record says, its
// audio bytes are those it was made with, and SQLite finds the table whole.
void SoakSet::verifyFiles() {
  for (const Shadow::Record& r : shadow_->records) {
    const TId3Tag tag = id3::readBlock(r.file);
    const QString name = r.file.section(QLatin1Char('/'), -1);
    if (!id3::hasTag(tag) || id3::fromWindows1252(tag.artist, 30) != r.artist.left(30) ||
        id3::fromWindows1252(tag.title, 30) != r.title.left(30)) {
      ++figures_.fileFaults;
      fail(QStringLiteral("the tag of %1 says %2 / %3, not %4 / %5")
               .arg(name, id3::fromWindows1252(tag.artist, 30), id3::fromWindows1252(tag.title, 30),
                    r.artist, r.title));
    }
    QFile now(r.file), made(QDir(options_.songFolder).filePath(name));
    if (!now.open(QIODevice::ReadOnly) || !made.open(QIODevice::ReadOnly) ||
        now.size() != made.size() || now.read(now.size() - 128) != made.read(made.size() - 128)) {
      ++figures_.fileFaults;
      fail(QStringLiteral("the audio of %1 changed").arg(name));
    }
  }
  sqlite3* db = nullptr;
  const QByteArray path = QFile::encodeName(console_->cwd.file(QStringLiteral("Data/data.db")));
  if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    db::registerNoCaseCollation(db);
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
      figures_.integrity =
          QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  if (figures_.integrity != QLatin1String("ok"))
    fail(QStringLiteral("SQLite's integrity check: ") + figures_.integrity);
}

}  // namespace qdl::soak
