#pragma once
// The small window shown while the pages of a report go to the printer or
// into a file: which page is being made, a bar, and Cancel.
//
// It is modal for the whole application while it is shown; each step lets
// pending events through, so the window repaints and Cancel (or Escape, or
// closing the window) is seen before the next page.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace qdl::report {

class ProgressWindow : public QDialog {
  Q_OBJECT
 public:
  // pageText holds "%1" for the page and "%2" for the number of pages.
  ProgressWindow(const QString& caption, const QString& pageText, const QString& cancelText,
                 QWidget* parent = nullptr);

  // Shows page `page` (0-based) of `pageCount` and processes pending events;
  // false once the user cancelled.
  bool step(int page, int pageCount);
  bool cancelled() const { return cancelled_; }

  QLabel* lbPage;
  QProgressBar* ProgressBar;
  QPushButton* btCancel;

  void reject() override;  // cancels; the window stays until the run ends

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QString pageText_;
  bool cancelled_ = false;
};

}  // namespace qdl::report
