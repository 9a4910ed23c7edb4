#include "platform/record/Recorder.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <vector>

#include "platform/record/TrackList.h"
#include "platform/sound/OutputTap.h"

namespace qdl::record {

namespace {

constexpr int kChunk = 4096;  // frames the writer takes from the ring at once

QString cueType(Format format) {
  return format == Format::Mp3 ? QStringLiteral("MP3") : QStringLiteral("WAVE");
}

}  // namespace

Recorder::Recorder() = default;

Recorder::~Recorder() { stop(); }

QString Recorder::start(const RecordSettings& settings, const QDateTime& startedAt, Attach attach) {
  if (isRecording()) return {};
  settings_ = settings;
  const QDir folder(settings.folder);
  if (!folder.mkpath(QStringLiteral(".")))
    return QStringLiteral("%1: the folder cannot be made")
        .arg(QDir::toNativeSeparators(settings.folder));
  const QString ext = QLatin1Char('.') + formatName(settings.format);
  const QString stamp = startedAt.toString(QStringLiteral("yyyy-MM-dd HH-mm-ss"));
  {
    std::lock_guard lock(mutex_);
    files_.clear();
    failure_.clear();
    pendingParts_.clear();
    stopping_ = false;
  }
  bytes_ = 0;
  written_ = 0;
  failed_ = false;
  bytesBefore_ = 0;
  part_ = 1;
  // The first name whose audio file and track list are all free; the audio
  // file is created exclusively, so a name taken meanwhile moves on too.
  QString why;
  for (int n = 1; n < 1000 && !file_; ++n) {
    base_ = folder.filePath(n == 1 ? stamp : QStringLiteral("%1 (%2)").arg(stamp).arg(n));
    if (QFileInfo::exists(base_ + ext) || QFileInfo::exists(base_ + QStringLiteral(".cue")) ||
        QFileInfo::exists(base_ + QStringLiteral(".txt")))
      continue;
    file_ = EncodedFile::create(base_ + ext, settings.format, &why);
    if (!file_ && !QFileInfo::exists(base_ + ext)) break;
  }
  if (!file_)
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(base_ + ext),
                                        why.isEmpty() ? QStringLiteral("no free name") : why);
  files_ << file_->path();
  tracks_ = std::make_unique<TrackList>(base_, QFileInfo(file_->path()).fileName(),
                                        cueType(settings.format));
  tap_ = std::make_shared<sound::OutputTap>(
      settings.ringFrames > 0 ? settings.ringFrames : std::max(1, settings.ringSeconds) * kRate);
  attach_ = std::move(attach);
  writer_ = std::thread([this] { run(); });
  attach_(tap_);
  return {};
}

QString Recorder::stop() {
  if (!isRecording()) return {};
  attach_(nullptr);  // the card no longer writes: what the ring holds is all
  attach_ = nullptr;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  writer_.join();
  QString why;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [frame, name] : pendingParts_) tracks_->newPart(frame, name);
    pendingParts_.clear();
    why = failure_;
  }
  const QString listFailure = tracks_->finish();
  if (why.isEmpty()) why = listFailure;
  tracks_.reset();
  return why;
}

Recorder::Status Recorder::status() const {
  Status s;
  s.frames = recordedFrames();
  s.bytes = bytes_.load();
  s.lostFrames = tap_ ? tap_->lostFrames() : 0;
  s.writtenFrames = written_.load();
  s.failed = failed_.load();
  if (s.failed) {
    std::lock_guard lock(mutex_);
    s.failure = failure_;
  }
  return s;
}

std::int64_t Recorder::recordedFrames() const {
  return tap_ ? tap_->producedFrames() : written_.load();
}

void Recorder::addTrack(const QString& artist, const QString& title) {
  if (!tracks_) return;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [frame, name] : pendingParts_) tracks_->newPart(frame, name);
    pendingParts_.clear();
  }
  tracks_->add(recordedFrames(), artist, title);
}

QStringList Recorder::files() const {
  std::lock_guard lock(mutex_);
  return files_;
}

QString Recorder::cuePath() const { return base_ + QStringLiteral(".cue"); }
QString Recorder::textPath() const { return base_ + QStringLiteral(".txt"); }

void Recorder::run() {
  std::vector<std::int16_t> buffer(std::size_t(kChunk) * sound::OutputTap::kChannels);
  bool ok = true;
  bool last = false;  // the tap was detached before the ring was last found empty
  for (;;) {
    const sound::OutputTap::Chunk chunk = tap_->pop(buffer.data(), kChunk);
    if (ok && chunk.frames > 0) ok = writeFrames(buffer.data(), chunk.frames);
    if (ok && chunk.gap > 0) ok = writeSilence(chunk.gap);
    if (chunk.frames > 0 || chunk.gap > 0) continue;
    if (last) {
      // Drained for good: a gap still open ends the recording.
      const std::int64_t gap = tap_->takeLastGap();
      if (ok && gap > 0) ok = writeSilence(gap);
      break;
    }
    std::unique_lock lock(mutex_);
    // Once stopping, the card writes no more: one more pass drains the ring.
    if (stopping_) {
      last = true;
      continue;
    }
    // A block is 10 ms at most; the ring holds seconds: a short nap is enough.
    wake_.wait_for(lock, std::chrono::milliseconds(20));
  }
  if (file_) {
    const bool closed = file_->close();
    if (ok && !closed) {
      std::lock_guard lock(mutex_);
      failure_ =
          QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file_->path()), file_->error());
      failed_ = true;
    }
    bytes_ = bytesBefore_ + file_->bytes();
    file_.reset();
  }
}

bool Recorder::writeFrames(const std::int16_t* frames, int count) {
  if (settings_.format == Format::Wav) {
    // A WAV file ends before splitBytes: what does not fit starts the next one.
    constexpr std::int64_t kHeader = 44;
    const std::int64_t used = std::max(file_->bytes(), kHeader);
    const std::int64_t room = std::max<std::int64_t>(0, (settings_.splitBytes - used) / 4);
    if (room < count) {
      if (room > 0 && !writeToFile(frames, int(room))) return false;
      if (!openPart()) return false;
      return writeFrames(frames + room * 2, count - int(room));
    }
  }
  return writeToFile(frames, count);
}

bool Recorder::writeToFile(const std::int16_t* frames, int count) {
  if (!file_->write(frames, count)) {
    // Finish what was written so it plays; the caller stops the recording.
    file_->close();
    std::lock_guard lock(mutex_);
    failure_ =
        QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file_->path()), file_->error());
    failed_ = true;
    bytes_ = bytesBefore_ + file_->bytes();
    return false;
  }
  written_ += count;
  bytes_ = bytesBefore_ + file_->bytes();
  return true;
}

bool Recorder::writeSilence(std::int64_t frames) {
  static const std::vector<std::int16_t> silence(std::size_t(kChunk) * sound::OutputTap::kChannels);
  while (frames > 0) {
    const int n = int(std::min<std::int64_t>(frames, kChunk));
    if (!writeFrames(silence.data(), n)) return false;
    frames -= n;
  }
  return true;
}

bool Recorder::openPart() {
  QString why;
  const bool closed = file_->close();
  bytesBefore_ += file_->bytes();
  if (!closed) why = file_->error();
  const QString previous = file_->path();
  std::unique_ptr<EncodedFile> next;
  if (why.isEmpty()) {
    ++part_;
    const QString ext = QLatin1Char('.') + formatName(settings_.format);
    QString path;
    for (int n = 0; n < 1000 && !next; ++n) {
      path = n == 0 ? QStringLiteral("%1-%2%3").arg(base_).arg(part_).arg(ext)
                    : QStringLiteral("%1-%2 (%3)%4").arg(base_).arg(part_).arg(n + 1).arg(ext);
      next = EncodedFile::create(path, settings_.format, &why);
      if (!next && !QFileInfo::exists(path)) break;
    }
  }
  std::lock_guard lock(mutex_);
  if (!next) {
    failure_ = QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(previous), why);
    failed_ = true;
    file_.reset();
    return false;
  }
  file_ = std::move(next);
  files_ << file_->path();
  pendingParts_.append({written_.load(), QFileInfo(file_->path()).fileName()});
  return true;
}

}  // namespace qdl::record
