// Any bytes as a playlist, of the console's own format or an M3U list of
// another player: every entry names an MP3 file (an absolute path, for
// M3U), every skipped line is a real line of the file and comes once, in
// order; and a playlist saved from the entries reads back as the same
// entries.

#include <QDir>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "playlist/PlaylistFile.h"

namespace qdl::fuzz {
namespace {

using playlist::ReadResult;
using playlist::SkippedLine;

void checkResult(const QByteArray& bytes, const ReadResult& r) {
  const int lines = int(playlist::splitLines(playlist::decodeText(bytes)).size());
  for (const QString& e : r.entries)
    QDL_FUZZ_CHECK(e.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive));
  int last = 0;
  for (const SkippedLine& s : r.skipped) {
    QDL_FUZZ_CHECK(s.line > last && s.line <= lines);
    QDL_FUZZ_CHECK(s.text.size() <= 200);
    last = s.line;
  }
  QDL_FUZZ_CHECK(int(r.entries.size() + r.skipped.size()) <= lines);
}

}  // namespace

void qdp(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  const ReadResult r = playlist::parseQdp(bytes);
  checkResult(bytes, r);
  // Saved and read again: the same entries.
  const ReadResult again = playlist::parseQdp(playlist::qdpBytes(r.entries));
  QDL_FUZZ_CHECK(again.entries == r.entries);
  QDL_FUZZ_CHECK(again.skipped.isEmpty());
}

void m3u(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes = bytesOf(data, size);
  // A list on a stick; the first byte decides which root-relative paths are
  // there.
  const unsigned there = size > 0 ? data[0] : 0;
  const playlist::M3uPlace place{
      QStringLiteral("/media/dj/STICK/lists"), QStringLiteral("/media/dj/STICK"),
      [there](const QString& path) { return (qHash(path) & 3) < (there & 3); }};
  const ReadResult r = playlist::parseM3u(bytes, place);
  checkResult(bytes, r);
  for (const QString& e : r.entries) QDL_FUZZ_CHECK(e.startsWith(QLatin1Char('/')));
  // The import keeps the entries as a playlist of the console's own format.
  const ReadResult kept = playlist::parseQdp(playlist::qdpBytes(r.entries));
  QDL_FUZZ_CHECK(kept.entries == r.entries);
}

// A literal with NUL bytes in it, all of it but its terminator.
template <std::size_t N>
QByteArray bytesWithNul(const char (&text)[N]) {
  return QByteArray(text, qsizetype(N - 1));
}

std::vector<QByteArray> qdpSeeds() {
  return {QByteArray("/home/dj/Musik/A - Song.mp3\r\n/home/dj/Musik/B \xC3\xA4 C.mp3\r\n"),
          QByteArray("\xEF\xBB\xBF/media/stick/one.mp3\n/media/stick/two.MP3\rlast.mp3"),
          bytesWithNul("\xFF\xFE/\0a\0.\0m\0p\0\x33\0\r\0\n\0"),
          QByteArray("/caf\xE9/d\xE9j\xE0 vu.mp3\r\n\r\nnot a song.txt\r\n\x01\x02.mp3\r\n")};
}

std::vector<QByteArray> m3uSeeds() {
  return {QByteArray("#EXTM3U\r\n#EXTINF:215,Artist - Title\r\n..\\Folder 1\\Artist - Title.mp3\r\n"
                     "./here.mp3\r\n/abs/path.mp3\r\n\\root\\relative.mp3\r\n"),
          QByteArray("file:///home/dj/My%20Music/a.mp3\nfile://localhost/b.mp3\n"
                     "file://server/c.mp3\nhttp://radio.example/stream\nC:\\Music\\d.mp3\n"
                     "\\\\server\\share\\e.mp3\nsong.flac\n"),
          bytesWithNul("\xFE\xFF\0/\0x\0.\0m\0p\0\x33"),
          QByteArray("  spaced.mp3  \r#comment\r\r../../up/and/up.mp3")};
}

}  // namespace qdl::fuzz
