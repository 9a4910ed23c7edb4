#pragma once
// The songs of the simulated set: generated MP3 files whose sound is known,
// so that the output of a whole night can be checked against them.
//
// Each song is a pair of slow sine sweeps (one per channel; a mono song has
// one) between 110 and 720 Hz at a level between 30 % and 62 % of full
// scale, with 30 ms fades at its ends, 20 to 45 seconds long, at 44.1, 48,
// 32 or 22.05 kHz, encoded by lame at a constant or a variable bit rate with
// an ID3v1 tag. Such a song never jumps: from one sample to the next its
// waveform bends by far less than any click, dropout or stale half second
// would make it. Two loud songs together pass full scale, so the cards'
// limiters work during the set as well.
//
// What a deck is given is measured on the decoded PCM: the largest sample
// and the largest bend |x[n+1] - 2 x[n] + x[n-1]| of either channel, at the
// song's own rate, silence before its start included.

#include <QString>
#include <vector>

namespace qdl::soak {

struct SoakSong {
  QString file;  // name of the MP3 file in the song folder
  QString artist;
  QString title;
  int rate = 44100;  // sample rate of the decoded PCM
  int channels = 2;
  double seconds = 0;  // length of the sound
  int peak = 0;        // largest sample magnitude
  double bend = 0;     // largest second difference
};

// Makes `count` songs in `folder` unless a complete set of that count is
// there from an earlier run, and returns them. Throws std::runtime_error
// with the reason when a song cannot be made or decoded (lame missing).
std::vector<SoakSong> makeSongs(const QString& folder, int count);

}  // namespace qdl::soak
