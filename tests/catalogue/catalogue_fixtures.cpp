// Catalogues on the test server, made the way older programs left them.
#include "catalogue/connection.h"
#include "catalogue/schema.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/test_server.h"

#include <gtest/gtest.h>

namespace tvk::test {

int connectToTestServer(const std::string& database) {
    return connectCatalogue("127.0.0.1", "root", TestServer::get().password.c_str(),
                            TestServer::get().port, database.c_str());
}

unsigned long threadSelecting(const QueryLog& log, const std::string& database) {
    for (const LoggedCommand& command : log.commands()) {
        if (command.command == "Init DB" && command.argument == database)
            return command.threadId;
    }
    return 0;
}

void makeOldCatalogue(const std::string& database, int versionBd, int versionMini) {
    MYSQL* c = TestServer::get().connect(database);
    ASSERT_NE(c, nullptr);
    exec(c, "CREATE TABLE vorka_version (application varchar(32) NOT NULL, version_mini int(10) "
            "unsigned NOT NULL, version_bd int(10) unsigned NOT NULL, PRIMARY KEY (application)) "
            "ENGINE=MyISAM DEFAULT CHARSET=latin1");
    exec(c, "INSERT INTO vorka_version VALUES ('Tavisk', " + std::to_string(versionMini) + ", " +
                std::to_string(versionBd) + ")");
    exec(c, "CREATE TABLE cd_disques_compact (cd_id int(11) NOT NULL auto_increment, cd_nom "
            "varchar(255) default NULL, cd_type char(1) default NULL, PRIMARY KEY (cd_id)) "
            "ENGINE=MyISAM DEFAULT CHARSET=latin1");
    std::string entries =
        "CREATE TABLE fic_fichiers (fic_cd_id int(11) NOT NULL default '0', fic_id int(11) NOT "
        "NULL auto_increment, fic_nom varchar(255) default NULL, fic_taille int(11) default NULL, "
        "fic_type char(1) default NULL, fic_date_modif datetime default NULL, fic_rep_id int(11) "
        "default NULL, PRIMARY KEY (fic_cd_id, fic_id), KEY FIC_REP_FK_I (fic_cd_id, fic_rep_id), "
        "KEY FIC_NOM_NU1 (fic_nom)";
    if (versionBd >= 2)
        entries += ", FULLTEXT KEY FIC_NOM_FTS (fic_nom)";
    entries += ") ENGINE=MyISAM DEFAULT CHARSET=latin1";
    exec(c, entries);
    mysql_close(c);
}

void makeCatalogueWithVersion(const std::string& database, int versionMini, int versionBd) {
    MYSQL* c = TestServer::get().connect(database);
    ASSERT_NE(c, nullptr);
    exec(c, SQL_CREATE_VERSION_TABLE);
    exec(c, "INSERT INTO vorka_version VALUES ('Tavisk', " + std::to_string(versionMini) + ", " +
                std::to_string(versionBd) + ")");
    exec(c, SQL_CREATE_DISC_TABLE);
    exec(c, SQL_CREATE_ENTRY_TABLE);
    mysql_close(c);
}

std::vector<std::string> versionRow(const std::string& database) {
    MYSQL* c = TestServer::get().connect(database);
    if (!c)
        return {};
    if (query(c, "show tables like 'vorka_version'").empty()) {
        mysql_close(c);
        return {};
    }
    auto rows = query(c, "select version_mini, version_bd from vorka_version where application "
                         "= 'Tavisk'");
    mysql_close(c);
    return rows.empty() ? std::vector<std::string>{} : rows.front();
}

} // namespace tvk::test
