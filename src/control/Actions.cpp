// The table of named actions: running them by name, their states and their
// refusals.

#include "control/Actions.h"

namespace qdl::control {

QString kindName(ActionKind kind) {
  switch (kind) {
    case ActionKind::Press:
      return QStringLiteral("press");
    case ActionKind::PressRelease:
      return QStringLiteral("press/release");
    case ActionKind::Value:
      return QStringLiteral("value");
  }
  return {};
}

void Actions::add(Entry entry) {
  const QString name = entry.info.name;
  if (!entries_.contains(name)) order_.append(name);
  if (entry.state) entry.sent = entry.state();
  entries_.insert(name, std::move(entry));
}

void Actions::addPress(const QString& name, const QString& what, Run press, State state) {
  Entry e;
  e.info = {name, ActionKind::Press, 0, 0, what};
  e.press = std::move(press);
  e.state = std::move(state);
  add(std::move(e));
}

void Actions::addPressRelease(const QString& name, const QString& what, Run press, Run release,
                              State state) {
  Entry e;
  e.info = {name, ActionKind::PressRelease, 0, 0, what};
  e.press = std::move(press);
  e.release = std::move(release);
  e.state = std::move(state);
  add(std::move(e));
}

void Actions::addValue(const QString& name, const QString& what, int minimum, int staticMaximum,
                       RunValue set, State state, std::function<int()> maximum) {
  Entry e;
  e.info = {name, ActionKind::Value, minimum, staticMaximum, what};
  e.set = std::move(set);
  e.state = std::move(state);
  e.maximum = std::move(maximum);
  add(std::move(e));
}

ActionResult Actions::refuse(const QString& name, const QString& why) {
  emit refused(name, why);
  return ActionResult::refused(why);
}

ActionResult Actions::finish(const QString& name, ActionResult result) {
  if (result.status == ActionResult::Refused) emit refused(name, result.why);
  return result;
}

ActionResult Actions::press(const QString& name) {
  const auto it = entries_.constFind(name);
  if (it == entries_.cend()) return refuse(name, QStringLiteral("there is no action %1").arg(name));
  if (!it->press) return refuse(name, QStringLiteral("%1 takes a value, not a press").arg(name));
  // A copy: the action may change the table.
  const Run run = it->press;
  return finish(name, run());
}

ActionResult Actions::release(const QString& name) {
  const auto it = entries_.constFind(name);
  if (it == entries_.cend()) return refuse(name, QStringLiteral("there is no action %1").arg(name));
  if (it->info.kind == ActionKind::Press) return ActionResult::ignored();  // nothing lasts
  if (!it->release)
    return refuse(name, QStringLiteral("%1 takes a value, not a release").arg(name));
  const Run run = it->release;
  return finish(name, run());
}

ActionResult Actions::setValue(const QString& name, int value) {
  const auto it = entries_.constFind(name);
  if (it == entries_.cend()) return refuse(name, QStringLiteral("there is no action %1").arg(name));
  if (!it->set) return refuse(name, QStringLiteral("%1 takes no value").arg(name));
  const int minimum = it->info.minimum;
  const int maximum = it->maximum ? it->maximum() : it->info.maximum;
  if (value < minimum || value > maximum)
    return refuse(
        name,
        QStringLiteral("%1 takes %2 to %3, not %4").arg(name).arg(minimum).arg(maximum).arg(value));
  const RunValue run = it->set;
  return finish(name, run(value));
}

QList<ActionInfo> Actions::list() const {
  QList<ActionInfo> all;
  for (const QString& name : order_) all.append(entries_.value(name).info);
  return all;
}

std::optional<ActionInfo> Actions::info(const QString& name) const {
  const auto it = entries_.constFind(name);
  if (it == entries_.cend()) return std::nullopt;
  return it->info;
}

std::optional<int> Actions::state(const QString& name) const {
  const auto it = entries_.constFind(name);
  if (it == entries_.cend() || !it->state) return std::nullopt;
  return it->state();
}

void Actions::refresh(const QString& name) {
  const auto it = entries_.find(name);
  if (it == entries_.end() || !it->state) return;
  const int now = it->state();
  if (it->sent == now) return;
  it->sent = now;
  emit stateChanged(name, now);
}

void Actions::refreshAll() {
  for (const QString& name : order_) refresh(name);
}

}  // namespace qdl::control
