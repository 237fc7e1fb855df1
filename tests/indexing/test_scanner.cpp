// The volume scanner against the test server: the disc statements as sent, the rows of a walk
// compared with the folder that made them (odd names, links, unreadable folders, deep trees,
// sparse files, dates, archives made by the real tools), the progress bar, Update, and writes
// that fail in the middle of a walk.
#include "catalogue/connection.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "platform/cursor.h"
#include "platform/utf8.h"
#include "platform/volumes.h"
#include "shell/startup.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/indexing/indexing_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include "tests/support/without_dac_override.h"
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace tvk::test {
namespace {

int openDescriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (dir && ::readdir(dir))
        ++count;
    if (dir)
        ::closedir(dir);
    return count;
}

class Scanner : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        waitCursor = waitCursorShape(); // as start-up sets it
        makeCatalogueWithVersion(db.name, 1, 3);
        MessageBoxScript none;
        ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
        root = volume.path().toStdString() + "/";
        bar.setRange(0, 100); // as dialog 550's bar starts
        bar.setValue(0);
    }
    void TearDown() override { closeCatalogueConnection(); }

    // Indexes the test volume as a new disc (or disc `discId`), recording the bar's positions.
    int index(const std::string& label = "LABEL", int discId = -1) {
        positions.clear();
        QObject::connect(&bar, &QProgressBar::valueChanged, &bar,
                         [this](int value) { positions.push_back(value); });
        const int result = indexVolume(root, label, discId, &bar);
        QObject::disconnect(&bar, nullptr, nullptr, nullptr);
        return result;
    }
    std::string file(const std::string& relative) const { return root + relative; }

    ScopedDatabase db{"tvk_scan"};
    QTemporaryDir volume;
    std::string root;
    QProgressBar bar;
    std::vector<int> positions;
};

TEST_F(Scanner, NewAndUpdateSendTheDiscStatementsAsWritten) {
    writeFile(file("a.txt"));
    const std::string label = "it's a \\ label";
    QueryLog log;
    const int disc = index(label);
    ASSERT_GT(disc, 0);
    std::vector<std::string> sent = log.statements(catalogueConnection);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(),
              "insert into cd_disques_compact(cd_nom, cd_type) values('it\\'s a \\\\ label','D')");
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select cd_nom, cd_type from cd_disques_compact"),
              (std::vector<std::vector<std::string>>{{label, "D"}}));

    QueryLog again;
    EXPECT_EQ(index("other", disc), disc);
    sent = again.statements(catalogueConnection);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "delete from fic_fichiers where fic_cd_id = " + std::to_string(disc));
    EXPECT_EQ(sent[1], "update cd_disques_compact set cd_nom='other', cd_type='D' where cd_id = " +
                           std::to_string(disc));
    EXPECT_EQ(query(c, "select cd_id, cd_nom from cd_disques_compact"),
              (std::vector<std::vector<std::string>>{{std::to_string(disc), "other"}}));
    mysql_close(c);
}

// Names of every kind, links (a loop, a link to a folder), hidden entries, a folder named like
// an archive, a deep tree, a sparse file of 5 GiB and dates: stored as the folder holds them.
TEST_F(Scanner, TheStoredRowsAreTheFolderThatMadeThem) {
    const std::string names[] = {"quote's",           "double\"quote",      "back\\slash", "100%",
                                 "under_score",       "new\nline",
                                 "caf\xE9", // not UTF-8
                                 "\xC3\xA9t\xC3\xA9", std::string(255, 'n')};
    for (const std::string& name : names)
        writeFile(file("odd/" + name), name, 1'000'000'000);
    // A 255-byte name of two-byte characters (and one byte more), as a disc may hold.
    std::string wide;
    while (wide.size() + 2 <= 254)
        wide += "\xC3\xA9";
    writeFile(file("odd/" + wide + "x"), "wide");
    writeFile(file(".hidden"), "h", 946'684'800); // 2000-01-01 00:00:00 UTC
    makeDirectory(file("fake.zip"));
    writeFile(file("fake.zip/inside.txt"));
    makeDirectory(file("links"));
    ::symlink("b", file("links/a").c_str());
    ::symlink("a", file("links/b").c_str());
    ::symlink("../odd", file("links/to-folder").c_str());
    std::string deep = "deep";
    for (int level = 0; level < 40; ++level)
        deep += "/level" + std::to_string(level);
    writeFile(file(deep + "/bottom.txt"), "bottom", 4'102'444'799); // 2099-12-31 23:59:59
    makeDirectory(file("empty"));
    {
        const int fd = ::open(file("sparse.bin").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 5LL << 30), 0);
        ::close(fd);
    }
    const int disc = index();
    ASSERT_GT(disc, 0);
    const StoredTree stored = storedTree(db.name, disc);
    const StoredTree expected = folderTree(volume.path().toStdString());
    EXPECT_EQ(stored, expected) << "stored:\n"
                                << describe(stored) << "expected:\n"
                                << describe(expected);
    EXPECT_EQ(stored.at("sparse.bin").size, 5ull << 30);
    EXPECT_EQ(stored.at(".hidden").date, "2000-01-01 00:00:00");
    EXPECT_EQ(stored.at("links/to-folder").type, 'F');
    EXPECT_EQ(stored.at("fake.zip").type, 'R');
    EXPECT_TRUE(stored.count("odd/" + std::string(255, 'n')));
}

// A tree deeper than any path may be long: every level is stored, and an archive at the bottom
// is read through its folder's descriptor.
TEST_F(Scanner, ATreeDeeperThanAnyPathIsWalkedWhole) {
    const std::string name(60, 'd');
    int fd = ::open(root.c_str(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(fd, 0);
    constexpr int LEVELS = 90; // 61 bytes a level: well past PATH_MAX
    for (int level = 0; level < LEVELS; ++level) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0755), 0);
        const int next = ::openat(fd, name.c_str(), O_DIRECTORY | O_RDONLY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    writeFile(file("src/inner.txt"), "inner");
    run(volume.path(), "zip", {"-qr", "bottom.zip", "src"});
    std::string zip;
    {
        std::ifstream in(file("bottom.zip"), std::ios::binary);
        zip.assign(std::istreambuf_iterator<char>(in), {});
    }
    const int out = ::openat(fd, "bottom.zip", O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(::write(out, zip.data(), zip.size()), ssize_t(zip.size()));
    ::close(out);
    ::close(fd);
    ::unlink(file("bottom.zip").c_str());
    ::system(("rm -rf '" + file("src") + "'").c_str());

    const int disc = index();
    ASSERT_GT(disc, 0);
    std::string path;
    for (int level = 0; level < LEVELS; ++level)
        path += (level ? "/" : "") + name;
    const StoredTree stored = storedTree(db.name, disc);
    EXPECT_EQ(stored.size(), std::size_t(LEVELS + 3))
        << describe(stored); // and the zip, its folder, its file
    ASSERT_TRUE(stored.count(path + "/bottom.zip/src/inner.txt"));
    EXPECT_EQ(stored.at(path + "/bottom.zip").type, 'Z');
    EXPECT_EQ(stored.at(path + "/bottom.zip/src/inner.txt").size, 5u);
    ::system(("rm -rf '" + file(name) + "'").c_str());
}

// The 255-byte column: a longer label is cut at a character, never inside one.
TEST_F(Scanner, ALongLabelIsCutAtACharacter) {
    std::string label;
    for (int i = 0; i < 150; ++i)
        label += "\xC3\xA9";
    const int disc = index(label);
    ASSERT_GT(disc, 0);
    MYSQL* c = TestServer::get().connect(db.name);
    const auto rows = query(c, "select cd_nom from cd_disques_compact");
    mysql_close(c);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], label.substr(0, 254));
    EXPECT_EQ(cutAtCharacter("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(cutAtCharacter("abc", 3), "abc");
}

TEST_F(Scanner, AnEmptyVolumeGivesADiscWithoutEntries) {
    const int disc = index();
    ASSERT_GT(disc, 0);
    EXPECT_TRUE(entryIds(db.name, disc).empty());
    EXPECT_TRUE(positions.empty());
    EXPECT_FALSE(composeReqInsertion("next", 'F', 0, 0, 0, 0, 0, 0, 0, disc, -1) < 0)
        << "the walk was closed";
    composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

// With 100 entries or more at the root, the root's entries move the bar, once each; their
// subtrees are walked in between.
TEST_F(Scanner, ARootOf100EntriesOrMoreMovesTheBarOncePerRootEntry) {
    for (int i = 0; i < 150; ++i)
        writeFile(file("entry" + std::to_string(i) + (i % 10 == 0 ? "/a/b.txt" : "")));
    const Directory rootDir = Directory::open(root);
    EXPECT_EQ(countEntries(rootDir, 0, 0), 150);
    EXPECT_EQ(countEntries(rootDir, 1, 0), 165);
    EXPECT_EQ(countEntries(rootDir, 5, 0), 180);
    ASSERT_GT(index(), 0);
    ASSERT_FALSE(positions.empty());
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_EQ(positions.back(), 100);
    // 150 steps of 100/150: every position from 0 to 100 but those skipped by rounding down.
    EXPECT_EQ(positions.size(), 100u);
}

// Fewer than 100 entries in all: every entry outside archives is counted, and the bar reaches
// 100 on the last one.
TEST_F(Scanner, FewerThan100EntriesInAllCountEveryEntry) {
    writeFile(file("one/two/three/four.txt"));
    writeFile(file("one/two/five.txt"));
    writeFile(file("six.txt"));
    run(volume.path(), "zip", {"-q", "archive.zip", "six.txt"});
    ASSERT_GT(index(), 0);
    // Seven entries (the archive's contents are not counted): 14, 28, 42, 57, 71, 85, 100.
    EXPECT_EQ(positions, (std::vector<int>{14, 28, 42, 57, 71, 85, 100}));
}

TEST(ProgressPosition, NeverDividesByZeroNorPasses100) {
    EXPECT_EQ(progressPosition(1, 0), 100);
    EXPECT_EQ(progressPosition(0, 0), 100);
    EXPECT_EQ(progressPosition(7, 5), 100);
    EXPECT_EQ(progressPosition(1, 3), 33);
    EXPECT_EQ(progressPosition(2000000000, 2100000000), 95);
}

// What an indexing left out, as its summary names it: each archive cut short with its limit
// (its path on the disc, then the one nested in it; the image itself when both are empty), each
// folder not opened; the first 20 of a kind, then how many more.
TEST(LeftOut, TheSummaryNamesWhatWasLeftOut) {
    useEnglishModule();
    IndexSummary summary;
    summary.result = 3;
    summary.source = "/media/x/disc.iso";
    summary.cutShort = {{"docs/big.zip", "", TVK_LIMIT_RATIO},
                        {"a.7z", "in/b.tar.bz2", TVK_LIMIT_BYTES},
                        {"", "n.zip", TVK_LIMIT_SPOOL},
                        {"", "", TVK_LIMIT_DISC_BYTES}};
    summary.unopenedFolders = {"caf\xE9"};
    EXPECT_FALSE(summary.complete());
    EXPECT_EQ(leftOutText(summary, 3),
              QString::fromUtf8(
                  "The disc number 3 is incomplete in the directory: what follows was left out.\n"
                  "Archive cut short: docs/big.zip (its data grows far beyond its own size)\n"
                  "Archive cut short: a.7z/in/b.tar.bz2 (too much data to unpack)\n"
                  "Archive cut short: n.zip (a nested archive too large to read)\n"
                  "Archive cut short: /media/x/disc.iso (too much data to unpack on this disc)\n"
                  "Folder not opened: café"));
    summary.cutShort.assign(25, {"z.zip", "", TVK_LIMIT_ENTRIES});
    const QStringList lines = leftOutText(summary, 3).split('\n');
    ASSERT_EQ(lines.size(), 23);
    EXPECT_EQ(lines[20], "Archive cut short: z.zip (too many entries)");
    EXPECT_EQ(lines[21], "... and 5 more");
    EXPECT_EQ(limitText(TVK_LIMIT_NESTING), "archives nested too deep");
    EXPECT_TRUE(leftOutText(IndexSummary{}, 1).isEmpty());
}

// Archives made by the real tools, at any depth, and archives inside archives: each archive is
// a 'Z' row with its contents below it.
TEST_F(Scanner, ArchivesAreStoredWithTheirContents) {
    const QString folder = volume.path();
    writeFile(file("src/docs/readme.txt"), "read me");
    writeFile(file("src/pic.png"), "png");
    run(folder + "/src", "zip", {"-qr", "../z.zip", "docs", "pic.png"});
    run(folder + "/src", "tar", {"czf", "../t.tar.gz", "docs"});
    run(folder + "/src", "tar", {"cjf", "../t.tar.bz2", "docs"});
    run(folder + "/src", "tar", {"cJf", "../t.tar.xz", "docs"});
    run(folder + "/src", "7z", {"a", "-bd", "../s.7z", "docs"});
    run(folder, "genisoimage", {"-quiet", "-R", "-J", "-o", "image.iso", "src"});
    // A zip in a tar.gz in a 7z, below a folder.
    run(folder + "/src", "zip", {"-q", "../inner.zip", "pic.png"});
    run(folder, "tar", {"czf", "middle.tar.gz", "inner.zip"});
    makeDirectory(file("nested"));
    run(folder, "7z", {"a", "-bd", "nested/outer.7z", "middle.tar.gz"});
    for (const char* scratch : {"inner.zip", "middle.tar.gz"})
        ::unlink(file(scratch).c_str());
    ::system(("rm -rf '" + file("src") + "'").c_str());

    ASSERT_GT(index(), 0);
    const StoredTree stored = storedTree(db.name, 1);
    for (const char* archive :
         {"z.zip", "t.tar.gz", "t.tar.bz2", "t.tar.xz", "s.7z", "image.iso"}) {
        ASSERT_TRUE(stored.count(archive)) << archive << "\n" << describe(stored);
        EXPECT_EQ(stored.at(archive).type, 'Z') << archive;
        const std::string readme = std::string(archive) + "/docs/readme.txt";
        ASSERT_TRUE(stored.count(readme)) << readme << "\n" << describe(stored);
        EXPECT_EQ(stored.at(readme).type, 'F');
        EXPECT_EQ(stored.at(readme).size, 7u);
        EXPECT_EQ(stored.at(std::string(archive) + "/docs").type, 'R');
    }
    const std::string inner = "nested/outer.7z/middle.tar.gz/inner.zip";
    ASSERT_TRUE(stored.count(inner)) << describe(stored);
    EXPECT_EQ(stored.at("nested/outer.7z").type, 'Z');
    EXPECT_EQ(stored.at("nested/outer.7z/middle.tar.gz").type, 'Z');
    EXPECT_EQ(stored.at(inner).type, 'Z');
    EXPECT_EQ(stored.at(inner + "/pic.png").size, 3u);
    // No entry lost its parent.
    for (const auto& [path, entry] : stored)
        EXPECT_NE(path.rfind("?/", 0), 0u) << path;
}

// Damaged archives end cleanly: what they hold up to the damage is kept, and the walk goes on
// with the next entry.
TEST_F(Scanner, DamagedArchivesEndCleanlyAndTheWalkGoesOn) {
    const QString folder = volume.path();
    for (int i = 0; i < 20; ++i)
        writeFile(file("src/f" + std::to_string(i) + ".txt"), std::string(2000, char('a' + i)));
    run(folder + "/src", "zip", {"-qr", "../whole.zip", "."});
    std::string whole;
    {
        std::ifstream in(file("whole.zip"), std::ios::binary);
        whole.assign(std::istreambuf_iterator<char>(in), {});
    }
    writeFile(file("cut.zip"), whole.substr(0, whole.size() / 2));
    writeFile(file("noise.zip"), std::string(4096, '\x5A'));
    writeFile(file("zz-after.txt"), "after");
    ::system(("rm -rf '" + file("src") + "'").c_str());
    ASSERT_GT(index(), 0);
    const StoredTree stored = storedTree(db.name, 1);
    EXPECT_EQ(stored.at("cut.zip").type, 'Z');
    EXPECT_EQ(stored.at("noise.zip").type, 'Z');
    EXPECT_TRUE(stored.count("zz-after.txt"));
    EXPECT_EQ(stored.count("whole.zip/f19.txt"), 1u);
}

// An unreadable folder is stored, empty; the walk goes on past it.
TEST_F(Scanner, AnUnreadableFolderIsStoredEmpty) {
    writeFile(file("closed/secret.txt"));
    writeFile(file("open/visible.txt"));
    ::chmod(file("closed").c_str(), 0);
    int disc = 0;
    {
        WithoutDacOverride guard;
        if (geteuid() == 0 && !guard.dropped)
            GTEST_SKIP() << "running as root without a way to drop the override of permissions";
        disc = index();
    }
    ::chmod(file("closed").c_str(), 0755);
    ASSERT_GT(disc, 0);
    const StoredTree stored = storedTree(db.name, disc);
    EXPECT_EQ(stored.at("closed").type, 'R');
    EXPECT_FALSE(stored.count("closed/secret.txt"));
    EXPECT_TRUE(stored.count("open/visible.txt"));
    // ... and named as left out: the disc is not complete.
    EXPECT_EQ(lastIndexing.unopenedFolders, std::vector<std::string>{"closed"});
    EXPECT_FALSE(lastIndexing.complete());
    EXPECT_EQ(lastIndexing.entries, stored.size());
}

// A link, a FIFO or a device named like an archive is a file: stored as 'F' and never opened
// (a FIFO opened for reading waits for a writer forever). A regular archive is read.
TEST_F(Scanner, OnlyRegularFilesAreReadAsArchives) {
    writeFile(file("src/a.txt"));
    run(volume.path(), "zip", {"-qr", "real.zip", "src"});
    ::system(("rm -rf '" + file("src") + "'").c_str());
    std::vector<std::string> plain = {"link.zip", "dangling.tar.gz", "pipe.tar"};
    ASSERT_EQ(::symlink("real.zip", file("link.zip").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", file("dangling.tar.gz").c_str()), 0);
    ASSERT_EQ(::mkfifo(file("pipe.tar").c_str(), 0644), 0);
    if (::mknod(file("null.7z").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0)
        plain.push_back("null.7z");
    ASSERT_GT(index(), 0);
    const StoredTree stored = storedTree(db.name, 1);
    EXPECT_EQ(stored.at("real.zip").type, 'Z');
    EXPECT_TRUE(stored.count("real.zip/src/a.txt")) << describe(stored);
    for (const std::string& name : plain) {
        ASSERT_TRUE(stored.count(name)) << name;
        EXPECT_EQ(stored.at(name).type, 'F') << name;
    }
    EXPECT_EQ(stored.size(), plain.size() + 3) << describe(stored);
}

// A tree deeper than the process may hold descriptors open is walked whole, nothing left out.
TEST_F(Scanner, ATreeDeeperThanTheDescriptorLimitIsWalkedWhole) {
    int fd = ::open(root.c_str(), O_DIRECTORY | O_RDONLY);
    constexpr int LEVELS = 300;
    for (int level = 0; level < LEVELS; ++level) {
        ::close(::openat(fd, "leaf.txt", O_CREAT | O_WRONLY, 0644));
        ASSERT_EQ(::mkdirat(fd, "d", 0755), 0);
        const int next = ::openat(fd, "d", O_DIRECTORY | O_RDONLY);
        ::close(fd);
        fd = next;
    }
    ::close(fd);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    const rlimit low{rlim_t(openDescriptors() + 100), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    const int disc = index();
    ::setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_GT(disc, 0);
    EXPECT_EQ(storedTree(db.name, disc).size(), std::size_t(2 * LEVELS));
    EXPECT_TRUE(lastIndexing.unopenedFolders.empty());
    EXPECT_TRUE(lastIndexing.complete());
}

// Update keeps the disc's number, replaces its name, and numbers its entries from 1 again.
TEST_F(Scanner, UpdateKeepsTheDiscNumberAndRenumbersFromOne) {
    for (int i = 0; i < 5; ++i)
        writeFile(file("old" + std::to_string(i)));
    const int first = index("FIRST");
    writeFile(file("second-disc-file"));
    const int second = index("SECOND");
    ASSERT_GT(second, first);
    for (int i = 0; i < 5; ++i)
        ::unlink(file("old" + std::to_string(i)).c_str());
    writeFile(file("new/a"));
    EXPECT_EQ(index("RENEWED", first), first);
    EXPECT_EQ(entryIds(db.name, first), (std::vector<int>{1, 2, 3}));
    const StoredTree stored = storedTree(db.name, first);
    EXPECT_EQ(stored, folderTree(volume.path().toStdString())) << describe(stored);
    EXPECT_EQ(entryIds(db.name, second).size(), 6u); // the other disc untouched
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select cd_nom from cd_disques_compact where cd_id = " +
                           std::to_string(first))[0][0],
              "RENEWED");
    mysql_close(c);
}

// The disc row that cannot be written stops everything with the server's text; old entries
// that cannot be removed stop Update with the server's text too, and leave the disc as it was.
TEST_F(Scanner, DiscRowsThatCannotBeWrittenStopTheIndexing) {
    writeFile(file("a"));
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "rename table cd_disques_compact to gone");
    {
        MessageBoxScript boxes;
        boxes.expect("MySQL Error", IDOK_BOX);
        EXPECT_EQ(index(), 0);
        EXPECT_TRUE(boxes.calls().at(0).text.contains("doesn't exist"));
    }
    exec(c, "rename table gone to cd_disques_compact");
    exec(c, "insert into cd_disques_compact values (7, 'kept', 'D')");
    exec(c, "insert into fic_fichiers values (7, 1, 'x', 1, 'F', NULL, NULL)");
    exec(c, "rename table fic_fichiers to gone");
    {
        MessageBoxScript boxes;
        boxes.expect("MySQL Error", IDOK_BOX);
        EXPECT_EQ(index("new name", 7), -1);
        EXPECT_TRUE(boxes.allShown());
        EXPECT_TRUE(boxes.calls().at(0).text.contains("doesn't exist"));
    }
    exec(c, "rename table gone to fic_fichiers");
    EXPECT_EQ(query(c, "select cd_nom from cd_disques_compact where cd_id = 7")[0][0], "kept");
    EXPECT_EQ(entryIds(db.name, 7), std::vector<int>{1});
    mysql_close(c);
}

// The connection lost in the middle of a walk: one box with the server's text, the walk stops,
// the disc row stays, and once connected again the disc can be updated.
TEST_F(Scanner, AConnectionLostMidWalkIsReportedOnceAndTheDiscCanBeUpdatedLater) {
    // Every entry at the root, so that every entry moves the bar: a walk that went on after the
    // failure would take the bar to the end.
    for (int i = 0; i < 3000; ++i)
        writeFile(file("f" + std::to_string(i)));
    const unsigned long thread = mysql_thread_id(catalogueConnection);
    MYSQL* killer = TestServer::get().connect();
    QTimer watch;
    bool killed = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!killed && bar.value() >= 30) {
            exec(killer, "kill " + std::to_string(thread));
            killed = true;
        }
    });
    watch.start(0);
    int disc = 0;
    {
        MessageBoxScript boxes;
        boxes.expect("MySQL Error", IDOK_BOX);
        disc = index();
        EXPECT_TRUE(killed);
        ASSERT_EQ(boxes.calls().size(), 1u);
        EXPECT_FALSE(boxes.calls()[0].text.isEmpty());
    }
    watch.stop();
    mysql_close(killer);
    ASSERT_GT(disc, 0);
    EXPECT_LT(positions.back(), 100) << "the walk went on after the failure";
    EXPECT_LT(entryIds(db.name, disc).size(), 3000u);

    closeCatalogueConnection();
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    EXPECT_EQ(index("again", disc), disc);
    EXPECT_EQ(storedTree(db.name, disc), folderTree(volume.path().toStdString()));
}

} // namespace
} // namespace tvk::test
