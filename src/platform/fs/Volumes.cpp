#include "platform/fs/Volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <algorithm>

namespace qdl::fs {
namespace {

// File systems on local disks (and union mounts of them).
const QSet<QString>& fixedTypes() {
  static const QSet<QString> types = {
      QStringLiteral("ext2"),    QStringLiteral("ext3"),     QStringLiteral("ext4"),
      QStringLiteral("xfs"),     QStringLiteral("btrfs"),    QStringLiteral("zfs"),
      QStringLiteral("f2fs"),    QStringLiteral("jfs"),      QStringLiteral("reiserfs"),
      QStringLiteral("nilfs2"),  QStringLiteral("bcachefs"), QStringLiteral("vfat"),
      QStringLiteral("msdos"),   QStringLiteral("exfat"),    QStringLiteral("ntfs"),
      QStringLiteral("ntfs3"),   QStringLiteral("fuseblk"),  QStringLiteral("hfs"),
      QStringLiteral("hfsplus"), QStringLiteral("apfs"),     QStringLiteral("ufs"),
      QStringLiteral("minix"),   QStringLiteral("virtiofs"), QStringLiteral("fuse.mergerfs")};
  return types;
}

// File systems reached over the network.
const QSet<QString>& networkTypes() {
  static const QSet<QString> types = {QStringLiteral("nfs"),
                                      QStringLiteral("nfs4"),
                                      QStringLiteral("cifs"),
                                      QStringLiteral("smb3"),
                                      QStringLiteral("smbfs"),
                                      QStringLiteral("ncpfs"),
                                      QStringLiteral("9p"),
                                      QStringLiteral("afs"),
                                      QStringLiteral("ceph"),
                                      QStringLiteral("glusterfs"),
                                      QStringLiteral("lustre"),
                                      QStringLiteral("davfs"),
                                      QStringLiteral("sshfs"),
                                      QStringLiteral("fuse.sshfs"),
                                      QStringLiteral("fuse.davfs2"),
                                      QStringLiteral("fuse.rclone"),
                                      QStringLiteral("fuse.s3fs"),
                                      QStringLiteral("fuse.glusterfs"),
                                      QStringLiteral("fuse.ceph-fuse"),
                                      QStringLiteral("fuse.curlftpfs"),
                                      QStringLiteral("fuse.smbnetfs")};
  return types;
}

const QSet<QString>& opticalTypes() {
  static const QSet<QString> types = {QStringLiteral("iso9660"), QStringLiteral("udf")};
  return types;
}

// Union file systems: the root of a container is one, but anywhere else they
// are the container runtime's own layers.
const QSet<QString>& unionTypes() {
  static const QSet<QString> types = {QStringLiteral("overlay"), QStringLiteral("aufs"),
                                      QStringLiteral("fuse.fuse-overlayfs")};
  return types;
}

// Folders where container runtimes mount their storage.
bool isContainerStorage(const QString& mountPoint) {
  static const QStringList prefixes = {QStringLiteral("/var/lib/docker/"),
                                       QStringLiteral("/var/lib/containers/"),
                                       QStringLiteral("/var/lib/containerd/"),
                                       QStringLiteral("/run/containerd/"),
                                       QStringLiteral("/run/docker/"),
                                       QStringLiteral("/var/lib/kubelet/"),
                                       QStringLiteral("/snap/")};
  const QString withSlash = mountPoint + QLatin1Char('/');
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [&](const QString& p) { return withSlash.startsWith(p); });
}

// Undoes the \ooo escapes of the mount table.
QString unescape(const QByteArray& field) {
  QByteArray out;
  out.reserve(field.size());
  for (qsizetype i = 0; i < field.size(); ++i) {
    const char c = field[i];
    if (c == '\\' && i + 3 < field.size()) {
      const QByteArray digits = field.mid(i + 1, 3);
      const bool octal =
          std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '7'; });
      if (octal) {
        out.append(char(digits.toInt(nullptr, 8)));
        i += 3;
        continue;
      }
    }
    out.append(c);
  }
  return QFile::decodeName(out);
}

QString normalizedMountPoint(QString path) {
  while (path.size() > 1 && path.endsWith(QLatin1Char('/'))) path.chop(1);
  return path;
}

}  // namespace

QList<MountEntry> parseMountTable(const QByteArray& text) {
  QList<MountEntry> entries;
  for (const QByteArray& line : text.split('\n')) {
    if (line.trimmed().startsWith('#')) continue;  // a comment of a file system table
    const QList<QByteArray> fields = line.simplified().split(' ');
    if (fields.size() < 3) continue;
    MountEntry e;
    e.device = unescape(fields[0]);
    e.mountPoint = normalizedMountPoint(unescape(fields[1]));
    e.fsType = unescape(fields[2]);
    if (!e.mountPoint.startsWith(QLatin1Char('/'))) continue;
    entries << e;
  }
  return entries;
}

std::optional<VolumeKind> classifyMount(const MountEntry& mount, const RemovableTest& isRemovable) {
  if (isContainerStorage(mount.mountPoint)) return std::nullopt;
  const QString type = mount.fsType.toLower();
  if (networkTypes().contains(type)) return VolumeKind::Network;
  if (opticalTypes().contains(type)) return VolumeKind::Optical;
  if (unionTypes().contains(type))
    return mount.mountPoint == QLatin1String("/") ? std::optional(VolumeKind::Fixed) : std::nullopt;
  if (!fixedTypes().contains(type)) return std::nullopt;
  if (mount.device.startsWith(QLatin1String("/dev/")) && isRemovable && isRemovable(mount.device))
    return VolumeKind::Removable;
  return VolumeKind::Fixed;
}

QList<Volume> volumesFromMountTable(const QByteArray& text, const RemovableTest& isRemovable) {
  // The last mount on a mount point hides the earlier ones.
  QMap<QString, MountEntry> visible;
  for (const MountEntry& e : parseMountTable(text)) visible.insert(e.mountPoint, e);
  QList<Volume> volumes;
  for (const MountEntry& e : std::as_const(visible)) {
    const auto kind = classifyMount(e, isRemovable);
    if (kind) volumes << Volume{e.mountPoint, e.device, e.fsType, *kind};
  }
  return volumes;  // QMap keeps the mount points in order
}

QStringList mountPointsFromMountTable(const QByteArray& text) {
  QStringList points;
  for (const MountEntry& e : parseMountTable(text)) points << e.mountPoint;
  points.removeDuplicates();
  return points;
}

QByteArray readMountTable() {
  // /proc files report a size of 0, so read until the end.
  QFile f(QStringLiteral("/proc/self/mounts"));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

QList<Volume> mountedVolumes() {
  QList<Volume> volumes = volumesFromMountTable(readMountTable(), isRemovableBlockDevice);
  volumes.removeIf([](const Volume& v) { return !QFileInfo(v.mountPoint).isDir(); });
  return volumes;
}

bool isRemovableBlockDevice(const QString& device) {
  // /dev/disk/by-uuid/... and /dev/mapper/... are links to the real node.
  const QString real = QFileInfo(device).canonicalFilePath();
  if (real.isEmpty() || !real.startsWith(QLatin1String("/dev/"))) return false;
  QString node = QStringLiteral("/sys/class/block/") + QFileInfo(real).fileName();
  if (!QFileInfo::exists(node)) return false;
  // A partition's folder lies inside its disk's folder.
  if (QFileInfo::exists(node + QStringLiteral("/partition")))
    node = QFileInfo(QFileInfo(node).canonicalFilePath()).path();
  QFile f(node + QStringLiteral("/removable"));
  if (!f.open(QIODevice::ReadOnly)) return false;
  return f.readAll().trimmed() == "1";
}

namespace {

// Whether `path` is `folder` or lies below it.
bool isAtOrBelow(const QString& path, const QString& folder) {
  if (folder == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
  return path == folder || (path.startsWith(folder) && path.at(folder.size()) == QLatin1Char('/'));
}

// The folders above `path` where removable media are usually mounted.
QStringList mountLocationsAbove(const QString& path) {
  const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QStringList out;
  auto add = [&](int depth) {
    if (parts.size() > depth)  // a folder above the path, not the path itself
      out << QLatin1Char('/') + parts.mid(0, depth).join(QLatin1Char('/'));
  };
  if (parts.value(0) == QLatin1String("media")) {
    add(2);
    add(3);
  } else if (parts.value(0) == QLatin1String("mnt")) {
    add(2);
  } else if (parts.value(0) == QLatin1String("run") && parts.value(1) == QLatin1String("media")) {
    add(4);
  }
  return out;
}

bool isMissingOrEmptyFolder(const QString& folder) {
  const QFileInfo info(folder);
  if (!info.exists()) return true;
  return info.isDir() &&
         QDir(folder)
             .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
             .isEmpty();
}

}  // namespace

VolumeMap::VolumeMap(const QStringList& mountPoints, const QList<Volume>& absent)
    : mountPoints_(mountPoints), absent_(absent) {}

VolumeMap VolumeMap::current() {
  const QStringList mounted = mountPointsFromMountTable(readMountTable());
  QFile fstab(QStringLiteral("/etc/fstab"));
  QByteArray text;
  if (fstab.open(QIODevice::ReadOnly)) text = fstab.read(1 << 20);
  return VolumeMap(mounted, absentVolumesFromFstab(text, mounted, isRemovableBlockDevice));
}

QString VolumeMap::mountPointOf(const QString& path) const {
  QString deepest = QStringLiteral("/");
  for (const QString& m : mountPoints_)
    if (m.size() > deepest.size() && isAtOrBelow(path, m)) deepest = m;
  return deepest;
}

void VolumeMap::addKnownMountPoints(const QStringList& mountPoints) {
  for (const QString& m : mountPoints) {
    const QString point = normalizedMountPoint(m);
    if (point.startsWith(QLatin1Char('/')) && point != QLatin1String("/") &&
        !known_.contains(point))
      known_ << point;
  }
}

bool VolumeMap::isUnreachable(const QString& path) const {
  // The volume that holds the path now: the deepest mount point above it.
  qsizetype present = 0;
  for (const QString& m : mountPoints_)
    if (isAtOrBelow(path, m)) present = std::max(present, m.size());
  for (const Volume& v : absent_)
    if (v.mountPoint.size() > present && isAtOrBelow(path, v.mountPoint)) return true;
  for (const QString& m : known_)
    if (m.size() > present && isAtOrBelow(path, m)) return true;
  for (const QString& location : mountLocationsAbove(path))
    if (location.size() > present && isMissingOrEmptyFolder(location)) return true;
  return false;
}

QList<Volume> absentVolumesFromFstab(const QByteArray& fstab, const QStringList& mounted,
                                     const RemovableTest& isRemovable) {
  QList<Volume> absent;
  for (const MountEntry& e : parseMountTable(fstab)) {
    if (mounted.contains(e.mountPoint) || e.mountPoint == QLatin1String("/")) continue;
    std::optional<VolumeKind> kind = classifyMount(e, isRemovable);
    if (e.fsType == QLatin1String("auto")) kind = VolumeKind::Removable;
    if (kind) absent << Volume{e.mountPoint, e.device, e.fsType, *kind};
  }
  return absent;
}

}  // namespace qdl::fs
