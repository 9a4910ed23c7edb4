#include "platform/ui/Controls.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <utility>

namespace qdl::ui {

ClickPanel::ClickPanel(QWidget* parent) : QFrame(parent) { setFramed(false); }

void ClickPanel::setFramed(bool framed) {
  framed_ = framed;
  setFrameStyle(framed ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
  setLineWidth(1);
}

void ClickPanel::mousePressEvent(QMouseEvent* event) { emit mouseDown(event->button()); }

void ClickPanel::mouseReleaseEvent(QMouseEvent* event) { emit mouseUp(event->button()); }

SpeedButton::SpeedButton(QWidget* parent) : QToolButton(parent) {}

void SpeedButton::setGlyph(const QString& resourceName) {
  glyph_ = resourceName;
  setIcon(QIcon(QStringLiteral(":/") + resourceName));
}

void SpeedButton::mousePressEvent(QMouseEvent* event) {
  emit mouseDown(event->button());
  QToolButton::mousePressEvent(event);
}

void SpeedButton::mouseReleaseEvent(QMouseEvent* event) {
  QToolButton::mouseReleaseEvent(event);
  emit mouseUp(event->button());
}

ScrollBar* ScrollBar::create(QWidget* parent, Qt::Orientation orientation, int min, int max,
                             int small, int large, const QRect& geometry) {
  auto* s = new ScrollBar(orientation, parent);
  s->setRange(min, max);
  s->setSmallChange(small);
  s->setLargeChange(large);
  s->setValue(0);
  s->setGeometry(geometry);
  return s;
}

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent) {
  connect(this, &QAbstractSlider::actionTriggered, this, [this](int action) {
    ScrollCode code = ScrollCode::ThumbTrack;
    switch (action) {
      case QAbstractSlider::SliderSingleStepAdd:
        code = ScrollCode::LineDown;
        break;
      case QAbstractSlider::SliderSingleStepSub:
        code = ScrollCode::LineUp;
        break;
      case QAbstractSlider::SliderPageStepAdd:
        code = ScrollCode::PageDown;
        break;
      case QAbstractSlider::SliderPageStepSub:
        code = ScrollCode::PageUp;
        break;
      case QAbstractSlider::SliderToMinimum:
        code = ScrollCode::Top;
        break;
      case QAbstractSlider::SliderToMaximum:
        code = ScrollCode::Bottom;
        break;
      default:
        code = ScrollCode::ThumbTrack;
        break;
    }
    actionPending_ = true;
    // The action's new position is applied after this signal.
    emit scroll(code, sliderPosition());
  });
}

void ScrollBar::userScroll(ScrollCode code, int position) {
  switch (code) {
    case ScrollCode::LineUp:
      triggerAction(SliderSingleStepSub);
      break;
    case ScrollCode::LineDown:
      triggerAction(SliderSingleStepAdd);
      break;
    case ScrollCode::PageUp:
      triggerAction(SliderPageStepSub);
      break;
    case ScrollCode::PageDown:
      triggerAction(SliderPageStepAdd);
      break;
    case ScrollCode::Top:
      triggerAction(SliderToMinimum);
      break;
    case ScrollCode::Bottom:
      triggerAction(SliderToMaximum);
      break;
    case ScrollCode::ThumbTrack:
      setSliderPosition(position);
      emit scroll(ScrollCode::ThumbTrack, position);
      actionPending_ = true;
      break;
    case ScrollCode::EndScroll:
      actionPending_ = false;
      emit scroll(ScrollCode::EndScroll, value());
      break;
  }
}

void ScrollBar::mouseReleaseEvent(QMouseEvent* event) {
  QScrollBar::mouseReleaseEvent(event);
  if (actionPending_) userScroll(ScrollCode::EndScroll);
}

void ScrollBar::keyReleaseEvent(QKeyEvent* event) {
  QScrollBar::keyReleaseEvent(event);
  if (actionPending_ && !event->isAutoRepeat()) userScroll(ScrollCode::EndScroll);
}

void ScrollBar::wheelEvent(QWheelEvent* event) {
  QScrollBar::wheelEvent(event);
  if (actionPending_) userScroll(ScrollCode::EndScroll);
}

QRect ScrollBar::thumb(int value) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.sliderValue = option.sliderPosition = value;
  return style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
}

void ScrollBar::sliderChange(SliderChange change) {
  // A new value that leaves the thumb on its pixels draws the same bar.
  if (change == SliderValueChange && value() >= sameFrom_ && value() <= sameTo_) return;
  if (change != SliderValueChange) sameTo_ = sameFrom_ - 1;
  QScrollBar::sliderChange(change);
}

void ScrollBar::paintEvent(QPaintEvent* event) {
  QScrollBar::paintEvent(event);
  ++paints_;
  // The thumb moves with the value, so the values that draw it where it is
  // now are one stretch around the value; found by halving from both ends.
  // The ends of the range are left out: there the arrows change.
  const int v = value();
  sameTo_ = sameFrom_ - 1;
  if (v <= minimum() || v >= maximum()) return;
  const QRect here = thumb(v);
  int low = minimum() + 1, high = v;  // the first value at `here`
  while (low < high) {
    const int mid = low + (high - low) / 2;
    if (thumb(mid) == here)
      high = mid;
    else
      low = mid + 1;
  }
  sameFrom_ = low;
  low = v;
  high = maximum() - 1;  // the last value at `here`
  while (low < high) {
    const int mid = high - (high - low) / 2;
    if (thumb(mid) == here)
      low = mid;
    else
      high = mid - 1;
  }
  sameTo_ = high;
}

StatusBar::StatusBar(QWidget* parent, std::vector<int> panelWidths) : QFrame(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(2);
  if (panelWidths.empty()) panelWidths.push_back(0);
  for (size_t i = 0; i < panelWidths.size(); ++i) {
    auto* label = new QLabel(this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setObjectName(QStringLiteral("panel%1").arg(i));
    const bool last = i + 1 == panelWidths.size();
    if (!last) label->setFixedWidth(panelWidths[i]);
    if (last && panelWidths[i] > 0) label->setMinimumWidth(panelWidths[i]);
    layout->addWidget(label, last ? 1 : 0);
    panels_.push_back(label);
  }
}

QString StatusBar::panelText(int i) const { return panels_.at(static_cast<size_t>(i))->text(); }

void StatusBar::setPanelText(int i, const QString& text) {
  panels_.at(static_cast<size_t>(i))->setText(text);
}

QString StatusBar::simpleText() const { return panels_.front()->text(); }

void StatusBar::setSimpleText(const QString& text) { panels_.front()->setText(text); }

namespace {
// The running labels waiting for the next frame, and the frame clock. The
// clock belongs to the application, so it goes with it.
std::vector<RunningLabel*> waitingLabels;
// Other widgets' parts waiting for the next frame.
std::vector<std::pair<QPointer<QWidget>, QRect>> waitingParts;
QPointer<QTimer> frameClock;

QTimer* frames() {
  if (!frameClock) {
    frameClock = new QTimer(QCoreApplication::instance());
    frameClock->setInterval(1000 / RunningLabel::kFramesPerSecond);
    QObject::connect(frameClock, &QTimer::timeout, [] { RunningLabel::drawFrameNow(); });
  }
  return frameClock;
}
}  // namespace

RunningLabel::RunningLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

RunningLabel::~RunningLabel() { std::erase(waitingLabels, this); }

void RunningLabel::setRunningText(const QString& text) {
  if (text == QLabel::text()) return;
  // The text changes now, without the repaint QLabel would ask for.
  const bool updates = updatesEnabled();
  if (updates) setAttribute(Qt::WA_UpdatesDisabled, true);
  setText(text);
  if (updates) setAttribute(Qt::WA_UpdatesDisabled, false);
  QTimer* clock = frames();
  if (!clock->isActive()) {
    // The first change after a still moment is drawn at once; the changes
    // that follow it wait for the frames.
    update();
    clock->start();
  } else if (!waiting_) {
    waiting_ = true;
    waitingLabels.push_back(this);
  }
}

void RunningLabel::updateWithFrame(QWidget* widget, const QRect& rect) {
  QTimer* clock = frames();
  if (!clock->isActive()) {
    widget->update(rect);
    clock->start();
    return;
  }
  for (auto& [w, r] : waitingParts)
    if (w == widget) {
      r |= rect;
      return;
    }
  waitingParts.emplace_back(widget, rect);
}

void RunningLabel::drawFrameNow() {
  for (auto& [widget, rect] : std::exchange(waitingParts, {}))
    if (widget) widget->update(rect);
  if (waitingLabels.empty()) {
    // Nothing ran during a whole frame: the clock sleeps until something does.
    if (frameClock) frameClock->stop();
    return;
  }
  for (RunningLabel* label : std::exchange(waitingLabels, {})) {
    label->waiting_ = false;
    label->update();
  }
}

void RunningLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  ++paints_;
}

}  // namespace qdl::ui
