#pragma once
// The song library as the simulated set expects it to be (internal to the
// soak): every record by its Index with the cue point last stored for it and
// the texts last written into it, and the songs whose files went away.

#include <QMap>
#include <QString>
#include <vector>

#include "soak/SoakSet.h"

namespace qdl::soak {

struct SoakSet::Shadow {
  struct Record {
    QString file;  // full path
    QString artist;
    QString title;
    int cue = 0;  // StartZeit, hundredths
  };
  QMap<qint64, Record> records;
  std::vector<const SoakSong*> removed;  // deleted from the folder, not yet back
  QString folder;                        // the songs' folder of this set

  qint64 indexOf(const QString& path) const {
    for (auto it = records.begin(); it != records.end(); ++it)
      if (it->file == path) return it.key();
    return -1;
  }
};

}  // namespace qdl::soak
