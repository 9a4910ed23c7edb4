// Any bytes as the start of a song file: its ID3v2 tag is parsed from
// memory and read from a file. Each field keeps within its width and holds
// whole characters, a tempo is 1..999, a year four digits, and the file
// reader sees what the parser sees.

#include <QFile>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/tags/Id3v2.h"
#include "support/Id3v2Bytes.h"

namespace qdl::fuzz {
namespace {

bool wholeCharacters(const QString& s) {
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
      ++i;
    else if (s[i].isSurrogate())
      return false;
  }
  return true;
}

void checkFields(const tags::V2Fields& f) {
  QDL_FUZZ_CHECK(f.present || (f.major == 0 && f.interpret.isEmpty() && f.titel.isEmpty() &&
                               f.jahr.isEmpty() && f.genre.isEmpty() && !f.beats));
  if (f.present) QDL_FUZZ_CHECK(f.major >= 2 && f.major <= 4);
  for (const auto& [text, width] : {std::pair{&f.interpret, tags::kInterpretWidth},
                                    {&f.titel, tags::kTitelWidth},
                                    {&f.genre, tags::kGenreWidth},
                                    {&f.jahr, tags::kJahrWidth}}) {
    QDL_FUZZ_CHECK(text->size() <= width);
    QDL_FUZZ_CHECK(wholeCharacters(*text));
    QDL_FUZZ_CHECK(*text == text->trimmed());
  }
  if (!f.jahr.isEmpty()) {
    QDL_FUZZ_CHECK(f.jahr.size() == 4);
    for (const QChar c : f.jahr) QDL_FUZZ_CHECK(c >= QLatin1Char('0') && c <= QLatin1Char('9'));
  }
  if (f.beats) QDL_FUZZ_CHECK(*f.beats >= 1 && *f.beats <= 999);
}

bool sameFields(const tags::V2Fields& a, const tags::V2Fields& b) {
  return a.present == b.present && a.major == b.major && a.interpret == b.interpret &&
         a.titel == b.titel && a.jahr == b.jahr && a.genre == b.genre && a.beats == b.beats;
}

}  // namespace

void id3v2(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const tags::V2Fields parsed = tags::parseV2(bytes);
  checkFields(parsed);
  const QString path = scratch() + QStringLiteral("/tagged.mp3");
  if (!writeFile(path, bytes)) return;
  QDL_FUZZ_CHECK(sameFields(tags::readV2(path), parsed));
}

std::vector<QByteArray> id3v2Seeds() {
  using namespace test::id3v2;
  std::vector<QByteArray> seeds;
  const QString clef = QString::fromUtf8("\xF0\x9D\x84\x9E");
  for (int major : {2, 3, 4}) {
    seeds.push_back(songTag(major, Enc::Latin1, QString::fromUtf8("Motörhead"), "Title", "1980",
                            "(17)", "127.6", 64, 32));
    seeds.push_back(songTag(major, Enc::Utf16LeBom, QString::fromUtf8("Кино"), clef, "1989", "Rock",
                            "128", 0, 16));
  }
  seeds.push_back(songTag(4, Enc::Utf8, QString::fromUtf8("群青"), "T", "2004-05-01", "17", "90"));
  seeds.push_back(songTag(4, Enc::Utf16Be, "A", "B"));
  seeds.push_back(tag(3, unsynchronise(frame(3, "TPE1", text(Enc::Utf16LeBom, "Unsync"))), 0x80));
  seeds.push_back(
      tag(4,
          synchSafe(6) + QByteArray("\x01\x00", 2) +
              frame(4, "TIT2", unsynchronise(text(Enc::Utf16LeBom, "X")), 0x03, synchSafe(8)),
          0x40));
  seeds.push_back(tag(3, frame(3, "TIT2", text(Enc::Latin1, "Past"), 0, {}, 5000), 0, 200000000));
  seeds.push_back(tag(3, frame(3, "TPE1", {}) + frame(3, "TIT2", text(Enc::Latin1, "After"))));
  for (const QByteArray& mp3 : fixtureSeeds(4096)) seeds.push_back(mp3);
  return seeds;
}

}  // namespace qdl::fuzz
