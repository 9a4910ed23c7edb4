// The playlist window's entries from files and from the library: loading
// and importing playlist files, looking entries up in the song table, and
// the next entry for autoplay.

#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/fs/Folders.h"
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

  // An import keeps its entries as a ".qdp" file beside the list, or in the
  // console's Playlist folder when that folder cannot be written.
  QString writtenElsewhere, writeError;
  if (r.format == pl::Format::M3u && !r.read.entries.isEmpty()) {
    const QString beside = pl::convertedName(QFileInfo(path).absoluteFilePath());
    const QString why = pl::writeQdp(beside, r.read.entries);
    if (!why.isEmpty()) {
      const QDir base(baseDir.isEmpty() ? QDir::currentPath() : baseDir);
      base.mkpath(QStringLiteral("Playlist"));
      const QString fallback =
          base.filePath(QStringLiteral("Playlist/") + QFileInfo(beside).fileName());
      if (fallback != beside && pl::writeQdp(fallback, r.read.entries).isEmpty())
        writtenElsewhere = fallback;
      else
        writeError = FormSprache->Playlist.sNichtGespeichert.arg(native(beside), why);
    }
  }

  // A fresh playlist, as a newly opened window has.
  if (isVisible())
    FormShow();
  else
    show();
  raise();
  ShowEntries(r.read.entries, data);

  QStringList parts;
  const qsizetype skipped = r.read.skipped.size();
  if (skipped > 0) {
    QString text = FormSprache->Playlist.sUebersprungen.arg(skipped);
    for (qsizetype i = 0; i < skipped && i < kShownSkipped; ++i) {
      const pl::SkippedLine& s = r.read.skipped.at(i);
      text += QLatin1Char('\n') + FormSprache->Playlist.sUebersprungeneZeile.arg(
                                      QString::number(s.line), reasonText(s.reason), s.text);
    }
    if (skipped > kShownSkipped)
      text += QLatin1Char('\n') + FormSprache->Playlist.sWeitere.arg(skipped - kShownSkipped);
    parts << text;
  }
  if (!writtenElsewhere.isEmpty())
    parts << FormSprache->Playlist.sGespeichertIn.arg(native(writtenElsewhere));
  if (!writeError.isEmpty()) parts << writeError;
  if (!parts.isEmpty()) qdl::ui::showMessage(this, parts.join(QStringLiteral("\n\n")), caption);
}

void TFormPlayList::ShowEntries(const QStringList& entries, TDataModule1& data) {
  FileList.clear();
  PlayIndex = 0;
  ListBox1->clear();
  qdl::db::Table* songs = data.Table1;
  const bool open = songs->isOpen();
  if (open) songs->setIndexName(QStringLiteral("iDateiname"));
  QStringList lines;
  lines.reserve(entries.size());
  {
    // The cursor visits every entry; the views bound to the table catch up
    // once at the end instead of laying themselves out for each entry.
    QSignalBlocker quiet(songs);
    try {
      // Songs added for entries without a record go in as one write.
      if (open) songs->beginBatch();
      for (const QString& path : entries) lines << lineFor(path, data, nullptr);
      if (open) songs->endBatch();
    } catch (...) {
      // The lists stay parallel and the views in step; the first failure
      // is the one reported.
      try {
        if (open) songs->endBatch();
        quiet.unblock();
        if (open) songs->refresh();
      } catch (...) {
      }
      FileList = entries.mid(0, lines.size());
      ListBox1->addItems(lines);
      throw;
    }
  }
  FileList = entries;
  ListBox1->addItems(lines);
  if (open) songs->refresh();
}

QString TFormPlayList::lineFor(const QString& path, TDataModule1& data, bool* found) {
  qdl::db::Table* songs = data.Table1;
  if (found) *found = false;
  const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  // Only an entry with a record of its own moves the cursor.
  if (songs->isOpen() && songs->containsKey(path)) {
    songs->findNearest(path);
    if (found) *found = true;
    return recordLine(songs);
  }
  if (!qdl::fs::fileExists(path)) return fileName + QLatin1Char(' ') + FormSprache->Playlist.sFehlt;
  if (!songs->isOpen()) return fileName;
  // The file is there but not in the library: it goes in as a scan would
  // put it, so that it is listed and played as itself.
  data.AddSongFile(path);
  if (!songs->containsKey(path)) return fileName;
  songs->findNearest(path);
  if (found) *found = true;
  return recordLine(songs);
}

bool TFormPlayList::TakeNextSong(TDataModule1& data) {
  const int n = int(FileList.size());
  for (int tries = 0; tries < n; ++tries) {
    const int i = PlayIndex >= 0 && PlayIndex < n ? PlayIndex : 0;
    PlayIndex = i + 1 > n - 1 ? 0 : i + 1;
    const QString path = FileList.at(i);
    // A file that is not there (a stick pulled out) is passed over.
    if (qdl::fs::isFileMissing(path)) continue;
    ListBox1->setCurrentRow(i);
    if (data.Table1->isOpen()) data.Table1->setIndexName(QStringLiteral("iDateiname"));
    bool found = false;
    const QString line = lineFor(path, data, &found);
    if (!found) continue;
    // An entry that was missing at load time may be back.
    if (QListWidgetItem* item = ListBox1->item(i)) item->setText(line);
    return true;
  }
  return false;
}
