#include "platform/report/ProgressWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/report/Texts.h"

namespace qdl::report {

ProgressWindow::ProgressWindow(const QString& caption, const QString& pageText,
                               const QString& cancelText, QWidget* parent)
    : QDialog(parent), pageText_(pageText) {
  setObjectName(QStringLiteral("ReportProgress"));
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  lbPage = new QLabel(this);
  lbPage->setObjectName(QStringLiteral("lbPage"));
  layout->addWidget(lbPage);
  ProgressBar = new QProgressBar(this);
  ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
  layout->addWidget(ProgressBar);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  btCancel = new QPushButton(cancelText, this);
  btCancel->setObjectName(QStringLiteral("btCancel"));
  buttons->addWidget(btCancel);
  layout->addLayout(buttons);
  connect(btCancel, &QPushButton::clicked, this, &ProgressWindow::reject);
  resize(360, 110);
  setWindowModality(Qt::ApplicationModal);
}

bool ProgressWindow::step(int page, int pageCount) {
  if (!isVisible()) show();
  ProgressBar->setRange(0, pageCount);
  ProgressBar->setValue(page);
  lbPage->setText(pageText(pageText_, page + 1, pageCount));
  QCoreApplication::processEvents();
  return !cancelled_;
}

void ProgressWindow::reject() {
  cancelled_ = true;
  btCancel->setEnabled(false);
}

void ProgressWindow::closeEvent(QCloseEvent* event) {
  reject();
  event->ignore();
}

}  // namespace qdl::report
