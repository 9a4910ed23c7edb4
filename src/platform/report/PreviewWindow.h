#pragma once
// The preview of a report: one page at a time, with page buttons, a zoom
// choice, and buttons to print and to save as PDF. Shown modally by the
// caller (through the dialog service).
//
// A page is painted only when it is shown, into an image of the zoom in use
// that is kept until another page or zoom is chosen: the preview of a
// thousand pages opens as fast as one of a single page, and holds one page
// image at a time.
//
// Keys: Page Down / Page Up the next and the previous page, Ctrl+Home and
// Ctrl+End the first and the last page; the arrow keys and the wheel scroll
// a page larger than the window.

#include <QDialog>
#include <functional>

#include "platform/report/Texts.h"

class QComboBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace qdl::report {

class Document;
class PageView;

class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  enum class Zoom { WholePage, PageWidth, Percent };

  // The document must outlive the window.
  PreviewWindow(const Document& document, const Texts& texts, QWidget* parent = nullptr);
  ~PreviewWindow() override;

  // What the print and PDF buttons do; a button without an action is hidden.
  void setPrintAction(std::function<void()> action);
  void setSavePdfAction(std::function<void()> action);

  int pageCount() const;
  int currentPage() const { return page_; }  // 0-based
  void showPage(int page);                   // clamped to the pages there are
  void setZoom(Zoom zoom, int percent = 100);
  Zoom zoom() const { return zoom_; }
  // The resolution the page is shown at, in dots per inch.
  double zoomDpi() const;

  // How many page images were painted so far (one per page or zoom shown).
  int pagesPainted() const;

  QToolButton* btFirst;
  QToolButton* btPrior;
  QLabel* lbPage;
  QToolButton* btNext;
  QToolButton* btLast;
  QComboBox* cbZoom;
  QPushButton* btPrint;
  QPushButton* btPdf;
  QPushButton* btClose;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void updateControls();
  void applyZoom();

  const Document& document_;
  Texts texts_;
  QScrollArea* scroll_;
  PageView* view_;
  std::function<void()> print_;
  std::function<void()> savePdf_;
  int page_ = 0;
  Zoom zoom_ = Zoom::PageWidth;
  int percent_ = 100;
};

}  // namespace qdl::report
