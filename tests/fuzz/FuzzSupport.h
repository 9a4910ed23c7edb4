#pragma once
// Helpers of the fuzz targets (internal).

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdl::fuzz {

// A broken promise: reported on standard error and aborted, so that a fuzzer
// keeps the input and a test fails.
#define QDL_FUZZ_CHECK(condition)                                          \
  do {                                                                     \
    if (!(condition)) ::qdl::fuzz::broken(#condition, __FILE__, __LINE__); \
  } while (false)
[[noreturn]] void broken(const char* what, const char* file, int line);

// A folder of this process for the files a target writes (on a memory file
// system where there is one); it goes when the process ends.
QString scratch();
// Writes `bytes` to `path`, replacing it; false when it cannot be written.
bool writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);

inline QByteArray bytesOf(const std::uint8_t* data, std::size_t size) {
  return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// The generated MP3 fixtures: the first `bytes` of each (all of it for 0).
std::vector<QByteArray> fixtureSeeds(int bytes);

}  // namespace qdl::fuzz
