#pragma once
// Write-back of a record's texts into the ID3v2 tag at the start of a song,
// frame by frame: only the frames of the fields the user changed are
// replaced, added or removed; every other frame (cover art, comments,
// ReplayGain, frames of other programs) keeps its bytes, and the tag keeps
// its version (2.2, 2.3 or 2.4 frame ids and size formats).
//
// What the writer does with the forms a tag may take:
// - tag-level unsynchronisation of 2.2 and 2.3: the tag is decoded and
//   written back without it (the frames keep their decoded bytes);
// - an extended header (CRC, padding size, restrictions) is left out of the
//   rewritten tag, where a CRC would be wrong anyway;
// - a 2.4 footer is left out too: the tag stays at the start of the file,
//   where readers look first, and its room becomes padding;
// - a 2.4 tag with tag-level unsynchronisation, 2.2 compression, an unknown
//   version or frames that cannot be walked to the end is not rewritten
//   (Unsupported): the file stays as it is.
//
// A tag that fits in the room of the old one (its padding) is written over
// it in place; otherwise a new file is written in the same folder and takes
// the song's name only when complete and synced. The audio bytes are never
// changed. The ID3v1 block at the end of the file is written in the same
// step (its bytes come from the caller), so both tags stay in step.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "platform/tags/Id3v2.h"

namespace qdl::tags {

// The texts of a record that the tags hold.
struct RecordTexts {
  QString titel, interpret, jahr, genre;
};

// The fields the user changed in the record (against what the table held
// before). A field the user left alone is never written into the v2 tag,
// even where the record differs from it: a record from a library scanned
// before the v2 tag was read holds the file's name as its artist, and an
// edit of its title must not put that name over the tag's artist.
struct EditedFields {
  bool titel = true, interpret = true, jahr = true, genre = true;
};

// The texts of the fields whose frames are rewritten. A field without a
// value keeps its frames; an empty text removes them.
struct TextEdits {
  std::optional<QString> titel, interpret, jahr, genre;
  bool isEmpty() const { return !titel && !interpret && !jahr && !genre; }
};

// The fields of `record` that differ from what the file gives them: the v2
// value where the tag has one, else the v1 text (`v1`, already cut to the
// fields' widths). Texts are compared trimmed, and an edit carries the
// record's text trimmed.
TextEdits changedFields(const V2Fields& v2, const RecordTexts& v1, const RecordTexts& record);

// How many bytes the ID3v2 tag at the start of a file takes (header,
// extended header, frames, padding and footer), from its first 10 bytes;
// 0 when they are no ID3v2 header.
qint64 tagSizeAt(const QByteArray& head);

enum class RenderStatus {
  NoTag,        // the bytes are no ID3v2 tag
  Unsupported,  // a form the writer does not rewrite (see above)
  Unchanged,    // the edits change no frame
  Fits,         // `tag` has exactly the old tag's size
  Grows,        // `tag` is larger than the old tag
};

struct RenderedTag {
  RenderStatus status = RenderStatus::NoTag;
  QByteArray tag;
  qint64 oldSize = 0;  // the bytes the old tag takes at the start of the file
};

// The tag `tag` (the whole tag as it starts the file) with `edits` applied.
// A tag that grows gets `growPadding` bytes of padding for later edits.
RenderedTag renderEdited(const QByteArray& tag, const TextEdits& edits, int growPadding = 2048);

// The ID3v1 block at the end of the file, handled by the caller's rules.
struct V1Block {
  // The texts the file's block gives a record; `block` is the file's last
  // 128 bytes when they are an ID3v1 tag, else empty.
  std::function<RecordTexts(const QByteArray& block)> texts;
  // The 128 bytes written over `block`, or appended when it is empty.
  std::function<QByteArray(const QByteArray& block)> updated;
};

enum class FileResult {
  NoTag,        // the file starts with no ID3v2 tag: nothing was written
  V2Unchanged,  // the v2 tag needs no change: nothing was written
  InPlace,      // both tags were written over the old ones
  NewFile,      // the song was written anew and renamed over the old one
  Unsupported,  // the v2 tag cannot be rewritten safely: nothing was written
  Failed,       // nothing was changed; `error` says why
};

struct FileWrite {
  FileResult result = FileResult::Failed;
  int error = 0;  // errno of the step that failed (EOPNOTSUPP for Unsupported)
};

// Writes the fields of `record` that the user changed (`edited`) and that
// differ from the file's tags into its
// ID3v2 tag, and the ID3v1 block `v1.updated` makes, as one step: on
// Failed or Unsupported the file is byte for byte as it was. The file must
// be a regular file the caller has checked to be MPEG audio.
FileWrite writeTags(const QString& path, const RecordTexts& record, const V1Block& v1,
                    const EditedFields& edited = {});

}  // namespace qdl::tags
