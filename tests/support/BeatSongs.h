#pragma once
// Songs of known tempo for the tempo analysis tests and its benchmark: drum
// patterns of the styles DJs play (kick, snare or clap, hi-hats), a bass line
// and pad chords. sox draws every sound, the sequencer here places them on
// the beat grid (with swing, loose timing for the played styles, random
// levels), sox masters the mix and lame encodes it. A song follows from its
// fields alone, so a set made twice is the same set.
//
// Needs `sox` and `lame` on the path.

#include <QString>
#include <vector>

namespace qdl::test {

// Bumped whenever the same fields make a different song, so sets kept
// between runs are made anew.
constexpr int kBeatSongsVersion = 2;

enum class BeatStyle {
  HipHop,      // boom bap, kick and snare on 2 and 4, often swung 16ths
  Reggaeton,   // four kicks to the bar under the dembow snare figure
  Pop,         // kick on 1 and 3, snare on 2 and 4, eighth hats, played loosely
  Disco,       // four to the floor, snare on 2 and 4, open hats on the off-beats
  House,       // four to the floor, clap on 2 and 4, shuffled shaker
  Techno,      // four to the floor, off-beat hats, sixteenth rides
  Breaks,      // broken kick figure, snare on 2 and 4
  Trance,      // four to the floor, rolling sixteenth bass
  HardDance,   // four to the floor with a long kick, fast
  DrumAndBass  // two-step: kick on 1 and the and of 3, snare on 2 and 4
};

struct BeatSong {
  BeatStyle style = BeatStyle::House;
  double bpm = 120;
  double seconds = 30;      // length of the whole song
  double introSeconds = 0;  // beatless pad chords (free time) before the drums
  double swing = 0.5;       // where the second sixteenth of each pair falls (0.5 straight)
  unsigned seed = 1;
  int sampleRate = 44100;
  bool mono = false;
  QString lameOptions = QStringLiteral("-b 192");

  QString name() const;  // a file name that says what the song is
};

const char* styleName(BeatStyle style);

// `count` songs spread over 70..180 BPM and all styles, drawn from `seed`.
std::vector<BeatSong> beatSongSet(int count, unsigned seed);

// Makes the song as an MP3 file at `mp3Path` (work files go to a temporary
// folder). Returns an empty text, or what failed.
QString makeBeatSong(const BeatSong& song, const QString& mp3Path);

}  // namespace qdl::test
