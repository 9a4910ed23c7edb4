#pragma once
// Fitting a text into a report element: what of it is shown, line by line,
// so that nothing is drawn beyond the element's edges.

#include <QString>
#include <vector>

class QFontMetricsF;

namespace qdl::report {

struct FittedLine {
  QString text;
  qreal width = 0;  // advance of the text, in the metrics' device units
};

// The longest start of `text` that is at most `width` wide, cut between
// whole characters (never inside a character made of several code units).
FittedLine cutToWidth(const QString& text, const QFontMetricsF& metrics, qreal width);

// The lines of `text` in a box of `width` x `height`. Without word wrap, or
// when the box holds one line only, the text stays on one line and is cut at
// the right edge. With word wrap, lines break at blanks (a word wider than
// the box is cut) and only as many lines as fit whole are kept; at least one
// line is always kept. Line breaks in the text always start a new line.
std::vector<FittedLine> fitText(const QString& text, const QFontMetricsF& metrics, qreal width,
                                qreal height, bool wordWrap);

}  // namespace qdl::report
