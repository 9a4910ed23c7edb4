// The song list report over a real song table, rendered to PDF and read
// back with pdftotext: the order of each sort, page layout, both languages,
// long values cut at their column, and a table left as it was.

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "SongLibrary.h"
#include "lang/Sprache.h"
#include "platform/report/Document.h"
#include "print/Report.h"
#include "support/PdfText.h"
#include "support/TempDir.h"

using qdl::report::Outcome;
using qdl::test::pdfPages;
using qdl::test::Song;
using qdl::test::textLines;

namespace {

const QDateTime kProduced(QDate(2024, 5, 1), QTime(21, 7, 9));

class SongListTest : public ::testing::Test {
 protected:
  void SetUp() override { strings.FillGerman(); }

  void create(const std::vector<Song>& songs) { qdl::test::createLibrary(data, songs); }

  // Writes the list in the table's order and returns its pages.
  QList<QStringList> render() {
    report.setTexts(strings.Druck, strings.Spalten);
    const QString file = cwd.file("list.pdf");
    QFile::remove(file);
    const auto r = report.writePdf(*data.Table1, file, {}, kProduced);
    EXPECT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    return pdfPages(file);
  }

  qdl::test::TempCwd cwd;
  TDataModule1 data;
  TFormSprache strings;
  TFormQReport report;
};

// The cells of a detail line: the columns are set apart by two blanks or
// more in pdftotext's layout.
QStringList cells(const QString& line) {
  return line.trimmed().split(QRegularExpression(QStringLiteral("\\s{2,}")));
}

// The detail lines of all pages (what lies between the heads and the footer).
QList<QStringList> detailRows(const QList<QStringList>& pages) {
  QList<QStringList> rows;
  for (int p = 0; p < pages.size(); ++p) {
    QStringList lines = textLines(pages[p]);
    lines = lines.mid(p == 0 ? 2 : 1, lines.size() - (p == 0 ? 3 : 2));
    for (const QString& l : lines) rows << cells(l);
  }
  return rows;
}

QStringList column(const QList<QStringList>& rows, int c) {
  QStringList out;
  for (const QStringList& r : rows) out << r.value(c);
  return out;
}

}  // namespace

TEST_F(SongListTest, EachSortPrintsTheSongsInTheLibrarysOrder) {
  create({
      {"Zebra", "mitte", 120, "Pop", "199B"},
      {"apfel", "Ähre", 98, "rock", "2001"},
      {"Äpfel", "Anfang", 128, "Jazz", "199a"},
      {"ABBA", "zuletzt", 100, "ambient", "1998"},
      {"Öl", "Ende", 90, "Techno", "1985"},
  });
  struct Case {
    const char* index;
    int column;
    const char* sortName;
    QStringList expected;
  };
  // Letter case does not count; umlauts come after z, as the library sorts.
  const Case cases[] = {
      {"iInterpret", 0, "Interpret", {"ABBA", "apfel", "Zebra", "Äpfel", "Öl"}},
      {"iTitel", 1, "Titel", {"Anfang", "Ende", "mitte", "zuletzt", "Ähre"}},
      {"iGenre", 3, "Kategorie", {"ambient", "Jazz", "Pop", "rock", "Techno"}},
      {"iJahr", 4, "Jahr", {"1985", "1998", "199a", "199B", "2001"}},
  };
  for (const Case& c : cases) {
    data.Table1->setIndexName(c.index);
    const auto pages = render();
    ASSERT_EQ(pages.size(), 1) << c.index;
    const QStringList lines = textLines(pages[0]);
    EXPECT_EQ(lines[0].trimmed(), QString("Quandrel Titelliste sortiert nach %1").arg(c.sortName));
    const auto rows = detailRows(pages);
    EXPECT_EQ(column(rows, c.column), c.expected) << c.index;
    // The library's own order, row by row.
    for (int r = 0; r < rows.size(); ++r)
      EXPECT_EQ(rows[r].value(0), data.Table1->valueAt(r, 1).toString()) << c.index;
  }
}

TEST_F(SongListTest, ALongListHasTheTitleOnceAndHeadsAndFooterOnEveryPage) {
  create(qdl::test::numberedSongs(200));  // 80 + 83 + 37 lines
  const auto pages = render();
  ASSERT_EQ(pages.size(), 3);
  const int perPage[] = {80, 83, 37};
  int next = 1;
  for (int p = 0; p < 3; ++p) {
    const QStringList lines = textLines(pages[p]);
    int at = 0;
    if (p == 0) {
      EXPECT_EQ(lines[at++].trimmed(), "Quandrel Titelliste sortiert nach Interpret");
    }
    const QString heads = lines[at++];
    EXPECT_EQ(cells(heads), (QStringList{"Interpret", "Titel", "Beats", "Kategorie", "Jahr"}))
        << "page " << p;
    for (int i = 0; i < perPage[p]; ++i, ++next) {
      const QStringList row = cells(lines[at++]);
      EXPECT_EQ(row.value(0), QString("Artist %1").arg(next, 4, 10, QLatin1Char('0')));
      EXPECT_EQ(row.value(2), QString::number(120 + next % 10));
    }
    // The page number and the time the list was made, at the right edge
    // (beyond the last column).
    EXPECT_EQ(lines[at].trimmed(), QString("Seite %1 – 21:07:09").arg(p + 1));
    EXPECT_GT(lines[at++].size(), heads.size() + 5);
    EXPECT_EQ(at, lines.size());
  }
}

TEST_F(SongListTest, EnglishHeadsTitleAndFooter) {
  strings.FillEnglish();
  create(qdl::test::numberedSongs(3));
  data.Table1->setIndexName("iTitel");
  const QStringList lines = textLines(render().value(0));
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0].trimmed(), "Quandrel Songlist sortet by Title");
  EXPECT_EQ(cells(lines[1]), (QStringList{"Artist", "Title", "Beats", "Genre", "Year"}));
  EXPECT_EQ(lines[5].trimmed(), "Side 1 – 21:07:09");
}

TEST_F(SongListTest, AValueTooLongForItsColumnIsCutAtTheColumnsEdge) {
  const QString wide(30, QLatin1Char('W'));
  create({{wide, wide, 128, "WWWWWWWWWW", "2001"}, {"Short", "Tiny", QVariant(), "Pop", "1999"}});
  data.Table1->setIndexName("iJahr");
  render();
  // Column edges in points from the paper's left edge: 10 mm margin plus
  // the column's left and width.
  const double mm = 72 / 25.4;
  struct Edge {
    double left, right;
  };
  const Edge edges[] = {{10.3 * mm, 66.1 * mm}, {68.7 * mm, 124.5 * mm}, {148.6 * mm, 167.4 * mm}};
  QList<qdl::test::PdfWord> ws;
  for (const auto& w : qdl::test::pdfWords(cwd.file("list.pdf")))
    if (w.text.startsWith("WW")) ws << w;
  ASSERT_EQ(ws.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(wide.startsWith(ws[i].text));
    EXPECT_LT(ws[i].text.size(), i == 2 ? 10 : 30) << i;
    EXPECT_GE(ws[i].xMin, edges[i].left - 0.5) << i;
    EXPECT_LE(ws[i].xMax, edges[i].right + 0.1) << i;
    // Cut at the edge: one more W would not have fitted.
    const double w = (ws[i].xMax - ws[i].xMin) / ws[i].text.size();
    EXPECT_GT(ws[i].xMax + w, edges[i].right) << i;
  }
  const auto rows = detailRows(pdfPages(cwd.file("list.pdf")));
  ASSERT_EQ(rows.size(), 2);
  const QStringList words = rows[1].join(' ').simplified().split(' ');
  ASSERT_EQ(words.size(), 5) << words.join('|').toStdString();
  EXPECT_EQ(words[2], "128");
  EXPECT_EQ(words[4], "2001");
  // An empty Beats field leaves its column empty.
  EXPECT_EQ(rows[0], (QStringList{"Short", "Tiny", "Pop", "1999"}));
}

TEST_F(SongListTest, AnEmptyLibraryGivesNoPageAndNoFile) {
  create({});
  report.setTexts(strings.Druck, strings.Spalten);
  const auto r = report.writePdf(*data.Table1, cwd.file("list.pdf"));
  EXPECT_EQ(r.outcome, Outcome::NoPages);
  EXPECT_FALSE(QFile::exists(cwd.file("list.pdf")));
}

TEST_F(SongListTest, TheTablesCurrentRecordAndOrderStayAndAnOrderChangeDuringARunIsNotMixedIn) {
  create(qdl::test::numberedSongs(200));
  qdl::db::Table& t = *data.Table1;
  t.setIndexName("iTitel");
  t.moveTo(57);
  const QString current = t.asString("DateiName");
  report.setTexts(strings.Druck, strings.Spalten);
  bool switched = false;
  const auto r = report.writePdf(t, cwd.file("list.pdf"), [&](int page, int) {
    // Autoplay takes the next song by file name while the list is made.
    if (page == 1) {
      t.setIndexName("iDateiname");
      t.findNearest("/music/3.mp3");
      switched = true;
    }
    return true;
  });
  ASSERT_EQ(r.outcome, Outcome::Done);
  ASSERT_TRUE(switched);
  const QStringList titles = column(detailRows(pdfPages(cwd.file("list.pdf"))), 1);
  ASSERT_EQ(titles.size(), 200);
  for (int i = 0; i < 200; ++i)
    EXPECT_EQ(titles[i], QString("Title %1").arg(i + 1, 4, 10, QLatin1Char('0')));

  // Without interference the report moves nothing.
  t.setIndexName("iTitel");
  t.moveTo(57);
  render();
  EXPECT_EQ(t.indexName(), "iTitel");
  EXPECT_EQ(t.currentRow(), 57);
  EXPECT_EQ(t.asString("DateiName"), current);
}
