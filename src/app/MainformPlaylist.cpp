// The console's playlist menu: opening the playlist window, loading and
// importing playlist files.

#include <QDir>

#include "app/Mainform.h"
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
