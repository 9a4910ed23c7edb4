#pragma once
// What the program is asked to do by its arguments, read before any Qt
// application object exists: printing the usage or the version must work
// without a display, and an unknown option ends the program with exit code 2.
//
// The options before a command are the program's own:
//   --help, -h        the usage (exit 0)
//   --version         the version (exit 0)
//   --menu            started from the desktop's menu: the folder is ~/Quandrel
//   --folder DIR      the folder of the settings, the library and the playlists
// A command word (scan, analyse, print, playlist, devices) ends them; what
// follows belongs to the command. Qt's own options (-platform NAME, -style
// NAME, ...) pass on to Qt.

#include <QString>
#include <QStringList>
#include <optional>

namespace qdl::app {

struct StartOptions {
  // Set when the program ends at once with this code (usage, version, a
  // wrong option); `message` then goes to stdout for 0, else to stderr.
  std::optional<int> exitCode;
  QString message;

  bool menu = false;
  QString folder;   // --folder, as given
  QString command;  // the command word, empty for the console
  // The arguments to hand on: the program name, Qt's options, the command
  // and its arguments (without --menu and --folder).
  QStringList arguments;
};

StartOptions parseStartOptions(const QStringList& arguments);

// The usage text (the commands and options, one or two lines each).
QString usageText();
// The version line.
QString versionText();

// Whether a word is one of the commands.
bool isCommandWord(const QString& word);

// The folder the console or a command works in. `--folder` wins; a menu
// start uses HOME/Quandrel; so does a start in the home folder itself when
// that folder holds no console data (no qdl.ini, no Data/data.db), since a
// launcher that passes no option starts there. Otherwise the current folder.
QString workingFolder(const StartOptions& options, const QString& current, const QString& home);

// The arguments to hand on (StartOptions::arguments) with the paths the
// command names made absolute against `current`, the folder the program was
// started in: a command that works in another folder (--folder, --menu)
// still reads and writes the files the user named from where the user is.
// The paths are scan's folders, print's --pdf file and playlist's file.
QStringList withAbsolutePaths(const StartOptions& options, const QString& current);

// Makes `folder` (creating it and its parents when missing) the current
// folder; false with a message when that fails.
bool enterFolder(const QString& folder, QString* error);

}  // namespace qdl::app
