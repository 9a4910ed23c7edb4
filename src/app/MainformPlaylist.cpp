// The console's playlist menu and autoplay: opening the playlist window,
// loading and importing playlist files, and the autoplay check box and
// timer, whose hand-over lives in the deck code.

#include <QCheckBox>
#include <QDir>
#include <QTimer>

#include "app/Mainform.h"
#include "decks/Autoplay.h"
#include "decks/Deck.h"
#include "decks/DeckModel.h"
#include "lang/Sprache.h"
#include "library/Datamod.h"
#include "library/Suche.h"
#include "platform/db/Table.h"
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
  if (!mixer->autoPlay()) {
    TimerAutoPlay->stop();
    autoplayTold_.clear();  // switched on again, a problem is told again
  } else if (!TimerAutoPlay->isActive()) {
    TimerAutoPlay->start();
  }
}

void TFormQuandrel::TimerAutoPlayTimer() {
  using qdl::decks::LoadResult;
  qdl::db::Table* table = DataModule1->Table1;
  // The hand-over loads without a message box: nobody may be there to
  // close it while the other deck runs out. A song loaded clears what was
  // told, so the next problem is told again.
  const auto load = [this](bool left) {
    return [this, left](QString* why) {
      auto d = left ? deckLinks() : deckRechts();
      const LoadResult result = qdl::decks::Load(d, shared(), why);
      if (result == LoadResult::Loaded) autoplayTold_.clear();
      return result;
    };
  };
  // Told after the tick, in a box that lets the decks and autoplay go on;
  // the same problem with the same file is told once, not every second.
  const auto tellLater = [this, table](const QString& text) {
    const QString file = table->isOpen() ? table->asString(QStringLiteral("DateiName")) : QString();
    const QString problem = file + QLatin1Char('\n') + text;
    if (problem == autoplayTold_) return;
    autoplayTold_ = problem;
    QMetaObject::invokeMethod(
        this, [this, text] { qdl::ui::showMessage(this, text, FormSprache->Meldung.sAchtung); },
        Qt::QueuedConnection);
  };
  // The next playlist entry while the playlist is open (a line that cannot
  // be played is marked there), else the song the grid shows.
  const bool playlist = FormPlayList->isVisible();
  qdl::decks::AutoplaySongs songs;
  songs.take = [playlist] { return !playlist || FormPlayList->TakeNextSong(*DataModule1); };
  songs.unplayable = [playlist, tellLater](const QString& why) {
    if (playlist)
      FormPlayList->MarkUnplayable(why);
    else
      tellLater(why);
  };
  songs.tell = tellLater;
  songs.tries = playlist ? int(FormPlayList->FileList.size()) : 1;
  songs.onTheBeat = mixer->beatAutoPlay();
  const auto tick = [&] {
    qdl::decks::AutoPlayTick(
        {deckLinks(), load(true), [this] { Play_LinksMouseDown(Qt::LeftButton); }},
        {deckRechts(), load(false), [this] { Play_RechtsMouseDown(Qt::LeftButton); }}, songs);
  };
  // While the tag editor is open, or a change of a record is pending, the
  // hand-over works beside it: the change is neither posted (no tag is
  // written, nothing is asked) nor dropped, and the editor keeps its
  // record and order. The deck loads what the library holds.
  const bool editing =
      table->isOpen() && (table->state() != qdl::db::Table::State::Browse ||
                          (FormDatenBearbeiten && FormDatenBearbeiten->isVisible()));
  if (editing)
    table->runBeside(tick);
  else
    tick();
}
