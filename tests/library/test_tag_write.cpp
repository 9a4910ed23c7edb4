// The editor's write-back into songs that carry an ID3v2 tag, against real
// files and the real song table: only the frames of the changed fields are
// rewritten, every other frame and every audio byte stays, the tag keeps its
// version, and a write that fails (full disk, read-only file, a folder that
// takes no new file, a kill) leaves the song byte for byte. Each result is
// read back with TagLib.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <cstring>

#include "SongTableTest.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/tags/Id3v2.h"
#include "platform/tags/Id3v2Write.h"
#include "support/ScratchDisk.h"
#include "support/ScriptedDialogs.h"

namespace {

QByteArray bigEndian(quint32 v, int bytes) {
  QByteArray out(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i, v >>= 8) out[i] = char(v & 0xFF);
  return out;
}

QByteArray synchsafe(quint32 v) {
  QByteArray out(4, '\0');
  for (int i = 3; i >= 0; --i, v >>= 7) out[i] = char(v & 0x7F);
  return out;
}

// MPEG audio: frames of 104 bytes whose data runs through every byte value.
QByteArray audio(int size) {
  QByteArray a(size, 0);
  for (int i = 0; i < size; ++i) a[i] = char((i * 7 + 3) & 0xFF);
  for (int at = 0; at + 4 <= size; at += 104) a.replace(at, 4, QByteArray("\xFF\xFB\x10\x00", 4));
  return a;
}

QByteArray frame(int major, const QByteArray& id, const QByteArray& data, quint16 flags = 0) {
  if (major == 2) return id + bigEndian(quint32(data.size()), 3) + data;
  const QByteArray size =
      major == 3 ? bigEndian(quint32(data.size()), 4) : synchsafe(quint32(data.size()));
  return id + size + bigEndian(flags, 2) + data;
}

QByteArray utf16le(const QString& s) {
  QByteArray out("\xFF\xFE", 2);
  for (const QChar c : s) out += QByteArray(1, char(c.unicode() & 0xFF)) + char(c.unicode() >> 8);
  return out;
}

QByteArray latin1Text(int major, const QByteArray& id, const QString& s) {
  return frame(major, id, QByteArray(1, '\0') + s.toLatin1());
}
QByteArray utf16Text(int major, const QByteArray& id, const QString& s) {
  return frame(major, id, QByteArray(1, '\1') + utf16le(s));
}
QByteArray utf8Text(int major, const QByteArray& id, const QString& s) {
  return frame(major, id, QByteArray(1, '\3') + s.toUtf8());
}

QByteArray tagOf(int major, const QByteArray& body, int padding, quint8 flags = 0) {
  return QByteArray("ID3") + char(major) + '\0' + char(flags) +
         synchsafe(quint32(body.size() + padding)) + body + QByteArray(padding, '\0');
}

QByteArray v1Block(const char* title, const char* artist, const char* year, const char* comment) {
  auto field = [](const char* text, int width) {
    QByteArray f(text);
    f.resize(width, '\0');
    return f;
  };
  return "TAG" + field(title, 30) + field(artist, 30) + field("", 30) + field(year, 4) +
         field(comment, 30) + char(255);
}

struct Ids {
  QByteArray titel, interpret, jahr, genre;
};
Ids idsOf(int major) {
  if (major == 2) return {"TT2", "TP1", "TYE", "TCO"};
  return {"TIT2", "TPE1", major == 3 ? "TYER" : "TDRC", "TCON"};
}

// Frames no edit may change: cover art holding every byte value (false
// syncs among them), a comment, relative volume, ReplayGain in a user text
// frame and a frame of another program with flags of its own.
QByteArray otherFrames(int major) {
  QByteArray picture;
  for (int i = 0; i < 3000; ++i) picture += char((i * 37) ^ (i >> 3));
  picture += QByteArray("\xFF\xE0\xFF\x00\xFF", 5);
  const bool v22 = major == 2;
  QByteArray out;
  out += frame(major, v22 ? "PIC" : "APIC",
               v22 ? QByteArray("\0JPG\x03Cover\0", 11) + picture
                   : QByteArray("\0image/jpeg\0\x03\0", 14) + picture);
  out += frame(major, v22 ? "COM" : "COMM", QByteArray("\0eng\0Mixed live at the Tresor", 29));
  out += frame(major, v22 ? "RVA" : (major == 3 ? "RVAD" : "RVA2"),
               QByteArray("track\0\x01\xFD\x80\x10\x00", 11));
  out += frame(major, v22 ? "TXX" : "TXXX", QByteArray("\0replaygain_track_gain\0-6.20 dB", 31));
  out += frame(major, v22 ? "XQD" : "XQDL", QByteArray("\x00\xFF\x01\xFE private", 13),
               major == 2 ? 0 : 0x4000);
  return out;
}

// Unsynchronisation as a writer applies it to a whole tag: a zero byte after
// every 0xFF that is followed by 0xE0 or more, by zero, or by nothing.
QByteArray unsynchronised(const QByteArray& data) {
  QByteArray out;
  for (qsizetype i = 0; i < data.size(); ++i) {
    out += data[i];
    if (quint8(data[i]) != 0xFF) continue;
    if (i + 1 == data.size() || quint8(data[i + 1]) >= 0xE0 || data[i + 1] == 0) out += '\0';
  }
  return out;
}

struct Walked {
  int major = 0;
  quint8 flags = 0;
  qint64 size = 0;  // bytes the tag takes in the file
  QList<QPair<QByteArray, QByteArray>> frames;
};

// The frames of the tag a file starts with, read without the writer's code.
Walked walk(const QByteArray& file) {
  Walked w;
  if (!file.startsWith("ID3")) return w;
  w.major = file[3];
  w.flags = quint8(file[5]);
  qint64 body = 0;
  for (int i = 6; i < 10; ++i) body = (body << 7) | (quint8(file[i]) & 0x7F);
  w.size = 10 + body + ((w.major == 4 && (w.flags & 0x10)) ? 10 : 0);
  QByteArray area = file.mid(10, body);
  if (w.major < 4 && (w.flags & 0x80)) area.replace(QByteArray("\xFF\x00", 2), "\xFF");
  if (w.flags & 0x40) {
    qint64 ext = 0;
    for (int i = 0; i < 4; ++i) ext = (ext << (w.major == 3 ? 8 : 7)) | quint8(area[i]);
    area = area.mid(w.major == 3 ? ext + 4 : ext);
  }
  const int header = w.major == 2 ? 6 : 10;
  qint64 at = 0;
  while (at + header <= area.size() && area[at] != 0) {
    qint64 size = 0;
    for (int i = (w.major == 2 ? 3 : 4); i < (w.major == 2 ? 6 : 8); ++i)
      size = (size << (w.major == 4 ? 7 : 8)) | quint8(area[at + i]);
    w.frames.append({area.mid(at, w.major == 2 ? 3 : 4), area.mid(at, header + size)});
    at += header + size;
  }
  return w;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
  return f.readAll();
}

void writeFile(const QString& path, const QByteArray& content) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  ASSERT_EQ(f.write(content), content.size());
}

ino_t inodeOf(const QString& path) {
  struct stat st;
  EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  return st.st_ino;
}

QStringList partFiles(const QString& folder) {
  return QDir(folder).entryList({"*.part"}, QDir::Files | QDir::Hidden);
}

QString fromTagLib(const TagLib::String& s) { return QString::fromStdWString(s.toWString()); }

class TagWriteTest : public SongTableTest {
 protected:
  void SetUp() override {
    SongTableTest::SetUp();
    dm.Table1->setIndexName("iDateiName");
  }
  QString music(const QString& name) { return dir.path() + "/music/" + name; }

  // The song's record as a scan makes it from its tags, made current.
  void addScanned(const QString& path) {
    dm.editorVisible = [] { return false; };  // a scan writes no tag
    dm.AddSongFile(path);
    dm.Table1->findNearest(path);
    ASSERT_EQ(dm.Table1->asString("Dateiname"), path);
  }
  // The user's edit in the editor: one field changed and posted.
  void edit(const char* field, const QVariant& value) {
    dm.editorVisible = [] { return true; };
    dm.Table1->edit();
    dm.Table1->setFieldValue(field, value);
    dm.Table1->post();
  }
  QString notWritten(const QString& path, int error) {
    return sprache.Bibliothek.sTagNichtGeschrieben.arg(
        path, QString::fromLocal8Bit(std::strerror(error)));
  }
};

// ---- edits that succeed --------------------------------------------------

struct EditCase {
  const char* name;
  int major;
  QByteArray texts;  // the text frames before the edit
  int padding;
  quint8 flags;        // tag flags (unsynchronisation, extended header, footer)
  QByteArray between;  // an extended header
  bool v1;             // the song ends with an ID3v1 block
  const char* field;
  QString value;
  bool grows;              // the edit needs a new file
  QByteArray editedFrame;  // the frame the edit leaves (empty: none is left)
};

QByteArray fieldId(int major, const char* field) {
  const Ids ids = idsOf(major);
  const QByteArray f(field);
  if (f == "Titel") return ids.titel;
  if (f == "Interpret") return ids.interpret;
  if (f == "Jahr") return ids.jahr;
  return ids.genre;
}

// A tag of `major` with the usual texts, the given padding and the frames
// no edit may change.
QByteArray usualTexts(int major) {
  const Ids ids = idsOf(major);
  return latin1Text(major, ids.titel, "Blue Monday") +
         latin1Text(major, ids.interpret, "New Order") + latin1Text(major, ids.jahr, "1983") +
         latin1Text(major, ids.genre, "(17)");
}

TEST_F(TagWriteTest, EditsRewriteOnlyTheChangedFieldsFrames) {
  const QString forty = "A Title Of Forty Characters, Not Thirty";  // 39 + 1
  const QString fortyTitle = forty + "!";
  const QByteArray fullExt3 = QByteArray("\0\0\0\x06\0\0\0\0\0\0", 10);  // 2.3: size 6, padding 0
  const QByteArray ext4 = QByteArray("\0\0\0\x06\x01\0", 6);             // 2.4: size 6, no flags
  const EditCase cases[] = {
      {"2.3 title in place",
       3,
       usualTexts(3),
       512,
       0,
       {},
       true,
       "Titel",
       "Ceremony",
       false,
       latin1Text(3, "TIT2", "Ceremony")},
      {"2.4 artist in place keeps UTF-8",
       4,
       utf8Text(4, "TPE1", QString::fromUtf8("Die Ärzte")) + latin1Text(4, "TIT2", "Junge"),
       300,
       0,
       {},
       true,
       "Interpret",
       QString::fromUtf8("Die Ärzte & Bela B."),
       false,
       utf8Text(4, "TPE1", QString::fromUtf8("Die Ärzte & Bela B."))},
      {"2.2 year in place",
       2,
       usualTexts(2),
       200,
       0,
       {},
       true,
       "Jahr",
       "2001",
       false,
       latin1Text(2, "TYE", "2001")},
      {"2.3 genre grows",
       3,
       usualTexts(3),
       0,
       0,
       {},
       true,
       "Genre",
       "Techno",
       true,
       latin1Text(3, "TCON", "Techno")},
      {"2.4 title grows, no v1 block",
       4,
       usualTexts(4),
       0,
       0,
       {},
       false,
       "Titel",
       "Bizarre Love Triangle",
       true,
       latin1Text(4, "TIT2", "Bizarre Love Triangle")},
      {"2.2 artist grows",
       2,
       usualTexts(2),
       0,
       0,
       {},
       true,
       "Interpret",
       "Electronic",
       true,
       latin1Text(2, "TP1", "Electronic")},
      {"2.3 Latin-1 frame takes Cyrillic as UTF-16",
       3,
       usualTexts(3),
       400,
       0,
       {},
       true,
       "Interpret",
       QString::fromUtf8("Кино"),
       false,
       utf16Text(3, "TPE1", QString::fromUtf8("Кино"))},
      {"2.4 Latin-1 frame takes CJK as UTF-8",
       4,
       usualTexts(4),
       400,
       0,
       {},
       true,
       "Titel",
       QString::fromUtf8("東京 \U0001F3B5"),
       false,
       utf8Text(4, "TIT2", QString::fromUtf8("東京 \U0001F3B5"))},
      {"2.3 UTF-16 frame stays UTF-16",
       3,
       utf16Text(3, "TIT2", "Atmosphere") + latin1Text(3, "TPE1", "Joy Division"),
       400,
       0,
       {},
       true,
       "Titel",
       "Transmission",
       false,
       utf16Text(3, "TIT2", "Transmission")},
      {"2.4 emptied genre removes TCON",
       4,
       usualTexts(4),
       100,
       0,
       {},
       true,
       "Genre",
       "",
       false,
       {}},
      {"2.3 year added",
       3,
       latin1Text(3, "TIT2", "Title"),
       100,
       0,
       {},
       true,
       "Jahr",
       "1984",
       false,
       latin1Text(3, "TYER", "1984")},
      {"2.3 artist edit keeps a 40-character title",
       3,
       utf16Text(3, "TIT2", fortyTitle) + latin1Text(3, "TPE1", "Someone"),
       100,
       0,
       {},
       true,
       "Interpret",
       "Someone Else",
       false,
       latin1Text(3, "TPE1", "Someone Else")},
      {"2.3 second title frame goes",
       3,
       latin1Text(3, "TIT2", "One") + latin1Text(3, "TIT2", "Two") + latin1Text(3, "TPE1", "A"),
       100,
       0,
       {},
       true,
       "Titel",
       "Three",
       false,
       latin1Text(3, "TIT2", "Three")},
      {"2.3 unsynchronised tag written without it",
       3,
       usualTexts(3),
       200,
       0x80,
       {},
       true,
       "Titel",
       QString::fromUtf8("Größe"),
       false,
       latin1Text(3, "TIT2", QString::fromUtf8("Größe"))},
      {"2.3 extended header left out", 3, usualTexts(3), 64, 0x40, fullExt3, true, "Titel", "Neu",
       false, latin1Text(3, "TIT2", "Neu")},
      {"2.4 extended header and footer left out", 4, usualTexts(4), 0, 0x40 | 0x10, ext4, true,
       "Titel", "Blue Mondax", false, latin1Text(4, "TIT2", "Blue Mondax")},
  };
  int n = 0;
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.boxes.clear();
    const QByteArray frames = c.texts + otherFrames(c.major);
    QByteArray body = c.between + frames + QByteArray(c.padding, '\0');
    if (c.flags & 0x80) body = unsynchronised(body);
    QByteArray tag = tagOf(c.major, body, 0, c.flags);
    if (c.flags & 0x10) tag += "3DI" + tag.mid(3, 7);
    const QByteArray sound = audio(20000);
    const QByteArray block = c.v1 ? v1Block("Blue Monday", "New Order", "1983", "Live") : "";
    const QString path = music(QString("song%1.mp3").arg(n++));
    writeFile(path, tag + sound + block);
    const Walked before = walk(tag);
    ASSERT_EQ(before.size, tag.size());
    const ino_t inode = inodeOf(path);
    addScanned(path);
    edit(c.field, c.value);
    EXPECT_TRUE(dialogs.boxes.empty());

    const QByteArray now = readAll(path);
    const Walked after = walk(now);
    EXPECT_EQ(after.major, c.major);
    EXPECT_EQ(after.flags & (0x80 | 0x40 | 0x10), 0);
    EXPECT_EQ(inodeOf(path) != inode, c.grows);
    if (c.grows) {
      EXPECT_GT(after.size, before.size);
    } else {
      EXPECT_EQ(after.size, before.size);
    }
    // The audio bytes, then the ID3v1 block with the record's texts.
    ASSERT_EQ(now.size(), after.size + sound.size() + 128);
    EXPECT_TRUE(now.mid(after.size, sound.size()) == sound);
    const QByteArray v1 = now.right(128);
    EXPECT_TRUE(v1.startsWith("TAG"));
    const QByteArray title = qdl::id3::toWindows1252(dm.Table1->asString("Titel")).left(30);
    EXPECT_EQ(v1.mid(3, 30), title + QByteArray(30 - title.size(), '\0'));
    EXPECT_TRUE(partFiles(dir.path() + "/music").isEmpty());

    // Every frame of another field or kind stays byte for byte, in order.
    const QByteArray edited = fieldId(c.major, c.field);
    QList<QByteArray> kept, left;
    for (const auto& f : before.frames)
      if (f.first != edited) kept.append(f.second);
    QByteArray editedNow;
    for (const auto& f : after.frames) {
      if (f.first != edited) {
        left.append(f.second);
      } else {
        EXPECT_TRUE(editedNow.isEmpty()) << "one frame per edited field";
        editedNow = f.second;
      }
    }
    EXPECT_EQ(left, kept);
    EXPECT_EQ(editedNow, c.editedFrame);

    // The tag is valid: the reader of the library and TagLib see the edit.
    const qdl::tags::V2Fields read = qdl::tags::readV2(path);
    EXPECT_TRUE(read.present);
    const QString expected = c.value.left(30);
    const QByteArray f(c.field);
    const QString got = f == "Titel"       ? read.titel
                        : f == "Interpret" ? read.interpret
                        : f == "Jahr"      ? read.jahr
                                           : read.genre;
    EXPECT_EQ(got, expected);
    TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
    ASSERT_TRUE(file.isValid());
    ASSERT_TRUE(file.hasID3v2Tag());
    TagLib::ID3v2::Tag* t = file.ID3v2Tag();
    EXPECT_EQ(int(t->header()->majorVersion()), c.major);
    const QString seen = f == "Titel"       ? fromTagLib(t->title())
                         : f == "Interpret" ? fromTagLib(t->artist())
                         : f == "Jahr"      ? QString::number(t->year())
                                            : fromTagLib(t->genre());
    if (f != "Genre") {
      EXPECT_EQ(seen, c.value);
    }
    EXPECT_EQ(t->frameList(c.major == 2 ? "APIC" : "APIC").size(), 1u);
  }
}

TEST_F(TagWriteTest, AnArtistEditNeverShortensALongTitle) {
  const QString title = QString::fromUtf8("Ein Titel mit viel mehr als dreißig Zeichen \U0001F3B6");
  const QByteArray tag =
      tagOf(4, utf8Text(4, "TIT2", title) + latin1Text(4, "TPE1", "Alt") + otherFrames(4), 200);
  const QString path = music("long.mp3");
  writeFile(path, tag + audio(5000));
  addScanned(path);
  EXPECT_EQ(dm.Table1->asString("Titel"), title.left(30));
  edit("Interpret", "Neu");
  TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
  ASSERT_TRUE(file.hasID3v2Tag());
  EXPECT_EQ(fromTagLib(file.ID3v2Tag()->title()), title);
  EXPECT_EQ(fromTagLib(file.ID3v2Tag()->artist()), "Neu");
  // Posting again without a change writes no frame.
  const QByteArray now = readAll(path);
  edit("Beats", 128);
  EXPECT_EQ(readAll(path), now);
}

// A library scanned before v2 tags were read holds the file's name as the
// artist and an empty title: an edit of the title writes the title only,
// and the tag's artist stays.
TEST_F(TagWriteTest, AFieldTheUserLeftAloneIsNeverWrittenIntoTheV2Tag) {
  const QString path = music("c.mp3");
  writeFile(path,
            tagOf(3, latin1Text(3, "TPE1", "Real Artist") + otherFrames(3), 200) + audio(5000));
  addScanned(path);
  dm.Table1->edit();  // what the older build stored
  dm.Table1->setFieldValue("Interpret", "c");
  dm.Table1->setFieldValue("Titel", "");
  dm.Table1->post();
  edit("Titel", "New Title");
  TagLib::MPEG::File file(QFile::encodeName(path).constData(), false);
  ASSERT_TRUE(file.hasID3v2Tag());
  EXPECT_EQ(fromTagLib(file.ID3v2Tag()->title()), "New Title");
  EXPECT_EQ(fromTagLib(file.ID3v2Tag()->artist()), "Real Artist");
}

// ---- what is changed, and what is not --------------------------------------

TEST(ChangedFields, OnlyWhatDiffersFromTheFilesOwnTexts) {
  qdl::tags::V2Fields v2;
  v2.present = true;
  v2.titel = "Thirty Characters Of The Title";  // the cut of a longer title
  v2.interpret = "Artist";
  v2.genre = "Rock";
  const qdl::tags::RecordTexts v1{"v1 title", "v1 artist", "1999", "Live"};
  struct Case {
    const char* name;
    qdl::tags::RecordTexts record;
    std::optional<QString> titel, interpret, jahr, genre;
  };
  const Case cases[] = {
      {"as scanned", {v2.titel, "Artist", "1999", "Rock"}, {}, {}, {}, {}},
      {"blanks around do not count", {v2.titel + " ", " Artist", "1999 ", "Rock"}, {}, {}, {}, {}},
      {"artist changed", {v2.titel, "Other", "1999", "Rock"}, {}, "Other", {}, {}},
      {"year from v1 changed", {v2.titel, "Artist", "2000", "Rock"}, {}, {}, "2000", {}},
      {"genre emptied", {v2.titel, "Artist", "1999", ""}, {}, {}, {}, ""},
      {"all changed", {"T", "I", "J", "G"}, "T", "I", "J", "G"},
  };
  for (const Case& c : cases) {
    const qdl::tags::TextEdits e = qdl::tags::changedFields(v2, v1, c.record);
    EXPECT_EQ(e.titel, c.titel) << c.name;
    EXPECT_EQ(e.interpret, c.interpret) << c.name;
    EXPECT_EQ(e.jahr, c.jahr) << c.name;
    EXPECT_EQ(e.genre, c.genre) << c.name;
  }
}

// ---- the tag's bytes ------------------------------------------------------

// 2.4 frames whose sizes are plain integers, as old iTunes wrote them.
QByteArray plainFrame4(const QByteArray& id, const QByteArray& data) {
  return id + bigEndian(quint32(data.size()), 4) + QByteArray(2, '\0') + data;
}

TEST(RenderEdited, FramesOfTheFieldOnlyInEveryFormOfTag) {
  using qdl::tags::RenderStatus;
  const QByteArray cover = QByteArray("\0image/png\0\x03\0", 13) + QByteArray(300, '\xFF');
  qdl::tags::TextEdits year;
  year.jahr = "1984";
  qdl::tags::TextEdits title;
  title.titel = "New";
  qdl::tags::TextEdits noGenre;
  noGenre.genre = "";
  struct Case {
    const char* name;
    QByteArray tag;
    qdl::tags::TextEdits edits;
    RenderStatus status;
    QByteArray frames;  // the frames of the result (empty: no result)
    int size;           // of the result (0: as the old tag)
  };
  const QByteArray zero = frame(3, "XZRO", {});
  const Case cases[] = {
      {"2.4 year replaces TDRC and drops TYER",
       tagOf(4, latin1Text(4, "TYER", "1999") + latin1Text(4, "TDRC", "1999-05-01"), 40), year,
       RenderStatus::Fits, latin1Text(4, "TDRC", "1984"), 0},
      {"2.3 year replaces TYER and drops TDRC",
       tagOf(3, latin1Text(3, "TDRC", "2001") + latin1Text(3, "TYER", "2001"), 40), year,
       RenderStatus::Fits, latin1Text(3, "TYER", "1984"), 0},
      {"2.4 with plain frame sizes keeps them",
       tagOf(4, plainFrame4("APIC", cover) + plainFrame4("TIT2", QByteArray("\0Old", 4)), 20),
       title, RenderStatus::Fits,
       plainFrame4("APIC", cover) + plainFrame4("TIT2", QByteArray("\0New", 4)), 0},
      {"an empty frame of another program stays", tagOf(3, zero + latin1Text(3, "TIT2", "Old"), 0),
       title, RenderStatus::Fits, zero + latin1Text(3, "TIT2", "New"), 0},
      {"a growing tag gets room for later edits", tagOf(3, latin1Text(3, "TIT2", "Ol"), 0), title,
       RenderStatus::Grows, latin1Text(3, "TIT2", "New"), 10 + 14 + 2048},
      {"removing what is not there changes nothing",
       tagOf(3, latin1Text(3, "TIT2", "Old"), 10),
       noGenre,
       RenderStatus::Unchanged,
       {},
       0},
      {"no edits change nothing",
       tagOf(2, latin1Text(2, "TT2", "Old"), 10),
       {},
       RenderStatus::Unchanged,
       {},
       0},
      {"no tag", audio(300), title, RenderStatus::NoTag, {}, 0},
      {"a compressed 2.2 tag",
       tagOf(2, latin1Text(2, "TT2", "Old"), 10, 0x40),
       title,
       RenderStatus::Unsupported,
       {},
       0},
      {"a tag longer than the bytes",
       tagOf(3, latin1Text(3, "TIT2", "Old"), 10).left(20),
       title,
       RenderStatus::Unsupported,
       {},
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const qdl::tags::RenderedTag r = qdl::tags::renderEdited(c.tag, c.edits);
    EXPECT_EQ(r.status, c.status);
    if (c.frames.isEmpty()) {
      EXPECT_TRUE(r.tag.isEmpty());
      continue;
    }
    EXPECT_EQ(r.tag.size(), c.size ? c.size : c.tag.size());
    EXPECT_EQ(r.tag.left(5), c.tag.left(5));  // "ID3", version and revision
    EXPECT_EQ(r.tag.mid(10, c.frames.size()), c.frames);
    EXPECT_EQ(r.tag.mid(10 + c.frames.size()), QByteArray(r.tag.size() - 10 - c.frames.size(), 0));
  }
}

// ---- tags that are not rewritten -------------------------------------------

TEST_F(TagWriteTest, ATagThatCannotBeRewrittenSafelyStaysAndTheUserIsTold) {
  const QByteArray texts = usualTexts(4) + otherFrames(4);
  QByteArray pastTheEnd = tagOf(3, usualTexts(3) + otherFrames(3), 100);
  pastTheEnd.replace(10 + 4, 4, bigEndian(100000, 4));  // the first frame runs past the tag
  struct Case {
    const char* name;
    QByteArray tag;
  };
  const Case cases[] = {
      {"2.4 with tag-level unsynchronisation", tagOf(4, unsynchronised(texts), 100, 0x80)},
      {"a frame larger than the tag", pastTheEnd},
      {"version 2.5", tagOf(5, texts, 100)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dialogs.boxes.clear();
    const QByteArray sound = audio(8000);
    const QString path = music(QString("kept%1.mp3").arg(n++));
    writeFile(path, c.tag + sound);
    addScanned(path);
    edit("Titel", "Changed");
    const QByteArray now = readAll(path);
    // The v2 tag and the audio as they were; the ID3v1 block appended.
    ASSERT_EQ(now.size(), c.tag.size() + sound.size() + 128);
    EXPECT_TRUE(now.left(c.tag.size() + sound.size()) == c.tag + sound);
    EXPECT_EQ(now.mid(now.size() - 125, 7), "Changed");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, sprache.Bibliothek.sId3v2Belassen.arg(path));
  }
}

// ---- failures ------------------------------------------------------------

TEST_F(TagWriteTest, AReadOnlySongAsksAndStaysWhenTheAnswerIsNo) {
  struct Case {
    const char* name;
    int padding;  // 0: the edit needs a new file
  };
  const Case cases[] = {{"in place", 500}, {"new file", 0}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QByteArray content = tagOf(3, usualTexts(3) + otherFrames(3), c.padding) + audio(6000) +
                               v1Block("a", "b", "", "");
    const QString path = music(QString("ro%1.mp3").arg(n++));
    writeFile(path, content);
    ::chmod(QFile::encodeName(path).constData(), 0444);
    addScanned(path);
    dialogs.boxes.clear();
    dialogs.answers = {qdl::ui::Answer::No};
    edit("Titel", "No");
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, sprache.Meldung.sSchreibgeschuetzt);
    EXPECT_TRUE(readAll(path) == content);

    dialogs.answers = {qdl::ui::Answer::Yes};
    edit("Titel", "Yes");
    EXPECT_EQ(dialogs.boxes.size(), 2u);
    EXPECT_EQ(qdl::tags::readV2(path).titel, "Yes");
    struct stat st;
    ::stat(QFile::encodeName(path).constData(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // made writable for its owner, as for v1
  }
}

TEST_F(TagWriteTest, AFullDiskLeavesTheSongByteForByte) {
  qdl::test::ScratchDisk disk(1024);
  QTemporaryDir plain;
  const QString folder = disk.isMounted() ? disk.path() : plain.path();
  struct Case {
    const char* name;
    int padding;
    bool v1;
  };
  // A new file that finds no room, and a block that cannot be appended to a
  // tag that fits.
  const Case cases[] = {{"new file", 0, true}, {"appended block", 800, false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Tag and audio end at a page boundary: an append needs a new page.
    const QByteArray tag = tagOf(4, usualTexts(4) + otherFrames(4), c.padding);
    const int audioSize = int((tag.size() + 200000) / 4096 + 1) * 4096 - int(tag.size());
    const QByteArray content = tag + audio(audioSize) + (c.v1 ? v1Block("a", "b", "", "") : "");
    const QString path = folder + QString("/full%1.mp3").arg(n++);
    writeFile(path, content);
    addScanned(path);
    dialogs.boxes.clear();
    const int error = disk.isMounted() ? ENOSPC : EFBIG;
    if (disk.isMounted()) {
      disk.fill();
      edit("Titel", "Too Much For The Room");
    } else {
      // A file size limit stands in for the full disk.
      qdl::test::withFileSizeLimit(content.size() + 10,
                                   [&] { edit("Titel", "Too Much For The Room"); });
    }
    EXPECT_TRUE(readAll(path) == content);
    EXPECT_TRUE(partFiles(folder).isEmpty());
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    EXPECT_EQ(dialogs.boxes[0].text, notWritten(path, error));
    disk.unfill();
    // With room again the same edit goes through.
    dialogs.boxes.clear();
    edit("Titel", "Fits Now");
    EXPECT_TRUE(dialogs.boxes.empty());
    EXPECT_EQ(qdl::tags::readV2(path).titel, "Fits Now");
  }
}

TEST_F(TagWriteTest, AFolderThatTakesNoNewFileLeavesTheSongByteForByte) {
  // As root, permissions do not stop a new file: a disk with no free inode
  // does (the song on it can still be written in place).
  qdl::test::ScratchDisk disk(1024, "nr_inodes=2");
  QTemporaryDir plain;
  const bool root = ::geteuid() == 0;
  if (root && !disk.isMounted()) GTEST_SKIP() << "no disk of our own can be mounted here";
  const QString folder = root ? disk.path() : plain.path();
  const QByteArray content =
      tagOf(3, usualTexts(3) + otherFrames(3), 0) + audio(9000) + v1Block("a", "b", "", "");
  const QString path = folder + "/song.mp3";
  writeFile(path, content);
  if (!root) ::chmod(QFile::encodeName(folder).constData(), 0555);
  addScanned(path);
  edit("Interpret", "Nobody Who Fits In There");
  if (!root) ::chmod(QFile::encodeName(folder).constData(), 0755);
  EXPECT_TRUE(readAll(path) == content);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, notWritten(path, root ? ENOSPC : EACCES));
  EXPECT_TRUE(partFiles(folder).isEmpty());
}

TEST_F(TagWriteTest, AKillWhileTheNewFileIsWrittenLeavesTheSongByteForByte) {
  const QByteArray content =
      tagOf(3, usualTexts(3) + otherFrames(3), 0) + audio(300000) + v1Block("a", "b", "", "");
  const QString path = music("killed.mp3");
  writeFile(path, content);
  // The child is killed (SIGXFSZ) when the new file passes a size limit,
  // half way through the audio.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct rlimit limit;
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(content.size() / 2);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::signal(SIGXFSZ, SIG_DFL);
    qdl::tags::V1Block v1;
    v1.texts = [](const QByteArray&) { return qdl::tags::RecordTexts{}; };
    v1.updated = [](const QByteArray& old) { return old.isEmpty() ? QByteArray(128, 'T') : old; };
    qdl::tags::writeTags(path, {"Killed While Written", "New Order", "1983", "Rock"}, v1);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGXFSZ);
  EXPECT_TRUE(readAll(path) == content);
  // The half-written file is left under its temporary name only.
  const QStringList parts = partFiles(dir.path() + "/music");
  ASSERT_EQ(parts.size(), 1);
  EXPECT_TRUE(parts[0].startsWith(".killed.mp3."));
}

TEST_F(TagWriteTest, ALinkIsWrittenThroughAndTheNewFileKeepsThePermissions) {
  const QByteArray content = tagOf(3, usualTexts(3) + otherFrames(3), 0) + audio(7000);
  const QString real = music("real.mp3");
  writeFile(real, content);
  ::chmod(QFile::encodeName(real).constData(), 0640);
  const QString link = music("link.mp3");
  ASSERT_TRUE(QFile::link(real, link));
  addScanned(link);
  edit("Titel", "Through The Link");
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_TRUE(QFileInfo(link).isSymLink());
  EXPECT_EQ(qdl::tags::readV2(real).titel, "Through The Link");
  struct stat st;
  ::stat(QFile::encodeName(real).constData(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_TRUE(partFiles(dir.path() + "/music").isEmpty());
}

}  // namespace
