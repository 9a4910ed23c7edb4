#pragma once
// Creation of the program's eleven windows, each a single object that lives
// until the program ends.

#include <QString>

namespace qdl::app {

// Creates, in this order: FormQuandrel, DlgGeraete, DataModule1,
// FormPlayList, FormDatenBearbeiten, FormScan, FormProgress, AboutBox,
// FormSprache, FormQReport, FormDruckauswahl, and wires what they need of
// each other.
void createWindows();

// Shows the main window (its first show runs the set-up).
void showMainWindow();

// A picture of the console for documents and for checks that it starts:
// once the first show is done and the window painted, the main window is
// saved as a PNG file, its title and song count go to standard output
// ("saved FILE: TITLE | COUNT"), and the program ends (exit code 1 when the
// file cannot be written). Runs when QUANDREL_SCREENSHOT names the file.
void saveScreenshotAndQuit(const QString& file);

// Deletes the main window and with it every window it owns, and empties the
// globals. Qt deletes children in the order they were made: the main
// window's own controls (its grids on the song table among them) first, then
// the device dialog, the data module and the other windows. No window's
// destructor uses another window.
void destroyWindows();

}  // namespace qdl::app
