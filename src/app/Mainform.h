#pragma once
// The console window: two decks, the search panel, the song grid, the mixer
// strips, the crossfader panel and the main menu.
//
// This header is the table of contents of the main window. Its behaviour is
// split by subsystem: Mainform.cpp builds the window and runs first show,
// activation, closing, help and about; MainformLanguage.cpp applies the
// language; MainformDevices.cpp opens and closes the sound devices.
//
// Units: positions, lengths and cue points in hundredths of a second; volumes
// in hundredths of a decibel; pitch in tenths of a percent.

#include <QHash>
#include <QMainWindow>
#include <QSet>
#include <QString>

#include "control/KeyMap.h"
#include "decks/DeckPanel.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class QFrame;
class TSoundDevice;
class TStreamPlayer;

namespace qdl::control {
class Actions;
}
namespace qdl::app {
class ConsoleKeys;
class RecordControl;
}  // namespace qdl::app
class TFormTastatur;
namespace qdl::controllers {
class Controllers;
class ControllerWindow;
}  // namespace qdl::controllers
namespace qdl::decks {
class Deck;
class Mixer;
struct DeckRefs;
struct Shared;
}  // namespace qdl::decks

namespace qdl::ui {
enum class ScrollCode;
class ClickPanel;
class ScrollBar;
class SpeedButton;
class StatusBar;
}  // namespace qdl::ui

class TFormQuandrel : public QMainWindow {
  Q_OBJECT
 public:
  explicit TFormQuandrel(QWidget* parent = nullptr);
  ~TFormQuandrel() override;

  // ---- Models (owned): each deck, and the controls both decks share. The
  // deck controls below are their views (qdl::decks::DeckPanel).
  qdl::decks::Deck* const DeckLinks;
  qdl::decks::Deck* const DeckRechts;
  qdl::decks::Mixer* const mixer;
  // The named actions (src/control) the mouse handlers below run; keys and
  // controllers run the same.
  qdl::control::Actions* const actions;
  // The keyboard: runs the keyboard map's actions for keys pressed in this
  // window (ConsoleKeys.h); its map is read from qdl.ini at the first show.
  qdl::app::ConsoleKeys* const keys;
  // The MIDI controllers (src/controllers), started at the first show with
  // the Controller folder beside qdl.ini; nullptr before.
  qdl::controllers::Controllers* controllers = nullptr;
  qdl::controllers::ControllerWindow* controllerWindow = nullptr;
  // Recording the set (MainformRecord.cpp, app/RecordControl.h).
  qdl::app::RecordControl* recording = nullptr;

  // ---- Left deck panel
  qdl::decks::DeckPanel* Panel1;
  QPushButton* LoadDB_Links;
  QFrame* PanelInfo_Links;
  QPushButton* btTime_Links;
  QLabel* LabelZeitLinks;
  QLabel* lbPitch_Links;
  QLabel* lbTempo_Links;  // the playing tempo, empty without Beats
  qdl::ui::ScrollBar* sBarSeekLinks;
  qdl::ui::ScrollBar* SBarPitchLinks;
  qdl::ui::SpeedButton* SBtMinusSpeedLinks;
  qdl::ui::SpeedButton* SBtPlusSpeedLinks;
  qdl::ui::SpeedButton* SpeedZero_Links;
  qdl::ui::ClickPanel* Cue_Links;
  qdl::ui::ClickPanel* Play_Links;
  QPushButton* KeyLock_Links;
  QLabel* Image1;
  qdl::ui::StatusBar* StatusBar_Links;

  // ---- Right deck panel
  qdl::decks::DeckPanel* Panel3;
  QPushButton* LoadDB_Rechts;
  QFrame* PanelInfo_Rechts;
  QPushButton* btTime_Rechts;
  QLabel* LabelZeitRechts;
  QLabel* lbPitch_Rechts;
  QLabel* lbTempo_Rechts;
  qdl::ui::ScrollBar* sBarSeekRechts;
  qdl::ui::ScrollBar* SBarPitchRechts;
  qdl::ui::SpeedButton* SBtMinusSpeedRechts;
  qdl::ui::SpeedButton* SBtPlusSpeedRechts;
  qdl::ui::SpeedButton* SpeedZero_Rechts;
  qdl::ui::ClickPanel* Cue_Rechts;
  qdl::ui::ClickPanel* Play_Rechts;
  QPushButton* KeyLock_Rechts;
  QLabel* Image2;
  qdl::ui::StatusBar* StatusBar_Rechts;

  // ---- Search panel
  QFrame* Panel4;
  QLabel* Label1;
  QLineEdit* EditArtist;
  QLabel* Label2;
  QLineEdit* EditSong;
  QLabel* Label4;
  QLineEdit* EditGenre;
  QLabel* Label5;
  QLineEdit* EditJahr;
  qdl::ui::StatusBar* StatusBarData;

  // ---- Song grid
  QTableView* DBGrid1;

  // ---- Mixer strips
  QFrame* PanelMix_Links;
  qdl::ui::SpeedButton* SBHeadCueLinks;
  QLabel* Label8;
  qdl::ui::ScrollBar* SBVolume_Links;
  QLabel* Label3;
  QFrame* PanelMix_Rechts;
  qdl::ui::SpeedButton* SBHeadCueRechts;
  QLabel* Label9;
  qdl::ui::ScrollBar* SBVolume_Rechts;
  QLabel* Label7;

  // ---- Crossfader panel
  QFrame* Panel2;
  qdl::ui::SpeedButton* FaderLinks;
  qdl::ui::ScrollBar* sbFader;
  qdl::ui::SpeedButton* FaderRechts;
  qdl::ui::SpeedButton* sbCrossZero;
  QCheckBox* cbAutoCue;
  QCheckBox* cbAutoPlay;

  // ---- Bottom left
  qdl::ui::ScrollBar* SBVolume_Head;
  QLabel* Label6;

  // ---- Menu
  QMenu* Datenbank1;
  QAction* Scan1;
  QAction* IDEdit1;
  QAction* Analyse1;
  QAction* Drucken1;
  QAction* DruckSetup1;
  QAction* Beenden1;
  QMenu* Playliste1;
  QAction* Neu1;
  QAction* Laden1;
  QAction* Aufnahme1;  // ticked while recording; Ctrl+R
  QAction* AutoplayBeat1;  // the tick of autoplay on the beat
  QMenu* Einstellungen1;
  QAction* Geraete1;
  QAction* Sprache1;
  QAction* Tastatur1;
  QAction* MidiController1;
  QAction* AutoGain1;  // auto-gain on or off (a tick)
  QMenu* Hilfe1;
  QAction* Inhalt1;
  QAction* Index1;
  QAction* Info1;

  // ---- Timers
  QTimer* TimerLinks;
  QTimer* TimerRechts;
  QTimer* TimerAutoPlay;

  // ---- State (owned: the devices and the players)
  TSoundDevice* RightMain = nullptr;
  TSoundDevice* RightHead = nullptr;
  TSoundDevice* LeftMain = nullptr;
  TSoundDevice* LeftHead = nullptr;
  // The deck fields by their names, read-only: the decks hold them.
  TStreamPlayer* const& PlayerLinks;
  TStreamPlayer* const& PlayerRechts;
  const int& TimeModeRechts;  // 1 elapsed, 0 remaining
  const int& TimeModeLinks;
  QString BaseDir;           // folder of qdl.ini, Data and Playlist; empty until first show
  const int& HeadCueRechts;  // 1 on, 0 off
  const int& HeadCueLinks;
  const qint64& loadedSongLinks;  // Index of the record a deck was loaded from; -1 none
  const qint64& loadedSongRechts;
  QHash<qint64, int> unstoredCues_;  // cue points the library could not store, by Index
  bool readOnlyTold_ = false;        // the read-only library was mentioned at a cue press

  // ---- Window events
  void FormShow();
  void FormActivate();
  void FormClose();

  // ---- Menu handlers
  void Scan1Click();
  void IDEdit1Click();
  void Analyse1Click();
  void Drucken1Click();
  void DruckSetup1Click();
  void Beenden1Click();
  void Neu1Click();
  void Laden1Click();
  void Aufnahme1Click();  // runs record.toggle
  void Geraete1Click();
  void Sprache1Click();
  void Tastatur1Click();  // the keyboard window
  // Auto-gain (MainformAutoGain.cpp): the menu item, [AutoGain] in qdl.ini
  // (on for a settings file made by this start), the decks' gains.
  void ReadAutoGain(bool newSettings);
  void AutoGain1Click();
  void AutoGainChanged();
  // Opens the learn window of the MIDI controllers (MainformControllers.cpp).
  void MidiController1Click();
  void Inhalt1Click();
  void Index1Click();
  void Info1Click();

  // ---- Deck handlers (MainformDecks.cpp): each is one call into the deck
  // code of src/decks with the deck's controls and fields.
  void LoadDB_LinksClick();
  void LoadDB_RechtsClick();
  void Cue_LinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void Cue_RechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void Play_LinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void Play_RechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void sBarSeekLinksScroll(qdl::ui::ScrollCode code);
  void sBarSeekRechtsScroll(qdl::ui::ScrollCode code);
  void sBarSeekLinksChange();
  void sBarSeekRechtsChange();
  void btTime_LinksClick();
  void btTime_RechtsClick();
  void TimerLinksTimer();
  void TimerRechtsTimer();
  // Reads Beats of the records the decks were loaded from again and shows
  // their tempos; run whenever the song table changes.
  void RefreshDeckTempos();

  // ---- Pitch
  void SBarPitchLinksChange();
  void SBarPitchRechtsChange();
  void SBtPlusSpeedLinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBtPlusSpeedLinksMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void SBtMinusSpeedLinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBtMinusSpeedLinksMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void SBtPlusSpeedRechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBtPlusSpeedRechtsMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void SBtMinusSpeedRechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBtMinusSpeedRechtsMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void SpeedZero_LinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void Speedzero_RechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);

  // ---- Mixer and headphone cue
  void SBVolume_LinksChange();
  void SBVolume_RechtsChange();
  void sbFaderChange();
  void FaderLinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void FaderLinksMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void FaderRechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void FaderRechtsMouseUp(Qt::MouseButton button = Qt::LeftButton);
  void sbCrossZeroClick();
  void SBHeadCueLinksMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBHeadCueRechtsMouseDown(Qt::MouseButton button = Qt::LeftButton);
  void SBVolume_HeadChange();

  // Enter in a search box or the grid, or a double-click in the grid: the
  // current song goes to the playlist when its window is open, else to both
  // idle decks.
  void ChooseCurrentSong();

  // ---- Search boxes and song grid (MainformSearch.cpp). Entering a box makes
  // its index active; each change of its text searches that index; carriage
  // return (13) in a box or the grid, and a double-click in the grid, choose
  // the current song.
  void EditArtistEnter();
  void EditSongEnter();
  void EditGenreEnter();
  void EditJahrEnter();
  void EditArtistChange();
  void EditSongChange();
  void EditGenreChange();
  void EditJahrChange();
  void EditArtistKeyPress(QChar key);
  void EditSongKeyPress(QChar key);
  void EditGenreKeyPress(QChar key);
  void EditJahrKeyPress(QChar key);
  void DBGrid1KeyPress(QChar key);
  void DBGrid1DblClick();
  void wireSearch();  // connects the handlers above; run by the constructor

  // ---- Playlist menu and autoplay (MainformPlaylist.cpp). The autoplay
  // timer runs exactly while "Autoplay" is ticked; each tick hands over to
  // the other deck when the playing song is near its end.
  void cbAutoPlayClick();
  void TimerAutoPlayTimer();
  void wirePlaylist();  // connects the two above; run by the constructor

  // Reads the language setting, fills the string table and sets the texts of
  // all windows. A setting that is not valid keeps the texts the table has
  // (German at the start) and is told once with how to repair it.
  void ApplyLanguage();

  // Opens the sound devices the settings file names into the four slots and
  // enables or disables the headphone controls.
  void OpenSoundDevices();
  // Deletes each distinct device of the four slots once and empties them.
  void CloseSoundDevices();

  // Reads the keyboard map from qdl.ini ([Keys]) and tells the entries it
  // leaves out once, without a box.
  void ReadKeyMap();
  // Shows a text for a few seconds over the foot of the song grid, without
  // a box and without moving anything: the reason an action run by a key or
  // a controller was refused.
  void ShowNotice(const QString& text);
  QLabel* Notice;                         // hidden while there is nothing to tell
  QTimer* NoticeTimer;                    // hides it
  TFormTastatur* FormTastatur = nullptr;  // made at its first show

  // The song count text: the number of songs followed by its suffix.
  void ShowSongCount();

  // Whether the first show has run.
  bool firstShowDone() const { return shown_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildDeck(bool left);
  void bindModels();
  void buildActions();      // MainformActions.cpp
  void buildRecording();    // MainformRecord.cpp
  void startControllers();  // MainformControllers.cpp
  void stopControllers();
  // The search box whose index orders the grid now (the artist box for any
  // other order).
  QLineEdit* searchBoxOfOrder() const;
  // Runs an action for the window's mouse handlers: a refusal is told in a
  // message box, as the console always told them.
  void runPress(const char* name);
  void runRelease(const char* name);
  void buildSearchPanel();
  void buildMixer();
  void buildMenu();
  void setHeadphoneControlsEnabled(bool enabled);
  // Asks before the console closes while a deck plays, autoplay is on or
  // the tag editor holds an unposted change; true when it may close.
  bool mayClose();
  void wireDecks();
  // The Sync buttons and the tick of autoplay on the beat, whose setting
  // it reads from qdl.ini (MainformSync.cpp); run by the constructor.
  void wireSync();
  void wireKeys();  // the keyboard and the notice; run by the constructor
  // Key lock (MainformKeyLock.cpp): the buttons run the actions; the
  // setting of each deck is read from qdl.ini at the show and stored there
  // at each change.
  void wireKeyLock();
  void readKeyLock();
  void storeKeyLock(const qdl::decks::Deck& deck);
  void bindSongGrid();
  qdl::decks::DeckRefs deckLinks();
  qdl::decks::DeckRefs deckRechts();
  qdl::decks::Shared shared();
  void buildAutoGain();  // MainformAutoGain.cpp

  bool shown_ = false;
  bool closed_ = false;
  bool toldInBox_ = false;  // a mouse handler runs an action and tells its refusal itself
  QList<qdl::control::KeyProblem> keyProblems_;
  QString keyProblemsTold_;          // the problems of [Keys] told last
  QSet<QString> lostCards_;          // sound cards already reported as stopped
  QString reportedLanguageProblem_;  // the language setting's fault last told
  QString autoplayTold_;             // the file and problem autoplay told last
};

extern TFormQuandrel* FormQuandrel;
