#pragma once
// The console's MIDI ports over RtMidi: every MIDI output port of another
// program or device is a controller. The ALSA sequencer (USB controllers)
// is used when the system has one, and JACK MIDI while a JACK server runs;
// the console connects the ports itself.
//
// A thread of the hub's own looks at the ports once a second: a
// controller plugged in is opened, one gone is closed (so a controller is
// noticed within about a second, and an idle console wakes for it only
// once a second). Messages are parsed on the thread that
// receives them (RtMidi's) and queued (MidiQueue) for the thread the hub
// lives on, which messagesWaiting() wakes; take() gets them. Nothing here
// touches the sound: a controller pulled out loses its port and nothing
// else.
//
// A controller's feedback port (for its lights) is the input port of the
// same device: on ALSA the port of the same name, on JACK one of the same
// client.
//
// Set QUANDREL_MIDI=off in the environment to leave MIDI alone.

#include <QList>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/midi/MidiQueue.h"

namespace qdl::midi {

struct ControllerPort {
  int id = 0;             // unique while the hub lives; a port opened again gets a new one
  QString name;           // the port's name without ALSA's numbers ("Pads:Pads MIDI 1")
  QString system;         // "ALSA" or "JACK"
  bool feedback = false;  // lights can be sent back
};

class MidiHub : public QObject {
  Q_OBJECT
 public:
  // `clientName` names the console's own ports; ports of clients whose
  // name begins with it are never taken for controllers.
  explicit MidiHub(const QString& clientName = QStringLiteral("Quandrel"),
                   QObject* parent = nullptr);
  ~MidiHub() override;  // stops the thread and closes every port

  // Starts the thread (the first look at the ports happens at once).
  void start();
  // Whether MIDI is wanted (QUANDREL_MIDI is not "off").
  static bool wanted();

  QList<ControllerPort> controllers() const;
  // The messages waiting, oldest first.
  std::vector<Incoming> take() { return queue_.takeAll(); }
  const MidiQueue& queue() const { return queue_; }
  // Sends a short message (1 to 3 bytes) to a controller's feedback port.
  // False when the controller is gone or has no feedback port.
  bool send(int controller, const std::uint8_t* bytes, std::size_t size);
  // Looks at the ports now (also done by the thread once a second).
  void rescanSoon();

  struct Port;  // an open controller (MidiHub.cpp)
  struct Scan;  // what one look at the ports found

 signals:
  void messagesWaiting();
  void controllersChanged();

 private:
  void run();
  void rescan();
  void notify();

  const QString clientName_;
  MidiQueue queue_;
  mutable std::mutex portsMutex_;  // guards ports_ (the list and the sends)
  std::map<int, std::unique_ptr<Port>> ports_;
  int nextId_ = 1;

  std::mutex wakeMutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool rescanNow_ = false;
  std::thread thread_;
  std::atomic<bool> notifying_{false};
  struct Systems;
  std::unique_ptr<Systems> systems_;  // the enumerating clients, only on the thread
};

}  // namespace qdl::midi
