#pragma once
// A small window with one progress bar, shown while a check or scan runs.
//
// While a piece of work runs (between startWork and endWork) the window is
// application modal unless the work asks otherwise: the other windows take
// no input, while timers and repaints go on whenever the work processes
// events. Its Cancel button (and
// Escape or closing the window) asks the work to stop; the window itself
// stays until endWork.

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

class TFormProgress : public QDialog {
  Q_OBJECT
 public:
  explicit TFormProgress(QWidget* parent = nullptr);

  QProgressBar* ProgressBar1;
  QLabel* lbStatus;  // what the work is doing: folder and counts
  QPushButton* btCancel;

  // Sets the caption and the bar's range 0..maximum at position 0, clears
  // the status and shows the window, modal for the whole application unless
  // asked otherwise (work that runs beside the console, such as the tempo
  // analysis, leaves the other windows usable).
  void startWork(const QString& caption, int maximum,
                 Qt::WindowModality modality = Qt::ApplicationModal);
  // Moves the bar on by one. With wrap, reaching the maximum starts it again
  // at 0 (an activity sign); without, it stays at the maximum.
  void advance(bool wrap);
  void setStatus(const QString& text);
  // Closes the window.
  void endWork();

  bool isWorking() const { return working_; }
  bool cancelRequested() const { return cancelRequested_; }

  // While working: asks to cancel instead of closing.
  void reject() override;

 signals:
  void cancelClicked();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void requestCancel();
  bool working_ = false;
  bool cancelRequested_ = false;
};

extern TFormProgress* FormProgress;
