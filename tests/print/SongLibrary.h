#pragma once
// Song libraries for the printing tests: Data/data.db in the current folder,
// filled with records given as artist, title, beats, genre and year.

#include <QDir>
#include <QVariant>
#include <vector>

#include "library/Datamod.h"
#include "platform/db/Table.h"

namespace qdl::test {

struct Song {
  QString artist;
  QString title;
  QVariant beats;  // empty or a number
  QString genre;
  QString year;
};

// Creates the song table at Data/data.db below the current folder, holding
// the songs, and opens it in `data` (ordered by artist).
inline void createLibrary(TDataModule1& data, const std::vector<Song>& songs) {
  QDir::current().mkpath(QStringLiteral("Data"));
  db::Table& t = *data.Table1;
  t.setDatabaseName(QDir::current().filePath(QStringLiteral("Data")));
  t.setTableName(QStringLiteral("data.db"));
  data.CreateSongTable();
  t.beginBatch();
  int n = 0;
  for (const Song& s : songs)
    t.insertRecord({QVariant(), s.artist, s.title, s.beats, s.genre, s.year,
                    QStringLiteral("/music/%1.mp3").arg(++n), QVariant(), 0, QVariant(), false});
  t.endBatch();
  t.first();
}

// n songs "Artist 0001" / "Title 0001" ... numbered in both orders alike.
inline std::vector<Song> numberedSongs(int n) {
  std::vector<Song> songs;
  for (int i = 1; i <= n; ++i)
    songs.push_back({QStringLiteral("Artist %1").arg(i, 4, 10, QLatin1Char('0')),
                     QStringLiteral("Title %1").arg(i, 4, 10, QLatin1Char('0')), 120 + i % 10,
                     QStringLiteral("House"), QStringLiteral("2001")});
  return songs;
}

}  // namespace qdl::test
