#include "tvk_plg_api/row_sink.h"

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

bool isValidDate(const EntryDate& d) {
    if (d.year < 1000 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1)
        return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int monthDays = days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    return d.day <= monthDays && d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59 &&
           d.second >= 0 && d.second <= 59;
}

bool isValidUtf8(const char* text, std::size_t length) {
    const auto* s = reinterpret_cast<const unsigned char*>(text);
    std::size_t i = 0;
    while (i < length) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t extra;
        unsigned min;
        unsigned code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1, min = 0x80, code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2, min = 0x800, code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3, min = 0x10000, code = c & 0x07;
        } else {
            return false;
        }
        if (length - i <= extra)
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (s[i + k] & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

std::size_t cutName(const char* name, std::size_t length, std::size_t limit) {
    if (length <= limit)
        return length;
    if (!isValidUtf8(name, length))
        return limit;
    std::size_t cut = limit;
    // Back up over continuation bytes to the start of the character that does not fit.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

} // namespace tvk::plg
