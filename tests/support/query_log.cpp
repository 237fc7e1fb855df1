#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace tvk::test {

namespace {

// An entry line: optional "YYMMDD HH:MM:SS", tabs, the thread id, the command, a tab and the
// argument. Lines that do not match continue the previous entry's argument.
const std::regex& entryPattern() {
    static const std::regex pattern(
        R"(^(\d{6}\s+\d{1,2}:\d{2}:\d{2})?\t+\s*(\d+) ([A-Za-z][A-Za-z ]*)\t(.*)$)");
    return pattern;
}

long long fileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return in ? static_cast<long long>(in.tellg()) : 0;
}

} // namespace

QueryLog::QueryLog() : path_(TestServer::get().queryLog), start_(fileSize(path_)) {}

std::vector<LoggedCommand> QueryLog::commands() const {
    std::ifstream in(path_, std::ios::binary);
    in.seekg(start_);
    std::vector<LoggedCommand> result;
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
        // The pattern only looks at the line's head: std::regex recurses once per character,
        // and a statement of many rows would overflow the stack.
        const std::string head = line.substr(0, 256);
        if (std::regex_match(head, match, entryPattern())) {
            result.push_back({std::stoul(match[2]), match[3], line.substr(match.position(4))});
        } else if (!result.empty()) {
            result.back().argument += '\n';
            result.back().argument += line;
        }
    }
    return result;
}

std::vector<std::string> QueryLog::statements(unsigned long threadId) const {
    std::vector<std::string> result;
    for (auto& entry : commands()) {
        if (entry.threadId == threadId && entry.command == "Query")
            result.push_back(entry.argument);
    }
    return result;
}

std::vector<std::string> QueryLog::allStatements() const {
    std::vector<std::string> result;
    for (auto& entry : commands()) {
        if (entry.command == "Query")
            result.push_back(entry.argument);
    }
    return result;
}

} // namespace tvk::test
