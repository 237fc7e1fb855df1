// The scanner without a window: its progress, its failures and its stop go to the progress sink
// alone. No widget is made and no message box is shown, whatever happens.
#include "catalogue/connection.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/indexing/indexing_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace tvk::test {

namespace {

// A sink that keeps what it was told, and asks to stop after `stopAfter` entries.
class RecordingSink final : public ProgressSink {
public:
    void counted(int, std::uint64_t) override {}
    bool stopRequested(std::uint64_t entries) override { return entries >= stopAfter; }
    void catalogueFailed() override { failures.push_back(catalogueErrorText().toStdString()); }
    void imageRefused(const std::string& path, int failure) override {
        refused.emplace_back(path, failure);
    }
    void busy(bool working) override { busyCalls.push_back(working); }
    void enteredFolder(const std::string& path, std::uint64_t bytes) override {
        folders.emplace_back(path, bytes);
    }

    std::uint64_t stopAfter = UINT64_MAX;
    std::vector<std::string> failures;
    std::vector<std::pair<std::string, int>> refused;
    std::vector<bool> busyCalls;
    std::vector<std::pair<std::string, std::uint64_t>> folders;
};

class ScannerSink : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        makeCatalogueWithVersion(db.name, 1, 3);
        ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
        root = volume.path().toStdString() + "/";
    }
    void TearDown() override {
        // Whatever the case, the window's pieces were never needed.
        EXPECT_TRUE(QApplication::allWidgets().isEmpty());
        closeCatalogueConnection();
    }
    ScopedDatabase db{"tvk_sink"};
    QTemporaryDir volume;
    std::string root;
    MessageBoxScript noBox; // fails the test on any box
    RecordingSink sink;
    IndexSummary summary;
};

} // namespace

TEST_F(ScannerSink, AWalkTellsItsFoldersAndTheBytesStoredBeforeEach) {
    writeFile(root + "a/one", std::string(10, 'x'));
    writeFile(root + "b/two", std::string(5, 'x'));
    writeFile(root + "b/c/three", "x");
    const int disc = indexVolume(root, "L", -1, sink, summary);
    ASSERT_GT(disc, 0);
    EXPECT_EQ(summary.entries, 6u);
    EXPECT_EQ(sink.busyCalls, (std::vector<bool>{true, false}));
    EXPECT_TRUE(sink.failures.empty());
    // The order of a listing is the file system's: the folders in any order, the bytes of the
    // files stored before each, never more than those outside b/c.
    std::set<std::string> folders;
    std::uint64_t previous = 0;
    for (const auto& [path, bytes] : sink.folders) {
        folders.insert(path);
        EXPECT_GE(bytes, previous);
        EXPECT_LE(bytes, 15u);
        previous = bytes;
    }
    EXPECT_EQ(folders, (std::set<std::string>{"a", "b", "b/c"}));
}

TEST_F(ScannerSink, FailuresGoToTheSinkAndNotToABox) {
    writeFile(root + "a");
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "rename table cd_disques_compact to gone");
    EXPECT_EQ(indexVolume(root, "L", -1, sink, summary), 0);
    ASSERT_EQ(sink.failures.size(), 1u);
    EXPECT_NE(sink.failures[0].find("doesn't exist"), std::string::npos);
    EXPECT_EQ(sink.busyCalls, (std::vector<bool>{true, false}));
    exec(c, "rename table gone to cd_disques_compact");

    // A file that is no disc image, read as one: refused through the sink, no disc left.
    writeFile(root + "not-an-image.iso", "plain text");
    EXPECT_EQ(indexImage(root + "not-an-image.iso", "L", -1, sink, summary), 0);
    ASSERT_EQ(sink.refused.size(), 1u);
    EXPECT_EQ(sink.refused[0].first, root + "not-an-image.iso");
    EXPECT_TRUE(summary.imageRefused);
    EXPECT_EQ(query(c, "select count(*) from cd_disques_compact")[0][0], "0");
    mysql_close(c);
}

TEST_F(ScannerSink, AStopRequestedBySinkRemovesANewDiscAndKeepsAnUpdatedOne) {
    for (int i = 0; i < 50; ++i)
        writeFile(root + "d/f" + std::to_string(i));
    sink.stopAfter = 10;
    EXPECT_EQ(indexVolume(root, "L", -1, sink, summary), 0);
    EXPECT_TRUE(summary.stopped);
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select count(*) from cd_disques_compact")[0][0], "0");
    EXPECT_EQ(query(c, "select count(*) from fic_fichiers")[0][0], "0");

    exec(c, "insert into cd_disques_compact values (3, 'old', 'D')");
    EXPECT_EQ(indexVolume(root, "L", 3, sink, summary), 3);
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(query(c, "select count(*) from fic_fichiers where fic_cd_id = 3")[0][0],
              std::to_string(summary.entries));
    EXPECT_LT(summary.entries, 51u);
    mysql_close(c);
}

} // namespace tvk::test
