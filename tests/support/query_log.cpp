#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <fstream>
#include <regex>
#include <sstream>

namespace tvk::test {

namespace {

// The head of an entry line: optional "YYMMDD HH:MM:SS", tabs, the thread id, the command and a
// tab; the argument is the rest of the line. Lines without such a head continue the previous
// entry's argument. (The argument is not matched by the pattern: the library's matcher recurses
// once per character, which long statements would overflow.)
const std::regex& entryHead() {
    static const std::regex pattern(
        R"(^(\d{6}\s+\d{1,2}:\d{2}:\d{2})?\t+\s*(\d+) ([A-Za-z][A-Za-z ]*)\t)");
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
        if (std::regex_search(line, match, entryHead(), std::regex_constants::match_continuous)) {
            result.push_back({std::stoul(match[2]), match[3], line.substr(match.length(0))});
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
