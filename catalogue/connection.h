// The program's one connection to the catalogue server: opening it from the connection
// settings, selecting or creating the catalogue database, the version check, and the
// hand-over of the connection to the archive library.
#pragma once

#include <mysql.h>

#include <QString>

#include <string>

class QWidget;

namespace tvk {

// The one connection, or null. Every statement of the program runs on it; the archive library
// receives it through setMsc and receives none whenever it is closed.
extern MYSQL* catalogueConnection;

enum ConnectResult : int {
    CONNECT_OK = 0,          // connected; the connection is open
    CONNECT_REFUSED = 1,     // the catalogue was refused by the version check; closed
    CONNECT_NO_DATABASE = 2, // creating and selecting a new database closed the connection
    CONNECT_FAILED = 3,      // no connection to the server; closed
};

// How long connecting may wait for a host that does not answer.
constexpr unsigned CONNECT_TIMEOUT_SECONDS = 5;

// Opens catalogueConnection (which must be null) to `host` at `port` with the account, selects
// `database` or offers to create it, and runs the version check. Host "localhost" connects
// through the client library's Unix socket (MYSQL_UNIX_PORT or its default), any other host
// over TCP; port 0 is the library's default port. The connection speaks latin1.
ConnectResult connectCatalogue(const char* host, const char* user, const char* password,
                               unsigned port, const char* database);

// Closes catalogueConnection when it is open, sets it to null and hands none to the archive
// library. With `tellLibrary` false the library hears nothing: for a connection that was never
// handed to it (the creation of a new database).
void closeCatalogueConnection(bool tellLibrary = true);

// The window that owns the catalogue's message boxes: the main window (null before it exists).
QWidget* catalogueMessageOwner();

// Runs `statement` (NUL-terminated bytes) on catalogueConnection; true when the server
// accepted it. Any result set it produces is discarded. A select is sent again as
// queryCatalogue says.
bool runCatalogueStatement(const char* statement);

// Sends `statement` on catalogueConnection and leaves its result for the caller to store;
// true when the server accepted it. When a select fails because the server dropped the
// connection (it stood idle past the server's wait_timeout, the server restarted), the
// connection is made once more with the settings it was opened with, the database selected,
// and the select sent again: catalogueConnection is then a new handle, which the archive
// library has been handed (none for the old one first). Any other statement fails as it is.
bool queryCatalogue(const char* statement);

// `text` escaped for a string literal of a statement on catalogueConnection (which must be
// open), as its character set requires.
std::string escapeCatalogueText(const std::string& text);

// The last error of catalogueConnection as text (UTF-8 when its bytes are, else the server's
// latin1).
QString catalogueErrorText();

// Shows the last server error of catalogueConnection under "MySQL Error" with the error icon.
void showMySqlError(QWidget* owner);

// The status text the catalogue composes: `text` cut to the 255 characters of the status
// buffer, shown in the status bar.
void showCatalogueStatus(const QString& text);

} // namespace tvk
