#pragma once
// A MIDI controller for the tests: a JACK client "qdlpad" with an output
// port "pads" (what the controller sends) and an input port "leds" (what
// the console sends back). Opening and closing the client plugs the
// controller in and out. Messages to send wait in a list the JACK process
// callback empties, at most kPerCycle a cycle.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QProcess>
#include <QString>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace qdl::test {

class JackPad {
 public:
  using Bytes = std::vector<std::uint8_t>;
  static constexpr int kPerCycle = 64;

  JackPad() = default;
  ~JackPad() { close(); }

  bool open() {
    if (client_) return true;
    client_ = jack_client_open("qdlpad", JackNoStartServer, nullptr);
    if (!client_) return false;
    out_ = jack_port_register(client_, "pads", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    in_ = jack_port_register(client_, "leds", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &JackPad::process, this);
    return out_ && in_ && jack_activate(client_) == 0;
  }
  void close() {
    if (!client_) return;
    jack_client_close(client_);
    client_ = nullptr;
    std::lock_guard lock(mutex_);
    outbox_.clear();
  }

  void send(Bytes bytes) {
    std::lock_guard lock(mutex_);
    outbox_.push_back(std::move(bytes));
  }
  std::size_t waiting() const {
    std::lock_guard lock(mutex_);
    return outbox_.size();
  }
  // What the console sent back since the last call.
  std::vector<Bytes> received() {
    std::lock_guard lock(mutex_);
    std::vector<Bytes> r;
    r.swap(inbox_);
    return r;
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto* pad = static_cast<JackPad*>(self);
    void* out = jack_port_get_buffer(pad->out_, frames);
    void* in = jack_port_get_buffer(pad->in_, frames);
    jack_midi_clear_buffer(out);
    std::lock_guard lock(pad->mutex_);
    for (int i = 0; i < kPerCycle && !pad->outbox_.empty(); ++i) {
      const Bytes& b = pad->outbox_.front();
      if (jack_midi_event_write(out, jack_nframes_t(i) % frames, b.data(), b.size()) != 0) break;
      pad->outbox_.pop_front();
    }
    const jack_nframes_t count = jack_midi_get_event_count(in);
    for (jack_nframes_t i = 0; i < count; ++i) {
      jack_midi_event_t e;
      if (jack_midi_event_get(&e, in, i) == 0)
        pad->inbox_.emplace_back(e.buffer, e.buffer + e.size);
    }
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* out_ = nullptr;
  jack_port_t* in_ = nullptr;
  mutable std::mutex mutex_;
  std::deque<Bytes> outbox_;
  std::vector<Bytes> inbox_;
};

}  // namespace qdl::test
