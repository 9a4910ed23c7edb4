#pragma once
// The sound device settings dialog: output mode and sound cards.

#include <QDialog>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;
namespace qdl::ui {
class RadioGroup;
}

class TDlgGeraete : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgGeraete(QWidget* parent = nullptr);

  qdl::ui::RadioGroup* rgMode;
  QLabel* Label1;
  QComboBox* CB_Aux;
  QLabel* Label2;
  QComboBox* CB_Head;
  QFrame* Bevel1;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QPushButton* btHelp;
};

extern TDlgGeraete* DlgGeraete;
