// The archive library's own state: its table of archive formats and the connection it was
// handed. The C entry points of plg_api.h sit on top of these.
#pragma once

#include <mysql.h>

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

// The format table built by taviskPlg_init_plugins; empty before it and after removal.
const std::vector<ArchiveFormat>& archiveFormats();
bool pluginsInitialised();

// The format whose ending `name` (a bare name of `length` bytes) carries, compared without
// regard to ASCII case, with at least one byte before the ending; null for a plain file. Works
// whether or not taviskPlg_init_plugins has run (it reads a table of its own).
const ArchiveFormat* formatOfName(const char* name, std::size_t length);

// The connection last handed over with setMsc; null for none.
MYSQL* currentConnection();

} // namespace tvk::plg
