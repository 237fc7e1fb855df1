// The connection settings in their store: defaults on a first start, the value names, the
// failures reported under "GetLastError", and the privacy of the file that holds the password.
#include "catalogue/settings.h"
#include "platform/settings_store.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/message_box_script.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace tvk;
using tvk::test::MessageBoxScript;
using tvk::test::ScopedConfigHome;

unsigned modeOf(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

void writeFile(const QString& path, const QByteArray& content) {
    QFileInfo(path).dir().mkpath(QStringLiteral("."));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        tvk::test::useEnglishModule();
        connectionSettings = ConnectionSettings{};
    }
    ScopedConfigHome home;
};

TEST_F(SettingsStore, FirstStartCreatesAnEmptyPrivateKeyAndUsesTheDefaults) {
    ASSERT_FALSE(QFileInfo::exists(home.settingsFile()));
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "localhost");
    EXPECT_EQ(connectionSettings.port, 3306u);
    EXPECT_EQ(connectionSettings.user, "root");
    EXPECT_EQ(connectionSettings.password, "");
    EXPECT_EQ(connectionSettings.database, "Tavisk");
    // The key exists after a read, and nothing was written into it.
    ASSERT_TRUE(QFileInfo::exists(home.settingsFile()));
    EXPECT_EQ(QFileInfo(home.settingsFile()).size(), 0);
    EXPECT_EQ(modeOf(home.settingsFile()), 0600u);
    EXPECT_EQ(modeOf(home.path() + "/vorka"), 0700u);
}

TEST_F(SettingsStore, ReadsTheFiveValuesByTheirExactNames) {
    writeFile(home.settingsFile(), "[General]\nhote=db.example\nport=3307\nutil=alice\n"
                                   "mdp=secret\nbase=Catalogue\nHote=wrong\nMDP=wrong\nother=1\n");
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "db.example");
    EXPECT_EQ(connectionSettings.port, 3307u);
    EXPECT_EQ(connectionSettings.user, "alice");
    EXPECT_EQ(connectionSettings.password, "secret");
    EXPECT_EQ(connectionSettings.database, "Catalogue");
}

TEST_F(SettingsStore, NamesDifferingOnlyInCaseAreNotRead) {
    writeFile(home.settingsFile(), "[General]\nHote=elsewhere\nBASE=Other\nUtil=bob\n");
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "localhost");
    EXPECT_EQ(connectionSettings.database, "Tavisk");
    EXPECT_EQ(connectionSettings.user, "root");
}

TEST_F(SettingsStore, EmptyValuesAndAPortThatIsNotANumberTakeTheDefaults) {
    writeFile(home.settingsFile(), "[General]\nhote=\nport=33x6\nutil=\nmdp=\nbase=\n");
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "localhost");
    EXPECT_EQ(connectionSettings.port, 3306u);
    EXPECT_EQ(connectionSettings.user, "root");
    EXPECT_EQ(connectionSettings.password, "");
    EXPECT_EQ(connectionSettings.database, "Tavisk");
}

TEST_F(SettingsStore, AValueTooLongIsReportedAndNoDefaultIsApplied) {
    // Values come in name order: "base" and "hote" are read before the long "mdp" stops it.
    writeFile(home.settingsFile(), "[General]\nbase=Mine\nhote=server\nmdp=" +
                                       QByteArray(256, 'x') + "\nport=4000\nutil=carol\n");
    MessageBoxScript boxes;
    boxes.expect("GetLastError", "More data is available.", IDOK_BOX);
    readConnectionSettings();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].owner, nullptr);
    EXPECT_EQ(boxes.calls()[0].flags, unsigned(MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(connectionSettings.database, "Mine");
    EXPECT_EQ(connectionSettings.host, "server");
    EXPECT_EQ(connectionSettings.password, "");
    EXPECT_EQ(connectionSettings.port, 0u);
    EXPECT_EQ(connectionSettings.user, "");
}

TEST_F(SettingsStore, AValueOf255CharactersFits) {
    writeFile(home.settingsFile(), "[General]\nmdp=" + QByteArray(255, 'y') + "\n");
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.password, std::string(255, 'y'));
}

TEST_F(SettingsStore, AFileThatCannotBeReadIsReportedWithoutDefaults) {
    // A folder where the file should be: the key opens, its values cannot be read.
    ASSERT_TRUE(QDir().mkpath(home.settingsFile()));
    MessageBoxScript boxes;
    boxes.expect("GetLastError", IDOK_BOX);
    readConnectionSettings();
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_TRUE(boxes.calls()[0].text.startsWith("Access is denied."));
    EXPECT_EQ(connectionSettings.host, "");
    EXPECT_EQ(connectionSettings.port, 0u);
}

TEST_F(SettingsStore, AKeyThatCannotBeOpenedLeavesTheRecordAndWritesNothing) {
    // A file where the folder should be.
    writeFile(home.path() + "/vorka", "not a folder");
    connectionSettings.host = "kept";
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "kept");
    EXPECT_EQ(connectionSettings.port, 0u);
    storeConnectionSettings();
    EXPECT_EQ(readFile(home.path() + "/vorka"), "not a folder");
}

TEST_F(SettingsStore, StoringWritesTheFiveValuesAndTheyReadBackAsStored) {
    connectionSettings = {"host.example", "dave", "p@ss \"w=o;r#d\\ ,é", "Base", 4321};
    storeConnectionSettings();
    const QByteArray content = readFile(home.settingsFile());
    for (const char* name : {"hote=", "port=4321", "util=", "mdp=", "base="})
        EXPECT_TRUE(content.contains(name)) << name;

    connectionSettings = ConnectionSettings{};
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "host.example");
    EXPECT_EQ(connectionSettings.user, "dave");
    EXPECT_EQ(connectionSettings.password, "p@ss \"w=o;r#d\\ ,é");
    EXPECT_EQ(connectionSettings.database, "Base");
    EXPECT_EQ(connectionSettings.port, 4321u);
}

TEST_F(SettingsStore, EmptyStoredValuesBecomeDefaultsAtTheNextStart) {
    connectionSettings = {"", "", "", "", 0};
    storeConnectionSettings();
    connectionSettings = ConnectionSettings{};
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.host, "localhost");
    EXPECT_EQ(connectionSettings.port, 3306u);
    EXPECT_EQ(connectionSettings.user, "root");
    EXPECT_EQ(connectionSettings.database, "Tavisk");
}

TEST_F(SettingsStore, TheFileHoldingThePasswordStaysPrivate) {
    // A file and folder left open by someone else are tightened, and stay so after writing.
    writeFile(home.settingsFile(), "[General]\nhote=a\n");
    ::chmod(QFile::encodeName(home.settingsFile()).constData(), 0644);
    ::chmod(QFile::encodeName(home.path() + "/vorka").constData(), 0755);
    connectionSettings = {"h", "u", "secret", "d", 1};
    storeConnectionSettings();
    EXPECT_EQ(modeOf(home.settingsFile()), 0600u);
    EXPECT_EQ(modeOf(home.path() + "/vorka"), 0700u);
    EXPECT_TRUE(readFile(home.settingsFile()).contains("secret"));
}

// Captures what is written to stderr while it lives.
struct CapturedStderr {
    QTemporaryFile file;
    int saved = -1;
    CapturedStderr() {
        file.open();
        std::fflush(stderr);
        saved = ::dup(2);
        ::dup2(file.handle(), 2);
    }
    QByteArray text() {
        std::fflush(stderr);
        ::dup2(saved, 2);
        ::close(saved);
        file.seek(0);
        return file.readAll();
    }
};

// A settings file that is a symbolic link (kept among dotfiles): the file it leads to is made
// 0600 when it is this user's, and stays a link; when it is another user's, its mode is left
// and stderr says the password can be read by others.
TEST_F(SettingsStore, ALinkedSettingsFileIsMadePrivateOrReported) {
    QTemporaryDir dotfiles;
    const QString target = dotfiles.path() + "/tavisk.conf";
    writeFile(target, "[General]\nhote=linked\n");
    ::chmod(QFile::encodeName(target).constData(), 0644);
    ASSERT_TRUE(QDir().mkpath(home.path() + "/vorka"));
    ASSERT_TRUE(QFile::link(target, home.settingsFile()));

    connectionSettings = {"h", "u", "secret", "d", 1};
    storeConnectionSettings();
    EXPECT_EQ(modeOf(target), 0600u);
    EXPECT_TRUE(QFileInfo(home.settingsFile()).isSymLink());
    EXPECT_TRUE(readFile(target).contains("secret"));

    if (::geteuid() != 0)
        GTEST_SKIP() << "not run as root: no file of another user to link to";
    ::chmod(QFile::encodeName(target).constData(), 0644);
    ASSERT_EQ(::chown(QFile::encodeName(target).constData(), 65534, 65534), 0);
    CapturedStderr err;
    readConnectionSettings();
    const QByteArray said = err.text();
    EXPECT_EQ(modeOf(target), 0644u);
    EXPECT_TRUE(said.contains(QFile::encodeName(home.settingsFile())) &&
                said.contains("readable by other users"))
        << said.toStdString();
}

TEST(SettingsStorePath, FollowsXdgConfigHome) {
    ScopedConfigHome home;
    EXPECT_EQ(settingsFilePath(), home.settingsFile());
}

} // namespace
