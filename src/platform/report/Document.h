#pragma once
// A report laid out over its data: the page breaks are found once, when the
// document is made (a few bytes a page); a page is painted only when it is
// asked for, so a preview shows its first page at once and a print or PDF
// of any length holds one page at a time.
//
// The document reads the data source while pages are painted: the source
// and the report must outlive it and stay unchanged (TableSource keeps its
// own copy of the order for this reason).

#include <QDateTime>
#include <QFont>
#include <QSizeF>
#include <vector>

#include "platform/report/Report.h"

class QPainter;

namespace qdl::report {

class DataSource;

// Which records each page shows.
class Pagination {
 public:
  // Throws ReportError when a page cannot hold its bands and one detail line.
  Pagination(const Report& report, int recordCount);

  int pageCount() const { return int(first_.size()); }
  // The records of page `page` (0-based): firstRecord .. endRecord - 1.
  int firstRecord(int page) const { return first_.at(size_t(page)); }
  int endRecord(int page) const;

 private:
  std::vector<int> first_;
  int recordCount_;
};

class Document {
 public:
  // Checks every expression against the source's fields (ReportError for a
  // field it does not have) and lays out the pages. `produced` is the time
  // the system-data fields show.
  Document(const Report& report, const DataSource& data,
           QDateTime produced = QDateTime::currentDateTime());
  ~Document();

  const Report& report() const { return report_; }
  const DataSource& data() const { return data_; }
  int pageCount() const { return pages_.pageCount(); }
  const Pagination& pagination() const { return pages_; }
  QDateTime produced() const { return produced_; }

  // Paints page `page` (0-based). The painter's device has its origin at the
  // top-left corner of the paper and is scaled by its logical resolution, so
  // one document paints the same page on a printer, into a PDF or into a
  // preview image of any zoom. A storage error of the source throws.
  void paintPage(QPainter& painter, int page) const;

 private:
  struct Part;
  struct Field;
  struct Style;

  void compile(const Band* band);
  void paintBand(QPainter& painter, const std::vector<Style>& styles, const Band& band, double top,
                 int record, int page) const;
  QString textOf(const Element& element, int record, int page) const;
  QFont fontOf(const Element& element) const;

  const Report& report_;
  const DataSource& data_;
  QDateTime produced_;
  Pagination pages_;
  std::vector<Field> fields_;  // the compiled expressions
};

// The font family used for `family`: the family itself when the system has
// it, else its metric twin when one is installed (Arial and Helvetica:
// Liberation Sans; Times New Roman: Liberation Serif; Courier New:
// Liberation Mono), else the family as it is (the font system then chooses).
QString resolveFontFamily(const QString& family);

}  // namespace qdl::report
