#include "platform/analysis/Overview.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

#include "platform/mp3/Decoder.h"

namespace qdl::analysis {
namespace {

constexpr char kVersion = 1;
constexpr int kHeaderBytes = 6;
// A day of audio: more bins than that is a damaged row, not a song.
constexpr std::uint32_t kMostBins = 24u * 3600u * Overview::kBinsPerSecond;
// A part shorter than this is not worth a thread of its own.
constexpr std::int64_t kShortestPartSeconds = 20;
constexpr int kNice = 10;

std::uint8_t level(double value) {
  return std::uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255.0));
}

// Decodes sample frames [from, to) of the file into `builder`; false when
// the file cannot be opened or the decode was cancelled.
bool decodePart(const std::string& path, std::int64_t from, std::int64_t to,
                const tempo::CancelCheck& cancelled, OverviewBuilder& builder) {
  mp3::Decoder decoder;
  std::string reason;
  if (cancelled && cancelled()) return false;
  if (!decoder.open(path, reason)) return false;
  const mp3::OutputInfo& out = decoder.output();
  builder.start(out.sampleRate, out.channels);
  to = std::min(to, decoder.input().totalSamples);
  if (from > 0 && !decoder.seekToSample(from)) return false;
  while (decoder.position() < to) {
    if (cancelled && cancelled()) return false;
    const std::int64_t at = decoder.position();
    if (decoder.decode() != mp3::DecodeStatus::Ok) break;
    const std::int64_t frames = std::min<std::int64_t>(out.samplesPerFrame, to - at);
    builder.add(reinterpret_cast<const std::int16_t*>(decoder.frame()), std::size_t(frames));
  }
  return true;
}

}  // namespace

std::vector<Column> columns(const Overview& overview, int width, double seconds) {
  std::vector<Column> result;
  if (width < 1 || !(seconds > 0)) return result;
  result.resize(std::size_t(width));
  const double binsPerColumn = seconds * overview.binsPerSecond / width;
  const auto bins = std::int64_t(overview.bins());
  for (int c = 0; c < width; ++c) {
    const auto first = std::int64_t(std::floor(c * binsPerColumn));
    const auto end = std::max(first + 1, std::int64_t(std::ceil((c + 1) * binsPerColumn)));
    int peak = 0;
    double squares = 0;
    for (std::int64_t b = first; b < std::min(end, bins); ++b) {
      peak = std::max<int>(peak, overview.peak[std::size_t(b)]);
      const double r = overview.rms[std::size_t(b)] / 255.0;
      squares += r * r;
    }
    result[std::size_t(c)] = {float(peak / 255.0), float(std::sqrt(squares / double(end - first)))};
  }
  return result;
}

QByteArray encode(const Overview& overview) {
  const auto bins = std::uint32_t(overview.bins());
  QByteArray bytes;
  bytes.reserve(kHeaderBytes + 2 * int(bins));
  bytes.append(kVersion);
  bytes.append(char(overview.binsPerSecond));
  for (int shift = 0; shift < 32; shift += 8) bytes.append(char((bins >> shift) & 0xFF));
  bytes.append(reinterpret_cast<const char*>(overview.peak.data()), qsizetype(bins));
  bytes.append(reinterpret_cast<const char*>(overview.rms.data()), qsizetype(bins));
  return bytes;
}

std::optional<Overview> decode(const QByteArray& bytes) {
  if (bytes.size() < kHeaderBytes || bytes[0] != kVersion) return std::nullopt;
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
  std::uint32_t bins = 0;
  for (int i = 0; i < 4; ++i) bins |= std::uint32_t(data[2 + i]) << (8 * i);
  if (data[1] == 0 || bins > kMostBins || qsizetype(bins) * 2 + kHeaderBytes != bytes.size())
    return std::nullopt;
  Overview o;
  o.binsPerSecond = data[1];
  o.peak.assign(data + kHeaderBytes, data + kHeaderBytes + bins);
  o.rms.assign(data + kHeaderBytes + bins, data + kHeaderBytes + 2 * bins);
  for (std::uint32_t b = 0; b < bins; ++b)
    if (o.rms[b] > o.peak[b]) return std::nullopt;
  return o;
}

void OverviewBuilder::start(int sampleRate, int channels) {
  sampleRate_ = std::max(sampleRate, 1);
  channels_ = std::max(channels, 1);
}

OverviewBuilder::Bin& OverviewBuilder::binAt(std::int64_t index) {
  if (firstBin_ < 0) firstBin_ = index;
  const auto i = std::size_t(index - firstBin_);
  if (i >= bins_.size()) bins_.resize(i + 1);
  return bins_[i];
}

void OverviewBuilder::add(const std::int16_t* pcm, std::size_t frames) {
  if (sampleRate_ == 0) return;  // no start(): nothing to place the samples by
  constexpr double kScale = 1.0 / 32768.0;
  std::size_t done = 0;
  while (done < frames) {
    // The frames up to the end of the bin the next one falls in.
    const std::int64_t index = frame_ * Overview::kBinsPerSecond / sampleRate_;
    const std::int64_t binEnd =
        ((index + 1) * sampleRate_ + Overview::kBinsPerSecond - 1) / Overview::kBinsPerSecond;
    const auto n =
        std::size_t(std::min<std::int64_t>(binEnd - frame_, std::int64_t(frames - done)));
    Bin& bin = binAt(index);
    const std::int16_t* s = pcm + done * std::size_t(channels_);
    // Whole numbers: the loop vectorises, and a bin's squares (at most
    // 2^30 each) fit an int64 many times over.
    int peak = bin.peak;
    std::int64_t squares = 0;
    for (std::size_t k = 0; k < n * std::size_t(channels_); ++k) {
      const int v = s[k];
      peak = std::max(peak, v < 0 ? -v : v);
      squares += v * v;
    }
    bin.peak = peak;
    bin.sumSquares += double(squares) * kScale * kScale;
    bin.samples += std::int64_t(n) * channels_;
    done += n;
    frame_ += std::int64_t(n);
  }
}

void OverviewBuilder::merge(const OverviewBuilder& later) {
  for (std::size_t i = 0; i < later.bins_.size(); ++i) {
    const Bin& from = later.bins_[i];
    if (from.samples == 0) continue;
    Bin& to = binAt(later.firstBin_ + std::int64_t(i));
    to.peak = std::max(to.peak, from.peak);
    to.sumSquares += from.sumSquares;
    to.samples += from.samples;
  }
  frame_ = std::max(frame_, later.frame_);
}

Overview OverviewBuilder::result() const {
  Overview o;
  // Bins before the first one added (a builder of a later part) are silent.
  const std::size_t lead = firstBin_ > 0 ? std::size_t(firstBin_) : 0;
  o.peak.assign(lead + bins_.size(), 0);
  o.rms.assign(lead + bins_.size(), 0);
  for (std::size_t i = 0; i < bins_.size(); ++i) {
    const Bin& b = bins_[i];
    const std::uint8_t peak = level(b.peak / 32768.0);
    const double rms = b.samples > 0 ? std::sqrt(b.sumSquares / double(b.samples)) : 0.0;
    o.peak[lead + i] = peak;
    o.rms[lead + i] = std::min(level(rms), peak);
  }
  return o;
}

std::optional<Overview> overviewOfFile(const std::string& path, const tempo::CancelCheck& cancelled,
                                       int parts) {
  std::int64_t total = 0;
  int rate = 0;
  {
    // The length decides the parts; each part's decoder opens on its own.
    mp3::Decoder probe;
    std::string reason;
    if (cancelled && cancelled()) return std::nullopt;
    if (!probe.open(path, reason)) return std::nullopt;
    total = probe.input().totalSamples;
    rate = probe.output().sampleRate;
  }
  parts = int(std::clamp<std::int64_t>(
      parts, 1, std::max<std::int64_t>(1, total / (rate * kShortestPartSeconds))));
  std::vector<OverviewBuilder> builders;
  builders.reserve(std::size_t(parts));
  for (int p = 0; p < parts; ++p) builders.emplace_back(total * p / parts);
  std::atomic<bool> failed = false;
  const tempo::CancelCheck stop = [&] { return failed.load() || (cancelled && cancelled()); };
  const auto run = [&](int p) {
    const bool ok = decodePart(path, total * p / parts, total * (p + 1) / parts, stop,
                               builders[std::size_t(p)]);
    if (!ok) failed = true;
  };
  std::vector<std::thread> helpers;
  for (int p = 1; p < parts; ++p)
    helpers.emplace_back([&run, p] {
      lowerCurrentThreadPriority();
      run(p);
    });
  run(0);
  for (std::thread& t : helpers) t.join();
  if (failed || (cancelled && cancelled())) return std::nullopt;
  for (int p = 1; p < parts; ++p) builders[0].merge(builders[std::size_t(p)]);
  return builders[0].result();
}

void lowerCurrentThreadPriority() { setpriority(PRIO_PROCESS, id_t(gettid()), kNice); }

}  // namespace qdl::analysis
