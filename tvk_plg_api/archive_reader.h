// The archive reader: lists the entries of an archive with libarchive and hands them to a
// RowSink beneath the archive's own row, reading archives inside archives too.
#pragma once

#include "indexing/plg_api.h"
#include "tvk_plg_api/row_sink.h"

#include <cstddef>
#include <cstdint>

namespace tvk::plg {

// Bounds that keep a hostile archive (bombs, endless nesting) from costing unbounded time,
// memory or disk. Each archive read whole (the archive handed over, or for a disc image each
// archive of the image) has budgets of its own, shared by the archives inside it. Reaching a
// bound ends the reading of what it bounds cleanly, keeping what was stored, and is reported.
struct ReaderLimits {
    // Archive levels read inside an archive; deeper ones are stored without contents.
    int maxNesting = 8;
    // Rows stored per archive, implied directories and nested contents included; entry headers
    // read are bounded by the same number. A disc image itself has no such bound.
    long maxEntries = 1'000'000;
    // Temporary file space in use at once for the nested archives of an archive that must be
    // read from a seekable copy. An archive held directly by a disc image may take its own size.
    std::uint64_t maxSpoolBytes = 512ull << 20;
    // Data an archive may decompress (to pass over its entries, or to reach and read the
    // archives inside it): `ratio` times its own compressed size, at least `ratioFloor`, at most
    // `maxArchiveBytes`. No real archive comes near the ratio: deflate cannot pass 1032 to 1.
    std::uint64_t ratio = 4096;
    std::uint64_t ratioFloor = 64ull << 20;
    std::uint64_t maxArchiveBytes = 32ull << 30;
    // Data decompressed for one disc, all its archives together.
    std::uint64_t maxDiscBytes = 128ull << 30;
    // Least time between two calls of the progress callback, in milliseconds.
    int progressInterval = 20;
};

// What one reading asks for beyond the rows.
struct ReadRequest {
    ReaderLimits limits;
    TvkPlgCallbacks callbacks{};
    // The archive is a disc image read as the disc itself: its own entries are not bounded,
    // and each archive it holds has its own budgets, as the same disc mounted would give.
    bool disc = false;
    // Only the archive's own entries: archives inside are stored without being opened, and no
    // bound they would meet is reported.
    bool listOnly = false;
    // Each regular file's contents (archives' too) fingerprinted from the data as it is read,
    // and handed to the sink's storeFingerprint after its row; a file not read to its end gets
    // none.
    bool fingerprint = false;
    // Called for each file whose fingerprint was asked for and whose data could not be read to
    // its end, with its path inside the archive handed over (null: none).
    void (*unreadable)(void* context, const char* innerPath) = nullptr;
    void* unreadableContext = nullptr;
    // The data decompressed so far for the disc, counted on by this reading (null: this reading
    // alone).
    std::uint64_t* discBytes = nullptr;
};

// Bytes fed to fingerprints by every reading so far (read on the thread that reads).
std::uint64_t fingerprintedBytes();

// What one reading gave.
struct ReadOutcome {
    long stored = -1;     // rows stored; -1: not opened as an archive
    bool damaged = false; // the archive ended on a read error before its end
    bool stopped = false; // the progress callback asked to stop
};

// Reads the archive file at `path` and stores its entries (disc `discId`, beneath the row
// `parentId`) through `sink`: 'R' for directories, including those an entry's path implies
// (dated by their own entry when one follows), 'Z' for files whose name isSupportedArchive
// accepts (their contents read in turn), 'F' for the rest. A path that is not a regular file
// (a symbolic link, a FIFO, a folder) or not an archive is not opened. A damaged archive ends
// the reading early, keeping what was stored. A sink that fails stops the reading at once.
// Calls the progress callback between entries and between blocks of data, at most every
// `progressInterval` ms; calls cutShort once for each archive whose contents a bound cut short,
// with its path inside the archive at `path` ("" for that archive).
ReadOutcome readArchive(const char* path, RowSink& sink, int discId, int parentId,
                        const ReadRequest& request);

// The rows stored (-1: not opened), without callbacks.
long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits = {});

// The same for an archive held in memory (`size` bytes at `data`, not copied, borrowed for the
// call).
long readArchiveMemory(const void* data, std::size_t size, RowSink& sink, int discId, int parentId,
                       const ReaderLimits& limits = {});

} // namespace tvk::plg
