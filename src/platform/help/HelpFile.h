#pragma once
// The help file format: one UTF-8 text file per language.
//
//   # a comment line (anywhere; write "\#" for a body line that starts with #)
//   @helpfile 1                 first directive: marks the format and its version
//   @title Quandrel Help        the window caption
//   @language en                "de" or "en": labels of the help window itself
//   @contents 10                context number of the start topic (else the first topic)
//
//   @topic 20 The decks         a topic: positive context number, then its title
//   @keywords deck; cue; pitch  index entries, separated by ";" (may repeat)
//   body lines ...
//
// Body markup, line based:
//   - a blank line ends a paragraph or list
//   - "- text" or "* text" is a bullet item, "1. text" a numbered item; the
//     lines that follow without a blank line continue the item
//   - "== text" is a heading inside the topic
//   - **bold** inside a line (must close on the same line)
//   - [[20]] links to topic 20 showing its title, [[20|text]] with own text
//   - "@@" at the start of a line stands for a literal "@"
//
// The parser never throws: every problem is reported with its line number.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace qdl::help {

struct HelpError {
  int line;  // 1-based; 0 when the problem concerns the whole file
  QString message;
};

struct HelpLine {
  int line;
  QString text;
};

struct HelpTopic {
  int context = 0;
  QString title;
  QStringList keywords;
  QList<HelpLine> body;
  int line = 0;  // line of its @topic directive
};

struct IndexEntry {
  QString keyword;
  int context;
  QString topicTitle;
};

struct HelpDocument {
  QString title;
  QString language;  // "de" or "en"
  int contentsContext = 0;
  QList<HelpTopic> topics;  // in file order

  // The topic with that context number, or nullptr.
  const HelpTopic* topic(int context) const;
  // The start topic: the @contents one, else the first; nullptr when empty.
  const HelpTopic* contentsTopic() const;
  // Every keyword and every topic title with its topic, sorted without
  // regard to case.
  QList<IndexEntry> index() const;
};

struct ParseResult {
  HelpDocument document;
  QList<HelpError> errors;
  bool ok() const { return errors.isEmpty(); }
};

// Largest help file accepted; anything bigger is certainly not a help file.
constexpr qint64 kMaxHelpFileBytes = 4 * 1024 * 1024;

ParseResult parseHelp(const QByteArray& utf8);
// Reads and parses a file; an unreadable file gives one error of line 0.
ParseResult loadHelpFile(const QString& path);

// The topic as an HTML page for QTextBrowser: its title as a heading, then
// the body. Links point to "topic:<context>".
QString topicHtml(const HelpDocument& document, const HelpTopic& topic);

// "file, line 12: message" lines, at most maxLines of them (then a count).
QString formatErrors(const QString& fileName, const QList<HelpError>& errors, int maxLines = 10);

}  // namespace qdl::help
