#pragma once
// Runs one of the console's command-line commands in this process with its
// standard output and error captured, as a shell would see them.

#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace qdl::test {

struct CommandRun {
  int code = -1;
  QString out;
  QString err;
};

using Command = int (*)(const QStringList& args, std::FILE* out, std::FILE* err);

inline CommandRun runCommand(Command command, const QStringList& args) {
  char* outBuf = nullptr;
  char* errBuf = nullptr;
  std::size_t outLen = 0, errLen = 0;
  std::FILE* out = open_memstream(&outBuf, &outLen);
  std::FILE* err = open_memstream(&errBuf, &errLen);
  CommandRun r;
  r.code = command(args, out, err);
  std::fclose(out);
  std::fclose(err);
  r.out = QString::fromLocal8Bit(outBuf, qsizetype(outLen));
  r.err = QString::fromLocal8Bit(errBuf, qsizetype(errLen));
  std::free(outBuf);
  std::free(errBuf);
  return r;
}

}  // namespace qdl::test
