// PortAudio backend: real cards. A card's stream is 44100 Hz, 16-bit stereo
// in two callbacks per output buffer (see setOutputBuffer); the mixer runs
// in PortAudio's callback. The default buffer asks for the output latency
// the console always asked for (two callbacks of 5 ms, 8 ms asked, about
// 10 ms given); the others ask for the buffer itself.
// QUANDREL_AUDIO_LATENCY_MS asks for another latency (for cards that drop
// out). A card with nothing to play for two seconds lets its stream
// complete, so that an idle console wakes nobody; the next buffer that plays
// starts it again, on a control thread of the card's own, which also
// reopens the stream when the buffer setting changes.

#include "platform/sound/Backends.h"

#include <portaudio.h>

#include <QHash>
#include <QRegularExpression>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

namespace qdl::sound::detail {
namespace {

// The default buffer: two callbacks of 5 ms make the 10 ms of latency aimed
// at: a card needs no more, and every callback wakes the audio thread (and,
// behind ALSA's PulseAudio plug-in, two more threads).
constexpr int kDefaultBufferFrames = 440;
constexpr double kDefaultLatency = 0.008;

// The stream's parameters for an output buffer of `bufferFrames` frames.
struct StreamShape {
  unsigned long framesPerCallback;
  double latency;  // seconds, as asked of PortAudio
};

StreamShape shapeFor(int bufferFrames) {
  StreamShape shape{
      static_cast<unsigned long>(bufferFrames / 2),
      bufferFrames == kDefaultBufferFrames ? kDefaultLatency : double(bufferFrames) / kCardRate};
  bool ok = false;
  const int ms = qEnvironmentVariableIntValue("QUANDREL_AUDIO_LATENCY_MS", &ok);
  if (ok && ms > 0 && ms <= 1000) shape.latency = ms / 1000.0;
  return shape;
}
// Name space of the name-based GUIDs of PortAudio devices.
const QUuid kGuidNamespace(QStringLiteral("{8F1D4B2E-6A3C-4E57-9B1A-2C7D5E0F3A61}"));

QString paText(PaError e) { return QString::fromUtf8(Pa_GetErrorText(e)); }

// Keeps PortAudio initialised while it lives (PortAudio counts the calls).
class PaSession {
 public:
  PaSession() {
    const PaError e = Pa_Initialize();
    if (e != paNoError)
      throw SoundError(
          QStringLiteral("The sound system cannot be started: %1").arg(paText(e)).toStdString());
  }
  ~PaSession() { Pa_Terminate(); }
  PaSession(const PaSession&) = delete;
  PaSession& operator=(const PaSession&) = delete;
};

struct PaEntry {
  PaDeviceIndex index;
  QUuid guid;
  QString description;
  QString module;
};

// Output devices with at least two channels. The GUID hashes host API and
// device name; a name that occurs under several host APIs gets the host API
// in its description, so descriptions stay unique.
std::vector<PaEntry> paEntries() {
  std::vector<PaEntry> entries;
  QHash<QString, int> nameCount, keyCount;
  for (PaDeviceIndex i = 0; i < Pa_GetDeviceCount(); ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (!info || info->maxOutputChannels < 2) continue;
    const PaHostApiInfo* host = Pa_GetHostApiInfo(info->hostApi);
    const QString module = host ? QString::fromUtf8(host->name) : QStringLiteral("PortAudio");
    const QString name = stableDeviceName(QString::fromUtf8(info->name));
    QString key = module + u'/' + name;
    if (const int n = ++keyCount[key]; n > 1) key += QStringLiteral("#%1").arg(n);
    ++nameCount[name];
    entries.push_back({i, QUuid::createUuidV5(kGuidNamespace, key), name, module});
  }
  QHash<QString, int> seen;
  for (PaEntry& e : entries) {
    if (nameCount.value(e.description) > 1) e.description += QStringLiteral(" (%1)").arg(e.module);
    if (const int n = ++seen[e.description]; n > 1) e.description += QStringLiteral(" #%1").arg(n);
  }
  return entries;
}

}  // namespace

QString stableDeviceName(const QString& name) {
  static const QRegularExpression alsaIndex(QStringLiteral("\\s*\\(hw:\\d+(,\\d+)?\\)\\s*$"));
  QString stable = name;
  stable.remove(alsaIndex);
  return stable.isEmpty() ? name : stable;
}

namespace {

class PortAudioOutput final : public Output {
 public:
  PortAudioOutput(Card& card, PaDeviceIndex index, int bufferFrames)
      : card_(card), index_(index), bufferFrames_(bufferFrames) {
    PaError e = openStream(bufferFrames);
    if (e == paNoError) e = Pa_StartStream(stream_);
    if (e != paNoError) {
      if (stream_) Pa_CloseStream(stream_);
      throw SoundError(QStringLiteral("The sound card \"%1\" cannot play: %2")
                           .arg(card.description(), paText(e))
                           .toStdString());
    }
    control_ = std::thread([this] { runControl(); });
  }

  ~PortAudioOutput() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wakeControl_.notify_all();
    control_.join();
    closing_ = true;
    if (stream_) {
      Pa_StopStream(stream_);
      Pa_CloseStream(stream_);
    }
  }

  int framesPerBuffer() const override { return framesPerCallback_.load(); }
  double latency() const override { return latency_.load(); }

  // The card woke: its stream completed, or is completing the block that let
  // the card sleep. The stream's own thread stops and starts it again.
  void resume() override {
    {
      std::lock_guard lock(mutex_);
      restart_ = true;
    }
    wakeControl_.notify_one();
  }

  void setBufferFrames(int frames) override {
    {
      std::lock_guard lock(mutex_);
      wantedFrames_ = frames;
    }
    wakeControl_.notify_one();
  }

 private:
  // Opens the stream (not started) with a buffer of `bufferFrames`.
  PaError openStream(int bufferFrames) {
    const StreamShape shape = shapeFor(bufferFrames);
    PaStreamParameters params{};
    params.device = index_;
    params.channelCount = 2;
    params.sampleFormat = paInt16;
    params.suggestedLatency = shape.latency;
    stream_ = nullptr;
    PaError e = Pa_OpenStream(&stream_, nullptr, &params, kCardRate, shape.framesPerCallback,
                              paClipOff, &PortAudioOutput::callback, this);
    if (e == paNoError) {
      if (const PaStreamInfo* si = Pa_GetStreamInfo(stream_)) latency_ = si->outputLatency;
      framesPerCallback_ = int(shape.framesPerCallback);
      e = Pa_SetStreamFinishedCallback(stream_, &PortAudioOutput::finished);
      if (e != paNoError) {
        Pa_CloseStream(stream_);
        stream_ = nullptr;
      }
    }
    return e;
  }

  static int callback(const void*, void* out, unsigned long frames,
                      const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags, void* self) {
    auto* me = static_cast<PortAudioOutput*>(self);
    if (!me->scheduled_) {
      // Once, before the first block: the callback's thread asks for
      // real-time priority (PortAudio's thread lives as long as the stream).
      me->scheduled_ = true;
      requestRealtimeScheduling("sound card", kCallbackPriority);
    }
    double lat = time ? time->outputBufferDacTime - time->currentTime : 0.0;
    if (!(lat > 0.0 && lat < 2.0)) lat = me->latency_.load(std::memory_order_relaxed);
    if (!me->card_.render(static_cast<std::int16_t*>(out), int(frames), lat * kCardRate))
      return paContinue;
    // Nothing to play for a while: the stream completes after this block
    // (silence) and wakes nobody until a buffer plays again.
    me->completed_ = true;
    return paComplete;
  }

  // The stream ended without being stopped here or completing for the
  // card's sleep: the card is gone.
  static void finished(void* self) {
    auto* me = static_cast<PortAudioOutput*>(self);
    if (!me->closing_ && !me->reopening_ && !me->completed_) me->card_.markLost();
  }

  // Stops and starts the stream when the card wakes, and reopens it when the
  // buffer setting changes, so that neither the window nor any other caller
  // waits for the sound server.
  void runControl() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wakeControl_.wait(lock, [this] { return quit_ || restart_ || wantedFrames_ != 0; });
      if (quit_) return;
      if (const int frames = std::exchange(wantedFrames_, 0);
          frames != 0 && frames != bufferFrames_) {
        lock.unlock();
        reopen(frames);
        lock.lock();
        continue;
      }
      if (!restart_) continue;
      restart_ = false;
      if (!stream_) continue;  // a reopen failed: the card is lost
      lock.unlock();
      Pa_StopStream(stream_);  // waits for the block that let the card sleep
      completed_ = false;
      scheduled_ = false;  // a started stream may call back on a new thread
      if (Pa_StartStream(stream_) != paNoError) card_.markLost();
      lock.lock();
    }
  }

  // Closes the stream and opens it with the new buffer; the card's voices
  // stay as they are, so what plays pauses for the reopen and goes on where
  // it was. (The old stream closes first: a card may take one stream at a
  // time.) A buffer the card refuses leaves the old one.
  void reopen(int frames) {
    card_.streamPausing();
    reopening_ = true;
    if (stream_) {
      Pa_StopStream(stream_);  // returns once the last callback has returned
      Pa_CloseStream(stream_);
    }
    PaError e = openStream(frames);
    if (e == paNoError)
      bufferFrames_ = frames;
    else
      e = openStream(bufferFrames_);
    completed_ = false;
    scheduled_ = false;
    reopening_ = false;
    if (e != paNoError) {
      card_.markLost();
      return;
    }
    // A sleeping card starts its stream when it wakes (resume); one that is
    // awake plays on at once.
    std::unique_lock lock(mutex_);
    if (card_.isAsleep() && !restart_) return;
    restart_ = false;
    lock.unlock();
    card_.streamPausing();
    if (Pa_StartStream(stream_) != paNoError) card_.markLost();
  }

  PaSession session_;
  Card& card_;
  PaDeviceIndex index_;
  PaStream* stream_ = nullptr;  // the control thread's, once it runs
  int bufferFrames_;            // the stream's buffer (the control thread's)
  std::atomic<int> framesPerCallback_{0};
  std::atomic<double> latency_{0.0};
  std::atomic<bool> closing_{false};
  std::atomic<bool> reopening_{false};
  bool scheduled_ = false;  // the callback's thread asked for its priority
  // The stream completed because the card fell asleep; cleared when the
  // stream is started again.
  std::atomic<bool> completed_{false};
  std::mutex mutex_;
  std::condition_variable wakeControl_;
  bool quit_ = false;     // guarded by mutex_
  bool restart_ = false;  // guarded by mutex_
  int wantedFrames_ = 0;  // a buffer to reopen with, 0 for none (mutex_)
  std::thread control_;
};

}  // namespace

std::vector<DeviceInfo> listPortAudioDevices() {
  PaSession session;
  std::vector<DeviceInfo> list;
  list.push_back({std::nullopt, QStringLiteral("Primary Sound Driver"), QString()});
  for (const PaEntry& e : paEntries()) list.push_back({e.guid, e.description, e.module});
  return list;
}

std::shared_ptr<Card> openPortAudioCard(const std::optional<QUuid>& guid) {
  PaSession session;
  PaDeviceIndex index = paNoDevice;
  QString description;
  const std::vector<PaEntry> entries = paEntries();
  if (guid) {
    for (const PaEntry& e : entries)
      if (e.guid == *guid) {
        index = e.index;
        description = e.description;
      }
    if (index == paNoDevice)
      throw SoundError(QStringLiteral("The sound device %1 is not present")
                           .arg(guidToText(*guid))
                           .toStdString());
  } else {
    index = Pa_GetDefaultOutputDevice();
    if (index == paNoDevice) throw SoundError("There is no default sound device");
    description = QStringLiteral("Primary Sound Driver");
    for (const PaEntry& e : entries)
      if (e.index == index) description = e.description;
  }
  return findOrCreateCard(QStringLiteral("pa:%1").arg(index), [&] {
    auto card = std::make_shared<Card>(description);
    card->setOutput(
        std::make_unique<PortAudioOutput>(*card, index, outputBufferFrames(outputBuffer())));
    return card;
  });
}

}  // namespace qdl::sound::detail
