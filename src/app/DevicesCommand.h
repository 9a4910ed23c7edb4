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
// Returns the exit code: 0 at least one output plays, 3 none does (no sound
// card), 1 the sound system cannot be started, 2 wrong arguments.

#include <QStringList>
#include <cstdio>

namespace qdl::app {

// `arguments` are the words after "devices".
int runDevicesCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

}  // namespace qdl::app
