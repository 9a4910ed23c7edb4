#include "decks/OverviewView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>
#include <cmath>

#include "decks/DeckModel.h"
#include "decks/OverviewLoader.h"
#include "platform/ui/Controls.h"

namespace qdl::decks {
namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kAheadPeak = qRgb(70, 130, 200);
const QRgb kAheadRms = qRgb(30, 75, 140);
const QRgb kPlayedPeak = qRgb(90, 90, 90);
const QRgb kPlayedRms = qRgb(50, 50, 50);
const QColor kCue(255, 40, 40);

// The thumb's rectangle with the bar's value at `value`.
QRect thumbAt(const QScrollBar* bar, int value) {
  QStyleOptionSlider o;
  o.initFrom(bar);
  o.subControls = QStyle::SC_All;
  o.orientation = bar->orientation();
  o.minimum = bar->minimum();
  o.maximum = bar->maximum();
  o.singleStep = bar->singleStep();
  o.pageStep = bar->pageStep();
  o.sliderPosition = o.sliderValue = value;
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, QStyle::SC_ScrollBarSlider, bar);
}

QRect grooveOf(const QScrollBar* bar) {
  QStyleOptionSlider o;
  o.initFrom(bar);
  o.subControls = QStyle::SC_All;
  o.orientation = bar->orientation();
  o.minimum = bar->minimum();
  o.maximum = bar->maximum();
  o.pageStep = bar->pageStep();
  return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, QStyle::SC_ScrollBarGroove, bar);
}

}  // namespace

OverviewView::OverviewView(QWidget* parent, QWidget* time, QScrollBar* seek)
    : QWidget(parent), time_(time), seek_(seek) {
  setObjectName(QStringLiteral("Overview_") + time->objectName().mid(9));
  // It fills every pixel it owns: what is behind it is never painted for it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  stackUnder(time);
  connect(seek, &QScrollBar::rangeChanged, this, [this] { align(); });
  align();
  hide();
}

void OverviewView::setOverview(const std::optional<analysis::Overview>& overview) {
  if (overview_ == overview) return;
  overview_ = overview;
  render();
  showOrHide();
}

void OverviewView::setLength(int length) {
  if (length_ == length) return;
  length_ = length;
  align();
  render();
  showOrHide();
}

int OverviewView::columnAt(int hundredths) const {
  if (length_ <= 0) return x0_;
  return x0_ +
         QStyle::sliderPositionFromValue(0, length_, std::clamp(hundredths, 0, length_), x1_ - x0_);
}

void OverviewView::setPosition(int position) {
  position_ = position;
  const int x = columnAt(position);
  if (x == playedX_) return;
  const int before = std::exchange(playedX_, x);
  refresh(std::min(before, x), std::max(before, x));
}

void OverviewView::setCue(int cue) {
  cue_ = cue;
  const int x = columnAt(cue);
  if (x == cueX_) return;
  const int before = std::exchange(cueX_, x);
  refresh(before, before);
  refresh(x, x);
}

void OverviewView::align() {
  const QRect groove = grooveOf(seek_);
  const int left = seek_->x() + groove.left();
  const int x0 = thumbAt(seek_, seek_->minimum()).center().x() - groove.left();
  const int x1 = thumbAt(seek_, seek_->maximum()).center().x() - groove.left();
  const QRect place(left, time_->y(), groove.width(), time_->height());
  if (place == geometry() && x0 == x0_ && x1 == x1_) return;
  setGeometry(place);
  x0_ = x0;
  x1_ = x1;
  playedX_ = columnAt(position_);
  cueX_ = columnAt(cue_);
  render();
}

void OverviewView::render() {
  const int w = width(), h = height();
  ahead_ = QImage(w, h, QImage::Format_RGB32);
  played_ = QImage(w, h, QImage::Format_RGB32);
  ahead_.fill(kBlack);
  played_.fill(kBlack);
  if (overview_ && length_ > 0 && h > 2) {
    const int span = x1_ - x0_ + 1;
    const std::vector<analysis::Column> cols = analysis::columns(*overview_, span, length_ / 100.0);
    const double half = (h - 1) / 2.0;
    const auto draw = [&](QImage& image, int x, double level, QRgb colour) {
      const int reach = int(std::lround(level * half));
      const int top = int(std::floor(half)) - reach, bottom = int(std::ceil(half)) + reach;
      for (int y = std::max(top, 0); y <= std::min(bottom, h - 1); ++y)
        reinterpret_cast<QRgb*>(image.scanLine(y))[x] = colour;
    };
    for (int c = 0; c < span; ++c) {
      const int x = x0_ + c;
      if (x < 0 || x >= w) continue;
      const analysis::Column& col = cols[std::size_t(c)];
      if (col.peak <= 0) continue;
      draw(ahead_, x, col.peak, kAheadPeak);
      draw(ahead_, x, col.rms, kAheadRms);
      draw(played_, x, col.peak, kPlayedPeak);
      draw(played_, x, col.rms, kPlayedRms);
    }
  }
  ++renders_;
  if (isVisible()) refresh(0, width() - 1);
}

void OverviewView::refresh(int from, int to) {
  if (!isVisible() || to < 0 || from >= width()) return;
  ++refreshes_;
  ui::RunningLabel::updateWithFrame(this, QRect(from, 0, to - from + 1, height()));
}

void OverviewView::showOrHide() { setVisible(overview_.has_value() && length_ > 0); }

void OverviewView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  const QRect r = event->rect();
  const QRect played = r & QRect(0, 0, playedX_, height());
  const QRect ahead = r & QRect(playedX_, 0, width() - playedX_, height());
  if (!played.isEmpty()) p.drawImage(played, played_, played);
  if (!ahead.isEmpty()) p.drawImage(ahead, ahead_, ahead);
  if (cue_ > 0 && cueX_ >= r.left() && cueX_ <= r.right())
    p.fillRect(QRect(cueX_, 0, 1, height()), kCue);
  ++paints_;
}

void bindOverview(Deck& deck, OverviewView* view, OverviewLoader* loader) {
  QObject::connect(loader, &OverviewLoader::overviewChanged, view,
                   [view, loader] { view->setOverview(loader->overview()); });
  QObject::connect(&deck, &Deck::lengthChanged, view, &OverviewView::setLength);
  QObject::connect(&deck, &Deck::positionChanged, view, &OverviewView::setPosition);
  QObject::connect(&deck, &Deck::cuePointChanged, view, &OverviewView::setCue);
  view->setLength(deck.length());
  view->setPosition(deck.position());
  view->setCue(deck.cuePoint());
  view->setOverview(loader->overview());
}

}  // namespace qdl::decks
