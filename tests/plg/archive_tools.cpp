#include "tests/plg/archive_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tvk::test {

WorkDir::WorkDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tvk-plg-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        ADD_FAILURE() << "no temporary folder";
    path_ = pattern;
}

WorkDir::~WorkDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string WorkDir::write(const std::string& relative, const std::string& content) const {
    const std::string full = file(relative);
    std::filesystem::create_directories(std::filesystem::path(full).parent_path());
    writeFile(full, content);
    return full;
}

void WorkDir::run(const std::vector<std::string>& argv, const std::string& relative) const {
    const std::string log = path_ + "/.tool-output";
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir((relative.empty() ? path_ : file(relative)).c_str()) != 0)
            ::_exit(127);
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(out, 2);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::string command;
    for (const std::string& arg : argv)
        command += arg + " ";
    ASSERT_TRUE(ok) << command << "failed:\n" << readFile(log);
    ::unlink(log.c_str());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

void setTime(const std::string& path, long long seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0},
                               {static_cast<time_t>(seconds), 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::map<int, std::string> pathsById(const std::vector<plg::StoredRow>& rows, int rootId) {
    std::map<int, std::string> paths;
    for (const plg::StoredRow& row : rows) {
        // Parents are always stored before their children.
        const auto parent = paths.find(row.parentId);
        EXPECT_TRUE(row.parentId == rootId || parent != paths.end())
            << "parent of " << row.name << " not stored before it";
        paths[row.id] = row.parentId == rootId || parent == paths.end()
                            ? row.name
                            : parent->second + "/" + row.name;
    }
    return paths;
}

std::vector<std::string> listing(const std::vector<plg::StoredRow>& rows, int rootId) {
    const auto paths = pathsById(rows, rootId);
    std::vector<std::string> lines;
    for (const plg::StoredRow& row : rows)
        lines.push_back(paths.at(row.id) + " " + row.type + " " + std::to_string(row.size));
    std::sort(lines.begin(), lines.end());
    return lines;
}

} // namespace tvk::test
