#include "soak/SoakSongs.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <stdexcept>

#include "platform/mp3/Decoder.h"

namespace qdl::soak {
namespace {

// The generator's version: a change of the songs makes a new set.
constexpr int kVersion = 1;
const QString kManifest = QStringLiteral("songs-v%1-%2.tsv");

struct Recipe {
  int rate;
  int channels;
  double seconds;
  double level;      // of full scale
  double from[2];    // sweep start, Hz, per channel
  double to[2];      // sweep end
  QStringList lame;  // bit rate options
};

double uniform(std::mt19937& rng, double lo, double hi) {
  return lo + (hi - lo) * (double(rng()) / 4294967296.0);
}

Recipe recipeOf(int k) {
  std::mt19937 rng(std::uint32_t(7919 * k + 17));
  static const int rates[] = {44100, 44100, 44100, 48000, 32000, 22050};
  Recipe r{};
  r.rate = rates[rng() % 6];
  r.channels = r.rate == 22050 && rng() % 2 ? 1 : 2;
  r.seconds = std::round(uniform(rng, 20, 45) * 10) / 10;
  r.level = uniform(rng, 0.30, 0.62);
  for (int c = 0; c < 2; ++c) {
    r.from[c] = uniform(rng, 110, 720);
    r.to[c] = uniform(rng, 110, 720);
  }
  static const char* const bitRates[] = {"-b 128", "-b 192", "-b 320", "-V 2", "-V 5"};
  r.lame = QString::fromLatin1(bitRates[rng() % 5]).split(QLatin1Char(' '));
  return r;
}

// 16-bit PCM WAV of the recipe: per channel a linear sweep with continuous
// phase, raised-cosine fades of 30 ms at both ends.
QByteArray wavOf(const Recipe& r) {
  const auto frames = std::int64_t(r.seconds * r.rate);
  const int fade = r.rate * 3 / 100;
  QByteArray pcm(qsizetype(frames * r.channels * 2), '\0');
  auto* out = reinterpret_cast<std::int16_t*>(pcm.data());
  double phase[2] = {0, 0};
  for (std::int64_t i = 0; i < frames; ++i) {
    const double t = double(i) / double(frames);
    double g = r.level * 32767.0;
    if (i < fade) g *= 0.5 - 0.5 * std::cos(std::numbers::pi * double(i) / fade);
    if (frames - 1 - i < fade)
      g *= 0.5 - 0.5 * std::cos(std::numbers::pi * double(frames - 1 - i) / fade);
    for (int c = 0; c < r.channels; ++c) {
      out[i * r.channels + c] = std::int16_t(std::lround(g * std::sin(phase[c])));
      phase[c] += 2 * std::numbers::pi * (r.from[c] + (r.to[c] - r.from[c]) * t) / r.rate;
    }
  }
  QByteArray wav;
  auto put32 = [&wav](std::uint32_t v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
  auto put16 = [&wav](std::uint16_t v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
  wav += "RIFF";
  put32(std::uint32_t(36 + pcm.size()));
  wav += "WAVEfmt ";
  put32(16);
  put16(1);
  put16(std::uint16_t(r.channels));
  put32(std::uint32_t(r.rate));
  put32(std::uint32_t(r.rate * r.channels * 2));
  put16(std::uint16_t(r.channels * 2));
  put16(16);
  wav += "data";
  put32(std::uint32_t(pcm.size()));
  return wav + pcm;
}

// Decodes the song and measures what a deck is given.
void measure(const QString& path, SoakSong& s) {
  mp3::Decoder d;
  std::string reason;
  if (!d.open(QFile::encodeName(path).toStdString(), reason))
    throw std::runtime_error("soak song " + path.toStdString() + ": " + reason);
  s.rate = d.output().sampleRate;
  s.channels = d.output().channels;
  s.seconds = double(d.input().totalSamples) / s.rate;
  int before[2][2] = {{0, 0}, {0, 0}};  // the two samples before, per channel
  std::int64_t left = d.input().totalSamples;
  while (left > 0 && d.decode() == mp3::DecodeStatus::Ok) {
    const auto* x = reinterpret_cast<const std::int16_t*>(d.frame());
    const int n = int(std::min<std::int64_t>(left, d.output().samplesPerFrame));
    for (int i = 0; i < n; ++i)
      for (int c = 0; c < s.channels; ++c) {
        const int v = x[i * s.channels + c];
        s.peak = std::max(s.peak, std::abs(v));
        s.bend = std::max(s.bend, double(std::abs(v - 2 * before[c][1] + before[c][0])));
        before[c][0] = before[c][1];
        before[c][1] = v;
      }
    left -= n;
  }
  // The silence after the end.
  for (int c = 0; c < s.channels; ++c)
    s.bend = std::max(s.bend, double(std::abs(-2 * before[c][1] + before[c][0])));
}

std::vector<SoakSong> readManifest(const QString& path) {
  std::vector<SoakSong> songs;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return songs;
  QTextStream in(&f);
  while (!in.atEnd()) {
    const QStringList p = in.readLine().split(QLatin1Char('\t'));
    if (p.size() != 8) return {};
    songs.push_back({p[0], p[1], p[2], p[3].toInt(), p[4].toInt(), p[5].toDouble(), p[6].toInt(),
                     p[7].toDouble()});
  }
  return songs;
}

}  // namespace

std::vector<SoakSong> makeSongs(const QString& folder, int count) {
  QDir().mkpath(folder);
  const QString manifest = QDir(folder).filePath(kManifest.arg(kVersion).arg(count));
  std::vector<SoakSong> songs = readManifest(manifest);
  if (int(songs.size()) == count && std::all_of(songs.begin(), songs.end(), [&](const SoakSong& s) {
        return QFile::exists(QDir(folder).filePath(s.file));
      }))
    return songs;

  songs.clear();
  // Two encoders at a time.
  struct Job {
    QProcess process;
    QString wav;
  };
  std::vector<std::unique_ptr<Job>> running;
  auto finish = [&](Job& job) {
    job.process.waitForFinished(-1);
    QFile::remove(job.wav);
    if (job.process.exitStatus() != QProcess::NormalExit || job.process.exitCode() != 0)
      throw std::runtime_error("lame failed: " + job.process.readAllStandardError().toStdString());
  };
  for (int k = 0; k < count; ++k) {
    const Recipe r = recipeOf(k);
    SoakSong s;
    s.file = QStringLiteral("soak-%1.mp3").arg(k, 2, 10, QLatin1Char('0'));
    s.artist = QStringLiteral("Soak Artist %1").arg(k % 17);
    s.title = QStringLiteral("Sweep %1").arg(k);
    auto job = std::make_unique<Job>();
    job->wav = QDir(folder).filePath(s.file + QStringLiteral(".wav"));
    QFile wav(job->wav);
    if (!wav.open(QIODevice::WriteOnly) || wav.write(wavOf(r)) < 0)
      throw std::runtime_error("cannot write " + job->wav.toStdString());
    wav.close();
    QStringList args{QStringLiteral("--quiet"), QStringLiteral("--noreplaygain"),
                     QStringLiteral("--id3v1-only")};
    args << r.lame << QStringLiteral("--ta") << s.artist << QStringLiteral("--tt") << s.title
         << QStringLiteral("--ty") << QStringLiteral("2026") << job->wav
         << QDir(folder).filePath(s.file);
    job->process.start(QStringLiteral("lame"), args);
    if (!job->process.waitForStarted())
      throw std::runtime_error("lame cannot be started: install it (scripts/install-deps --test)");
    running.push_back(std::move(job));
    songs.push_back(s);
    if (running.size() == 2) {
      finish(*running.front());
      running.erase(running.begin());
    }
  }
  for (auto& job : running) finish(*job);
  for (SoakSong& s : songs) measure(QDir(folder).filePath(s.file), s);

  QSaveFile out(manifest);
  if (!out.open(QIODevice::WriteOnly)) throw std::runtime_error("cannot write the song list");
  QTextStream text(&out);
  for (const SoakSong& s : songs)
    text << s.file << '\t' << s.artist << '\t' << s.title << '\t' << s.rate << '\t' << s.channels
         << '\t' << s.seconds << '\t' << s.peak << '\t' << s.bend << '\n';
  text.flush();
  out.commit();
  return songs;
}

}  // namespace qdl::soak
