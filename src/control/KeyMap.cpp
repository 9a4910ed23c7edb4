// The keyboard map: the places of the keys and their names, the default
// map, and the map of the settings file's [Keys].

#include "control/KeyMap.h"

#include <QSet>

#include "control/Actions.h"
#include "platform/ini/IniFile.h"

namespace qdl::control {
namespace {

// A key's place (X11 key code), its US and German names, and the Qt key
// codes a US and a German layout give it (for platforms without scan codes).
struct Place {
  int place;
  const char16_t* us;
  const char16_t* german;
  int qtKeys[3];
};

constexpr Place kPlaces[] = {
    {9, u"Esc", u"Esc", {Qt::Key_Escape}},
    {10, u"1", u"1", {Qt::Key_1}},
    {11, u"2", u"2", {Qt::Key_2}},
    {12, u"3", u"3", {Qt::Key_3}},
    {13, u"4", u"4", {Qt::Key_4}},
    {14, u"5", u"5", {Qt::Key_5}},
    {15, u"6", u"6", {Qt::Key_6}},
    {16, u"7", u"7", {Qt::Key_7}},
    {17, u"8", u"8", {Qt::Key_8}},
    {18, u"9", u"9", {Qt::Key_9}},
    {19, u"0", u"0", {Qt::Key_0}},
    {20, u"-", u"ß", {Qt::Key_Minus, Qt::Key_ssharp}},
    {21, u"=", u"´", {Qt::Key_Equal, Qt::Key_acute, Qt::Key_Dead_Acute}},
    {22, u"Backspace", u"Backspace", {Qt::Key_Backspace}},
    {23, u"Tab", u"Tab", {Qt::Key_Tab}},
    {24, u"Q", u"Q", {Qt::Key_Q}},
    {25, u"W", u"W", {Qt::Key_W}},
    {26, u"E", u"E", {Qt::Key_E}},
    {27, u"R", u"R", {Qt::Key_R}},
    {28, u"T", u"T", {Qt::Key_T}},
    {29, u"Y", u"Z", {Qt::Key_Y}},
    {30, u"U", u"U", {Qt::Key_U}},
    {31, u"I", u"I", {Qt::Key_I}},
    {32, u"O", u"O", {Qt::Key_O}},
    {33, u"P", u"P", {Qt::Key_P}},
    {34, u"[", u"Ü", {Qt::Key_BracketLeft, Qt::Key_Udiaeresis}},
    {35, u"]", u"+", {Qt::Key_BracketRight, Qt::Key_Plus}},
    {36, u"Return", u"Return", {Qt::Key_Return}},
    {38, u"A", u"A", {Qt::Key_A}},
    {39, u"S", u"S", {Qt::Key_S}},
    {40, u"D", u"D", {Qt::Key_D}},
    {41, u"F", u"F", {Qt::Key_F}},
    {42, u"G", u"G", {Qt::Key_G}},
    {43, u"H", u"H", {Qt::Key_H}},
    {44, u"J", u"J", {Qt::Key_J}},
    {45, u"K", u"K", {Qt::Key_K}},
    {46, u"L", u"L", {Qt::Key_L}},
    {47, u";", u"Ö", {Qt::Key_Semicolon, Qt::Key_Odiaeresis}},
    {48, u"'", u"Ä", {Qt::Key_Apostrophe, Qt::Key_Adiaeresis}},
    {49, u"`", u"^", {Qt::Key_QuoteLeft, Qt::Key_AsciiCircum, Qt::Key_Dead_Circumflex}},
    {51, u"\\", u"#", {Qt::Key_Backslash, Qt::Key_NumberSign}},
    {52, u"Z", u"Y", {Qt::Key_Z}},
    {53, u"X", u"X", {Qt::Key_X}},
    {54, u"C", u"C", {Qt::Key_C}},
    {55, u"V", u"V", {Qt::Key_V}},
    {56, u"B", u"B", {Qt::Key_B}},
    {57, u"N", u"N", {Qt::Key_N}},
    {58, u"M", u"M", {Qt::Key_M}},
    {59, u",", u",", {Qt::Key_Comma}},
    {60, u".", u".", {Qt::Key_Period}},
    {61, u"/", u"-", {Qt::Key_Slash}},
    {65, u"Space", u"Space", {Qt::Key_Space}},
    {67, u"F1", u"F1", {Qt::Key_F1}},
    {68, u"F2", u"F2", {Qt::Key_F2}},
    {69, u"F3", u"F3", {Qt::Key_F3}},
    {70, u"F4", u"F4", {Qt::Key_F4}},
    {71, u"F5", u"F5", {Qt::Key_F5}},
    {72, u"F6", u"F6", {Qt::Key_F6}},
    {73, u"F7", u"F7", {Qt::Key_F7}},
    {74, u"F8", u"F8", {Qt::Key_F8}},
    {75, u"F9", u"F9", {Qt::Key_F9}},
    {76, u"F10", u"F10", {Qt::Key_F10}},
    {94, u"<", u"<", {Qt::Key_Less}},
    {95, u"F11", u"F11", {Qt::Key_F11}},
    {96, u"F12", u"F12", {Qt::Key_F12}},
    {110, u"Home", u"Pos1", {Qt::Key_Home}},
    {111, u"Up", u"Up", {Qt::Key_Up}},
    {112, u"PageUp", u"PageUp", {Qt::Key_PageUp}},
    {113, u"Left", u"Left", {Qt::Key_Left}},
    {114, u"Right", u"Right", {Qt::Key_Right}},
    {115, u"End", u"Ende", {Qt::Key_End}},
    {116, u"Down", u"Down", {Qt::Key_Down}},
    {117, u"PageDown", u"PageDown", {Qt::Key_PageDown}},
    {118, u"Insert", u"Einfg", {Qt::Key_Insert}},
    {119, u"Delete", u"Entf", {Qt::Key_Delete}},
};

const Place* findPlace(int place) {
  for (const Place& p : kPlaces)
    if (p.place == place) return &p;
  return nullptr;
}

// The map the console starts with: the decks mirror each other around the
// crossfader keys in the middle of the keyboard; the switches of the whole
// console are on the function keys. F1 stays the help.
struct Default {
  const char* action;
  int place;
};
constexpr Default kDefaults[] = {
    {"links.load", 24},                    // Q
    {"links.cue", 38},                     // A
    {"links.play", 39},                    // S
    {"links.time", 10},                    // 1
    {"links.keylock", 27},                 // R
    {"links.pitch.down", 40},              // D
    {"links.pitch.up", 41},                // F
    {"links.pitch.zero", 52},              // Z (Y)
    {"links.sync", 26},                    // E
    {"links.pitch.step.down", 53},         // X
    {"links.pitch.step.up", 54},           // C
    {"links.volume.down", 11},             // 2
    {"links.volume.up", 12},               // 3
    {"links.headcue", 25},                 // W
    {"rechts.load", 33},                   // P
    {"rechts.cue", 47},                    // ; (Ö)
    {"rechts.play", 46},                   // L
    {"rechts.time", 19},                   // 0
    {"rechts.keylock", 30},                // U
    {"rechts.pitch.down", 44},             // J
    {"rechts.pitch.up", 45},               // K
    {"rechts.pitch.zero", 60},             // .
    {"rechts.sync", 31},                   // I
    {"rechts.pitch.step.down", 58},        // M
    {"rechts.pitch.step.up", 59},          // ,
    {"rechts.volume.down", 17},            // 8
    {"rechts.volume.up", 18},              // 9
    {"rechts.headcue", 32},                // O
    {"mixer.crossfader.step.links", 42},   // G
    {"mixer.crossfader.step.rechts", 43},  // H
    {"mixer.crossfader.zero", 56},         // B
    {"mixer.crossfader.links", 55},        // V
    {"mixer.crossfader.rechts", 57},       // N
    {"mixer.crossfader.links.hold", 14},   // 5
    {"mixer.crossfader.rechts.hold", 15},  // 6
    {"mixer.headvolume.down", 75},         // F9
    {"mixer.headvolume.up", 76},           // F10
    {"search.focus", 69},                  // F3
    {"autocue.toggle", 71},                // F5
    {"autoplay.toggle", 72},               // F6
    {"playlist.start", 73},                // F7
    {"record.toggle", 96},                 // F12
    {"autoplay.beat.toggle", 74},          // F8
    {"autogain.toggle", 70},               // F4
};

}  // namespace

int keyPlace(quint32 nativeScanCode, int qtKey) {
  if (nativeScanCode != 0) return findPlace(int(nativeScanCode)) ? int(nativeScanCode) : 0;
  for (const Place& p : kPlaces)
    for (const int k : p.qtKeys)
      if (k != 0 && k == qtKey) return p.place;
  return 0;
}

std::optional<int> placeOfName(const QString& name) {
  const QString wanted = name.trimmed();
  if (wanted.isEmpty()) return std::nullopt;
  // US names first: "-", "Y" and "Z" are the US layout's keys.
  for (const bool german : {false, true})
    for (const Place& p : kPlaces)
      if (wanted.compare(QString::fromUtf16(german ? p.german : p.us), Qt::CaseInsensitive) == 0)
        return p.place;
  return std::nullopt;
}

QString keyName(int place, bool german) {
  const Place* p = findPlace(place);
  if (!p) return QStringLiteral("#%1").arg(place);
  return QString::fromUtf16(german ? p->german : p->us);
}

KeyMap KeyMap::defaults() {
  KeyMap map;
  for (const Default& d : kDefaults) map.bind(QLatin1String(d.action), {d.place});
  return map;
}

void KeyMap::bind(const QString& action, const QList<int>& keys) {
  // A key runs one action: it leaves the action that had it.
  for (KeyBinding& b : bindings_)
    if (b.action != action) b.keys.removeIf([&keys](int k) { return keys.contains(k); });
  bool found = false;
  for (KeyBinding& b : bindings_)
    if (b.action == action) {
      b.keys = keys;
      found = true;
    }
  if (!found) bindings_.append({action, keys});
  index();
}

void KeyMap::index() {
  byKey_.clear();
  for (const KeyBinding& b : bindings_)
    for (const int k : b.keys) byKey_.insert(k, b.action);
}

QList<int> KeyMap::keysOf(const QString& action) const {
  for (const KeyBinding& b : bindings_)
    if (b.action == action) return b.keys;
  return {};
}

bool KeyMap::repeats(const QString& action) {
  return action.contains(QLatin1String(".step.")) || action.endsWith(QLatin1String("volume.up")) ||
         action.endsWith(QLatin1String("volume.down"));
}

KeyMap KeyMap::read(const IniFile& settings, const Actions& actions, QList<KeyProblem>* problems) {
  KeyMap map = defaults();
  // Actions this build does not have are never bound.
  map.bindings_.removeIf([&actions](const KeyBinding& b) { return !actions.contains(b.action); });
  map.index();
  // Entries match the actions' names without regard to letter case, as
  // the settings file's keys do.
  QHash<QString, QString> byLowerName;
  for (const ActionInfo& a : actions.list()) byLowerName.insert(a.name.toLower(), a.name);
  const auto tell = [problems](KeyProblem p) {
    if (problems) problems->append(std::move(p));
  };
  const QString section = QLatin1String(kKeysSection);
  QStringList entries;
  try {
    entries = settings.readSection(section);
  } catch (const IniFileError& e) {
    tell({KeyProblem::Unreadable, {}, QString::fromUtf8(e.what()), {}});
    return map;
  }
  QHash<int, QString> given;  // key -> the entry that gave it
  QSet<QString> seen;
  for (const QString& entry : entries) {
    const QString action = byLowerName.value(entry.trimmed().toLower());
    if (!action.isEmpty() && seen.contains(action)) {
      tell({KeyProblem::Twice, entry, {}, {}});
      continue;
    }
    seen.insert(action);
    const std::optional<ActionInfo> info = actions.info(action);
    if (!info) {
      tell({KeyProblem::NoAction, entry, {}, {}});
      continue;
    }
    if (info->kind == ActionKind::Value) {
      tell({KeyProblem::ValueAction, entry, {}, {}});
      continue;
    }
    QString value;
    try {
      value = settings.readString(section, entry, QString());
    } catch (const IniFileError& e) {
      tell({KeyProblem::Unreadable, entry, QString::fromUtf8(e.what()), {}});
      continue;
    }
    QList<int> keys;
    std::optional<KeyProblem> problem;
    for (const QString& part : value.split(QLatin1Char(','))) {
      if (part.trimmed().isEmpty()) continue;
      const std::optional<int> place = placeOfName(part);
      if (!place) {
        problem = KeyProblem{KeyProblem::UnknownKey, entry, part.trimmed(), {}};
        break;
      }
      if (given.contains(*place)) {
        problem = KeyProblem{KeyProblem::KeyTaken, entry, part.trimmed(), given.value(*place)};
        break;
      }
      if (!keys.contains(*place)) keys.append(*place);
    }
    if (problem) {
      tell(*problem);
      continue;
    }
    for (const int k : keys) given.insert(k, entry);
    map.bind(action, keys);
  }
  return map;
}

}  // namespace qdl::control
