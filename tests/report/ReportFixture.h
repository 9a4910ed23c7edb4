#pragma once
// A small banded report over records held in memory, for the engine's tests.

#include <QStringList>
#include <QVariant>
#include <memory>

#include "platform/report/DataSource.h"
#include "platform/report/Report.h"

namespace qdl::test {

// Records in memory: named fields, one QVariantList per record.
class Rows final : public report::DataSource {
 public:
  Rows(QStringList names, QList<QVariantList> rows)
      : names_(std::move(names)), rows_(std::move(rows)) {}
  int recordCount() const override { return int(rows_.size()); }
  int fieldIndex(const QString& name) const override {
    for (int i = 0; i < names_.size(); ++i)
      if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
    return -1;
  }
  QVariant value(int record, int field) const override { return rows_.at(record).value(field); }

 private:
  QStringList names_;
  QList<QVariantList> rows_;
};

// Records "Name 1".."Name n" with their numbers.
inline Rows numberedRows(int n) {
  QList<QVariantList> rows;
  for (int i = 1; i <= n; ++i) rows << QVariantList{QStringLiteral("Name %1").arg(i), i};
  return Rows({QStringLiteral("Name"), QStringLiteral("Nr")}, rows);
}

// A4 portrait, 10 mm margins; title 10 mm, heads 5 mm, one 5 mm line per
// record, footer 5 mm: 51 records on the first page, 53 on the others.
inline std::unique_ptr<report::Report> listReport() {
  using report::Element;
  auto r = std::make_unique<report::Report>();
  r->name = QStringLiteral("List");
  r->fontFamily = QStringLiteral("Arial");
  auto* title = r->addBand(report::BandKind::Title, QStringLiteral("Title"), 10);
  auto* t = title->add(Element::Kind::Label, QStringLiteral("lbTitle"), QRectF(0, 1, 190, 8),
                       QStringLiteral("The Number List"));
  t->alignment = report::Align::Center;
  t->autoSize = true;
  t->fontSize = 14;
  t->bold = true;
  auto* heads = r->addBand(report::BandKind::ColumnHeader, QStringLiteral("Heads"), 5);
  heads
      ->add(Element::Kind::Label, QStringLiteral("lbName"), QRectF(0, 0.5, 60, 4),
            QStringLiteral("Name"))
      ->bottomLine = true;
  heads
      ->add(Element::Kind::Label, QStringLiteral("lbNr"), QRectF(80, 0.5, 30, 4),
            QStringLiteral("Number"))
      ->bottomLine = true;
  auto* detail = r->addBand(report::BandKind::Detail, QStringLiteral("Detail"), 5);
  detail->add(Element::Kind::Expression, QStringLiteral("exName"), QRectF(0, 0, 60, 4),
              QStringLiteral("[Name]"));
  detail->add(Element::Kind::Expression, QStringLiteral("exNr"), QRectF(80, 0, 30, 4),
              QStringLiteral("No. [nr]"));
  auto* footer = r->addBand(report::BandKind::PageFooter, QStringLiteral("Footer"), 5);
  auto* f = footer->add(Element::Kind::SystemData, QStringLiteral("sdPage"), QRectF(0, 0.5, 190, 4),
                        QStringLiteral("Page "));
  f->data = report::SystemData::PageNumber;
  f->alignment = report::Align::Right;
  f->autoSize = true;
  return r;
}

}  // namespace qdl::test
