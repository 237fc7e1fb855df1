// What the benchmarks share: a private catalogue server for the run, and plain client calls.
#pragma once

#include <iterator>
#include <mysql.h>
#include <sys/stat.h>

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tvk::bench {

// A throwaway server started by scripts/catalogue-server, stopped when the object goes.
struct PrivateServer {
    std::string dir;
    std::string socket;
    unsigned port = 0;
    std::string password; // root's

    bool start() {
        char pattern[] = "/tmp/tavisk-bench-XXXXXX";
        if (!mkdtemp(pattern))
            return false;
        dir = std::string(pattern) + "/server";
        const std::string command =
            std::string(TAVISK_SOURCE_DIR) + "/scripts/catalogue-server test-start '" + dir + "'";
        if (std::system(command.c_str()) != 0)
            return false;
        std::ifstream env(dir + "/server.env");
        std::string line;
        while (std::getline(env, line)) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            if (line.substr(0, eq) == "TAVISK_TEST_SOCKET")
                socket = line.substr(eq + 1);
            if (line.substr(0, eq) == "TAVISK_TEST_PORT")
                port = static_cast<unsigned>(std::stoul(line.substr(eq + 1)));
            if (line.substr(0, eq) == "TAVISK_TEST_PASSWORD")
                password = line.substr(eq + 1);
        }
        return port != 0;
    }
    ~PrivateServer() {
        if (!dir.empty()) {
            const std::string command = std::string(TAVISK_SOURCE_DIR) +
                                        "/scripts/catalogue-server test-stop '" + dir + "'";
            std::system(command.c_str());
        }
    }
};

// Runs a statement and drops any result; false (with the server's reason on stderr) on failure.
inline bool run(MYSQL* c, const std::string& statement) {
    if (mysql_real_query(c, statement.data(), statement.size()) != 0) {
        std::fprintf(stderr, "statement failed: %s\n", mysql_error(c));
        return false;
    }
    if (MYSQL_RES* result = mysql_store_result(c))
        mysql_free_result(result);
    return true;
}

// A latin1 connection to `server` with the general log off and database "bench" made and
// selected, `statements` run in it (the tables a bench needs). Null, with the server's reason on
// stderr, on failure; the caller closes it.
inline MYSQL* openBenchDatabase(const PrivateServer& server,
                                const std::vector<std::string>& statements) {
    MYSQL* c = mysql_init(nullptr);
    mysql_options(c, MYSQL_SET_CHARSET_NAME, "latin1");
    bool ready = mysql_real_connect(c, "127.0.0.1", "root", server.password.c_str(), nullptr,
                                    server.port, nullptr, 0) &&
                 run(c, "set global general_log = 0") && run(c, "create database bench") &&
                 mysql_select_db(c, "bench") == 0;
    for (std::size_t i = 0; ready && i < statements.size(); ++i)
        ready = run(c, statements[i]);
    if (!ready) {
        std::fprintf(stderr, "setup failed: %s\n", mysql_error(c));
        mysql_close(c);
        return nullptr;
    }
    return c;
}

// Seconds since `start`.
inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Inserts entry rows "(values)" into fic_fichiers, `batch` rows per statement.
inline bool insertRows(MYSQL* c, const std::vector<std::string>& rows, std::size_t batch = 1000) {
    const std::string head = "insert into fic_fichiers (fic_cd_id, fic_id, fic_nom, fic_taille, "
                             "fic_type, fic_date_modif, fic_rep_id) values ";
    for (std::size_t at = 0; at < rows.size(); at += batch) {
        std::string statement = head;
        for (std::size_t i = at; i < std::min(rows.size(), at + batch); ++i) {
            if (i != at)
                statement += ',';
            statement += rows[i];
        }
        if (!run(c, statement))
            return false;
    }
    return true;
}

// One side of a comparison: the work timed, and what readies each run (not timed).
struct Timed {
    std::function<void()> work;
    std::function<void()> prepare;
    double bestMs = 1e100;
    void runOnce() {
        if (prepare)
            prepare();
        QElapsedTimer clock;
        clock.start();
        work();
        bestMs = std::min(bestMs, clock.nsecsElapsed() / 1e6);
    }
};

// Runs the floor and the program's work in turn, `runs` times each, so that both meet the same
// load of the machine; keeps the best time of each.
inline void measure(Timed& floor, Timed& ours, int runs) {
    for (int i = 0; i < runs; ++i) {
        floor.runOnce();
        ours.runOnce();
    }
}

// The bare client's work: the statement sent, its result stored and every field touched.
inline Timed clientFloor(MYSQL* c, const std::string& statement) {
    return {[c, statement] {
                mysql_real_query(c, statement.data(), statement.size());
                MYSQL_RES* result = mysql_store_result(c);
                std::size_t bytes = 0;
                const unsigned fields = mysql_num_fields(result);
                while (MYSQL_ROW row = mysql_fetch_row(result)) {
                    const unsigned long* lengths = mysql_fetch_lengths(result);
                    for (unsigned f = 0; f < fields; ++f)
                        bytes += row[f] ? lengths[f] : 0;
                }
                mysql_free_result(result);
                if (bytes == 0)
                    std::fprintf(stderr, "empty result\n");
            },
            {}};
}

inline bool report(const char* what, double ours, double floor, double target) {
    const double ratio = ours / floor;
    const bool ok = ratio <= target;
    std::printf("%-34s %9.1f ms   floor %9.1f ms   ratio %5.2f (target <= %.1f) %s\n", what, ours,
                floor, ratio, target, ok ? "ok" : "TOO SLOW");
    return ok;
}

// The generated volume that the indexing benches walk (about 200,000 entries).
namespace volume {

inline constexpr int TOP_FOLDERS = 4;
inline constexpr int SUB_FOLDERS = 25;
inline constexpr int LEAF_FOLDERS = 20;
inline constexpr int FILES_PER_LEAF = 90;
inline constexpr int ARCHIVE_EVERY = 10; // leaves
inline constexpr int ARCHIVE_ENTRIES = 80;

// The volume: TOP_FOLDERS folders of SUB_FOLDERS folders of LEAF_FOLDERS leaves, each leaf with
// FILES_PER_LEAF small files and every ARCHIVE_EVERY-th leaf a zip of ARCHIVE_ENTRIES entries.
inline bool makeVolume(const std::string& work, const std::string& root) {
    const std::string archiveSource = work + "/archive-source";
    ::mkdir(archiveSource.c_str(), 0755);
    for (int i = 0; i < ARCHIVE_ENTRIES; ++i)
        std::ofstream(archiveSource + "/member " + std::to_string(i) + ".txt") << i;
    const std::string zip = work + "/pack.zip";
    if (std::system(("cd '" + archiveSource + "' && zip -q -r '" + zip + "' .").c_str()) != 0)
        return false;
    std::string pack;
    {
        std::ifstream in(zip, std::ios::binary);
        pack.assign(std::istreambuf_iterator<char>(in), {});
    }
    ::mkdir(root.c_str(), 0755);
    int leaves = 0;
    for (int t = 0; t < TOP_FOLDERS; ++t) {
        const std::string top = root + "/top " + std::to_string(t);
        ::mkdir(top.c_str(), 0755);
        for (int s = 0; s < SUB_FOLDERS; ++s) {
            const std::string sub = top + "/sub " + std::to_string(s);
            ::mkdir(sub.c_str(), 0755);
            for (int l = 0; l < LEAF_FOLDERS; ++l) {
                const std::string leaf = sub + "/leaf " + std::to_string(l);
                ::mkdir(leaf.c_str(), 0755);
                for (int f = 0; f < FILES_PER_LEAF; ++f)
                    std::ofstream(leaf + "/file_" + std::to_string(f) + ".dat") << f;
                if (++leaves % ARCHIVE_EVERY == 0)
                    std::ofstream(leaf + "/pack.zip", std::ios::binary) << pack;
            }
        }
    }
    return true;
}

} // namespace volume

} // namespace tvk::bench
