#pragma once
// `quandrel devices`: the sound outputs this console can play on, without a
// window. Each output of the current backend (QUANDREL_AUDIO) is opened for
// a moment; one line per output that opens goes to `out`:
//
//   {GUID}<TAB>description
//
// (the GUID and the name the device dialog stores in qdl.ini), and one line
// per output that cannot play, with the reason, goes to `err`. Nothing is
// written to qdl.ini.
//
// The sound libraries (ALSA, JACK) write their own messages to the process's
// standard error while the outputs are listed and opened: about a hundred
// lines that bury the answer. They are dropped unless "--verbose" is given;
// the command's own lines are written after the listing.
//
// Returns the exit code: 0 at least one output plays, 3 none does (no sound
// card), 1 the sound system cannot be started, 2 wrong arguments.

#include <QStringList>
#include <cstdio>

namespace qdl::app {

// While it lives, whatever is written to file descriptor 2 goes to
// /dev/null; the old standard error comes back when it ends.
class SilencedStderr {
 public:
  SilencedStderr();
  ~SilencedStderr();
  SilencedStderr(const SilencedStderr&) = delete;
  SilencedStderr& operator=(const SilencedStderr&) = delete;

 private:
  int saved_ = -1;
};

// `arguments` are the words after "devices".
int runDevicesCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace qdl::app
