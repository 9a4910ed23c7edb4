#include "library/AnalyseCommand.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <exception>

#include "library/CommandProgress.h"
#include "library/Datamod.h"
#include "library/TempoAnalysis.h"
#include "platform/db/Table.h"
#include "platform/fs/Printable.h"
#include "platform/ini/IniFile.h"

namespace qdl::library {
namespace {

int usageError(std::FILE* err, const QString& why) {
  std::fprintf(err, "quandrel analyse: %s\n%s", qPrintable(why), analyseUsage());
  return 2;
}

int failure(std::FILE* err, const char* what) {
  std::fprintf(err, "quandrel analyse: %s\n",
               fs::printableLocal(QString::fromUtf8(what)).constData());
  return 1;
}

// How often the command looks for Ctrl+C while the worker analyses.
constexpr int kInterruptPollMs = 50;

}  // namespace

const char* analyseUsage() {
  return "Usage: quandrel analyse [--redo]\n"
         "  Analyses the tempo (beats per minute) of the songs of the library in the\n"
         "  current folder (Data/data.db) whose Beats is empty and not analysed yet,\n"
         "  and the beat grid (where the bars begin) of every song that has a Beats\n"
         "  but no grid yet; its Beats, also a typed one, is kept as the tempo.\n"
         "  --redo  also analyse again the songs analysed before (a Beats typed by\n"
         "          hand is never changed)\n"
         "  The range the tempo is folded into: [Tempo] MinBPM and MaxBPM in qdl.ini\n"
         "  (70 and 180 when missing).\n";
}

int runAnalyseCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  bool redo = false;
  for (const QString& a : arguments) {
    if (a == QLatin1String("--redo")) {
      redo = true;
    } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      std::fputs(analyseUsage(), out);
      return 0;
    } else if (a.startsWith(QLatin1Char('-'))) {
      return usageError(err, QStringLiteral("unknown option '%1'").arg(a));
    } else {
      return usageError(err, QStringLiteral("unexpected argument '%1'").arg(a));
    }
  }

  TDataModule1 data;
  db::Table& table = *data.Table1;
  tempo::Range range;
  try {
    range = tempoRangeSetting(openSettings());
    data.OpenSongTable(QDir::currentPath(), MissingLibrary::Refuse, {});
    if (table.isReadOnly())
      throw db::ReadOnlyError(QStringLiteral("The library %1 cannot be written (a read-only "
                                             "medium or folder); nothing was analysed.")
                                  .arg(QDir::toNativeSeparators(table.filePath())));
  } catch (const std::exception& e) {
    return failure(err, e.what());
  }

  TempoAnalysis analysis(table);
  ProgressLine progress(err);
  const InterruptGuard interruptGuard;
  QEventLoop loop;
  QObject::connect(&analysis, &TempoAnalysis::resultHandled, &loop, [&] {
    const TempoCounts& c = analysis.counts();
    progress.show(QStringLiteral("analysing: %1 of %2, %3 with tempo  %4")
                      .arg(c.handled())
                      .arg(c.total())
                      .arg(c.tempo)
                      .arg(QDir::toNativeSeparators(analysis.lastFile())));
  });
  QObject::connect(&analysis, &TempoAnalysis::finished, &loop, &QEventLoop::quit);
  QTimer interruptPoll;
  interruptPoll.setInterval(kInterruptPollMs);
  QObject::connect(&interruptPoll, &QTimer::timeout, &loop, [&] {
    if (InterruptGuard::interrupted()) analysis.cancel();
  });
  try {
    if (analysis.start(range, redo) > 0) {
      progress.show(QStringLiteral("analysing: 0 of %1").arg(analysis.counts().total()), true);
      interruptPoll.start();
      loop.exec();
    }
  } catch (const std::exception& e) {
    return failure(err, e.what());
  }
  progress.finish();
  std::fputs(qPrintable(tempoSummaryText(analysis.counts())), out);
  if (!analysis.error().isEmpty()) return failure(err, qPrintable(analysis.error()));
  if (analysis.cancelled()) {
    std::fputs("interrupted: the songs analysed until then are in the library\n", out);
    return 130;
  }
  return 0;
}

}  // namespace qdl::library
