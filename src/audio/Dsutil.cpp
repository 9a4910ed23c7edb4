#include "audio/Dsutil.h"

#include "audio/DeckFeeder.h"

#include "platform/ini/IniFile.h"
#include "platform/stretch/KeyLock.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstring>

namespace qdl {

void PrimaryBufferHandle::Play() {
  if (device_) device_->playPrimary();
}

void PrimaryBufferHandle::Stop() {
  if (device_) device_->stopPrimary();
}

bool PrimaryBufferHandle::IsPlaying() const { return device_ && device_->isPrimaryPlaying(); }

}  // namespace qdl

// ---- TSoundDevice

TSoundDevice::TSoundDevice(QWidget* /*window*/, const std::optional<QUuid>& guid)
    : DirectSound(qdl::sound::Device::open(guid)) {
  // The sound layer opens every card with the fixed primary format of 44100
  // Hz, 16 bit, stereo; what is left is to keep the primary buffer playing.
  PrimaryBuffer = qdl::PrimaryBufferHandle(DirectSound.get());
  PrimaryBuffer.Play();
}

TSoundDevice::~TSoundDevice() {
  PrimaryBuffer.Stop();
  PrimaryBuffer = qdl::PrimaryBufferHandle();
  DirectSound.reset();
}

// ---- TStreamPlayer

namespace {

QString withFile(const QString& fileName, const QString& what) {
  return fileName + QStringLiteral(": ") + what;
}

std::unique_ptr<qdl::sound::SoundBuffer> createRing(qdl::sound::Device& device,
                                                    const qdl::TMp3Source& source,
                                                    const QString& fileName, const char* which) {
  const qdl::sound::WaveFormat format{source.Channels, source.SampleRate, source.BitsPerSample};
  try {
    return device.createBuffer(format, source.BufferBytes);
  } catch (const qdl::sound::SoundError& e) {
    throw qdl::sound::SoundError(
        withFile(fileName, QStringLiteral("cannot create the %1 sound buffer: %2")
                               .arg(QLatin1String(which), QString::fromUtf8(e.what())))
            .toStdString());
  }
}

}  // namespace

TStreamPlayer::TStreamPlayer(qdl::sound::Device* mainSound, qdl::sound::Device* headSound,
                             const QString& fileName)
    : MainSound(mainSound), HeadSound(headSound) {
  if (!MainSound)
    throw qdl::sound::SoundError(
        withFile(fileName, QStringLiteral("no output device")).toStdString());
  Source = std::make_unique<qdl::TMp3Source>(fileName);
  MainBuffer = createRing(*MainSound, *Source, fileName, "main");
  if (HeadSound) HeadBuffer = createRing(*HeadSound, *Source, fileName, "headphone");
  HalfBytes = Source->BufferBytes / 2;
  frequency_ = Source->SampleRate;
  NearEnd = 0;
  EndCount = 0;
  block_.resize(static_cast<std::size_t>(HalfBytes));
  const int frameBytes = Source->Channels * Source->BitsPerSample / 8;
  stage_ = std::make_unique<qdl::stretch::KeyLock>(Source->SampleRate, Source->Channels,
                                                   HalfBytes / frameBytes);
  ring_.resize(static_cast<std::size_t>(Source->BufferBytes));
  // Play, pause, cue and seeks glide in and out instead of jumping to or
  // from the middle of a waveform.
  for (qdl::sound::SoundBuffer* buffer : {MainBuffer.get(), HeadBuffer.get()})
    if (buffer) buffer->setFadeFrames(kFadeFrames);
  // A card with a clock of its own plays on whatever the window does: the
  // feeder keeps its ring filled.
  fed_ = MainSound->framesPerBuffer() > 0;
  if (fed_) qdl::DeckFeeder::instance().add(this);
}

TStreamPlayer::~TStreamPlayer() {
  if (fed_) qdl::DeckFeeder::instance().remove(this);
  MainBuffer.reset();
  HeadBuffer.reset();
  Source.reset();
}

bool TStreamPlayer::readBlock(std::uint8_t* dest) {
  // Key lock shifts the key down by what the playback frequency raises it.
  const double scale = double(Source->SampleRate) / std::max(1, frequency_.load());
  auto* pcm = reinterpret_cast<std::int16_t*>(dest);
  const bool end = stage_->next(pcm, keyLock_, scale, [this](std::int16_t* to) {
    heldTimes_.push_back(Source->GetTime());
    return Source->ReadBlock(reinterpret_cast<std::uint8_t*>(to)) == 10;
  });
  const auto held = static_cast<std::size_t>(stage_->heldFrames() / stage_->blockFrames());
  while (heldTimes_.size() > held) heldTimes_.pop_front();
  return end;
}

void TStreamPlayer::FillHalf(int offset) {
  if (readBlock(block_.data())) ++EndCount;
  writtenEnd_ = offset == 0 ? HalfBytes : 0;
  for (qdl::sound::SoundBuffer* buffer : {MainBuffer.get(), HeadBuffer.get()}) {
    if (!buffer) continue;
    // A half never crosses the end of the ring, so the lock is one region.
    const qdl::sound::LockedRegion region = buffer->lock(offset, HalfBytes);
    const std::size_t n = std::min(region.first.size(), block_.size());
    std::memcpy(region.first.data(), block_.data(), n);
    buffer->unlock(region);
  }
}

void TStreamPlayer::trackHeadphones(std::uint32_t mainCursor) {
  // The headphone ring is refilled by the main ring's cursor: a half is
  // rewritten as soon as the main cursor has left it. On a second card with
  // a clock of its own the headphone cursor would drift, a few milliseconds
  // a minute; once behind the main one it would play the start of the next
  // round in place of the end of the half it is still in. Its speed is
  // trimmed to hold it about 10 ms ahead of the main cursor instead: a hertz
  // per ten frames off, at most a thousandth of the rate (under two cents,
  // far below hearing).
  if (!HeadBuffer || !MainBuffer->isPlaying() || !HeadBuffer->isPlaying()) return;
  const int ring = Source->BufferBytes;
  const int frameBytes = Source->Channels * Source->BitsPerSample / 8;
  int ahead = HeadBuffer->currentPosition() - static_cast<int>(mainCursor);
  if (ahead > ring / 2)
    ahead -= ring;
  else if (ahead < -ring / 2)
    ahead += ring;
  const double offFrames = double(ahead / frameBytes) - Source->SampleRate / 100.0;
  const int limit = std::max(1, frequency_ / 1000);
  const int correction =
      std::clamp(static_cast<int>(std::lround(-offFrames / 10.0)), -limit, limit);
  if (correction == headCorrection_) return;
  headCorrection_ = correction;
  HeadBuffer->setFrequency(frequency_ + correction);
}

void TStreamPlayer::refill(std::uint32_t p) {
  const auto half = static_cast<std::uint32_t>(HalfBytes);
  // The cursor has entered the second half: the first half is free.
  if (p >= half && LastCursor < half) FillHalf(0);
  // The cursor has wrapped into the first half: the second half is free.
  if (p < LastCursor) FillHalf(HalfBytes);
  LastCursor = p;
}

int TStreamPlayer::Update() {
  const auto bufferBytes = static_cast<std::uint32_t>(Source->BufferBytes);
  std::unique_lock lock(feedMutex_);
  const auto p = static_cast<std::uint32_t>(MainBuffer->currentPosition());
  std::uint32_t queued = 0;
  bool started = false;
  if (fed_) {
    // Play and Stop return once the card has taken them, so a paused deck
    // (whose timer still ticks) never asks for refills.
    if (MainBuffer->isPlaying()) started = !feeding_.exchange(true);
    // Bytes decoded ahead of the cursor, up to the end of what the feeder
    // has written, however far it has got.
    queued = (static_cast<std::uint32_t>(writtenEnd_) + bufferBytes - p) % bufferBytes;
    if (queued == 0) queued = bufferBytes;
  } else {
    trackHeadphones(p);
    refill(p);
    // Bytes queued ahead of the cursor: the rest of its half, then the other
    // half that was refilled last.
    const auto half = static_cast<std::uint32_t>(HalfBytes);
    queued = p < half ? bufferBytes - p : bufferBytes + half - p;
  }
  const std::uint32_t queuedTime =
      queued * 100u / static_cast<std::uint32_t>(Source->BytesPerSecond);
  // The source may be ahead of the ring by what the key lock stage holds:
  // the next sound for the ring starts at the time the source had when it
  // read the first block held.
  const int next = heldTimes_.empty() ? Source->GetTime() : heldTimes_.front();
  const int position = std::max(0, next - static_cast<int>(queuedTime));
  lock.unlock();
  // The feeder takes its own lock before a player's: wake it only now.
  if (started) qdl::DeckFeeder::instance().wake();
  return position;
}

void TStreamPlayer::PauseRefills() {
  std::lock_guard lock(feedMutex_);  // returns once a refill under way is done
  feeding_ = false;
}

std::chrono::milliseconds TStreamPlayer::feed() {
  // A deck that was told to play but whose card has not started it yet is
  // looked at again soon; one that is not fed sleeps until Update wakes it.
  constexpr std::chrono::milliseconds kSoon{20};
  if (!feeding_) return qdl::DeckFeeder::kNotFeeding;
  std::lock_guard lock(feedMutex_);
  if (!feeding_) return qdl::DeckFeeder::kNotFeeding;
  if (!MainBuffer->isPlaying()) return kSoon;
  const auto p = static_cast<std::uint32_t>(MainBuffer->currentPosition());
  trackHeadphones(p);
  refill(p);
  // Look again when the cursor reaches the next half.
  const auto half = static_cast<std::uint32_t>(HalfBytes);
  const std::uint32_t ahead = p < half ? half - p : 2 * half - p;
  const int frameBytes = Source->Channels * Source->BitsPerSample / 8;
  const double bytesPerMs = std::max(1, frequency_.load()) * frameBytes / 1000.0;
  return std::chrono::milliseconds(static_cast<int>(ahead / bytesPerMs) + 1);
}

void TStreamPlayer::SetPosition(int hundredths) {
  const std::int64_t t = std::max(hundredths, 0);
  SetSamplePosition((t * Source->SampleRate + 99) / 100);
}

std::int64_t TStreamPlayer::PlayingSample() {
  const auto bufferBytes = static_cast<std::uint32_t>(Source->BufferBytes);
  std::lock_guard lock(feedMutex_);
  const auto p = static_cast<std::uint32_t>(MainBuffer->currentPosition());
  // The ring holds decoded sound from the cursor up to where the last write
  // ended; the source hands out what follows.
  std::uint32_t queued = (static_cast<std::uint32_t>(writtenEnd_) + bufferBytes - p) % bufferBytes;
  if (queued == 0) queued = bufferBytes;
  const int frameBytes = Source->Channels * Source->BitsPerSample / 8;
  // The key lock stage reads ahead of what it has handed to the ring.
  return std::max<std::int64_t>(0,
                                Source->NextSample() - stage_->heldFrames() - queued / frameBytes);
}

double TStreamPlayer::OutputLead() const {
  const double rate = qdl::sound::Device::kPrimaryFormat.sampleRate;
  return (qdl::sound::Device::kOutputDelayFrames + MainSound->framesPerBuffer() / 2.0) / rate +
         MainSound->outputLatency();
}

void TStreamPlayer::SetSamplePosition(std::int64_t sample) {
  std::lock_guard lock(feedMutex_);
  feeding_ = false;
  Source->SeekSample(sample);
  stage_->reset();
  heldTimes_.clear();
  // End reports from before the move do not count towards the new end: a
  // look at the song's end and back would otherwise stop it early.
  EndCount = 0;
  // The whole half second is decoded first and then written with the cursor
  // move in one step: a playing buffer goes straight from its old sound to
  // the new one, never through what the ring held before.
  for (int offset : {0, HalfBytes})
    if (readBlock(ring_.data() + offset)) ++EndCount;
  for (qdl::sound::SoundBuffer* buffer : {MainBuffer.get(), HeadBuffer.get()}) {
    if (!buffer) continue;
    const qdl::sound::LockedRegion region = buffer->lock(0, Source->BufferBytes);
    std::memcpy(region.first.data(), ring_.data(), region.first.size());
    buffer->unlockAndMove(region, 0);
  }
  LastCursor = 0;
  writtenEnd_ = 0;
}

void TStreamPlayer::Play() {
  MainBuffer->play(true);
  if (HeadBuffer) HeadBuffer->play(true);
}

void TStreamPlayer::Stop() {
  MainBuffer->stop();
  if (HeadBuffer) HeadBuffer->stop();
  // A stopped deck needs no refill: the feeder may sleep until the next
  // Update after a Play.
  PauseRefills();
}

void TStreamPlayer::SetPitch(int tenthsOfPercent) {
  const int rate = Source->SampleRate;
  const int frequency = rate + tenthsOfPercent * (rate / 1000);
  SetFrequency(frequency);
}

void TStreamPlayer::SetFrequency(int hz) {
  std::lock_guard lock(feedMutex_);
  frequency_ = hz;
  MainBuffer->setFrequency(hz);
  if (HeadBuffer) HeadBuffer->setFrequency(hz + headCorrection_);
}

void TStreamPlayer::SetVolume(int hundredthsDb) { MainBuffer->setVolume(hundredthsDb); }

void TStreamPlayer::SetHeadVolume(int hundredthsDb) {
  if (HeadBuffer) HeadBuffer->setVolume(hundredthsDb);
}

void TStreamPlayer::SetGain(int hundredthsDb) {
  hundredthsDb = std::clamp(hundredthsDb, -2400, 1200);
  MainBuffer->setGain(hundredthsDb);
  if (HeadBuffer) HeadBuffer->setGain(hundredthsDb);
}

QString TStreamPlayer::FormatTime(int hundredths, bool elapsed) {
  const int remaining = Source->Duration - hundredths;
  NearEnd = remaining < 700 ? 1 : 0;
  // Duration is whole seconds while the sound runs some hundredths longer,
  // so the position can pass it: the time left then shows as zero.
  const int v = std::max(0, elapsed ? hundredths : remaining);
  const auto two = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0')); };
  const QString text = two(v / 360000) + QLatin1Char(':') + two(v % 360000 / 6000) +
                       QLatin1Char(':') + two(v % 6000 / 100) + QLatin1Char(':') + two(v % 100);
  return elapsed ? text : QLatin1Char('-') + text;
}

// ---- Device listing and the configured devices

namespace qdl {

namespace {

const QString kDevices = QStringLiteral("Devices");
const QString kPresentDevices = QStringLiteral("present Devices");

// Puts `device` into `slot`. The device it held is deleted when no other
// slot holds it any more, so nothing opened is ever lost.
void place(DeviceSlots devices, TSoundDevice*& slot, TSoundDevice* device) {
  TSoundDevice* old = slot;
  slot = device;
  if (!old || old == device) return;
  const std::array<TSoundDevice*, 4> all{devices.LeftMain, devices.LeftHead, devices.RightMain,
                                         devices.RightHead};
  if (std::find(all.begin(), all.end(), old) == all.end()) delete old;
}

class CardOpener {
 public:
  CardOpener(const IniFile& settings, QWidget* window, OpenDevicesResult& result)
      : settings_(settings), window_(window), result_(result) {}

  // Opens the card named under "Devices"/key; null for an empty name, a
  // name without a "present Devices" entry or with a GUID that does not
  // parse, or a device that cannot be opened (all but the first recorded in
  // the result). One card's fault never keeps the other from opening.
  TSoundDevice* open(const QString& key) {
    const QString name = settings_.readString(kDevices, key, QString());
    if (name.isEmpty()) return nullptr;
    const QString guidText = settings_.readString(kPresentDevices, name, QString());
    if (guidText.isEmpty()) {
      result_.failures.push_back(
          {key, name, QStringLiteral("not among the present devices"), /*notListed=*/true});
      return nullptr;
    }
    try {
      return new TSoundDevice(window_, sound::guidFromText(guidText));
    } catch (const sound::SoundError& e) {
      result_.failures.push_back({key, name, QString::fromUtf8(e.what())});
      return nullptr;
    }
  }

 private:
  const IniFile& settings_;
  QWidget* window_;
  OpenDevicesResult& result_;
};

}  // namespace

QStringList listSoundDevices(IniFile& settings,
                             const std::function<void(const QString&)>& addCard) {
  QStringList descriptions;
  for (const sound::DeviceInfo& info : sound::enumerateDevices()) {
    if (!info.guid) continue;  // the system's default entry
    descriptions << info.description;
    if (addCard) addCard(info.description);
    settings.writeString(kPresentDevices, info.description, sound::guidToText(*info.guid));
  }
  return descriptions;
}

int outputBufferSetting(const IniFile& settings) {
  const QString key = QString::fromLatin1(kOutputBufferKey);
  const QString text = settings.readString(kDevices, key, QString());
  if (text.isEmpty()) return sound::kDefaultOutputBuffer;
  bool ok = false;
  const int ms = text.toInt(&ok);
  if (ok && sound::outputBufferFrames(ms) > 0) return ms;
  throw ConversionError(
      QStringLiteral("[%1] %2=%3 in the settings file %4 is no output buffer: it must be 3, 6, "
                     "10 or 11 (milliseconds)")
          .arg(kDevices, key, text, QDir::toNativeSeparators(settings.fileName()))
          .toStdString());
}

OpenDevicesResult openSoundDevices(const IniFile& settings, DeviceSlots devices, QWidget* window) {
  OpenDevicesResult result;
  int buffer = sound::kDefaultOutputBuffer;
  try {
    buffer = outputBufferSetting(settings);
  } catch (const ConversionError& e) {
    result.bufferProblem = QStringLiteral("%1; the default of %2 ms plays instead.")
                               .arg(QString::fromUtf8(e.what()))
                               .arg(sound::kDefaultOutputBuffer);
  }
  sound::setOutputBuffer(buffer);
  const int mode = settings.readInteger(kDevices, QStringLiteral("Mode"), 0);
  CardOpener card(settings, window, result);
  const QString card1 = QStringLiteral("Card_1");
  const QString card2 = QStringLiteral("Card_2");

  // A card that is not named or failed to open leaves its slots as they
  // were; the other card is still opened.
  switch (mode) {
    case 0:
      // Each deck gets its own device object on the one card.
      if (TSoundDevice* right = card.open(card1)) {
        place(devices, devices.RightMain, right);
        if (TSoundDevice* left = card.open(card1)) place(devices, devices.LeftMain, left);
      }
      place(devices, devices.RightHead, nullptr);
      place(devices, devices.LeftHead, nullptr);
      result.headphoneControls = false;
      break;
    case 1:
      if (TSoundDevice* main = card.open(card1)) {
        place(devices, devices.LeftMain, main);
        place(devices, devices.RightMain, main);
      }
      if (TSoundDevice* head = card.open(card2)) {
        place(devices, devices.LeftHead, head);
        place(devices, devices.RightHead, head);
      }
      // Cue buttons that light up with no headphones behind them mislead.
      result.headphoneControls = devices.LeftHead != nullptr;
      break;
    case 2:
      if (TSoundDevice* left = card.open(card1)) place(devices, devices.LeftMain, left);
      if (TSoundDevice* right = card.open(card2)) place(devices, devices.RightMain, right);
      place(devices, devices.RightHead, nullptr);
      place(devices, devices.LeftHead, nullptr);
      result.headphoneControls = false;
      break;
    default:
      break;
  }
  return result;
}

void closeSoundDevices(DeviceSlots devices) {
  std::array<TSoundDevice*, 4> all{devices.LeftMain, devices.LeftHead, devices.RightMain,
                                   devices.RightHead};
  devices.LeftMain = devices.LeftHead = devices.RightMain = devices.RightHead = nullptr;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (!all[i]) continue;
    if (std::find(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(i), all[i]) ==
        all.begin() + static_cast<std::ptrdiff_t>(i))
      delete all[i];
  }
}

}  // namespace qdl
