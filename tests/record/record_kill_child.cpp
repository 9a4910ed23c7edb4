// Records a known signal until it is killed: test_record_kill kills it with
// SIGKILL mid-recording and decodes what it left.
//
//   record_kill_child <folder> <flac|wav|mp3>
//
// Prints "recorded <frames>" once that many frames have reached the encoder
// (at least three seconds), then records on until it is killed.

#include <cstdio>
#include <thread>

#include "platform/record/Recorder.h"
#include "platform/sound/OutputTap.h"
#include "record/RecordHarness.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const auto format = qdl::record::formatFromName(QString::fromLocal8Bit(argv[2]));
  if (!format) return 2;
  qdl::record::Recorder recorder;
  qdl::record::RecordSettings settings;
  settings.folder = QString::fromLocal8Bit(argv[1]);
  settings.format = *format;
  std::shared_ptr<qdl::sound::OutputTap> tap;
  const QString why = recorder.start(settings, QDateTime(QDate(2026, 12, 24), QTime(21, 7, 9)),
                                     [&](std::shared_ptr<qdl::sound::OutputTap> t) { tap = t; });
  if (!why.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 1;
  }
  std::int64_t pushed = 0;
  bool told = false;
  for (;;) {
    // Four times real time: the card's 10 ms blocks, 2.5 ms apart.
    const auto block = qdl::test::pattern(pushed, 441);
    tap->push(block.data(), 441);
    pushed += 441;
    const std::int64_t written = recorder.status().writtenFrames;
    if (!told && written >= 3 * 44100) {
      std::printf("recorded %lld\n", static_cast<long long>(written));
      std::fflush(stdout);
      told = true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(2500));
  }
}
