// Editing a table through a grid and a navigator: the row of a record being
// inserted, the cursor after posts that move records, refresh, and the ten
// navigator buttons, against real SQLite files and real widgets.
#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolButton>

#include "platform/db/GridBinding.h"
#include "platform/db/Navigator.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "support/ScriptedDialogs.h"

using namespace qdl::db;
using Button = Navigator::Button;

namespace {

class EditingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    table.setDatabaseName(dir.path());
    table.setTableName("songs.db");
    table.createTable({{"Nr", FieldType::AutoInc, 0, false},
                       {"Name", FieldType::String, 10, false},
                       {"Path", FieldType::String, 0, false},
                       {"Beats", FieldType::SmallInt, 0, false}},
                      {{"", "Nr", IndexOption::Primary | IndexOption::Unique},
                       {"iPath", "Path", IndexOption::Unique | IndexOption::CaseInsensitive},
                       {"iName", "Name", IndexOption::CaseInsensitive}});
    table.setIndexName("iName");
    table.open();
    for (const char* n : {"b", "d", "f", "h"})
      table.insertRecord({QVariant(), n, QString("/%1").arg(n), QVariant()});
    table.first();
  }
  QString nameAt(int row) const { return model.data(model.index(row, 0)).toString(); }
  QStringList shownNames() const {
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r) out << nameAt(r);
    return out;
  }

  QTemporaryDir dir;
  Table table;
  TableModel model{&table, {"Name", "Path", "Beats"}};
};

TEST_F(EditingTest, InsertRowStandsInFrontOfTheCurrentRecordUntilPostOrCancel) {
  model.setEditable(true);
  table.moveTo(2);  // "f"
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  table.insert();
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(model.rowCount(), 5);
  EXPECT_EQ(model.insertRow(), 2);
  EXPECT_EQ(model.currentRow(), 2);
  EXPECT_EQ(shownNames(), QStringList({"b", "d", "", "f", "h"}));
  EXPECT_EQ(model.tableRow(3), 2);
  EXPECT_EQ(model.modelRow(2), 3);
  EXPECT_EQ(model.headerData(2, Qt::Vertical).toString(), "*");

  // Typing into the insert row fills the pending record, shown at once.
  EXPECT_TRUE(model.setData(model.index(2, 0), "a"));
  EXPECT_TRUE(model.setData(model.index(2, 1), "/a"));
  EXPECT_EQ(nameAt(2), "a");
  EXPECT_EQ(table.state(), Table::State::Insert);
  EXPECT_EQ(table.recordCount(), 4);

  // Posting puts the stored record where the order says.
  table.post();
  EXPECT_EQ(model.insertRow(), -1);
  EXPECT_EQ(shownNames(), QStringList({"a", "b", "d", "f", "h"}));
  EXPECT_EQ(model.currentRow(), 0);
  EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), ">");

  // Cancelling removes the row again and leaves the table as it was.
  table.moveTo(4);
  table.insert();
  EXPECT_EQ(model.insertRow(), 4);
  table.cancel();
  EXPECT_EQ(model.rowCount(), 5);
  EXPECT_EQ(model.currentRow(), 4);
  EXPECT_EQ(shownNames(), QStringList({"a", "b", "d", "f", "h"}));

  // An empty table shows its insert row at the top.
  while (table.recordCount() > 0) table.deleteRecord();
  table.insert();
  EXPECT_EQ(model.rowCount(), 1);
  EXPECT_EQ(model.insertRow(), 0);
  table.cancel();
  EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(EditingTest, OneStepInsertsAndEditRoleTexts) {
  model.setEditable(true);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  table.insertRecord({QVariant(), "c", "/c", 120});
  EXPECT_EQ(inserted.count(), 1);
  EXPECT_EQ(removed.count(), 0);
  EXPECT_THROW(table.insertRecord({QVariant(), "x", "/c", QVariant()}), DuplicateKeyError);
  EXPECT_EQ(table.state(), Table::State::Browse);
  EXPECT_EQ(inserted.count(), 1);

  // "c" stands at row 1. Every value edits as text; an empty number as empty text.
  EXPECT_EQ(model.data(model.index(1, 2), Qt::EditRole), QVariant(QString("120")));
  EXPECT_EQ(model.data(model.index(1, 2), Qt::DisplayRole), QVariant(120));
  EXPECT_EQ(model.data(model.index(0, 2), Qt::EditRole), QVariant(QString()));

  // Handing back the shown text changes nothing; another text edits.
  EXPECT_TRUE(model.setData(model.index(1, 2), "120"));
  EXPECT_TRUE(model.setData(model.index(0, 2), ""));
  EXPECT_EQ(table.state(), Table::State::Browse);
  QSignalSpy errors(&model, &TableModel::error);
  EXPECT_FALSE(model.setData(model.index(1, 2), "fast"));
  ASSERT_EQ(errors.count(), 1);
  EXPECT_TRUE(errors.at(0).at(0).toString().contains("Beats"));
  EXPECT_TRUE(model.setData(model.index(1, 2), "128"));
  EXPECT_EQ(table.state(), Table::State::Edit);
  EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "I");
  table.post();
  EXPECT_EQ(table.asInteger("Beats"), 128);
}

TEST_F(EditingTest, MovingAfterAChangeLandsOnTheChosenRecord) {
  // "b" becomes "z": its post moves it to the end, the rows in between
  // move up by one; the cursor still goes to the record chosen.
  table.first();
  table.setFieldValue("Name", "z");
  table.moveTo(2);  // "f" while "b" was still at row 0
  EXPECT_EQ(table.asString("Name"), "f");
  EXPECT_EQ(table.currentRow(), 1);

  // The same after an insert that lands in front of the chosen record.
  table.insert();
  table.setFieldValue("Name", "a");
  table.setFieldValue("Path", "/a");
  table.moveTo(2);  // "h"
  EXPECT_EQ(table.asString("Name"), "h");
  EXPECT_EQ(table.recordCount(), 5);

  // The row of the record being changed itself: it is followed.
  table.first();  // "a"
  table.setFieldValue("Name", "y");
  table.moveTo(0);
  EXPECT_EQ(table.asString("Name"), "y");
}

TEST_F(EditingTest, RefreshPostsAndKeepsTheCurrentRecord) {
  table.moveTo(1);
  table.setFieldValue("Beats", 90);
  QSignalSpy reset(&table, &Table::tableReset);
  table.refresh();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(table.state(), Table::State::Browse);
  EXPECT_EQ(table.asString("Name"), "d");
  EXPECT_EQ(table.asInteger("Beats"), 90);
}

TEST_F(EditingTest, GridChoosingAnotherRowPostsTheInsertedRecord) {
  qdl::test::ScriptedDialogs dialogs;
  model.setEditable(true);
  QTableView view;
  new GridBinding(&view, &model);
  view.resize(400, 300);
  view.show();
  table.moveTo(1);  // "d"
  table.insert();
  EXPECT_EQ(view.currentIndex().row(), 1);
  ASSERT_TRUE(model.setData(model.index(1, 0), "g"));
  ASSERT_TRUE(model.setData(model.index(1, 1), "/g"));

  // Choosing "b" (row 0) posts "g", which sorts after "f".
  view.selectionModel()->setCurrentIndex(
      model.index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_EQ(table.state(), Table::State::Browse);
  EXPECT_EQ(table.asString("Name"), "b");
  EXPECT_EQ(shownNames(), QStringList({"b", "d", "f", "g", "h"}));
  EXPECT_EQ(view.currentIndex().row(), 0);

  // A refused insert stays pending, and the grid stays on its row.
  table.insert();
  ASSERT_TRUE(model.setData(model.index(0, 1), "/g"));
  view.selectionModel()->setCurrentIndex(
      model.index(3, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_TRUE(dialogs.errors[0].contains("Key violation"));
  EXPECT_EQ(table.state(), Table::State::Insert);
  EXPECT_EQ(view.currentIndex().row(), 0);
  EXPECT_EQ(table.asString("Path"), "/g");

  // An unchanged new record is simply dropped when the cursor moves.
  table.cancel();
  table.insert();
  view.selectionModel()->setCurrentIndex(
      model.index(4, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  EXPECT_EQ(table.recordCount(), 5);
  EXPECT_EQ(table.asString("Name"), "g");  // row 4 counted with the insert row
}

TEST_F(EditingTest, NavigatorButtonsFollowTheTableAndAct) {
  qdl::test::ScriptedDialogs dialogs;
  Navigator nav;
  auto on = [&](Button b) { return nav.button(b)->isEnabled(); };
  EXPECT_FALSE(on(Button::Insert));  // no table yet
  nav.setTable(&table);
  nav.setDeleteQuestion("Datensatz löschen?", "Achtung!");
  EXPECT_EQ(nav.button(Button::Post)->toolTip(), "Bearbeitung speichern");
  nav.setHints(Navigator::englishHints());
  EXPECT_EQ(nav.button(Button::Refresh)->toolTip(), "Refresh data");

  table.first();
  EXPECT_FALSE(on(Button::First));
  EXPECT_FALSE(on(Button::Prior));
  EXPECT_TRUE(on(Button::Next));
  EXPECT_TRUE(on(Button::Edit));
  EXPECT_FALSE(on(Button::Post));
  EXPECT_FALSE(on(Button::Cancel));
  nav.button(Button::Last)->click();
  EXPECT_EQ(table.asString("Name"), "h");
  EXPECT_FALSE(on(Button::Next));
  EXPECT_TRUE(on(Button::First));
  nav.button(Button::Prior)->click();
  EXPECT_EQ(table.asString("Name"), "f");
  nav.button(Button::First)->click();
  nav.button(Button::Next)->click();
  EXPECT_EQ(table.asString("Name"), "d");

  // Edit, cancel, post.
  nav.button(Button::Edit)->click();
  EXPECT_EQ(table.state(), Table::State::Edit);
  EXPECT_FALSE(on(Button::Edit));
  EXPECT_TRUE(on(Button::Post));
  table.setFieldValue("Beats", 100);
  nav.button(Button::Cancel)->click();
  EXPECT_EQ(table.state(), Table::State::Browse);
  EXPECT_FALSE(table.fieldByName("Beats").isValid());
  table.setFieldValue("Beats", 101);
  nav.button(Button::Post)->click();
  EXPECT_EQ(table.asInteger("Beats"), 101);

  // Insert with a duplicate path: the refusal is shown, the record stays.
  nav.button(Button::Insert)->click();
  EXPECT_EQ(table.state(), Table::State::Insert);
  EXPECT_TRUE(on(Button::Next));
  table.setFieldValue("Path", "/b");
  nav.button(Button::Post)->click();
  ASSERT_EQ(dialogs.errors.size(), 1);
  EXPECT_EQ(table.state(), Table::State::Insert);
  EXPECT_EQ(table.asString("Path"), "/b");
  table.setFieldValue("Path", "/c");
  nav.button(Button::Post)->click();
  EXPECT_EQ(table.recordCount(), 5);

  // Delete asks; No keeps the record, Yes deletes it.
  const QString current = table.asString("Path");
  nav.button(Button::Delete)->click();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Datensatz löschen?");
  EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
  EXPECT_EQ(dialogs.boxes[0].buttons, qdl::ui::Buttons::YesNo);
  EXPECT_EQ(table.recordCount(), 5);
  dialogs.answers.push_back(qdl::ui::Answer::Yes);
  nav.button(Button::Delete)->click();
  EXPECT_EQ(table.recordCount(), 4);
  EXPECT_NE(table.asString("Path"), current);

  nav.button(Button::Refresh)->click();
  EXPECT_EQ(table.recordCount(), 4);

  // An empty table: only insert and refresh.
  while (table.recordCount() > 0) table.deleteRecord();
  for (Button b : {Button::First, Button::Prior, Button::Next, Button::Last, Button::Delete,
                   Button::Edit, Button::Post, Button::Cancel})
    EXPECT_FALSE(on(b)) << int(b);
  EXPECT_TRUE(on(Button::Insert));
  EXPECT_TRUE(on(Button::Refresh));
  table.close();
  EXPECT_FALSE(on(Button::Insert));
}

}  // namespace
