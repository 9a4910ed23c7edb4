// The keyboard map on its own: key places and names on US and German
// layouts, the defaults, and the settings file's [Keys] with each kind of
// broken entry.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "control/Actions.h"
#include "control/KeyMap.h"
#include "platform/ini/IniFile.h"
#include "support/TempDir.h"

namespace {

using qdl::control::ActionResult;
using qdl::control::KeyMap;
using qdl::control::KeyProblem;

// The same key by its scan code, its US key code and its German key code,
// with its names.
TEST(KeyMap, APlaceIsTheSameKeyOnEveryLayoutAndBothNamesNameIt) {
  struct Row {
    int place;
    int usKey, germanKey;
    const char16_t *usName, *germanName;
  };
  const Row rows[] = {
      {47, Qt::Key_Semicolon, Qt::Key_Odiaeresis, u";", u"Ö"},
      {48, Qt::Key_Apostrophe, Qt::Key_Adiaeresis, u"'", u"Ä"},
      {34, Qt::Key_BracketLeft, Qt::Key_Udiaeresis, u"[", u"Ü"},
      {35, Qt::Key_BracketRight, Qt::Key_Plus, u"]", u"+"},
      {20, Qt::Key_Minus, Qt::Key_ssharp, u"-", u"ß"},
      {51, Qt::Key_Backslash, Qt::Key_NumberSign, u"\\", u"#"},
      {39, Qt::Key_S, Qt::Key_S, u"S", u"S"},
      {69, Qt::Key_F3, Qt::Key_F3, u"F3", u"F3"},
      {65, Qt::Key_Space, Qt::Key_Space, u"Space", u"Space"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.place);
    EXPECT_EQ(qdl::control::keyPlace(quint32(r.place), r.usKey), r.place);
    EXPECT_EQ(qdl::control::keyPlace(quint32(r.place), r.germanKey), r.place);
    EXPECT_EQ(qdl::control::keyPlace(0, r.usKey), r.place);
    EXPECT_EQ(qdl::control::keyPlace(0, r.germanKey), r.place);
    EXPECT_EQ(qdl::control::placeOfName(QString::fromUtf16(r.usName)), r.place);
    EXPECT_EQ(qdl::control::placeOfName(QString::fromUtf16(r.germanName)), r.place);
    EXPECT_EQ(qdl::control::keyName(r.place, false), QString::fromUtf16(r.usName));
    EXPECT_EQ(qdl::control::keyName(r.place, true), QString::fromUtf16(r.germanName));
  }
  // Y and Z change places on a German keyboard; names are the US ones.
  EXPECT_EQ(qdl::control::placeOfName("z"), 52);
  EXPECT_EQ(qdl::control::keyName(52, true), "Y");
  EXPECT_EQ(qdl::control::placeOfName("ö"), 47);
  EXPECT_EQ(qdl::control::placeOfName(" s "), 39);
  EXPECT_FALSE(qdl::control::placeOfName("Shift").has_value());
  EXPECT_FALSE(qdl::control::placeOfName("").has_value());
  // A scan code this map does not know is no key, whatever its key code.
  EXPECT_EQ(qdl::control::keyPlace(250, Qt::Key_S), 0);
}

TEST(KeyMap, RepeatsAreStepsOnly) {
  struct Row {
    const char* action;
    bool repeats;
  };
  const Row rows[] = {
      {"links.pitch.step.up", true},
      {"rechts.volume.down", true},
      {"mixer.headvolume.up", true},
      {"mixer.crossfader.step.links", true},
      {"links.play", false},
      {"links.headcue", false},
      {"links.pitch.up", false},
      {"autoplay.toggle", false},
      {"mixer.crossfader.links.hold", false},
      {"links.load", false},
  };
  for (const Row& r : rows) EXPECT_EQ(KeyMap::repeats(r.action), r.repeats) << r.action;
}

// A table of the default map's actions (the console's names) and one value.
struct Table {
  qdl::control::Actions actions;
  Table() {
    for (const qdl::control::KeyBinding& b : KeyMap::defaults().bindings())
      actions.addPress(b.action, "x", [] { return ActionResult::done(); });
    actions.addValue(
        "links.volume", "x", 0, 3000, [](int) { return ActionResult::done(); }, [] { return 0; });
  }
};

KeyMap readMap(const QByteArray& ini, const Table& t, QList<KeyProblem>* problems) {
  qdl::test::TempCwd cwd;
  QFile f(cwd.file("qdl.ini"));
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(ini);
  f.close();
  return KeyMap::read(qdl::IniFile(cwd.file("qdl.ini")), t.actions, problems);
}

TEST(KeyMap, WithoutKeysTheDefaultsHoldAndEveryKeyRunsOneAction) {
  Table t;
  QList<KeyProblem> problems;
  const KeyMap map = readMap("[Devices]\r\nMode=0\r\n", t, &problems);
  EXPECT_TRUE(problems.isEmpty());
  QHash<int, QString> seen;
  for (const qdl::control::KeyBinding& b : map.bindings()) {
    EXPECT_EQ(b.keys.size(), 1) << b.action.toStdString();
    for (const int k : b.keys) {
      EXPECT_FALSE(seen.contains(k))
          << b.action.toStdString() << " and " << seen.value(k).toStdString();
      seen.insert(k, b.action);
      EXPECT_EQ(map.actionOf(k), b.action);
    }
  }
  EXPECT_EQ(map.actionOf(47), "rechts.cue");
  EXPECT_EQ(map.actionOf(67), "") << "F1 stays the help";
}

// Each broken entry is told with its reason; good entries around it work.
TEST(KeyMap, BrokenEntriesAreToldOneByOneAndTheRestWorks) {
  Table t;
  QList<KeyProblem> problems;
  const KeyMap map = readMap(
      "[Keys]\r\n"
      "Links.Play=space,t\r\n"  // names match without regard to case
      "links.bogus=S\r\n"
      "links.volume=V\r\n"
      "links.cue=Ctrl+A\r\n"
      "links.time=T\r\n"
      "rechts.play=\r\n"
      "links.load=Z, ,\r\n",
      t, &problems);
  struct Row {
    KeyProblem::Reason reason;
    const char* entry;
    const char* detail;
  };
  const Row expected[] = {
      {KeyProblem::NoAction, "links.bogus", ""},
      {KeyProblem::ValueAction, "links.volume", ""},
      {KeyProblem::UnknownKey, "links.cue", "Ctrl+A"},
      {KeyProblem::KeyTaken, "links.time", "T"},
  };
  ASSERT_EQ(problems.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE(expected[i].entry);
    EXPECT_EQ(problems[i].reason, expected[i].reason);
    EXPECT_EQ(problems[i].entry, expected[i].entry);
    EXPECT_EQ(problems[i].detail, expected[i].detail);
  }
  EXPECT_EQ(problems[3].other, "Links.Play");
  EXPECT_EQ(map.keysOf("links.play"), (QList<int>{65, 28}));
  EXPECT_EQ(map.actionOf(39), "") << "S left links.play";
  EXPECT_EQ(map.keysOf("links.cue"), QList<int>{38});
  EXPECT_EQ(map.keysOf("links.time"), QList<int>{10});
  EXPECT_TRUE(map.keysOf("rechts.play").isEmpty());
  EXPECT_EQ(map.keysOf("links.load"), QList<int>{52});
}

TEST(KeyMap, AnUnreadableFileGivesTheDefaultsAndSaysSo) {
  Table t;
  qdl::test::TempCwd cwd;
  QDir(cwd.path()).mkdir("qdl.ini");  // a folder where the file should be
  QList<KeyProblem> problems;
  const KeyMap map = KeyMap::read(qdl::IniFile(cwd.file("qdl.ini")), t.actions, &problems);
  EXPECT_EQ(map.actionOf(39), "links.play");
  ASSERT_EQ(problems.size(), 1);
  EXPECT_EQ(problems[0].reason, KeyProblem::Unreadable);
  EXPECT_FALSE(problems[0].detail.isEmpty());
}

TEST(KeyMap, AnActionTheTableLacksIsNeverBound) {
  qdl::control::Actions only;
  only.addPress("links.play", "x", [] { return ActionResult::done(); });
  QList<KeyProblem> problems;
  qdl::test::TempCwd cwd;
  const KeyMap small = KeyMap::read(qdl::IniFile(cwd.file("qdl.ini")), only, &problems);
  ASSERT_EQ(small.bindings().size(), 1);
  EXPECT_EQ(small.actionOf(39), "links.play");
  EXPECT_EQ(small.actionOf(46), "");
}

}  // namespace
