#include "decks/OverviewLoader.h"

#include <QMetaObject>
#include <algorithm>

#include "decks/DeckModel.h"
#include "platform/db/DbError.h"
#include "platform/db/Table.h"

namespace qdl::decks {
namespace {

// Decoders at once for one song: one per core, at least two, at most four.
int parts() { return std::clamp(int(std::thread::hardware_concurrency()), 2, 4); }

}  // namespace

OverviewLoader::OverviewLoader(Deck& deck, TableSource table, QObject* parent)
    : QObject(parent), deck_(deck), table_(std::move(table)) {
  connect(&deck_, &Deck::playerChanged, this, &OverviewLoader::songChanged);
}

OverviewLoader::~OverviewLoader() {
  for (auto& job : jobs_) job->cancel = true;
  for (auto& job : jobs_) job->thread.join();
}

void OverviewLoader::songChanged() {
  // The load that replaced the player has not yet set the deck's record:
  // the worker of the song before stops now, the new song is looked at
  // once the load is complete.
  ++generation_;
  if (!jobs_.empty() && !jobs_.back()->done) jobs_.back()->cancel = true;
  working_ = false;
  // The old song's picture never stands over the new song.
  show(std::nullopt);
  if (lookUpPending_) return;
  lookUpPending_ = true;
  QMetaObject::invokeMethod(this, &OverviewLoader::lookUp, Qt::QueuedConnection);
}

void OverviewLoader::lookUp() {
  lookUpPending_ = false;
  reap();
  db::Table* table = table_ ? table_() : nullptr;
  const qint64 key = deck_.song();
  if (!deck_.player() || key < 0 || !table || !table->isOpen()) return show(std::nullopt);
  QString path;
  try {
    if (const std::optional<QByteArray> stored = table->overview(key))
      if (std::optional<analysis::Overview> o = analysis::decode(*stored))
        return show(std::move(o));
    // A damaged or missing row is made anew.
    const std::optional<QVariant> name = table->storedValue(key, QStringLiteral("DateiName"));
    if (name) path = name->toString();
  } catch (const db::DbError&) {
    // A library that cannot be read now: the file still can.
  }
  show(std::nullopt);
  if (!path.isEmpty()) start(key, path);
}

void OverviewLoader::start(qint64 key, const QString& path) {
  auto job = std::make_unique<Job>();
  Job* j = job.get();
  const quint64 generation = generation_;
  job->thread = std::thread([this, j, generation, key, file = path.toStdString()] {
    analysis::lowerCurrentThreadPriority();
    std::optional<analysis::Overview> o = analysis::overviewOfFile(
        file, [j] { return j->cancel.load(); }, parts());
    const bool wasCancelled = j->cancel.load();
    // Posted before `done`: the loader joins a done worker, and waits for
    // this one in its destructor, so `this` is alive here.
    QMetaObject::invokeMethod(
        this,
        [this, generation, key, wasCancelled, o = std::move(o)]() mutable {
          finished(generation, key, wasCancelled, std::move(o));
        },
        Qt::QueuedConnection);
    j->done = true;
  });
  jobs_.push_back(std::move(job));
  working_ = true;
  ++started_;
}

void OverviewLoader::finished(quint64 generation, qint64 key, bool wasCancelled,
                              std::optional<analysis::Overview> overview) {
  reap();
  if (wasCancelled) ++cancelled_;
  if (!overview) {
    if (generation == generation_) working_ = false;
    return;
  }
  // A song loaded meanwhile does not show it, but the library keeps it.
  db::Table* table = table_ ? table_() : nullptr;
  if (table && table->isOpen()) {
    try {
      table->setOverview(key, analysis::encode(*overview));
    } catch (const db::DbError&) {
      // A library that cannot be written: the deck shows it all the same
      // and it is made again at the song's next load.
    }
  }
  if (generation != generation_) return;
  working_ = false;
  show(std::move(overview));
}

void OverviewLoader::show(std::optional<analysis::Overview> overview) {
  if (overview_ == overview) return;
  overview_ = std::move(overview);
  emit overviewChanged();
}

void OverviewLoader::reap() {
  std::erase_if(jobs_, [](const std::unique_ptr<Job>& job) {
    if (!job->done) return false;
    job->thread.join();
    return true;
  });
}

}  // namespace qdl::decks
