#pragma once
// Where the program finds the files it ships beside its code (the help
// files, and whatever else comes to be installed under share/quandrel).
//
// An installed program lives in PREFIX/bin and its files in
// PREFIX/share/quandrel, so the prefix can be chosen at install time: the
// folders are found from the program's own location
// (QCoreApplication::applicationDirPath()). A program built in a checkout
// finds them in the build tree (copied beside the executable) or, last, in
// the source tree it was built from.

#include <QString>
#include <QStringList>

namespace qdl::fs {

// The installed data folder of a program in `applicationDir`:
// applicationDir/../share/quandrel, cleaned.
QString installedDataFolder(const QString& applicationDir);

// The folders that may hold the shipped files of kind `sub` ("help"), best
// first, each once: beside the executable (applicationDir/sub), the
// installed data folder (…/share/quandrel/sub), the source tree's (when the
// program was built with one). Without an application object only the
// source tree's.
QStringList resourceFolders(const QString& sub);

// The first existing file `name` in resourceFolders(sub), or an empty text.
QString findResource(const QString& sub, const QString& name);

}  // namespace qdl::fs
