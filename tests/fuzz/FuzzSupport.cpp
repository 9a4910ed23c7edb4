#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz/FuzzTargets.h"

namespace qdl::fuzz {

void broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "broken promise at %s:%d: %s\n", file, line, what);
  std::abort();
}

QString scratch() {
  static const std::unique_ptr<QTemporaryDir> dir = [] {
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() &&
                                 QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                             ? QStringLiteral("/dev/shm")
                             : QDir::tempPath();
    return std::make_unique<QTemporaryDir>(base + QStringLiteral("/quandrel-fuzz-XXXXXX"));
  }();
  return dir->path();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  const bool ok = f.write(bytes) == bytes.size();
  f.close();
  return ok;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

std::vector<QByteArray> fixtureSeeds(int bytes) {
  std::vector<QByteArray> seeds;
  const QDir dir(QStringLiteral(QDL_FIXTURE_DIR));
  for (const QString& name : dir.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name)) {
    QByteArray b = readFile(dir.filePath(name));
    if (bytes > 0) b.truncate(bytes);
    if (!b.isEmpty()) seeds.push_back(b);
  }
  return seeds;
}

const std::vector<Target>& targets() {
  static const std::vector<Target> all{
      {"mp3", &mp3, &mp3Seeds, 65536},       {"id3", &id3, &id3Seeds, 8192},
      {"id3v2", &id3v2, &id3v2Seeds, 8192},  {"qdp", &qdp, &qdpSeeds, 4096},
      {"m3u", &m3u, &m3uSeeds, 4096},        {"ini", &ini, &iniSeeds, 4096},
      {"table", &table, &tableSeeds, 32768}, {"v2write", &v2write, &v2writeSeeds, 8192},
      {"midi", &midi, &midiSeeds, 4096},     {"mapping", &mapping, &mappingSeeds, 8192},
  };
  return all;
}

const Target* target(const char* name) {
  for (const Target& t : targets())
    if (qstrcmp(t.name, name) == 0) return &t;
  return nullptr;
}

}  // namespace qdl::fuzz
