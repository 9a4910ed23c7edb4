#pragma once
// Playlist files without a window: the own format ".qdp" and the import of
// ".m3u"/".m3u8" lists written by other players.
//
// A ".qdp" file holds one full MP3 path per line, each line ending in CR LF,
// written as UTF-8 without a byte order mark; an empty playlist is an empty
// file. Both formats are read the same way: a UTF-8 byte order mark is
// dropped, a UTF-16 file with its byte order mark (either order) is read as
// UTF-16, and otherwise each line is read as UTF-8 when it is valid UTF-8
// and as Windows-1252 when it is not; lines end at CR LF, a lone CR or a
// lone LF (a last line without an end counts). Entries are normalised (see
// normalisedPath).
//
// Lines that cannot name an MP3 file here are skipped and reported with a
// reason (SkippedLine); empty lines and M3U comment lines are skipped
// without a report. The parse functions take the file's bytes, so they can
// be fed anything; they never fail.
//
// Everything here needs Qt Core only. Paths are absolute Linux paths unless
// a ".qdp" line says otherwise (its lines are taken as they stand).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/fs/SafeWrite.h"

namespace qdl::playlist {

enum class Format { Qdp, M3u };

// The format a file name's extension names (".qdp", ".m3u", ".m3u8", any
// letter case); nothing for any other name.
std::optional<Format> formatOf(const QString& fileName);

// Why a line gave no entry.
enum class SkipReason {
  WebAddress,   // http:, https:, a stream or any other non-file URL
  DrivePath,    // a Windows drive path such as C:\Music\song.mp3
  NetworkPath,  // \\server\share\..., or a file:// URL naming another host
  NotMp3,       // the path does not end in ".mp3"
  TooLong,      // longer than any path the system can open
  NotText,      // holds control characters: not a line of text
};

struct SkippedLine {
  int line = 0;  // 1-based line number in the file
  QString text;  // the line as read (cut to 200 characters)
  SkipReason reason = SkipReason::NotMp3;
  bool operator==(const SkippedLine&) const = default;
};

struct ReadResult {
  QStringList entries;  // full paths in file order; duplicates kept
  QList<SkippedLine> skipped;
};

// The English name of a reason, for the command line.
const char* reasonName(SkipReason reason);

// Decodes a playlist file's bytes as described above. Sets *binary when the
// text holds a zero character before its end (trailing zeros are padding),
// or when more of its lines hold control characters than do not, which no
// playlist does: the bytes are some other kind of file.
QString decodeText(const QByteArray& bytes, bool* binary = nullptr);

// Splits at CR LF, lone CR and lone LF. A line end after the last line adds
// no empty line; text without any line end is one line; "" gives none.
QStringList splitLines(const QString& text);

// The entries of a ".qdp" file: every line, normalised, except empty lines
// (skipped) and lines that cannot be an MP3 path (reported).
ReadResult parseQdp(const QByteArray& bytes);

// Where an M3U file lies, for resolving its paths.
struct M3uPlace {
  QString folder;      // absolute folder of the .m3u file
  QString volumeRoot;  // mount point of the volume holding it ("/" at least)
  // Whether a file exists at an absolute path; the root-relative rule asks
  // it. Defaults to the file system.
  std::function<bool(const QString&)> exists;
};

// The entries of an M3U file. Lines beginning with "#" and blank lines are
// skipped. Blanks around a line are dropped and "\" is read as "/". A path
// beginning with "/" is taken on the volume holding the list when it exists
// there, else as an absolute path; a relative path ("./", "../" too) is
// taken from the list's folder; file:// URLs become local paths with their
// %-escapes decoded. Other URLs, drive paths and network paths are skipped
// and reported, as are paths that do not end in ".mp3".
ReadResult parseM3u(const QByteArray& bytes, const M3uPlace& place);

// The same two on text already decoded.
ReadResult readQdpText(const QString& text);
ReadResult readM3uText(const QString& text, const M3uPlace& place);

// The bytes of a ".qdp" file holding `entries`.
QByteArray qdpBytes(const QStringList& entries);

// `path` without ".", "..", and doubled or trailing slashes, so that one
// file has one name in the library: "/a/./b//../c.mp3" is "/a/c.mp3", and
// ".." at the root stays there ("/../x.mp3" is "/x.mp3"), as the system
// resolves it. A relative path keeps the ".." it begins with. Links are not
// resolved: the library names files by the paths they were found under.
QString normalisedPath(const QString& path);

// The ".qdp" file an import of `m3uPath` writes: the same folder and base
// name with the extension ".qdp".
QString convertedName(const QString& m3uPath);

// The mount point of the volume holding `path` (absolute), chosen from
// `mountPoints` as the longest one that contains it; "/" when none does.
QString volumeRootOf(const QString& path, const QStringList& mountPoints);

// ---- Files

// Why a playlist file could not be read.
enum class ReadError {
  None,
  NotFound,    // no such file
  IsFolder,    // a folder was chosen
  NotRegular,  // a pipe, a device, a socket
  TooLarge,    // larger than kMaxFileBytes
  Unreadable,  // permission denied, I/O error (detail says which)
  Binary,      // not text (see decodeText)
};

// Playlists larger than this are refused: 16 MiB hold well over 100,000
// entries, and anything bigger is no playlist a console should load.
inline constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

struct FileResult {
  ReadError error = ReadError::None;
  QString detail;   // the system's reason for Unreadable; the size for TooLarge
  ReadResult read;  // empty unless error is None
  Format format = Format::Qdp;
};

// Reads the playlist at `path` in the format its extension names (the
// caller checked it with formatOf). Opens regular files only, without
// blocking on a pipe, and never reads more than kMaxFileBytes.
// `mountPoints` serve the root-relative rule of M3U files.
FileResult readPlaylistFile(const QString& path, const QStringList& mountPoints);

// The raw bytes of a regular file of at most kMaxFileBytes; on failure the
// error and, for Unreadable, the system's reason in `detail`.
ReadError readFileBytes(const QString& path, QByteArray& bytes, QString& detail);

// Writes a ".qdp" file atomically (an existing file is replaced only once
// the new one is complete, and only when it is a text file; with
// Replace::Never not at all). Returns an empty string on success, else the
// reason.
QString writeQdp(const QString& path, const QStringList& entries,
                 fs::Replace replace = fs::Replace::Allowed);

}  // namespace qdl::playlist
