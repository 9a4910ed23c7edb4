#pragma once
// A small disk of its own (a tmpfs) for tests that need a full or a
// read-only medium. Mounting needs a private mount namespace, which the test
// program enters before it starts any thread (ScratchDisk.cpp does so when it
// is linked in), as root or in a user namespace of its own. Where neither is
// allowed (a locked-down container) isMounted() is false, and the tests fall
// back to a file size limit or skip (QDL_TEST_NO_MOUNTS=1 makes them do so
// on any machine).

#include <QString>
#include <QTemporaryDir>

namespace qdl::test {

class ScratchDisk {
 public:
  // `options` are further tmpfs options ("nr_inodes=4": a disk on which no
  // more files can be made while the ones there can still be written).
  explicit ScratchDisk(int kilobytes = 1024, const char* options = "");
  ~ScratchDisk();
  ScratchDisk(const ScratchDisk&) = delete;
  ScratchDisk& operator=(const ScratchDisk&) = delete;

  bool isMounted() const { return mounted_; }
  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }

  // Fills what is left of the disk with one file; unfill removes it.
  void fill();
  void unfill();
  // Mounts the disk read-only or writable again (no file may be open for
  // writing on it).
  bool setReadOnly(bool readOnly);

 private:
  QTemporaryDir dir_;
  bool mounted_ = false;
};

// Runs `work` with the process's file size limit set to `bytes`: a write
// beyond it fails as on a full disk.
template <typename Work>
void withFileSizeLimit(long bytes, Work work);

}  // namespace qdl::test

#include <sys/resource.h>

#include <csignal>

template <typename Work>
void qdl::test::withFileSizeLimit(long bytes, Work work) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = rlim_t(bytes);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  work();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
}
