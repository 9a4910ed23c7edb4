#include "controllers/Controllers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "control/Actions.h"
#include "platform/fs/SafeWrite.h"

namespace qdl::controllers {

using control::ActionKind;
using midi::MidiMessage;

namespace {

const QString kShipped = QStringLiteral(":/controller/");
const QString kSuffix = QStringLiteral(".txt");
const QString kGeneric = QStringLiteral("Generic");
constexpr int kBendQuietMs = 120;  // a jog's bend ends this long after its last step
constexpr int kJogSeekStep = 10;   // hundredths of a second per step while paused

}  // namespace

struct Controllers::Live {
  midi::ControllerPort port;
  Mapping mapping;
  bool ownFile = false;
  bool shift = false;
  QHash<int, int> high, low;  // the 14-bit pairs' halves, by channel << 8 | number
  QHash<QString, bool> held;  // cc buttons pressed, by binding
};

Controllers::Controllers(control::Actions* actions, const QString& folder, QObject* parent)
    : QObject(parent), actions_(actions), folder_(folder) {
  connect(actions_, &control::Actions::stateChanged, this, &Controllers::stateChanged);
}

Controllers::~Controllers() { stop(); }

void Controllers::start() {
  if (hub_ || !midi::MidiHub::wanted()) return;
  hub_ = std::make_unique<midi::MidiHub>();
  connect(hub_.get(), &midi::MidiHub::messagesWaiting, this, &Controllers::drain,
          Qt::QueuedConnection);
  connect(hub_.get(), &midi::MidiHub::controllersChanged, this, &Controllers::portsChanged,
          Qt::QueuedConnection);
  hub_->start();
}

void Controllers::stop() {
  hub_.reset();
  live_.clear();
}

QList<midi::ControllerPort> Controllers::controllers() const {
  QList<midi::ControllerPort> list;
  for (const auto& l : live_) list << l->port;
  std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
  return list;
}

const Mapping* Controllers::mappingOf(int controller) const {
  const auto it = live_.find(controller);
  return it == live_.end() ? nullptr : &(*it)->mapping;
}

bool Controllers::hasOwnFile(int controller) const {
  const auto it = live_.find(controller);
  return it != live_.end() && (*it)->ownFile;
}

QList<control::ActionInfo> Controllers::actionList() const { return actions_->list(); }

QString Controllers::fileNameOf(const QString& controllerName) {
  QString n = controllerName.left(100);
  for (QChar& c : n)
    if (!(c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-') ||
          c == QLatin1Char('_') || c == QLatin1Char('.')))
      c = QLatin1Char('_');
  while (n.startsWith(QLatin1Char('.'))) n[0] = QLatin1Char('_');
  return n.isEmpty() ? QStringLiteral("_") : n;
}

QString Controllers::mappingPath(const QString& controllerName) const {
  return QDir(folder_).filePath(fileNameOf(controllerName) + kSuffix);
}

QStringList Controllers::shippedMappings() {
  QStringList names;
  for (const QString& f : QDir(kShipped).entryList({QStringLiteral("*.txt")}, QDir::Files))
    names << f.chopped(kSuffix.size());
  return names;
}

QStringList Controllers::mappingNames() const {
  QStringList names = shippedMappings();
  for (const QString& f : QDir(folder_).entryList({QStringLiteral("*.txt")}, QDir::Files)) {
    const QString n = f.chopped(kSuffix.size());
    if (!names.contains(n, Qt::CaseInsensitive)) names << n;
  }
  return names;
}

QByteArray Controllers::mappingBytes(const QString& name, QString* why) const {
  const QString own = QDir(folder_).filePath(fileNameOf(name) + kSuffix);
  const QString path = QFileInfo::exists(own) ? own : kShipped + name + kSuffix;
  const QFileInfo info(path);
  if (!info.exists()) {
    *why = QStringLiteral("no mapping of this name");
    return {};
  }
  // A pipe or a device would block or never end; a huge file is not read.
  if (!info.isFile()) {
    *why = QStringLiteral("%1 is not a file").arg(path);
    return {};
  }
  if (info.size() > kMaxBytes) {
    *why = QStringLiteral("%1 is larger than %2 KiB: not read").arg(path).arg(kMaxBytes / 1024);
    return {};
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    *why = QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString());
    return {};
  }
  return file.read(kMaxBytes + 1);
}

void Controllers::load(Live& live) {
  const QString ownName = fileNameOf(live.port.name);
  live.ownFile = QFileInfo::exists(mappingPath(live.port.name));
  const auto lookup = [this](const QString& n) { return actions_->info(n); };
  const auto source = [this](const QString& n, QString* why) { return mappingBytes(n, why); };
  live.mapping = resolveMapping(live.ownFile ? ownName : kGeneric, source, lookup);
  live.shift = false;
  live.high.clear();
  live.low.clear();
  live.held.clear();
  if (!live.mapping.problems.isEmpty()) {
    qWarning("MIDI controller %s: %s", qUtf8Printable(live.port.name),
             qUtf8Printable(live.mapping.problems.join(QStringLiteral("; "))));
    emit problems(live.port.name, live.mapping.problems);
  }
}

void Controllers::reloadMappings() {
  for (const auto& l : live_) {
    load(*l);
    sendAll(*l);
  }
}

void Controllers::portsChanged() {
  if (!hub_) return;
  const QList<midi::ControllerPort> ports = hub_->controllers();
  QHash<int, std::shared_ptr<Live>> next;
  for (const midi::ControllerPort& p : ports) {
    auto old = live_.value(p.id);
    if (old) {
      const bool feedbackNew = p.feedback && !old->port.feedback;
      old->port = p;
      next.insert(p.id, old);
      if (feedbackNew) sendAll(*old);
      continue;
    }
    auto l = std::make_shared<Live>();
    l->port = p;
    load(*l);
    next.insert(p.id, l);
    sendAll(*l);
  }
  live_ = next;
  emit controllersChanged();
}

void Controllers::drain() {
  if (!hub_) return;
  const std::vector<midi::Incoming> waiting = hub_->take();
  for (const midi::Incoming& in : waiting) {
    const auto it = live_.find(in.controller);
    if (it == live_.end()) continue;  // not yet (or no longer) known here
    ++handled_;
    if (learning_) {
      if (in.message.type != MidiMessage::NoteOff) emit heard(in.controller, in.message);
      continue;
    }
    const std::shared_ptr<Live> live = *it;  // kept while an action runs
    run(*live, in.message);
  }
}

void Controllers::run(Live& live, const MidiMessage& m) {
  const bool note = m.type != MidiMessage::Control;
  if (note) {
    if (const Binding* b = live.mapping.find(Source::Note, m.channel, m.number, live.shift))
      runBinding(live, *b, m);
    return;
  }
  // A control change may be the high (0..31) or low (32..63) half of a pair.
  const int key = m.channel << 8 | m.number;
  if (m.number < 32) {
    if (const Binding* b = live.mapping.find(Source::Control14, m.channel, m.number, live.shift)) {
      live.high[key] = m.value;
      live.low[key + 32] = 0;  // a new high half starts a new value
      runBinding(live, *b, m);
      return;
    }
  } else if (m.number < 64) {
    if (const Binding* b =
            live.mapping.find(Source::Control14, m.channel, m.number - 32, live.shift)) {
      live.low[key] = m.value;
      runBinding(live, *b, m);
      return;
    }
  }
  if (const Binding* b = live.mapping.find(Source::Control, m.channel, m.number, live.shift))
    runBinding(live, *b, m);
}

void Controllers::runBinding(Live& live, const Binding& b, const MidiMessage& m) {
  const bool on = m.type == MidiMessage::Control ? m.value >= 64 : m.type == MidiMessage::NoteOn;
  if (b.target == Target::Shift) {
    live.shift = on;
    return;
  }
  if (b.target == Target::Jog) {
    jog(b.action, relativeSteps(m.value, b.encoding), b.step);
    return;
  }
  const std::optional<control::ActionInfo> info = actions_->info(b.action);
  if (!info) return;
  if (info->kind == ActionKind::Value) {
    int value = 0;
    if (b.source == Source::Control14) {
      const int key = m.channel << 8 | b.number;
      const int v = live.high.value(key) << 7 | live.low.value(key + 32);
      value = scaleToRange(v, 14, info->minimum, info->maximum, b.invert);
    } else if (b.encoding != Encoding::Absolute) {
      const int steps = relativeSteps(m.value, b.encoding);
      const int step = b.step > 0 ? b.step : std::max(1, (info->maximum - info->minimum) / 128);
      const int now = actions_->state(b.action).value_or(info->minimum);
      value = std::clamp(now + steps * step, info->minimum, info->maximum);
    } else {
      value = scaleToRange(m.value, 7, info->minimum, info->maximum, b.invert);
    }
    actions_->setValue(b.action, value);
    return;
  }
  // A button: a note, or a control change that crosses the middle.
  if (b.source == Source::Control) {
    const QString key = b.messageText();
    if (live.held.value(key) == on) return;
    live.held[key] = on;
  }
  if (on)
    actions_->press(b.action);
  else if (info->kind == ActionKind::PressRelease)
    actions_->release(b.action);
}

void Controllers::jog(const QString& side, int steps, int step) {
  if (steps == 0) return;
  const QString play = side + QStringLiteral(".play");
  if (actions_->state(play).value_or(0) == 1) {
    // Playing: bend the way the wheel turns until it rests.
    Bend& bend = bends_[side];
    const int direction = steps > 0 ? 1 : -1;
    const auto name = [side](int d) {
      return side + (d > 0 ? QStringLiteral(".pitch.up") : QStringLiteral(".pitch.down"));
    };
    if (bend.direction != direction) {
      if (bend.direction != 0) actions_->release(name(bend.direction));
      actions_->press(name(direction));
      bend.direction = direction;
    }
    if (!bend.timer) {
      bend.timer = new QTimer(this);
      bend.timer->setSingleShot(true);
      connect(bend.timer, &QTimer::timeout, this, [this, side, name] {
        Bend& b = bends_[side];
        if (b.direction != 0) actions_->release(name(b.direction));
        b.direction = 0;
      });
    }
    bend.timer->start(kBendQuietMs);
    return;
  }
  // Paused or cued: move through the song.
  const QString seek = side + QStringLiteral(".seek");
  const std::optional<int> position = actions_->state(seek);
  if (!position) return;
  actions_->setValue(seek, std::max(0, *position + steps * (step > 0 ? step : kJogSeekStep)));
}

void Controllers::sendState(Live& live, const Binding& b, int state) {
  if (!hub_ || !live.port.feedback || !b.led || b.target != Target::Action) return;
  const std::optional<control::ActionInfo> info = actions_->info(b.action);
  if (!info) return;
  const bool value = info->kind == ActionKind::Value;
  const std::uint8_t ch = std::uint8_t(b.channel & 0x0F);
  const std::uint8_t num = std::uint8_t(b.number & 0x7F);
  if (b.source == Source::Note) {
    const std::uint8_t bytes[3] = {std::uint8_t(0x90 | ch), num, std::uint8_t(state ? 127 : 0)};
    hub_->send(live.port.id, bytes, 3);
  } else if (b.source == Source::Control14 && value) {
    const int v = scaleFromRange(state, 14, info->minimum, info->maximum, b.invert);
    const std::uint8_t hi[3] = {std::uint8_t(0xB0 | ch), num, std::uint8_t(v >> 7)};
    const std::uint8_t lo[3] = {std::uint8_t(0xB0 | ch), std::uint8_t(num + 32),
                                std::uint8_t(v & 0x7F)};
    hub_->send(live.port.id, hi, 3);
    hub_->send(live.port.id, lo, 3);
  } else {
    const int v = value ? scaleFromRange(state, 7, info->minimum, info->maximum, b.invert)
                        : (state ? 127 : 0);
    const std::uint8_t bytes[3] = {std::uint8_t(0xB0 | ch), num, std::uint8_t(v)};
    hub_->send(live.port.id, bytes, 3);
  }
}

void Controllers::sendAll(Live& live) {
  for (const Binding& b : live.mapping.bindings) {
    if (!b.led || b.target != Target::Action) continue;
    if (const std::optional<int> s = actions_->state(b.action)) sendState(live, b, *s);
  }
}

void Controllers::stateChanged(const QString& name, int state) {
  for (const auto& l : live_)
    for (const Binding& b : l->mapping.bindings)
      if (b.led && b.target == Target::Action && b.action == name) sendState(*l, b, state);
}

Controllers::Learned Controllers::learn(int controller, const QString& target,
                                        const MidiMessage& m) {
  Learned out;
  const auto it = live_.find(controller);
  if (it == live_.end()) {
    out.error = QStringLiteral("the controller is gone");
    return out;
  }
  Live& live = **it;
  const auto lookup = [this](const QString& n) { return actions_->info(n); };

  // The controller's own file as it is (a new one when it has none).
  MappingFile file = ownMapping(live, &out.error);
  if (!out.error.isEmpty()) return out;

  // The line the message makes, read back by the file's own rules.
  const QString kind =
      m.type == MidiMessage::Control ? QStringLiteral("cc") : QStringLiteral("note");
  QString line =
      QStringLiteral("%1 %2 %3 %4").arg(kind).arg(m.channel + 1).arg(m.number).arg(target);
  const std::optional<control::ActionInfo> info = actions_->info(target);
  if (info && m.type != MidiMessage::Control && info->kind != ActionKind::Value &&
      actions_->state(target))
    line += QStringLiteral(" led");
  const MappingFile one = parseMapping(line.toUtf8(), lookup);
  if (one.bindings.isEmpty()) {
    out.error = one.problems.value(0).section(QStringLiteral(": "), 1);
    return out;
  }
  out.binding = one.bindings.first();
  out.binding.line = 0;
  if (live.shift && out.binding.target != Target::Shift) out.binding.shifted = true;

  for (const Binding& b : live.mapping.bindings) {
    if (b.sameMessage(out.binding) && b.targetName() != out.binding.targetName())
      out.replaced = b.targetName();
    if (!b.sameMessage(out.binding) && b.targetName() == out.binding.targetName())
      out.alsoOn << b.messageText();
  }
  bindInto(file, out.binding);
  out.error = saveOwnMapping(live, file);
  return out;
}

QString Controllers::useMapping(int controller, const QString& name) {
  const auto it = live_.find(controller);
  if (it == live_.end()) return QStringLiteral("the controller is gone");
  Live& live = **it;
  QString why;
  MappingFile file = ownMapping(live, &why);
  if (!why.isEmpty()) return why;
  // A mapping does not use itself: its own file is what is written.
  if (fileNameOf(name).compare(fileNameOf(live.port.name), Qt::CaseInsensitive) != 0)
    file.uses = QStringList{name};
  else
    file.uses.clear();
  return saveOwnMapping(live, file);
}

MappingFile Controllers::ownMapping(const Live& live, QString* why) const {
  MappingFile file;
  if (QFileInfo::exists(mappingPath(live.port.name))) {
    const QByteArray bytes = mappingBytes(fileNameOf(live.port.name), why);
    if (!why->isEmpty()) return {};
    file = parseMapping(bytes, [this](const QString& n) { return actions_->info(n); });
  }
  if (file.name.isEmpty()) file.name = live.port.name;
  return file;
}

QString Controllers::saveOwnMapping(Live& live, const MappingFile& file) {
  const QString path = mappingPath(live.port.name);
  QDir().mkpath(folder_);
  const QString why = fs::writeFileSafely(path, writeMapping(file), fs::OutputKind::SideFile);
  if (!why.isEmpty()) return path + QStringLiteral(": ") + why;
  load(live);
  sendAll(live);
  return {};
}

}  // namespace qdl::controllers
