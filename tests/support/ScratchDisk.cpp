#include "support/ScratchDisk.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QtGlobal>
#include <cerrno>

namespace {

bool writeTo(const char* path, const QByteArray& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.constData(), std::size_t(text.size())) == text.size();
  ::close(fd);
  return ok;
}

// A mount namespace of the process's own, whose mounts the rest of the
// system never sees. Entered before main, while there is only one thread.
bool enterPrivateMounts() {
  // Lets the fall-backs be tried on a machine that could mount.
  if (qEnvironmentVariableIsSet("QDL_TEST_NO_MOUNTS")) return false;
  if (::geteuid() == 0) {
    if (::unshare(CLONE_NEWNS) != 0) return false;
  } else {
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    writeTo("/proc/self/setgroups", "deny");
    if (!writeTo("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1") ||
        !writeTo("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))
      return false;
  }
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

const bool privateMounts = enterPrivateMounts();

}  // namespace

namespace qdl::test {

ScratchDisk::ScratchDisk(int kilobytes, const char* more) {
  if (!privateMounts || !dir_.isValid()) return;
  QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
  if (more && *more) options += QByteArray(",") + more;
  mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0,
                     options.constData()) == 0;
}

ScratchDisk::~ScratchDisk() {
  if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
}

void ScratchDisk::fill() {
  const int fd =
      ::open(QFile::encodeName(file(".filler")).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const QByteArray block(4096, '\0');
  while (::write(fd, block.constData(), std::size_t(block.size())) > 0) {
  }
  // A last partial block, down to single bytes.
  while (::write(fd, block.constData(), 1) > 0) {
  }
  ::close(fd);
}

void ScratchDisk::unfill() { QFile::remove(file(".filler")); }

bool ScratchDisk::setReadOnly(bool readOnly) {
  if (!mounted_) return false;
  const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
  return ::mount(nullptr, QFile::encodeName(dir_.path()).constData(), nullptr, flags, nullptr) == 0;
}

}  // namespace qdl::test
