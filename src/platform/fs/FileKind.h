#pragma once
// What kind of file a few bytes from its start show: MPEG audio, an SQLite
// database, text. Used to refuse writing an output over a file of another
// kind and to refuse reading what is not a playlist or a tag's file.

#include <QByteArray>
#include <QString>

namespace qdl::fs {

// How much of a file's start the tests below read.
constexpr int kFileKindProbeBytes = 64 * 1024;

// Reads up to `size` bytes from the start of the regular file at `path`
// (opened without blocking: a pipe or device is never read). Returns 0, or
// the errno of the failure (EINVAL for something that is not a regular file).
int readFileHead(const QString& path, QByteArray& head, int size);

// Whether the bytes at the start of a file are MPEG audio: an ID3v2 header,
// or an MPEG audio frame header followed by another one (or by the end of
// the audio) within the bytes given. `fileSize` is the whole file's size.
bool looksLikeMpegAudio(const QByteArray& head, qint64 fileSize);

// The byte length of the MPEG audio frame whose header starts at p (four
// bytes), or 0 when they are no valid header (free-format frames count as
// none).
int mpegFrameLength(const unsigned char* p);

// Whether the bytes begin with SQLite's file header.
bool looksLikeSqlite(const QByteArray& head);
// looksLikeSqlite of the file at `path`; false when it cannot be read.
bool fileStartsLikeSqlite(const QString& path);

// Whether the bytes are text: no zero byte, and control characters other
// than tab, line and page breaks and escape make at most one in a hundred.
// Bytes of 0x80 and above count as text (UTF-8 or a single-byte code page).
bool looksLikeText(const QByteArray& head);

// Whether text looks like a settings file: empty, blank, or holding a
// section line "[...]".
bool looksLikeSettings(const QByteArray& head);

}  // namespace qdl::fs
