#include "platform/report/PreviewWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>
#include <exception>

#include "platform/report/Document.h"

namespace qdl::report {

// Gap around the page inside the scroll area, in pixels.
constexpr int kGap = 12;

// Shows one page of the document at a resolution; paints the page into an
// image when it is first shown and keeps that image until the page or the
// resolution changes.
class PageView : public QWidget {
 public:
  PageView(const Document& document, QWidget* parent) : QWidget(parent), document_(document) {
    setObjectName(QStringLiteral("PageView"));
  }

  void setPage(int page) {
    if (page == page_) return;
    page_ = page;
    update();
  }

  void setDpi(int dpi) {
    if (dpi == dpi_) return;
    dpi_ = dpi;
    const QSizeF mm = document_.report().pageSizeMm();
    pageSize_ = QSize(int(std::lround(mm.width() / 25.4 * dpi)),
                      int(std::lround(mm.height() / 25.4 * dpi)));
    setFixedSize(pageSize_ + QSize(2 * kGap, 2 * kGap));
    update();
  }

  int painted() const { return painted_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Dark));
    if (page_ < 0 || page_ >= document_.pageCount()) return;
    if (imagePage_ != page_ || imageDpi_ != dpi_) render();
    const QRect paper(QPoint(kGap, kGap), pageSize_);
    painter.fillRect(paper.translated(3, 3), QColor(0, 0, 0, 80));
    painter.drawImage(paper.topLeft(), image_);
  }

 private:
  void render() {
    const qreal ratio = devicePixelRatioF();
    image_ = QImage(pageSize_ * ratio, QImage::Format_RGB32);
    image_.fill(Qt::white);
    const int dotsPerMeter = int(std::lround(dpi_ * ratio / 0.0254));
    image_.setDotsPerMeterX(dotsPerMeter);
    image_.setDotsPerMeterY(dotsPerMeter);
    {
      QPainter painter(&image_);
      painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
      try {
        document_.paintPage(painter, page_);
      } catch (const std::exception& e) {
        // A storage error while reading the page's records: say so on it.
        painter.setPen(Qt::red);
        painter.drawText(image_.rect().adjusted(20, 20, -20, -20), Qt::TextWordWrap,
                         QString::fromUtf8(e.what()));
      }
    }
    image_.setDevicePixelRatio(ratio);
    imagePage_ = page_;
    imageDpi_ = dpi_;
    ++painted_;
  }

  const Document& document_;
  int page_ = -1;
  int dpi_ = 0;
  QSize pageSize_;
  QImage image_;
  int imagePage_ = -1;
  int imageDpi_ = 0;
  int painted_ = 0;
};

PreviewWindow::PreviewWindow(const Document& document, const Texts& texts, QWidget* parent)
    : QDialog(parent), document_(document), texts_(texts) {
  setObjectName(QStringLiteral("ReportPreview"));
  setWindowTitle(texts.previewCaption);
  setWindowFlag(Qt::WindowMaximizeButtonHint);
  auto* layout = new QVBoxLayout(this);
  auto* bar = new QHBoxLayout;
  auto tool = [this, bar](const char* name, QStyle::StandardPixmap icon, const QString& tip) {
    auto* b = new QToolButton(this);
    b->setObjectName(QLatin1String(name));
    b->setIcon(style()->standardIcon(icon));
    b->setToolTip(tip);
    b->setAutoRaise(true);
    bar->addWidget(b);
    return b;
  };
  btFirst = tool("btFirst", QStyle::SP_MediaSkipBackward, texts.firstPage);
  btPrior = tool("btPrior", QStyle::SP_MediaSeekBackward, texts.priorPage);
  lbPage = new QLabel(this);
  lbPage->setObjectName(QStringLiteral("lbPage"));
  lbPage->setAlignment(Qt::AlignCenter);
  lbPage->setMinimumWidth(lbPage->fontMetrics().horizontalAdvance(
      pageText(texts.pageOfPages, 88888, 88888) + QStringLiteral("  ")));
  bar->addWidget(lbPage);
  btNext = tool("btNext", QStyle::SP_MediaSeekForward, texts.nextPage);
  btLast = tool("btLast", QStyle::SP_MediaSkipForward, texts.lastPage);
  cbZoom = new QComboBox(this);
  cbZoom->setObjectName(QStringLiteral("cbZoom"));
  cbZoom->addItem(texts.wholePage, -1);
  cbZoom->addItem(texts.pageWidth, -2);
  for (int percent : {50, 75, 100, 150, 200})
    cbZoom->addItem(QStringLiteral("%1 %").arg(percent), percent);
  cbZoom->setCurrentIndex(1);
  bar->addSpacing(12);
  bar->addWidget(cbZoom);
  bar->addStretch();
  auto button = [this, bar](const char* name, const QString& text) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    bar->addWidget(b);
    return b;
  };
  btPrint = button("btPrint", texts.print);
  btPdf = button("btPdf", texts.savePdf);
  btClose = button("btClose", texts.close);
  btPrint->hide();
  btPdf->hide();
  layout->addLayout(bar);

  scroll_ = new QScrollArea(this);
  scroll_->setObjectName(QStringLiteral("PageArea"));
  scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  scroll_->setBackgroundRole(QPalette::Dark);
  view_ = new PageView(document, scroll_);
  scroll_->setWidget(view_);
  scroll_->viewport()->installEventFilter(this);
  layout->addWidget(scroll_, 1);

  connect(btFirst, &QToolButton::clicked, this, [this] { showPage(0); });
  connect(btPrior, &QToolButton::clicked, this, [this] { showPage(page_ - 1); });
  connect(btNext, &QToolButton::clicked, this, [this] { showPage(page_ + 1); });
  connect(btLast, &QToolButton::clicked, this, [this] { showPage(pageCount() - 1); });
  connect(cbZoom, &QComboBox::activated, this, [this](int index) {
    const int data = cbZoom->itemData(index).toInt();
    setZoom(data == -1 ? Zoom::WholePage : data == -2 ? Zoom::PageWidth : Zoom::Percent, data);
  });
  connect(btPrint, &QPushButton::clicked, this, [this] {
    if (print_) print_();
  });
  connect(btPdf, &QPushButton::clicked, this, [this] {
    if (savePdf_) savePdf_();
  });
  connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
  auto key = [this](QKeySequence sequence, auto slot) {
    connect(new QShortcut(sequence, this), &QShortcut::activated, this, slot);
  };
  key(QKeySequence(Qt::Key_PageDown), [this] { showPage(page_ + 1); });
  key(QKeySequence(Qt::Key_PageUp), [this] { showPage(page_ - 1); });
  key(QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(0); });
  key(QKeySequence(Qt::CTRL | Qt::Key_End), [this] { showPage(pageCount() - 1); });

  // Most of the screen, the page's shape permitting.
  const QRect screen =
      (parent ? parent->screen() : QApplication::primaryScreen())->availableGeometry();
  resize(std::min(screen.width() * 9 / 10, 900), screen.height() * 9 / 10);
  showPage(0);
  applyZoom();
}

PreviewWindow::~PreviewWindow() = default;

void PreviewWindow::setPrintAction(std::function<void()> action) {
  print_ = std::move(action);
  btPrint->setVisible(bool(print_));
}

void PreviewWindow::setSavePdfAction(std::function<void()> action) {
  savePdf_ = std::move(action);
  btPdf->setVisible(bool(savePdf_));
}

int PreviewWindow::pageCount() const { return document_.pageCount(); }

int PreviewWindow::pagesPainted() const { return view_->painted(); }

void PreviewWindow::showPage(int page) {
  page_ = std::clamp(page, 0, std::max(0, pageCount() - 1));
  view_->setPage(page_);
  scroll_->ensureVisible(0, 0);
  updateControls();
}

void PreviewWindow::setZoom(Zoom zoom, int percent) {
  zoom_ = zoom;
  percent_ = std::clamp(percent, 10, 800);
  const int data = zoom == Zoom::WholePage ? -1 : zoom == Zoom::PageWidth ? -2 : percent_;
  const int index = cbZoom->findData(data);
  if (index >= 0) cbZoom->setCurrentIndex(index);
  applyZoom();
}

double PreviewWindow::zoomDpi() const {
  const QSizeF mm = document_.report().pageSizeMm();
  const QSize room = scroll_->viewport()->size() - QSize(2 * kGap, 2 * kGap);
  const double widthDpi = room.width() / (mm.width() / 25.4);
  const double heightDpi = room.height() / (mm.height() / 25.4);
  switch (zoom_) {
    case Zoom::WholePage:
      return std::min(widthDpi, heightDpi);
    case Zoom::PageWidth:
      return widthDpi;
    case Zoom::Percent:
      break;
  }
  return logicalDpiX() * percent_ / 100.0;
}

void PreviewWindow::applyZoom() { view_->setDpi(std::max(10, int(std::floor(zoomDpi())))); }

void PreviewWindow::updateControls() {
  const int count = pageCount();
  lbPage->setText(pageText(texts_.pageOfPages, count ? page_ + 1 : 0, count));
  btFirst->setEnabled(page_ > 0);
  btPrior->setEnabled(page_ > 0);
  btNext->setEnabled(page_ + 1 < count);
  btLast->setEnabled(page_ + 1 < count);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == scroll_->viewport() && event->type() == QEvent::Resize && zoom_ != Zoom::Percent)
    applyZoom();
  return QDialog::eventFilter(watched, event);
}

}  // namespace qdl::report
