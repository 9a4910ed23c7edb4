#include "platform/sound/Backends.h"
#include "platform/sound/SoundBufferImpl.h"

#include <QHash>

namespace qdl::sound {
namespace {

std::mutex registryMutex;
QHash<QString, std::weak_ptr<detail::Card>>& registry() {
  static QHash<QString, std::weak_ptr<detail::Card>> cards;
  return cards;
}

}  // namespace

namespace detail {

std::shared_ptr<Card> findOrCreateCard(const QString& key,
                                       const std::function<std::shared_ptr<Card>()>& create) {
  std::lock_guard lock(registryMutex);
  if (std::shared_ptr<Card> card = registry().value(key).lock()) return card;
  std::shared_ptr<Card> card = create();
  registry().insert(key, card);
  return card;
}

std::shared_ptr<Card> findCard(const QString& key) {
  std::lock_guard lock(registryMutex);
  return registry().value(key).lock();
}

void forEachCard(const std::function<void(Card&)>& visit) {
  std::vector<std::shared_ptr<Card>> cards;
  {
    std::lock_guard lock(registryMutex);
    for (const std::weak_ptr<Card>& weak : registry())
      if (std::shared_ptr<Card> card = weak.lock()) cards.push_back(std::move(card));
  }
  for (const std::shared_ptr<Card>& card : cards) visit(*card);
}

}  // namespace detail

namespace {
std::atomic<int> chosenBuffer{kDefaultOutputBuffer};
}  // namespace

int outputBufferFrames(int milliseconds) {
  switch (milliseconds) {
    case 3:
      return 128;
    case 6:
      return 256;
    case 10:
      return 440;
    case 11:
      return 512;
    default:
      return 0;
  }
}

void setOutputBuffer(int milliseconds) {
  const int frames = outputBufferFrames(milliseconds);
  if (frames == 0)
    throw SoundError(QStringLiteral("%1 ms is no output buffer of the cards (3, 6, 10 or 11 ms)")
                         .arg(milliseconds)
                         .toStdString());
  // Taken before the cards are visited: a card opened meanwhile opens with it.
  chosenBuffer.store(milliseconds);
  detail::forEachCard([frames](detail::Card& card) {
    if (detail::Output* out = card.output()) out->setBufferFrames(frames);
  });
}

int outputBuffer() { return chosenBuffer.load(); }

struct Device::Impl {
  std::shared_ptr<detail::Card> card;
  std::shared_ptr<detail::DeviceState> state = std::make_shared<detail::DeviceState>();
  std::optional<QUuid> guid;
};

std::vector<DeviceInfo> enumerateDevices() {
  return currentBackend() == Backend::PortAudio ? detail::listPortAudioDevices()
                                                : detail::listVirtualDevices();
}

std::unique_ptr<Device> Device::open(const std::optional<QUuid>& guid) {
  auto impl = std::make_shared<Impl>();
  impl->guid = guid;
  switch (currentBackend()) {
    case Backend::PortAudio:
      impl->card = detail::openPortAudioCard(guid);
      break;
    case Backend::Virtual:
      impl->card = detail::openVirtualCard(guid, false);
      break;
    case Backend::VirtualRealtime:
      impl->card = detail::openVirtualCard(guid, true);
      break;
  }
  return std::unique_ptr<Device>(new Device(std::move(impl)));
}

Device::Device(std::shared_ptr<Impl> impl) : d_(std::move(impl)) {}

Device::~Device() {
  d_->state->primaryPlaying = false;
  d_->state->open = false;
}

std::optional<QUuid> Device::guid() const { return d_->guid; }
QString Device::description() const { return d_->card->description(); }

void Device::playPrimary() {
  d_->state->primaryPlaying = true;
  d_->card->wake();
}

void Device::stopPrimary() { d_->state->primaryPlaying = false; }

bool Device::isPrimaryPlaying() const { return d_->state->primaryPlaying; }

int Device::framesPerBuffer() const {
  const detail::Output* out = d_->card->output();
  return out ? out->framesPerBuffer() : 0;
}

bool Device::isLost() const { return d_->card->isLost(); }

void Device::setTap(std::shared_ptr<OutputTap> tap) { d_->card->setTap(std::move(tap)); }

double Device::outputLatency() const {
  const detail::Output* out = d_->card->output();
  return out ? out->latency() : 0.0;
}

std::unique_ptr<SoundBuffer> Device::createBuffer(const WaveFormat& format, int bytes) {
  auto describe = [&] {
    return QStringLiteral("%1 channel(s), %2 Hz, %3 bit, %4 bytes")
        .arg(format.channels)
        .arg(format.sampleRate)
        .arg(format.bitsPerSample)
        .arg(bytes);
  };
  if (format.channels < 1 || format.channels > 2 ||
      (format.bitsPerSample != 8 && format.bitsPerSample != 16) ||
      format.sampleRate < detail::kMinFrequency || format.sampleRate > detail::kMaxFrequency)
    throw SoundError(QStringLiteral("Unsupported sound format: %1").arg(describe()).toStdString());
  if (bytes <= 0 || bytes > (64 << 20) || bytes % format.blockAlign() != 0)
    throw SoundError(
        QStringLiteral("Unsupported sound buffer size: %1").arg(describe()).toStdString());

  auto impl = std::make_unique<SoundBuffer::Impl>();
  impl->card = d_->card;
  impl->voice = std::make_unique<detail::Voice>(format, bytes, d_->state);
  impl->staging.resize(size_t(bytes));
  const detail::KernelBank* bank =
      detail::kernelBankForStep(double(format.sampleRate) / detail::kCardRate);
  impl->voice->setFrequencyLocked(format.sampleRate, bank);
  impl->voice->publish({});
  impl->frequency = format.sampleRate;
  {
    std::lock_guard lock(d_->card->control);
    if (d_->card->voiceCount >= detail::Card::kMaxVoices)
      throw SoundError(QStringLiteral("A sound card plays at most %1 buffers at once")
                           .arg(detail::Card::kMaxVoices)
                           .toStdString());
    ++d_->card->voiceCount;
  }
  detail::Command add;
  add.kind = detail::Command::AddVoice;
  add.voice = impl->voice.get();
  d_->card->run(add, false);
  return std::unique_ptr<SoundBuffer>(new SoundBuffer(std::move(impl)));
}

}  // namespace qdl::sound
