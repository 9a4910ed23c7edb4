#pragma once
// Where a scan looks: the user's own folders offered before the mounted
// volumes, the system's trees a walk from "/" leaves out, and the ticked
// folders a scan really needs to walk.

#include <QString>
#include <QStringList>

namespace qdl::library {

// The user's folders the check and scan window offers first: the music
// folder (`music`, as xdg-user-dir MUSIC names it) when it exists and is not
// the home folder itself, then the home folder. Paths are cleaned, without
// a trailing slash.
QStringList personalFolders(const QString& home, const QString& music);

// The running user's: QDir::homePath() and QStandardPaths::MusicLocation
// (which reads the same user-dirs.dirs as xdg-user-dir).
QStringList currentPersonalFolders();

// Whether `path` (absolute, without a trailing slash) is one of the system's
// own trees, which a walk leaves out: /proc, /sys, /dev, /run, /usr, /var,
// /etc, /boot, /snap, /tmp, /opt, /bin, /sbin, /lib, /lib32, /lib64,
// /libx32 and /lost+found. They hold the programs' files (sounds of games
// and desktops among them), never the user's music; a volume mounted below
// one of them is still scanned when it is ticked.
bool isSystemTree(const QString& path);

// The folders of `ticked` (each ending in "/") that a scan walks: a folder
// that lies inside another ticked one on the same volume (no mount point of
// `mountPoints` between them) is walked with that one and left out, so that
// ticking the music folder and "/" walks the music folder once. The order
// stays.
QStringList rootsToWalk(const QStringList& ticked, const QStringList& mountPoints);

}  // namespace qdl::library
