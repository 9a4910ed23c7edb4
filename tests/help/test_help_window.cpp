// Finding help files, the recorder, the help key and the help window itself,
// headless on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QUrl>
#include <vector>

#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/help/HelpWindow.h"
#include "support/ScriptedDialogs.h"

using namespace qdl::help;

namespace {

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(data);
}

// Every test starts without a help window, recorder or help folder override.
class Help : public ::testing::Test {
 protected:
  void SetUp() override {
    qunsetenv("QUANDREL_HELP_DIR");
    closeHelpWindow();
  }
  void TearDown() override {
    closeHelpWindow();
    setRecorder(nullptr);
    qunsetenv("QUANDREL_HELP_DIR");
  }
  static HelpWindow* window() { return qobject_cast<HelpWindow*>(helpWindow()); }
  static void pressKey(QWidget* w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
  }
};

}  // namespace

TEST_F(Help, LocateSearchesTheHelpFolderOverrideFirst) {
  QTemporaryDir dir;
  writeFile(dir.filePath(QStringLiteral("qdl_e.hlp")), "@helpfile 1\n@topic 1 A\nx\n");
  writeFile(dir.filePath(QStringLiteral("Other.HLP")), "x");
  qputenv("QUANDREL_HELP_DIR", dir.path().toUtf8());

  EXPECT_EQ(helpFolders().constFirst(), QDir::cleanPath(dir.path()));
  EXPECT_EQ(locate(QStringLiteral("qdl_e.hlp")), dir.filePath(QStringLiteral("qdl_e.hlp")));
  // A name that differs only in letter case is found as well.
  EXPECT_EQ(locate(QStringLiteral("other.hlp")), dir.filePath(QStringLiteral("Other.HLP")));
  EXPECT_EQ(locate(QStringLiteral("absent.hlp")), QString());
  EXPECT_EQ(locate(QString()), QString());
}

TEST_F(Help, LocateFindsTheCopiesBesideTheExecutableThenTheSourceFolder) {
  const QString appDir = QCoreApplication::applicationDirPath();
  const QStringList folders = helpFolders();
  ASSERT_EQ(folders.size(), 3);
  EXPECT_EQ(folders.at(0), appDir + QStringLiteral("/help"));
  EXPECT_EQ(folders.at(1), QDir::cleanPath(appDir + QStringLiteral("/../share/quandrel/help")));
  EXPECT_EQ(folders.at(2), QDir::cleanPath(QStringLiteral(QDL_HELP_SOURCE_DIR)));
  // The build copied the shipped files beside this executable.
  EXPECT_EQ(locate(QStringLiteral("qdl_g.hlp")), appDir + QStringLiteral("/help/qdl_g.hlp"));
  EXPECT_EQ(locate(QStringLiteral("qdl_e.hlp")), appDir + QStringLiteral("/help/qdl_e.hlp"));
}

TEST_F(Help, RecorderReceivesRequestsAndNoWindowOpens) {
  std::vector<Request> got;
  const Recorder previous = setRecorder([&got](const Request& r) { got.push_back(r); });
  EXPECT_FALSE(previous);
  showContents(QStringLiteral("qdl_g.hlp"));
  showIndex(QStringLiteral("qdl_e.hlp"));
  showTopic(QStringLiteral("qdl_g.hlp"), 95);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].command, Command::Contents);
  EXPECT_EQ(got[0].file, QStringLiteral("qdl_g.hlp"));
  EXPECT_EQ(got[1].command, Command::Index);
  EXPECT_EQ(got[1].file, QStringLiteral("qdl_e.hlp"));
  EXPECT_EQ(got[2].command, Command::Topic);
  EXPECT_EQ(got[2].context, 95);
  EXPECT_EQ(helpWindow(), nullptr);
  EXPECT_TRUE(setRecorder(nullptr));  // hands back the one installed
}

TEST_F(Help, HelpKeyTakesTheNearestContextUpThroughTheParents) {
  QWidget window;
  auto* panel = new QWidget(&window);
  auto* inner = new QWidget(panel);
  auto* button = new QWidget(inner);
  auto* loose = new QWidget(&window);
  setHelpFile(&window, QStringLiteral("qdl_e.hlp"));
  setHelpContext(panel, 20);
  setHelpContext(button, 30);
  EXPECT_EQ(helpContextOf(inner), 20);
  EXPECT_EQ(helpContextOf(button), 30);
  EXPECT_EQ(helpContextOf(loose), 0);
  EXPECT_EQ(helpFileOf(button), QStringLiteral("qdl_e.hlp"));

  std::vector<Request> got;
  setRecorder([&got](const Request& r) { got.push_back(r); });
  helpKeyPressed(inner);
  helpKeyPressed(loose);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].command, Command::Topic);
  EXPECT_EQ(got[0].context, 20);
  EXPECT_EQ(got[0].file, QStringLiteral("qdl_e.hlp"));
  EXPECT_EQ(got[1].command, Command::Contents);
}

TEST_F(Help, ShowTopicOpensOneWindowAtTheTopicAndReusesIt) {
  showTopic(QStringLiteral("qdl_e.hlp"), 20);
  HelpWindow* w = window();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->testAttribute(Qt::WA_QuitOnClose));
  EXPECT_EQ(w->currentContext(), 20);
  EXPECT_EQ(w->currentTitle(), QStringLiteral("The decks"));
  EXPECT_TRUE(w->windowTitle().contains(QStringLiteral("The decks")));
  EXPECT_TRUE(w->view()->toPlainText().startsWith(QStringLiteral("The decks")));
  EXPECT_EQ(w->contentsList()->currentItem()->text(), QStringLiteral("The decks"));

  showTopic(QStringLiteral("qdl_e.hlp"), 70);
  EXPECT_EQ(window(), w);
  EXPECT_EQ(w->currentContext(), 70);

  // The other language replaces the document in the same window.
  showTopic(QStringLiteral("qdl_g.hlp"), 20);
  EXPECT_EQ(window(), w);
  EXPECT_EQ(w->currentTitle(), QStringLiteral("Die Decks"));
  EXPECT_EQ(w->tabs()->tabText(0), QStringLiteral("Inhalt"));
}

TEST_F(Help, ContextZeroOrUnknownFallsBackToTheContents) {
  for (int context : {0, 4711, -3}) {
    SCOPED_TRACE(context);
    showTopic(QStringLiteral("qdl_e.hlp"), context);
    ASSERT_NE(window(), nullptr);
    EXPECT_EQ(window()->currentContext(), 10);
    EXPECT_EQ(window()->tabs()->currentIndex(), 0);
  }
  showContents(QStringLiteral("qdl_e.hlp"));
  EXPECT_EQ(window()->currentContext(), 10);
  EXPECT_EQ(window()->contentsList()->count(), window()->document().topics.size());
}

TEST_F(Help, LinksLeadToTopicsAndBackReturns) {
  showTopic(QStringLiteral("qdl_e.hlp"), 20);
  HelpWindow* w = window();
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->view()->toHtml().contains(QStringLiteral("topic:70")));
  emit w->view()->anchorClicked(QUrl(QStringLiteral("topic:70")));
  EXPECT_EQ(w->currentContext(), 70);
  emit w->view()->anchorClicked(QUrl(QStringLiteral("topic:50")));
  EXPECT_EQ(w->currentContext(), 50);
  w->back();
  EXPECT_EQ(w->currentContext(), 70);
  w->back();
  EXPECT_EQ(w->currentContext(), 20);
  w->back();  // nothing further back
  EXPECT_EQ(w->currentContext(), 20);
}

TEST_F(Help, IndexFiltersKeywordsAndJumpsToTheFirstMatch) {
  showIndex(QStringLiteral("qdl_e.hlp"));
  HelpWindow* w = window();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->tabs()->currentIndex(), 1);
  const int all = w->visibleIndexEntries().size();
  EXPECT_GT(all, 50);

  w->indexFilter()->setText(QStringLiteral("AUTOP"));
  const QStringList shown = w->visibleIndexEntries();
  ASSERT_FALSE(shown.isEmpty());
  EXPECT_LT(shown.size(), all);
  for (const QString& e : shown)
    EXPECT_TRUE(e.contains(QStringLiteral("utoplay"))) << e.toStdString();
  EXPECT_TRUE(w->selectedIndexEntry().startsWith(QStringLiteral("Autoplay")));
  pressKey(w->indexFilter(), Qt::Key_Return);
  EXPECT_EQ(w->currentContext(), 70);

  // A word inside a keyword matches too; the selection then takes the first.
  w->indexFilter()->setText(QStringLiteral("point"));
  EXPECT_TRUE(w->visibleIndexEntries().contains(QStringLiteral("cue point")));
  pressKey(w->indexFilter(), Qt::Key_Down);
  pressKey(w->indexFilter(), Qt::Key_Up);
  EXPECT_EQ(w->selectedIndexEntry(), w->visibleIndexEntries().constFirst());

  w->indexFilter()->setText(QStringLiteral("xyzzy"));
  EXPECT_TRUE(w->visibleIndexEntries().isEmpty());
  EXPECT_EQ(w->selectedIndexEntry(), QString());
  pressKey(w->indexFilter(), Qt::Key_Return);
  EXPECT_EQ(w->currentContext(), 70);  // nothing to open

  // Showing the index again starts with the full list.
  showIndex(QStringLiteral("qdl_e.hlp"));
  EXPECT_EQ(w->visibleIndexEntries().size(), all);
}

TEST_F(Help, GermanIndexSortsUmlautsWithTheirLetter) {
  showIndex(QStringLiteral("qdl_g.hlp"));
  HelpWindow* w = window();
  ASSERT_NE(w, nullptr);
  w->indexFilter()->setText(QStringLiteral("über"));
  EXPECT_TRUE(w->visibleIndexEntries().contains(QStringLiteral("Überblenden")));
  w->indexFilter()->clear();
  const QStringList all = w->visibleIndexEntries();
  const qsizetype ueber = all.indexOf(QStringLiteral("Überblick"));
  const qsizetype zero = all.indexOf(QRegularExpression(QStringLiteral("Zero.*")));
  ASSERT_GE(ueber, 0);
  ASSERT_GE(zero, 0);
  EXPECT_LT(ueber, zero);  // Ü sorts as U, before Z
}

TEST_F(Help, MissingFileGivesAMessageNamingFileAndFolders) {
  qdl::test::ScriptedDialogs dialogs;
  QTemporaryDir dir;
  qputenv("QUANDREL_HELP_DIR", dir.path().toUtf8());

  showTopic(QStringLiteral("fehlt_g.hlp"), 20);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  const QString text = dialogs.boxes[0].text;
  EXPECT_EQ(dialogs.boxes[0].caption, QStringLiteral("Hilfe"));
  EXPECT_TRUE(text.contains(QStringLiteral("\"fehlt_g.hlp\" wurde nicht gefunden")));
  for (const QString& folder : helpFolders())
    EXPECT_TRUE(text.contains(QDir::toNativeSeparators(folder))) << folder.toStdString();
  EXPECT_EQ(helpWindow(), nullptr);

  showContents(QStringLiteral("missing_e.hlp"));
  ASSERT_EQ(dialogs.boxes.size(), 2u);
  EXPECT_TRUE(dialogs.boxes[1].text.contains(QStringLiteral("\"missing_e.hlp\" was not found")));
  EXPECT_EQ(dialogs.boxes[1].caption, QStringLiteral("Help"));

  // A window without a help file name (no language chosen) says so.
  showIndex(QString());
  ASSERT_EQ(dialogs.boxes.size(), 3u);
  EXPECT_TRUE(dialogs.boxes[2].text.contains(QStringLiteral("No help file is set")));
  EXPECT_EQ(helpWindow(), nullptr);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(Help, MalformedFileIsReportedWithItsLineAndOpensNothing) {
  qdl::test::ScriptedDialogs dialogs;
  QTemporaryDir dir;
  qputenv("QUANDREL_HELP_DIR", dir.path().toUtf8());
  writeFile(dir.filePath(QStringLiteral("bad_e.hlp")), "@helpfile 1\n@topic 1 A\nsee [[2]]\n");
  showTopic(QStringLiteral("bad_e.hlp"), 1);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains(QStringLiteral("bad_e.hlp, line 3: link to unknown")))
      << dialogs.errors[0].toStdString();
  EXPECT_EQ(helpWindow(), nullptr);
}

TEST_F(Help, AChangedFileIsReadAgain) {
  QTemporaryDir dir;
  qputenv("QUANDREL_HELP_DIR", dir.path().toUtf8());
  const QString path = dir.filePath(QStringLiteral("t_e.hlp"));
  writeFile(path, "@helpfile 1\n@topic 5 Old title\nx\n");
  showTopic(QStringLiteral("t_e.hlp"), 5);
  ASSERT_NE(window(), nullptr);
  EXPECT_EQ(window()->currentTitle(), QStringLiteral("Old title"));

  writeFile(path, "@helpfile 1\n@topic 5 New title\nx\n");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  ASSERT_TRUE(
      f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime));
  f.close();
  showTopic(QStringLiteral("t_e.hlp"), 5);
  EXPECT_EQ(window()->currentTitle(), QStringLiteral("New title"));
}

TEST_F(Help, HelpAskedForInsideAModalDialogIsUsable) {
  QDialog dialog;
  dialog.setWindowModality(Qt::ApplicationModal);
  dialog.show();
  ASSERT_EQ(QApplication::activeModalWidget(), &dialog);
  showTopic(QStringLiteral("qdl_e.hlp"), 40);
  ASSERT_NE(window(), nullptr);
  EXPECT_EQ(window()->windowModality(), Qt::ApplicationModal);
  EXPECT_EQ(QApplication::activeModalWidget(), window());
  window()->close();
  dialog.hide();

  showContents(QStringLiteral("qdl_e.hlp"));
  EXPECT_EQ(window()->windowModality(), Qt::NonModal);
  EXPECT_TRUE(window()->isVisible());
}
