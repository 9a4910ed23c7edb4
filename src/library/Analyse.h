#pragma once
// The tempo analysis of the song library from the menu: a progress window of
// its own with the live count and Cancel, beside the console.
//
// The window is not modal: while the worker analyses (see
// qdl::library::TempoAnalysis) the decks play, load and cue, the grid
// searches and the editor opens, and each result shows in the grids as it is
// stored. Cancel (or closing the window) stops after the current file's
// current frame and keeps what was stored. The run takes the fold range of
// the settings file when it starts.
//
// Uses the globals DataModule1 and FormSprache. Everything here runs on the
// user-interface thread.

#include "library/Progress.h"

namespace qdl::library {
class TempoAnalysis;
}

class TFormAnalyse : public TFormProgress {
  Q_OBJECT
 public:
  explicit TFormAnalyse(QWidget* parent = nullptr);
  ~TFormAnalyse() override;

  // Analyses every record still to do. A library that cannot be written is
  // refused with its message, a broken range setting goes to the error
  // display, and with nothing to do a message says so. While a run goes on
  // it only brings the window to the front.
  void Start();
  // Cancels a run and waits for its worker; for the program's end.
  void Stop();

  bool isRunning() const;
  // The work of the runs (made on first use; Stop drops it).
  qdl::library::TempoAnalysis* analysis();

 signals:
  // A run has ended (done, cancelled or failed).
  void workDone();

 private:
  void showCount();
  void ended();

  qdl::library::TempoAnalysis* analysis_ = nullptr;
};

extern TFormAnalyse* FormAnalyse;
