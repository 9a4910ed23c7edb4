#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/fs/SafeWrite.h"
#include "support/ScratchDisk.h"

using qdl::fs::OutputKind;
using qdl::fs::Replace;
using qdl::fs::writeFileSafely;

namespace {

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Two MPEG-1 layer III frames of 128 kbit/s at 44.1 kHz: enough for any
// test of what MPEG audio is.
QByteArray mpegFrames() {
  QByteArray bytes(2 * 417, '\0');
  for (int at : {0, 417}) {
    bytes[at] = char(0xFF);
    bytes[at + 1] = char(0xFB);
    bytes[at + 2] = char(0x90);
  }
  return bytes;
}

// Whatever the writer leaves in the folder besides the files named.
QStringList leftovers(const QString& folder) {
  return QDir(folder).entryList(QStringList{"*.part"}, QDir::Files | QDir::Hidden);
}

const QByteArray kOld = "old content\r\n";

struct Refusal {
  const char* name;
  OutputKind kind;
  // Sets up the target in `dir` and returns its path; empty to skip.
  std::function<QString(const QString& dir)> make;
  const char* reason;  // a part of the reason given
};

QString file(const QString& dir, const char* name, const QByteArray& bytes) {
  const QString path = dir + "/" + name;
  writeAll(path, bytes);
  return path;
}

QString link(const QString& dir, const char* name, const QString& target) {
  const QString path = dir + "/" + name;
  QFile::link(target, path);
  return path;
}

}  // namespace

// Each target the console must not write over: the write is refused with a
// reason, and the file (or what a link leads to) stays byte for byte.
TEST(SafeWrite, TargetsOfAnotherKindAreRefusedAndKeptByteForByte) {
  const Refusal cases[] = {
      {"pipe", OutputKind::Pdf,
       [](const QString& d) {
         const QString p = d + "/list.pdf";
         ::mkfifo(QFile::encodeName(p).constData(), 0600);
         return p;
       },
       "pipe"},
      {"folder", OutputKind::Playlist,
       [](const QString& d) {
         QDir(d).mkdir("set.qdp");
         return d + "/set.qdp";
       },
       "folder"},
      {"device", OutputKind::Pdf, [](const QString&) { return QString("/dev/null"); }, "device"},
      {"link to a device", OutputKind::Pdf,
       [](const QString& d) { return link(d, "null.pdf", "/dev/null"); }, "not a regular file"},
      {"link that leads nowhere", OutputKind::Playlist,
       [](const QString& d) { return link(d, "gone.qdp", d + "/nothing/here.qdp"); }, "nowhere"},
      {"link to another user's file", OutputKind::Settings,
       [](const QString& d) -> QString {
         if (::geteuid() != 0) return {};  // only root can give a file away
         const QString target = file(d, "theirs.ini", "[Devices]\r\n");
         if (::chown(QFile::encodeName(target).constData(), 65534, 65534) != 0) return {};
         return link(d, "qdl.ini", target);
       },
       "another user"},
      {"settings over a file without sections", OutputKind::Settings,
       [](const QString& d) {
         return link(d, "qdl.ini", file(d, "passwd", "root:x:0:0:root:/root:/bin/bash\n"));
       },
       "no settings sections"},
      {"song library", OutputKind::Pdf,
       [](const QString& d) {
         return file(d, "data.db", QByteArray("SQLite format 3\0 and pages", 26));
       },
       "database"},
      {"journal of a song library", OutputKind::Pdf,
       [](const QString& d) {
         file(d, "data.db", QByteArray("SQLite format 3\0 and pages", 26));
         return d + "/data.db-wal";
       },
       "journal"},
      {"settings file", OutputKind::Playlist,
       [](const QString& d) { return file(d, "QDL.INI", "[Sprache]\r\nMode=1\r\n"); },
       "settings file"},
      {"MP3 file", OutputKind::Playlist,
       [](const QString& d) { return file(d, "song.qdp", mpegFrames()); }, "MP3"},
      {"MP3 file by its name", OutputKind::Pdf,
       [](const QString& d) { return file(d, "song.mp3", "%PDF- in disguise"); }, "MP3"},
      {"PDF under a playlist's name", OutputKind::Playlist,
       [](const QString& d) { return file(d, "set.qdp", "%PDF-1.4\n\x01\x02\x03\x04 binary"); },
       "PDF"},
      {"text under a PDF's name", OutputKind::Pdf,
       [](const QString& d) { return file(d, "list.pdf", kOld); }, "not a PDF"},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    QTemporaryDir dir;
    const QString path = c.make(dir.path());
    if (path.isEmpty()) continue;
    const QString real = QFileInfo(path).isSymLink() ? QFileInfo(path).symLinkTarget() : path;
    const QByteArray before = QFileInfo(real).isFile() ? readAll(real) : QByteArray();
    const QString why = writeFileSafely(path, "new", c.kind);
    EXPECT_TRUE(why.contains(c.reason)) << why.toStdString();
    EXPECT_EQ(why, qdl::fs::refusedTarget(path, c.kind));
    if (QFileInfo(real).isFile()) {
      EXPECT_EQ(readAll(real), before);
    }
    EXPECT_EQ(QFileInfo(path).isSymLink(), path != real);
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
  }
}

TEST(SafeWrite, ReplacesItsOwnKindKeepingPermissionsAndLinks) {
  QTemporaryDir dir;
  // A PDF over a PDF, a playlist over text, settings over a file with
  // sections, each kind over an empty file and over no file.
  const struct {
    OutputKind kind;
    QByteArray old;
  } cases[] = {{OutputKind::Pdf, "%PDF-1.4 old"},
               {OutputKind::Playlist, kOld},
               {OutputKind::Settings, "; mine\r\n[Devices]\r\nMode=0\r\n"},
               {OutputKind::Csv, ""},
               {OutputKind::SideFile, QByteArray()}};
  int n = 0;
  for (const auto& c : cases) {
    const QString path = dir.filePath(QString("out%1").arg(++n));
    if (!c.old.isNull()) {
      ASSERT_TRUE(writeAll(path, c.old));
      ::chmod(QFile::encodeName(path).constData(), 0640);
    }
    EXPECT_EQ(writeFileSafely(path, "new", c.kind), QString());
    EXPECT_EQ(readAll(path), "new");
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    if (!c.old.isNull()) {
      EXPECT_EQ(st.st_mode & 0777, 0640u);
    }
  }
  // A link to a playlist of the user's own is written through and stays.
  const QString target = file(dir.path(), "real.qdp", kOld);
  const QString viaLink = link(dir.path(), "link.qdp", target);
  EXPECT_EQ(writeFileSafely(viaLink, "through", OutputKind::Playlist), QString());
  EXPECT_TRUE(QFileInfo(viaLink).isSymLink());
  EXPECT_EQ(readAll(target), "through");
  EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST(SafeWrite, NeverReplaceKeepsAnExistingFileAndFreeNamesCount) {
  QTemporaryDir dir;
  const QString path = file(dir.path(), "Friday.qdp", kOld);
  const QString why = writeFileSafely(path, "new", OutputKind::Playlist, Replace::Never);
  EXPECT_EQ(why, QString::fromLocal8Bit(std::strerror(EEXIST)));
  EXPECT_EQ(readAll(path), kOld);

  EXPECT_EQ(qdl::fs::freeName(dir.filePath("Saturday.qdp")), dir.filePath("Saturday.qdp"));
  EXPECT_EQ(qdl::fs::freeName(path), dir.filePath("Friday (2).qdp"));
  file(dir.path(), "Friday (2).qdp", kOld);
  EXPECT_EQ(qdl::fs::freeName(path), dir.filePath("Friday (3).qdp"));
  EXPECT_EQ(writeFileSafely(qdl::fs::freeName(path), "new", OutputKind::Playlist, Replace::Never),
            QString());
  EXPECT_EQ(readAll(dir.filePath("Friday (3).qdp")), "new");
}

// A disk that fills up halfway: the failure is told and the old file stays
// byte for byte, also for a writer that streams (a PDF writer) and goes on
// writing after the failure.
TEST(SafeWrite, AFullDiskKeepsTheOldFileByteForByte) {
  qdl::test::ScratchDisk disk(512);
  QTemporaryDir plain;
  const QString folder = disk.isMounted() ? disk.path() : plain.path();
  const QString path = file(folder, "list.pdf", "%PDF-1.4 the old list");
  const QByteArray big(400 * 1024, 'x');
  auto attempt = [&](const std::function<void()>& write) {
    if (disk.isMounted()) {
      disk.fill();
      write();
      disk.unfill();
    } else {
      qdl::test::withFileSizeLimit(64 * 1024, write);
    }
  };
  const int expected = disk.isMounted() ? ENOSPC : EFBIG;
  QString whole;
  attempt([&] { whole = writeFileSafely(path, "%PDF-" + big, OutputKind::Pdf); });
  EXPECT_EQ(whole, QString::fromLocal8Bit(std::strerror(expected)));

  bool committed = true;
  QString streamed;
  attempt([&] {
    qdl::fs::SafeFile out(path, OutputKind::Pdf);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    for (int i = 0; i < 20; ++i) out.write(big.left(32 * 1024));
    committed = out.commit();
    streamed = out.errorString();
  });
  EXPECT_FALSE(committed);
  EXPECT_EQ(streamed, QString::fromLocal8Bit(std::strerror(expected)));
  EXPECT_EQ(readAll(path), "%PDF-1.4 the old list");
  EXPECT_TRUE(leftovers(folder).isEmpty());
}
