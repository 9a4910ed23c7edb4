#pragma once
// The song list report: a form that is never shown. It carries the report
// definition QuickRep1 and runs it over the song table in the table's
// active order: a modal preview, a print with a progress window, a PDF file.
//
// QuickRep1: A4 portrait, 10 mm margins, Arial 8 pt (Liberation Sans where
// Arial is missing). The title (14 pt bold, centred) on the first page only;
// the column heads Interpret, Titel, Beats, Genre, Jahr, each underlined, and
// the footer (page number and time of printing, at the right) on every page;
// one line per song below the heads. A value too long for its column is cut
// at the column's edge. A table without songs gives no page.
//
// The title is the heading of the string table followed by the name of the
// column the table is sorted by ("... sortiert nach Titel"). The texts come
// from the string table (setTexts); the preview's and the progress window's
// texts and the messages are read from it when they are shown.
//
// The report reads the table by record id in the order it had when the run
// began: the table's cursor and current record are never moved.

#include <QDateTime>
#include <QString>
#include <QWidget>

#include "lang/Lang.h"
#include "platform/report/Output.h"
#include "platform/report/Report.h"

namespace qdl::db {
class Table;
}

class TFormQReport : public QWidget {
  Q_OBJECT
 public:
  explicit TFormQReport(QWidget* parent = nullptr);
  ~TFormQReport() override;

  qdl::report::Report QuickRep1;
  qdl::report::Band* TitleBand1;
  qdl::report::Band* ColumnHeaderBand1;
  qdl::report::Band* DetailBand1;
  qdl::report::Band* PageFooterBand1;
  qdl::report::Element* QRLbUeberschrift;
  qdl::report::Element* QRLbInterpret;
  qdl::report::Element* QRLbTitel;
  qdl::report::Element* QRLbBeats;
  qdl::report::Element* QRLbGenre;
  qdl::report::Element* QRLbJahr;
  qdl::report::Element* QRExpr1;  // [Interpret]
  qdl::report::Element* QRExpr2;  // [Titel]
  qdl::report::Element* QRExpr3;  // [Beats]
  qdl::report::Element* QRExpr4;  // [Genre]
  qdl::report::Element* QRExpr5;  // [Jahr]
  qdl::report::Element* QRSDSeite;

  // The heading, the column heads and the footer text from the string table.
  void setTexts(const DruckTexte& druck, const SpaltenTexte& spalten);

  // Sets the title for the table's active order.
  void prepare(const qdl::db::Table& table);

  // The preview over the table; returns when the preview window is closed.
  // An empty table shows a message instead. The preview can print and save
  // the list as PDF.
  void Preview(const qdl::db::Table& table, QWidget* parent);
  // Prints the list on the printer chosen in the printer set-up, with a
  // progress window; returns when done, true when the list was printed.
  // Failures (no songs, no printer, an error) are reported in a message; a
  // print the user cancelled is not.
  bool Print(const qdl::db::Table& table, QWidget* parent);

  // Writes the list as a PDF file without a window (the command line).
  qdl::report::Result writePdf(const qdl::db::Table& table, const QString& fileName,
                               const qdl::report::PageProgress& progress = {},
                               const QDateTime& produced = QDateTime::currentDateTime());

 private:
  QString heading_;
  SpaltenTexte columns_;
};

extern TFormQReport* FormQReport;
