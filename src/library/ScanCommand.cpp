#include "library/ScanCommand.h"

#include <QDir>
#include <QFileInfo>
#include <exception>

#include "library/CommandProgress.h"
#include "library/Datamod.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/fs/Printable.h"
#include "platform/fs/Volumes.h"

namespace qdl::library {
namespace {

int usageError(std::FILE* err, const QString& why) {
  std::fprintf(err, "quandrel scan: %s\n%s", qPrintable(why), scanUsage());
  return 2;
}

}  // namespace

const char* scanUsage() {
  return "Usage: quandrel scan [--check] [--only-check] [--retag] PATH...\n"
         "  Adds the MP3 files below each PATH to the library in the current folder\n"
         "  (Data/data.db, created when missing).\n"
         "  --check       first remove the records whose files are gone\n"
         "  --only-check  only remove the records whose files are gone (no PATH)\n"
         "  --retag       first read the tags of the songs below each PATH that are\n"
         "                in the library already again (artist, title, year, genre,\n"
         "                a tempo not typed by hand); cue points and all else stay\n";
}

int runScanCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  bool check = false;
  bool onlyCheck = false;
  bool retag = false;
  QStringList roots;
  for (const QString& a : arguments) {
    if (a == QLatin1String("--check")) {
      check = true;
    } else if (a == QLatin1String("--only-check")) {
      onlyCheck = true;
    } else if (a == QLatin1String("--retag")) {
      retag = true;
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      std::fputs(scanUsage(), out);
      return 0;
    } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
      return usageError(err, QStringLiteral("unknown option '%1'").arg(a));
    } else {
      const QFileInfo info(a);
      if (!info.isDir()) return usageError(err, QStringLiteral("'%1' is not a folder").arg(a));
      QString root = QDir::cleanPath(info.absoluteFilePath());
      if (!root.endsWith(QLatin1Char('/'))) root += QLatin1Char('/');
      roots << root;
    }
  }
  if (onlyCheck && !roots.isEmpty())
    return usageError(err, QStringLiteral("--only-check takes no folder"));
  if (onlyCheck && retag)
    return usageError(err, QStringLiteral("--retag needs folders; --only-check takes none"));
  if (!onlyCheck && roots.isEmpty()) return usageError(err, QStringLiteral("no folder to scan"));
  check = check || onlyCheck;

  TDataModule1 data;
  db::Table& table = *data.Table1;
  try {
    data.OpenSongTable(QDir::currentPath(), MissingLibrary::Create,
                       {QStringLiteral("iDateiname"), QString()});
    if (table.isReadOnly())
      throw db::ReadOnlyError(QStringLiteral("The library %1 cannot be written (a read-only "
                                             "medium or folder); nothing was checked or added.")
                                  .arg(QDir::toNativeSeparators(table.filePath())));
  } catch (const std::exception& e) {
    std::fprintf(err, "quandrel scan: %s\n",
                 fs::printableLocal(QString::fromUtf8(e.what())).constData());
    return 1;
  }

  SongScanner scanner(data);
  scanner.setMountPoints(fs::mountPointsFromMountTable(fs::readMountTable()));
  ProgressLine progress(err);
  bool checking = false;
  bool retagging = false;
  InterruptGuard interruptGuard;
  scanner.onStep = [&](SongScanner::Step) {
    if (InterruptGuard::interrupted()) scanner.cancel();
    const ScanCounts& c = scanner.counts();
    if (checking)
      progress.show(QStringLiteral("checking: %1 records, %2 removed, %3 not reachable")
                        .arg(c.checked)
                        .arg(c.removed)
                        .arg(c.notReachable));
    else if (retagging)
      progress.show(
          QStringLiteral("reading tags: %1 records, %2 changed").arg(c.tagsRead).arg(c.retagged));
    else
      progress.show(QStringLiteral("scanning: %1 folders, %2 files found, %3 added  %4")
                        .arg(c.folders)
                        .arg(c.filesFound)
                        .arg(c.added)
                        .arg(QDir::toNativeSeparators(scanner.currentFolder())));
  };

  // A check that was asked for says how many records it checked, also when
  // an empty library made it skip.
  auto summary = [&] {
    ScanCounts c = scanner.counts();
    c.checkRan = c.checkRan || check;
    return c;
  };
  try {
    scanner.useFileNameOrder();
    if (check && table.recordCount() >= 1) {
      checking = true;
      scanner.checkDatabase();
      checking = false;
    }
    for (const QString& root : std::as_const(roots)) {
      if (scanner.cancelled()) break;
      if (retag) {
        // Before the scan, so that the songs it adds are not read twice.
        retagging = true;
        scanner.retagRoot(root);
        retagging = false;
        if (scanner.cancelled()) break;
      }
      scanner.scanRoot(root);
    }
  } catch (const std::exception& e) {
    progress.finish();
    std::fprintf(err, "quandrel scan: %s\n",
                 fs::printableLocal(QString::fromUtf8(e.what())).constData());
    std::fputs(qPrintable(summaryText(summary())), out);
    return 1;
  }
  progress.finish();
  std::fputs(qPrintable(summaryText(summary())), out);
  if (scanner.cancelled()) {
    std::fputs("interrupted: what was found until then is in the library\n", out);
    return 130;
  }
  return 0;
}

}  // namespace qdl::library
