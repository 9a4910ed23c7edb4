#pragma once
// The data module: the song table `Table1` shared by the whole program, the
// model `DataSource1` that grids and the report bind to, the definition of
// the empty table, new records made from MP3 files, and the write-back of a
// posted record into its file's ID3v1 tag and, where the file has one, its
// ID3v2 tag (writeTags).
//
// Song records (table "data.db" in <BaseDir>/Data), fields in this order:
// Index (auto-increment), Interpret (30), Titel (30), Beats (16-bit), Genre
// (10), Jahr (4), DateiName (full path, never cut), Equalizer, StartZeit
// (cue point in hundredths of a second), EndZeit (32-bit), Analyse
// (boolean: whether Beats is the tempo analysis's, see Table1BeforePost).
// Indexes: primary on Index; iDateiname, iGenre, iInterpret, iJahr, iTitel,
// all ordered without regard to case. iDateiname is unique letter for
// letter: on Linux "Song.mp3" and "song.mp3" are two files.
//
// ID3v1 texts are Windows-1252 bytes in the file and Unicode in the table.
// Everything runs on the user-interface thread.

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/db/Table.h"
#include "platform/fs/FileKind.h"
#include "platform/tags/Id3v2.h"
#include "platform/tags/Id3v2Write.h"

namespace qdl::db {
class TableModel;
}  // namespace qdl::db

// The ID3v1 block: the last 128 bytes of an MP3 file. Full text fields carry
// no terminator; shorter texts are followed by zero bytes.
struct TId3Tag {
  char magic[3];  // "TAG"
  char title[30];
  char artist[30];
  char album[30];
  char year[4];
  char comment[30];
  unsigned char genre;  // genre number
};
static_assert(sizeof(TId3Tag) == 128, "the ID3v1 block is 128 bytes");

namespace qdl::id3 {

// Windows-1252 bytes up to the first zero byte, at most maxBytes, as Unicode.
QString fromWindows1252(const char* bytes, int maxBytes);
// Unicode as Windows-1252 bytes; characters it cannot hold become "?".
QByteArray toWindows1252(const QString& text);

// The last 128 bytes of the file, or an all-zero block when the file cannot
// be read or is shorter than 128 bytes.
TId3Tag readBlock(const QString& path);
bool hasTag(const TId3Tag& block);

// A block filled from a record: title, artist, year and comment texts cut to
// their fields and padded with zero bytes, album zero, genre number 255.
TId3Tag blockFromRecord(const QString& titel, const QString& interpret, const QString& jahr,
                        const QString& genre);

// The texts a record holds for the tag.
struct TagTexts {
  QString titel, interpret, jahr, genre;
};

// The file's tag `old` with the record's texts written over it: title,
// artist and year replaced; the comment replaced by the genre text unless
// that is still what the comment begins with (the record holds only its
// first 10 characters); album, the ID3v1.1 track number and the genre byte
// kept. Without an old tag: blockFromRecord.
TId3Tag updatedBlock(const TId3Tag& old, const TagTexts& texts);

// Whether the bytes at the start of a file are MPEG audio (first 64 KiB).
using qdl::fs::looksLikeMpegAudio;
constexpr int kMpegProbeBytes = 64 * 1024;
// looksLikeMpegAudio of a regular file's first bytes; false for anything
// that cannot be read or is no regular file.
bool isMpegAudioFile(const QString& path);

enum class WriteResult { Replaced, Appended, Failed, NotMpeg };

// Writes the block as the file's tag: over the last 128 bytes when they hold
// a tag, else appended. Only a regular file that is MPEG audio is written
// (NotMpeg for others). Nothing else of the file is touched; an append that
// fails (disk full, quota) cuts the file back to its former size, and a
// failed replacement puts the old block back. On Failed, `error` (when
// given) receives the errno of the step that failed.
WriteResult writeBlock(const QString& path, TId3Tag block, int* error = nullptr);
// The same with updatedBlock of the file's own tag, read under the same
// open file.
WriteResult writeTag(const QString& path, const TagTexts& texts, int* error = nullptr);
// The editor's write-back: a file that starts with an ID3v2 tag gets the
// fields the record changed in that tag and the block of writeTag, both in
// one step that leaves the file byte for byte as it was when it fails. A
// file without an ID3v2 tag, or whose v2 tag already holds the record's
// texts, gets writeTag alone; so does a file whose v2 tag needs a change
// that cannot be made safely (a damaged tag, a form the writer does not
// rewrite): that tag stays byte for byte and `v2Kept` (when given) is set.
// Only the fields in `edited` are written into the v2 tag.
WriteResult writeTags(const QString& path, const TagTexts& texts, int* error = nullptr,
                      bool* v2Kept = nullptr, const qdl::tags::EditedFields& edited = {});

}  // namespace qdl::id3

namespace qdl::library {

// What opening the song library does when its folder holds none.
enum class MissingLibrary {
  Create,  // make the folder Data and an empty library in it
  Refuse,  // throw a DbError that names the missing file
};

// The order a song library opens in: an index by name ("iDateiname") or,
// when that is empty, the fields of an index ("Interpret"); with neither,
// the table's own order.
struct SongOrder {
  QString indexName;
  QString fieldNames;
};

}  // namespace qdl::library

class TDataModule1 : public QObject {
  Q_OBJECT

 public:
  explicit TDataModule1(QObject* parent = nullptr);
  ~TDataModule1() override;

  // The song table (owned). Its after-post callback is Table1AfterPost.
  qdl::db::Table* Table1;
  // Model with every field of the table, in field order. A grid that shows
  // other columns makes its own model with createGridModel; all models follow
  // the one cursor of Table1.
  qdl::db::TableModel* DataSource1;
  qdl::db::TableModel* createGridModel(const QStringList& columns, QObject* parent) const;

  // Whether the record/tag editor window is visible; set by the program.
  // While it returns false, posts never touch any file.
  std::function<bool()> editorVisible = [] { return false; };

  // Creates the empty song table at Table1's location, orders it by
  // "Interpret" and opens it. With Replace a song table there is replaced
  // (never a foreign file); with KeepExisting a file there (made by another
  // start meanwhile) is left alone and nothing is opened. Returns whether a
  // table was created.
  bool CreateSongTable(qdl::db::CreateMode mode = qdl::db::CreateMode::Replace);

  // Points Table1 at the song library of the folder `baseDir` (data.db in
  // its folder Data) and opens it in `order`: the one way the console and
  // every command open it. With Create a missing folder Data is made and a
  // missing library is created empty (one that another start made meanwhile
  // is opened like any other); `created` then runs before the table is
  // ordered and opened (the console offers its scan there). With Refuse a
  // missing library is a DbError ("there is no song library here (PATH is
  // missing); ..."). A folder that cannot be made, and a library that cannot be
  // opened (in use, damaged), throw DbError. Returns whether the library
  // was created now.
  bool OpenSongTable(const QString& baseDir, qdl::library::MissingLibrary missing,
                     const qdl::library::SongOrder& order,
                     const std::function<void()>& created = {});

  // What a file's tags give its record: the ID3v2 tag's fields over the
  // ID3v1 tag's texts (qdl::tags::overV1; the v1 comment stands for Genre).
  // `hasV1` (when given) says whether the file has an ID3v1 tag; `v2`
  // (when given) takes the ID3v2 tag's fields as read.
  static qdl::tags::SongTexts songTags(const QString& path, bool* hasV1 = nullptr,
                                       qdl::tags::V2Fields* v2 = nullptr);

  // Inserts a record made from the file's tags (songTags); a file without
  // an ID3v1 tag whose ID3v2 tag (if any) names neither artist nor title
  // gets its file name, without the extension, as Interpret. A Beats from the tag's TBPM counts as
  // typed (Analyse false). A file already in the table is skipped silently; any other storage
  // failure goes to the caller. A ReplayGain track gain in the ID3v2 tag
  // is kept as the song's loudness until it is measured
  // (library::storeReplayGain); so it is by RetagCurrent.
  void AddSongFile(const QString& path);
  void keepReplayGain(qint64 key, const qdl::tags::V2Fields& v2);

  // Reads the tags of the current record's file again (songTags) into the
  // record and posts it when that changed a field: each of Interpret,
  // Titel, Jahr and Genre the tags hold replaces the record's; a TBPM
  // replaces a Beats the tempo analysis set or an empty one (Analyse becomes
  // false), never one the user typed. StartZeit, the other fields and a
  // field the tags leave empty stay as they are. Returns whether the record
  // changed. Throws DbError like Table::post.
  bool RetagCurrent();

  // Writes the current record's Titel, Interpret, Jahr and Genre into the tag
  // of the file named by DateiName (see qdl::id3::writeTag), while the editor
  // is visible. Asks before writing to a read-only file. A file that is gone,
  // is no MP3 file or cannot be written (full disk, read-only medium, a
  // permission that cannot be changed, a folder in its place) is reported
  // with its name and the reason and left byte for byte as it was; the
  // record stays posted either way.
  void Table1AfterPost();

  // What the tempo analysis measured of the song with this Index: its exact
  // tempo and the beat times (Table::Analysis), for the beat grid and the
  // decks' sync; nullopt when the song was not analysed by this version or
  // no tempo was found. Beats holds the tempo rounded, or the user's own
  // when Analyse is false. Throws DbError when the table cannot be read.
  std::optional<qdl::db::Table::Analysis> songAnalysis(qint64 index) const;

  // Runs before each post: a Beats the user types into a stored record (a
  // value other than the stored one) is theirs, so Analyse becomes false;
  // a new record keeps the Analyse it is given. Analyse true means
  // that Beats holds the tempo analysis's result, which a later analysis
  // may replace (qdl::library::TempoAnalysis). Emptying Beats leaves
  // Analyse as it was. It also notes which of the tag's fields the post
  // changes, for the tag write after it.
  void Table1BeforePost();

 private:
  // The tag fields the record being posted changes (all of them for a new
  // record), noted by Table1BeforePost for Table1AfterPost.
  qdl::tags::EditedFields postedEdits_;
};

// The program's one data module; nullptr until the program creates it.
extern TDataModule1* DataModule1;
