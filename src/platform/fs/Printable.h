#pragma once
// Text read from files, made safe to print on a terminal.
//
// A file may hold anything, and a terminal takes control characters as
// commands: "ESC]0;...BEL" sets its title, "ESC[2J" clears it, others move
// the cursor over what was printed before. Every command that prints text
// from a file (paths, lines, tags) passes it through printable(), so that
// such characters show as what they are.

#include <QString>
#include <QStringView>

namespace qdl::fs {

// `text` with every control character written out as "\x" and two hex
// digits: C0 (U+0000..U+001F, the tab too), DEL (U+007F) and C1
// (U+0080..U+009F). All other characters stay as they are; so does a
// backslash, which Windows paths are full of.
QString printable(QStringView text);

// printable() in the locale's encoding, ready for printf("%s").
QByteArray printableLocal(QStringView text);

}  // namespace qdl::fs
