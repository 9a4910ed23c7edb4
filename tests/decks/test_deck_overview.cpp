// The song's shape in each deck: made at load when the library has none,
// kept by the library, cancelled by the next load, drawn over the seek
// bar's track with the played part grey and the cue point red, and painted
// only when something visible changes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QImage>
#include <functional>

#include "decks/DeckHarness.h"
#include "decks/DeckModel.h"
#include "decks/DeckPanel.h"
#include "decks/OverviewLoader.h"
#include "decks/OverviewView.h"
#include "platform/analysis/Overview.h"
#include "support/LevelSongs.h"

namespace {

using qdl::analysis::Overview;
using qdl::decks::OverviewLoader;
using qdl::decks::OverviewView;
using qdl::test::Console;
using qdl::test::fixture;

const char* const kTen = "sine1k_44k_stereo_cbr128.mp3";  // 10 s, 1 kHz

OverviewView* viewOf(qdl::decks::DeckPanel* panel) { return panel->overview; }
OverviewLoader* loaderOf(qdl::decks::DeckPanel* panel) {
  return panel->overview->findChild<OverviewLoader*>();
}

// Runs the event loop until `done` (the workers run on their own threads).
bool waitFor(const std::function<bool()>& done) {
  QDeadlineTimer deadline(120000);
  while (!done() && !deadline.hasExpired()) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    qdl::ui::RunningLabel::drawFrameNow();
  }
  QApplication::processEvents();
  return done();
}

// Lets the window draw what is waiting, a frame of the time display included.
void settle() {
  QApplication::processEvents();
  qdl::ui::RunningLabel::drawFrameNow();
  QApplication::processEvents();
}

QString makeSong(Console& c, const char* name, const std::vector<qdl::test::Stretch>& stretches) {
  const QString path = c.cwd.file(QLatin1String(name));
  const QString problem = qdl::test::makeLevelSong(stretches, path);
  EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
  return path;
}

enum class Shade { Black, Blue, Grey, Red };
// What a column of the view's picture shows: blue (ahead), grey (played),
// red (the cue mark) or only black.
Shade shadeOf(const QImage& image, int x) {
  Shade shade = Shade::Black;
  for (int y = 0; y < image.height(); ++y) {
    const QColor p = image.pixelColor(x, y);
    if (p.red() > 200 && p.green() < 100) return Shade::Red;
    if (p.blue() > p.red() + 30)
      shade = Shade::Blue;
    else if (p.red() > 20 && shade == Shade::Black)
      shade = Shade::Grey;
  }
  return shade;
}

TEST(DeckOverview, ASongWithoutOneGetsItsShapeAtLoadAndTheLibraryKeepsIt) {
  Console c;
  TFormQuandrel& f = *c.f;
  // 10 s of tone, 10 s of silence, 10 s of tone.
  const QString path = makeSong(c, "gap.mp3", {{10, 0.7}, {10, 0}, {10, 0.7}});
  c.addSong(path, "Gap", "Middle");
  const qint64 key = c.songs->currentId();
  ASSERT_FALSE(c.songs->overview(key));

  f.LoadDB_LinksClick();
  OverviewLoader* loader = loaderOf(f.Panel1);
  OverviewView* view = viewOf(f.Panel1);
  ASSERT_TRUE(loader);
  EXPECT_FALSE(view->isVisible()) << "nothing to show before it is made";
  ASSERT_TRUE(waitFor([&] { return loader->overview().has_value(); }));
  EXPECT_EQ(loader->started(), 1);
  EXPECT_FALSE(loader->working());

  // The library keeps what the deck shows.
  const std::optional<QByteArray> stored = c.songs->overview(key);
  ASSERT_TRUE(stored);
  ASSERT_TRUE(qdl::analysis::decode(*stored));
  EXPECT_EQ(*qdl::analysis::decode(*stored), *loader->overview());
  EXPECT_EQ(loader->overview()->bins(), 600u);

  // The picture: tone, silence, tone over the track, nothing played yet.
  ASSERT_TRUE(view->isVisible());
  const QImage shown = view->grab().toImage();
  const int x0 = view->trackStart(), x1 = view->trackEnd();
  ASSERT_GT(x1 - x0, 150);
  for (int x = 0; x < shown.width(); ++x) {
    SCOPED_TRACE(x);
    const double t = 30.0 * (x - x0) / (x1 - x0);
    if (x < x0 || x > x1 || (t > 10.5 && t < 19.5)) {
      EXPECT_EQ(shadeOf(shown, x), Shade::Black);
    } else if ((t > 0.5 && t < 9.5) || (t > 20.5 && t < 29.5)) {
      EXPECT_EQ(shadeOf(shown, x), Shade::Blue);
    }
  }

  // Another deck loading the song reads it from the library.
  c.select(path);
  f.LoadDB_RechtsClick();
  ASSERT_TRUE(waitFor([&] { return loaderOf(f.Panel3)->overview().has_value(); }));
  EXPECT_EQ(loaderOf(f.Panel3)->started(), 0);
  EXPECT_EQ(*loaderOf(f.Panel3)->overview(), *loader->overview());
}

TEST(DeckOverview, ADamagedStoredOverviewIsMadeAnewAndAnUnreadableFileShowsNothing) {
  Console c;
  TFormQuandrel& f = *c.f;
  const QString path = makeSong(c, "tone.mp3", {{5, 0.5}});
  c.addSong(path, "Tone", "Five");
  const qint64 key = c.songs->currentId();
  ASSERT_TRUE(c.songs->setOverview(key, QByteArray("\x01\x14\xff\xff\xff\xff", 6)));
  OverviewLoader* loader = loaderOf(f.Panel1);
  f.LoadDB_LinksClick();
  ASSERT_TRUE(waitFor([&] { return loader->overview().has_value(); }));
  EXPECT_EQ(loader->started(), 1);
  EXPECT_EQ(loader->overview()->bins(), 100u);
  EXPECT_EQ(c.songs->overview(key), qdl::analysis::encode(*loader->overview()));

  // A file that plays but whose overview cannot be made (it went away
  // after the load): no picture, nothing stored, the deck plays on.
  const QString gone = makeSong(c, "gone.mp3", {{5, 0.5}});
  c.addSong(gone, "Gone", "Soon");
  const qint64 goneKey = c.songs->currentId();
  f.LoadDB_LinksClick();
  ASSERT_TRUE(QFile::remove(gone));
  QApplication::processEvents();  // the worker starts
  EXPECT_TRUE(loader->working());
  ASSERT_TRUE(waitFor([&] { return !loader->working(); }));
  EXPECT_FALSE(loader->overview());
  EXPECT_FALSE(viewOf(f.Panel1)->isVisible());
  EXPECT_FALSE(c.songs->overview(goneKey));
  EXPECT_EQ(c.leftState(), "loaded");
}

TEST(DeckOverview, ANewLoadCancelsTheWorkerOfTheSongBefore) {
  Console c;
  TFormQuandrel& f = *c.f;
  const QString first = makeSong(c, "first.mp3", {{120, 0.5}});
  const QString second = makeSong(c, "second.mp3", {{20, 0.5}, {20, 0}});
  c.addSong(first, "First", "Long");
  const qint64 firstKey = c.songs->currentId();
  c.addSong(second, "Second", "Short");
  const qint64 secondKey = c.songs->currentId();
  OverviewLoader* loader = loaderOf(f.Panel1);

  c.select(first);
  f.LoadDB_LinksClick();
  QApplication::processEvents();  // the worker of the first song starts
  ASSERT_EQ(loader->started(), 1);
  ASSERT_TRUE(loader->working());
  c.select(second);
  f.LoadDB_LinksClick();
  ASSERT_TRUE(waitFor([&] { return loader->overview().has_value() && loader->cancelled() == 1; }));
  EXPECT_EQ(loader->started(), 2);
  EXPECT_EQ(loader->overview()->bins(), 800u) << "the second song's, 40 s";
  EXPECT_FALSE(c.songs->overview(firstKey)) << "the cancelled worker stored nothing";
  EXPECT_TRUE(c.songs->overview(secondKey));

  // A deck that lets its song go cancels too, and shows nothing.
  c.select(first);
  f.LoadDB_LinksClick();
  QApplication::processEvents();
  ASSERT_TRUE(loader->working());
  f.DeckLinks->deletePlayer();
  EXPECT_FALSE(loader->overview());
  ASSERT_TRUE(waitFor([&] { return loader->cancelled() == 2; }));
  EXPECT_FALSE(viewOf(f.Panel1)->isVisible());
  EXPECT_FALSE(c.songs->overview(firstKey));
}

// A stored overview of the ten-second fixture: loud first half, quiet second.
Overview halves() {
  Overview o;
  o.peak.assign(200, 40);
  o.rms.assign(200, 20);
  for (int b = 0; b < 100; ++b) o.peak[std::size_t(b)] = 240, o.rms[std::size_t(b)] = 150;
  return o;
}

TEST(DeckOverview, RepaintsOnlyWhenThePlayedPartOrTheCueMovesByAColumn) {
  Console c;
  TFormQuandrel& f = *c.f;
  c.addSong(fixture(kTen), "A", "T");
  ASSERT_TRUE(c.songs->setOverview(c.songs->currentId(), qdl::analysis::encode(halves())));
  f.LoadDB_LinksClick();
  OverviewView* view = viewOf(f.Panel1);
  OverviewLoader* loader = loaderOf(f.Panel1);
  ASSERT_TRUE(waitFor([&] { return view->isVisible(); }));
  EXPECT_EQ(loader->started(), 0) << "stored: nothing to make";

  // Where it stands: behind the time, over the seek bar's track.
  const QRect seek = f.sBarSeekLinks->geometry(), time = f.LabelZeitLinks->geometry();
  EXPECT_EQ(view->geometry().top(), time.top());
  EXPECT_EQ(view->geometry().bottom(), time.bottom());
  EXPECT_GE(view->geometry().left(), seek.left());
  EXPECT_LE(view->geometry().right(), seek.right());
  EXPECT_EQ(view->parentWidget(), f.LabelZeitLinks->parentWidget());
  EXPECT_NEAR(view->columnAt(500), (view->trackStart() + view->trackEnd()) / 2.0, 1.0);

  struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
      paints += e->type() == QEvent::Paint ? 1 : 0;
      return false;
    }
  } timePaints;
  f.LabelZeitLinks->installEventFilter(&timePaints);
  const int renders = view->renders();
  const int refreshes = view->refreshes();
  int paints = view->paints();
  f.Play_LinksMouseDown();
  int columns = 0;
  int last = view->playedColumn();
  QElapsedTimer took;
  took.start();
  for (int i = 0; i < 300; ++i) {
    c.run(10);
    if (view->playedColumn() != last) ++columns, last = view->playedColumn();
    QApplication::processEvents();
  }
  const qint64 frames = took.elapsed() * qdl::ui::RunningLabel::kFramesPerSecond / 1000;
  EXPECT_EQ(view->renders(), renders) << "playing draws no new picture";
  EXPECT_GT(columns, 40) << "three seconds of ten over the track";
  EXPECT_EQ(view->refreshes() - refreshes, columns) << "one repaint asked for per column";
  EXPECT_LE(timePaints.paints, frames + 3) << "the time still paints once a frame at most";
  // Painted as its own columns move, and beneath the time when that is
  // painted: never at every tick.
  EXPECT_LE(view->paints() - paints, timePaints.paints + columns);
  EXPECT_LE(view->paints() - paints, frames + 3 + columns);
  RecordProperty("columns", columns);
  RecordProperty("view_paints", view->paints() - paints);
  RecordProperty("time_paints", timePaints.paints);
  RecordProperty("frames", int(frames));

  // Paused: positions within one column ask for no repaint; the cue's move
  // asks for its old and its new column.
  f.Play_LinksMouseDown();
  settle();
  const int asked = view->refreshes();
  qdl::decks::Deck& deck = *f.DeckLinks;
  const int x = view->columnAt(deck.position());
  for (int p = deck.position() + 1; view->columnAt(p) == x; ++p) deck.setPosition(p);
  deck.setCuePoint(deck.cuePoint());
  EXPECT_EQ(view->refreshes(), asked);
  deck.setCuePoint(750);
  EXPECT_EQ(view->refreshes(), asked + 2);
  EXPECT_EQ(view->cueColumn(), view->columnAt(750));
  paints = view->paints();
  settle();
  EXPECT_GT(view->paints(), paints);

  // The picture: grey up to the position, blue after, red at the cue.
  const QImage shown = view->grab().toImage();
  for (int col = view->trackStart(); col <= view->trackEnd(); ++col) {
    SCOPED_TRACE(col);
    if (col == view->cueColumn())
      EXPECT_EQ(shadeOf(shown, col), Shade::Red);
    else if (col < view->playedColumn())
      EXPECT_EQ(shadeOf(shown, col), Shade::Grey);
    else
      EXPECT_EQ(shadeOf(shown, col), Shade::Blue);
  }
  EXPECT_EQ(view->renders(), renders);
}

}  // namespace
