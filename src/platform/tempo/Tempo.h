#pragma once
// Tempo analysis of MP3 files: beats per minute as the song's whole number,
// over aubio's beat tracker fed with PCM from our own decoder.
//
// What it measures: the pulse a DJ counts, over the parts of the song that
// have a steady beat (a beatless intro or breakdown does not count), folded
// into a range the user sets (70..180 BPM by default). Where a tempo and its
// double both fit the range (87 and 174, say), the drums decide: drum and
// bass and four-to-the-floor dance music are fast, hip-hop and reggaeton
// slow (see Meter.h). Silence, a steady tone, hum or noise give NoTempo
// rather than a made-up number.
//
// Threads: analyseFile() may run on any thread, several at once; each call
// has its own decoder and aubio objects and shares nothing with the decks.
// It reads the file and never writes it. Cost: about 2.5 times a bare
// decode of the file (a 5-minute song in about a second on one core);
// memory: no PCM is kept, only envelopes, about a quarter of a megabyte per
// minute of audio at the most.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/tempo/BeatGrid.h"

namespace qdl::tempo {

// Beats per minute the result is folded into, both ends included, compared
// with the whole number reported (179.6 counts as 180). Ends outside 30..300
// are taken as 30 or 300, swapped ends are put in order. A range narrower
// than an octave that holds no fold of the tempo gets the nearer one.
struct Range {
  int minBpm = 70;
  int maxBpm = 180;
};

enum class Outcome {
  Tempo,       // bpm holds the tempo
  NoTempo,     // the file plays, but has no steady beat (or is silent)
  Unreadable,  // the file cannot be opened or is not MP3 data; see reason
  Cancelled,   // the cancel flag was raised before the analysis ended
};

struct Result {
  Outcome outcome = Outcome::NoTempo;
  int bpm = 0;          // the nearest whole number, within the range (Tempo only)
  double exactBpm = 0;  // the measured tempo before rounding (Tempo only)
  // How clearly the beat stands out: 1 is the least that counts as a beat,
  // music with drums is mostly 1.5 to 3; below 1 comes with NoTempo.
  double strength = 0;
  std::string reason;  // why the file was unreadable (the decoder's words)
  // The beat tracker's beats over the whole song, seconds from its start
  // (Tempo only), as the tracker placed them, a beatless intro or breakdown
  // included: the phase of the beat. Their spacing is the tracker's count,
  // which may be another octave of exactBpm or 3/2 of its period (a
  // tracker locked onto dotted beats that the analysis corrected); a beat
  // grid takes its period from exactBpm and its phase from these.
  std::vector<double> beats;
  // Where the bars begin (Tempo only; see BeatGrid.h), at exactBpm.
  BeatGrid grid;
};

// Asked on the analysing thread whether to give up; must be cheap, as it is
// asked before every decoded frame: a std::atomic<bool> the UI thread sets
// ([&stop] { return stop.load(); }), or QThread's interruption request.
using CancelCheck = std::function<bool()>;

// Analyses the MP3 file at `path` (a local file name in the file system's
// encoding). `cancelled`, when given, is asked before the file is opened
// and before each decoded frame (every 26 ms of audio, well under a
// millisecond of work); once it says yes the call returns Cancelled.
// Opening scans the whole file, which takes a moment for an hour-long mix
// read cold; the check comes again right after it.
Result analyseFile(const std::string& path, const Range& range = {},
                   const CancelCheck& cancelled = {});

// Another analysis fed the same decoded PCM in the same pass, so a song is
// decoded once for all of them: start() once the format is known (before
// any add), then add() for each decoded frame, interleaved 16-bit samples,
// `frames` frames of `channels` samples. Called on the analysing thread.
class PcmSink {
 public:
  virtual ~PcmSink() = default;
  virtual void start(int sampleRate, int channels) = 0;
  virtual void add(const std::int16_t* pcm, std::size_t frames) = 0;
};

// As above, and feeds every sink the PCM the tempo analysis reads. A sink
// has seen the whole song when the outcome is Tempo or NoTempo.
Result analyseFile(const std::string& path, const Range& range, const CancelCheck& cancelled,
                   const std::vector<PcmSink*>& sinks);

}  // namespace qdl::tempo
