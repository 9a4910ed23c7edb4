#pragma once
// The whole program in a temporary folder, for the search boxes, the song
// grid and the record editor: windows created as the program does, a song
// library on real MP3 copies, and helpers that type into boxes and grid
// cells the way a user does.

#include <QApplication>
#include <QFile>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QVariant>

#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/VirtualCardSettings.h"

namespace qdl::test {

inline QString fixture(const char* name) {
  return QDir(QStringLiteral(QDL_FIXTURE_DIR)).filePath(QLatin1String(name));
}

inline QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An ID3v1 block with the given texts (each cut to its field) and genre.
inline QByteArray id3v1(const QByteArray& title, const QByteArray& artist, const QByteArray& album,
                        const QByteArray& year, const QByteArray& comment, unsigned char genre) {
  QByteArray b(128, '\0');
  auto put = [&b](int at, const QByteArray& text, int width) {
    for (int i = 0; i < width && i < text.size(); ++i) b[at + i] = text[i];
  };
  put(0, "TAG", 3);
  put(3, title, 30);
  put(33, artist, 30);
  put(63, album, 30);
  put(93, year, 4);
  put(97, comment, 30);
  b[127] = char(genre);
  return b;
}

class Console {
 public:
  explicit Console(int language = 0) {
    writeVirtualCardSettings(cwd.file("qdl.ini"), 2, language);
    app::createWindows();
    app::showMainWindow();
    f = FormQuandrel;
    songs = DataModule1->Table1;
  }
  ~Console() { app::destroyWindows(); }

  // A copy of a real MP3 file in the temporary folder, with an ID3v1 block
  // appended when one is given.
  QString mp3(const QString& name, const QByteArray& tag = {}) {
    const QString path = cwd.file(name);
    QFile::copy(fixture("sine1k_44k_stereo_cbr128.mp3"), path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    if (!tag.isEmpty()) {
      QFile f(path);
      if (f.open(QIODevice::Append)) f.write(tag);
    }
    return path;
  }

  void addSong(const QString& path, const QString& artist, const QString& title,
               const QString& genre = QStringLiteral("Pop"), const QString& year = "2001") {
    songs->insertRecord({QVariant(), artist, title, QVariant(), genre, year, path, QVariant(), 0,
                         QVariant(), false});
  }

  TempCwd cwd;
  ScriptedDialogs dialogs;
  TFormQuandrel* f = nullptr;
  db::Table* songs = nullptr;
};

// What a widget gets when the user tabs or clicks into it.
inline void focusIn(QWidget* w) {
  QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
  QApplication::sendEvent(w, &e);
}
inline void focusOut(QWidget* w) {
  QFocusEvent e(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(w, &e);
}

// Types text into a widget one key at a time, umlauts included.
inline void typeKeys(QWidget* w, const QString& text) {
  for (QChar ch : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(ch));
    QApplication::sendEvent(w, &release);
  }
}

// Enters a search box and types text into it.
inline void typeInto(QLineEdit* box, const QString& text) {
  focusIn(box);
  typeKeys(box, text);
}

// The open cell editor of a grid, or nullptr.
inline QLineEdit* cellEditor(QTableView* grid) {
  for (QLineEdit* e : grid->viewport()->findChildren<QLineEdit*>())
    if (e->isVisible()) return e;
  return nullptr;
}

// Clicks a cell (the row becomes current), opens its editor, replaces the
// text and, with enter, hands it over with the Return key.
inline bool typeIntoCell(QTableView* grid, int row, int column, const QString& text,
                         bool enter = true) {
  const QModelIndex index = grid->model()->index(row, column);
  grid->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  grid->edit(index);
  QLineEdit* editor = cellEditor(grid);
  if (!editor) return false;
  editor->selectAll();
  QTest::keyClick(editor, Qt::Key_Delete);
  typeKeys(editor, text);
  if (enter) {
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the view takes the text over queued
  }
  return true;
}

// Column of a field in a grid bound to a TableModel.
inline int columnOf(QTableView* grid, const QString& field) {
  auto* model = qobject_cast<db::TableModel*>(grid->model());
  return model ? int(model->columns().indexOf(field)) : -1;
}

}  // namespace qdl::test
