#pragma once
// The help window: a non-modal top-level window with a contents tab, a
// keyword index tab with a filter box, and the topic view. One window serves
// every help request of the program (see Help.h); it only shows documents,
// finding and reading the files is Help.cpp's job.

#include <QDateTime>
#include <QList>
#include <QWidget>

#include "platform/help/HelpFile.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTextBrowser;
class QUrl;

namespace qdl::help {

class HelpWindow : public QWidget {
  Q_OBJECT
 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Takes a parsed document (parsed without errors); path and modification
  // time identify it, so that an unchanged file is not read again.
  void setDocument(const HelpDocument& document, const QString& path, const QDateTime& modified);
  QString documentPath() const { return path_; }
  QDateTime documentModified() const { return modified_; }
  const HelpDocument& document() const { return document_; }

  // The contents tab with the start topic.
  void showContents();
  // The index tab, the filter box focused and emptied.
  void showIndex();
  // The topic of that context number; an unknown number (0 included) shows
  // the contents instead and returns false.
  bool showTopic(int context);
  // Returns to the topic shown before the last link or request.
  void back();

  int currentContext() const { return current_; }
  QString currentTitle() const;

  // The index filter: entries whose keyword has a word beginning with the
  // text stay listed, and the first keyword beginning with it is selected.
  void setIndexFilter(const QString& text);
  QStringList visibleIndexEntries() const;
  QString selectedIndexEntry() const;
  // Shows the topic of the selected index entry.
  void openSelectedIndexEntry();

  QTabWidget* tabs() const { return tabs_; }
  QListWidget* contentsList() const { return contents_; }
  QLineEdit* indexFilter() const { return filter_; }
  QListWidget* indexList() const { return index_; }
  QTextBrowser* view() const { return view_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void applyLabels();
  void display(int context, bool remember);
  void linkClicked(const QUrl& url);
  void moveIndexSelection(int step);

  HelpDocument document_;
  QString path_;
  QDateTime modified_;
  int current_ = 0;
  QList<int> history_;

  QTabWidget* tabs_;
  QListWidget* contents_;
  QWidget* indexPage_;
  QLabel* filterLabel_;
  QLineEdit* filter_;
  QListWidget* index_;
  QPushButton* display_;
  QPushButton* back_;
  QTextBrowser* view_;
};

}  // namespace qdl::help
