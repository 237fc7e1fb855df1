// Browsing speed against floors measured in the same run, on a private catalogue server:
//   expanding a directory of 20,000 subdirectories vs the same statement by a bare C client;
//   listing a directory of 100,000 entries vs the same statement by a bare C client;
//   sorting those 100,000 rows by each column vs a plain std::sort of the same records by the
//   same precomputed keys.
// Each measure is the best of several runs. Exits 1 when a ratio exceeds its target.
#include "bench/bench_support.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "catalogue/schema.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace tvk;
using namespace tvk::bench;

constexpr int SUBDIRECTORIES = 20000;
constexpr int LISTED_ENTRIES = 100000;
constexpr int RUNS = 5;

constexpr int DISC = 1;
constexpr int TREE_DIRECTORY = 1; // fic_id of the directory with 20,000 subdirectories
constexpr int LIST_DIRECTORY = 2; // fic_id of the directory with 100,000 entries

std::string randomName(std::mt19937& random, int index) {
    static const char* const words[] = {
        "Photo", "rapport", "Caf\xC3\xA9",      "\xC3\xA9t\xC3\xA9",        "Musique", "backup",
        "Zeta",  "alpha",   "\xCE\x91\xCE\xB8", "\xE6\x97\xA5\xE6\x9C\xAC", "notes",   "Readme"};
    std::string name = words[random() % std::size(words)];
    name += ' ';
    name += words[random() % std::size(words)];
    name += '_' + std::to_string(index) + (random() % 2 ? ".txt" : ".DAT");
    return name;
}

bool fillCatalogue(MYSQL* c) {
    for (const char* statement :
         {SQL_CREATE_VERSION_TABLE, SQL_CREATE_DISC_TABLE, SQL_CREATE_ENTRY_TABLE})
        if (!run(c, statement))
            return false;
    run(c, "insert into vorka_version values ('Tavisk', 1, 3)");
    run(c, "insert into cd_disques_compact values (1, 'bench', 'D')");
    std::vector<std::string> rows;
    rows.push_back("(1, 1, 'tree', NULL, 'R', '2020-01-01 10:00:00', NULL)");
    rows.push_back("(1, 2, 'list', NULL, 'R', '2020-01-01 10:00:00', NULL)");
    int id = 3;
    std::mt19937 random(42);
    // 20,000 subdirectories; every other one holds a directory of its own.
    std::vector<int> withChild;
    for (int i = 0; i < SUBDIRECTORIES; ++i) {
        rows.push_back("(1, " + std::to_string(id) + ", 'sub" + std::to_string(i) +
                       "', NULL, 'R', '2021-02-03 04:05:06', 1)");
        if (i % 2 == 0)
            withChild.push_back(id);
        ++id;
    }
    for (int parent : withChild) {
        rows.push_back("(1, " + std::to_string(id++) + ", 'inner', NULL, 'R', NULL, " +
                       std::to_string(parent) + ")");
    }
    // 100,000 entries of every type, sizes up to 8 GiB, some without size or date.
    static const char types[] = {'F', 'F', 'F', 'R', 'Z'};
    for (int i = 0; i < LISTED_ENTRIES; ++i) {
        const char type = types[random() % 5];
        const std::string size =
            random() % 50 == 0 ? "NULL" : std::to_string(random() % (8ull << 30));
        char date[40];
        if (random() % 40 == 0)
            std::snprintf(date, sizeof date, "NULL");
        else
            std::snprintf(date, sizeof date, "'%04d-%02d-%02d %02d:%02d:00'",
                          1995 + int(random() % 30), 1 + int(random() % 12), 1 + int(random() % 28),
                          int(random() % 24), int(random() % 60));
        rows.push_back("(1, " + std::to_string(id++) + ", '" + randomName(random, i) + "', " +
                       size + ", '" + type + "', " + date + ", 2)");
    }
    return insertRows(c, rows);
}

std::string format(const char* pattern, unsigned a, unsigned b = 0) {
    char statement[512];
    std::snprintf(statement, sizeof statement, pattern, a, b);
    return statement;
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
    if (!mysql_real_connect(client, "127.0.0.1", "root", server.password.c_str(), nullptr,
                            server.port, nullptr, 0) ||
        !run(client, "create database bench") || mysql_select_db(client, "bench") != 0 ||
        !fillCatalogue(client)) {
        std::fprintf(stderr, "could not fill the bench catalogue\n");
        return 2;
    }
    if (connectCatalogue("127.0.0.1", "root", server.password.c_str(), server.port, "bench") !=
        CONNECT_OK) {
        std::fprintf(stderr, "the program could not connect\n");
        return 2;
    }
    bool ok = true;

    // Expanding the directory with 20,000 subdirectories: the item is made afresh before
    // each run, then expanded and shown.
    QTreeWidget tree;
    tree.resize(400, 600);
    tree.show();
    connectCatalogueTree(&tree);
    CatalogueTreeItem* directory = nullptr;
    Timed treeFloor = clientFloor(client, format(SQL_SUB_CHILDREN, DISC, TREE_DIRECTORY));
    Timed treeOurs{[&] {
                       directory->setExpanded(true);
                       QCoreApplication::processEvents();
                   },
                   [&] {
                       tree.clear();
                       directory = new CatalogueTreeItem({DISC, TREE_DIRECTORY, false});
                       directory->setText(0, "tree");
                       directory->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
                       tree.addTopLevelItem(directory);
                       QCoreApplication::processEvents();
                   }};
    measure(treeFloor, treeOurs, RUNS);
    if (directory->childCount() != SUBDIRECTORIES) {
        std::fprintf(stderr, "expansion gave %d items\n", directory->childCount());
        return 2;
    }
    ok &= report("expand 20,000 subdirectories", treeOurs.bestMs, treeFloor.bestMs, 1.5);

    // Listing the directory of 100,000 entries into an empty list, then shown.
    QWidget window;
    window.resize(800, 600);
    QTreeView* list = createFileList(&window, ID_LIST);
    connectFileList(list);
    list->resize(800, 600);
    window.show();
    const TreeNodeData listed{DISC, LIST_DIRECTORY, false};
    Timed listFloor = clientFloor(client, format(SQL_LIST_CONTAINER, DISC, LIST_DIRECTORY));
    Timed listOurs{[&] {
                       showDirectoryContents(list, &listed, nullptr);
                       QCoreApplication::processEvents();
                   },
                   [&] {
                       clearFileList(list);
                       QCoreApplication::processEvents();
                   }};
    measure(listFloor, listOurs, RUNS);
    FileListModel* model = fileListModel(list);
    if (model->rowCount() != LISTED_ENTRIES) {
        std::fprintf(stderr, "listing gave %d rows\n", model->rowCount());
        return 2;
    }
    ok &= report("list 100,000 entries", listOurs.bestMs, listFloor.bestMs, 2.0);

    // Sorting the 100,000 rows by each column, ascending, from the listed order. The floor
    // sorts copies of the same records, their name keys computed beforehand; the program
    // computes a row's name key at its first sort by name, so that cost is in its time.
    static const char* const names[] = {"sort by name", "sort by size", "sort by type",
                                        "sort by date"};
    std::vector<FileRow> records;
    for (int row = 0; row < model->rowCount(); ++row) {
        records.push_back(model->fileRow(row));
        records.back().nameKey = nameSortKey(records.back().name.c_str());
    }
    for (int column = 0; column < FILE_LIST_COLUMNS; ++column) {
        std::vector<FileRow> copy;
        const int parameter = column + 1;
        Timed sortFloor{[&] {
                            std::sort(copy.begin(), copy.end(),
                                      [parameter](const FileRow& a, const FileRow& b) {
                                          return compareFileRows(a, b, parameter) < 0;
                                      });
                        },
                        [&] { copy = records; }};
        Timed sortOurs{[&] {
                           onFileListColumnClick(list, column);
                           QCoreApplication::processEvents();
                       },
                       [&] {
                           showDirectoryContents(list, &listed, nullptr);
                           QCoreApplication::processEvents();
                       }};
        measure(sortFloor, sortOurs, RUNS);
        ok &= report(names[column], sortOurs.bestMs, sortFloor.bestMs, 2.0);
    }

    closeCatalogueConnection();
    mysql_close(client);
    return ok ? 0 : 1;
}
