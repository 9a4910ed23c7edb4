// The help file format: the shipped files, markup, and clear reports of
// malformed input.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>

#include "platform/help/HelpFile.h"

using namespace qdl::help;

namespace {

const QList<int> kProgramContexts{20, 30, 40, 50, 60, 70, 80, 90, 95};

QString shipped(const QString& name) {
  return QStringLiteral(QDL_HELP_SOURCE_DIR) + QLatin1Char('/') + name;
}

ParseResult parse(const char* text) { return parseHelp(QByteArray(text)); }

}  // namespace

TEST(HelpFileShipped, BothLanguagesParseAndCoverEveryContextOfTheProgram) {
  QSet<int> contextsOf[2];
  int i = 0;
  for (const char* name : {"qdl_g.hlp", "qdl_e.hlp"}) {
    SCOPED_TRACE(name);
    const ParseResult r = loadHelpFile(shipped(QString::fromLatin1(name)));
    ASSERT_TRUE(r.ok()) << formatErrors(QString::fromLatin1(name), r.errors).toStdString();
    const HelpDocument& doc = r.document;
    for (int context : kProgramContexts) EXPECT_NE(doc.topic(context), nullptr) << context;
    ASSERT_NE(doc.contentsTopic(), nullptr);
    EXPECT_EQ(doc.contentsTopic()->context, 10);
    EXPECT_NE(doc.topic(15), nullptr);  // first start and the files
    for (const HelpTopic& t : doc.topics) {
      EXPECT_FALSE(t.keywords.isEmpty()) << t.context;
      EXPECT_GT(t.body.size(), 3) << t.context;
      contextsOf[i].insert(t.context);
    }
    ++i;
  }
  EXPECT_EQ(contextsOf[0], contextsOf[1]);  // the languages have the same topics
}

TEST(HelpFileShipped, UseTheProgramsOwnCaptionsPerLanguage) {
  const HelpDocument de = loadHelpFile(shipped(QStringLiteral("qdl_g.hlp"))).document;
  const HelpDocument en = loadHelpFile(shipped(QStringLiteral("qdl_e.hlp"))).document;
  EXPECT_EQ(de.language, QStringLiteral("de"));
  EXPECT_EQ(en.language, QStringLiteral("en"));
  const QString deDecks = topicHtml(de, *de.topic(20));
  const QString enDecks = topicHtml(en, *en.topic(20));
  for (const char* word : {"loaded", "cued", "playing", "paused", "seeking", "ended"}) {
    EXPECT_TRUE(deDecks.contains(QString::fromLatin1(word))) << word;
    EXPECT_TRUE(enDecks.contains(QString::fromLatin1(word))) << word;
  }
  EXPECT_TRUE(deDecks.contains(QStringLiteral("Datei nicht vorhanden. Bitte Datenbank")));
  EXPECT_TRUE(enDecks.contains(QStringLiteral("File notpresent. Check database!")));
  EXPECT_TRUE(topicHtml(de, *de.topic(60)).contains(QStringLiteral("Suche Kategorie")));
  EXPECT_TRUE(topicHtml(en, *en.topic(60)).contains(QStringLiteral("Search Genre")));
  EXPECT_TRUE(topicHtml(de, *de.topic(40)).contains(QStringLiteral("Aux/Kopf")));
  EXPECT_TRUE(topicHtml(en, *en.topic(40)).contains(QStringLiteral("Soundcard for headphone")));
  EXPECT_TRUE(topicHtml(en, *en.topic(15)).contains(QStringLiteral("Data/data.db")));
}

TEST(HelpFileFormat, ReadsHeaderTopicsKeywordsAndMarkup) {
  const ParseResult r = parse(
      "\xEF\xBB\xBF# a comment\r\n"
      "@helpfile 1\r\n"
      "@title Test Help\n"
      "@language de\n"
      "@contents 7\n"
      "@topic 3 Three & more\n"
      "@keywords alpha; Beta ;; gamma\n"
      "@keywords delta\n"
      "First **bold** line\n"
      "goes on. See [[7]] or [[7|the start]].\n"
      "\n"
      "== Heading <x>\n"
      "- one\n"
      "  continued\n"
      "* two\n"
      "1. first\n"
      "2. second\n"
      "\n"
      "@@topic is text\n"
      "\\# not a comment\n"
      "@topic 7 Start\n"
      "Hello.\n");
  ASSERT_TRUE(r.ok()) << formatErrors(QStringLiteral("t"), r.errors).toStdString();
  const HelpDocument& doc = r.document;
  EXPECT_EQ(doc.title, QStringLiteral("Test Help"));
  EXPECT_EQ(doc.language, QStringLiteral("de"));
  ASSERT_EQ(doc.topics.size(), 2);
  EXPECT_EQ(doc.contentsTopic()->context, 7);
  const HelpTopic* t = doc.topic(3);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->title, QStringLiteral("Three & more"));
  EXPECT_EQ(t->keywords, (QStringList{"alpha", "Beta", "gamma", "delta"}));
  EXPECT_EQ(t->line, 6);

  const QString html = topicHtml(doc, *t);
  EXPECT_TRUE(html.startsWith(QStringLiteral("<h2>Three &amp; more</h2>")));
  EXPECT_TRUE(html.contains(
      QStringLiteral("<p>First <b>bold</b> line goes on. See <a href=\"topic:7\">Start</a> or "
                     "<a href=\"topic:7\">the start</a>.</p>")))
      << html.toStdString();
  EXPECT_TRUE(html.contains(QStringLiteral("<h3>Heading &lt;x&gt;</h3>")));
  EXPECT_TRUE(html.contains(QStringLiteral("<ul><li>one continued</li><li>two</li></ul>")));
  EXPECT_TRUE(html.contains(QStringLiteral("<ol><li>first</li><li>second</li></ol>")));
  EXPECT_TRUE(html.contains(QStringLiteral("@topic is text # not a comment")));
}

TEST(HelpFileFormat, IndexHoldsKeywordsAndTitlesSortedWithoutRegardToCase) {
  const ParseResult r = parse(
      "@helpfile 1\n@language de\n"
      "@topic 1 Zebra\n@keywords beta; Änderung; alpha; Alpha\nx\n"
      "@topic 2 Mitte\n@keywords alpha\ny\n");
  ASSERT_TRUE(r.ok());
  QStringList keys;
  for (const IndexEntry& e : r.document.index())
    keys << e.keyword + QLatin1Char('/') + QString::number(e.context);
  // "Alpha" repeats "alpha" of the same topic and is left out; the same
  // keyword of another topic stays.
  EXPECT_EQ(keys,
            (QStringList{"alpha/2", "alpha/1", "Änderung/1", "beta/1", "Mitte/2", "Zebra/1"}));
}

TEST(HelpFileFormat, MalformedInputIsReportedWithItsLineNumber) {
  struct Case {
    const char* text;
    int line;
    const char* message;
  };
  const Case cases[] = {
      {"", 0, "empty"},
      {"just text\n", 1, "must begin with the line \"@helpfile 1\""},
      {"# c\n@helpfile 2\n", 2, "unsupported help format version \"2\""},
      {"@helpfile 1\n", 0, "holds no @topic"},
      {"@helpfile 1\nstray text\n@topic 1 A\nx\n", 2, "text before the first @topic"},
      {"@helpfile 1\n@topic 1 A\n@colour red\n", 3, "unknown directive \"@colour\""},
      {"@helpfile 1\n@topic x A\n@topic 2 B\n", 2, "context number above 0, found \"x\""},
      {"@helpfile 1\n@topic 0 Nothing\n@topic 2 B\n", 2, "context number above 0, found \"0\""},
      {"@helpfile 1\n@topic 4\n@topic 2 B\n", 2, "@topic 4 has no title"},
      {"@helpfile 1\n@topic 4 A\n\n@topic 4 B\n", 4, "already used by the topic on line 2"},
      {"@helpfile 1\n@keywords a\n@topic 1 A\n", 2, "@keywords outside a topic"},
      {"@helpfile 1\n@topic 1 A\n@keywords ; ;\n", 3, "@keywords without any keyword"},
      {"@helpfile 1\n@topic 1 A\n@title Late\n", 3, "@title belongs before the first @topic"},
      {"@helpfile 1\n@language fr\n@topic 1 A\n", 2, "@language must be \"de\" or \"en\""},
      {"@helpfile 1\n@contents 9\n@topic 1 A\n", 2, "@contents names topic 9"},
      {"@helpfile 1\n@topic 1 A\nok\nsome **bold\n", 4, "\"**\" is not closed"},
      {"@helpfile 1\n@topic 1 A\nsee [[2]]\n", 3, "link to unknown topic \"2\""},
      {"@helpfile 1\n@topic 1 A\n\nsee [[1\n", 4, "\"[[\" is not closed"},
      {"@helpfile 1\n@topic 1 A\nbad \xC3\x28 byte\n", 3, "not valid UTF-8"},
      {"@helpfile 1\n@helpfile 1\n@topic 1 A\n", 2, "@helpfile may appear only once"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const ParseResult r = parse(c.text);
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.errors.constFirst().line, c.line);
    EXPECT_TRUE(r.errors.constFirst().message.contains(QString::fromUtf8(c.message)))
        << r.errors.constFirst().message.toStdString();
  }
  // Zero bytes: binary data is refused at once.
  const ParseResult binary = parseHelp(QByteArray("@helpfile 1\n\0\x01\x02", 15));
  ASSERT_FALSE(binary.ok());
  EXPECT_TRUE(std::any_of(binary.errors.begin(), binary.errors.end(), [](const HelpError& e) {
    return e.line == 2 && e.message.contains(QStringLiteral("zero byte"));
  }));
}

TEST(HelpFileFormat, ErrorListNamesFileAndLinesAndStaysShort) {
  QByteArray text("@helpfile 1\n@topic 1 A\n");
  for (int i = 0; i < 15; ++i) text += "see [[99]]\n";
  const ParseResult r = parseHelp(text);
  ASSERT_EQ(r.errors.size(), 15);
  const QString report = formatErrors(QStringLiteral("qdl_e.hlp"), r.errors, 10);
  EXPECT_TRUE(report.startsWith(QStringLiteral("qdl_e.hlp, line 3: link to unknown topic")));
  EXPECT_EQ(report.count(QLatin1Char('\n')), 10);
  EXPECT_TRUE(report.endsWith(QStringLiteral("... and 5 more")));
  EXPECT_EQ(formatErrors(QStringLiteral("f"), {{0, QStringLiteral("whole")}}),
            QStringLiteral("f: whole"));
}

TEST(HelpFileFormat, UnreadableOrHugeFilesFailCleanly) {
  const ParseResult missing = loadHelpFile(QStringLiteral("/nonexistent/dir/x.hlp"));
  ASSERT_EQ(missing.errors.size(), 1);
  EXPECT_EQ(missing.errors.constFirst().line, 0);
  EXPECT_TRUE(missing.errors.constFirst().message.startsWith(QStringLiteral("cannot be read")));

  QTemporaryDir dir;
  QFile big(dir.filePath(QStringLiteral("big.hlp")));
  ASSERT_TRUE(big.open(QIODevice::WriteOnly));
  ASSERT_TRUE(big.resize(kMaxHelpFileBytes + 1));
  big.close();
  const ParseResult huge = loadHelpFile(big.fileName());
  ASSERT_EQ(huge.errors.size(), 1);
  EXPECT_TRUE(huge.errors.constFirst().message.contains(QStringLiteral("too large")));
}

TEST(HelpFileFormat, DamagedCopiesOfAShippedFileNeverCrashTheParser) {
  QFile f(shipped(QStringLiteral("qdl_e.hlp")));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray original = f.readAll();
  const int lines = original.count('\n') + 1;
  quint32 seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 60; ++round) {
    QByteArray damaged = original;
    for (int i = 0; i < 8; ++i) {
      const int at = static_cast<int>(next() % static_cast<quint32>(damaged.size()));
      switch (next() % 3) {
        case 0:
          damaged[at] = static_cast<char>(next() & 0xFF);
          break;
        case 1:
          damaged.remove(at, static_cast<int>(next() % 40));
          break;
        default:
          damaged.insert(at, "[[**@");
          break;
      }
    }
    const ParseResult r = parseHelp(damaged);
    for (const HelpError& e : r.errors) {
      EXPECT_GE(e.line, 0);
      EXPECT_LE(e.line, lines + 8 * 5);
    }
    for (const HelpTopic& t : r.document.topics) topicHtml(r.document, t);
  }
}
