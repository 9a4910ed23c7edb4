// Playlist loads on the console itself: a .qdp of 10,000 entries loaded with
// its list while the song grid is shown, the same list on a library that
// holds none of its songs yet (each is added as a scan would add it), and
// reading M3U text without a window.
//
// The 10,000 song files (1 KiB and an ID3v1 tag each) are made once under
// /tmp/quandrel-bench-playlist and kept between runs.
//
//   bench_playlist --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "BenchDialogs.h"
#include "Figures.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"
#include "playlist/PlaylistFile.h"

namespace {

using qdl::sound::VirtualCards;

constexpr int kEntries = 10000;
const QString kRoot = QStringLiteral("/tmp/quandrel-bench-playlist");

// The song files, made on the first run.
QStringList songFiles() {
  QStringList files;
  for (int i = 0; i < kEntries; ++i)
    files << QStringLiteral("%1/music/Folder %2/Artist %3 - Title %3.mp3")
                 .arg(kRoot)
                 .arg(i / 1000)
                 .arg(i);
  if (QFileInfo::exists(kRoot + "/.done")) return files;
  for (int i = 0; i < kEntries; ++i) {
    QDir().mkpath(QFileInfo(files[i]).path());
    QByteArray data(1024 + 128, '\0');
    std::memcpy(data.data() + 1024, "TAG", 3);
    const QByteArray n = QByteArray::number(i);
    std::memcpy(data.data() + 1027, "Title " + n, size_t(6 + n.size()));
    std::memcpy(data.data() + 1057, "Artist " + n, size_t(7 + n.size()));
    QFile f(files[i]);
    if (f.open(QIODevice::WriteOnly)) f.write(data);
  }
  QFile done(kRoot + "/.done");
  done.open(QIODevice::WriteOnly);
  return files;
}

// The console in a temporary folder with the virtual cards, its library
// holding the songs or not.
class Console {
 public:
  explicit Console(const QStringList& inLibrary) {
    QDir::setCurrent(dir_.path());
    QFile ini(dir_.filePath("qdl.ini"));
    if (ini.open(QIODevice::WriteOnly)) {
      ini.write(QStringLiteral("[Devices]\r\nMode=2\r\nCard_1=%1\r\nCard_2=%2\r\n"
                               "[present Devices]\r\n%1=%3\r\n%2=%4\r\n")
                    .arg(VirtualCards::description(0), VirtualCards::description(1),
                         qdl::sound::guidToText(VirtualCards::guid(0)),
                         qdl::sound::guidToText(VirtualCards::guid(1)))
                    .toUtf8());
      ini.close();
    }
    qdl::ui::setDialogs(&dialogs_);
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    qdl::db::Table* t = DataModule1->Table1;
    QSignalBlocker quiet(t);  // the grid follows once, below
    t->beginBatch();
    for (int i = 0; i < inLibrary.size(); ++i)
      t->insertRecord({QVariant(), QStringLiteral("Artist %1").arg(i),
                       QStringLiteral("Title %1").arg(i), QVariant(), "Pop", "2001", inLibrary[i],
                       QVariant(), 0, QVariant(), false});
    t->endBatch();
    quiet.unblock();
    t->refresh();
    t->first();
  }
  ~Console() {
    qdl::app::destroyWindows();
    qdl::ui::setDialogs(nullptr);
  }
  QString file(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  qdl::bench::NoDialogs dialogs_;
};

bool loaded(benchmark::State& state) {
  if (FormPlayList->ListBox1->count() == kEntries && FormPlayList->FileList.size() == kEntries)
    return true;
  state.SkipWithError("the playlist did not load");
  return false;
}

void BM_LoadQdpInLibrary(benchmark::State& state) {
  const QStringList files = songFiles();
  Console console(files);
  const QString qdp = console.file("set.qdp");
  qdl::playlist::writeQdp(qdp, files);
  qdl::bench::Samples ms;
  for (auto _ : state) {
    const double t0 = qdl::bench::wallSeconds();
    FormPlayList->LoadPlaylistFile(qdp, QDir::currentPath(), *DataModule1);
    QApplication::processEvents();  // the list and the grid paint
    ms.add((qdl::bench::wallSeconds() - t0) * 1000);
    if (!loaded(state)) break;
  }
  state.counters["entries"] = kEntries;
  qdl::bench::figure("Playlist: .qdp of 10,000 entries loaded with its list, median", ms.median(),
                     "ms", qdl::bench::below(1000));
}
BENCHMARK(BM_LoadQdpInLibrary)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Every song goes into the library as it is listed.
void BM_LoadQdpAddingEverySong(benchmark::State& state) {
  const QStringList files = songFiles();
  for (auto _ : state) {
    state.PauseTiming();
    {
      Console console({});
      const QString qdp = console.file("set.qdp");
      qdl::playlist::writeQdp(qdp, files);
      state.ResumeTiming();
      FormPlayList->LoadPlaylistFile(qdp, QDir::currentPath(), *DataModule1);
      QApplication::processEvents();
      state.PauseTiming();
      if (!loaded(state) || DataModule1->Table1->recordCount() != kEntries)
        state.SkipWithError("the songs were not added");
    }
    state.ResumeTiming();
  }
}
BENCHMARK(BM_LoadQdpAddingEverySong)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// An extended M3U list of relative paths, read and resolved without a window.
void BM_ReadM3uText(benchmark::State& state) {
  QByteArray m3u = "#EXTM3U\r\n";
  for (int i = 0; i < kEntries; ++i)
    m3u += QStringLiteral(
               "#EXTINF:215,Artist %1 - Title %1\r\n..\\Folder %2\\Artist %1 - Title "
               "%1.mp3\r\n")
               .arg(i)
               .arg(i / 1000)
               .toUtf8();
  const qdl::playlist::M3uPlace place{"/media/stick/lists", "/media/stick", nullptr};
  for (auto _ : state) {
    const auto r = qdl::playlist::parseM3u(m3u, place);
    if (r.entries.size() != kEntries) state.SkipWithError("wrong entries");
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * m3u.size());
}
BENCHMARK(BM_ReadM3uText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  qputenv("QUANDREL_AUDIO", "virtual");
  if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
