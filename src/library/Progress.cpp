#include "library/Progress.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "lang/Sprache.h"

TFormProgress* FormProgress = nullptr;

TFormProgress::TFormProgress(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("FormProgress"));
  setWindowTitle(QStringLiteral("Fortschrittsanzeige"));
  auto* layout = new QVBoxLayout(this);
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 1000);
  layout->addWidget(ProgressBar1);
  lbStatus = new QLabel(this);
  lbStatus->setObjectName(QStringLiteral("lbStatus"));
  lbStatus->setTextFormat(Qt::PlainText);
  lbStatus->setMinimumHeight(2 * lbStatus->fontMetrics().lineSpacing());
  // A long folder path is shortened by the label's width, not the window's.
  lbStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(lbStatus);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btCancel = new QPushButton(QStringLiteral("&Abbruch"), this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  btCancel->setEnabled(false);
  buttons->addWidget(btCancel);
  layout->addLayout(buttons);
  connect(btCancel, &QPushButton::clicked, this, &TFormProgress::requestCancel);
  resize(460, 110);
}

void TFormProgress::startWork(const QString& caption, int maximum, Qt::WindowModality modality) {
  setWindowTitle(caption);
  ProgressBar1->setRange(0, maximum);
  ProgressBar1->setValue(0);
  lbStatus->clear();
  // The button speaks the language of the other windows once it is set.
  if (FormSprache && !FormSprache->Knopf.sAbbruch.isEmpty())
    btCancel->setText(FormSprache->Knopf.sAbbruch);
  cancelRequested_ = false;
  working_ = true;
  btCancel->setEnabled(true);
  setWindowModality(modality);
  show();
  raise();
}

void TFormProgress::advance(bool wrap) {
  int position = ProgressBar1->value() + 1;
  if (position >= ProgressBar1->maximum()) position = wrap ? 0 : ProgressBar1->maximum();
  ProgressBar1->setValue(position);
}

void TFormProgress::setStatus(const QString& text) {
  // Long paths keep their end, which names the folder being searched.
  const QStringList lines = text.split(QLatin1Char('\n'));
  QStringList shown;
  const int width = qMax(100, lbStatus->width());
  for (const QString& line : lines)
    shown << lbStatus->fontMetrics().elidedText(line, Qt::ElideLeft, width);
  lbStatus->setText(shown.join(QLatin1Char('\n')));
}

void TFormProgress::endWork() {
  working_ = false;
  btCancel->setEnabled(false);
  hide();
  setWindowModality(Qt::NonModal);
}

void TFormProgress::requestCancel() {
  if (!working_ || cancelRequested_) return;
  cancelRequested_ = true;
  btCancel->setEnabled(false);
  emit cancelClicked();
}

void TFormProgress::reject() {
  if (working_) {
    requestCancel();
    return;
  }
  QDialog::reject();
}

void TFormProgress::closeEvent(QCloseEvent* event) {
  if (working_) {
    requestCancel();
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}
