// The two built-in text sets of the string table. Each fill assigns whole
// records with every field named in declaration order, so an entry cannot be
// left out or keep a text of the other language.
#include "lang/Sprache.h"

using namespace Qt::StringLiterals;

void TFormSprache::FillGerman() {
  Menue = MenueTexte{
      .sDatenbank = u"&Datenbank"_s,
      .sCheck = u"&Check"_s,
      .sID3Editor = u"&ID3-Editor"_s,
      .sDrucken = u"&Drucken"_s,
      .sDruckereinrichtung = u"Drucker&einrichtung"_s,
      .sBeenden = u"&Beenden"_s,
      .sPlayliste = u"&Playliste"_s,
      .sNeu = u"&Neu"_s,
      .sLaden = u"&Laden"_s,
      .sEinstellungen = u"&Einstellungen"_s,
      .sGeraete = u"&Geräte"_s,
      .sSprache = u"&Sprache"_s,
      .sHilfe = u"&Hilfe"_s,
      .sInhalt = u"&Inhalt"_s,
      .sIndex = u"Inde&x"_s,
      .sInfo = u"In&fo..."_s,
      .sAutoGain = u"&Lautheit angleichen (Auto-Gain)"_s,
  };
  Knopf = KnopfTexte{
      .sSpeichern = u"&Speichern"_s,
      .sStarten = u"&Starten"_s,
      .sLadenDeck = u"&Laden"_s,
      .sRechts = u"&Rechts"_s,
      .sLinks = u"&Links"_s,
      .sZero = u"&Zero"_s,
      .sSchliessen = u"&Schliessen"_s,
      .sAbbruch = u"&Abbruch"_s,
      .sOK = u"&OK"_s,
      .sHilfeKnopf = u"&Hilfe"_s,
      .sKeyLock = u"KEY"_s,
  };
  Label = LabelTexte{
      .sSucheInterpret = u"Suche Interpret"_s,
      .sSucheTitel = u"Suche Titel"_s,
      .sSucheKategorie = u"Suche Kategorie"_s,
      .sSucheJahr = u"Suche Jahr"_s,
      .sVolLinks = u"Vol. Links"_s,
      .sVolRechts = u"Vol. Rechts"_s,
      .sVirtuelleKarte = u" – virtuelle Soundkarte, kein Ton"_s,
  };
  Scan = ScanTexte{
      .sScanTitel = u"Check und Scan"_s,
      .sLaufwerke = u"durchsuchbare Laufwerke"_s,
      .sNetzwerk = u"mit Netzwerklaufwerken"_s,
      .sCDROM = u"mit CDROM"_s,
      .sWechselmedien = u"mit Wechselmedien"_s,
      .sScanbedingungen = u"Scanbedingungen"_s,
      .sNurCheck = u"nur Check"_s,
      .sNurScan = u"nur Scan"_s,
      .sScanFortschritt = u"scanne Hardisk und integriere mp3-Dateien in DB"_s,
      .sCheckFortschritt = u"überprüfe Datenbank"_s,
      .sTagsNeuLesen = u"Tags neu lesen"_s,
      .sOrdnerWahl = u"Ordner…"_s,
  };
  Editor = EditorTexte{.sEditorTitel = u"ID3-Editor"_s};
  Playlist = PlaylistTexte{
      .sPlaylistTitel = u"Playliste"_s,
      .sFehlt = u"(fehlt)"_s,
      .sNichtInDatenbank = u"(nicht in der Datenbank)"_s,
      .sNichtAbspielbar = u"(nicht abspielbar)"_s,
      .sUebersprungen = u"Übersprungene Zeilen der Playliste: %1"_s,
      .sUebersprungeneZeile = u"Zeile %1 (%2): %3"_s,
      .sWeitere = u"… und %1 weitere"_s,
      .sGrundWebadresse = u"Webadresse oder Stream"_s,
      .sGrundLaufwerk = u"Windows-Laufwerk"_s,
      .sGrundNetzwerk = u"Netzwerkpfad"_s,
      .sGrundKeinMp3 = u"keine MP3-Datei"_s,
      .sGrundZuLang = u"Zeile zu lang"_s,
      .sGrundKeinText = u"keine Textzeile"_s,
      .sNichtGefunden = u"Playliste nicht vorhanden:\n%1"_s,
      .sIstOrdner = u"Das ist ein Ordner, keine Playliste:\n%1"_s,
      .sKeineDatei = u"Das ist keine gewöhnliche Datei (Pipe oder Gerät):\n%1"_s,
      .sZuGross = u"Die Datei ist zu groß für eine Playliste (%2 MB):\n%1"_s,
      .sNichtLesbar = u"Die Playliste kann nicht gelesen werden (%2):\n%1"_s,
      .sBinaer = u"Das ist keine Playliste, sondern eine Binärdatei:\n%1"_s,
      .sKeinePlayliste =
          u"Nur Playlisten mit der Endung .qdp, .m3u oder .m3u8 können geladen werden:\n%1"_s,
      .sGespeichertIn =
          u"Der Ordner der M3U-Playliste ist nicht beschreibbar. Die Quandrel-Playliste wurde hier gespeichert:\n%1"_s,
      .sNichtGespeichert = u"Die Playliste konnte nicht gespeichert werden (%2):\n%1"_s,
      .sKeinEintrag =
          u"Die Playliste enthält keinen Eintrag, der geladen werden kann; die offene Playliste bleibt, wie sie war:\n%1"_s,
      .sErsetzen =
          u"Die Quandrel-Playliste gibt es schon:\n%1\nSoll sie ersetzt werden? Bei „Nein“ wird die Playliste unter einem freien Namen gespeichert."_s,
      .sFreierName = u"Die Quandrel-Playliste wurde unter einem freien Namen gespeichert:\n%1"_s,
  };
  Geraete = GeraeteTexte{
      .sGeraeteTitel = u"Geräteeinstellungen"_s,
      .sSoundkartenmodi = u"Soundkartenmodi"_s,
      .sModusNurEine = u"nur eine"_s,
      .sModusAuxKopf = u"Aux/Kopf"_s,
      .sModusLinksRechts = u"Links/Rechts"_s,
      .sKarteAusgang = u"Soundkarte Ausgang"_s,
      .sKarteKopfhoerer = u"Soundkarte Kopfhörer"_s,
      .sKarteLinkerPlayer = u"Soundkarte linker Player"_s,
      .sKarteRechterPlayer = u"Soundkarte rechter Player"_s,
      .sAusgabepuffer = u"Ausgabepuffer in ms (Latenz)"_s,
  };
  Sprach = SprachTexte{
      .sSprachauswahl = u"Sprachauswahl"_s,
      .sSprachen = u"verfügbare Sprachen"_s,
      .sDeutsch = u"Deutsch"_s,
      .sEnglisch = u"Englisch"_s,
      .sSpracheUngueltig =
          u"Die Spracheinstellung \"%1\" ist ungültig (Datei %2, Abschnitt [Sprache], Schlüssel Mode; 0 = Deutsch, 1 = Englisch).\nBitte unter Einstellungen > Sprache eine Sprache wählen und mit OK bestätigen."_s,
  };
  Info = InfoTexte{
      .sInfoKommentar = u"Ein DJ-Pult für MP3-Dateien"_s,
      .sInfoDecoder = u"MP3-Dekodierung: %1"_s,
  };
  Meldung = MeldungTexte{
      .sAchtung = u"Achtung!"_s,
      .sNeustart = u"Änderung erst nach Programmneustart wirksam"_s,
      .sDateiFehlt = u"Datei nicht vorhanden. Bitte Datenbank überprüfen!"_s,
      .sSchreibgeschuetzt =
          u"Die Datei ist schreibgeschützt.\nSoll der  ID3-Tag trotzdem eingetragen werden?"_s,
      .sGleicheGeraete = u"Keine identischen Geräte ausgewählen!"_s,
      .sDateiDefekt = u"Datei nicht abspielbar. Bitte MP3-Datei überprüfen!"_s,
      .sKeinGeraet = u"Kein Ausgabegerät für diesen Player. Bitte Geräte einstellen!"_s,
      .sKarteStumm =
          u"Die Soundkarte spielt nicht mehr. Bitte Verbindung prüfen und Programm neu starten!"_s,
      .sKeinKopfhoerer = u"Keine Soundkarte für den Kopfhörer ausgewählt!"_s,
      .sKarteUnbekannt =
          u"Soundkarte nicht unter den vorhandenen Geräten. Bitte Geräte einstellen!"_s,
      .sKeinRechterPlayer = u"Keine Soundkarte für den rechten Player ausgewählt!"_s,
      .sPlayerSpielt = u"Ein Player spielt noch."_s,
      .sAutoplayLaeuft = u"Autoplay ist eingeschaltet."_s,
      .sEditorAenderung = u"Im ID3-Editor ist eine Änderung noch nicht gespeichert."_s,
      .sTrotzdemBeenden = u"Quandrel trotzdem beenden?"_s,
  };
  Spalten = SpaltenTexte{
      .sInterpret = u"Interpret"_s,
      .sTitel = u"Titel"_s,
      .sKategorie = u"Kategorie"_s,
      .sJahr = u"Jahr"_s,
      .sBeats = u"Beats"_s,
      .sDateiname = u"Dateiname"_s,
  };
  Druck = DruckTexte{
      .sDrucksortierung = u"Drucksortierung"_s,
      .sDruckKnopf = u"&Drucken"_s,
      .sVorschau = u"&Vorschau"_s,
      .sUeberschrift = u"Quandrel Titelliste sortiert nach "_s,
      .sSeite = u"Seite "_s,
      .sSortiertNach = u"Sortiert nach ..."_s,
  };
  Vorschau = VorschauTexte{
      .sVorschauTitel = u"Vorschau"_s,
      .sSeiteVon = u"Seite %1 von %2"_s,
      .sErsteSeite = u"Erste Seite"_s,
      .sVorigeSeite = u"Vorige Seite"_s,
      .sNaechsteSeite = u"Nächste Seite"_s,
      .sLetzteSeite = u"Letzte Seite"_s,
      .sGanzeSeite = u"Ganze Seite"_s,
      .sSeitenbreite = u"Seitenbreite"_s,
      .sAlsPdf = u"Als &PDF speichern..."_s,
      .sDruckeSeite = u"Drucke Seite %1 von %2"_s,
      .sSpeichereSeite = u"Speichere Seite %1 von %2"_s,
      .sKeineTitel = u"Die Datenbank enthält keine Titel."_s,
      .sKeinDrucker = u"Kein Drucker eingerichtet. Bitte Druckereinrichtung aufrufen!"_s,
      .sDruckFehler = u"Drucken nicht möglich:\n%1"_s,
      .sPdfFehler = u"Die Datei %1 kann nicht geschrieben werden:\n%2"_s,
  };
  Bibliothek = BibliothekTexte{
      .sTagNichtGeschrieben = u"ID3-Tag nicht eingetragen:\n%1\n%2"_s,
      .sKeineMp3Datei = u"Keine MP3-Datei, ID3-Tag nicht eingetragen:\n%1"_s,
      .sBibliothekSchreibgeschuetzt =
          u"Datenbank schreibgeschützt. Check, Scan und Bearbeiten nicht möglich!"_s,
      .sNichtErreichbar = u"nicht erreichbar"_s,
      .sId3v2Belassen =
          u"Nur das ID3v1-Tag wurde eingetragen. Das ID3v2-Tag hat eine Form, "
          u"die nicht sicher umgeschrieben werden kann, und bleibt, wie es war:\n%1"_s,
  };
  Tempo = TempoTexte{
      .sTempoAnalysieren = u"&Tempo analysieren"_s,
      .sTempoTitel = u"Tempo analysieren"_s,
      .sTempoStand = u"%1 von %2 Titeln analysiert"_s,
      .sKeinTempo = u"kein Tempo"_s,
      .sAllesAnalysiert = u"Das Tempo aller Titel ist bereits analysiert."_s,
      .sTempoNachScan = u"Tempo neuer Titel analysieren"_s,
  };
  Sync = SyncTexte{
      .sSyncOhneSong = u"Sync: Auf dem anderen Deck ist kein Titel."_s,
      .sSyncOhneRaster =
          u"Sync: Beide Titel brauchen ein Beat-Raster. Bitte die Titel analysieren (Datenbank > Tempo analysieren)."_s,
      .sSyncAusserhalb = u"Sync: Dafür wäre ein Pitch von %1 nötig, der Regler reicht bis %2."_s,
      .sAutoplayAufBeat = u"Autoplay auf den &Beat"_s,
  };
  Tastatur = TastaturTexte{
      .sTastatur = u"&Tastatur"_s,
      .sTastaturTitel = u"Tastatur"_s,
      .sTaste = u"Taste"_s,
      .sAktion = u"Aktion"_s,
      .sName = u"Name"_s,
      .sTastaturHinweis =
          u"Die Tasten wirken im Pult, solange kein Textfeld den Cursor hat; Esc verlässt das Suchfeld. Ändern in qdl.ini, Abschnitt [Keys], z. B. links.play=S, Space"_s,
      .sTastenProbleme = u"Nicht übernommen:"_s,
      .sTasteUnlesbar = u"%1, [%2]: Datei nicht lesbar (%4)"_s,
      .sTasteKeineAktion = u"%1, [%2] %3: keine solche Aktion"_s,
      .sTasteWert = u"%1, [%2] %3: die Aktion nimmt einen Wert, keine Taste"_s,
      .sTasteUnbekannt = u"%1, [%2] %3: unbekannte Taste \"%4\""_s,
      .sTasteVergeben = u"%1, [%2] %3: Taste \"%4\" hat schon %5"_s,
      .sTasteDoppelt = u"%1, [%2] %3: steht zweimal da"_s,
      .sLinkesDeck = u"Links"_s,
      .sRechtesDeck = u"Rechts"_s,
      .sAktionen =
          {
              {u"load"_s, u"%1: Titel aus der Liste laden"_s},
              {u"cue"_s, u"%1: CUE (zum Cue-Punkt; beim Suchen dort setzen)"_s},
              {u"play"_s, u"%1: Play/Pause"_s},
              {u"time"_s, u"%1: Zeit vergangen/verbleibend"_s},
              {u"pitch.up"_s, u"%1: Pitch + (gehalten)"_s},
              {u"pitch.down"_s, u"%1: Pitch - (gehalten)"_s},
              {u"pitch.zero"_s, u"%1: Pitch Zero"_s},
              {u"sync"_s, u"%1: Sync (Tempo und Beats zum anderen Deck)"_s},
              {u"pitch.step.up"_s, u"%1: Pitch 0,1 % schneller"_s},
              {u"pitch.step.down"_s, u"%1: Pitch 0,1 % langsamer"_s},
              {u"volume.up"_s, u"%1: Lautstärke 1 dB lauter"_s},
              {u"volume.down"_s, u"%1: Lautstärke 1 dB leiser"_s},
              {u"headcue"_s, u"%1: Kopfhörer an/aus"_s},
              {u"keylock"_s, u"%1: Key Lock an/aus (Tonart halten)"_s},
              {u"mixer.crossfader.links"_s, u"Crossfader nach links"_s},
              {u"mixer.crossfader.rechts"_s, u"Crossfader nach rechts"_s},
              {u"mixer.crossfader.links.hold"_s, u"Crossfader links, solange gehalten"_s},
              {u"mixer.crossfader.rechts.hold"_s, u"Crossfader rechts, solange gehalten"_s},
              {u"mixer.crossfader.zero"_s, u"Crossfader in die Mitte"_s},
              {u"mixer.crossfader.step.links"_s, u"Crossfader einen Schritt nach links"_s},
              {u"mixer.crossfader.step.rechts"_s, u"Crossfader einen Schritt nach rechts"_s},
              {u"mixer.headvolume.up"_s, u"Kopfhörer 1 dB lauter"_s},
              {u"mixer.headvolume.down"_s, u"Kopfhörer 1 dB leiser"_s},
              {u"autocue.toggle"_s, u"Autocue an/aus"_s},
              {u"autoplay.toggle"_s, u"Autoplay an/aus"_s},
              {u"autogain.toggle"_s, u"Auto-Gain an/aus"_s},
              {u"autoplay.beat.toggle"_s, u"Autoplay auf den Beat an/aus"_s},
              {u"playlist.start"_s, u"Playliste starten (Autoplay an)"_s},
              {u"search.focus"_s, u"Ins Suchfeld"_s},
              {u"record.toggle"_s, u"Aufnahme an/aus"_s},
          },
  };
  Controller = ControllerTexte{
      .sMidiController = u"&MIDI-Controller"_s,
      .sControllerTitel = u"MIDI-Controller"_s,
      .sController = u"Controller:"_s,
      .sKeinController = u"Kein Controller angeschlossen"_s,
      .sZuordnung = u"Zuordnung: %1"_s,
      .sEigeneDatei = u"eigene Datei"_s,
      .sMitgeliefert = u"mitgeliefert"_s,
      .sGrundlage = u"Grundlage:"_s,
      .sVerwenden = u"&Verwenden"_s,
      .sAktionen = u"Aktionen (oder ein Bedienelement der Konsole anklicken):"_s,
      .sLernen = u"&Lernen"_s,
      .sErstAktion = u"Bitte zuerst eine Aktion wählen."_s,
      .sBewegen = u"Ein Bedienelement von %1 für %2 bewegen oder drücken ..."_s,
      .sGelernt = u"%1 steuert jetzt %2."_s,
      .sErsetzt = u"Vorher steuerte es %1 (ersetzt)."_s,
      .sAuchAuf = u"%1 wird auch gesteuert von: %2"_s,
      .sNichtGespeichert = u"Nicht gespeichert: %1"_s,
      .sProbleme = u"Fehler in der Zuordnung:"_s,
      .sNachricht = u"Nachricht"_s,
      .sAktion = u"Aktion"_s,
  };
  Aufnahme = AufnahmeTexte{
      .sAufnahme = u"&Aufnahme"_s,
      .sAufnahmeLaeuft = u"Eine Aufnahme läuft."_s,
      .sGestoppt =
          u"Die Aufnahme wurde angehalten: %1\nWas bis dahin aufgenommen ist, bleibt abspielbar."_s,
      .sStartFehler = u"Die Aufnahme kann nicht beginnen: %1"_s,
      .sVerloren =
          u"%1 s der Aufnahme gingen verloren (die Festplatte war zu langsam); an ihrer Stelle steht Stille."_s,
      .sKeineKarte = u"Keine Soundkarte geöffnet: es gibt nichts aufzunehmen."_s,
      .sFormat =
          u"[Record] Format=%1 in %2 ist kein Format (flac, wav oder mp3): es wird FLAC aufgenommen."_s,
  };
  sTitelVerfuegbar = u" Titel verfügbar"_s;
  sHilfeDatei = u"qdl_g.hlp"_s;
  language_ = Language::German;
}

void TFormSprache::FillEnglish() {
  Menue = MenueTexte{
      .sDatenbank = u"&Database"_s,
      .sCheck = u"&Check"_s,
      .sID3Editor = u"&ID3-Editor"_s,
      .sDrucken = u"&Print"_s,
      .sDruckereinrichtung = u"Printer &Setup"_s,
      .sBeenden = u"&Exit"_s,
      .sPlayliste = u"&Playlist"_s,
      .sNeu = u"&New"_s,
      .sLaden = u"&Load"_s,
      .sEinstellungen = u"&Options"_s,
      .sGeraete = u"&Devices"_s,
      .sSprache = u"&Language"_s,
      .sHilfe = u"&Help"_s,
      .sInhalt = u"&Contents"_s,
      .sIndex = u"Inde&x"_s,
      .sInfo = u"In&fo..."_s,
      .sAutoGain = u"&Auto-gain (even loudness)"_s,
  };
  Knopf = KnopfTexte{
      .sSpeichern = u"&Save"_s,
      .sStarten = u"&Start"_s,
      .sLadenDeck = u"&Load"_s,
      .sRechts = u"&Right"_s,
      .sLinks = u"&Left"_s,
      .sZero = u"&Zero"_s,
      .sSchliessen = u"&Close"_s,
      .sAbbruch = u"&Cancel"_s,
      .sOK = u"&OK"_s,
      .sHilfeKnopf = u"&Help"_s,
      .sKeyLock = u"KEY"_s,
  };
  Label = LabelTexte{
      .sSucheInterpret = u"Search Artist"_s,
      .sSucheTitel = u"Search Title"_s,
      .sSucheKategorie = u"Search Genre"_s,
      .sSucheJahr = u"Search Year"_s,
      .sVolLinks = u"Vol. Left"_s,
      .sVolRechts = u"Vol. Right"_s,
      .sVirtuelleKarte = u" – virtual sound card, no sound"_s,
  };
  Scan = ScanTexte{
      .sScanTitel = u"Check and Scan"_s,
      .sLaufwerke = u"searchable disks"_s,
      .sNetzwerk = u"with Netdisks"_s,
      .sCDROM = u"with CDROM"_s,
      .sWechselmedien = u"with Changemedias"_s,
      .sScanbedingungen = u"Scanning options"_s,
      .sNurCheck = u"only Check"_s,
      .sNurScan = u"only Scan"_s,
      .sScanFortschritt = u"scanning disks and adding MP3 files to the database"_s,
      .sCheckFortschritt = u"checking database"_s,
      .sTagsNeuLesen = u"Re-read tags"_s,
      .sOrdnerWahl = u"Folder…"_s,
  };
  Editor = EditorTexte{.sEditorTitel = u"ID3-Editor"_s};
  Playlist = PlaylistTexte{
      .sPlaylistTitel = u"Playlist"_s,
      .sFehlt = u"(missing)"_s,
      .sNichtInDatenbank = u"(not in database)"_s,
      .sNichtAbspielbar = u"(not playable)"_s,
      .sUebersprungen = u"Lines of the playlist skipped: %1"_s,
      .sUebersprungeneZeile = u"Line %1 (%2): %3"_s,
      .sWeitere = u"… and %1 more"_s,
      .sGrundWebadresse = u"web address or stream"_s,
      .sGrundLaufwerk = u"Windows drive"_s,
      .sGrundNetzwerk = u"network path"_s,
      .sGrundKeinMp3 = u"not an MP3 file"_s,
      .sGrundZuLang = u"line too long"_s,
      .sGrundKeinText = u"not a line of text"_s,
      .sNichtGefunden = u"Playlist not found:\n%1"_s,
      .sIstOrdner = u"This is a folder, not a playlist:\n%1"_s,
      .sKeineDatei = u"This is not a regular file (a pipe or a device):\n%1"_s,
      .sZuGross = u"The file is too large for a playlist (%2 MB):\n%1"_s,
      .sNichtLesbar = u"The playlist cannot be read (%2):\n%1"_s,
      .sBinaer = u"This is not a playlist but a binary file:\n%1"_s,
      .sKeinePlayliste = u"Only playlists ending in .qdp, .m3u or .m3u8 can be loaded:\n%1"_s,
      .sGespeichertIn =
          u"The folder of the M3U playlist cannot be written. The Quandrel playlist was saved here:\n%1"_s,
      .sNichtGespeichert = u"The playlist could not be saved (%2):\n%1"_s,
      .sKeinEintrag =
          u"The playlist holds no entry that can be loaded; the open playlist stays as it was:\n%1"_s,
      .sErsetzen =
          u"The Quandrel playlist already exists:\n%1\nShall it be replaced? With \"No\" the playlist is saved under a free name."_s,
      .sFreierName = u"The Quandrel playlist was saved under a free name:\n%1"_s,
  };
  Geraete = GeraeteTexte{
      .sGeraeteTitel = u"Sounddevices"_s,
      .sSoundkartenmodi = u"Soundcard options"_s,
      .sModusNurEine = u"only one"_s,
      .sModusAuxKopf = u"Aux/Head"_s,
      .sModusLinksRechts = u"Left/Right"_s,
      .sKarteAusgang = u"Soundcard for Auxilary (Amp)"_s,
      .sKarteKopfhoerer = u"Soundcard for headphone"_s,
      .sKarteLinkerPlayer = u"Soundcard for left player"_s,
      .sKarteRechterPlayer = u"Soundcard for right player"_s,
      .sAusgabepuffer = u"Output buffer in ms (latency)"_s,
  };
  Sprach = SprachTexte{
      .sSprachauswahl = u"Choose language"_s,
      .sSprachen = u"avaible languages"_s,
      .sDeutsch = u"German"_s,
      .sEnglisch = u"English"_s,
      .sSpracheUngueltig =
          u"The language setting \"%1\" is not valid (file %2, section [Sprache], key Mode; 0 = German, 1 = English).\nPlease choose a language under Options > Language and confirm with OK."_s,
  };
  Info = InfoTexte{
      .sInfoKommentar = u"A DJ console for MP3 files"_s,
      .sInfoDecoder = u"MP3 decoding: %1"_s,
  };
  Meldung = MeldungTexte{
      .sAchtung = u"Attention!"_s,
      .sNeustart = u"Changes commited after restart"_s,
      .sDateiFehlt = u"File notpresent. Check database!"_s,
      .sSchreibgeschuetzt = u"The File is readonly.\n Should I enter the ID3-Tag nevertheless?"_s,
      .sGleicheGeraete = u"choosing the same devices not allowed!"_s,
      .sDateiDefekt = u"File not playable. Check MP3 file!"_s,
      .sKeinGeraet = u"No sounddevice for this player. Check devices!"_s,
      .sKarteStumm = u"Sounddevice stopped playing. Check connection and restart!"_s,
      .sKeinKopfhoerer = u"no sounddevice for the headphones chosen!"_s,
      .sKarteUnbekannt = u"Sounddevice not among the present devices. Check devices!"_s,
      .sKeinRechterPlayer = u"no sounddevice for the right player chosen!"_s,
      .sPlayerSpielt = u"A player is still playing."_s,
      .sAutoplayLaeuft = u"Autoplay is switched on."_s,
      .sEditorAenderung = u"The ID3 editor holds a change that is not saved yet."_s,
      .sTrotzdemBeenden = u"Quit Quandrel anyway?"_s,
  };
  Spalten = SpaltenTexte{
      .sInterpret = u"Artist"_s,
      .sTitel = u"Title"_s,
      .sKategorie = u"Genre"_s,
      .sJahr = u"Year"_s,
      .sBeats = u"Beats"_s,
      .sDateiname = u"Filename"_s,
  };
  Druck = DruckTexte{
      .sDrucksortierung = u"Print-sorting"_s,
      .sDruckKnopf = u"&Print"_s,
      .sVorschau = u"Pre&view"_s,
      .sUeberschrift = u"Quandrel Songlist sortet by "_s,
      .sSeite = u"Side "_s,
      .sSortiertNach = u"Sorted by..."_s,
  };
  Vorschau = VorschauTexte{
      .sVorschauTitel = u"Preview"_s,
      .sSeiteVon = u"Page %1 of %2"_s,
      .sErsteSeite = u"First page"_s,
      .sVorigeSeite = u"Previous page"_s,
      .sNaechsteSeite = u"Next page"_s,
      .sLetzteSeite = u"Last page"_s,
      .sGanzeSeite = u"Whole page"_s,
      .sSeitenbreite = u"Page width"_s,
      .sAlsPdf = u"Save as &PDF..."_s,
      .sDruckeSeite = u"Printing page %1 of %2"_s,
      .sSpeichereSeite = u"Saving page %1 of %2"_s,
      .sKeineTitel = u"The database holds no songs."_s,
      .sKeinDrucker = u"No printer set up. Use Printer Setup!"_s,
      .sDruckFehler = u"Printing failed:\n%1"_s,
      .sPdfFehler = u"The file %1 cannot be written:\n%2"_s,
  };
  Bibliothek = BibliothekTexte{
      .sTagNichtGeschrieben = u"ID3-Tag not entered:\n%1\n%2"_s,
      .sKeineMp3Datei = u"No MP3 file, ID3-Tag not entered:\n%1"_s,
      .sBibliothekSchreibgeschuetzt =
          u"Database is readonly. Check, scan and editing not possible!"_s,
      .sNichtErreichbar = u"not reachable"_s,
      .sId3v2Belassen =
          u"Only the ID3v1 tag was entered. The ID3v2 tag has a form that "
          u"cannot be rewritten safely and stays as it was:\n%1"_s,
  };
  Tempo = TempoTexte{
      .sTempoAnalysieren = u"Analyse &tempo"_s,
      .sTempoTitel = u"Tempo analysis"_s,
      .sTempoStand = u"%1 of %2 songs analysed"_s,
      .sKeinTempo = u"no tempo"_s,
      .sAllesAnalysiert = u"The tempo of every song has been analysed already."_s,
      .sTempoNachScan = u"Analyse the tempo of new songs"_s,
  };
  Sync = SyncTexte{
      .sSyncOhneSong = u"Sync: there is no song on the other deck."_s,
      .sSyncOhneRaster =
          u"Sync: both songs need a beat grid. Please analyse them (Database > Analyse tempo)."_s,
      .sSyncAusserhalb = u"Sync: this would need a pitch of %1; the bar reaches %2."_s,
      .sAutoplayAufBeat = u"Autoplay on the &beat"_s,
  };
  Tastatur = TastaturTexte{
      .sTastatur = u"&Keyboard"_s,
      .sTastaturTitel = u"Keyboard"_s,
      .sTaste = u"Key"_s,
      .sAktion = u"Action"_s,
      .sName = u"Name"_s,
      .sTastaturHinweis =
          u"The keys act in the console while no text field has the cursor; Esc leaves the search box. Change them in qdl.ini, section [Keys], e.g. links.play=S, Space"_s,
      .sTastenProbleme = u"Not taken:"_s,
      .sTasteUnlesbar = u"%1, [%2]: file cannot be read (%4)"_s,
      .sTasteKeineAktion = u"%1, [%2] %3: no such action"_s,
      .sTasteWert = u"%1, [%2] %3: the action takes a value, not a key"_s,
      .sTasteUnbekannt = u"%1, [%2] %3: unknown key \"%4\""_s,
      .sTasteVergeben = u"%1, [%2] %3: key \"%4\" is taken by %5"_s,
      .sTasteDoppelt = u"%1, [%2] %3: is there twice"_s,
      .sLinkesDeck = u"Left"_s,
      .sRechtesDeck = u"Right"_s,
      .sAktionen =
          {
              {u"load"_s, u"%1: load the grid's song"_s},
              {u"cue"_s, u"%1: CUE (to the cue point; while seeking, set it)"_s},
              {u"play"_s, u"%1: play/pause"_s},
              {u"time"_s, u"%1: time elapsed/remaining"_s},
              {u"pitch.up"_s, u"%1: pitch + (held)"_s},
              {u"pitch.down"_s, u"%1: pitch - (held)"_s},
              {u"pitch.zero"_s, u"%1: pitch Zero"_s},
              {u"sync"_s, u"%1: Sync (tempo and beats to the other deck)"_s},
              {u"pitch.step.up"_s, u"%1: pitch 0.1 % faster"_s},
              {u"pitch.step.down"_s, u"%1: pitch 0.1 % slower"_s},
              {u"volume.up"_s, u"%1: volume 1 dB louder"_s},
              {u"volume.down"_s, u"%1: volume 1 dB quieter"_s},
              {u"headcue"_s, u"%1: headphone cue on/off"_s},
              {u"keylock"_s, u"%1: key lock on/off (keep the key)"_s},
              {u"mixer.crossfader.links"_s, u"crossfader to the left"_s},
              {u"mixer.crossfader.rechts"_s, u"crossfader to the right"_s},
              {u"mixer.crossfader.links.hold"_s, u"crossfader left while held"_s},
              {u"mixer.crossfader.rechts.hold"_s, u"crossfader right while held"_s},
              {u"mixer.crossfader.zero"_s, u"crossfader to the centre"_s},
              {u"mixer.crossfader.step.links"_s, u"crossfader one step left"_s},
              {u"mixer.crossfader.step.rechts"_s, u"crossfader one step right"_s},
              {u"mixer.headvolume.up"_s, u"headphones 1 dB louder"_s},
              {u"mixer.headvolume.down"_s, u"headphones 1 dB quieter"_s},
              {u"autocue.toggle"_s, u"autocue on/off"_s},
              {u"autoplay.toggle"_s, u"autoplay on/off"_s},
              {u"autogain.toggle"_s, u"auto-gain on/off"_s},
              {u"autoplay.beat.toggle"_s, u"autoplay on the beat on/off"_s},
              {u"playlist.start"_s, u"start the playlist (autoplay on)"_s},
              {u"search.focus"_s, u"into the search box"_s},
              {u"record.toggle"_s, u"recording on/off"_s},
          },
  };
  Controller = ControllerTexte{
      .sMidiController = u"&MIDI controllers"_s,
      .sControllerTitel = u"MIDI controllers"_s,
      .sController = u"Controller:"_s,
      .sKeinController = u"No controller connected"_s,
      .sZuordnung = u"Mapping: %1"_s,
      .sEigeneDatei = u"own file"_s,
      .sMitgeliefert = u"shipped"_s,
      .sGrundlage = u"Based on:"_s,
      .sVerwenden = u"&Use"_s,
      .sAktionen = u"Actions (or click a control of the console):"_s,
      .sLernen = u"&Learn"_s,
      .sErstAktion = u"Please pick an action first."_s,
      .sBewegen = u"Move or press a control of %1 for %2 ..."_s,
      .sGelernt = u"%1 now runs %2."_s,
      .sErsetzt = u"It ran %1 before (replaced)."_s,
      .sAuchAuf = u"%1 is also run by: %2"_s,
      .sNichtGespeichert = u"Not saved: %1"_s,
      .sProbleme = u"Problems in the mapping:"_s,
      .sNachricht = u"Message"_s,
      .sAktion = u"Action"_s,
  };
  Aufnahme = AufnahmeTexte{
      .sAufnahme = u"&Record"_s,
      .sAufnahmeLaeuft = u"A recording is running."_s,
      .sGestoppt = u"The recording was stopped: %1\nWhat was recorded until then still plays."_s,
      .sStartFehler = u"The recording cannot start: %1"_s,
      .sVerloren =
          u"%1 s of the recording were lost (the disk was too slow); silence stands in their place."_s,
      .sKeineKarte = u"No sound card is open: there is nothing to record."_s,
      .sFormat = u"[Record] Format=%1 in %2 is no format (flac, wav or mp3): FLAC is recorded."_s,
  };
  sTitelVerfuegbar = u" Songs avaible"_s;
  sHilfeDatei = u"qdl_e.hlp"_s;
  language_ = Language::English;
}
