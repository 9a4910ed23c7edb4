#include "platform/tags/Id3v2.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <taglib/id3v1genres.h>
#include <taglib/id3v2synchdata.h>
#include <unistd.h>

#include <QByteArrayView>
#include <QFile>
#include <QLocale>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/fs/Windows1252.h"

// The frame walk is our own rather than TagLib's ID3v2::Tag: that one builds
// every frame (it copies each cover picture, and inflates a compressed frame
// of any kind without a bound on its size), stops at the first frame of size
// zero, and reads a UTF-16 text without a byte-order mark as empty. TagLib
// supplies the undoing of unsynchronisation and the ID3v1 genre names.

namespace qdl::tags {
namespace {

constexpr int kHeaderBytes = 10;

using qdl::fs::fromWindows1252;

QByteArray undoUnsynchronisation(QByteArrayView bytes) {
  const TagLib::ByteVector decoded = TagLib::ID3v2::SynchData::decode(
      TagLib::ByteVector(bytes.data(), static_cast<unsigned int>(bytes.size())));
  return QByteArray(decoded.data(), qsizetype(decoded.size()));
}

quint32 bigEndian(const unsigned char* p, int n) {
  quint32 v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | p[i];
  return v;
}

// A synch-safe integer: four bytes of seven bits each.
quint32 synchSafe(const unsigned char* p) {
  return (quint32(p[0] & 0x7F) << 21) | (quint32(p[1] & 0x7F) << 14) | (quint32(p[2] & 0x7F) << 7) |
         quint32(p[3] & 0x7F);
}

bool validFrameId(const unsigned char* p, int n) {
  for (int i = 0; i < n; ++i)
    if (!((p[i] >= 'A' && p[i] <= 'Z') || (p[i] >= '0' && p[i] <= '9'))) return false;
  return true;
}

enum class Field { None, Interpret, Titel, Recording, Year, Genre, Beats, UserText };

Field fieldOf(QByteArrayView id) {
  if (id.size() == 3) {
    if (id == "TP1") return Field::Interpret;
    if (id == "TT2") return Field::Titel;
    if (id == "TYE") return Field::Year;
    if (id == "TCO") return Field::Genre;
    if (id == "TBP") return Field::Beats;
    if (id == "TXX") return Field::UserText;
    return Field::None;
  }
  if (id == "TPE1") return Field::Interpret;
  if (id == "TIT2") return Field::Titel;
  if (id == "TDRC") return Field::Recording;
  if (id == "TYER") return Field::Year;
  if (id == "TCON") return Field::Genre;
  if (id == "TBPM") return Field::Beats;
  if (id == "TXXX") return Field::UserText;
  return Field::None;
}

// Whether a code unit is common in song texts: the alphabets up to U+07FF
// (Latin, Greek, Cyrillic, Hebrew, Arabic), punctuation, CJK and Hangul.
bool commonUnit(char16_t u) {
  return u < 0x0800 || (u >= 0x2000 && u < 0x2070) || (u >= 0x3000 && u < 0xA000) ||
         (u >= 0xAC00 && u < 0xD7B0) || (u >= 0xFF00 && u < 0xFFF0);
}

// A UTF-16 text without a byte-order mark: the order in which more of its
// code units are common ones; little-endian (what Windows taggers write)
// when the two tie.
bool looksBigEndian(QByteArrayView bytes) {
  qsizetype little = 0, big = 0;
  for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    if (commonUnit(char16_t(b0 | (b1 << 8)))) ++little;
    if (commonUnit(char16_t((b0 << 8) | b1))) ++big;
  }
  return big > little;
}

// Decoded UTF-16; a surrogate without its partner becomes U+FFFD, so no
// half character reaches the table.
QString fromUtf16(QByteArrayView bytes, bool bigEndianOrder) {
  QStringDecoder decoder(bigEndianOrder ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                         QStringConverter::Flag::Stateless);
  QString text = decoder.decode(bytes);
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      ++i;
    } else if (text[i].isSurrogate()) {
      text[i] = QChar::ReplacementCharacter;
    }
  }
  return text;
}

// The values of a text frame (its fields after the encoding byte), each
// trimmed, empty ones left out.
QStringList textValues(QByteArrayView data) {
  QStringList values;
  if (data.isEmpty()) return values;
  const auto encoding = static_cast<unsigned char>(data[0]);
  QByteArrayView rest = data.sliced(1);
  auto add = [&values](const QString& value) {
    const QString t = value.trimmed();
    if (!t.isEmpty()) values.append(t);
  };
  if (encoding == 0 || encoding == 3) {
    qsizetype start = 0;
    while (start <= rest.size()) {
      qsizetype end = rest.indexOf('\0', start);
      if (end < 0) end = rest.size();
      QByteArrayView value = rest.sliced(start, end - start);
      if (encoding == 0) {
        add(fromWindows1252(value));
      } else {
        if (value.startsWith("\xEF\xBB\xBF")) value = value.sliced(3);
        add(QString::fromUtf8(value));
      }
      start = end + 1;
    }
  } else if (encoding == 1 || encoding == 2) {
    // Values end at a zero code unit; each may begin with its own mark.
    std::optional<bool> order;
    if (encoding == 2) order = true;
    qsizetype start = 0;
    while (start + 1 < rest.size()) {
      qsizetype end = start;
      while (end + 1 < rest.size() && (rest[end] != 0 || rest[end + 1] != 0)) end += 2;
      if (end + 1 >= rest.size()) end = rest.size() & ~qsizetype(1);
      QByteArrayView value = rest.sliced(start, end - start);
      if (value.size() >= 2) {
        const auto b0 = static_cast<unsigned char>(value[0]);
        const auto b1 = static_cast<unsigned char>(value[1]);
        if (b0 == 0xFF && b1 == 0xFE) {
          order = false;
          value = value.sliced(2);
        } else if (b0 == 0xFE && b1 == 0xFF) {
          order = true;
          value = value.sliced(2);
        }
      }
      add(fromUtf16(value, order ? *order : looksBigEndian(value)));
      start = end + 2;
    }
  }
  return values;
}

QString fitted(const QString& text, int width) {
  return cutToWidth(text.trimmed(), width).trimmed();
}

QString firstFourDigits(const QString& text) {
  int run = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9')) {
      if (++run == 4) return text.mid(i - 3, 4);
    } else {
      run = 0;
    }
  }
  return QString();
}

QString v1Genre(int number) {
  const TagLib::String name = TagLib::ID3v1::genre(number);
  return QString::fromUtf8(name.toCString(true));
}

bool allDigits(QStringView s) {
  if (s.isEmpty() || s.size() > 3) return false;
  for (const QChar c : s)
    if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
  return true;
}

// One TCON value as a genre name: "17", "(17)" and "(17)Rock" name ID3v1
// genre 17; "(RX)" and "(CR)" are remix and cover; "((" starts a text that
// begins with "(".
QString genreName(const QString& value) {
  if (allDigits(value)) {
    const QString name = v1Genre(value.toInt());
    return name.isEmpty() ? value : name;
  }
  if (value.startsWith(QLatin1String("(("))) return value.mid(1);
  if (value.startsWith(QLatin1Char('('))) {
    const qsizetype close = value.indexOf(QLatin1Char(')'));
    if (close > 0) {
      const QStringView ref = QStringView(value).sliced(1, close - 1);
      const QString refinement = value.mid(close + 1).trimmed();
      if (allDigits(ref)) {
        const QString name = v1Genre(ref.toInt());
        if (!name.isEmpty()) return name;
      } else if (ref == QLatin1String("RX")) {
        return QStringLiteral("Remix");
      } else if (ref == QLatin1String("CR")) {
        return QStringLiteral("Cover");
      }
      if (!refinement.isEmpty()) return refinement;
    }
  }
  return value;
}

std::optional<int> beatsOf(QString text) {
  text = text.trimmed();
  text.replace(QLatin1Char(','), QLatin1Char('.'));
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value)) return std::nullopt;
  const double rounded = std::round(value);
  if (rounded < 1 || rounded > 999) return std::nullopt;
  return int(rounded);
}

struct Found {
  std::optional<QStringList> values[8];
  // Every user text frame (TXXX): its description and value, in tag order.
  std::vector<QStringList> userTexts;
};

void takeFrame(Found& found, Field field, QByteArrayView data) {
  if (field == Field::UserText) {
    // A tag holds many; a few hundred are more than any tagger writes.
    if (found.userTexts.size() < 256) found.userTexts.push_back(textValues(data));
    return;
  }
  auto& slot = found.values[int(field)];
  if (slot) return;  // the first frame of a kind counts
  slot = textValues(data);
}

// Walks the frames of a tag body (after the header and any extended
// header) and keeps the values of the frames the library uses.
void walkFrames(Found& found, QByteArrayView body, int major, bool tagUnsynchronised) {
  const int idBytes = major == 2 ? 3 : 4;
  const int headerBytes = major == 2 ? 6 : 10;
  const auto* p = reinterpret_cast<const unsigned char*>(body.data());
  const qsizetype end = body.size();
  qsizetype pos = 0;
  while (pos + headerBytes <= end) {
    if (p[pos] == 0) break;  // padding
    if (!validFrameId(p + pos, idBytes)) break;
    quint32 size = 0;
    unsigned char format = 0;
    if (major == 2) {
      size = bigEndian(p + pos + 3, 3);
    } else if (major == 3) {
      size = bigEndian(p + pos + 4, 4);
      format = p[pos + 9];
    } else {
      const unsigned char* s = p + pos + 4;
      const bool safeBytes = ((s[0] | s[1] | s[2] | s[3]) & 0x80) == 0;
      size = safeBytes ? synchSafe(s) : bigEndian(s, 4);
      // Some writers put plain integers into 2.4 tags: take the plain size
      // when only it lands on the next frame (or the end of the frames).
      if (safeBytes && size > 127) {
        auto landsWell = [&](quint32 n) {
          const qsizetype next = pos + headerBytes + qsizetype(n);
          if (next == end) return true;
          if (next > end) return false;
          if (p[next] == 0) return true;
          return next + 4 <= end && validFrameId(p + next, 4);
        };
        const quint32 plain = bigEndian(s, 4);
        if (!landsWell(size) && landsWell(plain)) size = plain;
      }
      format = p[pos + 9];
    }
    const qsizetype dataAt = pos + headerBytes;
    const qsizetype available = std::min<qsizetype>(qsizetype(size), end - dataAt);
    const Field field = fieldOf(QByteArrayView(body.data() + pos, idBytes));
    if (field != Field::None && available > 0) {
      QByteArrayView data = body.sliced(dataAt, available);
      bool skip = false;
      bool unsynchronised = false;
      if (major == 3) {
        skip = (format & 0x80) || (format & 0x40);  // compressed, encrypted
        if (format & 0x20) data = data.sliced(std::min<qsizetype>(1, data.size()));  // group
      } else if (major == 4) {
        skip = (format & 0x08) || (format & 0x04);
        if (format & 0x40) data = data.sliced(std::min<qsizetype>(1, data.size()));
        if (format & 0x01) data = data.sliced(std::min<qsizetype>(4, data.size()));  // length
        unsynchronised = (format & 0x02) || tagUnsynchronised;
      }
      if (!skip) {
        if (unsynchronised) {
          const QByteArray decoded = undoUnsynchronisation(data);
          takeFrame(found, field, decoded);
        } else {
          takeFrame(found, field, data);
        }
      }
    }
    if (qsizetype(size) > end - dataAt) break;  // the frame runs past the tag
    pos = dataAt + qsizetype(size);             // a frame of size 0 is stepped over
  }
}

// A ReplayGain value: a decimal number with a point ("-6.54", "+2.1",
// "0.988525"), a gain followed by "dB" (any case, blanks allowed); none
// for anything else or a number that is not finite.
std::optional<double> replayGainNumber(QString text, bool gain) {
  text = text.trimmed();
  if (gain && text.endsWith(QLatin1String("db"), Qt::CaseInsensitive))
    text = text.chopped(2).trimmed();
  bool ok = false;
  const double v = QLocale::c().toDouble(text, &ok);
  if (!ok || !std::isfinite(v)) return std::nullopt;
  return v;
}

V2Fields mapped(const Found& found, int major) {
  V2Fields fields;
  fields.present = true;
  fields.major = major;
  auto values = [&found](Field f) -> QStringList {
    return found.values[int(f)] ? *found.values[int(f)] : QStringList();
  };
  fields.interpret = fitted(values(Field::Interpret).join(QStringLiteral(" / ")), kInterpretWidth);
  const QStringList titel = values(Field::Titel);
  fields.titel = titel.isEmpty() ? QString() : fitted(titel.first(), kTitelWidth);
  QString jahr;
  for (const QString& v : values(Field::Recording))
    if (jahr.isEmpty()) jahr = firstFourDigits(v);
  for (const QString& v : values(Field::Year))
    if (jahr.isEmpty()) jahr = firstFourDigits(v);
  fields.jahr = jahr;
  const QStringList genre = values(Field::Genre);
  if (!genre.isEmpty()) fields.genre = fitted(genreName(genre.first()), kGenreWidth);
  const QStringList beats = values(Field::Beats);
  if (!beats.isEmpty()) fields.beats = beatsOf(beats.first());
  for (const QStringList& text : found.userTexts) {
    if (text.size() < 2) continue;
    if (!fields.replayGain &&
        text[0].compare(QLatin1String("REPLAYGAIN_TRACK_GAIN"), Qt::CaseInsensitive) == 0)
      fields.replayGain = replayGainNumber(text[1], true);
    else if (!fields.replayPeak &&
             text[0].compare(QLatin1String("REPLAYGAIN_TRACK_PEAK"), Qt::CaseInsensitive) == 0)
      fields.replayPeak = replayGainNumber(text[1], false);
  }
  return fields;
}

// The tag's size from its header (header and footer not counted), or -1
// when the bytes do not begin with an ID3v2 header this reader knows.
qint64 declaredSize(const unsigned char* h) {
  if (h[0] != 'I' || h[1] != 'D' || h[2] != '3') return -1;
  if (h[3] < 2 || h[3] > 4 || h[4] == 0xFF) return -1;
  if ((h[6] | h[7] | h[8] | h[9]) & 0x80) return -1;
  return synchSafe(h + 6);
}

}  // namespace

QString cutToWidth(const QString& text, int width) {
  if (text.size() <= width) return text;
  if (width <= 0) return QString();
  // Boundaries up to `width` depend only on the characters before them and
  // the one after.
  const QString head = text.left(width + 1);
  QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, head);
  finder.setPosition(width);
  if (!finder.isAtBoundary()) finder.toPreviousBoundary();
  const qsizetype at = std::max<qsizetype>(finder.position(), 0);
  return text.left(at);
}

V2Fields parseV2(const QByteArray& tagBytes) {
  V2Fields none;
  if (tagBytes.size() < kHeaderBytes) return none;
  const auto* h = reinterpret_cast<const unsigned char*>(tagBytes.constData());
  const qint64 size = declaredSize(h);
  if (size < 0) return none;
  const int major = h[3];
  const unsigned char flags = h[5];
  QByteArrayView body(tagBytes.constData() + kHeaderBytes,
                      std::min<qint64>(size, tagBytes.size() - kHeaderBytes));
  Found found;
  if (major == 2 && (flags & 0x40)) return mapped(found, major);  // a compressed 2.2 tag
  QByteArray decoded;
  if (major < 4 && (flags & 0x80)) {
    // Unsynchronised 2.2 and 2.3: the whole body, extended header included.
    decoded = undoUnsynchronisation(body);
    body = decoded;
  }
  if (major >= 3 && (flags & 0x40) && body.size() >= 4) {
    const auto* e = reinterpret_cast<const unsigned char*>(body.data());
    // 2.3 counts the bytes after the size, 2.4 the whole extended header.
    qint64 skip = major == 3 ? qint64(bigEndian(e, 4)) + 4 : std::max<qint64>(synchSafe(e), 6);
    body = body.sliced(std::min<qint64>(skip, body.size()));
  }
  walkFrames(found, body, major, major == 4 && (flags & 0x80));
  return mapped(found, major);
}

V2Fields readV2(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  QByteArray bytes;
  auto readAt = [fd](char* to, qint64 count, off_t offset) {
    qint64 done = 0;
    while (done < count) {
      const ssize_t n = ::pread(fd, to + done, size_t(count - done), offset + off_t(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      done += n;
    }
    return done;
  };
  unsigned char header[kHeaderBytes];
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      readAt(reinterpret_cast<char*>(header), kHeaderBytes, 0) == kHeaderBytes) {
    const qint64 size = declaredSize(header);
    if (size >= 0) {
      const qint64 want =
          std::min<qint64>({kHeaderBytes + size, qint64(st.st_size), kHeaderBytes + kMaxTagBytes});
      bytes.resize(want);
      std::memcpy(bytes.data(), header, kHeaderBytes);
      const qint64 got = readAt(bytes.data() + kHeaderBytes, want - kHeaderBytes, kHeaderBytes);
      bytes.resize(kHeaderBytes + got);
    }
  }
  ::close(fd);
  if (bytes.isEmpty()) return {};
  return parseV2(bytes);
}

SongTexts overV1(const V2Fields& v2, const SongTexts& v1) {
  auto pick = [](const QString& a, const QString& b) { return a.isEmpty() ? b : a; };
  SongTexts out;
  out.interpret = pick(v2.interpret, v1.interpret);
  out.titel = pick(v2.titel, v1.titel);
  out.jahr = pick(v2.jahr, v1.jahr);
  out.genre = pick(v2.genre, v1.genre);
  out.beats = v2.beats ? v2.beats : v1.beats;
  return out;
}

}  // namespace qdl::tags
