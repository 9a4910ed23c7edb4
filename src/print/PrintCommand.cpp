#include "print/PrintCommand.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>
#include <exception>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/SongLoudness.h"
#include "platform/db/Table.h"
#include "platform/fs/Printable.h"
#include "platform/ini/IniFile.h"
#include "platform/report/Document.h"
#include "print/Report.h"
#include "print/SongCsv.h"

namespace qdl::print {
namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void onPrintInterrupt(int) { interrupted = 1; }

int usageError(std::FILE* err, const QString& why) {
  std::fprintf(err, "quandrel print: %s\n%s", qPrintable(why), printUsage());
  return 2;
}

int failure(std::FILE* err, const QString& why) {
  std::fprintf(err, "quandrel print: %s\n", fs::printableLocal(why).constData());
  return 1;
}

}  // namespace

const char* printUsage() {
  return "Usage: quandrel print --sort artist|title|genre|year [--lang de|en] --pdf FILE\n"
         "       quandrel print --sort artist|title|genre|year --csv FILE\n"
         "  Writes the song list of the library in the current folder (Data/data.db)\n"
         "  as a PDF file, sorted as chosen.\n"
         "  --lang  the language of the list (default: the one set in qdl.ini here)\n"
         "  --csv   every field of each song, with Loudness, Gain and FirstBeat, as a\n"
         "          CSV file (UTF-8, RFC 4180) in the same order; with --pdf, both\n";
}

int runPrintCommand(const QStringList& arguments, std::FILE* out, std::FILE* err) {
  static const QStringList sorts{QStringLiteral("artist"), QStringLiteral("title"),
                                 QStringLiteral("genre"), QStringLiteral("year")};
  static const char* const indexes[] = {"iInterpret", "iTitel", "iGenre", "iJahr"};
  QString sort, lang, pdf, csv;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& a = arguments[i];
    if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
      std::fputs(printUsage(), out);
      return 0;
    }
    QString* value = a == QLatin1String("--sort")   ? &sort
                     : a == QLatin1String("--lang") ? &lang
                     : a == QLatin1String("--pdf")  ? &pdf
                     : a == QLatin1String("--csv")  ? &csv
                                                    : nullptr;
    if (!value) return usageError(err, QStringLiteral("unknown argument '%1'").arg(a));
    if (i + 1 >= arguments.size())
      return usageError(err, QStringLiteral("%1 needs a value").arg(a));
    *value = arguments[++i];
  }
  if (!sorts.contains(sort))
    return usageError(err, sort.isEmpty() ? QStringLiteral("--sort is missing")
                                          : QStringLiteral("unknown sort '%1'").arg(sort));
  if (!lang.isEmpty() && lang != QLatin1String("de") && lang != QLatin1String("en"))
    return usageError(err, QStringLiteral("unknown language '%1'").arg(lang));
  if (pdf.isEmpty() && csv.isEmpty())
    return usageError(err, QStringLiteral("--pdf or --csv is missing"));
  for (const QString& file : {pdf, csv})
    if (!file.isEmpty() && QFileInfo(file).isDir())
      return usageError(err, QStringLiteral("'%1' is a folder").arg(file));
  if (!pdf.isEmpty() && pdf == csv)
    return usageError(err, QStringLiteral("--pdf and --csv name the same file"));

  // The texts in the chosen language, or in the one the console would show.
  bool english = lang == QLatin1String("en");
  if (lang.isEmpty()) {
    try {
      english = lang::readLanguageSetting(openSettings()).index == 1;
    } catch (const std::exception&) {  // an unreadable settings file: German
    }
  }
  TFormSprache strings;
  english ? strings.FillEnglish() : strings.FillGerman();
  TFormQReport songList;
  songList.setTexts(strings.Druck, strings.Spalten);

  TDataModule1 data;
  db::Table& table = *data.Table1;
  try {
    data.OpenSongTable(QDir::currentPath(), library::MissingLibrary::Refuse,
                       {QLatin1String(indexes[sorts.indexOf(sort)]), QString()});
  } catch (const std::exception& e) {
    return failure(err, QString::fromUtf8(e.what()));
  }

  if (!csv.isEmpty()) {
    const QString name = QDir::toNativeSeparators(csv);
    if (table.recordCount() == 0) {
      std::fprintf(err, "quandrel print: the library holds no songs; %s was not written\n",
                   qPrintable(name));
      return 3;
    }
    double reference = loudness::kDefaultReferenceLufs;
    try {
      reference = library::referenceLoudnessSetting(openSettings());
    } catch (const std::exception&) {  // an unreadable settings file: the default
    }
    const QString why = writeSongCsv(table, csv, reference);
    if (!why.isEmpty())
      return failure(err, QStringLiteral("%1 cannot be written: %2").arg(name, why));
    std::fprintf(out, "%s: %d songs\n", qPrintable(name), table.recordCount());
    if (pdf.isEmpty()) return 0;
  }

  const bool terminal = ::isatty(::fileno(err)) != 0;
  QElapsedTimer shown;
  interrupted = 0;
  auto* previous = std::signal(SIGINT, onPrintInterrupt);
  report::Result result;
  try {
    result = songList.writePdf(table, pdf, [&](int page, int count) {
      if (!shown.isValid() || shown.elapsed() >= (terminal ? 100 : 2000) || page + 1 == count) {
        shown.start();
        std::fprintf(err, terminal ? "\r\033[Kpage %d of %d" : "page %d of %d\n", page + 1, count);
        std::fflush(err);
      }
      return interrupted == 0;
    });
  } catch (const std::exception& e) {
    result = {report::Outcome::Failed, QString::fromUtf8(e.what())};
  }
  std::signal(SIGINT, previous);
  if (terminal && shown.isValid()) std::fputs("\n", err);

  const QString name = QDir::toNativeSeparators(pdf);
  switch (result.outcome) {
    case report::Outcome::Done: {
      const int pages = report::Pagination(songList.QuickRep1, table.recordCount()).pageCount();
      std::fprintf(out, "%s: %d songs on %d %s\n", qPrintable(name), table.recordCount(), pages,
                   pages == 1 ? "page" : "pages");
      return 0;
    }
    case report::Outcome::NoPages:
      std::fprintf(err, "quandrel print: the library holds no songs; %s was not written\n",
                   qPrintable(name));
      return 3;
    case report::Outcome::Cancelled:
      std::fprintf(err, "quandrel print: interrupted; %s was not written\n", qPrintable(name));
      return 130;
    case report::Outcome::NoPrinter:
    case report::Outcome::Failed:
      break;
  }
  return failure(err, QStringLiteral("%1 cannot be written: %2").arg(name, result.error));
}

}  // namespace qdl::print
