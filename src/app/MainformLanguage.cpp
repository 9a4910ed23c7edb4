// Applying the language: fills the string table from the setting and copies
// its texts onto every window.

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

#include "app/About.h"
#include "app/Mainform.h"
#include "app/Tastatur.h"
#include "controllers/ControllerWindow.h"
#include "lang/Sprache.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/sound/Sound.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtTexts.h"
#include "platform/ui/RadioGroup.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "print/Report.h"
#include "settings/Geraete.h"

namespace {

const QString kTitle = QStringLiteral("Quandrel (Alpha 2)");

// Sets the column titles of a grid's model, as far as it has columns.
void setColumnTitles(QTableView* grid, const QStringList& titles) {
  QAbstractItemModel* model = grid->model();
  if (!model) return;
  for (int i = 0; i < titles.size() && i < model->columnCount(); ++i)
    model->setHeaderData(i, Qt::Horizontal, titles[i]);
}

// Whether the decks play on the virtual cards, which make no sound.
bool virtualCards() {
  try {
    return qdl::sound::currentBackend() != qdl::sound::Backend::PortAudio;
  } catch (const qdl::sound::SoundError&) {
    return false;  // an unknown backend is reported when the cards are opened
  }
}

}  // namespace

void TFormQuandrel::ApplyLanguage() {
  TFormSprache& s = *FormSprache;

  // 1.-3. The setting chooses the text set. A value that is not valid keeps
  // the texts the table has; a table that was never filled (the start) gets
  // German, so that menus and buttons can be read and the language window
  // reached to repair the setting. A file that cannot be read counts alike.
  QString problem;
  bool fileError = false;
  try {
    const qdl::IniFile settings = qdl::openSettings();
    const qdl::lang::LanguageSetting setting = qdl::lang::readLanguageSetting(settings);
    if (setting.valid && setting.index == 1)
      s.FillEnglish();
    else if (setting.valid || s.language() == TFormSprache::Language::None)
      s.FillGerman();
    FormPlayList->retranslateMarks();
    if (!setting.valid) {
      problem = s.Sprach.sSpracheUngueltig.arg(setting.text,
                                               QDir::toNativeSeparators(settings.fileName()));
    }
  } catch (const qdl::IniFileError& e) {
    if (s.language() == TFormSprache::Language::None) s.FillGerman();
    problem = QString::fromUtf8(e.what());
    fileError = true;
  }
  if (problem.isEmpty()) reportedLanguageProblem_.clear();
  qdl::ui::useQtTexts(s.language() != TFormSprache::Language::English);

  // 4. Main menu.
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
  Aufnahme1->setText(s.Aufnahme.sAufnahme);
  Einstellungen1->setTitle(m.sEinstellungen);
  Geraete1->setText(m.sGeraete);
  Sprache1->setText(m.sSprache);
  Tastatur1->setText(s.Tastatur.sTastatur);
  if (FormTastatur && FormTastatur->isVisible()) Tastatur1Click();
  MidiController1->setText(s.Controller.sMidiController);
  AutoGain1->setText(m.sAutoGain);
  if (controllerWindow) controllerWindow->applyTexts();
  Hilfe1->setTitle(m.sHilfe);
  Inhalt1->setText(m.sInhalt);
  Index1->setText(m.sIndex);
  Info1->setText(m.sInfo);
  Analyse1->setText(s.Tempo.sTempoAnalysieren);

  // 5. Buttons.
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
  KeyLock_Links->setText(k.sKeyLock);
  KeyLock_Rechts->setText(k.sKeyLock);
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

  // 6. Main window labels.
  const LabelTexte& l = s.Label;
  Label1->setText(l.sSucheInterpret);
  Label2->setText(l.sSucheTitel);
  Label4->setText(l.sSucheKategorie);
  Label5->setText(l.sSucheJahr);
  Label3->setText(l.sVolLinks);
  Label7->setText(l.sVolRechts);

  // 7. Check and scan window; its mode goes back to the first item.
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
  AutoplayBeat1->setText(s.Sync.sAutoplayAufBeat);
  FormScan->cbRetag->setText(sc.sTagsNeuLesen);
  FormScan->btFolder->setText(sc.sOrdnerWahl);

  // 8. Record editor.
  FormDatenBearbeiten->setWindowTitle(s.Editor.sEditorTitel);
  FormDatenBearbeiten->Label1->setText(l.sSucheInterpret);
  FormDatenBearbeiten->Label2->setText(l.sSucheTitel);

  // 9. Playlist window.
  FormPlayList->setWindowTitle(s.Playlist.sPlaylistTitel);

  // 10. Device dialog; its mode goes back to the first item (which shows
  // mode 0's labels and hides the headphone list).
  const GeraeteTexte& g = s.Geraete;
  DlgGeraete->setWindowTitle(g.sGeraeteTitel);
  DlgGeraete->rgMode->setTitle(g.sSoundkartenmodi);
  DlgGeraete->rgMode->setItems({g.sModusNurEine, g.sModusAuxKopf, g.sModusLinksRechts});
  DlgGeraete->rgMode->setItemIndex(0);
  DlgGeraete->CB_Buffer->setToolTip(g.sAusgabepuffer);
  DlgGeraete->CB_Buffer->setAccessibleName(g.sAusgabepuffer);

  // 11. Language window.
  s.setWindowTitle(s.Sprach.sSprachauswahl);
  s.rgSprache->setTitle(s.Sprach.sSprachen);
  s.rgSprache->setItems({s.Sprach.sDeutsch, s.Sprach.sEnglisch});
  s.rgSprache->setItemIndex(0);

  // 12. Grid column titles.
  const SpaltenTexte& sp = s.Spalten;
  setColumnTitles(DBGrid1, {sp.sInterpret, sp.sTitel, sp.sKategorie, sp.sJahr, sp.sBeats});
  setColumnTitles(FormDatenBearbeiten->DBGrid1,
                  {sp.sInterpret, sp.sTitel, sp.sBeats, sp.sKategorie, sp.sJahr, sp.sDateiname});

  // 13. Help file of the windows that ask for help (not the report).
  for (QWidget* w :
       std::initializer_list<QWidget*>{this, FormPlayList, FormScan, FormDatenBearbeiten,
                                       DlgGeraete, FormSprache, FormDruckauswahl})
    qdl::help::setHelpFile(w, s.sHilfeDatei);

  // 14. Print selection; the sort choice goes back to the first item.
  const DruckTexte& d = s.Druck;
  FormDruckauswahl->setWindowTitle(d.sDrucksortierung);
  FormDruckauswahl->btDruck->setText(d.sDruckKnopf);
  FormDruckauswahl->btVorschau->setText(d.sVorschau);
  FormDruckauswahl->rgSort->setTitle(d.sSortiertNach);
  FormDruckauswahl->rgSort->setItems({sp.sInterpret, sp.sTitel, sp.sKategorie, sp.sJahr});
  FormDruckauswahl->rgSort->setItemIndex(0);

  // 15. Report: footer, title and column heads.
  FormQReport->setTexts(d, sp);

  // The window title says when the decks make no sound; the about box.
  setWindowTitle(virtualCards() ? kTitle + l.sVirtuelleKarte : kTitle);
  AboutBox->Comments->setText(s.Info.sInfoKommentar);
  AboutBox->DecoderCredit->setText(s.Info.sInfoDecoder.arg(TAboutBox::decoderName()));

  // 16. The song count.
  ShowSongCount();

  // A setting that is not valid is told once (the start applies the language
  // twice, and a Cancel in the language window changes nothing).
  if (!problem.isEmpty() && problem != reportedLanguageProblem_) {
    reportedLanguageProblem_ = problem;
    if (fileError)
      qdl::ui::dialogs().showError(this, problem);
    else
      qdl::ui::showMessage(this, problem, s.Meldung.sAchtung);
  }
}
