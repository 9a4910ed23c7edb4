#pragma once
// The language window and the user-interface string table.
//
// TFormSprache owns the one string table of the program: the records of
// texts (Lang.h) and two single texts. All entries are empty until the main
// window fills them (FillGerman or FillEnglish, chosen by "Sprache"/"Mode" in
// qdl.ini) and copies them onto every window. Other windows read entries by
// name at the moment they show them and keep no copies.
//
// As a dialog the window lets the user pick the language: it selects the
// stored language when shown (German for a value that is not valid), writes
// the chosen index on OK and writes nothing on Cancel. The caller re-applies
// the language after it closes. Everything runs on the user-interface thread.

#include <QDialog>
#include <QString>
#include <optional>

#include "lang/Lang.h"
#include "platform/ini/IniFile.h"

class QPushButton;

namespace qdl::ui {
class RadioGroup;
}

namespace qdl::lang {

// The language setting, "Sprache"/"Mode" of the settings file: "0" German,
// "1" English; a missing key reads as "0", a missing file as the system's
// language (systemLanguage), so that a first start speaks the user's
// language.
struct LanguageSetting {
  int index = 0;      // 0 German, 1 English; 0 for a value that is not valid
  bool valid = true;  // false for another number or a text that is no number
  QString text;       // the value as it stands in the file
};

// Reads the setting; a file that exists but cannot be read throws
// qdl::IniFileError.
LanguageSetting readLanguageSetting(const qdl::IniFile& settings);

// The language a locale name such as "de_DE.UTF-8" asks for: 0 German for
// "de" and "de_*", 1 English for any other language; 0 (the console's own
// default) for a locale that names no language ("C", "C.UTF-8", "POSIX",
// empty).
int languageOfLocale(const QString& locale);

// The language of the locale of the user's messages: the first of LC_ALL,
// LC_MESSAGES and LANG that is set, as the C library chooses it.
int systemLanguage();

// Writes the system's language into a settings file that exists and has no
// "Sprache"/"Mode" yet (the file the first start's device dialog made);
// true when it wrote. A file that cannot be written throws qdl::IniFileError.
bool storeSystemLanguageIfMissing(qdl::IniFile& settings);

}  // namespace qdl::lang

class TFormSprache : public QDialog {
  Q_OBJECT
 public:
  // Help context number of the window and all its controls.
  static constexpr int kHelpContext = 90;

  explicit TFormSprache(QWidget* parent = nullptr);
  ~TFormSprache() override;

  // The string table; every entry is empty until the first fill.
  MenueTexte Menue;
  KnopfTexte Knopf;
  LabelTexte Label;
  ScanTexte Scan;
  EditorTexte Editor;
  PlaylistTexte Playlist;
  GeraeteTexte Geraete;
  SprachTexte Sprach;
  InfoTexte Info;
  MeldungTexte Meldung;
  SpaltenTexte Spalten;
  DruckTexte Druck;
  VorschauTexte Vorschau;
  BibliothekTexte Bibliothek;
  TempoTexte Tempo;
  SyncTexte Sync;
  TastaturTexte Tastatur;
  ControllerTexte Controller;
  AufnahmeTexte Aufnahme;
  QString sTitelVerfuegbar;  // suffix of the song count, with its leading blank
  QString sHilfeDatei;       // help file name of the windows, without a folder

  // Write the German or the English text into every entry of the table.
  void FillGerman();
  void FillEnglish();

  // The text set the table was last filled with.
  enum class Language { None, German, English };
  Language language() const { return language_; }

  // The song count as the status texts show it: the decimal count directly
  // followed by sTitelVerfuegbar (which brings its own leading blank).
  QString songCountText(int count) const;

  // Controls; object names equal the member names.
  qdl::ui::RadioGroup* rgSprache;
  QPushButton* btOK;
  QPushButton* btCancel;
  QPushButton* btHelp;

  // Handlers.
  // Opens qdl.ini in the current directory, holds it until the window closes
  // and selects the stored language ("Sprache"/"Mode", default 0). A value
  // that is not valid (another number, or no number) selects German; a file
  // that cannot be read keeps the selection and goes to the error display.
  void FormShow();
  // Writes the selected index ("-1" when none) and closes with result OK. A
  // refused write goes to the error display and the window stays open.
  void btOKClick();
  // Closes with result Cancel; the settings file is not written.
  void btCancelClick();
  // Lets go of the settings file opened by FormShow.
  void FormClose();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void centreOnScreen();

  std::optional<qdl::IniFile> settings_;
  Language language_ = Language::None;
};

// The program's one language window; nullptr until the program creates it.
extern TFormSprache* FormSprache;
