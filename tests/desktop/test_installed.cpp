// Tavisk as the Debian package installs it, unpacked into a folder: the files it carries, the
// program run through its launcher against the test server, and the launcher's private
// catalogue server (started when nothing answers, reused, stopped when idle, recovered when
// its socket went away).
#include "catalogue/schema.h"
#include "lang/version.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

namespace tvk::test {
namespace {

QString packageDir() {
    return qEnvironmentVariable("TAVISK_TEST_PACKAGE_DIR");
}

QString packageRoot() {
    return packageDir() + "/root";
}

QString debFile() {
    const QStringList debs = QDir(packageDir()).entryList({"tavisk_*.deb"}, QDir::Files);
    return debs.size() == 1 ? packageDir() + "/" + debs.front() : QString();
}

QString helper() {
    return packageRoot() + "/usr/lib/tavisk/tavisk-catalogue-server";
}

// Polls `done` every 100 ms for up to `seconds`.
bool waitUntil(const std::function<bool()>& done, int seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QThread::msleep(100);
    }
    return true;
}

// The environment of an installed program started from a desktop: a home of its own, none of
// the build's library paths or test settings, the offscreen platform.
QProcessEnvironment desktopEnvironment(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LD_LIBRARY_PATH", "MYSQL_UNIX_PORT", "XDG_CONFIG_HOME",
                             "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "LC_ALL", "LC_MESSAGES"})
        env.remove(name);
    env.insert("HOME", home);
    env.insert("LANG", "en_US.UTF-8");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// Writes Tavisk's settings file under `home` (the format QSettings gives it).
void writeSettings(const QString& home, const QString& host, unsigned port,
                   const std::string& database) {
    const QString password = QString::fromStdString(TestServer::get().password);
    ASSERT_TRUE(QDir().mkpath(home + "/.config/vorka"));
    QFile file(home + "/.config/vorka/tavisk.conf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QStringLiteral("[General]\nbase=%1\nhote=%2\nmdp=%3\nport=%4\nutil=root\n")
                   .arg(QString::fromStdString(database), host, password)
                   .arg(port)
                   .toUtf8());
}

// A catalogue at the current schema with one disc, in a database of its own.
struct DiscCatalogue : ScopedDatabase {
    DiscCatalogue() : ScopedDatabase("installed") {
        MYSQL* c = TestServer::get().connect(name);
        char row[200];
        std::snprintf(row, sizeof row, SQL_INSERT_VERSION_ROW, unsigned(MIN_PROGRAM_LEVEL),
                      unsigned(SCHEMA_VERSION));
        for (const char* statement : {SQL_CREATE_VERSION_TABLE, static_cast<const char*>(row),
                                      SQL_CREATE_DISC_TABLE, SQL_CREATE_ENTRY_TABLE})
            exec(c, statement);
        exec(c, "insert into cd_disques_compact values (1, 'one', 'D')");
        mysql_close(c);
    }
};

// A program started for a test; ended (SIGTERM, then SIGKILL) when the object goes.
struct Started {
    QProcess process;
    Started(const QString& program, const QProcessEnvironment& env, const QStringList& args = {}) {
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, args);
        process.waitForStarted();
    }
    // Whether it still runs (a program that ended ends the waits for it early).
    bool running() {
        return !process.waitForFinished(0) && process.state() != QProcess::NotRunning;
    }
    ~Started() {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished();
        }
    }
};

// The files the program mapped from `folder`, by name.
QStringList mappedFrom(qint64 pid, const QString& folder) {
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    QStringList names;
    if (!maps.open(QIODevice::ReadOnly))
        return names;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString path = QString::fromUtf8(line.mid(line.indexOf('/')));
        if (line.contains('/') && path.startsWith(folder + "/") &&
            !names.contains(QFileInfo(path).fileName()))
            names << QFileInfo(path).fileName();
    }
    names.sort();
    return names;
}

// The statements of the connection that selected `database`, once it listed the discs.
std::vector<std::string> discListing(const QueryLog& log, const std::string& database) {
    for (const LoggedCommand& command : log.commands())
        if (command.command == "Init DB" && command.argument == database)
            return log.statements(command.threadId);
    return {};
}

bool listsTheDiscs(const std::vector<std::string>& statements) {
    for (const std::string& statement : statements)
        if (statement == "select cd_id, cd_nom from cd_disques_compact order by cd_id")
            return true;
    return false;
}

std::string controlField(const char* name) {
    QProcess dpkg;
    dpkg.start("dpkg-deb", {"-f", debFile(), name});
    dpkg.waitForFinished();
    return dpkg.readAllStandardOutput().trimmed().toStdString();
}

TEST(Package, CarriesTheProgramItsDesktopFilesAndTheVersionOfTheVersionBlock) {
    ASSERT_FALSE(debFile().isEmpty()) << "no package in " << packageDir().toStdString();
    EXPECT_TRUE(QFileInfo(debFile()).fileName().startsWith("tavisk_" TAVISK_VERSION_TEXT "_"));
    EXPECT_EQ(controlField("Version"), TAVISK_VERSION_TEXT);
    const std::string depends = controlField("Depends");
    for (const char* library : {"libqt6widgets6", "libmariadb3", "libchm1"})
        EXPECT_NE(depends.find(library), std::string::npos) << depends;
    EXPECT_NE(controlField("Recommends").find("mariadb-server-core"), std::string::npos);

    const QString usr = packageRoot() + "/usr";
    for (const char* file :
         {"bin/tavisk", "lib/tavisk/tavisk", "lib/tavisk/tavisk-catalogue-server"})
        EXPECT_TRUE(QFileInfo(usr + "/" + file).isExecutable()) << file;
    for (const char* file :
         {"lib/tavisk/tavisk_en.so", "lib/tavisk/tavisk_fr.so", "lib/tavisk/libtvk_plg_api.so",
          "lib/tavisk/hhctrl.so", "lib/tavisk/Tavisk_en.chm", "lib/tavisk/Tavisk_fr.chm",
          "share/man/man1/tavisk.1.gz", "share/man/man1/tavisk-cli.1.gz",
          "share/bash-completion/completions/tavisk-cli", "share/doc/tavisk/copyright",
          "share/doc/tavisk/changelog.gz"})
        EXPECT_TRUE(QFileInfo::exists(usr + "/" + file)) << file;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        EXPECT_TRUE(QFileInfo::exists(
            usr + QStringLiteral("/share/icons/hicolor/%1x%1/apps/tavisk.png").arg(size)))
            << size;
    QFile metainfo(usr + "/share/metainfo/org.vorka.Tavisk.metainfo.xml");
    ASSERT_TRUE(metainfo.open(QIODevice::ReadOnly));
    EXPECT_TRUE(metainfo.readAll().contains("<release version=\"" TAVISK_VERSION_TEXT "\""));
}

// Settings naming the test server over TCP: the launcher starts nothing, and the program,
// with its modules, help engine and archive library taken from the unpacked folder, lists the
// discs.
TEST(Package, UnpackedProgramListsTheDiscsOfTheServerItsSettingsName) {
    DiscCatalogue catalogue;
    QTemporaryDir home;
    writeSettings(home.path(), "127.0.0.1", TestServer::get().port, catalogue.name);
    QueryLog log;
    Started tavisk(packageRoot() + "/usr/bin/tavisk", desktopEnvironment(home.path()));
    waitUntil([&] { return listsTheDiscs(discListing(log, catalogue.name)) || !tavisk.running(); },
              60);
    ASSERT_TRUE(listsTheDiscs(discListing(log, catalogue.name)))
        << "the program did not list the discs of " << catalogue.name;
    EXPECT_EQ(mappedFrom(tavisk.process.processId(), packageRoot() + "/usr/lib/tavisk"),
              (QStringList{"hhctrl.so", "libtvk_plg_api.so", "tavisk", "tavisk_en.so"}));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/.local/share/tavisk"));
}

// MYSQL_UNIX_PORT set: the launcher starts nothing and "localhost" reaches that socket.
TEST(Package, LauncherLeavesASetSocketToTheProgram) {
    DiscCatalogue catalogue;
    QTemporaryDir home;
    writeSettings(home.path(), "localhost", 3306, catalogue.name);
    QProcessEnvironment env = desktopEnvironment(home.path());
    env.insert("MYSQL_UNIX_PORT", QString::fromStdString(TestServer::get().socket));
    QueryLog log;
    Started tavisk(packageRoot() + "/usr/bin/tavisk", env);
    waitUntil([&] { return listsTheDiscs(discListing(log, catalogue.name)) || !tavisk.running(); },
              60);
    EXPECT_TRUE(listsTheDiscs(discListing(log, catalogue.name)));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/.local/share/tavisk"));
}

// Which settings files name the default local server, as the launcher reads them.
TEST(Launcher, ReadsTheSettingsFileAsTheProgramDoes) {
    const struct {
        const char* text;
        bool local;
    } cases[] = {
        {nullptr, true}, // no file: the defaults
        {"[General]\nhote=localhost\nport=3306\n", true},
        {"[General]\nhote=\nport=not a number\n", true},
        {"[General]\r\nhote=\"localhost\"\r\nport = 0\r\n", true},
        {"[Other]\nhote=db.example.org\n[General]\nport=3306\n", true},
        {"[General]\nhote=db.example.org\nport=3306\n", false},
        {"[General]\nhote=127.0.0.1\n", false},
        {"[General]\nhote=LOCALHOST\n", false}, // the client library resolves it: TCP
        {"[General]\nhote=localhost\nport=3307\n", false},
        {"[General]\nport=99999999999999999999\n", true}, // not a number the program reads
    };
    for (const auto& c : cases) {
        QTemporaryDir config;
        if (c.text) {
            QDir().mkpath(config.path() + "/vorka");
            QFile file(config.path() + "/vorka/tavisk.conf");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.text);
        }
        QProcess bash;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        bash.setProcessEnvironment(env);
        bash.start("bash", {"-c", ". \"$1\" && settings_name_local_server", "bash", helper()});
        ASSERT_TRUE(bash.waitForFinished());
        EXPECT_EQ(bash.exitCode() == 0, c.local) << (c.text ? c.text : "(no file)");
    }
}

// A private catalogue server under a temporary home, stopped when the object goes.
struct PrivateHome {
    QTemporaryDir home;
    QProcessEnvironment env = desktopEnvironment(home.path());
    QString data = home.path() + "/.local/share/tavisk";
    QString socket = data + "/tavisk-catalogue/mysqld.sock";

    explicit PrivateHome(const QString& idleStop) {
        env.insert("TAVISK_CATALOGUE_IDLE_STOP", idleStop);
    }
    ~PrivateHome() { run("local-stop"); }

    // Runs a verb of the helper; its output.
    QString run(const QString& verb) const {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(helper(), {verb});
        process.waitForFinished(180000);
        return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    }
    qint64 serverPid() const {
        QFile file(data + "/mariadb.pid");
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
    }
    // How many times a server started on the data folder, as its messages tell.
    int serverStarts() const {
        QFile log(data + "/mariadb.err");
        return log.open(QIODevice::ReadOnly) ? log.readAll().count("ready for connections") : 0;
    }
    // Rows of a query on the private server; empty when it does not answer.
    std::vector<std::vector<std::string>> ask(const std::string& statement) const {
        MYSQL* c = mysql_init(nullptr);
        std::vector<std::vector<std::string>> rows;
        if (mysql_real_connect(c, "localhost", "root", "", nullptr, 0, socket.toUtf8().constData(),
                               0))
            rows = query(c, statement);
        mysql_close(c);
        return rows;
    }
    // Connections other than this one that wait for their next statement.
    int waitingClients() const {
        auto rows = ask("select count(*) from information_schema.processlist where id <> "
                        "connection_id() and command = 'Sleep'");
        return rows.empty() ? -1 : std::stoi(rows[0][0]);
    }
};

bool defaultSocketAnswers() {
    return QProcess::execute("sh", {"-c", "env -u MYSQL_UNIX_PORT mariadb-admin --no-defaults "
                                          "-uroot ping >/dev/null 2>&1"}) == 0;
}

bool alive(qint64 pid) {
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// An empty home, no server: the first start makes and starts the private server and the
// program reaches it (it waits on its question whether to create the database); a second start
// reuses the server; once both have ended the idle server stops by itself.
TEST(Launcher, StartsThePrivateServerReusesItAndItStopsWhenIdle) {
    if (defaultSocketAnswers())
        GTEST_SKIP() << "a server answers at the default socket: the launcher would use it";
    PrivateHome home("2");
    const QString launcher = packageRoot() + "/usr/bin/tavisk";
    auto first = std::make_unique<Started>(launcher, home.env);
    waitUntil([&] { return home.waitingClients() == 1 || !first->running(); }, 120);
    ASSERT_EQ(home.waitingClients(), 1) << "the program did not reach the private server";
    const qint64 server = home.serverPid();
    ASSERT_TRUE(alive(server));
    struct stat folder {};
    ASSERT_EQ(stat(QFile::encodeName(home.data).constData(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    // Longer than the idle delay: a running Tavisk keeps the server.
    QThread::sleep(4);
    auto second = std::make_unique<Started>(launcher, home.env);
    EXPECT_TRUE(waitUntil([&] { return home.waitingClients() == 2; }, 60));
    EXPECT_EQ(home.serverPid(), server);
    EXPECT_TRUE(alive(server));

    first.reset();
    second.reset();
    EXPECT_TRUE(waitUntil([&] { return !alive(server); }, 30)) << "the idle server still runs";
}

// Two starts at once make one server; a server whose socket folder went (as the runtime
// folder goes at logout) is ended and replaced, its catalogue kept.
TEST(Launcher, OneServerForConcurrentStartsAndNoneLeftWithoutItsSocket) {
    PrivateHome home("0");
    QProcess a, b;
    for (QProcess* p : {&a, &b}) {
        p->setProcessEnvironment(home.env);
        p->start(helper(), {"local-start"});
    }
    ASSERT_TRUE(a.waitForFinished(180000) && b.waitForFinished(180000));
    EXPECT_EQ(a.exitCode(), 0);
    EXPECT_EQ(b.exitCode(), 0);
    EXPECT_EQ(a.readAllStandardOutput().trimmed(), home.socket.toUtf8());
    EXPECT_EQ(b.readAllStandardOutput().trimmed(), home.socket.toUtf8());
    const qint64 first = home.serverPid();
    ASSERT_TRUE(alive(first));
    EXPECT_EQ(home.serverStarts(), 1);
    home.ask("create database kept");

    ASSERT_TRUE(QDir(QFileInfo(home.socket).path()).removeRecursively());
    EXPECT_EQ(home.run("local-start"), home.socket);
    EXPECT_FALSE(alive(first));
    EXPECT_NE(home.serverPid(), first);
    EXPECT_EQ(home.ask("show databases like 'kept'").size(), 1u);
}

// A data folder that holds files but no server data is not replaced: nothing started, nothing
// lost.
TEST(Launcher, LeavesADataFolderWithoutServerDataAlone) {
    PrivateHome home("0");
    ASSERT_TRUE(QDir().mkpath(home.data + "/mariadb/Tavisk"));
    QFile kept(home.data + "/mariadb/Tavisk/cd_disques_compact.MYD");
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
    kept.write("discs");
    kept.close();
    QProcess start;
    start.setProcessEnvironment(home.env);
    start.start(helper(), {"local-start"});
    ASSERT_TRUE(start.waitForFinished(60000));
    EXPECT_NE(start.exitCode(), 0);
    EXPECT_TRUE(start.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(kept.exists());
    EXPECT_EQ(home.serverPid(), 0);
}

} // namespace
} // namespace tvk::test
