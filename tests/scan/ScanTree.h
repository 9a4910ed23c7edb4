#pragma once
// Helpers that build folder trees of small MP3 files for the scan tests and
// the scan benchmark. The files hold some bytes and an ID3v1 tag (the scan
// reads only the tag), or no tag at all.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <cstring>

#include "support/Id3v2Bytes.h"

namespace qdl::test {

// Writes a file of 1 KiB of zero bytes followed by an ID3v1 tag with the
// artist and title (no tag when both are empty). Creates missing folders.
inline bool writeMp3(const QString& path, const QByteArray& artist = {},
                     const QByteArray& title = {}) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  QByteArray data(1024, '\0');
  if (!artist.isEmpty() || !title.isEmpty()) {
    QByteArray tag(128, '\0');
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(tag.data() + 3, title.constData(), std::min<qsizetype>(title.size(), 30));
    std::memcpy(tag.data() + 33, artist.constData(), std::min<qsizetype>(artist.size(), 30));
    data += tag;
  }
  return f.write(data) == data.size();
}

// A tree of `folders` folders (ten per parent, nested) under root with
// `filesPerFolder` tagged MP3 files each.
inline int writeTree(const QString& root, int folders, int filesPerFolder) {
  int written = 0;
  for (int i = 0; i < folders; ++i) {
    const QString folder = i < 10 ? QStringLiteral("%1/f%2").arg(root).arg(i)
                                  : QStringLiteral("%1/f%2/g%3").arg(root).arg(i % 10).arg(i);
    QDir().mkpath(folder);
    for (int j = 0; j < filesPerFolder; ++j) {
      const QByteArray n = QByteArray::number(i * filesPerFolder + j);
      if (writeMp3(QStringLiteral("%1/song%2.mp3").arg(folder).arg(j), "Artist " + n, "Title " + n))
        ++written;
    }
  }
  return written;
}

// A tree like writeTree whose files carry an ID3v2 tag and no ID3v1 tag:
// 2.3 (UTF-16) and 2.4 (UTF-8) in turn, artist, title, year, genre and
// tempo, and every `pictureEvery`-th file cover art of `pictureBytes`.
inline int writeTreeV2(const QString& root, int folders, int filesPerFolder, int pictureEvery,
                       int pictureBytes) {
  using namespace qdl::test::id3v2;
  int written = 0;
  for (int i = 0; i < folders; ++i) {
    const QString folder = i < 10 ? QStringLiteral("%1/f%2").arg(root).arg(i)
                                  : QStringLiteral("%1/f%2/g%3").arg(root).arg(i % 10).arg(i);
    QDir().mkpath(folder);
    for (int j = 0; j < filesPerFolder; ++j) {
      const int n = i * filesPerFolder + j;
      const bool v24 = n % 2 == 1;
      const QByteArray tagBytes = songTag(
          v24 ? 4 : 3, v24 ? Enc::Utf8 : Enc::Utf16LeBom, QStringLiteral("Artist %1").arg(n),
          QStringLiteral("Title %1").arg(n), QStringLiteral("2001"), QStringLiteral("(17)"),
          QStringLiteral("128"), n % pictureEvery == 0 ? pictureBytes : 0);
      QFile f(QStringLiteral("%1/song%2.mp3").arg(folder).arg(j));
      if (f.open(QIODevice::WriteOnly) && f.write(tagBytes + QByteArray(1024, '\0')) > 0) ++written;
    }
  }
  return written;
}

}  // namespace qdl::test
