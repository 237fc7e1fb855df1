#include "tests/indexing/indexing_support.h"

#include "tests/support/test_server.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>

namespace tvk::test {

namespace {

std::string utcDate(long long seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (!gmtime_r(&time, &parts))
        return std::string();
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return text;
}

void addFolder(const std::string& folder, const std::string& prefix, StoredTree& tree) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string path = folder + "/" + name;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            continue;
        const bool directory = S_ISDIR(info.st_mode);
        tree[prefix + name] = {directory ? 'R' : 'F',
                               directory ? 0 : static_cast<std::uint64_t>(info.st_size),
                               utcDate(info.st_mtim.tv_sec)};
        if (directory)
            addFolder(path, prefix + name + "/", tree);
    }
    ::closedir(listing);
}

} // namespace

StoredTree storedTree(const std::string& database, int discId) {
    MYSQL* c = TestServer::get().connect(database);
    const auto rows =
        query(c, "select fic_id, fic_nom, fic_taille, fic_type, date_format(fic_date_modif, "
                 "'%Y-%m-%d %H:%i:%s'), fic_rep_id from fic_fichiers where fic_cd_id = " +
                     std::to_string(discId));
    mysql_close(c);
    struct Row {
        std::string name;
        std::string parent;
    };
    std::map<std::string, Row> byId;
    for (const auto& row : rows)
        byId[row[0]] = {row[1], row[5]};
    StoredTree tree;
    for (const auto& row : rows) {
        std::string path = row[1];
        std::string parent = row[5];
        for (int guard = 0; parent != "<NULL>" && guard < 10000; ++guard) {
            const auto found = byId.find(parent);
            if (found == byId.end()) {
                path = "?/" + path;
                break;
            }
            path = found->second.name + "/" + path;
            parent = found->second.parent;
        }
        tree[path] = {row[3].empty() ? char(0) : row[3][0],
                      row[2] == "<NULL>" ? 0 : std::strtoull(row[2].c_str(), nullptr, 10),
                      row[4] == "<NULL>" ? std::string() : row[4]};
    }
    return tree;
}

StoredTree folderTree(const std::string& root) {
    StoredTree tree;
    addFolder(root, "", tree);
    return tree;
}

std::vector<int> entryIds(const std::string& database, int discId) {
    MYSQL* c = TestServer::get().connect(database);
    std::vector<int> ids;
    for (const auto& row : query(c, "select fic_id from fic_fichiers where fic_cd_id = " +
                                        std::to_string(discId) + " order by fic_id"))
        ids.push_back(std::atoi(row[0].c_str()));
    mysql_close(c);
    return ids;
}

void makeDirectory(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        makeDirectory(path.substr(0, slash));
    ::mkdir(path.c_str(), 0755);
}

void writeFile(const std::string& path, const std::string& content, long long mtime) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos)
        makeDirectory(path.substr(0, slash));
    std::ofstream(path, std::ios::binary) << content;
    if (mtime != 0) {
        const timespec times[2] = {{static_cast<time_t>(mtime), 0},
                                   {static_cast<time_t>(mtime), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
    }
}

FuseMount::FuseMount(const QString& image, const QString& mountPoint) : mountPoint(mountPoint) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0) {
        why = "/dev/fuse is not usable here";
        return;
    }
    QDir().mkpath(mountPoint);
    mounted = QProcess::execute("fuseiso", {image, mountPoint}) == 0;
    if (!mounted)
        why = "fuseiso cannot mount here";
}

FuseMount::~FuseMount() {
    if (mounted)
        QProcess::execute("fusermount", {"-u", mountPoint});
}

void run(const QString& folder, const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(120000)) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0)
        << program.toStdString() << " " << arguments.join(' ').toStdString() << ": "
        << process.readAll().toStdString();
}

std::string describe(const StoredTree& tree) {
    std::ostringstream out;
    for (const auto& [path, entry] : tree)
        out << "  " << path << " " << (entry.type ? entry.type : '?') << " " << entry.size << " "
            << entry.date << "\n";
    return out.str();
}

} // namespace tvk::test
