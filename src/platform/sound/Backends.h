#pragma once
// Backends of the sound layer (internal): how devices are listed and how a
// card's output stream is opened, and the registry that lets several device
// objects share one card.

#include "platform/sound/Mixer.h"
#include "platform/sound/Sound.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qdl::sound::detail {

// The live card under `key`, or one made by `create` and registered; several
// device objects on one card get the same Card. Application threads only.
std::shared_ptr<Card> findOrCreateCard(const QString& key,
                                       const std::function<std::shared_ptr<Card>()>& create);
// The live card under `key`, or null.
std::shared_ptr<Card> findCard(const QString& key);

std::vector<DeviceInfo> listPortAudioDevices();
// The part of a PortAudio device name that stays the same across runs: ALSA
// appends the card's index, as in "USB Audio CODEC: - (hw:2,0)", and a USB
// card may get another index at the next boot or plug-in. The index is
// dropped so that a stored card is found again.
QString stableDeviceName(const QString& name);
std::shared_ptr<Card> openPortAudioCard(const std::optional<QUuid>& guid);

std::vector<DeviceInfo> listVirtualDevices();
std::shared_ptr<Card> openVirtualCard(const std::optional<QUuid>& guid, bool realtime);

}  // namespace qdl::sound::detail
