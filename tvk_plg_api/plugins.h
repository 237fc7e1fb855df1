// The archive formats the library reads, known by the endings of their names. The C entry
// points of plg_api.h sit on top of this.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tvk::plg {

// One archive format the library reads: the name endings that mark it (lower case, with the
// dot) and a short name for messages. `needsSeeking`: libarchive reads it reliably only from a
// seekable source (its index sits at the end, or it is read through a directory), so an archive
// of this format found inside another one is copied to a temporary file first.
struct ArchiveFormat {
    std::string name;
    std::vector<std::string> suffixes;
    bool needsSeeking = false;
};

// The format whose ending `name` (a bare name of `length` bytes) carries, compared without
// regard to ASCII case, with at least one byte before the ending; null for a plain file.
const ArchiveFormat* formatOfName(const char* name, std::size_t length);

} // namespace tvk::plg
