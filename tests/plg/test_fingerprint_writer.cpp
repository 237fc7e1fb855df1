// Fingerprints kept by the writer against the real server: they go out in the same batches as
// the rows, right after them, into a table made when first needed; stale ones of a disc walked
// afresh go; and a failure to store them fails the walk.
#include "indexing/plg_api.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"
#include "tvk_plg_api/fingerprint_table.h"

#include <gtest/gtest.h>

#include <array>

namespace tvk::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr char createEntries[] =
    "CREATE TABLE  `fic_fichiers` (  `fic_cd_id` int(11) NOT NULL default '0',  `fic_id` "
    "int(11) NOT NULL auto_increment,  `fic_nom` varchar(255) default NULL,  `fic_taille` "
    "bigint(11) default NULL,  `fic_type` char(1) default NULL,  `fic_date_modif` datetime "
    "default NULL,  `fic_rep_id` int(11) default NULL,  PRIMARY KEY  (`fic_cd_id`,`fic_id`),  "
    "KEY `FIC_REP_FK_I` (`fic_cd_id`,`fic_rep_id`),  KEY `FIC_NOM_NU1` (`fic_nom`),  FULLTEXT "
    "KEY `FIC_NOM_FTS` (`fic_nom`)) ENGINE=MyISAM DEFAULT CHARSET=latin1";

std::array<unsigned char, 16> hashOf(int i) {
    std::array<unsigned char, 16> hash{};
    hash[0] = 0xab;
    hash[14] = static_cast<unsigned char>(i >> 8);
    hash[15] = static_cast<unsigned char>(i);
    return hash;
}

int storeFile(const std::string& name, int disc) {
    return composeReqInsertion(name.c_str(), 'F', 10, 2020, 1, 2, 3, 4, 5, disc, -1);
}
int closeWalk() {
    return composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

class FingerprintWriter : public ::testing::Test {
protected:
    void SetUp() override {
        connection = TestServer::get().connect(database.name);
        ASSERT_NE(connection, nullptr);
        exec(connection, createEntries);
        setMsc(connection);
    }
    void TearDown() override {
        closeWalk();
        setMsc(nullptr);
        if (connection)
            mysql_close(connection);
    }
    ScopedDatabase database{"plg_fingerprints"};
    MYSQL* connection = nullptr;
};

TEST_F(FingerprintWriter, FingerprintsFollowTheirRowsBatchByBatchIntoATableMadeOnFirstUse) {
    QueryLog log;
    for (int i = 0; i < 2500; ++i) {
        const int id = storeFile("f" + std::to_string(i), 7);
        ASSERT_EQ(id, i + 1);
        // Every third file unreadable: no fingerprint.
        if (i % 3 != 2) {
            ASSERT_EQ(taviskPlg_store_fingerprint(7, id, 10, hashOf(i).data()), 1);
        }
    }
    EXPECT_EQ(closeWalk(), 1);
    std::vector<char> order; // 'E' entries, 'H' fingerprints, 'C' the table made
    for (const std::string& s : log.statements(connection)) {
        if (s.rfind("insert into fic_fichiers ", 0) == 0)
            order.push_back('E');
        else if (s.rfind("replace into tvk_file_hashes (cd_id, fic_id, size, hash) values ", 0) ==
                 0)
            order.push_back('H');
        else if (s == SQL_CREATE_FINGERPRINT_TABLE)
            order.push_back('C');
    }
    EXPECT_EQ(std::string(order.begin(), order.end()), "CEHEHEH");
    EXPECT_EQ(query(connection, "select count(*), min(fic_id), max(fic_id) from tvk_file_hashes "
                                "where cd_id = 7 and size = 10"),
              (Rows{{"1667", "1", "2500"}}));
    EXPECT_EQ(query(connection, "select hex(hash) from tvk_file_hashes where fic_id = 257"),
              (Rows{{"AB000000000000000000000000000100"}}));
    EXPECT_EQ(query(connection, "select count(*) from tvk_file_hashes where fic_id % 3 = 0"),
              (Rows{{"0"}}));
}

TEST_F(FingerprintWriter, OnlyEntriesOfTheOpenWalkTakeAFingerprint) {
    const auto hash = hashOf(1);
    EXPECT_EQ(taviskPlg_store_fingerprint(7, 1, 10, hash.data()), 0) << "no walk";
    const int id = storeFile("a", 7);
    ASSERT_EQ(id, 1);
    EXPECT_EQ(taviskPlg_store_fingerprint(7, 2, 10, hash.data()), 0) << "not stored yet";
    EXPECT_EQ(taviskPlg_store_fingerprint(8, 1, 10, hash.data()), 0) << "another disc";
    EXPECT_EQ(taviskPlg_store_fingerprint(7, 1, 10, nullptr), 0) << "no fingerprint";
    EXPECT_EQ(closeWalk(), 1);
    // Entries of an earlier walk of the same disc are not this walk's.
    ASSERT_EQ(storeFile("b", 7), 2);
    EXPECT_EQ(taviskPlg_store_fingerprint(7, 1, 10, hash.data()), 0);
    EXPECT_EQ(taviskPlg_store_fingerprint(7, 2, 10, hash.data()), 1);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(query(connection, "select cd_id, fic_id from tvk_file_hashes"), (Rows{{"7", "2"}}));
}

TEST_F(FingerprintWriter, ADiscWalkedFromItsFirstEntryLosesItsStaleFingerprints) {
    // Left by a program that removed the entries of disc 7 without knowing of fingerprints.
    exec(connection, SQL_CREATE_FINGERPRINT_TABLE);
    exec(connection, "insert into tvk_file_hashes values (7, 1, 99, x'00'), (7, 50, 99, x'00'), "
                     "(8, 1, 99, x'00')");
    ASSERT_EQ(storeFile("new", 7), 1);
    ASSERT_EQ(taviskPlg_store_fingerprint(7, 1, 10, hashOf(5).data()), 1);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(query(connection, "select cd_id, fic_id, size from tvk_file_hashes order by 1, 2"),
              (Rows{{"7", "1", "10"}, {"8", "1", "99"}}));
}

TEST_F(FingerprintWriter, AFingerprintThatCannotBeStoredFailsTheWalk) {
    // A table of that name that has no room for them.
    exec(connection, "create table tvk_file_hashes (cd_id int)");
    ASSERT_EQ(storeFile("a", 7), 1);
    ASSERT_EQ(taviskPlg_store_fingerprint(7, 1, 10, hashOf(1).data()), 1);
    EXPECT_EQ(closeWalk(), 0);
    EXPECT_NE(std::string(mysql_error(connection)), "");
}

} // namespace
} // namespace tvk::test
