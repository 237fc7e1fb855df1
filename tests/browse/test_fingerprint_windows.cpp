// The windows of the content fingerprints in the running program against the test server:
// the duplicates and their places in the tree, the files of a local folder found on the
// discs, and the verification of a folder disc with its saved report.
#include "browse/catalogue_tree.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "catalogue/fingerprints.h"
#include "indexing/fingerprint.h"
#include "indexing/indexing_options.h"
#include "lang/resource.h"
#include "platform/file_chooser.h"
#include "shell/commands.h"
#include "shell/statusbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"
#include "tests/support/test_server.h"
#include "tests/support/without_dac_override.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <sys/stat.h>

namespace tvk::test {
namespace {

void writeFile(const QString& path, const QByteArray& data) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

std::string hex(const ContentHash& hash) {
    return QByteArray(reinterpret_cast<const char*>(hash.data()), int(hash.size()))
        .toHex()
        .toStdString();
}

// The open window titled `title`, or null.
QDialog* windowTitled(const QString& title) {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget);
            dialog && dialog->isVisible() && dialog->windowTitle() == title)
            return dialog;
    return nullptr;
}

// The window's summary line and its list as lines, children indented by two spaces.
QString summaryOf(QDialog* window) {
    return window->findChild<QLabel*>()->text();
}
QStringList linesOf(QDialog* window) {
    QStringList lines;
    QTreeWidget* list = window->findChild<QTreeWidget*>();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        lines << list->topLevelItem(i)->text(0);
        for (int j = 0; j < list->topLevelItem(i)->childCount(); ++j)
            lines << "  " + list->topLevelItem(i)->child(j)->text(0);
    }
    return lines;
}

class FingerprintWindows : public ::testing::Test {
protected:
    ScopedConfigHome home;
    ScopedDatabase db{"tvk_fpwin"};
    QTemporaryDir local;
    std::unique_ptr<RunningTavisk> tavisk;

    // Disc 1 "Alpha" and disc 2 "Beta" with fingerprints: the contents of the local file
    // same.jpg three times (once inside an archive), and b.txt once. Disc 3 "Gamma" has none:
    // its b.txt joins disc 1's by name and size.
    void SetUp() override {
        makeCatalogueWithVersion(db.name, 1, 3);
        writeFile(local.path() + "/same.jpg", "12345");
        writeFile(local.path() + "/other.txt", "xyz");
        const std::string same =
            hex(fingerprintFile(local.filePath("same.jpg").toStdString()).hash);
        MYSQL* c = TestServer::get().connect(db.name);
        ASSERT_TRUE(ensureFingerprintTable(c));
        exec(c, "insert into cd_disques_compact values (1, 'Alpha', 'D'), (2, 'Beta', 'D'), "
                "(3, 'Gamma', 'D')");
        exec(c, "insert into fic_fichiers values (1, 1, 'Photos', NULL, 'R', NULL, NULL), "
                "(1, 2, 'a.jpg', 5, 'F', NULL, 1), (1, 3, 'b.txt', 3, 'F', NULL, NULL), "
                "(2, 1, 'copy.jpg', 5, 'F', NULL, NULL), (2, 2, 'pack.zip', 9, 'Z', NULL, NULL), "
                "(2, 3, 'a2.jpg', 5, 'F', NULL, 2), (3, 1, 'b.txt', 3, 'F', NULL, NULL)");
        exec(c, "insert into tvk_file_hashes values (1, 2, 5, x'" + same + "'), (2, 1, 5, x'" +
                    same + "'), (2, 3, 5, x'" + same + "'), (1, 3, 3, x'" + std::string(32, 'a') +
                    "')");
        mysql_close(c);
        QDir().mkpath(home.path() + "/vorka");
        QFile settings(home.settingsFile());
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(QByteArray::fromStdString(
            "[General]\nhote=127.0.0.1\nport=" + std::to_string(TestServer::get().port) +
            "\nutil=root\nmdp=" + TestServer::get().password + "\nbase=" + db.name + "\n"));
        settings.close();
        tavisk = std::make_unique<RunningTavisk>();
        ASSERT_TRUE(tavisk->started());
    }
    void TearDown() override { setFileChooserHook({}); }
};

// The groups, the most wasteful first; a member selected shows its place in the tree as a
// search hit does, and the whole tree comes back when the window closes.
TEST_F(FingerprintWindows, DuplicatesAreGroupedAndLocated) {
    MessageBoxScript none;
    commandAction(CMD_DUPLICATES)->trigger();
    QDialog* window = windowTitled("Duplicates");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(summaryOf(window), "Groups of duplicates: 2; bytes wasted: 13. Select a file to "
                                 "see where it lies.");
    EXPECT_EQ(
        linesOf(window),
        (QStringList{"3 copies of 5 bytes (10 bytes wasted)", "  Disc 1 \"Alpha\": Photos/a.jpg",
                     "  Disc 2 \"Beta\": copy.jpg", "  Disc 2 \"Beta\": pack.zip/a2.jpg",
                     "2 copies of 3 bytes (3 bytes wasted) (same name and size only: a "
                     "disc without fingerprints)",
                     "  Disc 1 \"Alpha\": b.txt", "  Disc 3 \"Gamma\": b.txt"}));
    QTreeWidget* list = window->findChild<QTreeWidget*>();
    list->setCurrentItem(list->topLevelItem(0)->child(2));
    EXPECT_EQ(currentStatusText(), "CD 2, Directory 2");
    ASSERT_EQ(catalogueTree->topLevelItemCount(), 1);
    EXPECT_EQ(catalogueTree->topLevelItem(0)->child(0)->text(0), "pack.zip");
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(catalogueTree->topLevelItemCount(), 3);
}

// A folder of this computer: the files on no disc first, each file found with the entries
// that hold its contents (a file of the same size but other contents is on no disc), and the
// summary of files and bytes.
TEST_F(FingerprintWindows, FindOnDiscsTellsWhatAFolderHasOnDiscs) {
    MessageBoxScript none;
    setFileChooserHook([this](const FileChooserCall& call) {
        EXPECT_TRUE(call.folder);
        return local.path();
    });
    commandAction(CMD_FIND_ON_DISCS)->trigger();
    QDialog* window = windowTitled("Find on discs");
    ASSERT_NE(window, nullptr);
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text() == "F&older...")
            button->click();
    EXPECT_EQ(summaryOf(window), "1 of 2 files (5 of 8 bytes) are on discs.");
    EXPECT_EQ(linesOf(window),
              (QStringList{local.path() + "/other.txt \u2014 on no disc",
                           local.path() + "/same.jpg", "  Disc 1 \"Alpha\": Photos/a.jpg",
                           "  Disc 2 \"Beta\": copy.jpg", "  Disc 2 \"Beta\": pack.zip/a2.jpg"}));
    window->close();
}

// A folder disc read again from its folder: each kind of difference is listed, the report is
// saved as text, and nothing in the catalogue changes.
TEST_F(FingerprintWindows, VerifyListsWhatChangedAndSavesTheReport) {
    QTemporaryDir disc;
    for (const char* name : {"a.txt", "b.txt", "c.txt", "secret.txt"})
        writeFile(disc.filePath(name), name);
    MessageBoxScript boxes;
    boxes.expect("Disc identification", IDOK_BOX);
    setFileChooserHook([&](const FileChooserCall&) { return disc.path(); });
    commandAction(CMD_NEW_FOLDER)->trigger();
    ASSERT_TRUE(boxes.allShown());
    writeFile(disc.filePath("b.txt"), "longer now");
    QFile::remove(disc.filePath("c.txt"));
    writeFile(disc.filePath("d.txt"), "new");
    ::chmod(QFile::encodeName(disc.filePath("secret.txt")).constData(), 0);
    MYSQL* c = TestServer::get().connect(db.name);
    const auto checksum = [c] { return query(c, "checksum table fic_fichiers, tvk_disc_sources"); };
    const auto before = checksum();

    catalogueTree->setCurrentItem(catalogueTree->topLevelItem(3));
    {
        WithoutDacOverride guard;
        commandAction(CMD_VERIFY)->trigger();
    }
    QDialog* window = windowTitled("Verification of the disc number 4");
    ASSERT_NE(window, nullptr);
    const bool unreadable = ::geteuid() != 0 || WithoutDacOverride().dropped;
    QStringList expected{"Changed\tb.txt", "Missing\tc.txt", "New\td.txt"};
    if (unreadable)
        expected << "Unreadable\tsecret.txt";
    EXPECT_EQ(linesOf(window), expected);
    EXPECT_EQ(summaryOf(window), QString("Unchanged: %1; changed: 1; unreadable: %2; missing: 1; "
                                         "new: 1")
                                     .arg(unreadable ? 1 : 2)
                                     .arg(unreadable ? 1 : 0));
    EXPECT_EQ(checksum(), before);
    mysql_close(c);

    const QString saved = local.filePath("report.txt");
    setFileChooserHook([&](const FileChooserCall& call) {
        EXPECT_TRUE(call.save);
        return saved;
    });
    for (QPushButton* button : window->findChildren<QPushButton*>())
        if (button->text() == "&Save...")
            button->click();
    QFile report(saved);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(report.readAll());
    EXPECT_TRUE(text.contains("Missing\tc.txt\n")) << text.toStdString();
    EXPECT_TRUE(text.contains("New\t1\n")) << text.toStdString();
    window->close();
}

// The options start with images fingerprinted and drives and folders not; OK keeps what the
// user ticked in the settings file, Cancel nothing.
TEST_F(FingerprintWindows, IndexingOptionsAreKeptInTheSettingsFile) {
    EXPECT_FALSE(readIndexingOptions().fingerprintFolders);
    EXPECT_TRUE(readIndexingOptions().fingerprintImages);
    for (const bool accept : {false, true}) {
        QTimer::singleShot(0, [accept] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            EXPECT_EQ(dialog->windowTitle(), "Indexing options");
            for (QCheckBox* box : dialog->findChildren<QCheckBox*>())
                box->click();
            accept ? dialog->accept() : dialog->reject();
        });
        commandAction(CMD_INDEXING_OPTIONS)->trigger();
        EXPECT_EQ(readIndexingOptions().fingerprintFolders, accept);
        EXPECT_EQ(readIndexingOptions().fingerprintImages, !accept);
    }
    QFile settings(home.settingsFile());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray text = settings.readAll();
    EXPECT_TRUE(text.contains("empreintes_dossiers=1") && text.contains("empreintes_images=0"))
        << text.toStdString();
}

// Fingerprints while a folder is read (the option on): every readable file's and the files in
// its archives, the unreadable one named at the end; Update replaces them and Delete removes
// them, leaving none behind.
TEST_F(FingerprintWindows, IndexingFingerprintsAndUpdateAndDeleteRemoveThem) {
    storeIndexingOptions({true, true});
    QTemporaryDir disc;
    writeFile(disc.filePath("a.txt"), "12345");
    writeFile(disc.filePath("in/a.txt"), "12345");
    ASSERT_EQ(
        QProcess::execute("zip", {"-qj", disc.filePath("pack.zip"), disc.filePath("in/a.txt")}), 0);
    writeFile(disc.filePath("secret.txt"), "s");
    ::chmod(QFile::encodeName(disc.filePath("secret.txt")).constData(), 0);
    MYSQL* c = TestServer::get().connect(db.name);
    const auto hashes = [c] {
        return query(c, "select count(*), sum(f.fic_id is null) from tvk_file_hashes h left join "
                        "fic_fichiers f on f.fic_cd_id = h.cd_id and f.fic_id = h.fic_id "
                        "where h.cd_id = 4")[0];
    };
    WithoutDacOverride guard;
    const bool unreadable = ::geteuid() != 0 || guard.dropped;
    MessageBoxScript boxes;
    boxes.expect("Disc identification", IDOK_BOX);
    if (unreadable)
        boxes.expect("Incomplete disc",
                     "The disc number 4 is incomplete in the directory: what follows was left "
                     "out.\nFile not read, stored without its fingerprint: secret.txt",
                     IDOK_BOX);
    setFileChooserHook([&](const FileChooserCall&) { return disc.path(); });
    commandAction(CMD_NEW_FOLDER)->trigger();
    EXPECT_TRUE(boxes.allShown());
    // a.txt, in/a.txt, pack.zip and the a.txt inside it (and secret.txt when root reads it).
    EXPECT_EQ(hashes(), (std::vector<std::string>{unreadable ? "4" : "5", "0"}));

    QFile::remove(disc.filePath("in/a.txt"));
    catalogueTree->setCurrentItem(catalogueTree->topLevelItem(3));
    boxes.expect("CD-ROM reading", IDYES);
    if (unreadable)
        boxes.expect("Incomplete disc", IDOK_BOX);
    commandAction(CMD_UPDATE)->trigger();
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(hashes(), (std::vector<std::string>{unreadable ? "3" : "4", "0"}));

    catalogueTree->setCurrentItem(catalogueTree->topLevelItem(3));
    boxes.expect("Confirmation of CD-ROM delete", IDYES);
    commandAction(CMD_DELETE)->trigger();
    EXPECT_TRUE(boxes.allShown());
    EXPECT_EQ(hashes(), (std::vector<std::string>{"0", "<NULL>"}));
    mysql_close(c);
}

} // namespace
} // namespace tvk::test
