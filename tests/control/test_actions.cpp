// The table of named actions on its own: running by name, kinds, ranges,
// refusals without a box and the states sent back.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <vector>

#include "control/Actions.h"

namespace {

using qdl::control::ActionKind;
using qdl::control::ActionResult;
using qdl::control::Actions;

// A small table: a lamp that a press switches, a held button, a value with
// a fixed range and one whose maximum changes, and an action that refuses.
struct Table {
  Actions actions;
  bool lamp = false;
  int held = 0;
  int level = 0;
  int position = 0;
  int length = 100;

  Table() {
    actions.addPress(
        "lamp.toggle", "lamp on or off",
        [this] {
          lamp = !lamp;
          return ActionResult::done();
        },
        [this] { return int(lamp); });
    actions.addPressRelease(
        "button.hold", "held",
        [this] {
          ++held;
          return ActionResult::done();
        },
        [this] {
          --held;
          return ActionResult::done();
        });
    actions.addValue(
        "level", "a level", -10, 10,
        [this](int v) {
          level = v;
          return ActionResult::done();
        },
        [this] { return level; });
    actions.addValue(
        "seek", "a position", 0, 0,
        [this](int v) {
          position = v;
          return ActionResult::done();
        },
        [this] { return position; }, [this] { return length; });
    actions.addPress("broken", "always refuses",
                     [] { return ActionResult::refused("the deck has no song"); });
    actions.addPress("idle", "does nothing now", [] { return ActionResult::ignored(); });
  }
};

TEST(Actions, ListsEveryActionInOrderWithItsKindAndRange) {
  Table t;
  struct Row {
    const char* name;
    ActionKind kind;
    int minimum, maximum;
  };
  const std::vector<Row> rows = {
      {"lamp.toggle", ActionKind::Press, 0, 0}, {"button.hold", ActionKind::PressRelease, 0, 0},
      {"level", ActionKind::Value, -10, 10},    {"seek", ActionKind::Value, 0, 0},
      {"broken", ActionKind::Press, 0, 0},      {"idle", ActionKind::Press, 0, 0}};
  const auto list = t.actions.list();
  ASSERT_EQ(list.size(), qsizetype(rows.size()));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(list[i].name, rows[i].name);
    EXPECT_EQ(list[i].kind, rows[i].kind) << rows[i].name;
    EXPECT_EQ(list[i].minimum, rows[i].minimum) << rows[i].name;
    EXPECT_EQ(list[i].maximum, rows[i].maximum) << rows[i].name;
  }
  EXPECT_EQ(qdl::control::kindName(ActionKind::PressRelease), "press/release");
  EXPECT_FALSE(t.actions.info("nothing").has_value());
}

TEST(Actions, RunsPressesReleasesAndValuesByName) {
  Table t;
  EXPECT_EQ(t.actions.press("lamp.toggle").status, ActionResult::Done);
  EXPECT_TRUE(t.lamp);
  EXPECT_EQ(t.actions.press("button.hold").status, ActionResult::Done);
  EXPECT_EQ(t.held, 1);
  EXPECT_EQ(t.actions.release("button.hold").status, ActionResult::Done);
  EXPECT_EQ(t.held, 0);
  // A press that lasts no time has nothing to release.
  EXPECT_EQ(t.actions.release("lamp.toggle").status, ActionResult::Ignored);
  EXPECT_TRUE(t.lamp);
  EXPECT_EQ(t.actions.setValue("level", -10).status, ActionResult::Done);
  EXPECT_EQ(t.level, -10);
  EXPECT_EQ(t.actions.setValue("level", 10).status, ActionResult::Done);
  EXPECT_EQ(t.level, 10);
  EXPECT_EQ(t.actions.press("idle").status, ActionResult::Ignored);
}

TEST(Actions, RefusesWithAReasonAndTellsItWithoutABox) {
  Table t;
  QSignalSpy refused(&t.actions, &Actions::refused);
  struct Row {
    const char* what;
    std::function<ActionResult()> run;
    const char* name;
    const char* reasonPart;
  };
  const std::vector<Row> rows = {
      {"unknown press", [&] { return t.actions.press("links.nothing"); }, "links.nothing",
       "no action"},
      {"unknown release", [&] { return t.actions.release("links.nothing"); }, "links.nothing",
       "no action"},
      {"unknown value", [&] { return t.actions.setValue("links.nothing", 1); }, "links.nothing",
       "no action"},
      {"press of a value", [&] { return t.actions.press("level"); }, "level", "takes a value"},
      {"release of a value", [&] { return t.actions.release("level"); }, "level", "takes a value"},
      {"value of a press", [&] { return t.actions.setValue("lamp.toggle", 1); }, "lamp.toggle",
       "takes no value"},
      {"below the range", [&] { return t.actions.setValue("level", -11); }, "level",
       "takes -10 to 10, not -11"},
      {"above the range", [&] { return t.actions.setValue("level", 11); }, "level",
       "takes -10 to 10, not 11"},
      {"beyond the changing end", [&] { return t.actions.setValue("seek", 101); }, "seek",
       "takes 0 to 100, not 101"},
      {"refused by the action", [&] { return t.actions.press("broken"); }, "broken",
       "the deck has no song"},
  };
  for (const Row& row : rows) {
    refused.clear();
    const ActionResult r = row.run();
    EXPECT_EQ(r.status, ActionResult::Refused) << row.what;
    EXPECT_TRUE(r.why.contains(row.reasonPart)) << row.what << ": " << r.why.toStdString();
    ASSERT_EQ(refused.count(), 1) << row.what;
    EXPECT_EQ(refused[0][0].toString(), row.name) << row.what;
    EXPECT_EQ(refused[0][1].toString(), r.why) << row.what;
  }
  // Nothing was changed by a refusal.
  EXPECT_EQ(t.level, 0);
  EXPECT_EQ(t.position, 0);
  // The changing end moves with what it follows.
  t.length = 200;
  EXPECT_EQ(t.actions.setValue("seek", 150).status, ActionResult::Done);
  EXPECT_EQ(t.position, 150);
}

TEST(Actions, SendsAStateBackOnlyWhenItChanged) {
  Table t;
  QSignalSpy changed(&t.actions, &Actions::stateChanged);
  EXPECT_EQ(t.actions.state("lamp.toggle"), 0);
  EXPECT_FALSE(t.actions.state("button.hold").has_value());  // no state
  EXPECT_FALSE(t.actions.state("nothing").has_value());
  t.actions.refresh("lamp.toggle");
  EXPECT_EQ(changed.count(), 0);  // nothing changed yet
  t.actions.press("lamp.toggle");
  t.actions.refresh("lamp.toggle");
  t.actions.refresh("lamp.toggle");
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toString(), "lamp.toggle");
  EXPECT_EQ(changed[0][1].toInt(), 1);
  // A change made without the table (a click on its control) is sent too.
  t.level = 7;
  t.actions.refreshAll();
  ASSERT_EQ(changed.count(), 2);
  EXPECT_EQ(changed[1][0].toString(), "level");
  EXPECT_EQ(changed[1][1].toInt(), 7);
  t.actions.refreshAll();
  EXPECT_EQ(changed.count(), 2);
}

}  // namespace
