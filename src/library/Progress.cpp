#include "library/Progress.h"

#include <QProgressBar>
#include <QVBoxLayout>

TFormProgress* FormProgress = nullptr;

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormProgress"));
  setWindowTitle(QStringLiteral("Fortschrittsanzeige"));
  auto* layout = new QVBoxLayout(this);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 1000);
  layout->addWidget(ProgressBar1);
  resize(400, 60);
}
