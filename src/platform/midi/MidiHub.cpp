#include "platform/midi/MidiHub.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <rtmidi/RtMidi.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <chrono>

namespace qdl::midi {

namespace {

// RtMidi reports through this instead of printing or throwing.
void quietRtMidi(RtMidiError::Type, const std::string&, void*) {}
void quietJack(const char*) {}

// ALSA names end in the client and port numbers ("Pads:Pads MIDI 1 24:0"),
// which change from plug to plug; the name without them names the device.
QString withoutNumbers(const QString& name) {
  static const QRegularExpression numbers(QStringLiteral("\\s+\\d+:\\d+$"));
  QString n = name;
  n.remove(numbers);
  return n;
}

QString clientOf(const QString& name) { return name.section(QLatin1Char(':'), 0, 0); }

struct Found {
  RtMidi::Api api;
  std::string raw;  // the port's name as RtMidi gives it
  QString name;     // the device's name
};

}  // namespace

struct MidiHub::Port {
  int id = 0;
  RtMidi::Api api = RtMidi::UNSPECIFIED;
  std::string raw;
  QString name;
  std::string outRaw;  // the feedback port's name, empty without one
  std::unique_ptr<RtMidiIn> in;
  std::unique_ptr<RtMidiOut> out;
  MidiParser parser;  // used only by the thread RtMidi calls back on
  MidiHub* hub = nullptr;

  static void received(double, std::vector<unsigned char>* message, void* user) {
    auto* port = static_cast<Port*>(user);
    if (!message || message->empty()) return;
    port->parser.feed(message->data(), message->size(), [port](const MidiMessage& m) {
      if (port->hub->queue_.push({port->id, m})) port->hub->notify();
    });
  }
};

struct MidiHub::Systems {
  std::unique_ptr<RtMidiIn> alsaIn;  // lists the ALSA sources
  std::unique_ptr<RtMidiOut> alsaOut;
  int alsaWait = 0;               // looks until ALSA is tried again
  jack_client_t* jack = nullptr;  // lists the JACK ports; its loss means the server went
  std::atomic<bool> jackGone{false};

  ~Systems() {
    if (jack) jack_client_close(jack);
  }
};

MidiHub::MidiHub(const QString& clientName, QObject* parent)
    : QObject(parent), clientName_(clientName), systems_(std::make_unique<Systems>()) {}

MidiHub::~MidiHub() {
  {
    std::lock_guard lock(wakeMutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::map<int, std::unique_ptr<Port>> ports;
  {
    std::lock_guard lock(portsMutex_);
    ports.swap(ports_);
  }
  ports.clear();  // closes every port; no callback runs after this
  systems_.reset();
}

bool MidiHub::wanted() {
  return qEnvironmentVariable("QUANDREL_MIDI")
             .compare(QStringLiteral("off"), Qt::CaseInsensitive) != 0;
}

void MidiHub::start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { run(); });
}

void MidiHub::rescanSoon() {
  {
    std::lock_guard lock(wakeMutex_);
    rescanNow_ = true;
  }
  wake_.notify_all();
}

void MidiHub::notify() { emit messagesWaiting(); }

QList<ControllerPort> MidiHub::controllers() const {
  QList<ControllerPort> list;
  std::lock_guard lock(portsMutex_);
  for (const auto& [id, p] : ports_)
    list.push_back({id, p->name,
                    p->api == RtMidi::UNIX_JACK ? QStringLiteral("JACK") : QStringLiteral("ALSA"),
                    p->out != nullptr});
  return list;
}

bool MidiHub::send(int controller, const std::uint8_t* bytes, std::size_t size) {
  std::lock_guard lock(portsMutex_);
  const auto it = ports_.find(controller);
  if (it == ports_.end() || !it->second->out) return false;
  it->second->out->sendMessage(bytes, size);
  return true;
}

void MidiHub::run() {
  std::unique_lock lock(wakeMutex_);
  while (!stop_) {
    rescanNow_ = false;
    lock.unlock();
    rescan();
    lock.lock();
    wake_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_ || rescanNow_; });
  }
}

namespace {

template <class Rt>
std::unique_ptr<Rt> makeRt(RtMidi::Api api, const QString& client) {
  try {
    auto rt = std::make_unique<Rt>(api, client.toStdString());
    rt->setErrorCallback(&quietRtMidi, nullptr);
    return rt;
  } catch (const RtMidiError&) {
    return nullptr;
  }
}

template <class Rt>
bool openByName(Rt& rt, const std::string& raw, const std::string& ownName) {
  const unsigned count = rt.getPortCount();
  for (unsigned i = 0; i < count; ++i) {
    if (rt.getPortName(i) != raw) continue;
    rt.openPort(i, ownName);
    return rt.isPortOpen();
  }
  return false;
}

}  // namespace

void MidiHub::rescan() {
  Systems& s = *systems_;
  std::vector<Found> sources, sinks;
  const auto foreign = [this](const QString& name) {
    return !name.startsWith(clientName_, Qt::CaseInsensitive) &&
           !name.startsWith(QStringLiteral("Midi Through"), Qt::CaseInsensitive);
  };

  // ALSA, when the system has a sequencer (tried again now and then).
  if (!s.alsaIn && s.alsaWait-- <= 0) {
    s.alsaWait = 10;
    if (QFileInfo::exists(QStringLiteral("/dev/snd/seq"))) {
      s.alsaIn = makeRt<RtMidiIn>(RtMidi::LINUX_ALSA, clientName_);
      s.alsaOut = makeRt<RtMidiOut>(RtMidi::LINUX_ALSA, clientName_);
      if (!s.alsaOut) s.alsaIn.reset();
    }
  }
  if (s.alsaIn) {
    try {
      for (unsigned i = 0, n = s.alsaIn->getPortCount(); i < n; ++i) {
        const std::string raw = s.alsaIn->getPortName(i);
        const QString name = withoutNumbers(QString::fromStdString(raw));
        if (!raw.empty() && foreign(name)) sources.push_back({RtMidi::LINUX_ALSA, raw, name});
      }
      for (unsigned i = 0, n = s.alsaOut->getPortCount(); i < n; ++i) {
        const std::string raw = s.alsaOut->getPortName(i);
        const QString name = withoutNumbers(QString::fromStdString(raw));
        if (!raw.empty() && foreign(name)) sinks.push_back({RtMidi::LINUX_ALSA, raw, name});
      }
    } catch (const RtMidiError&) {
    }
  }

  // JACK, while a server runs.
  if (s.jack && s.jackGone.load()) {
    jack_client_close(s.jack);
    s.jack = nullptr;
  }
  if (!s.jack) {
    static std::once_flag quiet;
    std::call_once(quiet, [] {
      jack_set_error_function(&quietJack);
      jack_set_info_function(&quietJack);
    });
    s.jackGone = false;
    s.jack = jack_client_open((clientName_ + QStringLiteral("-watch")).toUtf8().constData(),
                              JackNoStartServer, nullptr);
    if (s.jack) {
      jack_on_shutdown(
          s.jack, [](void* gone) { static_cast<std::atomic<bool>*>(gone)->store(true); },
          &s.jackGone);
      jack_activate(s.jack);
    }
  }
  if (s.jack && !s.jackGone.load()) {
    for (const unsigned long flags : {JackPortIsOutput, JackPortIsInput}) {
      const char** names = jack_get_ports(s.jack, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
      for (const char** n = names; n && *n; ++n) {
        const QString name = QString::fromUtf8(*n);
        if (!foreign(name)) continue;
        (flags == JackPortIsOutput ? sources : sinks).push_back({RtMidi::UNIX_JACK, *n, name});
      }
      if (names) jack_free(names);
    }
  }

  // The feedback port of a source: on ALSA the port of the same name, on
  // JACK the port of the same name or else the first of the same client.
  const auto sinkOf = [&sinks](const Found& f) -> const Found* {
    for (const Found& k : sinks)
      if (k.api == f.api && k.name == f.name) return &k;
    if (f.api == RtMidi::UNIX_JACK)
      for (const Found& k : sinks)
        if (k.api == f.api && clientOf(k.name) == clientOf(f.name)) return &k;
    return nullptr;
  };

  bool changed = false;
  // Ports gone: out of the list under the lock, closed outside it.
  std::vector<std::unique_ptr<Port>> gone;
  std::vector<Found> fresh;
  std::vector<std::pair<int, Found>> wantOut;
  {
    std::lock_guard lock(portsMutex_);
    for (auto it = ports_.begin(); it != ports_.end();) {
      bool there = false;
      for (const Found& f : sources) there |= f.api == it->second->api && f.raw == it->second->raw;
      if (there) {
        ++it;
        continue;
      }
      gone.push_back(std::move(it->second));
      it = ports_.erase(it);
    }
    for (const Found& f : sources) {
      bool open = false;
      for (const auto& [id, p] : ports_) {
        if (p->api != f.api || p->raw != f.raw) continue;
        open = true;
        const Found* k = sinkOf(f);
        if (k && (p->outRaw != k->raw)) wantOut.push_back({id, *k});
        if (!k && p->out) {
          gone.push_back(nullptr);  // mark a change
          p->out.reset();
          p->outRaw.clear();
        }
      }
      if (!open) fresh.push_back(f);
    }
  }
  changed = !gone.empty();
  gone.clear();

  const std::string ownIn = "control in";
  const std::string ownOut = "lights out";
  for (const Found& f : fresh) {
    auto port = std::make_unique<Port>();
    port->api = f.api;
    port->raw = f.raw;
    port->name = f.name;
    port->hub = this;
    port->in = makeRt<RtMidiIn>(f.api, clientName_);
    if (!port->in) continue;
    try {
      port->in->setCallback(&Port::received, port.get());
      if (!openByName(*port->in, f.raw, ownIn)) continue;
    } catch (const RtMidiError&) {
      continue;
    }
    if (const Found* k = sinkOf(f)) {
      port->out = makeRt<RtMidiOut>(f.api, clientName_);
      try {
        if (port->out && openByName(*port->out, k->raw, ownOut))
          port->outRaw = k->raw;
        else
          port->out.reset();
      } catch (const RtMidiError&) {
        port->out.reset();
      }
    }
    std::lock_guard lock(portsMutex_);
    port->id = nextId_++;
    ports_[port->id] = std::move(port);
    changed = true;
  }
  for (auto& [id, k] : wantOut) {
    auto out = makeRt<RtMidiOut>(k.api, clientName_);
    try {
      if (!out || !openByName(*out, k.raw, ownOut)) continue;
    } catch (const RtMidiError&) {
      continue;
    }
    std::unique_ptr<RtMidiOut> old;
    std::lock_guard lock(portsMutex_);
    const auto it = ports_.find(id);
    if (it == ports_.end()) continue;
    old = std::move(it->second->out);
    it->second->out = std::move(out);
    it->second->outRaw = k.raw;
    changed = true;
  }
  if (changed) emit controllersChanged();
}

}  // namespace qdl::midi
