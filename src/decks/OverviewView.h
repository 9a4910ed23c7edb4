#pragma once
// The song's shape in the deck's black display: the envelope of the whole
// song behind the time, column for column where the seek bar's thumb
// stands at that time (peak lighter, RMS darker), the part already played
// greyed, and the cue point as a red line.
//
// What it costs: the envelope is drawn into two pictures (ahead, played)
// when the overview, the length or the track changes; a paint copies the
// pictures' columns. A new position repaints only when the played part
// grows or shrinks by a column, and then only the columns between, with
// the time display's next frame (the time stands over the picture, so the
// two are painted once together). Without an overview it is hidden and the
// display looks as it always did.
//
// Units: hundredths of a second. Runs on the window's thread.

#include <QImage>
#include <QWidget>
#include <optional>

#include "platform/analysis/Overview.h"

class QScrollBar;

namespace qdl::decks {

class Deck;
class OverviewLoader;

class OverviewView : public QWidget {
  Q_OBJECT
 public:
  // Stands behind `time` (its height) over the width of `seek`'s track;
  // both are children of `parent`, `time` above this view.
  OverviewView(QWidget* parent, QWidget* time, QScrollBar* seek);

  void setOverview(const std::optional<analysis::Overview>& overview);
  const std::optional<analysis::Overview>& overview() const { return overview_; }
  void setLength(int length);
  void setPosition(int position);
  void setCue(int cue);

  // The column (in this view) of the thumb's centre at a time: the first
  // column not yet played at `position`, and the cue mark's column.
  int columnAt(int hundredths) const;
  int playedColumn() const { return playedX_; }
  int cueColumn() const { return cueX_; }
  // Where song time runs: the thumb's centre at 0 and at the length.
  int trackStart() const { return x0_; }
  int trackEnd() const { return x1_; }
  // How often the pictures were drawn, the view asked for a repaint of its
  // own, and it was painted (also as the background of the time's paints),
  // for tests and benchmarks.
  int renders() const { return renders_; }
  int refreshes() const { return refreshes_; }
  int paints() const { return paints_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void align();                    // to the seek bar's track and thumb
  void render();                   // the two pictures
  void refresh(int from, int to);  // repaints columns from..to with the next frame
  void showOrHide();

  QWidget* time_;
  QScrollBar* seek_;
  std::optional<analysis::Overview> overview_;
  int length_ = 0;
  int position_ = 0;
  int cue_ = 0;
  int x0_ = 0, x1_ = 0;
  int playedX_ = 0;
  int cueX_ = 0;
  QImage ahead_, played_;
  int renders_ = 0;
  int refreshes_ = 0;
  int paints_ = 0;
};

// Shows the deck's song in `view`: its overview from `loader`, its length,
// position and cue point.
void bindOverview(Deck& deck, OverviewView* view, OverviewLoader* loader);

}  // namespace qdl::decks
