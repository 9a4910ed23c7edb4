#pragma once
// The about box.

#include <QDialog>

class QPushButton;

class TAboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  QPushButton* OKButton;
};

extern TAboutBox* AboutBox;
