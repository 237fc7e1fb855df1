#include "tests/support/test_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tvk::test {

namespace {

std::map<std::string, std::string> readEnvFile(const std::string& path) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

const TestServer* loadServer() {
    const char* envFile = std::getenv("TAVISK_TEST_SERVER_ENV");
    if (!envFile)
        return nullptr;
    static TestServer server = TestServer::fromFile(envFile);
    return server.socket.empty() ? nullptr : &server;
}

const TestServer* serverOnce() {
    static const TestServer* server = loadServer();
    return server;
}

} // namespace

TestServer TestServer::fromFile(const std::string& envFile) {
    auto values = readEnvFile(envFile);
    TestServer server;
    if (values["TAVISK_TEST_SOCKET"].empty())
        return server;
    server.socket = values["TAVISK_TEST_SOCKET"];
    server.port = static_cast<unsigned>(std::stoul(values["TAVISK_TEST_PORT"]));
    server.queryLog = values["TAVISK_TEST_QUERY_LOG"];
    server.password = values["TAVISK_TEST_PASSWORD"];
    return server;
}

bool TestServer::available() {
    return serverOnce() != nullptr;
}

const TestServer& TestServer::get() {
    const TestServer* server = serverOnce();
    if (!server) {
        std::fprintf(stderr, "no test server: run the tests through ctest\n");
        std::abort();
    }
    return *server;
}

MYSQL* TestServer::connect(const std::string& database) const {
    MYSQL* connection = mysql_init(nullptr);
    mysql_options(connection, MYSQL_SET_CHARSET_NAME, "latin1");
    if (!mysql_real_connect(connection, "127.0.0.1", "root", password.c_str(),
                            database.empty() ? nullptr : database.c_str(), port, nullptr, 0)) {
        ADD_FAILURE() << "test connection failed: " << mysql_error(connection);
        mysql_close(connection);
        return nullptr;
    }
    return connection;
}

unsigned closedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

std::string uniqueDatabaseName(const std::string& prefix) {
    static std::atomic<int> counter{0};
    return prefix + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

void exec(MYSQL* connection, const std::string& statement) {
    if (mysql_real_query(connection, statement.data(), statement.size()) != 0) {
        ADD_FAILURE() << "statement failed: " << statement << ": " << mysql_error(connection);
        return;
    }
    if (MYSQL_RES* result = mysql_store_result(connection))
        mysql_free_result(result);
}

std::vector<std::vector<std::string>> query(MYSQL* connection, const std::string& statement) {
    std::vector<std::vector<std::string>> rows;
    if (mysql_real_query(connection, statement.data(), statement.size()) != 0) {
        ADD_FAILURE() << "query failed: " << statement << ": " << mysql_error(connection);
        return rows;
    }
    MYSQL_RES* result = mysql_store_result(connection);
    if (!result)
        return rows;
    const unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        unsigned long* lengths = mysql_fetch_lengths(result);
        std::vector<std::string> values;
        for (unsigned i = 0; i < columns; ++i)
            values.push_back(row[i] ? std::string(row[i], lengths[i]) : std::string("<NULL>"));
        rows.push_back(std::move(values));
    }
    mysql_free_result(result);
    return rows;
}

std::string quotedName(const std::string& name) {
    std::string quoted = "`";
    for (const char c : name)
        quoted += c == '`' ? std::string("``") : std::string(1, c);
    return quoted + "`";
}

ScopedDatabase::ScopedDatabase(const std::string& prefix, bool create)
    : name(uniqueDatabaseName(prefix)) {
    if (!create)
        return;
    if (MYSQL* connection = TestServer::get().connect()) {
        exec(connection, "create database " + quotedName(name));
        mysql_close(connection);
    }
}

ScopedDatabase::~ScopedDatabase() {
    if (MYSQL* connection = TestServer::get().connect()) {
        exec(connection, "drop database if exists " + quotedName(name));
        mysql_close(connection);
    }
}

} // namespace tvk::test
