#include "platform/report/Report.h"

namespace qdl::report {

Element* Band::add(Element::Kind kind, const QString& name, const QRectF& geometry,
                   const QString& text) {
  auto element = std::make_unique<Element>();
  element->kind = kind;
  element->name = name;
  element->geometry = geometry;
  element->text = text;
  elements.push_back(std::move(element));
  return elements.back().get();
}

Band* Report::addBand(BandKind kind, const QString& name, double height) {
  if (band(kind))
    throw ReportError(QStringLiteral("The report has a band of this kind: %1").arg(name));
  auto b = std::make_unique<Band>();
  b->kind = kind;
  b->name = name;
  b->height = height;
  bands_.push_back(std::move(b));
  return bands_.back().get();
}

const Band* Report::band(BandKind kind) const {
  for (const auto& b : bands_)
    if (b->kind == kind) return b.get();
  return nullptr;
}

QSizeF Report::pageSizeMm() const {
  const QSizeF size = pageSize.size(QPageSize::Millimeter);
  return orientation == QPageLayout::Landscape ? size.transposed() : size;
}

QRectF Report::printableRectMm() const {
  const QSizeF page = pageSizeMm();
  return QRectF(QPointF(0, 0), page).marginsRemoved(margins);
}

}  // namespace qdl::report
