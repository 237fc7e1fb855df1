// tavisk-cli run as a program against the test server: what it stores, lists, finds and
// exports, the statements it sends, what it refuses, its exit codes and Ctrl+C.
#include "../catalogue/catalogue_support.h"
#include "../indexing/indexing_support.h"
#include "../support/query_log.h"
#include "../support/test_server.h"

#include "browse/search_query.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <set>

using namespace tvk;
using namespace tvk::test;

namespace {

struct Outcome {
    int code = -1;
    QByteArray out;
    QString err;
};

QString cliPath() {
    return QString::fromLocal8Bit(qgetenv("TAVISK_BIN_DIR")) + QStringLiteral("/tavisk-cli");
}

// The environment of a run: no display at all, English unless `language` says otherwise, the
// test server's password, and settings of its own.
QProcessEnvironment cliEnvironment(const QString& configHome, const QString& language = "C") {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "LANGUAGE", "LC_MESSAGES"})
        env.remove(QString::fromLatin1(name));
    env.insert("LC_ALL", language);
    env.insert("XDG_CONFIG_HOME", configHome);
    env.insert("TAVISK_PASSWORD", QString::fromStdString(TestServer::get().password));
    return env;
}

class Cli : public ::testing::Test {
protected:
    void SetUp() override { makeCatalogueWithVersion(db.name, 1, 3); }
    // A name in Latin-1 bytes has no QString form: the folders go by their bytes.
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(work.path().toStdString(), ignored);
    }

    QStringList connection() const {
        return {"--host", "127.0.0.1", "--port",     QString::number(TestServer::get().port),
                "--user", "root",      "--database", QString::fromStdString(db.name)};
    }

    // Runs tavisk-cli with the connection options after `arguments`.
    Outcome run(const QStringList& arguments, const QString& language = "C") {
        QProcess process;
        process.setProcessEnvironment(cliEnvironment(config.path(), language));
        process.start(cliPath(), arguments + connection());
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(120000)) << arguments.join(' ').toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
    }

    // Adds `path` and returns the disc number it printed (0 on failure).
    int add(const QString& path, const QStringList& more = {}) {
        const Outcome added = run(QStringList{"add", path} + more);
        EXPECT_EQ(added.code, 0) << added.err.toStdString();
        return added.out.trimmed().toInt();
    }

    std::vector<std::vector<std::string>> rows(const std::string& statement) {
        MYSQL* connection = TestServer::get().connect(db.name);
        auto result = query(connection, statement);
        mysql_close(connection);
        return result;
    }
    std::string discCount() { return rows("select count(*) from cd_disques_compact")[0][0]; }
    std::string entryCount(int disc) {
        return rows("select count(*) from fic_fichiers where fic_cd_id = " +
                    std::to_string(disc))[0][0];
    }

    ScopedDatabase db{"tvk_cli"};
    QTemporaryDir config;
    QTemporaryDir work;
};

// A folder with names a shell user meets: blanks, commas and quotes, a line break, a name in
// Latin-1 bytes (not UTF-8), a sub-folder and a zip archive.
std::string makeFolder(const QString& root) {
    const std::string base = root.toStdString();
    writeFile(base + "/readme.txt", "hello");
    writeFile(base + "/docs/a, \"quoted\" name.txt", "12345");
    writeFile(base + "/docs/line\nbreak.txt", "x");
    writeFile(base + "/docs/deep/\xe9t\xe9.txt", "xyz");
    writeFile(base + "/docs/big.bin", std::string(3000, 'b'));
    run(root + "/docs", "zip", {"-q", "pack.zip", "../readme.txt"});
    return base;
}

// A disc image made by genisoimage of a folder holding a few files; its label `label`.
QString makeImage(const QString& folder, const QString& label) {
    writeFile(folder.toStdString() + "/content/iso-one.txt", "1");
    writeFile(folder.toStdString() + "/content/sub/iso-two.txt", "22");
    run(folder, "genisoimage", {"-quiet", "-R", "-V", label, "-o", "disc.iso", "content"});
    return folder + "/disc.iso";
}

// Runs python3 on `script` with `file` as its argument; its stdout parsed as JSON.
QJsonDocument python(const QString& script, const QString& file) {
    QProcess process;
    process.start("python3", {"-c", script, file});
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(process.readAllStandardOutput());
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The paths of `tree` as export writes them: from the root, with a leading '/'.
std::set<std::string> exportedPaths(const StoredTree& tree) {
    std::set<std::string> paths;
    for (const auto& [path, entry] : tree)
        paths.insert("/" + path);
    return paths;
}

std::set<std::string> asSet(const QJsonArray& array) {
    std::set<std::string> set;
    for (const QJsonValue& value : array)
        set.insert(value.toString().toStdString());
    return set;
}

} // namespace

TEST_F(Cli, AFolderAndAnImageAreAddedListedAndExportedWhole) {
    makeFolder(work.path() + "/shelf");
    const int folderDisc = add(work.path() + "/shelf");
    const int imageDisc = add(makeImage(work.path(), "MY_ISO"));
    ASSERT_GT(folderDisc, 0);
    ASSERT_EQ(imageDisc, folderDisc + 1);

    const Outcome discs = run({"discs", "--format", "json"});
    ASSERT_EQ(discs.code, 0);
    const QJsonArray listed = QJsonDocument::fromJson(discs.out).array();
    ASSERT_EQ(listed.size(), 2);
    EXPECT_EQ(listed[0]["name"].toString(), "shelf");
    EXPECT_EQ(listed[0]["entries"].toInt(), std::stoi(entryCount(folderDisc)));
    EXPECT_EQ(listed[0]["source"].toString(), work.path() + "/shelf");
    EXPECT_EQ(listed[1]["name"].toString(), "MY_ISO");
    EXPECT_EQ(listed[1]["entries"].toInt(), 3);

    // Every row of the folder's disc, parsed back by python's csv and json.
    const std::set<std::string> expected = exportedPaths(storedTree(db.name, folderDisc));
    const Outcome csv = run({"export", QString::number(folderDisc), "--format", "csv"});
    ASSERT_EQ(csv.code, 0) << csv.err.toStdString();
    writeBytes(work.path() + "/export.csv", csv.out);
    const QJsonDocument fromCsv =
        python("import csv, json, sys\n"
               "rows = list(csv.DictReader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
               "assert all(r['disc'] == rows[0]['disc'] for r in rows)\n"
               "print(json.dumps([r['path'] for r in rows]))\n",
               work.path() + "/export.csv");
    const Outcome json = run({"export", QString::number(folderDisc), "--format", "json"});
    ASSERT_EQ(json.code, 0);
    writeBytes(work.path() + "/export.json", json.out);
    // The raw bytes of each path, where given, replace the shown one: the stored names exactly.
    const QJsonDocument fromJson = python(
        "import base64, json, sys\n"
        "rows = json.load(open(sys.argv[1], encoding='utf-8'))\n"
        "print(json.dumps([base64.b64decode(r['path_bytes']).decode('latin-1') if 'path_bytes' "
        "in r else r['path'] for r in rows]))\n",
        work.path() + "/export.json");
    EXPECT_EQ(asSet(fromCsv.array()).size(), expected.size());
    EXPECT_TRUE(asSet(fromCsv.array()).count("/docs/deep/\xc3\xa9t\xc3\xa9.txt"))
        << "a Latin-1 name is shown as Windows-1252";
    std::set<std::string> rawPaths;
    for (const std::string& path : asSet(fromJson.array()))
        rawPaths.insert(QString::fromStdString(path).toLatin1().toStdString() == path
                            ? path
                            : QString::fromUtf8(path.c_str()).toLatin1().toStdString());
    EXPECT_EQ(rawPaths, expected);

    // ls: the root of a disc, a folder, an archive; a path that is not there.
    struct Listing {
        QString target;
        int code;
        std::set<std::string> names;
    };
    const QString disc = QString::number(folderDisc);
    for (const Listing& listing :
         {Listing{disc, 0, {"readme.txt", "docs"}},
          Listing{disc + ":/docs/",
                  0,
                  {"a, \"quoted\" name.txt", "line\nbreak.txt", "deep", "big.bin", "pack.zip"}},
          Listing{disc + ":/docs/pack.zip", 0, {"readme.txt"}},
          Listing{disc + ":/docs/nowhere", 1, {}},
          Listing{QString::number(imageDisc) + ":/sub", 0, {"iso-two.txt"}}}) {
        const Outcome ls = run({"ls", listing.target, "--format", "jsonl"});
        EXPECT_EQ(ls.code, listing.code) << listing.target.toStdString();
        std::set<std::string> names;
        for (const QByteArray& line : ls.out.split('\n'))
            if (!line.isEmpty())
                names.insert(QJsonDocument::fromJson(line)["name"].toString().toStdString());
        EXPECT_EQ(names, listing.names) << listing.target.toStdString();
    }
}

TEST_F(Cli, SearchSendsTheWindowsStatementAndAppendsItsOwnFilters) {
    makeFolder(work.path() + "/shelf");
    const int disc = add(work.path() + "/shelf");
    MYSQL* escaping = TestServer::get().connect(db.name);
    struct Case {
        QStringList arguments;
        SearchRequest request; // as the dialog would hand it over
        SearchFilters filters;
        std::set<std::string> paths;
    };
    const std::vector<Case> cases{
        {{"search"}, {"", "*", false, {}, {}, ""}, {}, {}},
        {{"search", "--name", "*.txt", "--limit", "2"}, {"", "*.txt", false, {}, {}, "2"}, {}, {}},
        {{"search", "--name", "*.bin", "--name", "pack.*"},
         {"", "*.bin;pack.*", false, {}, {}, ""},
         {},
         {"/docs/big.bin", "/docs/pack.zip"}},
        {{"search", "hello", "world", "--from", "2001-02-03", "--to", "2099-12-31"},
         {"hello world", "*", true, {2001, 2, 3}, {2099, 12, 31}, ""},
         {},
         {}},
        {{"search", "--name", "a, \"quoted\"*", "--name", "it's 100%_\\"},
         {"", "a, \"quoted\"*;it's 100%_\\", false, {}, {}, ""},
         {},
         {"/docs/a, \"quoted\" name.txt"}},
        {{"search", "--type", "file", "--min-size", "3", "--max-size", "1K", "--disc",
          QString::number(disc), "--limit", "10"},
         {"", "*", false, {}, {}, "10"},
         {disc, 'F', 3, 1024},
         {"/docs/a, \"quoted\" name.txt", "/docs/deep/\xc3\xa9t\xc3\xa9.txt",
          "/docs/pack.zip/readme.txt", "/readme.txt"}},
    };
    for (const Case& c : cases) {
        const QueryLog log;
        const Outcome found = run(c.arguments + QStringList{"--format", "jsonl"});
        const std::string expected =
            buildFilteredSearchQuery(escapeSearchRequest(escaping, c.request), c.filters);
        if (c.filters.discId < 0) {
            EXPECT_EQ(expected, buildSearchQuery(escapeSearchRequest(escaping, c.request)));
        }
        std::vector<std::string> searches;
        for (const std::string& statement : log.allStatements())
            if (statement.rfind("select fic_nom, fic_taille, date_format", 0) == 0)
                searches.push_back(statement);
        EXPECT_EQ(searches, std::vector<std::string>{expected})
            << c.arguments.join(' ').toStdString();
        if (!c.paths.empty()) {
            std::set<std::string> paths;
            for (const QByteArray& line : found.out.split('\n'))
                if (!line.isEmpty())
                    paths.insert(QJsonDocument::fromJson(line)["path"].toString().toStdString());
            EXPECT_EQ(paths, c.paths) << c.arguments.join(' ').toStdString();
        }
    }
    mysql_close(escaping);
}

// Hits in more folders than are looked up one by one: the disc's folders are then read at once,
// and every path stays whole.
TEST_F(Cli, HitsInManyFoldersKeepTheirFullPaths) {
    const std::string root = work.path().toStdString() + "/many";
    std::set<std::string> expected;
    for (int i = 0; i < 150; ++i) {
        const std::string path = "/top" + std::to_string(i % 3) + "/folder" + std::to_string(i) +
                                 "/hit" + std::to_string(i) + ".txt";
        writeFile(root + path, "x");
        expected.insert(path);
    }
    add(QString::fromStdString(root));
    const Outcome found = run({"search", "--name", "hit*", "--format", "csv"});
    ASSERT_EQ(found.code, 0) << found.err.toStdString();
    std::set<std::string> paths;
    for (const QByteArray& line : found.out.split('\n').mid(1))
        if (!line.trimmed().isEmpty())
            paths.insert(line.trimmed().split(',').last().toStdString());
    EXPECT_EQ(paths, expected);
}

TEST_F(Cli, UpdateRefusesAnotherDiscUnlessForcedAndRereadsTheRecordedSource) {
    const QString shelf = work.path() + "/shelf";
    makeFolder(shelf);
    const int disc = add(shelf);
    const std::string before = entryCount(disc);
    writeFile(work.path().toStdString() + "/other/one.txt", "1");

    const Outcome refused = run({"update", QString::number(disc), work.path() + "/other"});
    EXPECT_EQ(refused.code, 4);
    EXPECT_TRUE(refused.err.contains("\"other\"") && refused.err.contains("\"shelf\""))
        << refused.err.toStdString();
    EXPECT_EQ(entryCount(disc), before) << "a refused update changes nothing";

    // The recorded folder, grown by one file, read again without naming it.
    writeFile(shelf.toStdString() + "/added.txt", "new");
    const Outcome again = run({"update", QString::number(disc)});
    EXPECT_EQ(again.code, 0) << again.err.toStdString();
    EXPECT_EQ(std::stoi(entryCount(disc)), std::stoi(before) + 1);

    const Outcome forced =
        run({"update", QString::number(disc), work.path() + "/other", "--force"});
    EXPECT_EQ(forced.code, 0) << forced.err.toStdString();
    EXPECT_EQ(entryCount(disc), "1");
    EXPECT_EQ(rows("select cd_nom from cd_disques_compact where cd_id = " + std::to_string(disc)),
              (std::vector<std::vector<std::string>>{{"other"}}));

    // A source holding nothing would empty the disc: refused unless forced.
    QDir(work.path()).mkdir("empty");
    EXPECT_EQ(run({"update", QString::number(disc), work.path() + "/empty"}).code, 4);
    EXPECT_EQ(entryCount(disc), "1");
}

TEST_F(Cli, DeleteNeedsYesWithoutATerminal) {
    makeFolder(work.path() + "/shelf");
    const int disc = add(work.path() + "/shelf");
    const Outcome unasked = run({"delete", QString::number(disc)});
    EXPECT_EQ(unasked.code, 2);
    EXPECT_EQ(discCount(), "1");
    const Outcome deleted = run({"delete", QString::number(disc), "--yes"});
    EXPECT_EQ(deleted.code, 0) << deleted.err.toStdString();
    EXPECT_EQ(discCount(), "0");
    EXPECT_EQ(entryCount(disc), "0");
    EXPECT_EQ(rows("select count(*) from tvk_disc_sources")[0][0], "0");
}

TEST_F(Cli, ExitCodes) {
    makeFolder(work.path() + "/shelf");
    const int disc = add(work.path() + "/shelf");
    const QString zip = work.path() + "/shelf/docs/pack.zip";
    const QString image = makeImage(work.path() + "/iso", "CUT");
    const QString imageDisc = QString::number(add(image));
    QFile::copy(image, work.path() + "/cut.iso");
    QFile(work.path() + "/cut.iso").resize(QFileInfo(image).size() / 2);
    struct Case {
        QStringList arguments;
        int code;
    };
    const QString n = QString::number(disc);
    for (const Case& c : std::vector<Case>{
             {{"discs"}, 0},
             {{"--format", "csv", "ls", n}, 0},
             {{"ls", n + ":/docs", "--format", "json"}, 0},
             {{"search", "--name", "no such name"}, 1},
             {{"ls", "99"}, 1},
             {{"ls", n + ":/readme.txt"}, 1},
             {{}, 2},
             {{"frobnicate"}, 2},
             {{"discs", "--format", "xml"}, 2},
             {{"search", "--min-size", "12Q"}, 2},
             {{"search", "--max-size", "99999999999G"}, 2},
             {{"search", "--name", "big.bin", "--min-size", "2k", "--max-size", "3000"}, 0},
             {{"search", "--name", "big.bin", "--min-size", "3001"}, 1},
             {{"search", "--from", "2024-02-30"}, 2},
             {{"search", "--limit", "ten"}, 2},
             {{"search", "--type", "link"}, 2},
             {{"export"}, 2},
             {{"add", work.path() + "/no such folder"}, 4},
             {{"add", zip}, 4},
             {{"add", work.path() + "/cut.iso"}, 4},
             {{"update", "99"}, 1},
             {{"update", imageDisc}, 0},
             {{"export", "--all", "--format", "jsonl"}, 0},
             {{"export", "99"}, 1},
             {{"--version"}, 0},
             {{"--help"}, 0},
         }) {
        const Outcome outcome = run(c.arguments);
        EXPECT_EQ(outcome.code, c.code) << c.arguments.join(' ').toStdString() << "\n"
                                        << outcome.err.toStdString();
    }
    EXPECT_EQ(discCount(), "2") << "no refused source leaves a disc behind";

    // The catalogue out of reach, and a password the server refuses.
    QProcess process;
    QProcessEnvironment env = cliEnvironment(config.path());
    process.setProcessEnvironment(env);
    process.start(cliPath(),
                  {"discs", "--host", "127.0.0.1", "--port", QString::number(closedPort())});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 3);
    env.insert("TAVISK_PASSWORD", "wrong");
    process.setProcessEnvironment(env);
    process.start(cliPath(), QStringList{"discs"} + connection());
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 3);
}

namespace {

// `text` quoted for sh.
QString shellQuoted(const QString& text) {
    return "'" + QString(text).replace("'", "'\\''") + "'";
}

// tavisk-cli on a terminal (a pseudo-terminal made by script(1)): once the terminal shows
// `prompt`, `answer` and a line break are typed. The terminal's whole output and the exit code.
std::pair<int, QString> onTerminal(const QStringList& arguments, const QProcessEnvironment& env,
                                   const QString& prompt, const QString& answer) {
    QStringList quoted{shellQuoted(cliPath())};
    for (const QString& argument : arguments)
        quoted << shellQuoted(argument);
    QProcess script;
    script.setProcessEnvironment(env);
    script.start("script", {"-qec", quoted.join(' '), "/dev/null"});
    QByteArray shown;
    while (!shown.contains(prompt.toUtf8()) && script.waitForReadyRead(20000))
        shown += script.readAll();
    EXPECT_TRUE(shown.contains(prompt.toUtf8())) << shown.toStdString();
    script.write((answer + "\n").toUtf8());
    EXPECT_TRUE(script.waitForFinished(60000));
    shown += script.readAll();
    return {script.exitCode(), QString::fromUtf8(shown)};
}

} // namespace

// On a terminal: delete asks (No by default), and a server refusing the settings' empty
// password has it asked without echo.
TEST_F(Cli, TheTerminalIsAskedWhatTheSettingsDoNotSay) {
    makeFolder(work.path() + "/shelf");
    const int disc = add(work.path() + "/shelf");
    const QString n = QString::number(disc);
    const QProcessEnvironment env = cliEnvironment(config.path());
    struct Case {
        QString answer;
        int code;
        std::string discs;
    };
    for (const Case& c : {Case{"", 1, "1"}, Case{"n", 1, "1"}, Case{"yes", 0, "0"}}) {
        const auto [code, shown] =
            onTerminal(QStringList{"delete", n} + connection(), env, "[y/N]", c.answer);
        EXPECT_EQ(code, c.code) << shown.toStdString();
        EXPECT_EQ(discCount(), c.discs);
    }

    QProcessEnvironment withoutPassword = env;
    withoutPassword.remove("TAVISK_PASSWORD");
    const QString password = QString::fromStdString(TestServer::get().password);
    const auto [code, shown] = onTerminal(QStringList{"discs"} + connection(), withoutPassword,
                                          "Password for root on 127.0.0.1: ", password);
    EXPECT_EQ(code, 0) << shown.toStdString();
    EXPECT_FALSE(shown.contains(password)) << "the password is not echoed";
}

// The progress line goes to stderr only when it is a terminal, and is wiped before the end.
TEST_F(Cli, ProgressIsShownOnATerminalOnly) {
    makeFolder(work.path() + "/shelf");
    const auto [code, shown] = onTerminal(QStringList{"add", work.path() + "/shelf"} + connection(),
                                          cliEnvironment(config.path()), "", "");
    EXPECT_EQ(code, 0) << shown.toStdString();
    EXPECT_TRUE(shown.contains("entries/s")) << shown.toStdString();
    EXPECT_TRUE(shown.contains("\r\033[K")) << "the line is wiped";

    const Outcome piped = run({"add", work.path() + "/shelf"});
    EXPECT_EQ(piped.code, 0);
    EXPECT_FALSE(piped.err.contains("entries/s")) << piped.err.toStdString();
}

TEST_F(Cli, MessagesFollowTheLocale) {
    struct Case {
        QString language;
        QString text;
    };
    for (const Case& c : {Case{"C", "There is no disc number 99"},
                          Case{"fr_FR.UTF-8", "Il n'y a pas de disque n\u00b099"}}) {
        const Outcome outcome = run({"ls", "99"}, c.language);
        EXPECT_TRUE(outcome.err.contains(c.text)) << outcome.err.toStdString();
    }
}

// Ctrl+C in the middle of a reading: a new disc leaves nothing, an update says what is left.
TEST_F(Cli, SigintStopsAReadingCleanly) {
    // Enough entries for the walk to outlast the interruption: 60 folders of 200 empty files.
    const std::string big = work.path().toStdString() + "/big";
    for (int folder = 0; folder < 60; ++folder) {
        const std::string dir = big + "/d" + std::to_string(folder);
        std::filesystem::create_directories(dir);
        for (int file = 0; file < 200; ++file)
            std::ofstream(dir + "/f" + std::to_string(file));
    }
    makeFolder(work.path() + "/small");
    const int kept = add(work.path() + "/small");

    struct Case {
        QStringList arguments;
        QString said;
    };
    for (const Case& c :
         {Case{{"add", QString::fromStdString(big)}, "nothing was added"},
          Case{{"update", QString::number(kept), QString::fromStdString(big), "--force"},
               "now holds"}}) {
        QProcess process;
        process.setProcessEnvironment(cliEnvironment(config.path()));
        process.start(cliPath(), c.arguments + connection());
        ASSERT_TRUE(process.waitForStarted());
        // Interrupted once the walk has stored some rows of the disc.
        bool walking = false;
        for (int i = 0; i < 4000 && !walking && process.state() == QProcess::Running; ++i) {
            QThread::msleep(5);
            walking = std::stoi(rows("select count(*) from fic_fichiers")[0][0]) > 50 + 7;
        }
        ASSERT_TRUE(walking) << "the reading ended before it could be interrupted";
        ::kill(pid_t(process.processId()), SIGINT);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 130);
        EXPECT_TRUE(QString::fromUtf8(process.readAllStandardError()).contains(c.said));
    }
    EXPECT_EQ(discCount(), "1") << "the interrupted new disc is removed";
    EXPECT_EQ(
        rows("select count(*) from fic_fichiers where fic_cd_id <> " + std::to_string(kept))[0][0],
        "0");
    const auto held = rows("select count(*), sum(fic_nom is null) from fic_fichiers");
    EXPECT_EQ(held[0][1], "0") << "no half-written row";
}

// Fingerprints from the shell: a folder added with --fingerprint gives its duplicate group
// (a copy inside a zip included); which tells a local folder's files apart and exits 1 while
// one is on no disc; verify reads the disc again and finds a file changed in place.
TEST_F(Cli, DuplicatesWhichAndVerifyByContents) {
    const std::string disc = work.path().toStdString() + "/disc";
    writeFile(disc + "/same.txt", "12345");
    writeFile(disc + "/copy/same2.txt", "12345");
    writeFile(disc + "/unique.txt", "abc");
    tvk::test::run(QString::fromStdString(disc), "zip", {"-q", "pack.zip", "same.txt"});
    ASSERT_EQ(add(QString::fromStdString(disc), {"--fingerprint"}), 1);

    const Outcome duplicates = run({"duplicates", "--format", "json"});
    EXPECT_EQ(duplicates.code, 0) << duplicates.err.toStdString();
    QStringList members;
    for (const QJsonValue& row : QJsonDocument::fromJson(duplicates.out).array()) {
        EXPECT_EQ(row["same"].toString(), "contents");
        EXPECT_EQ(row["wasted"].toInt(), 10);
        members << row["path"].toString();
    }
    EXPECT_EQ(members, (QStringList{"/copy/same2.txt", "/pack.zip/same.txt", "/same.txt"}));

    const QString local = work.path() + "/local";
    writeFile(local.toStdString() + "/kept.txt", "12345");
    writeFile(local.toStdString() + "/new.txt", "only here");
    const struct {
        QString path;
        int code;
        QString said;
    } cases[] = {{local, 1, "1 of 2 files (5 of 14 bytes) are on discs."},
                 {local + "/kept.txt", 0, "1 of 1 files (5 of 5 bytes) are on discs."}};
    for (const auto& c : cases) {
        const Outcome which = run({"which", c.path, "--format", "csv"});
        EXPECT_EQ(which.code, c.code) << c.path.toStdString();
        EXPECT_TRUE(which.err.contains(c.said)) << which.err.toStdString();
        EXPECT_TRUE(which.out.contains(",on a disc,1,disc,/pack.zip/same.txt\r\n"))
            << which.out.toStdString();
    }
    EXPECT_TRUE(run({"which", local}).out.contains("on no disc"));

    EXPECT_EQ(run({"verify", "1"}).code, 0);
    // The same size and date, other contents: only the fingerprint tells.
    const auto date = std::filesystem::last_write_time(disc + "/unique.txt");
    writeFile(disc + "/unique.txt", "xyz");
    std::filesystem::last_write_time(disc + "/unique.txt", date);
    const Outcome verify = run({"verify", "1", "--format", "jsonl"});
    EXPECT_EQ(verify.code, 1);
    EXPECT_EQ(verify.out, "{\"state\":\"changed\",\"path\":\"/unique.txt\"}\n");
    EXPECT_TRUE(verify.err.contains("changed: 1; unreadable: 0; missing: 0; new: 0"))
        << verify.err.toStdString();
}
