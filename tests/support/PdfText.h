#pragma once
// The text of a PDF file as poppler's pdftotext lays it out (-layout keeps
// columns in place), split into pages.

#include <QProcess>
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

}  // namespace qdl::test
