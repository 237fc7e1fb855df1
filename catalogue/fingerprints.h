// Content fingerprints in the catalogue: the table tvk_file_hashes beside the catalogue's own
// tables (made when first needed), and the questions it answers: which files are stored more
// than once, which entries hold given contents, and what a disc held when it was indexed.
// Every function works on the caller's connection, with the catalogue database selected, and
// returns false on a server error, whose text mysql_error of the connection then holds.
#pragma once

#include "tvk_plg_api/fingerprint_table.h"

#include <mysql.h>

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tvk {

// A fingerprint: XXH3-128 of a file's contents, canonical (big-endian) bytes.
using ContentHash = std::array<unsigned char, FINGERPRINT_BYTES>;

// A file's contents as the catalogue knows them: size and fingerprint.
struct ContentKey {
    std::uint64_t size = 0;
    ContentHash hash{};
    auto operator<=>(const ContentKey&) const = default;
};

// An entry of the catalogue, with the disc that holds it. `path` is the names from the disc's
// root down to the entry joined by "/" (archives and their inner folders included), as the
// catalogue stores them (bytes unchanged); `discName` likewise.
struct CatalogueFile {
    int discId = 0;
    std::string discName;
    int ficId = 0;
    std::string path;
};

// Files with the same contents. `byName`: the group is made by name and size, because at least
// one of its discs has no fingerprints (its members may differ in contents); `hash` is then
// zeros and `name` the shared name.
struct DuplicateGroup {
    std::uint64_t size = 0;
    bool byName = false;
    ContentHash hash{};
    std::string name;
    std::vector<CatalogueFile> members; // by disc, then path
    // Bytes that all copies but one take.
    std::uint64_t waste() const { return members.empty() ? 0 : size * (members.size() - 1); }
};

// An entry of a disc as catalogued, for comparing with the disc read again. `date` is
// "YYYY-MM-DD HH:MM:SS" in UTC, empty when the catalogue has none.
struct DiscEntry {
    int ficId = 0;
    std::string path;
    char type = 'F';
    std::uint64_t size = 0;
    std::string date;
    bool hasHash = false;
    ContentHash hash{};
};

// Creates tvk_file_hashes when absent.
bool ensureFingerprintTable(MYSQL* connection);

// Whether tvk_file_hashes exists, without creating it.
bool fingerprintTableExists(MYSQL* connection, bool& exists);

// Removes every fingerprint of disc `discId`: for Delete after the disc's statements, for Update
// after the removal of its entries and before the walk that renews them (the walk's own
// fingerprints would go too). A catalogue without the table has none to remove: true, and no
// table is made.
bool removeDiscFingerprints(MYSQL* connection, int discId);

// Groups of two or more files of `minSize` bytes or more (empty files never) with the same
// contents, across every disc, the most wasteful first (then the largest). Discs without any
// fingerprint take part by name and size: a name-and-size group is made where such a disc holds
// one of its members. Fingerprints whose entry is gone (or no longer has their size) are left
// out.
bool findDuplicates(MYSQL* connection, std::uint64_t minSize, std::vector<DuplicateGroup>& groups);

// Which of `sizes` some fingerprinted entry has: a local file of another size is on no disc,
// and need not be read.
bool sizesOnDiscs(MYSQL* connection, const std::vector<std::uint64_t>& sizes,
                  std::set<std::uint64_t>& present);

// The entries holding each of `keys`; keys no entry holds are absent from `found`.
bool filesWithContents(MYSQL* connection, const std::vector<ContentKey>& keys,
                       std::map<ContentKey, std::vector<CatalogueFile>>& found);

// Every entry of disc `discId` with its path, size, date and fingerprint (if any), in path
// order. Changes nothing in the catalogue (a missing fingerprint table is not made).
bool discEntries(MYSQL* connection, int discId, std::vector<DiscEntry>& entries);

} // namespace tvk
