#pragma once
// What the library's commands share on the command line: the progress line
// and Ctrl+C.

#include <QElapsedTimer>
#include <QString>
#include <csignal>
#include <cstdio>

namespace qdl::library {

// Catches Ctrl+C for the lifetime of the object: interrupted() then says
// yes, and the command stops at its next step.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  static bool interrupted();

 private:
  void (*previous_)(int) = SIG_DFL;
};

// The progress line: rewritten in place on a terminal, else printed now and
// then so that logs stay short.
class ProgressLine {
 public:
  explicit ProgressLine(std::FILE* err);
  void show(const QString& text, bool force = false);
  // Ends the line on a terminal.
  void finish();

 private:
  std::FILE* err_;
  bool terminal_;
  bool shown_ = false;
  QElapsedTimer clock_;
};

}  // namespace qdl::library
