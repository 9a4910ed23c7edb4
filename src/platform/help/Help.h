#pragma once
// The help system: our own help files (one per language, named without a
// folder, such as "qdl_g.hlp"), shown in a help window with a contents list,
// a keyword index and topics addressed by context number.
//
// Where the files are looked for: the folder named by QUANDREL_HELP_DIR, the
// folder "help" beside the executable, ../share/quandrel/help beside it, and
// the source tree's help folder.

#include <QString>
#include <functional>

namespace qdl::help {

enum class Command { Contents, Index, Topic };

struct Request {
  Command command;
  QString file;  // the help file name as the window gives it
  int context;   // the topic's context number (Topic only)
};

// Opens the help window on the file's contents (help command 11).
void showContents(const QString& helpFile);
// Opens the help window on the file's keyword index (help command 0x0101).
void showIndex(const QString& helpFile);
// Opens the help window at the topic with that context number.
void showTopic(const QString& helpFile, int context);

// Tests install a recorder: requests then go to it and no window opens.
// Returns the previous recorder.
using Recorder = std::function<void(const Request&)>;
Recorder setRecorder(Recorder recorder);

// Full path of a help file by its name, or an empty text when none is found.
QString locate(const QString& helpFile);

}  // namespace qdl::help
