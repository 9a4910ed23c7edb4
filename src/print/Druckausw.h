#pragma once
// The print selection window: sort order of the song list, preview and print.

#include <QDialog>

class QPushButton;
namespace qdl::ui {
class RadioGroup;
}

class TFormDruckauswahl : public QDialog {
  Q_OBJECT
 public:
  explicit TFormDruckauswahl(QWidget* parent = nullptr);

  QPushButton* btDruck;
  QPushButton* btVorschau;
  QPushButton* btAbbruch;
  QPushButton* btHelp;
  qdl::ui::RadioGroup* rgSort;
};

extern TFormDruckauswahl* FormDruckauswahl;
