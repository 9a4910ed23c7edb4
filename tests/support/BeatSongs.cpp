#include "support/BeatSongs.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

namespace qdl::test {

namespace {

constexpr int kRate = 44100;  // everything is drawn and mixed at this rate

// Draws numbers from the song's seed with our own arithmetic on the raw
// generator output, so a set is the same with every standard library.
class Rng {
 public:
  explicit Rng(unsigned seed) : gen_(seed) {}
  double u() { return gen_() / 4294967296.0; }
  double range(double lo, double hi) { return lo + (hi - lo) * u(); }
  int pick(int n) { return int(u() * n); }
  bool chance(double p) { return u() < p; }
  double gauss() {
    const double a = std::max(u(), 1e-12), b = u();
    return std::sqrt(-2 * std::log(a)) * std::cos(2 * M_PI * b);
  }

 private:
  std::mt19937 gen_;
};

QString num(double v) { return QString::number(v, 'f', 4); }

// Runs a program; an empty text on success, else the reason.
QString run(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForStarted(-1)) return program + QStringLiteral(" cannot be started");
  p.waitForFinished(-1);
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
    return program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
  return {};
}

using Sound = std::vector<float>;

// One mono sound drawn by sox from the effects `fx` (starting with synth).
// `channels` > 1 lets synth draw several generators that are mixed down.
Sound draw(const QString& dir, const QStringList& fx, QString& error, int channels = 1) {
  const QString file = dir + QStringLiteral("/sound.f32");
  QStringList args{"-R",
                   "-c",
                   QString::number(channels),
                   "-r",
                   QString::number(kRate),
                   "-n",
                   "-c",
                   "1",
                   "-t",
                   "raw",
                   "-e",
                   "floating-point",
                   "-b",
                   "32",
                   file};
  args += fx;
  if (error.isEmpty()) error = run(QStringLiteral("sox"), args);
  if (!error.isEmpty()) return {};
  QFile f(file);
  if (!f.open(QIODevice::ReadOnly)) {
    error = QStringLiteral("cannot read ") + file;
    return {};
  }
  const QByteArray bytes = f.readAll();
  Sound s(bytes.size() / sizeof(float));
  std::memcpy(s.data(), bytes.constData(), s.size() * sizeof(float));
  return s;
}

// A drum pattern: one character per sixteenth of a bar, 'x' a hit, 'o' a
// quiet (ghost) hit, '.' nothing.
using Pattern = const char*;

struct Kit {
  Sound kick, snare, clap, hat, openHat, ride;
};

struct Part {
  const Sound* sound = nullptr;
  std::vector<Pattern> patterns;  // one is chosen per bar
  double gainDb = 0;
  double pan = 0;  // -1 left .. 1 right
  int main = 0;    // the song's own figure among the patterns
};

class Mixer {
 public:
  explicit Mixer(double seconds) : left_(size_t(seconds * kRate) + 1), right_(left_.size()) {}
  void add(const Sound& s, double at, double gain, double pan = 0) {
    const long start = std::lround(at * kRate);
    const double l = gain * std::sqrt((1 - pan) / 2) * M_SQRT2;
    const double r = gain * std::sqrt((1 + pan) / 2) * M_SQRT2;
    for (size_t i = 0; i < s.size(); ++i) {
      const long j = start + long(i);
      if (j < 0) continue;
      if (size_t(j) >= left_.size()) break;
      left_[j] += float(s[i] * l);
      right_[j] += float(s[i] * r);
    }
  }
  QByteArray interleaved() const {
    QByteArray out(int(left_.size() * 2 * sizeof(float)), Qt::Uninitialized);
    auto* p = reinterpret_cast<float*>(out.data());
    for (size_t i = 0; i < left_.size(); ++i) {
      p[2 * i] = left_[i];
      p[2 * i + 1] = right_[i];
    }
    return out;
  }

 private:
  std::vector<float> left_, right_;
};

double dbToGain(double db) { return std::pow(10.0, db / 20); }

struct StyleDrums {
  std::vector<Pattern> kick, snare, clap, hat, openHat, ride;
  double looseMs = 0;  // timing spread of a played groove
};

StyleDrums drumsOf(BeatStyle style, Rng& rng) {
  StyleDrums d;
  switch (style) {
    case BeatStyle::HipHop:
      d.kick = {"x.....x...x.....", "x..x......x.....", "x.....xx..x..x..",
                "x.x.......x.....", "x.......x.x.....", "x..x..x...x....."};
      d.snare = {"....x.......x...", "....x..o....x...", "....x.......x..o"};
      d.hat = rng.chance(0.5) ? std::vector<Pattern>{"x.x.x.x.x.x.x.x."}
                              : std::vector<Pattern>{"xoxoxoxoxoxoxoxo", "xoxoxoxoxoxox.x."};
      d.looseMs = rng.range(2, 7);
      break;
    case BeatStyle::Reggaeton:
      d.kick = {"x...x...x...x..."};
      d.snare = {"...x..x....x..x.", "...x..x....x..xo"};
      d.hat = {"x.x.x.x.x.x.x.x."};
      break;
    case BeatStyle::Pop:
      d.kick = {"x.......x.......", "x.......x.x.....", "x..x....x......."};
      d.snare = {"....x.......x...", "....x.......x.oo"};
      d.hat = {"x.x.x.x.x.x.x.x.", "x.x.x.x.x.x.x.xx"};
      d.looseMs = rng.range(2, 6);
      break;
    case BeatStyle::Disco:
      d.kick = {"x...x...x...x..."};
      d.snare = {"....x.......x..."};
      d.hat = {"xx.xxx.xxx.xxx.x"};
      d.openHat = {"..x...x...x...x."};
      d.looseMs = rng.range(0, 3);
      break;
    case BeatStyle::House:
      d.kick = {"x...x...x...x..."};
      d.clap = {"....x.......x..."};
      d.openHat = {"..x...x...x...x."};
      d.hat = {"xoooxoooxoooxooo", "oxoooxoooxoooxoo"};
      break;
    case BeatStyle::Techno:
      d.kick = {"x...x...x...x..."};
      if (rng.chance(0.5)) d.clap = {"....x.......x..."};
      d.openHat = {"..x...x...x...x."};
      d.ride = {"oooooooooooooooo"};
      break;
    case BeatStyle::Breaks:
      d.kick = {"x.........x.....", "x..x......x..x..", "x.x.......x....."};
      d.snare = {"....x.......x...", "....x..o.o..x..."};
      d.hat = {"xoxoxoxoxoxoxoxo"};
      d.looseMs = rng.range(0, 4);
      break;
    case BeatStyle::Trance:
      d.kick = {"x...x...x...x..."};
      d.clap = {"....x.......x..."};
      d.openHat = {"..x...x...x...x."};
      d.hat = {"oooooooooooooooo"};
      break;
    case BeatStyle::HardDance:
      d.kick = {"x...x...x...x..."};
      d.clap = {"....x.......x..."};
      d.hat = {"..x...x...x...x."};
      break;
    case BeatStyle::DrumAndBass:
      d.kick = {"x.........x.....", "x.........x..x..", "x.....x...x.....", "x.x.......x.....",
                "x.........xx...."};
      d.snare = {"....x.......x...", "....x..o....x...", "....x.......x.o."};
      d.hat = {"x.x.x.x.x.x.x.x.", "xoxoxoxoxoxoxoxo"};
      break;
  }
  return d;
}

bool fourToTheFloor(BeatStyle s) {
  return s == BeatStyle::Disco || s == BeatStyle::House || s == BeatStyle::Techno ||
         s == BeatStyle::Trance || s == BeatStyle::HardDance;
}

// The bass line's rhythm per style (one bar of sixteenths).
Pattern bassOf(BeatStyle style, Rng& rng) {
  switch (style) {
    case BeatStyle::House:
    case BeatStyle::Disco:
      return rng.chance(0.5) ? "..x...x...x...x." : "x.x.x.xxx.x.x.x.";
    case BeatStyle::Trance:
    case BeatStyle::HardDance:
      return ".xxx.xxx.xxx.xxx";
    case BeatStyle::Techno:
      return "..x...x...x...x.";
    case BeatStyle::DrumAndBass:
      return "x.........x.....";
    case BeatStyle::HipHop:
      return rng.chance(0.5) ? "x.....x...x....." : "x......x..x..x..";
    default:
      return rng.chance(0.5) ? "x.....x.x.....x." : "x...x...x...x...";
  }
}

}  // namespace

const char* styleName(BeatStyle style) {
  static const char* names[] = {"hiphop", "reggaeton", "pop",    "disco", "house",
                                "techno", "breaks",    "trance", "hard",  "dnb"};
  return names[int(style)];
}

QString BeatSong::name() const {
  return QStringLiteral("%1_%2bpm_s%3%4%5.mp3")
      .arg(QString::fromLatin1(styleName(style)), QString::number(bpm, 'f', 2))
      .arg(seed)
      .arg(swing > 0.5 ? QStringLiteral("_swing") : QString())
      .arg(introSeconds > 0 ? QStringLiteral("_intro") : QString());
}

std::vector<BeatSong> beatSongSet(int count, unsigned seed) {
  struct Span {
    BeatStyle style;
    double lo, hi;
  };
  static const Span spans[] = {
      {BeatStyle::HipHop, 70, 98},      {BeatStyle::Reggaeton, 88, 102},
      {BeatStyle::Pop, 96, 140},        {BeatStyle::Disco, 108, 126},
      {BeatStyle::House, 118, 130},     {BeatStyle::Techno, 124, 142},
      {BeatStyle::Breaks, 124, 140},    {BeatStyle::Trance, 134, 146},
      {BeatStyle::HardDance, 145, 160}, {BeatStyle::DrumAndBass, 160, 180}};
  Rng rng(seed);
  std::vector<BeatSong> set;
  for (int i = 0; i < count; ++i) {
    BeatSong s;
    // Stratified over 70..180 so the whole range is covered evenly.
    double bpm = 70 + (i + rng.u()) * 110.0 / count;
    const int kind = rng.pick(6);
    bpm = kind < 2   ? std::round(bpm)
          : kind < 3 ? std::round(bpm * 2) / 2
                     : std::round(bpm * 10) / 10;
    bpm = std::clamp(bpm, 70.0, 180.0);
    std::vector<BeatStyle> fits;
    for (const Span& sp : spans)
      if (bpm >= sp.lo && bpm <= sp.hi) fits.push_back(sp.style);
    s.style = fits[rng.pick(int(fits.size()))];
    s.bpm = bpm;
    s.seconds = std::round(rng.range(30, 60));
    if (rng.chance(0.3)) s.introSeconds = std::round(rng.range(4, 12) * 10) / 10;
    const double swingChance = s.style == BeatStyle::HipHop                               ? 0.6
                               : s.style == BeatStyle::House                              ? 0.4
                               : s.style == BeatStyle::Disco || s.style == BeatStyle::Pop ? 0.2
                                                                                          : 0;
    if (rng.chance(swingChance)) s.swing = std::round(rng.range(0.53, 0.64) * 100) / 100;
    s.seed = seed * 1000 + unsigned(i);
    s.sampleRate = rng.chance(0.2) ? 48000 : 44100;
    s.mono = rng.chance(0.1);
    static const char* lame[] = {"-b 128", "-b 192", "-b 256", "-b 320", "-V 2", "-V 5"};
    s.lameOptions = QString::fromLatin1(lame[rng.pick(6)]);
    set.push_back(s);
  }
  return set;
}

QString makeBeatSong(const BeatSong& song, const QString& mp3Path) {
  QTemporaryDir tmp;
  if (!tmp.isValid()) return QStringLiteral("no temporary folder");
  const QString dir = tmp.path();
  Rng rng(song.seed);
  QString error;

  // The kit: every sound's shape drawn from the seed.
  Kit kit;
  const bool hard = song.style == BeatStyle::HardDance;
  const double kickLen = hard ? rng.range(0.35, 0.55) : rng.range(0.18, 0.42);
  QStringList kickFx{"synth",
                     num(kickLen),
                     "sine",
                     num(rng.range(90, 180)) + "/" + num(rng.range(38, 56)),
                     "fade",
                     "q",
                     "0.002",
                     num(kickLen),
                     num(kickLen * rng.range(0.6, 0.95))};
  if (hard || rng.chance(0.25)) kickFx += {"overdrive", num(rng.range(8, 25))};
  kit.kick = draw(dir, kickFx, error);
  const double snareLen = rng.range(0.12, 0.3);
  kit.snare =
      draw(dir,
           {"synth", num(snareLen), "whitenoise", "band", num(rng.range(1500, 4000)),
            num(rng.range(800, 2500)), "synth", num(snareLen), "triangle", "mix",
            num(rng.range(160, 240)), "fade", "l", "0.001", num(snareLen), num(snareLen * 0.95)},
           error);
  const double clapLen = rng.range(0.1, 0.25);
  kit.clap =
      draw(dir,
           {"synth", num(clapLen), "pinknoise", "band", num(rng.range(900, 1600)),
            num(rng.range(400, 900)), "fade", "l", "0.003", num(clapLen), num(clapLen * 0.95)},
           error);
  const double hatLen = rng.range(0.03, 0.09);
  kit.hat = draw(dir,
                 {"synth", num(hatLen), "whitenoise", "highpass", num(rng.range(5000, 9000)),
                  "fade", "l", "0.001", num(hatLen), num(hatLen * 0.9)},
                 error);
  const double openLen = rng.range(0.18, 0.4);
  kit.openHat = draw(dir,
                     {"synth", num(openLen), "whitenoise", "highpass", num(rng.range(5000, 8000)),
                      "fade", "q", "0.005", num(openLen), num(openLen * 0.8)},
                     error);
  kit.ride = draw(dir,
                  {"synth", "0.3", "whitenoise", "band", num(rng.range(5000, 8000)), "1500", "fade",
                   "l", "0.002", "0.3", "0.28"},
                  error);

  // Harmony: a minor key, four chords, each a root (semitones from A) and a
  // minor or major third.
  static const int progressions[][4] = {
      {0, -4, 3, -2}, {0, 5, -2, 3}, {0, 0, -4, -2}, {0, 3, 5, 7}};
  const int key = rng.pick(12) - 5;
  const int* prog = progressions[rng.pick(4)];
  const double bar = 240.0 / song.bpm;
  const double sixteenth = bar / 16;
  const double bassLen =
      song.style == BeatStyle::DrumAndBass ? bar * 0.45 : sixteenth * rng.range(0.8, 1.8);
  const char* bassWave = rng.chance(0.5) ? "sawtooth" : "square";
  const double bassCut = rng.range(250, 900);
  std::vector<Sound> bass, pads, introPads;
  const double attack = rng.range(0.02, 0.3) * bar;
  for (int c = 0; c < 4; ++c) {
    const int root = key + prog[c];
    const bool minor = c == 0 || rng.chance(0.5);
    const double f = 110.0 * std::pow(2.0, root / 12.0);
    bass.push_back(draw(dir,
                        {"synth", num(bassLen), bassWave, num(f / 2), "lowpass", num(bassCut),
                         "fade", "q", "0.004", num(bassLen), num(bassLen * 0.3)},
                        error));
    const double third = f * std::pow(2.0, (minor ? 3 : 4) / 12.0);
    const double fifth = f * std::pow(2.0, 7 / 12.0);
    auto chord = [&](double len, double att) {
      return draw(dir,
                  {"synth", num(len), "sawtooth", num(f * 2), "sawtooth", num(third * 2),
                   "sawtooth", num(fifth * 2), "lowpass", num(rng.range(900, 2500)), "fade", "h",
                   num(att), num(len), num(std::min(len * 0.4, 1.0))},
                  error, 3);
    };
    pads.push_back(chord(bar * 1.2, attack));
    introPads.push_back(chord(4.5, 1.5));
  }
  if (!error.isEmpty()) return error;

  // Levels.
  const StyleDrums drums = drumsOf(song.style, rng);
  std::vector<Part> parts;
  auto part = [&](const Sound& s, const std::vector<Pattern>& p, double db, double pan) {
    if (!p.empty()) parts.push_back({&s, p, db, pan, rng.pick(int(p.size()))});
  };
  part(kit.kick, drums.kick, rng.range(-8, -2), 0);
  part(kit.snare, drums.snare, rng.range(-11, -4), rng.range(-0.1, 0.1));
  part(kit.clap, drums.clap, rng.range(-11, -4), rng.range(-0.1, 0.1));
  part(kit.hat, drums.hat, rng.range(-22, -11), rng.range(-0.5, 0.5));
  part(kit.openHat, drums.openHat, rng.range(-22, -12), rng.range(-0.5, 0.5));
  part(kit.ride, drums.ride, rng.range(-26, -16), rng.range(-0.5, 0.5));
  const double bassDb = rng.range(-16, -7);
  const double padDb = rng.range(-24, -14);
  const Pattern bassLine = bassOf(song.style, rng);

  Mixer mix(song.seconds + 1);
  // The beatless intro: pad chords in free time, sometimes with a noise riser.
  double t = 0;
  for (int c = 0; t < song.introSeconds; ++c) {
    mix.add(introPads[c % 4], t, dbToGain(padDb + 3));
    t += rng.range(2.6, 3.8);
  }
  if (song.introSeconds > 0 && rng.chance(0.5)) {
    const Sound riser = draw(dir,
                             {"synth", num(song.introSeconds), "pinknoise", "highpass", "800",
                              "fade", "t", num(song.introSeconds), num(song.introSeconds), "0"},
                             error);
    mix.add(riser, 0, dbToGain(padDb - 2));
  }
  if (!error.isEmpty()) return error;

  // Bars from the drums' entry to the end; a breakdown drops kick, snare and
  // bass for a few bars in longer songs.
  const double start = song.introSeconds;
  const int bars = int((song.seconds - start) / bar) + 1;
  int breakFrom = bars, breakTo = bars;
  if (song.seconds - start > 35 && rng.chance(0.35)) {
    breakFrom = bars / 2;
    breakTo = breakFrom + (rng.chance(0.5) ? 4 : 2);
  }
  const double swingShift = (song.swing - 0.5) * 2 * sixteenth;
  auto when = [&](int b, int step, double looseMs) {
    double at = start + (b * 16 + step) * sixteenth + (step % 2 ? swingShift : 0);
    if (looseMs > 0) at += rng.gauss() * looseMs / 1000;
    return at;
  };
  for (int b = 0; b < bars; ++b) {
    const bool breakdown = b >= breakFrom && b < breakTo;
    for (const Part& p : parts) {
      if (breakdown && (p.sound == &kit.kick || p.sound == &kit.snare || p.sound == &kit.clap))
        continue;
      // Mostly the song's own figure, the others now and then, always on
      // bar 4 of 4.
      const int n = int(p.patterns.size());
      const Pattern pat =
          n == 1 || (b % 4 != 3 && rng.chance(0.6)) ? p.patterns[p.main] : p.patterns[rng.pick(n)];
      for (int s = 0; s < 16; ++s) {
        if (pat[s] == '.') continue;
        double db = p.gainDb + rng.gauss() * 1.5 + (pat[s] == 'o' ? -12 : 0);
        if (s % 4 == 0 && !fourToTheFloor(song.style)) db += 1.5;
        mix.add(*p.sound, when(b, s, drums.looseMs), dbToGain(db), p.pan);
      }
    }
    mix.add(pads[(b / 2) % 4], start + b * bar, dbToGain(padDb));
    if (breakdown) continue;
    for (int s = 0; s < 16; ++s)
      if (bassLine[s] == 'x')
        mix.add(bass[(b / 2) % 4], when(b, s, 0), dbToGain(bassDb + rng.gauss()));
  }

  // Master: a random level (and sometimes a compressor and a tilt), the
  // song's rate and channels, then lame.
  const QString raw = dir + QStringLiteral("/mix.f32");
  QFile f(raw);
  if (!f.open(QIODevice::WriteOnly) || f.write(mix.interleaved()) < 0)
    return QStringLiteral("cannot write ") + raw;
  f.close();
  const QString wav = dir + QStringLiteral("/mix.wav");
  QStringList master{"-t",
                     "raw",
                     "-r",
                     QString::number(kRate),
                     "-e",
                     "floating-point",
                     "-b",
                     "32",
                     "-c",
                     "2",
                     raw,
                     "-r",
                     QString::number(song.sampleRate),
                     "-b",
                     "16",
                     "-c",
                     song.mono ? "1" : "2",
                     wav,
                     "trim",
                     "0",
                     num(song.seconds)};
  if (rng.chance(0.3)) master += {"compand", "0.01,0.2", "6:-60,-40,-10", "-5", "-90", "0.05"};
  if (rng.chance(0.4)) master += {"bass", num(rng.range(-4, 4)), "treble", num(rng.range(-4, 4))};
  master += {"gain", "-n", num(rng.range(-12, -1))};
  error = run(QStringLiteral("sox"), master);
  if (!error.isEmpty()) return error;
  QStringList lame{"--quiet", "--noreplaygain"};
  lame += song.lameOptions.split(' ');
  lame += {wav, mp3Path};
  return run(QStringLiteral("lame"), lame);
}

}  // namespace qdl::test
