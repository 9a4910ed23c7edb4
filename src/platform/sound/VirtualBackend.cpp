// Virtual backend: two cards without hardware. With the manual clock the
// caller renders them (VirtualCards::advance); with the real-time clock a
// thread per open card renders the output buffer every buffer's time (10 ms
// every 10 ms by default), and sleeps while the card has nothing to play.

#include "platform/sound/Backends.h"
#include "platform/sound/VirtualCards.h"
#include "platform/sound/WavWriter.h"

#include <QDir>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <thread>

namespace qdl::sound {
namespace {

using namespace detail;

const std::array<QUuid, VirtualCards::kCount> kGuids = {
    QUuid(QStringLiteral("{2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0A01}")),
    QUuid(QStringLiteral("{2C6E0A51-7B0D-4F4B-9E1A-51A7C0DE0B02}"))};

// What each virtual card has rendered: a frame count always, and the samples
// themselves for the manual clock until the caller takes them.
struct Tap {
  std::mutex mutex;
  std::vector<std::int16_t> captured;
  std::atomic<std::int64_t> rendered{0};
  int opens = 0;  // numbers the capture files of one run
};
std::array<Tap, VirtualCards::kCount> taps;

QString cardKey(int card) { return QStringLiteral("virtual:%1").arg(card); }

void checkCard(int card) {
  if (card < 0 || card >= VirtualCards::kCount)
    throw SoundError(QStringLiteral("There is no virtual card %1").arg(card).toStdString());
}

class RealtimeOutput final : public Output {
 public:
  RealtimeOutput(Card& card, int index, int bufferFrames)
      : card_(card), index_(index), step_(stepFor(bufferFrames)), block_(2 * kMaxStep) {
    thread_ = std::thread([this] { run(); });
  }
  ~RealtimeOutput() override {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  int framesPerBuffer() const override { return step_.load(); }
  double latency() const override { return 0.0; }
  void resume() override {
    {
      std::lock_guard lock(mutex_);
      resumed_ = true;
    }
    wake_.notify_all();
  }
  // The next step renders the new buffer; nothing to reopen.
  void setBufferFrames(int frames) override { step_ = stepFor(frames); }

 private:
  void run() {
    requestRealtimeScheduling("virtual sound card", kCallbackPriority);
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      const int step = step_.load();
      const auto period = std::chrono::nanoseconds(std::int64_t(1000000000) * step / kCardRate);
      const bool idle = card_.render(block_.data(), step, 0.0);
      taps[size_t(index_)].rendered += step;
      lock.lock();
      if (idle && !resumed_) {
        // Nothing to play: the thread sleeps until a buffer plays again.
        wake_.wait(lock, [this] { return stop_ || resumed_; });
        next = clock::now();
      } else {
        next += period;
        if (clock::now() - next > std::chrono::milliseconds(200)) next = clock::now();  // resync
        wake_.wait_until(lock, next, [this] { return stop_; });
      }
      resumed_ = false;
    }
  }

  static constexpr int kMaxStep = 1024;  // frames; above the largest buffer
  // The default buffer renders 10 ms exactly, as this card always did.
  static int stepFor(int bufferFrames) {
    return bufferFrames == outputBufferFrames(kDefaultOutputBuffer)
               ? kCardRate / 100
               : std::clamp(bufferFrames, 1, kMaxStep);
  }
  Card& card_;
  int index_;
  std::atomic<int> step_;  // frames rendered per step: the output buffer
  std::vector<std::int16_t> block_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool resumed_ = false;  // the card woke up (guarded by mutex_)
  std::thread thread_;
};

// The capture file of an opened virtual card, when QUANDREL_AUDIO_CAPTURE names a folder.
std::unique_ptr<WavWriter> captureFor(int card) {
  const QString dir = qEnvironmentVariable("QUANDREL_AUDIO_CAPTURE");
  if (dir.isEmpty()) return nullptr;
  QDir().mkpath(dir);
  const int n = ++taps[size_t(card)].opens;
  QString name = QStringLiteral("quandrel-card-%1").arg(QChar(u'a' + card));
  if (n > 1) name += QStringLiteral("-%1").arg(n);
  return std::make_unique<WavWriter>(QDir(dir).filePath(name + QStringLiteral(".wav")));
}

// How many virtual cards are plugged in: QUANDREL_AUDIO_VIRTUAL_CARDS (0 up to
// kCount; unset or empty means all). Lets tests see a machine with one card
// or none; the cards present are always the first ones (A, then B).
int presentCards() {
  const QString value = qEnvironmentVariable("QUANDREL_AUDIO_VIRTUAL_CARDS").trimmed();
  if (value.isEmpty()) return VirtualCards::kCount;
  bool ok = false;
  const int n = value.toInt(&ok);
  if (!ok || n < 0 || n > VirtualCards::kCount)
    throw SoundError(QStringLiteral("QUANDREL_AUDIO_VIRTUAL_CARDS must be a number from 0 to %1, "
                                    "not \"%2\"")
                         .arg(VirtualCards::kCount)
                         .arg(value)
                         .toStdString());
  return n;
}

}  // namespace

namespace detail {

std::vector<DeviceInfo> listVirtualDevices() {
  std::vector<DeviceInfo> list;
  list.push_back({std::nullopt, QStringLiteral("Primary Sound Driver"), QStringLiteral("virtual")});
  const int present = presentCards();
  for (int i = 0; i < present; ++i)
    list.push_back({kGuids[size_t(i)], VirtualCards::description(i), QStringLiteral("virtual")});
  return list;
}

std::shared_ptr<Card> openVirtualCard(const std::optional<QUuid>& guid, bool realtime) {
  const int present = presentCards();
  int index = 0;  // the default device is card A
  if (!guid && present == 0) throw SoundError("No sound device is present");
  if (guid) {
    index = -1;
    for (int i = 0; i < present; ++i)
      if (kGuids[size_t(i)] == *guid) index = i;
    if (index < 0)
      throw SoundError(QStringLiteral("The sound device %1 is not present")
                           .arg(guidToText(*guid))
                           .toStdString());
  }
  return findOrCreateCard(cardKey(index), [&] {
    auto card = std::make_shared<Card>(VirtualCards::description(index));
    card->setCapture(captureFor(index));
    if (realtime)
      card->setOutput(
          std::make_unique<RealtimeOutput>(*card, index, outputBufferFrames(outputBuffer())));
    return card;
  });
}

}  // namespace detail

QUuid VirtualCards::guid(int card) {
  checkCard(card);
  return kGuids[size_t(card)];
}

QString VirtualCards::description(int card) {
  checkCard(card);
  return QStringLiteral("Virtual Card %1").arg(QChar(u'A' + card));
}

void VirtualCards::advance(int card, int frames) {
  checkCard(card);
  if (currentBackend() != Backend::Virtual)
    throw SoundError("The manual clock needs QUANDREL_AUDIO=virtual");
  if (frames <= 0) return;
  std::vector<std::int16_t> out(size_t(frames) * 2, 0);
  if (const std::shared_ptr<Card> c = findCard(cardKey(card))) {
    std::lock_guard lock(c->control);  // the manual clock renders on the caller's thread
    c->render(out.data(), frames, -1.0);
  }
  Tap& tap = taps[size_t(card)];
  tap.rendered += frames;
  std::lock_guard lock(tap.mutex);
  tap.captured.insert(tap.captured.end(), out.begin(), out.end());
}

std::vector<std::int16_t> VirtualCards::takeCaptured(int card) {
  checkCard(card);
  Tap& tap = taps[size_t(card)];
  std::lock_guard lock(tap.mutex);
  return std::exchange(tap.captured, {});
}

void VirtualCards::unplug(int card) {
  checkCard(card);
  if (const std::shared_ptr<Card> c = findCard(cardKey(card))) c->markLost();
}

std::int64_t VirtualCards::renderedFrames(int card) {
  checkCard(card);
  return taps[size_t(card)].rendered;
}

}  // namespace qdl::sound
