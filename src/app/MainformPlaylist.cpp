// The console's playlist menu and autoplay: opening the playlist window,
// loading and importing playlist files, and the autoplay check box and
// timer, whose hand-over lives in the deck code.

#include <QCheckBox>
#include <QDir>
#include <QTimer>

#include "app/Mainform.h"
#include "decks/Autoplay.h"
#include "decks/Deck.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "platform/ui/Dialogs.h"
#include "playlist/Playlist.h"

namespace {

QString playlistFolder(const QString& baseDir) {
  return QDir(baseDir.isEmpty() ? QDir::currentPath() : baseDir)
      .filePath(QStringLiteral("Playlist"));
}

}  // namespace

void TFormQuandrel::wirePlaylist() {
  connect(cbAutoPlay, &QCheckBox::toggled, this, [this] { cbAutoPlayClick(); });
  connect(TimerAutoPlay, &QTimer::timeout, this, &TFormQuandrel::TimerAutoPlayTimer);
}

void TFormQuandrel::Neu1Click() {
  FormPlayList->PlaylistDir = playlistFolder(BaseDir);
  FormPlayList->show();
  FormPlayList->raise();
}

void TFormQuandrel::Laden1Click() {
  const QString folder = playlistFolder(BaseDir);
  const QString path = qdl::ui::dialogs().openFileName(
      this, FormSprache->Playlist.sPlaylistTitel, folder,
      QStringLiteral("Quandrel-Playlist (*.qdp);;Winamp-Playlist (*.m3u *.m3u8)"));
  if (path.isEmpty()) return;
  FormPlayList->PlaylistDir = folder;
  qdl::ui::guarded(this, [&] { FormPlayList->LoadPlaylistFile(path, BaseDir, *DataModule1); });
}

void TFormQuandrel::cbAutoPlayClick() {
  if (!cbAutoPlay->isChecked())
    TimerAutoPlay->stop();
  else if (!TimerAutoPlay->isActive())
    TimerAutoPlay->start();
}

void TFormQuandrel::TimerAutoPlayTimer() {
  qdl::decks::AutoPlayTick(
      {deckLinks(), [this] { LoadDB_LinksClick(); },
       [this] { Play_LinksMouseDown(Qt::LeftButton); }},
      {deckRechts(), [this] { LoadDB_RechtsClick(); },
       [this] { Play_RechtsMouseDown(Qt::LeftButton); }},
      // The next playlist entry while the playlist is open, else the song
      // the grid shows.
      [] { return !FormPlayList->isVisible() || FormPlayList->TakeNextSong(*DataModule1); });
}
