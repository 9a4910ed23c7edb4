#pragma once
// Tempo analysis of the song library: fills Beats of the songs whose tempo
// nobody has measured or typed yet.
//
// Which records: those with a file name whose Beats is empty and whose
// Analyse is false (or empty). A tempo goes into Beats as a whole number,
// and the exact tempo with the tracker's beat times into the record's row of
// the analysis table (Table::setAnalysis); a song without a steady beat
// keeps an empty Beats and has its analysis row removed; either way Analyse
// becomes true, so the song is not tried again. Analyse true thus means "Beats is the analysis's
// result": the data module sets Analyse back to false whenever the user
// types a Beats of their own (TDataModule1), so a typed value is never
// overwritten, and stored libraries whose Beats were all typed read right.
// With redo, the records whose Analyse is true are analysed again as well
// (after a change of the range, say); their Beats is replaced, also by an
// empty one when no tempo is found any more.
//
// Files: one that is not there now (a stick not plugged in, a share not
// mounted) or cannot be read is left as it was, to be tried once it is
// back; one that is there but holds no MP3 audio is marked analysed with no
// Beats (with redo it keeps what it has). A file that disappears while it
// is analysed counts as not there.
//
// Threads: the decoding runs on one worker thread, one file at a time, in
// the idle scheduling class (nice 10 where that cannot be had), so the
// decks' timers and the sound keep their pace. Each result comes back to the
// user-interface thread, which stores it by the record's key
// (Table::setStoredValue): the cursor stays where it is, grids are told, and
// the after-post callback (the tag write-back) does not run, so no MP3 file
// is ever written. Before storing, the record is read again: a record
// deleted meanwhile, given another file name, or given a Beats by the user
// (also one typed into the editor and not posted yet) keeps what it has.
// A storage failure (a full disk) ends the run; error() says why.
//
// The beat grid (Table::setBeatGrid, see qdl::tempo::BeatGrid) is stored in
// the same batch as the tempo; a song without a steady beat has its grid
// removed. Records that have a Beats but no grid are chosen too, for their
// grid only, from their file (decoded once), and their Beats, Analyse and
// analysis row are never changed: the grid's tempo is the measured one
// folded to the octave nearest the Beats (typed, tagged or analysed before
// grids were kept), and there is no grid at all when the two differ by more
// than 3 % (counted: a wrong grid would pull the other deck off the beat).
// The beats the analysis table holds are not enough for a grid: the
// tracker often locks onto the off-beats, which only the song's onsets tell
// from the beat.
//
// Loudness and overview: the same pass measures each song's EBU R128 loudness
// (loudness::Meter) and its overview (analysis::OverviewBuilder) and stores
// them in the same batch (SongLoudness.h, Table::setOverview). Records
// are also chosen when their tempo is done (or typed) but their loudness is
// not measured yet, or comes from ReplayGain tags; for those only the
// loudness (and the grid, when they need one too) is stored, whatever the
// tempo analysis finds. A song that is
// silent or holds no MP3 audio is stored as measured without a loudness.
//
// cancel() stops after the current frame of the current file: results
// finished until then are stored, the rest stays to do.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "platform/loudness/Loudness.h"
#include "platform/tempo/Tempo.h"

namespace qdl {
class IniFile;
}
namespace qdl::db {
class Table;
}

namespace qdl::library {

struct TempoCounts {
  int toAnalyse = 0;     // records chosen for their tempo or loudness when the run started
  int done = 0;          // their results handled
  int tempo = 0;         // stored with a tempo
  int noTempo = 0;       // marked analysed without a tempo
  int unreadable = 0;    // files that are there but hold no MP3 audio
  int notReachable = 0;  // files not there or not readable now, left to do
  int skipped = 0;       // records changed or deleted while their file was analysed
  // Records with a Beats chosen for their grid only, and how many of them
  // were handled (also those counted as not reachable or skipped above).
  int gridToFind = 0;
  int gridDone = 0;
  int grids = 0;          // grids stored, with a tempo or alone
  int gridDisagrees = 0;  // typed tempos the measurement disagrees with: no grid
  int total() const { return toAnalyse + gridToFind; }
  int handled() const { return done + gridDone; }
  int loudnessOnly = 0;  // records whose tempo was done that had their loudness measured
};

// The summary for the command line, one "name: value" line each: records to
// analyse, tempo found, no tempo, unreadable, not reachable, grids added;
// typed tempos without a grid, changed meanwhile and loudness only when
// not 0.
QString tempoSummaryText(const TempoCounts& counts);

// The section and keys of the fold range in the settings file.
inline constexpr const char* kTempoSection = "Tempo";
inline constexpr const char* kTempoMinKey = "MinBPM";
inline constexpr const char* kTempoMaxKey = "MaxBPM";
// The fold range the settings file sets: [Tempo] MinBPM and MaxBPM,
// 70 and 180 when missing. A value that is no whole number from 30 to 300,
// a MinBPM above the MaxBPM, or a MaxBPM below twice the MinBPM (a range
// narrower than an octave, which cannot hold every tempo), throws
// qdl::ConversionError naming the value, the section and key, and the file.
tempo::Range tempoRangeSetting(const IniFile& settings);

class TempoAnalysis : public QObject {
  Q_OBJECT

 public:
  // What analyses one file (the path as the table holds it); called on the
  // worker thread.
  using Analyser = std::function<tempo::Result(const QString& path, const tempo::Range& range,
                                               const tempo::CancelCheck& cancelled)>;

  explicit TempoAnalysis(db::Table& table, QObject* parent = nullptr);
  // Cancels a run and waits for the worker (at most one frame's work, or a
  // file's opening scan).
  ~TempoAnalysis() override;

  // qdl::tempo::analyseFile, feeding sinks(), unless replaced (tests).
  Analyser analyser;
  // The analyses the current file's PCM goes to besides the tempo (its
  // loudness meter and its overview): for the analyser, on the worker
  // thread.
  const std::vector<tempo::PcmSink*>& sinks() const { return sinks_; }

  // Chooses the records (see above) and starts the worker; returns how many
  // were chosen. With none, nothing starts and finished() is not emitted.
  // Throws db::ReadOnlyError for a table that cannot be written and DbError
  // when it cannot be read. Not while a run is going on.
  int start(const tempo::Range& range, bool redo = false);
  void cancel();
  bool isRunning() const { return running_; }
  bool cancelled() const { return stop_.load(); }

  const TempoCounts& counts() const { return counts_; }
  // The file and the tempo (0: none) of the last result handled.
  QString lastFile() const { return lastFile_; }
  int lastBpm() const { return lastBpm_; }
  // Why the run ended early: the storage's failure; empty when it did not.
  QString error() const { return error_; }

 signals:
  // A result was handled (stored or not); counts() includes it.
  void resultHandled();
  // The worker has ended: all done, cancelled, or stopped by a failure.
  void finished();

 private:
  struct Job {
    qint64 key = 0;
    QString path;
    bool tempo = true;  // false: the tempo is done; the grid or the loudness is wanted
    // Without the tempo: the grid is wanted, folded to the record's Beats
    // when chosen, which was typed or analysed.
    bool grid = false;
    QVariant beats;
    bool typed = false;
    bool loudness = false;  // without the tempo: the loudness is wanted
  };
  enum class Found { Tempo, NoTempo, NotMpeg, NotThere, Cancelled, Disagrees };

  // What a tempo found comes back with.
  struct Measured {
    int bpm = 0;
    double exactBpm = 0;
    std::vector<float> beats;
    tempo::BeatGrid grid;
    std::optional<loudness::Level> level;  // nullopt: silent
    QByteArray overview;                   // empty: none was made
  };

  void work(std::vector<Job> jobs, tempo::Range range);
  Found analyse(const Job& job, const tempo::Range& range, Measured& measured);
  Found findGrid(const Job& job, const tempo::Range& range, Measured& measured);
  void store(const Job& job, Found found, const Measured& measured);
  // A job that leaves the tempo alone: the grid and the loudness it wants.
  void storeSide(const Job& job, Found found, const Measured& measured);
  // The loudness of a job that leaves the tempo alone; true when the record took it.
  bool storeLoudness(const Job& job, Found found, const Measured& measured);
  // Whether the record may take the result; counts it as skipped if not.
  bool mayStore(const Job& job, bool& analysed);
  bool mayStoreGrid(const Job& job);
  void storeOverview(const Job& job, const Measured& measured);
  void workerEnded();

  db::Table& table_;
  std::vector<tempo::PcmSink*> sinks_;  // the worker's, for the current file
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool running_ = false;
  bool redo_ = false;
  TempoCounts counts_;
  QString lastFile_;
  int lastBpm_ = 0;
  QString error_;
};

}  // namespace qdl::library
