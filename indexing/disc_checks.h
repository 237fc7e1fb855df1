// The decisions of New, Update and Delete that need no window: what a folder or an image gives
// a disc, whether a source may be read again, whether it is still the same disc, whether it
// would empty the disc, the record of where a disc was read, and the removal of a disc. The
// window asks its questions from these answers; a program without a window refuses or goes on.
#pragma once

#include "indexing/disc_sources.h"
#include "indexing/index_summary.h"
#include "platform/volumes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tvk {

// The volume information a folder gives a disc: the mount's, when the folder is a mount point
// with a label; else the folder's own name as label.
VolumeInformation folderVolume(const std::string& folder);

// The volume information a disc image gives a disc: its label, serial and file system as
// libblkid reads them; its file name without extension as label when it has none.
VolumeInformation imageVolume(const std::string& image);

// `root` without its final '/' ("/" stays).
std::string withoutSlash(std::string root);

// The root path of the folder `folder` as the walk takes it: with one final '/'.
std::string folderRoot(const std::string& folder);

// Whether the folder (or a drive's root) at `path` holds no entry, or cannot be opened: its
// reading would leave the disc empty.
bool folderHoldsNothing(const std::string& path);

// Whether the file at `image` is a disc image that can be read whole: the number of entries it
// holds, or PARCOURE_UNREADABLE (not the image of a disc's file system: an archive such as a zip
// is no disc) or PARCOURE_DAMAGED (cut short, or unreadable before its end). The archive
// library's callbacks in force are those of the caller.
int checkImage(const std::string& image);

// What a reading of `path` (of kind `kind`, giving `volume`) records of its source.
DiscSource describeSource(char kind, const std::string& path, const VolumeInformation& volume);

// Records where disc `discId` was read after an indexing that ended as `summary` says (marked
// incomplete when something was left out or stopped); after a write that failed, the earlier
// record is marked incomplete. Nothing for a disc that was not stored.
void recordSource(int discId, const DiscSource& read, const IndexSummary& summary);

// Why a recorded folder or image source cannot be read again for an update: the text's string
// id (0: it can) for a source of another machine, one that is gone, or one that no longer holds
// the recorded volume.
unsigned whyNotOffered(const DiscSource& source);

// The entries an update of disc `discId` would lose by reading a source that holds nothing
// (`sourceEmpty`): 0 when the source holds something or the disc holds nothing either.
std::uint64_t entriesLostToEmptySource(int discId, bool sourceEmpty);

// Removes disc `discId` from the catalogue: its entries, then its row. False at the first
// statement the server refuses (its error left on the connection); the entries may then be gone
// already while the row stays.
bool deleteDiscRows(int discId);

} // namespace tvk
