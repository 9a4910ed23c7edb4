#pragma once
// The printer that prints go to: the system's default printer until the
// printer set-up chooses another. One object for the whole program, made on
// first use and deleted when the application ends; nothing of it is stored
// between runs. Used on the user-interface thread only.

class QPrinter;

namespace qdl::report {

QPrinter& selectedPrinter();

}  // namespace qdl::report
