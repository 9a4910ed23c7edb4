#pragma once
// The whole console on the virtual cards' manual clock: windows created in a
// temporary folder, songs in the library pointing at generated MP3 files, and
// a clock that renders both cards and runs the deck timers every 10 ms.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QVariant>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "app/Mainform.h"
#include "app/Windows.h"
#include "audio/Dsutil.h"
#include "library/Datamod.h"
#include "platform/db/Table.h"
#include "platform/sound/Sound.h"
#include "platform/sound/VirtualCards.h"
#include "platform/ui/Controls.h"
#include "support/ScriptedDialogs.h"
#include "support/TempDir.h"
#include "support/VirtualCardSettings.h"

namespace qdl::test {

inline QString fixture(const char* name) {
  return QDir(QStringLiteral(QDL_FIXTURE_DIR)).filePath(QLatin1String(name));
}

// mode: output mode written to qdl.ini (0, 1 or 2).
class Console {
 public:
  explicit Console(int mode = 2, int language = 0) {
    writeVirtualCardSettings(cwd.file("qdl.ini"), mode, language);
    start();
  }
  // With a settings file of this text.
  explicit Console(const QByteArray& settings) {
    QFile ini(cwd.file("qdl.ini"));
    if (ini.open(QIODevice::WriteOnly)) ini.write(settings);
    ini.close();
    start();
  }

  ~Console() { app::destroyWindows(); }

  // Adds a song and makes it the current record.
  void addSong(const QString& path, const QString& artist, const QString& title,
               int startZeit = 0) {
    songs->insertRecord({QVariant(), artist, title, QVariant(), QStringLiteral("Pop"),
                         QStringLiteral("2001"), path, QVariant(), startZeit, QVariant(), false});
    select(path);
  }

  void select(const QString& path) {
    songs->setIndexName(QStringLiteral("iDateiname"));
    songs->findNearest(path);
  }

  // Advances the clock by ms milliseconds in 10 ms steps: both cards render
  // 441 frames, then each running deck timer ticks, then what the handlers
  // left for later (messages) runs, as the event loop would.
  void run(int ms, bool timers = true) {
    for (int t = 0; t < ms; t += 10) {
      for (int c = 0; c < sound::VirtualCards::kCount; ++c) sound::VirtualCards::advance(c, 441);
      if (!timers) continue;
      if (f->TimerLinks->isActive()) f->TimerLinksTimer();
      if (f->TimerRechts->isActive()) f->TimerRechtsTimer();
      QCoreApplication::sendPostedEvents();
    }
  }

  // What a card played since the last call: interleaved stereo samples.
  static std::vector<std::int16_t> played(int card) {
    return sound::VirtualCards::takeCaptured(card);
  }

  QString leftState() const { return f->StatusBar_Links->panelText(0); }
  QString rightState() const { return f->StatusBar_Rechts->panelText(0); }

  TempCwd cwd;
  ScriptedDialogs dialogs;
  TFormQuandrel* f = nullptr;
  db::Table* songs = nullptr;

 private:
  void start() {
    app::createWindows();
    app::showMainWindow();
    f = FormQuandrel;
    songs = DataModule1->Table1;
    // Forget what the cards played before this console existed.
    for (int c = 0; c < sound::VirtualCards::kCount; ++c) sound::VirtualCards::takeCaptured(c);
  }
};

// Largest absolute sample value.
inline int peak(const std::vector<std::int16_t>& s) {
  int p = 0;
  for (std::int16_t v : s) p = std::max(p, std::abs(int(v)));
  return p;
}

}  // namespace qdl::test
