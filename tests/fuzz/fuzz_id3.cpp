// Any bytes as a song file: its ID3v1 tag is read, the song goes into the
// library as a scan adds it (the ID3v2 tag's fields over the ID3v1 texts,
// or the file name without either), and a tag is written back as the editor does. The write touches
// nothing but the tag (the last 128 bytes, or 128 appended), and a file
// that is not MPEG audio is left byte for byte.

#include <QDir>
#include <QFile>
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/tags/Id3v2.h"

namespace qdl::fuzz {
namespace {

// One library for the whole run, in the scratch folder.
TDataModule1& library() {
  static const std::unique_ptr<TDataModule1> data = [] {
    auto d = std::make_unique<TDataModule1>();
    const QString folder = scratch() + QStringLiteral("/id3-library");
    QDir().mkpath(folder);
    d->Table1->setDatabaseName(folder);
    d->Table1->setTableName(QStringLiteral("data.db"));
    d->CreateSongTable();
    d->Table1->setIndexName(QStringLiteral("iDateiname"));
    return d;
  }();
  return *data;
}

// The record's text as the table keeps it: the tag's text cut to the
// field's width.
QString cut(const char* field, int width, int fieldWidth) {
  return id3::fromWindows1252(field, width).left(fieldWidth);
}

}  // namespace

void id3(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const QString path = scratch() + QStringLiteral("/song.mp3");
  if (!writeFile(path, bytes)) return;

  const TId3Tag tag = id3::readBlock(path);
  if (size < 128)
    QDL_FUZZ_CHECK(!id3::hasTag(tag));
  else
    QDL_FUZZ_CHECK(std::memcmp(&tag, bytes.constData() + size - 128, 128) == 0);
  for (const auto& [field, width] : {std::pair{tag.title, 30},
                                     {tag.artist, 30},
                                     {tag.album, 30},
                                     {tag.year, 4},
                                     {tag.comment, 30}})
    QDL_FUZZ_CHECK(id3::fromWindows1252(field, width).size() <= width);

  // The song as a scan adds it.
  TDataModule1& dm = library();
  db::Table& t = *dm.Table1;
  dm.AddSongFile(path);
  QDL_FUZZ_CHECK(t.containsKey(path));
  t.findNearest(path);
  QDL_FUZZ_CHECK(t.asString(QStringLiteral("DateiName")) == path);
  // A v2 field where the tag at the start gives one, else the v1 text.
  const tags::V2Fields v2 = tags::parseV2(bytes);
  auto expected = [&](const QString& fromV2, const char* field, int width, int fieldWidth) {
    return !fromV2.isEmpty() ? fromV2
                             : (id3::hasTag(tag) ? cut(field, width, fieldWidth) : QString());
  };
  const QString interpret = expected(v2.interpret, tag.artist, 30, 30);
  const QString titel = expected(v2.titel, tag.title, 30, 30);
  if (id3::hasTag(tag) || !interpret.isEmpty() || !titel.isEmpty()) {
    QDL_FUZZ_CHECK(t.asString(QStringLiteral("Interpret")) == interpret);
    QDL_FUZZ_CHECK(t.asString(QStringLiteral("Titel")) == titel);
  } else {
    QDL_FUZZ_CHECK(t.asString(QStringLiteral("Interpret")) == QStringLiteral("song"));
  }
  QDL_FUZZ_CHECK(t.asString(QStringLiteral("Jahr")) == expected(v2.jahr, tag.year, 4, 4));
  QDL_FUZZ_CHECK(t.asString(QStringLiteral("Genre")) == expected(v2.genre, tag.comment, 30, 10));
  QDL_FUZZ_CHECK(t.fieldByName(QStringLiteral("Beats")) ==
                 (v2.beats ? QVariant(*v2.beats) : QVariant()));
  t.deleteRecord();
  QDL_FUZZ_CHECK(!t.containsKey(path));

  // A tag written back, with texts the editor could hold, spelled from the
  // input's first bytes.
  const QString letters =
      QStringLiteral("abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789äöüÄÖÜß-&'");
  auto text = [&](int from, int length) {
    QString t;
    for (int i = from; i < from + length && i < int(size); ++i)
      t += letters[data[i] % letters.size()];
    return t;
  };
  const id3::TagTexts texts{text(0, 34), text(34, 31), text(65, 4), text(69, 12)};
  const bool mpeg = id3::looksLikeMpegAudio(bytes.left(id3::kMpegProbeBytes), qint64(size));
  const id3::WriteResult r = id3::writeTag(path, texts);
  const QByteArray after = readFile(path);
  switch (r) {
    case id3::WriteResult::Replaced:
      QDL_FUZZ_CHECK(mpeg && id3::hasTag(tag));
      QDL_FUZZ_CHECK(after.size() == bytes.size());
      QDL_FUZZ_CHECK(after.left(after.size() - 128) == bytes.left(bytes.size() - 128));
      break;
    case id3::WriteResult::Appended:
      QDL_FUZZ_CHECK(mpeg && !id3::hasTag(tag));
      QDL_FUZZ_CHECK(after.size() == bytes.size() + 128);
      QDL_FUZZ_CHECK(after.left(bytes.size()) == bytes);
      break;
    case id3::WriteResult::NotMpeg:
      QDL_FUZZ_CHECK(!mpeg);
      QDL_FUZZ_CHECK(after == bytes);
      break;
    case id3::WriteResult::Failed:
      QDL_FUZZ_CHECK(after == bytes);
      break;
  }
  if (r == id3::WriteResult::Replaced || r == id3::WriteResult::Appended) {
    const TId3Tag written = id3::readBlock(path);
    QDL_FUZZ_CHECK(id3::hasTag(written));
    QDL_FUZZ_CHECK(id3::fromWindows1252(written.title, 30) == texts.titel.left(30));
    QDL_FUZZ_CHECK(id3::fromWindows1252(written.artist, 30) == texts.interpret.left(30));
  }
}

std::vector<QByteArray> id3Seeds() {
  std::vector<QByteArray> seeds;
  QByteArray tag(128, '\0');
  tag.replace(0, 3, "TAG");
  tag.replace(3, 12, "Caf\xE9 du Nord");
  tag.replace(33, 9, "L\xFC\x64\x65rs DJ");
  tag.replace(93, 4, "1999");
  tag.replace(97, 10, "House Mix ");
  tag[126] = 7;  // ID3v1.1 track
  tag[127] = char(255);
  for (const QByteArray& mp3 : fixtureSeeds(4096)) {
    seeds.push_back(mp3);
    seeds.push_back(mp3 + tag);
  }
  seeds.push_back(tag);
  seeds.push_back(QByteArray(300, 'x') + tag);
  return seeds;
}

}  // namespace qdl::fuzz
