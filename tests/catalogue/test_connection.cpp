// Opening the catalogue connection against the test server: every way it can fail, the
// database branch with its questions, and what the archive library is handed.
#include "catalogue/connection.h"
#include "catalogue/settings.h"
#include "indexing/plg_api.h"
#include "shell/statusbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QWidget>
#include <gtest/gtest.h>

#include <errmsg.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace tvk;
using namespace tvk::test;

const QString CREATE_QUESTION =
    "This database doesn't exist.\nWould you to create and initialize it ?";
const QString KEEP_QUESTION = "The database has not been properly initialized.\nWould you like "
                              "however to store the connection parameters ?";

// An account that may connect but holds only the privileges given, removed afterwards.
struct ScopedAccount {
    std::string name = uniqueDatabaseName("tvk_user");
    std::string password = "pw";
    explicit ScopedAccount(const std::vector<std::string>& grants) {
        MYSQL* c = TestServer::get().connect();
        exec(c, "create user '" + name + "'@'%' identified by '" + password + "'");
        for (const std::string& grant : grants)
            exec(c, "grant " + grant + " to '" + name + "'@'%'");
        mysql_close(c);
    }
    ~ScopedAccount() {
        MYSQL* c = TestServer::get().connect();
        exec(c, "drop user '" + name + "'@'%'");
        mysql_close(c);
    }
    int connect(const std::string& database) const {
        return connectCatalogue("127.0.0.1", name.c_str(), password.c_str(), TestServer::get().port,
                                database.c_str());
    }
};

bool databaseExists(const std::string& name) {
    MYSQL* c = TestServer::get().connect();
    const bool exists = !query(c, "select schema_name from information_schema.schemata where "
                                  "schema_name = '" +
                                      name + "'")
                             .empty();
    mysql_close(c);
    return exists;
}

class Connection : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        libraryCalls().clear();
        createStatusBar(&window, QString(), 1);
        connectionSettings = {"127.0.0.1", "root", TestServer::get().password, "",
                              TestServer::get().port};
    }
    void TearDown() override { closeCatalogueConnection(); }

    bool settingsStored() const { return QFileInfo(home.settingsFile()).size() > 0; }

    QWidget window;
    ScopedConfigHome home;
};

TEST_F(Connection, NoServerOnThePortGivesTheStatusTextAndNoBox) {
    const unsigned port = closedPort();
    MessageBoxScript none;
    EXPECT_EQ(connectCatalogue("127.0.0.1", "root", "", port, "Tavisk"), CONNECT_FAILED);
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_EQ(currentStatusText(),
              QString("Unable to connect to MySQL server on port %1 !").arg(port));
    EXPECT_TRUE(libraryCalls().empty());
}

// A host that takes the connection and never greets: the connect timeout ends the wait.
TEST_F(Connection, AHostThatNeverGreetsAnswersWithinTheConnectTimeout) {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 4), 0); // the kernel accepts; nobody ever says a word
    socklen_t size = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    const unsigned port = ntohs(address.sin_port);

    MessageBoxScript none;
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(connectCatalogue("127.0.0.1", "root", "", port, "Tavisk"), CONNECT_FAILED);
    const qint64 waited = clock.elapsed();
    ::close(listener);
    EXPECT_GE(waited, qint64(CONNECT_TIMEOUT_SECONDS - 1) * 1000);
    EXPECT_LT(waited, qint64(CONNECT_TIMEOUT_SECONDS + 3) * 1000);
    EXPECT_EQ(currentStatusText(),
              QString("Unable to connect to MySQL server on port %1 !").arg(port));
    EXPECT_EQ(catalogueConnection, nullptr);
}

// The server's own texts arrive in latin1 on the catalogue connection: a French-speaking
// server's accents show as they are.
TEST_F(Connection, ServerErrorsShowInTheServersLatin1) {
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    ASSERT_TRUE(runCatalogueStatement("set lc_messages = 'fr_FR'"));
    EXPECT_FALSE(runCatalogueStatement(("create database " + db.name).c_str()));
    EXPECT_EQ(catalogueErrorText(),
              QString::fromUtf8("Ne peut créer la base '%1'; elle existe déjà")
                  .arg(QString::fromStdString(db.name)));
}

TEST_F(Connection, AWrongPasswordIsAFailedConnection) {
    MessageBoxScript none;
    EXPECT_EQ(connectCatalogue("127.0.0.1", "root", "wrong", TestServer::get().port, "Tavisk"),
              CONNECT_FAILED);
    EXPECT_EQ(catalogueConnection, nullptr);
}

// The test runs with MYSQL_UNIX_PORT naming the test server's socket (the client library reads
// it once, when it starts).
TEST_F(Connection, LocalhostMeansTheUnixSocket) {
    ASSERT_EQ(qgetenv("MYSQL_UNIX_PORT").toStdString(), TestServer::get().socket);
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    // Port 0 is handed on: over the socket it does not matter.
    EXPECT_EQ(connectCatalogue("localhost", "root", TestServer::get().password.c_str(), 0,
                               db.name.c_str()),
              CONNECT_OK);
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_NE(std::string(mysql_get_host_info(catalogueConnection)).find("socket"),
              std::string::npos)
        << mysql_get_host_info(catalogueConnection);
}

TEST_F(Connection, TheConnectionSpeaksLatin1) {
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    EXPECT_STREQ(mysql_character_set_name(catalogueConnection), "latin1");
}

TEST_F(Connection, AMissingDatabaseLeftUncreatedKeepsTheConnectionWithoutDatabase) {
    ScopedDatabase db("tvk_conn", false);
    MessageBoxScript boxes;
    boxes.expect("Database creation", CREATE_QUESTION, IDNO);
    EXPECT_EQ(connectToTestServer(db.name), CONNECT_OK);
    EXPECT_EQ(boxes.calls().at(0).flags, unsigned(MB_YESNO | MB_ICONWARNING));
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_TRUE(libraryCalls().empty());
    EXPECT_FALSE(databaseExists(db.name));
    EXPECT_FALSE(settingsStored());
    // Every catalogue statement now fails: no database is selected.
    EXPECT_FALSE(runCatalogueStatement("select cd_id from cd_disques_compact"));
    EXPECT_EQ(currentStatusText(), "");
}

TEST_F(Connection, AMissingDatabaseIsCreatedAndTheSettingsStored) {
    ScopedDatabase db("tvk_conn", false);
    connectionSettings.database = db.name;
    MessageBoxScript boxes;
    boxes.expect("Database creation", CREATE_QUESTION, IDYES);
    QueryLog log;
    EXPECT_EQ(connectToTestServer(db.name), CONNECT_OK);
    const auto statements = log.statements(threadSelecting(log, db.name));
    ASSERT_FALSE(statements.empty());
    EXPECT_EQ(statements.front(), "create database " + db.name);
    EXPECT_EQ(statements.size(), 5u); // and the four creation statements
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(libraryCalls(), std::vector<std::string>{"setMsc(open)"});
    EXPECT_EQ(libraryConnection(), catalogueConnection);
    ASSERT_TRUE(settingsStored());
    connectionSettings = ConnectionSettings{};
    readConnectionSettings();
    EXPECT_EQ(connectionSettings.database, db.name);
}

TEST_F(Connection, ADatabaseTheAccountMayNotUseFailsItsCreation) {
    ScopedDatabase db("tvk_conn");
    ScopedAccount account({"usage on *.*"});
    MessageBoxScript boxes;
    boxes.expect("Database creation", CREATE_QUESTION, IDYES)
        .expect("MySQL Error", IDOK_BOX)
        .expect("Database creation failure", KEEP_QUESTION, IDNO);
    EXPECT_EQ(account.connect(db.name), CONNECT_NO_DATABASE);
    EXPECT_TRUE(boxes.calls().at(1).text.startsWith("Access denied for user"))
        << boxes.calls().at(1).text.toStdString();
    EXPECT_EQ(boxes.calls().at(1).flags, unsigned(MB_OK | MB_ICONERROR));
    EXPECT_EQ(boxes.calls().at(2).flags, unsigned(MB_YESNO));
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_FALSE(settingsStored());
    // The library was never handed this connection: it hears nothing of its closing.
    EXPECT_TRUE(libraryCalls().empty());
}

TEST_F(Connection, KeepingTheSettingsAfterAFailedCreationHandsNoConnection) {
    ScopedDatabase db("tvk_conn", false);
    ScopedAccount account({"usage on *.*"});
    MessageBoxScript boxes;
    boxes.expect("Database creation", IDYES)
        .expect("MySQL Error", IDOK_BOX)
        .expect("Database creation failure", KEEP_QUESTION, IDYES);
    EXPECT_EQ(account.connect(db.name), CONNECT_NO_DATABASE);
    EXPECT_EQ(libraryConnection(), nullptr);
    // Keeping the settings hands the library the connection that is left: none, once.
    EXPECT_EQ(libraryCalls(), std::vector<std::string>{"setMsc(none)"});
    EXPECT_TRUE(settingsStored());
    EXPECT_FALSE(databaseExists(db.name));
}

TEST_F(Connection, ADatabaseCreatedWhoseTablesFailKeepsTheConnection) {
    // The account may create the database and its tables but may not write the version row.
    ScopedDatabase db("tvk_conn", false);
    ScopedAccount account({"create, select on `" + db.name + "`.*"});
    MessageBoxScript boxes;
    boxes.expect("Database creation", IDYES)
        .expect("MySQL Error", IDOK_BOX)
        .expect("Database creation failure", KEEP_QUESTION, IDYES);
    EXPECT_EQ(account.connect(db.name), CONNECT_OK);
    EXPECT_TRUE(boxes.calls().at(1).text.contains("INSERT command denied"))
        << boxes.calls().at(1).text.toStdString();
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_EQ(libraryConnection(), catalogueConnection);
    EXPECT_TRUE(settingsStored());
}

TEST_F(Connection, ClosingHandsNoneToTheLibrary) {
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    closeCatalogueConnection();
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"setMsc(open)", "setMsc(none)"}));
    EXPECT_EQ(libraryConnection(), nullptr);
}

// The library's last INSERT may still be running when the program sends a statement of its own
// (a walk pumps events): the statement gets its own answer, and closing mid-walk is safe.
TEST_F(Connection, AStatementSentWhileTheLibrarysInsertRunsGetsItsOwnAnswer) {
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    const auto storeRows = [](int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_GT(composeReqInsertion("f", 'F', 1, 2020, 1, 2, 3, 4, 5, 6, -1), 0);
    };
    storeRows(1001);
    ASSERT_TRUE(queryCatalogue("select count(*) from fic_fichiers"));
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(std::string(mysql_fetch_row(result)[0]), "1000");
    mysql_free_result(result);
    storeRows(1000);
    closeCatalogueConnection();
    EXPECT_EQ(composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0), 0);
}

// A connection the server dropped (here by a KILL, as after its wait_timeout): a read connects
// again once, quietly, and is sent again, the library handed none and then the new handle; a
// write is not sent again. When no connection can be made the read fails as it is, and the
// next read tries again.
TEST_F(Connection, AReadOnADroppedConnectionConnectsAgainOnceAWriteDoesNot) {
    ScopedDatabase db("tvk_conn");
    makeCatalogueWithVersion(db.name, 1, 3);
    ScopedAccount account({"select, insert on `" + db.name + "`.*"});
    MessageBoxScript none;
    ASSERT_EQ(account.connect(db.name), CONNECT_OK);
    setStatusText("before");
    const auto asRoot = [](const std::string& statement) {
        MYSQL* root = TestServer::get().connect();
        exec(root, statement);
        mysql_close(root);
        libraryCalls().clear();
    };
    asRoot("kill " + std::to_string(mysql_thread_id(catalogueConnection)));
    EXPECT_FALSE(runCatalogueStatement("insert into cd_disques_compact values (7, 'w', 'D')"));
    EXPECT_TRUE(libraryCalls().empty());
    QueryLog log;
    EXPECT_TRUE(runCatalogueStatement("select cd_id from cd_disques_compact"));
    EXPECT_EQ(log.statements(catalogueConnection),
              std::vector<std::string>{"select cd_id from cd_disques_compact"});
    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"setMsc(none)", "setMsc(open)"}));
    EXPECT_EQ(libraryConnection(), catalogueConnection);
    EXPECT_EQ(currentStatusText(), "before");

    const std::string user = "alter user '" + account.name + "'@'%' identified by ";
    asRoot(user + "'changed'");
    asRoot("kill " + std::to_string(mysql_thread_id(catalogueConnection)));
    EXPECT_FALSE(runCatalogueStatement("select cd_id from cd_disques_compact"));
    EXPECT_EQ(mysql_errno(catalogueConnection), unsigned(CR_SERVER_LOST));
    EXPECT_TRUE(libraryCalls().empty());
    asRoot(user + "'" + account.password + "'");
    EXPECT_TRUE(runCatalogueStatement("select cd_id from cd_disques_compact"));
    EXPECT_EQ(libraryConnection(), catalogueConnection);
}

} // namespace
