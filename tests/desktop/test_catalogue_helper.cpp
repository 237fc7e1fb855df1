// The catalogue server helper and the test server script of the source tree as other local
// users meet them (the test server closed to them, folders private from the moment they exist,
// runtime and data folders that are links or someone else's refused, the idle watcher sparing a
// process that took the server's number), and the private server's word index.
#include "catalogue/schema.h"
#include "tests/support/test_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk::test {
namespace {

const QString SOURCE = qEnvironmentVariable("TAVISK_SOURCE_DIR");
const QString HELPER = SOURCE + "/desktop/tavisk-catalogue-server";
const QString SCRIPT = SOURCE + "/scripts/catalogue-server";

struct Ran {
    int code = -1;
    QString out, err;
};

// Runs `command` (after `prefix`, such as setpriv) under the usual umask 022, so that a folder
// left to the umask shows it.
Ran run(const QProcessEnvironment& env, const QStringList& command,
        const QStringList& prefix = {}) {
    const QStringList all =
        prefix + QStringList{"sh", "-c", "umask 022 && exec \"$@\"", "sh"} + command;
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(all.front(), all.mid(1));
    process.waitForFinished(180000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
            QString::fromUtf8(process.readAllStandardError())};
}

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

void makeFolder(const QString& path, unsigned mode) {
    ASSERT_TRUE(QDir().mkpath(path));
    ::chmod(QFile::encodeName(path).constData(), mode);
}

// Another account, for a test run as root: a user id no account uses, acted as with setpriv.
struct OtherUser {
    uid_t uid = 0;
    const char* reason = "not run as root: no second account";
    OtherUser() {
        if (::geteuid() == 0 &&
            QProcess::execute("sh", {"-c", "command -v setpriv >/dev/null"}) == 0)
            for (uid_t id = 61000; !uid && id < 65000; ++id)
                uid = ::getpwuid(id) ? 0 : id;
    }
    QStringList prefix() const {
        const QString id = QString::number(uid);
        return {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups"};
    }
    void own(const QString& path) const {
        ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), uid, uid), 0);
    }
};

// A `mkdir` put first on the PATH that notes the mode of every folder it was asked for, right
// after making it.
struct MkdirSpy {
    QTemporaryDir bin;
    explicit MkdirSpy(QProcessEnvironment& env) {
        QFile spy(bin.path() + "/mkdir");
        spy.open(QIODevice::WriteOnly);
        spy.write("#!/bin/sh\n'" + QFile::encodeName(QStandardPaths::findExecutable("mkdir")) +
                  "' \"$@\" || exit\nfor a; do case $a in -*) ;; *) stat -c '%a %n' -- \"$a\" "
                  ">>\"${0%/*}/made\";; esac; done\n");
        spy.setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        env.insert("PATH", bin.path() + ":" + env.value("PATH"));
    }
    // No folder was open to others when made, and the `expected` ones were made.
    void check(const QStringList& expected) const {
        QFile file(bin.path() + "/made");
        file.open(QIODevice::ReadOnly);
        const QString made = QString::fromUtf8(file.readAll());
        for (const QString& line : made.split('\n', Qt::SkipEmptyParts))
            EXPECT_EQ(line.section(' ', 0, 0).toUInt(nullptr, 8) & 077, 0u) << line.toStdString();
        for (const QString& folder : expected)
            EXPECT_TRUE(made.contains(" " + folder + "\n")) << folder.toStdString() << " not made";
    }
};

TEST(TestServerScript, IsClosedToOtherLocalUsersFromItsStart) {
    QTemporaryDir parent; // a folder that others may cross, as a build folder is
    ::chmod(QFile::encodeName(parent.path()).constData(), 0755);
    const QString dir = parent.path() + "/server";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    MkdirSpy spy(env);
    const Ran started = run(env, {SCRIPT, "test-start", dir});
    struct Stop {
        QString dir;
        ~Stop() { run(QProcessEnvironment::systemEnvironment(), {SCRIPT, "test-stop", dir}); }
    } stop{dir};
    ASSERT_EQ(started.code, 0) << started.err.toStdString();
    spy.check({dir});
    EXPECT_EQ(modeOf(dir + "/server.env"), 0600u);
    const TestServer server = TestServer::fromFile((dir + "/server.env").toStdString());
    ASSERT_FALSE(server.password.empty());
    MYSQL* c = server.connect();
    ASSERT_NE(c, nullptr);
    // Statements read and write files only inside the server's folder.
    QTemporaryDir outside;
    const std::string outfile = "select 1 into outfile '" + outside.path().toStdString() + "/x'";
    EXPECT_NE(mysql_query(c, outfile.c_str()), 0);
    EXPECT_EQ(mysql_errno(c), 1290u) << mysql_error(c); // refused by --secure-file-priv
    mysql_close(c);

    // Without the password, over TCP or (another user) through the socket, root is refused.
    OtherUser other;
    std::vector<QStringList> prefixes = {{}};
    if (other.uid)
        prefixes.push_back(other.prefix());
    for (const QStringList& as : prefixes)
        for (const QStringList& reach :
             {QStringList{"--socket=" + QString::fromStdString(server.socket)},
              QStringList{"--host=127.0.0.1", "--port=" + QString::number(server.port)}})
            EXPECT_NE(
                run(env,
                    QStringList{"mariadb", "--no-defaults", "-uroot", "-e", "select 1"} + reach, as)
                    .code,
                0)
                << as.join(' ').toStdString() << " " << reach.join(' ').toStdString();
    if (!other.uid)
        GTEST_SKIP() << other.reason << ": the socket was not tried as another user";
}

// A user whose home is a temporary folder: no runtime folder, no idle stop.
struct Home {
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QString data = home.path() + "/.local/share/tavisk";
    QString path(const QString& name) const { return home.path() + "/" + name; }
    Home() {
        for (const char* name : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR", "MYSQL_UNIX_PORT"})
            env.remove(name);
        env.insert("HOME", home.path());
        env.insert("TAVISK_CATALOGUE_IDLE_STOP", "0");
    }
    ~Home() { helper("local-stop"); }
    Ran helper(const QString& verb) const { return run(env, {HELPER, verb}); }
    qint64 serverPid() const {
        QFile file(data + "/mariadb.pid");
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }
};

// XDG_RUNTIME_DIR is used only when it is a folder of this user's that only this user opens;
// otherwise the socket goes beside the data, and a link found in a shared folder is neither
// followed nor changed. Every folder is private from the moment it is made.
TEST(CatalogueHelper, ARuntimeFolderOthersCanEnterIsNotUsed) {
    Home home;
    MkdirSpy spy(home.env);
    OtherUser other;
    makeFolder(home.path("tmp"), 01777);
    makeFolder(home.path("victim"), 0755);
    ASSERT_TRUE(QFile::link(home.path("victim"), home.path("tmp/tavisk-catalogue")));
    makeFolder(home.path("run"), 0700);
    ASSERT_TRUE(QFile::link(home.path("run"), home.path("run-link")));
    makeFolder(home.path("others"), 0700);
    if (other.uid) {
        other.own(home.path("tmp/tavisk-catalogue"));
        other.own(home.path("others"));
    }
    const QString beside = home.data + "/tavisk-catalogue/mysqld.sock";
    const struct {
        QString runtime, socket;
    } cases[] = {
        {home.path("tmp"), beside},
        {"run", beside}, // relative
        {home.path("run-link"), beside},
        {home.path(other.uid ? "others" : "tmp"), beside},
        {home.path("run"), home.path("run/tavisk-catalogue/mysqld.sock")},
    };
    for (const auto& c : cases) {
        home.env.insert("XDG_RUNTIME_DIR", c.runtime);
        const Ran started = home.helper("local-start");
        EXPECT_EQ(started.code, 0) << started.err.toStdString();
        EXPECT_EQ(started.out.toStdString(), c.socket.toStdString()) << c.runtime.toStdString();
    }
    EXPECT_EQ(modeOf(home.path("victim")), 0755u);
    EXPECT_TRUE(QDir(home.path("victim")).isEmpty());
    spy.check({home.data, home.data + "/tavisk-catalogue", home.path("run/tavisk-catalogue")});
}

// A data or socket folder that is a link, or another user's, is refused: nothing is started
// and nothing changes where it leads (run as root with another user's environment, the helper
// would otherwise work in that user's folders).
TEST(CatalogueHelper, FoldersThatAreLinksOrAnotherUsersAreRefused) {
    OtherUser other;
    enum Where { DATA_LINK, DATA_OTHERS, SERVER_DATA_LINK, SOCKET_FOLDER_LINK };
    for (Where where : {DATA_LINK, DATA_OTHERS, SERVER_DATA_LINK, SOCKET_FOLDER_LINK}) {
        if (where == DATA_OTHERS && !other.uid)
            continue;
        Home home;
        const QString elsewhere = home.path("elsewhere"); // looks like server data
        makeFolder(elsewhere + "/mysql", 0755);
        makeFolder(elsewhere, 0755);
        makeFolder(home.path(".local/share"), 0700);
        makeFolder(home.path("run"), 0700);
        home.env.insert("XDG_RUNTIME_DIR", home.path("run"));
        if (where == DATA_LINK)
            QFile::link(elsewhere, home.data);
        if (where == DATA_OTHERS) {
            makeFolder(home.data, 0755);
            other.own(home.data);
        }
        if (where == SERVER_DATA_LINK) {
            makeFolder(home.data, 0700);
            QFile::link(elsewhere, home.data + "/mariadb");
        }
        if (where == SOCKET_FOLDER_LINK)
            QFile::link(elsewhere, home.path("run/tavisk-catalogue"));
        const Ran started = home.helper("local-start");
        EXPECT_NE(started.code, 0) << where;
        EXPECT_EQ(started.out, "") << where;
        EXPECT_EQ(home.serverPid(), 0) << where;
        EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{"mysql"})
            << where;
        EXPECT_EQ(modeOf(elsewhere), 0755u) << where;
        if (where == DATA_OTHERS) {
            EXPECT_EQ(modeOf(home.data), 0755u);
        }
    }
    if (!other.uid)
        GTEST_SKIP() << other.reason << ": another user's data folder was not tried";
}

// The idle watcher signals only the server: a process that took the number after the server
// ended (its pid file left behind) is spared.
TEST(CatalogueHelper, TheIdleWatcherSparesAProcessThatTookTheServersNumber) {
    Home home;
    makeFolder(home.data, 0700);
    QProcess other;
    other.start("sleep", {"60"});
    ASSERT_TRUE(other.waitForStarted());
    QFile pidFile(home.data + "/mariadb.pid");
    ASSERT_TRUE(pidFile.open(QIODevice::WriteOnly));
    pidFile.write(QByteArray::number(other.processId()));
    pidFile.close();
    QProcess watcher;
    watcher.setProcessEnvironment(home.env);
    watcher.start(HELPER, {"idle-watch", QString::number(other.processId()), "1"});
    EXPECT_TRUE(watcher.waitForFinished(20000));
    EXPECT_FALSE(other.waitForFinished(200)) << "the watcher ended the process";
    other.kill();
    watcher.kill();
    other.waitForFinished();
    watcher.waitForFinished();
}

// The names that `word` finds in catalogue `database` of the private server at `socket`, as
// the search asks (a natural-language full-text search).
std::vector<std::string> wordFinds(const QString& socket, const char* database,
                                   const std::string& word) {
    MYSQL* c = mysql_init(nullptr);
    std::vector<std::string> names;
    if (mysql_real_connect(c, "localhost", "root", "", database, 0,
                           QFile::encodeName(socket).constData(), 0))
        for (const auto& row : query(c, "select fic_nom from fic_fichiers where match(fic_nom) "
                                        "against ('" +
                                            word + "') order by fic_nom"))
            names.push_back(row[0]);
    mysql_close(c);
    return names;
}

// Makes catalogue `database` with the entry names of the word cases on the server at `socket`.
void makeCatalogue(const QString& socket, const char* database) {
    MYSQL* c = mysql_init(nullptr);
    ASSERT_TRUE(mysql_real_connect(c, "localhost", "root", "", nullptr, 0,
                                   QFile::encodeName(socket).constData(), 0));
    exec(c, std::string("create database ") + database);
    mysql_select_db(c, database);
    exec(c, SQL_CREATE_ENTRY_TABLE);
    exec(c, "insert into fic_fichiers (fic_nom) values ('gcc-12.tar.gz'), ('vim.txt'), "
            "('go.mod'), ('about.txt'), ('holiday_2009.jpg'), ('setup.exe'), ('notes.odt')");
    mysql_close(c);
}

// Words of two and three letters and English stop words are found in the private server's
// catalogues, one made under the server's defaults before included: its index is rebuilt at the
// first start with the new settings, and only then.
TEST(CatalogueHelper, ThePrivateServerFindsShortWordsInOldAndNewCatalogues) {
    Home home;
    // The helper as it was: the server's word settings left as installed, nothing noted.
    const Ran old = run(home.env, {"bash", "-c",
                                   ". \"$1\"; word_index_args=(); "
                                   "refresh_word_index() { :; }; local_start",
                                   "bash", HELPER});
    ASSERT_EQ(old.code, 0) << old.err.toStdString();
    makeCatalogue(old.out, "Old");
    ASSERT_EQ(home.helper("local-stop").code, 0);

    const Ran started = home.helper("local-start");
    ASSERT_EQ(started.code, 0) << started.err.toStdString();
    EXPECT_TRUE(started.err.contains("rebuilding the word index")) << started.err.toStdString();
    makeCatalogue(started.out, "New");
    const struct {
        std::string word;
        std::vector<std::string> found;
    } cases[] = {
        {"gcc", {"gcc-12.tar.gz"}}, {"vim", {"vim.txt"}}, {"go", {"go.mod"}},
        {"about", {"about.txt"}},   {"holiday", {}},      {"holiday_2009", {"holiday_2009.jpg"}},
    };
    for (const char* database : {"Old", "New"})
        for (const auto& c : cases)
            EXPECT_EQ(wordFinds(started.out, database, c.word), c.found) << database << c.word;

    ASSERT_EQ(home.helper("local-stop").code, 0);
    const Ran again = home.helper("local-start");
    EXPECT_FALSE(again.err.contains("rebuilding")) << again.err.toStdString();
    EXPECT_EQ(wordFinds(again.out, "Old", "gcc"), std::vector<std::string>{"gcc-12.tar.gz"});
}

// The helper reads the settings file that the program reads: both ignore a relative
// XDG_CONFIG_HOME.
TEST(CatalogueHelper, ARelativeConfigHomeIsIgnoredAsTheProgramIgnoresIt) {
    Home home;
    makeFolder(home.path("relative/vorka"), 0700);
    QFile file(home.path("relative/vorka/tavisk.conf"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\nhote=db.example.org\n");
    file.close();
    home.env.insert("XDG_CONFIG_HOME", "relative");
    QProcess bash;
    bash.setProcessEnvironment(home.env);
    bash.setWorkingDirectory(home.path("")); // where "relative" leads; HOME has no settings
    bash.start("bash", {"-c", ". \"$1\" && settings_name_local_server", "bash", HELPER});
    ASSERT_TRUE(bash.waitForFinished());
    EXPECT_EQ(bash.exitCode(), 0) << "the helper read the settings of a relative folder";
}

} // namespace
} // namespace tvk::test
