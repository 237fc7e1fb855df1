// The catalogue writer behind composeReqInsertion against the real server: the statements it
// sends (read back from the server's query log) and the rows they leave in fic_fichiers.
#include "indexing/plg_api.h"
#include "tests/plg/archive_tools.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"
#include "tvk_plg_api/entry_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

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

int storeFile(const std::string& name, int disc, int parent = -1) {
    return composeReqInsertion(name.c_str(), 'F', 1, 2020, 1, 2, 3, 4, 5, disc, parent);
}
int closeWalk() {
    return composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Rows that an INSERT statement carries.
std::size_t rowsIn(const std::string& statement) {
    std::size_t rows = 1, at = 0;
    while ((at = statement.find("),(", at)) != std::string::npos)
        ++rows, ++at;
    return rows;
}

std::vector<std::string> inserts(const std::vector<std::string>& statements) {
    std::vector<std::string> found;
    for (const std::string& s : statements)
        if (s.rfind("insert into fic_fichiers (fic_cd_id, fic_id, fic_nom, fic_taille, fic_type, "
                    "fic_date_modif, fic_rep_id) values (",
                    0) == 0)
            found.push_back(s);
    return found;
}

class CatalogueWriter : public ::testing::Test {
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
    Rows table(const std::string& columns, int disc) {
        return query(connection, "select " + columns + " from fic_fichiers where fic_cd_id = " +
                                     std::to_string(disc) + " order by fic_id");
    }

    ScopedDatabase database{"plg_writer"};
    MYSQL* connection = nullptr;
};

TEST_F(CatalogueWriter, AWalkNumbersOnFromTheDiscsHighestIdInThousandRowInserts) {
    exec(connection, "insert into fic_fichiers (fic_cd_id, fic_nom) values (7,'a'),(7,'b'),"
                     "(7,'c'),(8,'x')");
    exec(connection, "update fic_fichiers set fic_id = 40 where fic_cd_id = 8");
    QueryLog log;
    for (int i = 0; i < 999; ++i)
        ASSERT_EQ(storeFile("f" + std::to_string(i), 7), 4 + i);
    // Nothing but the start of the walk has been sent yet.
    EXPECT_EQ(log.statements(connection),
              (std::vector<std::string>{"select max(fic_id) from fic_fichiers where fic_cd_id = 7",
                                        "select @@max_allowed_packet"}));
    for (int i = 999; i < 2500; ++i)
        ASSERT_EQ(storeFile("f" + std::to_string(i), 7), 4 + i);
    EXPECT_EQ(closeWalk(), 1);
    const auto sent = inserts(log.statements(connection));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(rowsIn(sent[0]), 1000u);
    EXPECT_EQ(rowsIn(sent[1]), 1000u);
    EXPECT_EQ(rowsIn(sent[2]), 500u);
    EXPECT_EQ(sent[0].substr(sent[0].find("values ") + 7, 48),
              "(7,4,'f0',1,'F','2020-01-02 03:04:05',NULL),(7,5");
    EXPECT_EQ(table("count(*), min(fic_id), max(fic_id)", 7), (Rows{{"2503", "1", "2503"}}));
    // Another disc in the middle of a walk: what waits is sent, and that disc's numbering
    // continues from its own highest id.
    EXPECT_EQ(storeFile("g", 7), 2504);
    EXPECT_EQ(storeFile("h", 8), 41);
    EXPECT_EQ(storeFile("i", 7), 2505);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(table("fic_id, fic_nom", 8), (Rows{{"40", "x"}, {"41", "h"}}));
    // A closing call without a walk sends nothing and reports success.
    QueryLog quiet;
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_TRUE(quiet.statements(connection).empty());
}

TEST_F(CatalogueWriter, AnEmptiedDiscIsNumberedFromOneAgain) {
    for (int i = 0; i < 5; ++i)
        storeFile("old", 4);
    ASSERT_EQ(closeWalk(), 1);
    exec(connection, "delete from fic_fichiers where fic_cd_id = 4");
    EXPECT_EQ(storeFile("new", 4), 1);
    EXPECT_EQ(composeReqInsertion("sub", 'R', 0, 2020, 1, 1, 0, 0, 0, 4, 1), 2);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(table("fic_id, fic_nom, fic_type, fic_rep_id", 4),
              (Rows{{"1", "new", "F", "<NULL>"}, {"2", "sub", "R", "1"}}));
}

TEST_F(CatalogueWriter, NamesAreStoredByteForByteAndCutAtACharacterBoundary) {
    std::string twoByte, threeByte;
    for (int i = 0; i < 150; ++i)
        twoByte += "\xc3\xa9";
    for (int i = 0; i < 100; ++i)
        threeByte += "\xe2\x82\xac";
    const std::vector<std::pair<std::string, std::string>> names = {
        {"it's \"quoted\"", "it's \"quoted\""},
        {"back\\slash\\", "back\\slash\\"},
        {"100% _x_", "100% _x_"},
        {"line\nbreak\r\x1a", "line\nbreak\r\x1a"},
        {"\xe9t\xe9 \xff\x80", "\xe9t\xe9 \xff\x80"},
        {std::string(255, 'n'), std::string(255, 'n')},
        {std::string(300, 'n'), std::string(255, 'n')},
        {twoByte, twoByte.substr(0, 254)},
        {threeByte, threeByte.substr(0, 255)},
        {std::string(300, '\xe9'), std::string(255, '\xe9')},
        {std::string(300, '\''), std::string(255, '\'')},
    };
    for (const auto& [given, kept] : names)
        ASSERT_GT(storeFile(given, 2), 0);
    EXPECT_EQ(closeWalk(), 1);
    const Rows rows = table("fic_nom", 2);
    ASSERT_EQ(rows.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(rows[i][0], names[i].second) << "name " << i;
}

TEST_F(CatalogueWriter, SizesDatesParentsAndTypes) {
    const auto store = [](char type, unsigned long long size, int y, int mo, int d, int h, int mi,
                          int s, int parent) {
        return composeReqInsertion("e", type, size, y, mo, d, h, mi, s, 5, parent);
    };
    EXPECT_EQ(store('F', 5ull << 30, 2024, 2, 29, 23, 59, 59, -1), 1);
    EXPECT_EQ(store('Z', ULLONG_MAX, 1000, 1, 1, 0, 0, 0, 1), 2);
    EXPECT_EQ(store('R', 0, 0, 0, 0, 0, 0, 0, 2), 3);
    EXPECT_EQ(store('F', 1, 2023, 2, 29, 0, 0, 0, -1), 4);
    EXPECT_EQ(store('F', 1, 2020, 13, 1, 0, 0, 0, -1), 5);
    EXPECT_EQ(store('F', 1, 999, 12, 31, 0, 0, 0, -1), 6);
    EXPECT_EQ(store('F', 1, 10000, 1, 1, 0, 0, 0, -1), 7);
    EXPECT_EQ(store('F', 1, 2020, 1, 1, 24, 0, 0, -1), 8);
    EXPECT_EQ(store('F', 1, 2020, 4, 31, 0, 0, 0, -1), 9);
    // Refused calls store nothing and take no number.
    EXPECT_EQ(store('X', 1, 2020, 1, 1, 0, 0, 0, -1), 0);
    EXPECT_EQ(store(' ', 1, 2020, 1, 1, 0, 0, 0, -1), 0);
    EXPECT_EQ(composeReqInsertion(nullptr, 'F', 0, 0, 0, 0, 0, 0, 0, 5, -1), 0);
    EXPECT_EQ(store('F', 1, 9999, 12, 31, 23, 59, 59, -1), 10);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(table("fic_id, fic_type, fic_taille, fic_date_modif, fic_rep_id", 5),
              (Rows{{"1", "F", "5368709120", "2024-02-29 23:59:59", "<NULL>"},
                    {"2", "Z", "9223372036854775807", "1000-01-01 00:00:00", "1"},
                    {"3", "R", "0", "<NULL>", "2"},
                    {"4", "F", "1", "<NULL>", "<NULL>"},
                    {"5", "F", "1", "<NULL>", "<NULL>"},
                    {"6", "F", "1", "<NULL>", "<NULL>"},
                    {"7", "F", "1", "<NULL>", "<NULL>"},
                    {"8", "F", "1", "<NULL>", "<NULL>"},
                    {"9", "F", "1", "<NULL>", "<NULL>"},
                    {"10", "F", "1", "9999-12-31 23:59:59", "<NULL>"}}));
}

TEST_F(CatalogueWriter, StatementsStayBelowASmallMaxAllowedPacket) {
    // The packet size of a session is fixed when it connects: lower the global value for one
    // new connection only, and put it back at once.
    const auto previous = query(connection, "select @@global.max_allowed_packet");
    ASSERT_EQ(previous.size(), 1u);
    exec(connection, "set global max_allowed_packet = 8192");
    MYSQL* small = TestServer::get().connect(database.name);
    exec(connection, "set global max_allowed_packet = " + previous[0][0]);
    ASSERT_NE(small, nullptr);
    ASSERT_EQ(query(small, "select @@max_allowed_packet"), (Rows{{"8192"}}));
    setMsc(small);
    QueryLog log;
    const std::string quotes(255, '\''); // escaped, every byte doubles
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(storeFile(quotes, 6), i + 1);
    EXPECT_EQ(closeWalk(), 1);
    const auto sent = inserts(log.statements(small));
    std::size_t rows = 0;
    for (const std::string& statement : sent) {
        EXPECT_LE(statement.size(), 8192u - 256u);
        rows += rowsIn(statement);
    }
    EXPECT_EQ(rows, 100u);
    EXPECT_GE(sent.size(), 8u); // at most 13 rows of 560 bytes in 7936
    EXPECT_EQ(table("count(*)", 6), (Rows{{"100"}}));
    setMsc(connection);
    mysql_close(small);
}

// After a failed statement every call of the walk answers -1 at once and sends nothing; the
// server's text stays on the connection and the closing call reports the failure.
void expectFailedWalk(MYSQL* connection, const QueryLog& log, const std::string& text) {
    const std::size_t sentBefore = log.statements(connection).size();
    const std::string error = mysql_error(connection);
    EXPECT_NE(error.find(text), std::string::npos) << error;
    for (int i = 0; i < 1500; ++i)
        ASSERT_EQ(storeFile("after", 9), -1);
    EXPECT_EQ(composeReqInsertion("dir", 'R', 0, 0, 0, 0, 0, 0, 0, 10, -1), -1);
    EXPECT_LE(closeWalk(), 0);
    EXPECT_EQ(mysql_error(connection), error);
    EXPECT_EQ(log.statements(connection).size(), sentBefore);
}

TEST_F(CatalogueWriter, ADroppedTableFailsTheWalkAndKeepsTheServersText) {
    QueryLog log;
    for (int i = 0; i < 1000; ++i)
        ASSERT_GT(storeFile("x", 9), 0);
    MYSQL* other = TestServer::get().connect(database.name);
    exec(other, "drop table fic_fichiers");
    // The 1001st row sends the first thousand without waiting; the failure is read before the
    // connection serves anything else.
    EXPECT_EQ(storeFile("flushes", 9), 1001);
    EXPECT_EQ(taviskPlg_wait_writes(), 0);
    expectFailedWalk(connection, log, "doesn't exist");
    // The next walk tries again.
    exec(other, createEntries);
    EXPECT_EQ(storeFile("again", 9), 1);
    EXPECT_EQ(closeWalk(), 1);
    mysql_close(other);
}

TEST_F(CatalogueWriter, AKilledConnectionFailsTheWalkWithoutACrash) {
    QueryLog log;
    ASSERT_EQ(storeFile("kept", 9), 1);
    MYSQL* other = TestServer::get().connect(database.name);
    exec(other, "kill " + std::to_string(mysql_thread_id(connection)));
    mysql_close(other);
    EXPECT_LE(closeWalk(), 0);
    EXPECT_NE(std::string(mysql_error(connection)), "");
    // A walk on the dead connection fails at its first statement and stays failed.
    EXPECT_EQ(storeFile("x", 9), -1);
    expectFailedWalk(connection, log, "");
}

TEST_F(CatalogueWriter, ANewConnectionMidWalkDropsTheWalkWithoutUsingTheOldHandle) {
    QueryLog log;
    ASSERT_EQ(storeFile("waiting", 3), 1);
    setMsc(nullptr);
    EXPECT_EQ(storeFile("none", 3), -1);
    EXPECT_LE(closeWalk(), 0);
    EXPECT_TRUE(inserts(log.statements(connection)).empty());
    // Without a connection at all: refused, and the walk reports it.
    EXPECT_EQ(storeFile("none", 3), -1);
    EXPECT_LE(closeWalk(), 0);
    setMsc(connection);
    ASSERT_EQ(storeFile("waiting", 3), 1);
    MYSQL* second = TestServer::get().connect(database.name);
    setMsc(second);
    mysql_close(connection); // the old handle is gone for good
    connection = second;
    EXPECT_EQ(storeFile("x", 3), -1);
    EXPECT_LE(closeWalk(), 0);
    EXPECT_EQ(storeFile("fresh", 3), 1);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(table("fic_nom", 3), (Rows{{"fresh"}}));
}

TEST_F(CatalogueWriter, ArchiveContentsGoBeneathTheArchivesRow) {
    WorkDir dir;
    dir.write("n/inner.txt", "in");
    dir.run({"zip", "-q", "../in.zip", "inner.txt"}, "n");
    dir.write("it's.txt", "quoted");
    dir.run({"tar", "czf", "walk.tar.gz", "in.zip", "it's.txt"});
    // As the volume walk does: the archive's row, its contents, the closing call.
    ASSERT_EQ(storeFile("top", 11), 1);
    const int archive = composeReqInsertion("walk.tar.gz", 'Z', 10, 2020, 1, 1, 0, 0, 0, 11, -1);
    ASSERT_EQ(archive, 2);
    EXPECT_EQ(ParcoureArchive(dir.file("walk.tar.gz").c_str(), 11, archive, 0), 3);
    EXPECT_EQ(storeFile("last", 11), 6);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(table("fic_id, fic_nom, fic_type, fic_rep_id", 11),
              (Rows{{"1", "top", "F", "<NULL>"},
                    {"2", "walk.tar.gz", "Z", "<NULL>"},
                    {"3", "in.zip", "Z", "2"},
                    {"4", "inner.txt", "F", "3"},
                    {"5", "it's.txt", "F", "2"},
                    {"6", "last", "F", "<NULL>"}}));
    // Outside a walk the reading is a walk of its own: its rows are in the table at once.
    EXPECT_EQ(ParcoureArchive(dir.file("walk.tar.gz").c_str(), 12, 77, 0), 3);
    EXPECT_EQ(table("fic_id, fic_nom, fic_rep_id", 12),
              (Rows{{"1", "in.zip", "77"}, {"2", "inner.txt", "1"}, {"3", "it's.txt", "77"}}));
    EXPECT_EQ(ParcoureArchive(dir.file("missing.zip").c_str(), 12, 77, 0), -1);
}

} // namespace
} // namespace tvk::test

namespace tvk::test {
namespace {

TEST_F(CatalogueWriter, FoldersListedAfterTheirFilesTakeTheirOwnDates) {
    WorkDir dir;
    setTime(dir.write("t/a/b/c.txt", "c"), 981173106); // 2001-02-03 04:05:06
    setTime(dir.file("t/a/b"), 1014951845);            // 2002-03-01 03:04:05
    setTime(dir.file("t/a"), 1046660645);              // 2003-03-03 03:04:05
    dir.run({"tar", "--no-recursion", "-cf", "../late.tar", "a/b/c.txt", "a/b", "a"}, "t");
    EXPECT_EQ(ParcoureArchive(dir.file("late.tar").c_str(), 13, 50, 0), 3);
    EXPECT_EQ(table("fic_id, fic_nom, fic_type, fic_date_modif, fic_rep_id", 13),
              (Rows{{"1", "a", "R", "2003-03-03 03:04:05", "50"},
                    {"2", "b", "R", "2002-03-01 03:04:05", "1"},
                    {"3", "c.txt", "F", "2001-02-03 04:05:06", "2"}}));
}

// What the callbacks were told, and the answer the progress gives at its call `stopAt`.
struct Heard {
    int progressCalls = 0;
    int stopAt = -1;
    std::vector<std::string> cut;
};

TEST_F(CatalogueWriter, CallbacksStopTheReadingAndTellTheDiscCeilingOncePerWalk) {
    WorkDir dir;
    std::string noise(600 << 10, '\0');
    unsigned seed = 7;
    for (char& c : noise)
        c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
    dir.write("n/noise", noise);
    dir.write("n/after", "after");
    dir.run({"tar", "czf", "../noise.tar.gz", "noise", "after"}, "n");
    const std::string archive = dir.file("noise.tar.gz");
    const plg::ReaderLimits saved = plg::libraryLimits();
    plg::libraryLimits().maxDiscBytes = 1 << 20; // one reading of the archive fits, not two
    plg::libraryLimits().progressInterval = 0;
    Heard heard;
    TvkPlgCallbacks callbacks{};
    callbacks.context = &heard;
    callbacks.progress = [](void* context) {
        auto* h = static_cast<Heard*>(context);
        return ++h->progressCalls == h->stopAt ? 1 : 0;
    };
    callbacks.cutShort = [](void* context, const char* path, int limit) {
        static_cast<Heard*>(context)->cut.push_back(path + (":" + std::to_string(limit)));
    };
    taviskPlg_set_callbacks(&callbacks);
    // One walk of disc 14 reads the archive twice: the second reading reaches the ceiling.
    ASSERT_EQ(storeFile("x.tar.gz", 14), 1);
    EXPECT_EQ(ParcoureArchive(archive.c_str(), 14, 1, 0), 2);
    EXPECT_TRUE(heard.cut.empty());
    EXPECT_EQ(ParcoureArchive(archive.c_str(), 14, 1, 0), 1);
    EXPECT_EQ(heard.cut, (std::vector<std::string>{":3"}));
    EXPECT_EQ(closeWalk(), 1);
    // The next walk of the same disc counts from nothing again.
    ASSERT_EQ(storeFile("y.tar.gz", 14), 5);
    EXPECT_EQ(ParcoureArchive(archive.c_str(), 14, 5, 0), 2);
    EXPECT_EQ(closeWalk(), 1);
    EXPECT_EQ(heard.cut.size(), 1u);
    // Stopped at the second call, inside the data of "noise": what was stored stays.
    heard.progressCalls = 0;
    heard.stopAt = 2;
    EXPECT_EQ(ParcoureArchive(archive.c_str(), 16, 9, 0), PARCOURE_STOPPED);
    EXPECT_EQ(table("fic_nom, fic_rep_id", 16), (Rows{{"noise", "9"}}));
    EXPECT_EQ(heard.cut.size(), 1u);
    taviskPlg_set_callbacks(nullptr);
    plg::libraryLimits() = saved;
}

} // namespace
} // namespace tvk::test
