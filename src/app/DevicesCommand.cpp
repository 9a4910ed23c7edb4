#include "app/DevicesCommand.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <exception>
#include <optional>

#include "platform/sound/Sound.h"

namespace qdl::app {

SilencedStderr::SilencedStderr() {
  std::fflush(stderr);
  const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  saved_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
  if (saved_ >= 0) ::dup2(null, 2);
  ::close(null);
}

SilencedStderr::~SilencedStderr() {
  if (saved_ < 0) return;
  std::fflush(stderr);
  ::dup2(saved_, 2);
  ::close(saved_);
}

int runDevicesCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  const bool verbose = arguments == QStringList{QStringLiteral("--verbose")};
  if (!arguments.isEmpty() && !verbose) {
    std::fprintf(err, "quandrel devices: takes no arguments but --verbose\n");
    return 2;
  }
  // The command's own messages wait until the libraries' noise is shut off
  // again, so that they reach the terminal.
  QStringList problems;
  QStringList found;
  {
    std::optional<SilencedStderr> quiet;
    if (!verbose) quiet.emplace();
    std::vector<sound::DeviceInfo> devices;
    try {
      devices = sound::enumerateDevices();
    } catch (const std::exception& e) {
      quiet.reset();
      std::fprintf(err, "quandrel devices: %s\n", e.what());
      return 1;
    }
    for (const sound::DeviceInfo& info : devices) {
      if (!info.guid) continue;  // the system's default entry is not stored by name
      try {
        // Opening starts the card's stream: a listed card that cannot play
        // (busy, or no server behind it) fails here.
        const auto probe = sound::Device::open(info.guid);
      } catch (const std::exception& e) {
        problems << QStringLiteral("cannot play: %1: %2\n")
                        .arg(info.description, QString::fromLocal8Bit(e.what()));
        continue;
      }
      found << QStringLiteral("%1\t%2\n").arg(sound::guidToText(*info.guid), info.description);
    }
  }
  for (const QString& line : std::as_const(problems)) std::fputs(qPrintable(line), err);
  for (const QString& line : std::as_const(found)) std::fputs(qPrintable(line), out);
  const int playable = int(found.size());
  if (playable == 0) {
    std::fprintf(err, "quandrel devices: no sound output found\n");
    return 3;
  }
  return 0;
}

}  // namespace qdl::app
