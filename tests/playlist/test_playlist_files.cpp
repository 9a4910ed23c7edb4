// Playlist files without a window: decoding, line ends, the own format's
// round trip, M3U lists in the shapes other players write, files that are
// no playlists, and the `quandrel playlist` command.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "platform/fs/Printable.h"
#include "playlist/PlaylistCommand.h"
#include "playlist/PlaylistFile.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"

using namespace qdl::playlist;

namespace {

using qdl::test::CommandRun;
using qdl::test::runCommand;

bool writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray utf16(const QString& text, QStringConverter::Encoding e) {
  QStringEncoder enc(e, QStringConverter::Flag::WriteBom);
  return enc.encode(text);
}

TEST(PlaylistText, DecodesEveryEncodingAPlayerWrites) {
  const QString umlauts = QString::fromUtf8("/Musik/Müller – Grüße €.mp3");
  struct Case {
    const char* name;
    QByteArray bytes;
    QString text;
    bool binary;
  };
  const Case cases[] = {
      {"ascii", "/a/b.mp3", "/a/b.mp3", false},
      {"utf-8", umlauts.toUtf8(), umlauts, false},
      {"utf-8 with BOM", "\xEF\xBB\xBF" + umlauts.toUtf8(), umlauts, false},
      {"utf-16 LE", utf16(umlauts, QStringConverter::Utf16LE), umlauts, false},
      {"utf-16 BE", utf16(umlauts, QStringConverter::Utf16BE), umlauts, false},
      {"windows-1252",
       "/Musik/M\xFCller \x96 Gr\xFC\xDF"
       "e \x80.mp3",
       umlauts, false},
      // One bad sequence makes its whole line 8-bit, and only that line.
      {"latin-1 after valid utf-8", "\xC3\xA4\xE4", QString::fromUtf8("Ã¤ä"), false},
      {"utf-8 and windows-1252 lines",
       "/M\xC3\xBCller/Gr\xC3\xBC\xC3\x9F"
       "e.mp3\r\n/M\xFCller \x80.mp3\n/\xC3\x84rger.mp3\r/Caf\xE9.mp3",
       QString::fromUtf8("/Müller/Grüße.mp3\r\n/Müller €.mp3\n/Ärger.mp3\r/Café.mp3"), false},
      {"zeros padding the end", QByteArray("/a.mp3\r\n\0\0\0", 11), "/a.mp3\r\n", false},
      {"zero inside",
       QByteArray("ID3\x03\0\0\0\x0F"
                  "data",
                  12),
       "ID3\x03", true},
      {"utf-16 zero inside", utf16(QStringLiteral("a") + QChar(0) + "b", QStringConverter::Utf16LE),
       "a", true},
      {"empty", "", "", false},
  };
  for (const Case& c : cases) {
    bool binary = !c.binary;
    EXPECT_EQ(decodeText(c.bytes, &binary), c.text) << c.name;
    EXPECT_EQ(binary, c.binary) << c.name;
  }
}

TEST(PlaylistText, SplitsAtEveryKindOfLineEnd) {
  const std::pair<const char*, QStringList> cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\rb\r", {"a", "b"}},
      {"a\nb\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},  // a last line without an end
      {"a\r\r\nb\n\nc", {"a", "", "b", "", "c"}},
      {"a", {"a"}},
      {"\r\n", {""}},
      {"", {}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(splitLines(text), lines) << text;
}

TEST(PlaylistText, OwnFormatRoundTripKeepsEntriesExactly) {
  const QStringList entries = {QString::fromUtf8("/home/dj/Musik/Die Ärzte - Westerland.mp3"),
                               "/home/dj/Musik/ leading blank.mp3", "/home/dj/Musik/a.mp3",
                               "/home/dj/Musik/a.mp3",  // duplicates stay
                               QString::fromUtf8("/media/dj/STICK/Œuvre €.MP3")};
  const QByteArray bytes = qdpBytes(entries);
  EXPECT_EQ(bytes, entries.join("\r\n").toUtf8() + "\r\n");
  const ReadResult r = parseQdp(bytes);
  EXPECT_EQ(r.entries, entries);
  EXPECT_TRUE(r.skipped.isEmpty());
  EXPECT_EQ(qdpBytes({}), QByteArray());
  EXPECT_TRUE(parseQdp(QByteArray()).entries.isEmpty());
}

TEST(PlaylistText, OwnFormatSkipsWhatCannotBeAnMp3Path) {
  const QByteArray longLine(100000, 'x');
  const QByteArray bytes = "/a.mp3\r\n\r\n/b.ogg\r\n/c\x01.mp3\r\n" + longLine + ".mp3\r\n/d.mp3";
  const ReadResult r = parseQdp(bytes);
  EXPECT_EQ(r.entries, QStringList({"/a.mp3", "/d.mp3"}));
  ASSERT_EQ(r.skipped.size(), 3);
  EXPECT_EQ(r.skipped[0], (SkippedLine{3, "/b.ogg", SkipReason::NotMp3}));
  EXPECT_EQ(r.skipped[1].reason, SkipReason::NotText);
  EXPECT_EQ(r.skipped[1].line, 4);
  EXPECT_EQ(r.skipped[2].reason, SkipReason::TooLong);
  EXPECT_EQ(r.skipped[2].line, 5);
  EXPECT_EQ(r.skipped[2].text.size(), 200);  // cut for the message
}

// An M3U list in /music/lists on a stick mounted at /media/stick.
M3uPlace stickPlace(const QSet<QString>& existing) {
  return {"/media/stick/lists", "/media/stick",
          [existing](const QString& p) { return existing.contains(p); }};
}

TEST(PlaylistM3u, ReadsTheShapesOtherPlayersWrite) {
  const QStringList lines = {
      "#EXTM3U",
      "#EXTINF:215,Artist - Title",
      "\\mp3\\song.mp3",     // root-relative, there on the stick
      "/mp3/elsewhere.mp3",  // root-relative, not on the stick: absolute
      "..\\shared\\a.mp3",   // relative with "..\"
      "./b.mp3",             //
      "  c d.mp3  \t",       // blanks around the path
      "",                    //
      "   ",                 //
      "#EXT-X-SOMETHING:1",  // any other directive
      "file:///home/dj/My%20Song%C3%A4.mp3",
      "file://localhost/x/y.mp3",
      "file://server/share/z.mp3",
      "file:///C:/Music/x.mp3",
      "http://radio.example/stream.mp3",
      "https://example.com/a.mp3",
      "mms://example.com/live",
      "C:\\Music\\x.mp3",
      "d:/Music/y.mp3",
      "\\\\server\\share\\x.mp3",
      "song.flac",
      "/abs/Song.MP3",
      "file:///music/a%0Ab.mp3",  // a line break or a zero decoded
      "file:///music/c%00d.mp3",
  };
  const ReadResult r =
      parseM3u(lines.join("\r\n").toUtf8(), stickPlace({"/media/stick/mp3/song.mp3"}));
  EXPECT_EQ(
      r.entries,
      QStringList({"/media/stick/mp3/song.mp3", "/mp3/elsewhere.mp3", "/media/stick/shared/a.mp3",
                   "/media/stick/lists/b.mp3", "/media/stick/lists/c d.mp3",
                   QString::fromUtf8("/home/dj/My Songä.mp3"), "/x/y.mp3", "/abs/Song.MP3"}));
  const QList<SkippedLine> skipped = {
      {13, "file://server/share/z.mp3", SkipReason::NetworkPath},
      {14, "file:///C:/Music/x.mp3", SkipReason::DrivePath},
      {15, "http://radio.example/stream.mp3", SkipReason::WebAddress},
      {16, "https://example.com/a.mp3", SkipReason::WebAddress},
      {17, "mms://example.com/live", SkipReason::WebAddress},
      {18, "C:\\Music\\x.mp3", SkipReason::DrivePath},
      {19, "d:/Music/y.mp3", SkipReason::DrivePath},
      {20, "\\\\server\\share\\x.mp3", SkipReason::NetworkPath},
      {21, "song.flac", SkipReason::NotMp3},
      {23, "file:///music/a%0Ab.mp3", SkipReason::NotText},
      {24, "file:///music/c%00d.mp3", SkipReason::NotText},
  };
  EXPECT_EQ(r.skipped, skipped);
}

TEST(PlaylistM3u, SameEntriesWhateverTheEncodingAndLineEnds) {
  const QString body = QString::fromUtf8("#EXTM3U\n#EXTINF:1,Grüße\nGrüße.mp3\n\\mp3\\Ärger.mp3");
  const QStringList want = {QString::fromUtf8("/media/stick/lists/Grüße.mp3"),
                            QString::fromUtf8("/mp3/Ärger.mp3")};
  QString crlf = body, cr = body;
  crlf.replace("\n", "\r\n");
  cr.replace("\n", "\r");
  const std::pair<const char*, QByteArray> files[] = {
      {"utf-8 LF", body.toUtf8()},
      {"utf-8 CRLF with final end", (crlf + "\r\n").toUtf8()},
      {"utf-8 CR", cr.toUtf8()},
      {"utf-8 BOM", "\xEF\xBB\xBF" + crlf.toUtf8()},
      {"utf-16 LE", utf16(crlf, QStringConverter::Utf16LE)},
      {"utf-16 BE", utf16(crlf, QStringConverter::Utf16BE)},
      {"windows-1252", QStringEncoder(QStringConverter::Latin1).encode(crlf)},
      // Two lists joined with cat, each with its byte order mark.
      {"joined", "\xEF\xBB\xBF" + crlf.section("\r\n", 0, 2).toUtf8() +
                     "\r\n\xEF\xBB\xBF#EXTM3U\r\n" + crlf.section("\r\n", 3).toUtf8()},
  };
  for (const auto& [name, bytes] : files) {
    const ReadResult r = parseM3u(bytes, stickPlace({}));
    EXPECT_EQ(r.entries, want) << name;
    EXPECT_TRUE(r.skipped.isEmpty()) << name;
  }
}

TEST(PlaylistM3u, NamesAndVolumes) {
  for (const char* name : {"a.qdp", "A.QDP", "x/b.Qdp"}) EXPECT_EQ(formatOf(name), Format::Qdp);
  for (const char* name : {"a.m3u", "A.M3U", "a.m3u8", "a.M3U8"})
    EXPECT_EQ(formatOf(name), Format::M3u);
  for (const char* name : {"a.pls", "a.m3u.bak", "qdp", "a.mp3"}) EXPECT_FALSE(formatOf(name));

  EXPECT_EQ(convertedName("/lists/Set 1.m3u"), "/lists/Set 1.qdp");
  EXPECT_EQ(convertedName("/lists/SET.M3U8"), "/lists/SET.qdp");
  EXPECT_EQ(convertedName("/a.b/list"), "/a.b/list.qdp");

  const QStringList mounts = {"/", "/media/stick", "/media/stick2", "/home", "/media/stick/inner"};
  EXPECT_EQ(volumeRootOf("/media/stick2/x.m3u", mounts), "/media/stick2");
  EXPECT_EQ(volumeRootOf("/media/stick/a/x.m3u", mounts), "/media/stick");
  EXPECT_EQ(volumeRootOf("/media/stick/inner/x.m3u", mounts), "/media/stick/inner");
  EXPECT_EQ(volumeRootOf("/media/sticky/x.m3u", mounts), "/");
  EXPECT_EQ(volumeRootOf("/tmp/x.m3u", {}), "/");
}

TEST(PlaylistFiles, WhatIsNoPlaylistIsRefusedWithAReason) {
  qdl::test::TempCwd cwd;
  QDir().mkdir(cwd.file("folder.m3u"));
  ASSERT_EQ(mkfifo(QFile::encodeName(cwd.file("pipe.m3u")).constData(), 0600), 0);
  QByteArray binary(4096, '\0');
  for (int i = 0; i < binary.size(); i += 3) binary[i] = char(i * 7 + 1);
  ASSERT_TRUE(writeFile(cwd.file("song.qdp"), "ID3\x04" + binary));
  // 50 MB without writing them: a sparse file.
  {
    QFile big(cwd.file("big.m3u"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(50 * 1024 * 1024));
  }
  const std::pair<const char*, ReadError> cases[] = {
      {"missing.qdp", ReadError::NotFound},
      {"nofolder/list.m3u", ReadError::NotFound},
      {"folder.m3u", ReadError::IsFolder},
      {"pipe.m3u", ReadError::NotRegular},  // must not wait for a writer
      {"song.qdp", ReadError::Binary},
      {"big.m3u", ReadError::TooLarge},
  };
  for (const auto& [name, error] : cases) {
    const FileResult r = readPlaylistFile(cwd.file(name), {});
    EXPECT_EQ(r.error, error) << name;
    EXPECT_TRUE(r.read.entries.isEmpty()) << name;
  }
  EXPECT_EQ(readPlaylistFile(cwd.file("big.m3u"), {}).detail, QString::number(50 * 1024 * 1024));

  ASSERT_TRUE(writeFile(cwd.file("locked.qdp"), "/a.mp3\r\n"));
  ::chmod(QFile::encodeName(cwd.file("locked.qdp")).constData(), 0);
  if (::geteuid() != 0) {  // root reads any file
    const FileResult r = readPlaylistFile(cwd.file("locked.qdp"), {});
    EXPECT_EQ(r.error, ReadError::Unreadable);
    EXPECT_FALSE(r.detail.isEmpty());
  }
}

TEST(PlaylistFiles, RootRelativePathsFindTheVolumeOfTheList) {
  qdl::test::TempCwd cwd;
  // The temporary folder stands in for a stick's mount point.
  const QString stick = QDir(cwd.path()).canonicalPath();
  ASSERT_TRUE(writeFile(stick + "/mp3/song.mp3", "x"));
  ASSERT_TRUE(writeFile(stick + "/lists/set.m3u",
                        "#EXTM3U\r\n\\mp3\\song.mp3\r\n\\mp3\\gone.mp3\r\n..\\mp3\\song.mp3"));
  const FileResult r = readPlaylistFile(stick + "/lists/set.m3u", {"/", stick});
  EXPECT_EQ(r.error, ReadError::None);
  EXPECT_EQ(r.format, Format::M3u);
  EXPECT_EQ(r.read.entries,
            QStringList({stick + "/mp3/song.mp3", "/mp3/gone.mp3", stick + "/mp3/song.mp3"}));
}

TEST(PlaylistFiles, WritingReplacesAnOldFileAndReportsFailures) {
  qdl::test::TempCwd cwd;
  const QString path = cwd.file("set.qdp");
  ASSERT_TRUE(writeFile(path, QByteArray(1000, 'o')));
  EXPECT_EQ(writeQdp(path, {"/a.mp3", QString::fromUtf8("/ü b.mp3")}), QString());
  EXPECT_EQ(readFile(path), QString::fromUtf8("/a.mp3\r\n/ü b.mp3\r\n").toUtf8());
  EXPECT_EQ(writeQdp(path, {}), QString());
  EXPECT_EQ(QFileInfo(path).size(), 0);
  EXPECT_FALSE(writeQdp(cwd.file("no/such/folder/set.qdp"), {"/a.mp3"}).isEmpty());
  QDir().mkdir(cwd.file("taken.qdp"));  // a folder of that name
  EXPECT_FALSE(writeQdp(cwd.file("taken.qdp"), {"/a.mp3"}).isEmpty());
}

// Random bytes built from what playlists are made of: whatever the readers
// are fed, every entry is an MP3 path (absolute for M3U) and every skipped
// line is a line of the text.
TEST(PlaylistText, AnyBytesGiveOnlyMp3PathsAndRealLineNumbers) {
  const QByteArray pieces[] = {"\r",
                               "\n",
                               "\r\n",
                               "\\",
                               "/",
                               ":",
                               "#",
                               "%20",
                               "%0A",
                               "%00",
                               "file://",
                               "http://",
                               "C:",
                               "..",
                               ".",
                               " ",
                               "\t",
                               ".mp3",
                               ".MP3",
                               "a",
                               "\xC3\xA4",
                               "\xE4",
                               "\xFF\xFE",
                               "\xFE\xFF",
                               "\xEF\xBB\xBF",
                               QByteArray(1, '\0'),
                               "\x01",
                               "song"};
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  const M3uPlace place = stickPlace({"/media/stick/a.mp3"});
  for (int round = 0; round < 3000; ++round) {
    QByteArray bytes;
    const int n = int(next() % 40);
    for (int i = 0; i < n; ++i) bytes += pieces[next() % std::size(pieces)];
    const int lines = int(splitLines(decodeText(bytes)).size());
    for (const ReadResult& r : {parseQdp(bytes), parseM3u(bytes, place)}) {
      for (const QString& e : r.entries)
        ASSERT_TRUE(e.endsWith(".mp3", Qt::CaseInsensitive)) << bytes.toHex().constData();
      // What is read survives a save and a load unchanged.
      ASSERT_EQ(parseQdp(qdpBytes(r.entries)).entries, r.entries) << bytes.toHex().constData();
      int last = 0;
      for (const SkippedLine& sk : r.skipped) {
        ASSERT_GT(sk.line, last) << bytes.toHex().constData();
        ASSERT_LE(sk.line, lines) << bytes.toHex().constData();
        last = sk.line;
      }
      ASSERT_LE(int(r.entries.size() + r.skipped.size()), lines);
    }
    for (const QString& e : parseM3u(bytes, place).entries)
      ASSERT_TRUE(e.startsWith('/')) << bytes.toHex().constData();
  }
}

TEST(PlaylistText, PathsAreNormalisedSoThatOneFileHasOneName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/./b//../c.mp3", "/a/c.mp3"},
      {"/../../../tmp/music/a.mp3", "/tmp/music/a.mp3"},  // ".." at the root stays there
      {"//tmp///music/a.mp3", "/tmp/music/a.mp3"},
      {"/tmp/music/", "/tmp/music"},
      {"/", "/"},
      {"/..", "/"},
      {"/a/b.mp3", "/a/b.mp3"},
      {"a/../../b.mp3", "../b.mp3"},  // relative: the leading ".." stays
      {"./b.mp3", "b.mp3"},
  };
  for (const auto& [path, want] : cases) EXPECT_EQ(normalisedPath(path), want) << path;

  // In both formats, whatever way a line names the file.
  const QString lines =
      "../../../../../../tmp/music/a.mp3\r\n"
      "/tmp//music/./a.mp3\r\n"
      "/../tmp/music/x/../a.mp3\r\n"
      "file:///tmp/music/../../../tmp/music/a.mp3\r\n"
      "\\..\\..\\tmp\\music\\a.mp3\r\n";
  const ReadResult m3u =
      readM3uText(lines, {"/media/stick/lists", "/media/stick",
                          [](const QString& p) { return p == "/tmp/music/a.mp3"; }});
  EXPECT_EQ(m3u.entries, QStringList(5, "/tmp/music/a.mp3"));
  EXPECT_TRUE(m3u.skipped.isEmpty());
  const ReadResult qdp = readQdpText("/tmp//music/./a.mp3\r\n/../tmp/music/x/../a.mp3\r\n");
  EXPECT_EQ(qdp.entries, QStringList(2, "/tmp/music/a.mp3"));
}

// 200 KB of random bytes without a zero byte.
QByteArray randomBytes(qsizetype size, std::uint32_t seed) {
  QByteArray bytes(size, Qt::Uninitialized);
  for (char& b : bytes) {
    seed = seed * 1664525u + 1013904223u;
    b = char((seed >> 24) % 255 + 1);
  }
  return bytes;
}

TEST(PlaylistText, WhatIsMostlyNoTextIsBinary) {
  const QByteArray bad = "\x1B]0;owned\x07\x1B[2J";
  const std::pair<const char*, QByteArray> binary[] = {
      {"random bytes", randomBytes(200 * 1024, 7)},
      {"random bytes after an M3U header", "#EXTM3U\r\n" + randomBytes(200 * 1024, 8)},
      {"control lines only", bad + "\n" + bad + "\n/a.mp3\n"},
  };
  for (const auto& [name, bytes] : binary) {
    bool isBinary = false;
    decodeText(bytes, &isBinary);
    EXPECT_TRUE(isBinary) << name;
  }
  const std::pair<const char*, QByteArray> text[] = {
      {"a stray bad line", "#EXTM3U\n/a.mp3\n" + bad + "\n/b.mp3\n"},
      {"as many bad lines as good", "/a.mp3\n" + bad + "\n"},
      {"windows-1252 text",
       "/M\xFCller \x96 Gr\xFC\xDF"
       "e.mp3\r\n/\xC4rger.mp3\r\n"},
      {"tabs", "/a\t b.mp3\n\t/c.mp3\n"},
      {"empty lines only", "\r\n\r\n\n"},
  };
  for (const auto& [name, bytes] : text) {
    bool isBinary = true;
    decodeText(bytes, &isBinary);
    EXPECT_FALSE(isBinary) << name;
  }

  qdl::test::TempCwd cwd;
  ASSERT_TRUE(writeFile(cwd.file("noise.m3u"), randomBytes(200 * 1024, 7)));
  EXPECT_EQ(readPlaylistFile(cwd.file("noise.m3u"), {}).error, ReadError::Binary);
}

TEST(PlaylistText, ControlCharactersArePrintedAsWhatTheyAre) {
  const std::pair<QString, QString> cases[] = {
      {"/a b/c.mp3", "/a b/c.mp3"},
      {"C:\\Musik\\x.mp3", "C:\\Musik\\x.mp3"},  // backslashes stay
      {"\x1B]0;owned\x07\x1B[2J", "\\x1b]0;owned\\x07\\x1b[2J"},
      {"a\tb\r\nc", "a\\x09b\\x0d\\x0ac"},
      {QString("x") + QChar(0) + "y", "x\\x00y"},
      {"del\x7F", "del\\x7f"},
      {QString::fromUtf8("\xC2\x9B"
                         "2J\xC2\x80\xC2\x9F\xC2\xA0ü€"),
       QString::fromUtf8("\\x9b2J\\x80\\x9f\xC2\xA0ü€")},
  };
  for (const auto& [text, want] : cases)
    EXPECT_EQ(qdl::fs::printable(text), want) << qPrintable(want);
}

CommandRun playlistCommand(const QStringList& args) { return runCommand(runPlaylistCommand, args); }

TEST(PlaylistCommand, PrintsEntriesAndReportsSkippedLinesWithoutWritingAnything) {
  qdl::test::TempCwd cwd;
  const QString dir = QDir(cwd.path()).canonicalPath();
  ASSERT_TRUE(writeFile(dir + "/a.mp3", "x"));
  ASSERT_TRUE(writeFile(dir + "/set.M3U", "#EXTM3U\r\na.mp3\r\nhttp://x/y.mp3\r\nb.mp3\r\n"));
  const CommandRun r = playlistCommand({dir + "/set.M3U"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, dir + "/a.mp3\n" + dir + "/b.mp3\n");
  EXPECT_EQ(r.err,
            "line 3 skipped (web address or stream): http://x/y.mp3\nmissing: " + dir + "/b.mp3\n");
  EXPECT_FALSE(QFileInfo::exists(dir + "/set.qdp"));
  EXPECT_FALSE(QFileInfo::exists(dir + "/Data"));

  const CommandRun missing = playlistCommand({dir + "/none.qdp"});
  EXPECT_EQ(missing.code, 1);
  EXPECT_EQ(missing.err, "quandrel playlist: " + dir + "/none.qdp: no such file\n");
  EXPECT_TRUE(missing.out.isEmpty());
  EXPECT_EQ(playlistCommand({dir}).code, 2);
  EXPECT_EQ(playlistCommand({}).code, 2);
  EXPECT_EQ(playlistCommand({"a.qdp", "b.qdp"}).code, 2);
  const CommandRun help = playlistCommand({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_TRUE(help.out.startsWith("Usage: quandrel playlist FILE"));
}

TEST(PlaylistCommand, PrintsNoControlCharacterFromTheFileAndRefusesBinaryFiles) {
  qdl::test::TempCwd cwd;
  const QString dir = QDir(cwd.path()).canonicalPath();
  // A line that would set the terminal's title and clear it, and a file
  // name with the one-character CSI of C1.
  ASSERT_TRUE(writeFile(dir + "/evil.m3u",
                        "#EXTM3U\r\n/music/a.mp3\r\n\x1B]0;owned\x07\x1B[2J\r\n"
                        "/music/\xC2\x9B"
                        "2Jb.mp3\r\n/music/c.mp3\r\n"));
  const CommandRun r = playlistCommand({dir + "/evil.m3u"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, "/music/a.mp3\n/music/\\x9b2Jb.mp3\n/music/c.mp3\n");
  EXPECT_EQ(r.err,
            "line 3 skipped (not a line of text): \\x1b]0;owned\\x07\\x1b[2J\n"
            "missing: /music/a.mp3\nmissing: /music/\\x9b2Jb.mp3\nmissing: /music/c.mp3\n");
  for (const QString& printed : {r.out, r.err})
    for (const QChar ch : printed)
      EXPECT_TRUE(ch == '\n' || (ch.unicode() >= 0x20 && ch.unicode() != 0x7F &&
                                 (ch.unicode() < 0x80 || ch.unicode() >= 0xA0)))
          << int(ch.unicode());

  // Noise is no playlist: one line on standard error, nothing else.
  ASSERT_TRUE(writeFile(dir + "/noise.m3u", randomBytes(200 * 1024, 11)));
  const CommandRun noise = playlistCommand({dir + "/noise.m3u"});
  EXPECT_EQ(noise.code, 1);
  EXPECT_TRUE(noise.out.isEmpty());
  EXPECT_EQ(noise.err,
            "quandrel playlist: " + dir + "/noise.m3u: not a playlist but a binary file\n");
  // A name given on the command line is printed safely too.
  const CommandRun named = playlistCommand({dir + "/\x1B[2J.qdp"});
  EXPECT_EQ(named.code, 1);
  EXPECT_EQ(named.err, "quandrel playlist: " + dir + "/\\x1b[2J.qdp: no such file\n");
}

}  // namespace
