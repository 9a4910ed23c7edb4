// What a controller sends, before it reaches an action: the MIDI byte
// parser (running status, real-time bytes, SysEx, stray bytes), the queue
// to the window's thread (bounded, control changes merged), and mapping
// files (the format, its limits, "use" and its circles, scaling).

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <random>
#include <string>
#include <vector>

#include "controllers/Mapping.h"
#include "platform/midi/MidiParser.h"
#include "platform/midi/MidiQueue.h"

namespace {

using qdl::controllers::Binding;
using qdl::controllers::Encoding;
using qdl::controllers::Mapping;
using qdl::controllers::MappingFile;
using qdl::controllers::Source;
using qdl::controllers::Target;
using qdl::midi::Incoming;
using qdl::midi::MidiMessage;
using qdl::midi::MidiParser;
using qdl::midi::MidiQueue;

std::vector<MidiMessage> parse(const std::vector<std::uint8_t>& bytes, MidiParser* keep = nullptr) {
  MidiParser local;
  MidiParser& p = keep ? *keep : local;
  std::vector<MidiMessage> out;
  p.feed(bytes.data(), bytes.size(), [&](const MidiMessage& m) { out.push_back(m); });
  return out;
}

MidiMessage on(int ch, int n, int v) {
  return {MidiMessage::NoteOn, std::uint8_t(ch), std::uint8_t(n), std::uint8_t(v)};
}
MidiMessage off(int ch, int n, int v = 0) {
  return {MidiMessage::NoteOff, std::uint8_t(ch), std::uint8_t(n), std::uint8_t(v)};
}
MidiMessage cc(int ch, int n, int v) {
  return {MidiMessage::Control, std::uint8_t(ch), std::uint8_t(n), std::uint8_t(v)};
}

struct ParseCase {
  const char* what;
  std::vector<std::uint8_t> bytes;
  std::vector<MidiMessage> expected;
};

TEST(MidiParser, ReadsWhatAControllerSendsAndDropsTheRest) {
  const std::vector<ParseCase> cases = {
      {"note on", {0x90, 16, 100}, {on(0, 16, 100)}},
      {"note on, channel 16", {0x9F, 1, 2}, {on(15, 1, 2)}},
      {"note on velocity 0 is note off", {0x91, 16, 0}, {off(1, 16)}},
      {"note off keeps its velocity", {0x80, 17, 64}, {off(0, 17, 64)}},
      {"control change", {0xB2, 8, 127}, {cc(2, 8, 127)}},
      {"running status", {0xB0, 7, 1, 7, 2, 7, 3}, {cc(0, 7, 1), cc(0, 7, 2), cc(0, 7, 3)}},
      {"running status of notes", {0x90, 16, 1, 16, 0}, {on(0, 16, 1), off(0, 16)}},
      {"clock inside a message", {0xB0, 0xF8, 7, 0xFE, 99}, {cc(0, 7, 99)}},
      {"clock keeps the running status", {0xB0, 7, 1, 0xF8, 7, 2}, {cc(0, 7, 1), cc(0, 7, 2)}},
      {"clock, start, stop, sensing, reset alone", {0xF8, 0xFA, 0xFB, 0xFC, 0xFE, 0xFF}, {}},
      {"sysex dropped", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0x90, 1, 2}, {on(0, 1, 2)}},
      {"sysex ended by a status byte", {0xF0, 1, 2, 3, 0xB0, 7, 5}, {cc(0, 7, 5)}},
      {"sysex ends the running status", {0xB0, 7, 1, 0xF0, 0xF7, 7, 2}, {cc(0, 7, 1)}},
      {"song position and its data", {0xF2, 0x10, 0x20, 0x90, 3, 4}, {on(0, 3, 4)}},
      {"quarter frame data is not a note", {0x90, 1, 1, 0xF1, 0x05, 5}, {on(0, 1, 1)}},
      {"data without status", {1, 2, 3, 0x7F}, {}},
      {"program change, aftertouch, bend read and dropped",
       {0xC0, 5, 0xD0, 9, 0xA0, 1, 2, 0xE0, 0, 64, 0xB0, 1, 2},
       {cc(0, 1, 2)}},
      {"a message cut by another status", {0x90, 16, 0xB0, 7, 9}, {cc(0, 7, 9)}},
      {"stray end of sysex", {0xF7, 5, 0x90, 5, 6}, {on(0, 5, 6)}},
  };
  for (const ParseCase& c : cases) EXPECT_EQ(parse(c.bytes), c.expected) << c.what;
}

TEST(MidiParser, KeepsItsStateAcrossBuffersUntilReset) {
  MidiParser p;
  EXPECT_TRUE(parse({0xB0, 7}, &p).empty());
  EXPECT_EQ(parse({10}, &p), std::vector<MidiMessage>{cc(0, 7, 10)});
  EXPECT_EQ(parse({7, 11}, &p), std::vector<MidiMessage>{cc(0, 7, 11)});  // running status
  p.reset();
  EXPECT_TRUE(parse({7, 12}, &p).empty());
}

TEST(MidiParser, RandomBytesGiveOnlyWellFormedMessages) {
  std::mt19937 random(24);
  MidiParser p;
  std::vector<std::uint8_t> bytes(200000);
  for (auto& b : bytes) b = std::uint8_t(random());
  std::size_t count = 0;
  p.feed(bytes.data(), bytes.size(), [&](const MidiMessage& m) {
    ++count;
    ASSERT_LT(m.channel, 16);
    ASSERT_LT(m.number, 128);
    ASSERT_LT(m.value, 128);
    if (m.type == MidiMessage::NoteOn) {
      ASSERT_GT(m.value, 0);
    }
  });
  EXPECT_GT(count, 0u);
  EXPECT_GT(p.dropped(), 0u);
}

TEST(MidiQueue, MergesControlChangesKeepsNotesInOrderAndStaysBounded) {
  MidiQueue q(8);
  EXPECT_TRUE(q.push({1, cc(0, 7, 1)}));  // the first wakes the taker
  EXPECT_FALSE(q.push({1, on(0, 16, 127)}));
  for (int v = 2; v <= 127; ++v) EXPECT_FALSE(q.push({1, cc(0, 7, std::uint8_t(v))}));
  EXPECT_FALSE(q.push({2, cc(0, 7, 5)}));  // another controller: its own entry
  EXPECT_FALSE(q.push({1, cc(1, 7, 6)}));  // another channel
  EXPECT_FALSE(q.push({1, off(0, 16)}));
  std::vector<Incoming> got = q.takeAll();
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].message, cc(0, 7, 127));  // the latest value won
  EXPECT_EQ(got[1].message, on(0, 16, 127));
  EXPECT_EQ(got[2].controller, 2);
  EXPECT_EQ(got[4].message, off(0, 16));
  EXPECT_EQ(q.merged(), 126u);

  // A flood of notes fills it and no more; a fader moved during the flood
  // still ends at its last value, after what is queued.
  EXPECT_TRUE(q.push({1, on(0, 1, 1)}));
  for (int i = 0; i < 3000; ++i) {
    q.push({1, on(0, std::uint8_t(i % 128), 1)});
    if (i % 100 == 99) q.push({1, cc(0, 7, std::uint8_t(i / 100))});
  }
  got = q.takeAll();
  ASSERT_EQ(got.size(), 9u);
  EXPECT_EQ(got.back().message, cc(0, 7, 29));
  EXPECT_EQ(q.dropped(), 3001u - 8u);
  EXPECT_TRUE(q.takeAll().empty());
}

// The actions a mapping may name in these tests.
std::optional<qdl::control::ActionInfo> lookup(const QString& name) {
  using qdl::control::ActionKind;
  static const QHash<QString, qdl::control::ActionInfo> known = {
      {"links.play", {"links.play", ActionKind::Press, 0, 0, "play"}},
      {"links.cue", {"links.cue", ActionKind::Press, 0, 0, "cue"}},
      {"links.pitch.up", {"links.pitch.up", ActionKind::PressRelease, 0, 0, "bend"}},
      {"links.volume", {"links.volume", ActionKind::Value, 0, 3000, "volume"}},
      {"links.pitch", {"links.pitch", ActionKind::Value, -200, 200, "pitch"}},
      {"mixer.crossfader", {"mixer.crossfader", ActionKind::Value, -3000, 3000, "fader"}},
  };
  const auto it = known.find(name);
  if (it == known.end()) return std::nullopt;
  return *it;
}

TEST(Mapping, ReadsEveryKindOfBinding) {
  const MappingFile f = qdl::controllers::parseMapping(
      "# a comment\n"
      "name  Pads One  \r\n"
      "use Generic\n"
      "note 1 16 links.play led   # trailing comment\n"
      "\tcc 16 7 links.volume invert\n"
      "cc14 2 31 links.pitch\n"
      "cc 1 20 links.jog\n"
      "cc 1 21 links.volume relative=offset step 30\n"
      "note 1 40 shift\n"
      "shift note 1 16 links.cue led\n"
      "cc 1 64 links.pitch.up\n",
      lookup);
  EXPECT_TRUE(f.problems.isEmpty()) << f.problems.join('\n').toStdString();
  EXPECT_EQ(f.name, "Pads One");
  EXPECT_EQ(f.uses, QStringList{"Generic"});
  ASSERT_EQ(f.bindings.size(), 8);
  const Binding& play = f.bindings[0];
  EXPECT_EQ(play.source, Source::Note);
  EXPECT_EQ(play.channel, 0);
  EXPECT_EQ(play.number, 16);
  EXPECT_TRUE(play.led);
  EXPECT_EQ(play.line, 4);
  EXPECT_EQ(f.bindings[1].channel, 15);
  EXPECT_TRUE(f.bindings[1].invert);
  EXPECT_EQ(f.bindings[2].source, Source::Control14);
  EXPECT_EQ(f.bindings[3].target, Target::Jog);
  EXPECT_EQ(f.bindings[3].action, "links");
  EXPECT_EQ(f.bindings[3].encoding, Encoding::Twos);
  EXPECT_EQ(f.bindings[4].encoding, Encoding::Offset);
  EXPECT_EQ(f.bindings[4].step, 30);
  EXPECT_EQ(f.bindings[5].target, Target::Shift);
  EXPECT_TRUE(f.bindings[6].shifted);

  // Written and read again, a file keeps every binding.
  const MappingFile again =
      qdl::controllers::parseMapping(qdl::controllers::writeMapping(f), lookup);
  EXPECT_TRUE(again.problems.isEmpty()) << again.problems.join('\n').toStdString();
  ASSERT_EQ(again.bindings.size(), f.bindings.size());
  for (int i = 0; i < f.bindings.size(); ++i)
    EXPECT_EQ(again.bindings[i].text(), f.bindings[i].text());
  EXPECT_EQ(again.name, f.name);
  EXPECT_EQ(again.uses, f.uses);
}

TEST(Mapping, NamesEachBrokenLineAndKeepsTheRest) {
  struct Case {
    const char* line;
    const char* problem;
  };
  const std::vector<Case> cases = {
      {"note 0 16 links.play", "channel \"0\" is not 1 to 16"},
      {"note 17 16 links.play", "channel \"17\" is not 1 to 16"},
      {"note 1 128 links.play", "number \"128\" is not 0 to 127"},
      {"cc14 1 32 links.pitch", "number \"32\" is not 0 to 31"},
      {"note 1 x links.play", "number \"x\" is not 0 to 127"},
      {"note 1 1 links.plya", "unknown action \"links.plya\""},
      {"note 1 1", "a binding needs a channel, a number and an action"},
      {"knob 1 1 links.play", "unknown word \"knob\""},
      {"note 1 1 links.volume", "a note cannot set the value links.volume; use cc"},
      {"cc14 1 1 links.play", "a 14-bit pair needs a value, links.play is none"},
      {"cc 1 1 links.play relative", "an encoder needs a value, links.play is none"},
      {"note 1 1 links.volume relative", "only cc can be relative"},
      {"note 1 1 links.jog", "a jog wheel needs cc"},
      {"cc 1 1 mitte.jog", "unknown deck \"mitte\""},
      {"shift note 1 1 shift", "the shift button cannot be in the shift layer"},
      {"cc 1 1 links.volume blink", "unknown option \"blink\""},
      {"cc 1 1 links.volume step", "step needs a number from 1 to 1000000"},
      {"cc 1 1 links.volume step 0", "step needs a number from 1 to 1000000"},
      {"use", "use needs a name"},
  };
  for (const Case& c : cases) {
    const QByteArray text =
        QByteArray("note 1 16 links.play\n") + c.line + "\ncc 1 7 links.volume\n";
    const MappingFile f = qdl::controllers::parseMapping(text, lookup);
    ASSERT_EQ(f.problems.size(), 1) << c.line;
    EXPECT_TRUE(f.problems[0].startsWith(QStringLiteral("line 2: ") + c.problem))
        << c.line << " -> " << f.problems[0].toStdString();
    EXPECT_EQ(f.bindings.size(), 2) << c.line;
  }
}

TEST(Mapping, RefusesBinaryHugeAndEndlessFiles) {
  QByteArray binary("note 1 16 links.play\n\0\x01\x02", 24);
  EXPECT_EQ(qdl::controllers::parseMapping(binary, lookup).problems,
            QStringList{"not a text file: not read"});
  EXPECT_TRUE(qdl::controllers::parseMapping(binary, lookup).bindings.isEmpty());
  EXPECT_EQ(qdl::controllers::parseMapping("note 1 16 links.play\n\xFF\xFE", lookup).problems,
            QStringList{"not UTF-8 text: not read"});
  const QByteArray huge(qdl::controllers::kMaxBytes + 1, ' ');
  EXPECT_EQ(qdl::controllers::parseMapping(huge, lookup).problems,
            QStringList{"larger than 256 KiB: not read"});

  // Many bindings: the first ones count, the rest is told once.
  QByteArray many;
  for (int i = 0; i < 3000; ++i)
    many += QByteArray("cc ") + QByteArray::number(i % 16 + 1) + ' ' +
            QByteArray::number(i / 16 % 128) + " links.volume\n";
  const MappingFile f = qdl::controllers::parseMapping(many, lookup);
  EXPECT_EQ(f.bindings.size(), qdl::controllers::kMaxBindings);
  ASSERT_EQ(f.problems.size(), 1);
  EXPECT_TRUE(f.problems[0].contains("more than 2048 bindings"));

  // A later line for the same message wins.
  const MappingFile twice =
      qdl::controllers::parseMapping("note 1 16 links.play\nnote 1 16 links.cue\n", lookup);
  ASSERT_EQ(twice.bindings.size(), 1);
  EXPECT_EQ(twice.bindings[0].action, "links.cue");
}

TEST(Mapping, FollowsUseAndRefusesCircles) {
  const QHash<QString, QByteArray> files = {
      {"Base", "name Base\nnote 1 16 links.play led\ncc 1 7 links.volume\n"},
      {"Mine", "use Base\nnote 1 16 links.cue\n"},
      {"A", "use B\nnote 1 1 links.play\n"},
      {"B", "use A\nnote 1 2 links.cue\n"},
      {"Self", "use self\nnote 1 3 links.cue\n"},
      {"Deep0", "use Deep1\n"},
      {"Deep1", "use Deep2\n"},
      {"Deep2", "use Deep3\n"},
      {"Deep3", "use Deep4\n"},
      {"Deep4", "use Deep5\n"},
      {"Deep5", "use Deep6\n"},
      {"Deep6", "use Deep7\n"},
      {"Deep7", "use Deep8\n"},
      {"Deep8", "note 1 1 links.play\n"},
  };
  const auto source = [&](const QString& name, QString* why) {
    for (auto it = files.begin(); it != files.end(); ++it)
      if (it.key().compare(name, Qt::CaseInsensitive) == 0) return *it;
    *why = QStringLiteral("no mapping of this name");
    return QByteArray();
  };
  const Mapping mine = qdl::controllers::resolveMapping("Mine", source, lookup);
  EXPECT_TRUE(mine.problems.isEmpty());
  EXPECT_EQ(mine.name, "Mine");
  ASSERT_EQ(mine.bindings.size(), 2);
  const Binding* b = mine.find(Source::Note, 0, 16, false);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->action, "links.cue");  // its own line replaced Base's

  const Mapping circle = qdl::controllers::resolveMapping("A", source, lookup);
  ASSERT_EQ(circle.problems.size(), 1);
  EXPECT_TRUE(circle.problems[0].contains("used in a circle (A -> B -> A)"));
  EXPECT_EQ(circle.bindings.size(), 2);  // both files' own lines still count

  const Mapping self = qdl::controllers::resolveMapping("Self", source, lookup);
  ASSERT_EQ(self.problems.size(), 1);
  EXPECT_EQ(self.bindings.size(), 1);

  const Mapping deep = qdl::controllers::resolveMapping("Deep0", source, lookup);
  ASSERT_EQ(deep.problems.size(), 1);
  EXPECT_TRUE(deep.problems[0].contains("deeper than 8"));

  const Mapping missing = qdl::controllers::resolveMapping("Nowhere", source, lookup);
  EXPECT_EQ(missing.problems, QStringList{"Nowhere: no mapping of this name"});
}

TEST(Mapping, ShiftLayerFallsBackToThePlainBinding) {
  const MappingFile f = qdl::controllers::parseMapping(
      "note 1 16 links.play\nshift note 1 16 links.cue\nnote 1 17 links.cue\n", lookup);
  Mapping m;
  m.bindings = f.bindings;
  EXPECT_EQ(m.find(Source::Note, 0, 16, false)->action, "links.play");
  EXPECT_EQ(m.find(Source::Note, 0, 16, true)->action, "links.cue");
  EXPECT_EQ(m.find(Source::Note, 0, 17, true)->action, "links.cue");
  EXPECT_EQ(m.find(Source::Note, 0, 18, true), nullptr);
  EXPECT_EQ(m.find(Source::Control, 0, 16, false), nullptr);
}

TEST(Mapping, ScalesValuesWithTheMiddleInTheMiddle) {
  struct Case {
    int value, bits, minimum, maximum;
    bool invert;
    int expected;
  };
  const std::vector<Case> cases = {
      {0, 7, -200, 200, false, -200},     {64, 7, -200, 200, false, 0},
      {127, 7, -200, 200, false, 200},    {0, 7, 0, 3000, true, 3000},
      {127, 7, 0, 3000, true, 0},         {64, 7, 0, 3000, true, 1500},
      {0, 7, -3000, 3000, false, -3000},  {64, 7, -3000, 3000, false, 0},
      {127, 7, -3000, 3000, false, 3000}, {8192, 14, -200, 200, false, 0},
      {16383, 14, -200, 200, false, 200}, {0, 14, -200, 200, false, -200},
      {200, 7, 0, 3000, false, 3000},     {-5, 7, 0, 3000, false, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(qdl::controllers::scaleToRange(c.value, c.bits, c.minimum, c.maximum, c.invert),
              c.expected)
        << c.value << " on " << c.minimum << ".." << c.maximum;
    if (c.value >= 0 && c.value < (1 << c.bits)) {
      EXPECT_EQ(
          qdl::controllers::scaleFromRange(c.expected, c.bits, c.minimum, c.maximum, c.invert),
          c.value);
    }
  }
  EXPECT_EQ(qdl::controllers::relativeSteps(1, Encoding::Twos), 1);
  EXPECT_EQ(qdl::controllers::relativeSteps(127, Encoding::Twos), -1);
  EXPECT_EQ(qdl::controllers::relativeSteps(65, Encoding::Offset), 1);
  EXPECT_EQ(qdl::controllers::relativeSteps(63, Encoding::Offset), -1);
  EXPECT_EQ(qdl::controllers::relativeSteps(65, Encoding::SignBit), -1);
  EXPECT_EQ(qdl::controllers::relativeSteps(3, Encoding::SignBit), 3);
}

}  // namespace
