// Test archives made by the real tools (tar, zip, 7z, genisoimage) in a temporary folder, and
// the rows the reader stored, seen as paths.
#pragma once

#include "tvk_plg_api/row_sink.h"

#include <map>
#include <string>
#include <vector>

namespace tvk::test {

// A temporary folder removed with everything in it when the object goes away.
class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    const std::string& path() const { return path_; }
    // `relative` under the folder (made with its parent folders) holding `content`.
    std::string write(const std::string& relative, const std::string& content) const;
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    // Runs a tool in the folder (or in `relative` below it), without a shell and with no input;
    // its output goes to the test's log only when it fails. Fails the test unless it exits 0.
    void run(const std::vector<std::string>& argv, const std::string& relative = {}) const;

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// Sets the modification time of a file to a fixed UTC moment.
void setTime(const std::string& path, long long secondsSinceEpoch);

// Each stored row as "path type size", the path made of the names of its parents (below the
// archive's row `rootId`) joined by "/"; sorted.
std::vector<std::string> listing(const std::vector<plg::StoredRow>& rows, int rootId);
// The path of each row by id, as above.
std::map<int, std::string> pathsById(const std::vector<plg::StoredRow>& rows, int rootId);

} // namespace tvk::test
