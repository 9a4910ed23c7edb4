#pragma once
// The keyboard map: which key runs which named action (Actions.h).
//
// A key is its place on the keyboard, not the letter printed on it, so the
// map is the same on every layout: the key right of L plays the right deck's
// cue on a US keyboard (";") and on a German one ("Ö") alike. Places are
// numbered as X11 and Wayland number their key codes (the Linux input code
// plus 8), which is what QKeyEvent::nativeScanCode() gives there. Where a
// platform gives no scan code (0), the key's Qt key code stands for its
// place on a US or a German keyboard (keyPlace).
//
// Names of keys, in qdl.ini and in the keyboard window: letters and digits
// name the key where the US layout has them ("Z" is the key left of X,
// labelled "Y" on a German keyboard); the German labels of the other keys
// are names too ("Ö" is ";"). Function keys, "Space", "Tab", the arrows and
// a few more have their English names. keyName() writes a key's name in the
// language of the window: German labels for German.
//
// The map is changed in the settings file, section [Keys]: each entry names
// an action and the keys that run it, separated by commas; an empty value
// takes the action's keys away:
//
//   [Keys]
//   links.play=S, Space
//   mixer.crossfader.zero=
//
// An entry replaces the default keys of its action. A key the entry gives
// is taken from any other action that had it by default. An entry that
// names no action of the table, a value action, an unknown key or a key an
// earlier entry gave already is left out and told (file, section and key);
// the rest of the map works. An action the table does not have (a map
// written for another build) is never bound.

#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace qdl {
class IniFile;
}

namespace qdl::control {

class Actions;

inline constexpr const char* kKeysSection = "Keys";

// An entry of [Keys] that was left out, and why.
struct KeyProblem {
  enum Reason {
    Unreadable,   // the settings file cannot be read; detail: the reason
    NoAction,     // the entry names no action of the table
    ValueAction,  // the action takes a value, not a key
    UnknownKey,   // detail: the name that is no key
    KeyTaken,     // detail: the key's name; `other` the entry that gave it first
    Twice,        // the action has an entry already
  };
  Reason reason = NoAction;
  QString entry;  // the entry's key in [Keys]
  QString detail;
  QString other;
};

// One binding of the map: an action and its keys, in the table's order.
struct KeyBinding {
  QString action;
  QList<int> keys;  // places; empty: the action has no key
};

class KeyMap {
 public:
  // The map the console starts with.
  static KeyMap defaults();
  // The defaults, changed by [Keys] of the settings file. Each entry left
  // out adds a line to `problems`. A settings file that cannot be read
  // gives the defaults and one line.
  static KeyMap read(const IniFile& settings, const Actions& actions, QList<KeyProblem>* problems);

  // The action a key runs; empty when none.
  QString actionOf(int place) const { return byKey_.value(place); }
  QList<int> keysOf(const QString& action) const;
  // Every action of the map with its keys, the actions in the map's order.
  QList<KeyBinding> bindings() const { return bindings_; }

  // Whether an action runs again while its key repeats: the steps do; a
  // switch or a load never toggles on a held key.
  static bool repeats(const QString& action);

 private:
  void bind(const QString& action, const QList<int>& keys);
  void index();  // byKey_ from bindings_

  QList<KeyBinding> bindings_;
  QHash<int, QString> byKey_;
};

// The place of the key of a key event: its scan code where the platform
// gives one, else the place its key code has on a US or German keyboard;
// 0 for a key this map does not know.
int keyPlace(quint32 nativeScanCode, int qtKey);
// The place a key name stands for (case-insensitive; US and German names).
std::optional<int> placeOfName(const QString& name);
// The key's name as the window shows it: German labels when `german`.
QString keyName(int place, bool german);

}  // namespace qdl::control
