// The archive reader: lists the entries of an archive with libarchive and hands them to a
// RowSink beneath the archive's own row, reading archives inside archives too.
#pragma once

#include "tvk_plg_api/row_sink.h"

#include <cstddef>
#include <cstdint>

namespace tvk::plg {

// Bounds that keep a hostile archive (bombs, endless nesting) from costing unbounded time,
// memory or disk. Reaching one ends the reading cleanly; what was stored stays.
struct ReaderLimits {
    // Archive levels read inside the top-level archive; deeper ones are stored without contents.
    int maxNesting = 8;
    // Rows stored per top-level archive, implied directories and nested contents included.
    // Entry headers read are bounded by the same number.
    long maxEntries = 1'000'000;
    // Temporary file space in use at once for nested archives that must be read from a
    // seekable copy; a nested archive that does not fit is stored without contents.
    std::uint64_t maxSpoolBytes = 512ull << 20;
    // Entry data pulled through nested levels (fed to inner archives or passed over in them);
    // beyond it no nested archive is read any further.
    std::uint64_t maxNestedBytes = 4ull << 30;
    // Data decompressed just to pass over entries of the top-level archive (compressed tar and
    // the like); beyond it the reading ends.
    std::uint64_t maxSkippedBytes = 64ull << 30;
};

// Reads the archive file at `path` and stores its entries (disc `discId`, beneath the row
// `parentId`) through `sink`: 'R' for directories, including those an entry's path implies,
// 'Z' for files whose name isSupportedArchive accepts (their contents read in turn), 'F' for
// the rest. Returns the number of rows stored, -1 when the file cannot be opened as an archive
// (not a regular file, a symbolic link, unknown format). A damaged archive ends the reading
// early, keeping what was stored. A sink that fails stops the reading at once.
long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits = {});

// The same, telling in `damaged` whether the archive ended on a read error before its end (a
// truncated or corrupt file: the rows read until then are stored all the same).
long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits, bool& damaged);

// The same for an archive held in memory (`size` bytes at `data`, not copied, borrowed for the
// call).
long readArchiveMemory(const void* data, std::size_t size, RowSink& sink, int discId, int parentId,
                       const ReaderLimits& limits = {});

} // namespace tvk::plg
