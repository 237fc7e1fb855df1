// tavisk-cli end to end, as a shell user runs it, on a private catalogue server:
//  - `tavisk-cli add` of a generated folder of about 200,000 entries against the database floor
//    of the same run (the very rows it stored, sent by a bare C client as 1000-row INSERTs);
//  - `tavisk-cli search` of every file against the bare `mariadb` client running the same
//    statement, both writing their rows to /dev/null.
// Best of interleaved runs. Exits 1 when add falls below 0.9 of its floor, or search takes more
// than 2 times the bare client's time.
#include "bench/bench_support.h"
#include "browse/search_query.h"
#include "catalogue/schema.h"

#include <QCoreApplication>
#include <QProcess>

#include <mysql.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using tvk::bench::run;
// The indexing bench's own volume, so that both measure the same walk.
using namespace tvk::bench::volume;

constexpr int RUNS = 5;

// The rows stored, as "(...)" values with their ids for a bare client's INSERTs.
std::vector<std::string> storedRows(MYSQL* c) {
    std::vector<std::string> rows;
    if (mysql_query(c, "select fic_cd_id, fic_id, fic_nom, fic_taille, fic_type, "
                       "fic_date_modif, fic_rep_id from fic_fichiers") != 0)
        return rows;
    MYSQL_RES* result = mysql_store_result(c);
    std::vector<char> escaped(600);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
        const unsigned long* lengths = mysql_fetch_lengths(result);
        mysql_real_escape_string(c, escaped.data(), row[2], lengths[2]);
        const std::string date = row[5] ? "'" + std::string(row[5]) + "'" : "NULL";
        rows.push_back("(" + std::string(row[0]) + "," + row[1] + ",'" + escaped.data() + "'," +
                       (row[3] ? row[3] : "NULL") + ",'" + row[4] + "'," + date + "," +
                       (row[6] ? row[6] : "NULL") + ")");
    }
    mysql_free_result(result);
    return rows;
}

// Runs `program` with `arguments`, stdout to /dev/null; its time in seconds, or -1 on failure.
double timedRun(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& env) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setStandardOutputFile(QProcess::nullDevice());
    const auto start = std::chrono::steady_clock::now();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", program.toUtf8().constData(),
                     process.readAllStandardError().constData());
        return -1;
    }
    return tvk::bench::secondsSince(start);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    char pattern[] = "/tmp/tavisk-bench-cli-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    const std::string work = pattern;
    const std::string volume = work + "/volume";
    std::printf("making the volume...\n");
    std::fflush(stdout);
    if (!makeVolume(work, volume))
        return 2;
    tvk::bench::PrivateServer server;
    if (!server.start())
        return 2;
    const std::string versionRow = "INSERT INTO `vorka_version` (`application`,`version_mini`,"
                                   "`version_bd`) VALUES ('Tavisk', 1, 3)";
    MYSQL* c = tvk::bench::openBenchDatabase(server, {tvk::SQL_CREATE_VERSION_TABLE, versionRow,
                                                      tvk::SQL_CREATE_DISC_TABLE,
                                                      tvk::SQL_CREATE_ENTRY_TABLE});
    if (!c)
        return 2;
    std::system(("find '" + volume + "' > /dev/null").c_str());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TAVISK_PASSWORD", QString::fromStdString(server.password));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(work + "/config"));
    env.insert("LC_ALL", "C");
    const QString cli = QString(TAVISK_OUTPUT_DIR) + "/tavisk-cli";
    const QStringList connection{"--host", "127.0.0.1", "--port",     QString::number(server.port),
                                 "--user", "root",      "--database", "bench"};

    // add against the bulk-insert floor.
    std::vector<std::string> rows;
    double bestAdd = 1e9, bestFloor = 1e9;
    for (int i = 0; i < RUNS; ++i) {
        if (!run(c, "truncate table fic_fichiers") || !run(c, "truncate table cd_disques_compact"))
            return 2;
        const double add =
            timedRun(cli, QStringList{"add", QString::fromStdString(volume)} + connection, env);
        if (add < 0)
            return 2;
        if (rows.empty())
            rows = storedRows(c);
        if (!run(c, "truncate table fic_fichiers"))
            return 2;
        const auto start = std::chrono::steady_clock::now();
        if (!tvk::bench::insertRows(c, rows, 1000))
            return 2;
        const double floor = tvk::bench::secondsSince(start);
        std::printf("run %d: tavisk-cli add %.3f s, floor %.3f s\n", i + 1, add, floor);
        std::fflush(stdout);
        bestAdd = std::min(bestAdd, add);
        bestFloor = std::min(bestFloor, floor);
    }
    const double count = double(rows.size());
    const double addRatio = bestFloor / bestAdd;
    std::printf("%zu entries\n", rows.size());
    std::printf("floor (bare client, 1000-row INSERTs): %.0f rows/s\n", count / bestFloor);
    std::printf("tavisk-cli add (process, walk, writer): %.0f rows/s, %.2f of the floor (target "
                ">= 0.90)\n",
                count / bestAdd, addRatio);

    // search of every file against the bare client's run of the same statement.
    tvk::SearchRequest request;
    request.names = "*.dat";
    const std::string statement = tvk::buildSearchQuery(tvk::escapeSearchRequest(c, request));
    const QStringList client{"--no-defaults",
                             "-h127.0.0.1",
                             "-P" + QString::number(server.port),
                             "-uroot",
                             "-p" + QString::fromStdString(server.password),
                             "--batch",
                             "bench",
                             "-e",
                             QString::fromStdString(statement)};
    double bestSearch = 1e9, bestClient = 1e9;
    for (int i = 0; i < RUNS; ++i) {
        const double bare = timedRun("mariadb", client, env);
        const double ours = timedRun(
            cli, QStringList{"search", "--name", "*.dat", "--format", "csv"} + connection, env);
        if (bare < 0 || ours < 0)
            return 2;
        std::printf("run %d: tavisk-cli search %.3f s, mariadb %.3f s\n", i + 1, ours, bare);
        bestSearch = std::min(bestSearch, ours);
        bestClient = std::min(bestClient, bare);
    }
    const double searchRatio = bestSearch / bestClient;
    std::printf("search of every file (%d hits, full paths): %.3f s, bare client %.3f s, ratio "
                "%.2f (target <= 2.0)\n",
                TOP_FOLDERS * SUB_FOLDERS * LEAF_FOLDERS * FILES_PER_LEAF, bestSearch, bestClient,
                searchRatio);
    mysql_close(c);
    std::system(("rm -rf '" + work + "'").c_str());
    return addRatio >= 0.9 && searchRatio <= 2.0 ? 0 : 1;
}
