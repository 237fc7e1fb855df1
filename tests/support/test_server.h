// The throwaway catalogue server that the test fixture starts, and plain client helpers.
#pragma once

#include <mysql.h>

#include <string>
#include <vector>

namespace tvk::test {

struct TestServer {
    std::string socket;
    unsigned port = 0;
    std::string queryLog;
    // Root's password: the server is reachable by every local user over TCP.
    std::string password;

    // The server of this test run, read from the file the fixture writes. Fails the test
    // (fatal) when there is none.
    static const TestServer& get();
    // Whether a server was started for this run.
    static bool available();
    // A server described by the file `envFile` that scripts/catalogue-server writes; its
    // socket is empty when the file cannot be read.
    static TestServer fromFile(const std::string& envFile);

    // A new root connection over TCP (127.0.0.1) with the latin1 character set and root's
    // password, the way the program connects; `database` may be empty. The caller closes it.
    // Fails the test (non-fatal) and gives null when it cannot connect.
    MYSQL* connect(const std::string& database = {}) const;
};

// A TCP port on 127.0.0.1 on which nothing listens.
unsigned closedPort();

// A database name no other test of the run uses: prefix, process id and a counter.
std::string uniqueDatabaseName(const std::string& prefix);

// Runs statements on `connection`; fails the test (non-fatal) on a server error.
void exec(MYSQL* connection, const std::string& statement);
// Rows of a query as texts (NULL as "<NULL>").
std::vector<std::vector<std::string>> query(MYSQL* connection, const std::string& statement);

// `name` as a quoted identifier: in backticks, a backtick inside doubled.
std::string quotedName(const std::string& name);

// Drops the database when the object goes away.
struct ScopedDatabase {
    std::string name;
    explicit ScopedDatabase(const std::string& prefix, bool create = true);
    ~ScopedDatabase();
};

} // namespace tvk::test
