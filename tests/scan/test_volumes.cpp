// Volume classification from sample mount tables, and the folder searches
// the walk is built on.

#include <gtest/gtest.h>

#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/fs/Folders.h"
#include "platform/fs/Volumes.h"

using namespace qdl::fs;

namespace {

// A desktop with a second disk, a USB stick, a DVD, network shares and the
// usual pseudo file systems, listed out of order and with escaped spaces.
const QByteArray kDesktop =
    "sysfs /sys sysfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "proc /proc proc rw,nosuid,nodev,noexec,relatime 0 0\n"
    "udev /dev devtmpfs rw,nosuid,relatime,size=8000000k 0 0\n"
    "devpts /dev/pts devpts rw,nosuid,noexec,relatime 0 0\n"
    "tmpfs /run tmpfs rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/nvme0n1p2 / ext4 rw,relatime,errors=remount-ro 0 0\n"
    "cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid,nodev,noexec,relatime 0 0\n"
    "/dev/nvme0n1p1 /boot/efi vfat rw,relatime 0 0\n"
    "/dev/sda1 /home btrfs rw,relatime 0 0\n"
    "/dev/sdb1 /media/dj/USB\\040STICK vfat rw,nosuid,nodev 0 0\n"
    "/dev/sr0 /media/dj/PARTY\\040CD iso9660 ro,nosuid,nodev 0 0\n"
    "/dev/sr1 /media/dj/DVD udf ro,nosuid,nodev 0 0\n"
    "nas:/music /mnt/nas nfs4 rw,relatime 0 0\n"
    "//server/share /mnt/smb cifs rw,relatime 0 0\n"
    "dj@host:/srv /mnt/ssh fuse.sshfs rw,nosuid,nodev 0 0\n"
    "gvfsd-fuse /run/user/1000/gvfs fuse.gvfsd-fuse rw,nosuid,nodev 0 0\n"
    "/dev/loop3 /snap/core/123 squashfs ro,nodev,relatime 0 0\n"
    "overlay /var/lib/docker/overlay2/abc/merged overlay rw,relatime 0 0\n"
    "tmpfs /tmp tmpfs rw 0 0\n"
    "binfmt_misc /proc/sys/fs/binfmt_misc binfmt_misc rw 0 0\n"
    "not a mount line\n";

bool stickOnly(const QString& device) { return device == QLatin1String("/dev/sdb1"); }

TEST(Volumes, DesktopTableOffersRealVolumesInMountPointOrderWithTheirKinds) {
  const QList<Volume> v = volumesFromMountTable(kDesktop, stickOnly);
  QStringList points;
  for (const Volume& x : v) points << x.mountPoint;
  EXPECT_EQ(points, (QStringList{"/", "/boot/efi", "/home", "/media/dj/DVD", "/media/dj/PARTY CD",
                                 "/media/dj/USB STICK", "/mnt/nas", "/mnt/smb", "/mnt/ssh"}));
  auto kindOf = [&](const QString& p) {
    for (const Volume& x : v)
      if (x.mountPoint == p) return x.kind;
    ADD_FAILURE() << "no volume " << p.toStdString();
    return VolumeKind::Fixed;
  };
  EXPECT_EQ(kindOf("/"), VolumeKind::Fixed);
  EXPECT_EQ(kindOf("/boot/efi"), VolumeKind::Fixed);
  EXPECT_EQ(kindOf("/home"), VolumeKind::Fixed);
  EXPECT_EQ(kindOf("/media/dj/USB STICK"), VolumeKind::Removable);
  EXPECT_EQ(kindOf("/media/dj/PARTY CD"), VolumeKind::Optical);
  EXPECT_EQ(kindOf("/media/dj/DVD"), VolumeKind::Optical);
  EXPECT_EQ(kindOf("/mnt/nas"), VolumeKind::Network);
  EXPECT_EQ(kindOf("/mnt/smb"), VolumeKind::Network);
  EXPECT_EQ(kindOf("/mnt/ssh"), VolumeKind::Network);
}

TEST(Volumes, ContainerRootAndOvermountsAndPseudoFileSystems) {
  // A container: the overlay root is the one disk; a later mount on the same
  // point hides the earlier one; files bound into the container are ext4.
  const QByteArray container =
      "overlay / overlay rw,relatime,lowerdir=/a:/b,upperdir=/c,workdir=/d 0 0\n"
      "proc /proc proc rw 0 0\n"
      "tmpfs /dev tmpfs rw,nosuid,size=65536k 0 0\n"
      "shm /dev/shm tmpfs rw 0 0\n"
      "mqueue /dev/mqueue mqueue rw 0 0\n"
      "/dev/vda1 /data ext4 rw 0 0\n"
      "nas:/x /data nfs rw 0 0\n"
      "overlay /var/lib/containers/storage/overlay/1/merged overlay rw 0 0\n";
  const QList<Volume> v = volumesFromMountTable(container, nullptr);
  ASSERT_EQ(v.size(), 2);
  EXPECT_EQ(v[0], (Volume{"/", "overlay", "overlay", VolumeKind::Fixed}));
  EXPECT_EQ(v[1], (Volume{"/data", "nas:/x", "nfs", VolumeKind::Network}));

  for (const char* type : {"proc", "sysfs", "tmpfs", "devtmpfs", "cgroup", "cgroup2", "devpts",
                           "squashfs", "autofs", "fuse.gvfsd-fuse", "debugfs", "nsfs"})
    EXPECT_FALSE(classifyMount({"x", "/mnt/x", type}, nullptr)) << type;
  EXPECT_FALSE(classifyMount({"overlay", "/mnt/layer", "overlay"}, nullptr));
  // Removability is only asked of block devices.
  EXPECT_EQ(classifyMount({"server:/x", "/mnt/x", "nfs"}, [](const QString&) { return true; }),
            VolumeKind::Network);
  EXPECT_EQ(classifyMount({"/dev/sr0", "/mnt/cd", "iso9660"}, [](const QString&) { return true; }),
            VolumeKind::Optical);

  EXPECT_EQ(mountPointsFromMountTable(container),
            (QStringList{"/", "/proc", "/dev", "/dev/shm", "/dev/mqueue", "/data",
                         "/var/lib/containers/storage/overlay/1/merged"}));
}

TEST(Volumes, RunningSystemHasARootVolumeAndNoPseudoOnes) {
  const QList<Volume> v = mountedVolumes();
  bool hasProc = false;
  for (const Volume& x : v) hasProc |= x.mountPoint == QLatin1String("/proc");
  EXPECT_FALSE(hasProc);
  EXPECT_FALSE(isRemovableBlockDevice(QStringLiteral("/dev/null")));
  EXPECT_FALSE(isRemovableBlockDevice(QStringLiteral("/no/such/device")));
  EXPECT_TRUE(mountPointsFromMountTable(readMountTable()).contains(QStringLiteral("/proc")));
}

TEST(Volumes, TheFileSystemTableNamesTheVolumesThatAreNotMounted) {
  const QByteArray fstab =
      "# /etc/fstab: static file system information.\n"
      "UUID=1234 / ext4 errors=remount-ro 0 1\n"
      "UUID=5678 none swap sw 0 0\n"
      "proc /proc proc defaults 0 0\n"
      "nas:/music /mnt/nas nfs4 noauto,user 0 0\n"
      "/dev/sr0 /media/cdrom0 udf,iso9660 user,noauto 0 0\n"
      "/dev/sdc1 /media/usb auto noauto,user 0 0\n"
      "/dev/sda1 /home btrfs defaults 0 2\n";
  const QList<Volume> absent =
      absentVolumesFromFstab(fstab, {"/", "/home", "/proc"}, [](const QString&) { return false; });
  QStringList points;
  for (const Volume& v : absent) points << v.mountPoint;
  EXPECT_EQ(points, (QStringList{"/mnt/nas", "/media/usb"}));
  EXPECT_EQ(absent.value(0).kind, VolumeKind::Network);
  EXPECT_EQ(absent.value(1).kind, VolumeKind::Removable);
}

TEST(Volumes, PathsOfMediaThatAreNotMountedAreUnreachable) {
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("share");
  VolumeMap map({"/", "/media/dj/PLUGGED"},
                {{dir.filePath("share"), "nas:/m", "nfs", VolumeKind::Network}});
  // Known from earlier scans: a share mounted by hand, the stick, "/".
  map.addKnownMountPoints({"/home/dj/nas/", "/media/dj/PLUGGED", "/"});
  struct Case {
    QString path;
    bool unreachable;
  };
  const Case cases[] = {
      // Under an absent volume's mount point, whatever is there.
      {dir.filePath("share/a/b.mp3"), true},
      {dir.filePath("elsewhere/b.mp3"), false},
      // Usual mount locations of removable media that are no mount point
      // now and missing (this machine has no such folders).
      {"/media/dj/NO SUCH STICK/x.mp3", true},
      {"/media/NO SUCH STICK/x.mp3", true},
      {"/run/media/dj/NO SUCH STICK/x.mp3", true},
      {"/mnt/no such stick/a/x.mp3", true},
      // A stick that is mounted is reachable.
      {"/media/dj/PLUGGED/x.mp3", false},
      {"/media/dj/PLUGGED/a/b/x.mp3", false},
      {"/home/dj/Music/x.mp3", false},
      // A known volume that is not mounted now, wherever it was mounted.
      {"/home/dj/nas/Set/x.mp3", true},
      {"/home/dj/nasty/x.mp3", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(map.isUnreachable(c.path), c.unreachable) << qPrintable(c.path);
  EXPECT_EQ(map.mountPointOf("/media/dj/PLUGGED/a/x.mp3"), "/media/dj/PLUGGED");
  EXPECT_EQ(map.mountPointOf("/media/dj/PLUGGEDX/x.mp3"), "/");
}

TEST(Folders, SearchesMatchSuffixWithoutCaseAndTellKindsAndHiddenEntries) {
  QTemporaryDir tmp;
  QDir d(tmp.path());
  for (const char* name : {"a.mp3", "B.MP3", ".hidden.mp3", "c.mp3.txt", "d.Mp3"}) {
    QFile f(d.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  ASSERT_TRUE(d.mkdir("folder.mp3"));
  ASSERT_TRUE(d.mkdir(".dotfolder"));
  ASSERT_EQ(::symlink(qPrintable(d.filePath("a.mp3")), qPrintable(d.filePath("link.mp3"))), 0);
  ASSERT_EQ(::symlink(qPrintable(d.filePath("folder.mp3")), qPrintable(d.filePath("dirlink"))), 0);
  ASSERT_EQ(::symlink("/no/such/file.mp3", qPrintable(d.filePath("broken.mp3"))), 0);

  QStringList files;
  ASSERT_TRUE(findFiles(tmp.path(), ".mp3", Hidden::Include, files));
  files.sort();
  EXPECT_EQ(files, (QStringList{".hidden.mp3", "B.MP3", "a.mp3", "d.Mp3", "link.mp3"}));
  ASSERT_TRUE(findFiles(tmp.path(), ".mp3", Hidden::Skip, files));
  EXPECT_FALSE(files.contains(".hidden.mp3"));

  std::vector<FolderEntry> entries;
  FolderId id;
  ASSERT_TRUE(listFolder(tmp.path(), Hidden::Skip, entries, &id));
  EXPECT_NE(id.inode, 0u);
  QStringList folders, others;
  for (const FolderEntry& e : entries) {
    EXPECT_FALSE(e.name.startsWith('.'));
    if (e.kind == EntryKind::Folder) folders << e.name;
    if (e.kind == EntryKind::Other) others << e.name;
  }
  others.sort();
  EXPECT_EQ(folders, QStringList{"folder.mp3"});
  EXPECT_EQ(others, (QStringList{"broken.mp3", "dirlink"}));

  EXPECT_FALSE(listFolder(d.filePath("no-such"), Hidden::Skip, entries));
  EXPECT_TRUE(entries.empty());
  EXPECT_FALSE(findFiles(d.filePath("a.mp3"), ".mp3", Hidden::Include, files));
  EXPECT_TRUE(fileExists(d.filePath("a.mp3")));
  EXPECT_TRUE(fileExists(d.filePath("link.mp3")));
  EXPECT_FALSE(fileExists(d.filePath("broken.mp3")));
  EXPECT_FALSE(fileExists(d.filePath("folder.mp3")));
}

}  // namespace
