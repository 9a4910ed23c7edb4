#pragma once
// The envelope of a song for the decks' overview: peak and RMS level in bins
// of a fixed duration (1/20 s), so a picture of any width is drawn by
// merging bins; built from decoded PCM, kept in the song library as a few
// bytes per second, and read back.
//
// Levels are linear, 0 (silence) .. 1 (full scale), over all channels of a
// bin. A 5-minute song has 6,000 bins and takes 12 kB encoded.
//
// Threads: an OverviewBuilder belongs to the thread that feeds it;
// overviewOfFile() may run on any thread, several at once (each call has
// its own decoders). encode() and decode() are pure.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/tempo/Tempo.h"

namespace qdl::analysis {

struct Overview {
  static constexpr int kBinsPerSecond = 20;
  int binsPerSecond = kBinsPerSecond;
  // Per bin, level x 255 rounded (the RMS of a bin never exceeds its peak).
  std::vector<std::uint8_t> peak;
  std::vector<std::uint8_t> rms;

  std::size_t bins() const { return peak.size(); }
  bool empty() const { return peak.empty(); }
  double seconds() const { return double(bins()) / binsPerSecond; }
  bool operator==(const Overview&) const = default;
};

// One pixel column of a picture: the loudest peak and the RMS of the bins
// it covers, 0..1.
struct Column {
  float peak = 0;
  float rms = 0;
  bool operator==(const Column&) const = default;
};

// The overview drawn `width` columns wide over a song of `seconds`: column c
// covers the time from c x seconds / width to (c + 1) x seconds / width and
// merges every bin that time touches (at least the one it starts in), so a
// short peak is never lost between two columns. Time past the last bin is
// silent. Empty for a width below 1 or a length of 0.
std::vector<Column> columns(const Overview& overview, int width, double seconds);

// The bytes kept in the library: a version byte (1), the bins per second
// (one byte), the number of bins (4 bytes, little endian), then every
// peak, then every RMS, a byte each.
QByteArray encode(const Overview& overview);
// The overview of encoded bytes; nullopt for bytes of another version, of
// the wrong length or with an RMS above its peak (a damaged row).
std::optional<Overview> decode(const QByteArray& bytes);

// Builds an overview from the PCM of one decode, as another analysis of the
// tempo analysis's single pass, or fed by overviewOfFile().
class OverviewBuilder : public tempo::PcmSink {
 public:
  // `firstFrame`: the song's sample frame the first add() starts at (0 for
  // a whole song; a part of a song decoded on its own starts later).
  explicit OverviewBuilder(std::int64_t firstFrame = 0) : frame_(firstFrame) {}

  void start(int sampleRate, int channels) override;
  void add(const std::int16_t* pcm, std::size_t frames) override;

  // The overview of what was added (a partial last bin included).
  Overview result() const;
  // Takes in what `later` measured of a later part of the same song; the
  // two may share a bin at the seam.
  void merge(const OverviewBuilder& later);

 private:
  struct Bin {
    int peak = 0;           // largest absolute sample
    double sumSquares = 0;  // of the samples, normalized to full scale
    std::int64_t samples = 0;
  };
  Bin& binAt(std::int64_t index);

  int sampleRate_ = 0;
  int channels_ = 0;
  std::int64_t frame_ = 0;      // the song's frame the next add() starts at
  std::int64_t firstBin_ = -1;  // the song's bin of bins_[0]
  std::vector<Bin> bins_;
};

// Decodes the MP3 file at `path` with decoders of its own and returns its
// overview, split into `parts` stretches decoded at once on as many
// threads (the calling one and parts - 1 it starts at low priority).
// nullopt when the file cannot be read or `cancelled` said yes (asked
// before every decoded frame of every part).
std::optional<Overview> overviewOfFile(const std::string& path,
                                       const tempo::CancelCheck& cancelled = {}, int parts = 2);

// Puts the calling thread below the decks and the window: nice 10 (Linux
// gives each thread its own). Work for the screen, not the sound.
void lowerCurrentThreadPriority();

}  // namespace qdl::analysis
