// The C entry points of the walk: archive recognition, the row writer and the archive reader,
// over the library's one writer.
#include "indexing/plg_api.h"
#include "tvk_plg_api/archive_reader.h"
#include "tvk_plg_api/catalogue_writer.h"
#include "tvk_plg_api/plugins.h"

#include <cstring>

using namespace tvk::plg;

extern "C" int isSupportedArchive(const char* name) {
    return name && formatOfName(name, std::strlen(name)) ? 1 : 0;
}

extern "C" int composeReqInsertion(const char* name, char type, unsigned long long size, int year,
                                   int month, int day, int hour, int minute, int second, int discId,
                                   int parentId) {
    CatalogueWriter& writer = catalogueWriter();
    if (!name && type == ' ')
        return writer.close();
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

private:
    int next_ = 0;
};

} // namespace

extern "C" int ParcoureArchive(const char* path, int discId, int archiveId, int flags) {
    if (flags & PARCOURE_CHECK_ONLY) {
        CountingSink counter;
        bool damaged = false;
        const long entries = readArchiveFile(path, counter, discId, archiveId, {}, damaged);
        if (entries < 0)
            return PARCOURE_UNREADABLE;
        if (damaged)
            return PARCOURE_DAMAGED;
        return entries > 0x7fffffff ? 0x7fffffff : static_cast<int>(entries);
    }
    CatalogueWriter& writer = catalogueWriter();
    // Called outside a walk, the reading is a walk of its own, closed when it ends.
    const bool ownWalk = !writer.walkOpen();
    bool damaged = false;
    const long stored = readArchiveFile(path, writer, discId, archiveId, {}, damaged);
    const bool written = !ownWalk || writer.close() == 1;
    if (stored < 0 || !written)
        return PARCOURE_UNREADABLE;
    if (damaged && (flags & PARCOURE_WHOLE))
        return PARCOURE_DAMAGED;
    return stored > 0x7fffffff ? 0x7fffffff : static_cast<int>(stored);
}

namespace {
TvkPlgCallbacks callbacks{};
} // namespace

extern "C" int taviskPlg_set_callbacks(const TvkPlgCallbacks* given) {
    callbacks = given ? *given : TvkPlgCallbacks{};
    return 0;
}
