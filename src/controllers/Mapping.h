#pragma once
// A controller mapping: which message of a MIDI controller runs which named
// action (control/Actions.h). A mapping is a text file, one binding a line:
//
//   # a comment (also after a binding)
//   name Pads One                    what the mapping is called
//   use Generic                      take the bindings of another mapping first
//   note 1 16 links.play led         note on channel 1, number 16
//   cc 1 7 links.volume invert       7-bit control change
//   cc14 1 0 links.pitch             14-bit pair: CC 0 (high) and CC 32 (low)
//   cc 1 20 links.jog relative       an encoder: relative values
//   note 1 40 shift                  held: the shift layer
//   shift note 1 16 autoplay.toggle  a binding of the shift layer
//
// Channels are 1..16, numbers 0..127 (0..31 for cc14). A later binding of
// the same message and layer replaces an earlier one (also one taken with
// "use"). Options after the action:
//   led        send the action's state back (a lit button, a value)
//   invert     127 means the action's minimum, 0 its maximum
//   relative   the values are steps of an encoder; "relative=offset"
//              (64 is no change), "relative=signbit" (65 is -1) or the
//              default "relative=twos" (127 is -1)
//   step N     what one encoder step adds to a value (default: its range
//              in 128 steps; a jog's seek: N hundredths of a second, 10)
// "links.jog" and "rechts.jog" name a deck's jog wheel: bend while the deck
// plays, seek while it does not.
//
// Files are read with limits: at most kMaxBytes, text only (UTF-8 without
// NUL bytes), at most kMaxBindings bindings, "use" at most kMaxDepth deep
// and never in a circle. What a file breaks is told with its line, and the
// rest of the file still counts.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "control/Actions.h"

namespace qdl::controllers {

enum class Source { Note, Control, Control14 };
enum class Target { Action, Jog, Shift };
enum class Encoding { Absolute, Twos, Offset, SignBit };

struct Binding {
  bool shifted = false;
  Source source = Source::Note;
  int channel = 0;  // 0..15
  int number = 0;   // 0..127 (cc14: 0..31, the high byte's number)
  Target target = Target::Action;
  QString action;  // the action's name; for a jog the deck side ("links")
  Encoding encoding = Encoding::Absolute;
  bool invert = false;
  bool led = false;
  int step = 0;  // 0: the default step
  int line = 0;  // where it was read, 0 when learned

  // Whether two bindings listen to the same message in the same layer.
  bool sameMessage(const Binding& other) const {
    return shifted == other.shifted && source == other.source && channel == other.channel &&
           number == other.number;
  }
  // "note 1 16", "cc14 3 0": the message as the file writes it.
  QString messageText() const;
  // The whole line as the file writes it.
  QString text() const;
  // The name the binding runs ("links.play", "links.jog", "shift").
  QString targetName() const;
};

// One file's own content.
struct MappingFile {
  QString name;      // from "name", else empty
  QStringList uses;  // the mappings named by "use", in order
  QList<Binding> bindings;
  QStringList problems;  // "line 3: unknown action links.plya"
};

// What a mapping does once "use" is followed: every binding in force.
struct Mapping {
  QString name;
  QList<Binding> bindings;
  QStringList problems;  // of this file and of the ones it uses, each named

  // The binding for a message in a layer; the unshifted one when the shift
  // layer has none. nullptr when none.
  const Binding* find(Source source, int channel, int number, bool shifted) const;
};

constexpr qsizetype kMaxBytes = 256 * 1024;
constexpr int kMaxBindings = 2048;
constexpr int kMaxDepth = 8;

// The actions a mapping may name; nullptr for a name that is none.
using ActionLookup = std::function<std::optional<control::ActionInfo>(const QString& name)>;

// Reads one file's bytes. `actions` checks the names (and what a binding
// may do with an action of its kind).
MappingFile parseMapping(const QByteArray& bytes, const ActionLookup& actions);

// Finds a mapping's bytes by the name "use" gives, or says why not (an
// empty QByteArray with `why` set).
using MappingSource = std::function<QByteArray(const QString& name, QString* why)>;

// Reads the mapping `name` and everything it uses.
Mapping resolveMapping(const QString& name, const MappingSource& source,
                       const ActionLookup& actions);

// A file's text from its content (as the learn window saves it).
QByteArray writeMapping(const MappingFile& file);

// Adds a binding to a file, replacing one of the same message and layer;
// returns the binding it replaced.
std::optional<Binding> bindInto(MappingFile& file, const Binding& binding);

// A 7-bit (bits 7) or 14-bit (bits 14) controller value on an action's
// range: 0 the minimum, the middle value (64, 8192) the middle of the range,
// the top value the maximum; `invert` turns it round.
int scaleToRange(int value, int bits, int minimum, int maximum, bool invert);
// The other way round, for values sent back.
int scaleFromRange(int state, int bits, int minimum, int maximum, bool invert);
// An encoder's value as a step count (+1, -1, ...).
int relativeSteps(int value, Encoding encoding);

}  // namespace qdl::controllers
