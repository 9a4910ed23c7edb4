// The language of the whole console, end to end: the console starts in a
// folder whose qdl.ini holds a given "Sprache"/"Mode", and every text the
// language sets is read back from its window; then the language window
// switches it, and Cancel keeps it.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <functional>

#include "app/About.h"
#include "app/Mainform.h"
#include "app/Windows.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/db/Navigator.h"
#include "platform/db/Table.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "settings/Geraete.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"

namespace {

using Text = std::function<QString()>;

void writeFile(const QString& path, const QByteArray& data) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(data);
}

QString header(QTableView* grid, int column) {
  return grid->model()->headerData(column, Qt::Horizontal).toString();
}

QString items(const qdl::ui::RadioGroup* group) {
  return group->items().join(QLatin1Char('|')) + QStringLiteral(" @%1").arg(group->itemIndex());
}

// The device dialog's labels in a mode (selected as a click would); the
// dialog goes back to mode 0 afterwards.
QString deviceLabels(int mode) {
  DlgGeraete->rgMode->setItemIndex(mode);
  const QString text = DlgGeraete->Label1->text() + QLatin1Char('|') + DlgGeraete->Label2->text();
  DlgGeraete->rgMode->setItemIndex(0);
  return text;
}

struct Row {
  const char* where;
  Text actual;
  QString german;
  QString english;
};

// Every text the language sets, where it is shown, in German and English.
std::vector<Row> texts() {
  TFormQuandrel* m = FormQuandrel;
  TFormDatenBearbeiten* e = FormDatenBearbeiten;
  TFormPlayList* p = FormPlayList;
  TDlgGeraete* g = DlgGeraete;
  TFormScan* sc = FormScan;
  TFormSprache* sp = FormSprache;
  TFormDruckauswahl* d = FormDruckauswahl;
  TFormQReport* r = FormQReport;
  return {
      // Main menu.
      {"Datenbank1", [=] { return m->Datenbank1->title(); }, "&Datenbank", "&Database"},
      {"Scan1", [=] { return m->Scan1->text(); }, "&Check", "&Check"},
      {"IDEdit1", [=] { return m->IDEdit1->text(); }, "&ID3-Editor", "&ID3-Editor"},
      {"Analyse1", [=] { return m->Analyse1->text(); }, "&Tempo analysieren", "Analyse &tempo"},
      {"Drucken1", [=] { return m->Drucken1->text(); }, "&Drucken", "&Print"},
      {"DruckSetup1", [=] { return m->DruckSetup1->text(); }, "Drucker&einrichtung",
       "Printer &Setup"},
      {"Beenden1", [=] { return m->Beenden1->text(); }, "&Beenden", "&Exit"},
      {"Playliste1", [=] { return m->Playliste1->title(); }, "&Playliste", "&Playlist"},
      {"Neu1", [=] { return m->Neu1->text(); }, "&Neu", "&New"},
      {"Laden1", [=] { return m->Laden1->text(); }, "&Laden", "&Load"},
      {"Einstellungen1", [=] { return m->Einstellungen1->title(); }, "&Einstellungen", "&Options"},
      {"Geraete1", [=] { return m->Geraete1->text(); }, "&Geräte", "&Devices"},
      {"Sprache1", [=] { return m->Sprache1->text(); }, "&Sprache", "&Language"},
      {"Hilfe1", [=] { return m->Hilfe1->title(); }, "&Hilfe", "&Help"},
      {"Inhalt1", [=] { return m->Inhalt1->text(); }, "&Inhalt", "&Contents"},
      {"Index1", [=] { return m->Index1->text(); }, "Inde&x", "Inde&x"},
      {"Info1", [=] { return m->Info1->text(); }, "In&fo...", "In&fo..."},
      // Buttons.
      {"FormPlayList.btSave", [=] { return p->btSave->text(); }, "&Speichern", "&Save"},
      {"FormPlayList.btStart", [=] { return p->btStart->text(); }, "&Starten", "&Start"},
      {"FormPlayList.btHelp", [=] { return p->btHelp->text(); }, "&Hilfe", "&Help"},
      {"FormPlayList.btCancel", [=] { return p->btCancel->text(); }, "&Abbruch", "&Cancel"},
      {"LoadDB_Links", [=] { return m->LoadDB_Links->text(); }, "&Laden", "&Load"},
      {"LoadDB_Rechts", [=] { return m->LoadDB_Rechts->text(); }, "&Laden", "&Load"},
      {"FaderLinks", [=] { return m->FaderLinks->text(); }, "&Links", "&Left"},
      {"FaderRechts", [=] { return m->FaderRechts->text(); }, "&Rechts", "&Right"},
      {"sbCrossZero", [=] { return m->sbCrossZero->text(); }, "&Zero", "&Zero"},
      {"SpeedZero_Links", [=] { return m->SpeedZero_Links->text(); }, "&Zero", "&Zero"},
      {"SpeedZero_Rechts", [=] { return m->SpeedZero_Rechts->text(); }, "&Zero", "&Zero"},
      {"FormSprache.btCancel", [=] { return sp->btCancel->text(); }, "&Abbruch", "&Cancel"},
      {"FormSprache.btOK", [=] { return sp->btOK->text(); }, "&OK", "&OK"},
      {"FormSprache.btHelp", [=] { return sp->btHelp->text(); }, "&Hilfe", "&Help"},
      {"DlgGeraete.CancelBtn", [=] { return g->CancelBtn->text(); }, "&Abbruch", "&Cancel"},
      {"DlgGeraete.OKBtn", [=] { return g->OKBtn->text(); }, "&OK", "&OK"},
      {"DlgGeraete.btHelp", [=] { return g->btHelp->text(); }, "&Hilfe", "&Help"},
      {"FormScan.btHelp", [=] { return sc->btHelp->text(); }, "&Hilfe", "&Help"},
      {"FormScan.btCancel", [=] { return sc->btCancel->text(); }, "&Abbruch", "&Cancel"},
      {"FormScan.btStart", [=] { return sc->btStart->text(); }, "&Starten", "&Start"},
      {"FormDruckauswahl.btAbbruch", [=] { return d->btAbbruch->text(); }, "&Abbruch", "&Cancel"},
      {"FormDruckauswahl.btHelp", [=] { return d->btHelp->text(); }, "&Hilfe", "&Help"},
      {"FormDatenBearbeiten.btHelp", [=] { return e->btHelp->text(); }, "&Hilfe", "&Help"},
      {"FormDatenBearbeiten.btClose", [=] { return e->btClose->text(); }, "&Schliessen", "&Close"},
      // Main window labels.
      {"Label1", [=] { return m->Label1->text(); }, "Suche Interpret", "Search Artist"},
      {"Label2", [=] { return m->Label2->text(); }, "Suche Titel", "Search Title"},
      {"Label4", [=] { return m->Label4->text(); }, "Suche Kategorie", "Search Genre"},
      {"Label5", [=] { return m->Label5->text(); }, "Suche Jahr", "Search Year"},
      {"Label3", [=] { return m->Label3->text(); }, "Vol. Links", "Vol. Left"},
      {"Label7", [=] { return m->Label7->text(); }, "Vol. Rechts", "Vol. Right"},
      // Check and scan window.
      {"FormScan", [=] { return sc->windowTitle(); }, "Check und Scan", "Check and Scan"},
      {"FormScan.GroupBox1", [=] { return sc->GroupBox1->title(); }, "durchsuchbare Laufwerke",
       "searchable disks"},
      {"FormScan.cbNet", [=] { return sc->cbNet->text(); }, "mit Netzwerklaufwerken",
       "with Netdisks"},
      {"FormScan.cbCDRom", [=] { return sc->cbCDRom->text(); }, "mit CDROM", "with CDROM"},
      {"FormScan.cbTempo", [=] { return sc->cbTempo->text(); }, "Tempo neuer Titel analysieren",
       "Analyse the tempo of new songs"},
      {"FormScan.cbRetag", [=] { return sc->cbRetag->text(); }, "Tags neu lesen", "Re-read tags"},
      {"FormScan.cbChange", [=] { return sc->cbChange->text(); }, "mit Wechselmedien",
       "with Changemedias"},
      {"FormScan.RGBedingung", [=] { return sc->RGBedingung->title(); }, "Scanbedingungen",
       "Scanning options"},
      {"FormScan.RGBedingung items", [=] { return items(sc->RGBedingung); },
       "Check und Scan|nur Check|nur Scan @0", "Check and Scan|only Check|only Scan @0"},
      // Record editor.
      {"FormDatenBearbeiten", [=] { return e->windowTitle(); }, "ID3-Editor", "ID3-Editor"},
      {"FormDatenBearbeiten.Label1", [=] { return e->Label1->text(); }, "Suche Interpret",
       "Search Artist"},
      {"FormDatenBearbeiten.Label2", [=] { return e->Label2->text(); }, "Suche Titel",
       "Search Title"},
      // Playlist window.
      {"FormPlayList", [=] { return p->windowTitle(); }, "Playliste", "Playlist"},
      // Device dialog.
      {"DlgGeraete", [=] { return g->windowTitle(); }, "Geräteeinstellungen", "Sounddevices"},
      {"DlgGeraete.rgMode", [=] { return g->rgMode->title(); }, "Soundkartenmodi",
       "Soundcard options"},
      {"DlgGeraete.rgMode items", [=] { return items(g->rgMode); },
       "nur eine|Aux/Kopf|Links/Rechts @0", "only one|Aux/Head|Left/Right @0"},
      {"DlgGeraete mode 0 labels", [=] { return g->Label1->text() + '|' + g->Label2->text(); },
       "Soundkartenauswahl|", "Soundkartenauswahl|"},
      {"DlgGeraete mode 1 labels", [] { return deviceLabels(1); },
       "Soundkarte Ausgang|Soundkarte Kopfhörer",
       "Soundcard for Auxilary (Amp)|Soundcard for headphone"},
      {"DlgGeraete mode 2 labels", [] { return deviceLabels(2); },
       "Soundkarte linker Player|Soundkarte rechter Player",
       "Soundcard for left player|Soundcard for right player"},
      // Language window.
      {"FormSprache", [=] { return sp->windowTitle(); }, "Sprachauswahl", "Choose language"},
      {"FormSprache.rgSprache", [=] { return sp->rgSprache->title(); }, "verfügbare Sprachen",
       "avaible languages"},
      {"FormSprache.rgSprache items", [=] { return items(sp->rgSprache); }, "Deutsch|Englisch @0",
       "German|English @0"},
      // Grid column titles.
      {"DBGrid1 0", [=] { return header(m->DBGrid1, 0); }, "Interpret", "Artist"},
      {"DBGrid1 1", [=] { return header(m->DBGrid1, 1); }, "Titel", "Title"},
      {"DBGrid1 2", [=] { return header(m->DBGrid1, 2); }, "Kategorie", "Genre"},
      {"DBGrid1 3", [=] { return header(m->DBGrid1, 3); }, "Jahr", "Year"},
      {"DBGrid1 4", [=] { return header(m->DBGrid1, 4); }, "Beats", "Beats"},
      {"editor grid 0", [=] { return header(e->DBGrid1, 0); }, "Interpret", "Artist"},
      {"editor grid 1", [=] { return header(e->DBGrid1, 1); }, "Titel", "Title"},
      {"editor grid 2", [=] { return header(e->DBGrid1, 2); }, "Beats", "Beats"},
      {"editor grid 3", [=] { return header(e->DBGrid1, 3); }, "Kategorie", "Genre"},
      {"editor grid 4", [=] { return header(e->DBGrid1, 4); }, "Jahr", "Year"},
      {"editor grid 5", [=] { return header(e->DBGrid1, 5); }, "Dateiname", "Filename"},
      // Help file of seven windows (the report has none).
      {"help files",
       [=] {
         QStringList files;
         for (QWidget* w : std::initializer_list<QWidget*>{m, p, sc, e, g, sp, d})
           files << qdl::help::helpFileOf(w);
         return files.join(QLatin1Char(' '));
       },
       "qdl_g.hlp qdl_g.hlp qdl_g.hlp qdl_g.hlp qdl_g.hlp qdl_g.hlp qdl_g.hlp",
       "qdl_e.hlp qdl_e.hlp qdl_e.hlp qdl_e.hlp qdl_e.hlp qdl_e.hlp qdl_e.hlp"},
      // Print selection.
      {"FormDruckauswahl", [=] { return d->windowTitle(); }, "Drucksortierung", "Print-sorting"},
      {"FormDruckauswahl.btDruck", [=] { return d->btDruck->text(); }, "&Drucken", "&Print"},
      {"FormDruckauswahl.btVorschau", [=] { return d->btVorschau->text(); }, "&Vorschau",
       "Pre&view"},
      {"FormDruckauswahl.rgSort", [=] { return d->rgSort->title(); }, "Sortiert nach ...",
       "Sorted by..."},
      {"FormDruckauswahl.rgSort items", [=] { return items(d->rgSort); },
       "Interpret|Titel|Kategorie|Jahr @0", "Artist|Title|Genre|Year @0"},
      // Report.
      {"QRSDSeite", [=] { return r->QRSDSeite->text; }, "Seite ", "Side "},
      {"QRLbUeberschrift", [=] { return r->QRLbUeberschrift->text; },
       "Quandrel Titelliste sortiert nach ", "Quandrel Songlist sortet by "},
      {"report heads",
       [=] {
         return QStringList{r->QRLbInterpret->text, r->QRLbTitel->text, r->QRLbBeats->text,
                            r->QRLbGenre->text, r->QRLbJahr->text}
             .join(QLatin1Char('|'));
       },
       "Interpret|Titel|Beats|Kategorie|Jahr", "Artist|Title|Beats|Genre|Year"},
      // The song count (two songs in the library), wherever it is written.
      {"StatusBarData", [=] { return m->StatusBarData->simpleText(); }, "2 Titel verfügbar",
       "2 Songs avaible"},
      {"StatusBarData after Scan1Click",
       [=] {
         m->StatusBarData->setSimpleText(QString());
         m->Scan1Click();
         sc->hide();
         return m->StatusBarData->simpleText();
       },
       "2 Titel verfügbar", "2 Songs avaible"},
      {"StatusBarData on activation",
       [=] {
         m->StatusBarData->setSimpleText(QString());
         m->FormActivate();
         return m->StatusBarData->simpleText();
       },
       "2 Titel verfügbar", "2 Songs avaible"},
      {"FormDatenBearbeiten.Label3",
       [=] {
         e->FormShow();
         return e->Label3->text();
       },
       "2 Titel verfügbar", "2 Songs avaible"},
      // The decks play on virtual cards in the tests: the title says so.
      {"FormQuandrel", [=] { return m->windowTitle(); },
       "Quandrel (Alpha 2) – virtuelle Soundkarte, kein Ton",
       "Quandrel (Alpha 2) – virtual sound card, no sound"},
      // Texts of other windows that follow the language.
      {"progress captions",
       [=] { return sp->Scan.sScanFortschritt + '|' + sp->Scan.sCheckFortschritt; },
       "scanne Hardisk und integriere mp3-Dateien in DB|überprüfe Datenbank",
       "scanning disks and adding MP3 files to the database|checking database"},
      {"AboutBox.Comments", [] { return AboutBox->Comments->text(); },
       "Ein DJ-Pult für MP3-Dateien", "A DJ console for MP3 files"},
      // Texts that are the same in both languages stay.
      {"fixed texts",
       [=] {
         return QStringList{m->cbAutoPlay->text(), m->cbAutoCue->text(),    m->Label6->text(),
                            m->Label8->text(),     m->btTime_Links->text(), p->btDelete->text()}
             .join(QLatin1Char('|'));
       },
       "Autoplay|Autocue|Vol. Head|Head|Time|del", "Autoplay|Autocue|Vol. Head|Head|Time|del"},
  };
}

struct StartCase {
  const char* name;
  QByteArray ini;      // the whole settings file
  bool english;        // the texts expected
  const char* report;  // what the one message must contain; nullptr for none
};

void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }

class LanguageStart : public ::testing::TestWithParam<StartCase> {
 protected:
  void SetUp() override {
    // A library of two songs, made by a first start, so that no first-start
    // window comes up and the count shows something.
    writeFile(cwd.file("qdl.ini"), "[Devices]\r\nMode=0\r\n");
    start();
    for (const char* name : {"a", "b"})
      DataModule1->Table1->insertRecord({QVariant(), "Artist", name, QVariant(), "House", "1999",
                                         cwd.file(QString::fromLatin1(name) + ".mp3"), QVariant(),
                                         0, QVariant(), false});
    qdl::app::destroyWindows();
    dialogs.boxes.clear();
    dialogs.errors.clear();
    writeFile(cwd.file("qdl.ini"), GetParam().ini);
  }
  void TearDown() override { qdl::app::destroyWindows(); }

  void start() {
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
  }

  // Compares every row with the texts of one language.
  void expectTexts(bool english, const char* when) {
    for (const Row& row : texts())
      EXPECT_EQ(row.actual(), english ? row.english : row.german) << when << ": " << row.where;
  }

  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
};

TEST_P(LanguageStart, EveryWindowShowsTheTextsOfTheSettingAndTheLanguageWindowSwitchesThem) {
  const StartCase& c = GetParam();
  start();
  expectTexts(c.english, "at start");

  // A setting that is not valid is told once, with the fix; it names the
  // file, the section and the key.
  EXPECT_TRUE(dialogs.errors.isEmpty()) << dialogs.errors.join("\n").toStdString();
  if (c.report) {
    ASSERT_EQ(dialogs.boxes.size(), 1u);
    const QString text = dialogs.boxes[0].text;
    EXPECT_EQ(dialogs.boxes[0].caption, "Achtung!");
    for (const QString& part :
         {QString::fromLatin1(c.report), cwd.file("qdl.ini"), QStringLiteral("[Sprache]"),
          QStringLiteral("Mode"), QStringLiteral("Einstellungen > Sprache")})
      EXPECT_TRUE(text.contains(part)) << text.toStdString() << " lacks " << part.toStdString();
  } else {
    EXPECT_TRUE(dialogs.boxes.empty()) << dialogs.boxes[0].text.toStdString();
  }

  // Choices made before the language window opens are undone by every
  // application of the language, OK or Cancel.
  auto chooseOtherItems = [] {
    FormScan->RGBedingung->setItemIndex(2);
    FormDruckauswahl->rgSort->setItemIndex(3);
    DlgGeraete->rgMode->setItemIndex(2);
  };

  // The language window preselects the stored language (German when it is
  // not valid); Cancel writes nothing and changes no text.
  const QByteArray before = [&] {
    QFile f(cwd.file("qdl.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  int preselected = -2;
  dialogs.onDialog = [&](QDialog* d) {
    ASSERT_EQ(d, FormSprache);
    preselected = FormSprache->rgSprache->itemIndex();
    FormSprache->rgSprache->setItemIndex(preselected == 1 ? 0 : 1);
    FormSprache->btCancel->click();
  };
  chooseOtherItems();
  FormQuandrel->Sprache1->trigger();
  EXPECT_EQ(preselected, c.english ? 1 : 0);
  QFile ini(cwd.file("qdl.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_EQ(ini.readAll(), before) << "Cancel writes nothing";
  ini.close();
  expectTexts(c.english, "after Cancel");
  EXPECT_LE(dialogs.boxes.size(), 1u) << "a setting still not valid is not told again";

  // OK with the other language switches every window at once.
  dialogs.onDialog = [&](QDialog*) {
    FormSprache->rgSprache->setItemIndex(c.english ? 0 : 1);
    FormSprache->btOK->click();
  };
  chooseOtherItems();
  FormQuandrel->Sprache1->trigger();
  EXPECT_EQ(qdl::IniFile(cwd.file("qdl.ini")).readString("Sprache", "Mode", ""),
            c.english ? "0" : "1");
  expectTexts(!c.english, "after OK");
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LanguageStart,
    ::testing::Values(StartCase{"missing", "[Devices]\r\nMode=0\r\n", false, nullptr},
                      StartCase{"zero", "[Sprache]\r\nMode=0\r\n", false, nullptr},
                      StartCase{"one", "[Sprache]\r\nMode=1\r\n", true, nullptr},
                      StartCase{"two", "[Sprache]\r\nMode=2\r\n", false, "\"2\""},
                      StartCase{"minus5", "[Sprache]\r\nMode=-5\r\n", false, "\"-5\""},
                      StartCase{"text", "[Sprache]\r\nMode=x\r\n", false, "\"x\""}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// A console already running: the language changes while windows hold texts
// that were made in the other one.
class LanguageSwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(cwd.file("qdl.ini"), "[Devices]\r\nMode=0\r\n[Sprache]\r\nMode=0\r\n");
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
  }
  void TearDown() override {
    qdl::app::destroyWindows();
    qputenv("QUANDREL_AUDIO", "virtual");
  }
  void switchTo(const char* mode) {
    writeFile(cwd.file("qdl.ini"), QByteArray("[Sprache]\r\nMode=") + mode + "\r\n");
    FormQuandrel->ApplyLanguage();
  }

  qdl::test::TempCwd cwd;
  qdl::test::ScriptedDialogs dialogs;
};

TEST_F(LanguageSwitch, MarksOfMissingPlaylistEntriesFollowTheLanguage) {
  writeFile(cwd.file("list.qdp"), (cwd.file("gone.mp3") + "\r\n").toUtf8());
  FormPlayList->LoadPlaylistFile(cwd.file("list.qdp"), cwd.path(), *DataModule1);
  ASSERT_EQ(FormPlayList->ListBox1->count(), 1);
  EXPECT_EQ(FormPlayList->ListBox1->item(0)->text(), "gone.mp3 (fehlt)");
  switchTo("1");
  EXPECT_EQ(FormPlayList->ListBox1->item(0)->text(), "gone.mp3 (missing)");
  switchTo("0");
  EXPECT_EQ(FormPlayList->ListBox1->item(0)->text(), "gone.mp3 (fehlt)");
}

TEST_F(LanguageSwitch, QtsOwnTextsFollowTheLanguage) {
  // The buttons of Yes/No questions and the file and printer dialogs.
  const auto yes = [] { return QCoreApplication::translate("QPlatformTheme", "&Yes"); };
  const auto fileName = [] { return QCoreApplication::translate("QFileDialog", "File &name:"); };
  EXPECT_EQ(yes(), "&Ja");
  EXPECT_NE(fileName(), "File &name:");
  switchTo("1");
  EXPECT_EQ(yes(), "&Yes");
  EXPECT_EQ(fileName(), "File &name:");
  switchTo("0");
  EXPECT_EQ(yes(), "&Ja");
}

TEST_F(LanguageSwitch, ASettingThatTurnsBadKeepsTheTextsAndIsToldOnce) {
  switchTo("1");
  switchTo("7");
  EXPECT_EQ(FormQuandrel->Datenbank1->title(), "&Database") << "English stays";
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].caption, "Attention!");
  EXPECT_TRUE(dialogs.boxes[0].text.contains("\"7\"")) << dialogs.boxes[0].text.toStdString();
  switchTo("7");
  EXPECT_EQ(dialogs.boxes.size(), 1u) << "the same fault is told once";
  switchTo("1");
  switchTo("7");
  EXPECT_EQ(dialogs.boxes.size(), 2u) << "told again once it was repaired and broke anew";
}

TEST_F(LanguageSwitch, TitleNamesVirtualCardsOnly) {
  qputenv("QUANDREL_AUDIO", "portaudio");
  switchTo("0");
  EXPECT_EQ(FormQuandrel->windowTitle(), "Quandrel (Alpha 2)");
  qputenv("QUANDREL_AUDIO", "virtual-realtime");
  switchTo("1");
  EXPECT_EQ(FormQuandrel->windowTitle(), "Quandrel (Alpha 2) – virtual sound card, no sound");
}

TEST_F(LanguageSwitch, TagEditorNavigatorFollowsTheLanguage) {
  switchTo("1");
  FormDatenBearbeiten->FormShow();
  EXPECT_EQ(FormDatenBearbeiten->DBNavigator1->deleteQuestion(), "Delete record?");
  switchTo("x");  // not valid: the texts, and so the navigator, stay English
  FormDatenBearbeiten->FormShow();
  EXPECT_EQ(FormDatenBearbeiten->DBNavigator1->deleteQuestion(), "Delete record?");
  switchTo("0");
  FormDatenBearbeiten->FormShow();
  EXPECT_EQ(FormDatenBearbeiten->DBNavigator1->deleteQuestion(), "Datensatz löschen?");
}

// The windows of a first start speak the language the console will speak,
// the same texts they show later from the menu.
TEST(LanguageFirstStart, DeviceDialogAndCheckWindowShowTheTableTexts) {
  for (const bool english : {false, true}) {
    qdl::test::TempCwd cwd;
    qdl::test::ScriptedDialogs dialogs;
    // Without qdl.ini both windows come up (German); with an English qdl.ini
    // and no library only the check window.
    if (english) writeFile(cwd.file("qdl.ini"), "[Sprache]\r\nMode=1\r\n");
    QStringList seen;
    dialogs.onDialog = [&](QDialog* d) {
      if (d == DlgGeraete) seen << d->windowTitle() + '|' + items(DlgGeraete->rgMode);
      if (d == FormScan)
        seen << d->windowTitle() + '|' + FormScan->cbNet->text() + '|' +
                    items(FormScan->RGBedingung);
    };
    qdl::app::createWindows();
    qdl::app::showMainWindow();
    QApplication::processEvents();
    qdl::app::destroyWindows();
    if (english)
      EXPECT_EQ(seen,
                QStringList{"Check and Scan|with Netdisks|Check and Scan|only Check|only Scan @0"});
    else
      EXPECT_EQ(seen, (QStringList{"Geräteeinstellungen|nur eine|Aux/Kopf|Links/Rechts @1",
                                   "Check und Scan|mit Netzwerklaufwerken|Check und Scan|nur "
                                   "Check|nur Scan @0"}));
  }
}

}  // namespace
