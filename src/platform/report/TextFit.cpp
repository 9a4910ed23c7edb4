#include "platform/report/TextFit.h"

#include <QFontMetricsF>
#include <QStringList>
#include <QTextBoundaryFinder>
#include <cmath>

namespace qdl::report {

FittedLine cutToWidth(const QString& text, const QFontMetricsF& metrics, qreal width) {
  const qreal full = metrics.horizontalAdvance(text);
  if (full <= width) return {text, full};
  // Character boundaries; the search looks for the last one that still fits.
  std::vector<int> ends;
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
  for (int p = int(finder.toNextBoundary()); p > 0; p = int(finder.toNextBoundary()))
    ends.push_back(p);
  int lo = 0;                 // ends[0 .. lo-1] fit
  int hi = int(ends.size());  // ends[hi ..] do not
  FittedLine best;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    const QString head = text.left(ends[size_t(mid)]);
    const qreal w = metrics.horizontalAdvance(head);
    if (w <= width) {
      best = {head, w};
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return best;
}

namespace {

// Greedy word wrap of one paragraph (no line breaks inside) into `out`,
// stopping once `maxLines` lines are there.
void wrapParagraph(const QString& paragraph, const QFontMetricsF& metrics, qreal width,
                   size_t maxLines, std::vector<FittedLine>& out) {
  const QStringList words = paragraph.split(QLatin1Char(' '));
  QString line;
  bool started = false;
  auto flush = [&] {
    out.push_back({line, metrics.horizontalAdvance(line)});
    line.clear();
    started = false;
  };
  for (const QString& word : words) {
    if (out.size() >= maxLines) return;
    const QString candidate = started ? line + QLatin1Char(' ') + word : word;
    if (metrics.horizontalAdvance(candidate) <= width) {
      line = candidate;
      started = true;
      continue;
    }
    if (started) flush();
    if (out.size() >= maxLines) return;
    // The word alone: cut it into pieces that fit.
    QString rest = word;
    while (metrics.horizontalAdvance(rest) > width && out.size() < maxLines) {
      const FittedLine piece = cutToWidth(rest, metrics, width);
      if (piece.text.isEmpty()) return;  // not even one character fits
      rest = rest.mid(piece.text.size());
      out.push_back(piece);
    }
    if (out.size() >= maxLines) return;
    line = rest;
    started = true;
  }
  if (started && out.size() < maxLines) flush();
}

}  // namespace

std::vector<FittedLine> fitText(const QString& text, const QFontMetricsF& metrics, qreal width,
                                qreal height, bool wordWrap) {
  const qreal spacing = metrics.lineSpacing();
  size_t maxLines = 1;
  if (wordWrap && spacing > 0)
    maxLines = size_t(std::max(1.0, std::floor((height + spacing * 0.01) / spacing)));
  if (maxLines == 1) {
    const QString first = text.section(QLatin1Char('\n'), 0, 0);
    return {cutToWidth(first, metrics, width)};
  }
  std::vector<FittedLine> lines;
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    if (lines.size() >= maxLines) break;
    const size_t before = lines.size();
    wrapParagraph(paragraph, metrics, width, maxLines, lines);
    if (lines.size() == before) lines.push_back({});  // an empty paragraph is an empty line
  }
  return lines;
}

}  // namespace qdl::report
