#include "library/Datamod.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "lang/Sprache.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/ui/Dialogs.h"

TDataModule1* DataModule1 = nullptr;

namespace qdl::id3 {
namespace {

// Unicode of the bytes 0x80..0x9F in Windows-1252. The five bytes the code
// page leaves undefined map to the control characters of the same value, so
// every byte survives a round trip.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char encode(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return char(cp);
  for (int i = 0; i < 32; ++i)
    if (kHigh[i] == cp) return char(0x80 + i);
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
int openRegular(const QString& path, int flags, struct stat* st) {
  const int fd =
      ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return -1;
  if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void copyText(char* field, int width, const QString& text) {
  const QByteArray bytes = toWindows1252(text).left(width);
  std::memset(field, 0, std::size_t(width));
  std::memcpy(field, bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace

QString fromWindows1252(const char* bytes, int maxBytes) {
  QString out;
  for (int i = 0; i < maxBytes && bytes[i] != 0; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(b);
  }
  return out;
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

WriteResult writeBlock(const QString& path, TId3Tag block) {
  struct stat st;
  const int fd = openRegular(path, O_RDWR, &st);
  if (fd < 0) return WriteResult::Failed;
  const off_t size = st.st_size;
  const off_t tagAt = size - off_t(sizeof block);
  TId3Tag old;
  std::memset(&old, 0, sizeof old);
  // Without a readable block we cannot tell a tag from audio data: write
  // nothing rather than guess.
  if (size >= off_t(sizeof old) && !readFully(fd, &old, sizeof old, tagAt)) {
    ::close(fd);
    return WriteResult::Failed;
  }
  std::memcpy(block.magic, "TAG", 3);
  WriteResult result;
  if (hasTag(old)) {
    result = WriteResult::Replaced;
    if (!writeFully(fd, &block, sizeof block, tagAt) || fsync(fd) != 0) {
      writeFully(fd, &old, sizeof old, tagAt);
      result = WriteResult::Failed;
    }
  } else {
    result = WriteResult::Appended;
    if (!writeFully(fd, &block, sizeof block, size) || fsync(fd) != 0) {
      if (ftruncate(fd, size) != 0) { /* nothing more can be done */
      }
      result = WriteResult::Failed;
    }
  }
  if (::close(fd) != 0) result = WriteResult::Failed;
  return result;
}

}  // namespace qdl::id3

using qdl::db::FieldDef;
using qdl::db::FieldType;
using qdl::db::IndexDef;
using qdl::db::IndexOption;

TDataModule1::TDataModule1(QObject* parent) : QObject(parent), Table1(new qdl::db::Table(this)) {
  DataSource1 = new qdl::db::TableModel(Table1, {}, this);
  Table1->setAfterPost([this] { Table1AfterPost(); });
}

TDataModule1::~TDataModule1() { Table1->setAfterPost({}); }

qdl::db::TableModel* TDataModule1::createGridModel(const QStringList& columns,
                                                   QObject* parent) const {
  return new qdl::db::TableModel(Table1, columns, parent);
}

void TDataModule1::CreateSongTable() {
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
  Table1->createTable(fields, indexes);
  Table1->setIndexFieldNames(QStringLiteral("Interpret"));
  Table1->open();
}

void TDataModule1::AddSongFile(const QString& path) {
  using namespace qdl::id3;
  const TId3Tag block = readBlock(path);
  QVariantList record;
  if (hasTag(block)) {
    // Texts end at their first zero byte; the table cuts them to its widths,
    // so Genre takes the first 10 characters of the comment.
    record = {QVariant(),
              fromWindows1252(block.artist, sizeof block.artist),
              fromWindows1252(block.title, sizeof block.title),
              QString(),
              fromWindows1252(block.comment, sizeof block.comment),
              fromWindows1252(block.year, sizeof block.year),
              path,
              QString(),
              0,
              QString(),
              false};
  } else {
    QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    record = {QVariant(), name,      QString(), QString(), QString(), QString(),
              path,       QString(), 0,         QString(), false};
  }
  try {
    Table1->insertRecord(record);
  } catch (const qdl::db::DuplicateKeyError&) {
    // Already in the library: the file is skipped. Any other failure (a full
    // disk) goes to the caller, who must not count the song as added.
  }
}

void TDataModule1::Table1AfterPost() {
  if (!editorVisible || !editorVisible()) return;
  const QString path = Table1->asString(QStringLiteral("DateiName"));
  if (path.isEmpty()) return;  // a record without a file has no tag to write
  QWidget* parent = QApplication::activeWindow();
  const QString caption = FormSprache ? FormSprache->Meldung.sAchtung : QString();
  const QByteArray native = QFile::encodeName(path);

  struct stat st;
  if (::stat(native.constData(), &st) != 0) {
    // The record stays posted, but its tag cannot be written: say so rather
    // than ask about write protection of a file that is not there.
    if (errno == ENOENT || errno == ENOTDIR)
      qdl::ui::showMessage(parent, FormSprache ? FormSprache->Meldung.sDateiFehlt : path, caption);
    return;
  }
  if (!S_ISREG(st.st_mode)) return;
  const bool readOnly = (geteuid() == st.st_uid)
                            ? (st.st_mode & S_IWUSR) == 0
                            : (access(native.constData(), W_OK) != 0 && errno == EACCES);
  if (readOnly) {
    if (!qdl::ui::askYesNo(
            parent, FormSprache ? FormSprache->Meldung.sSchreibgeschuetzt : QString(), caption))
      return;
    // Make the file writable for its owner; other permissions stay.
    if (chmod(native.constData(), (st.st_mode & 07777) | S_IWUSR) != 0) return;
  }
  qdl::id3::writeBlock(path,
                       qdl::id3::blockFromRecord(Table1->asString(QStringLiteral("Titel")),
                                                 Table1->asString(QStringLiteral("Interpret")),
                                                 Table1->asString(QStringLiteral("Jahr")),
                                                 Table1->asString(QStringLiteral("Genre"))));
}
