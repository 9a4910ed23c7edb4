// The report engine's output: PDF files checked with pdftotext, the print
// job handed to the print system, and runs that are cancelled or fail.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "ReportFixture.h"
#include "platform/report/Document.h"
#include "platform/report/Output.h"
#include "platform/report/ProgressWindow.h"
#include "support/PdfText.h"

using namespace qdl::report;
using qdl::test::listReport;
using qdl::test::numberedRows;
using qdl::test::pdfPages;
using qdl::test::textLines;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

}  // namespace

TEST(ReportPdf, TitleOnTheFirstPageHeadsAndFooterOnEveryPageOneLinePerRecord) {
  QTemporaryDir dir;
  const auto report = listReport();
  const auto rows = numberedRows(120);  // 51 + 53 + 16
  const Document doc(*report, rows);
  const QString file = dir.filePath("list.pdf");
  ASSERT_EQ(writePdf(doc, file).outcome, Outcome::Done);
  const auto pages = pdfPages(file);
  ASSERT_EQ(pages.size(), 3);
  const int perPage[] = {51, 53, 16};
  int next = 1;
  for (int p = 0; p < 3; ++p) {
    const QStringList lines = textLines(pages[p]);
    int at = 0;
    if (p == 0) {
      EXPECT_EQ(lines[at++].trimmed(), "The Number List");
    }
    EXPECT_TRUE(lines[at].startsWith("Name")) << lines[at].toStdString();
    EXPECT_TRUE(lines[at++].endsWith("Number"));
    for (int i = 0; i < perPage[p]; ++i, ++next) {
      const QStringList cells = lines[at++].simplified().split(' ');
      EXPECT_EQ(cells, (QStringList{"Name", QString::number(next), "No.", QString::number(next)}));
    }
    EXPECT_EQ(lines[at++].trimmed(), QString("Page %1").arg(p + 1));
    EXPECT_EQ(at, lines.size()) << "page " << p;
    if (p > 0) {
      for (const QString& l : lines) EXPECT_NE(l.trimmed(), "The Number List") << "page " << p;
    }
  }
}

TEST(ReportPdf, NothingIsWrittenForNoRecordsACancelOrAFailure) {
  QTemporaryDir dir;
  const auto report = listReport();
  const QString file = dir.filePath("list.pdf");

  const auto none = numberedRows(0);
  EXPECT_EQ(writePdf(Document(*report, none), file).outcome, Outcome::NoPages);
  EXPECT_FALSE(QFile::exists(file));

  writeAll(file, "%PDF-1.4 the old list");
  const auto rows = numberedRows(200);
  const Document doc(*report, rows);
  int asked = 0;
  const Result cancelled = writePdf(doc, file, [&](int page, int count) {
    EXPECT_EQ(page, asked++);
    EXPECT_EQ(count, 4);
    return page < 2;
  });
  EXPECT_EQ(cancelled.outcome, Outcome::Cancelled);
  EXPECT_EQ(readAll(file), "%PDF-1.4 the old list");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.pdf"});  // no leftovers

  const Result failed = writePdf(doc, dir.filePath("no/such/folder/list.pdf"));
  EXPECT_EQ(failed.outcome, Outcome::Failed);
  EXPECT_FALSE(failed.error.isEmpty());

  EXPECT_EQ(writePdf(doc, file).outcome, Outcome::Done);
  EXPECT_EQ(pdfPages(file).size(), 4);
}

TEST(ReportPdf, TheProgressWindowsCancelStopsTheRun) {
  QTemporaryDir dir;
  const auto report = listReport();
  const auto rows = numberedRows(500);
  const Document doc(*report, rows);
  ProgressWindow progress("Quandrel", "Page %1 of %2", "Cancel");
  QTimer::singleShot(0, progress.btCancel, &QPushButton::click);
  int pagesMade = 0;
  const Result r = writePdf(doc, dir.filePath("x.pdf"), [&](int page, int count) {
    pagesMade = page;
    return progress.step(page, count);
  });
  EXPECT_EQ(r.outcome, Outcome::Cancelled);
  EXPECT_LT(pagesMade, 3);
  EXPECT_EQ(progress.lbPage->text(), QString("Page %1 of 10").arg(pagesMade + 1));
  EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
}

TEST(ReportPrint, AJobGoesToThePrintSystemWholeWithTheReportsOwnSettingsLast) {
  const auto report = listReport();
  const auto rows = numberedRows(60);
  const Document doc(*report, rows);
  std::vector<PrintJob> jobs;
  int pagesInFile = -1;
  const JobSubmitter previous = setJobSubmitter([&](const PrintJob& job) {
    jobs.push_back(job);
    pagesInFile = int(pdfPages(job.file).size());
    return QString();
  });
  const QList<QPair<QByteArray, QByteArray>> setUp{{"InputSlot", "Tray2"}, {"copies", "3"}};
  const Result r = printJob(doc, "Office/duplex", setUp);
  EXPECT_EQ(r.outcome, Outcome::Done);
  ASSERT_EQ(jobs.size(), 1u);
  const PrintJob& job = jobs[0];
  EXPECT_EQ(job.printer, "Office/duplex");
  EXPECT_EQ(job.title, "List");
  EXPECT_EQ(pagesInFile, 2);
  EXPECT_FALSE(QFile::exists(job.file));  // removed once handed over
  const QList<QPair<QByteArray, QByteArray>> expected{
      {"InputSlot", "Tray2"}, {"copies", "3"}, {"media", "A4"},
      {"sides", "one-sided"}, {"copies", "1"}, {"page-ranges", "1-2"}};
  EXPECT_EQ(job.options, expected);

  // Cancelled on the way: nothing reaches the printer.
  EXPECT_EQ(printJob(doc, "Office", {}, [](int page, int) { return page == 0; }).outcome,
            Outcome::Cancelled);
  EXPECT_EQ(jobs.size(), 1u);

  // A refusal of the print system is reported with its reason.
  setJobSubmitter([](const PrintJob&) { return QString("printer is stopped"); });
  const Result refused = printJob(doc, "Office", {});
  EXPECT_EQ(refused.outcome, Outcome::Failed);
  EXPECT_EQ(refused.error, "printer is stopped");
  setJobSubmitter(previous);
}

TEST(ReportPrint, ASetUpThatChoseAFileWritesThereAndOneWithoutPrinterSaysSo) {
  QTemporaryDir dir;
  const auto report = listReport();
  const auto rows = numberedRows(10);
  const Document doc(*report, rows);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString());
  EXPECT_EQ(print(doc, printer).outcome, Outcome::NoPrinter);
  printer.setOutputFileName(dir.filePath("printed.pdf"));
  EXPECT_EQ(print(doc, printer).outcome, Outcome::Done);
  EXPECT_EQ(pdfPages(dir.filePath("printed.pdf")).size(), 1);
  const auto none = numberedRows(0);
  EXPECT_EQ(print(Document(*report, none), printer).outcome, Outcome::NoPages);
}
