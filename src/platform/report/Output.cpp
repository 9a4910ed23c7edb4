#include "platform/report/Output.h"

#include <cups/cups.h>

#include <QDir>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintEngine>
#include <QPrinter>
#include <QTemporaryFile>

#include "platform/fs/SafeWrite.h"
#include "platform/report/Document.h"

namespace qdl::report {
namespace {

// The print engine's key for the options the print dialog gathered for CUPS
// (Qt's CUPS plugin keeps them under this custom key).
const auto kCupsOptionsKey = QPrintEngine::PrintEnginePropertyKey(0xfe00);

// Resolution of the PDF the pages are drawn into (dots per inch).
constexpr int kPdfResolution = 1200;

QString submitToCups(const PrintJob& job) {
  const QByteArray name = job.printer.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
  const QByteArray instance = job.printer.section(QLatin1Char('/'), 1).toLocal8Bit();
  cups_option_t* options = nullptr;
  int count = 0;
  // An instance stands for saved options of its printer: they come first.
  if (cups_dest_t* dest = cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.constData(),
                                           instance.isEmpty() ? nullptr : instance.constData())) {
    for (int i = 0; i < dest->num_options; ++i)
      count = cupsAddOption(dest->options[i].name, dest->options[i].value, count, &options);
    cupsFreeDests(1, dest);
  }
  for (const auto& [key, value] : job.options)
    count = cupsAddOption(key.constData(), value.constData(), count, &options);
  const int id = cupsPrintFile(name.constData(), QFile::encodeName(job.file).constData(),
                               job.title.toLocal8Bit().constData(), count, options);
  cupsFreeOptions(count, options);
  if (id > 0) return QString();
  return QString::fromLocal8Bit(cupsLastErrorString());
}

JobSubmitter& submitter() {
  static JobSubmitter current;
  return current;
}

}  // namespace

Result renderPdf(const Document& document, QIODevice& device, const PageProgress& progress) {
  const int pages = document.pageCount();
  if (pages == 0) return {Outcome::NoPages, QString()};
  const Report& report = document.report();
  QPdfWriter writer(&device);
  writer.setResolution(kPdfResolution);
  writer.setPageLayout(QPageLayout(report.pageSize, report.orientation, QMarginsF(0, 0, 0, 0)));
  writer.setTitle(report.name);
  writer.setCreator(QStringLiteral("Quandrel"));
  QPainter painter;
  if (!painter.begin(&writer)) return {Outcome::Failed, device.errorString()};
  for (int page = 0; page < pages; ++page) {
    if (progress && !progress(page, pages)) return {Outcome::Cancelled, QString()};
    if (page > 0) writer.newPage();
    document.paintPage(painter, page);
  }
  painter.end();
  return {};
}

Result writePdf(const Document& document, const QString& fileName, const PageProgress& progress) {
  if (document.pageCount() == 0) return {Outcome::NoPages, QString()};
  // A PDF replaces only a PDF, and only once it is complete.
  fs::SafeFile file(fileName, fs::OutputKind::Pdf);
  if (!file.open(QIODevice::WriteOnly)) return {Outcome::Failed, file.failure()};
  Result result = renderPdf(document, file, progress);
  if (result.outcome != Outcome::Done) {
    file.cancelWriting();
    return result;
  }
  if (!file.commit()) return {Outcome::Failed, file.failure()};
  return result;
}

Result print(const Document& document, QPrinter& printer, const PageProgress& progress) {
  if (document.pageCount() == 0) return {Outcome::NoPages, QString()};
  if (printer.outputFormat() == QPrinter::PdfFormat) {
    if (printer.outputFileName().isEmpty()) return {Outcome::NoPrinter, QString()};
    return writePdf(document, printer.outputFileName(), progress);
  }
  if (printer.printerName().isEmpty()) return {Outcome::NoPrinter, QString()};
  const QStringList setUp = printer.printEngine()->property(kCupsOptionsKey).toStringList();
  QList<QPair<QByteArray, QByteArray>> options;
  for (qsizetype i = 0; i + 1 < setUp.size(); i += 2)
    options.append(qMakePair(setUp[i].toLocal8Bit(), setUp[i + 1].toLocal8Bit()));
  return printJob(document, printer.printerName(), options, progress);
}

Result printJob(const Document& document, const QString& printer,
                const QList<QPair<QByteArray, QByteArray>>& setUpOptions,
                const PageProgress& progress) {
  if (document.pageCount() == 0) return {Outcome::NoPages, QString()};
  QTemporaryFile file(QDir::temp().filePath(QStringLiteral("quandrel-print-XXXXXX.pdf")));
  if (!file.open()) return {Outcome::Failed, file.errorString()};
  Result result = renderPdf(document, file, progress);
  if (result.outcome != Outcome::Done) return result;
  if (!file.flush()) return {Outcome::Failed, file.errorString()};

  const Report& report = document.report();
  PrintJob job;
  job.printer = printer;
  job.file = file.fileName();
  job.title = report.name;
  job.options = setUpOptions;
  job.options.append(qMakePair(QByteArray("media"), report.pageSize.key().toLatin1()));
  job.options.append(qMakePair(QByteArray("sides"), QByteArray("one-sided")));
  job.options.append(qMakePair(QByteArray("copies"), QByteArray("1")));
  job.options.append(
      qMakePair(QByteArray("page-ranges"), "1-" + QByteArray::number(document.pageCount())));
  const JobSubmitter& submit = submitter();
  const QString error = submit ? submit(job) : submitToCups(job);
  if (!error.isEmpty()) return {Outcome::Failed, error};
  return result;
}

JobSubmitter setJobSubmitter(JobSubmitter s) {
  JobSubmitter previous = std::move(submitter());
  submitter() = std::move(s);
  return previous;
}

}  // namespace qdl::report
