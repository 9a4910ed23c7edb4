#include "app/DevicesCommand.h"

#include <exception>

#include "platform/sound/Sound.h"

namespace qdl::app {

int runDevicesCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  if (!arguments.isEmpty()) {
    std::fprintf(err, "quandrel devices: takes no arguments\n");
    return 2;
  }
  std::vector<sound::DeviceInfo> devices;
  try {
    devices = sound::enumerateDevices();
  } catch (const std::exception& e) {
    std::fprintf(err, "quandrel devices: %s\n", e.what());
    return 1;
  }
  int playable = 0;
  for (const sound::DeviceInfo& info : devices) {
    if (!info.guid) continue;  // the system's default entry is not stored by name
    try {
      // Opening starts the card's stream: a listed card that cannot play
      // (busy, or no server behind it) fails here.
      const auto probe = sound::Device::open(info.guid);
    } catch (const std::exception& e) {
      std::fprintf(err, "cannot play: %s: %s\n", qPrintable(info.description), e.what());
      continue;
    }
    std::fprintf(out, "%s\t%s\n", qPrintable(sound::guidToText(*info.guid)),
                 qPrintable(info.description));
    ++playable;
  }
  if (playable == 0) {
    std::fprintf(err, "quandrel devices: no sound output found\n");
    return 3;
  }
  return 0;
}

}  // namespace qdl::app
