// The libFuzzer entry of one target, chosen by QDL_FUZZ_TARGET when it is
// built (scripts/fuzz). With QDL_FUZZ_SEEDS=<folder> the target's seeds are
// written there first when the folder is empty.

#include <QDir>
#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"

#define QDL_STRING2(x) #x
#define QDL_STRING(x) QDL_STRING2(x)

namespace {
const qdl::fuzz::Target* chosen = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  chosen = qdl::fuzz::target(QDL_STRING(QDL_FUZZ_TARGET));
  if (!chosen) {
    std::fprintf(stderr, "no fuzz target %s\n", QDL_STRING(QDL_FUZZ_TARGET));
    std::exit(2);
  }
  const QString seeds = qEnvironmentVariable("QDL_FUZZ_SEEDS");
  if (!seeds.isEmpty() && QDir().mkpath(seeds) && QDir(seeds).isEmpty()) {
    int n = 0;
    for (const QByteArray& seed : chosen->seeds())
      qdl::fuzz::writeFile(QDir(seeds).filePath(QStringLiteral("seed-%1").arg(n++)), seed);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  chosen->run(data, size);
  return 0;
}
