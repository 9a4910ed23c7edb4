#pragma once
// Mounted volumes: the Linux counterpart of a machine's drive letters.
//
// Every mounted file system that can hold the user's files is a volume,
// named by its mount point. Pseudo file systems (proc, sysfs, tmpfs, cgroup,
// devpts, container storage and the like) are never volumes. The kind tells
// how the volume is reached: a local disk, the network, an optical disc or a
// removable block device (a USB stick, a memory card).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace qdl::fs {

enum class VolumeKind { Fixed, Network, Optical, Removable };

// One line of the mount table.
struct MountEntry {
  QString device;      // "/dev/sda1", "server:/export", "proc", ...
  QString mountPoint;  // absolute path, without a trailing slash except "/"
  QString fsType;      // "ext4", "nfs4", "fuse.sshfs", ...
  bool operator==(const MountEntry&) const = default;
};

struct Volume {
  QString mountPoint;
  QString device;
  QString fsType;
  VolumeKind kind = VolumeKind::Fixed;
  bool operator==(const Volume&) const = default;
};

// Tells whether a block device (a path such as "/dev/sdb1") is removable.
using RemovableTest = std::function<bool(const QString& device)>;

// Parses mount table text in the format of /proc/self/mounts (device, mount
// point, type, options, two numbers; spaces and other special characters in
// paths escaped as \ooo). Lines that do not have these fields are ignored.
QList<MountEntry> parseMountTable(const QByteArray& text);

// The kind of a mounted file system, or nothing when it is never offered as
// a volume (pseudo and unknown file systems, container storage).
std::optional<VolumeKind> classifyMount(const MountEntry& mount, const RemovableTest& isRemovable);

// The volumes of a mount table in mount-point order. When a mount point is
// mounted more than once, the last mount (the one that is visible) counts.
QList<Volume> volumesFromMountTable(const QByteArray& text, const RemovableTest& isRemovable);

// Every mount point of a mount table, pseudo file systems included.
QStringList mountPointsFromMountTable(const QByteArray& text);

// The running system's mount table (/proc/self/mounts); empty when unreadable.
QByteArray readMountTable();

// The volumes mounted now; mount points that are not folders (files bound
// into a container) are left out.
QList<Volume> mountedVolumes();

// Whether the block device is marked removable by the kernel (sysfs); a
// partition answers for its disk. False for anything that is no block device.
bool isRemovableBlockDevice(const QString& device);

// Where volumes are mounted now and where known volumes are not: what the
// check needs to tell a file that was deleted from one whose medium (a USB
// stick, a disc, a network share) is simply not there.
class VolumeMap {
 public:
  VolumeMap() = default;
  // `mountPoints`: every mount point now; `absent`: volumes that are known
  // (from the file system table) but not mounted now.
  VolumeMap(const QStringList& mountPoints, const QList<Volume>& absent);

  // The running system's: /proc/self/mounts, and /etc/fstab for the absent
  // volumes.
  static VolumeMap current();

  // Whether `path` lies where only a volume that is not mounted now could
  // hold it: below the mount point of an absent volume, or below a mount
  // location of removable media (/media/NAME, /media/USER/NAME,
  // /run/media/USER/NAME, /mnt/NAME) that is no mount point now and is
  // missing or empty, as it is after a stick was pulled out, or below a
  // known mount point (see addKnownMountPoints) that is no mount point now.
  // A mount point between such a place and the path (the medium is there)
  // makes it reachable.
  bool isUnreachable(const QString& path) const;

  // Mount points known to have held files, wherever they are (a share
  // mounted by hand at ~/nas): one that is not mounted now is taken for an
  // absent volume, like those of the file system table.
  void addKnownMountPoints(const QStringList& mountPoints);

  // The mount point of the volume that holds `path` now: the deepest mount
  // point at or above it ("/" when none is known).
  QString mountPointOf(const QString& path) const;

  const QList<Volume>& absentVolumes() const { return absent_; }

 private:
  QStringList mountPoints_;
  QList<Volume> absent_;
  QStringList known_;
};

// The volumes of a file system table (the format of /etc/fstab) whose mount
// points are not among `mounted`; swap, pseudo and unknown file systems are
// left out (a type of "auto" counts as removable).
QList<Volume> absentVolumesFromFstab(const QByteArray& fstab, const QStringList& mounted,
                                     const RemovableTest& isRemovable);

}  // namespace qdl::fs
