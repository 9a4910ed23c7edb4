#include "app/Mainform.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTimer>

#include "app/About.h"
#include "app/ConsoleKeys.h"
#include "app/RecordControl.h"
#include "app/Tastatur.h"
#include "audio/Dsutil.h"
#include "control/Actions.h"
#include "decks/DeckModel.h"
#include "decks/DeckPanel.h"
#include "decks/OverviewLoader.h"
#include "decks/OverviewView.h"
#include "lang/Sprache.h"
#include "library/Analyse.h"
#include "library/Datamod.h"
#include "library/Scan.h"
#include "library/Suche.h"
#include "platform/db/GridBinding.h"
#include "platform/db/Table.h"
#include "platform/db/TableModel.h"
#include "platform/help/Help.h"
#include "platform/help/HelpKey.h"
#include "platform/ini/IniFile.h"
#include "platform/report/Printer.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"
#include "print/Druckausw.h"
#include "settings/Geraete.h"

TFormQuandrel* FormQuandrel = nullptr;

namespace {

constexpr int kClientWidth = 792;
constexpr int kClientHeight = 431;
constexpr int kDeckWidth = qdl::decks::DeckPanel::kWidth;
constexpr int kDeckHeight = qdl::decks::DeckPanel::kHeight;

template <typename W>
W* named(W* widget, const char* name) {
  widget->setObjectName(QLatin1String(name));
  return widget;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
  auto* l = named(new QLabel(text, parent), name);
  l->setGeometry(geometry);
  return l;
}

qdl::ui::SpeedButton* speedButton(QWidget* parent, const char* name, const QString& text,
                                  QRect geometry) {
  auto* b = named(new qdl::ui::SpeedButton(parent), name);
  b->setText(text);
  b->setGeometry(geometry);
  b->setFocusPolicy(Qt::NoFocus);
  return b;
}

qdl::ui::ScrollBar* scrollBar(QWidget* parent, const char* name, Qt::Orientation o, int min,
                              int max, int small, int large, QRect geometry) {
  return named(qdl::ui::ScrollBar::create(parent, o, min, max, small, large, geometry), name);
}

QTimer* timer(QObject* parent, const char* name, int interval) {
  auto* t = named(new QTimer(parent), name);
  t->setInterval(interval);
  t->setTimerType(Qt::PreciseTimer);
  return t;
}

}  // namespace

TFormQuandrel::TFormQuandrel(QWidget* parent)
    : QMainWindow(parent),
      DeckLinks(new qdl::decks::Deck(qdl::decks::Deck::Side::Left, this)),
      DeckRechts(new qdl::decks::Deck(qdl::decks::Deck::Side::Right, this)),
      mixer(new qdl::decks::Mixer(this)),
      actions(new qdl::control::Actions(this)),
      keys(new qdl::app::ConsoleKeys(this, actions)),
      PlayerLinks(DeckLinks->playerField()),
      PlayerRechts(DeckRechts->playerField()),
      TimeModeRechts(DeckRechts->timeModeField()),
      TimeModeLinks(DeckLinks->timeModeField()),
      HeadCueRechts(DeckRechts->headCueField()),
      HeadCueLinks(DeckLinks->headCueField()),
      loadedSongLinks(DeckLinks->songField()),
      loadedSongRechts(DeckRechts->songField()) {
  setObjectName(QStringLiteral("FormQuandrel"));
  setWindowTitle(QStringLiteral("Quandrel (Alpha 2)"));
  setWindowIcon(QIcon(QStringLiteral(":/ICON")));
  auto* client = named(new QWidget(this), "Client");
  client->setFixedSize(kClientWidth, kClientHeight);
  client->setAutoFillBackground(true);
  QPalette pal = client->palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
  client->setPalette(pal);
  setCentralWidget(client);

  buildDeck(true);
  buildDeck(false);
  buildSearchPanel();
  buildMixer();
  buildMenu();

  TimerLinks = timer(this, "TimerLinks", 10);
  TimerRechts = timer(this, "TimerRechts", 10);
  TimerAutoPlay = timer(this, "TimerAutoPlay", 1000);
  bindModels();
  buildRecording();
  buildActions();
  wireDecks();
  wireSearch();
  wirePlaylist();
  wireSync();
  wireKeys();
  wireKeyLock();

  qdl::help::setHelpContext(Panel1, 20);
  qdl::help::setHelpContext(Panel3, 20);
  qdl::help::setHelpContext(Panel4, 60);
  qdl::help::setHelpContext(DBGrid1, 60);
  qdl::help::setHelpContext(Panel2, 70);
  qdl::help::attachHelpKey(this);

  // A fixed single border: the window cannot be resized.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  adjustSize();
}

TFormQuandrel::~TFormQuandrel() { FormClose(); }

void TFormQuandrel::buildDeck(bool left) {
  using qdl::decks::Deck;
  auto* panel =
      new qdl::decks::DeckPanel(left ? Deck::Side::Left : Deck::Side::Right, centralWidget());
  panel->move(left ? 0 : kClientWidth - kDeckWidth, 0);
  (left ? Panel1 : Panel3) = panel;
  (left ? LoadDB_Links : LoadDB_Rechts) = panel->load;
  (left ? PanelInfo_Links : PanelInfo_Rechts) = panel->info;
  (left ? btTime_Links : btTime_Rechts) = panel->timeButton;
  (left ? LabelZeitLinks : LabelZeitRechts) = panel->time;
  (left ? lbPitch_Links : lbPitch_Rechts) = panel->pitchLabel;
  (left ? lbTempo_Links : lbTempo_Rechts) = panel->tempo;
  (left ? sBarSeekLinks : sBarSeekRechts) = panel->seek;
  (left ? SBarPitchLinks : SBarPitchRechts) = panel->pitch;
  (left ? SBtMinusSpeedLinks : SBtMinusSpeedRechts) = panel->minus;
  (left ? SBtPlusSpeedLinks : SBtPlusSpeedRechts) = panel->plus;
  (left ? SpeedZero_Links : SpeedZero_Rechts) = panel->zero;
  (left ? Cue_Links : Cue_Rechts) = panel->cue;
  (left ? Play_Links : Play_Rechts) = panel->play;
  (left ? KeyLock_Links : KeyLock_Rechts) = panel->keyLock;
  (left ? Image1 : Image2) = panel->image;
  (left ? StatusBar_Links : StatusBar_Rechts) = panel->status;
}

// The controls become views of the models before any handler is connected
// to them, so that each handler finds the model already changed.
void TFormQuandrel::bindModels() {
  Panel1->bind(*DeckLinks);
  Panel3->bind(*DeckRechts);
  qdl::decks::bindVolumeBar(*DeckLinks, SBVolume_Links);
  qdl::decks::bindVolumeBar(*DeckRechts, SBVolume_Rechts);
  qdl::decks::bindHeadCueButton(*DeckLinks, SBHeadCueLinks);
  qdl::decks::bindHeadCueButton(*DeckRechts, SBHeadCueRechts);
  qdl::decks::bindMixer(*mixer, sbFader, SBVolume_Head, cbAutoCue, cbAutoPlay);
  const auto songs = [] { return DataModule1 ? DataModule1->Table1 : nullptr; };
  for (auto [deck, panel] : {std::pair(DeckLinks, Panel1), std::pair(DeckRechts, Panel3)})
    qdl::decks::bindOverview(*deck, panel->overview,
                             new qdl::decks::OverviewLoader(*deck, songs, panel->overview));
}

void TFormQuandrel::buildSearchPanel() {
  Panel4 = named(new QFrame(centralWidget()), "Panel4");
  Panel4->setFrameStyle(QFrame::Panel | QFrame::Raised);
  const int width = kClientWidth - 2 * kDeckWidth;
  Panel4->setGeometry(kDeckWidth, 0, width, kDeckHeight);
  int y = 4;
  auto field = [&](QLabel*& lbl, const char* labelName, const QString& text, QLineEdit*& edit,
                   const char* editName) {
    lbl = label(Panel4, labelName, text, QRect(6, y, width - 12, 16));
    edit = named(new QLineEdit(Panel4), editName);
    edit->setGeometry(6, y + 16, width - 12, 22);
    y += 42;
  };
  // Tab order follows creation: artist, title, genre, year.
  field(Label1, "Label1", QStringLiteral("Suche Interpret"), EditArtist, "EditArtist");
  field(Label2, "Label2", QStringLiteral("Suche Titel"), EditSong, "EditSong");
  field(Label4, "Label4", QStringLiteral("Suche Genre"), EditGenre, "EditGenre");
  field(Label5, "Label5", QStringLiteral("Suche Jahr"), EditJahr, "EditJahr");
  StatusBarData = named(new qdl::ui::StatusBar(Panel4), "StatusBarData");
  StatusBarData->setGeometry(2, kDeckHeight - 22, width - 4, 20);
}

void TFormQuandrel::buildMixer() {
  QWidget* c = centralWidget();
  const int top = kDeckHeight;
  const int bottomHeight = kClientHeight - kDeckHeight;

  // Headphone volume, bottom left.
  Label6 = label(c, "Label6", QStringLiteral("Vol. Head"), QRect(2, top + 4, 58, 16));
  SBVolume_Head = scrollBar(c, "SBVolume_Head", Qt::Vertical, 0, 3000, 10, 100,
                            QRect(20, top + 24, 20, bottomHeight - 32));

  auto strip = [&](bool left, int x) {
    auto* panel = new QFrame(c);
    panel->setObjectName(left ? QStringLiteral("PanelMix_Links")
                              : QStringLiteral("PanelMix_Rechts"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setGeometry(x, top, 90, bottomHeight);
    auto* cue = speedButton(panel, left ? "SBHeadCueLinks" : "SBHeadCueRechts", QString(),
                            QRect(8, 6, 24, 24));
    cue->setIconSize(QSize(16, 16));
    cue->setGlyph(QStringLiteral("LED_OFF"));
    auto* head =
        label(panel, left ? "Label8" : "Label9", QStringLiteral("Head"), QRect(36, 10, 48, 16));
    auto* volLabel = label(panel, left ? "Label3" : "Label7",
                           left ? QStringLiteral("Vol. Links") : QStringLiteral("Vol Rechts"),
                           QRect(4, 36, 82, 16));
    auto* vol = scrollBar(panel, left ? "SBVolume_Links" : "SBVolume_Rechts", Qt::Vertical, 0, 3000,
                          10, 100, QRect(35, 56, 20, bottomHeight - 64));
    if (left) {
      PanelMix_Links = panel;
      SBHeadCueLinks = cue;
      Label8 = head;
      Label3 = volLabel;
      SBVolume_Links = vol;
    } else {
      PanelMix_Rechts = panel;
      SBHeadCueRechts = cue;
      Label9 = head;
      Label7 = volLabel;
      SBVolume_Rechts = vol;
    }
  };
  strip(true, 60);
  strip(false, kClientWidth - 90);

  // Song grid in the centre, crossfader panel below it.
  const int gridX = 150;
  const int gridWidth = kClientWidth - 90 - gridX;
  const int faderHeight = 60;
  DBGrid1 = named(new QTableView(c), "DBGrid1");
  DBGrid1->setGeometry(gridX, top, gridWidth, bottomHeight - faderHeight);
  DBGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
  DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
  DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  DBGrid1->setShowGrid(false);
  DBGrid1->verticalHeader()->hide();
  DBGrid1->verticalHeader()->setDefaultSectionSize(18);
  QFont titleFont = DBGrid1->horizontalHeader()->font();
  titleFont.setBold(true);
  DBGrid1->horizontalHeader()->setFont(titleFont);
  DBGrid1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  DBGrid1->horizontalHeader()->setHighlightSections(false);
  DBGrid1->horizontalHeader()->setStretchLastSection(true);

  Panel2 = named(new QFrame(c), "Panel2");
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(gridX, top + bottomHeight - faderHeight, gridWidth, faderHeight);
  FaderLinks = speedButton(Panel2, "FaderLinks", QStringLiteral("Links"), QRect(6, 6, 60, 22));
  sbFader = scrollBar(Panel2, "sbFader", Qt::Horizontal, -3000, 3000, 10, 100,
                      QRect(72, 8, gridWidth - 144, 18));
  FaderRechts = speedButton(Panel2, "FaderRechts", QStringLiteral("Rechts"),
                            QRect(gridWidth - 66, 6, 60, 22));
  sbCrossZero = speedButton(Panel2, "sbCrossZero", QStringLiteral("Zero"),
                            QRect(gridWidth / 2 - 25, 32, 50, 22));
  cbAutoCue = named(new QCheckBox(QStringLiteral("Autocue"), Panel2), "cbAutoCue");
  cbAutoCue->setGeometry(8, 34, 90, 20);
  cbAutoPlay = named(new QCheckBox(QStringLiteral("Autoplay"), Panel2), "cbAutoPlay");
  cbAutoPlay->setGeometry(gridWidth - 98, 34, 90, 20);
}

void TFormQuandrel::buildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu1"));
  auto menu = [&](const char* name, const QString& text) {
    QMenu* m = bar->addMenu(text);
    m->setObjectName(QLatin1String(name));
    return m;
  };
  auto item = [this](QMenu* m, const char* name, const QString& text, void (TFormQuandrel::*f)()) {
    QAction* a = m->addAction(text);
    a->setObjectName(QLatin1String(name));
    connect(a, &QAction::triggered, this, [this, f] { (this->*f)(); });
    return a;
  };
  Datenbank1 = menu("Datenbank1", QStringLiteral("&Datenbank"));
  Scan1 = item(Datenbank1, "Scan1", QStringLiteral("&Check/Scan"), &TFormQuandrel::Scan1Click);
  IDEdit1 =
      item(Datenbank1, "IDEdit1", QStringLiteral("&ID3 Tag Editor"), &TFormQuandrel::IDEdit1Click);
  Analyse1 = item(Datenbank1, "Analyse1", QStringLiteral("&Tempo analysieren"),
                  &TFormQuandrel::Analyse1Click);
  Drucken1 =
      item(Datenbank1, "Drucken1", QStringLiteral("&Drucken"), &TFormQuandrel::Drucken1Click);
  DruckSetup1 = item(Datenbank1, "DruckSetup1", QStringLiteral("Drucker&einrichtung"),
                     &TFormQuandrel::DruckSetup1Click);
  Datenbank1->addSeparator();
  Beenden1 =
      item(Datenbank1, "Beenden1", QStringLiteral("&Beenden"), &TFormQuandrel::Beenden1Click);
  Playliste1 = menu("Playliste1", QStringLiteral("&Playliste"));
  Neu1 = item(Playliste1, "Neu1", QStringLiteral("&Neu"), &TFormQuandrel::Neu1Click);
  Laden1 =
      item(Playliste1, "Laden1", QStringLiteral("&Laden/Importieren"), &TFormQuandrel::Laden1Click);
  Playliste1->addSeparator();
  Aufnahme1 =
      item(Playliste1, "Aufnahme1", QStringLiteral("&Aufnahme"), &TFormQuandrel::Aufnahme1Click);
  Aufnahme1->setCheckable(true);
  Aufnahme1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  Einstellungen1 = menu("Einstellungen1", QStringLiteral("&Einstellungen"));
  Geraete1 =
      item(Einstellungen1, "Geraete1", QStringLiteral("&Geräte"), &TFormQuandrel::Geraete1Click);
  Sprache1 =
      item(Einstellungen1, "Sprache1", QStringLiteral("&Sprache"), &TFormQuandrel::Sprache1Click);
  Tastatur1 = item(Einstellungen1, "Tastatur1", QStringLiteral("&Tastatur"),
                   &TFormQuandrel::Tastatur1Click);
  MidiController1 = item(Einstellungen1, "MidiController1", QStringLiteral("&MIDI-Controller"),
                         &TFormQuandrel::MidiController1Click);
  buildAutoGain();
  Hilfe1 = menu("Hilfe1", QStringLiteral("&Hilfe"));
  Inhalt1 = item(Hilfe1, "Inhalt1", QStringLiteral("&Inhalt"), &TFormQuandrel::Inhalt1Click);
  Index1 = item(Hilfe1, "Index1", QStringLiteral("Inde&x"), &TFormQuandrel::Index1Click);
  Hilfe1->addSeparator();
  Info1 = item(Hilfe1, "Info1", QStringLiteral("In&fo..."), &TFormQuandrel::Info1Click);
}

void TFormQuandrel::setHeadphoneControlsEnabled(bool enabled) {
  for (QWidget* w : std::initializer_list<QWidget*>{SBVolume_Head, SBHeadCueLinks, SBHeadCueRechts,
                                                    Label6, Label8, Label9})
    w->setEnabled(enabled);
}

// ---- Window events ---------------------------------------------------------

void TFormQuandrel::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!shown_) {
    shown_ = true;
    // Centred on the screen.
    if (QScreen* screen = this->screen())
      move(screen->availableGeometry().center() - rect().center());
    FormShow();
  }
}

void TFormQuandrel::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TFormQuandrel::closeEvent(QCloseEvent* event) {
  // One slip of the hand must not silence the room.
  if (!closed_ && !mayClose()) {
    event->ignore();
    return;
  }
  FormClose();
  event->accept();
}

bool TFormQuandrel::mayClose() {
  const MeldungTexte& t = FormSprache->Meldung;
  QStringList reasons;
  const auto sounds = [](const qdl::decks::Deck* deck) {
    return deck->state() == qdl::decks::DeckState::Playing ||
           deck->state() == qdl::decks::DeckState::Seeking;
  };
  if (sounds(DeckLinks) || sounds(DeckRechts)) reasons << t.sPlayerSpielt;
  if (mixer->autoPlay()) reasons << t.sAutoplayLaeuft;
  if (recording && recording->isRecording()) reasons << FormSprache->Aufnahme.sAufnahmeLaeuft;
  if (FormDatenBearbeiten && FormDatenBearbeiten->holdsUnpostedEdit())
    reasons << t.sEditorAenderung;
  if (reasons.isEmpty()) return true;
  return qdl::ui::askYesNo(
      this, reasons.join(QLatin1Char('\n')) + QStringLiteral("\n\n") + t.sTrotzdemBeenden,
      t.sAchtung);
}

void TFormQuandrel::FormShow() {
  // The base folder is the current directory, not the program's folder.
  BaseDir = QDir::currentPath();
  const QDir base(BaseDir);

  // The texts first, so that the windows of a first start (device dialog,
  // check and scan) speak the language the console will speak.
  qdl::ui::guarded(this, [&] { ApplyLanguage(); });

  // First run: choose the sound cards before anything is opened. The
  // settings file the dialog makes keeps the language the first start took
  // from the system.
  const bool newSettings = !QFileInfo::exists(base.filePath(QStringLiteral("qdl.ini")));
  if (newSettings) {
    qdl::ui::dialogs().execDialog(DlgGeraete);
    qdl::ui::guarded(this, [] {
      qdl::IniFile settings = qdl::openSettings();
      qdl::lang::storeSystemLanguageIfMissing(settings);
    });
  }

  if (!QFileInfo(base.filePath(QStringLiteral("Playlist"))).isDir())
    base.mkdir(QStringLiteral("Playlist"));

  qdl::db::Table* table = DataModule1->Table1;
  // Each step below runs on even when an earlier one failed: a damaged song
  // table must not leave the decks without sound devices or texts.
  // The song count follows every check and scan.
  connect(FormScan, &TFormScan::workDone, this, &TFormQuandrel::ShowSongCount,
          Qt::UniqueConnection);
  // A deck shows the tempo of its song as the analysis or the editor stores it.
  connect(table, &qdl::db::Table::recordChanged, this, &TFormQuandrel::RefreshDeckTempos,
          Qt::UniqueConnection);
  connect(table, &qdl::db::Table::tableReset, this, &TFormQuandrel::RefreshDeckTempos,
          Qt::UniqueConnection);
  // A library created now (the first start) is offered a scan before it opens.
  qdl::ui::guarded(this, [&] {
    DataModule1->OpenSongTable(BaseDir, qdl::library::MissingLibrary::Create,
                               {QString(), QStringLiteral("Interpret")},
                               [] { qdl::ui::dialogs().execDialog(FormScan); });
  });
  bindSongGrid();
  qdl::ui::guarded(this, [&] { OpenSoundDevices(); });

  for (qdl::decks::Deck* deck : {DeckLinks, DeckRechts}) {
    deck->deletePlayer();
    deck->setTimeMode(1);
    deck->setHeadCue(0);
  }
  SBHeadCueLinks->setGlyph(QStringLiteral("LED_OFF"));
  SBHeadCueRechts->setGlyph(QStringLiteral("LED_OFF"));

  qdl::ui::guarded(this, [&] { ApplyLanguage(); });
  // Auto-gain starts on for a settings file this start made; a first start
  // cancelled in the device dialog made none and stays new.
  ReadAutoGain(newSettings && QFileInfo::exists(base.filePath(QStringLiteral("qdl.ini"))));
  ReadKeyMap();
  readKeyLock();
  startControllers();
}

void TFormQuandrel::wireKeys() {
  keys->setMap(qdl::control::KeyMap::defaults());
  keys->setEscape({EditArtist, EditSong, EditGenre, EditJahr}, DBGrid1);
  // Over the foot of the song grid, above everything, hidden until told.
  Notice = named(new QLabel(centralWidget()), "Notice");
  const QRect grid = DBGrid1->geometry();
  Notice->setGeometry(grid.left(), grid.bottom() - 21, grid.width(), 22);
  Notice->setAutoFillBackground(true);
  QPalette pal = Notice->palette();
  pal.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xE1));
  pal.setColor(QPalette::WindowText, Qt::black);
  Notice->setPalette(pal);
  Notice->setFrameShape(QFrame::Box);
  Notice->setIndent(4);
  Notice->hide();
  NoticeTimer = timer(this, "NoticeTimer", 4000);
  NoticeTimer->setSingleShot(true);
  connect(NoticeTimer, &QTimer::timeout, Notice, &QWidget::hide);
  // A refusal from the window's buttons is told in their box; one from a
  // key or a controller here.
  connect(actions, &qdl::control::Actions::refused, this,
          [this](const QString&, const QString& why) {
            if (!toldInBox_) ShowNotice(why);
          });
}

void TFormQuandrel::ShowNotice(const QString& text) {
  Notice->setText(Notice->fontMetrics().elidedText(text.simplified(), Qt::ElideRight,
                                                   Notice->contentsRect().width() - 8));
  Notice->setToolTip(text);
  Notice->show();
  Notice->raise();
  NoticeTimer->start();
}

void TFormQuandrel::ReadKeyMap() {
  keyProblems_.clear();
  QString file =
      QDir(BaseDir.isEmpty() ? QDir::currentPath() : BaseDir).filePath(QStringLiteral("qdl.ini"));
  const qdl::IniFile settings(file);
  keys->setMap(qdl::control::KeyMap::read(settings, *actions, &keyProblems_));
  if (keyProblems_.isEmpty()) {
    keyProblemsTold_.clear();
    return;
  }
  QStringList lines;
  for (const qdl::control::KeyProblem& p : keyProblems_) lines << keyProblemText(p, file);
  const QString told = lines.join(QLatin1Char('\n'));
  if (told == keyProblemsTold_) return;
  keyProblemsTold_ = told;
  ShowNotice(lines.size() == 1 ? lines.first()
                               : lines.first() + QStringLiteral(" (+%1)").arg(lines.size() - 1));
}

void TFormQuandrel::Tastatur1Click() {
  if (!FormTastatur) FormTastatur = new TFormTastatur(this);
  const QString file =
      QDir(BaseDir.isEmpty() ? QDir::currentPath() : BaseDir).filePath(QStringLiteral("qdl.ini"));
  FormTastatur->showMap(keys->map(), keyProblems_, file);
  FormTastatur->show();
  FormTastatur->raise();
}

void TFormQuandrel::bindSongGrid() {
  if (DBGrid1->model()) return;
  // Beats last, so a DJ finds a song of matching tempo.
  auto* model = new qdl::db::TableModel(
      DataModule1->Table1,
      {QStringLiteral("Interpret"), QStringLiteral("Titel"), QStringLiteral("Genre"),
       QStringLiteral("Jahr"), QStringLiteral("Beats")},
      DBGrid1);
  new qdl::db::GridBinding(DBGrid1, model);
  const int widths[] = {179, 185, 59, 32, 40};
  for (int i = 0; i < 5; ++i) DBGrid1->setColumnWidth(i, widths[i]);
}

void TFormQuandrel::FormActivate() { ShowSongCount(); }

void TFormQuandrel::ShowSongCount() {
  const qdl::db::Table* table = DataModule1 ? DataModule1->Table1 : nullptr;
  const int count = table && table->isOpen() ? table->recordCount() : 0;
  StatusBarData->setSimpleText(FormSprache->songCountText(count));
}

void TFormQuandrel::FormClose() {
  if (closed_) return;
  closed_ = true;
  TimerLinks->stop();
  TimerRechts->stop();
  TimerAutoPlay->stop();
  stopControllers();
  // The tag editor goes with the console; its change was given up when the
  // close was confirmed, and it must not outlive the song table it shows.
  if (FormDatenBearbeiten && FormDatenBearbeiten->isVisible())
    FormDatenBearbeiten->discardAndClose();
  // A tempo analysis stops before the song table goes.
  if (FormAnalyse) FormAnalyse->Stop();
  // The players go first: their buffers live on the devices.
  DeckLinks->deletePlayer();
  DeckRechts->deletePlayer();
  CloseSoundDevices();
}

// ---- Menu -----------------------------------------------------------------

void TFormQuandrel::Scan1Click() {
  FormScan->show();
  FormScan->raise();
  ShowSongCount();
}

void TFormQuandrel::IDEdit1Click() {
  const qdl::db::Table* table = DataModule1->Table1;
  if (table->isOpen() && table->isReadOnly()) {
    qdl::ui::showMessage(this, FormSprache->Bibliothek.sBibliothekSchreibgeschuetzt,
                         FormSprache->Meldung.sAchtung);
    return;
  }
  qdl::ui::dialogs().execDialog(FormDatenBearbeiten);
  ShowSongCount();
}

void TFormQuandrel::Analyse1Click() {
  if (FormAnalyse) FormAnalyse->Start();
}

void TFormQuandrel::Drucken1Click() { qdl::ui::dialogs().execDialog(FormDruckauswahl); }

// The printer set-up (PrinterSetupDialog1): the printer that prints of the
// song list go to, for the rest of the run.
void TFormQuandrel::DruckSetup1Click() {
  QString caption = FormSprache->Menue.sDruckereinrichtung;
  caption.remove(QLatin1Char('&'));
  qdl::ui::dialogs().printerSetup(this, qdl::report::selectedPrinter(), caption,
                                  FormSprache->Knopf.sOK);
}

void TFormQuandrel::Beenden1Click() { close(); }

void TFormQuandrel::Geraete1Click() {
  // The output buffer takes effect at once; the mode and the cards at the
  // next start.
  if (qdl::ui::dialogs().execDialog(DlgGeraete) == QDialog::Accepted && DlgGeraete->restartNeeded())
    qdl::ui::showMessage(this, FormSprache->Meldung.sNeustart, FormSprache->Meldung.sAchtung);
}

void TFormQuandrel::Sprache1Click() {
  qdl::ui::dialogs().execDialog(FormSprache);
  // A broken language setting is reported; the texts stay as they are.
  qdl::ui::guarded(this, [&] { ApplyLanguage(); });
}

void TFormQuandrel::Inhalt1Click() { qdl::help::showContents(qdl::help::helpFileOf(this)); }

void TFormQuandrel::Index1Click() { qdl::help::showIndex(qdl::help::helpFileOf(this)); }

void TFormQuandrel::Info1Click() { qdl::ui::dialogs().execDialog(AboutBox); }
