#include "app/CommandLine.h"

#include <cstdio>

#include "app/DevicesCommand.h"
#include "app/StartOptions.h"
#include "library/AnalyseCommand.h"
#include "library/ScanCommand.h"
#include "playlist/PlaylistCommand.h"
#include "print/PrintCommand.h"

namespace qdl::app {
namespace {

void printUsage() { std::fputs(usageText().toLocal8Bit().constData(), stdout); }

}  // namespace

std::optional<int> runCommandLine(const QStringList& arguments) {
  if (arguments.size() < 2) return std::nullopt;
  const QString& command = arguments.at(1);
  if (command == QLatin1String("--version")) {
    std::fputs(versionText().toLocal8Bit().constData(), stdout);
    return 0;
  }
  if (command == QLatin1String("scan"))
    return qdl::library::runScanCommand(arguments.mid(2), stdout, stderr);
  if (command == QLatin1String("analyse") || command == QLatin1String("analyze"))
    return qdl::library::runAnalyseCommand(arguments.mid(2), stdout, stderr);
  if (command == QLatin1String("print"))
    return qdl::print::runPrintCommand(arguments.mid(2), stdout, stderr);
  if (command == QLatin1String("playlist"))
    return qdl::playlist::runPlaylistCommand(arguments.mid(2), stdout, stderr);
  if (command == QLatin1String("devices"))
    return runDevicesCommand(arguments.mid(2), stdout, stderr);
  if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
    printUsage();
    return 0;
  }
  // Arguments the window system understands (such as -platform) pass on.
  if (command.startsWith(QLatin1Char('-'))) return std::nullopt;
  std::fprintf(stderr, "quandrel: unknown command '%s'\n", qPrintable(command));
  printUsage();
  return 2;
}

}  // namespace qdl::app
