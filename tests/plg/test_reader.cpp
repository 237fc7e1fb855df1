// The archive reader on archives made at test time by the real tools, read into an in-memory
// sink: the rows must be what the archive holds, and bad archives must end cleanly.
#include "tests/plg/archive_tools.h"
#include "tvk_plg_api/archive_reader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace tvk::test {
namespace {

using plg::MemorySink;
using plg::ReaderLimits;
using Lines = std::vector<std::string>;

constexpr int disc = 3;
constexpr int root = 1000;            // the archive's own row
constexpr long long when = 981173106; // 2001-02-03 04:05:06 UTC

struct Read {
    long result = 0;
    MemorySink sink;
};

Read readPath(const std::string& path, const ReaderLimits& limits = {}) {
    Read read;
    read.sink.nextId = root + 1;
    read.result = plg::readArchiveFile(path.c_str(), read.sink, disc, root, limits);
    return read;
}

Lines readListing(const std::string& path, const ReaderLimits& limits = {}) {
    return listing(readPath(path, limits).sink.rows, root);
}

// A small tree: two files in nested folders and one at the top, all dated `when`.
void makeTree(const WorkDir& dir, const std::string& top) {
    for (const char* name : {"a/b/c.txt", "a/d.txt", "top.txt"}) {
        const std::string path = dir.write(top + "/" + name, std::string("content of ") + name);
        setTime(path, when);
    }
    for (const char* folder : {"a/b", "a", ""})
        setTime(dir.file(top + "/" + folder), when);
}

const Lines treeListing = {"a R 0", "a/b R 0", "a/b/c.txt F 20", "a/d.txt F 18", "top.txt F 18"};

TEST(ArchiveReaderFormats, EveryToolsArchiveListsTheSameTree) {
    WorkDir dir;
    makeTree(dir, "t");
    dir.run({"tar", "cf", "../x.tar", "a", "top.txt"}, "t");
    dir.run({"tar", "czf", "../x.tar.gz", "a", "top.txt"}, "t");
    dir.run({"tar", "cjf", "../x.tar.bz2", "a", "top.txt"}, "t");
    dir.run({"tar", "cJf", "../x.tar.xz", "a", "top.txt"}, "t");
    dir.run({"zip", "-qr", "../x.zip", "a", "top.txt"}, "t");
    dir.run({"7z", "a", "-bd", "../x.7z", "a", "top.txt"}, "t");
    dir.run({"genisoimage", "-quiet", "-R", "-J", "-o", "x.iso", "t"});
    for (const char* name :
         {"x.tar", "x.tar.gz", "x.tar.bz2", "x.tar.xz", "x.zip", "x.7z", "x.iso"}) {
        SCOPED_TRACE(name);
        const Read read = readPath(dir.file(name));
        EXPECT_EQ(read.result, 5);
        EXPECT_EQ(listing(read.sink.rows, root), treeListing);
        for (const plg::StoredRow& row : read.sink.rows) {
            EXPECT_EQ(row.discId, disc);
            if (row.name != "b" || std::string(name) != "x.7z") { // 7z keeps no folder time
                EXPECT_EQ(row.date.year, 2001) << row.name;
                EXPECT_EQ(row.date.month, 2);
                EXPECT_EQ(row.date.day, 3);
                EXPECT_EQ(row.date.hour, 4);
                EXPECT_EQ(row.date.minute, 5);
                EXPECT_EQ(row.date.second, 6);
            }
        }
    }
}

TEST(ArchiveReaderDirectories, ImpliedFoldersAreMadeOnceBeforeTheirFirstEntry) {
    WorkDir dir;
    makeTree(dir, "t");
    // Files only: no entry for "a" or "a/b"; then the folders listed after their contents.
    dir.run({"tar", "cf", "../files.tar", "--no-recursion", "a/b/c.txt", "a/d.txt", "a/b", "a"},
            "t");
    dir.run({"zip", "-q", "-D", "../files.zip", "a/b/c.txt", "a/d.txt"}, "t");
    for (const char* name : {"files.tar", "files.zip"}) {
        SCOPED_TRACE(name);
        const Read read = readPath(dir.file(name));
        EXPECT_EQ(listing(read.sink.rows, root),
                  (Lines{"a R 0", "a/b R 0", "a/b/c.txt F 20", "a/d.txt F 18"}));
        EXPECT_EQ(read.result, 4);
        ASSERT_EQ(read.sink.rows.size(), 4u);
        EXPECT_EQ(read.sink.rows[0].name, "a");
        EXPECT_EQ(read.sink.rows[1].name, "b");
    }
}

TEST(ArchiveReaderDirectories, LinksArePlainFilesNeverFollowed) {
    WorkDir dir;
    dir.write("l/in.txt", "in");
    dir.run({"zip", "-q", "real.zip", "in.txt"}, "l");
    ASSERT_EQ(::symlink("real.zip", dir.file("l/sym.zip").c_str()), 0);
    ASSERT_EQ(::link(dir.file("l/real.zip").c_str(), dir.file("l/hard.zip").c_str()), 0);
    dir.run({"tar", "cf", "../links.tar", "real.zip", "hard.zip", "sym.zip"}, "l");
    const auto zipSize = std::to_string(readFile(dir.file("l/real.zip")).size());
    EXPECT_EQ(readListing(dir.file("links.tar")), (Lines{"hard.zip F 0", "real.zip Z " + zipSize,
                                                         "real.zip/in.txt F 2", "sym.zip F 0"}));
}

TEST(ArchiveReaderNames, OddNamesArriveByteForByte) {
    WorkDir dir;
    const std::string odd[] = {"quote's \"x\"",
                               "back\\slash",
                               "100% _under_",
                               "new\nline",
                               std::string("latin1 \xe9t\xe9"),
                               "caf\xc3\xa9 \xe2\x82\xac"};
    std::vector<std::string> args = {"tar", "cf", "../odd.tar"};
    for (const std::string& name : odd) {
        dir.write("t/" + name, "x");
        args.push_back(name);
    }
    // A component of 300 bytes (two-byte letters) and one of 300 bytes that are not UTF-8:
    // file names that long cannot exist on disk, the archive renames them.
    dir.write("t/long1", "x");
    dir.write("t/long2", "x");
    std::string utf8Long, rawLong;
    for (int i = 0; i < 150; ++i)
        utf8Long += "\xc3\xa9", rawLong += "\xe9\xe9";
    args.insert(args.end(), {"--transform", "s,^long1$," + utf8Long + ",", "--transform",
                             "s,^long2$,dir/" + rawLong + ",", "long1", "long2"});
    dir.run(args, "t");
    const Read read = readPath(dir.file("odd.tar"));
    Lines names;
    for (const auto& row : read.sink.rows)
        names.push_back(row.name);
    Lines expected(std::begin(odd), std::end(odd));
    expected.push_back(utf8Long.substr(0, 254)); // 255 would split a letter
    expected.push_back("dir");
    expected.push_back(rawLong.substr(0, 255));
    EXPECT_EQ(names, expected);
}

TEST(ArchiveReaderNames, PathTricksStayBelowTheArchiveRoot) {
    WorkDir dir;
    dir.write("w/in/f1", "1");
    dir.write("w/in/a/b", "2");
    // -P keeps "../", "/" and "./" as they are given.
    dir.run({"tar", "-P", "--hard-dereference", "-cf", "../../tricks.tar", "../../w/in/f1",
             dir.file("w/in/f1"), "a/./b", "a/../../in/a/b"},
            "w/in");
    // A zip made on Windows separates with backslashes.
    dir.write("z/dir\\win.txt", "3");
    dir.run({"zip", "-q", "../win.zip", "dir\\win.txt"}, "z");
    const Lines tricks = readListing(dir.file("tricks.tar"));
    for (const std::string& line : tricks) {
        EXPECT_EQ(line.find(".."), std::string::npos) << line;
        EXPECT_NE(line[0], '/') << line;
        EXPECT_EQ(line.find("/./"), std::string::npos) << line;
    }
    EXPECT_NE(std::find(tricks.begin(), tricks.end(), "w/in/f1 F 1"), tricks.end());
    EXPECT_NE(std::find(tricks.begin(), tricks.end(), "a/b F 1"), tricks.end());
    EXPECT_NE(std::find(tricks.begin(), tricks.end(), "in/a/b F 1"), tricks.end());
    EXPECT_EQ(readListing(dir.file("win.zip")), (Lines{"dir R 0", "dir/win.txt F 1"}));
}

TEST(ArchiveReaderNesting, ArchivesInsideAreReadFromTheStream) {
    WorkDir dir;
    dir.write("n/deep/deep.txt", "deepest");
    dir.run({"zip", "-qr", "../inner.zip", "deep"}, "n");
    dir.write("m/notes.txt", "notes");
    std::rename(dir.file("inner.zip").c_str(), dir.file("m/inner.zip").c_str());
    dir.run({"tar", "czf", "../mid.tar.gz", "inner.zip", "notes.txt"}, "m");
    dir.write("o/readme", "r");
    std::rename(dir.file("mid.tar.gz").c_str(), dir.file("o/mid.tar.gz").c_str());
    dir.run({"7z", "a", "-bd", "../outer.7z", "mid.tar.gz", "readme"}, "o");
    const Read read = readPath(dir.file("outer.7z"));
    const auto zipSize = std::to_string(readFile(dir.file("m/inner.zip")).size());
    const auto tgzSize = std::to_string(readFile(dir.file("o/mid.tar.gz")).size());
    EXPECT_EQ(listing(read.sink.rows, root),
              (Lines{"mid.tar.gz Z " + tgzSize, "mid.tar.gz/inner.zip Z " + zipSize,
                     "mid.tar.gz/inner.zip/deep R 0", "mid.tar.gz/inner.zip/deep/deep.txt F 7",
                     "mid.tar.gz/notes.txt F 5", "readme F 1"}));
    EXPECT_EQ(read.result, 6);
}

// A zip of a zip of a zip ... `depth` levels around "core.txt"; returns the outermost's name.
std::string nestZips(const WorkDir& dir, int depth) {
    dir.write("core.txt", "core");
    std::string inner = "core.txt";
    for (int level = depth; level >= 1; --level) {
        const std::string name = "z" + std::to_string(level) + ".zip";
        dir.run({"zip", "-q", name, inner});
        inner = name;
    }
    return inner;
}

TEST(ArchiveReaderLimits, NestingStopsAtItsBound) {
    WorkDir dir;
    const std::string outer = nestZips(dir, 12); // z1.zip holds z2.zip ... z12.zip holds core
    const Read read = readPath(dir.file(outer));
    // z1 is the archive read; z2 .. z9 are read inside it (8 levels); z10 is stored unread.
    ASSERT_EQ(read.sink.rows.size(), 9u);
    EXPECT_EQ(read.sink.rows.back().name, "z10.zip");
    EXPECT_EQ(read.sink.rows.back().type, 'Z');
    ReaderLimits shallow;
    shallow.maxNesting = 0;
    EXPECT_EQ(readPath(dir.file(outer), shallow).sink.rows.size(), 1u);
}

TEST(ArchiveReaderLimits, ANestedArchiveBeyondTheSpoolBoundIsStoredWithoutContents) {
    WorkDir dir;
    dir.write("big/zeros", std::string(3 << 20, '\0'));
    dir.run({"zip", "-q", "-0", "../big.zip", "zeros"}, "big"); // 3 MiB, stored as it is
    dir.write("big.zip.after", "after");
    dir.run({"tar", "czf", "outer.tar.gz", "big.zip", "big.zip.after"});
    ReaderLimits limits;
    limits.maxSpoolBytes = 1 << 20;
    EXPECT_EQ(readListing(dir.file("outer.tar.gz"), limits),
              (Lines{"big.zip Z " + std::to_string(readFile(dir.file("big.zip")).size()),
                     "big.zip.after F 5"}));
    limits.maxSpoolBytes = 8 << 20;
    EXPECT_EQ(readListing(dir.file("outer.tar.gz"), limits).size(), 3u);
    // The same inner archive beyond the nested data budget.
    limits.maxNestedBytes = 1 << 20;
    EXPECT_EQ(readListing(dir.file("outer.tar.gz"), limits).size(), 2u);
    // Passing over 3 MiB of the top-level archive's compressed data beyond its bound ends the
    // reading.
    limits.maxSkippedBytes = 1 << 20;
    EXPECT_EQ(readListing(dir.file("outer.tar.gz"), limits).size(), 1u);
}

TEST(ArchiveReaderLimits, EntryBoundAndFailingSinkStopTheReading) {
    WorkDir dir;
    std::vector<std::string> args = {"tar", "cf", "../many.tar"};
    for (int i = 0; i < 50; ++i) {
        dir.write("m/f" + std::to_string(i), "x");
        args.push_back("f" + std::to_string(i));
    }
    dir.run(args, "m");
    ReaderLimits limits;
    limits.maxEntries = 10;
    const Read bounded = readPath(dir.file("many.tar"), limits);
    EXPECT_EQ(bounded.result, 10);
    EXPECT_EQ(bounded.sink.rows.size(), 10u);
    Read failing;
    failing.sink.failAfter = 3;
    failing.result = plg::readArchiveFile(dir.file("many.tar").c_str(), failing.sink, disc, root);
    EXPECT_EQ(failing.result, 3);
    EXPECT_EQ(failing.sink.rows.size(), 3u);
}

TEST(ArchiveReaderHostile, TruncatedAndCorruptArchivesKeepWhatWasRead) {
    WorkDir dir;
    std::vector<std::string> args = {"tar", "czf", "../t.tar.gz"};
    // Data that does not compress, so that a cut in the middle leaves whole entries before it.
    unsigned seed = 12345;
    for (int i = 0; i < 20; ++i) {
        std::string noise(8192, '\0');
        for (char& c : noise)
            c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        dir.write("d/f" + std::to_string(i), noise);
        args.push_back("f" + std::to_string(i));
    }
    dir.run(args, "d");
    dir.run({"zip", "-q", "../t.zip", "f0", "f1", "f2", "f3", "f4", "f5"}, "d");
    dir.run({"7z", "a", "-bd", "../t.7z", "f0", "f1", "f2", "f3"}, "d");
    for (const char* name : {"t.tar.gz", "t.zip", "t.7z"}) {
        const std::string whole = readFile(dir.file(name));
        for (std::size_t cut : {whole.size() / 2, whole.size() - 30, std::size_t(600)}) {
            SCOPED_TRACE(std::string(name) + " cut at " + std::to_string(cut));
            writeFile(dir.file("cut"), whole.substr(0, cut));
            const Read read = readPath(dir.file("cut"));
            EXPECT_LE(read.result, 20);
            EXPECT_EQ(read.result < 0 ? 0u : std::size_t(read.result), read.sink.rows.size());
        }
        std::string corrupt = whole;
        for (std::size_t i = corrupt.size() / 3; i < corrupt.size(); i += 97)
            corrupt[i] = static_cast<char>(corrupt[i] ^ 0x5a);
        writeFile(dir.file("corrupt"), corrupt);
        const Read read = readPath(dir.file("corrupt"));
        EXPECT_LE(read.result, 20) << name;
    }
    // A long tar.gz cut in the middle of an entry keeps the entries before the cut.
    const std::string whole = readFile(dir.file("t.tar.gz"));
    writeFile(dir.file("half.tar.gz"), whole.substr(0, whole.size() / 2));
    const Read half = readPath(dir.file("half.tar.gz"));
    EXPECT_GE(half.result, 3);
    EXPECT_LT(half.result, 20);
}

TEST(ArchiveReaderHostile, EncryptedEntriesKeepTheirNames) {
    WorkDir dir;
    dir.write("e/secret.txt", "secret");
    dir.write("e/plain.txt", "plain");
    dir.run({"zip", "-q", "inner.zip", "plain.txt"}, "e");
    dir.run({"zip", "-q", "-P", "pw", "../enc.zip", "secret.txt", "inner.zip", "plain.txt"}, "e");
    dir.run({"7z", "a", "-bd", "-ppw", "../enc.7z", "secret.txt", "inner.zip"}, "e");
    dir.run({"7z", "a", "-bd", "-ppw", "-mhe=on", "../hidden.7z", "secret.txt"}, "e");
    const auto innerSize = std::to_string(readFile(dir.file("e/inner.zip")).size());
    // The encrypted inner archive is stored, its contents are not read.
    EXPECT_EQ(readListing(dir.file("enc.zip")),
              (Lines{"inner.zip Z " + innerSize, "plain.txt F 5", "secret.txt F 6"}));
    EXPECT_EQ(readListing(dir.file("enc.7z")),
              (Lines{"inner.zip Z " + innerSize, "secret.txt F 6"}));
    const Read hidden = readPath(dir.file("hidden.7z"));
    EXPECT_TRUE(hidden.sink.rows.empty());
    EXPECT_LE(hidden.result, 0);
}

TEST(ArchiveReaderHostile, WhatIsNoArchiveIsRefusedAtOnce) {
    WorkDir dir;
    dir.write("text.zip", "this is no archive at all\n");
    dir.write("empty.tar", "");
    ASSERT_EQ(::mkfifo(dir.file("fifo.tar").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.file("text.zip").c_str(), dir.file("link.zip").c_str()), 0);
    ::mkdir(dir.file("folder.zip").c_str(), 0700);
    for (const char* name : {"text.zip", "fifo.tar", "link.zip", "folder.zip", "missing.zip"}) {
        const Read read = readPath(dir.file(name));
        EXPECT_EQ(read.result, -1) << name;
        EXPECT_TRUE(read.sink.rows.empty()) << name;
    }
    EXPECT_EQ(readPath(dir.file("empty.tar")).result, 0);
    MemorySink sink;
    EXPECT_EQ(plg::readArchiveFile(nullptr, sink, disc, root), -1);
    // An unreadable archive inside is stored as an archive without contents, and the reading
    // goes on after it.
    dir.run({"tar", "cf", "holder.tar", "text.zip", "empty.tar"});
    EXPECT_EQ(readListing(dir.file("holder.tar")), (Lines{"empty.tar Z 0", "text.zip Z 26"}));
}

TEST(ArchiveReaderMemory, MemoryAndFileGiveTheSameRows) {
    WorkDir dir;
    makeTree(dir, "t");
    dir.run({"zip", "-qr", "../x.zip", "a", "top.txt"}, "t");
    const std::string bytes = readFile(dir.file("x.zip"));
    MemorySink sink;
    sink.nextId = root + 1;
    EXPECT_EQ(plg::readArchiveMemory(bytes.data(), bytes.size(), sink, disc, root), 5);
    EXPECT_EQ(listing(sink.rows, root), treeListing);
}

} // namespace
} // namespace tvk::test
