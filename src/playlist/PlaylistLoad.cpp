// The playlist window's entries from files and from the library: loading
// and importing playlist files, looking entries up in the song table, and
// the next entry for autoplay.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QScopeGuard>
#include <QSignalBlocker>
#include <cerrno>
#include <cstring>
#include <exception>
#include <functional>
#include <optional>
#include <utility>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/KeepPlace.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/fs/Folders.h"
#include "platform/fs/Printable.h"
#include "platform/fs/SafeWrite.h"
#include "platform/fs/Volumes.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"
#include "playlist/PlaylistFile.h"

namespace pl = qdl::playlist;

namespace {

// Lines named in the message after a load; the rest are only counted.
constexpr int kShownSkipped = 5;

QString native(const QString& path) { return QDir::toNativeSeparators(path); }

QString reasonText(pl::SkipReason reason) {
  const PlaylistTexte& t = FormSprache->Playlist;
  switch (reason) {
    case pl::SkipReason::WebAddress:
      return t.sGrundWebadresse;
    case pl::SkipReason::DrivePath:
      return t.sGrundLaufwerk;
    case pl::SkipReason::NetworkPath:
      return t.sGrundNetzwerk;
    case pl::SkipReason::NotMp3:
      return t.sGrundKeinMp3;
    case pl::SkipReason::TooLong:
      return t.sGrundZuLang;
    case pl::SkipReason::NotText:
      return t.sGrundKeinText;
  }
  return QString();
}

QString errorText(const pl::FileResult& r, const QString& path) {
  const PlaylistTexte& t = FormSprache->Playlist;
  switch (r.error) {
    case pl::ReadError::None:
      break;
    case pl::ReadError::NotFound:
      return t.sNichtGefunden.arg(native(path));
    case pl::ReadError::IsFolder:
      return t.sIstOrdner.arg(native(path));
    case pl::ReadError::NotRegular:
      return t.sKeineDatei.arg(native(path));
    case pl::ReadError::TooLarge:
      return t.sZuGross.arg(native(path)).arg(r.detail.toLongLong() / (1024 * 1024));
    case pl::ReadError::Unreadable:
      return t.sNichtLesbar.arg(native(path), r.detail);
    case pl::ReadError::Binary:
      return t.sBinaer.arg(native(path));
  }
  return QString();
}

// How many lines were skipped, and the first few of them with their reasons.
QString skippedText(const QList<pl::SkippedLine>& skippedLines) {
  const PlaylistTexte& t = FormSprache->Playlist;
  const qsizetype skipped = skippedLines.size();
  QString text = t.sUebersprungen.arg(skipped);
  for (qsizetype i = 0; i < skipped && i < kShownSkipped; ++i) {
    const pl::SkippedLine& s = skippedLines.at(i);
    text += QLatin1Char('\n') + t.sUebersprungeneZeile.arg(QString::number(s.line),
                                                           reasonText(s.reason),
                                                           qdl::fs::printable(s.text));
  }
  if (skipped > kShownSkipped) text += QLatin1Char('\n') + t.sWeitere.arg(skipped - kShownSkipped);
  return text;
}

// Whether anything holds `path`: a file, a folder, a link (even one that
// points nowhere).
bool taken(const QString& path) {
  struct stat st;
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

// Whether the file at `path` holds exactly the ".qdp" form of `entries`.
bool holds(const QString& path, const QStringList& entries) {
  QByteArray bytes;
  QString detail;
  return pl::readFileBytes(path, bytes, detail) == pl::ReadError::None &&
         bytes == pl::qdpBytes(entries);
}

// Writes an import's entries as a ".qdp" file at `target` (a name ending
// in ".qdp"). A file of that name is replaced only when `ask` is set and
// the user says Yes; else, and when the replace fails, the entries go under
// the first free name beside it ("Set (2).qdp"). A file under either name
// that holds these very entries already is kept as it is and taken for
// the import. Returns the name written, or an empty string with the reason
// in `why`.
QString writeImport(const QString& target, const QStringList& entries, bool ask, QWidget* parent,
                    QString& why) {
  why.clear();
  // A folder that takes no file is told at once, without a question.
  if (::access(QFile::encodeName(QFileInfo(target).absolutePath()).constData(), W_OK) != 0) {
    why = QString::fromLocal8Bit(std::strerror(errno));
    return QString();
  }
  if (taken(target)) {
    if (holds(target, entries)) return target;
    if (ask && QFileInfo(target).isFile() &&
        qdl::ui::askYesNo(parent, FormSprache->Playlist.sErsetzen.arg(native(target)),
                          FormSprache->Meldung.sAchtung)) {
      why = pl::writeQdp(target, entries, qdl::fs::Replace::Allowed);
      if (why.isEmpty()) return target;
    }
    // The same list imported before under a free name: no copy is added.
    for (int n = 2; n < 1000; ++n) {
      const QString name = target.chopped(4) + QStringLiteral(" (%1).qdp").arg(n);
      if (!taken(name)) break;
      if (holds(name, entries)) return name;
    }
  }
  // A name that another program takes meanwhile is not replaced either: the
  // next free one is tried.
  for (int tries = 0; tries < 100; ++tries) {
    const QString name = qdl::fs::freeName(target);
    const QString failed = pl::writeQdp(name, entries, qdl::fs::Replace::Never);
    if (failed.isEmpty()) return name;
    if (why.isEmpty()) why = failed;
    if (!taken(name)) return QString();  // the folder or the disk refused it
  }
  return QString();
}

QString recordLine(const qdl::db::Table* songs) {
  return songs->asString(QStringLiteral("Interpret")) + QStringLiteral(" - ") +
         songs->asString(QStringLiteral("Titel"));
}

}  // namespace

void TFormPlayList::LoadPlaylistFile(const QString& path, const QString& baseDir,
                                     TDataModule1& data) {
  const QString caption = FormSprache->Meldung.sAchtung;
  QWidget* parent = isVisible() ? this : parentWidget();
  if (!pl::formatOf(path)) {
    qdl::ui::showMessage(parent, FormSprache->Playlist.sKeinePlayliste.arg(native(path)), caption);
    return;
  }
  const pl::FileResult r =
      pl::readPlaylistFile(path, qdl::fs::mountPointsFromMountTable(qdl::fs::readMountTable()));
  if (r.error != pl::ReadError::None) {
    qdl::ui::showMessage(parent, errorText(r, path), caption);
    return;
  }

  // A list that gives nothing to play must not empty the one the set runs
  // on: the open playlist, its next entry and autoplay stay as they were.
  if (r.read.entries.isEmpty()) {
    QString text = FormSprache->Playlist.sKeinEintrag.arg(native(path));
    if (!r.read.skipped.isEmpty()) text += QStringLiteral("\n\n") + skippedText(r.read.skipped);
    qdl::ui::showMessage(parent, text, caption);
    return;
  }

  // An import keeps its entries as a ".qdp" file beside the list, or in the
  // console's Playlist folder when that folder cannot be written. No file
  // there is replaced without the DJ's Yes.
  QString savedAs, writtenElsewhere, writeError;
  if (r.format == pl::Format::M3u) {
    const QString beside = pl::convertedName(QFileInfo(path).absoluteFilePath());
    QString why;
    const QString written = writeImport(beside, r.read.entries, true, parent, why);
    if (written.isEmpty()) {
      const QDir base(baseDir.isEmpty() ? QDir::currentPath() : baseDir);
      base.mkpath(QStringLiteral("Playlist"));
      const QString fallback =
          base.filePath(QStringLiteral("Playlist/") + QFileInfo(beside).fileName());
      QString whyThere;
      const QString there = fallback != beside
                                ? writeImport(fallback, r.read.entries, false, parent, whyThere)
                                : QString();
      if (!there.isEmpty())
        writtenElsewhere = there;
      else
        writeError = FormSprache->Playlist.sNichtGespeichert.arg(native(beside), why);
    } else if (written != beside) {
      savedAs = written;
    }
  }

  // A fresh playlist, as a newly opened window has. The entries are looked
  // up first: a library that cannot be read leaves the old playlist.
  const QList<Line> lines = lookUpAll(r.read.entries, data);
  if (isVisible())
    FormShow();
  else
    show();
  raise();
  showLines(r.read.entries, lines);

  QStringList parts;
  if (!r.read.skipped.isEmpty()) parts << skippedText(r.read.skipped);
  if (!savedAs.isEmpty()) parts << FormSprache->Playlist.sFreierName.arg(native(savedAs));
  if (!writtenElsewhere.isEmpty())
    parts << FormSprache->Playlist.sGespeichertIn.arg(native(writtenElsewhere));
  if (!writeError.isEmpty()) parts << writeError;
  if (!parts.isEmpty()) qdl::ui::showMessage(this, parts.join(QStringLiteral("\n\n")), caption);
}

// What a look-up of many entries shares: songs added for entries without a
// record go in as one write, begun with the first of them, and their
// volumes are noted as a scan notes them, so that a check keeps their
// records while their stick is not plugged in.
struct TFormPlayList::LookUp {
  explicit LookUp(std::function<qdl::fs::VolumeMap()> source) : volumeSource(std::move(source)) {}
  bool batched = false;
  std::function<qdl::fs::VolumeMap()> volumeSource;
  std::optional<qdl::fs::VolumeMap> volumes;  // read when the first song is added
  std::optional<qdl::library::VolumeNotes> notes;
  // Notes the volume holding the song just added at `path`.
  void noteVolume(qdl::db::Table* songs, const QString& path) {
    if (!notes) {
      volumes = volumeSource ? volumeSource() : qdl::fs::VolumeMap::current();
      notes.emplace(*songs, *volumes);
    }
    notes->noteFileFolder(path);
  }
  // Commits the songs added (DbError when that fails).
  void finish(qdl::db::Table* songs) {
    if (!batched) return;
    batched = false;
    songs->endBatch();
  }
};

void TFormPlayList::ShowEntries(const QStringList& entries, TDataModule1& data) {
  const QList<Line> lines = lookUpAll(entries, data);
  showLines(entries, lines);
}

QList<TFormPlayList::Line> TFormPlayList::lookUpAll(const QStringList& entries,
                                                    TDataModule1& data) {
  qdl::db::Table* songs = data.Table1;
  const bool open = songs->isOpen();
  // The look-up runs in file-name order; afterwards the grid is back in
  // the DJ's order on the record it stood on.
  const qdl::library::KeepPlace place(*songs);
  if (open) songs->setIndexName(QStringLiteral("iDateiname"));
  QList<Line> lines;
  lines.reserve(entries.size());
  // The cursor visits every entry; the views bound to the table catch up
  // once at the end instead of laying themselves out for each entry.
  QSignalBlocker quiet(songs);
  LookUp lookUp(volumeMapSource);
  try {
    for (const QString& path : entries) lines << lineFor(path, data, lookUp);
    lookUp.finish(songs);
  } catch (...) {
    try {
      lookUp.finish(songs);
    } catch (...) {
    }
    quiet.unblock();
    try {
      if (open) songs->refresh();
    } catch (...) {
    }
    throw;  // the first failure is the one reported
  }
  quiet.unblock();
  if (open) songs->refresh();
  return lines;
}

void TFormPlayList::showLines(const QStringList& entries, const QList<Line>& lines) {
  FileList = entries;
  PlayIndex = 0;
  takenRow_ = -1;
  takenThrough_ = false;
  ListBox1->clear();
  QStringList texts;
  texts.reserve(lines.size());
  for (const Line& line : lines) texts << displayText(line);
  ListBox1->addItems(texts);
  for (int i = 0; i < int(lines.size()); ++i)
    if (lines.at(i).mark != Mark::None) setLine(i, lines.at(i));
}

TFormPlayList::Line TFormPlayList::lineFor(const QString& path, TDataModule1& data,
                                           LookUp& lookUp) {
  qdl::db::Table* songs = data.Table1;
  const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  // Only an entry with a record of its own moves the cursor.
  if (songs->isOpen() && songs->containsKey(path)) {
    songs->findNearest(path);
    // The record stays while its medium is not mounted: a stick that is not
    // plugged in is told before the set, not when autoplay reaches it.
    if (qdl::fs::isFileMissing(path)) return {recordLine(songs), Mark::Missing, false, QString()};
    return {recordLine(songs), Mark::None, true, QString()};
  }
  if (!qdl::fs::fileExists(path)) return {fileName, Mark::Missing, false, QString()};
  // A library that cannot be written (a write-protected medium) cannot take
  // the song: the deck loads only what the library holds.
  if (!songs->isOpen() || songs->isReadOnly())
    return {fileName, Mark::NotInLibrary, false, QString()};
  // The file is there but not in the library: it goes in as a scan would
  // put it, so that it is listed and played as itself. The tag editor's
  // write-back is for the user's edits, not for a song added here.
  if (!lookUp.batched) {
    songs->beginBatch();
    lookUp.batched = true;
  }
  const auto editor = std::exchange(data.editorVisible, [] { return false; });
  const auto restore = qScopeGuard([&] { data.editorVisible = editor; });
  data.AddSongFile(path);
  if (!songs->containsKey(path)) return {fileName, Mark::NotInLibrary, false, QString()};
  lookUp.noteVolume(songs, path);
  songs->findNearest(path);
  return {recordLine(songs), Mark::None, true, QString()};
}

bool TFormPlayList::TakeNextSong(TDataModule1& data) {
  takenRow_ = -1;
  const int n = int(FileList.size());
  for (int tries = 0; tries < n; ++tries) {
    const int i = PlayIndex >= 0 && PlayIndex < n ? PlayIndex : 0;
    PlayIndex = i + 1 > n - 1 ? 0 : i + 1;
    // After the last entry the list starts again from the top, unless the
    // DJ appends an entry first (AddCurrentSong).
    takenThrough_ = i == n - 1;
    const QString path = FileList.at(i);
    // A file that is not there (a stick pulled out) is passed over.
    if (qdl::fs::isFileMissing(path)) {
      mark(i, Mark::Missing);
      continue;
    }
    if (data.Table1->isOpen()) data.Table1->setIndexName(QStringLiteral("iDateiname"));
    Line line;
    LookUp single(volumeMapSource);
    try {
      line = lineFor(path, data, single);
      single.finish(data.Table1);
    } catch (const std::exception& e) {
      try {
        single.finish(data.Table1);
      } catch (...) {
      }
      // The library could not take the song (a full disk): passed over.
      mark(i, Mark::NotInLibrary, QString::fromUtf8(e.what()));
      continue;
    }
    // An entry marked before may be back.
    setLine(i, line);
    if (!line.found) continue;
    ListBox1->setCurrentRow(i);
    takenRow_ = i;
    return true;
  }
  return false;
}

void TFormPlayList::MarkUnplayable(const QString& why) {
  if (takenRow_ >= 0) mark(takenRow_, Mark::Unplayable, why);
}
