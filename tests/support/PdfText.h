#pragma once
// The text of a PDF file as poppler's pdftotext lays it out (-layout keeps
// columns in place), split into pages.

#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace qdl::test {

// The pages of the file, each as its lines (trailing blanks removed, empty
// lines kept); empty when the file cannot be read.
inline QList<QStringList> pdfPages(const QString& file) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-enc"),
                                        QStringLiteral("UTF-8"), file, QStringLiteral("-")});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
  QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
  if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
  QList<QStringList> result;
  for (const QString& page : pages) {
    QStringList lines = page.split(QLatin1Char('\n'));
    for (QString& line : lines) {
      while (line.endsWith(QLatin1Char(' '))) line.chop(1);
    }
    result << lines;
  }
  return result;
}

// The lines of a page that hold text.
inline QStringList textLines(const QStringList& page) {
  QStringList out;
  for (const QString& line : page)
    if (!line.trimmed().isEmpty()) out << line;
  return out;
}

// A word of a PDF file with its box in points from the page's top-left corner.
struct PdfWord {
  int page = 0;  // 0-based
  QString text;
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

// The words of the file with their boxes (pdftotext -bbox).
inline QList<PdfWord> pdfWords(const QString& file) {
  QProcess p;
  p.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), QStringLiteral("-enc"),
                                        QStringLiteral("UTF-8"), file, QStringLiteral("-")});
  if (!p.waitForFinished(60000) || p.exitCode() != 0) return {};
  const QString html = QString::fromUtf8(p.readAllStandardOutput());
  static const QRegularExpression item(QStringLiteral(
      R"re(<page |<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
  QList<PdfWord> words;
  int page = -1;
  for (auto it = item.globalMatch(html); it.hasNext();) {
    const auto m = it.next();
    if (m.captured(0).startsWith(QLatin1String("<page"))) {
      ++page;
      continue;
    }
    words.append({page, m.captured(5), m.captured(1).toDouble(), m.captured(2).toDouble(),
                  m.captured(3).toDouble(), m.captured(4).toDouble()});
  }
  return words;
}

}  // namespace qdl::test
