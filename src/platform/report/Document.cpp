#include "platform/report/Document.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QPaintDevice>
#include <QPainter>
#include <cmath>

#include "platform/report/DataSource.h"
#include "platform/report/TextFit.h"

namespace qdl::report {
namespace {

// Layout works in hundredths of a millimetre, so that band heights add up
// without rounding drift over a thousand pages.
int hundredths(double mm) { return int(std::lround(mm * 100)); }

int bandHeight(const Report& report, BandKind kind) {
  const Band* b = report.band(kind);
  return b ? hundredths(b->height) : 0;
}

}  // namespace

// ------------------------------------------------------------------ pages

Pagination::Pagination(const Report& report, int recordCount) : recordCount_(recordCount) {
  const QRectF area = report.printableRectMm();
  const int top = hundredths(area.top());
  const int footerTop = hundredths(area.bottom()) - bandHeight(report, BandKind::PageFooter);
  const int title = bandHeight(report, BandKind::Title);
  const int header = bandHeight(report, BandKind::ColumnHeader);
  const int detail = bandHeight(report, BandKind::Detail);
  if (recordCount <= 0) {
    if (report.printIfEmpty) first_.push_back(0);
    return;
  }
  if (detail <= 0) {  // nothing per record: one page
    first_.push_back(0);
    return;
  }
  for (int record = 0; record < recordCount;) {
    const int y = top + (first_.empty() ? title : 0) + header;
    const int fit = (footerTop - y) / detail;
    if (fit <= 0)
      throw ReportError(QStringLiteral("A page of the report \"%1\" cannot hold a detail line.")
                            .arg(report.name));
    first_.push_back(record);
    record += fit;
  }
}

int Pagination::endRecord(int page) const {
  return page + 1 < pageCount() ? first_.at(size_t(page) + 1) : recordCount_;
}

// ---------------------------------------------------------------- document

struct Document::Part {
  QString literal;
  int field = -1;  // -1: the literal
};

struct Document::Field {
  const Element* element;
  std::vector<Part> parts;
};

// An element's font on the device being painted, made once a page.
struct Document::Style {
  const Element* element;
  QFont font;
  QFontMetricsF metrics;
};

Document::Document(const Report& report, const DataSource& data, QDateTime produced)
    : report_(report),
      data_(data),
      produced_(std::move(produced)),
      pages_(report, data.recordCount()) {
  for (BandKind kind :
       {BandKind::Title, BandKind::ColumnHeader, BandKind::Detail, BandKind::PageFooter})
    compile(report.band(kind));
}

Document::~Document() = default;

void Document::compile(const Band* band) {
  if (!band) return;
  for (const auto& e : band->elements) {
    if (e->kind != Element::Kind::Expression) continue;
    Field field{e.get(), {}};
    const QString& x = e->text;
    QString literal;
    for (qsizetype i = 0; i < x.size();) {
      if (x[i] != QLatin1Char('[')) {
        literal += x[i++];
        continue;
      }
      if (i + 1 < x.size() && x[i + 1] == QLatin1Char('[')) {
        literal += QLatin1Char('[');
        i += 2;
        continue;
      }
      const qsizetype close = x.indexOf(QLatin1Char(']'), i + 1);
      if (close < 0)
        throw ReportError(QStringLiteral("The expression %1 of %2 lacks a \"]\".").arg(x, e->name));
      const QString name = x.mid(i + 1, close - i - 1).trimmed();
      const int index = data_.fieldIndex(name);
      if (index < 0)
        throw ReportError(
            QStringLiteral("The expression %1 of %2 names no field of the data.").arg(x, e->name));
      if (!literal.isEmpty()) field.parts.push_back({literal, -1});
      literal.clear();
      field.parts.push_back({QString(), index});
      i = close + 1;
    }
    if (!literal.isEmpty()) field.parts.push_back({literal, -1});
    fields_.push_back(std::move(field));
  }
}

QString Document::textOf(const Element& element, int record, int page) const {
  switch (element.kind) {
    case Element::Kind::Label:
      return element.text;
    case Element::Kind::SystemData: {
      const QString time = produced_.time().toString(QStringLiteral("HH:mm:ss"));
      switch (element.data) {
        case SystemData::PageNumber:
          return element.text + QString::number(page + 1);
        case SystemData::Time:
          return element.text + time;
        case SystemData::PageAndTime:
          return element.text + QString::number(page + 1) + QStringLiteral(" \u2013 ") + time;
      }
      return element.text;
    }
    case Element::Kind::Expression:
      break;
  }
  for (const Field& f : fields_) {
    if (f.element != &element) continue;
    QString out;
    for (const Part& part : f.parts) {
      if (part.field < 0) {
        out += part.literal;
      } else if (record >= 0) {
        const QVariant v = data_.value(record, part.field);
        if (v.isValid() && !v.isNull()) out += v.toString();
      }
    }
    return out;
  }
  return QString();
}

QFont Document::fontOf(const Element& element) const {
  QFont font(resolveFontFamily(report_.fontFamily));
  font.setPointSizeF(element.fontSize > 0 ? element.fontSize : report_.fontSize);
  font.setBold(element.bold);
  // Unhinted outlines scale exactly, so a preview at any zoom cuts and
  // places every text as the printout does.
  font.setHintingPreference(QFont::PreferNoHinting);
  return font;
}

void Document::paintPage(QPainter& painter, int page) const {
  if (page < 0 || page >= pageCount()) return;
  const QRectF area = report_.printableRectMm();
  const int first = pages_.firstRecord(page);
  const int end = pages_.endRecord(page);
  std::vector<Style> styles;
  for (BandKind kind :
       {BandKind::Title, BandKind::ColumnHeader, BandKind::Detail, BandKind::PageFooter}) {
    if (const Band* band = report_.band(kind))
      for (const auto& e : band->elements) {
        const QFont font = fontOf(*e);
        styles.push_back({e.get(), font, QFontMetricsF(font, painter.device())});
      }
  }
  painter.save();
  painter.setPen(Qt::black);
  double y = area.top();
  if (const Band* title = report_.band(BandKind::Title); title && page == 0) {
    paintBand(painter, styles, *title, y, first, page);
    y += title->height;
  }
  if (const Band* header = report_.band(BandKind::ColumnHeader)) {
    paintBand(painter, styles, *header, y, first, page);
    y += header->height;
  }
  if (const Band* detail = report_.band(BandKind::Detail)) {
    for (int record = first; record < end; ++record) {
      paintBand(painter, styles, *detail, y, record, page);
      y += detail->height;
    }
  }
  if (const Band* footer = report_.band(BandKind::PageFooter))
    paintBand(painter, styles, *footer, area.bottom() - footer->height, end - 1, page);
  painter.restore();
}

void Document::paintBand(QPainter& painter, const std::vector<Style>& styles, const Band& band,
                         double top, int record, int page) const {
  QPaintDevice* device = painter.device();
  const double sx = device->logicalDpiX() / 25.4;
  const double sy = device->logicalDpiY() / 25.4;
  const QRectF area = report_.printableRectMm();
  const double bandLeft = area.left() * sx;
  const double bandWidth = area.width() * sx;
  for (const auto& e : band.elements) {
    const Style* style = &styles.front();
    while (style->element != e.get()) ++style;
    const QFontMetricsF& metrics = style->metrics;
    QRectF box(bandLeft + e->geometry.x() * sx, (top + e->geometry.y()) * sy,
               e->geometry.width() * sx, e->geometry.height() * sy);
    const QString text =
        textOf(*e, record < 0 || record >= data_.recordCount() ? -1 : record, page);
    const std::vector<FittedLine> lines =
        fitText(text, metrics, e->autoSize ? bandWidth : box.width(), box.height(), e->wordWrap);
    if (e->autoSize) {
      qreal width = 0;
      for (const FittedLine& l : lines) width = std::max(width, l.width);
      if (e->alignment == Align::Center) box.moveLeft(bandLeft + (bandWidth - width) / 2);
      if (e->alignment == Align::Right) box.moveLeft(bandLeft + bandWidth - width);
      box.setWidth(width);
    }
    painter.setFont(style->font);
    double baseline = box.top() + metrics.ascent();
    for (const FittedLine& l : lines) {
      double x = box.left();
      if (!e->autoSize && e->alignment == Align::Center) x += (box.width() - l.width) / 2;
      if (!e->autoSize && e->alignment == Align::Right) x += box.width() - l.width;
      if (!l.text.isEmpty()) painter.drawText(QPointF(x, baseline), l.text);
      baseline += metrics.lineSpacing();
    }
    if (e->bottomLine) {
      painter.save();
      painter.setPen(QPen(Qt::black, 0.15 * sy));
      painter.drawLine(box.bottomLeft(), box.bottomRight());
      painter.restore();
    }
  }
}

QString resolveFontFamily(const QString& family) {
  static QHash<QString, QString> resolved;
  if (auto it = resolved.constFind(family); it != resolved.cend()) return *it;
  static const QHash<QString, QString> twins{
      {QStringLiteral("arial"), QStringLiteral("Liberation Sans")},
      {QStringLiteral("helvetica"), QStringLiteral("Liberation Sans")},
      {QStringLiteral("times new roman"), QStringLiteral("Liberation Serif")},
      {QStringLiteral("courier new"), QStringLiteral("Liberation Mono")},
  };
  QString result = family;
  const QStringList families = QFontDatabase::families();
  if (!families.contains(family, Qt::CaseInsensitive)) {
    const QString twin = twins.value(family.toLower());
    if (!twin.isEmpty() && families.contains(twin, Qt::CaseInsensitive)) result = twin;
  }
  resolved.insert(family, result);
  return result;
}

}  // namespace qdl::report
