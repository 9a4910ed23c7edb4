#include "print/Report.h"

#include <QApplication>
#include <QDir>

#include "lang/Sprache.h"
#include "platform/db/Table.h"
#include "platform/report/DataSource.h"
#include "platform/report/Document.h"
#include "platform/report/PreviewWindow.h"
#include "platform/report/Printer.h"
#include "platform/report/ProgressWindow.h"
#include "platform/ui/Dialogs.h"

using qdl::report::Align;
using qdl::report::BandKind;
using qdl::report::Document;
using qdl::report::Element;
using qdl::report::Outcome;
using qdl::report::Result;

TFormQReport* FormQReport = nullptr;

namespace {

// Records of the string table, or empty ones while there is no language
// window (the command line).
template <typename Record>
const Record& texts(Record TFormSprache::*record) {
  static const Record empty;
  return FormSprache ? FormSprache->*record : empty;
}

// A button or menu text without its accelerator mark and its trailing dots.
QString plain(QString text) {
  text.remove(QLatin1Char('&'));
  while (text.endsWith(QLatin1Char('.'))) text.chop(1);
  return text;
}

qdl::report::Texts engineTexts() {
  const VorschauTexte& v = texts(&TFormSprache::Vorschau);
  const KnopfTexte& k = texts(&TFormSprache::Knopf);
  qdl::report::Texts t;
  t.previewCaption = v.sVorschauTitel;
  t.pageOfPages = v.sSeiteVon;
  t.firstPage = v.sErsteSeite;
  t.priorPage = v.sVorigeSeite;
  t.nextPage = v.sNaechsteSeite;
  t.lastPage = v.sLetzteSeite;
  t.wholePage = v.sGanzeSeite;
  t.pageWidth = v.sSeitenbreite;
  t.print = texts(&TFormSprache::Druck).sDruckKnopf;
  t.savePdf = v.sAlsPdf;
  t.close = k.sSchliessen;
  t.printingPage = v.sDruckeSeite;
  t.savingPage = v.sSpeichereSeite;
  t.cancel = k.sAbbruch;
  return t;
}

void tell(QWidget* parent, const QString& text) {
  qdl::ui::showMessage(parent, text, texts(&TFormSprache::Meldung).sAchtung);
}

// Runs one output with a progress window and reports what went wrong.
template <typename Run>
Outcome runWithProgress(QWidget* parent, const QString& pageText, const Run& run,
                        const QString& fileName) {
  const qdl::report::Texts t = engineTexts();
  qdl::report::ProgressWindow progress(QApplication::applicationName(), pageText, t.cancel, parent);
  const Result r = run([&progress](int page, int count) { return progress.step(page, count); });
  progress.hide();
  const VorschauTexte& v = texts(&TFormSprache::Vorschau);
  switch (r.outcome) {
    case Outcome::Done:
    case Outcome::Cancelled:
      break;
    case Outcome::NoPages:
      tell(parent, v.sKeineTitel);
      break;
    case Outcome::NoPrinter:
      tell(parent, v.sKeinDrucker);
      break;
    case Outcome::Failed:
      tell(parent, fileName.isEmpty()
                       ? v.sDruckFehler.arg(r.error)
                       : v.sPdfFehler.arg(QDir::toNativeSeparators(fileName), r.error));
      break;
  }
  return r.outcome;
}

Outcome printDocument(const Document& document, QWidget* parent) {
  return runWithProgress(
      parent, texts(&TFormSprache::Vorschau).sDruckeSeite,
      [&document](const qdl::report::PageProgress& progress) {
        return qdl::report::print(document, qdl::report::selectedPrinter(), progress);
      },
      QString());
}

void savePdf(const Document& document, QWidget* parent) {
  QString fileName = qdl::ui::dialogs().saveFileName(
      parent, plain(texts(&TFormSprache::Vorschau).sAlsPdf), QDir::currentPath(),
      QStringLiteral("PDF (*.pdf)"), QStringLiteral("pdf"));
  if (fileName.isEmpty()) return;
  // "List 24.12" is saved as "List 24.12.pdf".
  fileName = qdl::ui::withSuffix(fileName, QStringLiteral("pdf"));
  runWithProgress(
      parent, texts(&TFormSprache::Vorschau).sSpeichereSeite,
      [&](const qdl::report::PageProgress& progress) {
        return qdl::report::writePdf(document, fileName, progress);
      },
      fileName);
}

}  // namespace

TFormQReport::TFormQReport(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("FormQReport"));
  QuickRep1.name = QStringLiteral("Quandrel");
  QuickRep1.pageSize = QPageSize(QPageSize::A4);
  QuickRep1.orientation = QPageLayout::Portrait;
  QuickRep1.margins = QMarginsF(10, 10, 10, 10);
  QuickRep1.fontFamily = QStringLiteral("Arial");
  QuickRep1.fontSize = 8;
  QuickRep1.printIfEmpty = false;
  const double width = QuickRep1.printableRectMm().width();

  TitleBand1 = QuickRep1.addBand(BandKind::Title, QStringLiteral("TitleBand1"), 7.9);
  QRLbUeberschrift = TitleBand1->add(Element::Kind::Label, QStringLiteral("QRLbUeberschrift"),
                                     QRectF(0, 1.0, width, 6.9));
  QRLbUeberschrift->alignment = Align::Center;
  QRLbUeberschrift->fontSize = 14;
  QRLbUeberschrift->bold = true;
  QRLbUeberschrift->autoSize = true;
  QRLbUeberschrift->wordWrap = true;

  // Head and detail of a column share its left edge and width (mm).
  struct Column {
    const char* head;
    const char* field;
    const char* expression;
    double left;
    double width;
  };
  const Column columns[] = {
      {"QRLbInterpret", "QRExpr1", "[Interpret]", 0.3, 55.8},
      {"QRLbTitel", "QRExpr2", "[Titel]", 58.7, 55.8},
      {"QRLbBeats", "QRExpr3", "[Beats]", 117.2, 18.8},
      {"QRLbGenre", "QRExpr4", "[Genre]", 138.6, 18.8},
      {"QRLbJahr", "QRExpr5", "[Jahr]", 160.1, 7.7},
  };
  ColumnHeaderBand1 =
      QuickRep1.addBand(BandKind::ColumnHeader, QStringLiteral("ColumnHeaderBand1"), 4.8);
  DetailBand1 = QuickRep1.addBand(BandKind::Detail, QStringLiteral("DetailBand1"), 3.2);
  Element* heads[5];
  Element* fields[5];
  for (int i = 0; i < 5; ++i) {
    const Column& c = columns[i];
    heads[i] = ColumnHeaderBand1->add(Element::Kind::Label, QLatin1String(c.head),
                                      QRectF(c.left, 0.4, c.width, 4.0));
    heads[i]->wordWrap = true;
    heads[i]->bottomLine = true;
    fields[i] = DetailBand1->add(Element::Kind::Expression, QLatin1String(c.field),
                                 QRectF(c.left, 0, c.width, 4.0), QLatin1String(c.expression));
    fields[i]->wordWrap = true;
  }
  QRLbInterpret = heads[0];
  QRLbTitel = heads[1];
  QRLbBeats = heads[2];
  QRLbGenre = heads[3];
  QRLbJahr = heads[4];
  QRExpr1 = fields[0];
  QRExpr2 = fields[1];
  QRExpr3 = fields[2];
  QRExpr4 = fields[3];
  QRExpr5 = fields[4];

  PageFooterBand1 = QuickRep1.addBand(BandKind::PageFooter, QStringLiteral("PageFooterBand1"), 5.8);
  QRSDSeite = PageFooterBand1->add(Element::Kind::SystemData, QStringLiteral("QRSDSeite"),
                                   QRectF(0, 1.0, width, 4.0));
  QRSDSeite->data = qdl::report::SystemData::PageAndTime;
  QRSDSeite->alignment = Align::Right;
  QRSDSeite->autoSize = true;
}

TFormQReport::~TFormQReport() = default;

void TFormQReport::setTexts(const DruckTexte& druck, const SpaltenTexte& spalten) {
  heading_ = druck.sUeberschrift;
  columns_ = spalten;
  QRSDSeite->text = druck.sSeite;
  QRLbUeberschrift->text = druck.sUeberschrift;
  QRLbInterpret->text = spalten.sInterpret;
  QRLbTitel->text = spalten.sTitel;
  QRLbBeats->text = spalten.sBeats;
  QRLbGenre->text = spalten.sKategorie;
  QRLbJahr->text = spalten.sJahr;
}

void TFormQReport::prepare(const qdl::db::Table& table) {
  // The field of the active order: named directly, or through its index.
  QString field = table.indexFieldNames();
  if (field.isEmpty()) {
    const QString index = table.indexName();
    for (const qdl::db::IndexDef& def : table.indexDefs())
      if (!index.isEmpty() && def.name.compare(index, Qt::CaseInsensitive) == 0) field = def.fields;
  }
  const std::pair<const char*, const QString*> names[] = {
      {"Interpret", &columns_.sInterpret}, {"Titel", &columns_.sTitel},
      {"Genre", &columns_.sKategorie},     {"Jahr", &columns_.sJahr},
      {"Beats", &columns_.sBeats},         {"DateiName", &columns_.sDateiname},
  };
  QString sortName;
  for (const auto& [name, text] : names)
    if (field.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) sortName = *text;
  QRLbUeberschrift->text = heading_ + sortName;
  QuickRep1.name = QRLbUeberschrift->text.trimmed();
}

void TFormQReport::Preview(const qdl::db::Table& table, QWidget* parent) {
  prepare(table);
  const qdl::report::TableSource source(table);
  const Document document(QuickRep1, source);
  if (document.pageCount() == 0) {
    tell(parent, texts(&TFormSprache::Vorschau).sKeineTitel);
    return;
  }
  qdl::report::PreviewWindow preview(document, engineTexts(), parent);
  // A storage error while the pages are made ends the action, not the preview.
  preview.setPrintAction([&document, &preview] {
    qdl::ui::guarded(&preview, [&] { printDocument(document, &preview); });
  });
  preview.setSavePdfAction(
      [&document, &preview] { qdl::ui::guarded(&preview, [&] { savePdf(document, &preview); }); });
  qdl::ui::dialogs().execDialog(&preview);
}

bool TFormQReport::Print(const qdl::db::Table& table, QWidget* parent) {
  prepare(table);
  const qdl::report::TableSource source(table);
  const Document document(QuickRep1, source);
  return printDocument(document, parent) == Outcome::Done;
}

Result TFormQReport::writePdf(const qdl::db::Table& table, const QString& fileName,
                              const qdl::report::PageProgress& progress,
                              const QDateTime& produced) {
  prepare(table);
  const qdl::report::TableSource source(table);
  const Document document(QuickRep1, source, produced);
  return qdl::report::writePdf(document, fileName, progress);
}
