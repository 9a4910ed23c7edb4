#pragma once
// A data module over an empty song library in a temporary folder (Data/ for
// the library, music/ for songs), German texts and scripted dialogs: the
// fixture of the tests that post records and write their tags.

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "support/ScriptedDialogs.h"

class SongTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    QDir(dir.path()).mkpath("Data");
    QDir(dir.path()).mkpath("music");
    sprache.FillGerman();
    FormSprache = &sprache;
    DataModule1 = &dm;
    dm.Table1->setDatabaseName(dir.path() + "/Data");
    dm.Table1->setTableName("data.db");
    dm.CreateSongTable();
  }
  void TearDown() override {
    FormSprache = nullptr;
    DataModule1 = nullptr;
  }

  QTemporaryDir dir;
  TFormSprache sprache;
  TDataModule1 dm;
  qdl::test::ScriptedDialogs dialogs;
};
