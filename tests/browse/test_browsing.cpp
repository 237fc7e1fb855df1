// Browsing with the real program against the test server: start-up and the first refill, the
// tree's lazy expansion and selection, the file list's texts and sort, the tree's context
// menu, search mode, and quitting.
#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tvk::test {
namespace {

const std::string ROOT_CHILDREN_OF_1 =
    "select p.fic_cd_id, p.fic_id, p.fic_nom, min(f.fic_id), p.fic_type from fic_fichiers p left "
    "join fic_fichiers f on p.fic_cd_id = f.fic_cd_id and p.fic_id = f.fic_rep_id and  "
    "(f.fic_type = 'R' or f.fic_type = 'Z') where p.fic_cd_id = 1 and  p.fic_rep_id is null and  "
    "(p.fic_type = 'R' or p.fic_type = 'Z') group by p.fic_cd_id, p.fic_id, p.fic_nom";
const std::string SUB_CHILDREN_OF_1_1 =
    "select p.fic_cd_id, p.fic_id, p.fic_nom, min(f.fic_id), p.fic_type from fic_fichiers p left "
    "join fic_fichiers f on p.fic_cd_id = f.fic_cd_id and p.fic_id = f.fic_rep_id and  "
    "(f.fic_type = 'R' or f.fic_type = 'Z') where p.fic_cd_id = 1 and  p.fic_rep_id = 1 and  "
    "(p.fic_type = 'R' or p.fic_type = 'Z') group by p.fic_cd_id, p.fic_id, p.fic_nom";
const std::string LIST_ROOT_OF_1 =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'), fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where fic_cd_id = 1 "
    "and  fic_rep_id is null";
const std::string LIST_OF_1_1 =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'), fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where fic_cd_id = 1 "
    "and  fic_rep_id = 1";
const std::string DISC_LIST = "select cd_id, cd_nom from cd_disques_compact order by cd_id";

// The catalogue the tests browse.
//   disc 1 "Alpha": Docs/ (with Photos/ and files), Backup.zip (with inner/), only files/, a
//                   file at the root
//   disc 2 without a name; disc 3 with Greek and Japanese containers; disc 5 with a file only
void fillCatalogue(const std::string& database) {
    makeCatalogueWithVersion(database, 1, 3);
    MYSQL* c = TestServer::get().connect(database);
    exec(c, "insert into cd_disques_compact values (5, 'Empty', 'D'), (1, 'Alpha', 'D'), "
            "(2, NULL, 'D'), (3, 'caf\xC3\xA9', 'D')");
    exec(c, "insert into fic_fichiers values "
            "(1, 1, 'Docs', NULL, 'R', '2020-05-06 07:08:09', NULL),"
            "(1, 2, 'Backup.zip', 4096, 'Z', '2019-01-01 00:00:00', NULL),"
            "(1, 3, 'readme.txt', 1234, 'F', '2021-03-04 05:06:00', NULL),"
            "(1, 4, 'Photos', NULL, 'R', NULL, 1),"
            "(1, 5, 'notes.txt', NULL, 'F', NULL, 1),"
            "(1, 6, 'big.iso', 5368709120, 'F', '2020-01-02 03:04:05', 1),"
            "(1, 7, 'inner', NULL, 'R', NULL, 2),"
            "(1, 8, 'only files', NULL, 'R', NULL, NULL),"
            "(1, 9, 'a.txt', 1, 'F', NULL, 8),"
            "(1, 10, 'weird', 10, 'X', '2022-02-02 02:02:00', 1),"
            "(1, 11, 'b.TXT', 3000000000, 'F', '1999-12-31 23:59:00', 1),"
            "(1, 12, '\xC3\x89"
            "clair', 0, 'F', '2001-01-01 00:00:00', 1),"
            "(3, 1, '\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC', NULL, "
            "'R', NULL, NULL),"
            "(3, 2, '\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.zip', 1, 'Z', NULL, NULL),"
            "(5, 1, 'x', 1, 'F', NULL, NULL)");
    mysql_close(c);
}

void writeSettings(const ScopedConfigHome& home, const std::string& host, unsigned port,
                   const std::string& database, const std::string& password) {
    QDir().mkpath(home.path() + "/vorka");
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        QByteArray::fromStdString("[General]\nhote=" + host + "\nport=" + std::to_string(port) +
                                  "\nutil=root\nmdp=" + password + "\nbase=" + database + "\n"));
}

QTreeWidgetItem* disc(int index) {
    return catalogueTree->topLevelItem(index);
}

QTreeWidgetItem* childNamed(QTreeWidgetItem* item, const QString& name) {
    for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == name)
            return item->child(i);
    return nullptr;
}

FileListModel* listModel() {
    return fileListModel(fileList);
}

// The row of the list whose name is `name`, -1 if none.
int rowNamed(const QString& name) {
    for (int row = 0; row < listModel()->rowCount(); ++row)
        if (listModel()->index(row, COL_NAME).data().toString() == name)
            return row;
    return -1;
}

QStringList listedNames() {
    QStringList names;
    for (int row = 0; row < listModel()->rowCount(); ++row)
        names << listModel()->index(row, COL_NAME).data().toString();
    return names;
}

QString cell(const QString& name, int column) {
    return listModel()->index(rowNamed(name), column).data().toString();
}

// Whether command `id` shows enabled in the menu bar and on the toolbar; both must agree.
bool shownEnabled(int id) {
    QAction* action = commandAction(id);
    bool inMenu = false, onToolbar = false, inMenuFound = false, onToolbarFound = false;
    for (QAction* popup : mainMenu->actions())
        if (popup->menu())
            for (QAction* item : popup->menu()->actions())
                if (item == action) {
                    inMenuFound = true;
                    inMenu = item->isEnabled();
                }
    for (QToolButton* button : toolBar->findChildren<QToolButton*>())
        if (button->property("commandId").toInt() == id) {
            onToolbarFound = true;
            onToolbar = button->isEnabled();
        }
    EXPECT_TRUE(inMenuFound) << id;
    EXPECT_EQ(inMenu, onToolbar) << id;
    return inMenu && (onToolbar || !onToolbarFound);
}

void clickHeader(int column) {
    QHeaderView* header = fileList->header();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

// The program running against the browse catalogue (or the settings given), with its query
// log and the statements of its connection.
class Browsing : public ::testing::Test {
protected:
    void SetUp() override { libraryCalls().clear(); }
    void start(const std::string& host, unsigned port, const std::string& database,
               const std::string& password = TestServer::get().password) {
        writeSettings(home, host, port, database, password);
        tavisk = std::make_unique<RunningTavisk>();
        ASSERT_TRUE(tavisk->started());
        ASSERT_NE(catalogueTree, nullptr);
        ASSERT_NE(fileList, nullptr);
    }
    void startOnCatalogue() {
        fillCatalogue(db.name);
        start("127.0.0.1", TestServer::get().port, db.name);
        ASSERT_NE(catalogueConnection, nullptr);
    }
    std::vector<std::string> statementsSince(const QueryLog& log) const {
        return log.statements(catalogueConnection);
    }

    ScopedConfigHome home;
    ScopedDatabase db{"tvk_browse"};
    std::unique_ptr<RunningTavisk> tavisk;
};

TEST_F(Browsing, StartingWithoutAServerShowsAnEmptyWindowAndNoBox) {
    const unsigned port = closedPort();
    MessageBoxScript none;
    start("127.0.0.1", port, "Tavisk");
    EXPECT_TRUE(mainWindow->isVisible());
    ASSERT_NE(toolBar, nullptr);
    EXPECT_TRUE(toolBar->isVisible());
    EXPECT_EQ(currentStatusText(),
              QString("Unable to connect to MySQL server on port %1 !").arg(port));
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
    EXPECT_EQ(listModel()->rowCount(), 0);
    EXPECT_FALSE(shownEnabled(CMD_NEW));
    EXPECT_FALSE(shownEnabled(CMD_SEARCH));
    EXPECT_FALSE(shownEnabled(CMD_UPDATE));
    EXPECT_FALSE(shownEnabled(CMD_DELETE));
    EXPECT_TRUE(shownEnabled(CMD_CONNECTION));
    EXPECT_EQ(catalogueConnection, nullptr);
}

// Counts the paints of the main window, from before it exists.
class MainWindowPaints : public QObject {
public:
    MainWindowPaints() { qApp->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && mainWindow && watched == mainWindow)
            ++count;
        return false;
    }
};

TEST_F(Browsing, TheWindowIsPaintedBeforeTheFirstConnectionAsksAnything) {
    MainWindowPaints paints;
    int paintsAtQuestion = -1;
    setMessageBoxHook([&](const MessageBoxCall& call) {
        paintsAtQuestion = paints.count;
        EXPECT_EQ(call.caption, "Database creation");
        return int(IDNO);
    });
    start("127.0.0.1", TestServer::get().port, uniqueDatabaseName("tvk_absent"));
    setMessageBoxHook({});
    EXPECT_GT(paintsAtQuestion, 0);
}

TEST_F(Browsing, TheFirstRefillListsTheDiscsInOrder) {
    MessageBoxScript none;
    QueryLog log;
    startOnCatalogue();
    EXPECT_EQ(statementsSince(log),
              (std::vector<std::string>{
                  "select version_mini, version_bd from vorka_version where application = "
                  "'Tavisk'",
                  DISC_LIST}));
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 4);
    EXPECT_EQ(disc(0)->text(0), "1 - Alpha");
    EXPECT_EQ(disc(1)->text(0), "2 - ");
    EXPECT_EQ(disc(2)->text(0), "3 - caf\u00e9");
    EXPECT_EQ(disc(3)->text(0), "5 - Empty");
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(disc(i)->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
        EXPECT_EQ(disc(i)->childCount(), 0);
        const TreeNodeData* data = treeNodeData(disc(i));
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->entryId, -1);
        EXPECT_FALSE(data->childrenLoaded);
    }
    EXPECT_EQ(treeNodeData(disc(3))->discId, 5);
    EXPECT_EQ(currentStatusText(), "Connected to MySQL");
    EXPECT_TRUE(shownEnabled(CMD_NEW));
    EXPECT_TRUE(shownEnabled(CMD_SEARCH));
    EXPECT_FALSE(shownEnabled(CMD_UPDATE));
    EXPECT_FALSE(shownEnabled(CMD_DELETE));
    EXPECT_EQ(libraryConnection(), catalogueConnection);
}

TEST_F(Browsing, ChildrenAreLoadedOnceOnTheFirstExpansion) {
    MessageBoxScript none;
    startOnCatalogue();
    QueryLog log;
    disc(0)->setExpanded(true);
    EXPECT_EQ(statementsSince(log), std::vector<std::string>{ROOT_CHILDREN_OF_1});
    ASSERT_EQ(disc(0)->childCount(), 3);
    QTreeWidgetItem* docs = childNamed(disc(0), "Docs");
    QTreeWidgetItem* backup = childNamed(disc(0), "Backup.zip");
    QTreeWidgetItem* onlyFiles = childNamed(disc(0), "only files");
    ASSERT_TRUE(docs && backup && onlyFiles);
    // Expand buttons: a directory or archive holding a directory has one, a directory of files
    // has none.
    EXPECT_EQ(docs->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(backup->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    EXPECT_EQ(onlyFiles->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);
    EXPECT_EQ(docs->icon(0).cacheKey(), folderImage.cacheKey());
    EXPECT_EQ(backup->icon(0).cacheKey(), archiveImage.cacheKey());
    const TreeNodeData* data = treeNodeData(docs);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->discId, 1);
    EXPECT_EQ(data->entryId, 1);
    EXPECT_TRUE(treeNodeData(disc(0))->childrenLoaded);

    disc(0)->setExpanded(false);
    disc(0)->setExpanded(true);
    EXPECT_EQ(statementsSince(log).size(), 1u);
    EXPECT_EQ(disc(0)->childCount(), 3);

    docs->setExpanded(true);
    EXPECT_EQ(statementsSince(log).back(), SUB_CHILDREN_OF_1_1);
    ASSERT_EQ(docs->childCount(), 1);
    EXPECT_EQ(docs->child(0)->text(0), "Photos");
    EXPECT_EQ(docs->child(0)->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicator);

    // Names in any script come back as they were stored.
    disc(2)->setExpanded(true);
    ASSERT_EQ(disc(2)->childCount(), 2);
    EXPECT_EQ(disc(2)->child(0)->text(0), QString::fromUtf8("Ελληνικά"));
    EXPECT_EQ(disc(2)->child(1)->text(0), QString::fromUtf8("日本語.zip"));
}

TEST_F(Browsing, ADiscWithoutContainersExpandsToNothingAndIsNotQueriedAgain) {
    MessageBoxScript none;
    startOnCatalogue();
    QueryLog log;
    disc(3)->setExpanded(true);
    EXPECT_EQ(disc(3)->childCount(), 0);
    disc(3)->setExpanded(false);
    disc(3)->setExpanded(true);
    EXPECT_EQ(statementsSince(log).size(), 1u);
}

TEST_F(Browsing, AFailedChildrenQueryIsReportedAndRetriedAtTheNextExpansion) {
    MessageBoxScript none;
    startOnCatalogue();
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "rename table fic_fichiers to fic_hidden");
    disc(0)->setExpanded(true);
    EXPECT_EQ(currentStatusText(), "Unable to find the directories list !");
    EXPECT_EQ(disc(0)->childCount(), 0);
    EXPECT_FALSE(treeNodeData(disc(0))->childrenLoaded);
    exec(c, "rename table fic_hidden to fic_fichiers");
    mysql_close(c);
    disc(0)->setExpanded(false);
    disc(0)->setExpanded(true);
    EXPECT_EQ(disc(0)->childCount(), 3);
}

TEST_F(Browsing, AFailedDiscListLeavesTheTreeEmptyWithNewAndSearchEnabled) {
    MessageBoxScript none;
    startOnCatalogue();
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "rename table cd_disques_compact to cd_hidden");
    EXPECT_EQ(refillCatalogueTree(mainWindow), 1);
    EXPECT_EQ(currentStatusText(), "Unable to find the CD-ROM list !");
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
    EXPECT_TRUE(shownEnabled(CMD_NEW));
    EXPECT_TRUE(shownEnabled(CMD_SEARCH));
    exec(c, "rename table cd_hidden to cd_disques_compact");
    mysql_close(c);
}

TEST_F(Browsing, AnExpansionWithoutItsRecordSaysSo) {
    MessageBoxScript none;
    startOnCatalogue();
    auto* stray = new QTreeWidgetItem(QStringList{"stray"});
    stray->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    catalogueTree->addTopLevelItem(stray);
    stray->setExpanded(true);
    EXPECT_EQ(currentStatusText(), "Handle non valide");
}

TEST_F(Browsing, SelectingADiscOrADirectoryListsItAndSetsUpdateAndDelete) {
    MessageBoxScript none;
    startOnCatalogue();
    QAbstractItemModelTester tester(listModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    QueryLog log;
    catalogueTree->setCurrentItem(disc(0));
    EXPECT_EQ(statementsSince(log), std::vector<std::string>{LIST_ROOT_OF_1});
    EXPECT_EQ(currentStatusText(), "CD 1");
    EXPECT_EQ(currentTreeItem, disc(0));
    EXPECT_TRUE(shownEnabled(CMD_UPDATE));
    EXPECT_TRUE(shownEnabled(CMD_DELETE));
    EXPECT_EQ(listedNames(), (QStringList{"Docs", "Backup.zip", "readme.txt", "only files"}));
    EXPECT_EQ(listModel()->fileRow(0).listedItem, disc(0));
    EXPECT_EQ(listModel()->fileRow(0).parentId, -1);

    disc(0)->setExpanded(true);
    QTreeWidgetItem* docs = childNamed(disc(0), "Docs");
    catalogueTree->setCurrentItem(docs);
    EXPECT_EQ(statementsSince(log).back(), LIST_OF_1_1);
    EXPECT_EQ(currentTreeItem, docs);
    EXPECT_FALSE(shownEnabled(CMD_UPDATE));
    EXPECT_FALSE(shownEnabled(CMD_DELETE));
    EXPECT_EQ(listModel()->rowCount(), 6);

    // A refill empties both panes and greys Update and Delete until a disc is selected again.
    refillCatalogueTree(mainWindow);
    EXPECT_EQ(currentTreeItem, nullptr);
    EXPECT_EQ(listModel()->rowCount(), 0);
    EXPECT_FALSE(shownEnabled(CMD_UPDATE));
    EXPECT_FALSE(shownEnabled(CMD_DELETE));
}

TEST_F(Browsing, TheListShowsTextsImagesAndDatesFromTheRecords) {
    MessageBoxScript none;
    startOnCatalogue();
    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(childNamed(disc(0), "Docs"));
    EXPECT_EQ(cell("big.iso", COL_SIZE), "5368709120");
    EXPECT_EQ(cell("big.iso", COL_TYPE), "File");
    EXPECT_EQ(cell("big.iso", COL_DATE), "02/01/2020 03:04");
    EXPECT_EQ(cell("Photos", COL_TYPE), "Directoy");
    EXPECT_EQ(cell("notes.txt", COL_SIZE), "");
    EXPECT_EQ(cell("notes.txt", COL_DATE), "");
    EXPECT_EQ(listModel()->fileRow(rowNamed("notes.txt")).dateStamp, -1);
    EXPECT_EQ(cell("weird", COL_TYPE), "");
    EXPECT_EQ(FileListModel::imageFor(listModel()->fileRow(rowNamed("weird"))), IMAGE_FILE);
    EXPECT_EQ(FileListModel::imageFor(listModel()->fileRow(rowNamed("Photos"))), IMAGE_DIRECTORY);
    EXPECT_EQ(cell(QString::fromUtf8("Éclair"), COL_SIZE), "0");
    const FileRow& big = listModel()->fileRow(rowNamed("big.iso"));
    EXPECT_EQ(big.discId, 1);
    EXPECT_EQ(big.parentId, 1);
    EXPECT_EQ(listModel()->index(0, COL_SIZE).data(Qt::TextAlignmentRole).toInt() &
                  Qt::AlignHorizontal_Mask,
              Qt::AlignRight);

    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(disc(0));
    EXPECT_EQ(cell("Backup.zip", COL_TYPE), "Archive");
    EXPECT_EQ(FileListModel::imageFor(listModel()->fileRow(rowNamed("Backup.zip"))), IMAGE_ARCHIVE);
}

TEST_F(Browsing, HeaderClicksSortUpDownUpAndEveryEmptyingClearsTheArrow) {
    MessageBoxScript none;
    startOnCatalogue();
    QAbstractItemModelTester tester(listModel(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(childNamed(disc(0), "Docs"));
    QHeaderView* header = fileList->header();
    EXPECT_FALSE(header->isSortIndicatorShown());

    // Sizes as unsigned 64-bit numbers; no size counts as 0.
    clickHeader(COL_SIZE);
    EXPECT_TRUE(header->isSortIndicatorShown());
    EXPECT_EQ(header->sortIndicatorSection(), COL_SIZE);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(listedNames(), (QStringList{"Photos", "notes.txt", QString::fromUtf8("Éclair"),
                                          "weird", "b.TXT", "big.iso"}));
    clickHeader(COL_SIZE);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(listedNames().front(), "big.iso");
    EXPECT_EQ(listedNames().at(1), "b.TXT");
    clickHeader(COL_SIZE);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(listedNames().back(), "big.iso");

    // Names: case-insensitive and locale-aware (É with the E's).
    clickHeader(COL_NAME);
    EXPECT_EQ(header->sortIndicatorSection(), COL_NAME);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(listedNames(), (QStringList{"b.TXT", "big.iso", QString::fromUtf8("Éclair"),
                                          "notes.txt", "Photos", "weird"}));

    // Dates: an entry without a date after every dated one ascending, before them descending.
    clickHeader(COL_DATE);
    EXPECT_EQ(listedNames().front(), "b.TXT");
    EXPECT_EQ(listedNames().at(3), "weird");
    clickHeader(COL_DATE);
    EXPECT_TRUE(QStringList({"Photos", "notes.txt"}).contains(listedNames().front()));
    EXPECT_EQ(listedNames().at(2), "weird");

    // Types by their code letter: files, directories, then the unknown code.
    clickHeader(COL_TYPE);
    EXPECT_EQ(listedNames().at(4), "Photos");
    EXPECT_EQ(listedNames().at(5), "weird");

    // Listing another item empties the list and takes the arrow away.
    catalogueTree->setCurrentItem(disc(0));
    EXPECT_FALSE(header->isSortIndicatorShown());
    EXPECT_EQ(sortedColumn, -1);
    clickHeader(COL_TYPE);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(Browsing, SortingKeepsTheSelectionOnTheSameEntries) {
    MessageBoxScript none;
    startOnCatalogue();
    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(childNamed(disc(0), "Docs"));
    QItemSelectionModel* selection = fileList->selectionModel();
    selection->select(listModel()->index(rowNamed("big.iso"), 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(listModel()->index(rowNamed("weird"), 0),
                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
    clickHeader(COL_NAME);
    QStringList selected;
    for (const QModelIndex& index : selection->selectedRows())
        selected << index.data().toString();
    selected.sort();
    EXPECT_EQ(selected, (QStringList{"big.iso", "weird"}));
}

TEST_F(Browsing, FocusingTheListFocusesTheFirstRowWithoutSelectingIt) {
    MessageBoxScript none;
    startOnCatalogue();
    catalogueTree->setCurrentItem(disc(0));
    ASSERT_GT(listModel()->rowCount(), 0);
    fileList->setCurrentIndex(QModelIndex());
    fileList->clearSelection();
    fileList->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(fileList->currentIndex().row(), 0);
    EXPECT_FALSE(fileList->selectionModel()->hasSelection());
}

TEST_F(Browsing, ARightClickOnADiscSelectsItAndOffersUpdateAndDelete) {
    MessageBoxScript none;
    startOnCatalogue();
    catalogueTree->setCurrentItem(disc(1));
    const QRect rect = catalogueTree->visualItemRect(disc(0));
    QStringList shown;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (action->isEnabled())
                    shown << action->text();
            menu->close();
        }
    });
    const QPoint at = catalogueTree->viewport()->mapToGlobal(rect.center());
    QContextMenuEvent request(QContextMenuEvent::Mouse, rect.center(), at);
    QApplication::sendEvent(catalogueTree->viewport(), &request);
    EXPECT_EQ(shown, (QStringList{"&Update", "&Delete"}));
    EXPECT_EQ(currentTreeItem, disc(0));
    EXPECT_EQ(catalogueTree->currentItem(), disc(0));
    EXPECT_TRUE(shownEnabled(CMD_UPDATE));
    EXPECT_TRUE(shownEnabled(CMD_DELETE));
}

TEST_F(Browsing, ARightClickOnADirectoryGreysTheBarsButTheMenuOffersBoth) {
    MessageBoxScript none;
    startOnCatalogue();
    disc(0)->setExpanded(true);
    QTreeWidgetItem* docs = childNamed(disc(0), "Docs");
    const QRect rect = catalogueTree->visualItemRect(docs);
    QStringList shown;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions())
                if (action->isEnabled())
                    shown << action->text();
            menu->close();
        }
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, rect.center(),
                              catalogueTree->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(catalogueTree->viewport(), &request);
    EXPECT_EQ(shown, (QStringList{"&Update", "&Delete"}));
    EXPECT_EQ(currentTreeItem, docs);
    EXPECT_EQ(catalogueTree->currentItem(), docs);
    EXPECT_FALSE(shownEnabled(CMD_UPDATE));
    EXPECT_FALSE(shownEnabled(CMD_DELETE));
}

// The menu's help ends when the menu closes, also when nothing was chosen.
TEST_F(Browsing, ClosingTheContextMenuEmptiesTheStatusBar) {
    MessageBoxScript none;
    startOnCatalogue();
    const QRect rect = catalogueTree->visualItemRect(disc(0));
    QString helpShown;
    QTimer::singleShot(0, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->actions().at(0));
            helpShown = currentStatusText();
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, rect.center(),
                              catalogueTree->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(catalogueTree->viewport(), &request);
    QTest::qWait(20);
    EXPECT_EQ(helpShown, "Update an existing CD-ROM entry, for example when a new session has been "
                         "added to the CD-ROM");
    EXPECT_EQ(currentStatusText(), "");
}

TEST_F(Browsing, TheKeyboardFormAndEmptySpaceFindNothingAndOpenNoMenu) {
    MessageBoxScript none;
    startOnCatalogue();
    catalogueTree->setCurrentItem(disc(0));
    bool menuShown = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            menuShown = true;
            popup->close();
        }
    });
    closer.start(20);
    QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                               catalogueTree->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(catalogueTree, &keyboard);
    EXPECT_EQ(currentTreeItem, nullptr);
    EXPECT_EQ(catalogueTree->currentItem(), disc(0));

    const QPoint below(5, catalogueTree->viewport()->height() - 2);
    QContextMenuEvent empty(QContextMenuEvent::Mouse, below,
                            catalogueTree->viewport()->mapToGlobal(below));
    QApplication::sendEvent(catalogueTree->viewport(), &empty);
    QApplication::processEvents();
    EXPECT_FALSE(menuShown);
    EXPECT_EQ(currentTreeItem, nullptr);
    EXPECT_EQ(catalogueTree->currentItem(), disc(0));
}

TEST_F(Browsing, AnItemDeletedTakesTheCurrentItemWithIt) {
    MessageBoxScript none;
    startOnCatalogue();
    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(childNamed(disc(0), "Docs"));
    ASSERT_NE(currentTreeItem, nullptr);
    delete disc(1);
    EXPECT_NE(currentTreeItem, nullptr);
    delete disc(0);
    EXPECT_EQ(currentTreeItem, nullptr);
}

bool ignoreEverything(Dialog*, unsigned, std::uintptr_t, std::intptr_t) {
    return false;
}

TEST_F(Browsing, WhileTheSearchDialogIsOpenTheTreeRunsNoQueryOfItsOwn) {
    MessageBoxScript none;
    startOnCatalogue();
    catalogueTree->setCurrentItem(disc(0));
    const QStringList listed = listedNames();
    searchDialog = createDialogParam(langModule, IDD_SEARCH, mainWindow, ignoreEverything, 0);
    ASSERT_NE(searchDialog, nullptr);
    QueryLog log;
    disc(1)->setExpanded(true);
    catalogueTree->setCurrentItem(disc(1));
    EXPECT_TRUE(statementsSince(log).empty());
    EXPECT_EQ(listedNames(), listed);
    EXPECT_EQ(currentTreeItem, disc(0));
    destroyDialog(searchDialog);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    searchDialog = nullptr;
}

TEST_F(Browsing, QuittingClosesTheConnectionBeforeThePlugInsAreRemoved) {
    MessageBoxScript none;
    startOnCatalogue();
    libraryCalls().clear();
    tavisk.reset();
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"setMsc(none)", "remove_plugins"}));
}

TEST_F(Browsing, CommandConnectionOpensTheSettingsDialog) {
    MessageBoxScript none;
    startOnCatalogue();
    QString caption;
    QTimer::singleShot(0, [&] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->windowTitle() == "MySQL connection parameters") {
                caption = window->windowTitle();
                window->close();
            }
    });
    commandAction(CMD_CONNECTION)->trigger();
    EXPECT_EQ(caption, "MySQL connection parameters");
    EXPECT_NE(catalogueConnection, nullptr); // closed unchanged: the connection stays
}

// Names written by programs on Windows hold code-page bytes that are not UTF-8: they show as
// the server's latin1 (Windows-1252); UTF-8 names show as UTF-8. The bytes stay as stored.
TEST_F(Browsing, NamesShowInTheirOwnEncoding) {
    MessageBoxScript none;
    makeCatalogueWithVersion(db.name, 1, 3);
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "insert into cd_disques_compact values (1, 'caf\xE9', 'D')");
    exec(c,
         "insert into fic_fichiers values (1, 1, 'caf\xE9 \x80\x96', NULL, 'R', NULL, NULL),"
         "(1, 2, 'caf\xC3\xA9.txt', 1, 'F', NULL, NULL), (1, 3, 'caf\xE9.txt', 1, 'F', NULL, 1)");
    mysql_close(c);
    start("127.0.0.1", TestServer::get().port, db.name);
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(disc(0)->text(0), QString::fromUtf8("1 - café"));
    disc(0)->setExpanded(true);
    ASSERT_EQ(disc(0)->childCount(), 1);
    EXPECT_EQ(disc(0)->child(0)->text(0), QString::fromUtf8("café €–"));
    catalogueTree->setCurrentItem(disc(0));
    EXPECT_EQ(listedNames(),
              (QStringList{QString::fromUtf8("café €–"), QString::fromUtf8("café.txt")}));
    catalogueTree->setCurrentItem(disc(0)->child(0));
    EXPECT_EQ(listedNames(), QStringList{QString::fromUtf8("café.txt")});
    EXPECT_EQ(listModel()->fileRow(0).name, "caf\xE9.txt");
}

// A listing whose result cannot be fetched (here an error met while the server produces the
// rows, after it accepted the statement) is a failure: string 54, and the list keeps its rows.
TEST_F(Browsing, AListingThatCannotBeFetchedKeepsTheRows) {
    MessageBoxScript none;
    startOnCatalogue();
    catalogueTree->setCurrentItem(disc(0));
    const QStringList listed = listedNames();
    ASSERT_EQ(listed.size(), 4);

    // The entries behind a view whose name column fails on one row of Docs.
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "rename table fic_fichiers to fic_data");
    exec(c, "create function failing_at(id int, bad int) returns int deterministic begin "
            "if id = bad then signal sqlstate '45000' set message_text = 'unreadable row'; "
            "end if; return id; end");
    exec(c, "create view fic_fichiers as select fic_cd_id, fic_id, "
            "if(failing_at(fic_id, 5) > 0, fic_nom, fic_nom) as fic_nom, fic_taille, fic_type, "
            "fic_date_modif, fic_rep_id from fic_data");
    mysql_close(c);
    QueryLog log;
    disc(0)->setExpanded(true);
    catalogueTree->setCurrentItem(childNamed(disc(0), "Docs"));
    // The server took the statement; the rows are what failed.
    const auto sent = statementsSince(log);
    EXPECT_NE(std::find(sent.begin(), sent.end(), LIST_OF_1_1), sent.end());
    EXPECT_EQ(currentStatusText(), "Unable to find the directory's files list !");
    EXPECT_EQ(listedNames(), listed);
    EXPECT_TRUE(fileList->updatesEnabled());
    EXPECT_TRUE(runCatalogueStatement("select 1")) << catalogueErrorText().toStdString();
}

// A second private server, stopped while the program browses it.
TEST_F(Browsing, AServerStoppedWhileBrowsingGivesStatusTextsAndNoCrash) {
    QTemporaryDir dir;
    const QString serverDir = dir.path() + "/server";
    const QString script = qEnvironmentVariable("TAVISK_SOURCE_DIR") + "/scripts/catalogue-server";
    ASSERT_EQ(QProcess::execute(script, {"test-start", serverDir}), 0);
    QFile env(serverDir + "/server.env");
    ASSERT_TRUE(env.open(QIODevice::ReadOnly));
    unsigned port = 0;
    std::string password;
    for (const QByteArray& line : env.readAll().split('\n')) {
        if (line.startsWith("TAVISK_TEST_PORT="))
            port = line.mid(17).toUInt();
        if (line.startsWith("TAVISK_TEST_PASSWORD="))
            password = line.mid(21).toStdString();
    }
    ASSERT_NE(port, 0u);
    MYSQL* c = mysql_init(nullptr);
    mysql_options(c, MYSQL_SET_CHARSET_NAME, "latin1");
    ASSERT_TRUE(
        mysql_real_connect(c, "127.0.0.1", "root", password.c_str(), nullptr, port, nullptr, 0));
    exec(c, "create database gone");
    mysql_close(c);
    {
        MessageBoxScript boxes;
        boxes.expect("Database upgrade", IDYES);
        start("127.0.0.1", port, "gone", password);
    }
    MessageBoxScript none;
    ASSERT_NE(catalogueConnection, nullptr);
    c = mysql_init(nullptr);
    ASSERT_TRUE(
        mysql_real_connect(c, "127.0.0.1", "root", password.c_str(), "gone", port, nullptr, 0));
    exec(c, "insert into cd_disques_compact values (1, 'one', 'D')");
    exec(c, "insert into fic_fichiers values (1, 1, 'dir', NULL, 'R', NULL, NULL)");
    mysql_close(c);
    refillCatalogueTree(mainWindow);
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);

    ASSERT_EQ(QProcess::execute(script, {"test-stop", serverDir}), 0);
    disc(0)->setExpanded(true);
    EXPECT_EQ(currentStatusText(), "Unable to find the directories list !");
    catalogueTree->setCurrentItem(disc(0));
    EXPECT_EQ(currentStatusText(), "Unable to find the directory's files list !");
    refillCatalogueTree(mainWindow);
    EXPECT_EQ(currentStatusText(), "Unable to find the CD-ROM list !");
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
}

} // namespace
} // namespace tvk::test
