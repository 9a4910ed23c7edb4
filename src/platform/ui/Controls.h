#pragma once
// Small controls the console's windows are built from, with the events their
// handlers need: mouse down and up with the button for panels and speed
// buttons, scroll actions with an end-of-scroll notification for scroll bars,
// and a status bar of fixed panels.

#include <QFrame>
#include <QLabel>
#include <QScrollBar>
#include <QToolButton>
#include <vector>

namespace qdl::ui {

// A panel that reports mouse presses and releases of any button. Framed
// (a single-line border) or unframed.
class ClickPanel : public QFrame {
  Q_OBJECT
 public:
  explicit ClickPanel(QWidget* parent = nullptr);
  void setFramed(bool framed);
  bool isFramed() const { return framed_; }

 signals:
  void mouseDown(Qt::MouseButton button);
  void mouseUp(Qt::MouseButton button);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool framed_ = false;
};

// A speed button: reports mouse presses and releases of any button (a plain
// button reacts to the left one only), and a click for the left one.
class SpeedButton : public QToolButton {
  Q_OBJECT
 public:
  explicit SpeedButton(QWidget* parent = nullptr);

  // Shows the image resource of that name (":/<name>") as the button's glyph.
  void setGlyph(const QString& resourceName);
  QString glyph() const { return glyph_; }

 signals:
  void mouseDown(Qt::MouseButton button);
  void mouseUp(Qt::MouseButton button);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QString glyph_;
};

// The scroll actions a scroll bar reports, ending with EndScroll when the
// user lets go (mouse released, key released).
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ThumbTrack, Top, Bottom, EndScroll };

// A scroll bar with the classic small and large steps. Any position set
// beyond the ends is clamped. scroll() is emitted for every user action, and
// EndScroll once the user lets go; valueChanged() for every change, by the
// user or by the program. A change of the value repaints the bar only when
// the thumb moves on the screen (a deck's seek bar gets a new value every
// 10 ms, its thumb a new pixel about once a second) or the value reaches or
// leaves an end of the range.
class ScrollBar : public QScrollBar {
  Q_OBJECT
 public:
  explicit ScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);
  // A bar with its range, small and large steps and place, standing at 0.
  static ScrollBar* create(QWidget* parent, Qt::Orientation orientation, int min, int max,
                           int small, int large, const QRect& geometry);
  void setSmallChange(int step) { setSingleStep(step); }
  void setLargeChange(int step) { setPageStep(step); }
  // Simulates a user's scroll action, as the mouse and keys do.
  void userScroll(ScrollCode code, int position = 0);
  // Times the bar was painted (for tests of the repaint rule).
  int paints() const { return paints_; }

 signals:
  void scroll(qdl::ui::ScrollCode code, int position);

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  // A wheel step is a whole scroll action: it ends at once.
  void wheelEvent(QWheelEvent* event) override;
  void sliderChange(SliderChange change) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  // Where the thumb stands at `value`.
  QRect thumb(int value) const;

  bool actionPending_ = false;
  // The values, away from the ends, that leave the thumb where it was last
  // painted (none before the first paint, or after a change of range).
  int sameFrom_ = 1;
  int sameTo_ = 0;
  int paints_ = 0;
};

// A status bar of panels; the last panel takes the room that is left. In
// simple mode it shows one text over its whole width.
class StatusBar : public QFrame {
  Q_OBJECT
 public:
  explicit StatusBar(QWidget* parent = nullptr, std::vector<int> panelWidths = {});
  int panelCount() const { return static_cast<int>(panels_.size()); }
  QString panelText(int i) const;
  void setPanelText(int i, const QString& text);
  // Simple mode: one text only.
  QString simpleText() const;
  void setSimpleText(const QString& text);

 private:
  std::vector<QLabel*> panels_;
};

// A label for a value that runs many times a second (a deck's time). Its
// text is current at once (text() and every reader see each change), but
// it is drawn at most kFramesPerSecond times a second, and every running
// label that changed in a frame is drawn in that frame's one paint pass:
// the screen shows no more than that anyway, and each paint costs the
// window's thread text layout and a pass over the window.
class RunningLabel : public QLabel {
  Q_OBJECT
 public:
  static constexpr int kFramesPerSecond = 30;
  explicit RunningLabel(const QString& text, QWidget* parent = nullptr);
  ~RunningLabel() override;
  void setRunningText(const QString& text);
  // Draws the running labels that changed since the last frame (the frame
  // clock calls it).
  static void drawFrameNow();
  // Repaints `rect` of `widget` with the next frame, together with the
  // running labels, so a widget under or over one is painted once with it;
  // at once when no label ran during the last frame.
  static void updateWithFrame(QWidget* widget, const QRect& rect);
  // How often it was drawn (for tests and benchmarks).
  int paints() const { return paints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool waiting_ = false;  // changed since it was last drawn
  int paints_ = 0;
};

}  // namespace qdl::ui
