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

namespace tvk {

MYSQL* catalogueConnection = nullptr;

namespace {

// Longest status text: the status bar shares a 256-byte text buffer.
constexpr int STATUS_TEXT_MAX = 255;

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

} // namespace

QWidget* catalogueMessageOwner() {
    return mainWindow;
}

void showCatalogueStatus(const QString& text) {
    statusText = text.left(STATUS_TEXT_MAX);
    setStatusText(statusText);
}

bool queryCatalogue(const char* statement) {
    return catalogueConnection && mysql_query(catalogueConnection, statement) == 0;
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
