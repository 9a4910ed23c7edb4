#pragma once
// The overview of the song a deck has loaded. A song whose record has one
// stored shows it at once; for another, a worker thread at low priority
// decodes the file with decoders of its own (one per core, two to four),
// the picture is shown as soon as it is done and the library keeps it
// (Table::setOverview, on the window's thread). A new load, or a deck that
// lets its song go, cancels the worker of the song before: its picture is
// never shown on the wrong song, and no two workers of a deck run for long.
//
// Everything here runs on the window's thread but the workers, which share
// nothing with the decks.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "platform/analysis/Overview.h"

namespace qdl::db {
class Table;
}

namespace qdl::decks {

class Deck;

class OverviewLoader : public QObject {
  Q_OBJECT
 public:
  // The song table the deck loads from (may be null or closed: nothing is
  // read or stored then).
  using TableSource = std::function<db::Table*()>;

  OverviewLoader(Deck& deck, TableSource table, QObject* parent = nullptr);
  // Cancels the workers and waits for them (each stops within a decoded
  // frame).
  ~OverviewLoader() override;

  // The overview of the deck's song; none while it is being made, for a
  // deck without a song, or for a file that cannot be read.
  const std::optional<analysis::Overview>& overview() const { return overview_; }
  // Whether a worker is making the deck's song's overview.
  bool working() const { return working_; }
  // Workers started, and those a new load cancelled (for tests).
  int started() const { return started_; }
  int cancelled() const { return cancelled_; }

 signals:
  // The overview shown for the deck changed (it arrived, or a new load
  // took the old one away).
  void overviewChanged();

 private:
  struct Job {
    std::atomic<bool> cancel = false;
    std::atomic<bool> done = false;
    std::thread thread;
  };

  void songChanged();  // the deck's player changed: cancel, then look again
  void lookUp();       // once the load is complete
  void start(qint64 key, const QString& path);
  void finished(quint64 generation, qint64 key, bool wasCancelled,
                std::optional<analysis::Overview> overview);
  void show(std::optional<analysis::Overview> overview);
  void reap();  // joins the workers that are done

  Deck& deck_;
  TableSource table_;
  std::optional<analysis::Overview> overview_;
  std::vector<std::unique_ptr<Job>> jobs_;  // the last one is the current song's
  quint64 generation_ = 0;                  // one per change of the deck's song
  bool lookUpPending_ = false;
  bool working_ = false;
  int started_ = 0;
  int cancelled_ = 0;
};

}  // namespace qdl::decks
