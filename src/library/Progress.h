#pragma once
// A small window with one progress bar, shown while a check or scan runs.

#include <QDialog>

class QProgressBar;

class TFormProgress : public QDialog {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);

  QProgressBar* ProgressBar1;
};

extern TFormProgress* FormProgress;
