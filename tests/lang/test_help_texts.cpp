// The help speaks the program's own words: every caption, label and message a
// user meets is found in the help file of its language under the name the
// window shows (accelerator marks left out, line breaks as blanks).
#include <gtest/gtest.h>

#include <QRegularExpression>

#include "lang/Sprache.h"
#include "platform/help/HelpFile.h"

namespace {

// The texts whose names a DJ looks up in the help.
QStringList shownTexts(const TFormSprache& s) {
  const MenueTexte& m = s.Menue;
  const KnopfTexte& k = s.Knopf;
  const LabelTexte& l = s.Label;
  const ScanTexte& c = s.Scan;
  const GeraeteTexte& g = s.Geraete;
  const SprachTexte& sp = s.Sprach;
  const MeldungTexte& me = s.Meldung;
  const SpaltenTexte& co = s.Spalten;
  const DruckTexte& d = s.Druck;
  const VorschauTexte& v = s.Vorschau;
  return {
      m.sDatenbank,
      m.sCheck,
      m.sID3Editor,
      m.sDrucken,
      m.sDruckereinrichtung,
      m.sBeenden,
      m.sPlayliste,
      m.sNeu,
      m.sLaden,
      m.sEinstellungen,
      m.sGeraete,
      m.sSprache,
      m.sHilfe,
      m.sInhalt,
      m.sIndex,
      m.sInfo,
      k.sSpeichern,
      k.sStarten,
      k.sLadenDeck,
      k.sRechts,
      k.sLinks,
      k.sZero,
      k.sSchliessen,
      k.sAbbruch,
      k.sOK,
      k.sHilfeKnopf,
      k.sKeyLock,
      l.sSucheInterpret,
      l.sSucheTitel,
      l.sSucheKategorie,
      l.sSucheJahr,
      l.sVolLinks,
      l.sVolRechts,
      c.sScanTitel,
      c.sLaufwerke,
      c.sNetzwerk,
      c.sCDROM,
      c.sWechselmedien,
      c.sScanbedingungen,
      c.sNurCheck,
      c.sNurScan,
      c.sTagsNeuLesen,
      c.sOrdnerWahl,
      c.sScanFortschritt,
      c.sCheckFortschritt,
      s.Editor.sEditorTitel,
      g.sGeraeteTitel,
      g.sSoundkartenmodi,
      g.sModusNurEine,
      g.sModusAuxKopf,
      g.sModusLinksRechts,
      g.sKarteAusgang,
      g.sKarteKopfhoerer,
      g.sKarteLinkerPlayer,
      g.sKarteRechterPlayer,
      sp.sSprachauswahl,
      sp.sSprachen,
      sp.sDeutsch,
      sp.sEnglisch,
      me.sNeustart,
      me.sDateiFehlt,
      me.sSchreibgeschuetzt,
      me.sGleicheGeraete,
      me.sDateiDefekt,
      me.sKeinGeraet,
      me.sKarteStumm,
      co.sInterpret,
      co.sTitel,
      co.sKategorie,
      co.sJahr,
      co.sBeats,
      co.sDateiname,
      d.sDrucksortierung,
      d.sDruckKnopf,
      d.sVorschau,
      d.sUeberschrift,
      d.sSortiertNach,
      v.sGanzeSeite,
      v.sSeitenbreite,
      v.sAlsPdf,
      v.sKeineTitel,
      v.sKeinDrucker,
      s.Playlist.sFehlt,
      s.Tempo.sTempoAnalysieren,
      s.Tempo.sTempoTitel,
      s.Tempo.sKeinTempo,
      s.Tempo.sAllesAnalysiert,
      s.Tempo.sTempoNachScan,
      s.Playlist.sNichtInDatenbank,
      s.Playlist.sNichtAbspielbar,
      s.sTitelVerfuegbar,
      s.Label.sVirtuelleKarte.section(QStringLiteral("– "), 1),
  };
}

QString asShown(QString text) {
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  text.remove(QLatin1Char('&'));
  text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
  return text.simplified();
}

QString helpText(const char* file) {
  const qdl::help::ParseResult r =
      qdl::help::loadHelpFile(QStringLiteral(QDL_HELP_SOURCE_DIR "/") + QLatin1String(file));
  EXPECT_TRUE(r.ok()) << qdl::help::formatErrors(QLatin1String(file), r.errors).toStdString();
  QString all;
  for (const qdl::help::HelpTopic& t : r.document.topics) {
    all += t.title + QLatin1Char('\n') + t.keywords.join(QLatin1Char('\n')) + QLatin1Char('\n');
    for (const qdl::help::HelpLine& line : t.body) all += line.text + QLatin1Char('\n');
  }
  all.remove(QStringLiteral("**"));
  return all.simplified();
}

TEST(HelpTexts, EveryShownTextIsExplainedUnderItsOwnNameInBothLanguages) {
  for (const bool english : {false, true}) {
    TFormSprache s;
    english ? s.FillEnglish() : s.FillGerman();
    const QString help = helpText(english ? "qdl_e.hlp" : "qdl_g.hlp");
    for (const QString& text : shownTexts(s)) {
      const QString name = asShown(text);
      ASSERT_FALSE(name.isEmpty());
      EXPECT_TRUE(help.contains(name, Qt::CaseInsensitive))
          << (english ? "qdl_e.hlp" : "qdl_g.hlp") << " does not name \"" << name.toStdString()
          << "\"";
    }
  }
}

}  // namespace
