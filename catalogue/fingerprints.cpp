#include "catalogue/fingerprints.h"
#include "indexing/plg_api.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <tuple>
#include <unordered_map>

namespace tvk {

namespace {

// Ids per "in (...)" list of one statement.
constexpr std::size_t idsPerStatement = 1000;
// Deepest folder chain followed up from an entry: a damaged catalogue whose parents loop
// must not hang the walk up.
constexpr int maxDepth = 4096;

// Runs `statement` and hands each row, with its fields' lengths, to `each` as the server sends
// it. False on a server error.
bool forEachRow(MYSQL* c, const std::string& statement,
                const std::function<void(MYSQL_ROW, const unsigned long*)>& each) {
    taviskPlg_wait_writes(); // the library's last INSERT may still be running on `c`
    if (mysql_real_query(c, statement.data(), statement.size()) != 0)
        return false;
    MYSQL_RES* result = mysql_use_result(c);
    if (!result)
        return mysql_field_count(c) == 0;
    while (MYSQL_ROW row = mysql_fetch_row(result))
        each(row, mysql_fetch_lengths(result));
    const bool ok = mysql_errno(c) == 0;
    mysql_free_result(result);
    return ok;
}

std::string field(MYSQL_ROW row, const unsigned long* lengths, int i) {
    return row[i] ? std::string(row[i], lengths[i]) : std::string();
}

long long number(MYSQL_ROW row, int i) {
    return row[i] ? std::strtoll(row[i], nullptr, 10) : 0;
}

std::uint64_t unsignedNumber(MYSQL_ROW row, int i) {
    return row[i] ? std::strtoull(row[i], nullptr, 10) : 0;
}

ContentHash hashField(MYSQL_ROW row, const unsigned long* lengths, int i) {
    ContentHash hash{};
    if (row[i] && lengths[i] == hash.size())
        std::memcpy(hash.data(), row[i], hash.size());
    return hash;
}

std::string hexLiteral(const ContentHash& hash) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text = "x'";
    for (unsigned char byte : hash) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text + "'";
}

// Runs `make(first, end)` for each slice of at most `slice` items of `count`.
bool inSlices(std::size_t count, std::size_t slice,
              const std::function<bool(std::size_t, std::size_t)>& make) {
    for (std::size_t first = 0; first < count; first += slice)
        if (!make(first, std::min(count, first + slice)))
            return false;
    return true;
}

bool discNames(MYSQL* c, std::map<int, std::string>& names) {
    return forEachRow(c, "select cd_id, cd_nom from cd_disques_compact",
                      [&](MYSQL_ROW row, const unsigned long* lengths) {
                          names[int(number(row, 0))] = field(row, lengths, 1);
                      });
}

// The names and parents of entries, fetched a level at a time up to the disc's root.
struct NameNode {
    std::string name;
    int parent = -1; // -1: the disc's root
    std::uint64_t size = 0;
};
using NodeKey = std::pair<int, int>; // disc, entry
using NodeMap = std::map<NodeKey, NameNode>;

// Fetches the entries `wanted` and, level by level, every folder above them into `nodes`.
bool fetchChains(MYSQL* c, std::set<NodeKey> wanted, NodeMap& nodes) {
    std::set<NodeKey> asked;
    for (int level = 0; !wanted.empty() && level < maxDepth; ++level) {
        std::map<int, std::vector<int>> byDisc;
        for (const NodeKey& key : wanted)
            if (asked.insert(key).second)
                byDisc[key.first].push_back(key.second);
        std::set<NodeKey> next;
        for (const auto& [disc, ids] : byDisc) {
            const bool ok =
                inSlices(ids.size(), idsPerStatement, [&](std::size_t a, std::size_t b) {
                    std::string statement = "select fic_id, fic_nom, fic_rep_id, fic_taille from "
                                            "fic_fichiers where fic_cd_id = " +
                                            std::to_string(disc) + " and fic_id in (";
                    for (std::size_t i = a; i < b; ++i)
                        statement += (i == a ? "" : ",") + std::to_string(ids[i]);
                    statement += ")";
                    return forEachRow(
                        c, statement, [&](MYSQL_ROW row, const unsigned long* lengths) {
                            NameNode node{field(row, lengths, 1), row[2] ? int(number(row, 2)) : -1,
                                          unsignedNumber(row, 3)};
                            if (node.parent != -1 && !nodes.count({disc, node.parent}))
                                next.insert({disc, node.parent});
                            nodes[{disc, int(number(row, 0))}] = std::move(node);
                        });
                });
            if (!ok)
                return false;
        }
        wanted = std::move(next);
    }
    return true;
}

// The path of entry `key` from the nodes fetched; false when a link of its chain is missing
// (or the chain loops).
bool pathOf(const NodeMap& nodes, NodeKey key, std::string& path) {
    std::vector<const std::string*> names;
    for (int depth = 0; depth < maxDepth; ++depth) {
        const auto found = nodes.find(key);
        if (found == nodes.end())
            return false;
        names.push_back(&found->second.name);
        if (found->second.parent == -1) {
            path.clear();
            for (auto name = names.rbegin(); name != names.rend(); ++name)
                path.append(name == names.rbegin() ? "" : "/").append(**name);
            return true;
        }
        key.second = found->second.parent;
    }
    return false;
}

// A fingerprint row of the table, as read.
struct HashRow {
    int discId = 0;
    int ficId = 0;
    ContentKey key;
};

// Turns fingerprint rows into catalogue files grouped by contents, leaving out rows whose entry
// is gone or has another size now.
bool filesByContents(MYSQL* c, const std::vector<HashRow>& rows,
                     std::map<ContentKey, std::vector<CatalogueFile>>& files) {
    std::set<NodeKey> wanted;
    for (const HashRow& row : rows)
        wanted.insert({row.discId, row.ficId});
    NodeMap nodes;
    std::map<int, std::string> names;
    if (!fetchChains(c, wanted, nodes) || !discNames(c, names))
        return false;
    for (const HashRow& row : rows) {
        const auto node = nodes.find({row.discId, row.ficId});
        CatalogueFile file{row.discId, names[row.discId], row.ficId, {}};
        if (node == nodes.end() || node->second.size != row.key.size ||
            !pathOf(nodes, node->first, file.path))
            continue;
        files[row.key].push_back(std::move(file));
    }
    return true;
}

bool byDiscThenPath(const CatalogueFile& a, const CatalogueFile& b) {
    return std::tie(a.discId, a.path, a.ficId) < std::tie(b.discId, b.path, b.ficId);
}

// The fingerprint rows of every (hash, size) held twice or more. The grouping reads the
// (hash, size) index in order, without a temporary table; the size floor is applied to the
// groups, not to the rows, which would make the server group a range scan in a temporary table.
bool duplicatedRows(MYSQL* c, std::uint64_t minSize, std::vector<HashRow>& rows) {
    std::vector<ContentHash> hashes;
    if (!forEachRow(c,
                    "select hash from tvk_file_hashes group by hash, size having count(*) > 1 "
                    "and size >= " +
                        std::to_string(std::max<std::uint64_t>(minSize, 1)),
                    [&](MYSQL_ROW row, const unsigned long* lengths) {
                        hashes.push_back(hashField(row, lengths, 0));
                    }))
        return false;
    std::sort(hashes.begin(), hashes.end());
    hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
    return inSlices(hashes.size(), idsPerStatement / 2, [&](std::size_t a, std::size_t b) {
        std::string statement =
            "select cd_id, fic_id, size, hash from tvk_file_hashes where hash in (";
        for (std::size_t i = a; i < b; ++i)
            statement += (i == a ? "" : ",") + hexLiteral(hashes[i]);
        statement += ")";
        return forEachRow(c, statement, [&](MYSQL_ROW row, const unsigned long* lengths) {
            rows.push_back({int(number(row, 0)),
                            int(number(row, 1)),
                            {unsignedNumber(row, 2), hashField(row, lengths, 3)}});
        });
    });
}

bool hashGroups(MYSQL* c, std::uint64_t minSize, std::vector<DuplicateGroup>& groups) {
    std::vector<HashRow> rows;
    std::map<ContentKey, std::vector<CatalogueFile>> files;
    if (!duplicatedRows(c, minSize, rows) || !filesByContents(c, rows, files))
        return false;
    for (auto& [key, members] : files) {
        if (members.size() < 2 || key.size < std::max<std::uint64_t>(minSize, 1))
            continue;
        DuplicateGroup group;
        group.size = key.size;
        group.hash = key.hash;
        group.members = std::move(members);
        groups.push_back(std::move(group));
    }
    return true;
}

// Groups by name and size where a disc without fingerprints holds a member.
bool nameGroups(MYSQL* c, std::uint64_t minSize, std::vector<DuplicateGroup>& groups) {
    std::set<int> bare;
    if (!forEachRow(c,
                    // One look into the primary key per disc.
                    "select d.cd_id from cd_disques_compact d where not exists (select 1 from "
                    "tvk_file_hashes h where h.cd_id = d.cd_id)",
                    [&](MYSQL_ROW row, const unsigned long*) { bare.insert(int(number(row, 0))); }))
        return false;
    if (bare.empty())
        return true;
    std::string discs;
    for (int disc : bare)
        discs += (discs.empty() ? "" : ",") + std::to_string(disc);
    const std::string floor = std::to_string(std::max<std::uint64_t>(minSize, 1));
    // The name column compares without regard to case and trailing blanks: the exact bytes are
    // compared here.
    std::map<std::pair<std::string, std::uint64_t>, std::vector<NodeKey>> byName;
    const bool ok = forEachRow(
        c,
        "select f.fic_cd_id, f.fic_id, f.fic_nom, f.fic_taille from fic_fichiers f join (select "
        "distinct fic_nom, fic_taille from fic_fichiers where fic_cd_id in (" +
            discs + ") and fic_type in ('F','Z') and fic_taille >= " + floor +
            ") u on f.fic_nom = u.fic_nom and f.fic_taille = u.fic_taille where f.fic_type in "
            "('F','Z')",
        [&](MYSQL_ROW row, const unsigned long* lengths) {
            byName[{field(row, lengths, 2), unsignedNumber(row, 3)}].push_back(
                {int(number(row, 0)), int(number(row, 1))});
        });
    if (!ok)
        return false;
    std::set<NodeKey> wanted;
    for (auto& [nameSize, keys] : byName) {
        const bool withBare = std::any_of(keys.begin(), keys.end(),
                                          [&](const NodeKey& k) { return bare.count(k.first); });
        if (keys.size() >= 2 && withBare)
            wanted.insert(keys.begin(), keys.end());
        else
            keys.clear();
    }
    NodeMap nodes;
    std::map<int, std::string> names;
    if (!fetchChains(c, wanted, nodes) || !discNames(c, names))
        return false;
    for (const auto& [nameSize, keys] : byName) {
        if (keys.empty())
            continue;
        DuplicateGroup group;
        group.byName = true;
        group.name = nameSize.first;
        group.size = nameSize.second;
        for (const NodeKey& key : keys) {
            CatalogueFile file{key.first, names[key.first], key.second, {}};
            if (pathOf(nodes, key, file.path))
                group.members.push_back(std::move(file));
        }
        if (group.members.size() >= 2)
            groups.push_back(std::move(group));
    }
    return true;
}

} // namespace

bool ensureFingerprintTable(MYSQL* connection) {
    taviskPlg_wait_writes();
    return mysql_query(connection, SQL_CREATE_FINGERPRINT_TABLE) == 0;
}

bool fingerprintTableExists(MYSQL* connection, bool& exists) {
    exists = false;
    return forEachRow(connection, "show tables like 'tvk\\_file\\_hashes'",
                      [&](MYSQL_ROW, const unsigned long*) { exists = true; });
}

bool removeDiscFingerprints(MYSQL* connection, int discId) {
    bool exists = false;
    if (!fingerprintTableExists(connection, exists))
        return false;
    if (!exists)
        return true;
    const std::string statement =
        "delete from tvk_file_hashes where cd_id = " + std::to_string(discId);
    return mysql_real_query(connection, statement.data(), statement.size()) == 0;
}

bool findDuplicates(MYSQL* connection, std::uint64_t minSize, std::vector<DuplicateGroup>& groups) {
    groups.clear();
    if (!ensureFingerprintTable(connection) || !hashGroups(connection, minSize, groups) ||
        !nameGroups(connection, minSize, groups))
        return false;
    for (DuplicateGroup& group : groups)
        std::sort(group.members.begin(), group.members.end(), byDiscThenPath);
    std::stable_sort(
        groups.begin(), groups.end(), [](const DuplicateGroup& a, const DuplicateGroup& b) {
            if (a.waste() != b.waste())
                return a.waste() > b.waste();
            if (a.size != b.size)
                return a.size > b.size;
            return std::tie(a.byName, a.hash, a.name) < std::tie(b.byName, b.hash, b.name);
        });
    return true;
}

bool sizesOnDiscs(MYSQL* connection, const std::vector<std::uint64_t>& sizes,
                  std::set<std::uint64_t>& present) {
    present.clear();
    if (!ensureFingerprintTable(connection))
        return false;
    const std::set<std::uint64_t> distinct(sizes.begin(), sizes.end());
    const std::vector<std::uint64_t> list(distinct.begin(), distinct.end());
    return inSlices(list.size(), idsPerStatement, [&](std::size_t a, std::size_t b) {
        std::string statement = "select distinct size from tvk_file_hashes where size in (";
        for (std::size_t i = a; i < b; ++i)
            statement += (i == a ? "" : ",") + std::to_string(list[i]);
        statement += ")";
        return forEachRow(connection, statement, [&](MYSQL_ROW row, const unsigned long*) {
            present.insert(unsignedNumber(row, 0));
        });
    });
}

bool filesWithContents(MYSQL* connection, const std::vector<ContentKey>& keys,
                       std::map<ContentKey, std::vector<CatalogueFile>>& found) {
    found.clear();
    if (!ensureFingerprintTable(connection))
        return false;
    const std::set<ContentKey> wanted(keys.begin(), keys.end());
    std::set<ContentHash> hashSet;
    for (const ContentKey& key : wanted)
        hashSet.insert(key.hash);
    const std::vector<ContentHash> hashes(hashSet.begin(), hashSet.end());
    std::vector<HashRow> rows;
    const bool ok = inSlices(hashes.size(), idsPerStatement / 2, [&](std::size_t a, std::size_t b) {
        std::string statement =
            "select cd_id, fic_id, size, hash from tvk_file_hashes where hash in (";
        for (std::size_t i = a; i < b; ++i)
            statement += (i == a ? "" : ",") + hexLiteral(hashes[i]);
        statement += ")";
        return forEachRow(connection, statement, [&](MYSQL_ROW row, const unsigned long* lengths) {
            HashRow hashRow{int(number(row, 0)),
                            int(number(row, 1)),
                            {unsignedNumber(row, 2), hashField(row, lengths, 3)}};
            if (wanted.count(hashRow.key))
                rows.push_back(hashRow);
        });
    });
    if (!ok || !filesByContents(connection, rows, found))
        return false;
    for (auto& [key, files] : found)
        std::sort(files.begin(), files.end(), byDiscThenPath);
    return true;
}

bool discEntries(MYSQL* connection, int discId, std::vector<DiscEntry>& entries) {
    entries.clear();
    bool withHashes = false;
    if (!fingerprintTableExists(connection, withHashes))
        return false;
    const std::string disc = std::to_string(discId);
    const std::string statement =
        withHashes ? "select f.fic_id, f.fic_nom, f.fic_rep_id, f.fic_type, f.fic_taille, "
                     "f.fic_date_modif, h.hash, h.size from fic_fichiers f left join "
                     "tvk_file_hashes h on h.cd_id = f.fic_cd_id and h.fic_id = f.fic_id where "
                     "f.fic_cd_id = " +
                         disc
                   : "select fic_id, fic_nom, fic_rep_id, fic_type, fic_taille, fic_date_modif, "
                     "NULL, NULL from fic_fichiers where fic_cd_id = " +
                         disc;
    NodeMap nodes;
    std::vector<DiscEntry> read;
    const bool ok =
        forEachRow(connection, statement, [&](MYSQL_ROW row, const unsigned long* lengths) {
            DiscEntry entry;
            entry.ficId = int(number(row, 0));
            entry.type = row[3] && lengths[3] > 0 ? row[3][0] : ' ';
            entry.size = unsignedNumber(row, 4);
            entry.date = field(row, lengths, 5);
            // A zero date (written by another program) is no date.
            if (entry.date.rfind("0000-00-00", 0) == 0)
                entry.date.clear();
            // A fingerprint counts only while its entry still has the size it was taken at.
            entry.hasHash =
                row[6] && lengths[6] == FINGERPRINT_BYTES && unsignedNumber(row, 7) == entry.size;
            if (entry.hasHash)
                entry.hash = hashField(row, lengths, 6);
            nodes[{discId, entry.ficId}] = {field(row, lengths, 1),
                                            row[2] ? int(number(row, 2)) : -1, entry.size};
            read.push_back(std::move(entry));
        });
    if (!ok)
        return false;
    for (DiscEntry& entry : read)
        if (pathOf(nodes, {discId, entry.ficId}, entry.path))
            entries.push_back(std::move(entry));
    std::sort(entries.begin(), entries.end(), [](const DiscEntry& a, const DiscEntry& b) {
        return std::tie(a.path, a.ficId) < std::tie(b.path, b.ficId);
    });
    return true;
}

} // namespace tvk
