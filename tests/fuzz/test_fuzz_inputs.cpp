// Every fuzz target on its seeds and on the inputs kept in
// tests/data/fuzz/<target>/ (each crash a fuzzer found stays there as a
// regression test): under the sanitizers of the test build, a broken
// promise or a sanitizer report fails the run.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"

namespace {

using qdl::fuzz::Target;

class FuzzInputs : public ::testing::TestWithParam<Target> {};

TEST_P(FuzzInputs, SeedsAndKeptInputsKeepEveryPromise) {
  const Target& t = GetParam();
  int inputs = 0;
  for (const QByteArray& seed : t.seeds()) {
    t.run(reinterpret_cast<const std::uint8_t*>(seed.constData()), std::size_t(seed.size()));
    ++inputs;
  }
  const QDir kept(QStringLiteral(QDL_TEST_DATA_DIR "/fuzz/") + QLatin1String(t.name));
  for (const QString& name : kept.entryList(QDir::Files, QDir::Name)) {
    SCOPED_TRACE(name.toStdString());
    const QByteArray input = qdl::fuzz::readFile(kept.filePath(name));
    t.run(reinterpret_cast<const std::uint8_t*>(input.constData()), std::size_t(input.size()));
    ++inputs;
  }
  RecordProperty("inputs", inputs);
  EXPECT_GT(inputs, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryReader, FuzzInputs, ::testing::ValuesIn(qdl::fuzz::targets()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
