// The file list's fill as the search drives it, pumping events between rows: it stops when the
// search is stopped or a quit is requested, and survives the list going away meanwhile. The
// result is always consumed, so the connection stays usable.
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/test_server.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <gtest/gtest.h>

#include <cstdio>

namespace tvk::test {
namespace {

constexpr int ENTRIES = 200;

class PumpingFill : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        makeCatalogueWithVersion(db.name, 1, 3);
        MYSQL* c = TestServer::get().connect(db.name);
        std::string insert = "insert into fic_fichiers values ";
        for (int i = 1; i <= ENTRIES; ++i)
            insert += (i > 1 ? "," : "") + std::string("(1, ") + std::to_string(i) + ", 'f" +
                      std::to_string(i) + "', " + std::to_string(i) + ", 'F', NULL, NULL)";
        exec(c, insert);
        mysql_close(c);
        MessageBoxScript none;
        ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
        window = new QWidget;
        list = createFileList(window, ID_LIST);
        ASSERT_NE(list, nullptr);
        connectFileList(list);
        searchRunning = true;
    }
    void TearDown() override {
        delete window;
        searchRunning = false;
        quitRequested = false;
        closeCatalogueConnection();
    }

    // Runs the root listing of disc 1 as a search would feed it.
    void fillPumping() {
        char statement[512];
        std::snprintf(statement, sizeof statement, SQL_LIST_ROOT, 1u);
        ASSERT_TRUE(queryCatalogue(statement));
        fillFileList(list, nullptr, true);
    }
    // The connection is in step: a new statement runs.
    void expectConnectionUsable() {
        EXPECT_TRUE(runCatalogueStatement("select 1")) << catalogueErrorText().toStdString();
    }

    ScopedDatabase db{"tvk_fill"};
    QPointer<QWidget> window;
    QTreeView* list = nullptr;
};

TEST_F(PumpingFill, AddsEveryRowWhileTheSearchRuns) {
    QAbstractItemModelTester tester(fileListModel(list),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);
    fillPumping();
    EXPECT_EQ(fileListModel(list)->rowCount(), ENTRIES);
    EXPECT_EQ(fileListModel(list)->fileRow(0).listedItem, nullptr);
    EXPECT_TRUE(list->updatesEnabled());
    expectConnectionUsable();
}

TEST_F(PumpingFill, StopsWhenTheSearchIsStopped) {
    QTimer::singleShot(0, [] { searchRunning = false; });
    fillPumping();
    EXPECT_EQ(fileListModel(list)->rowCount(), 1);
    EXPECT_TRUE(list->updatesEnabled());
    expectConnectionUsable();
}

TEST_F(PumpingFill, StopsWhenAQuitIsRequested) {
    QTimer::singleShot(0, [] { postQuitMessage(0); });
    fillPumping();
    EXPECT_FALSE(searchRunning);
    EXPECT_TRUE(quitRequested);
    EXPECT_LT(fileListModel(list)->rowCount(), ENTRIES);
    expectConnectionUsable();
}

TEST_F(PumpingFill, SurvivesTheListGoingAwayMeanwhile) {
    QTimer::singleShot(0, [this] { delete window; });
    fillPumping();
    EXPECT_TRUE(window.isNull());
    expectConnectionUsable();
}

TEST_F(PumpingFill, AHeaderClickSortsTheRowsSoFarAndLaterRowsFollowUnsorted) {
    int ticks = 0;
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (++ticks == 3) {
            onFileListColumnClick(list, COL_SIZE); // ascending
            onFileListColumnClick(list, COL_SIZE); // descending
            clicker.stop();
        }
    });
    clicker.start(0);
    fillPumping();
    FileListModel* model = fileListModel(list);
    ASSERT_EQ(model->rowCount(), ENTRIES);
    const std::uint64_t first = model->fileRow(0).sizeValue;
    const std::uint64_t second = model->fileRow(1).sizeValue;
    EXPECT_GT(first, second);
    EXPECT_EQ(model->fileRow(ENTRIES - 1).sizeValue, std::uint64_t(ENTRIES));
    EXPECT_LT(model->fileRow(ENTRIES - 2).sizeValue, model->fileRow(ENTRIES - 1).sizeValue);
}

} // namespace
} // namespace tvk::test
