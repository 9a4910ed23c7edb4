#include "platform/tags/Id3v2Write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/fs/SafeWrite.h"

namespace qdl::tags {
namespace {

// ---- the tag's bytes ----------------------------------------------------

constexpr qint64 kHeader = 10;
constexpr qint64 kV1Block = 128;
constexpr quint32 kMaxSynchsafe = (1u << 28) - 1;

quint8 byteAt(const QByteArray& b, qint64 i) { return static_cast<quint8>(b[qsizetype(i)]); }

bool synchsafe(const QByteArray& b, qint64 at, quint32& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const quint8 c = byteAt(b, at + i);
    if (c & 0x80) return false;
    value = (value << 7) | c;
  }
  return true;
}

quint32 bigEndian(const QByteArray& b, qint64 at, int bytes) {
  quint32 value = 0;
  for (int i = 0; i < bytes; ++i) value = (value << 8) | byteAt(b, at + i);
  return value;
}

QByteArray synchsafeBytes(quint32 value) {
  QByteArray out(4, '\0');
  for (int i = 3; i >= 0; --i) {
    out[i] = char(value & 0x7F);
    value >>= 7;
  }
  return out;
}

QByteArray bigEndianBytes(quint32 value, int bytes) {
  QByteArray out(bytes, '\0');
  for (int i = bytes - 1; i >= 0; --i) {
    out[i] = char(value & 0xFF);
    value >>= 8;
  }
  return out;
}

// Undoes unsynchronisation: every 0xFF 0x00 loses its zero byte.
QByteArray resynchronised(const QByteArray& data) {
  QByteArray out;
  out.reserve(data.size());
  for (qsizetype i = 0; i < data.size(); ++i) {
    out += data[i];
    if (static_cast<quint8>(data[i]) == 0xFF && i + 1 < data.size() && data[i + 1] == 0) ++i;
  }
  return out;
}

struct Frame {
  QByteArray id;
  qint64 at = 0;    // offset of the frame header in the frame area
  qint64 size = 0;  // header and data
};

struct ParsedTag {
  int major = 0;
  quint8 revision = 0;
  quint8 flags = 0;
  qint64 total = 0;         // bytes in the file
  QByteArray frames;        // the frame area: no extended header, no unsynchronisation
  QList<Frame> list;        // the frames in the area, in order
  bool plainSizes = false;  // 2.4 frames sized as plain integers (an old iTunes habit)
};

bool isIdChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Walks the frames of the area. False when a frame is malformed or runs
// past the end; padding (a zero byte where a frame would start) ends it.
bool walkFrames(ParsedTag& t, bool plainSizes) {
  t.list.clear();
  const int idLength = t.major == 2 ? 3 : 4;
  const qint64 headerLength = t.major == 2 ? 6 : 10;
  const QByteArray& area = t.frames;
  qint64 at = 0;
  while (at + headerLength <= area.size()) {
    if (area[at] == 0) break;
    for (int i = 0; i < idLength; ++i)
      if (!isIdChar(area[at + i])) return false;
    quint32 size = 0;
    if (t.major == 2)
      size = bigEndian(area, at + 3, 3);
    else if (t.major == 3 || plainSizes)
      size = bigEndian(area, at + 4, 4);
    else if (!synchsafe(area, at + 4, size))
      return false;
    if (qint64(size) > area.size() - at - headerLength) return false;
    t.list.append({area.mid(at, idLength), at, headerLength + qint64(size)});
    at += headerLength + qint64(size);
  }
  // What follows the last frame is padding, or too short to be a frame.
  t.frames.truncate(at);
  return true;
}

enum class Parse { NoTag, Unsupported, Ok };

Parse parseTag(const QByteArray& tag, ParsedTag& t) {
  if (tag.size() < kHeader || !tag.startsWith("ID3")) return Parse::NoTag;
  t.major = byteAt(tag, 3);
  t.revision = byteAt(tag, 4);
  t.flags = byteAt(tag, 5);
  quint32 bodySize = 0;
  if (!synchsafe(tag, 6, bodySize)) return Parse::NoTag;
  if (t.major < 2 || t.major > 4 || t.revision == 0xFF) return Parse::Unsupported;
  const bool footer = t.major == 4 && (t.flags & 0x10);
  t.total = kHeader + qint64(bodySize) + (footer ? kHeader : 0);
  if (tag.size() < t.total) return Parse::Unsupported;
  QByteArray body = tag.mid(kHeader, bodySize);
  if (t.major == 2 && (t.flags & 0x40)) return Parse::Unsupported;  // compressed tag
  if (t.major == 4 && (t.flags & 0x80)) return Parse::Unsupported;  // see the header
  if (t.major < 4 && (t.flags & 0x80)) body = resynchronised(body);
  qint64 start = 0;
  if (t.major >= 3 && (t.flags & 0x40)) {
    if (body.size() < 6) return Parse::Unsupported;
    quint32 extended = 0;
    if (t.major == 3) {
      extended = bigEndian(body, 0, 4) + 4;
    } else if (!synchsafe(body, 0, extended)) {
      return Parse::Unsupported;
    }
    if (extended < 6 || qint64(extended) > body.size()) return Parse::Unsupported;
    start = extended;
  }
  t.frames = body.mid(start);
  if (walkFrames(t, false)) return Parse::Ok;
  t.frames = body.mid(start);
  if (t.major == 4 && walkFrames(t, true)) {
    t.plainSizes = true;
    return Parse::Ok;
  }
  return Parse::Unsupported;
}

// ---- text frames --------------------------------------------------------

enum Encoding : quint8 { Latin1 = 0, Utf16Bom = 1, Utf16Be = 2, Utf8 = 3 };

bool fitsLatin1(const QString& text) {
  for (const QChar c : text)
    if (c.unicode() > 0xFF) return false;
  return true;
}

// The encoding of a new text: the old frame's where it is valid for the
// version and holds the text; else Latin-1 for a new frame whose text it
// holds; else UTF-16 with a byte order mark (2.2, 2.3) or UTF-8 (2.4).
quint8 chooseEncoding(int major, std::optional<quint8> old, const QString& text) {
  const bool latin1 = fitsLatin1(text);
  if (old) {
    if (*old == Latin1 && latin1) return Latin1;
    if (*old == Utf16Bom || (major == 4 && (*old == Utf16Be || *old == Utf8))) return *old;
  } else if (latin1) {
    return Latin1;
  }
  return major == 4 ? Utf8 : Utf16Bom;
}

QByteArray encodeText(quint8 encoding, const QString& text) {
  switch (encoding) {
    case Latin1:
      return text.toLatin1();
    case Utf16Bom: {
      QByteArray out("\xFF\xFE", 2);
      for (const QChar c : text) {
        out += char(c.unicode() & 0xFF);
        out += char(c.unicode() >> 8);
      }
      return out;
    }
    case Utf16Be: {
      QByteArray out;
      for (const QChar c : text) {
        out += char(c.unicode() >> 8);
        out += char(c.unicode() & 0xFF);
      }
      return out;
    }
    default:
      return text.toUtf8();
  }
}

QByteArray frameBytes(const ParsedTag& t, const QByteArray& id, const QByteArray& data) {
  const quint32 size = quint32(data.size());
  if (t.major == 2) return id + bigEndianBytes(size, 3) + data;
  const QByteArray sizeBytes =
      (t.major == 3 || t.plainSizes) ? bigEndianBytes(size, 4) : synchsafeBytes(size);
  return id + sizeBytes + QByteArray(2, '\0') + data;
}

// The encoding byte of a text frame that is stored plainly (no
// compression, encryption, unsynchronisation or data length of its own).
std::optional<quint8> plainEncoding(const ParsedTag& t, const Frame& f) {
  const qint64 headerLength = t.major == 2 ? 6 : 10;
  if (f.size <= headerLength) return std::nullopt;
  if (t.major == 3 && (byteAt(t.frames, f.at + 9) & 0xE0)) return std::nullopt;
  if (t.major == 4 && (byteAt(t.frames, f.at + 9) & 0x4F)) return std::nullopt;
  const quint8 e = byteAt(t.frames, f.at + headerLength);
  if (e > Utf8) return std::nullopt;
  return e;
}

// A field's frames: the first id is the one a new frame gets; a frame of
// any of them is the field's (a reader takes a year from TDRC in any
// version, and from TYER where TDRC lacks it).
struct FieldEdit {
  QList<QByteArray> ids;
  const std::optional<QString>* text;
  bool done = false;
};

}  // namespace

TextEdits changedFields(const V2Fields& v2, const RecordTexts& v1, const RecordTexts& record) {
  auto changed = [](const QString& fromV2, const QString& fromV1,
                    const QString& value) -> std::optional<QString> {
    const QString file = fromV2.isEmpty() ? fromV1.trimmed() : fromV2;
    const QString now = value.trimmed();
    if (now == file) return std::nullopt;
    return now;
  };
  TextEdits edits;
  edits.titel = changed(v2.titel, v1.titel, record.titel);
  edits.interpret = changed(v2.interpret, v1.interpret, record.interpret);
  edits.jahr = changed(v2.jahr, v1.jahr, record.jahr);
  edits.genre = changed(v2.genre, v1.genre, record.genre);
  return edits;
}

qint64 tagSizeAt(const QByteArray& head) {
  if (head.size() < kHeader || !head.startsWith("ID3")) return 0;
  quint32 bodySize = 0;
  if (!synchsafe(head, 6, bodySize)) return 0;
  const bool footer = byteAt(head, 3) == 4 && (byteAt(head, 5) & 0x10);
  return kHeader + qint64(bodySize) + (footer ? kHeader : 0);
}

RenderedTag renderEdited(const QByteArray& tag, const TextEdits& edits, int growPadding) {
  RenderedTag out;
  ParsedTag t;
  switch (parseTag(tag, t)) {
    case Parse::NoTag:
      return out;
    case Parse::Unsupported:
      out.status = RenderStatus::Unsupported;
      out.oldSize = t.total;
      return out;
    case Parse::Ok:
      break;
  }
  out.oldSize = t.total;
  const bool v22 = t.major == 2;
  const QList<QByteArray> years = v22            ? QList<QByteArray>{"TYE"}
                                  : t.major == 3 ? QList<QByteArray>{"TYER", "TDRC"}
                                                 : QList<QByteArray>{"TDRC", "TYER"};
  FieldEdit fields[] = {
      {{v22 ? "TT2" : "TIT2"}, &edits.titel},
      {{v22 ? "TP1" : "TPE1"}, &edits.interpret},
      {years, &edits.jahr},
      {{v22 ? "TCO" : "TCON"}, &edits.genre},
  };
  auto textFrame = [&](const FieldEdit& field, std::optional<quint8> old) {
    const QString& text = **field.text;
    const quint8 encoding = chooseEncoding(t.major, old, text);
    return frameBytes(t, field.ids.first(), char(encoding) + encodeText(encoding, text));
  };
  QByteArray frames;
  bool touched = false;
  for (const Frame& f : t.list) {
    FieldEdit* edit = nullptr;
    for (FieldEdit& field : fields)
      if (*field.text && field.ids.contains(f.id)) edit = &field;
    if (!edit) {
      frames += t.frames.mid(f.at, f.size);
      continue;
    }
    // The first frame of an edited field takes the new text; any later one
    // of the same id would contradict it and goes.
    touched = true;
    if (!edit->done && !(*edit->text)->isEmpty()) frames += textFrame(*edit, plainEncoding(t, f));
    edit->done = true;
  }
  for (FieldEdit& field : fields) {
    if (!*field.text || field.done || (*field.text)->isEmpty()) continue;
    frames += textFrame(field, std::nullopt);
    touched = true;
  }
  if (!touched) {
    out.status = RenderStatus::Unchanged;
    return out;
  }
  qint64 total = kHeader + frames.size();
  if (total <= t.total) {
    out.status = RenderStatus::Fits;
    total = t.total;
  } else {
    out.status = RenderStatus::Grows;
    total += growPadding;
  }
  if (total - kHeader > qint64(kMaxSynchsafe)) {
    out.status = RenderStatus::Unsupported;
    return out;
  }
  // Unsynchronisation, the extended header and the footer are left out.
  const quint8 flags = t.flags & quint8(~(0x80 | 0x40 | 0x10));
  out.tag = QByteArray("ID3") + char(t.major) + char(t.revision) + char(flags) +
            synchsafeBytes(quint32(total - kHeader)) + frames;
  out.tag.append(QByteArray(total - out.tag.size(), '\0'));
  return out;
}

// ---- the file -------------------------------------------------------------

namespace {

bool readAt(int fd, char* p, qint64 size, qint64 offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, p, std::size_t(size), off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = EIO;  // the file became shorter while it was read
      return false;
    }
    p += n;
    size -= n;
    offset += n;
  }
  return true;
}

bool writeAt(int fd, const char* p, qint64 size, qint64 offset) {
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, p, std::size_t(size), off_t(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    size -= n;
    offset += n;
  }
  return true;
}

bool writeAll(int fd, const char* p, qint64 size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, p, std::size_t(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    size -= n;
  }
  return true;
}

int errnoOr(int fallback) { return errno ? errno : fallback; }

// Both tags over the old ones in the open file. Any failure puts the old
// bytes back.
FileWrite writeInPlace(int fd, qint64 fileSize, const QByteArray& oldTag, const QByteArray& newTag,
                       const QByteArray& oldV1, const QByteArray& newV1) {
  const qint64 v1At = oldV1.isEmpty() ? fileSize : fileSize - kV1Block;
  auto restore = [&](bool tagWritten, bool v1Written) {
    if (tagWritten) writeAt(fd, oldTag.constData(), oldTag.size(), 0);
    if (v1Written && !oldV1.isEmpty()) writeAt(fd, oldV1.constData(), kV1Block, v1At);
    if (oldV1.isEmpty() && ::ftruncate(fd, off_t(fileSize)) != 0) { /* nothing more to do */
    }
    ::fsync(fd);
  };
  // An appended block is the one write that needs new room: it goes first,
  // so that a full disk stops the step before a tag has changed.
  if (oldV1.isEmpty() && !writeAt(fd, newV1.constData(), kV1Block, v1At)) {
    const int e = errnoOr(EIO);
    restore(false, true);
    return {FileResult::Failed, e};
  }
  if (!writeAt(fd, newTag.constData(), newTag.size(), 0)) {
    const int e = errnoOr(EIO);
    restore(true, true);
    return {FileResult::Failed, e};
  }
  if (!oldV1.isEmpty() && !writeAt(fd, newV1.constData(), kV1Block, v1At)) {
    const int e = errnoOr(EIO);
    restore(true, true);
    return {FileResult::Failed, e};
  }
  if (::fsync(fd) != 0) {
    const int e = errnoOr(EIO);
    restore(true, true);
    return {FileResult::Failed, e};
  }
  return {FileResult::InPlace, 0};
}

// The song anew beside the old one: the new tag, the old file's bytes from
// the end of its tag to its ID3v1 block, the new block. The new file takes
// the song's name only when it is complete and synced.
FileWrite writeNewFile(int fd, const QString& path, const struct stat& st, qint64 oldTagSize,
                       const QByteArray& newTag, qint64 audioEnd, const QByteArray& newV1) {
  // A link is written through: the file it leads to is replaced, the link
  // stays.
  char buffer[PATH_MAX];
  if (!::realpath(QFile::encodeName(path).constData(), buffer)) return {FileResult::Failed, errno};
  const QString target = QFile::decodeName(buffer);
  const QFileInfo info(target);
  QString temporary;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    temporary = info.dir().filePath(
        QStringLiteral(".%1.%2.part")
            .arg(info.fileName())
            .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    out = ::open(QFile::encodeName(temporary).constData(),
                 O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) return {FileResult::Failed, errnoOr(EIO)};
  auto fail = [&](int e) {
    if (out >= 0) ::close(out);
    ::unlink(QFile::encodeName(temporary).constData());
    return FileWrite{FileResult::Failed, e};
  };
  // The new file keeps the song's owner and permissions where the file
  // system allows.
  if (::fchown(out, st.st_uid, st.st_gid) != 0) { /* another owner is not ours to give */
  }
  if (::fchmod(out, st.st_mode & 07777) != 0) { /* a FAT stick keeps no permissions */
  }
  if (!writeAll(out, newTag.constData(), newTag.size())) return fail(errnoOr(EIO));
  constexpr qint64 kChunk = 1 << 20;
  QByteArray chunk(kChunk, Qt::Uninitialized);
  for (qint64 at = oldTagSize; at < audioEnd;) {
    const qint64 n = std::min(kChunk, audioEnd - at);
    if (!readAt(fd, chunk.data(), n, at) || !writeAll(out, chunk.constData(), n))
      return fail(errnoOr(EIO));
    at += n;
  }
  if (!writeAll(out, newV1.constData(), newV1.size())) return fail(errnoOr(EIO));
  if (::fsync(out) != 0) return fail(errnoOr(EIO));
  const int closed = ::close(out);
  out = -1;
  if (closed != 0) return fail(errnoOr(EIO));
  if (!fs::publishFile(temporary, target, fs::Replace::Allowed)) return fail(errnoOr(EIO));
  fs::syncFolderOf(target);
  return {FileResult::NewFile, 0};
}

}  // namespace

FileWrite writeTags(const QString& path, const RecordTexts& record, const V1Block& v1,
                    const EditedFields& edited) {
  const int fd =
      ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return {FileResult::Failed, errno};
  auto finish = [fd](FileWrite w) {
    if (::close(fd) != 0 && (w.result == FileResult::InPlace)) w = {FileResult::Failed, errno};
    return w;
  };
  struct stat st;
  if (::fstat(fd, &st) != 0) return finish({FileResult::Failed, errno});
  if (!S_ISREG(st.st_mode)) return finish({FileResult::Failed, EINVAL});
  const qint64 fileSize = st.st_size;
  QByteArray head(kHeader, '\0');
  if (fileSize < kHeader) return finish({FileResult::NoTag, 0});
  if (!readAt(fd, head.data(), kHeader, 0)) return finish({FileResult::Failed, errnoOr(EIO)});
  const qint64 tagSize = tagSizeAt(head);
  if (tagSize == 0) return finish({FileResult::NoTag, 0});
  // A tag that claims more than the file holds is damaged: not rewritten.
  if (tagSize > fileSize) return finish({FileResult::Unsupported, EOPNOTSUPP});
  QByteArray oldTag(tagSize, Qt::Uninitialized);
  if (!readAt(fd, oldTag.data(), tagSize, 0)) return finish({FileResult::Failed, errnoOr(EIO)});
  // The ID3v1 block: the last 128 bytes, when they begin with "TAG" and lie
  // after the v2 tag.
  QByteArray oldV1;
  if (fileSize - kV1Block >= tagSize) {
    QByteArray last(kV1Block, Qt::Uninitialized);
    if (!readAt(fd, last.data(), kV1Block, fileSize - kV1Block))
      return finish({FileResult::Failed, errnoOr(EIO)});
    if (last.startsWith("TAG")) oldV1 = last;
  }
  TextEdits edits = changedFields(parseV2(oldTag), v1.texts(oldV1), record);
  if (!edited.titel) edits.titel.reset();
  if (!edited.interpret) edits.interpret.reset();
  if (!edited.jahr) edits.jahr.reset();
  if (!edited.genre) edits.genre.reset();
  if (edits.isEmpty()) return finish({FileResult::V2Unchanged, 0});
  const RenderedTag rendered = renderEdited(oldTag, edits);
  switch (rendered.status) {
    case RenderStatus::NoTag:
      return finish({FileResult::NoTag, 0});
    case RenderStatus::Unchanged:
      return finish({FileResult::V2Unchanged, 0});
    case RenderStatus::Unsupported:
      return finish({FileResult::Unsupported, EOPNOTSUPP});
    default:
      break;
  }
  const QByteArray newV1 = v1.updated(oldV1);
  if (newV1.size() != kV1Block) return finish({FileResult::Failed, EINVAL});
  if (rendered.status == RenderStatus::Fits)
    return finish(writeInPlace(fd, fileSize, oldTag, rendered.tag, oldV1, newV1));
  const qint64 audioEnd = oldV1.isEmpty() ? fileSize : fileSize - kV1Block;
  return finish(writeNewFile(fd, path, st, tagSize, rendered.tag, audioEnd, newV1));
}

}  // namespace qdl::tags
