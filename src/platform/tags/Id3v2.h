#pragma once
// The ID3v2 tag at the start of an MP3 file (versions 2.2, 2.3 and 2.4),
// read into the song library's fields.
//
// Only the tag's own bytes are read: the 10-byte header says how long the
// tag is, and no more than that (and never more than the file holds or
// kMaxTagBytes) is read and parsed from memory. The parse walks the frames
// and decodes only the text frames the library has fields for; cover art and
// every other frame are stepped over without being copied, compressed or
// encrypted frames are skipped, and a damaged tag gives whatever its intact
// frames say. Nothing here throws, and every loop ends at the end of the
// bytes it was given.
//
// Mapping (texts trimmed, then cut to the field's width in characters at a
// character boundary, never inside a surrogate pair or before a combining
// mark):
//   interpret  TPE1 / TP1, several values joined with " / "  (30)
//   titel      TIT2 / TT2                                    (30)
//   jahr       the first four digits of TDRC, else TYER / TYE (4)
//   genre      TCON / TCO: the first value; a numeric reference such as
//              "17", "(17)" or "(17)Rock" becomes the ID3v1 genre name,
//              "(RX)" "Remix" and "(CR)" "Cover"                (10)
//   beats      TBPM / TBP rounded to the nearest integer when that is a
//              number from 1 to 999, else none
// and beside the fields the ReplayGain 2.0 track values of the user text
// frames (TXXX / TXX) REPLAYGAIN_TRACK_GAIN ("-6.54 dB") and
// REPLAYGAIN_TRACK_PEAK ("0.988525"), descriptions in any case, the first
// of each counting.
// Text encodings: Latin-1 (read as Windows-1252, as the ID3v1 texts are),
// UTF-16 with a byte-order mark or without one (the order then guessed from
// the bytes), UTF-16BE and UTF-8.

#include <QByteArray>
#include <QString>
#include <optional>

namespace qdl::tags {

// What a file's ID3v2 tag says of the library's fields, already mapped as
// above (trimmed, cut to the fields' widths). Empty where the tag lacks the
// field.
struct V2Fields {
  bool present = false;  // the file starts with an ID3v2 tag that could be read
  int major = 0;         // 2, 3 or 4
  QString interpret, titel, jahr, genre;
  std::optional<int> beats;          // TBPM, rounded, 1..999
  std::optional<double> replayGain;  // REPLAYGAIN_TRACK_GAIN in dB, as written
  std::optional<double> replayPeak;  // REPLAYGAIN_TRACK_PEAK, linear (1.0 full scale)
};

// The most bytes of a tag that are read and parsed; a tag that declares more
// is read only this far (cover art of that size is rare, and the text frames
// come first in the tags that taggers write).
constexpr qint64 kMaxTagBytes = 16 * 1024 * 1024;

V2Fields readV2(const QString& path);          // never throws, never hangs on a damaged tag
V2Fields parseV2(const QByteArray& tagBytes);  // the whole tag, header included (fuzzable)

// The texts a song record takes from a file's tags.
struct SongTexts {
  QString interpret, titel, jahr, genre;
  std::optional<int> beats;
};

// The v2 fields over the v1 texts: what a record gets. A v2 value wins where
// it is not empty; the v1 value fills what v2 lacks.
SongTexts overV1(const V2Fields& v2, const SongTexts& v1);

// `text` cut to at most `width` UTF-16 units at a character boundary.
QString cutToWidth(const QString& text, int width);

// The field widths of the song table, in characters.
constexpr int kInterpretWidth = 30;
constexpr int kTitelWidth = 30;
constexpr int kGenreWidth = 10;
constexpr int kJahrWidth = 4;

}  // namespace qdl::tags
