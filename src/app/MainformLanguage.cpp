// Applying the language: fills the string table from the setting and copies
// its texts onto every window.

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

#include "app/Mainform.h"
#include "lang/Sprache.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/ui/Controls.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "settings/Geraete.h"

namespace {

// Sets the column titles of a grid's model, as far as it has columns.
void setColumnTitles(QTableView* grid, const QStringList& titles) {
  QAbstractItemModel* model = grid->model();
  if (!model) return;
  for (int i = 0; i < titles.size() && i < model->columnCount(); ++i)
    model->setHeaderData(i, Qt::Horizontal, titles[i]);
}

}  // namespace

void TFormQuandrel::ApplyLanguage() {
  TFormSprache& s = *FormSprache;

  // A value that is no number ends here: nothing is filled or changed.
  const int mode =
      qdl::openSettings().readInteger(QStringLiteral("Sprache"), QStringLiteral("Mode"), 0);
  if (mode == 0) s.FillGerman();
  if (mode == 1) s.FillEnglish();

  // Main menu.
  const MenueTexte& m = s.Menue;
  Datenbank1->setTitle(m.sDatenbank);
  Scan1->setText(m.sCheck);
  IDEdit1->setText(m.sID3Editor);
  Drucken1->setText(m.sDrucken);
  DruckSetup1->setText(m.sDruckereinrichtung);
  Beenden1->setText(m.sBeenden);
  Playliste1->setTitle(m.sPlayliste);
  Neu1->setText(m.sNeu);
  Laden1->setText(m.sLaden);
  Einstellungen1->setTitle(m.sEinstellungen);
  Geraete1->setText(m.sGeraete);
  Sprache1->setText(m.sSprache);
  Hilfe1->setTitle(m.sHilfe);
  Inhalt1->setText(m.sInhalt);
  Index1->setText(m.sIndex);
  Info1->setText(m.sInfo);
  Analyse1->setText(s.Tempo.sTempoAnalysieren);

  // Buttons.
  const KnopfTexte& k = s.Knopf;
  FormPlayList->btSave->setText(k.sSpeichern);
  FormPlayList->btStart->setText(k.sStarten);
  FormPlayList->btHelp->setText(k.sHilfeKnopf);
  FormPlayList->btCancel->setText(k.sAbbruch);
  LoadDB_Links->setText(k.sLadenDeck);
  LoadDB_Rechts->setText(k.sLadenDeck);
  FaderLinks->setText(k.sLinks);
  FaderRechts->setText(k.sRechts);
  sbCrossZero->setText(k.sZero);
  SpeedZero_Links->setText(k.sZero);
  SpeedZero_Rechts->setText(k.sZero);
  s.btCancel->setText(k.sAbbruch);
  s.btOK->setText(k.sOK);
  s.btHelp->setText(k.sHilfeKnopf);
  DlgGeraete->CancelBtn->setText(k.sAbbruch);
  DlgGeraete->OKBtn->setText(k.sOK);
  DlgGeraete->btHelp->setText(k.sHilfeKnopf);
  FormScan->btHelp->setText(k.sHilfeKnopf);
  FormScan->btCancel->setText(k.sAbbruch);
  FormScan->btStart->setText(k.sStarten);
  FormDruckauswahl->btAbbruch->setText(k.sAbbruch);
  FormDruckauswahl->btHelp->setText(k.sHilfeKnopf);
  FormDatenBearbeiten->btHelp->setText(k.sHilfeKnopf);
  FormDatenBearbeiten->btClose->setText(k.sSchliessen);

  // Main window labels.
  const LabelTexte& l = s.Label;
  Label1->setText(l.sSucheInterpret);
  Label2->setText(l.sSucheTitel);
  Label4->setText(l.sSucheKategorie);
  Label5->setText(l.sSucheJahr);
  Label3->setText(l.sVolLinks);
  Label7->setText(l.sVolRechts);

  // Check and scan window.
  const ScanTexte& sc = s.Scan;
  FormScan->setWindowTitle(sc.sScanTitel);
  FormScan->GroupBox1->setTitle(sc.sLaufwerke);
  FormScan->cbNet->setText(sc.sNetzwerk);
  FormScan->cbCDRom->setText(sc.sCDROM);
  FormScan->cbChange->setText(sc.sWechselmedien);
  FormScan->RGBedingung->setTitle(sc.sScanbedingungen);
  FormScan->RGBedingung->setItems({sc.sScanTitel, sc.sNurCheck, sc.sNurScan});
  FormScan->RGBedingung->setItemIndex(0);
  FormScan->cbTempo->setText(s.Tempo.sTempoNachScan);

  // Record editor.
  FormDatenBearbeiten->setWindowTitle(s.Editor.sEditorTitel);
  FormDatenBearbeiten->Label1->setText(l.sSucheInterpret);
  FormDatenBearbeiten->Label2->setText(l.sSucheTitel);

  // Playlist window.
  FormPlayList->setWindowTitle(s.Playlist.sPlaylistTitel);

  // Device dialog.
  const GeraeteTexte& g = s.Geraete;
  DlgGeraete->setWindowTitle(g.sGeraeteTitel);
  DlgGeraete->rgMode->setTitle(g.sSoundkartenmodi);
  DlgGeraete->rgMode->setItems({g.sModusNurEine, g.sModusAuxKopf, g.sModusLinksRechts});
  DlgGeraete->rgMode->setItemIndex(0);

  // Language window.
  s.setWindowTitle(s.Sprach.sSprachauswahl);
  s.rgSprache->setTitle(s.Sprach.sSprachen);
  s.rgSprache->setItems({s.Sprach.sDeutsch, s.Sprach.sEnglisch});
  s.rgSprache->setItemIndex(0);

  // Grid column titles.
  const SpaltenTexte& sp = s.Spalten;
  setColumnTitles(DBGrid1, {sp.sInterpret, sp.sTitel, sp.sKategorie, sp.sJahr, sp.sBeats});
  setColumnTitles(FormDatenBearbeiten->DBGrid1,
                  {sp.sInterpret, sp.sTitel, sp.sBeats, sp.sKategorie, sp.sJahr, sp.sDateiname});

  // Help file of the windows that ask for help (not the report).
  for (QWidget* w :
       std::initializer_list<QWidget*>{this, FormPlayList, FormScan, FormDatenBearbeiten,
                                       DlgGeraete, FormSprache, FormDruckauswahl})
    qdl::help::setHelpFile(w, s.sHilfeDatei);

  // Print selection.
  const DruckTexte& d = s.Druck;
  FormDruckauswahl->setWindowTitle(d.sDrucksortierung);
  FormDruckauswahl->btDruck->setText(d.sDruckKnopf);
  FormDruckauswahl->btVorschau->setText(d.sVorschau);
  FormDruckauswahl->rgSort->setTitle(d.sSortiertNach);
  FormDruckauswahl->rgSort->setItems({sp.sInterpret, sp.sTitel, sp.sKategorie, sp.sJahr});
  FormDruckauswahl->rgSort->setItemIndex(0);

  // Report: footer, title and column heads.
  FormQReport->setTexts(d, sp);

  ShowSongCount();
}
