// Help file figures: what opening the help window costs for the shipped
// German file (read and parse with validation, render every topic, build
// the sorted keyword index). The window opens on the first F1 press, so the
// whole should stay far below what a user notices (a few milliseconds).
#include <benchmark/benchmark.h>

#include <QFile>

#include "platform/help/HelpFile.h"

namespace {

QByteArray shippedGerman() {
  QFile f(QStringLiteral(QDL_HELP_SOURCE_DIR "/qdl_g.hlp"));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void BM_ParseHelpFile(benchmark::State& state) {
  const QByteArray data = shippedGerman();
  for (auto _ : state) {
    qdl::help::ParseResult r = qdl::help::parseHelp(data);
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * data.size());
}
BENCHMARK(BM_ParseHelpFile)->Unit(benchmark::kMillisecond);

void BM_RenderAllTopics(benchmark::State& state) {
  const qdl::help::HelpDocument doc = qdl::help::parseHelp(shippedGerman()).document;
  for (auto _ : state) {
    for (const qdl::help::HelpTopic& t : doc.topics) {
      QString html = qdl::help::topicHtml(doc, t);
      benchmark::DoNotOptimize(html);
    }
  }
}
BENCHMARK(BM_RenderAllTopics)->Unit(benchmark::kMillisecond);

void BM_BuildIndex(benchmark::State& state) {
  const qdl::help::HelpDocument doc = qdl::help::parseHelp(shippedGerman()).document;
  for (auto _ : state) {
    QList<qdl::help::IndexEntry> index = doc.index();
    benchmark::DoNotOptimize(index);
  }
}
BENCHMARK(BM_BuildIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
