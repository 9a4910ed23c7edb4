// The language window end to end: a real dialog on the offscreen platform
// reading and writing a real qdl.ini in a temporary current directory.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <vector>

#include "lang/Sprache.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/RadioGroup.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SpracheWindow : public ::testing::Test {
 protected:
  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
  TFormSprache form;

  QString ini() const { return cwd.file("qdl.ini"); }

  // Runs the window modally as the menu does; act plays the user.
  int run(const std::function<void(TFormSprache&)>& act = {}) {
    dialogs.onDialog = [this, act](QDialog*) {
      if (act) act(form);
    };
    return dialogs.execDialog(&form);
  }

  // The selection FormShow makes for a given settings file content.
  int selectionFor(const QByteArray& content) {
    writeFile(ini(), content);
    int shown = -2;
    run([&](TFormSprache& f) { shown = f.rgSprache->itemIndex(); });
    return shown;
  }
};

TEST_F(SpracheWindow, ShowSelectsTheStoredLanguage) {
  int shown = -2;
  run([&](TFormSprache& f) { shown = f.rgSprache->itemIndex(); });
  EXPECT_EQ(shown, 0) << "no settings file reads as German";
  EXPECT_FALSE(QFile::exists(ini())) << "showing must not create the file";

  EXPECT_EQ(selectionFor("[Sprache]\r\nMode=1\r\n"), 1);
  EXPECT_EQ(selectionFor("[Sprache]\r\nMode= 1 \r\n"), 1);
  EXPECT_EQ(selectionFor("[Devices]\r\nMode=2\r\n"), 0) << "missing key reads as 0";
  // A value that is not valid preselects German, so OK repairs it; the
  // console already said what is wrong.
  EXPECT_EQ(selectionFor("[sprache]\r\nmode=5\r\n"), 0);
  EXPECT_EQ(selectionFor("[Sprache]\r\nMode=1\r\n"), 1);
  EXPECT_EQ(selectionFor("[Sprache]\r\nMode=-1\r\n"), 0);
  EXPECT_EQ(selectionFor("[Sprache]\r\nMode=1\r\n"), 1);
  EXPECT_EQ(selectionFor("[Sprache]\r\nMode=abc\r\n"), 0);
  EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(SpracheWindow, UnreadableFileKeepsSelectionAndShowsTheError) {
  ASSERT_EQ(selectionFor("[Sprache]\r\nMode=1\r\n"), 1);
  ASSERT_TRUE(QFile::remove(ini()));
  ASSERT_TRUE(QDir(cwd.path()).mkdir("qdl.ini"));
  int shown = -2;
  run([&](TFormSprache& f) { shown = f.rgSprache->itemIndex(); });
  EXPECT_EQ(shown, 1);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("qdl.ini")) << dialogs.errors[0].toStdString();
}

TEST_F(SpracheWindow, OkWritesTheChosenIndexAndAccepts) {
  writeFile(ini(), "[Devices]\r\nMode=1\r\n[Sprache]\r\nMode=0\r\n");
  const int result = run([](TFormSprache& f) {
    f.rgSprache->button(1)->click();
    f.btOK->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(readFile(ini()), "[Devices]\r\nMode=1\r\n[Sprache]\r\nMode=1\r\n");

  // No selection is written as "-1".
  EXPECT_EQ(run([](TFormSprache& f) {
              f.rgSprache->setItemIndex(-1);
              f.btOK->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(qdl::IniFile(ini()).readString("Sprache", "Mode", ""), "-1");

  // A stored value that is not valid is repaired by OK.
  writeFile(ini(), "[Sprache]\r\nMode=-7\r\n");
  EXPECT_EQ(run([](TFormSprache& f) { f.btOK->click(); }), QDialog::Accepted);
  EXPECT_EQ(qdl::IniFile(ini()).readString("Sprache", "Mode", ""), "0");
}

TEST_F(SpracheWindow, OkCreatesTheFileWhenMissing) {
  EXPECT_EQ(run([](TFormSprache& f) { f.btOK->click(); }), QDialog::Accepted);
  EXPECT_EQ(readFile(ini()), "[Sprache]\r\nMode=0\r\n");
}

TEST_F(SpracheWindow, CancelAndEscapeWriteNothing) {
  EXPECT_EQ(run([](TFormSprache& f) {
              f.rgSprache->button(1)->click();
              f.btCancel->click();
            }),
            QDialog::Rejected);
  EXPECT_FALSE(QFile::exists(ini())) << "cancel must not even create the file";

  writeFile(ini(), "[Sprache]\nMode=1\n");
  EXPECT_EQ(run([](TFormSprache& f) {
              f.rgSprache->button(0)->click();
              QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
              QApplication::sendEvent(&f, &esc);
            }),
            QDialog::Rejected);
  EXPECT_EQ(readFile(ini()), "[Sprache]\nMode=1\n");
}

TEST_F(SpracheWindow, RefusedWriteIsShownAndTheWindowStaysOpen) {
  bool stillOpen = false;
  const int result = run([&](TFormSprache& f) {
    // Something that is not a file now stands where the settings belong.
    ASSERT_TRUE(QDir(cwd.path()).mkdir("qdl.ini"));
    f.btOK->click();
    stillOpen = f.isVisible();
    ASSERT_TRUE(QDir(cwd.path()).rmdir("qdl.ini"));
    f.rgSprache->button(1)->click();
    f.btOK->click();
  });
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("qdl.ini")) << dialogs.errors[0].toStdString();
  EXPECT_EQ(result, QDialog::Accepted) << "the second try succeeds";
  EXPECT_EQ(qdl::IniFile(ini()).readInteger("Sprache", "Mode", 0), 1);
}

TEST_F(SpracheWindow, OkWritesTheFileThatWasOpenedOnShow) {
  qdl::test::TempCwd other;  // current directory changes while the window is open
  QDir::setCurrent(cwd.path());
  run([&](TFormSprache& f) {
    QDir::setCurrent(other.path());
    f.btOK->click();
  });
  EXPECT_TRUE(QFile::exists(ini()));
  EXPECT_FALSE(QFile::exists(other.file("qdl.ini")));
}

TEST_F(SpracheWindow, LayoutNamesAndHelpContexts) {
  form.show();
  QApplication::processEvents();
  EXPECT_EQ(form.size(), QSize(215, 131));
  EXPECT_EQ(form.minimumSize(), form.maximumSize()) << "fixed dialog";
  EXPECT_EQ(form.rgSprache->size(), QSize(153, 73));
  EXPECT_EQ(form.rgSprache->count(), 2);
  EXPECT_EQ(form.findChild<qdl::ui::RadioGroup*>("rgSprache"), form.rgSprache);
  int x = -1;
  for (QPushButton* b : {form.btOK, form.btCancel, form.btHelp}) {
    EXPECT_EQ(form.findChild<QPushButton*>(b->objectName()), b);
    EXPECT_GE(b->y(), form.rgSprache->geometry().bottom());
    EXPECT_EQ(b->y(), form.btOK->y()) << "one row";
    EXPECT_GT(b->x(), x);
    x = b->geometry().right();
    EXPECT_LE(b->geometry().bottom(), 131);
  }
  EXPECT_LE(x, 215);
  EXPECT_EQ(form.btOK->objectName(), "btOK");
  EXPECT_EQ(form.btCancel->objectName(), "btCancel");
  EXPECT_EQ(form.btHelp->objectName(), "btHelp");
  for (QWidget* w : {static_cast<QWidget*>(&form), static_cast<QWidget*>(form.rgSprache),
                     static_cast<QWidget*>(form.rgSprache->button(1)),
                     static_cast<QWidget*>(form.btOK), static_cast<QWidget*>(form.btHelp)})
    EXPECT_EQ(qdl::help::helpContextOf(w), 90) << w->objectName().toStdString();
  form.hide();
}

TEST_F(SpracheWindow, HelpKeyShowsTopic90InTheWindowsHelpFile) {
  std::vector<qdl::help::Request> requests;
  const auto previous =
      qdl::help::setRecorder([&](const qdl::help::Request& r) { requests.push_back(r); });
  form.FillEnglish();
  qdl::help::setHelpFile(&form, form.sHilfeDatei);
  qdl::help::helpKeyPressed(form.btHelp);
  qdl::help::helpKeyPressed(form.rgSprache->button(0));
  qdl::help::setRecorder(previous);
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) {
    EXPECT_EQ(r.command, qdl::help::Command::Topic);
    EXPECT_EQ(r.context, 90);
    EXPECT_EQ(r.file, "qdl_e.hlp");
  }
}

TEST(SpracheGlobal, PointsAtTheProgramsWindowOnly) {
  EXPECT_EQ(FormSprache, nullptr);
  {
    TFormSprache f;
    FormSprache = &f;
  }
  EXPECT_EQ(FormSprache, nullptr) << "a destroyed window leaves no dangling pointer";
}

}  // namespace
