#pragma once
// Songs of known loudness for the loudness tests: a 1 kHz sine at `lufs`
// dBFS peak in every channel reads `lufs` LUFS by EBU R128 (stereo, or mono
// played on both speakers), made by sox and encoded by lame. A level of
// -100 or less makes digital silence. Needs `sox` and `lame` on the path.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace qdl::test {

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
