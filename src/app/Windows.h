#pragma once
// Creation of the program's eleven windows, each a single object that lives
// until the program ends.

namespace qdl::app {

// Creates, in this order: FormQuandrel, DlgGeraete, DataModule1,
// FormPlayList, FormDatenBearbeiten, FormScan, FormProgress, AboutBox,
// FormSprache, FormQReport, FormDruckauswahl, and wires what they need of
// each other.
void createWindows();

// Shows the main window (its first show runs the set-up).
void showMainWindow();

// Deletes the main window and with it every window it owns, and empties the
// globals. Qt deletes children in the order they were made: the main
// window's own controls (its grids on the song table among them) first, then
// the device dialog, the data module and the other windows. No window's
// destructor uses another window.
void destroyWindows();

}  // namespace qdl::app
