#include "playlist/PlaylistCommand.h"

#include <QFileInfo>

#include "platform/fs/Folders.h"
#include "platform/fs/Printable.h"
#include "platform/fs/Volumes.h"
#include "playlist/PlaylistFile.h"

namespace qdl::playlist {
namespace {

QString errorText(const FileResult& r) {
  switch (r.error) {
    case ReadError::None:
      break;
    case ReadError::NotFound:
      return QStringLiteral("no such file");
    case ReadError::IsFolder:
      return QStringLiteral("a folder, not a playlist");
    case ReadError::NotRegular:
      return QStringLiteral("not a regular file (a pipe or a device)");
    case ReadError::TooLarge:
      return QStringLiteral("too large for a playlist (%1 bytes, at most %2)")
          .arg(r.detail)
          .arg(kMaxFileBytes);
    case ReadError::Unreadable:
      return QStringLiteral("cannot be read (%1)").arg(r.detail);
    case ReadError::Binary:
      return QStringLiteral("not a playlist but a binary file");
  }
  return QString();
}

int usageError(std::FILE* err, const QString& why) {
  std::fprintf(err, "quandrel playlist: %s\n%s", fs::printableLocal(why).constData(),
               playlistUsage());
  return 2;
}

}  // namespace

const char* playlistUsage() {
  return "Usage: quandrel playlist FILE\n"
         "  Prints the entries a load of FILE (.qdp, .m3u or .m3u8) gives, one full path\n"
         "  per line; skipped lines and missing files go to standard error.\n";
}

int runPlaylistCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  if (arguments.size() == 1 &&
      (arguments[0] == QLatin1String("--help") || arguments[0] == QLatin1String("-h"))) {
    std::fputs(playlistUsage(), out);
    return 0;
  }
  if (arguments.size() != 1) return usageError(err, QStringLiteral("name one playlist file"));
  const QString path = arguments[0];
  if (!formatOf(path))
    return usageError(err, QStringLiteral("'%1' is not a .qdp, .m3u or .m3u8 file").arg(path));

  const FileResult r = readPlaylistFile(QFileInfo(path).absoluteFilePath(),
                                        fs::mountPointsFromMountTable(fs::readMountTable()));
  // Everything printed from the file goes through printable(): a line may
  // hold escape sequences that a terminal would obey.
  if (r.error != ReadError::None) {
    std::fprintf(err, "quandrel playlist: %s: %s\n", fs::printableLocal(path).constData(),
                 fs::printableLocal(errorText(r)).constData());
    return 1;
  }
  for (const SkippedLine& s : r.read.skipped)
    std::fprintf(err, "line %d skipped (%s): %s\n", s.line, reasonName(s.reason),
                 fs::printableLocal(s.text).constData());
  for (const QString& e : r.read.entries) {
    const QByteArray shown = fs::printableLocal(e);
    std::fprintf(out, "%s\n", shown.constData());
    if (fs::isFileMissing(e)) std::fprintf(err, "missing: %s\n", shown.constData());
  }
  std::fflush(out);
  return 0;
}

}  // namespace qdl::playlist
