// The playlist window in the whole program: building a playlist from the
// main window, saving it, loading and importing playlist files through the
// menu, entries that are not in the library, removing entries, and files
// that are no playlists.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "decks/DeckHarness.h"
#include "lang/Sprache.h"
#include "library/SongScanner.h"
#include "platform/db/Table.h"
#include "platform/fs/Volumes.h"
#include "playlist/Playlist.h"
#include "support/ScratchDisk.h"

using qdl::test::Console;

namespace {

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A small file with an ID3v1 tag: the library reads only the tag.
bool writeTagged(const QString& path, const QByteArray& artist, const QByteArray& title) {
  QByteArray tag(128, '\0');
  std::memcpy(tag.data(), "TAG", 3);
  std::memcpy(tag.data() + 3, title.constData(), size_t(title.size()));
  std::memcpy(tag.data() + 33, artist.constData(), size_t(artist.size()));
  return writeFile(path, QByteArray(1024, '\0') + tag);
}

class PlaylistWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    a = song(QString::fromUtf8("Die Ärzte/Schrei nach Liebe.mp3"), "Ärzte", "Schrei nach Liebe");
    b = song("Beatles/Help.mp3", "Beatles", "Help");
    z = song("Zappa/Peaches en Regalia.mp3", "Zappa", "Peaches en Regalia");
  }

  // A file in the library, in cwd/music.
  QString song(const QString& name, const QString& artist, const QString& title) {
    const QString path = c.cwd.file("music/" + name);
    EXPECT_TRUE(writeTagged(path, artist.toLatin1(), title.toLatin1()));
    c.addSong(path, artist, title);
    return path;
  }

  void load(const QString& path) {
    c.dialogs.fileNames.push_back(path);
    c.f->Laden1Click();
  }

  QStringList lines() const {
    QStringList out;
    for (int i = 0; i < w.ListBox1->count(); ++i) out << w.ListBox1->item(i)->text();
    return out;
  }

  void select(int row) { w.ListBox1->setCurrentRow(row); }

  Console c;
  TFormPlayList& w = *FormPlayList;
  QString a, b, z;
};

TEST_F(PlaylistWindow, BuildSaveCloseAndLoadAgain) {
  c.f->Neu1Click();
  ASSERT_TRUE(w.isVisible());
  for (const QString& path : {z, a, b}) {
    c.select(path);
    c.f->ChooseCurrentSong();
  }
  EXPECT_EQ(w.FileList, QStringList({z, a, b}));
  EXPECT_EQ(lines(),
            QStringList({"Zappa - Peaches en Regalia",
                         QString::fromUtf8("Ärzte - Schrei nach Liebe"), "Beatles - Help"}));

  // Start ticks autoplay; saving, confirmed or cancelled, leaves it on: the
  // set goes on while the DJ saves the list.
  w.btStart->click();
  EXPECT_TRUE(c.f->cbAutoPlay->isChecked());
  EXPECT_TRUE(c.f->TimerAutoPlay->isActive());
  w.btSave->click();  // no name: cancelled
  EXPECT_TRUE(c.f->cbAutoPlay->isChecked());
  EXPECT_TRUE(c.f->TimerAutoPlay->isActive());

  const QString saved = c.cwd.file("Playlist/Set 1");  // typed without extension
  c.dialogs.fileNames.push_back(saved);
  w.btSave->click();
  EXPECT_TRUE(c.f->cbAutoPlay->isChecked());
  EXPECT_TRUE(c.f->TimerAutoPlay->isActive());
  c.f->cbAutoPlay->setChecked(false);
  EXPECT_EQ(readFile(saved + ".qdp"), (z + "\r\n" + a + "\r\n" + b + "\r\n").toUtf8());
  // A dot in the typed name is no extension: the file still gets ".qdp".
  c.dialogs.fileNames.push_back(c.cwd.file("Playlist/Gig 24.12"));
  w.btSave->click();
  EXPECT_EQ(readFile(c.cwd.file("Playlist/Gig 24.12.qdp")), readFile(saved + ".qdp"));

  // Closing discards the playlist and ends autoplay.
  w.btStart->click();
  w.btCancel->click();
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(c.f->cbAutoPlay->isChecked());
  c.f->Neu1Click();
  EXPECT_TRUE(w.FileList.isEmpty());
  EXPECT_EQ(w.ListBox1->count(), 0);
  w.close();

  c.songs->setIndexName("iInterpret");
  c.songs->findNearest("Zappa");
  load(saved + ".qdp");
  ASSERT_TRUE(w.isVisible());
  EXPECT_EQ(w.FileList, QStringList({z, a, b}));
  EXPECT_EQ(lines(),
            QStringList({"Zappa - Peaches en Regalia",
                         QString::fromUtf8("Ärzte - Schrei nach Liebe"), "Beatles - Help"}));
  EXPECT_EQ(w.PlayIndex, 0);
  // The grid is back in the DJ's order on the record it stood on.
  EXPECT_EQ(c.songs->indexName(), "iInterpret");
  EXPECT_EQ(c.songs->asString("DateiName"), z);
  EXPECT_EQ(c.f->DBGrid1->currentIndex().row(), c.songs->currentRow());
  EXPECT_TRUE(c.dialogs.boxes.empty());
}

TEST_F(PlaylistWindow, AfterALoadTheGridIsInItsOrderOnItsRecordWhateverOrderWasActive) {
  // A song the load adds to the library, and one it cannot find.
  const QString fresh = c.cwd.file("music/new/Fresh.mp3");
  ASSERT_TRUE(writeTagged(fresh, "Aaron", "New Title"));
  ASSERT_TRUE(writeFile(c.cwd.file("set.qdp"),
                        QStringList({b, fresh, c.cwd.file("gone.mp3")}).join("\n").toUtf8()));
  const struct {
    const char* index;  // an index, or the field names of the active order
    bool fields;
    QString current;
  } orders[] = {{"iInterpret", false, z},
                {"iTitel", false, a},
                {"iJahr", false, b},
                {"iDateiname", false, a},
                {"Titel", true, z}};
  for (const auto& o : orders) {
    c.select(o.current);
    const auto id = c.songs->currentId();
    if (o.fields)
      c.songs->setIndexFieldNames(o.index);
    else
      c.songs->setIndexName(o.index);
    ASSERT_TRUE(c.songs->moveToId(id));
    load(c.cwd.file("set.qdp"));
    ASSERT_EQ(w.FileList.size(), 3) << o.index;
    if (o.fields)
      EXPECT_EQ(c.songs->indexFieldNames(), o.index);
    else
      EXPECT_EQ(c.songs->indexName(), o.index);
    EXPECT_EQ(c.songs->asString("DateiName"), o.current) << o.index;
    EXPECT_EQ(c.f->DBGrid1->currentIndex().row(), c.songs->currentRow()) << o.index;
    EXPECT_EQ(c.f->DBGrid1->model()->rowCount(), c.songs->recordCount()) << o.index;
  }
  c.songs->setIndexName("iDateiname");
  EXPECT_TRUE(c.songs->containsKey(fresh));
  // In the artist order the added song stands first.
  c.songs->setIndexName("iInterpret");
  c.songs->first();
  EXPECT_EQ(c.songs->asString("DateiName"), fresh);
}

TEST_F(PlaylistWindow, LoadingIntoAnOpenWindowStartsAFreshPlaylist) {
  ASSERT_TRUE(writeFile(c.cwd.file("one.qdp"), (a + "\r\n" + b + "\r\n" + z).toUtf8()));
  ASSERT_TRUE(writeFile(c.cwd.file("two.QDP"), (z + "\n").toUtf8()));
  load(c.cwd.file("one.qdp"));
  ASSERT_EQ(w.FileList.size(), 3);  // the last line has no line end
  w.PlayIndex = 2;
  load(c.cwd.file("two.QDP"));  // the extension in capitals
  EXPECT_EQ(w.FileList, QStringList({z}));
  EXPECT_EQ(lines(), QStringList({"Zappa - Peaches en Regalia"}));
  EXPECT_EQ(w.PlayIndex, 0);
}

TEST_F(PlaylistWindow, EntriesNotInTheLibraryAreAddedOrMarked) {
  const QString fresh = c.cwd.file("music/new/Fresh.mp3");
  ASSERT_TRUE(writeTagged(fresh, "New Artist", "New Title"));
  const QString gone = c.cwd.file("music/gone/Lost Song.mp3");
  const QString after = c.cwd.file("music/gonf.mp3");  // the next path in order
  ASSERT_TRUE(writeTagged(after, "Next", "In Order"));
  c.addSong(after, "Next", "In Order");
  // In the library, on a stick that is not plugged in.
  const QString onStick = c.cwd.file("stick/Away.mp3");
  c.addSong(onStick, "Away", "On The Stick");
  const int before = c.songs->recordCount();
  c.select(z);
  const auto current = c.songs->currentId();
  ASSERT_TRUE(writeFile(c.cwd.file("set.qdp"),
                        QStringList({a, onStick, fresh, gone}).join("\r\n").toUtf8()));
  load(c.cwd.file("set.qdp"));
  EXPECT_EQ(lines(), QStringList({QString::fromUtf8("Ärzte - Schrei nach Liebe"),
                                  "Away - On The Stick (fehlt)", "New Artist - New Title",
                                  "Lost Song.mp3 (fehlt)"}));
  EXPECT_EQ(w.FileList, QStringList({a, onStick, fresh, gone}));
  EXPECT_EQ(c.songs->recordCount(), before + 1);
  EXPECT_TRUE(c.songs->containsKey(fresh));
  EXPECT_FALSE(c.songs->containsKey(gone));
  // The grid shows the added song and stands where it stood.
  EXPECT_EQ(c.songs->currentId(), current);
  EXPECT_EQ(c.f->DBGrid1->model()->rowCount(), c.songs->recordCount());
  EXPECT_EQ(c.f->DBGrid1->currentIndex().row(), c.songs->currentRow());
  EXPECT_TRUE(c.dialogs.boxes.empty());
}

TEST_F(PlaylistWindow, M3uImportWritesTheOwnFormatBesideTheList) {
  const QString lists = c.cwd.file("music/lists");
  const QByteArray m3u =
      "#EXTM3U\r\n#EXTINF:215,Beatles - Help\r\n..\\Beatles\\Help.mp3\r\n"
      "#EXTINF:-1,Radio\r\nhttp://radio.example/live\r\n../Zappa/Peaches en Regalia.mp3\r\n"
      "C:\\Musik\\x.mp3\r\n\\\\server\\share\\y.mp3\r\nfile://" +
      QUrl::toPercentEncoding(b, "/") + "\r\na.ogg\r\nb.wma\r\nc.flac";
  ASSERT_TRUE(writeFile(lists + "/Set.m3u", m3u));
  load(lists + "/Set.m3u");
  const QStringList want = {b, z, b};
  EXPECT_EQ(w.FileList, want);
  EXPECT_EQ(lines(),
            QStringList({"Beatles - Help", "Zappa - Peaches en Regalia", "Beatles - Help"}));
  EXPECT_EQ(readFile(lists + "/Set.qdp"), (b + "\r\n" + z + "\r\n" + b + "\r\n").toUtf8());
  // One message: how many lines were skipped, and the first few of them.
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(c.dialogs.boxes[0].text,
            QString::fromUtf8("Übersprungene Zeilen der Playliste: 6\n"
                              "Zeile 5 (Webadresse oder Stream): http://radio.example/live\n"
                              "Zeile 7 (Windows-Laufwerk): C:\\Musik\\x.mp3\n"
                              "Zeile 8 (Netzwerkpfad): \\\\server\\share\\y.mp3\n"
                              "Zeile 10 (keine MP3-Datei): a.ogg\n"
                              "Zeile 11 (keine MP3-Datei): b.wma\n"
                              "… und 1 weitere"));
}

TEST_F(PlaylistWindow, AListThatGivesNoEntryLeavesTheSetAsItWas) {
  ASSERT_TRUE(writeFile(c.cwd.file("good.qdp"), (a + "\r\n" + b + "\r\n" + z).toUtf8()));
  const QString lists = c.cwd.file("music/lists");
  const struct {
    const char* name;
    QByteArray bytes;
    QString told;  // after the refusal, from its second line on
  } cases[] = {
      {"Header.m3u", "#EXTM3U\n", QString()},
      {"Comments.M3U8", "#EXTM3U\n#EXTINF:1,x\n\n", QString()},
      {"Empty.qdp", "", QString()},
      {"Blank.qdp", "\r\n\r\n\n", QString()},
      {"Unusable.qdp", "\r\n/music/a.ogg\r\nC:\\x.wma\r\n",
       QString::fromUtf8("\n\nÜbersprungene Zeilen der Playliste: 2\n"
                         "Zeile 2 (keine MP3-Datei): /music/a.ogg\n"
                         "Zeile 3 (keine MP3-Datei): C:\\x.wma")},
      {"Radio.m3u", "#EXTM3U\nhttp://radio.example/live\n",
       QString::fromUtf8("\n\nÜbersprungene Zeilen der Playliste: 1\n"
                         "Zeile 2 (Webadresse oder Stream): http://radio.example/live")},
  };
  for (const auto& t : cases) {
    // Mid-set: the third entry is next, autoplay runs.
    load(c.cwd.file("good.qdp"));
    w.PlayIndex = 2;
    w.ListBox1->setCurrentRow(1);
    w.btStart->click();
    c.dialogs.boxes.clear();
    ASSERT_TRUE(writeFile(lists + "/" + t.name, t.bytes));
    load(lists + "/" + t.name);
    EXPECT_EQ(w.FileList, QStringList({a, b, z})) << t.name;
    EXPECT_EQ(w.ListBox1->count(), 3) << t.name;
    EXPECT_EQ(w.ListBox1->currentRow(), 1) << t.name;
    EXPECT_EQ(w.PlayIndex, 2) << t.name;
    EXPECT_TRUE(c.f->cbAutoPlay->isChecked()) << t.name;
    EXPECT_TRUE(c.f->TimerAutoPlay->isActive()) << t.name;
    ASSERT_EQ(c.dialogs.boxes.size(), 1u) << t.name;
    EXPECT_EQ(c.dialogs.boxes[0].text,
              QString::fromUtf8("Die Playliste enthält keinen Eintrag, der geladen werden kann; "
                                "die offene Playliste bleibt, wie sie war:\n") +
                  lists + "/" + t.name + t.told)
        << t.name;
    EXPECT_FALSE(QFileInfo::exists(lists + "/Header.qdp")) << t.name;
    EXPECT_FALSE(QFileInfo::exists(lists + "/Comments.qdp")) << t.name;
    EXPECT_FALSE(QFileInfo::exists(lists + "/Radio.qdp")) << t.name;
  }

  // With the window closed it stays closed.
  w.close();
  c.dialogs.boxes.clear();
  load(lists + "/Header.m3u");
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(c.dialogs.boxes.size(), 1u);
}

TEST_F(PlaylistWindow, AnImportReplacesAPlaylistOnlyWhenTheDjSaysSo) {
  const QString lists = c.cwd.file("music/lists");
  const QByteArray imported = (b + "\r\n" + z + "\r\n").toUtf8();
  const QByteArray own = (a + "\r\n").toUtf8();  // the DJ's own Friday.qdp
  using qdl::ui::Answer;
  const struct {
    const char* name;
    std::vector<const char*> there;  // "Friday.qdp" holds the DJ's own list; "/" a folder
    std::deque<Answer> answers;
    bool english;
    bool asked;
    const char* written;  // the file that receives the import
  } cases[] = {
      {"the name is free", {}, {}, false, false, "Friday.qdp"},
      {"Yes replaces", {"Friday.qdp"}, {Answer::Yes}, false, true, "Friday.qdp"},
      {"No keeps it and takes a free name",
       {"Friday.qdp"},
       {Answer::No},
       false,
       true,
       "Friday (2).qdp"},
      {"the next free name",
       {"Friday.qdp", "Friday (2).qdp", "Friday (3).qdp"},
       {Answer::No},
       false,
       true,
       "Friday (4).qdp"},
      {"asked in English", {"Friday.qdp"}, {Answer::No}, true, true, "Friday (2).qdp"},
      {"a folder of that name is not asked for",
       {"Friday.qdp/"},
       {},
       false,
       false,
       "Friday (2).qdp"},
      {"the same list again is kept as it is", {"=Friday.qdp"}, {}, false, false, "Friday.qdp"},
      {"the same list kept under a free name before",
       {"Friday.qdp", "=Friday (2).qdp"},
       {Answer::No},
       false,
       true,
       "Friday (2).qdp"},
  };
  for (const auto& t : cases) {
    QDir(lists).removeRecursively();
    ASSERT_TRUE(writeFile(lists + "/Friday.m3u",
                          "#EXTM3U\n../Beatles/Help.mp3\n../Zappa/Peaches en Regalia.mp3\n"));
    QMap<QString, QByteArray> before;
    for (QString name : t.there) {
      if (name.endsWith('/')) {
        ASSERT_TRUE(QDir().mkpath(lists + "/" + name));
      } else if (name.startsWith('=')) {
        name = name.mid(1);
        ASSERT_TRUE(writeFile(lists + "/" + name, imported));
      } else {
        ASSERT_TRUE(writeFile(lists + "/" + name, own));
        before[name] = own;
      }
    }
    if (t.english) FormSprache->FillEnglish();
    c.dialogs.boxes.clear();
    c.dialogs.answers = t.answers;
    load(lists + "/Friday.m3u");
    if (t.english) FormSprache->FillGerman();
    EXPECT_EQ(w.FileList, QStringList({b, z})) << t.name;
    EXPECT_EQ(readFile(lists + "/" + t.written), imported) << t.name;
    // What the DJ did not let go is there byte for byte.
    for (auto it = before.cbegin(); it != before.cend(); ++it)
      if (it.key() != t.written) {
        EXPECT_EQ(readFile(lists + "/" + it.key()), it.value()) << t.name;
      }
    EXPECT_TRUE(c.dialogs.answers.empty()) << t.name;
    std::vector<QString> told;
    for (const auto& box : c.dialogs.boxes) told.push_back(box.text);
    const QString file = lists + "/Friday.qdp", written = lists + "/" + t.written;
    std::vector<QString> want;
    if (t.asked)
      want.push_back(t.english
                         ? "The Quandrel playlist already exists:\n" + file +
                               "\nShall it be replaced? With \"No\" the playlist is saved under "
                               "a free name."
                         : QString::fromUtf8("Die Quandrel-Playliste gibt es schon:\n") + file +
                               QString::fromUtf8("\nSoll sie ersetzt werden? Bei „Nein“ wird "
                                                 "die Playliste unter einem freien Namen "
                                                 "gespeichert."));
    if (written != file)
      want.push_back((t.english ? QString("The Quandrel playlist was saved under a free name:\n")
                                : QString::fromUtf8("Die Quandrel-Playliste wurde unter einem "
                                                    "freien Namen gespeichert:\n")) +
                     written);
    EXPECT_EQ(told, want) << t.name;
    if (t.asked) {
      EXPECT_EQ(c.dialogs.boxes[0].buttons, qdl::ui::Buttons::YesNo) << t.name;
      EXPECT_EQ(c.dialogs.boxes[0].caption, t.english ? "Attention!" : "Achtung!") << t.name;
    }
  }
}

TEST_F(PlaylistWindow, AnImportFromAFolderThatCannotBeWrittenNeverReplacesTheDjsOwnList) {
  qdl::test::ScratchDisk disk;
  const QString lists = disk.path();
  ASSERT_TRUE(writeFile(lists + "/Friday.m3u", (b + "\n").toUtf8()));
  ASSERT_TRUE(writeFile(lists + "/Friday.qdp", "old\r\n"));
  const QByteArray own = (a + "\r\n" + z + "\r\n").toUtf8();
  ASSERT_TRUE(writeFile(c.cwd.file("Playlist/Friday.qdp"), own));
  if (disk.isMounted())
    ASSERT_TRUE(disk.setReadOnly(true));
  else if (::geteuid() != 0)
    ASSERT_EQ(::chmod(QFile::encodeName(lists).constData(), 0555), 0);
  else
    GTEST_SKIP() << "no read-only medium: cannot mount, and root writes any folder";
  c.dialogs.answers = {qdl::ui::Answer::Yes};  // not asked: nothing there can be replaced
  load(lists + "/Friday.m3u");
  EXPECT_EQ(w.FileList, QStringList({b}));
  EXPECT_EQ(c.dialogs.answers.size(), 1u);
  EXPECT_EQ(readFile(lists + "/Friday.qdp"), "old\r\n");
  EXPECT_EQ(readFile(c.cwd.file("Playlist/Friday.qdp")), own);
  const QString elsewhere = c.cwd.file("Playlist/Friday (2).qdp");
  EXPECT_EQ(readFile(elsewhere), (b + "\r\n").toUtf8());
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_EQ(c.dialogs.boxes[0].text,
            QString::fromUtf8("Der Ordner der M3U-Playliste ist nicht beschreibbar. Die "
                              "Quandrel-Playliste wurde hier gespeichert:\n") +
                elsewhere);

  // Loading it again finds that import: no copy is added.
  c.dialogs.boxes.clear();
  load(lists + "/Friday.m3u");
  EXPECT_EQ(readFile(elsewhere), (b + "\r\n").toUtf8());
  EXPECT_FALSE(QFileInfo::exists(c.cwd.file("Playlist/Friday (3).qdp")));
  EXPECT_EQ(readFile(c.cwd.file("Playlist/Friday.qdp")), own);
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_TRUE(c.dialogs.boxes[0].text.endsWith(":\n" + elsewhere));
  if (disk.isMounted()) disk.setReadOnly(false);
  ::chmod(QFile::encodeName(lists).constData(), 0755);
}

TEST_F(PlaylistWindow, WhatIsNoPlaylistIsToldAndTheWindowStaysAsItWas) {
  ASSERT_TRUE(writeFile(c.cwd.file("good.qdp"), (a + "\r\n" + b + "\r\n").toUtf8()));
  load(c.cwd.file("good.qdp"));
  ASSERT_EQ(w.FileList.size(), 2);
  w.PlayIndex = 1;

  QByteArray binary = readFile(qdl::test::fixture("sine1k_44k_stereo_cbr128.mp3"));
  ASSERT_TRUE(writeFile(c.cwd.file("song.m3u"), binary));
  // 200 KB of random bytes without a zero byte.
  QByteArray noise(200 * 1024, Qt::Uninitialized);
  std::uint32_t seed = 99;
  for (char& byte : noise) byte = char((seed = seed * 1664525u + 1013904223u) % 255 + 1);
  ASSERT_TRUE(writeFile(c.cwd.file("noise.m3u"), noise));
  {
    QFile big(c.cwd.file("big.qdp"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(50 * 1024 * 1024));
  }
  QDir().mkdir(c.cwd.file("folder.qdp"));
  ASSERT_EQ(mkfifo(QFile::encodeName(c.cwd.file("pipe.m3u")).constData(), 0600), 0);
  ASSERT_TRUE(writeFile(c.cwd.file("list.txt"), (a + "\r\n").toUtf8()));
  const std::pair<const char*, const char*> cases[] = {
      {"song.m3u", "Das ist keine Playliste, sondern eine Binärdatei:\n"},
      {"noise.m3u", "Das ist keine Playliste, sondern eine Binärdatei:\n"},
      {"big.qdp", "Die Datei ist zu groß für eine Playliste (50 MB):\n"},
      {"folder.qdp", "Das ist ein Ordner, keine Playliste:\n"},
      {"pipe.m3u", "Das ist keine gewöhnliche Datei (Pipe oder Gerät):\n"},
      {"missing.qdp", "Playliste nicht vorhanden:\n"},
      {"list.txt", "Nur Playlisten mit der Endung .qdp, .m3u oder .m3u8 können geladen werden:\n"},
  };
  for (const auto& [name, text] : cases) {
    c.dialogs.boxes.clear();
    load(c.cwd.file(name));
    ASSERT_EQ(c.dialogs.boxes.size(), 1u) << name;
    EXPECT_EQ(c.dialogs.boxes[0].text, QString::fromUtf8(text) + c.cwd.file(name)) << name;
    EXPECT_EQ(w.FileList, QStringList({a, b})) << name;
    EXPECT_EQ(w.ListBox1->count(), 2) << name;
    EXPECT_EQ(w.PlayIndex, 1) << name;
  }

  // A line of 100,000 characters is skipped; the rest loads.
  c.dialogs.boxes.clear();
  ASSERT_TRUE(writeFile(c.cwd.file("long.qdp"),
                        QByteArray(100000, 'x') + ".mp3\r\n" + z.toUtf8() + "\r\n"));
  load(c.cwd.file("long.qdp"));
  EXPECT_EQ(w.FileList, QStringList({z}));
  ASSERT_EQ(c.dialogs.boxes.size(), 1u);
  EXPECT_TRUE(c.dialogs.boxes[0].text.startsWith(
      QString::fromUtf8("Übersprungene Zeilen der Playliste: 1\nZeile 1 (Zeile zu lang): xxx")));
  EXPECT_LT(c.dialogs.boxes[0].text.size(), 400);
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
}

TEST_F(PlaylistWindow, RemovingKeepsTheListsInStepAndTheNextEntryNext) {
  c.f->Neu1Click();
  for (const QString& path : {a, b, z, a}) {
    c.select(path);
    c.f->ChooseCurrentSong();
  }
  // Nothing selected: nothing happens.
  w.ListBox1->clearSelection();
  w.btDelete->click();
  w.ListBox1KeyDown(Qt::Key_Delete);
  EXPECT_EQ(w.FileList.size(), 4);

  // The entry just played goes: the one that followed it is still next.
  w.PlayIndex = 2;
  select(1);
  w.btDelete->click();
  EXPECT_EQ(w.FileList, QStringList({a, z, a}));
  EXPECT_EQ(w.ListBox1->count(), 3);
  EXPECT_EQ(w.PlayIndex, 1);
  EXPECT_EQ(w.FileList[w.PlayIndex], z);

  // A double-click and the Delete key remove the selected entry as well.
  select(0);
  QApplication::processEvents();  // lays out the list
  // A double-click is a click followed by a double-click event.
  const QPoint first = w.ListBox1->visualItemRect(w.ListBox1->item(0)).center();
  QTest::mouseClick(w.ListBox1->viewport(), Qt::LeftButton, {}, first);
  QTest::mouseDClick(w.ListBox1->viewport(), Qt::LeftButton, {}, first);
  EXPECT_EQ(w.FileList, QStringList({z, a}));
  EXPECT_EQ(w.PlayIndex, 0);
  EXPECT_EQ(w.ListBox1->item(0)->text(), "Zappa - Peaches en Regalia");
  select(1);
  w.PlayIndex = 1;
  QTest::keyClick(w.ListBox1, Qt::Key_Delete);
  EXPECT_EQ(w.FileList, QStringList({z}));
  EXPECT_EQ(w.PlayIndex, 0);  // never beyond the end
  select(0);
  w.btDelete->click();
  EXPECT_TRUE(w.FileList.isEmpty());
  EXPECT_EQ(w.PlayIndex, 0);
}

TEST_F(PlaylistWindow, AnEntryAppendedAfterTheLastWasTakenIsPlayedNext) {
  // Steps: "take X" takes the next entry and expects it to be X, "add X"
  // appends X as the DJ does from the grid, "del N" removes line N.
  const struct {
    const char* name;
    std::vector<std::string> steps;
  } cases[] = {
      {"taken through, nothing added: from the top", {"take a", "take b", "take a", "take b"}},
      {"added after the last was taken", {"take a", "take b", "add z", "take z", "take a"}},
      {"added while the last plays",
       {"take a", "take b", "add z", "add a", "take z", "take a", "take a", "take b"}},
      {"added before the last was taken", {"take a", "add z", "take b", "take z", "take a"}},
      {"the next, last entry removed, then one added",
       {"add z", "take a", "take b", "del 2", "add a", "take a", "take a"}},
      {"the next, last entry removed: from the top",
       {"add z", "take a", "take b", "del 2", "take a"}},
      {"the last played removed, then one added",
       {"take a", "take b", "del 1", "add z", "take z", "take a"}},
      {"all removed after the last was taken, then one added",
       {"take a", "take b", "del 0", "del 0", "add z", "take z", "take z"}},
      {"an entry before the next removed", {"add z", "take a", "del 0", "take b", "take z"}},
  };
  const QMap<QString, QString> songs = {{"a", a}, {"b", b}, {"z", z}};
  for (const auto& t : cases) {
    w.close();
    c.f->Neu1Click();
    for (const QString& path : {a, b}) {
      c.select(path);
      c.f->ChooseCurrentSong();
    }
    for (const std::string& step : t.steps) {
      const QString op = QString::fromStdString(step).section(' ', 0, 0);
      const QString arg = QString::fromStdString(step).section(' ', 1);
      if (op == "take") {
        ASSERT_TRUE(w.TakeNextSong(*DataModule1)) << t.name << ": " << step;
        EXPECT_EQ(c.songs->asString("DateiName"), songs[arg]) << t.name << ": " << step;
        EXPECT_EQ(w.FileList.value(w.ListBox1->currentRow()), songs[arg]) << t.name << ": " << step;
      } else if (op == "add") {
        c.select(songs[arg]);
        c.f->ChooseCurrentSong();
      } else {
        select(arg.toInt());
        w.btDelete->click();
      }
      // Always inside the list.
      EXPECT_GE(w.PlayIndex, 0) << t.name << ": " << step;
      EXPECT_LT(w.PlayIndex, std::max<qsizetype>(w.FileList.size(), 1)) << t.name << ": " << step;
      EXPECT_EQ(w.ListBox1->count(), w.FileList.size()) << t.name << ": " << step;
    }
  }
}

TEST_F(PlaylistWindow, SongsALoadOrAutoplayAddsAreKeptByTheCheckWhileTheirMediumIsAway) {
  // Two shares mounted by hand where no stick is mounted by the desktop.
  const QString base = QDir(c.cwd.path()).canonicalPath();
  const QString nas = base + "/nas", share = base + "/share";
  bool mounted = true;
  w.volumeMapSource = [&] {
    return mounted ? qdl::fs::VolumeMap({"/", nas, share}, {}) : qdl::fs::VolumeMap({"/"}, {});
  };
  const QString fresh = nas + "/Fresh.mp3", later = share + "/Later.mp3";
  ASSERT_TRUE(writeTagged(fresh, "Fresh", "Song"));
  ASSERT_TRUE(writeFile(c.cwd.file("set.qdp"), (fresh + "\n" + later + "\n").toUtf8()));
  load(c.cwd.file("set.qdp"));
  ASSERT_TRUE(c.songs->containsKey(fresh));
  EXPECT_EQ(c.songs->notes("mount points"), QStringList({nas}));

  // The second share comes in during the set: autoplay adds its song.
  ASSERT_TRUE(writeTagged(later, "Later", "Song"));
  ASSERT_TRUE(w.TakeNextSong(*DataModule1));  // the first entry
  ASSERT_TRUE(w.TakeNextSong(*DataModule1));
  ASSERT_EQ(c.songs->asString("DateiName"), later);
  QStringList noted = c.songs->notes("mount points");
  noted.sort();
  EXPECT_EQ(noted, QStringList({nas, share}));

  // Both unmounted: their mount points stay, empty. The check keeps both
  // songs, as it keeps a scan's.
  mounted = false;
  ASSERT_TRUE(QDir(nas).removeRecursively() && QDir().mkpath(nas));
  ASSERT_TRUE(QDir(share).removeRecursively() && QDir().mkpath(share));
  qdl::library::SongScanner check(*DataModule1);
  check.setVolumeMap(w.volumeMapSource());
  check.checkDatabase();
  EXPECT_EQ(check.counts().removed, 0);
  EXPECT_TRUE(c.songs->containsKey(fresh));
  EXPECT_TRUE(c.songs->containsKey(later));
}

TEST_F(PlaylistWindow, PathsAreNormalisedAndEachLineIsReadInItsOwnEncoding) {
  const QString mx = song(QString::fromUtf8("Mötley/Kickstart.mp3"), "Motley", "Kickstart");
  const int before = c.songs->recordCount();
  // "../" beyond the root, doubled slashes and "./" name songs already in
  // the library; a UTF-8 line beside a Windows-1252 one.
  const QString lists = c.cwd.file("music/lists");
  QByteArray m3u = "#EXTM3U\r\n" + QByteArray("../").repeated(40) + b.mid(1).toUtf8() + "\r\n";
  m3u += QString(z).replace("/music/", "/music//./").toUtf8() + "\r\n";
  m3u += "../Die \xC3\x84rzte/Schrei nach Liebe.mp3\r\n";
  m3u += "../M\xF6tley/Kickstart.mp3\r\n";
  ASSERT_TRUE(writeFile(lists + "/Mixed.m3u", m3u));
  load(lists + "/Mixed.m3u");
  EXPECT_EQ(w.FileList, QStringList({b, z, a, mx}));
  EXPECT_EQ(lines(),
            QStringList({"Beatles - Help", "Zappa - Peaches en Regalia",
                         QString::fromUtf8("Ärzte - Schrei nach Liebe"), "Motley - Kickstart"}));
  EXPECT_EQ(c.songs->recordCount(), before);  // no second record for any song
  EXPECT_TRUE(c.dialogs.boxes.empty());
  EXPECT_EQ(readFile(lists + "/Mixed.qdp"),
            (QStringList({b, z, a, mx}).join("\r\n") + "\r\n").toUtf8());
}

TEST(PlaylistWindowEmptyLibrary, ChoosingASongAddsNothing) {
  Console c;
  c.f->Neu1Click();
  c.f->ChooseCurrentSong();
  c.f->DBGrid1DblClick();
  EXPECT_TRUE(FormPlayList->FileList.isEmpty());
  EXPECT_EQ(FormPlayList->ListBox1->count(), 0);
}

}  // namespace
