#pragma once
// Work the program does from the command line, without a window.

#include <QStringList>
#include <optional>

namespace qdl::app {

// Runs the command the arguments name and returns its exit code, or nothing
// when the arguments ask for the console window.
std::optional<int> runCommandLine(const QStringList& arguments);

}  // namespace qdl::app
