// Searching with the real program against the test server: the dialog and its states, the
// statement as the server receives it, the stream of hits with Stop, Close and quitting, the
// failure boxes, and the jumps from a row to the tree in both modes.
#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/search_dialog.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QClipboard>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace tvk::test {
namespace {

constexpr int STREAMED = 300; // entries of disc 3, all named stream<n>.bin

// Disc 1 "Alpha": Photos/2009/holiday.zip/holiday beach.jpg, holiday.png at the root, names
// with '%', '_', quotes and a backslash, two directories named Twin. Disc 2 (no name):
// Docs/holiday.txt, and "été" in a name stored in UTF-8 and in one stored in Windows-1252.
// Disc 3: the entries a search streams.
void fillCatalogue(const std::string& database) {
    makeCatalogueWithVersion(database, 1, 3);
    MYSQL* c = TestServer::get().connect(database);
    exec(c, "insert into cd_disques_compact values (1, 'Alpha', 'D'), (2, NULL, 'D'), "
            "(3, 'Stream', 'D')");
    std::string rows =
        "(1, 1, 'Photos', NULL, 'R', NULL, NULL), (1, 2, '2009', NULL, 'R', NULL, 1),"
        "(1, 3, 'holiday.zip', 10, 'Z', NULL, 2),"
        "(1, 4, 'holiday beach.jpg', 1, 'F', '2009-03-03 10:00:00', 3),"
        "(1, 5, 'holiday.png', 2, 'F', '2009-03-03 00:00:00', NULL),"
        "(1, 6, '100%.txt', 1, 'F', NULL, NULL), (1, 7, '100a.txt', 1, 'F', NULL, NULL),"
        "(1, 8, 'a_b', 1, 'F', NULL, NULL), (1, 9, 'axb', 1, 'F', NULL, NULL),"
        "(1, 10, 'it''s \\\\ here', 1, 'F', NULL, NULL),"
        "(1, 11, 'x'' or ''1''=''1', 1, 'F', NULL, NULL),"
        "(1, 12, 'Twin', NULL, 'R', NULL, NULL), (1, 13, 'Twin', NULL, 'R', NULL, NULL),"
        "(2, 1, 'Docs', NULL, 'R', NULL, NULL),"
        "(2, 2, 'holiday.txt', 3, 'F', '2009-03-04 00:00:00', 1),"
        "(2, 3, '\xC3\xA9t\xC3\xA9 utf8.txt', 1, 'F', NULL, 1),"
        "(2, 4, '\xE9t\xE9 1252.txt', 1, 'F', NULL, 1)";
    for (int i = 1; i <= STREAMED; ++i)
        rows += ",(3, " + std::to_string(i) + ", 'stream" + std::to_string(i) +
                ".bin', 1, 'F', '2009-03-03 12:00:00', NULL)";
    exec(c, "insert into fic_fichiers values " + rows);
    mysql_close(c);
}

class Search : public ::testing::Test {
protected:
    void SetUp() override {
        fillCatalogue(db.name);
        QDir().mkpath(home.path() + "/vorka");
        QFile settings(home.settingsFile());
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QByteArray::fromStdString(
            "[General]\nhote=127.0.0.1\nport=" + std::to_string(TestServer::get().port) +
            "\nutil=root\nmdp=" + TestServer::get().password + "\nbase=" + db.name + "\n"));
        settings.close();
        tavisk = std::make_unique<RunningTavisk>();
        ASSERT_TRUE(tavisk->started());
        ASSERT_NE(catalogueConnection, nullptr);
    }

    void open() {
        commandAction(CMD_SEARCH)->trigger();
        ASSERT_TRUE(isDialogAlive(searchDialog));
    }
    static QPushButton* button(int id) { return qobject_cast<QPushButton*>(control(id)); }
    static QWidget* control(int id) { return getDlgItem(searchDialog, id); }
    static void set(int id, const QString& text) { setDlgItemText(searchDialog, id, text); }
    static void setDates(QDate first, QDate last) {
        if (!isDlgButtonChecked(searchDialog, IDC_SEARCH_DATE))
            qobject_cast<QAbstractButton*>(control(IDC_SEARCH_DATE))->click();
        qobject_cast<QDateEdit*>(control(IDC_SEARCH_FROM))->setDate(first);
        qobject_cast<QDateEdit*>(control(IDC_SEARCH_TO))->setDate(last);
    }
    // Clicks Search; the statements the program sent meanwhile.
    static std::vector<std::string> search() {
        QueryLog log;
        button(IDC_SEARCH_START)->click();
        return log.statements(catalogueConnection);
    }
    static std::vector<std::string> search(const QString& names, const QString& limit = "") {
        set(IDC_SEARCH_NAME, names);
        set(IDC_SEARCH_LIMIT, limit);
        return search();
    }
    static QStringList hits() {
        QStringList names;
        for (int row = 0; row < fileListModel(fileList)->rowCount(); ++row)
            names << fileListModel(fileList)->index(row, COL_NAME).data().toString();
        names.sort();
        return names;
    }
    static int rowNamed(const QString& name) {
        for (int row = 0; row < fileListModel(fileList)->rowCount(); ++row)
            if (fileListModel(fileList)->index(row, COL_NAME).data() == name)
                return row;
        return -1;
    }
    static void selectHit(const QString& name) {
        fileList->setCurrentIndex(fileListModel(fileList)->index(rowNamed(name), 0));
    }
    static void doubleClick(const QString& name) {
        const QRect rect = fileList->visualRect(fileListModel(fileList)->index(rowNamed(name), 0));
        QTest::mouseClick(fileList->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(fileList->viewport(), Qt::LeftButton, {}, rect.center());
    }
    static bool enabled(int id) { return control(id)->isEnabled(); }
    std::string checksum() const {
        MYSQL* c = TestServer::get().connect(db.name);
        std::string sums;
        for (const auto& row :
             query(c, "checksum table fic_fichiers, cd_disques_compact, vorka_version"))
            sums += row.at(1) + ";";
        mysql_close(c);
        return sums;
    }
    void exec(const std::string& statement) const {
        MYSQL* c = TestServer::get().connect(db.name);
        tvk::test::exec(c, statement);
        mysql_close(c);
    }

    ScopedConfigHome home;
    ScopedDatabase db{"tvk_search"};
    std::unique_ptr<RunningTavisk> tavisk;
};

const std::string HEAD =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'),fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where (fic_nom like "
    "replace(replace(replace(replace('";
const std::string SEPARATOR = "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') or fic_nom like "
                              "replace(replace(replace(replace('";
const std::string END = "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_'))";

TEST_F(Search, TheWorkedExampleReachesTheServerByteForByte) {
    MessageBoxScript none;
    open();
    set(IDC_SEARCH_WORDS, "holiday");
    setDates(QDate(2009, 3, 3), QDate(2009, 3, 4));
    EXPECT_EQ(search("*.jpg;*.png", "1000"),
              std::vector<std::string>{
                  HEAD + "*.jpg" + SEPARATOR + "*.png" + END +
                  " and fic_date_modif between '2009-03-03 00:00:00' and '2009-03-04 00:00:00' and "
                  "match(fic_nom) against ('holiday') limit 1000"});
    EXPECT_EQ(hits(), (QStringList{"holiday beach.jpg", "holiday.png"}));
    EXPECT_EQ(currentStatusText(), "Entries found: 2");
}

// Date (bit 1), words (bit 2) and limit (bit 4), each present or not; the server takes all eight.
TEST_F(Search, EachCombinationOfDateWordsAndLimit) {
    MessageBoxScript none;
    open();
    const int expectedHits[8] = {4, 3, 1, 1, 2, 2, 1, 1};
    for (int mask = 0; mask < 8; ++mask) {
        qobject_cast<QAbstractButton*>(control(IDC_SEARCH_DATE))->setChecked(false);
        if (mask & 1)
            setDates(QDate(2009, 3, 3), QDate(2009, 3, 4));
        set(IDC_SEARCH_WORDS, (mask & 2) ? "beach" : "");
        std::string tail = END;
        if (mask & 1)
            tail += " and fic_date_modif between '2009-03-03 00:00:00' and '2009-03-04 00:00:00'";
        if (mask & 2)
            tail += " and match(fic_nom) against ('beach')";
        if (mask & 4)
            tail += " limit 2";
        const auto sent = search("*holiday*", (mask & 4) ? "2" : "");
        ASSERT_EQ(sent.size(), 1u) << mask;
        EXPECT_EQ(sent[0], HEAD + "*holiday*" + tail) << mask;
        EXPECT_EQ(hits().size(), expectedHits[mask]) << mask;
    }
}

TEST_F(Search, PatternsMatchPercentUnderscoreAndQuotesAsTyped) {
    MessageBoxScript none;
    open();
    search("100%*;a_b");
    EXPECT_EQ(hits(), (QStringList{"100%.txt", "a_b"}));
    // Empty patterns (a trailing ";" or two in a row) add nothing; an empty field finds nothing.
    EXPECT_EQ(search("holiday.png;"),
              std::vector<std::string>{HEAD + "holiday.png" + SEPARATOR + END});
    EXPECT_EQ(hits(), QStringList{"holiday.png"});
    search("holiday.png;;a_b");
    EXPECT_EQ(hits(), (QStringList{"a_b", "holiday.png"}));
    search("");
    EXPECT_TRUE(hits().isEmpty());
    EXPECT_EQ(currentStatusText(), "No entry found");
    // Quotes and backslashes in both fields stay inside their literals.
    set(IDC_SEARCH_WORDS, "it's \"here\" \\");
    EXPECT_EQ(search("it's \\ here").size(), 1u);
    set(IDC_SEARCH_WORDS, "");
    search("it's \\ here");
    EXPECT_EQ(hits(), QStringList{"it's \\ here"});
}

TEST_F(Search, TheLimitField) {
    MessageBoxScript none;
    open();
    EXPECT_EQ(search("stream*", "").at(0).find(" limit"), std::string::npos);
    EXPECT_EQ(hits().size(), STREAMED);
    search("stream*", "0");
    EXPECT_TRUE(hits().isEmpty());
    EXPECT_EQ(search("stream*", "123456789012345678").at(0),
              HEAD + "stream*" + END + " limit 123456789012345678");
    EXPECT_EQ(hits().size(), STREAMED);
    // Digits only, typed or pasted; read up to 18 of them.
    auto* limit = qobject_cast<QLineEdit*>(control(IDC_SEARCH_LIMIT));
    limit->clear();
    QTest::keyClicks(limit, "12a3");
    EXPECT_EQ(limit->text(), "123");
    QApplication::clipboard()->setText("4x");
    limit->paste();
    EXPECT_EQ(limit->text(), "123");
    QApplication::clipboard()->setText("45678901234567890123");
    limit->paste();
    EXPECT_EQ(search().at(0), HEAD + "stream*" + END + " limit 123456789012345678");
}

TEST_F(Search, ManyPatternsMakeAStatementLongerThan2048Bytes) {
    MessageBoxScript none;
    open();
    const auto sent = search(QString(300, ';') + "holiday.png");
    ASSERT_EQ(sent.size(), 1u);
    // The field is read up to 254 characters: 254 empty patterns, the name cut off.
    EXPECT_EQ(sent[0].size(), HEAD.size() + 254 * SEPARATOR.size() + END.size());
    EXPECT_GT(sent[0].size(), 2048u);
    search(QString(240, ';') + "holiday.png");
    EXPECT_EQ(hits(), QStringList{"holiday.png"});
}

TEST_F(Search, InjectionTextsSendOnlyTheSearchAndChangeNothing) {
    MessageBoxScript none;
    open();
    const std::string before = checksum();
    const QStringList corpus = {"'; drop table fic_fichiers; --",
                                "\\'; delete from cd_disques_compact; #",
                                "' or 1=1 -- ",
                                "\"); drop table cd_disques_compact; --",
                                "\\",
                                "'",
                                "''",
                                "\\\\'",
                                "%' union select 1,2,3,4,5,6,7 -- ",
                                QString("x") + QChar(0) + "'; drop table x; --",
                                "' ; update fic_fichiers set fic_nom='x' where '1'='1",
                                "\u2019' or ''='",
                                "*'/*",
                                "')) or 1=1 or (('",
                                "') against ('x') union select * from vorka_version -- ",
                                "\n'\r\x1a; drop database " + QString::fromStdString(db.name)};
    for (const QString& text : corpus) {
        set(IDC_SEARCH_WORDS, text);
        const auto sent = search(text);
        ASSERT_EQ(sent.size(), 1u) << text.toStdString();
        EXPECT_EQ(sent[0].rfind(HEAD, 0), 0u) << text.toStdString();
    }
    EXPECT_EQ(checksum(), before);
    set(IDC_SEARCH_WORDS, "");
    search("x' or '1'='1");
    EXPECT_EQ(hits(), QStringList{"x' or '1'='1"});
}

TEST_F(Search, ClosedIdleSearchingAndIdleAgain) {
    MessageBoxScript none;
    EXPECT_FALSE(isDialogAlive(searchDialog));
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 3);
    open();
    EXPECT_EQ(dialogWindow(searchDialog)->windowIcon().cacheKey(), searchIcon.cacheKey());
    EXPECT_EQ(getDlgItemText(searchDialog, IDC_SEARCH_WORDS), "");
    EXPECT_EQ(getDlgItemText(searchDialog, IDC_SEARCH_NAME), "*");
    EXPECT_EQ(getDlgItemText(searchDialog, IDC_SEARCH_LIMIT), "1000");
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
    for (int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE, CMD_SEARCH, CMD_CONNECTION})
        EXPECT_FALSE(isCommandEnabled(command)) << command;
    const std::vector<int> range = {IDC_SEARCH_BETWEEN, IDC_SEARCH_FROM, IDC_SEARCH_AND,
                                    IDC_SEARCH_TO};
    for (int id : range)
        EXPECT_FALSE(enabled(id)) << id;
    EXPECT_TRUE(enabled(IDC_SEARCH_START));
    EXPECT_FALSE(enabled(IDC_SEARCH_STOP));
    auto* date = qobject_cast<QAbstractButton*>(control(IDC_SEARCH_DATE));
    date->click();
    for (int id : range)
        EXPECT_TRUE(enabled(id)) << id;
    date->click();
    EXPECT_FALSE(enabled(IDC_SEARCH_FROM));
    setDates(QDate(2009, 3, 3), QDate(2009, 3, 4));

    // In the stream: only Stop, Close, the words and the limit; the hourglass until the mouse
    // moves, then the busy arrow over the dialog.
    bool checked = false;
    QTimer::singleShot(0, [&] {
        checked = true;
        EXPECT_TRUE(searchRunning);
        for (int id : {IDC_SEARCH_STOP, int(IDCANCEL), IDC_SEARCH_WORDS, IDC_SEARCH_LIMIT})
            EXPECT_TRUE(enabled(id)) << id;
        for (int id :
             {IDC_SEARCH_START, IDC_SEARCH_NAME, IDC_SEARCH_DATE, IDC_SEARCH_FROM, IDC_SEARCH_TO})
            EXPECT_FALSE(enabled(id)) << id;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QTest::mouseMove(dialogWindow(searchDialog)->windowHandle(),
                         control(IDC_SEARCH_WORDS)->geometry().center());
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(control(IDC_SEARCH_WORDS)->cursor().shape(), Qt::BusyCursor);
        EXPECT_EQ(dialogWindow(searchDialog)->cursor().shape(), Qt::BusyCursor);
        QTest::mouseMove(mainWindow->windowHandle(), QPoint(5, 5));
        EXPECT_EQ(fileList->viewport()->cursor().shape(), Qt::BusyCursor);
    });
    search("stream*");
    EXPECT_TRUE(checked);
    EXPECT_EQ(hits().size(), STREAMED);
    EXPECT_FALSE(searchRunning);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(control(IDC_SEARCH_WORDS)->cursor().shape(), Qt::IBeamCursor);
    EXPECT_NE(dialogWindow(searchDialog)->cursor().shape(), Qt::BusyCursor);
    EXPECT_EQ(fileList->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_TRUE(enabled(IDC_SEARCH_START));
    EXPECT_FALSE(enabled(IDC_SEARCH_STOP));
    for (int id : range)
        EXPECT_TRUE(enabled(id)) << id;
}

TEST_F(Search, EnterSearchesTabStaysInTheDialogEscapeCloses) {
    MessageBoxScript none;
    open();
    set(IDC_SEARCH_NAME, "a_b");
    QWidget* dialog = dialogWindow(searchDialog);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
    control(IDC_SEARCH_WORDS)->setFocus();
    QTest::keyClick(control(IDC_SEARCH_WORDS), Qt::Key_Tab);
    EXPECT_EQ(dialog->focusWidget(), control(IDC_SEARCH_NAME));
    QueryLog log;
    QTest::keyClick(control(IDC_SEARCH_NAME), Qt::Key_Return);
    EXPECT_EQ(log.statements(catalogueConnection).size(), 1u);
    EXPECT_EQ(hits(), QStringList{"a_b"});
    QTest::keyClick(control(IDC_SEARCH_NAME), Qt::Key_Escape);
    EXPECT_FALSE(isDialogAlive(searchDialog));
    EXPECT_EQ(searchDialog, nullptr);
}

TEST_F(Search, StopKeepsTheRowsSoFarAndCloseMidStreamGoesBackToBrowsing) {
    MessageBoxScript none;
    open();
    QTimer::singleShot(0, [] { button(IDC_SEARCH_STOP)->click(); });
    search("stream*");
    EXPECT_EQ(fileListModel(fileList)->rowCount(), 1);
    EXPECT_EQ(currentStatusText(), "Search stopped; entries listed: 1");
    EXPECT_TRUE(enabled(IDC_SEARCH_START));
    EXPECT_FALSE(enabled(IDC_SEARCH_STOP));

    QTimer::singleShot(0, [] { button(IDCANCEL)->click(); });
    Dialog* dialog = searchDialog;
    button(IDC_SEARCH_START)->click();
    EXPECT_FALSE(isDialogAlive(dialog));
    EXPECT_EQ(searchDialog, nullptr);
    EXPECT_EQ(fileListModel(fileList)->rowCount(), 0);
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 3);
    EXPECT_EQ(currentStatusText(), "Connected to MySQL"); // no count: search mode has ended
    for (int command : {CMD_NEW, CMD_SEARCH, CMD_CONNECTION})
        EXPECT_TRUE(isCommandEnabled(command)) << command;
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Search, TheQuitMessageMidStreamEndsTheProgramCleanly) {
    MessageBoxScript none;
    open();
    set(IDC_SEARCH_NAME, "stream*");
    int inserted = 0;
    QObject::connect(fileListModel(fileList), &QAbstractItemModel::rowsInserted,
                     [&] { ++inserted; });
    QTimer::singleShot(0, [] {
        QTimer::singleShot(0, [] { commandAction(CMD_QUIT)->trigger(); });
        button(IDC_SEARCH_START)->click();
    });
    EXPECT_EQ(runMessageLoop(), 0);
    EXPECT_EQ(mainWindow, nullptr);
    EXPECT_EQ(searchDialog, nullptr);
    EXPECT_FALSE(searchRunning);
    EXPECT_GT(inserted, 0);
    EXPECT_LT(inserted, STREAMED);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(Search, CommandSearchWhileOpenOrWhenTheDialogCannotBeBuiltChangesNothing) {
    MessageBoxScript none;
    catalogueTree->setCurrentItem(catalogueTree->topLevelItem(0));
    const int listed = fileListModel(fileList)->rowCount();
    // A module without dialog 300.
    ModuleHandle module = langModule;
    langModule = loadLibrary((binFolder() + "/hhctrl.so").toStdString());
    ASSERT_NE(langModule, nullptr);
    commandAction(CMD_SEARCH)->trigger();
    langModule = module;
    EXPECT_EQ(searchDialog, nullptr);
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 3);
    EXPECT_EQ(fileListModel(fileList)->rowCount(), listed);
    for (int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE, CMD_SEARCH, CMD_CONNECTION})
        EXPECT_TRUE(isCommandEnabled(command)) << command;

    open();
    Dialog* dialog = searchDialog;
    search("holiday*");
    QueryLog log;
    commandAction(CMD_SEARCH)->trigger();
    EXPECT_EQ(searchDialog, dialog);
    EXPECT_EQ(hits().size(), 4);
    EXPECT_TRUE(log.statements(catalogueConnection).empty());
}

TEST_F(Search, AFailingStatementShowsItThenTheServersReason) {
    open();
    {
        MessageBoxScript none;
        search("holiday*");
    }
    exec("alter table fic_fichiers drop index FIC_NOM_FTS");
    set(IDC_SEARCH_WORDS, "holiday");
    const QString statement = QString::fromStdString(
        HEAD + "*" + END + " and match(fic_nom) against ('holiday') limit 1000");
    {
        MessageBoxScript boxes;
        boxes.expect(QString::fromUtf8("Requête SQL"), statement, IDOK_BOX)
            .expect("MySQL Error", "Can't find FULLTEXT index matching the column list", IDOK_BOX);
        search("*", "1000");
        ASSERT_EQ(boxes.calls().size(), 2u);
        EXPECT_EQ(boxes.calls()[0].owner, mainWindow);
        EXPECT_EQ(boxes.calls()[0].flags, unsigned(MB_OK | MB_ICONERROR));
    }
    EXPECT_EQ(hits().size(), 4);
    EXPECT_TRUE(enabled(IDC_SEARCH_START));

    // Hits that cannot be fetched (an error met while the server produces them) fail the same.
    exec("rename table fic_fichiers to fic_data");
    exec("create function failing_at(id int, bad int) returns int deterministic begin if id = "
         "bad then signal sqlstate '45000' set message_text = 'unreadable row'; end if; return "
         "id; end");
    exec("create view fic_fichiers as select fic_cd_id, fic_id, if(failing_at(fic_id, 2) > 0, "
         "fic_nom, fic_nom) as fic_nom, fic_taille, fic_type, fic_date_modif, fic_rep_id from "
         "fic_data");
    set(IDC_SEARCH_WORDS, "");
    MessageBoxScript boxes;
    boxes.expect(QString::fromUtf8("Requête SQL"), IDOK_BOX)
        .expect("MySQL Error", "unreadable row", IDOK_BOX);
    search("*");
    EXPECT_EQ(hits().size(), 4);
}

// A name stored in a Windows code page shows as its UTF-8 twin does; a pattern with characters
// outside ASCII finds both, through one more pattern in its Windows-1252 form. A character that
// Windows-1252 lacks adds none; ASCII patterns are sent as they are.
TEST_F(Search, PatternsOutsideAsciiAlsoFindNamesStoredInWindows1252) {
    MessageBoxScript none;
    open();
    EXPECT_EQ(search(QString::fromUtf8("*été*;a_b")),
              std::vector<std::string>{HEAD + "*\xC3\xA9t\xC3\xA9*" + SEPARATOR + "*\xE9t\xE9*" +
                                       SEPARATOR + "a_b" + END});
    EXPECT_EQ(hits(), (QStringList{"a_b", QString::fromUtf8("été 1252.txt"),
                                   QString::fromUtf8("été utf8.txt")}));
    EXPECT_EQ(search(QString::fromUtf8("*éκ*")),
              std::vector<std::string>{HEAD + "*\xC3\xA9\xCE\xBA*" + END});
}

// The server drops a connection that stood idle past its wait_timeout: the next search makes
// it again, without Configure, and finds its hits.
TEST_F(Search, AConnectionDroppedWhileIdleIsMadeAgain) {
    MessageBoxScript none;
    ASSERT_TRUE(runCatalogueStatement("set session wait_timeout = 1"));
    QTest::qWait(2500);
    open();
    search("holiday*");
    EXPECT_EQ(hits().size(), 4);
    EXPECT_EQ(currentStatusText(), "Entries found: 4");
}

// Locating a hit (search mode) and opening a row (browsing mode).

std::vector<std::string> pathStatements(const std::vector<std::pair<int, int>>& levels) {
    std::vector<std::string> statements;
    for (auto [disc, entry] : levels)
        statements.push_back(
            entry == -1 ? "select -2, concat(cd_id, ' - ', cd_nom) from cd_disques_compact where "
                          "cd_id = " +
                              std::to_string(disc)
                        : "select fic_rep_id, fic_nom, fic_type from fic_fichiers where fic_cd_id "
                          "= " +
                              std::to_string(disc) + " and  fic_id = " + std::to_string(entry));
    return statements;
}

TEST_F(Search, SelectingAHitShowsItsPathFromTheDisc) {
    MessageBoxScript none;
    open();
    search("holiday*");
    QueryLog log;
    selectHit("holiday beach.jpg");
    EXPECT_EQ(log.statements(catalogueConnection),
              pathStatements({{1, 3}, {1, 2}, {1, 1}, {1, -1}}));
    EXPECT_EQ(currentStatusText(), "CD 1, Directory 3");
    QTreeWidgetItem* item = catalogueTree->topLevelItem(0);
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    const QStringList texts = {"1 - Alpha", "Photos", "2009", "holiday.zip"};
    const std::vector<int> entries = {-1, 1, 2, 3};
    for (int level = 0; level < 4; ++level, item = item->child(0)) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(0), texts[level]);
        EXPECT_EQ(item->childCount(), level < 3 ? 1 : 0);
        EXPECT_TRUE(item->isExpanded());
        EXPECT_EQ(treeNodeData(item)->entryId, entries[level]);
        EXPECT_TRUE(treeNodeData(item)->childrenLoaded);
        const QIcon& image = level == 0 ? discImage : (level == 3 ? archiveImage : folderImage);
        EXPECT_EQ(item->icon(0).pixmap(16).toImage(), image.pixmap(16).toImage());
        EXPECT_EQ(item->icon(0).pixmap(16, QIcon::Selected).toImage(), image.pixmap(16).toImage());
    }
    EXPECT_TRUE(catalogueTree->selectedItems().isEmpty());

    // At a disc's root: the disc alone; a disc without a name shows an empty text.
    selectHit("holiday.png");
    EXPECT_EQ(currentStatusText(), "CD 1, Directory -1");
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(catalogueTree->topLevelItem(0)->text(0), "1 - Alpha");
    EXPECT_EQ(catalogueTree->topLevelItem(0)->childCount(), 0);
    selectHit("holiday.txt");
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(catalogueTree->topLevelItem(0)->text(0), "");
    EXPECT_EQ(catalogueTree->topLevelItem(0)->child(0)->text(0), "Docs");

    // A double click in search mode does nothing of its own: no statement, and the status bar
    // keeps the hit's place (browsing would say "File !").
    QueryLog after;
    doubleClick("holiday.txt");
    EXPECT_TRUE(after.statements(catalogueConnection).empty());
    EXPECT_EQ(currentStatusText(), "CD 2, Directory 1");
}

TEST_F(Search, PathsWithMissingUnreadableOrLoopingLevels) {
    open();
    search("holiday*");
    exec("delete from fic_fichiers where fic_cd_id = 1 and fic_id = 2");
    {
        MessageBoxScript none;
        selectHit("holiday beach.jpg");
    }
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(catalogueTree->topLevelItem(0)->text(0), "holiday.zip");
    EXPECT_EQ(catalogueTree->topLevelItem(0)->icon(0).pixmap(16).toImage(),
              discImage.pixmap(16).toImage());
    exec("delete from fic_fichiers where fic_cd_id = 2");
    {
        MessageBoxScript none;
        selectHit("holiday.txt");
    }
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);

    // A parent link back into the path ends the climb.
    exec("update fic_fichiers set fic_rep_id = 3 where fic_cd_id = 1 and fic_id = 1");
    exec("insert into fic_fichiers values (1, 2, 'loop', NULL, 'R', NULL, 1)");
    {
        MessageBoxScript none;
        QueryLog log;
        selectHit("holiday.png");
        selectHit("holiday beach.jpg");
        EXPECT_EQ(log.statements(catalogueConnection).size(), 4u);
    }
    EXPECT_EQ(catalogueTree->topLevelItem(0)->text(0), "Photos");

    // A level that cannot be read: its reason, and the levels below.
    exec("rename table fic_fichiers to fic_data");
    exec("create function failing_at(id int, bad int) returns int deterministic begin if id = "
         "bad then signal sqlstate '45000' set message_text = 'unreadable row'; end if; return "
         "id; end");
    exec("create view fic_fichiers as select fic_cd_id, fic_id, if(failing_at(fic_id, 2) > 0, "
         "fic_nom, fic_nom) as fic_nom, fic_taille, fic_type, fic_date_modif, fic_rep_id from "
         "fic_data");
    MessageBoxScript boxes;
    boxes.expect("MySQL Error", "unreadable row", IDOK_BOX);
    selectHit("holiday.png");
    selectHit("holiday beach.jpg");
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(catalogueTree->topLevelItem(0)->text(0), "holiday.zip");
}

TEST_F(Search, DoubleClicksInBrowsingMode) {
    MessageBoxScript none;
    QTreeWidgetItem* alpha = catalogueTree->topLevelItem(0);
    catalogueTree->setCurrentItem(alpha);
    doubleClick("holiday.png");
    EXPECT_EQ(currentStatusText(), "File !");
    doubleClick("Photos"); // found and selected: the list then shows it ("CD 1")
    ASSERT_NE(catalogueTree->currentItem(), nullptr);
    EXPECT_EQ(catalogueTree->currentItem()->text(0), "Photos");
    EXPECT_EQ(catalogueTree->currentItem()->parent(), alpha);
    EXPECT_EQ(hits(), QStringList{"2009"});

    catalogueTree->setCurrentItem(alpha);
    doubleClick("Twin");
    QTreeWidgetItem* firstTwin = nullptr;
    for (int i = 0; i < alpha->childCount() && !firstTwin; ++i)
        if (alpha->child(i)->text(0) == "Twin")
            firstTwin = alpha->child(i);
    EXPECT_EQ(catalogueTree->currentItem(), firstTwin);
}

} // namespace
} // namespace tvk::test
