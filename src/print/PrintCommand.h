#pragma once
// `quandrel print --sort artist|title|genre|year [--lang de|en] --pdf FILE`:
// the song list of the library in the current folder (Data/data.db) as a PDF
// file, without a window. With `--csv FILE` (instead of or beside --pdf) the
// list in the same order as CSV (SongCsv.h), the auto-gain's column at the
// reference loudness qdl.ini here sets. The list is the one the print selection window
// prints, in the chosen order; its texts are German or English (without
// --lang, the language set in qdl.ini here; German when none is set).
//
// FILE is replaced only when the whole list was written. Prints a progress
// line to `err` while it works and a summary line to `out` at the end.
// Ctrl+C stops and leaves FILE as it was.
//
// Returns the exit code: 0 written, 1 the library cannot be read or the file
// cannot be written, 2 wrong arguments, 3 the library holds no songs (no
// file is written), 130 interrupted.

#include <QStringList>
#include <cstdio>

namespace qdl::print {

// `arguments` are the words after "print".
int runPrintCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

// The usage text of the print command.
const char* printUsage();

}  // namespace qdl::print
