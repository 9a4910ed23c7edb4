#pragma once
// `quandrel playlist FILE`: the entries a load of FILE (.qdp, .m3u or .m3u8)
// would give, one full path per line on `out`, and each skipped line with
// its reason on `err` (as are entries whose files are not there). Writes no
// ".qdp" file and does not touch the library.
//
// Returns the exit code: 0 read, 1 the file cannot be read as a playlist,
// 2 wrong arguments.

#include <QStringList>
#include <cstdio>

namespace qdl::playlist {

// `arguments` are the words after "playlist".
int runPlaylistCommand(const QStringList& arguments, std::FILE* out, std::FILE* err);

const char* playlistUsage();

}  // namespace qdl::playlist
