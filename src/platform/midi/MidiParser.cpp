#include "platform/midi/MidiParser.h"

namespace qdl::midi {

void MidiParser::reset() {
  status_ = 0;
  have_ = need_ = 0;
  sysex_ = system_ = false;
}

bool MidiParser::take(std::uint8_t byte, MidiMessage& out) {
  if (byte >= 0xF8) {  // real time: anywhere, changes nothing
    ++dropped_;
    return false;
  }
  if (byte & 0x80) {
    // A status byte ends a system exclusive or an unfinished message.
    sysex_ = system_ = false;
    have_ = 0;
    if (byte < 0xF0) {
      status_ = byte;
      const std::uint8_t kind = byte & 0xF0;
      need_ = (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
      return false;
    }
    ++dropped_;
    status_ = 0;  // system messages end the running status
    switch (byte) {
      case 0xF0:
        sysex_ = true;
        break;
      case 0xF1:
      case 0xF3:
        system_ = true;
        need_ = 1;
        break;
      case 0xF2:
        system_ = true;
        need_ = 2;
        break;
      default:  // F4, F5 undefined; F6 tune request; F7 a stray end
        break;
    }
    return false;
  }
  // A data byte.
  if (sysex_ || (!system_ && status_ == 0)) {
    ++dropped_;
    return false;
  }
  data_[have_++] = byte;
  if (have_ < need_) return false;
  have_ = 0;
  if (system_) {
    system_ = false;
    ++dropped_;
    return false;
  }
  const std::uint8_t kind = status_ & 0xF0;
  out.channel = status_ & 0x0F;
  out.number = data_[0];
  out.value = need_ == 2 ? data_[1] : 0;
  switch (kind) {
    case 0x90:
      out.type = out.value == 0 ? MidiMessage::NoteOff : MidiMessage::NoteOn;
      return true;
    case 0x80:
      out.type = MidiMessage::NoteOff;
      return true;
    case 0xB0:
      out.type = MidiMessage::Control;
      return true;
    default:
      ++dropped_;
      return false;
  }
}

}  // namespace qdl::midi
