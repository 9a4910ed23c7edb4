// Any bytes as what a MIDI port delivers (midi) and as a controller's
// mapping file (mapping). The parser gives only well-formed messages and
// keeps nothing between buffers but its running status; a mapping is read
// or refused within its limits, written out and read back to the same
// bindings, and "use" of itself is told, not followed.

#include <QHash>

#include "controllers/Mapping.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/midi/MidiParser.h"

namespace qdl::fuzz {
namespace {

std::optional<control::ActionInfo> actionOf(const QString& name) {
  using control::ActionKind;
  static const QHash<QString, control::ActionInfo> known = {
      {"links.play", {"links.play", ActionKind::Press, 0, 0, "play"}},
      {"links.pitch.up", {"links.pitch.up", ActionKind::PressRelease, 0, 0, "bend"}},
      {"links.volume", {"links.volume", ActionKind::Value, 0, 3000, "volume"}},
      {"mixer.crossfader", {"mixer.crossfader", ActionKind::Value, -3000, 3000, "fader"}},
  };
  const auto it = known.find(name);
  if (it == known.end()) return std::nullopt;
  return *it;
}

}  // namespace

void midi(const std::uint8_t* data, std::size_t size) {
  qdl::midi::MidiParser whole, split;
  std::vector<qdl::midi::MidiMessage> a, b;
  whole.feed(data, size, [&](const qdl::midi::MidiMessage& m) {
    QDL_FUZZ_CHECK(m.channel < 16 && m.number < 128 && m.value < 128);
    QDL_FUZZ_CHECK(m.type != qdl::midi::MidiMessage::NoteOn || m.value > 0);
    a.push_back(m);
  });
  // The same bytes in buffers of any size give the same messages.
  for (std::size_t at = 0; at < size;) {
    const std::size_t n = std::min<std::size_t>(size - at, 1 + data[at] % 7);
    split.feed(data + at, n, [&](const qdl::midi::MidiMessage& m) { b.push_back(m); });
    at += n;
  }
  QDL_FUZZ_CHECK(a == b);
}

void mapping(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const controllers::MappingFile f = controllers::parseMapping(bytes, &actionOf);
  QDL_FUZZ_CHECK(f.bindings.size() <= controllers::kMaxBindings);
  QDL_FUZZ_CHECK(f.uses.size() <= controllers::kMaxDepth);
  const controllers::MappingFile again =
      controllers::parseMapping(controllers::writeMapping(f), &actionOf);
  QDL_FUZZ_CHECK(again.bindings.size() == f.bindings.size());
  for (int i = 0; i < f.bindings.size(); ++i)
    QDL_FUZZ_CHECK(again.bindings[i].text() == f.bindings[i].text());
  // Used by itself: told once, its own bindings still count.
  const controllers::Mapping m = controllers::resolveMapping(
      QStringLiteral("Self"),
      [&](const QString&, QString*) { return bytes + QByteArray("\nuse Self\n"); }, &actionOf);
  QDL_FUZZ_CHECK(!m.problems.isEmpty() || bytes.size() > controllers::kMaxBytes - 10);
}

std::vector<QByteArray> midiSeeds() {
  return {QByteArray("\x90\x10\x7F\x10\x00\xB0\x07\x40\x07\x41", 10),
          QByteArray("\xF0\x7E\x7F\x06\x01\xF7\xF8\xFE\xB2\x08\xF8\x40", 12),
          QByteArray("\xF2\x10\x20\xC0\x05\xE0\x00\x40\x90\x01\x02\x80\x01\x00", 14)};
}

std::vector<QByteArray> mappingSeeds() {
  return {QByteArray("name Pads\nuse Generic\nnote 1 16 links.play led # c\n"
                     "cc 16 7 links.volume invert\ncc14 2 31 mixer.crossfader\n"
                     "cc 1 20 links.jog relative=offset step 5\nnote 1 40 shift\n"
                     "shift note 1 16 links.pitch.up\n"),
          QByteArray("note 0 1 x\ncc 1 200 links.volume\n\tcc\t1\t1\tlinks.volume blink\n"),
          QByteArray("\xEF\xBB\xBFnote 1 1 links.play\r\nuse A\nuse B\n")};
}

}  // namespace qdl::fuzz
