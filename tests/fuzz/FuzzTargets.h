#pragma once
// The readers of outside input, each as a fuzz target: a function that
// takes any bytes, feeds them to the reader as the program would meet them
// (a file on disk, a playlist's bytes) and checks what the reader promises.
// A broken promise aborts, which libFuzzer reports as a crash; so do the
// sanitizers' reports.
//
//   mp3    an MP3 file: the decoder and the MP3 source (open, every block,
//          seeks, times)
//   id3    a song file's ID3v1 tag: reading it, adding the song to the
//          library as a scan does, writing a tag back (nothing but the tag
//          may change, and only MPEG audio is written)
//   id3v2  the ID3v2 tag at a song file's start: parsed from memory and read
//          from the file alike, every field within its width and whole
//   qdp    a playlist of the console's own format
//   m3u    an M3U playlist of another player
//   ini    the settings file: every value read, and a write that changes
//          only its own value
//   table  the song table's file: opened (or refused, byte for byte
//          untouched), read in every order, changed
//   v2write  an ID3v2 tag the editor rewrites: the version kept, the edited
//          texts read back, every other field as before; written back
//          through a song file, its audio bytes kept
//   midi   what a MIDI port delivers: only well-formed messages, the same
//          for any split into buffers
//   mapping  a controller's mapping file: read within its limits, written
//          and read back to the same bindings
//
// Each target also has seeds, inputs that reach deep into the reader, made
// on the spot (MP3 fixtures are read from QDL_FIXTURE_DIR).
//
// scripts/fuzz builds each target with libFuzzer (fuzz_<name>); the test
// test_fuzz_inputs runs every target on its seeds and on the inputs kept in
// tests/data/fuzz/<name>/, among them each crash a fuzzer ever found.

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qdl::fuzz {

struct Target {
  const char* name;
  void (*run)(const std::uint8_t* data, std::size_t size);
  std::vector<QByteArray> (*seeds)();
  std::size_t maxLength;  // the longest input worth trying
};

// All targets, in the order scripts/fuzz runs them.
const std::vector<Target>& targets();
const Target* target(const char* name);

void mp3(const std::uint8_t* data, std::size_t size);
void id3(const std::uint8_t* data, std::size_t size);
void id3v2(const std::uint8_t* data, std::size_t size);
void qdp(const std::uint8_t* data, std::size_t size);
void m3u(const std::uint8_t* data, std::size_t size);
void ini(const std::uint8_t* data, std::size_t size);
void table(const std::uint8_t* data, std::size_t size);
void v2write(const std::uint8_t* data, std::size_t size);
void midi(const std::uint8_t* data, std::size_t size);
void mapping(const std::uint8_t* data, std::size_t size);

std::vector<QByteArray> mp3Seeds();
std::vector<QByteArray> id3Seeds();
std::vector<QByteArray> id3v2Seeds();
std::vector<QByteArray> qdpSeeds();
std::vector<QByteArray> m3uSeeds();
std::vector<QByteArray> iniSeeds();
std::vector<QByteArray> tableSeeds();
std::vector<QByteArray> v2writeSeeds();
std::vector<QByteArray> midiSeeds();
std::vector<QByteArray> mappingSeeds();

}  // namespace qdl::fuzz
