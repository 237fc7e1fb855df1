#include "tvk_plg_api/row_sink.h"

#include <algorithm>

namespace tvk::plg {

int MemorySink::store(const EntryRow& row) {
    if (!row.name || (row.type != 'R' && row.type != 'Z' && row.type != 'F'))
        return 0;
    if (failAfter == 0)
        return -1;
    if (failAfter > 0)
        --failAfter;
    StoredRow stored;
    stored.name.assign(row.name, row.nameLength);
    stored.type = row.type;
    stored.size = row.size;
    stored.date = row.date;
    stored.discId = row.discId;
    stored.parentId = row.parentId;
    stored.id = nextId++;
    rows.push_back(std::move(stored));
    return rows.back().id;
}

int MemorySink::setDate(int discId, int id, const EntryDate& date) {
    if (failAfter == 0)
        return -1;
    // Rows are numbered one after the other from the first.
    if (rows.empty() || id < rows.front().id || id - rows.front().id >= long(rows.size()))
        return 0;
    StoredRow& row = rows[std::size_t(id - rows.front().id)];
    if (row.discId != discId || !isValidDate(date))
        return 0;
    row.date = date;
    return 1;
}

int MemorySink::storeFingerprint(int discId, int id, std::uint64_t size,
                                 const unsigned char* hash) {
    if (failAfter == 0)
        return -1;
    StoredFingerprint kept{discId, id, size, {}};
    std::copy(hash, hash + kept.hash.size(), kept.hash.begin());
    fingerprints.push_back(kept);
    return 1;
}

bool isValidDate(const EntryDate& d) {
    if (d.year < 1000 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int monthDays = days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    return d.day <= monthDays && d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 &&
           d.second >= 0 && d.second <= 59;
}

} // namespace tvk::plg
