#pragma once
// The help system: our own help files (one per language, named without a
// folder, such as "qdl_g.hlp"), shown in a help window with a contents list,
// a keyword index and topics addressed by context number.
//
// Where the files are looked for: the folder named by QUANDREL_HELP_DIR, the
// folder "help" beside the executable, ../share/quandrel/help beside it, and
// the source tree's help folder.

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace qdl::help {

enum class Command { Contents, Index, Topic };

struct Request {
  Command command;
  QString file;  // the help file name as the window gives it
  int context;   // the topic's context number (Topic only)
};

// The show functions open (or reuse and raise) the one help window. A help
// file that is missing or malformed is reported through the dialog service
// (naming the file, and the folders searched or the faulty lines); nothing
// else happens then. Messages follow the language of the file asked for: a
// name ending in "_g" is German, any other English.

// Opens the help window on the file's contents (help command 11).
void showContents(const QString& helpFile);
// Opens the help window on the file's keyword index (help command 0x0101).
void showIndex(const QString& helpFile);
// Opens the help window at the topic with that context number; context 0 or
// a number the file does not have shows the contents.
void showTopic(const QString& helpFile, int context);

// Tests install a recorder: requests then go to it and no window opens.
// Returns the previous recorder.
using Recorder = std::function<void(const Request&)>;
Recorder setRecorder(Recorder recorder);

// Full path of a help file by its name, or an empty text when none is found.
// The folders are searched in the order of helpFolders(); within a folder an
// exact name wins over one that differs only in letter case. An absolute
// path is taken as it is when the file exists.
QString locate(const QString& helpFile);

// The folders locate() searches, in order; folders that do not exist are
// listed too (the missing-file message names them).
QStringList helpFolders();

// The help window while one exists (a HelpWindow), else nullptr.
QWidget* helpWindow();
// Closes and deletes the help window. Runs by itself when the application
// is about to quit; tests call it to start from a clean state.
void closeHelpWindow();

}  // namespace qdl::help
