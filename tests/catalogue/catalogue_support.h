// Shared pieces of the catalogue tests: the English language module, a private settings
// folder, the record of what the archive library was handed, and catalogues made at the
// older schema versions.
#pragma once

#include "tests/support/query_log.h"

#include <mysql.h>

#include <QString>
#include <QTemporaryDir>

#include <string>
#include <vector>

namespace tvk::test {

// Loads tavisk_en.so from the build's output folder as the program's language module (once).
void useEnglishModule();

// A temporary XDG_CONFIG_HOME for the life of the object; the previous value comes back after.
class ScopedConfigHome {
public:
    ScopedConfigHome();
    ~ScopedConfigHome();
    QString path() const { return dir_.path(); }
    QString settingsFile() const { return dir_.path() + QStringLiteral("/vorka/tavisk.conf"); }

private:
    QTemporaryDir dir_;
    QByteArray previous_;
    bool hadPrevious_ = false;
};

// Every call of setMsc and taviskPlg_remove_plugins the program made, in order, since the
// last clear: "setMsc(open)", "setMsc(none)", "remove_plugins". The calls still reach the
// real library.
std::vector<std::string>& libraryCalls();
// The handle the archive library holds now, as last handed to it.
MYSQL* libraryConnection();

// Opens the program's connection to the test server the way the settings would: TCP at
// 127.0.0.1 and the server's port, account root with its password.
int connectToTestServer(const std::string& database);

// The connection (thread id) that selected `database`, as the query log shows it; 0 if none.
unsigned long threadSelecting(const QueryLog& log, const std::string& database);

// Makes a catalogue at schema version 1 or 2 in `database` (which exists): version 1 has no
// full-text key and a 32-bit size column; version 2 has the key. Rows given as (mini, bd).
void makeOldCatalogue(const std::string& database, int versionBd, int versionMini = 1);

// Makes the three tables of the current schema with the version row (mini, bd).
void makeCatalogueWithVersion(const std::string& database, int versionMini, int versionBd);

// The version row of `database` as {"mini", "bd"}; empty when there is none.
std::vector<std::string> versionRow(const std::string& database);

} // namespace tvk::test
