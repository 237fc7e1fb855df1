// The archive library's own state: its table of archive formats and the connection it was
// handed. The C entry points of plg_api.h sit on top of these.
#pragma once

#include <mysql.h>

#include <string>
#include <vector>

namespace tvk::plg {

// One archive format the library reads: the name endings that mark it (lower case, with the
// dot) and a short name for messages.
struct ArchiveFormat {
    std::string name;
    std::vector<std::string> suffixes;
};

// The format table built by taviskPlg_init_plugins; empty before it and after removal.
const std::vector<ArchiveFormat>& archiveFormats();
bool pluginsInitialised();

// The connection last handed over with setMsc; null for none.
MYSQL* currentConnection();

} // namespace tvk::plg
