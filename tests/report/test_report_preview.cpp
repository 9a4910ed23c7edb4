// The report preview under the offscreen platform: the first page comes up,
// paging works, and a page is painted only when it is shown.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "ReportFixture.h"
#include "platform/report/Document.h"
#include "platform/report/PreviewWindow.h"

using namespace qdl::report;

namespace {

Texts englishTexts() {
  Texts t;
  t.previewCaption = "Preview";
  t.pageOfPages = "Page %1 of %2";
  t.wholePage = "Whole page";
  t.pageWidth = "Page width";
  t.print = "&Print";
  t.savePdf = "Save as &PDF...";
  t.close = "&Close";
  return t;
}

}  // namespace

TEST(ReportPreview, ShowsTheFirstPageAndPaintsOnlyThePagesShown) {
  const auto report = qdl::test::listReport();
  const auto rows = qdl::test::numberedRows(51 + 53 * 39);  // 40 pages
  const Document doc(*report, rows);
  PreviewWindow preview(doc, englishTexts());
  preview.show();
  QApplication::processEvents();
  ASSERT_EQ(preview.pageCount(), 40);
  EXPECT_EQ(preview.currentPage(), 0);
  EXPECT_EQ(preview.lbPage->text(), "Page 1 of 40");
  EXPECT_EQ(preview.pagesPainted(), 1);
  EXPECT_FALSE(preview.btPrior->isEnabled());
  EXPECT_FALSE(preview.btFirst->isEnabled());
  EXPECT_TRUE(preview.btNext->isEnabled());
  // Without actions the print and PDF buttons are not offered.
  EXPECT_FALSE(preview.btPrint->isVisible());
  EXPECT_FALSE(preview.btPdf->isVisible());

  preview.btNext->click();
  QApplication::processEvents();
  EXPECT_EQ(preview.lbPage->text(), "Page 2 of 40");
  EXPECT_EQ(preview.pagesPainted(), 2);
  preview.btLast->click();
  QApplication::processEvents();
  EXPECT_EQ(preview.currentPage(), 39);
  EXPECT_FALSE(preview.btNext->isEnabled());
  EXPECT_FALSE(preview.btLast->isEnabled());
  QTest::keyClick(&preview, Qt::Key_PageUp);
  EXPECT_EQ(preview.currentPage(), 38);
  QTest::keyClick(&preview, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(preview.currentPage(), 0);
  preview.showPage(1000);
  EXPECT_EQ(preview.currentPage(), 39);
  preview.btFirst->click();
  QApplication::processEvents();
  // Pages 1, 2, 40 and 1 again: the pages passed over between two repaints
  // were never painted.
  EXPECT_EQ(preview.pagesPainted(), 4);
  // Painting the same page again at the same zoom reuses its image.
  preview.repaint();
  EXPECT_EQ(preview.pagesPainted(), 4);
}

TEST(ReportPreview, ZoomChoicesScaleThePage) {
  const auto report = qdl::test::listReport();
  const auto rows = qdl::test::numberedRows(10);
  const Document doc(*report, rows);
  PreviewWindow preview(doc, englishTexts());
  preview.resize(700, 600);
  preview.show();
  QApplication::processEvents();
  preview.setZoom(PreviewWindow::Zoom::Percent, 100);
  EXPECT_NEAR(preview.zoomDpi(), preview.logicalDpiX(), 0.01);
  EXPECT_EQ(preview.cbZoom->currentText(), "100 %");
  preview.setZoom(PreviewWindow::Zoom::WholePage);
  const double whole = preview.zoomDpi();
  preview.setZoom(PreviewWindow::Zoom::PageWidth);
  // A portrait page in a wide window: fitting the width zooms in further.
  EXPECT_GT(preview.zoomDpi(), whole);
  EXPECT_EQ(preview.cbZoom->currentText(), "Page width");
  bool printed = false;
  preview.setPrintAction([&] { printed = true; });
  EXPECT_TRUE(preview.btPrint->isVisible());
  preview.btPrint->click();
  EXPECT_TRUE(printed);
  preview.btClose->click();
  EXPECT_FALSE(preview.isVisible());
  EXPECT_EQ(preview.result(), QDialog::Accepted);
}
