#include "library/SongLoudness.h"

#include <cmath>
#include <limits>

#include "platform/db/Table.h"
#include "platform/ini/IniFile.h"

namespace qdl::library {

namespace {
constexpr double kMaxTagGainDb = 51.0;
bool isReplayGainRow(const db::Table::Loudness& row) { return row.truePeak >= kReplayGainMark / 2; }
}  // namespace

std::optional<SongLoudness> songLoudness(const db::Table& table, qint64 key) {
  const std::optional<db::Table::Loudness> row = table.loudness(key);
  if (!row || !std::isfinite(row->integrated)) return std::nullopt;
  SongLoudness s;
  s.level.integrated = row->integrated;
  s.fromReplayGain = isReplayGainRow(*row);
  s.level.truePeak = s.fromReplayGain ? row->truePeak - kReplayGainMark : row->truePeak;
  return s;
}

bool loudnessToMeasure(const db::Table& table, qint64 key) {
  const std::optional<db::Table::Loudness> row = table.loudness(key);
  return !row || isReplayGainRow(*row);
}

bool storeMeasuredLoudness(db::Table& table, qint64 key,
                           const std::optional<loudness::Level>& level) {
  db::Table::Loudness row;
  if (level && std::isfinite(level->integrated)) {
    row.integrated = level->integrated;
    // A peak too high to be real would read as the tags' mark.
    row.truePeak = std::min(level->truePeak, kReplayGainMark / 4);
  } else {
    row.integrated = -std::numeric_limits<double>::infinity();
    row.truePeak = -std::numeric_limits<double>::infinity();
  }
  return table.setLoudness(key, row);
}

bool storeReplayGain(db::Table& table, qint64 key, double trackGainDb,
                     std::optional<double> trackPeak) {
  if (!std::isfinite(trackGainDb) || std::abs(trackGainDb) > kMaxTagGainDb) return false;
  double peakDb = 0;
  if (trackPeak) {
    if (!std::isfinite(*trackPeak) || *trackPeak <= 0) return false;
    peakDb = 20.0 * std::log10(*trackPeak);
  }
  if (!loudnessToMeasure(table, key)) return false;
  return table.setLoudness(
      key, {loudness::kReplayGainReferenceLufs - trackGainDb, peakDb + kReplayGainMark});
}

std::optional<double> songGainDb(const std::optional<SongLoudness>& loudness,
                                 double referenceLufs) {
  if (!loudness) return std::nullopt;
  return loudness::autoGainDb(loudness->level, referenceLufs);
}

double referenceLoudnessSetting(const IniFile& settings) {
  constexpr double kLowest = -40.0, kHighest = 0.0;
  bool ok = false;
  const double reference = settings
                               .readString(QLatin1String(kAutoGainSection),
                                           QLatin1String(kAutoGainReferenceKey), QString())
                               .toDouble(&ok);
  if (!ok || !std::isfinite(reference) || reference < kLowest || reference > kHighest)
    return loudness::kDefaultReferenceLufs;
  return reference;
}

}  // namespace qdl::library
