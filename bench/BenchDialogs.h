#pragma once
// A dialog service for benchmarks that run the console's windows: it shows
// nothing, prints every message and error on stderr and answers every
// dialog with No, Cancel or no file, so a benchmark never waits for a click.

#include <QString>
#include <cstdio>

#include "platform/ui/Dialogs.h"

namespace qdl::bench {

class NoDialogs : public qdl::ui::DialogService {
 public:
  qdl::ui::Answer messageBox(QWidget*, const QString& text, const QString&,
                             qdl::ui::Buttons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return qdl::ui::Answer::No;
  }
  void showError(QWidget*, const QString& text) override {
    std::fprintf(stderr, "error: %s\n", qPrintable(text));
  }
  int execDialog(QDialog*) override { return 0; }
  QString openFileName(QWidget*, const QString&, const QString&, const QString&) override {
    return {};
  }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString&,
                       const QString&) override {
    return {};
  }
  bool printerSetup(QWidget*, QPrinter&, const QString&, const QString&) override { return false; }
};

}  // namespace qdl::bench
