// What tavisk-cli reads from the catalogue: the discs, the full path of an entry, the contents of
// a folder or archive, every entry of a disc, the hits of a search.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tvk::cli {

// A disc as the listing of discs shows it.
struct DiscRow {
    int id = 0;
    std::string name;          // cd_nom, bytes
    std::uint64_t entries = 0; // rows of the disc
    std::uint64_t bytes = 0;   // sizes of its files and archives, archives' contents included
};

// One entry of the catalogue.
struct EntryRow {
    int discId = 0;
    int id = 0;
    std::optional<int> parent; // none at the disc's root
    std::string name;          // bytes
    std::int64_t size = 0;
    char type = 'F';
    std::string date; // "YYYY-MM-DD HH:MM:SS"; empty when unknown
};

// Every disc, in number order, with its counts; none when the server refused (said).
std::optional<std::vector<DiscRow>> readDiscs();

// Every disc, in number order, with its name only (no counts); none when the server refused
// (said).
std::optional<std::vector<DiscRow>> readDiscNames();

// The name of disc `discId`; none when there is no such disc (or the server refused: said).
std::optional<std::string> discName(int discId);

// The id of the folder or archive at `path` ("/a/b", '/'-separated names from the disc's root;
// "" or "/": the root, given as -1) of disc `discId`; none when the disc holds none.
std::optional<int> findContainer(MYSQL* connection, int discId, const std::string& path);

// The entries directly inside `parent` (-1: the disc's root) of disc `discId`, in the order they
// were stored. False when the server refused (said).
bool readChildren(int discId, int parent, const std::function<void(const EntryRow&)>& each);

// Full paths of the entries of one disc, from a map of its folders and archives.
class PathMap {
public:
    // Loads the folders and archives of disc `discId`. False when the server refused (said).
    bool load(MYSQL* connection, int discId);
    // The path of an entry named `name` inside `parent` (none: the root), from the root ("/a/b").
    std::string pathOf(std::optional<int> parent, const std::string& name);

private:
    std::string containerPath(int id, int depth);
    struct Container {
        std::optional<int> parent;
        std::string name;
    };
    std::map<int, Container> containers_;
    std::map<int, std::string> paths_;
};

// Every entry of disc `discId`, streamed from the server in the order they were stored. False
// when the server refused (said), or when `each` returns false (stopped).
bool streamDiscEntries(int discId, const std::function<bool(const EntryRow&)>& each);

// Paths of the entries that search hits name, looked up on a second connection while the hits
// stream on the first; each folder or archive is looked up once. A disc with many hits in many
// folders has its folders and archives read in one statement instead.
class HitPaths {
public:
    explicit HitPaths(MYSQL* connection) : connection_(connection) {}
    std::string pathOf(int discId, std::optional<int> parent, const std::string& name);

    // Lookups of single folders on one disc before all of its folders are read at once.
    static constexpr int LOOKUPS_BEFORE_WHOLE_DISC = 64;

private:
    std::string containerPath(int discId, int id, int depth);
    MYSQL* connection_;
    std::map<std::pair<int, int>, std::string> paths_;
    std::map<int, int> lookups_;
    std::map<int, PathMap> wholeDiscs_;
};

// Runs the search `statement` (the columns of the window's search) and streams its hits. False
// when the server refused (said), or when `each` returns false (stopped).
bool streamSearch(const std::string& statement, const std::function<bool(const EntryRow&)>& each);

// "dd/mm/YYYY HH:MM" (the search statement's date) as "YYYY-MM-DD HH:MM"; empty when it is
// not one.
std::string isoSearchDate(const std::string& date);

} // namespace tvk::cli
