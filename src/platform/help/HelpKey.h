#pragma once
// Help context numbers on widgets and the help key (F1).
//
// A window carries its help file name; any widget may carry a help context
// number. F1 in a window with the help key attached shows the topic of the
// nearest context number found from the widget under the mouse (or the focus
// widget) up through its parents.

#include <QString>

class QWidget;

namespace qdl::help {

void setHelpContext(QWidget* widget, int context);
// The context number of the widget or its nearest parent that has one; 0 when none.
int helpContextOf(const QWidget* widget);

void setHelpFile(QWidget* window, const QString& helpFile);
QString helpFileOf(const QWidget* widget);

// Installs the F1 shortcut on a window.
void attachHelpKey(QWidget* window);

// What F1 does, callable from tests: the topic for the given widget.
void helpKeyPressed(QWidget* widget);

}  // namespace qdl::help
