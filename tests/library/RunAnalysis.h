#pragma once
// Runs a tempo analysis to its end (or its cancel) in an event loop; a run
// that does not end within five minutes fails the test.

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QTimer>
#include <chrono>

#include "library/TempoAnalysis.h"

namespace qdl::test {

inline void runAnalysis(qdl::library::TempoAnalysis& a, bool redo = false,
                        qdl::tempo::Range range = {}) {
  if (a.start(range, redo) == 0) return;
  QEventLoop loop;
  QObject::connect(&a, &qdl::library::TempoAnalysis::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(std::chrono::minutes(5), &loop, [&] {
    ADD_FAILURE() << "the analysis did not end";
    loop.quit();
  });
  loop.exec();
}

}  // namespace qdl::test
