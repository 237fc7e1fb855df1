// What the C entry points of plg_api.h keep between calls, beyond the writer.
#pragma once

#include "tvk_plg_api/archive_reader.h"

namespace tvk::plg {

// The bounds every ParcoureArchive reads with (tests narrow them to reach them cheaply).
ReaderLimits& libraryLimits();

} // namespace tvk::plg
