// The archive library's writer against a bare C client, on a private catalogue server: 200,000
// entries stored through composeReqInsertion (with the closing call) vs the same rows sent by
// hand as 1000-row INSERTs with explicit ids. Best of several interleaved runs each; exits 1
// when the library's rate falls below 0.8 of the bare client's.
#include "bench/bench_support.h"
#include "indexing/plg_api.h"

#include <mysql.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using tvk::bench::PrivateServer;
using tvk::bench::run;

constexpr int ENTRIES = 200000;
constexpr int RUNS = 5;
constexpr int DISC = 1;

struct Entry {
    std::string name;
    char type;
    int parent;
};

// A volume's worth of entries: directories of 50 files, the archives among them every 7th.
std::vector<Entry> makeEntries() {
    std::vector<Entry> entries;
    int directory = -1;
    for (int i = 0; i < ENTRIES; ++i) {
        if (i % 51 == 0) {
            entries.push_back({"directory " + std::to_string(i), 'R', -1});
            directory = i + 1;
            continue;
        }
        const char type = i % 7 == 0 ? 'Z' : 'F';
        entries.push_back(
            {"file_" + std::to_string(i) + (type == 'Z' ? ".zip" : ".txt"), type, directory});
    }
    return entries;
}

// The floor: what a plain client does to send the same rows.
double bareClient(MYSQL* c, const std::vector<Entry>& entries) {
    const auto start = std::chrono::steady_clock::now();
    std::string statement;
    char escaped[600];
    char row[800];
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i % 1000 == 0) {
            if (!statement.empty() && !run(c, statement))
                return -1;
            statement = "insert into fic_fichiers (fic_cd_id, fic_id, fic_nom, fic_taille, "
                        "fic_type, fic_date_modif, fic_rep_id) values ";
        } else {
            statement += ',';
        }
        const Entry& e = entries[i];
        mysql_real_escape_string(c, escaped, e.name.c_str(), e.name.size());
        char parent[16];
        std::snprintf(parent, sizeof parent, "%d", e.parent);
        std::snprintf(row, sizeof row, "(%d,%zu,'%s',%llu,'%c','2020-05-06 07:08:09',%s)", DISC,
                      i + 1, escaped, 1000ull + i, e.type, e.parent == -1 ? "NULL" : parent);
        statement += row;
    }
    if (!run(c, statement))
        return -1;
    return tvk::bench::secondsSince(start);
}

double library(const std::vector<Entry>& entries) {
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry& e = entries[i];
        if (composeReqInsertion(e.name.c_str(), e.type, 1000ull + i, 2020, 5, 6, 7, 8, 9, DISC,
                                e.parent) <= 0)
            return -1;
    }
    if (composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0) != 1)
        return -1;
    return tvk::bench::secondsSince(start);
}

} // namespace

int main() {
    PrivateServer server;
    if (!server.start()) {
        std::fprintf(stderr, "could not start a private catalogue server\n");
        return 2;
    }
    MYSQL* c = tvk::bench::openBenchDatabase(
        server,
        {"CREATE TABLE  `fic_fichiers` (  `fic_cd_id` int(11) NOT NULL default '0',  `fic_id` "
         "int(11) NOT NULL auto_increment,  `fic_nom` varchar(255) default NULL,  `fic_taille` "
         "bigint(11) default NULL,  `fic_type` char(1) default NULL,  `fic_date_modif` datetime "
         "default NULL,  `fic_rep_id` int(11) default NULL,  PRIMARY KEY  "
         "(`fic_cd_id`,`fic_id`),  KEY `FIC_REP_FK_I` (`fic_cd_id`,`fic_rep_id`),  KEY "
         "`FIC_NOM_NU1` (`fic_nom`),  FULLTEXT KEY `FIC_NOM_FTS` (`fic_nom`)) ENGINE=MyISAM "
         "DEFAULT CHARSET=latin1"});
    if (!c)
        return 2;
    setMsc(c);
    const std::vector<Entry> entries = makeEntries();
    double bestBare = 1e9, bestLibrary = 1e9;
    for (int runIndex = 0; runIndex < RUNS; ++runIndex) {
        if (!run(c, "truncate table fic_fichiers"))
            return 2;
        const double bare = bareClient(c, entries);
        if (!run(c, "truncate table fic_fichiers"))
            return 2;
        const double lib = library(entries);
        if (bare < 0 || lib < 0) {
            std::fprintf(stderr, "a run failed: %s\n", mysql_error(c));
            return 2;
        }
        bestBare = std::min(bestBare, bare);
        bestLibrary = std::min(bestLibrary, lib);
        std::printf("run %d: bare client %.3f s, library %.3f s\n", runIndex + 1, bare, lib);
    }
    const double ratio = bestBare / bestLibrary;
    std::printf("%d entries: bare client %.0f rows/s, library %.0f rows/s, ratio %.2f "
                "(target >= 0.80)\n",
                ENTRIES, ENTRIES / bestBare, ENTRIES / bestLibrary, ratio);
    setMsc(nullptr);
    mysql_close(c);
    return ratio >= 0.8 ? 0 : 1;
}
