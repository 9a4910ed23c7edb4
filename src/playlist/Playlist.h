#pragma once
// The playlist window: the ordered list of songs autoplay plays in turn.

#include <QStringList>
#include <QWidget>

class QListWidget;
class QPushButton;

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
  // Index in FileList of the entry autoplay takes next.
  int PlayIndex = 0;
};

extern TFormPlayList* FormPlayList;
