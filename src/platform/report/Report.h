#pragma once
// A banded report definition: the page, the base font and the bands the
// engine lays out over the records of a data source.
//
// Measures are millimetres. A band spans the printable width of the page; an
// element's geometry is relative to its band's top-left corner, which lies
// on the left margin.
//
// Bands, at most one of each kind:
// - Title: once, at the top of the first page.
// - ColumnHeader: at the top of every page (below the title on the first).
// - Detail: once per record, as many as fit above the page footer.
// - PageFooter: at the bottom of every page, the last one included.
//
// Elements:
// - Label: a fixed text.
// - Expression: a text in which every "[Field]" stands for the value of that
//   field of the record being printed (field names without regard to case);
//   "[[" is a literal "[".
// - SystemData: its text followed by the page number, the time of day at
//   which the report was produced (hours, minutes, seconds), or both: the
//   page number, a dash and the time.
//
// Text never leaves its element: a fixed-size element shows the whole lines
// that fit in its height (at least one), and a line too long for the width is
// cut at the element's right edge. An auto-sized element is as wide as its
// text (at most the band's width) and is placed by its alignment on the band:
// left at its own left edge, centred on the band, or at the band's right edge.

#include <QPageLayout>
#include <QPageSize>
#include <QRectF>
#include <QString>
#include <memory>
#include <stdexcept>
#include <vector>

namespace qdl::report {

// A report that cannot be laid out or rendered (a band taller than the page,
// an expression naming no field of the data).
class ReportError : public std::runtime_error {
 public:
  explicit ReportError(const QString& what) : std::runtime_error(what.toStdString()) {}
};

enum class Align { Left, Center, Right };
enum class SystemData { PageNumber, Time, PageAndTime };

struct Element {
  enum class Kind { Label, Expression, SystemData };

  Kind kind = Kind::Label;
  QString name;
  QRectF geometry;  // mm, relative to the band
  // Label: the text. Expression: the expression. SystemData: the text put
  // before the value.
  QString text;
  SystemData data = SystemData::PageNumber;
  Align alignment = Align::Left;
  double fontSize = 0;  // points; 0 takes the report's base size
  bool bold = false;
  bool autoSize = false;
  bool wordWrap = false;
  bool bottomLine = false;  // a thin line along the bottom edge
};

enum class BandKind { Title, ColumnHeader, Detail, PageFooter };

struct Band {
  BandKind kind = BandKind::Detail;
  QString name;
  double height = 0;  // mm
  std::vector<std::unique_ptr<Element>> elements;

  // Adds an element and returns it; the band owns it and it keeps its
  // address for the life of the band.
  Element* add(Element::Kind kind, const QString& name, const QRectF& geometry,
               const QString& text = QString());
};

class Report {
 public:
  QString name;  // the document's name for the printer queue and the PDF
  QPageSize pageSize{QPageSize::A4};
  QPageLayout::Orientation orientation = QPageLayout::Portrait;
  QMarginsF margins{10, 10, 10, 10};  // mm
  // The base font: a family that is missing on this system is replaced by
  // its metric twin where one is known (Arial by Liberation Sans).
  QString fontFamily = QStringLiteral("Arial");
  double fontSize = 8;  // points
  // Whether a data source without records still gives one page.
  bool printIfEmpty = false;

  // Adds a band of that kind (replacing none: one band per kind) and
  // returns it; the report owns it.
  Band* addBand(BandKind kind, const QString& name, double height);
  // The band of that kind, or nullptr.
  const Band* band(BandKind kind) const;

  // The page in millimetres, orientation applied.
  QSizeF pageSizeMm() const;
  // The printable area in millimetres: the page within its margins.
  QRectF printableRectMm() const;

 private:
  std::vector<std::unique_ptr<Band>> bands_;
};

}  // namespace qdl::report
