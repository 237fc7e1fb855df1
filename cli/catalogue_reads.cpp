#include "cli/catalogue_reads.h"

#include "catalogue/connection.h"
#include "cli/session.h"
#include "lang/resource.h"
#include "platform/text.h"

#include <QString>

#include <cstdlib>

namespace tvk::cli {

namespace {

// A folder chain longer than this is taken as a loop of parent links and cut there.
constexpr int PATH_DEPTH_MAX = 4096;

std::string field(MYSQL_ROW row, unsigned long* lengths, unsigned i) {
    return row[i] ? std::string(row[i], lengths[i]) : std::string();
}

std::int64_t numberField(MYSQL_ROW row, unsigned i) {
    return row[i] ? std::strtoll(row[i], nullptr, 10) : 0;
}

std::optional<int> parentField(MYSQL_ROW row, unsigned i) {
    if (!row[i])
        return std::nullopt;
    return int(std::strtol(row[i], nullptr, 10));
}

std::string dateField(MYSQL_ROW row, unsigned long* lengths, unsigned i) {
    const std::string date = field(row, lengths, i);
    return date.rfind("0000-00-00", 0) == 0 ? std::string() : date;
}

std::string escaped(MYSQL* connection, const std::string& text) {
    std::string out(text.size() * 2 + 1, '\0');
    out.resize(mysql_real_escape_string(connection, out.data(), text.data(), text.size()));
    return out;
}

// Runs a select on `connection` (the catalogue's own goes through queryCatalogue, which makes a
// dropped connection again) and hands each row over; the whole result is stored first. False
// when the server refused (said).
bool eachRow(MYSQL* connection, const std::string& statement,
             const std::function<void(MYSQL_ROW, unsigned long*)>& each) {
    const bool sent = connection == catalogueConnection
                          ? queryCatalogue(statement.c_str())
                          : mysql_query(connection, statement.c_str()) == 0;
    MYSQL* used = connection == catalogueConnection ? catalogueConnection : connection;
    MYSQL_RES* result = sent ? mysql_store_result(used) : nullptr;
    if (!result) {
        say(loadLangString(IDS_MYSQL_ERROR) + QStringLiteral(": ") +
            fromServerText(mysql_error(used)));
        return false;
    }
    while (MYSQL_ROW row = mysql_fetch_row(result))
        each(row, mysql_fetch_lengths(result));
    mysql_free_result(result);
    return true;
}

// Streams a select on the catalogue connection row by row (the server keeps the rest). False
// when the server refused (said) or `each` returned false; the catalogue connection is then
// closed, since the rest of the stream is not read.
bool streamRows(const std::string& statement,
                const std::function<bool(MYSQL_ROW, unsigned long*)>& each) {
    MYSQL_RES* result =
        queryCatalogue(statement.c_str()) ? mysql_use_result(catalogueConnection) : nullptr;
    if (!result) {
        sayCatalogueError();
        return false;
    }
    bool complete = true;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        if (!each(row, mysql_fetch_lengths(result))) {
            complete = false;
            break;
        }
    }
    if (complete && mysql_errno(catalogueConnection) != 0) {
        sayCatalogueError();
        complete = false;
    }
    if (!complete) {
        // A stream left part way is not drained row by row (millions may be left): the result
        // is let go of its connection before it is freed, and the connection is closed.
        result->handle = nullptr;
        mysql_free_result(result);
        closeCatalogueConnection();
        return false;
    }
    mysql_free_result(result);
    return true;
}

std::string parentCondition(int parent) {
    return parent < 0 ? std::string("fic_rep_id is null")
                      : "fic_rep_id = " + std::to_string(parent);
}

EntryRow entryOf(int discId, MYSQL_ROW row, unsigned long* lengths) {
    EntryRow entry;
    entry.discId = discId;
    entry.id = int(numberField(row, 0));
    entry.parent = parentField(row, 1);
    entry.name = field(row, lengths, 2);
    entry.size = numberField(row, 3);
    entry.type = row[4] && *row[4] ? row[4][0] : 'F';
    entry.date = dateField(row, lengths, 5);
    return entry;
}

constexpr const char* ENTRY_COLUMNS =
    "select fic_id, fic_rep_id, fic_nom, fic_taille, fic_type, fic_date_modif from fic_fichiers ";

} // namespace

std::optional<std::vector<DiscRow>> readDiscs() {
    std::vector<DiscRow> discs;
    const bool read = eachRow(
        catalogueConnection,
        "select c.cd_id, c.cd_nom, count(f.fic_id), coalesce(sum(if(f.fic_type = 'R', 0, "
        "f.fic_taille)), 0) from cd_disques_compact c left join fic_fichiers f on f.fic_cd_id = "
        "c.cd_id group by c.cd_id, c.cd_nom order by c.cd_id",
        [&](MYSQL_ROW row, unsigned long* lengths) {
            discs.push_back(DiscRow{int(numberField(row, 0)), field(row, lengths, 1),
                                    std::uint64_t(numberField(row, 2)),
                                    std::uint64_t(numberField(row, 3))});
        });
    if (!read)
        return std::nullopt;
    return discs;
}

std::optional<std::vector<DiscRow>> readDiscNames() {
    std::vector<DiscRow> discs;
    if (!eachRow(catalogueConnection, "select cd_id, cd_nom from cd_disques_compact order by cd_id",
                 [&](MYSQL_ROW row, unsigned long* lengths) {
                     discs.push_back(DiscRow{int(numberField(row, 0)), field(row, lengths, 1)});
                 }))
        return std::nullopt;
    return discs;
}

std::optional<std::string> discName(int discId) {
    std::optional<std::string> name;
    eachRow(catalogueConnection,
            "select cd_nom from cd_disques_compact where cd_id = " + std::to_string(discId),
            [&](MYSQL_ROW row, unsigned long* lengths) { name = field(row, lengths, 0); });
    return name;
}

std::optional<int> findContainer(MYSQL* connection, int discId, const std::string& path) {
    int current = -1;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        if (part.empty())
            continue;
        // The name as typed (UTF-8), then as a program on Windows would have stored it.
        std::vector<std::string> forms{part};
        if (const auto codePage = toWindows1252(QString::fromStdString(part));
            codePage && *codePage != part)
            forms.push_back(*codePage);
        std::optional<int> found;
        for (const std::string& form : forms) {
            if (found)
                break;
            if (!eachRow(connection,
                         "select fic_id from fic_fichiers where fic_cd_id = " +
                             std::to_string(discId) + " and " + parentCondition(current) +
                             " and fic_type in ('R','Z') and binary fic_nom = '" +
                             escaped(connection, form) + "' order by fic_id limit 1",
                         [&](MYSQL_ROW row, unsigned long*) { found = int(numberField(row, 0)); }))
                return std::nullopt;
        }
        if (!found)
            return std::nullopt;
        current = *found;
    }
    return current;
}

bool readChildren(int discId, int parent, const std::function<void(const EntryRow&)>& each) {
    return eachRow(
        catalogueConnection,
        std::string(ENTRY_COLUMNS) + "where fic_cd_id = " + std::to_string(discId) + " and " +
            parentCondition(parent) + " order by fic_id",
        [&](MYSQL_ROW row, unsigned long* lengths) { each(entryOf(discId, row, lengths)); });
}

bool PathMap::load(MYSQL* connection, int discId) {
    containers_.clear();
    paths_.clear();
    return eachRow(connection,
                   "select fic_id, fic_rep_id, fic_nom from fic_fichiers where fic_cd_id = " +
                       std::to_string(discId) + " and fic_type in ('R','Z')",
                   [&](MYSQL_ROW row, unsigned long* lengths) {
                       containers_[int(numberField(row, 0))] =
                           Container{parentField(row, 1), field(row, lengths, 2)};
                   });
}

std::string PathMap::containerPath(int id, int depth) {
    if (const auto known = paths_.find(id); known != paths_.end())
        return known->second;
    const auto container = containers_.find(id);
    if (container == containers_.end() || depth > PATH_DEPTH_MAX)
        return std::string();
    const std::string above =
        container->second.parent ? containerPath(*container->second.parent, depth + 1) : "";
    return paths_[id] = above + "/" + container->second.name;
}

std::string PathMap::pathOf(std::optional<int> parent, const std::string& name) {
    return (parent ? containerPath(*parent, 0) : std::string()) + "/" + name;
}

bool streamDiscEntries(int discId, const std::function<bool(const EntryRow&)>& each) {
    return streamRows(
        std::string(ENTRY_COLUMNS) + "where fic_cd_id = " + std::to_string(discId) +
            " order by fic_id",
        [&](MYSQL_ROW row, unsigned long* lengths) { return each(entryOf(discId, row, lengths)); });
}

std::string HitPaths::containerPath(int discId, int id, int depth) {
    const std::pair<int, int> key{discId, id};
    if (const auto known = paths_.find(key); known != paths_.end())
        return known->second;
    if (depth > PATH_DEPTH_MAX || !connection_)
        return std::string();
    std::optional<int> parent;
    std::string name;
    bool found = false;
    eachRow(connection_,
            "select fic_rep_id, fic_nom from fic_fichiers where fic_cd_id = " +
                std::to_string(discId) + " and fic_id = " + std::to_string(id),
            [&](MYSQL_ROW row, unsigned long* lengths) {
                parent = parentField(row, 0);
                name = field(row, lengths, 1);
                found = true;
            });
    if (!found)
        return std::string();
    const std::string above = parent ? containerPath(discId, *parent, depth + 1) : "";
    return paths_[key] = above + "/" + name;
}

std::string HitPaths::pathOf(int discId, std::optional<int> parent, const std::string& name) {
    if (const auto whole = wholeDiscs_.find(discId); whole != wholeDiscs_.end())
        return whole->second.pathOf(parent, name);
    if (parent && connection_ && !paths_.count({discId, *parent}) &&
        ++lookups_[discId] > LOOKUPS_BEFORE_WHOLE_DISC) {
        PathMap& map = wholeDiscs_[discId];
        if (map.load(connection_, discId))
            return map.pathOf(parent, name);
        wholeDiscs_.erase(discId);
    }
    return (parent ? containerPath(discId, *parent, 0) : std::string()) + "/" + name;
}

bool streamSearch(const std::string& statement, const std::function<bool(const EntryRow&)>& each) {
    return streamRows(statement, [&](MYSQL_ROW row, unsigned long* lengths) {
        EntryRow hit;
        hit.name = field(row, lengths, 0);
        hit.size = numberField(row, 1);
        hit.date = isoSearchDate(field(row, lengths, 2));
        hit.type = row[3] && *row[3] ? row[3][0] : 'F';
        hit.discId = int(numberField(row, 5));
        hit.parent = parentField(row, 6);
        return each(hit);
    });
}

std::string isoSearchDate(const std::string& date) {
    // dd/mm/YYYY HH:MM
    if (date.size() != 16 || date[2] != '/' || date[5] != '/' || date.substr(6, 4) == "0000")
        return std::string();
    return date.substr(6, 4) + "-" + date.substr(3, 2) + "-" + date.substr(0, 2) + date.substr(10);
}

} // namespace tvk::cli
