#pragma once
// The check and scan window: keeps the song library in step with the disks.

#include <QCheckBox>
#include <QDialog>
#include <array>

class QGroupBox;
class QPushButton;
namespace qdl::ui {
class RadioGroup;
}

class TFormScan : public QDialog {
  Q_OBJECT
 public:
  explicit TFormScan(QWidget* parent = nullptr);

  QGroupBox* GroupBox1;
  QCheckBox* cbNet;
  QCheckBox* cbCDRom;
  QCheckBox* cbChange;
  qdl::ui::RadioGroup* RGBedingung;
  QPushButton* btStart;
  QPushButton* btCancel;
  QPushButton* btHelp;
};

extern TFormScan* FormScan;
