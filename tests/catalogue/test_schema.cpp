// The catalogue's tables and versions against the test server: the statements as the server
// receives them, and every state the version check can find a catalogue in.
#include "catalogue/connection.h"
#include "catalogue/schema.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "platform/resources.h"
#include "shell/startup.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <unistd.h>

namespace {

using namespace tvk;
using namespace tvk::test;

// The statements as the server must receive them. "\xE9" is the comment's accented letter as
// its single Latin-1 byte.
const std::string S1 =
    "CREATE TABLE  `vorka_version` (`application` varchar(32) NOT NULL,`version_mini` int(10) "
    "unsigned NOT NULL,`version_bd` int(10) unsigned NOT NULL,PRIMARY KEY  (`application`)) "
    "ENGINE=MyISAM DEFAULT CHARSET=latin1 COMMENT='Compatibilit\xE9 des versions applications - "
    "BD'";
const std::string S2 = "INSERT INTO `vorka_version` (`application`,`version_mini`,`version_bd`) "
                       "VALUES ('Tavisk', 1, 3)";
const std::string S3 =
    "CREATE TABLE  `cd_disques_compact` (  `cd_id` int(11) NOT NULL auto_increment,  `cd_nom` "
    "varchar(255) default NULL,  `cd_type` char(1) default NULL,  PRIMARY KEY  (`cd_id`)) "
    "ENGINE=MyISAM DEFAULT CHARSET=latin1";
const std::string S4 =
    "CREATE TABLE  `fic_fichiers` (  `fic_cd_id` int(11) NOT NULL default '0',  `fic_id` int(11) "
    "NOT NULL auto_increment,  `fic_nom` varchar(255) default NULL,  `fic_taille` bigint(11) "
    "default NULL,  `fic_type` char(1) default NULL,  `fic_date_modif` datetime default NULL,  "
    "`fic_rep_id` int(11) default NULL,  PRIMARY KEY  (`fic_cd_id`,`fic_id`),  KEY "
    "`FIC_REP_FK_I` (`fic_cd_id`,`fic_rep_id`),  KEY `FIC_NOM_NU1` (`fic_nom`),  FULLTEXT KEY "
    "`FIC_NOM_FTS` (`fic_nom`)) ENGINE=MyISAM DEFAULT CHARSET=latin1";
const std::string S5 =
    "select version_mini, version_bd from vorka_version where application = 'Tavisk'";
const std::string S7 = "ALTER TABLE `fic_fichiers` ADD FULLTEXT INDEX `FIC_NOM_FTS`(`fic_nom`)";
const std::string S8 =
    "ALTER TABLE `fic_fichiers` MODIFY COLUMN `fic_taille` BIGINT(11) DEFAULT NULL";
const std::string S9_2 = "UPDATE `vorka_version` SET `version_mini` = 1, `version_bd` = 2 WHERE "
                         "`application` = 'Tavisk'";
const std::string S9_3 = "UPDATE `vorka_version` SET `version_mini` = 1, `version_bd` = 3 WHERE "
                         "`application` = 'Tavisk'";

const QString UPGRADE_QUESTION = "This version of the database is too old or uninitialized.\n"
                                 "Would you like that Tavisk performs its upgrade ?";

// Records every upgrade dialog as it is shown (its caption), and tries to close it by the
// close box and by Escape, which must not end it.
class UpgradeDialogWatch : public QObject {
public:
    UpgradeDialogWatch() { qApp->installEventFilter(this); }
    ~UpgradeDialogWatch() override { qApp->removeEventFilter(this); }
    std::vector<QString> captions;
    std::vector<const QWidget*> windows; // for comparison only: gone once the dialog ends

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* widget = qobject_cast<QWidget*>(object);
        if (event->type() == QEvent::Show && widget && widget->isWindow() &&
            widget->windowTitle().contains("->")) {
            captions.push_back(widget->windowTitle());
            windows.push_back(widget);
            widget->close();
            QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
            QApplication::sendEvent(widget, &escape);
        }
        return false;
    }
};

class Schema : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        libraryCalls().clear();
    }
    void TearDown() override { closeCatalogueConnection(); }

    // Connects to the test database and returns the statements the connection sent.
    std::vector<std::string> connectAndLog(int expected) {
        QueryLog log;
        EXPECT_EQ(connectToTestServer(db.name), expected);
        return log.statements(threadSelecting(log, db.name));
    }

    ScopedDatabase db{"tvk_schema"};
};

TEST_F(Schema, AnEmptyDatabaseIsCreatedAfterOnePromptWithTheStatementsVerbatim) {
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", UPGRADE_QUESTION, IDYES);
    const auto statements = connectAndLog(CONNECT_OK);
    EXPECT_EQ(statements, (std::vector<std::string>{S5, S1, S2, S3, S4}));
    EXPECT_EQ(boxes.calls().at(0).flags, unsigned(MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(libraryCalls(), std::vector<std::string>{"setMsc(open)"});
    EXPECT_EQ(libraryConnection(), catalogueConnection);

    // The comment arrived as Latin-1: the server took the byte for the accented letter (a
    // UTF-8 connection would have made it "?"), and gives it back as that byte.
    MYSQL* c = TestServer::get().connect(db.name);
    const auto comment = query(c, "select table_comment, hex(convert(table_comment using utf8)) "
                                  "from information_schema.tables where table_schema = '" +
                                      db.name + "' and table_name = 'vorka_version'");
    ASSERT_EQ(comment.size(), 1u);
    EXPECT_EQ(comment[0][0], "Compatibilit\xE9 des versions applications - BD");
    EXPECT_EQ(comment[0][1], QByteArray("Compatibilit\xC3\xA9 des versions applications - BD")
                                 .toHex()
                                 .toUpper()
                                 .toStdString());
    mysql_close(c);
}

TEST_F(Schema, ANewCatalogueIsUsedAtTheNextConnectionWithoutAQuestion) {
    {
        MessageBoxScript boxes;
        boxes.expect("Database upgrade", IDYES);
        ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    }
    closeCatalogueConnection();
    MessageBoxScript none;
    EXPECT_EQ(connectAndLog(CONNECT_OK), std::vector<std::string>{S5});
}

TEST_F(Schema, DecliningTheCreationRefusesTheCatalogueAndClosesTheConnection) {
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", UPGRADE_QUESTION, IDNO);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), std::vector<std::string>{S5});
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_EQ(libraryCalls(), (std::vector<std::string>{"setMsc(open)", "setMsc(none)"}));
    EXPECT_EQ(libraryConnection(), nullptr);
    EXPECT_TRUE(versionRow(db.name).empty());
}

TEST_F(Schema, VersionOneIsUpgradedInTwoStepsBehindTheWaitDialog) {
    makeOldCatalogue(db.name, 1);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", UPGRADE_QUESTION, IDYES);
    UpgradeDialogWatch dialogs;
    EXPECT_EQ(connectAndLog(CONNECT_OK), (std::vector<std::string>{S5, S7, S9_2, S8, S9_3}));
    EXPECT_EQ(dialogs.captions,
              (std::vector<QString>{"Database upgrade : 1->2", "Database upgrade : 2->3"}));
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "3"}));
    MYSQL* c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select data_type from information_schema.columns where table_schema = '" +
                           db.name + "' and column_name = 'fic_taille'")
                  .at(0)
                  .at(0),
              "bigint");
    EXPECT_EQ(query(c, "show index from fic_fichiers where key_name = 'FIC_NOM_FTS'").size(), 1u);
    mysql_close(c);
}

TEST_F(Schema, VersionTwoIsUpgradedInOneStep) {
    makeOldCatalogue(db.name, 2);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDYES);
    UpgradeDialogWatch dialogs;
    EXPECT_EQ(connectAndLog(CONNECT_OK), (std::vector<std::string>{S5, S8, S9_3}));
    EXPECT_EQ(dialogs.captions, std::vector<QString>{"Database upgrade : 2->3"});
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "3"}));
}

TEST_F(Schema, DecliningAnUpgradeLeavesTheCatalogueAtItsVersion) {
    makeOldCatalogue(db.name, 2);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDNO);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), std::vector<std::string>{S5});
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "2"}));
}

TEST_F(Schema, ANewerSchemaThatAdmitsThisProgramIsUsedWithoutAMessage) {
    makeCatalogueWithVersion(db.name, 2, 4);
    MessageBoxScript none;
    EXPECT_EQ(connectAndLog(CONNECT_OK), std::vector<std::string>{S5});
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"2", "4"}));
}

TEST_F(Schema, ACatalogueForANewerProgramIsRefused) {
    makeCatalogueWithVersion(db.name, 4, 1);
    MessageBoxScript boxes;
    boxes.expect("Update of Tavisk required",
                 "This version of Tavisk is too old to work with this database.\n"
                 "Please download the latest version of Tavisk",
                 IDOK_BOX);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), std::vector<std::string>{S5});
    EXPECT_EQ(boxes.calls().at(0).flags, unsigned(MB_OK | MB_ICONERROR));
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_EQ(libraryConnection(), nullptr);
}

TEST_F(Schema, AVersionWithoutUpgradePathIsRefusedAfterConsent) {
    makeCatalogueWithVersion(db.name, 1, 0);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDYES)
        .expect("Unknown database version ",
                "The database version is unknown ! Unable to upgrade the database !", IDOK_BOX);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), std::vector<std::string>{S5});
    EXPECT_EQ(boxes.calls().at(1).flags, unsigned(MB_OK | MB_ICONERROR));
}

TEST_F(Schema, AVersionTableWithoutTheRowFailsAtItsCreation) {
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, S1);
    mysql_close(c);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDYES)
        .expect("MySQL Error", "Table 'vorka_version' already exists", IDOK_BOX);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), (std::vector<std::string>{S5, S1}));
    EXPECT_EQ(boxes.calls().at(1).flags, unsigned(MB_OK | MB_ICONERROR));
}

TEST_F(Schema, DataTablesWithoutVersionTableKeepTheRowAndAreUsedNextTime) {
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, S3);
    exec(c, S4);
    exec(c, "insert into cd_disques_compact values (7, 'kept', 'D')");
    mysql_close(c);
    {
        MessageBoxScript boxes;
        boxes.expect("Database upgrade", IDYES)
            .expect("MySQL Error", "Table 'cd_disques_compact' already exists", IDOK_BOX);
        EXPECT_EQ(connectAndLog(CONNECT_REFUSED), (std::vector<std::string>{S5, S1, S2, S3}));
    }
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "3"}));
    MessageBoxScript none;
    EXPECT_EQ(connectAndLog(CONNECT_OK), std::vector<std::string>{S5});
    c = TestServer::get().connect(db.name);
    EXPECT_EQ(query(c, "select cd_nom from cd_disques_compact").at(0).at(0), "kept");
    mysql_close(c);
}

TEST_F(Schema, AFailedFirstStepLeavesVersionOneAndReportsInTheDialog) {
    makeOldCatalogue(db.name, 1);
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "alter table fic_fichiers add fulltext index FIC_NOM_FTS (fic_nom)");
    mysql_close(c);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDYES)
        .expect("MySQL Error", "Duplicate key name 'FIC_NOM_FTS'", IDOK_BOX);
    UpgradeDialogWatch dialogs;
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), (std::vector<std::string>{S5, S7}));
    // The error box belongs to the wait dialog.
    ASSERT_EQ(boxes.calls().size(), 2u);
    ASSERT_EQ(dialogs.windows.size(), 1u);
    EXPECT_EQ(boxes.calls()[1].owner, dialogs.windows[0]);
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "1"}));
}

TEST_F(Schema, AFailedSecondStepLeavesVersionTwo) {
    makeOldCatalogue(db.name, 1);
    MYSQL* c = TestServer::get().connect(db.name);
    exec(c, "alter table fic_fichiers drop column fic_taille");
    mysql_close(c);
    MessageBoxScript boxes;
    boxes.expect("Database upgrade", IDYES).expect("MySQL Error", IDOK_BOX);
    UpgradeDialogWatch dialogs;
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), (std::vector<std::string>{S5, S7, S9_2, S8}));
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "2"}));
    // Offered again at the next connection, from version 2.
    MessageBoxScript again;
    again.expect("Database upgrade", IDNO);
    EXPECT_EQ(connectAndLog(CONNECT_REFUSED), std::vector<std::string>{S5});
}

TEST_F(Schema, TheWaitDialogCutsALongCaptionBeforeItsSuffix) {
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    std::optional<DialogTemplate> tmpl = loadDialog(langModule, IDD_UPGRADE);
    ASSERT_TRUE(tmpl);
    tmpl->caption = QString(300, 'x');
    UpgradeDialogWatch dialogs;
    EXPECT_EQ(dialogBoxIndirectParam(langModule, *tmpl, nullptr, upgradeDialogProc, 2), 0);
    EXPECT_EQ(dialogs.captions, std::vector<QString>{QString(248, 'x') + " : 2->3"});
}

TEST_F(Schema, AnUpgradeWithoutItsDialogFails) {
    makeOldCatalogue(db.name, 2);
    MYSQL* c = TestServer::get().connect(db.name);
    catalogueConnection = c;
    const ModuleHandle module = langModule;
    langModule = nullptr; // no template 280 to build the dialog from
    EXPECT_NE(upgradeCatalogue(2), 0);
    langModule = module;
    EXPECT_EQ(versionRow(db.name), (std::vector<std::string>{"1", "2"}));
}

TEST_F(Schema, NamesKeepEveryByteThroughTheLatin1Connection) {
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    const std::vector<std::string> names = {
        "caf\xC3\xA9",                                                      // café
        "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1", // Greek
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE5\x90\x8D",     // Japanese
    };
    for (const std::string& name : names) {
        const std::string insert =
            "insert into cd_disques_compact (cd_nom, cd_type) values ('" + name + "', 'D')";
        ASSERT_TRUE(runCatalogueStatement(insert.c_str())) << catalogueErrorText().toStdString();
    }
    ASSERT_EQ(mysql_query(catalogueConnection,
                          "select cd_nom, hex(cd_nom) from cd_disques_compact order by cd_id"),
              0);
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    ASSERT_NE(result, nullptr);
    for (const std::string& name : names) {
        MYSQL_ROW row = mysql_fetch_row(result);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(std::string(row[0], mysql_fetch_lengths(result)[0]), name);
        // Stored as the same bytes, one Latin-1 character each.
        EXPECT_EQ(QByteArray::fromHex(row[1]).toStdString(), name);
    }
    mysql_free_result(result);
}

// A database name goes into the creation statement as it stands when it is a plain identifier,
// quoted otherwise (a plain name the server cannot read as a name, such as a number, is sent
// again quoted), and the database made has exactly that name.
TEST_F(Schema, ADatabaseOfAnyNameIsCreatedUnderExactlyThatName) {
    const std::string unique = uniqueDatabaseName("");
    const std::string number = std::to_string(getpid()) + "0" + std::to_string(::time(nullptr));
    const struct {
        std::string name;
        std::vector<std::string> sent;
    } cases[] = {
        {"tvk_Plain$" + unique, {"create database tvk_Plain$" + unique}},
        {"tvk-dash" + unique, {"create database `tvk-dash" + unique + "`"}},
        {"Catalogue 2024" + unique, {"create database `Catalogue 2024" + unique + "`"}},
        {"tvk`tick" + unique, {"create database `tvk``tick" + unique + "`"}},
        {"tvk" + unique + " /* comment */", {"create database `tvk" + unique + " /* comment */`"}},
        {number, {"create database " + number, "create database `" + number + "`"}},
    };
    for (const auto& c : cases) {
        MYSQL* admin = TestServer::get().connect();
        exec(admin, "drop database if exists " + quotedName(c.name));
        MessageBoxScript boxes;
        boxes.expect("Database creation", IDYES);
        QueryLog log;
        EXPECT_EQ(connectCatalogue("127.0.0.1", "root", TestServer::get().password.c_str(),
                                   TestServer::get().port, c.name.c_str()),
                  CONNECT_OK)
            << c.name;
        closeCatalogueConnection();
        auto sent = log.statements(threadSelecting(log, c.name));
        sent.resize(std::min(sent.size(), c.sent.size()));
        EXPECT_EQ(sent, c.sent);
        EXPECT_EQ(versionRow(c.name), (std::vector<std::string>{"1", "3"})) << c.name;
        exec(admin, "drop database " + quotedName(c.name));
        mysql_close(admin);
    }
}

} // namespace
