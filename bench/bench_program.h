// The program's own catalogue for a benchmark: a private server, the catalogue's disc and entry
// tables in database "bench", the program's connection pointed at it and handed to the archive
// library, as the program runs on a connected catalogue.
#pragma once

#include "bench/bench_support.h"
#include "catalogue/connection.h"
#include "catalogue/schema.h"
#include "indexing/plg_api.h"
#include "platform/cursor.h"
#include "shell/startup.h"

#include <cstdio>

namespace tvk::bench {

struct ProgramCatalogue {
    PrivateServer server;
    MYSQL* connection = nullptr;

    // Starts the server and connects the program; false, saying why on stderr, on failure.
    // A QApplication must exist.
    bool open() {
        if (!server.start()) {
            std::fprintf(stderr, "could not start a private catalogue server\n");
            return false;
        }
        connection = openBenchDatabase(server, {SQL_CREATE_DISC_TABLE, SQL_CREATE_ENTRY_TABLE});
        if (!connection)
            return false;
        catalogueConnection = connection;
        setMsc(connection);
        waitCursor = waitCursorShape(); // as start-up sets it
        return true;
    }
    // Empties both tables between runs.
    bool empty() {
        return run(connection, "truncate table fic_fichiers") &&
               run(connection, "truncate table cd_disques_compact");
    }
    ~ProgramCatalogue() {
        if (!connection)
            return;
        setMsc(nullptr);
        catalogueConnection = nullptr;
        mysql_close(connection);
    }
};

} // namespace tvk::bench
