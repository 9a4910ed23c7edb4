#pragma once
// Measures every text a window shows against the room its control gives it:
// button and check box captions, radio items, labels, group box titles, the
// menu bar and column titles. The widget tree is walked, so controls added
// later are measured without naming them here.

#include <QString>
#include <QStringList>

class QWidget;

namespace qdl::test {

// One text that does not fit: where, what, and the widths in pixels.
struct Clipped {
  QString where;  // window / object path
  QString text;
  int need;
  int room;
};

// Every visible text of the window (and the window's children) that does
// not fit its control, measured with the control's own font and style.
QList<Clipped> clippedTexts(QWidget* window);

// "where: "text" needs N px, has M px" lines.
QStringList describe(const QList<Clipped>& clipped);

// How many texts clippedTexts() looked at since the last call (a test can
// make sure the walk saw something).
int measuredTexts();

}  // namespace qdl::test
