#include "indexing/disc_sources.h"

#include "catalogue/connection.h"
#include "platform/utf8.h"

#include <QSysInfo>

#include <mysql.h>

#include <cstdlib>

namespace tvk {

const char* const SQL_CREATE_DISC_SOURCES =
    "CREATE TABLE IF NOT EXISTS `tvk_disc_sources` (  `src_cd_id` int(11) NOT NULL,  `src_kind` "
    "char(1) NOT NULL,  `src_path` text,  `src_host` varchar(255) default NULL,  `src_label` "
    "varchar(255) default NULL,  `src_serial` int(10) unsigned default NULL,  `src_fs` "
    "varchar(64) default NULL,  `src_entries` bigint(20) unsigned default NULL,  `src_bytes` "
    "bigint(20) unsigned default NULL,  `src_read_at` datetime default NULL,  PRIMARY KEY  "
    "(`src_cd_id`)) ENGINE=MyISAM DEFAULT CHARSET=latin1";

namespace {

// The server's error number for a table that does not exist.
constexpr unsigned ER_NO_SUCH_TABLE = 1146;

// `text` as a string literal of a statement.
std::string quoted(const std::string& text) {
    return "'" + escapeCatalogueText(text) + "'";
}

// The record, with the disc's counts as the catalogue holds them now.
std::string recordStatement(const DiscSource& source) {
    const std::string disc = std::to_string(source.discId);
    return "replace into tvk_disc_sources (src_cd_id, src_kind, src_path, src_host, src_label, "
           "src_serial, src_fs, src_entries, src_bytes, src_read_at) select " +
           disc + ", " + quoted(std::string(1, source.kind)) + ", " + quoted(source.path) + ", " +
           quoted(cutAtCharacter(source.host, 255)) + ", " +
           quoted(cutAtCharacter(source.label, 255)) + ", " +
           (source.serial ? std::to_string(source.serial) : std::string("NULL")) + ", " +
           quoted(cutAtCharacter(source.fileSystem, 64)) +
           ", count(*), coalesce(sum(if(fic_type = 'R', 0, fic_taille)), 0), utc_timestamp() "
           "from fic_fichiers where fic_cd_id = " +
           disc;
}

std::string column(const char* value, unsigned long length) {
    return value ? std::string(value, length) : std::string();
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
    if (mysql_errno(catalogueConnection) != ER_NO_SUCH_TABLE)
        return false;
    return runCatalogueStatement(SQL_CREATE_DISC_SOURCES) &&
           runCatalogueStatement(statement.c_str());
}

std::optional<DiscSource> readDiscSource(int discId) {
    const std::string statement =
        "select src_kind, src_path, src_host, src_label, src_serial, src_fs, src_entries, "
        "src_bytes, src_read_at from tvk_disc_sources where src_cd_id = " +
        std::to_string(discId);
    if (!queryCatalogue(statement.c_str()))
        return std::nullopt;
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result)
        return std::nullopt;
    std::optional<DiscSource> source;
    if (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        source = DiscSource{};
        source->discId = discId;
        source->kind = row[0] && lengths[0] ? row[0][0] : SOURCE_DRIVE;
        source->path = column(row[1], lengths[1]);
        source->host = column(row[2], lengths[2]);
        source->label = column(row[3], lengths[3]);
        source->serial = row[4] ? std::uint32_t(std::strtoul(row[4], nullptr, 10)) : 0;
        source->fileSystem = column(row[5], lengths[5]);
        source->entries = row[6] ? std::strtoull(row[6], nullptr, 10) : 0;
        source->bytes = row[7] ? std::strtoull(row[7], nullptr, 10) : 0;
        source->readAt = column(row[8], lengths[8]);
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
    return recorded.serial != 0 && inserted.serial != 0 && recorded.serial != inserted.serial;
}

} // namespace tvk
