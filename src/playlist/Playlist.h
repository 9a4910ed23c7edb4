#pragma once
// The playlist window: the ordered list of songs autoplay plays in turn.
//
// The playlist lives while the window is open: showing the window starts an
// empty one, closing it discards it and switches autoplay off. While it is
// open, choosing a song in the main window appends it here. FileList holds
// the entries' full paths and ListBox1 one line per entry, in the same
// order: "Interpret - Titel" of the entry's record, else the file's name.
// A line carries a mark when autoplay cannot play its entry: the file is not
// there, it has no record and the library cannot take one, or the deck
// could not play it.
//
// Autoplay is switched through autoPlaySwitched; the main window ticks or
// unticks its check box. Saving leaves it as it is: the set goes on. Everything runs on the
// user-interface thread.

#include <QStringList>
#include <QWidget>
#include <functional>

#include "platform/fs/Volumes.h"

class QListWidget;
class QPushButton;
class TDataModule1;

namespace qdl::playlist {
struct ReadResult;
}

class TFormPlayList : public QWidget {
  Q_OBJECT
 public:
  explicit TFormPlayList(QWidget* parent = nullptr);

  QListWidget* ListBox1;
  QPushButton* btStart;
  QPushButton* btSave;
  QPushButton* btCancel;
  QPushButton* btDelete;
  QPushButton* btHelp;

  // Full paths of the entries in play order, parallel to ListBox1's lines.
  QStringList FileList;
  // Index in FileList of the entry autoplay takes next; always inside the
  // list (0 when it is empty). After the last entry it is back at 0, but
  // an entry appended then is the next one played (see AddCurrentSong).
  int PlayIndex = 0;
  // The folder the save dialog opens in (the console's Playlist folder).
  QString PlaylistDir;
  // Where volumes are mounted, for noting the volumes of songs added to the
  // library (see qdl::library::VolumeNotes); the running system's unless
  // set.
  std::function<qdl::fs::VolumeMap()> volumeMapSource;

  // ---- Handlers
  void FormShow();   // a fresh, empty playlist
  void FormClose();  // the playlist is discarded; autoplay off
  void btStartClick();
  void btSaveClick();
  void btCancelClick();
  void btHelpClick();
  void btDeleteClick();
  void ListBox1DblClick();
  void ListBox1KeyDown(int key);

  // Why an entry cannot be played, shown after its line.
  enum class Mark { None, Missing, NotInLibrary, Unplayable };
  Mark markOf(int row) const;

  // After a change of language: marked lines take the new language's mark.
  void retranslateMarks();

  // Appends the song table's current record (nothing for an empty table).
  // Appended after the last entry was taken, it is the next one played.
  void AddCurrentSong(TDataModule1& data);

  // Loads or imports the playlist file at `path` into a fresh playlist and
  // shows the window (see ShowEntries). An import keeps its entries as a
  // ".qdp" file beside the list; a file of that name is replaced only when
  // the user says so, otherwise the entries go under a free name ("Set
  // (2).qdp"). `baseDir` is the console's base folder: an import whose own
  // folder cannot be written keeps its ".qdp" in <baseDir>/Playlist, under
  // a free name there. Problems are told in message boxes; a file that is no
  // playlist, that gives no entry, or whose entries cannot be looked up
  // (DbError), leaves the window, its playlist and autoplay as they were.
  void LoadPlaylistFile(const QString& path, const QString& baseDir, TDataModule1& data);

  // Shows `entries` as a fresh playlist: each entry is looked up in the
  // library; a file that is there but has no record is added as a scan
  // would add it, its volume noted (marked instead when the library cannot
  // be written); a file that is not there is marked missing. The song table
  // is left in the order it had, on the record that was current. When the
  // look-up fails (DbError) the playlist stays as it was.
  void ShowEntries(const QStringList& entries, TDataModule1& data);

  // Makes the song table's current record the next entry for autoplay:
  // selects its line and moves PlayIndex on (back to the top after the
  // last, unless entries were appended). Entries that cannot be played are
  // marked and passed over; a song added to the library has its volume
  // noted.
  // Returns false when no entry can be played. Never asks anything.
  bool TakeNextSong(TDataModule1& data);

  // The entry TakeNextSong took last could not be loaded: its line is
  // marked, with `why` as its tool tip.
  void MarkUnplayable(const QString& why);

 signals:
  // The start button switches autoplay on; closing switches it off.
  void autoPlaySwitched(bool on);

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Line {
    QString text;  // without the mark
    Mark mark = Mark::None;
    bool found = false;  // the song table's current record is the entry's
    QString why;         // shown as the line's tool tip
  };
  struct LookUp;
  void removeSelected();
  // The line of a looked-up entry; adds a present file without a record
  // when the library can be written.
  static Line lineFor(const QString& path, TDataModule1& data, LookUp& lookUp);
  // Looks every entry up, before anything of the shown playlist changes.
  QList<Line> lookUpAll(const QStringList& entries, TDataModule1& data);
  void showLines(const QStringList& entries, const QList<Line>& lines);
  static QString displayText(const Line& line);
  void setLine(int row, const Line& line);
  // Marks the line, keeping its text.
  void mark(int row, Mark mark, const QString& why = QString());

  // The row TakeNextSong took last; -1 for none.
  int takenRow_ = -1;
  // The list was taken through to its end (or its next entry, the last,
  // was removed): PlayIndex went back to 0, and an entry appended now is
  // played before the list starts again.
  bool takenThrough_ = false;
};

extern TFormPlayList* FormPlayList;
