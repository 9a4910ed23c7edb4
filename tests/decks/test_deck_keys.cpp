// The console's keys end to end in the real window on the virtual cards:
// key events as X11 delivers them on a US and a German layout (scan code,
// key code and text), and as a platform without scan codes delivers them.
// The focus rules, held keys, repeats, Esc in a search box, the settings
// file's [Keys] and the keyboard window.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>

#include "app/ConsoleKeys.h"
#include "app/Tastatur.h"
#include "control/Actions.h"
#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "lang/Sprache.h"
#include "platform/ui/Controls.h"

namespace {

using qdl::test::Console;
using qdl::test::fixture;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz

// A key as a layout gives it: the place (X11 key code), Qt's key code and
// the text.
struct Key {
  quint32 scan;
  int qtKey;
  const char16_t* text;
};

enum class Layout { Us, German, NoScanCodes };
const char* layoutName(Layout l) {
  return l == Layout::Us ? "US" : l == Layout::German ? "German" : "no scan codes";
}

// The keys of the default map on the three kinds of keyboard.
struct MapKey {
  const char* action;
  Key us;
  Key german;
};
const MapKey kMapKeys[] = {
    {"links.play", {39, Qt::Key_S, u"s"}, {39, Qt::Key_S, u"s"}},
    {"rechts.play", {46, Qt::Key_L, u"l"}, {46, Qt::Key_L, u"l"}},
    {"links.cue", {38, Qt::Key_A, u"a"}, {38, Qt::Key_A, u"a"}},
    {"rechts.cue", {47, Qt::Key_Semicolon, u";"}, {47, Qt::Key_Odiaeresis, u"ö"}},
    {"links.load", {24, Qt::Key_Q, u"q"}, {24, Qt::Key_Q, u"q"}},
    {"rechts.load", {33, Qt::Key_P, u"p"}, {33, Qt::Key_P, u"p"}},
    {"links.pitch.down", {40, Qt::Key_D, u"d"}, {40, Qt::Key_D, u"d"}},
    {"links.pitch.up", {41, Qt::Key_F, u"f"}, {41, Qt::Key_F, u"f"}},
    {"rechts.pitch.down", {44, Qt::Key_J, u"j"}, {44, Qt::Key_J, u"j"}},
    {"rechts.pitch.up", {45, Qt::Key_K, u"k"}, {45, Qt::Key_K, u"k"}},
    {"links.headcue", {25, Qt::Key_W, u"w"}, {25, Qt::Key_W, u"w"}},
    {"rechts.headcue", {32, Qt::Key_O, u"o"}, {32, Qt::Key_O, u"o"}},
    {"mixer.crossfader.step.links", {42, Qt::Key_G, u"g"}, {42, Qt::Key_G, u"g"}},
    {"mixer.crossfader.step.rechts", {43, Qt::Key_H, u"h"}, {43, Qt::Key_H, u"h"}},
    {"mixer.crossfader.zero", {56, Qt::Key_B, u"b"}, {56, Qt::Key_B, u"b"}},
    {"rechts.pitch.step.up", {59, Qt::Key_Comma, u","}, {59, Qt::Key_Comma, u","}},
    {"search.focus", {69, Qt::Key_F3, u""}, {69, Qt::Key_F3, u""}},
};

Key keyOn(const MapKey& k, Layout l) {
  if (l == Layout::Us) return k.us;
  if (l == Layout::German) return k.german;
  Key bare = k.german;  // a German keyboard on a platform without scan codes
  bare.scan = 0;
  return bare;
}

QWidget* target() {
  QWidget* w = QApplication::focusWidget();
  return w ? w : FormQuandrel;
}

void send(QEvent::Type type, const Key& k, bool repeat = false,
          Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(type, k.qtKey, mods, k.scan, 0, 0, QString::fromUtf16(k.text), repeat);
  QApplication::sendEvent(target(), &e);
}
void press(const Key& k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  send(QEvent::KeyPress, k, false, mods);
}
void release(const Key& k) { send(QEvent::KeyRelease, k); }
void click(const Key& k) {
  press(k);
  release(k);
}
// A held key's repeat as X11 sends it: release and press, both marked.
void repeat(const Key& k) {
  send(QEvent::KeyRelease, k, true);
  send(QEvent::KeyPress, k, true);
}

const Key kS{39, Qt::Key_S, u"s"};
const Key kD{40, Qt::Key_D, u"d"};
const Key kG{42, Qt::Key_G, u"g"};
const Key kW{25, Qt::Key_W, u"w"};
const Key kEsc{9, Qt::Key_Escape, u"\x1b"};
const Key kSpace{65, Qt::Key_Space, u" "};

// A console with the window active and the song grid holding the focus.
struct KeyConsole : Console {
  KeyConsole() : Console(1) { activate(); }
  // Adds these lines to qdl.ini and reads the map again, as a start does.
  void addSettings(const QByteArray& lines) {
    QFile ini(cwd.file("qdl.ini"));
    ASSERT_TRUE(ini.open(QIODevice::Append));
    ini.write(lines);
    ini.close();
    f->ReadKeyMap();
  }
  void activate() {
    f->activateWindow();
    QApplication::setActiveWindow(f);
    f->DBGrid1->setFocus();
  }
  void loadBoth() {
    addSong(fixture(kTen), "A", "T");
    f->LoadDB_LinksClick();
    f->LoadDB_RechtsClick();
  }
};

// Every key of the default map runs its action on each layout, pressed and
// released as a hand does.
TEST(DeckKeys, TheDefaultMapRunsTheSameActionsOnUsAndGermanLayouts) {
  for (const Layout layout : {Layout::Us, Layout::German, Layout::NoScanCodes}) {
    SCOPED_TRACE(layoutName(layout));
    Console c(1);
    c.f->activateWindow();
    QApplication::setActiveWindow(c.f);
    c.f->DBGrid1->setFocus();
    QStringList ran;
    QObject::connect(c.f->actions, &qdl::control::Actions::refused, c.f,
                     [](const QString& name, const QString& why) {
                       ADD_FAILURE() << name.toStdString() << ": " << why.toStdString();
                     });
    for (const MapKey& k : kMapKeys) {
      SCOPED_TRACE(k.action);
      EXPECT_EQ(c.f->keys->map().actionOf(
                    qdl::control::keyPlace(keyOn(k, layout).scan, keyOn(k, layout).qtKey)),
                QLatin1String(k.action));
    }
    // What the keys do to the console.
    c.addSong(fixture(kTen), "A", "T");
    const auto key = [layout](const char* action) {
      for (const MapKey& k : kMapKeys)
        if (qstrcmp(k.action, action) == 0) return keyOn(k, layout);
      ADD_FAILURE() << action;
      return Key{};
    };
    click(key("links.load"));
    click(key("rechts.load"));
    EXPECT_EQ(c.leftState(), "loaded");
    EXPECT_EQ(c.rightState(), "loaded");
    click(key("links.play"));
    click(key("rechts.play"));
    EXPECT_EQ(c.leftState(), "playing");
    EXPECT_EQ(c.rightState(), "playing");
    c.run(100);
    click(key("rechts.cue"));
    EXPECT_EQ(c.rightState(), "cued");
    click(key("links.cue"));
    EXPECT_EQ(c.leftState(), "cued");
    click(key("links.headcue"));
    EXPECT_EQ(c.f->HeadCueLinks, 1);
    click(key("rechts.headcue"));
    EXPECT_EQ(c.f->HeadCueRechts, 1);
    click(key("mixer.crossfader.step.rechts"));
    EXPECT_EQ(c.f->sbFader->value(), 100);
    click(key("mixer.crossfader.step.links"));
    click(key("mixer.crossfader.step.links"));
    EXPECT_EQ(c.f->sbFader->value(), -100);
    click(key("mixer.crossfader.zero"));
    EXPECT_EQ(c.f->sbFader->value(), 0);
    click(key("rechts.pitch.step.up"));
    EXPECT_EQ(c.f->SBarPitchRechts->value(), 1);
    click(key("search.focus"));
    EXPECT_EQ(QApplication::focusWidget(), c.f->EditArtist);
  }
}

// A held key is a held mouse button: the bend lasts from the key's press to
// its release, and its repeats change nothing.
TEST(DeckKeys, AHeldBendLastsUntilItsKeyComesUp) {
  KeyConsole c;
  c.loadBoth();
  c.f->SBarPitchLinks->setValue(20);
  press(kD);
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100 + (20 - 100) * 44);
  for (int n = 0; n < 5; ++n) repeat(kD);
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100 + (20 - 100) * 44);
  EXPECT_EQ(c.f->keys->held(), QList<QString>{"links.pitch.down"});
  release(kD);
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100 + 20 * 44);
  EXPECT_TRUE(c.f->keys->held().isEmpty());
}

// Repeats of a held key: a switch or play never toggles (with the repeats
// marked or not), a step runs again.
TEST(DeckKeys, RepeatsStepButNeverToggle) {
  struct Row {
    const char* what;
    Key key;
    bool marked;  // the platform marks repeats as such
  };
  const Row rows[] = {
      {"play, marked", kS, true},
      {"play, unmarked", kS, false},
      {"head cue, marked", kW, true},
      {"head cue, unmarked", kW, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    KeyConsole c;
    c.loadBoth();
    press(r.key);
    const QString left = c.leftState();
    const int headCue = c.f->HeadCueLinks;
    for (int n = 0; n < 7; ++n) {
      if (r.marked)
        repeat(r.key);
      else
        press(r.key);
    }
    release(r.key);
    EXPECT_EQ(c.leftState(), left);
    EXPECT_EQ(c.f->HeadCueLinks, headCue);
  }
  KeyConsole c;
  press(kG);
  for (int n = 0; n < 4; ++n) repeat(kG);
  release(kG);
  EXPECT_EQ(c.f->sbFader->value(), -500);
}

// Keys act only while no text field has the focus; Esc leaves a search box
// for the grid, where they act again. Ctrl, Alt and Meta keys are left to
// the menus, and a modal dialog keeps its keys.
TEST(DeckKeys, TextFieldsKeepTheirKeysAndEscLeavesTheSearchBox) {
  KeyConsole c;
  c.loadBoth();
  for (QLineEdit* box : {c.f->EditArtist, c.f->EditSong, c.f->EditGenre, c.f->EditJahr}) {
    SCOPED_TRACE(box->objectName().toStdString());
    box->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), box);
    box->clear();
    click(kS);
    click(kG);
    EXPECT_EQ(c.leftState(), "loaded");
    EXPECT_EQ(c.f->sbFader->value(), 0);
    EXPECT_EQ(box->text(), "sg");
    click(kEsc);
    EXPECT_EQ(QApplication::focusWidget(), c.f->DBGrid1);
    click(kG);
    EXPECT_EQ(c.f->sbFader->value(), -100);
    c.f->sbFader->setValue(0);
  }
  // With Ctrl, Alt or Meta the key is not the map's.
  for (const Qt::KeyboardModifier mod : {Qt::ControlModifier, Qt::AltModifier, Qt::MetaModifier}) {
    press(kG, mod);
    release(kG);
    EXPECT_EQ(c.f->sbFader->value(), 0);
  }
  // Space on the focused grid is not in the map: the grid keeps it.
  click(kSpace);
  EXPECT_EQ(c.leftState(), "loaded");
}

// A held bend is let go when the console loses the keyboard, and a release
// that lands in a text field still ends it.
TEST(DeckKeys, AHeldKeyIsLetGoWhenTheConsoleLosesTheKeyboard) {
  KeyConsole c;
  c.loadBoth();
  press(kD);
  ASSERT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100 - 100 * 44);
  c.f->EditArtist->setFocus();
  release(kD);
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100);
  EXPECT_TRUE(c.f->keys->held().isEmpty());

  c.f->DBGrid1->setFocus();
  press(kD);
  QEvent deactivate(QEvent::WindowDeactivate);
  QApplication::sendEvent(c.f, &deactivate);
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100);
  EXPECT_TRUE(c.f->keys->held().isEmpty());
  release(kD);  // comes up later: nothing more happens
  EXPECT_EQ(c.f->PlayerLinks->MainBuffer->frequency(), 44100);
}

// A refusal from a key is told over the grid without a box; one from the
// window's button still in its box, and not twice.
TEST(DeckKeys, ARefusalFromAKeyIsShownWithoutABox) {
  KeyConsole c;
  // A song that is not there: the load is refused.
  c.addSong("/nonexistent/gone.mp3", "B", "U");
  EXPECT_FALSE(c.f->Notice->isVisible());
  click(Key{24, Qt::Key_Q, u"q"});
  EXPECT_TRUE(c.f->Notice->isVisible());
  EXPECT_EQ(c.f->Notice->toolTip(), FormSprache->Meldung.sDateiFehlt);
  EXPECT_TRUE(c.f->NoticeTimer->isActive());
  EXPECT_TRUE(c.dialogs.boxes.empty());
  EXPECT_TRUE(c.dialogs.errors.isEmpty());
  // Its time up (the timer's interval is 4 s):
  c.f->NoticeTimer->stop();
  QMetaObject::invokeMethod(c.f->NoticeTimer, "timeout", Qt::DirectConnection);
  EXPECT_FALSE(c.f->Notice->isVisible());
}

// [Keys] in qdl.ini changes the map; each broken entry is named with the
// file, the section and the entry, and the rest of the map works.
TEST(DeckKeys, TheSettingsFileChangesTheMapAndNamesEachBrokenEntry) {
  KeyConsole c;
  c.addSettings(
      "[Keys]\r\n"
      "links.play=Space, T\r\n"
      "rechts.play=\r\n"
      "links.nothing=K\r\n"
      "links.volume=V\r\n"
      "links.cue=Shift\r\n"
      "links.time=T\r\n"
      "mixer.crossfader.zero=s\r\n");
  const qdl::control::KeyMap& map = c.f->keys->map();
  EXPECT_EQ(map.actionOf(65), "links.play");
  EXPECT_EQ(map.actionOf(28), "links.play");
  EXPECT_EQ(map.actionOf(39), "mixer.crossfader.zero");  // S went to the crossfader
  EXPECT_EQ(map.actionOf(46), "");                       // L plays no more
  EXPECT_EQ(map.actionOf(38), "links.cue");              // a broken entry keeps the default
  EXPECT_EQ(map.actionOf(10), "links.time");             // T was taken: 1 stays
  c.loadBoth();
  click(kSpace);
  EXPECT_EQ(c.leftState(), "playing");
  click(Key{46, Qt::Key_L, u"l"});
  EXPECT_EQ(c.rightState(), "loaded");

  // The notice names the first problem; the keyboard window lists them all.
  EXPECT_TRUE(c.f->Notice->isVisible());
  c.f->Tastatur1Click();
  const QString problems = c.f->FormTastatur->lbProbleme->text();
  const QString file = QDir::toNativeSeparators(c.cwd.file("qdl.ini"));
  for (const char* entry : {"links.nothing", "links.volume", "links.cue", "links.time"}) {
    SCOPED_TRACE(entry);
    EXPECT_TRUE(problems.contains(file + ", [Keys] " + entry + ":")) << problems.toStdString();
  }
  EXPECT_TRUE(problems.contains("\"Shift\""));
  EXPECT_TRUE(problems.contains("\"T\"") && problems.contains(" links.play"));
  EXPECT_FALSE(problems.contains("] links.play:")) << problems.toStdString();
}

// The keyboard window lists the map in the window's language: German key
// labels in German ("Ö"), US labels in English (";").
TEST(DeckKeys, TheKeyboardWindowListsTheMapInBothLanguages) {
  for (const int language : {0, 1}) {
    SCOPED_TRACE(language);
    Console c(2, language);
    c.f->Tastatur1Click();
    TFormTastatur& w = *c.f->FormTastatur;
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), language == 0 ? "Tastatur" : "Keyboard");
    EXPECT_EQ(c.f->Tastatur1->text(), language == 0 ? "&Tastatur" : "&Keyboard");
    const QList<qdl::control::KeyBinding> bindings = c.f->keys->map().bindings();
    ASSERT_EQ(w.Liste->rowCount(), bindings.size());
    bool cueFound = false;
    for (int row = 0; row < w.Liste->rowCount(); ++row) {
      const QString action = w.Liste->item(row, 2)->text();
      EXPECT_NE(w.Liste->item(row, 1)->text(), action) << "described: " << action.toStdString();
      EXPECT_FALSE(w.Liste->item(row, 0)->text().isEmpty()) << action.toStdString();
      if (action == "rechts.cue") {
        cueFound = true;
        EXPECT_EQ(w.Liste->item(row, 0)->text(), language == 0 ? "Ö" : ";");
      }
    }
    EXPECT_TRUE(cueFound);
    EXPECT_FALSE(w.lbProbleme->isVisible());
    // Every action a key can run is in the map.
    for (const qdl::control::ActionInfo& a : c.f->actions->list())
      if (a.kind != qdl::control::ActionKind::Value) {
        EXPECT_FALSE(c.f->keys->map().keysOf(a.name).isEmpty()) << a.name.toStdString();
      }
  }
}

}  // namespace
