#pragma once
// The text records of the user-interface string table, one per window or
// area. The language window (Sprache.h) holds one of each; FillGerman and
// FillEnglish write every entry. Texts are held as Unicode; "&" marks a menu
// or button accelerator and "\n" a line break inside a text.

#include <QString>

// Main menu captions.
struct MenueTexte {
  QString sDatenbank, sCheck, sID3Editor, sDrucken, sDruckereinrichtung, sBeenden, sPlayliste, sNeu,
      sLaden, sEinstellungen, sGeraete, sSprache, sHilfe, sInhalt, sIndex, sInfo;
};

// Button captions shared by several windows.
struct KnopfTexte {
  QString sSpeichern, sStarten, sLadenDeck, sRechts, sLinks, sZero, sSchliessen, sAbbruch, sOK,
      sHilfeKnopf;
};

// Main window labels (search fields, volumes).
struct LabelTexte {
  QString sSucheInterpret, sSucheTitel, sSucheKategorie, sSucheJahr, sVolLinks, sVolRechts;
};

// Check and scan window.
struct ScanTexte {
  QString sScanTitel, sLaufwerke, sNetzwerk, sCDROM, sWechselmedien, sScanbedingungen, sNurCheck,
      sNurScan;
};

// Record and tag editor.
struct EditorTexte {
  QString sEditorTitel;
};

// Playlist window.
struct PlaylistTexte {
  QString sPlaylistTitel;
};

// Sound device dialog.
struct GeraeteTexte {
  QString sGeraeteTitel, sSoundkartenmodi, sModusNurEine, sModusAuxKopf, sModusLinksRechts,
      sKarteAusgang, sKarteKopfhoerer, sKarteLinkerPlayer, sKarteRechterPlayer;
};

// Language window.
struct SprachTexte {
  QString sSprachauswahl, sSprachen, sDeutsch, sEnglisch;
};

// Message boxes. sDateiDefekt and sKeinGeraet refuse a deck load: a file
// the MP3 decoder cannot play, and a deck without an output device.
// sKarteStumm says that a sound card stopped playing (pulled out).
// sKeinKopfhoerer refuses the headphone mode without a headphone card;
// sKarteUnbekannt names a stored card that is not among the present devices.
struct MeldungTexte {
  QString sAchtung, sNeustart, sDateiFehlt, sSchreibgeschuetzt, sGleicheGeraete, sDateiDefekt,
      sKeinGeraet, sKarteStumm;
  QString sKeinKopfhoerer, sKarteUnbekannt;
};

// Names of the song fields: grid column titles, sort choices, report heads.
struct SpaltenTexte {
  QString sInterpret, sTitel, sKategorie, sJahr, sBeats, sDateiname;
};

// Print selection window and report.
struct DruckTexte {
  QString sDrucksortierung, sDruckKnopf, sVorschau, sUeberschrift, sSeite, sSortiertNach;
};
