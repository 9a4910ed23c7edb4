#pragma once
// The text records of the user-interface string table, one per window or
// area. The language window (Sprache.h) holds one of each; FillGerman and
// FillEnglish write every entry. Texts are held as Unicode; "&" marks a menu
// or button accelerator and "\n" a line break inside a text.

#include <QHash>
#include <QString>

// Main menu captions.
struct MenueTexte {
  QString sDatenbank, sCheck, sID3Editor, sDrucken, sDruckereinrichtung, sBeenden, sPlayliste, sNeu,
      sLaden, sEinstellungen, sGeraete, sSprache, sHilfe, sInhalt, sIndex, sInfo;
  QString sAutoGain;  // the auto-gain's menu item (a tick)
};

// Button captions shared by several windows.
struct KnopfTexte {
  QString sSpeichern, sStarten, sLadenDeck, sRechts, sLinks, sZero, sSchliessen, sAbbruch, sOK,
      sHilfeKnopf;
  QString sKeyLock;  // the deck's key lock button
};

// Main window labels (search fields, volumes). sVirtuelleKarte is added to
// the window's title while the decks play on virtual sound cards (no sound).
struct LabelTexte {
  QString sSucheInterpret, sSucheTitel, sSucheKategorie, sSucheJahr, sVolLinks, sVolRechts,
      sVirtuelleKarte;
};

// Check and scan window; sScanFortschritt and sCheckFortschritt are the
// captions of the progress window while the scan or the check runs;
// sOrdnerWahl is the button that adds a folder of the user's choice.
struct ScanTexte {
  QString sScanTitel, sLaufwerke, sNetzwerk, sCDROM, sWechselmedien, sScanbedingungen, sNurCheck,
      sNurScan, sScanFortschritt, sCheckFortschritt, sTagsNeuLesen, sOrdnerWahl;
};

// Record and tag editor.
struct EditorTexte {
  QString sEditorTitel;
};

// Playlist window and playlist files. sFehlt marks an entry whose file is
// not there, sNichtInDatenbank one whose song the library does not hold and
// cannot take, sNichtAbspielbar one the deck could not play. In the texts
// %1 is the file's path, %2 a number or a reason; sUebersprungeneZeile
// takes the line number, the reason (one of the sGrund... texts) and the
// line. sKeinEintrag refuses a list that gives no entry; sErsetzen asks
// whether an import may replace the ".qdp" file of its name (Yes/No), and
// sFreierName tells the free name it was saved under instead.
struct PlaylistTexte {
  QString sPlaylistTitel, sFehlt, sNichtInDatenbank, sNichtAbspielbar, sUebersprungen,
      sUebersprungeneZeile, sWeitere, sGrundWebadresse, sGrundLaufwerk, sGrundNetzwerk,
      sGrundKeinMp3, sGrundZuLang, sGrundKeinText, sNichtGefunden, sIstOrdner, sKeineDatei,
      sZuGross, sNichtLesbar, sBinaer, sKeinePlayliste, sGespeichertIn, sNichtGespeichert,
      sKeinEintrag, sErsetzen, sFreierName;
};

// Sound device dialog.
struct GeraeteTexte {
  QString sGeraeteTitel, sSoundkartenmodi, sModusNurEine, sModusAuxKopf, sModusLinksRechts,
      sKarteAusgang, sKarteKopfhoerer, sKarteLinkerPlayer, sKarteRechterPlayer,
      sAusgabepuffer;  // tool tip of the output buffer list
};

// Language window. sSpracheUngueltig says that the stored language is not
// valid and how to choose one; %1 is the stored value, %2 the settings file.
struct SprachTexte {
  QString sSprachauswahl, sSprachen, sDeutsch, sEnglisch, sSpracheUngueltig;
};

// About box: what the program is, and the credit of the MP3 decoder (%1 its
// version).
struct InfoTexte {
  QString sInfoKommentar, sInfoDecoder;
};

// Message boxes. sDateiDefekt and sKeinGeraet refuse a deck load: a file
// the MP3 decoder cannot play, and a deck without an output device.
// sKarteStumm says that a sound card stopped playing (pulled out).
// sKeinKopfhoerer refuses the headphone mode without a headphone card, and
// sKeinRechterPlayer the left/right mode without a card for the right deck;
// sKarteUnbekannt names a stored card that is not among the present devices.
// Closing the console while it plays asks first: the reasons sPlayerSpielt,
// sAutoplayLaeuft and sEditorAenderung, one a line, then sTrotzdemBeenden.
struct MeldungTexte {
  QString sAchtung, sNeustart, sDateiFehlt, sSchreibgeschuetzt, sGleicheGeraete, sDateiDefekt,
      sKeinGeraet, sKarteStumm;
  QString sKeinKopfhoerer, sKarteUnbekannt, sKeinRechterPlayer;
  QString sPlayerSpielt, sAutoplayLaeuft, sEditorAenderung, sTrotzdemBeenden;
};

// Messages and words of the song library. sTagNichtGeschrieben takes the
// file (%1) and the reason (%2); sKeineMp3Datei the file (%1); so does
// sId3v2Belassen, said when only the ID3v1 tag of a file could be written.
// sBibliothekSchreibgeschuetzt refuses scan, check and edits of a library
// that cannot be written; sNichtErreichbar follows the count of records the
// check kept because their medium is not mounted.
struct BibliothekTexte {
  QString sTagNichtGeschrieben, sKeineMp3Datei, sBibliothekSchreibgeschuetzt, sNichtErreichbar;
  QString sId3v2Belassen;
};

// The tempo analysis: the menu entry of "&Datenbank", the caption of its
// progress window, its count (%1 songs analysed of %2), the word for a song
// without a steady beat, the message when nothing is left to analyse, and
// the check and scan window's box that analyses new songs after a scan.
struct TempoTexte {
  QString sTempoAnalysieren, sTempoTitel, sTempoStand, sKeinTempo, sAllesAnalysiert, sTempoNachScan;
};

// Sync and autoplay on the beat: why Sync did nothing (sSyncAusserhalb:
// %1 the pitch it would need, %2 the bar's end), and the tick in the
// playlist menu.
struct SyncTexte {
  QString sSyncOhneSong, sSyncOhneRaster, sSyncAusserhalb, sAutoplayAufBeat;
};

// The keyboard window ("&Tastatur" in the settings menu): its caption, the
// column heads, the note under the map, and the problems of the settings
// file's [Keys] (%1 the file, %2 the section, %3 the entry, %4 the key's
// name or the reason, %5 the entry that gave the key first). sAktionen
// says what each action does, by its name without the deck ("play" for
// "links.play"); %1 is sLinkesDeck or sRechtesDeck.
struct TastaturTexte {
  QString sTastatur, sTastaturTitel, sTaste, sAktion, sName, sTastaturHinweis, sTastenProbleme,
      sTasteUnlesbar, sTasteKeineAktion, sTasteWert, sTasteUnbekannt, sTasteVergeben, sTasteDoppelt,
      sLinkesDeck, sRechtesDeck;
  QHash<QString, QString> sAktionen;
};

// Names of the song fields: grid column titles, sort choices, report heads.
struct SpaltenTexte {
  QString sInterpret, sTitel, sKategorie, sJahr, sBeats, sDateiname;
};

// Print selection window and report.
struct DruckTexte {
  QString sDrucksortierung, sDruckKnopf, sVorschau, sUeberschrift, sSeite, sSortiertNach;
};

// Report preview, print progress and the messages of printing. "%1" and
// "%2" stand for a page number and the number of pages, or for a file name
// and the reason.
struct VorschauTexte {
  QString sVorschauTitel, sSeiteVon, sErsteSeite, sVorigeSeite, sNaechsteSeite, sLetzteSeite,
      sGanzeSeite, sSeitenbreite, sAlsPdf, sDruckeSeite, sSpeichereSeite, sKeineTitel, sKeinDrucker,
      sDruckFehler, sPdfFehler;
};

// Recording the set: the menu entry (of "&Playliste"), the reason the
// console asks before it quits, and the messages. sGestoppt and sStartFehler
// take the reason (%1), sVerloren the seconds lost (%1), sFormat the value of
// the setting (%1) and the settings file (%2).
struct AufnahmeTexte {
  QString sAufnahme, sAufnahmeLaeuft, sGestoppt, sStartFehler, sVerloren, sKeineKarte, sFormat;
};

// MIDI controllers: the menu entry of "&Einstellungen" and the learn window.
// sZuordnung takes the mapping's name (%1); sBewegen the controller (%1) and
// the action (%2); sGelernt the message (%1) and the action (%2); sErsetzt
// the action the message ran before (%1); sAuchAuf the action (%1) and the
// other messages that run it (%2); sNichtGespeichert the reason (%1).
struct ControllerTexte {
  QString sMidiController, sControllerTitel, sController, sKeinController, sZuordnung, sEigeneDatei,
      sMitgeliefert, sGrundlage, sVerwenden, sAktionen, sLernen, sErstAktion, sBewegen, sGelernt,
      sErsetzt, sAuchAuf, sNichtGespeichert, sProbleme, sNachricht, sAktion;
};
