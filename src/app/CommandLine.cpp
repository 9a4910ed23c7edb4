#include "app/CommandLine.h"

#include <cstdio>

#include "app/DevicesCommand.h"
#include "library/AnalyseCommand.h"
#include "library/ScanCommand.h"
#include "playlist/PlaylistCommand.h"
#include "print/PrintCommand.h"

namespace qdl::app {
namespace {

void printUsage() {
  std::fputs(
      "Usage: quandrel            start the console in the current folder\n"
      "       quandrel --version  print the version\n"
      "       quandrel scan [--check] [--only-check] PATH...\n"
      "                           add the MP3 files below PATH to the library here\n"
      "       quandrel analyse [--redo]\n"
      "                           analyse the tempo of the songs of the library here\n"
      "       quandrel print --sort artist|title|genre|year [--lang de|en] --pdf FILE\n"
      "                           write the song list of the library here as PDF\n"
      "       quandrel playlist FILE\n"
      "                           print the songs of a playlist (.qdp, .m3u, .m3u8)\n"
      "       quandrel devices    list the sound outputs that play (GUID, tab, name)\n",
      stdout);
}

}  // namespace

std::optional<int> runCommandLine(const QStringList& arguments) {
  if (arguments.size() < 2) return std::nullopt;
  const QString& command = arguments.at(1);
  if (command == QLatin1String("--version")) {
    std::fputs("Quandrel public Alpha 2\n", stdout);
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
