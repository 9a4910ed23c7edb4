#pragma once
// The record and ID3 tag editor.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

class TFormDatenBearbeiten : public QDialog {
  Q_OBJECT
 public:
  explicit TFormDatenBearbeiten(QWidget* parent = nullptr);

  QLabel* Label1;
  QLineEdit* Edit1;
  QLabel* Label2;
  QLineEdit* Edit2;
  QLabel* Label3;
  QTableView* DBGrid1;
  QPushButton* btClose;
  QPushButton* btHelp;
};

extern TFormDatenBearbeiten* FormDatenBearbeiten;
