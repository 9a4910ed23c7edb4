#include "library/ScanRoots.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace qdl::library {
namespace {

QString withSlash(const QString& folder) {
  return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

// Whether `inner` (with its slash) lies in `outer` (with its slash) and no
// mount point comes between them.
bool walkedWith(const QString& inner, const QString& outer, const QStringList& mountPoints) {
  if (inner == outer || !inner.startsWith(outer)) return false;
  for (const QString& point : mountPoints) {
    const QString p = withSlash(point);
    if (p.size() > outer.size() && p.startsWith(outer) && inner.startsWith(p)) return false;
  }
  return true;
}

}  // namespace

QStringList personalFolders(const QString& home, const QString& music) {
  QStringList folders;
  const QString cleanHome = home.isEmpty() ? QString() : QDir::cleanPath(home);
  if (!music.isEmpty()) {
    const QString cleanMusic = QDir::cleanPath(music);
    if (cleanMusic != cleanHome && QFileInfo(cleanMusic).isDir()) folders << cleanMusic;
  }
  if (!cleanHome.isEmpty() && QFileInfo(cleanHome).isDir()) folders << cleanHome;
  return folders;
}

QStringList currentPersonalFolders() {
  return personalFolders(QDir::homePath(),
                         QStandardPaths::writableLocation(QStandardPaths::MusicLocation));
}

bool isSystemTree(const QString& path) {
  static const QStringList trees = {
      QStringLiteral("/proc"),  QStringLiteral("/sys"),    QStringLiteral("/dev"),
      QStringLiteral("/run"),   QStringLiteral("/usr"),    QStringLiteral("/var"),
      QStringLiteral("/etc"),   QStringLiteral("/boot"),   QStringLiteral("/snap"),
      QStringLiteral("/tmp"),   QStringLiteral("/opt"),    QStringLiteral("/bin"),
      QStringLiteral("/sbin"),  QStringLiteral("/lib"),    QStringLiteral("/lib32"),
      QStringLiteral("/lib64"), QStringLiteral("/libx32"), QStringLiteral("/lost+found")};
  return trees.contains(path);
}

QStringList rootsToWalk(const QStringList& ticked, const QStringList& mountPoints) {
  QStringList roots;
  for (const QString& folder : ticked) {
    const QString root = withSlash(folder);
    if (roots.contains(root)) continue;
    bool covered = false;
    for (const QString& other : ticked)
      if (walkedWith(root, withSlash(other), mountPoints)) covered = true;
    if (!covered) roots << root;
  }
  return roots;
}

}  // namespace qdl::library
