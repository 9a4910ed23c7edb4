#pragma once
// `quandrel analyse [--redo]`: the tempo analysis of the library in the
// current folder (Data/data.db), without a window. Analyses every record
// still to do (see qdl::library::TempoAnalysis), and finds the beat grid of
// every record that has a Beats but no grid; --redo also analyses those
// analysed before, but never a Beats the user typed. The fold range comes from the
// settings file in the current folder ([Tempo] MinBPM, MaxBPM).
//
// Prints a progress line to `err` while it works (one line rewritten in
// place on a terminal, a line every few seconds otherwise) and the summary
// of qdl::library::tempoSummaryText to `out`. Ctrl+C stops within a frame
// and keeps what was stored.
//
// Returns the exit code: 0 done, 1 the library cannot be opened or written
// (also a library on a read-only medium, and a folder without a library) or
// the range setting is broken, 2 wrong arguments (nothing was changed), 130
// interrupted.

#include <QStringList>
#include <cstdio>

namespace qdl::library {

// `arguments` are the words after "analyse".
int runAnalyseCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

// The usage text of the analyse command.
const char* analyseUsage();

}  // namespace qdl::library
