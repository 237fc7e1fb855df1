// Fingerprints of local files (XXH3-128 of their contents), and the question "are these files
// already on a disc?" answered from the catalogue's fingerprints.
#pragma once

#include "catalogue/fingerprints.h"

#include <mysql.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tvk {

// How the reading of a file ended.
enum class FileReadState {
    Read,       // read to its end: `hash` holds its fingerprint
    Unreadable, // could not be opened, is not a regular file, or a read failed twice
    Stopped,    // the progress callback asked to stop
};

struct FileFingerprint {
    FileReadState state = FileReadState::Unreadable;
    std::uint64_t size = 0; // bytes read (the file's size when Read)
    ContentHash hash{};
    int error = 0; // the system's error number when Unreadable (EISDIR: not a regular file)
};

// Told the bytes read so far, now and then (after each block); false stops the reading.
using ReadProgress = std::function<bool(std::uint64_t bytesRead)>;

// Fingerprints the regular file `name` of the directory `dirFd` (AT_FDCWD: a path), read in
// large blocks. A symbolic link is not followed when `followLink` is false. A read error is
// tried once more at the same place; a second failure makes the file Unreadable (no exception,
// nothing thrown). A FIFO or device is never opened for reading (it could block or never end).
FileFingerprint fingerprintFileAt(int dirFd, const std::string& name, bool followLink,
                                  const ReadProgress& progress = {});
FileFingerprint fingerprintFile(const std::string& path, const ReadProgress& progress = {});

// A regular file found in a folder: its path (the folder given, then the names below it
// joined by "/") and size.
struct LocalFile {
    std::string path;
    std::uint64_t size = 0;
};

// The regular files below `root` (itself included when it is a file), links and special files
// left out, never crossing onto another file system; folders that cannot be listed are named
// in `unreadableFolders` (with their error number) and the walk goes on.
struct FolderListing {
    std::vector<LocalFile> files;
    std::vector<std::pair<std::string, int>> unreadableFolders;
};
FolderListing listLocalFiles(const std::string& root);

// What the catalogue says of one local file.
enum class WhichState { OnDiscs, OnNoDisc, Unreadable };

struct WhichFile {
    std::string path;
    std::uint64_t size = 0;
    WhichState state = WhichState::OnNoDisc;
    int error = 0;                      // when Unreadable
    std::vector<CatalogueFile> holders; // when OnDiscs: the entries with the same contents
};

// Every local file asked about, and the summary: `filesOnDiscs` of `files.size()` files
// (`bytesOnDiscs` of `bytesTotal` bytes) are on discs. Unreadable files and folders count as
// not on a disc.
struct WhichReport {
    std::vector<WhichFile> files; // in the order found
    std::vector<std::pair<std::string, int>> unreadableFolders;
    std::size_t filesOnDiscs = 0;
    std::uint64_t bytesTotal = 0;
    std::uint64_t bytesOnDiscs = 0;
};

// For each path (a file, or a folder walked for its files): the discs and entries that hold the
// same contents. Only files whose size some fingerprinted entry has are read (size first, then
// the fingerprint). False on a server error (mysql_error of the connection says why); files that
// cannot be read are reported in the result, not as a failure. `progress` as for
// fingerprintFile, with the bytes of the current file; stopping leaves the files not yet read
// as Unreadable with error ECANCELED.
bool findOnDiscs(MYSQL* connection, const std::vector<std::string>& paths, WhichReport& report,
                 const ReadProgress& progress = {});

} // namespace tvk
