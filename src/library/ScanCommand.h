#pragma once
// `quandrel scan [--check] [--only-check] PATH...`: the check and scan of
// the library in the current folder (Data/data.db, created when missing),
// without a window. Prints a progress line to `err` while it works (one line
// rewritten in place on a terminal, a line every few seconds otherwise) and
// the summary of qdl::library::summaryText to `out`.
//
// Modes: without options the PATHs are scanned; --check first deletes the
// records whose files are gone (skipped while the library is empty; records
// of media that are not mounted stay, see SongScanner);
// --only-check does only that and takes no PATH. Each PATH must be a
// folder; the walk never enters another mount point below it. Ctrl+C stops
// after the current file and keeps what was added.
//
// The summary counts only what was written to the library.
// Returns the exit code: 0 done, 1 the library cannot be opened or written,
// 2 wrong arguments (nothing was changed), 130 interrupted.

#include <QStringList>
#include <cstdio>

namespace qdl::library {

// `arguments` are the words after "scan".
int runScanCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

// The usage text of the scan command.
const char* scanUsage();

}  // namespace qdl::library
