#include "platform/record/TrackList.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

#include "platform/fs/SafeWrite.h"

namespace qdl::record {

namespace {

constexpr std::int64_t kRate = 44100;

// A text for a quoted cue sheet field: no quotes or line breaks inside.
QString cueText(const QString& text) {
  QString t = text.simplified();
  t.replace(QLatin1Char('"'), QLatin1Char('\''));
  return t;
}

QString line(const QString& text) { return text + QStringLiteral("\r\n"); }

}  // namespace

TrackList::TrackList(const QString& base, const QString& audioFile, const QString& fileType)
    : base_(base), fileType_(fileType) {
  for (const QString& path : {cuePath(), textPath()}) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (error_.isEmpty())
        error_ = QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    } else {
      ::close(fd);
      made_ << path;
    }
  }
  const QString title = QFileInfo(base).fileName();
  append(cuePath(),
         line(QStringLiteral("REM COMMENT \"Quandrel\"")) +
             line(QStringLiteral("TITLE \"%1\"").arg(cueText(title))) +
             line(QStringLiteral("FILE \"%1\" %2").arg(cueText(audioFile), fileType_)),
         &cue_);
}

TrackList::~TrackList() {
  if (!finished_) finish();
}

QString TrackList::clock(std::int64_t frame) {
  const std::int64_t s = frame / kRate;
  return QStringLiteral("%1:%2:%3")
      .arg(s / 3600)
      .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString TrackList::cueTime(std::int64_t frame) {
  const std::int64_t s = frame / kRate;
  const std::int64_t f = frame % kRate * 75 / kRate;
  return QStringLiteral("%1:%2:%3")
      .arg(s / 60, 2, 10, QLatin1Char('0'))
      .arg(s % 60, 2, 10, QLatin1Char('0'))
      .arg(f, 2, 10, QLatin1Char('0'));
}

void TrackList::append(const QString& path, const QString& text, QString* whole) {
  *whole += text;
  QFile file(path);
  // Appends only to a file made at the start: never to another's file.
  if (!made_.contains(path) || !file.open(QIODevice::Append)) return;
  file.write(text.toUtf8());
}

void TrackList::add(std::int64_t frame, const QString& artist, const QString& title) {
  ++tracks_;
  const QString who = artist.simplified();
  const QString what = title.simplified();
  QString cue = line(QStringLiteral("  TRACK %1 AUDIO").arg(tracks_, 2, 10, QLatin1Char('0')));
  if (!what.isEmpty()) cue += line(QStringLiteral("    TITLE \"%1\"").arg(cueText(what)));
  if (!who.isEmpty()) cue += line(QStringLiteral("    PERFORMER \"%1\"").arg(cueText(who)));
  cue += line(QStringLiteral("    INDEX 01 %1")
                  .arg(cueTime(std::max<std::int64_t>(0, frame - partStart_))));
  append(cuePath(), cue, &cue_);
  const QString name = who.isEmpty()    ? what
                       : what.isEmpty() ? who
                                        : who + QStringLiteral(" - ") + what;
  append(textPath(), line(clock(frame) + QStringLiteral("  ") + name), &text_);
}

void TrackList::newPart(std::int64_t frame, const QString& audioFile) {
  partStart_ = frame;
  append(cuePath(), line(QStringLiteral("FILE \"%1\" %2").arg(cueText(audioFile), fileType_)),
         &cue_);
}

QString TrackList::finish() {
  finished_ = true;
  QString why;
  for (const auto& [path, text] : {std::pair{cuePath(), &cue_}, std::pair{textPath(), &text_}}) {
    if (!made_.contains(path)) continue;  // another file had the name
    const QString failed =
        fs::writeFileSafely(path, text->toUtf8(), fs::OutputKind::SideFile, fs::Replace::Allowed);
    if (!failed.isEmpty() && why.isEmpty()) why = QStringLiteral("%1: %2").arg(path, failed);
  }
  return why;
}

}  // namespace qdl::record
