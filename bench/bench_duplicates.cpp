// Duplicates over a catalogue of 1,000,000 fingerprints on a private catalogue server: 20 discs
// of 50,000 files in folders of 100, one file in a hundred holding the same contents on every
// disc. findDuplicates (groups, members and their paths) against the server's bare
// grouping of the same table; best of several runs. Exits 1 when findDuplicates takes a second
// or more.
#include "bench/bench_support.h"
#include "catalogue/fingerprints.h"
#include "catalogue/schema.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int DISCS = 20;
constexpr int FILES_PER_DISC = 50'000;
constexpr int FILES_PER_FOLDER = 100;
constexpr int RUNS = 3;

std::string hashOf(unsigned long long n) {
    char text[40];
    std::snprintf(text, sizeof text, "x'%016llx%016llx'", n * 0x9E3779B97F4A7C15ull, n);
    return text;
}

bool fill(MYSQL* c) {
    std::string discs = "insert into cd_disques_compact (cd_nom, cd_type) values ";
    for (int d = 1; d <= DISCS; ++d)
        discs += (d == 1 ? "('disc " : ",('disc ") + std::to_string(d) + "','D')";
    if (!tvk::bench::run(c, discs))
        return false;
    for (int d = 1; d <= DISCS; ++d) {
        std::vector<std::string> entries;
        std::vector<std::string> hashes;
        int id = 0, folder = 0;
        for (int f = 0; f < FILES_PER_DISC; ++f) {
            if (f % FILES_PER_FOLDER == 0) {
                folder = ++id;
                entries.push_back("(" + std::to_string(d) + "," + std::to_string(folder) +
                                  ",'folder " + std::to_string(f) + "',0,'R',NULL,NULL)");
            }
            ++id;
            // One file in a hundred holds the same contents on every disc.
            const unsigned long long content =
                f % 100 == 7 ? (1ull << 40) + f : (unsigned long long)d << 32 | f;
            const unsigned long long size = 1000 + (content % 100000);
            entries.push_back("(" + std::to_string(d) + "," + std::to_string(id) + ",'file " +
                              std::to_string(f) + ".dat'," + std::to_string(size) + ",'F',NULL," +
                              std::to_string(folder) + ")");
            hashes.push_back("(" + std::to_string(d) + "," + std::to_string(id) + "," +
                             std::to_string(size) + "," + hashOf(content) + ")");
        }
        if (!tvk::bench::insertRows(c, entries))
            return false;
        for (std::size_t at = 0; at < hashes.size(); at += 1000) {
            std::string statement =
                "insert into tvk_file_hashes (cd_id, fic_id, size, hash) values ";
            for (std::size_t i = at; i < std::min(hashes.size(), at + 1000); ++i)
                statement += (i == at ? "" : ",") + hashes[i];
            if (!tvk::bench::run(c, statement))
                return false;
        }
    }
    return tvk::bench::run(c, "analyze table fic_fichiers, tvk_file_hashes");
}

} // namespace

int main() {
    tvk::bench::PrivateServer server;
    if (!server.start()) {
        std::fprintf(stderr, "could not start a private catalogue server\n");
        return 2;
    }
    MYSQL* c = tvk::bench::openBenchDatabase(server, {tvk::SQL_CREATE_DISC_TABLE,
                                                      tvk::SQL_CREATE_ENTRY_TABLE,
                                                      tvk::SQL_CREATE_FINGERPRINT_TABLE});
    if (!c || !fill(c))
        return 2;
    std::vector<tvk::DuplicateGroup> groups;
    tvk::bench::Timed floor = tvk::bench::clientFloor(
        c,
        "select hash, size, count(*) from tvk_file_hashes group by hash, size having count(*) > 1");
    tvk::bench::Timed ours{[&] {
                               if (!tvk::findDuplicates(c, 0, groups))
                                   std::fprintf(stderr, "failed: %s\n", mysql_error(c));
                           },
                           {}};
    tvk::bench::measure(floor, ours, RUNS);
    std::size_t members = 0;
    for (const tvk::DuplicateGroup& group : groups)
        members += group.members.size();
    std::printf("%d fingerprints: %zu groups, %zu members\n", DISCS * FILES_PER_DISC, groups.size(),
                members);
    std::printf("bare grouping %.0f ms, findDuplicates %.0f ms (target < 1000 ms)\n", floor.bestMs,
                ours.bestMs);
    mysql_close(c);
    return ours.bestMs < 1000 ? 0 : 1;
}
