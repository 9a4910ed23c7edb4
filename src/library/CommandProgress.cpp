#include "library/CommandProgress.h"

#include <unistd.h>

#include "platform/fs/Printable.h"

namespace qdl::library {
namespace {

volatile std::sig_atomic_t interruptedFlag = 0;

extern "C" void onInterrupt(int) { interruptedFlag = 1; }

}  // namespace

InterruptGuard::InterruptGuard() {
  interruptedFlag = 0;
  previous_ = std::signal(SIGINT, onInterrupt);
}

InterruptGuard::~InterruptGuard() { std::signal(SIGINT, previous_); }

bool InterruptGuard::interrupted() { return interruptedFlag != 0; }

ProgressLine::ProgressLine(std::FILE* err) : err_(err), terminal_(::isatty(::fileno(err)) != 0) {
  clock_.start();
}

void ProgressLine::show(const QString& text, bool force) {
  const qint64 interval = terminal_ ? 100 : 2000;
  if (!force && shown_ && clock_.elapsed() < interval) return;
  clock_.start();
  shown_ = true;
  // The text names files, whose names may hold terminal commands.
  const QByteArray line = fs::printableLocal(text);
  if (terminal_)
    std::fprintf(err_, "\r\033[K%s", line.constData());
  else
    std::fprintf(err_, "%s\n", line.constData());
  std::fflush(err_);
}

void ProgressLine::finish() {
  if (terminal_ && shown_) std::fputs("\n", err_);
}

}  // namespace qdl::library
