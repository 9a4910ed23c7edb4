#pragma once
// MP3 songs of stretches at known levels (a 440 Hz sine, or silence), made
// while a test runs: the PCM is drawn here and encoded by lame. Needs `lame`
// on the path.

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace qdl::test {

struct Stretch {
  double seconds = 1;
  double amplitude = 0;  // of the sine, 0 (silence) .. 1 (full scale)
};

// Interleaved 16-bit PCM of the stretches, the same sine on every channel.
inline std::vector<std::int16_t> levelPcm(const std::vector<Stretch>& stretches, int rate,
                                          int channels) {
  std::vector<std::int16_t> pcm;
  std::int64_t n = 0;
  for (const Stretch& s : stretches) {
    const auto frames = std::int64_t(std::llround(s.seconds * rate));
    for (std::int64_t i = 0; i < frames; ++i, ++n) {
      const double v = s.amplitude * std::sin(2 * std::numbers::pi * 440.0 * double(n) / rate);
      for (int c = 0; c < channels; ++c) pcm.push_back(std::int16_t(std::lround(v * 32767)));
    }
  }
  return pcm;
}

// Writes the song as an MP3 file (constant 192 kbps, or `lameOptions`);
// an empty text, or what failed.
inline QString makeLevelSong(const std::vector<Stretch>& stretches, const QString& mp3Path,
                             int rate = 44100, int channels = 2,
                             const QStringList& lameOptions = {QStringLiteral("-b"),
                                                               QStringLiteral("192")}) {
  const std::vector<std::int16_t> pcm = levelPcm(stretches, rate, channels);
  QTemporaryFile raw;
  if (!raw.open()) return QStringLiteral("no temporary file");
  raw.write(reinterpret_cast<const char*>(pcm.data()), qint64(pcm.size() * sizeof(std::int16_t)));
  raw.close();
  QStringList args{QStringLiteral("--quiet"),
                   QStringLiteral("--noreplaygain"),
                   QStringLiteral("-r"),
                   QStringLiteral("-s"),
                   QString::number(rate / 1000.0),
                   QStringLiteral("--bitwidth"),
                   QStringLiteral("16"),
                   QStringLiteral("--signed"),
                   QStringLiteral("--little-endian"),
                   QStringLiteral("-m"),
                   channels == 1 ? QStringLiteral("m") : QStringLiteral("j")};
  args += lameOptions;
  args += {raw.fileName(), mp3Path};
  QProcess lame;
  lame.start(QStringLiteral("lame"), args);
  if (!lame.waitForStarted(-1)) return QStringLiteral("lame cannot be started");
  lame.waitForFinished(-1);
  if (lame.exitStatus() != QProcess::NormalExit || lame.exitCode() != 0)
    return QStringLiteral("lame failed: ") + QString::fromLocal8Bit(lame.readAllStandardError());
  return {};
}

// Songs of known loudness for the loudness tests: a 1 kHz sine at `lufs`
// dBFS peak in every channel reads `lufs` LUFS by EBU R128 (stereo, or mono
// played on both speakers), made by sox and encoded by lame. A level of
// -100 or less makes digital silence. Needs `sox` and `lame` on the path.
struct LevelSong {
  double lufs = -14;
  double seconds = 8;
  int channels = 2;
  int sampleRate = 44100;
};

// Makes the song at `mp3Path`; an empty text, or what failed.
inline QString makeLevelSong(const LevelSong& song, const QString& mp3Path) {
  QTemporaryDir work;
  const QString wav = work.filePath(QStringLiteral("level.wav"));
  const auto run = [](const QString& program, const QStringList& args) -> QString {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(-1)) return program + QStringLiteral(" cannot be started");
    p.waitForFinished(-1);
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
      return program + QStringLiteral(" failed: ") +
             QString::fromLocal8Bit(p.readAllStandardError());
    return {};
  };
  QStringList args{QStringLiteral("-n"),
                   QStringLiteral("-r"),
                   QString::number(song.sampleRate),
                   QStringLiteral("-c"),
                   QString::number(song.channels),
                   QStringLiteral("-b"),
                   QStringLiteral("16"),
                   wav,
                   QStringLiteral("synth"),
                   QString::number(song.seconds, 'f', 3),
                   QStringLiteral("sine"),
                   QStringLiteral("1000")};
  if (song.lufs <= -100)
    args << QStringLiteral("vol") << QStringLiteral("0");
  else
    args << QStringLiteral("vol") << QString::number(song.lufs, 'f', 2) + QStringLiteral("dB");
  if (QString e = run(QStringLiteral("sox"), args); !e.isEmpty()) return e;
  return run(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                      QStringLiteral("192"), wav, mp3Path});
}

}  // namespace qdl::test
