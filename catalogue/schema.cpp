#include "catalogue/schema.h"

#include "catalogue/connection.h"
#include "platform/messagebox.h"
#include "shell/startup.h"

#include <QVariant>
#include <QWidget>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace tvk {

// Two blanks follow "CREATE TABLE" and "PRIMARY KEY"; "\xE9" is the comment's e acute in
// Latin-1.
const char* const SQL_CREATE_VERSION_TABLE =
    "CREATE TABLE  `vorka_version` (`application` varchar(32) NOT NULL,`version_mini` int(10) "
    "unsigned NOT NULL,`version_bd` int(10) unsigned NOT NULL,PRIMARY KEY  (`application`)) "
    "ENGINE=MyISAM DEFAULT CHARSET=latin1 COMMENT='Compatibilit\xE9 des versions applications - "
    "BD'";
const char* const SQL_INSERT_VERSION_ROW =
    "INSERT INTO `vorka_version` (`application`,`version_mini`,`version_bd`) VALUES ('Tavisk', "
    "%u, %u)";
const char* const SQL_CREATE_DISC_TABLE =
    "CREATE TABLE  `cd_disques_compact` (  `cd_id` int(11) NOT NULL auto_increment,  `cd_nom` "
    "varchar(255) default NULL,  `cd_type` char(1) default NULL,  PRIMARY KEY  (`cd_id`)) "
    "ENGINE=MyISAM DEFAULT CHARSET=latin1";
const char* const SQL_CREATE_ENTRY_TABLE =
    "CREATE TABLE  `fic_fichiers` (  `fic_cd_id` int(11) NOT NULL default '0',  `fic_id` int(11) "
    "NOT NULL auto_increment,  `fic_nom` varchar(255) default NULL,  `fic_taille` bigint(11) "
    "default NULL,  `fic_type` char(1) default NULL,  `fic_date_modif` datetime default NULL,  "
    "`fic_rep_id` int(11) default NULL,  PRIMARY KEY  (`fic_cd_id`,`fic_id`),  KEY "
    "`FIC_REP_FK_I` (`fic_cd_id`,`fic_rep_id`),  KEY `FIC_NOM_NU1` (`fic_nom`),  FULLTEXT KEY "
    "`FIC_NOM_FTS` (`fic_nom`)) ENGINE=MyISAM DEFAULT CHARSET=latin1";
const char* const SQL_SELECT_VERSION =
    "select version_mini, version_bd from vorka_version where application = 'Tavisk'";
const char* const SQL_CREATE_DATABASE = "create database %s";
const char* const SQL_UPGRADE_FULLTEXT =
    "ALTER TABLE `fic_fichiers` ADD FULLTEXT INDEX `FIC_NOM_FTS`(`fic_nom`)";
const char* const SQL_UPGRADE_BIGINT_SIZE =
    "ALTER TABLE `fic_fichiers` MODIFY COLUMN `fic_taille` BIGINT(11) DEFAULT NULL";
const char* const SQL_UPDATE_VERSION_ROW =
    "UPDATE `vorka_version` SET `version_mini` = %u, `version_bd` = %u WHERE `application` = "
    "'Tavisk'";

namespace {

// A version column as a signed 32-bit number; a NULL or a text that is not a number reads -1,
// and numbers beyond the range are held at its ends.
int versionNumber(const char* text) {
    if (!text)
        return -1;
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text, &end, 10);
    if (end == text)
        return -1;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

// Reads version_mini and version_bd of the row 'Tavisk'; both -1 when the query fails, gives
// no result or no row.
void readCatalogueVersion(int& versionMini, int& versionBd) {
    versionMini = -1;
    versionBd = -1;
    if (!queryCatalogue(SQL_SELECT_VERSION))
        return;
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result)
        return;
    if (MYSQL_ROW row = mysql_fetch_row(result); row && mysql_num_fields(result) >= 2) {
        versionMini = versionNumber(row[0]);
        versionBd = versionNumber(row[1]);
    }
    mysql_free_result(result);
}

const char* const UPGRADE_STEP_PROPERTY = "tvkUpgradeStep";

// The server's error for a statement it cannot parse.
constexpr unsigned SERVER_PARSE_ERROR = 1064;

// Whether `name` is a plain identifier: ASCII letters, digits, "_" and "$" only.
bool isPlainIdentifier(const char* name) {
    if (!*name)
        return false;
    for (const char* c = name; *c; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') ||
                           (*c >= '0' && *c <= '9') || *c == '_' || *c == '$';
        if (!plain)
            return false;
    }
    return true;
}

// `name` as one quoted identifier: in backticks, a backtick inside doubled.
std::string quotedIdentifier(const char* name) {
    std::string quoted = "`";
    for (const char* c = name; *c; ++c)
        quoted += *c == '`' ? "``" : std::string(1, *c);
    return quoted + "`";
}

// Runs the database creation statement with `name` standing as given (the buffer is sized for
// it: a quoted name may be longer than the subsystem's statement buffer holds).
bool runCreateDatabase(const std::string& name) {
    std::vector<char> statement(std::strlen(SQL_CREATE_DATABASE) + name.size() + 1);
    std::snprintf(statement.data(), statement.size(), SQL_CREATE_DATABASE, name.c_str());
    return runCatalogueStatement(statement.data());
}

// Creates database `name`. A plain identifier goes into the statement as it stands; any other
// name (a blank, a dash, a backtick, a comment) is quoted, so that the server creates the
// database of exactly that name. A plain name the server cannot read as a name (a number such
// as 2024, a reserved word such as Index) is sent again quoted.
bool createDatabaseNamed(const char* name) {
    if (!isPlainIdentifier(name))
        return runCreateDatabase(quotedIdentifier(name));
    if (runCreateDatabase(name))
        return true;
    return catalogueConnection && mysql_errno(catalogueConnection) == SERVER_PARSE_ERROR &&
           runCreateDatabase(quotedIdentifier(name));
}

} // namespace

int createCatalogueTables() {
    char statement[CATALOGUE_STATEMENT_SIZE];
    std::snprintf(statement, sizeof statement, SQL_INSERT_VERSION_ROW, unsigned(MIN_PROGRAM_LEVEL),
                  unsigned(SCHEMA_VERSION));
    const char* const steps[] = {SQL_CREATE_VERSION_TABLE, statement, SQL_CREATE_DISC_TABLE,
                                 SQL_CREATE_ENTRY_TABLE};
    for (const char* step : steps) {
        if (!runCatalogueStatement(step)) {
            showMySqlError(catalogueMessageOwner());
            return 1;
        }
    }
    return 0;
}

int createCatalogueDatabase(const char* name) {
    if (!createDatabaseNamed(name)) {
        showMySqlError(catalogueMessageOwner());
        closeCatalogueConnection(false); // the library was not handed this connection
        return 1;
    }
    if (mysql_select_db(catalogueConnection, name) != 0) {
        showCatalogueStatus(
            QString::asprintf(loadLangString(IDS_CANNOT_SELECT_BASE).toUtf8().constData(), name));
        closeCatalogueConnection(false); // the library was not handed this connection
        return 2;
    }
    return createCatalogueTables();
}

int checkCatalogueVersion() {
    int versionMini = -1;
    int versionBd = -1;
    readCatalogueVersion(versionMini, versionBd);
    if (versionMini > PROGRAM_LEVEL) {
        messageBox(catalogueMessageOwner(), loadLangString(IDS_PROGRAM_TOO_OLD),
                   loadLangString(IDS_PROGRAM_UPDATE_REQUIRED), MB_OK | MB_ICONERROR);
        return 1;
    }
    if (versionBd >= SCHEMA_VERSION)
        return 0;
    const int answer = messageBox(catalogueMessageOwner(), loadLangString(IDS_ASK_UPGRADE_DATABASE),
                                  loadLangString(IDS_DATABASE_UPGRADE), MB_YESNO | MB_ICONWARNING);
    if (answer != IDYES)
        return 1;
    return upgradeCatalogue(versionBd) == 0 ? 0 : 1;
}

int upgradeCatalogue(int versionBd) {
    switch (versionBd) {
    case -1:
        return createCatalogueTables();
    case 1:
        if (const int result = runUpgradeStep(1); result != 0)
            return result;
        return runUpgradeStep(2);
    case 2:
        return runUpgradeStep(2);
    default:
        messageBox(catalogueMessageOwner(), loadLangString(IDS_UNKNOWN_VERSION),
                   loadLangString(IDS_UNKNOWN_VERSION_CAPTION), MB_OK | MB_ICONERROR);
        return 1;
    }
}

int runUpgradeStep(int fromVersion) {
    return static_cast<int>(
        dialogBoxParam(langModule, IDD_UPGRADE, nullptr, upgradeDialogProc, fromVersion));
}

bool upgradeDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        const int step = static_cast<int>(lParam);
        dialogWindow(dialog)->setProperty(UPGRADE_STEP_PROPERTY, step);
        const QString caption = getWindowText(dialog).left(UPGRADE_CAPTION_MAX) +
                                (step == 1 ? QStringLiteral(" : 1->2") : QStringLiteral(" : 2->3"));
        setWindowText(dialog, caption);
        setTimer(dialog, UPGRADE_TIMER_ID, 1);
        return true;
    }
    if (message != WM_TIMER || wParam != UPGRADE_TIMER_ID)
        return false;

    // Killed first, so that the step runs once.
    killTimer(dialog, UPGRADE_TIMER_ID);
    const int step = dialogWindow(dialog)->property(UPGRADE_STEP_PROPERTY).toInt();
    const int toVersion = step == 1 ? 2 : 3;
    bool done = runCatalogueStatement(step == 1 ? SQL_UPGRADE_FULLTEXT : SQL_UPGRADE_BIGINT_SIZE);
    if (done) {
        char statement[CATALOGUE_STATEMENT_SIZE];
        std::snprintf(statement, sizeof statement, SQL_UPDATE_VERSION_ROW,
                      unsigned(MIN_PROGRAM_LEVEL), unsigned(toVersion));
        done = runCatalogueStatement(statement);
    }
    if (!done) {
        showMySqlError(dialogWindow(dialog));
        endDialog(dialog, 1);
        return true;
    }
    endDialog(dialog, 0);
    return true;
}

} // namespace tvk
