// libFuzzer target for the archive reader: any bytes are read as an archive held in memory,
// into an in-memory sink, and the rows must keep the reader's promises whatever the input.
#include "tvk_plg_api/archive_reader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr int root = 1;
    tvk::plg::ReaderLimits limits;
    limits.maxEntries = 5000;
    limits.maxSpoolBytes = 1 << 20;
    limits.ratioFloor = 16 << 20;
    limits.maxArchiveBytes = 64 << 20;
    tvk::plg::MemorySink sink;
    sink.nextId = root + 1;
    const long stored = tvk::plg::readArchiveMemory(data, size, sink, 9, root, limits);
    check(stored >= -1, "result");
    check(stored == -1 ? sink.rows.empty() : std::size_t(stored) == sink.rows.size(), "count");
    check(sink.rows.size() <= std::size_t(limits.maxEntries), "entry bound");
    std::set<int> known = {root};
    std::set<std::pair<int, std::string>> folders;
    for (const tvk::plg::StoredRow& row : sink.rows) {
        check(known.count(row.parentId) == 1, "parent stored before its entries");
        check(!row.name.empty() && row.name.size() <= 255, "name length");
        check(row.name != "." && row.name != "..", "dot names");
        check(row.name.find('/') == std::string::npos, "separator in a name");
        check(row.type == 'R' || row.type == 'Z' || row.type == 'F', "type");
        check(row.discId == 9, "disc");
        if (row.type == 'R')
            check(folders.insert({row.parentId, row.name}).second, "folder stored twice");
        known.insert(row.id);
    }
    return 0;
}
