#pragma once
// One table of named actions: every thing a DJ can do at the console has a
// stable name ("links.play", "rechts.cue", "mixer.crossfader"), a kind and,
// for a value, a range. The window's mouse handlers run the actions of this
// table, so a keyboard map or a controller mapping only names actions.
//
// Kinds:
//   Press         something happens when it is pressed ("links.play");
//   PressRelease  it lasts from press to release (a bend, a held jump);
//   Value         it takes a value within [minimum, maximum].
//
// An action may have a state that is sent back: a lit button (1 lit, 0 not)
// or the value it stands at. stateChanged() is emitted for every change,
// once the console calls refresh() for the action (it does on every change
// of its models).
//
// An action that cannot run says why without a modal box: it returns a
// Refused result with the reason and emits refused(). What is simply
// ignored (play with no song loaded does nothing, as a click would) is
// Ignored and not told. Unknown names, a release of an action without one,
// and values outside the range are refused.
//
// Everything runs on the UI thread.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace qdl::control {

enum class ActionKind { Press, PressRelease, Value };

// What running an action did.
struct ActionResult {
  enum Status { Done, Ignored, Refused };
  Status status = Done;
  QString why;  // the reason, for Refused

  static ActionResult done() { return {}; }
  static ActionResult ignored() { return {Ignored, {}}; }
  static ActionResult refused(const QString& why) { return {Refused, why}; }
};

// The description of an action, as the table lists it.
struct ActionInfo {
  QString name;
  ActionKind kind = ActionKind::Press;
  int minimum = 0;  // the range of a Value action
  int maximum = 0;
  QString what;  // one line: what it does, and its unit for a value
};

class Actions : public QObject {
  Q_OBJECT
 public:
  using Run = std::function<ActionResult()>;
  using RunValue = std::function<ActionResult(int value)>;
  using State = std::function<int()>;

  explicit Actions(QObject* parent = nullptr) : QObject(parent) {}

  // Adds an action; a name is added once (a second one replaces the first).
  void addPress(const QString& name, const QString& what, Run press, State state = {});
  void addPressRelease(const QString& name, const QString& what, Run press, Run release,
                       State state = {});
  // `maximum`, when given, is asked at each run (a seek's range is the
  // loaded song's length); `staticMaximum` is what the table lists.
  void addValue(const QString& name, const QString& what, int minimum, int staticMaximum,
                RunValue set, State state, std::function<int()> maximum = {});

  ActionResult press(const QString& name);
  ActionResult release(const QString& name);
  ActionResult setValue(const QString& name, int value);

  bool contains(const QString& name) const { return entries_.contains(name); }
  // Every action in the order it was added.
  QList<ActionInfo> list() const;
  std::optional<ActionInfo> info(const QString& name) const;
  // The state sent back: lit (1) or not (0), or the value; none for an
  // action without a state or an unknown name.
  std::optional<int> state(const QString& name) const;
  // Reads the action's state again and emits stateChanged() when it changed.
  void refresh(const QString& name);
  void refreshAll();

 signals:
  void stateChanged(const QString& name, int state);
  void refused(const QString& name, const QString& why);

 private:
  struct Entry {
    ActionInfo info;
    Run press;
    Run release;
    RunValue set;
    State state;
    std::function<int()> maximum;
    std::optional<int> sent;  // the state last sent back
  };
  void add(Entry entry);
  ActionResult refuse(const QString& name, const QString& why);
  ActionResult finish(const QString& name, ActionResult result);

  QHash<QString, Entry> entries_;
  QList<QString> order_;
};

// The kind's name as the documentation writes it: "press", "press/release",
// "value".
QString kindName(ActionKind kind);

}  // namespace qdl::control
