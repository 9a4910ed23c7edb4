// The ID3v2 reader: hand-made tags of every version, encoding and flag,
// damaged tags, files tagged by TagLib and by lame, and the mapping into the
// library's fields (widths, genres, tempos).
#include <gtest/gtest.h>

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <optional>

#include <QFile>
#include <QTemporaryDir>

#include "platform/tags/Id3v2.h"
#include "support/Id3v2Bytes.h"

using namespace qdl::test::id3v2;
using qdl::tags::parseV2;
using qdl::tags::readV2;
using qdl::tags::V2Fields;

namespace {

const QString kClef = QString::fromUtf8("\xF0\x9D\x84\x9E");  // U+1D11E, outside the BMP

struct Expect {
  bool present;
  int major;
  QString interpret, titel, jahr, genre;
  std::optional<int> beats;
};

struct Case {
  const char* name;
  QByteArray bytes;
  Expect want;
};

void expectFields(const V2Fields& got, const Expect& want, const char* name) {
  SCOPED_TRACE(name);
  EXPECT_EQ(got.present, want.present);
  EXPECT_EQ(got.major, want.major);
  EXPECT_EQ(got.interpret, want.interpret);
  EXPECT_EQ(got.titel, want.titel);
  EXPECT_EQ(got.jahr, want.jahr);
  EXPECT_EQ(got.genre, want.genre);
  EXPECT_EQ(got.beats, want.beats);
}

QByteArray textFrame(int major, const QByteArray& id, Enc enc, const QString& value) {
  return frame(major, id, text(enc, value));
}

// A 2.3 body of artist and title in `enc`.
QByteArray body23(Enc enc, const QString& artist, const QString& title) {
  return textFrame(3, "TPE1", enc, artist) + textFrame(3, "TIT2", enc, title);
}

std::vector<Case> cases() {
  const QString umlauts = QString::fromUtf8("Motörhead Ärzte");
  const QString cyrillic = QString::fromUtf8("Кино");
  const QString cjk = QString::fromUtf8("群青");
  std::vector<Case> c;

  // Versions and encodings.
  c.push_back({"2.2 Latin-1 with umlauts, genre by number, tempo",
               tag(2, frame(2, "TP1", text(Enc::Latin1, umlauts)) +
                          frame(2, "TT2", text(Enc::Latin1, "Ace of Spades")) +
                          frame(2, "TYE", text(Enc::Latin1, "1980")) +
                          frame(2, "TCO", text(Enc::Latin1, "(17)")) +
                          frame(2, "TBP", text(Enc::Latin1, "128")) + QByteArray(20, '\0')),
               {true, 2, umlauts, "Ace of Spades", "1980", "Rock", 128}});
  c.push_back({"2.2 UTF-16 with a mark, outside the BMP",
               tag(2, frame(2, "TP1", text(Enc::Utf16LeBom, cyrillic)) +
                          frame(2, "TT2", text(Enc::Utf16LeBom, kClef + " " + cjk))),
               {true, 2, cyrillic, kClef + " " + cjk, "", "", std::nullopt}});
  c.push_back({"2.3 UTF-16 little-endian with a mark",
               tag(3, body23(Enc::Utf16LeBom, cyrillic, cjk + kClef)),
               {true, 3, cyrillic, cjk + kClef, "", "", std::nullopt}});
  c.push_back({"2.3 UTF-16 big-endian with a mark",
               tag(3, body23(Enc::Utf16BeBom, umlauts, cjk)),
               {true, 3, umlauts, cjk, "", "", std::nullopt}});
  c.push_back({"2.3 UTF-16 without a mark, little-endian",
               tag(3, body23(Enc::Utf16LeNoBom, cyrillic, umlauts)),
               {true, 3, cyrillic, umlauts, "", "", std::nullopt}});
  c.push_back({"2.3 UTF-16 without a mark, big-endian",
               tag(3, body23(Enc::Utf16BeNoBom, cyrillic, umlauts)),
               {true, 3, cyrillic, umlauts, "", "", std::nullopt}});
  c.push_back({"2.3 Latin-1 bytes 0x80..0x9F as Windows-1252",
               tag(3, frame(3, "TIT2", QByteArray("\0Caf\xE9 \x80 \x93Hi\x94", 12))),
               {true, 3, "", QString::fromUtf8("Café € “Hi”"), "", "", std::nullopt}});
  c.push_back({"2.4 UTF-16BE (encoding 2) with CJK and a clef",
               tag(4, textFrame(4, "TPE1", Enc::Utf16Be, cjk) +
                          textFrame(4, "TIT2", Enc::Utf16Be, kClef + umlauts)),
               {true, 4, cjk, kClef + umlauts, "", "", std::nullopt}});
  c.push_back(
      {"2.4 UTF-8 everywhere, TDRC with a date",
       tag(4, textFrame(4, "TPE1", Enc::Utf8, umlauts) +
                  textFrame(4, "TIT2", Enc::Utf8, cyrillic + " " + cjk + " " + kClef) +
                  textFrame(4, "TDRC", Enc::Utf8, "2004-05-01T10:00") +
                  textFrame(4, "TCON", Enc::Utf8, "Techno")),
       {true, 4, umlauts, cyrillic + " " + cjk + " " + kClef, "2004", "Techno", std::nullopt}});
  c.push_back({"2.4 several artists joined, several genres: the first",
               tag(4, frame(4, "TPE1", text(Enc::Utf8, QStringList{"Daft Punk", "Pharrell"})) +
                          frame(4, "TCON", text(Enc::Utf8, QStringList{"House", "Disco"}))),
               {true, 4, "Daft Punk / Pharrell", "", "", "House", std::nullopt}});
  c.push_back({"2.3 TYER, and TDRC read in a 2.3 tag too",
               tag(3, textFrame(3, "TDRC", Enc::Latin1, "circa 1999")),
               {true, 3, "", "", "1999", "", std::nullopt}});

  // Flags and layout.
  {
    // UTF-16 little-endian marks are 0xFF 0xFE: unsynchronisation changes them.
    const QByteArray body = body23(Enc::Utf16LeBom, cyrillic, kClef + "x");
    EXPECT_NE(unsynchronise(body), body);
    c.push_back({"2.3 unsynchronised",
                 tag(3, unsynchronise(body), 0x80),
                 {true, 3, cyrillic, kClef + "x", "", "", std::nullopt}});
  }
  {
    const QByteArray ext = bigEndian(6, 4) + QByteArray(6, '\0');  // flags, padding size
    c.push_back({"2.3 with an extended header",
                 tag(3, ext + body23(Enc::Latin1, "A", "T"), 0x40),
                 {true, 3, "A", "T", "", "", std::nullopt}});
  }
  {
    const QByteArray ext = synchSafe(6) + QByteArray("\x01\x00", 2);
    const QByteArray unsynced = unsynchronise(text(Enc::Utf16LeBom, cyrillic));
    c.push_back({"2.4 with an extended header, an unsynchronised frame with a data length",
                 tag(4,
                     ext + frame(4, "TPE1", unsynced, 0x03, synchSafe(quint32(unsynced.size()))) +
                         frame(4, "TIT2", text(Enc::Utf8, "Title"), 0x40, QByteArray(1, '\x07')),
                     0x40),
                 {true, 4, cyrillic, "Title", "", "", std::nullopt}});
  }
  c.push_back(
      {"2.4 with a footer",
       tag(4, body23(Enc::Latin1, "A", "T"), 0x10) + QByteArray("3DI\x04\0\x10", 6) + synchSafe(22),
       {true, 4, "A", "T", "", "", std::nullopt}});
  c.push_back({"2.3 compressed and encrypted frames skipped",
               tag(3, frame(3, "TIT2", QByteArray("\0\0\0\x10xxxxxxx", 11), 0x80) +
                          frame(3, "TCON", QByteArray("\x01zzzz", 5), 0x40) +
                          textFrame(3, "TPE1", Enc::Latin1, "Kept")),
               {true, 3, "Kept", "", "", "", std::nullopt}});
  c.push_back({"2.4 compressed and encrypted frames skipped",
               tag(4, frame(4, "TIT2", QByteArray("xxxxxxx", 7), 0x09, synchSafe(100)) +
                          frame(4, "TCON", QByteArray("\x01zzzz", 5), 0x04) +
                          textFrame(4, "TPE1", Enc::Latin1, "Kept")),
               {true, 4, "Kept", "", "", "", std::nullopt}});
  {
    // 256 bytes as a plain integer (00 00 01 00) read synch-safe is 128.
    const QByteArray longArtist = text(Enc::Latin1, QString(254, QLatin1Char('a')));
    EXPECT_EQ(longArtist.size(), 256);
    c.push_back({"2.4 frame sizes written as plain integers",
                 tag(4, QByteArray("TPE1") + bigEndian(256, 4) + QByteArray(2, '\0') + longArtist +
                            textFrame(4, "TIT2", Enc::Latin1, "After")),
                 {true, 4, QString(30, QLatin1Char('a')), "After", "", "", std::nullopt}});
  }
  c.push_back(
      {"the first of two frames of a kind counts",
       tag(3, textFrame(3, "TIT2", Enc::Latin1, "One") + textFrame(3, "TIT2", Enc::Latin1, "Two")),
       {true, 3, "", "One", "", "", std::nullopt}});
  c.push_back({"other frames and cover art stepped over",
               songTag(3, Enc::Utf16LeBom, "A", "", "", "", "", 5000) +
                   QByteArray(10, '\x55'),  // audio after the tag
               {true, 3, "A", "", "", "", std::nullopt}});

  // Widths and trimming.
  c.push_back({"texts trimmed and cut to the widths",
               tag(4, textFrame(4, "TPE1", Enc::Utf8, "  " + QString(40, 'x') + "  ") +
                          textFrame(4, "TIT2", Enc::Utf8, QString(29, 'y') + " zz") +
                          textFrame(4, "TCON", Enc::Utf8, "Drum & Bass") +
                          textFrame(4, "TDRC", Enc::Utf8, " 19991231 ")),
               {true, 4, QString(30, 'x'), QString(29, 'y'), "1999", "Drum & Bas", std::nullopt}});
  c.push_back({"never cut inside a surrogate pair or before a combining mark",
               tag(4, textFrame(4, "TPE1", Enc::Utf8, QString(29, 'a') + kClef) +
                          textFrame(4, "TIT2", Enc::Utf8,
                                    QString(29, 'b') + QString::fromUtf8("e\xCC\x81")) +
                          textFrame(4, "TCON", Enc::Utf8, QString(9, 'g') + kClef)),
               {true, 4, QString(29, 'a'), QString(29, 'b'), "", QString(9, 'g'), std::nullopt}});

  // Genres.
  auto genre = [](const char* name, const QString& value, const QString& want) {
    return Case{name,
                tag(3, textFrame(3, "TCON", Enc::Latin1, value)),
                {true, 3, "", "", "", want, std::nullopt}};
  };
  c.push_back(genre("genre \"17\"", "17", "Rock"));
  c.push_back(genre("genre \"(17)Rock\"", "(17)Rock", "Rock"));
  c.push_back(genre("genre \"(13)(17)\"", "(13)(17)", "Pop"));
  c.push_back(genre("genre \"(RX)\"", "(RX)", "Remix"));
  c.push_back(genre("genre \"(CR)\"", "(CR)", "Cover"));
  c.push_back(genre("genre \"((Live))\"", "((Live))", "(Live))"));
  c.push_back(genre("genre \"(250)Acid\" (no such number)", "(250)Acid", "Acid"));
  c.push_back(genre("genre \"Deep House\"", "Deep House", "Deep House"));
  c.push_back(genre("genre \"255\"", "255", "255"));

  // Tempos.
  auto bpm = [](const char* name, const QString& value, std::optional<int> want) {
    return Case{
        name, tag(4, textFrame(4, "TBPM", Enc::Latin1, value)), {true, 4, "", "", "", "", want}};
  };
  c.push_back(bpm("TBPM \"128\"", "128", 128));
  c.push_back(bpm("TBPM \"127.6\"", "127.6", 128));
  c.push_back(bpm("TBPM \"127,4\"", "127,4", 127));
  c.push_back(bpm("TBPM \"fast\"", "fast", std::nullopt));
  c.push_back(bpm("TBPM \"0\"", "0", std::nullopt));
  c.push_back(bpm("TBPM \"999.4\"", "999.4", 999));
  c.push_back(bpm("TBPM \"1000\"", "1000", std::nullopt));
  c.push_back(bpm("TBPM \"-120\"", "-120", std::nullopt));
  c.push_back(bpm("TBPM \"inf\"", "inf", std::nullopt));

  // Damaged tags: what can be read.
  c.push_back({"a frame running past the end of the tag",
               tag(3, textFrame(3, "TPE1", Enc::Latin1, "Whole") +
                          frame(3, "TIT2", text(Enc::Latin1, "Partial"), 0, {}, 1000)),
               {true, 3, "Whole", "Partial", "", "", std::nullopt}});
  c.push_back({"a frame of size 0 stepped over",
               tag(3, frame(3, "TPE1", {}) + textFrame(3, "TIT2", Enc::Latin1, "After")),
               {true, 3, "", "After", "", "", std::nullopt}});
  c.push_back({"a tag of 0 bytes declared as 200 MB",
               tag(4, {}, 0, 200 * 1000 * 1000),
               {true, 4, "", "", "", "", std::nullopt}});
  c.push_back({"the tag's bytes end inside a frame header",
               tag(3, textFrame(3, "TPE1", Enc::Latin1, "A") + "TIT2\0", 0, 5000),
               {true, 3, "A", "", "", "", std::nullopt}});
  c.push_back({"an extended header larger than the tag",
               tag(3, bigEndian(100000, 4) + body23(Enc::Latin1, "A", "T"), 0x40),
               {true, 3, "", "", "", "", std::nullopt}});
  c.push_back({"an unknown text encoding",
               tag(3, frame(3, "TIT2", QByteArray("\x07Title", 6))),
               {true, 3, "", "", "", "", std::nullopt}});
  c.push_back({"UTF-16 of an odd length and a lone surrogate",
               tag(3, frame(3, "TIT2",
                            QByteArray("\x01\xFF\xFE"
                                       "A\0\x3D\xD8"
                                       "B",
                                       8))),
               {true, 3, "", QString("A") + QChar(0xFFFD) + "", "", "", std::nullopt}});
  c.push_back({"a frame ID that is no ID ends the frames",
               tag(3, textFrame(3, "TPE1", Enc::Latin1, "A") + "tit2\0\0\0\x02\0\0\0T"),
               {true, 3, "A", "", "", "", std::nullopt}});
  c.push_back({"a compressed 2.2 tag",
               tag(2, frame(2, "TT2", text(Enc::Latin1, "T")), 0x40),
               {true, 2, "", "", "", "", std::nullopt}});

  // Not a tag this reader knows.
  const Expect none{false, 0, "", "", "", "", std::nullopt};
  c.push_back({"no tag", QByteArray("\xFF\xFB\x90\x00", 4) + QByteArray(100, '\0'), none});
  c.push_back({"version 2.5", tag(5, body23(Enc::Latin1, "A", "T")), none});
  c.push_back({"a size byte with its high bit", QByteArray("ID3\x03\0\0\0\0\x80\0", 10), none});
  c.push_back({"a header cut short", QByteArray("ID3\x03\0\0\0", 7), none});
  c.push_back({"nothing", QByteArray(), none});
  return c;
}

TEST(Id3v2Parse, EveryCase) {
  for (const Case& c : cases()) expectFields(parseV2(c.bytes), c.want, c.name);
}

// The same tags as files (followed by audio bytes), read through readV2.
TEST(Id3v2Read, EveryCaseAsAFile) {
  QTemporaryDir dir;
  int n = 0;
  for (const Case& c : cases()) {
    if (c.bytes.size() < 10) continue;  // the audio after it would complete the header
    const QString path = dir.filePath(QStringLiteral("%1.mp3").arg(n++));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(c.bytes + QByteArray(2000, '\x55'));
    f.close();
    expectFields(readV2(path), c.want, c.name);
  }
}

TEST(Id3v2Read, ReadsOnlyWhatTheFileHoldsOfAHugeDeclaredTag) {
  QTemporaryDir dir;
  const QString path = dir.filePath("huge.mp3");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  // 250 MB declared, 40 bytes there: no 250 MB buffer, the frames there read.
  f.write(tag(4, textFrame(4, "TIT2", Enc::Latin1, "Here"), 0, 250 * 1000 * 1000));
  f.close();
  const V2Fields got = readV2(path);
  EXPECT_TRUE(got.present);
  EXPECT_EQ(got.titel, "Here");
}

TEST(Id3v2Read, FilesThatCannotBeReadGiveNothing) {
  QTemporaryDir dir;
  EXPECT_FALSE(readV2(dir.filePath("missing.mp3")).present);
  EXPECT_FALSE(readV2(dir.path()).present);  // a folder
  QFile empty(dir.filePath("empty.mp3"));
  ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
  empty.close();
  EXPECT_FALSE(readV2(empty.fileName()).present);
}

TEST(Id3v2Overv1, V2WinsWhereNotEmptyAndV1Fills) {
  V2Fields v2;
  v2.present = true;
  v2.interpret = "V2 Artist";
  v2.genre = "Rock";
  qdl::tags::SongTexts v1{"V1 Artist", "V1 Title", "1999", "comment", std::nullopt};
  const qdl::tags::SongTexts got = qdl::tags::overV1(v2, v1);
  EXPECT_EQ(got.interpret, "V2 Artist");
  EXPECT_EQ(got.titel, "V1 Title");
  EXPECT_EQ(got.jahr, "1999");
  EXPECT_EQ(got.genre, "Rock");
  EXPECT_FALSE(got.beats);
  v2.beats = 128;
  EXPECT_EQ(qdl::tags::overV1(v2, v1).beats, 128);
}

// Tags written by TagLib into a copy of a real MP3 file: 2.3 and 2.4, each
// text encoding TagLib writes.
TEST(Id3v2Read, FilesTaggedByTagLib) {
  struct Written {
    int version;
    TagLib::String::Type encoding;
  };
  const QString artist = QString::fromUtf8("Кино ÄÖÜ 群青 ") + kClef;
  for (const Written w : {Written{3, TagLib::String::UTF16}, Written{4, TagLib::String::UTF8},
                          Written{4, TagLib::String::UTF16BE}, Written{3, TagLib::String::Latin1},
                          Written{4, TagLib::String::UTF16}}) {
    SCOPED_TRACE(testing::Message() << "v2." << w.version << " encoding " << int(w.encoding));
    QTemporaryDir dir;
    const QString path = dir.filePath("song.mp3");
    ASSERT_TRUE(QFile::copy(QStringLiteral(QDL_FIXTURE_DIR "/sine1k_44k_stereo_cbr128.mp3"), path));
    const bool latin1 = w.encoding == TagLib::String::Latin1;
    const QString a = latin1 ? QString::fromUtf8("Motörhead") : artist;
    {
      TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
      ASSERT_TRUE(file.isValid());
      TagLib::ID3v2::Tag* t = file.ID3v2Tag(true);
      auto add = [&](const char* id, const QString& value) {
        auto* f = new TagLib::ID3v2::TextIdentificationFrame(id, w.encoding);
        f->setText(TagLib::String(value.toStdString(), TagLib::String::UTF8));
        t->addFrame(f);
      };
      add("TPE1", a);
      add("TIT2", "Title");
      add(w.version == 4 ? "TDRC" : "TYER", "2001");
      add("TCON", "(17)");
      add("TBPM", "127.6");
      ASSERT_TRUE(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers,
                            w.version == 4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3));
    }
    const V2Fields got = readV2(path);
    EXPECT_TRUE(got.present);
    EXPECT_EQ(got.major, w.version);
    EXPECT_EQ(got.interpret, qdl::tags::cutToWidth(a, 30));
    EXPECT_EQ(got.titel, "Title");
    EXPECT_EQ(got.jahr, "2001");
    EXPECT_EQ(got.genre, "Rock");
    EXPECT_EQ(got.beats, 128);
  }
}

// Files lame tagged with --id3v2-only at build time.
TEST(Id3v2Read, FilesTaggedByLame) {
  expectFields(readV2(QStringLiteral(QDL_FIXTURE_DIR "/id3v2only_latin1.mp3")),
               {true, 3, QString::fromUtf8("Motörhead"), "Ace of Spades", "1980", "Rock", 128},
               "lame, Latin-1");
  expectFields(
      readV2(QStringLiteral(QDL_FIXTURE_DIR "/id3v2only_utf16.mp3")),
      {true, 3, QString::fromUtf8("Кино"), QString::fromUtf8("群青 ") + kClef, "1989", "Rock", 128},
      "lame, UTF-16");
}

TEST(Id3v2CutToWidth, KeepsCharactersWhole) {
  struct Cut {
    QString text;
    int width;
    QString want;
  };
  const Cut cuts[] = {
      {"abc", 5, "abc"},
      {"abcdef", 3, "abc"},
      {"ab" + kClef, 3, "ab"},
      {"ab" + kClef, 4, "ab" + kClef},
      {QString::fromUtf8("abe\xCC\x81"), 3, "ab"},
      {"abc", 0, ""},
  };
  for (const Cut& c : cuts)
    EXPECT_EQ(qdl::tags::cutToWidth(c.text, c.width), c.want) << qPrintable(c.text);
}

}  // namespace

TEST(Id3v2Parse, ReplayGainTrackValuesFromUserTextFrames) {
  auto txxx = [](int major, Enc enc, const QString& d, const QString& v) {
    return frame(major, major == 2 ? "TXX" : "TXXX", text(enc, QStringList{d, v}));
  };
  const struct {
    const char* name;
    QByteArray bytes;
    std::optional<double> gain, peak;
  } cases[] = {
      {"both, 2.4 UTF-8",
       tag(4,
           txxx(4, Enc::Utf8, "REPLAYGAIN_TRACK_GAIN", "-7.03 dB") +
               txxx(4, Enc::Utf8, "REPLAYGAIN_TRACK_PEAK", "1.052"),
           0),
       -7.03, 1.052},
      {"among other frames, any case, no blank before dB",
       tag(3, frame(3, "TIT2", text(Enc::Latin1, "T")) +
                  txxx(3, Enc::Latin1, "MusicBrainz Album Id", "x") +
                  txxx(3, Enc::Utf16LeBom, "ReplayGain_Track_Gain", "+3.5dB")),
       3.5, std::nullopt},
      {"the first counts",
       tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "-1 dB") +
                  txxx(3, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "-9 dB")),
       -1.0, std::nullopt},
      {"album values are not the track's",
       tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_ALBUM_GAIN", "-2 dB")), std::nullopt, std::nullopt},
      {"a comma is no decimal point",
       tag(3, txxx(3, Enc::Latin1, "REPLAYGAIN_TRACK_GAIN", "-2,5 dB")), std::nullopt,
       std::nullopt},
      {"2.2", tag(2, txxx(2, Enc::Latin1, "REPLAYGAIN_TRACK_PEAK", "0.5")), std::nullopt, 0.5},
      {"no value", tag(3, frame(3, "TXXX", text(Enc::Latin1, "REPLAYGAIN_TRACK_GAIN"))),
       std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const qdl::tags::V2Fields f = parseV2(c.bytes);
    EXPECT_EQ(f.replayGain, c.gain);
    EXPECT_EQ(f.replayPeak, c.peak);
  }
}
