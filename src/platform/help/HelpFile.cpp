#include "platform/help/HelpFile.h"

#include <QCollator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <algorithm>

namespace qdl::help {

const HelpTopic* HelpDocument::topic(int context) const {
  for (const HelpTopic& t : topics)
    if (t.context == context) return &t;
  return nullptr;
}

const HelpTopic* HelpDocument::contentsTopic() const {
  if (const HelpTopic* t = topic(contentsContext)) return t;
  return topics.isEmpty() ? nullptr : &topics.constFirst();
}

QList<IndexEntry> HelpDocument::index() const {
  QList<IndexEntry> entries;
  QSet<QString> seen;
  auto add = [&](const QString& keyword, const HelpTopic& t) {
    const QString key = keyword.toCaseFolded() + QChar(0) + QString::number(t.context);
    if (seen.contains(key)) return;
    seen.insert(key);
    entries.append({keyword, t.context, t.title});
  };
  for (const HelpTopic& t : topics) {
    add(t.title, t);
    for (const QString& k : t.keywords) add(k, t);
  }
  QCollator collator(QLocale(language == QLatin1String("de") ? QLocale::German : QLocale::English));
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  std::stable_sort(entries.begin(), entries.end(), [&](const IndexEntry& a, const IndexEntry& b) {
    const int c = collator.compare(a.keyword, b.keyword);
    if (c != 0) return c < 0;
    return collator.compare(a.topicTitle, b.topicTitle) < 0;
  });
  return entries;
}

namespace {

// Inline markup of one line: HTML escaping, **bold** and [[links]].
QString renderInline(const HelpDocument& doc, const HelpLine& line, QList<HelpError>* errors) {
  const QString& s = line.text;
  const QStringView view(s);
  QString out;
  out.reserve(s.size() + 16);
  bool bold = false;
  qsizetype i = 0;
  while (i < s.size()) {
    if (view.mid(i, 2) == QLatin1String("**")) {
      out += bold ? QStringLiteral("</b>") : QStringLiteral("<b>");
      bold = !bold;
      i += 2;
      continue;
    }
    if (view.mid(i, 2) == QLatin1String("[[")) {
      const qsizetype end = s.indexOf(QLatin1String("]]"), i + 2);
      if (end < 0) {
        if (errors)
          errors->append({line.line, QStringLiteral("link \"[[\" is not closed by \"]]\"")});
        out += s.mid(i).toHtmlEscaped();
        break;
      }
      const QString inner = s.mid(i + 2, end - i - 2);
      const int bar = inner.indexOf(QLatin1Char('|'));
      const QString number = (bar < 0 ? inner : inner.left(bar)).trimmed();
      bool ok = false;
      const int context = number.toInt(&ok);
      const HelpTopic* target = ok ? doc.topic(context) : nullptr;
      if (!target) {
        if (errors)
          errors->append({line.line, QStringLiteral("link to unknown topic \"%1\"").arg(number)});
        out += (bar < 0 ? inner : inner.mid(bar + 1)).toHtmlEscaped();
      } else {
        const QString text = bar < 0 ? target->title : inner.mid(bar + 1).trimmed();
        out += QStringLiteral("<a href=\"topic:%1\">%2</a>").arg(context).arg(text.toHtmlEscaped());
      }
      i = end + 2;
      continue;
    }
    switch (const QChar c = s.at(i); c.unicode()) {
      case '<':
        out += QLatin1String("&lt;");
        break;
      case '>':
        out += QLatin1String("&gt;");
        break;
      case '&':
        out += QLatin1String("&amp;");
        break;
      case '"':
        out += QLatin1String("&quot;");
        break;
      default:
        out += c;
    }
    ++i;
  }
  if (bold) {
    if (errors) errors->append({line.line, QStringLiteral("\"**\" is not closed on this line")});
    out += QStringLiteral("</b>");
  }
  return out;
}

// The body as HTML blocks; reports markup errors when errors is given.
QString renderBody(const HelpDocument& doc, const QList<HelpLine>& body, QList<HelpError>* errors) {
  static const QRegularExpression bullet(QStringLiteral("^\\s*[-*]\\s+(.*)$"));
  static const QRegularExpression numbered(QStringLiteral("^\\s*\\d+[.)]\\s+(.*)$"));
  enum class Block { None, Para, Bullets, Numbers };
  Block block = Block::None;
  QString html;
  auto close = [&] {
    switch (block) {
      case Block::Para:
        html += QStringLiteral("</p>\n");
        break;
      case Block::Bullets:
        html += QStringLiteral("</li></ul>\n");
        break;
      case Block::Numbers:
        html += QStringLiteral("</li></ol>\n");
        break;
      case Block::None:
        break;
    }
    block = Block::None;
  };
  auto item = [&](Block kind, const QString& text, int lineNo) {
    if (block != kind) {
      close();
      html += kind == Block::Bullets ? QStringLiteral("<ul>") : QStringLiteral("<ol>");
    } else {
      html += QStringLiteral("</li>");
    }
    html += QStringLiteral("<li>") + renderInline(doc, {lineNo, text}, errors);
    block = kind;
  };
  for (const HelpLine& l : body) {
    const QString t = l.text.trimmed();
    if (t.isEmpty()) {
      close();
      continue;
    }
    if (t.startsWith(QLatin1String("== "))) {
      close();
      html += QStringLiteral("<h3>") + renderInline(doc, {l.line, t.mid(3).trimmed()}, errors) +
              QStringLiteral("</h3>\n");
      continue;
    }
    if (const auto m = bullet.match(l.text); m.hasMatch()) {
      item(Block::Bullets, m.captured(1), l.line);
      continue;
    }
    if (const auto m = numbered.match(l.text); m.hasMatch()) {
      item(Block::Numbers, m.captured(1), l.line);
      continue;
    }
    if (block == Block::None) {
      html += QStringLiteral("<p>");
      block = Block::Para;
    } else {
      html += QLatin1Char(' ');
    }
    html += renderInline(doc, {l.line, t}, errors);
  }
  close();
  return html;
}

struct Directive {
  QString name;
  QString argument;
};

Directive splitDirective(const QString& line) {
  qsizetype space = 1;
  while (space < line.size() && !line.at(space).isSpace()) ++space;
  if (space == line.size()) return {line.mid(1), QString()};
  return {line.mid(1, space - 1), line.mid(space + 1).trimmed()};
}

}  // namespace

ParseResult parseHelp(const QByteArray& utf8) {
  ParseResult result;
  HelpDocument& doc = result.document;
  QList<HelpError>& errors = result.errors;
  doc.language = QStringLiteral("en");

  QByteArray data = utf8;
  if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
  const QList<QByteArray> rawLines = data.split('\n');

  QStringDecoder decoder(QStringDecoder::Utf8);
  bool headerSeen = false;
  int contentsLine = 0;
  HelpTopic* current = nullptr;
  bool skipping = false;  // body of a rejected @topic: its error was already given
  bool strayReported = false;

  for (int n = 0; n < rawLines.size(); ++n) {
    const int lineNo = n + 1;
    QByteArray raw = rawLines.at(n);
    if (raw.endsWith('\r')) raw.chop(1);
    if (raw.contains('\0')) {
      errors.append({lineNo, QStringLiteral("contains a zero byte; this is not a text file")});
      if (!headerSeen) return result;
      continue;
    }
    QString line = decoder(raw);
    if (decoder.hasError()) {
      decoder.resetState();
      errors.append({lineNo, QStringLiteral("is not valid UTF-8 text")});
      if (!headerSeen) return result;
      continue;
    }
    if (line.startsWith(QLatin1Char('#'))) continue;  // comment

    if (!headerSeen) {
      if (line.trimmed().isEmpty()) continue;
      const Directive d = line.startsWith(QLatin1Char('@')) ? splitDirective(line) : Directive{};
      if (d.name != QLatin1String("helpfile")) {
        errors.append(
            {lineNo, QStringLiteral("a help file must begin with the line \"@helpfile 1\"")});
        return result;
      }
      if (d.argument != QLatin1String("1")) {
        errors.append({lineNo, QStringLiteral("unsupported help format version \"%1\" (this "
                                              "program reads version 1)")
                                   .arg(d.argument)});
        return result;
      }
      headerSeen = true;
      continue;
    }

    if (line.startsWith(QLatin1String("@@"))) {
      line.remove(0, 1);
    } else if (line.startsWith(QLatin1Char('@'))) {
      const Directive d = splitDirective(line);
      if (d.name == QLatin1String("topic")) {
        const int space = d.argument.indexOf(QLatin1Char(' '));
        const QString number = space < 0 ? d.argument : d.argument.left(space);
        const QString title = space < 0 ? QString() : d.argument.mid(space + 1).trimmed();
        bool ok = false;
        const int context = number.toInt(&ok);
        current = nullptr;
        skipping = true;
        if (!ok || context <= 0) {
          errors.append({lineNo, QStringLiteral("@topic needs a context number above 0, "
                                                "found \"%1\"")
                                     .arg(number)});
          continue;
        }
        if (title.isEmpty()) {
          errors.append({lineNo, QStringLiteral("@topic %1 has no title").arg(context)});
          continue;
        }
        if (const HelpTopic* other = doc.topic(context)) {
          errors.append({lineNo, QStringLiteral("context number %1 is already used by the "
                                                "topic on line %2")
                                     .arg(context)
                                     .arg(other->line)});
          continue;
        }
        doc.topics.append(HelpTopic{context, title, {}, {}, lineNo});
        current = &doc.topics.last();
        skipping = false;
      } else if (d.name == QLatin1String("keywords")) {
        if (!current) {
          if (!skipping) errors.append({lineNo, QStringLiteral("@keywords outside a topic")});
          continue;
        }
        const QStringList words = d.argument.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        int added = 0;
        for (const QString& w : words) {
          if (w.trimmed().isEmpty()) continue;
          current->keywords.append(w.trimmed());
          ++added;
        }
        if (added == 0) errors.append({lineNo, QStringLiteral("@keywords without any keyword")});
      } else if (d.name == QLatin1String("title") || d.name == QLatin1String("language") ||
                 d.name == QLatin1String("contents")) {
        if (!doc.topics.isEmpty() || current) {
          errors.append(
              {lineNo, QStringLiteral("@%1 belongs before the first @topic").arg(d.name)});
          continue;
        }
        if (d.name == QLatin1String("title")) {
          if (d.argument.isEmpty())
            errors.append({lineNo, QStringLiteral("@title without a title")});
          doc.title = d.argument;
        } else if (d.name == QLatin1String("language")) {
          if (d.argument != QLatin1String("de") && d.argument != QLatin1String("en"))
            errors.append({lineNo, QStringLiteral("@language must be \"de\" or \"en\", found "
                                                  "\"%1\"")
                                       .arg(d.argument)});
          else
            doc.language = d.argument;
        } else {
          bool ok = false;
          const int context = d.argument.toInt(&ok);
          if (!ok || context <= 0)
            errors.append({lineNo, QStringLiteral("@contents needs a context number above 0, "
                                                  "found \"%1\"")
                                       .arg(d.argument)});
          else {
            doc.contentsContext = context;
            contentsLine = lineNo;
          }
        }
      } else if (d.name == QLatin1String("helpfile")) {
        errors.append({lineNo, QStringLiteral("@helpfile may appear only once, at the top")});
      } else {
        errors.append({lineNo, QStringLiteral("unknown directive \"@%1\"").arg(d.name)});
      }
      continue;
    }

    if (line.startsWith(QLatin1String("\\#"))) line.remove(0, 1);
    if (!current) {
      if (!skipping && !strayReported && !line.trimmed().isEmpty()) {
        errors.append({lineNo, QStringLiteral("text before the first @topic")});
        strayReported = true;
      }
      continue;
    }
    current->body.append({lineNo, line});
  }

  if (!headerSeen) {
    errors.append(
        {0, QStringLiteral("the file is empty; a help file begins with \"@helpfile 1\"")});
    return result;
  }
  if (doc.topics.isEmpty()) errors.append({0, QStringLiteral("the file holds no @topic")});
  if (contentsLine != 0 && !doc.topic(doc.contentsContext))
    errors.append({contentsLine, QStringLiteral("@contents names topic %1, which does not exist")
                                     .arg(doc.contentsContext)});
  if (doc.title.isEmpty()) doc.title = QStringLiteral("Help");
  for (const HelpTopic& t : doc.topics) renderBody(doc, t.body, &errors);
  std::stable_sort(errors.begin(), errors.end(),
                   [](const HelpError& a, const HelpError& b) { return a.line < b.line; });
  return result;
}

ParseResult loadHelpFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    ParseResult r;
    r.errors.append({0, QStringLiteral("cannot be read: %1").arg(file.errorString())});
    return r;
  }
  if (file.size() > kMaxHelpFileBytes) {
    ParseResult r;
    r.errors.append(
        {0, QStringLiteral("is too large for a help file (%1 bytes)").arg(file.size())});
    return r;
  }
  return parseHelp(file.readAll());
}

QString topicHtml(const HelpDocument& document, const HelpTopic& topic) {
  return QStringLiteral("<h2>") + topic.title.toHtmlEscaped() + QStringLiteral("</h2>\n") +
         renderBody(document, topic.body, nullptr);
}

QString formatErrors(const QString& fileName, const QList<HelpError>& errors, int maxLines) {
  QStringList lines;
  for (const HelpError& e : errors) {
    if (lines.size() == maxLines) {
      lines << QStringLiteral("... and %1 more").arg(errors.size() - maxLines);
      break;
    }
    lines << (e.line > 0
                  ? QStringLiteral("%1, line %2: %3").arg(fileName).arg(e.line).arg(e.message)
                  : QStringLiteral("%1: %2").arg(fileName, e.message));
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace qdl::help
