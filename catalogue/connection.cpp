#include "catalogue/connection.h"

#include "catalogue/schema.h"
#include "catalogue/settings.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/messagebox.h"
#include "platform/text.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QMainWindow>

#include <errmsg.h>

#include <cctype>
#include <optional>
#include <string_view>

namespace tvk {

MYSQL* catalogueConnection = nullptr;

namespace {

// Longest status text: the status bar shares a 256-byte text buffer.
constexpr int STATUS_TEXT_MAX = 255;

// What catalogueConnection was opened with, for making it again after the server dropped it.
struct ConnectionTarget {
    std::string host;
    std::string user;
    std::string password;
    std::string database;
    unsigned port = 0;
};
std::optional<ConnectionTarget> openedWith;

// A new handle set up for the catalogue: latin1, so that every byte of a name is stored and
// given back as it is; a bounded connect, so that an unreachable host cannot freeze the window.
MYSQL* newCatalogueHandle() {
    MYSQL* handle = mysql_init(nullptr);
    if (!handle)
        return nullptr;
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    const unsigned timeout = CONNECT_TIMEOUT_SECONDS;
    mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    return handle;
}

// The database branch: the database could not be selected and is taken as missing; offer to
// create it. Returns with catalogueConnection open or closed.
void offerDatabaseCreation(const char* database) {
    const int create = messageBox(catalogueMessageOwner(), loadLangString(IDS_ASK_CREATE_DATABASE),
                                  loadLangString(IDS_DATABASE_CREATION), MB_YESNO | MB_ICONWARNING);
    if (create != IDYES)
        return;
    if (createCatalogueDatabase(database) == 0) {
        setMsc(catalogueConnection);
        storeConnectionSettings();
        return;
    }
    const int keep =
        messageBox(catalogueMessageOwner(), loadLangString(IDS_ASK_KEEP_UNINITIALISED_SETTINGS),
                   loadLangString(IDS_DATABASE_CREATION_FAILURE), MB_YESNO);
    if (keep == IDYES) {
        setMsc(catalogueConnection);
        storeConnectionSettings();
    }
}

// Whether the last statement on `connection` failed because the connection itself is gone: the
// server closed it (its wait_timeout, a restart, a KILL) or it broke during the statement.
bool connectionLost(MYSQL* connection) {
    const unsigned error = mysql_errno(connection);
    return error == CR_SERVER_GONE_ERROR || error == CR_SERVER_LOST;
}

// Whether `statement` only reads: a select, which may be sent again without harm. A write is
// never repeated: after a lost connection it may have been done already.
bool isReadStatement(const char* statement) {
    while (std::isspace(static_cast<unsigned char>(*statement)) || *statement == '(')
        ++statement;
    static constexpr char SELECT[] = "select";
    for (const char c : std::string_view(SELECT)) {
        if (std::tolower(static_cast<unsigned char>(*statement++)) != c)
            return false;
    }
    return !std::isalnum(static_cast<unsigned char>(*statement)) && *statement != '_';
}

// Makes catalogueConnection again with the settings it was opened with, quietly: no status
// text, no question, no version check (the catalogue was accepted when it was opened). On
// success the old handle is closed, the library handed none for it and then the new one, as
// after any connection. False when no new connection with the database selected can be made:
// catalogueConnection then stays as it was, with its error.
bool reconnectCatalogue() {
    if (!openedWith)
        return false;
    const ConnectionTarget& target = *openedWith;
    MYSQL* fresh = newCatalogueHandle();
    if (!fresh)
        return false;
    if (!mysql_real_connect(fresh, target.host.c_str(), target.user.c_str(),
                            target.password.c_str(), nullptr, target.port, nullptr, 0) ||
        mysql_select_db(fresh, target.database.c_str()) != 0) {
        mysql_close(fresh);
        return false;
    }
    closeCatalogueConnection();
    catalogueConnection = fresh;
    setMsc(catalogueConnection);
    return true;
}

} // namespace

QWidget* catalogueMessageOwner() {
    return mainWindow;
}

void showCatalogueStatus(const QString& text) {
    statusText = text.left(STATUS_TEXT_MAX);
    setStatusText(statusText);
}

bool queryCatalogue(const char* statement) {
    if (!catalogueConnection)
        return false;
    // The library's last INSERT may still be running on the connection (a walk pumps events).
    taviskPlg_wait_writes();
    if (mysql_query(catalogueConnection, statement) == 0)
        return true;
    if (!connectionLost(catalogueConnection) || !isReadStatement(statement) ||
        !reconnectCatalogue())
        return false;
    return mysql_query(catalogueConnection, statement) == 0;
}

bool runCatalogueStatement(const char* statement) {
    if (!queryCatalogue(statement))
        return false;
    // A statement that yields rows leaves them to be fetched; nothing here wants them.
    if (mysql_field_count(catalogueConnection) != 0) {
        if (MYSQL_RES* result = mysql_store_result(catalogueConnection))
            mysql_free_result(result);
    }
    return true;
}

std::string escapeCatalogueText(const std::string& text) {
    std::string escaped(text.size() * 2 + 1, '\0');
    escaped.resize(
        mysql_real_escape_string(catalogueConnection, escaped.data(), text.data(), text.size()));
    return escaped;
}

QString catalogueErrorText() {
    if (!catalogueConnection)
        return QString();
    return fromServerText(mysql_error(catalogueConnection));
}

void showMySqlError(QWidget* owner) {
    messageBox(owner, catalogueErrorText(), loadLangString(IDS_MYSQL_ERROR), MB_OK | MB_ICONERROR);
}

void closeCatalogueConnection(bool tellLibrary) {
    if (!catalogueConnection)
        return;
    taviskPlg_wait_writes();
    mysql_close(catalogueConnection);
    catalogueConnection = nullptr;
    if (tellLibrary)
        setMsc(nullptr);
}

ConnectResult connectCatalogue(const char* host, const char* user, const char* password,
                               unsigned port, const char* database) {
    showCatalogueStatus(QString());
    catalogueConnection = newCatalogueHandle();
    if (catalogueConnection &&
        mysql_real_connect(catalogueConnection, host, user, password, nullptr, port, nullptr, 0)) {
        openedWith = ConnectionTarget{host, user, password, database, port};
        if (mysql_select_db(catalogueConnection, database) != 0) {
            offerDatabaseCreation(database);
            setStatusText(statusText);
            return catalogueConnection ? CONNECT_OK : CONNECT_NO_DATABASE;
        }
        setMsc(catalogueConnection);
        if (checkCatalogueVersion() == 0)
            return CONNECT_OK;
        closeCatalogueConnection();
        return CONNECT_REFUSED;
    }
    showCatalogueStatus(QString::asprintf(
        loadLangString(IDS_CANNOT_CONNECT_PORT).toUtf8().constData(), static_cast<int>(port)));
    if (catalogueConnection) {
        mysql_close(catalogueConnection);
        catalogueConnection = nullptr;
    }
    return CONNECT_FAILED;
}

} // namespace tvk
