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

// Deletes the windows in reverse order and empties the globals.
void destroyWindows();

}  // namespace qdl::app
