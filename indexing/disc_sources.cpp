#include "indexing/disc_sources.h"

#include "catalogue/connection.h"
#include "platform/utf8.h"

#include <QSysInfo>

#include <mysql.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>

namespace tvk {

const char* const SQL_CREATE_DISC_SOURCES =
    "CREATE TABLE IF NOT EXISTS `tvk_disc_sources` (  `src_cd_id` int(11) NOT NULL,  `src_kind` "
    "char(1) NOT NULL,  `src_path` text,  `src_host` varchar(255) default NULL,  `src_label` "
    "varchar(255) default NULL,  `src_serial` int(10) unsigned default NULL,  `src_fs` "
    "varchar(64) default NULL,  `src_entries` bigint(20) unsigned default NULL,  `src_bytes` "
    "bigint(20) unsigned default NULL,  `src_read_at` datetime default NULL,  `src_fs_uuid` "
    "varchar(64) default NULL,  `src_complete` tinyint(1) default NULL,  `src_file_size` "
    "bigint(20) unsigned default NULL,  `src_file_date` datetime default NULL,  PRIMARY KEY  "
    "(`src_cd_id`)) ENGINE=MyISAM DEFAULT CHARSET=latin1";

const char* const DISC_SOURCES_ADDED_COLUMNS[4] = {
    "src_fs_uuid varchar(64) default NULL", "src_complete tinyint(1) default NULL",
    "src_file_size bigint(20) unsigned default NULL", "src_file_date datetime default NULL"};

namespace {

// The server's error numbers for a table that does not exist and a column it does not have.
constexpr unsigned ER_NO_SUCH_TABLE = 1146;
constexpr unsigned ER_BAD_FIELD = 1054;

// `text` as a string literal of a statement.
std::string quoted(const std::string& text) {
    return "'" + escapeCatalogueText(text) + "'";
}

// `text` as a string literal, or NULL when it is empty.
std::string quotedOrNull(const std::string& text) {
    return text.empty() ? std::string("NULL") : quoted(text);
}

// The record, with the disc's counts as the catalogue holds them now.
std::string recordStatement(const DiscSource& source) {
    const std::string disc = std::to_string(source.discId);
    return "replace into tvk_disc_sources (src_cd_id, src_kind, src_path, src_host, src_label, "
           "src_serial, src_fs, src_entries, src_bytes, src_read_at, src_fs_uuid, src_complete, "
           "src_file_size, src_file_date) select " +
           disc + ", " + quoted(std::string(1, source.kind)) + ", " + quoted(source.path) + ", " +
           quoted(cutAtCharacter(source.host, 255)) + ", " +
           quoted(cutAtCharacter(source.label, 255)) + ", " +
           (source.serial ? std::to_string(source.serial) : std::string("NULL")) + ", " +
           quoted(cutAtCharacter(source.fileSystem, 64)) +
           ", count(*), coalesce(sum(if(fic_type = 'R', 0, fic_taille)), 0), utc_timestamp(), " +
           quotedOrNull(cutAtCharacter(source.uuid, 64)) + ", " + (source.complete ? "1" : "0") +
           ", " + (source.fileSize ? std::to_string(source.fileSize) : std::string("NULL")) + ", " +
           quotedOrNull(source.fileDate) + " from fic_fichiers where fic_cd_id = " + disc;
}

std::string column(const char* value, unsigned long length) {
    return value ? std::string(value, length) : std::string();
}

// Adds to a table made before them the columns it lacks. False when the server refused.
bool addMissingColumns() {
    if (!queryCatalogue("show columns from tvk_disc_sources"))
        return false;
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result)
        return false;
    std::set<std::string> present;
    while (MYSQL_ROW row = mysql_fetch_row(result))
        if (row[0])
            present.insert(row[0]);
    mysql_free_result(result);
    for (const char* definition : DISC_SOURCES_ADDED_COLUMNS) {
        const std::string name(definition, std::strcspn(definition, " "));
        if (!present.count(name) &&
            !runCatalogueStatement(
                (std::string("alter table tvk_disc_sources add column ") + definition).c_str()))
            return false;
    }
    return true;
}

// The rows of `statement` as strings (NULL as empty), or none when the server refused.
std::optional<std::vector<std::vector<std::string>>> rowsOf(const std::string& statement) {
    if (!queryCatalogue(statement.c_str()))
        return std::nullopt;
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result)
        return std::nullopt;
    std::vector<std::vector<std::string>> rows;
    const unsigned fields = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        std::vector<std::string> values;
        for (unsigned i = 0; i < fields; ++i)
            values.push_back(column(row[i], lengths[i]));
        rows.push_back(std::move(values));
    }
    mysql_free_result(result);
    return rows;
}

// The disc of the first row of `condition` on the records joined with their discs, the one
// read last first.
std::optional<RecordedDisc> recordedDiscWhere(const std::string& condition) {
    const auto rows = rowsOf("select s.src_cd_id, c.cd_nom from tvk_disc_sources s join "
                             "cd_disques_compact c on c.cd_id = s.src_cd_id where " +
                             condition + " order by s.src_read_at desc, s.src_cd_id desc limit 1");
    if (!rows || rows->empty())
        return std::nullopt;
    return RecordedDisc{std::atoi(rows->front()[0].c_str()), rows->front()[1]};
}

// Sets the member of `source` that column `name` holds (null: the column is NULL).
void setField(DiscSource& source, const std::string& name, const char* value,
              unsigned long length) {
    const std::string text = column(value, length);
    const auto number = [&] { return value ? std::strtoull(value, nullptr, 10) : 0ull; };
    if (name == "src_kind")
        source.kind = text.empty() ? SOURCE_DRIVE : text[0];
    else if (name == "src_path")
        source.path = text;
    else if (name == "src_host")
        source.host = text;
    else if (name == "src_label")
        source.label = text;
    else if (name == "src_serial")
        source.serial = std::uint32_t(number());
    else if (name == "src_fs")
        source.fileSystem = text;
    else if (name == "src_entries")
        source.entries = number();
    else if (name == "src_bytes")
        source.bytes = number();
    else if (name == "src_read_at")
        source.readAt = text;
    else if (name == "src_fs_uuid")
        source.uuid = text;
    else if (name == "src_complete")
        source.complete = !value || number() != 0;
    else if (name == "src_file_size")
        source.fileSize = number();
    else if (name == "src_file_date")
        source.fileDate = text;
}

} // namespace

std::string thisHost() {
    return QSysInfo::machineHostName().toStdString();
}

bool recordDiscSource(const DiscSource& source) {
    if (!catalogueConnection)
        return false;
    const std::string statement = recordStatement(source);
    if (runCatalogueStatement(statement.c_str()))
        return true;
    const unsigned error = mysql_errno(catalogueConnection);
    if (error == ER_BAD_FIELD) // a table of an earlier version
        return addMissingColumns() && runCatalogueStatement(statement.c_str());
    if (error != ER_NO_SUCH_TABLE)
        return false;
    return runCatalogueStatement(SQL_CREATE_DISC_SOURCES) &&
           runCatalogueStatement(statement.c_str());
}

void markDiscIncomplete(int discId) {
    runCatalogueStatement(
        ("update tvk_disc_sources set src_complete = 0 where src_cd_id = " + std::to_string(discId))
            .c_str());
}

std::optional<RecordedDisc> findRecordedDisc(const DiscSource& source) {
    if (!catalogueConnection)
        return std::nullopt;
    if (source.serial != 0)
        if (auto disc = recordedDiscWhere("s.src_label = " + quoted(source.label) +
                                          " and s.src_serial = " + std::to_string(source.serial)))
            return disc;
    const std::string here = "s.src_path = " + quoted(source.path) +
                             " and s.src_host = " + quoted(cutAtCharacter(source.host, 255));
    if (source.kind == SOURCE_FOLDER)
        return recordedDiscWhere("s.src_kind = 'F' and " + here);
    if (source.kind == SOURCE_IMAGE && source.fileSize && !source.fileDate.empty())
        return recordedDiscWhere("s.src_kind = 'I' and " + here +
                                 " and s.src_file_size = " + std::to_string(source.fileSize) +
                                 " and s.src_file_date = " + quoted(source.fileDate));
    return std::nullopt;
}

std::optional<std::uint64_t> countDiscEntries(int discId) {
    const auto rows =
        rowsOf("select count(*) from fic_fichiers where fic_cd_id = " + std::to_string(discId));
    if (!rows || rows->empty())
        return std::nullopt;
    return std::strtoull(rows->front()[0].c_str(), nullptr, 10);
}

bool fileSizeAndDate(const std::string& path, std::uint64_t& size, std::string& date) {
    struct stat info {};
    struct tm fields {};
    if (::stat(path.c_str(), &info) != 0 || !::gmtime_r(&info.st_mtim.tv_sec, &fields))
        return false;
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
    size = std::uint64_t(info.st_size);
    date = text;
    return true;
}

std::optional<DiscSource> readDiscSource(int discId) {
    // Every column by its name: a table of an earlier version lacks the later ones.
    const std::string statement =
        "select * from tvk_disc_sources where src_cd_id = " + std::to_string(discId);
    if (!queryCatalogue(statement.c_str()))
        return std::nullopt;
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result)
        return std::nullopt;
    std::optional<DiscSource> source;
    if (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        const MYSQL_FIELD* fields = mysql_fetch_fields(result);
        source = DiscSource{};
        source->discId = discId;
        for (unsigned i = 0; i < mysql_num_fields(result); ++i)
            setField(*source, fields[i].name, row[i], lengths[i]);
    }
    mysql_free_result(result);
    return source;
}

bool forgetDiscSource(int discId) {
    const std::string statement =
        "delete from tvk_disc_sources where src_cd_id = " + std::to_string(discId);
    return runCatalogueStatement(statement.c_str()) ||
           (catalogueConnection && mysql_errno(catalogueConnection) == ER_NO_SUCH_TABLE);
}

bool isAnotherDisc(const DiscSource& recorded, const VolumeInformation& inserted) {
    if (recorded.label != inserted.label)
        return true;
    if (!recorded.uuid.empty() && !inserted.uuid.empty() && recorded.uuid != inserted.uuid)
        return true;
    return recorded.serial != 0 && inserted.serial != 0 && recorded.serial != inserted.serial;
}

} // namespace tvk
