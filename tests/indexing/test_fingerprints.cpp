// Content fingerprints end to end against the real server: disc images indexed with
// fingerprints by the archive library, then the duplicates across discs, the lookup of local
// files ("which"), a disc's fingerprints removed with it, a catalogue that had no fingerprint
// table, and a disc verified against the folder it was made from.
#include "catalogue/fingerprints.h"
#include "catalogue/schema.h"
#include "indexing/fingerprint.h"
#include "indexing/plg_api.h"
#include "indexing/verify.h"
#include "tests/indexing/indexing_support.h"
#include "tests/support/test_server.h"
#include "tests/support/without_dac_override.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>
#include <sys/stat.h>

namespace tvk::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;
constexpr long long when = 1262304000; // 2010-01-01 00:00:00 UTC

// Contents of `size` bytes that differ by `seed`.
std::string contents(std::size_t size, char seed) {
    std::string text;
    for (std::size_t i = 0; text.size() < size; ++i)
        text += std::string(1, seed) + std::to_string(i * 31 % 997) + ",";
    text.resize(size);
    return text;
}

const std::string photo = contents(200'000, 'p');
const std::string report = contents(50'000, 'r');
const std::string notes = contents(300, 'n');

// What a group looks like in the tests: "size [byName] disc:path disc:path...".
std::string describeGroup(const DuplicateGroup& group) {
    std::string text = std::to_string(group.size) + (group.byName ? " byName" : "");
    for (const CatalogueFile& file : group.members)
        text += " " + std::to_string(file.discId) + ":" + file.discName + ":" + file.path;
    return text;
}

std::vector<std::string> describeGroups(MYSQL* connection, std::uint64_t minSize) {
    std::vector<DuplicateGroup> groups;
    EXPECT_TRUE(findDuplicates(connection, minSize, groups)) << mysql_error(connection);
    std::vector<std::string> texts;
    for (const DuplicateGroup& group : groups)
        texts.push_back(describeGroup(group));
    return texts;
}

class Fingerprints : public ::testing::Test {
protected:
    void SetUp() override {
        connection = TestServer::get().connect(database.name);
        ASSERT_NE(connection, nullptr);
        exec(connection, SQL_CREATE_DISC_TABLE);
        exec(connection, SQL_CREATE_ENTRY_TABLE);
        setMsc(connection);
        root = dir.path().toStdString();
    }
    void TearDown() override {
        setMsc(nullptr);
        if (connection)
            mysql_close(connection);
    }

    // Two folders sharing contents under other names, the second holding a zip, and their
    // images: disc 1 "alpha" and disc 2 "beta".
    void makeDiscs() {
        writeFile(root + "/a/holiday.jpg", photo, when);
        writeFile(root + "/a/notes.txt", notes, when);
        writeFile(root + "/a/docs/report.pdf", report, when);
        writeFile(root + "/a/only-a.txt", contents(4000, 'a'), when);
        writeFile(root + "/a/empty.txt", "", when);
        writeFile(root + "/b/copy of holiday.jpg", photo, when);
        writeFile(root + "/b/only-b.txt", contents(4000, 'b'), when);
        writeFile(root + "/b/empty.txt", "", when);
        writeFile(root + "/zip/inner/report-final.pdf", report);
        writeFile(root + "/zip/notes-copy.txt", notes);
        run(QString::fromStdString(root + "/zip"), "zip",
            {"-qr", QString::fromStdString(root + "/b/archive.zip"), "."});
        run(dir.path(), "genisoimage", {"-quiet", "-R", "-o", "a.iso", "a"});
        run(dir.path(), "genisoimage", {"-quiet", "-R", "-o", "b.iso", "b"});
    }
    int addDisc(const std::string& name) {
        exec(connection,
             "insert into cd_disques_compact (cd_nom, cd_type) values ('" + name + "', 'D')");
        return static_cast<int>(mysql_insert_id(connection));
    }
    void indexImage(const std::string& image, int disc) {
        ASSERT_GT(ParcoureArchive((root + "/" + image).c_str(), disc, -1,
                                  PARCOURE_WHOLE | PARCOURE_FINGERPRINT),
                  0);
    }
    void indexBoth() {
        makeDiscs();
        ASSERT_EQ(addDisc("alpha"), 1);
        ASSERT_EQ(addDisc("beta"), 2);
        indexImage("a.iso", 1);
        indexImage("b.iso", 2);
    }
    Rows orphans() {
        return query(connection, "select h.cd_id, h.fic_id from tvk_file_hashes h left join "
                                 "fic_fichiers f on f.fic_cd_id = h.cd_id and f.fic_id = "
                                 "h.fic_id where f.fic_id is null");
    }

    ScopedDatabase database{"fingerprints"};
    MYSQL* connection = nullptr;
    QTemporaryDir dir;
    std::string root;
};

TEST_F(Fingerprints, TwoImagesSharingContentsGiveTheDuplicateGroupsMostWastefulFirst) {
    indexBoth();
    EXPECT_EQ(describeGroups(connection, 0),
              (std::vector<std::string>{
                  "200000 1:alpha:holiday.jpg 2:beta:copy of holiday.jpg",
                  "50000 1:alpha:docs/report.pdf 2:beta:archive.zip/inner/report-final.pdf",
                  "300 1:alpha:notes.txt 2:beta:archive.zip/notes-copy.txt"}));
    EXPECT_EQ(describeGroups(connection, 50'000).size(), 2u);
    EXPECT_EQ(describeGroups(connection, 50'001).size(), 1u);

    // A disc indexed without fingerprints takes part by name and size.
    const int gamma = addDisc("gamma");
    composeReqInsertion("holiday.jpg", 'F', photo.size(), 2010, 1, 1, 0, 0, 0, gamma, -1);
    composeReqInsertion("Holiday.jpg", 'F', photo.size(), 2010, 1, 1, 0, 0, 0, gamma, -1);
    composeReqInsertion("notes.txt", 'F', 999, 2010, 1, 1, 0, 0, 0, gamma, -1);
    ASSERT_EQ(composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0), 1);
    const auto groups = describeGroups(connection, 0);
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0], "200000 1:alpha:holiday.jpg 2:beta:copy of holiday.jpg");
    // Names compare byte for byte: "Holiday.jpg" is another name.
    EXPECT_EQ(groups[1], "200000 byName 1:alpha:holiday.jpg 3:gamma:holiday.jpg");

    // A fingerprint whose entry changed size since (written by a program that does not know
    // the table) is not trusted.
    exec(connection, "update fic_fichiers set fic_taille = 7 where fic_cd_id = 1 and fic_nom = "
                     "'notes.txt'");
    EXPECT_EQ(describeGroups(connection, 0).size(), 3u);
}

TEST_F(Fingerprints, WhichFindsALocalCopyOfAFileInsideAnArchiveOnADisc) {
    indexBoth();
    const std::string local = root + "/local";
    writeFile(local + "/mine.pdf", report);
    writeFile(local + "/deep/new.txt", contents(12345, 'x'));
    writeFile(local + "/same-size.txt", contents(notes.size(), 'q'));
    writeFile(local + "/secret.pdf", report);
    writeFile(local + "/zzz.jpg", photo);
    ASSERT_EQ(::chmod((local + "/secret.pdf").c_str(), 0), 0);
    WithoutDacOverride plainUser;

    WhichReport which;
    ASSERT_TRUE(findOnDiscs(connection, {local, root + "/nowhere"}, which))
        << mysql_error(connection);
    std::map<std::string, const WhichFile*> byName;
    for (const WhichFile& file : which.files)
        byName[file.path.substr(local.size() + 1)] = &file;
    ASSERT_EQ(byName.size(), 5u);
    ASSERT_EQ(byName["mine.pdf"]->state, WhichState::OnDiscs);
    ASSERT_EQ(byName["mine.pdf"]->holders.size(), 2u);
    EXPECT_EQ(byName["mine.pdf"]->holders[1].path, "archive.zip/inner/report-final.pdf");
    EXPECT_EQ(byName["mine.pdf"]->holders[1].discName, "beta");
    EXPECT_EQ(byName["deep/new.txt"]->state, WhichState::OnNoDisc);
    EXPECT_EQ(byName["same-size.txt"]->state, WhichState::OnNoDisc);
    EXPECT_EQ(byName["zzz.jpg"]->state, WhichState::OnDiscs);
    EXPECT_EQ(byName["secret.pdf"]->state, WhichState::Unreadable);
    EXPECT_EQ(byName["secret.pdf"]->error, EACCES);
    EXPECT_EQ(which.filesOnDiscs, 2u);
    EXPECT_EQ(which.bytesOnDiscs, report.size() + photo.size());
    EXPECT_EQ(which.bytesTotal, 2 * report.size() + 12345 + notes.size() + photo.size());
    ASSERT_EQ(which.unreadableFolders.size(), 1u);
    EXPECT_EQ(which.unreadableFolders[0], std::make_pair(root + "/nowhere", ENOENT));

    // A file named alone.
    ASSERT_TRUE(findOnDiscs(connection, {local + "/zzz.jpg"}, which));
    ASSERT_EQ(which.files.size(), 1u);
    EXPECT_EQ(which.files[0].holders.size(), 2u);
}

TEST_F(Fingerprints, OddNamesComeBackByteForByte) {
    const std::string folder = "a%_\nb", file = std::string("it's \"x\"\\\xff.txt");
    ASSERT_EQ(addDisc("d\\'1"), 1);
    ASSERT_EQ(addDisc("plain"), 2);
    const ContentHash hash{9, 9, 9};
    const int parent = composeReqInsertion(folder.c_str(), 'R', 0, 2010, 1, 1, 0, 0, 0, 1, -1);
    const int odd = composeReqInsertion(file.c_str(), 'F', 77, 2010, 1, 1, 0, 0, 0, 1, parent);
    ASSERT_EQ(taviskPlg_store_fingerprint(1, odd, 77, hash.data()), 1);
    const int plain = composeReqInsertion("plain.txt", 'F', 77, 2010, 1, 1, 0, 0, 0, 2, -1);
    ASSERT_EQ(taviskPlg_store_fingerprint(2, plain, 77, hash.data()), 1);
    ASSERT_EQ(composeReqInsertion(nullptr, ' ', 0, 0, 0, 0, 0, 0, 0, 0, 0), 1);
    EXPECT_EQ(describeGroups(connection, 0),
              std::vector<std::string>{"77 1:d'1:" + folder + "/" + file + " 2:plain:plain.txt"});
    std::map<ContentKey, std::vector<CatalogueFile>> found;
    ASSERT_TRUE(filesWithContents(connection, {{77, hash}}, found));
    const std::vector<CatalogueFile>& holders = found[ContentKey{77, hash}];
    ASSERT_EQ(holders.size(), 2u);
    EXPECT_EQ(holders[0].path, folder + "/" + file);
}

TEST_F(Fingerprints, ACatalogueWithoutTheTableWorksAndGainsItOnFirstUse) {
    bool exists = true;
    ASSERT_TRUE(fingerprintTableExists(connection, exists));
    EXPECT_FALSE(exists);
    // Removing and reading a disc's entries change nothing.
    EXPECT_TRUE(removeDiscFingerprints(connection, 1));
    std::vector<DiscEntry> entries;
    EXPECT_TRUE(discEntries(connection, 1, entries));
    ASSERT_TRUE(fingerprintTableExists(connection, exists));
    EXPECT_FALSE(exists);
    // The first lookup makes it.
    EXPECT_TRUE(describeGroups(connection, 0).empty());
    ASSERT_TRUE(fingerprintTableExists(connection, exists));
    EXPECT_TRUE(exists);
}

TEST_F(Fingerprints, RemovingADiscsFingerprintsAfterItsEntriesLeavesNoOrphan) {
    indexBoth();
    const Rows before = query(connection, "select count(*) from tvk_file_hashes where cd_id = 2");
    ASSERT_NE(before, (Rows{{"0"}}));
    // Delete disc 1, then Update disc 2 (its entries removed, then walked again).
    exec(connection, "delete from fic_fichiers where fic_cd_id = 1");
    exec(connection, "delete from cd_disques_compact where cd_id = 1");
    ASSERT_TRUE(removeDiscFingerprints(connection, 1));
    exec(connection, "delete from fic_fichiers where fic_cd_id = 2");
    ASSERT_TRUE(removeDiscFingerprints(connection, 2));
    EXPECT_EQ(query(connection, "select count(*) from tvk_file_hashes"), (Rows{{"0"}}));
    indexImage("b.iso", 2);
    EXPECT_TRUE(orphans().empty());
    EXPECT_EQ(query(connection, "select count(*) from tvk_file_hashes where cd_id = 2"), before);
}

TEST_F(Fingerprints, ADiscVerifiedAgainstItsFolderShowsEachKindOfChange) {
    indexBoth();
    std::vector<DiscEntry> entries;
    ASSERT_TRUE(discEntries(connection, 1, entries)) << mysql_error(connection);
    const std::string a = root + "/a";
    // Same size and date, other contents: only the fingerprint tells.
    writeFile(a + "/notes.txt", contents(notes.size(), 'm'), when);
    ::unlink((a + "/only-a.txt").c_str());
    writeFile(a + "/added.txt", "new", when);
    ASSERT_EQ(::chmod((a + "/docs/report.pdf").c_str(), 0), 0);
    WithoutDacOverride plainUser;

    const VerifyReport report = compareDisc(entries, rereadFolder(a, true));
    std::vector<std::string> seen;
    for (const VerifyItem& item : report.items)
        seen.push_back(std::to_string(int(item.kind)) + " " + item.path);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"4 added.txt", "0 docs", "2 docs/report.pdf", "0 empty.txt",
                                        "0 holiday.jpg", "1 notes.txt", "3 only-a.txt"}));
}

TEST_F(Fingerprints, ADiscVerifiedAgainstItsImageAndItsFolderReadsTheArchivesInside) {
    indexBoth();
    std::vector<DiscEntry> entries;
    ASSERT_TRUE(discEntries(connection, 2, entries)) << mysql_error(connection);
    ASSERT_EQ(entries.size(), 7u); // 3 files, the zip, and in it a folder and two files
    std::vector<RereadEntry> image;
    EXPECT_EQ(rereadImage(root + "/b.iso", true, image), 7);
    VerifyReport report = compareDisc(entries, image);
    EXPECT_EQ(report.counts[std::size_t(VerifyKind::Unchanged)], 7u);
    report = compareDisc(entries, rereadFolder(root + "/b", true));
    EXPECT_EQ(report.counts[std::size_t(VerifyKind::Unchanged)], 7u);

    // The zip made again with other contents for one file of the same size.
    writeFile(root + "/zip/notes-copy.txt", contents(notes.size(), 'w'));
    ::unlink((root + "/b/archive.zip").c_str());
    run(QString::fromStdString(root + "/zip"), "zip",
        {"-qr", QString::fromStdString(root + "/b/archive.zip"), "."});
    report = compareDisc(entries, rereadFolder(root + "/b", true));
    std::vector<std::string> changed;
    for (const VerifyItem& item : report.items)
        if (item.kind != VerifyKind::Unchanged)
            changed.push_back(std::to_string(int(item.kind)) + " " + item.path);
    // The zip itself differs; inside, the dates of the zip's entries are the same or not as
    // the clock went, but the contents of one differ.
    ASSERT_GE(changed.size(), 2u);
    EXPECT_EQ(changed.front(), "1 archive.zip");
    EXPECT_NE(std::find(changed.begin(), changed.end(), "1 archive.zip/notes-copy.txt"),
              changed.end());
    for (const VerifyItem& item : report.items) {
        if (item.path == "archive.zip/notes-copy.txt") {
            EXPECT_TRUE(item.contentsDiffer);
        }
    }
}

// Local files that are not plain readable files end as Unreadable with the reason, at once.
TEST(LocalFingerprints, WhatCannotBeReadIsSaidSoAndNothingBlocks) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    writeFile(root + "/empty", "");
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("empty", (root + "/link").c_str()), 0);
    const std::vector<std::pair<std::string, int>> cases = {
        {root + "/fifo", EINVAL}, // would wait for a writer forever if opened to read
        {root, EISDIR},
        {root + "/missing", ENOENT},
        {"/proc/self/mem", EIO}, // a regular file whose first read fails, and again
    };
    for (const auto& [path, error] : cases) {
        const FileFingerprint read = fingerprintFile(path);
        EXPECT_EQ(read.state, FileReadState::Unreadable) << path;
        EXPECT_EQ(read.error, error) << path;
    }
    EXPECT_EQ(fingerprintFile(root + "/empty").state, FileReadState::Read);
    // The walk lists regular files only: no link, no FIFO.
    const FolderListing listing = listLocalFiles(root);
    ASSERT_EQ(listing.files.size(), 1u);
    EXPECT_EQ(listing.files[0].path, root + "/empty");
}

// The comparison alone, one case a row: what the catalogue held, what the disc gives now.
TEST(VerifyComparison, EachPairFallsInItsKind) {
    ContentHash h1{}, h2{};
    h1[0] = 1;
    h2[0] = 2;
    const std::string d1 = "2010-01-01 00:00:00", d2 = "2011-01-01 00:00:00";
    struct Case {
        const char* what;
        DiscEntry was;
        RereadEntry now;
        VerifyKind kind;
    };
    const std::vector<Case> cases = {
        {"same",
         {1, "f", 'F', 5, d1, true, h1},
         {"f", 'F', 5, d1, true, true, h1},
         VerifyKind::Unchanged},
        {"contents",
         {1, "f", 'F', 5, d1, true, h1},
         {"f", 'F', 5, d1, true, true, h2},
         VerifyKind::Changed},
        {"size",
         {1, "f", 'F', 5, d1, false, {}},
         {"f", 'F', 6, d1, true, false, {}},
         VerifyKind::Changed},
        {"date",
         {1, "f", 'F', 5, d1, true, h1},
         {"f", 'F', 5, d2, true, true, h1},
         VerifyKind::Changed},
        {"date unknown on one side",
         {1, "f", 'F', 5, "", true, h1},
         {"f", 'F', 5, d2, true, true, h1},
         VerifyKind::Unchanged},
        {"no fingerprint then",
         {1, "f", 'F', 5, d1, false, {}},
         {"f", 'F', 5, d1, true, true, h2},
         VerifyKind::Unchanged},
        {"became a folder",
         {1, "f", 'F', 0, d1, false, {}},
         {"f", 'R', 0, d1, true, false, {}},
         VerifyKind::Changed},
        {"folder date",
         {1, "d", 'R', 0, d1, false, {}},
         {"d", 'R', 0, d2, true, false, {}},
         VerifyKind::Unchanged},
        {"read error",
         {1, "f", 'F', 5, d1, true, h1},
         {"f", 'F', 5, d1, false, false, {}},
         VerifyKind::Unreadable},
    };
    for (const Case& c : cases) {
        const VerifyReport report = compareDisc({c.was}, {c.now});
        ASSERT_EQ(report.items.size(), 1u) << c.what;
        EXPECT_EQ(report.items[0].kind, c.kind) << c.what;
        EXPECT_EQ(report.counts[std::size_t(c.kind)], 1u) << c.what;
    }
    // Unpaired entries; a name twice in an archive pairs in turn; below an unreadable folder an
    // entry is not called missing.
    const VerifyReport report = compareDisc({{1, "gone", 'F', 1, d1},
                                             {2, "z/twice", 'F', 1, d1},
                                             {3, "z/twice", 'F', 2, d1},
                                             {4, "locked", 'R', 0, d1},
                                             {5, "locked/in", 'F', 1, d1}},
                                            {{"z/twice", 'F', 1, d1},
                                             {"z/twice", 'F', 2, d1},
                                             {"z/twice", 'F', 3, d1},
                                             {"locked", 'R', 0, d1, false},
                                             {"fresh", 'F', 1, d1}});
    std::vector<std::string> seen;
    for (const VerifyItem& item : report.items)
        seen.push_back(std::to_string(int(item.kind)) + " " + item.path);
    EXPECT_EQ(seen, (std::vector<std::string>{"4 fresh", "3 gone", "2 locked", "2 locked/in",
                                              "0 z/twice", "0 z/twice", "4 z/twice"}));
    EXPECT_EQ(verifyReportText(report, {"same", "changed", "unreadable", "missing", "new"}),
              "new\tfresh\nmissing\tgone\nunreadable\tlocked\nunreadable\tlocked/in\nnew\tz/"
              "twice\nsame\t2\nchanged\t0\nunreadable\t2\nmissing\t1\nnew\t2\n");
}

} // namespace
} // namespace tvk::test
