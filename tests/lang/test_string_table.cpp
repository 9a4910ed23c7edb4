// The string table: exact texts of entries whose blanks, line breaks and
// spellings are easy to get wrong, and that each fill writes every entry.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "lang/Sprache.h"

namespace {

// Every entry of the table with its name. The static_asserts make sure this
// list grows with the records.
std::vector<std::pair<const char*, QString*>> allEntries(TFormSprache& f) {
  static_assert(sizeof(MenueTexte) == 17 * sizeof(QString));
  static_assert(sizeof(KnopfTexte) == 11 * sizeof(QString));
  static_assert(sizeof(LabelTexte) == 7 * sizeof(QString));
  static_assert(sizeof(ScanTexte) == 12 * sizeof(QString));
  static_assert(sizeof(EditorTexte) == 1 * sizeof(QString));
  static_assert(sizeof(PlaylistTexte) == 25 * sizeof(QString));
  static_assert(sizeof(GeraeteTexte) == 10 * sizeof(QString));
  static_assert(sizeof(SprachTexte) == 5 * sizeof(QString));
  static_assert(sizeof(InfoTexte) == 2 * sizeof(QString));
  static_assert(sizeof(MeldungTexte) == 15 * sizeof(QString));
  static_assert(sizeof(SpaltenTexte) == 6 * sizeof(QString));
  static_assert(sizeof(DruckTexte) == 6 * sizeof(QString));
  static_assert(sizeof(VorschauTexte) == 15 * sizeof(QString));
  static_assert(sizeof(BibliothekTexte) == 5 * sizeof(QString));
  static_assert(sizeof(TempoTexte) == 6 * sizeof(QString));
  static_assert(sizeof(ControllerTexte) == 20 * sizeof(QString));
#define E(rec, name) \
  { #rec "." #name, &f.rec.name }
  return {
      E(Menue, sDatenbank),
      E(Menue, sCheck),
      E(Menue, sID3Editor),
      E(Menue, sDrucken),
      E(Menue, sDruckereinrichtung),
      E(Menue, sBeenden),
      E(Menue, sPlayliste),
      E(Menue, sNeu),
      E(Menue, sLaden),
      E(Menue, sEinstellungen),
      E(Menue, sGeraete),
      E(Menue, sSprache),
      E(Menue, sHilfe),
      E(Menue, sInhalt),
      E(Menue, sIndex),
      E(Menue, sInfo),
      E(Menue, sAutoGain),
      E(Knopf, sSpeichern),
      E(Knopf, sStarten),
      E(Knopf, sLadenDeck),
      E(Knopf, sRechts),
      E(Knopf, sLinks),
      E(Knopf, sZero),
      E(Knopf, sSchliessen),
      E(Knopf, sAbbruch),
      E(Knopf, sOK),
      E(Knopf, sHilfeKnopf),
      E(Knopf, sKeyLock),
      E(Label, sSucheInterpret),
      E(Label, sSucheTitel),
      E(Label, sSucheKategorie),
      E(Label, sSucheJahr),
      E(Label, sVolLinks),
      E(Label, sVolRechts),
      E(Label, sVirtuelleKarte),
      E(Scan, sScanTitel),
      E(Scan, sLaufwerke),
      E(Scan, sNetzwerk),
      E(Scan, sCDROM),
      E(Scan, sWechselmedien),
      E(Scan, sScanbedingungen),
      E(Scan, sNurCheck),
      E(Scan, sNurScan),
      E(Scan, sTagsNeuLesen),
      E(Scan, sOrdnerWahl),
      E(Scan, sScanFortschritt),
      E(Scan, sCheckFortschritt),
      E(Editor, sEditorTitel),
      E(Playlist, sPlaylistTitel),
      E(Playlist, sFehlt),
      E(Playlist, sNichtInDatenbank),
      E(Playlist, sNichtAbspielbar),
      E(Playlist, sUebersprungen),
      E(Playlist, sUebersprungeneZeile),
      E(Playlist, sWeitere),
      E(Playlist, sGrundWebadresse),
      E(Playlist, sGrundLaufwerk),
      E(Playlist, sGrundNetzwerk),
      E(Playlist, sGrundKeinMp3),
      E(Playlist, sGrundZuLang),
      E(Playlist, sGrundKeinText),
      E(Playlist, sNichtGefunden),
      E(Playlist, sIstOrdner),
      E(Playlist, sKeineDatei),
      E(Playlist, sZuGross),
      E(Playlist, sNichtLesbar),
      E(Playlist, sBinaer),
      E(Playlist, sKeinePlayliste),
      E(Playlist, sGespeichertIn),
      E(Playlist, sNichtGespeichert),
      E(Playlist, sKeinEintrag),
      E(Playlist, sErsetzen),
      E(Playlist, sFreierName),
      E(Geraete, sGeraeteTitel),
      E(Geraete, sSoundkartenmodi),
      E(Geraete, sModusNurEine),
      E(Geraete, sModusAuxKopf),
      E(Geraete, sModusLinksRechts),
      E(Geraete, sKarteAusgang),
      E(Geraete, sKarteKopfhoerer),
      E(Geraete, sKarteLinkerPlayer),
      E(Geraete, sKarteRechterPlayer),
      E(Geraete, sAusgabepuffer),
      E(Sprach, sSprachauswahl),
      E(Sprach, sSprachen),
      E(Sprach, sDeutsch),
      E(Sprach, sEnglisch),
      E(Sprach, sSpracheUngueltig),
      E(Info, sInfoKommentar),
      E(Info, sInfoDecoder),
      E(Meldung, sAchtung),
      E(Meldung, sNeustart),
      E(Meldung, sDateiFehlt),
      E(Meldung, sSchreibgeschuetzt),
      E(Meldung, sGleicheGeraete),
      E(Meldung, sDateiDefekt),
      E(Meldung, sKeinGeraet),
      E(Meldung, sKarteStumm),
      E(Meldung, sKeinKopfhoerer),
      E(Meldung, sKarteUnbekannt),
      E(Meldung, sKeinRechterPlayer),
      E(Meldung, sPlayerSpielt),
      E(Meldung, sAutoplayLaeuft),
      E(Meldung, sEditorAenderung),
      E(Meldung, sTrotzdemBeenden),
      E(Spalten, sInterpret),
      E(Spalten, sTitel),
      E(Spalten, sKategorie),
      E(Spalten, sJahr),
      E(Spalten, sBeats),
      E(Spalten, sDateiname),
      E(Druck, sDrucksortierung),
      E(Druck, sDruckKnopf),
      E(Druck, sVorschau),
      E(Druck, sUeberschrift),
      E(Druck, sSeite),
      E(Druck, sSortiertNach),
      E(Vorschau, sVorschauTitel),
      E(Vorschau, sSeiteVon),
      E(Vorschau, sErsteSeite),
      E(Vorschau, sVorigeSeite),
      E(Vorschau, sNaechsteSeite),
      E(Vorschau, sLetzteSeite),
      E(Vorschau, sGanzeSeite),
      E(Vorschau, sSeitenbreite),
      E(Vorschau, sAlsPdf),
      E(Vorschau, sDruckeSeite),
      E(Vorschau, sSpeichereSeite),
      E(Vorschau, sKeineTitel),
      E(Vorschau, sKeinDrucker),
      E(Vorschau, sDruckFehler),
      E(Vorschau, sPdfFehler),
      E(Bibliothek, sTagNichtGeschrieben),
      E(Bibliothek, sKeineMp3Datei),
      E(Bibliothek, sBibliothekSchreibgeschuetzt),
      E(Bibliothek, sNichtErreichbar),
      E(Bibliothek, sId3v2Belassen),
      E(Tempo, sTempoAnalysieren),
      E(Tempo, sTempoTitel),
      E(Tempo, sTempoStand),
      E(Tempo, sKeinTempo),
      E(Tempo, sAllesAnalysiert),
      E(Tempo, sTempoNachScan),
      E(Sync, sSyncOhneSong),
      E(Sync, sSyncOhneRaster),
      E(Sync, sSyncAusserhalb),
      E(Sync, sAutoplayAufBeat),
      E(Controller, sMidiController),
      E(Controller, sControllerTitel),
      E(Controller, sController),
      E(Controller, sKeinController),
      E(Controller, sZuordnung),
      E(Controller, sEigeneDatei),
      E(Controller, sMitgeliefert),
      E(Controller, sGrundlage),
      E(Controller, sVerwenden),
      E(Controller, sAktionen),
      E(Controller, sLernen),
      E(Controller, sErstAktion),
      E(Controller, sBewegen),
      E(Controller, sGelernt),
      E(Controller, sErsetzt),
      E(Controller, sAuchAuf),
      E(Controller, sNichtGespeichert),
      E(Controller, sProbleme),
      E(Controller, sNachricht),
      E(Controller, sAktion),
      E(Aufnahme, sAufnahme),
      E(Aufnahme, sAufnahmeLaeuft),
      E(Aufnahme, sGestoppt),
      E(Aufnahme, sStartFehler),
      E(Aufnahme, sVerloren),
      E(Aufnahme, sKeineKarte),
      E(Aufnahme, sFormat),
      {"sTitelVerfuegbar", &f.sTitelVerfuegbar},
      {"sHilfeDatei", &f.sHilfeDatei},
  };
#undef E
}

TEST(StringTable, EmptyUntilFilledThenEveryEntryWritten) {
  TFormSprache f;
  const auto entries = allEntries(f);
  ASSERT_EQ(entries.size(), 176u);
  for (const auto& [name, text] : entries) EXPECT_TRUE(text->isEmpty()) << name;

  for (void (TFormSprache::*fill)() : {&TFormSprache::FillGerman, &TFormSprache::FillEnglish}) {
    for (const auto& [name, text] : entries) *text = QStringLiteral("\x01stale");
    (f.*fill)();
    for (const auto& [name, text] : entries) {
      EXPECT_FALSE(text->isEmpty()) << name;
      EXPECT_NE(*text, QStringLiteral("\x01stale")) << name;
    }
  }
}

TEST(StringTable, SwitchingLanguageLeavesNoTextOfTheOther) {
  TFormSprache switched, english, german;
  switched.FillGerman();
  switched.FillEnglish();
  english.FillEnglish();
  german.FillGerman();
  const auto s = allEntries(switched), e = allEntries(english), g = allEntries(german);
  int differing = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    EXPECT_EQ(*s[i].second, *e[i].second) << s[i].first;
    if (*g[i].second != *e[i].second) ++differing;
  }
  // Only the texts that read the same in both languages are shared.
  EXPECT_EQ(differing, 176 - 10);

  switched.FillGerman();
  const auto s2 = allEntries(switched);
  for (size_t i = 0; i < s2.size(); ++i) EXPECT_EQ(*s2[i].second, *g[i].second) << s2[i].first;
}

TEST(StringTable, GermanTextsKeepTheirBlanksBreaksAndUmlauts) {
  TFormSprache f;
  f.FillGerman();
  EXPECT_EQ(f.Meldung.sSchreibgeschuetzt,
            QString::fromUtf8("Die Datei ist schreibgeschützt.\nSoll der  ID3-Tag trotzdem "
                              "eingetragen werden?"));
  EXPECT_EQ(f.sTitelVerfuegbar, QString::fromUtf8(" Titel verfügbar"));
  EXPECT_EQ(f.Druck.sSeite, "Seite ");
  EXPECT_EQ(f.Druck.sUeberschrift, "Quandrel Titelliste sortiert nach ");
  EXPECT_EQ(f.Meldung.sDateiFehlt,
            QString::fromUtf8("Datei nicht vorhanden. Bitte Datenbank überprüfen!"));
  EXPECT_EQ(f.Meldung.sNeustart, QString::fromUtf8("Änderung erst nach Programmneustart wirksam"));
  EXPECT_EQ(f.Meldung.sGleicheGeraete, QString::fromUtf8("Keine identischen Geräte ausgewählen!"));
  EXPECT_EQ(f.Menue.sGeraete, QString::fromUtf8("&Geräte"));
  EXPECT_EQ(f.Geraete.sGeraeteTitel, QString::fromUtf8("Geräteeinstellungen"));
  EXPECT_EQ(f.Geraete.sKarteKopfhoerer, QString::fromUtf8("Soundkarte Kopfhörer"));
  EXPECT_EQ(f.Sprach.sSprachen, QString::fromUtf8("verfügbare Sprachen"));
  EXPECT_EQ(f.Scan.sScanTitel, "Check und Scan");
  EXPECT_EQ(f.Menue.sDruckereinrichtung, "Drucker&einrichtung");
  EXPECT_EQ(f.Knopf.sLinks, "&Links");
  EXPECT_EQ(f.Knopf.sRechts, "&Rechts");
  EXPECT_EQ(f.sHilfeDatei, "qdl_g.hlp");
}

TEST(StringTable, EnglishTextsKeepTheirOwnSpellings) {
  TFormSprache f;
  f.FillEnglish();
  EXPECT_EQ(f.Meldung.sSchreibgeschuetzt,
            "The File is readonly.\n Should I enter the ID3-Tag nevertheless?");
  EXPECT_EQ(f.Meldung.sDateiFehlt, "File notpresent. Check database!");
  EXPECT_EQ(f.sTitelVerfuegbar, " Songs avaible");
  EXPECT_EQ(f.Sprach.sSprachen, "avaible languages");
  EXPECT_EQ(f.Druck.sSeite, "Side ");
  EXPECT_EQ(f.Druck.sUeberschrift, "Quandrel Songlist sortet by ");
  EXPECT_EQ(f.Druck.sVorschau, "Pre&view");
  EXPECT_EQ(f.Geraete.sKarteAusgang, "Soundcard for Auxilary (Amp)");
  EXPECT_EQ(f.Scan.sScanTitel, "Check and Scan");
  EXPECT_EQ(f.Knopf.sLinks, "&Left");
  EXPECT_EQ(f.Knopf.sRechts, "&Right");
  EXPECT_EQ(f.Menue.sEinstellungen, "&Options");
  EXPECT_EQ(f.sHilfeDatei, "qdl_e.hlp");
}

TEST(StringTable, SongCountTextAppendsTheSuffix) {
  TFormSprache f;
  EXPECT_EQ(f.songCountText(0), "0");
  f.FillGerman();
  EXPECT_EQ(f.songCountText(2345), QString::fromUtf8("2345 Titel verfügbar"));
  f.FillEnglish();
  EXPECT_EQ(f.songCountText(0), "0 Songs avaible");
}

}  // namespace
