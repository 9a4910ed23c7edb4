// The report engine's layout: page breaks, text that must stay inside its
// element, and expressions over the fields of the data.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QImage>

#include "ReportFixture.h"
#include "platform/report/Document.h"
#include "platform/report/TextFit.h"

using namespace qdl::report;
using qdl::test::listReport;
using qdl::test::numberedRows;
using qdl::test::Rows;

TEST(Pagination, TheTitleShortensOnlyTheFirstPage) {
  const auto report = listReport();
  struct Case {
    int records;
    std::vector<std::pair<int, int>> pages;  // first record, end record
  };
  const Case cases[] = {
      {1, {{0, 1}}},
      {51, {{0, 51}}},
      {52, {{0, 51}, {51, 52}}},
      {104, {{0, 51}, {51, 104}}},
      {105, {{0, 51}, {51, 104}, {104, 105}}},
  };
  for (const Case& c : cases) {
    const Pagination p(*report, c.records);
    ASSERT_EQ(p.pageCount(), int(c.pages.size())) << c.records;
    for (int i = 0; i < p.pageCount(); ++i) {
      EXPECT_EQ(p.firstRecord(i), c.pages[size_t(i)].first) << c.records << " page " << i;
      EXPECT_EQ(p.endRecord(i), c.pages[size_t(i)].second) << c.records << " page " << i;
    }
  }
  // Without a title every page holds 53.
  Report bare;
  bare.addBand(BandKind::ColumnHeader, "h", 5);
  bare.addBand(BandKind::Detail, "d", 5);
  bare.addBand(BandKind::PageFooter, "f", 5);
  EXPECT_EQ(Pagination(bare, 106).pageCount(), 2);
  EXPECT_EQ(Pagination(bare, 107).pageCount(), 3);
}

TEST(Pagination, NoRecordsGiveNoPageUnlessTheReportAsksForOne) {
  auto report = listReport();
  EXPECT_EQ(Pagination(*report, 0).pageCount(), 0);
  report->printIfEmpty = true;
  EXPECT_EQ(Pagination(*report, 0).pageCount(), 1);
}

TEST(Pagination, APageThatCannotHoldALineIsRefused) {
  Report r;
  r.name = "tall";
  r.addBand(BandKind::ColumnHeader, "h", 200);
  r.addBand(BandKind::Detail, "d", 80);
  EXPECT_THROW(Pagination(r, 3), ReportError);
  EXPECT_NO_THROW(Pagination(r, 0));
  EXPECT_THROW(r.addBand(BandKind::Detail, "again", 5), ReportError);
}

namespace {

QFontMetricsF metricsAt1200Dpi(QImage& device) {
  device = QImage(10, 10, QImage::Format_RGB32);
  device.setDotsPerMeterX(47244);
  device.setDotsPerMeterY(47244);
  QFont font(resolveFontFamily("Arial"));
  font.setPointSizeF(8);
  font.setHintingPreference(QFont::PreferNoHinting);
  return QFontMetricsF(font, &device);
}

}  // namespace

TEST(TextFit, AMetricTwinStandsInForAMissingFamily) {
  EXPECT_EQ(resolveFontFamily("Arial").toLower(),
            QFontDatabase::families().contains("Arial") ? "arial" : "liberation sans");
  EXPECT_EQ(resolveFontFamily("No Such Family 123"), "No Such Family 123");
}

TEST(TextFit, ALongTextIsCutAtTheEdgeBetweenWholeCharacters) {
  QImage device;
  const QFontMetricsF m = metricsAt1200Dpi(device);
  const qreal width = 10 / 25.4 * 1200;  // 10 mm
  const QString text = QString(30, QLatin1Char('W'));
  const FittedLine cut = cutToWidth(text, m, width);
  EXPECT_LT(cut.text.size(), text.size());
  EXPECT_GT(cut.text.size(), 0);
  EXPECT_LE(cut.width, width);
  EXPECT_GT(m.horizontalAdvance(text.left(cut.text.size() + 1)), width);

  // "é" written as e plus a combining accent is never split.
  QString accents;
  for (int i = 0; i < 20; ++i) accents += QStringLiteral("e\u0301");
  const FittedLine a = cutToWidth(accents, m, width / 3);
  EXPECT_EQ(a.text.size() % 2, 0) << a.text.toStdString();
  EXPECT_FALSE(a.text.isEmpty());

  // A text that fits stays whole; so does an empty one.
  EXPECT_EQ(cutToWidth("Abba", m, width).text, "Abba");
  EXPECT_EQ(cutToWidth("", m, width).text, "");
}

TEST(TextFit, OneLineBoxesCutAndTallBoxesWrapWholeLinesOnly) {
  QImage device;
  const QFontMetricsF m = metricsAt1200Dpi(device);
  const qreal width = 20 / 25.4 * 1200;
  const QString text = "one two three four five six seven eight nine ten eleven twelve";
  // 4 mm high holds one 8 pt line: cut at the edge, not at a word.
  const auto one = fitText(text, m, width, 4 / 25.4 * 1200, true);
  ASSERT_EQ(one.size(), 1u);
  EXPECT_TRUE(text.startsWith(one[0].text));
  EXPECT_LE(one[0].width, width);
  // 7 mm: two whole lines, broken at blanks.
  const auto two = fitText(text, m, width, 7 / 25.4 * 1200, true);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_TRUE(text.startsWith(two[0].text + " " + two[1].text));
  for (const auto& l : two) EXPECT_LE(l.width, width);
  // Without word wrap the height does not matter.
  EXPECT_EQ(fitText(text, m, width, 100, false).size(), 1u);
  // A word wider than the box is cut into pieces.
  const auto pieces = fitText(QString(40, 'M'), m, width, 30 / 25.4 * 1200, true);
  ASSERT_GE(pieces.size(), 2u);
  for (const auto& l : pieces) EXPECT_LE(l.width, width);
}

TEST(Document, ExpressionsNameFieldsWithoutRegardToCaseAndRefuseUnknownOnes) {
  const Rows rows = numberedRows(3);
  Report r;
  r.addBand(BandKind::Detail, "d", 5)
      ->add(Element::Kind::Expression, "x", QRectF(0, 0, 100, 4), "[[[nr]] [ NAME ]");
  EXPECT_NO_THROW(Document(r, rows));
  Report bad;
  bad.addBand(BandKind::Detail, "d", 5)
      ->add(Element::Kind::Expression, "x", QRectF(0, 0, 100, 4), "[Nope]");
  EXPECT_THROW(Document(bad, rows), ReportError);
  Report open;
  open.addBand(BandKind::Detail, "d", 5)
      ->add(Element::Kind::Expression, "x", QRectF(0, 0, 100, 4), "[Name");
  EXPECT_THROW(Document(open, rows), ReportError);
}
