#pragma once
// The print selection window: the order of the song list (artist, title,
// genre or year), its preview and its print.
//
// Preview and print first make the chosen order the song table's active
// order, which stays afterwards (the song grid then shows it). The preview
// leaves the window open, so several orders can be looked at before one is
// printed; a print that was done closes it with OK, one that failed, found
// nothing to print or was cancelled leaves it open. Cancel closes it and leaves the song
// table alone. "CSV..." saves the list in the chosen order as a CSV file.
// The window keeps its sort choice between openings; each
// application of the language sets it back to the first item.

#include <QDialog>

class QPushButton;
namespace qdl::ui {
class RadioGroup;
}

class TFormDruckauswahl : public QDialog {
  Q_OBJECT
 public:
  // Help context number of the window and all its controls.
  static constexpr int kHelpContext = 95;

  explicit TFormDruckauswahl(QWidget* parent = nullptr);

  QPushButton* btDruck;
  QPushButton* btVorschau;
  QPushButton* btAbbruch;
  QPushButton* btHelp;
  QPushButton* btCsv;  // the list as a CSV file, beside the sort choice
  qdl::ui::RadioGroup* rgSort;

  // Makes the index of the chosen sort item (iInterpret, iTitel, iGenre,
  // iJahr) the song table's active order; without a chosen item the order
  // stays.
  void SelectSort();
  // SelectSort, then the report's preview; returns when the preview closes.
  void btVorschauClick();
  // SelectSort, then the report's print; closes the window with OK when the
  // list was printed.
  void btDruckClick();
  // SelectSort, then asks for a file name (the dialog service's save
  // dialog, ".csv" added when missing) and writes the list there
  // (print/SongCsv.h); a failure is told. The window stays open.
  void btCsvClick();
  // Closes the window with Cancel.
  void btAbbruchClick();
  // The window's help topic.
  void btHelpClick();
};

extern TFormDruckauswahl* FormDruckauswahl;
