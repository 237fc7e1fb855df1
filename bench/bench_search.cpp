// Search speed on a catalogue of 1,000,000 entries, on a private catalogue server, against floors
// measured in the same run:
//   the program's search, from the Search button to the last hit shown, against the server's
//   own time for the same statement (a bare C client storing its result) plus the fill of the
//   same 1000 hits as the search makes it;
//   that fill of 1000 hits, pumping events after each row, under 0.3 s, shown beside the same
//   fill without pumping;
//   a stream of 40,000 hits, pumping, against the same fill without pumping (a view that lays
//   out every row again at each round would make it quadratic).
// Each measure is the best of several runs. Exits 1 when a target is missed.
#include "bench/bench_support.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/search_dialog.h"
#include "catalogue/connection.h"
#include "catalogue/schema.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace tvk;
using namespace tvk::bench;

constexpr int ENTRIES = 1000000;
constexpr int DISCS = 10;
constexpr int HIT_EVERY = 1000; // one name in a thousand holds "holiday": 1000 hits
constexpr int HITS = ENTRIES / HIT_EVERY;
constexpr int RUNS = 5;
constexpr double SEARCH_TARGET = 1.1;
constexpr double PUMPED_FILL_LIMIT_MS = 300;
constexpr int LONG_STREAM = 40000;
constexpr double LONG_STREAM_TARGET = 3.0;

// The hits as the search statement yields them, from a table of their own that the server
// reads at once: the fill alone.
const std::string HITS_COLUMNS =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'),fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from ";

// Ten discs of 100,000 entries: a directory every 50 entries, the others files below the last
// directory; every thousandth name holds "holiday", spread over the whole table.
bool fillCatalogue(MYSQL* c) {
    for (const char* statement :
         {SQL_CREATE_VERSION_TABLE, SQL_CREATE_DISC_TABLE, SQL_CREATE_ENTRY_TABLE})
        if (!run(c, statement))
            return false;
    run(c, "insert into vorka_version values ('Tavisk', 1, 3)");
    for (int disc = 1; disc <= DISCS; ++disc)
        run(c, "insert into cd_disques_compact values (" + std::to_string(disc) + ", 'disc " +
                   std::to_string(disc) + "', 'D')");
    run(c, "alter table fic_fichiers disable keys");
    static const char* const words[] = {"photo", "rapport", "musique", "backup", "notes", "readme"};
    std::vector<std::string> rows;
    const int perDisc = ENTRIES / DISCS;
    for (int i = 0; i < ENTRIES; ++i) {
        const int disc = 1 + i / perDisc;
        const int id = 1 + i % perDisc;
        const bool directory = id % 50 == 1;
        const std::string parent = id == 1 ? "NULL" : std::to_string(id - (id - 1) % 50);
        std::string name = i % HIT_EVERY == HIT_EVERY / 2 ? "holiday " : words[i % 6];
        name += "_" + std::to_string(i) + (directory ? "" : ".jpg");
        rows.push_back("(" + std::to_string(disc) + ", " + std::to_string(id) + ", '" + name +
                       "', " + std::to_string(i * 7 % 100000) + ", '" + (directory ? "R" : "F") +
                       "', '2009-03-0" + std::to_string(1 + i % 9) + " 10:00:00', " +
                       (directory ? "NULL" : parent) + ")");
        if (rows.size() == 10000 || i == ENTRIES - 1) {
            if (!insertRows(c, rows, 5000))
                return false;
            rows.clear();
        }
    }
    return run(c, "alter table fic_fichiers enable keys") &&
           run(c, "create table hits as select * from fic_fichiers where fic_nom like "
                  "'%holiday%'") &&
           run(c, "create table many_hits as select * from fic_fichiers limit " +
                      std::to_string(LONG_STREAM));
}

// The program, started as a user starts it, with its connection settings pointing at `port`.
bool startTavisk(const QTemporaryDir& config, const PrivateServer& server) {
    // English: the language comes from LC_ALL, else LC_MESSAGES.
    unsetenv("LC_ALL");
    setenv("LC_MESSAGES", "C", 1);
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QDir().mkpath(config.path() + "/vorka");
    QFile settings(config.path() + "/vorka/tavisk.conf");
    if (!settings.open(QIODevice::WriteOnly))
        return false;
    settings.write(
        QByteArray("[General]\nhote=127.0.0.1\nport=") + QByteArray::number(server.port) +
        "\nutil=root\nmdp=" + QByteArray::fromStdString(server.password) + "\nbase=bench\n");
    settings.close();
    StartupOptions options;
    options.moduleFolder = TAVISK_OUTPUT_DIR;
    return !startApplication(options) && catalogueConnection && fileList;
}

int rowsListed() {
    return fileListModel(fileList)->rowCount();
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    PrivateServer server;
    if (!server.start()) {
        std::fprintf(stderr, "could not start a private catalogue server\n");
        return 2;
    }
    MYSQL* client = mysql_init(nullptr);
    mysql_options(client, MYSQL_SET_CHARSET_NAME, "latin1");
    std::printf("filling a catalogue of %d entries...\n", ENTRIES);
    std::fflush(stdout);
    if (!mysql_real_connect(client, "127.0.0.1", "root", server.password.c_str(), nullptr,
                            server.port, nullptr, 0) ||
        !run(client, "set global general_log = 0") || !run(client, "create database bench") ||
        mysql_select_db(client, "bench") != 0 || !fillCatalogue(client)) {
        std::fprintf(stderr, "could not fill the bench catalogue\n");
        return 2;
    }
    QTemporaryDir config;
    if (!startTavisk(config, server)) {
        std::fprintf(stderr, "the program could not start on the bench catalogue\n");
        return 2;
    }
    onCommand(mainWindow, CMD_SEARCH);
    if (!isDialogAlive(searchDialog))
        return 2;
    setDlgItemText(searchDialog, IDC_SEARCH_NAME, "*holiday*");
    setDlgItemText(searchDialog, IDC_SEARCH_LIMIT, QString::number(HITS));
    const std::string statement =
        buildSearchQuery(escapeSearchRequest(catalogueConnection, readSearchRequest(searchDialog)));
    auto* searchButton = qobject_cast<QPushButton*>(getDlgItem(searchDialog, IDC_SEARCH_START));

    Timed serverOwn = clientFloor(client, statement);
    const auto fill = [](bool pumping) {
        searchRunning = pumping;
        fillFileList(fileList, nullptr, pumping);
        searchRunning = false;
        QCoreApplication::processEvents();
    };
    const auto runHitsStatement = [] { queryCatalogue((HITS_COLUMNS + "hits").c_str()); };
    const auto runManyHitsStatement = [] { queryCatalogue((HITS_COLUMNS + "many_hits").c_str()); };
    Timed pumpedFill{[&] { fill(true); }, runHitsStatement};
    Timed plainFill{[&] { fill(false); }, runHitsStatement};
    Timed pumpedStream{[&] { fill(true); }, runManyHitsStatement};
    Timed plainStream{[&] { fill(false); }, runManyHitsStatement};
    Timed search{[&] {
                     searchButton->click();
                     QCoreApplication::processEvents();
                 },
                 {}};
    for (int i = 0; i < RUNS; ++i) {
        serverOwn.runOnce();
        pumpedFill.runOnce();
        plainFill.runOnce();
        search.runOnce();
        if (rowsListed() != HITS) {
            std::fprintf(stderr, "the search listed %d hits, not %d\n", rowsListed(), HITS);
            return 2;
        }
        plainStream.runOnce();
        pumpedStream.runOnce();
        if (rowsListed() != LONG_STREAM) {
            std::fprintf(stderr, "the stream listed %d rows, not %d\n", rowsListed(), LONG_STREAM);
            return 2;
        }
    }

    std::printf("server's own time for the search statement: %.1f ms\n", serverOwn.bestMs);
    bool ok = report("search, Search to last hit shown", search.bestMs,
                     serverOwn.bestMs + pumpedFill.bestMs, SEARCH_TARGET);
    const bool pumpedFast = pumpedFill.bestMs < PUMPED_FILL_LIMIT_MS;
    std::printf("%-34s %9.1f ms   without pumping %6.1f ms   ratio %5.2f (limit %.0f ms) %s\n",
                "fill of 1000 hits, pumping", pumpedFill.bestMs, plainFill.bestMs,
                pumpedFill.bestMs / plainFill.bestMs, PUMPED_FILL_LIMIT_MS,
                pumpedFast ? "ok" : "TOO SLOW");
    ok &= pumpedFast;
    ok &= report("stream of 40,000 hits, pumping", pumpedStream.bestMs, plainStream.bestMs,
                 LONG_STREAM_TARGET);

    shutdownApplication();
    mysql_close(client);
    return ok ? 0 : 1;
}
