// Shared pieces of the indexing tests: volumes made in temporary folders, the entries a disc
// holds in the catalogue read back as paths, and what a folder holds as the walk must store it.
#pragma once

#include <mysql.h>

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <string>

namespace tvk::test {

// One stored entry: its type code, size and date ("YYYY-MM-DD HH:MM:SS", empty for NULL).
struct StoredEntry {
    char type = 0;
    std::uint64_t size = 0;
    std::string date;
    bool operator==(const StoredEntry& other) const {
        return type == other.type && size == other.size && date == other.date;
    }
};
// Entries by path from the disc's root ("dir/sub/file"; an archive's contents below it).
using StoredTree = std::map<std::string, StoredEntry>;

// The entries of disc `discId` in the catalogue `database`, read on a connection of their own;
// an entry whose parent is missing shows as "?/name".
StoredTree storedTree(const std::string& database, int discId);

// What the walk must store for the folder at `root`: every entry, links as files, directories
// with size 0, dates as modification times in UTC. Archives are not opened.
StoredTree folderTree(const std::string& root);

// The number of rows of disc `discId` and its fic_id values in order.
std::vector<int> entryIds(const std::string& database, int discId);

// Makes `path` (and its parent folders) holding `content`, modified at `mtime` (UTC seconds;
// 0 keeps the current time).
void writeFile(const std::string& path, const std::string& content = "x", long long mtime = 0);
void makeDirectory(const std::string& path);

// A disc image mounted with fuseiso at `mountPoint` while the object lives. `mounted` is false,
// and `why` says why, where FUSE is not usable or fuseiso cannot mount.
struct FuseMount {
    QString mountPoint;
    bool mounted = false;
    QString why;
    FuseMount(const QString& image, const QString& mountPoint);
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;
};

// Runs a program with `arguments` in `folder`; fails the test when it fails.
void run(const QString& folder, const QString& program, const QStringList& arguments);

// Prints a tree in test failures.
std::string describe(const StoredTree& tree);

} // namespace tvk::test
