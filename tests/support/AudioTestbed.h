#pragma once
// Runs the project's PulseAudio test bed script (scripts/audio-testbed).

#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <vector>

namespace qdl::test {

// Runs `script` with `args`; returns its exit code (-1 when it could not be
// run) and appends its standard output to `output`. Uses fork and exec rather
// than QProcess, whose vfork-style child confuses ThreadSanitizer about the
// parent's memory.
inline int runAudioTestbed(const QString& script, const QStringList& args,
                           QByteArray* output = nullptr) {
  int pipefd[2];
  if (pipe(pipefd) != 0) return -1;
  std::vector<QByteArray> strings{QFile::encodeName(script)};
  for (const QString& a : args) strings.push_back(QFile::encodeName(a));
  std::vector<char*> argv;
  for (QByteArray& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipefd[1], STDOUT_FILENO);
    close(pipefd[0]);
    close(pipefd[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipefd[1]);
  char chunk[512];
  for (ssize_t n; (n = read(pipefd[0], chunk, sizeof chunk)) > 0;)
    if (output) output->append(chunk, n);
  close(pipefd[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace qdl::test
