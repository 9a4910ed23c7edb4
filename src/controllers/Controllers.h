#pragma once
// The console's MIDI controllers: the ports of platform/midi, a mapping per
// controller (Mapping.h) and the named actions they run.
//
// A controller's mapping is the file "<controller>.txt" in the Controller
// folder beside qdl.ini; a controller without one is driven by the shipped
// mapping "Generic". "use NAME" finds NAME.txt in that folder first, then
// among the shipped mappings (the Qt resource :/controller/).
//
// Messages come from the hub's threads, queued; they are run here on the
// window's thread. Lights: every binding marked "led" sends its action's
// state when it changes and all of them when the controller is connected or
// its mapping is read.
//
// While learning is on, messages run nothing: heard() hands them to the
// learn window, which calls learn().

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "controllers/Mapping.h"
#include "platform/midi/MidiHub.h"

class QTimer;

namespace qdl::control {
class Actions;
}

namespace qdl::controllers {

class Controllers : public QObject {
  Q_OBJECT
 public:
  // `folder` is the Controller folder (created when a mapping is saved).
  Controllers(control::Actions* actions, const QString& folder, QObject* parent = nullptr);
  ~Controllers() override;

  // Opens the MIDI ports unless QUANDREL_MIDI is "off".
  void start();
  // Closes every port (the console closes).
  void stop();
  midi::MidiHub* hub() const { return hub_.get(); }
  QString folder() const { return folder_; }

  QList<midi::ControllerPort> controllers() const;
  // The mapping in force for a controller; nullptr for an unknown id.
  const Mapping* mappingOf(int controller) const;
  // Whether the controller follows its own file (else the shipped Generic).
  bool hasOwnFile(int controller) const;
  // The actions of the console, as the table lists them.
  QList<control::ActionInfo> actionList() const;
  // The controller's own mapping file (it need not exist).
  QString mappingPath(const QString& controllerName) const;
  // A controller's name as a file name ("Pads:Pads MIDI 1" -> "Pads_Pads MIDI 1").
  static QString fileNameOf(const QString& controllerName);
  // The mappings that come with the program, and those of the folder.
  static QStringList shippedMappings();
  QStringList mappingNames() const;
  // A mapping's bytes by name (the folder first, then the shipped ones).
  QByteArray mappingBytes(const QString& name, QString* why) const;
  // Reads the mapping of every controller again and sends the lights.
  void reloadMappings();

  // Learning: while on, messages go to heard() and run nothing.
  void setLearning(bool on) { learning_ = on; }
  bool learning() const { return learning_; }

  struct Learned {
    QString error;       // why nothing was bound (empty when bound)
    Binding binding;     // what was bound
    QString replaced;    // the target the message ran before, if another
    QStringList alsoOn;  // other messages that run the same target
  };
  // Binds `message` of `controller` to `target` (an action, "links.jog",
  // "shift") in the controller's own file and saves it (safe writer).
  Learned learn(int controller, const QString& target, const midi::MidiMessage& message);
  // Makes the controller's own file take NAME's bindings ("use NAME"); its
  // own bindings stay. Empty on success, else the reason.
  QString useMapping(int controller, const QString& name);

  // Runs what is waiting (the hub wakes this; tests may call it).
  void drain();
  // Messages run or handed to learning since the start.
  quint64 handled() const { return handled_; }

 signals:
  void controllersChanged();
  void heard(int controller, const qdl::midi::MidiMessage& message);
  // Problems of a mapping when it is read, one text each, with its file.
  void problems(const QString& controller, const QStringList& texts);

 private:
  struct Live;
  void portsChanged();
  void load(Live& live);
  void run(Live& live, const midi::MidiMessage& m);
  void runBinding(Live& live, const Binding& b, const midi::MidiMessage& m);
  void jog(const QString& side, int steps, int step);
  void sendState(Live& live, const Binding& b, int state);
  void sendAll(Live& live);
  void stateChanged(const QString& name, int state);
  // The controller's own mapping file as it stands (named after the
  // controller when it has none); `why` says when it cannot be read.
  MappingFile ownMapping(const Live& live, QString* why) const;
  // Writes the controller's own file and follows it at once.
  QString saveOwnMapping(Live& live, const MappingFile& file);

  control::Actions* const actions_;
  const QString folder_;
  std::unique_ptr<midi::MidiHub> hub_;
  QHash<int, std::shared_ptr<Live>> live_;
  bool learning_ = false;
  quint64 handled_ = 0;
  struct Bend {
    QTimer* timer = nullptr;
    int direction = 0;  // +1 up, -1 down, 0 none held
  };
  QHash<QString, Bend> bends_;
};

}  // namespace qdl::controllers
