// Any bytes as an ID3v2 tag that the editor rewrites: the first byte says
// which fields are edited, the rest is the tag. The rewritten tag keeps the
// old one's version, has the old size exactly when it fits and more when it
// grows, gives the edited texts when read again, and gives every field that
// was not edited as before. The same tag at the start of a song file is
// written back through the file: the audio bytes stay, the ID3v1 block is
// the one given, and a song that is not written stays byte for byte.

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "platform/tags/Id3v2.h"
#include "platform/tags/Id3v2Write.h"

namespace qdl::fuzz {
namespace {

QByteArray synchsafe(quint32 v) {
  QByteArray out(4, '\0');
  for (int i = 3; i >= 0; --i, v >>= 7) out[i] = char(v & 0x7F);
  return out;
}

QByteArray tag(int major, const QByteArray& body, quint8 flags) {
  return QByteArray("ID3") + char(major) + '\0' + char(flags) + synchsafe(quint32(body.size())) +
         body;
}

// The tag as the start of a song with audio and, when `pick` says so, an
// ID3v1 block, written back as the editor does.
void writeSong(quint8 pick, const QByteArray& old, const tags::V2Fields& before,
               const tags::TextEdits& edits) {
  QByteArray audio(300, '\0');
  for (int i = 0; i < audio.size(); ++i) audio[i] = char(i * 7 + 1);
  audio.replace(0, 4, QByteArray("\xFF\xFB\x10\x00", 4));
  const QByteArray oldBlock = "TAG" + QByteArray(124, 'o') + char(1);
  const QByteArray newBlock = "TAG" + QByteArray(124, 'n') + char(2);
  const QByteArray song = old + audio + ((pick & 0x40) ? oldBlock : QByteArray());
  const QString path = scratch() + QStringLiteral("/v2write.mp3");
  if (!writeFile(path, song)) return;
  tags::V1Block v1;
  v1.texts = [](const QByteArray&) { return tags::RecordTexts{}; };
  v1.updated = [&](const QByteArray&) { return newBlock; };
  const tags::RecordTexts record{
      edits.titel.value_or(before.titel), edits.interpret.value_or(before.interpret),
      edits.jahr.value_or(before.jahr), edits.genre.value_or(before.genre)};
  const tags::FileWrite w = tags::writeTags(path, record, v1);
  const QByteArray after = readFile(path);
  const qint64 oldTag = tags::tagSizeAt(song);
  const bool hadBlock = (pick & 0x40) && song.size() - 128 >= oldTag;
  switch (w.result) {
    case tags::FileResult::NoTag:
    case tags::FileResult::V2Unchanged:
    case tags::FileResult::Unsupported:
    case tags::FileResult::Failed:
      QDL_FUZZ_CHECK(after == song);
      return;
    case tags::FileResult::InPlace:
    case tags::FileResult::NewFile:
      break;
  }
  QDL_FUZZ_CHECK(oldTag > 0);
  const qint64 newTag = tags::tagSizeAt(after);
  if (w.result == tags::FileResult::InPlace) QDL_FUZZ_CHECK(newTag == oldTag);
  const qint64 audioSize = song.size() - oldTag - (hadBlock ? 128 : 0);
  QDL_FUZZ_CHECK(after.size() == newTag + audioSize + 128);
  QDL_FUZZ_CHECK(after.mid(newTag, audioSize) == song.mid(oldTag, audioSize));
  QDL_FUZZ_CHECK(after.right(128) == newBlock);
}

}  // namespace

void v2write(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return;
  const quint8 pick = data[0];
  const QByteArray old = bytesOf(data + 1, size - 1);
  // Texts the editor could hold: letters (a genre of digits would be read
  // as a genre number), a year of four digits, an empty text that removes.
  const QString letters = QString::fromUtf8("Grüße aus Köln Кино 東京 \U0001F3B5");
  auto text = [&](int bit, const QString& value) -> std::optional<QString> {
    if (!(pick & (1 << bit))) return std::nullopt;
    return (pick & (1 << (bit + 4))) ? QString() : value;
  };
  tags::TextEdits edits;
  edits.titel = text(0, letters);
  edits.interpret = text(1, letters.left(13));
  edits.jahr = text(2, QStringLiteral("1984"));
  edits.genre = text(3, QStringLiteral("Techno"));

  const tags::V2Fields before = tags::parseV2(old);
  writeSong(pick, old, before, edits);
  const tags::RenderedTag r = tags::renderEdited(old, edits, 64);
  switch (r.status) {
    case tags::RenderStatus::NoTag:
    case tags::RenderStatus::Unsupported:
    case tags::RenderStatus::Unchanged:
      QDL_FUZZ_CHECK(r.tag.isEmpty());
      return;
    case tags::RenderStatus::Fits:
      QDL_FUZZ_CHECK(r.tag.size() == r.oldSize);
      break;
    case tags::RenderStatus::Grows:
      QDL_FUZZ_CHECK(r.tag.size() > r.oldSize);
      break;
  }
  QDL_FUZZ_CHECK(r.oldSize <= old.size());
  QDL_FUZZ_CHECK(tags::tagSizeAt(r.tag) == r.tag.size());
  QDL_FUZZ_CHECK(r.tag.left(4) == old.left(4));  // "ID3" and the version
  const tags::V2Fields after = tags::parseV2(r.tag);
  QDL_FUZZ_CHECK(after.present);
  auto same = [](const std::optional<QString>& edit, const QString& was, const QString& now,
                 int width) { return now == (edit ? tags::cutToWidth(*edit, width) : was); };
  QDL_FUZZ_CHECK(same(edits.titel, before.titel, after.titel, tags::kTitelWidth));
  QDL_FUZZ_CHECK(same(edits.interpret, before.interpret, after.interpret, tags::kInterpretWidth));
  QDL_FUZZ_CHECK(same(edits.jahr, before.jahr, after.jahr, tags::kJahrWidth));
  QDL_FUZZ_CHECK(same(edits.genre, before.genre, after.genre, tags::kGenreWidth));
  QDL_FUZZ_CHECK(after.beats == before.beats);
}

std::vector<QByteArray> v2writeSeeds() {
  auto frame3 = [](const char* id, const QByteArray& d) {
    QByteArray size(4, '\0');
    for (int i = 0; i < 4; ++i) size[i] = char((d.size() >> (8 * (3 - i))) & 0xFF);
    return QByteArray(id) + size + QByteArray(2, '\0') + d;
  };
  auto frame4 = [](const char* id, const QByteArray& d) {
    return QByteArray(id) + synchsafe(quint32(d.size())) + QByteArray(2, '\0') + d;
  };
  auto frame2 = [](const char* id, const QByteArray& d) {
    return QByteArray(id) + char(0) + char(d.size() >> 8) + char(d.size() & 0xFF) + d;
  };
  const QByteArray picture = QByteArray("\0image/png\0\x03\0", 13) + QByteArray(300, '\xFF');
  const QByteArray v3 = frame3("TIT2", QByteArray("\0Title", 6)) +
                        frame3("TPE1", QByteArray("\x01\xFF\xFEK\0\xF6\0", 7)) +
                        frame3("TYER", QByteArray("\0"
                                                  "1999",
                                                  5)) +
                        frame3("TBPM", QByteArray("\0"
                                                  "128",
                                                  4)) +
                        frame3("APIC", picture);
  const QByteArray v4 = frame4("TIT2", QByteArray("\3Titel", 6)) +
                        frame4("TDRC", QByteArray("\0"
                                                  "2001-05",
                                                  8)) +
                        frame4("TCON", QByteArray("\0(17)", 5)) + frame4("APIC", picture);
  const QByteArray v2 =
      frame2("TT2", QByteArray("\0Old", 4)) + frame2("TCO", QByteArray("\0Pop", 4));
  std::vector<QByteArray> seeds;
  for (char pick : {'\x0F', '\x01', '\x3A', '\xF5'}) {
    seeds.push_back(pick + tag(3, v3 + QByteArray(200, '\0'), 0));
    seeds.push_back(pick + tag(3, v3, 0));
    seeds.push_back(pick + tag(3, QByteArray("\0\0\0\x06\0\0\0\0\0\0", 10) + v3, 0x40));
    seeds.push_back(pick + tag(4, v4 + QByteArray(50, '\0'), 0));
    seeds.push_back(pick + tag(4, QByteArray("\0\0\0\x06\x01\0", 6) + v4, 0x50) + "3DI" +
                    QByteArray(7, '\0'));
    seeds.push_back(pick + tag(2, v2 + QByteArray(20, '\0'), 0));
  }
  return seeds;
}

}  // namespace qdl::fuzz
