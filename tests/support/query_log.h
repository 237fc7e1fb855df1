// Reader of the test server's general query log: the statements exactly as the server
// received them, byte for byte.
#pragma once

#include <mysql.h>

#include <string>
#include <vector>

namespace tvk::test {

struct LoggedCommand {
    unsigned long threadId = 0;
    std::string command;  // "Query", "Connect", "Init DB", "Quit", ...
    std::string argument; // the statement for "Query", with its line breaks
};

// Remembers where the log ends when it is made; reads what the server logged after that.
class QueryLog {
public:
    QueryLog();

    // Every command logged since construction (all connections).
    std::vector<LoggedCommand> commands() const;
    // The statements ("Query" commands) logged since construction for one connection.
    std::vector<std::string> statements(unsigned long threadId) const;
    std::vector<std::string> statements(MYSQL* connection) const {
        return statements(mysql_thread_id(connection));
    }
    // The statements of every connection since construction.
    std::vector<std::string> allStatements() const;

private:
    std::string path_;
    long long start_ = 0;
};

} // namespace tvk::test
