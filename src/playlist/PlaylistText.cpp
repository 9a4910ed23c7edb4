// Playlist text: decoding, line splitting and the reading of ".qdp" and M3U
// lines into entries.

#include <QDir>
#include <QRegularExpression>
#include <QStringDecoder>

#include "platform/fs/Folders.h"
#include "platform/fs/Windows1252.h"
#include "playlist/PlaylistFile.h"

namespace qdl::playlist {
namespace {

using qdl::fs::fromWindows1252;

QString decode(QStringConverter::Encoding encoding, QByteArrayView bytes, bool* ok) {
  QStringDecoder decoder(
      encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
  QString text = decoder.decode(bytes);
  if (ok) *ok = !decoder.hasError();
  return text;
}

// The longest path Linux opens is 4095 bytes.
constexpr qsizetype kMaxPathBytes = 4095;
constexpr qsizetype kShownChars = 200;

bool tooLong(const QString& s) {
  if (s.size() > kMaxPathBytes) return true;
  return s.size() * 3 > kMaxPathBytes && s.toUtf8().size() > kMaxPathBytes;
}

bool hasControl(const QString& s) {
  for (qsizetype i = 0; i < s.size(); ++i) {
    const QChar c = s.at(i);
    if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7F) return true;
    // Half of a surrogate pair (from broken UTF-16) is no character, and no
    // file name can hold it.
    if (c.isHighSurrogate() && (i + 1 >= s.size() || !s.at(i + 1).isLowSurrogate())) return true;
    if (c.isLowSurrogate() && (i == 0 || !s.at(i - 1).isHighSurrogate())) return true;
  }
  return false;
}

bool isMp3(const QString& path) {
  return path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive);
}

bool isAsciiLetter(QChar c) {
  return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
         (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// "C:", "C:\..." or "C:/...": a path on a Windows drive.
bool isDrivePath(QStringView s) {
  return s.size() >= 2 && isAsciiLetter(s[0]) && s[1] == QLatin1Char(':');
}

// A URL other than file: — any scheme followed by "//", and the schemes of
// streams that players write without it.
bool isWebAddress(const QString& s) {
  static const QRegularExpression url(QStringLiteral(
      "^(?:[A-Za-z][A-Za-z0-9+.\\-]+://|(?:https?|ftp|mms|rtsp|rtmp|icy|udp|rtp):)"));
  return url.match(s).hasMatch();
}

// The local path of a file: URL, or a reason to skip it.
std::optional<SkipReason> fileUrlPath(const QString& url, QString& path) {
  QString rest = url.mid(5);  // after "file:"
  if (rest.startsWith(QLatin1String("//"))) {
    const qsizetype slash = rest.indexOf(QLatin1Char('/'), 2);
    const QString host = rest.mid(2, slash < 0 ? -1 : slash - 2);
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0)
      return SkipReason::NetworkPath;
    rest = slash < 0 ? QString() : rest.mid(slash);
  }
  path = QString::fromUtf8(QByteArray::fromPercentEncoding(rest.toUtf8()));
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  // file:///C:/Music/song.mp3 names a Windows drive.
  if (isDrivePath(path) ||
      (path.startsWith(QLatin1Char('/')) && isDrivePath(QStringView(path).mid(1))))
    return SkipReason::DrivePath;
  return std::nullopt;
}

void skip(ReadResult& r, int line, const QString& text, SkipReason reason) {
  r.skipped.append({line, text.left(kShownChars), reason});
}

}  // namespace

const char* reasonName(SkipReason reason) {
  switch (reason) {
    case SkipReason::WebAddress:
      return "web address or stream";
    case SkipReason::DrivePath:
      return "Windows drive path";
    case SkipReason::NetworkPath:
      return "network path";
    case SkipReason::NotMp3:
      return "not an MP3 file";
    case SkipReason::TooLong:
      return "line too long";
    case SkipReason::NotText:
      return "not a line of text";
  }
  return "";
}

std::optional<Format> formatOf(const QString& fileName) {
  if (fileName.endsWith(QLatin1String(".qdp"), Qt::CaseInsensitive)) return Format::Qdp;
  if (fileName.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive) ||
      fileName.endsWith(QLatin1String(".m3u8"), Qt::CaseInsensitive))
    return Format::M3u;
  return std::nullopt;
}

namespace {

// Each line in the encoding it was written in: a list joined from lists of
// different players (or edited by hand) holds UTF-8 lines beside
// Windows-1252 ones, and one such line must not garble all the others. A
// line that is valid UTF-8 is UTF-8; any other is Windows-1252, where every
// byte is a character.
QString decodeLines(QByteArrayView bytes) {
  QString text;
  text.reserve(bytes.size());
  qsizetype start = 0;
  const auto line = [&](qsizetype end) {
    const QByteArrayView piece = bytes.sliced(start, end - start);
    bool valid = false;
    const QString utf8 = decode(QStringConverter::Utf8, piece, &valid);
    text += valid ? utf8 : fromWindows1252(piece);
  };
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c != '\r' && c != '\n') continue;
    line(i);
    text += QLatin1Char(c);
    start = i + 1;
  }
  line(bytes.size());
  return text;
}

// A character no line of a playlist holds: a control character other than
// the tab (C0, DEL and C1).
bool isControl(QChar c) {
  const char16_t u = c.unicode();
  return (u < 0x20 && u != u'\t' && u != u'\r' && u != u'\n') || (u >= 0x7F && u < 0xA0);
}

// Whether the text is mostly no text: more of its lines hold control
// characters than do not. Random or compressed bytes hold a control
// character in nearly every line; a list with a stray bad line does not.
bool mostlyNoText(const QString& text) {
  qsizetype textLines = 0, otherLines = 0;
  bool inLine = false, control = false;
  const auto endLine = [&] {
    if (inLine) ++(control ? otherLines : textLines);
    inLine = control = false;
  };
  for (const QChar c : text) {
    if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
      endLine();
      continue;
    }
    inLine = true;
    control = control || isControl(c);
  }
  endLine();
  return otherLines > textLines;
}

}  // namespace

QString decodeText(const QByteArray& bytes, bool* binary) {
  QByteArrayView view(bytes);
  QString text;
  if (view.startsWith("\xFF\xFE")) {
    text = decode(QStringConverter::Utf16LE, view.sliced(2), nullptr);
  } else if (view.startsWith("\xFE\xFF")) {
    text = decode(QStringConverter::Utf16BE, view.sliced(2), nullptr);
  } else {
    if (view.startsWith("\xEF\xBB\xBF")) view = view.sliced(3);
    text = decodeLines(view);
  }
  // A zero ends the text; zeros that only pad its end are no sign of a
  // binary file.
  const qsizetype zero = text.indexOf(QChar(0));
  bool isBinary = false;
  if (zero >= 0) {
    for (qsizetype i = zero; i < text.size() && !isBinary; ++i) isBinary = !text.at(i).isNull();
    text.truncate(zero);
  }
  if (binary) *binary = isBinary || mostlyNoText(text);
  return text;
}

QStringList splitLines(const QString& text) {
  QStringList lines;
  const QChar* p = text.constData();
  const qsizetype n = text.size();
  // A byte order mark at the start of a line is that of a list joined onto
  // another one ("cat a.m3u b.m3u"), no part of the path: kept, it would
  // make the path point nowhere, and a saved list would lose it again.
  const auto line = [&text](qsizetype from, qsizetype length) {
    if (length > 0 && text.at(from) == QChar(0xFEFF)) ++from, --length;
    return text.mid(from, length);
  };
  qsizetype start = 0;
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = p[i];
    if (c != QLatin1Char('\r') && c != QLatin1Char('\n')) continue;
    lines.append(line(start, i - start));
    if (c == QLatin1Char('\r') && i + 1 < n && p[i + 1] == QLatin1Char('\n')) ++i;
    start = i + 1;
  }
  if (start < n) lines.append(line(start, n - start));
  return lines;
}

ReadResult parseQdp(const QByteArray& bytes) { return readQdpText(decodeText(bytes)); }

ReadResult readQdpText(const QString& text) {
  ReadResult r;
  const QStringList lines = splitLines(text);
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString& s = lines.at(i);
    const int number = int(i + 1);
    if (s.isEmpty()) continue;
    if (tooLong(s))
      skip(r, number, s, SkipReason::TooLong);
    else if (hasControl(s))
      skip(r, number, s, SkipReason::NotText);
    else if (!isMp3(s))
      skip(r, number, s, SkipReason::NotMp3);
    else
      r.entries.append(normalisedPath(s));
  }
  return r;
}

ReadResult parseM3u(const QByteArray& bytes, const M3uPlace& place) {
  return readM3uText(decodeText(bytes), place);
}

ReadResult readM3uText(const QString& text, const M3uPlace& place) {
  ReadResult r;
  const QStringList lines = splitLines(text);
  const QString root = place.volumeRoot.isEmpty() ? QStringLiteral("/") : place.volumeRoot;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const QString s = lines.at(i).trimmed();
    const int number = int(i + 1);
    if (s.isEmpty() || s.startsWith(QLatin1Char('#'))) continue;
    if (tooLong(s)) {
      skip(r, number, s, SkipReason::TooLong);
      continue;
    }
    if (hasControl(s)) {
      skip(r, number, s, SkipReason::NotText);
      continue;
    }
    QString path;
    if (s.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
      if (const auto reason = fileUrlPath(s, path)) {
        skip(r, number, s, *reason);
        continue;
      }
      // "%0A" or "%00" decode to characters no path of a playlist may hold:
      // a saved list would split the entry, and a zero cuts the name short.
      if (hasControl(path)) {
        skip(r, number, s, SkipReason::NotText);
        continue;
      }
      if (path.startsWith(QLatin1Char('/'))) path = normalisedPath(path);
    } else if (isWebAddress(s)) {
      skip(r, number, s, SkipReason::WebAddress);
      continue;
    } else {
      path = s;
      path.replace(QLatin1Char('\\'), QLatin1Char('/'));
      if (path.startsWith(QLatin1String("//"))) {
        skip(r, number, s, SkipReason::NetworkPath);
        continue;
      }
      if (isDrivePath(path)) {
        skip(r, number, s, SkipReason::DrivePath);
        continue;
      }
      if (path.startsWith(QLatin1Char('/'))) {
        // Relative to the root of the list's volume, as a drive root was;
        // a path that is not there is taken as it stands.
        const QString onVolume = normalisedPath(root + path);
        const bool there = root != QLatin1String("/") &&
                           (place.exists ? place.exists(onVolume) : fs::fileExists(onVolume));
        path = there ? onVolume : normalisedPath(path);
      }
    }
    if (!path.startsWith(QLatin1Char('/')))
      path = normalisedPath(place.folder + QLatin1Char('/') + path);
    // A decoded file address may hold control characters, and a path made
    // whole may grow too long: the console's own playlist could not keep
    // such an entry, so it is skipped here as it would be there.
    if (hasControl(path)) {
      skip(r, number, s, SkipReason::NotText);
      continue;
    }
    if (tooLong(path)) {
      skip(r, number, s, SkipReason::TooLong);
      continue;
    }
    if (!isMp3(path)) {
      skip(r, number, s, SkipReason::NotMp3);
      continue;
    }
    r.entries.append(path);
  }
  return r;
}

QByteArray qdpBytes(const QStringList& entries) {
  QByteArray out;
  // A first entry that begins with U+FEFF would lose it to the reader, which
  // takes it for a byte order mark: a mark of its own keeps it.
  if (!entries.isEmpty() && entries.first().startsWith(QChar(0xFEFF))) out = "\xEF\xBB\xBF";
  for (const QString& e : entries) {
    out += e.toUtf8();
    out += "\r\n";
  }
  return out;
}

QString normalisedPath(const QString& path) {
  if (!path.startsWith(QLatin1Char('/'))) return QDir::cleanPath(path);
  // As the system resolves a path: ".." at the root stays at the root.
  QStringList parts;
  for (const QStringView part : QStringView(path).split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == u".") continue;
    if (part == u"..") {
      if (!parts.isEmpty()) parts.removeLast();
      continue;
    }
    parts << part.toString();
  }
  return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

QString convertedName(const QString& m3uPath) {
  const qsizetype slash = m3uPath.lastIndexOf(QLatin1Char('/'));
  const qsizetype dot = m3uPath.lastIndexOf(QLatin1Char('.'));
  const QString stem = dot > slash ? m3uPath.left(dot) : m3uPath;
  return stem + QStringLiteral(".qdp");
}

QString volumeRootOf(const QString& path, const QStringList& mountPoints) {
  QString best = QStringLiteral("/");
  for (const QString& m : mountPoints) {
    if (m.size() <= best.size() || m == QLatin1String("/")) continue;
    if (path == m || (path.startsWith(m) && path.at(m.size()) == QLatin1Char('/'))) best = m;
  }
  return best;
}

}  // namespace qdl::playlist
