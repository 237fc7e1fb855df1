// The disc commands New, Update and Delete in the running program against the test server,
// with a fake drive table whose CD-ROM drives are temporary folders: the questions and
// messages, the drive summary, the tree refilled and the new disc selected, and the disc
// statements as sent. One test indexes a real ISO image mounted with fuseiso through the real
// drive list, where the machine allows it.
#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "indexing/disc_commands.h"
#include "lang/resource.h"
#include "platform/messagebox.h"
#include "platform/volumes.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/statusbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/indexing/indexing_support.h"
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace tvk::test {
namespace {

const std::string DISC_LIST = "select cd_id, cd_nom from cd_disques_compact order by cd_id";

void writeSettings(const ScopedConfigHome& home, unsigned port, const std::string& database) {
    QDir().mkpath(home.path() + "/vorka");
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString("[General]\nhote=127.0.0.1\nport=" + std::to_string(port) +
                                         "\nutil=root\nmdp=\nbase=" + database + "\n"));
}

QStringList listedNames() {
    QStringList names;
    FileListModel* model = fileListModel(fileList);
    for (int row = 0; row < model->rowCount(); ++row)
        names << model->index(row, COL_NAME).data().toString();
    names.sort();
    return names;
}

long countOf(const std::vector<std::string>& statements, const std::string& statement) {
    return std::count(statements.begin(), statements.end(), statement);
}

// The program on a catalogue of its own, with two CD-ROM drives (temporary folders holding
// discs "ONE" and "TWO") among drives of every other kind.
class DiscCommands : public ::testing::Test {
protected:
    void SetUp() override {
        one = discOne.path().toStdString() + "/";
        two = discTwo.path().toStdString() + "/";
        writeFile(one + "readme.txt", "one");
        writeFile(one + "docs/manual.txt", "manual");
        writeFile(two + "setup.exe", "two");
        writeFile(two + "data/a.bin", "aaaa");
        VolumeInformation volumeOne{"ONE", 0x80000001u, 255, 0x80001, "iso9660"};
        VolumeInformation volumeTwo{"TWO", 1234, 110, 0x6, "udf"};
        setDriveTable(std::vector<FakeDrive>{
            {"/fixed/", DRIVE_FIXED, std::nullopt},
            {one, DRIVE_CDROM, volumeOne},
            {"/floppy/", DRIVE_REMOVABLE, std::nullopt},
            {two, DRIVE_CDROM, volumeTwo},
            {"/dev/sr1/", DRIVE_CDROM, std::nullopt},
            {"/net/", DRIVE_REMOTE, std::nullopt},
            {"/ram/", DRIVE_RAMDISK, std::nullopt},
            {"/what/", DRIVE_UNKNOWN, std::nullopt},
            {"/gone/", DRIVE_NO_ROOT_DIR, std::nullopt},
            {"/odd/", DriveType(9), std::nullopt},
        });
        summary = QString::fromStdString(
            "/fixed:fixed " + letter(one) + ":CD-ROM-ONE, sn=-2147483647, mfl=255, fsf=80001 " +
            "/floppy:removable " + letter(two) + ":CD-ROM-TWO, sn=1234, mfl=110, fsf=6 " +
            "/dev/sr1:CD-ROM-<<No CD-ROM in drive>> /net:netword /ram:Memory /what:indefinite " +
            "/gone:inexistant root directory /odd:??????? ");
        makeCatalogueWithVersion(db.name, 1, 3);
    }
    void TearDown() override {
        tavisk.reset();
        setDriveTable(std::nullopt);
    }
    void start(unsigned port = TestServer::get().port, const std::string& database = {}) {
        writeSettings(home, port, database.empty() ? db.name : database);
        tavisk = std::make_unique<RunningTavisk>();
        ASSERT_TRUE(tavisk->started());
        ASSERT_NE(catalogueConnection, nullptr);
    }
    static std::string letter(const std::string& root) { return root.substr(0, root.size() - 1); }
    std::string askAdd(const std::string& label, const std::string& root) const {
        return "Would you like to add to the directory the filenames of the CD-ROM \"" + label +
               "\" present in drive " + letter(root) + ": ?";
    }
    std::string askUpdate(int disc, const std::string& label, const std::string& root) const {
        return "Would you like to update the CD-ROM number " + std::to_string(disc) +
               " of the directory with the filenames of the CD-ROM \"" + label +
               "\" present in drive " + letter(root) + ": ?";
    }
    static QTreeWidgetItem* discItem(int index) { return catalogueTree->topLevelItem(index); }

    ScopedDatabase db{"tvk_discs"};
    ScopedConfigHome home;
    QTemporaryDir discOne, discTwo;
    std::string one, two;
    QString summary;
    std::unique_ptr<RunningTavisk> tavisk;
};

TEST_F(DiscCommands, NewOffersEveryDiscNumbersEachAndSelectsTheLastOne) {
    MessageBoxScript boxes;
    start();
    boxes.expect("CD-ROM reading", QString::fromStdString(askAdd("ONE", one)), IDYES)
        .expect("CD-ROM identification", "Please write the number 1 on the CD-ROM \"ONE\"",
                IDOK_BOX)
        .expect("CD-ROM reading", QString::fromStdString(askAdd("TWO", two)), IDYES)
        .expect("CD-ROM identification", "Please write the number 2 on the CD-ROM \"TWO\"",
                IDOK_BOX);
    QueryLog log;
    // From the key, as the main loop translates it.
    QTest::keyClick(catalogueTree, Qt::Key_Insert);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(boxes.calls().at(0).flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes.calls().at(1).flags, unsigned(MB_OK));
    EXPECT_EQ(boxes.calls().at(0).owner, mainWindow);
    EXPECT_EQ(countOf(log.statements(catalogueConnection), DISC_LIST), 1) << "one refill";
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 2);
    EXPECT_EQ(discItem(0)->text(0), "1 - ONE");
    EXPECT_EQ(currentTreeItem, discItem(1));
    EXPECT_TRUE(discItem(1)->isSelected());
    // The tree has the focus once the main window is active again after the dialog.
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() == catalogueTree; }));
    EXPECT_EQ(listedNames(), (QStringList{"data", "setup.exe"}));
    EXPECT_TRUE(isCommandEnabled(CMD_UPDATE));
    EXPECT_TRUE(isCommandEnabled(CMD_DELETE));
    EXPECT_EQ(currentStatusText(), "CD 2");
    EXPECT_EQ(storedTree(db.name, 1), folderTree(discOne.path().toStdString()));
    EXPECT_EQ(storedTree(db.name, 2), folderTree(discTwo.path().toStdString()));
}

TEST_F(DiscCommands, NewAnsweredNoOnlyShowsTheDriveSummary) {
    MessageBoxScript boxes;
    start();
    boxes.expect("CD-ROM reading", IDNO).expect("CD-ROM reading", IDNO);
    QueryLog log;
    commandAction(CMD_NEW)->trigger();
    EXPECT_EQ(currentStatusText(), summary);
    EXPECT_EQ(countOf(log.statements(catalogueConnection), DISC_LIST), 0) << "no refill";
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
    // Without any readable disc the summary is all there is.
    setDriveTable(std::vector<FakeDrive>{{"/dev/sr0/", DRIVE_CDROM, std::nullopt}});
    commandAction(CMD_NEW)->trigger();
    EXPECT_EQ(currentStatusText(), "/dev/sr0:CD-ROM-<<No CD-ROM in drive>> ");
}

// Update asks for the discs one drive after the other under the same number; the first Yes
// renews the disc, keeps its number, gives it the new label and selects it; the summary is not
// shown.
TEST_F(DiscCommands, UpdateAsksDriveAfterDriveAndRenewsTheDisc) {
    MessageBoxScript boxes;
    start();
    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    ASSERT_EQ(currentTreeItem, discItem(0));

    boxes.expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "ONE", one)), IDNO)
        .expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "TWO", two)), IDYES);
    QueryLog log;
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    const auto sent = log.statements(catalogueConnection);
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "delete from fic_fichiers where fic_cd_id = 1");
    EXPECT_EQ(sent[1], "update cd_disques_compact set cd_nom='TWO', cd_type='D' where cd_id = 1");
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(discItem(0)->text(0), "1 - TWO");
    EXPECT_EQ(currentTreeItem, discItem(0));
    EXPECT_EQ(storedTree(db.name, 1), folderTree(discTwo.path().toStdString()));
    EXPECT_NE(currentStatusText(), summary);
}

// Delete from a directory's context menu removes the whole disc: the question names the disc
// (its item's text cut to 19 characters) and the disc's own item leaves the tree.
TEST_F(DiscCommands, DeleteFromADirectoryRemovesTheWholeDisc) {
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "insert into cd_disques_compact values (4, 'A LONG LABEL OF MANY WORDS', 'D'), "
            "(5, 'other', 'D')");
    exec(c, "insert into fic_fichiers values (4, 1, 'dir', NULL, 'R', NULL, NULL), "
            "(4, 2, 'f', 1, 'F', NULL, 1), (5, 1, 'g', 1, 'F', NULL, NULL)");
    mysql_close(c);
    MessageBoxScript boxes;
    start();
    discItem(0)->setExpanded(true);
    QTreeWidgetItem* dir = discItem(0)->child(0);
    ASSERT_NE(dir, nullptr);
    catalogueTree->setCurrentItem(dir);
    ASSERT_FALSE(isCommandEnabled(CMD_DELETE));

    boxes.expect("Confirmation of CD-ROM delete",
                 "Do you really want to delete the CD-ROM 4 - A LONG LABEL OF from directory ?",
                 IDYES);
    QueryLog log;
    const QRect rect = catalogueTree->visualItemRect(dir);
    QTimer::singleShot(0, [] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            menu->setActiveAction(menu->actions().at(1)); // Delete
            QTest::keyClick(menu, Qt::Key_Return);
        }
    });
    QContextMenuEvent request(QContextMenuEvent::Mouse, rect.center(),
                              catalogueTree->viewport()->mapToGlobal(rect.center()));
    QApplication::sendEvent(catalogueTree->viewport(), &request);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(log.statements(catalogueConnection),
              (std::vector<std::string>{"delete from fic_fichiers where fic_cd_id = 4",
                                        "delete from cd_disques_compact where cd_id = 4"}));
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(discItem(0)->text(0), "5 - other");
    EXPECT_EQ(currentTreeItem, nullptr);
    EXPECT_EQ(fileListModel(fileList)->rowCount(), 0);
    EXPECT_FALSE(isCommandEnabled(CMD_UPDATE));
    EXPECT_FALSE(isCommandEnabled(CMD_DELETE));
    EXPECT_EQ(currentStatusText(), "CD-ROM deleting");
    EXPECT_TRUE(storedTree(db.name, 4).empty());
    EXPECT_EQ(storedTree(db.name, 5).size(), 1u);
}

// No leaves everything; a statement the server refuses is reported and changes nothing in the
// tree or the list.
TEST_F(DiscCommands, DeleteAnsweredNoOrRefusedChangesNothing) {
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "insert into cd_disques_compact values (1, 'one', 'D')");
    exec(c, "insert into fic_fichiers values (1, 1, 'f', 1, 'F', NULL, NULL)");
    MessageBoxScript boxes;
    start();
    catalogueTree->setCurrentItem(discItem(0));
    boxes.expect("Confirmation of CD-ROM delete", IDNO);
    QTest::keyClick(catalogueTree, Qt::Key_Delete);
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 1);

    exec(c, "rename table cd_disques_compact to gone");
    boxes.expect("Confirmation of CD-ROM delete", IDYES).expect("MySQL Error", IDOK_BOX);
    QTest::keyClick(catalogueTree, Qt::Key_Delete);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_TRUE(boxes.calls().back().text.contains("doesn't exist"));
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(listedNames(), QStringList{"f"});
    EXPECT_TRUE(isCommandEnabled(CMD_DELETE));
    exec(c, "rename table gone to cd_disques_compact");
    mysql_close(c);
}

// The catalogue server stopped while a disc is walked: one box with the server's text, no
// crash, and the program goes on.
TEST_F(DiscCommands, AServerStoppedMidWalkGivesOneBox) {
    for (int i = 0; i < 3000; ++i)
        writeFile(one + "many/d" + std::to_string(i % 40) + "/f" + std::to_string(i));
    QTemporaryDir dir;
    const QString serverDir = dir.path() + "/server";
    const QString script = qEnvironmentVariable("TAVISK_SOURCE_DIR") + "/scripts/catalogue-server";
    ASSERT_EQ(QProcess::execute(script, {"test-start", serverDir}), 0);
    unsigned port = 0;
    pid_t server = 0;
    QFile env(serverDir + "/server.env");
    ASSERT_TRUE(env.open(QIODevice::ReadOnly));
    for (const QByteArray& line : env.readAll().split('\n')) {
        if (line.startsWith("TAVISK_TEST_PORT="))
            port = line.mid(17).toUInt();
        if (line.startsWith("TAVISK_TEST_PID="))
            server = line.mid(16).toInt();
    }
    ASSERT_TRUE(port && server);
    MessageBoxScript boxes;
    boxes.expect("Database creation", IDYES);
    start(port, "stopped");
    boxes.expect("CD-ROM reading", IDYES)
        .expect("MySQL Error", IDOK_BOX)
        .expect("CD-ROM identification", IDOK_BOX)
        .expect("CD-ROM reading", IDNO);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (auto* bar : QApplication::allWidgets())
            if (auto* progress = qobject_cast<QProgressBar*>(bar);
                progress && progress->value() >= 30 && server) {
                ::kill(server, SIGKILL);
                server = 0;
            }
    });
    watch.start(0);
    commandAction(CMD_NEW)->trigger();
    watch.stop();
    EXPECT_EQ(server, 0) << "the server was not stopped";
    EXPECT_TRUE(boxes.allShown());
    EXPECT_NE(mainWindow, nullptr);
    EXPECT_EQ(currentStatusText(), "Unable to find the CD-ROM list !");
    tavisk.reset();
    QProcess::execute(script, {"test-stop", serverDir});
}

// A real ISO image mounted with fuseiso is a CD-ROM drive of the real drive list, with the
// image's label, and is indexed as its files are.
TEST_F(DiscCommands, ARealIsoMountedWithFuseisoIsIndexed) {
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        GTEST_SKIP() << "skipped: /dev/fuse is not usable here";
    QTemporaryDir work;
    const QString source = work.path() + "/source";
    writeFile(source.toStdString() + "/top.txt", "top", 1'500'000'000);
    writeFile(source.toStdString() + "/sub dir/inner.txt", "inner", 1'500'000'000);
    run(work.path(), "zip", {"-qr", "source/pack.zip", "source/sub dir"});
    run(work.path(), "genisoimage",
        {"-quiet", "-R", "-J", "-V", "FUSEDISC", "-o", "disc.iso", "source"});
    const QString mountPoint = work.path() + "/mnt";
    QDir().mkpath(mountPoint);
    if (QProcess::execute("fuseiso", {work.path() + "/disc.iso", mountPoint}) != 0)
        GTEST_SKIP() << "skipped: fuseiso cannot mount here";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("fusermount", {"-u", path}); }
    } unmount{mountPoint};
    setDriveTable(std::nullopt);
    const std::string root = mountPoint.toStdString() + "/";
    const std::vector<std::string> drives = logicalDrives();
    ASSERT_NE(std::find(drives.begin(), drives.end(), root), drives.end());
    ASSERT_EQ(getDriveType(root), DRIVE_CDROM);

    MessageBoxScript none;
    start();
    int questions = 0;
    // Other CD-ROM drives of this machine, if any, are declined.
    setMessageBoxHook([&](const MessageBoxCall& call) {
        if (call.caption == "CD-ROM reading") {
            ++questions;
            return call.text.contains("\"FUSEDISC\"") ? int(IDYES) : int(IDNO);
        }
        return int(IDOK_BOX);
    });
    commandAction(CMD_NEW)->trigger();
    setMessageBoxHook({});
    EXPECT_GE(questions, 1);
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(discItem(0)->text(0), "1 - FUSEDISC");
    const StoredTree stored = storedTree(db.name, 1);
    StoredTree outsideArchives;
    for (const auto& [path, entry] : stored)
        if (path.rfind("pack.zip/", 0) != 0)
            outsideArchives[path] = entry;
    StoredTree expected = folderTree(source.toStdString());
    expected["pack.zip"].type = 'Z';
    EXPECT_EQ(outsideArchives, expected) << "stored:\n"
                                         << describe(stored) << "expected:\n"
                                         << describe(expected);
    ASSERT_TRUE(stored.count("pack.zip/source/sub dir/inner.txt")) << describe(stored);
    EXPECT_EQ(stored.at("pack.zip/source/sub dir/inner.txt").size, 5u);
}

} // namespace
} // namespace tvk::test
