// The C entry points of the walk: archive recognition, the row writer and the archive reader,
// over the library's one writer.
#include "tvk_plg_api/entry_points.h"
#include "indexing/plg_api.h"
#include "tvk_plg_api/archive_reader.h"
#include "tvk_plg_api/catalogue_writer.h"
#include "tvk_plg_api/plugins.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

using namespace tvk::plg;

namespace {

TvkPlgCallbacks callbacks{};
bool fingerprinting = false;
void (*unreadableCallback)(void*, const char*) = nullptr;
void* unreadableContext = nullptr;

// The fingerprinting part of a request: asked for, and where unreadable files are reported.
void askFingerprints(ReadRequest& request, bool on) {
    request.fingerprint = on;
    request.unreadable = unreadableCallback;
    request.unreadableContext = unreadableContext;
}

// Data decompressed for the disc of the current walk, all its archives together.
struct DiscSpending {
    int discId = 0;
    std::uint64_t bytes = 0;
};
DiscSpending discSpending;

} // namespace

namespace tvk::plg {

ReaderLimits& libraryLimits() {
    static ReaderLimits limits;
    return limits;
}

} // namespace tvk::plg

// libarchive needs no preparing: the formats are known by their endings (plugins.h).
extern "C" int taviskPlg_init_plugins(void) {
    return 0;
}

extern "C" int taviskPlg_remove_plugins(void) {
    callbacks = TvkPlgCallbacks{};
    unreadableCallback = nullptr;
    unreadableContext = nullptr;
    return 0;
}

extern "C" int setMsc(MYSQL* connection) {
    catalogueWriter().setConnection(connection);
    return 0;
}

extern "C" int taviskPlg_wait_writes(void) {
    return catalogueWriter().waitWrites();
}

extern "C" int taviskPlg_set_callbacks(const TvkPlgCallbacks* given) {
    callbacks = given ? *given : TvkPlgCallbacks{};
    return 0;
}

extern "C" int taviskPlg_set_fingerprinting(int on) {
    const int previous = fingerprinting ? 1 : 0;
    fingerprinting = on != 0;
    return previous;
}

extern "C" int taviskPlg_set_unreadable_callback(void (*unreadable)(void*, const char*),
                                                 void* context) {
    unreadableCallback = unreadable;
    unreadableContext = context;
    return 0;
}

extern "C" unsigned long long taviskPlg_fingerprinted_bytes(void) {
    return fingerprintedBytes();
}

extern "C" int taviskPlg_store_fingerprint(int discId, int ficId, unsigned long long size,
                                           const unsigned char* hash) {
    return catalogueWriter().storeFingerprint(discId, ficId, size, hash);
}

extern "C" int isSupportedArchive(const char* name) {
    return name && formatOfName(name, std::strlen(name)) ? 1 : 0;
}

extern "C" int composeReqInsertion(const char* name, char type, unsigned long long size, int year,
                                   int month, int day, int hour, int minute, int second, int discId,
                                   int parentId) {
    CatalogueWriter& writer = catalogueWriter();
    if (!name && type == ' ') {
        discSpending = DiscSpending{};
        return writer.close();
    }
    EntryRow row;
    row.name = name;
    row.nameLength = name ? std::strlen(name) : 0;
    row.type = type;
    row.size = size;
    row.date = {year, month, day, hour, minute, second};
    row.discId = discId;
    row.parentId = parentId;
    return writer.store(row);
}

namespace {

// Assigns ids and stores nothing: the check of a disc image before it is read for good.
class CountingSink final : public RowSink {
public:
    int store(const EntryRow&) override { return ++next_; }
    int setDate(int, int, const EntryDate&) override { return 1; }

private:
    int next_ = 0;
};

int clampedCount(long entries) {
    return entries > 0x7fffffff ? 0x7fffffff : static_cast<int>(entries);
}

// The check: the archive's own entries only, its archives inside left closed, nothing reported
// as cut short (the reading for good reports it).
int checkArchive(const char* path, int discId, int archiveId, ReadRequest& request) {
    CountingSink counter;
    request.listOnly = true;
    request.callbacks.cutShort = nullptr;
    const ReadOutcome read = readArchive(path, counter, discId, archiveId, request);
    if (read.stopped)
        return PARCOURE_STOPPED;
    if (read.stored < 0)
        return PARCOURE_UNREADABLE;
    return read.damaged ? PARCOURE_DAMAGED : clampedCount(read.stored);
}

} // namespace

extern "C" int ParcoureArchive(const char* path, int discId, int archiveId, int flags) {
    ReadRequest request;
    request.limits = libraryLimits();
    request.callbacks = callbacks;
    request.disc = archiveId == -1;
    if (flags & PARCOURE_CHECK_ONLY)
        return checkArchive(path, discId, archiveId, request);
    askFingerprints(request, fingerprinting || (flags & PARCOURE_FINGERPRINT));
    CatalogueWriter& writer = catalogueWriter();
    // Called outside a walk, the reading is a walk of its own, closed when it ends. The disc
    // ceiling counts what the archives of one walk of a disc decompress.
    const bool ownWalk = !writer.walkOpen();
    if (ownWalk || discSpending.discId != discId)
        discSpending = DiscSpending{discId, 0};
    request.discBytes = &discSpending.bytes;
    const ReadOutcome read = readArchive(path, writer, discId, archiveId, request);
    const bool written = !ownWalk || writer.close() == 1;
    if (ownWalk)
        discSpending = DiscSpending{};
    if (read.stored < 0 || !written)
        return PARCOURE_UNREADABLE;
    if (read.stopped)
        return PARCOURE_STOPPED;
    if (read.damaged && (flags & PARCOURE_WHOLE))
        return PARCOURE_DAMAGED;
    return clampedCount(read.stored);
}

namespace {

// Gives the rows a memory sink kept, with their paths, fingerprints and read failures, to
// `each`. Rows come parents first, so a row's parent path is known when it comes.
void giveListing(const MemorySink& sink, int rootId, void (*each)(void*, const TvkPlgListedEntry*),
                 void* context) {
    std::unordered_map<int, std::size_t> indexOf;
    std::vector<std::string> paths(sink.rows.size());
    std::unordered_map<int, const StoredFingerprint*> printed;
    for (const StoredFingerprint& f : sink.fingerprints)
        printed[f.id] = &f;
    std::unordered_map<int, bool> unreadable;
    for (int id : sink.unreadable)
        unreadable[id] = true;
    for (std::size_t i = 0; i < sink.rows.size(); ++i) {
        const StoredRow& row = sink.rows[i];
        indexOf[row.id] = i;
        const auto parent = indexOf.find(row.parentId);
        paths[i] = row.parentId == rootId || parent == indexOf.end()
                       ? row.name
                       : paths[parent->second] + "/" + row.name;
        TvkPlgListedEntry entry{};
        entry.path = paths[i].c_str();
        entry.type = row.type;
        entry.size = row.size;
        if (isValidDate(row.date)) {
            entry.year = row.date.year, entry.month = row.date.month, entry.day = row.date.day;
            entry.hour = row.date.hour, entry.minute = row.date.minute;
            entry.second = row.date.second;
        }
        entry.readable = unreadable.count(row.id) ? 0 : 1;
        if (const auto found = printed.find(row.id); found != printed.end()) {
            entry.hashed = 1;
            std::memcpy(entry.hash, found->second->hash.data(), sizeof entry.hash);
        }
        each(context, &entry);
    }
}

} // namespace

extern "C" int taviskPlg_list_archive(const char* path, int flags,
                                      void (*each)(void*, const TvkPlgListedEntry*),
                                      void* context) {
    if (!each)
        return PARCOURE_UNREADABLE;
    ReadRequest request;
    request.limits = libraryLimits();
    request.callbacks = callbacks;
    request.disc = (flags & PARCOURE_AS_DISC) != 0;
    askFingerprints(request, (flags & PARCOURE_FINGERPRINT) != 0);
    constexpr int rootId = 0;
    MemorySink sink;
    sink.nextId = rootId + 1;
    const ReadOutcome read = readArchive(path, sink, 0, rootId, request);
    if (read.stored < 0)
        return PARCOURE_UNREADABLE;
    giveListing(sink, rootId, each, context);
    if (read.stopped)
        return PARCOURE_STOPPED;
    if (read.damaged && (flags & PARCOURE_WHOLE))
        return PARCOURE_DAMAGED;
    return clampedCount(read.stored);
}
