#pragma once
// The song list as CSV: every record of the song table in its active order,
// each field as the table names it in the header line, then Loudness (the
// measured integrated loudness in LUFS with one decimal; empty when the
// song was not measured, also when only its ReplayGain tags are known),
// Gain (the auto-gain the console would apply at the reference loudness,
// one decimal, from the measurement or the tags; empty without either) and
// FirstBeat (the beat grid's first downbeat in seconds, three decimals;
// empty without a grid).
//
// Format: UTF-8 without a byte-order mark, comma-separated, lines ending in
// CR LF, a field quoted (its quotes doubled) when it holds a comma, a quote,
// a CR or an LF, as RFC 4180 says. Numbers use a point; a Boolean field is
// 1 or 0; an empty field is empty.

#include <QByteArray>
#include <QString>
#include <functional>

namespace qdl::db {
class Table;
}

namespace qdl::print {

// The names of the three columns after the record's fields.
inline constexpr const char* kCsvExtraColumns[] = {"Loudness", "Gain", "FirstBeat"};

// One field as RFC 4180 writes it.
QString csvField(const QString& text);
// The whole list. Throws DbError as the table does.
QByteArray songCsv(const db::Table& table, double referenceLufs);
// Writes songCsv to `path` through the safe writer (a file that is there is
// replaced only when it is a text file, and only once all was written); an
// empty text, or why it failed.
QString writeSongCsv(const db::Table& table, const QString& path, double referenceLufs);

}  // namespace qdl::print
