#pragma once
// A temporary folder that is also the process's current directory while the
// object lives (the console takes its base folder from there).

#include <QDir>
#include <QTemporaryDir>

namespace qdl::test {

class TempCwd {
 public:
  TempCwd() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~TempCwd() { QDir::setCurrent(old_); }
  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  QString old_;
};

}  // namespace qdl::test
