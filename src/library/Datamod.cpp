#include "library/Datamod.h"

#include "library/SongLoudness.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "lang/Sprache.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/fs/Windows1252.h"
#include "platform/tags/Id3v2Write.h"
#include "platform/ui/Dialogs.h"

TDataModule1* DataModule1 = nullptr;

namespace qdl::id3 {
namespace {

char encode(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  for (int i = 0; i < 32; ++i)
    if (qdl::fs::kWindows1252High[i] == cp) return char(0x80 + i);
  return '?';
}

bool readFully(int fd, void* buffer, std::size_t size, off_t offset) {
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    const ssize_t n = pread(fd, p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
    offset += n;
  }
  return true;
}

bool writeFully(int fd, const void* buffer, std::size_t size, off_t offset) {
  auto* p = static_cast<const char*>(buffer);
  while (size > 0) {
    const ssize_t n = pwrite(fd, p, size, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= std::size_t(n);
    offset += n;
  }
  return true;
}

// Opens a regular file only: a pipe or device named *.mp3 must not block
// the program or be written to.
// Fails with errno 0 for something that is not a regular file.
int openRegular(const QString& path, int flags, struct stat* st) {
  const int fd =
      ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0) {
    const int e = errno;
    ::close(fd);
    errno = e;
    return -1;
  }
  if (!S_ISREG(st->st_mode)) {
    ::close(fd);
    errno = 0;
    return -1;
  }
  return fd;
}

// Reads up to size bytes from the start; false on a read error.
bool readHead(int fd, QByteArray& head, int size) {
  head.resize(size);
  qsizetype got = 0;
  while (got < size) {
    const ssize_t n = pread(fd, head.data() + got, std::size_t(size - got), got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += n;
  }
  head.resize(got);
  return true;
}

void copyText(char* field, int width, const QString& text) {
  const QByteArray bytes = toWindows1252(text).left(width);
  std::memset(field, 0, std::size_t(width));
  std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace

QString fromWindows1252(const char* bytes, int maxBytes) {
  int n = 0;
  while (n < maxBytes && bytes[n] != 0) ++n;
  return qdl::fs::fromWindows1252(QByteArrayView(bytes, n));
}

QByteArray toWindows1252(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t cp = text.at(i).unicode();
    if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
      cp = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
      ++i;
    }
    out += encode(cp);
  }
  return out;
}

TId3Tag readBlock(const QString& path) {
  TId3Tag block;
  std::memset(&block, 0, sizeof block);
  struct stat st;
  const int fd = openRegular(path, O_RDONLY, &st);
  if (fd < 0) return block;
  if (st.st_size >= off_t(sizeof block) &&
      !readFully(fd, &block, sizeof block, st.st_size - off_t(sizeof block)))
    std::memset(&block, 0, sizeof block);
  ::close(fd);
  return block;
}

bool hasTag(const TId3Tag& block) { return std::memcmp(block.magic, "TAG", 3) == 0; }

TId3Tag blockFromRecord(const QString& titel, const QString& interpret, const QString& jahr,
                        const QString& genre) {
  TId3Tag block;
  std::memset(&block, 0, sizeof block);
  copyText(block.title, sizeof block.title, titel);
  copyText(block.artist, sizeof block.artist, interpret);
  copyText(block.year, sizeof block.year, jahr);
  copyText(block.comment, sizeof block.comment, genre);
  block.genre = 255;
  return block;
}

TId3Tag updatedBlock(const TId3Tag& old, const TagTexts& texts) {
  TId3Tag block = blockFromRecord(texts.titel, texts.interpret, texts.jahr, texts.genre);
  if (!hasTag(old)) return block;
  std::memcpy(block.album, old.album, sizeof block.album);
  block.genre = old.genre;
  // The record holds the comment's first 10 characters: while they are
  // unchanged, the whole comment stays.
  const QString oldComment = fromWindows1252(old.comment, sizeof old.comment);
  if (oldComment.left(10) == texts.genre) {
    std::memcpy(block.comment, old.comment, sizeof block.comment);
    return block;
  }
  // ID3v1.1: a zero byte before the last comment byte, which holds the
  // track number; the comment then has 28 bytes.
  if (old.comment[28] == 0 && old.comment[29] != 0) {
    copyText(block.comment, 28, texts.genre);
    block.comment[28] = 0;
    block.comment[29] = old.comment[29];
  }
  return block;
}

namespace {

using MakeBlock = std::function<TId3Tag(const TId3Tag& old)>;

WriteResult writeWith(const QString& path, const MakeBlock& make, int* error) {
  auto failed = [error](int e) {
    if (error) *error = e;
    return WriteResult::Failed;
  };
  struct stat st;
  const int fd = openRegular(path, O_RDWR, &st);
  if (fd < 0) return errno == 0 ? WriteResult::NotMpeg : failed(errno);
  auto fail = [&](int e) {
    ::close(fd);
    return failed(e);
  };
  QByteArray head;
  if (!readHead(fd, head, kMpegProbeBytes)) return fail(errno);
  if (!looksLikeMpegAudio(head, st.st_size)) {
    ::close(fd);
    return WriteResult::NotMpeg;
  }
  const off_t size = st.st_size;
  const off_t tagAt = size - off_t(sizeof(TId3Tag));
  TId3Tag old;
  std::memset(&old, 0, sizeof old);
  // Without a readable block we cannot tell a tag from audio data: write
  // nothing rather than guess.
  if (size >= off_t(sizeof old) && !readFully(fd, &old, sizeof old, tagAt))
    return fail(errno ? errno : EIO);
  TId3Tag block = make(old);
  std::memcpy(block.magic, "TAG", 3);
  WriteResult result;
  int e = 0;
  if (hasTag(old)) {
    result = WriteResult::Replaced;
    if (!writeFully(fd, &block, sizeof block, tagAt) || fsync(fd) != 0) {
      e = errno;
      writeFully(fd, &old, sizeof old, tagAt);
      fsync(fd);
      result = WriteResult::Failed;
    }
  } else {
    result = WriteResult::Appended;
    if (!writeFully(fd, &block, sizeof block, size) || fsync(fd) != 0) {
      e = errno;
      if (ftruncate(fd, size) != 0) { /* nothing more can be done */
      }
      result = WriteResult::Failed;
    }
  }
  if (::close(fd) != 0 && result != WriteResult::Failed) {
    e = errno;
    result = WriteResult::Failed;
  }
  if (result == WriteResult::Failed) return failed(e ? e : EIO);
  return result;
}

}  // namespace

bool isMpegAudioFile(const QString& path) {
  struct stat st;
  const int fd = openRegular(path, O_RDONLY, &st);
  if (fd < 0) return false;
  QByteArray head;
  const bool mpeg = readHead(fd, head, kMpegProbeBytes) && looksLikeMpegAudio(head, st.st_size);
  ::close(fd);
  return mpeg;
}

WriteResult writeBlock(const QString& path, TId3Tag block, int* error) {
  return writeWith(
      path, [&block](const TId3Tag&) { return block; }, error);
}

WriteResult writeTag(const QString& path, const TagTexts& texts, int* error) {
  return writeWith(
      path, [&texts](const TId3Tag& old) { return updatedBlock(old, texts); }, error);
}

WriteResult writeTags(const QString& path, const TagTexts& texts, int* error, bool* v2Kept,
                      const qdl::tags::EditedFields& edited) {
  if (v2Kept) *v2Kept = false;
  // Only MPEG audio is written; writeTag says what else the file is.
  if (!isMpegAudioFile(path)) return writeTag(path, texts, error);
  // The block's rules for the v2 writer: the texts a record gets from the
  // block (cut to the fields' widths, as the table keeps them) and the
  // block updatedBlock makes.
  qdl::tags::V1Block v1;
  v1.texts = [](const QByteArray& bytes) {
    if (bytes.size() != sizeof(TId3Tag)) return qdl::tags::RecordTexts{};
    TId3Tag b;
    std::memcpy(&b, bytes.constData(), sizeof b);
    return qdl::tags::RecordTexts{fromWindows1252(b.title, sizeof b.title),
                                  fromWindows1252(b.artist, sizeof b.artist),
                                  fromWindows1252(b.year, sizeof b.year),
                                  fromWindows1252(b.comment, sizeof b.comment).left(10)};
  };
  v1.updated = [&texts](const QByteArray& bytes) {
    TId3Tag old;
    std::memset(&old, 0, sizeof old);
    if (bytes.size() == sizeof old) std::memcpy(&old, bytes.constData(), sizeof old);
    TId3Tag block = updatedBlock(old, texts);
    std::memcpy(block.magic, "TAG", 3);
    return QByteArray(reinterpret_cast<const char*>(&block), sizeof block);
  };
  const qdl::tags::FileWrite v2 = qdl::tags::writeTags(
      path, {texts.titel, texts.interpret, texts.jahr, texts.genre}, v1, edited);
  switch (v2.result) {
    case qdl::tags::FileResult::NoTag:
    case qdl::tags::FileResult::V2Unchanged:
      return writeTag(path, texts, error);
    case qdl::tags::FileResult::InPlace:
    case qdl::tags::FileResult::NewFile:
      return WriteResult::Replaced;
    case qdl::tags::FileResult::Unsupported:
      // The v2 tag stays byte for byte; the block is written as for a file
      // without one, and the caller says that only the block changed.
      if (v2Kept) *v2Kept = true;
      return writeTag(path, texts, error);
    case qdl::tags::FileResult::Failed:
      break;
  }
  if (error) *error = v2.error ? v2.error : EIO;
  return WriteResult::Failed;
}

}  // namespace qdl::id3

using qdl::db::FieldDef;
using qdl::db::FieldType;
using qdl::db::IndexDef;
using qdl::db::IndexOption;

TDataModule1::TDataModule1(QObject* parent) : QObject(parent), Table1(new qdl::db::Table(this)) {
  DataSource1 = new qdl::db::TableModel(Table1, {}, this);
  Table1->setAfterPost([this] { Table1AfterPost(); });
  Table1->setBeforePost([this] { Table1BeforePost(); });
}

TDataModule1::~TDataModule1() {
  Table1->setAfterPost({});
  Table1->setBeforePost({});
}

qdl::db::TableModel* TDataModule1::createGridModel(const QStringList& columns,
                                                   QObject* parent) const {
  return new qdl::db::TableModel(Table1, columns, parent);
}

bool TDataModule1::CreateSongTable(qdl::db::CreateMode mode) {
  // DateiName holds a full path and is never cut, so it has no width limit.
  const QList<FieldDef> fields = {
      {QStringLiteral("Index"), FieldType::AutoInc, 0, false},
      {QStringLiteral("Interpret"), FieldType::String, 30, false},
      {QStringLiteral("Titel"), FieldType::String, 30, false},
      {QStringLiteral("Beats"), FieldType::SmallInt, 0, false},
      {QStringLiteral("Genre"), FieldType::String, 10, false},
      {QStringLiteral("Jahr"), FieldType::String, 4, false},
      {QStringLiteral("Dateiname"), FieldType::String, 0, false},
      {QStringLiteral("Equalizer"), FieldType::Integer, 0, false},
      {QStringLiteral("Startzeit"), FieldType::Integer, 0, false},
      {QStringLiteral("EndZeit"), FieldType::Integer, 0, false},
      {QStringLiteral("Analyse"), FieldType::Boolean, 0, false},
  };
  const auto noCase = IndexOption::CaseInsensitive;
  const QList<IndexDef> indexes = {
      {QString(), QStringLiteral("Index"), IndexOption::Primary | IndexOption::Unique},
      {QStringLiteral("iDateiname"), QStringLiteral("Dateiname"), IndexOption::Unique | noCase},
      {QStringLiteral("iGenre"), QStringLiteral("Genre"), noCase},
      {QStringLiteral("iInterpret"), QStringLiteral("Interpret"), noCase},
      {QStringLiteral("iJahr"), QStringLiteral("Jahr"), noCase},
      {QStringLiteral("iTitel"), QStringLiteral("Titel"), noCase},
  };
  if (!Table1->createTable(fields, indexes, mode)) return false;
  Table1->setIndexFieldNames(QStringLiteral("Interpret"));
  Table1->open();
  return true;
}

std::optional<qdl::db::Table::Analysis> TDataModule1::songAnalysis(qint64 index) const {
  return Table1->analysis(index);
}

bool TDataModule1::OpenSongTable(const QString& baseDir, qdl::library::MissingLibrary missing,
                                 const qdl::library::SongOrder& order,
                                 const std::function<void()>& created) {
  const QDir base(baseDir);
  const QString data = base.filePath(QStringLiteral("Data"));
  Table1->setDatabaseName(data);
  Table1->setTableName(QStringLiteral("data.db"));
  bool made = false;
  if (missing == qdl::library::MissingLibrary::Create) {
    // Another start may make the folder at the same moment.
    if (!QFileInfo(data).isDir() && !base.mkdir(QStringLiteral("Data")) && !QFileInfo(data).isDir())
      throw qdl::db::DbError(
          QStringLiteral("The folder %1 cannot be created; the song library cannot be opened.")
              .arg(QDir::toNativeSeparators(data)));
    // A missing library (the first start, or one whose creation a full disk
    // stopped) is created; one that another start made meanwhile is opened
    // below like any other.
    made = !Table1->fileExists() && CreateSongTable(qdl::db::CreateMode::KeepExisting);
    if (made && created) created();
  } else if (!QFileInfo::exists(Table1->filePath())) {
    throw qdl::db::DbError(QStringLiteral("there is no song library here (%1 is missing); "
                                          "add songs with 'quandrel scan' first")
                               .arg(QDir::toNativeSeparators(Table1->filePath())));
  }
  if (!order.indexName.isEmpty())
    Table1->setIndexName(order.indexName);
  else if (!order.fieldNames.isEmpty())
    Table1->setIndexFieldNames(order.fieldNames);
  if (!Table1->isOpen()) Table1->open();
  return made;
}

qdl::tags::SongTexts TDataModule1::songTags(const QString& path, bool* hasV1Tag,
                                            qdl::tags::V2Fields* v2Fields) {
  using namespace qdl::id3;
  const TId3Tag block = readBlock(path);
  qdl::tags::SongTexts v1;
  const bool hasV1 = hasTag(block);
  if (hasV1) {
    // Texts end at their first zero byte; the table cuts them to its widths,
    // so Genre takes the first 10 characters of the comment.
    v1.interpret = fromWindows1252(block.artist, sizeof block.artist);
    v1.titel = fromWindows1252(block.title, sizeof block.title);
    v1.jahr = fromWindows1252(block.year, sizeof block.year);
    v1.genre = fromWindows1252(block.comment, sizeof block.comment);
  }
  const qdl::tags::V2Fields v2 = qdl::tags::readV2(path);
  if (hasV1Tag) *hasV1Tag = hasV1;
  if (v2Fields) *v2Fields = v2;
  return qdl::tags::overV1(v2, v1);
}

void TDataModule1::AddSongFile(const QString& path) {
  bool hasV1 = false;
  qdl::tags::V2Fields v2;
  qdl::tags::SongTexts t = songTags(path, &hasV1, &v2);
  if (!hasV1 && t.interpret.isEmpty() && t.titel.isEmpty()) {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    t.interpret = name;
  }
  const QVariantList record = {
      QVariant(), t.interpret, t.titel, t.beats ? QVariant(*t.beats) : QVariant(QString()),
      t.genre,    t.jahr,      path,    QString(),
      0,          QString(),   false};
  try {
    Table1->insertRecord(record);
  } catch (const qdl::db::DuplicateKeyError&) {
    // Already in the library: the file is skipped. Any other failure (a full
    // disk) goes to the caller, who must not count the song as added.
    return;
  }
  keepReplayGain(Table1->currentId(), v2);
}

void TDataModule1::keepReplayGain(qint64 key, const qdl::tags::V2Fields& v2) {
  // Until the analysis measures the song, its tags say how loud it is.
  if (v2.replayGain) qdl::library::storeReplayGain(*Table1, key, *v2.replayGain, v2.replayPeak);
}

bool TDataModule1::RetagCurrent() {
  const QString path = Table1->asString(QStringLiteral("DateiName"));
  if (path.isEmpty()) return false;
  qdl::tags::V2Fields v2;
  const qdl::tags::SongTexts t = songTags(path, nullptr, &v2);
  keepReplayGain(Table1->currentId(), v2);
  bool changed = false;
  auto take = [&](const QString& field, const QString& value, int width) {
    const QString fitted = qdl::tags::cutToWidth(value, width);
    if (fitted.isEmpty() || Table1->asString(field) == fitted) return;
    Table1->setFieldValue(field, fitted);
    changed = true;
  };
  take(QStringLiteral("Interpret"), t.interpret, qdl::tags::kInterpretWidth);
  take(QStringLiteral("Titel"), t.titel, qdl::tags::kTitelWidth);
  take(QStringLiteral("Jahr"), t.jahr, qdl::tags::kJahrWidth);
  take(QStringLiteral("Genre"), t.genre, qdl::tags::kGenreWidth);
  if (t.beats) {
    const QVariant beats = Table1->fieldByName(QStringLiteral("Beats"));
    const bool hasBeats = beats.isValid() && !beats.isNull();
    const bool analysed = Table1->asBoolean(QStringLiteral("Analyse"));
    const bool typed = hasBeats && !analysed;
    if (!typed && (!hasBeats || beats.toInt() != *t.beats || analysed)) {
      Table1->setFieldValue(QStringLiteral("Beats"), *t.beats);
      Table1->setFieldValue(QStringLiteral("Analyse"), false);
      changed = true;
    }
  }
  if (changed) Table1->post();
  return changed;
}

void TDataModule1::Table1AfterPost() {
  if (!editorVisible || !editorVisible()) return;
  const QString path = Table1->asString(QStringLiteral("DateiName"));
  if (path.isEmpty()) return;  // a record without a file has no tag to write
  QWidget* parent = QApplication::activeWindow();
  const BibliothekTexte* texts = FormSprache ? &FormSprache->Bibliothek : nullptr;
  const QString caption = FormSprache ? FormSprache->Meldung.sAchtung : QString();
  const QString native = QDir::toNativeSeparators(path);
  // The record stays posted whatever happens to its file; the user hears
  // when the tag did not reach it.
  auto notWritten = [&](int error) {
    const QString reason = QString::fromLocal8Bit(std::strerror(error));
    qdl::ui::showMessage(parent,
                         texts ? texts->sTagNichtGeschrieben.arg(native, reason)
                               : native + QLatin1Char('\n') + reason,
                         caption);
  };
  auto notMpeg = [&] {
    qdl::ui::showMessage(parent, texts ? texts->sKeineMp3Datei.arg(native) : native, caption);
  };
  const QByteArray encoded = QFile::encodeName(path);

  struct stat st;
  if (::stat(encoded.constData(), &st) != 0) {
    // Rather than ask about write protection of a file that is not there.
    if (errno == ENOENT || errno == ENOTDIR)
      qdl::ui::showMessage(parent, FormSprache ? FormSprache->Meldung.sDateiFehlt : path, caption);
    else
      notWritten(errno);
    return;
  }
  if (S_ISDIR(st.st_mode)) return notWritten(EISDIR);
  // A mistyped path may name a WAV or text file: not even its permissions
  // change.
  if (!S_ISREG(st.st_mode) || !qdl::id3::isMpegAudioFile(path)) return notMpeg();
  const bool readOnly = (geteuid() == st.st_uid)
                            ? (st.st_mode & S_IWUSR) == 0
                            : (access(encoded.constData(), W_OK) != 0 && errno == EACCES);
  if (readOnly) {
    if (!qdl::ui::askYesNo(
            parent, FormSprache ? FormSprache->Meldung.sSchreibgeschuetzt : QString(), caption))
      return;
    // Make the file writable for its owner; other permissions stay.
    if (chmod(encoded.constData(), (st.st_mode & 07777) | S_IWUSR) != 0) return notWritten(errno);
  }
  int error = 0;
  const qdl::id3::TagTexts tag{
      Table1->asString(QStringLiteral("Titel")), Table1->asString(QStringLiteral("Interpret")),
      Table1->asString(QStringLiteral("Jahr")), Table1->asString(QStringLiteral("Genre"))};
  bool v2Kept = false;
  const qdl::id3::WriteResult result =
      qdl::id3::writeTags(path, tag, &error, &v2Kept, postedEdits_);
  // A write that did not happen leaves the file as it was, permissions too.
  if (readOnly &&
      (result == qdl::id3::WriteResult::Failed || result == qdl::id3::WriteResult::NotMpeg))
    chmod(encoded.constData(), st.st_mode & 07777);
  switch (result) {
    case qdl::id3::WriteResult::Failed:
      notWritten(error);
      break;
    case qdl::id3::WriteResult::NotMpeg:
      notMpeg();
      break;
    default:
      if (v2Kept)
        qdl::ui::showMessage(parent, texts ? texts->sId3v2Belassen.arg(native) : native, caption);
      break;
  }
}

void TDataModule1::Table1BeforePost() {
  const QString beatsField = QStringLiteral("Beats");
  const QString analyseField = QStringLiteral("Analyse");
  postedEdits_ = {};
  // A new record keeps what it is given (a new record of the editor starts
  // with Analyse empty).
  if (Table1->state() != qdl::db::Table::State::Edit) return;
  const auto changes = [this](const char* field) {
    const QString name = QString::fromLatin1(field);
    const std::optional<QVariant> stored = Table1->storedValue(Table1->currentId(), name);
    return !stored || stored->toString() != Table1->asString(name);
  };
  // Only the editor's posts write tags (Table1AfterPost); a scan's or an
  // analysis's posts need not read the stored record. A record moved to
  // another file holds texts meant for that file: all of them are written,
  // as into its ID3v1 block.
  if (editorVisible && editorVisible() && !changes("DateiName"))
    postedEdits_ = {changes("Titel"), changes("Interpret"), changes("Jahr"), changes("Genre")};
  const QVariant beats = Table1->fieldByName(beatsField);
  if (!beats.isValid() || beats.isNull()) return;
  if (!Table1->fieldByName(analyseField).toBool()) return;
  const std::optional<QVariant> stored = Table1->storedValue(Table1->currentId(), beatsField);
  if (stored && stored->isValid() && stored->toInt() == beats.toInt()) return;
  Table1->setFieldValue(analyseField, false);
}
