#pragma once
// The loudness the library knows of a song, kept in the record's row of the
// loudness table (Table::loudness) in one of three kinds:
//
// - measured by the analysis: EBU R128 integrated loudness and true peak;
// - measured and found silent (or no audio): the row holds -infinity as its
//   loudness, so the analysis does not decode the song again, and the song
//   has no loudness (auto-gain leaves it as it is);
// - taken from the file's ReplayGain 2.0 tags at scan: loudness
//   -18 - REPLAYGAIN_TRACK_GAIN LUFS, the peak from REPLAYGAIN_TRACK_PEAK
//   (a sample peak; 0 dBFS when the tag is missing). Such a row holds its
//   peak raised by kReplayGainMark dB, far above any peak a song can have:
//   the analysis measures the song and replaces the row, and a scan never
//   replaces a measured row by tags.
//
// Everything here runs on the user-interface thread, as the table does.

#include <QtGlobal>
#include <optional>

#include "platform/loudness/Loudness.h"

namespace qdl {
class IniFile;
}
namespace qdl::db {
class Table;
}

namespace qdl::library {

inline constexpr double kReplayGainMark = 1000.0;

struct SongLoudness {
  loudness::Level level;
  bool fromReplayGain = false;  // from the tags, not measured yet
};

// The song's loudness; nullopt when none is known (no row, silent, or a
// library without the loudness table). Throws DbError as the table does.
std::optional<SongLoudness> songLoudness(const db::Table& table, qint64 key);
// Whether the analysis still has to measure the song: no row, or one taken
// from ReplayGain tags.
bool loudnessToMeasure(const db::Table& table, qint64 key);
// Stores what the analysis measured (nullopt: silent or no audio) over any
// row the record has. False when no record has that key.
bool storeMeasuredLoudness(db::Table& table, qint64 key,
                           const std::optional<loudness::Level>& level);
// Stores a loudness from ReplayGain tags (track gain in dB, the track peak
// as a linear sample peak, 1.0 full scale, when the tag was there) unless
// the record has a measured one; replaces one from tags. Values that are
// no number, a gain outside -51..+51 dB or a peak not above 0 are ignored.
// True when it stored.
bool storeReplayGain(db::Table& table, qint64 key, double trackGainDb,
                     std::optional<double> trackPeak);

// The gain auto-gain applies to a song at `referenceLufs` (see
// loudness::autoGainDb); nullopt without a loudness.
std::optional<double> songGainDb(const std::optional<SongLoudness>& loudness, double referenceLufs);

// The auto-gain's settings in qdl.ini: [AutoGain] On (1 or 0) and
// Reference (LUFS).
inline constexpr const char* kAutoGainSection = "AutoGain";
inline constexpr const char* kAutoGainOnKey = "On";
inline constexpr const char* kAutoGainReferenceKey = "Reference";
// The reference loudness the settings set: a number from -40 to 0 LUFS
// (a point as the decimal separator); -14 when missing or anything else.
double referenceLoudnessSetting(const IniFile& settings);

}  // namespace qdl::library
