// Indexing a volume of about 200,000 entries (directories, files, and zip archives whose contents
// are stored too) on a private catalogue server, against the database floor measured in the same
// run: the very rows the walk stored, sent by a bare C client as 1000-row INSERTs. Also reported:
// the same rows sent one INSERT per entry (the way a walk without a bulk writer would send them),
// and the share of the walk that the counting passes take. Best of interleaved runs. Exits 1
// when the program's rate falls below 0.8 of the floor's or the counting share passes 5%.
#include "bench/bench_program.h"
#include "indexing/scanner.h"
#include "platform/volumes.h"

#include <QApplication>

#include <mysql.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using tvk::bench::run;
using namespace tvk::bench::volume;

constexpr int RUNS = 3;

struct Row {
    std::string values; // "(...)" ready for an INSERT with explicit ids
    std::string valuesWithoutId;
};

// The rows the walk stored, as a bare client would send them.
std::vector<Row> storedRows(MYSQL* c) {
    std::vector<Row> rows;
    if (mysql_query(c, "select fic_cd_id, fic_id, fic_nom, fic_taille, fic_type, "
                       "fic_date_modif, fic_rep_id from fic_fichiers") != 0)
        return rows;
    MYSQL_RES* result = mysql_store_result(c);
    std::vector<char> escaped(600);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        mysql_real_escape_string(c, escaped.data(), row[2], lengths[2]);
        const std::string date = row[5] ? "'" + std::string(row[5]) + "'" : "NULL";
        const std::string rest = ",'" + std::string(escaped.data()) + "'," +
                                 (row[3] ? row[3] : "NULL") + ",'" + row[4] + "'," + date + "," +
                                 (row[6] ? row[6] : "NULL") + ")";
        rows.push_back(
            {"(" + std::string(row[0]) + "," + row[1] + rest, "(" + std::string(row[0]) + rest});
    }
    mysql_free_result(result);
    return rows;
}

// The floor: the rows sent as 1000-row INSERTs.
double bulkFloor(MYSQL* c, const std::vector<Row>& rows) {
    std::vector<std::string> values;
    values.reserve(rows.size());
    for (const Row& row : rows)
        values.push_back(row.values);
    const auto start = std::chrono::steady_clock::now();
    if (!tvk::bench::insertRows(c, values, 1000))
        return -1;
    return tvk::bench::secondsSince(start);
}

// One INSERT per entry, the server numbering the entries.
double perRow(MYSQL* c, const std::vector<Row>& rows) {
    const auto start = std::chrono::steady_clock::now();
    for (const Row& row : rows)
        if (!run(c, "insert into fic_fichiers (fic_cd_id, fic_nom, fic_taille, fic_type, "
                    "fic_date_modif, fic_rep_id) values " +
                        row.valuesWithoutId))
            return -1;
    return tvk::bench::secondsSince(start);
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char pattern[] = "/tmp/tavisk-bench-index-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    const std::string work = pattern;
    const std::string volume = work + "/volume";
    std::printf("making the volume...\n");
    std::fflush(stdout);
    if (!makeVolume(work, volume)) {
        std::fprintf(stderr, "could not make the volume\n");
        return 2;
    }
    tvk::bench::ProgramCatalogue catalogue;
    if (!catalogue.open())
        return 2;
    MYSQL* c = catalogue.connection;
    // The file system's cache holds the volume for every run alike.
    std::system(("find '" + volume + "' > /dev/null").c_str());

    std::vector<Row> rows;
    double bestProgram = 1e9, bestFloor = 1e9, bestCounting = 1e9;
    for (int runIndex = 0; runIndex < RUNS; ++runIndex) {
        if (!catalogue.empty())
            return 2;
        auto start = std::chrono::steady_clock::now();
        const int disc = tvk::indexVolume(volume + "/", "BENCH", -1, nullptr);
        const double program = tvk::bench::secondsSince(start);
        if (disc <= 0) {
            std::fprintf(stderr, "indexing failed\n");
            return 2;
        }
        if (rows.empty())
            rows = storedRows(c);
        if (!catalogue.empty())
            return 2;
        const double floor = bulkFloor(c, rows);
        if (floor < 0)
            return 2;
        // The counting passes alone, as the scanner runs them before its walk.
        start = std::chrono::steady_clock::now();
        int total = 0;
        const int level = tvk::chooseProgressLevel(tvk::Directory::open(volume + "/"), total);
        const double counting = tvk::bench::secondsSince(start);
        std::printf("run %d: program %.3f s, floor %.3f s, counting %.4f s (level %d, %d "
                    "entries)\n",
                    runIndex + 1, program, floor, counting, level, total);
        std::fflush(stdout);
        bestProgram = std::min(bestProgram, program);
        bestFloor = std::min(bestFloor, floor);
        bestCounting = std::min(bestCounting, counting);
    }
    if (!catalogue.empty())
        return 2;
    const double oneByOne = perRow(c, rows);
    const double count = double(rows.size());
    const double ratio = bestFloor / bestProgram;
    const double share = bestCounting / bestProgram;
    std::printf("%zu entries stored\n", rows.size());
    std::printf("floor (bare client, 1000-row INSERTs): %.0f rows/s\n", count / bestFloor);
    std::printf("program (walk, archives, writer):      %.0f rows/s, %.2f of the floor "
                "(target >= 0.80)\n",
                count / bestProgram, ratio);
    std::printf("one INSERT per entry:                  %.0f rows/s, %.2f of the floor\n",
                count / oneByOne, bestFloor / oneByOne);
    std::printf("counting passes: %.2f%% of the program's time (target <= 5%%)\n", share * 100);
    std::system(("rm -rf '" + volume + "' '" + work + "/archive-source'").c_str());
    return ratio >= 0.8 && share <= 0.05 ? 0 : 1;
}
