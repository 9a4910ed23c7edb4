#include "platform/fs/Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace qdl::fs {

QString installedDataFolder(const QString& applicationDir) {
  return QDir::cleanPath(applicationDir + QStringLiteral("/../share/quandrel"));
}

QStringList resourceFolders(const QString& sub) {
  QStringList folders;
  auto add = [&folders](const QString& folder) {
    const QString clean = QDir::cleanPath(folder);
    if (!folders.contains(clean)) folders << clean;
  };
  if (QCoreApplication::instance()) {
    const QString appDir = QCoreApplication::applicationDirPath();
    if (!appDir.isEmpty()) {
      add(appDir + QLatin1Char('/') + sub);
      add(installedDataFolder(appDir) + QLatin1Char('/') + sub);
    }
  }
#ifdef QDL_SOURCE_DIR
  add(QStringLiteral(QDL_SOURCE_DIR) + QLatin1Char('/') + sub);
#endif
  return folders;
}

QString findResource(const QString& sub, const QString& name) {
  for (const QString& folder : resourceFolders(sub)) {
    const QFileInfo file(QDir(folder), name);
    if (file.isFile()) return file.absoluteFilePath();
  }
  return QString();
}

}  // namespace qdl::fs
