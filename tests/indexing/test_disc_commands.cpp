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
#include "indexing/disc_sources.h"
#include "indexing/scanner.h"
#include "lang/resource.h"
#include "platform/file_chooser.h"
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
#include "tests/support/without_dac_override.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <memory>

namespace tvk::test {
namespace {

const std::string DISC_LIST = "select cd_id, cd_nom from cd_disques_compact order by cd_id";

void writeSettings(const ScopedConfigHome& home, unsigned port, const std::string& database,
                   const std::string& password = TestServer::get().password) {
    QDir().mkpath(home.path() + "/vorka");
    QFile file(home.settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromStdString("[General]\nhote=127.0.0.1\nport=" + std::to_string(port) +
                                         "\nutil=root\nmdp=" + password + "\nbase=" + database +
                                         "\n"));
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
    void start(unsigned port = TestServer::get().port, const std::string& database = {},
               const std::string& password = TestServer::get().password) {
        writeSettings(home, port, database.empty() ? db.name : database, password);
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
        .expect("CD-ROM identification",
                "Please write the number 1 on the CD-ROM \"ONE\"\nEntries stored: 3", IDOK_BOX)
        .expect("CD-ROM reading", QString::fromStdString(askAdd("TWO", two)), IDYES)
        .expect("CD-ROM identification",
                "Please write the number 2 on the CD-ROM \"TWO\"\nEntries stored: 3", IDOK_BOX);
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
// shown. The disc in the second drive is not the one recorded: that is asked too.
TEST_F(DiscCommands, UpdateAsksDriveAfterDriveAndRenewsTheDisc) {
    MessageBoxScript boxes;
    start();
    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    ASSERT_EQ(currentTreeItem, discItem(0));

    boxes.expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "ONE", one)), IDNO)
        .expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "TWO", two)), IDYES)
        .expect("Another CD-ROM", IDYES);
    QueryLog log;
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    std::vector<std::string> sent = log.statements(catalogueConnection);
    const auto deletion =
        std::find(sent.begin(), sent.end(), "delete from fic_fichiers where fic_cd_id = 1");
    ASSERT_NE(deletion, sent.end());
    ASSERT_NE(deletion + 1, sent.end());
    EXPECT_EQ(*(deletion + 1),
              "update cd_disques_compact set cd_nom='TWO', cd_type='D' where cd_id = 1");
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
                                        "delete from cd_disques_compact where cd_id = 4",
                                        "show tables like 'tvk\\_file\\_hashes'",
                                        "delete from tvk_disc_sources where src_cd_id = 4"}));
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
    std::string password;
    QFile env(serverDir + "/server.env");
    ASSERT_TRUE(env.open(QIODevice::ReadOnly));
    for (const QByteArray& line : env.readAll().split('\n')) {
        if (line.startsWith("TAVISK_TEST_PORT="))
            port = line.mid(17).toUInt();
        if (line.startsWith("TAVISK_TEST_PASSWORD="))
            password = line.mid(21).toStdString();
        if (line.startsWith("TAVISK_TEST_PID="))
            server = line.mid(16).toInt();
    }
    ASSERT_TRUE(port && server);
    MessageBoxScript boxes;
    boxes.expect("Database creation", IDYES);
    start(port, "stopped", password);
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
    QTemporaryDir work;
    const QString source = work.path() + "/source";
    writeFile(source.toStdString() + "/top.txt", "top", 1'500'000'000);
    writeFile(source.toStdString() + "/sub dir/inner.txt", "inner", 1'500'000'000);
    run(work.path(), "zip", {"-qr", "source/pack.zip", "source/sub dir"});
    run(work.path(), "genisoimage",
        {"-quiet", "-R", "-J", "-V", "FUSEDISC", "-o", "disc.iso", "source"});
    const QString mountPoint = work.path() + "/mnt";
    const FuseMount mount(work.path() + "/disc.iso", mountPoint);
    if (!mount.mounted)
        GTEST_SKIP() << "skipped: " << mount.why.toStdString();
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

// ---- Other sources: folders and disc images; where each disc came from ----

// The recorded source of `disc` as {kind, path, host, label, serial, fs, entries, bytes}; empty
// when there is none (or no table).
std::vector<std::string> sourceRow(const std::string& database, int disc) {
    MYSQL* c = TestServer::get().connect(database);
    std::vector<std::string> row;
    if (mysql_query(c, ("select src_kind, src_path, src_host, src_label, src_serial, src_fs, "
                        "src_entries, src_bytes, src_read_at is not null from tvk_disc_sources "
                        "where src_cd_id = " +
                        std::to_string(disc))
                           .c_str()) == 0) {
        MYSQL_RES* result = mysql_store_result(c);
        if (MYSQL_ROW values = mysql_fetch_row(result))
            for (int i = 0; i < 9; ++i)
                row.push_back(values[i] ? values[i] : "<NULL>");
        mysql_free_result(result);
    }
    mysql_close(c);
    return row;
}

std::string withoutSlash(std::string path) {
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::vector<std::string> discNames(const std::string& database) {
    MYSQL* c = TestServer::get().connect(database);
    std::vector<std::string> names;
    for (const auto& row : query(c, "select cd_nom from cd_disques_compact order by cd_id"))
        names.push_back(row[0]);
    mysql_close(c);
    return names;
}

// Answers every chooser with `answer`, recording the calls.
struct ChooserScript {
    std::vector<FileChooserCall> calls;
    explicit ChooserScript(const QString& answer) {
        setFileChooserHook([this, answer](const FileChooserCall& call) {
            calls.push_back(call);
            return answer;
        });
    }
    ~ChooserScript() { setFileChooserHook({}); }
};

// A disc image made by genisoimage with volume label `label` from the folder `source`.
std::string makeImage(const QString& folder, const QString& source, const QString& label) {
    run(folder, "genisoimage", {"-quiet", "-R", "-J", "-V", label, "-o", "disc.iso", source});
    return (folder + "/disc.iso").toStdString();
}

// New from a folder: the folder walked as a disc, under its own name (or its volume's label
// when it is a mount point), recorded as the disc's source with what it holds.
TEST_F(DiscCommands, NewFromAFolderIndexesItUnderItsOwnName) {
    MessageBoxScript boxes;
    start();
    QTemporaryDir plain; // a folder that is no mount point
    const std::string folder = plain.path().toStdString();
    const std::string name = folder.substr(folder.rfind('/') + 1);
    writeFile(folder + "/setup.exe", "two");
    writeFile(folder + "/data/a.bin", "aaaa");
    {
        ChooserScript chooser(plain.path());
        boxes.expect("Disc identification",
                     QString::fromStdString("The folder \"" + name +
                                            "\" is now the disc number 1 of the "
                                            "directory.\nEntries stored: 3"),
                     IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
        ASSERT_EQ(chooser.calls.size(), 1u);
        EXPECT_TRUE(chooser.calls[0].folder);
        EXPECT_EQ(chooser.calls[0].owner, mainWindow);
        EXPECT_EQ(chooser.calls[0].caption, "Choose the folder to add to the directory");
    }
    EXPECT_EQ(storedTree(db.name, 1), folderTree(folder));
    EXPECT_EQ(discItem(0)->text(0), QString::fromStdString("1 - " + name));
    EXPECT_EQ(currentTreeItem, discItem(0));
    EXPECT_EQ(sourceRow(db.name, 1), (std::vector<std::string>{"F", folder, thisHost(), name,
                                                               "<NULL>", "", "3", "7", "1"}));
    // A mount point that has a label gives it; a folder inside it its own name.
    {
        ChooserScript chooser(discOne.path());
        boxes.expect(
            "Disc identification",
            "The folder \"ONE\" is now the disc number 2 of the directory.\nEntries stored: 3",
            IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
    }
    {
        ChooserScript chooser(discOne.path() + "/docs");
        boxes.expect(
            "Disc identification",
            "The folder \"docs\" is now the disc number 3 of the directory.\nEntries stored: 1",
            IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
    }
    EXPECT_EQ(discNames(db.name), (std::vector<std::string>{name, "ONE", "docs"}));
    // Cancelling the chooser does nothing.
    ChooserScript cancelled{QString()};
    commandAction(CMD_NEW_FOLDER)->trigger();
    EXPECT_EQ(discNames(db.name).size(), 3u);
}

// New from a disc image: read without mounting, its entries at the disc's root, archives inside
// read as on a disc, under the image's label. Where fuseiso can mount the same image, indexing
// the mount gives the very same rows.
TEST_F(DiscCommands, NewFromAnImageStoresWhatTheImageHolds) {
    QTemporaryDir work;
    const std::string source = work.path().toStdString() + "/source";
    writeFile(source + "/top's file.txt", "top", 1'500'000'000);
    writeFile(source + "/100% sub_dir/inner.txt", "inner", 1'400'000'000);
    writeFile(source + "/caf\xC3\xA9/back\\slash", "b", 1'300'000'000);
    run(work.path(), "zip", {"-qr", "source/pack.zip", "source/100% sub_dir"});
    run(work.path() + "/source", "tar", {"czf", "nested.tar.gz", "pack.zip"});
    const std::string image = makeImage(work.path(), "source", "IMGLABEL");

    MessageBoxScript boxes;
    start();
    {
        ChooserScript chooser(QString::fromStdString(image));
        boxes.expect("Disc identification",
                     "The disc image \"IMGLABEL\" is now the disc number 1 of the "
                     "directory.\nEntries stored: 14",
                     IDOK_BOX);
        commandAction(CMD_NEW_IMAGE)->trigger();
        ASSERT_EQ(chooser.calls.size(), 1u);
        EXPECT_FALSE(chooser.calls[0].folder);
        EXPECT_EQ(chooser.calls[0].caption, "Choose the disc image to add to the directory");
        EXPECT_EQ(chooser.calls[0].filter, "Disc images (*.iso *.ISO);;All files (*)");
    }
    ASSERT_EQ(discItem(0)->text(0), "1 - IMGLABEL");
    const StoredTree fromImage = storedTree(db.name, 1);
    StoredTree outside;
    for (const auto& [path, entry] : fromImage)
        if (path.find(".zip/") == std::string::npos && path.find(".gz/") == std::string::npos)
            outside[path] = entry;
    StoredTree expected = folderTree(source);
    expected["pack.zip"].type = 'Z';
    expected["nested.tar.gz"].type = 'Z';
    for (auto& [path, entry] : expected)
        if (entry.type == 'R' && outside.count(path))
            entry.date = outside.at(path).date; // the image's own dates for folders
    EXPECT_EQ(outside, expected) << describe(fromImage);
    EXPECT_EQ(fromImage.at("nested.tar.gz/pack.zip/source/100% sub_dir/inner.txt").size, 5u);
    const std::vector<std::string> recorded = sourceRow(db.name, 1);
    ASSERT_EQ(recorded.size(), 9u);
    EXPECT_EQ(recorded[0], "I");
    EXPECT_EQ(recorded[1], image);
    EXPECT_EQ(recorded[3], "IMGLABEL");
    EXPECT_EQ(recorded[5], "iso9660");
    EXPECT_NE(recorded[4], "<NULL>"); // the CD-ROM serial of the image

    // The same image mounted: the drive path stores the same rows.
    const QString mountPoint = work.path() + "/mnt";
    const FuseMount mount(QString::fromStdString(image), mountPoint);
    if (!mount.mounted) {
        std::cout << "fuseiso comparison skipped: " << mount.why.toStdString() << "\n";
        return;
    }
    const int mounted = indexVolume(mountPoint.toStdString() + "/", "IMGLABEL", -1, nullptr);
    ASSERT_GT(mounted, 1);
    EXPECT_EQ(storedTree(db.name, mounted), fromImage)
        << "mounted:\n"
        << describe(storedTree(db.name, mounted)) << "image:\n"
        << describe(fromImage);
}

// A file that is no disc image, and an image cut short, are refused with their reason before
// anything is written.
TEST_F(DiscCommands, ImagesThatCannotBeReadAreRefusedAndLeaveNoDisc) {
    QTemporaryDir work;
    writeFile(work.path().toStdString() + "/notes.iso", "just some notes, not an image");
    for (int i = 0; i < 50; ++i)
        writeFile(work.path().toStdString() + "/source/file" + std::to_string(i),
                  std::string(20000, char('a' + i % 26)));
    const std::string image = makeImage(work.path(), "source", "CUT");
    std::string bytes;
    {
        std::ifstream in(image, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    writeFile(work.path().toStdString() + "/cut.iso", bytes.substr(0, bytes.size() / 2));
    writeFile(work.path().toStdString() + "/headless.iso", bytes.substr(0, 36 * 1024));
    run(work.path(), "zip", {"-qr", "pack.zip", "source/file1", "source/file2"});

    MessageBoxScript boxes;
    start();
    const std::pair<const char*, const char*> refused[] = {
        {"notes.iso", "The file \"%1\" is not a disc image that Tavisk can read.\nNothing was "
                      "added to the directory."},
        {"cut.iso", "The disc image \"%1\" is damaged: it could not be read to its end.\nNothing "
                    "was added to the directory."},
        {"headless.iso", "The disc image \"%1\" is damaged: it could not be read to its "
                         "end.\nNothing was added to the directory."},
        // An archive is no disc, though the archive library reads it.
        {"pack.zip", "The file \"%1\" is not a disc image that Tavisk can read.\nNothing was "
                     "added to the directory."},
    };
    for (const auto& [file, text] : refused) {
        const QString path = work.path() + "/" + file;
        ChooserScript chooser(path);
        boxes.expect("Disc image", QString::fromUtf8(text).arg(path), IDOK_BOX);
        commandAction(CMD_NEW_IMAGE)->trigger();
        EXPECT_EQ(boxes.calls().back().flags, unsigned(MB_OK | MB_ICONERROR)) << file;
        EXPECT_TRUE(discNames(db.name).empty()) << file;
    }
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);
}

// The sources table is made when first needed, in a catalogue without it; Delete removes the
// disc's record after the disc.
TEST_F(DiscCommands, TheSourcesTableIsMadeWhenNeededFilledAndEmptiedByDelete) {
    MessageBoxScript boxes;
    start();
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_TRUE(query(c, "show tables like 'tvk_disc_sources'").empty());
    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    EXPECT_EQ(query(c, "show tables like 'tvk_disc_sources'").size(), 1u);
    EXPECT_EQ(sourceRow(db.name, 1),
              (std::vector<std::string>{"D", letter(one), thisHost(), "ONE", "2147483649",
                                        "iso9660", "3", "9", "1"}));
    catalogueTree->setCurrentItem(discItem(0));
    boxes.expect("Confirmation of CD-ROM delete", IDYES);
    QTest::keyClick(catalogueTree, Qt::Key_Delete);
    EXPECT_TRUE(sourceRow(db.name, 1).empty());
    EXPECT_TRUE(query(c, "select * from tvk_disc_sources").empty());
    mysql_close(c);
}

// Update from a drive compares the disc in it with the recorded one: a changed serial (the
// label the same) is asked about, No by default, and No leaves the catalogue as it was. A disc
// with nothing recorded is updated without the question.
TEST_F(DiscCommands, UpdateAsksBeforeReplacingAnotherDisc) {
    MessageBoxScript boxes;
    start();
    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    const StoredTree before = storedTree(db.name, 1);
    // The same label in drive ONE, another serial.
    setDriveTable(std::vector<FakeDrive>{
        {one, DRIVE_CDROM, VolumeInformation{"ONE", 77, 255, 0x80001, "iso9660"}}});
    catalogueTree->setCurrentItem(discItem(0));
    boxes.expect("CD-ROM reading", IDYES)
        .expect("Another CD-ROM",
                QString::fromStdString("The CD-ROM \"ONE\" present in drive " + letter(one) +
                                       ": is not the CD-ROM number 1 \"ONE\" of the "
                                       "directory.\nWould you like to replace its filenames all "
                                       "the same ?"),
                IDNO);
    QueryLog log;
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(boxes.calls().back().flags, unsigned(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    for (const std::string& statement : log.statements(catalogueConnection))
        EXPECT_EQ(statement.rfind("select", 0), 0u) << statement;
    EXPECT_EQ(storedTree(db.name, 1), before);

    // The same disc again (label and serial as recorded): no question.
    setDriveTable(std::vector<FakeDrive>{
        {one, DRIVE_CDROM, VolumeInformation{"ONE", 0x80000001u, 255, 0x80001, "iso9660"}}});
    boxes.expect("CD-ROM reading", IDYES);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());

    // A disc catalogued before the table existed, or by another program: nothing to compare.
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "delete from tvk_disc_sources");
    mysql_close(c);
    setDriveTable(std::vector<FakeDrive>{
        {two, DRIVE_CDROM, VolumeInformation{"TWO", 1234, 110, 0x6, "udf"}}});
    catalogueTree->setCurrentItem(discItem(0));
    boxes.expect("CD-ROM reading", IDYES);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(storedTree(db.name, 1), folderTree(discTwo.path().toStdString()));
}

// Update of a disc read from a folder offers that folder first; No goes on with the drives.
TEST_F(DiscCommands, UpdateOfAFolderDiscOffersItsFolderFirst) {
    MessageBoxScript boxes;
    start();
    const std::string folder = discTwo.path().toStdString();
    {
        ChooserScript chooser(discTwo.path());
        boxes.expect("Disc identification", IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
    }
    writeFile(folder + "/added later.txt", "new");
    const QString offer = QString::fromStdString(
        "Would you like to update the CD-ROM number 1 of the directory with the files of \"" +
        folder + "\" ?");
    boxes.expect("CD-ROM reading", offer, IDYES);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(storedTree(db.name, 1), folderTree(folder));
    EXPECT_EQ(currentTreeItem, discItem(0));

    // No: the drives are offered, as for any disc.
    boxes.expect("CD-ROM reading", offer, IDNO)
        .expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "ONE", one)), IDNO)
        .expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "TWO", two)), IDNO);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    // A folder that is gone is not offered: the user is told why, and may look in the drives
    // or choose another folder, which is checked as the drives are.
    discTwo.remove();
    const QString gone = QString::fromStdString(
        "The disc number 1 was read from \"" + folder +
        "\", which is no longer there.\nWould you like to choose another folder to update it "
        "from ?\n(No: look for the disc in the drives)");
    boxes.expect("CD-ROM reading", gone, IDNO)
        .expect("CD-ROM reading", QString::fromStdString(askUpdate(1, "ONE", one)), IDNO)
        .expect("CD-ROM reading", IDNO);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    const std::string docs = one + "docs";
    boxes.expect("CD-ROM reading", gone, IDYES)
        .expect("Another CD-ROM",
                QString::fromStdString("\"" + docs +
                                       "\" is not the volume from which the disc number 1 "
                                       "\"TWO\" was read. The disc holds 4 entries in the "
                                       "directory.\nWould you like to replace them all the same ?"),
                IDYES);
    {
        ChooserScript chooser(QString::fromStdString(docs));
        QTest::keyClick(catalogueTree, Qt::Key_F5);
        ASSERT_EQ(chooser.calls.size(), 1u);
        EXPECT_EQ(chooser.calls[0].caption, "Choose the folder to update the disc number 1 from");
    }
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(boxes.calls().back().flags, unsigned(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
    EXPECT_EQ(storedTree(db.name, 1), folderTree(docs));
    EXPECT_EQ(sourceRow(db.name, 1).at(1), docs);
}

// A folder that no longer holds the volume it was read from is not offered, and the user is
// told so: its mount point left as an empty folder when its stick is unplugged (the label is
// no longer the disc's), or another stick of the same label mounted in its place (a folder on
// it is told apart by the file system's UUID).
TEST_F(DiscCommands, AFolderThatIsNoLongerItsVolumeIsNotOffered) {
    struct Case {
        const char* what;
        std::string folder;                     // the folder added, below or at drive `one`
        std::optional<VolumeInformation> later; // the volume at `one` at the update
    };
    const Case cases[] = {
        {"unmounted", one, std::nullopt},
        {"another stick", one + "docs", VolumeInformation{"ONE", 77, 255, 0, "vfat", "2222-BBBB"}},
    };
    MessageBoxScript boxes;
    start();
    int disc = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setDriveTable(std::vector<FakeDrive>{
            {one, DRIVE_CDROM, VolumeInformation{"ONE", 77, 255, 0, "vfat", "1111-AAAA"}}});
        {
            ChooserScript chooser(QString::fromStdString(c.folder));
            boxes.expect("Disc identification", IDOK_BOX);
            commandAction(CMD_NEW_FOLDER)->trigger();
        }
        ++disc;
        const StoredTree before = storedTree(db.name, disc);
        std::vector<FakeDrive> later{
            {two, DRIVE_CDROM, VolumeInformation{"TWO", 1234, 110, 6, "udf"}}};
        if (c.later)
            later.push_back({one, DRIVE_CDROM, c.later});
        setDriveTable(later);
        catalogueTree->setCurrentItem(discItem(disc - 1));
        boxes
            .expect("CD-ROM reading",
                    QString::fromStdString("The disc number " + std::to_string(disc) +
                                           " was read from \"" + withoutSlash(c.folder) +
                                           "\", which no longer holds the same volume.\nWould "
                                           "you like to choose another folder to update it from "
                                           "?\n(No: look for the disc in the drives)"),
                    IDNO)
            .expect("CD-ROM reading", IDNO);
        if (c.later)
            boxes.expect("CD-ROM reading", IDNO);
        QTest::keyClick(catalogueTree, Qt::Key_F5);
        EXPECT_TRUE(boxes.allShown());
        EXPECT_EQ(storedTree(db.name, disc), before);
    }
}

// ---- Stopping an indexing, what it left out, and what the directory holds already ----

// While dialog 550 runs, calls `act` with its window once its count of entries read shows.
struct WhileIndexing {
    QTimer watch;
    int shown = -1; // the count the dialog showed when `act` ran
    explicit WhileIndexing(std::function<void(QWidget*)> act) {
        QObject::connect(&watch, &QTimer::timeout, [this, act] {
            for (QWidget* widget : QApplication::allWidgets()) {
                auto* label = qobject_cast<QLabel*>(widget);
                if (shown < 0 && label && label->text().startsWith("Entries read: ")) {
                    shown = label->text().mid(14).toInt();
                    act(label->window());
                    return;
                }
            }
        });
        watch.start(0);
    }
};

// The last box shown under `caption`.
MessageBoxCall lastBox(const MessageBoxScript& boxes, const QString& caption) {
    for (auto call = boxes.calls().rbegin(); call != boxes.calls().rend(); ++call)
        if (call->caption == caption)
            return *call;
    return {};
}

// src_complete of disc `disc`'s record ("<NULL>" when none).
std::string completeFlag(const std::string& database, int disc) {
    MYSQL* c = TestServer::get().connect(database);
    const auto rows = query(c, "select src_complete from tvk_disc_sources where src_cd_id = " +
                                   std::to_string(disc));
    mysql_close(c);
    return rows.empty() ? "<NULL>" : rows[0][0];
}

// The dialog counts the entries it reads. Its Cancel button stops a new disc, which leaves
// nothing behind; Escape stops an update, which keeps what it read, says so, and marks the
// disc incomplete.
TEST_F(DiscCommands, CancelAndEscapeStopTheIndexing) {
    for (int i = 0; i < 300; ++i)
        writeFile(one + "f" + std::to_string(i));
    MessageBoxScript boxes;
    start();
    {
        WhileIndexing cancel([](QWidget* dialog) {
            for (auto* button : dialog->findChildren<QPushButton*>())
                if (button->text() == "Cancel")
                    QTest::mouseClick(button, Qt::LeftButton);
        });
        boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM reading", IDNO);
        commandAction(CMD_NEW)->trigger();
        EXPECT_EQ(cancel.shown, 1);
    }
    EXPECT_TRUE(boxes.allShown());
    EXPECT_TRUE(discNames(db.name).empty());
    EXPECT_TRUE(entryIds(db.name, 1).empty());
    EXPECT_TRUE(sourceRow(db.name, 1).empty());
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 0);

    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    const std::size_t whole = entryIds(db.name, 2).size();
    ASSERT_EQ(whole, 303u);
    catalogueTree->setCurrentItem(discItem(0));
    WhileIndexing escape([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    boxes.expect("CD-ROM reading", IDYES).expect("Indexing stopped", IDOK_BOX);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    const std::size_t kept = entryIds(db.name, 2).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, whole);
    EXPECT_EQ(boxes.calls().back().text,
              QString("The update of the disc number 2 was stopped: the disc now holds %1 entries.")
                  .arg(kept));
    EXPECT_EQ(boxes.calls().back().flags, unsigned(MB_OK | MB_ICONWARNING));
    EXPECT_EQ(completeFlag(db.name, 2), "0");
    EXPECT_EQ(currentTreeItem, discItem(0));
}

// Folders that cannot be opened are named after the disc's number (the first 20, then how many
// more), and the record marks the disc incomplete; a sources table of an earlier version gets
// the columns it lacks and keeps its rows.
TEST_F(DiscCommands, FoldersNotOpenedAreNamedAndTheDiscIsMarkedIncomplete) {
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "CREATE TABLE `tvk_disc_sources` (  `src_cd_id` int(11) NOT NULL,  `src_kind` "
            "char(1) NOT NULL,  `src_path` text,  `src_host` varchar(255) default NULL,  "
            "`src_label` varchar(255) default NULL,  `src_serial` int(10) unsigned default NULL, "
            " `src_fs` varchar(64) default NULL,  `src_entries` bigint(20) unsigned default NULL, "
            " `src_bytes` bigint(20) unsigned default NULL,  `src_read_at` datetime default NULL,"
            "  PRIMARY KEY  (`src_cd_id`)) ENGINE=MyISAM DEFAULT CHARSET=latin1");
    exec(c, "insert into tvk_disc_sources (src_cd_id, src_kind, src_path) values (9, 'F', '/x')");
    QTemporaryDir plain;
    const std::string folder = plain.path().toStdString();
    writeFile(folder + "/open/a.txt");
    for (int i = 0; i < 22; ++i) {
        writeFile(folder + "/closed" + std::to_string(i) + "/secret.txt");
        ::chmod((folder + "/closed" + std::to_string(i)).c_str(), 0);
    }
    MessageBoxScript boxes;
    start();
    {
        WithoutDacOverride guard;
        if (geteuid() == 0 && !guard.dropped)
            GTEST_SKIP() << "running as root without a way to drop the override of permissions";
        ChooserScript chooser(plain.path());
        boxes.expect("Disc identification", IDOK_BOX).expect("Incomplete disc", IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
    }
    for (int i = 0; i < 22; ++i)
        ::chmod((folder + "/closed" + std::to_string(i)).c_str(), 0755);
    ASSERT_TRUE(boxes.allShown());
    EXPECT_EQ(boxes.calls().back().flags, unsigned(MB_OK | MB_ICONWARNING));
    const QStringList lines = boxes.calls().back().text.split('\n');
    ASSERT_EQ(lines.size(), 22);
    EXPECT_EQ(lines.front(),
              "The disc number 1 is incomplete in the directory: what follows was left out.");
    for (int i = 1; i <= 20; ++i)
        EXPECT_TRUE(lines[i].startsWith("Folder not opened: closed")) << lines[i].toStdString();
    EXPECT_EQ(lines.back(), "... and 2 more");
    EXPECT_EQ(completeFlag(db.name, 1), "0");
    EXPECT_EQ(sourceRow(db.name, 1).at(6), "24"); // every folder stored, and open/a.txt
    EXPECT_EQ(query(c, "select src_path, src_complete from tvk_disc_sources where src_cd_id = 9"),
              (std::vector<std::vector<std::string>>{{"/x", "<NULL>"}}));
    mysql_close(c);
}

// An archive bomb on a disc is cut short at the archive library's bound, and the end of the
// indexing names it: the disc is stored, marked incomplete, and the walk went on past it.
TEST_F(DiscCommands, AnArchiveBombIsCutShortAndNamedAtTheEnd) {
    QTemporaryDir plain;
    const std::string folder = plain.path().toStdString();
    const std::string bomb =
        std::string(std::getenv("TAVISK_SOURCE_DIR")) + "/tests/plg/fixtures/zeros-2GiB.tar.bz2";
    ASSERT_TRUE(QDir().mkpath(plain.path() + "/a"));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(bomb), plain.path() + "/a/bomb.tar.bz2"));
    writeFile(folder + "/z/after.txt");
    MessageBoxScript boxes;
    start();
    ChooserScript chooser(plain.path());
    boxes.expect("Disc identification", IDOK_BOX).expect("Incomplete disc", IDOK_BOX);
    commandAction(CMD_NEW_FOLDER)->trigger();
    ASSERT_TRUE(boxes.allShown());
    EXPECT_EQ(boxes.calls().back().text.split('\n').mid(1),
              QStringList{"Archive cut short: a/bomb.tar.bz2 (its data grows far beyond its own "
                          "size)"});
    EXPECT_EQ(completeFlag(db.name, 1), "0");
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select count(*) from fic_fichiers where fic_nom = 'after.txt'"),
              (std::vector<std::vector<std::string>>{{"1"}}));
    mysql_close(c);
}

// Update never empties a disc from a source that holds nothing without asking, No by default
// (a folder emptied, a blank disc in the drive), and the question names what the disc holds.
TEST_F(DiscCommands, UpdateFromASourceThatHoldsNothingAsksFirst) {
    QTemporaryDir work;
    const std::string folder = work.path().toStdString() + "/folder";
    writeFile(folder + "/a/b.txt");
    MessageBoxScript boxes;
    start();
    {
        ChooserScript chooser(QString::fromStdString(folder));
        boxes.expect("Disc identification", IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
    }
    boxes.expect("CD-ROM reading", IDYES).expect("CD-ROM identification", IDOK_BOX);
    boxes.expect("CD-ROM reading", IDNO);
    commandAction(CMD_NEW)->trigger();
    ::system(("rm -rf '" + folder + "/a' '" + one + "'*").c_str());
    struct Case {
        int disc;
        std::string source;
        int held;
    };
    const Case cases[] = {{1, folder, 2}, {2, withoutSlash(one), 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.disc);
        const StoredTree before = storedTree(db.name, c.disc);
        catalogueTree->setCurrentItem(discItem(c.disc - 1));
        boxes.expect("CD-ROM reading", IDYES)
            .expect("Nothing to read",
                    QString::fromStdString("The disc number " + std::to_string(c.disc) + " holds " +
                                           std::to_string(c.held) +
                                           " entries in the directory, and \"" + c.source +
                                           "\" holds none.\nWould you like to empty the disc all "
                                           "the same ?"),
                    IDNO);
        if (c.disc == 2)
            boxes.expect("CD-ROM reading", IDNO); // the next drive
        QTest::keyClick(catalogueTree, Qt::Key_F5);
        EXPECT_TRUE(boxes.allShown());
        EXPECT_EQ(lastBox(boxes, "Nothing to read").flags,
                  unsigned(MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2));
        EXPECT_EQ(storedTree(db.name, c.disc), before);
    }
    // Yes empties it, as asked.
    catalogueTree->setCurrentItem(discItem(0));
    boxes.expect("CD-ROM reading", IDYES).expect("Nothing to read", IDYES);
    QTest::keyClick(catalogueTree, Qt::Key_F5);
    EXPECT_TRUE(boxes.allShown());
    EXPECT_TRUE(entryIds(db.name, 1).empty());
}

// New of a volume, a folder or an image that the directory holds already asks whether to
// update that disc (Yes), add another disc (No) or add nothing (Cancel).
TEST_F(DiscCommands, NewOfWhatTheDirectoryHoldsAlreadyAsks) {
    QTemporaryDir work;
    const std::string folder = work.path().toStdString() + "/Photos";
    writeFile(folder + "/p.jpg");
    writeFile(work.path().toStdString() + "/source/c.txt");
    const std::string image = makeImage(work.path(), "source", "IMG");
    MessageBoxScript boxes;
    start();
    struct Case {
        int command;
        std::string chosen; // the chooser's answer (none for a drive)
        std::string label;
        std::string added; // a file added before the update, below the source
        const char* number;
    };
    const Case cases[] = {
        {CMD_NEW, "", "ONE", one + "new.txt", "CD-ROM identification"},
        {CMD_NEW_FOLDER, folder, "Photos", folder + "/new.jpg", "Disc identification"},
        {CMD_NEW_IMAGE, image, "IMG", "", "Disc identification"}};
    int discs = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ChooserScript chooser(QString::fromStdString(c.chosen));
        // The drive scan asks for ONE (Yes) and TWO (No) around what follows.
        const auto newOf = [&](std::initializer_list<std::pair<const char*, int>> then) {
            if (c.command == CMD_NEW)
                boxes.expect("CD-ROM reading", IDYES);
            for (const auto& [caption, answer] : then)
                boxes.expect(caption, answer);
            if (c.command == CMD_NEW)
                boxes.expect("CD-ROM reading", IDNO);
            commandAction(c.command)->trigger();
            EXPECT_TRUE(boxes.allShown());
        };
        newOf({{c.number, IDOK_BOX}});
        const int disc = ++discs;
        newOf({{"Disc already in the directory", IDCANCEL_BOX}});
        const MessageBoxCall asked = lastBox(boxes, "Disc already in the directory");
        EXPECT_EQ(asked.text,
                  QString::fromStdString("\"" + c.label +
                                         "\" is already in the directory as the disc number " +
                                         std::to_string(disc) + " \"" + c.label +
                                         "\".\nYes: update that disc\nNo: add it as another "
                                         "disc\nCancel: add nothing"));
        EXPECT_EQ(asked.flags, unsigned(MB_YESNOCANCEL | MB_ICONQUESTION));
        EXPECT_EQ(discNames(db.name).size(), std::size_t(discs));
        if (!c.added.empty())
            writeFile(c.added);
        newOf({{"Disc already in the directory", IDYES}});
        EXPECT_EQ(discNames(db.name).size(), std::size_t(discs));
        if (!c.added.empty()) {
            EXPECT_EQ(storedTree(db.name, disc), folderTree(c.command == CMD_NEW ? one : folder));
        }
        EXPECT_EQ(currentTreeItem, discItem(disc - 1));
        newOf({{"Disc already in the directory", IDNO}, {c.number, IDOK_BOX}});
        EXPECT_EQ(discNames(db.name).size(), std::size_t(++discs));
    }
}

// Both new commands speak the interface's language.
TEST_F(DiscCommands, TheNewCommandsInFrench) {
    MessageBoxScript boxes;
    writeSettings(home, TestServer::get().port, db.name);
    tavisk = std::make_unique<RunningTavisk>("fr_FR.UTF-8");
    ASSERT_TRUE(tavisk->started());
    EXPECT_EQ(commandAction(CMD_NEW_FOLDER)->text(), "Nouveau depuis un &dossier...");
    EXPECT_EQ(commandAction(CMD_NEW_IMAGE)->text(),
              QString::fromUtf8("Nouveau depuis une &image de disque..."));
    {
        ChooserScript chooser(discOne.path() + "/docs");
        boxes.expect(QString::fromUtf8("Identification du disque"),
                     QString::fromUtf8("Le dossier \"docs\" est désormais le disque n°1 du "
                                       "répertoire.\nEntrées enregistrées : 1"),
                     IDOK_BOX);
        commandAction(CMD_NEW_FOLDER)->trigger();
        ASSERT_EQ(chooser.calls.size(), 1u);
        EXPECT_EQ(chooser.calls[0].caption,
                  QString::fromUtf8("Choisissez le dossier à répertorier"));
    }
    QTemporaryDir work;
    writeFile(work.path().toStdString() + "/notes.iso", "not an image");
    ChooserScript chooser(work.path() + "/notes.iso");
    boxes.expect("Image de disque",
                 QString::fromUtf8("Le fichier \"%1\" n'est pas une image de disque que Tavisk "
                                   "sait lire.\nRien n'a été ajouté au répertoire.")
                     .arg(work.path() + "/notes.iso"),
                 IDOK_BOX);
    commandAction(CMD_NEW_IMAGE)->trigger();
    EXPECT_EQ(chooser.calls.at(0).caption,
              QString::fromUtf8("Choisissez l'image de disque à répertorier"));
    EXPECT_EQ(chooser.calls.at(0).filter, "Images de disque (*.iso *.ISO);;Tous les fichiers (*)");
    EXPECT_TRUE(boxes.allShown());
}

} // namespace
} // namespace tvk::test
