// The archive reader on archives made at test time by the real tools, read into an in-memory
// sink: the rows must be what the archive holds, and bad archives must end cleanly.
#include "tests/plg/archive_tools.h"
#include "tvk_plg_api/archive_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

// What a reading with callbacks stored and was told: each archive cut short as "path limit".
struct Watched {
    plg::ReadOutcome outcome;
    MemorySink sink;
    Lines cut;
    int progressCalls = 0;
    int stopAfter = -1; // the progress call that answers "stop"
};

Watched readWatched(const std::string& path, const ReaderLimits& limits, bool asDisc = false,
                    int stopAfter = -1) {
    Watched watched;
    watched.stopAfter = stopAfter;
    watched.sink.nextId = root + 1;
    plg::ReadRequest request;
    request.limits = limits;
    request.disc = asDisc;
    request.callbacks.context = &watched;
    request.callbacks.progress = [](void* context) {
        auto* w = static_cast<Watched*>(context);
        return ++w->progressCalls == w->stopAfter ? 1 : 0;
    };
    request.callbacks.cutShort = [](void* context, const char* innerPath, int limit) {
        static_cast<Watched*>(context)->cut.push_back(innerPath + (" " + std::to_string(limit)));
    };
    watched.outcome = plg::readArchive(path.c_str(), watched.sink, disc, root, request);
    return watched;
}

std::string limit(const char* path, int code) {
    return path + (" " + std::to_string(code));
}

TEST(ArchiveReaderLimits, EachArchiveCutShortIsReportedOnceWithItsPath) {
    WorkDir dir;
    nestZips(dir, 12); // z1.zip holds z2.zip ... z12.zip holds core
    dir.write("big/zeros", std::string(3 << 20, '\0'));
    dir.run({"zip", "-q", "-0", "../big.zip", "zeros"}, "big"); // 3 MiB, stored as it is
    dir.run({"tar", "cf", "inner.tar", "big/zeros"});           // 3 MiB, streamed
    dir.write("big.zip.after", "after");
    dir.run({"tar", "czf", "spooled.tar.gz", "big.zip", "big.zip.after"});
    dir.run({"tar", "czf", "streamed.tar.gz", "inner.tar", "big.zip.after"});
    std::vector<std::string> args = {"tar", "cf", "../many.tar"};
    for (int i = 0; i < 50; ++i)
        args.push_back(dir.write("m/f" + std::to_string(i), "x").substr(dir.path().size() + 3));
    dir.run(args, "m");
    const std::string bigZip = "big.zip Z " + std::to_string(readFile(dir.file("big.zip")).size());
    const std::string after = "big.zip.after F 5";
    const auto with = [](auto change) {
        ReaderLimits limits;
        change(limits);
        return limits;
    };
    const ReaderLimits defaults;
    const ReaderLimits smallSpool = with([](auto& l) { l.maxSpoolBytes = 1 << 20; });
    const ReaderLimits byRatio = with([](auto& l) { l.ratio = 1, l.ratioFloor = 1 << 20; });
    const ReaderLimits byBytes = with([](auto& l) { l.maxArchiveBytes = 1 << 20; });
    const ReaderLimits byDisc = with([](auto& l) { l.maxDiscBytes = 1 << 20; });
    const ReaderLimits fewEntries = with([](auto& l) { l.maxEntries = 10; });
    const struct {
        const char* archive;
        const ReaderLimits& limits;
        std::size_t rows;
        Lines cut;
    } cases[] = {
        {"z1.zip",
         defaults,
         9,
         {limit("z2.zip/z3.zip/z4.zip/z5.zip/z6.zip/z7.zip/z8.zip/z9.zip/"
                "z10.zip",
                TVK_LIMIT_NESTING)}},
        {"spooled.tar.gz", defaults, 3, {}},
        {"spooled.tar.gz", smallSpool, 2, {limit("big.zip", TVK_LIMIT_SPOOL)}},
        {"spooled.tar.gz",
         byRatio,
         1,
         {limit("big.zip", TVK_LIMIT_RATIO), limit("", TVK_LIMIT_RATIO)}},
        {"spooled.tar.gz",
         byBytes,
         1,
         {limit("big.zip", TVK_LIMIT_BYTES), limit("", TVK_LIMIT_BYTES)}},
        {"streamed.tar.gz",
         byDisc,
         3,
         {limit("inner.tar", TVK_LIMIT_DISC_BYTES), limit("", TVK_LIMIT_DISC_BYTES)}},
        {"many.tar", fewEntries, 10, {limit("", TVK_LIMIT_ENTRIES)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.archive + (" rows " + std::to_string(c.rows)));
        const Watched read = readWatched(dir.file(c.archive), c.limits);
        EXPECT_EQ(read.sink.rows.size(), c.rows);
        EXPECT_EQ(read.outcome.stored, long(c.rows));
        EXPECT_EQ(read.cut, c.cut);
        EXPECT_FALSE(read.outcome.stopped);
    }
    EXPECT_EQ(readListing(dir.file("spooled.tar.gz"), smallSpool), (Lines{bigZip, after}));
    MemorySink failing;
    failing.failAfter = 3;
    EXPECT_EQ(plg::readArchiveFile(dir.file("many.tar").c_str(), failing, disc, root), 3);
    EXPECT_EQ(failing.rows.size(), 3u);
}

// 2 GiB of zeros and a file after them, 1.6 KB of bzip2: made with
// truncate -s 2G zeros; echo after >after.txt; tar cjf zeros-2GiB.tar.bz2 zeros after.txt
std::string bomb() {
    return std::string(std::getenv("TAVISK_SOURCE_DIR")) + "/tests/plg/fixtures/zeros-2GiB.tar.bz2";
}

TEST(ArchiveReaderLimits, ABombIsCutShortAtItsRatioWithProgressAllAlong) {
    ReaderLimits limits;
    limits.progressInterval = 0; // every chance to call it is taken
    const Watched read = readWatched(bomb(), limits);
    EXPECT_EQ(listing(read.sink.rows, root), (Lines{"zeros F 2147483648"}));
    EXPECT_EQ(read.cut, (Lines{limit("", TVK_LIMIT_RATIO)}));
    // 64 MiB passed over in blocks of 64 KiB at most, the progress called between them.
    EXPECT_GE(read.progressCalls, 1024);
    // Stopped by the caller: no more is read, nothing is reported.
    const Watched stopped = readWatched(bomb(), limits, false, 100);
    EXPECT_TRUE(stopped.outcome.stopped);
    EXPECT_EQ(stopped.progressCalls, 100);
    EXPECT_EQ(stopped.sink.rows.size(), 1u);
    EXPECT_TRUE(stopped.cut.empty());
}

TEST(ArchiveReaderDisc, AnImageHasNoEntryBoundAndEachArchiveInItItsOwnBudgets) {
    WorkDir dir;
    for (int i = 0; i < 25; ++i)
        dir.write("iso/f" + std::to_string(i), "x");
    for (const char* name : {"a", "b", "c"}) {
        dir.write(std::string("z/") + name + "/zeros", std::string(3 << 20, '\0'));
        for (int i = 0; i < (name[0] == 'c' ? 25 : 5); ++i)
            dir.write(std::string("z/") + name + "/g" + std::to_string(i), "y");
        dir.run({"zip", "-q", "-0", "-r", std::string("../../iso/") + name + ".zip", "."},
                std::string("z/") + name);
    }
    dir.run({"genisoimage", "-quiet", "-R", "-o", "disc.iso", "iso"});
    ReaderLimits limits;
    limits.maxEntries = 20;
    limits.maxSpoolBytes = 2 << 20;
    limits.maxArchiveBytes = 4 << 20; // each zip fits, not two together
    const Watched read = readWatched(dir.file("disc.iso"), limits, true);
    // 28 entries of the image, 6 of a.zip and of b.zip, 20 of c.zip.
    EXPECT_EQ(read.sink.rows.size(), 60u);
    EXPECT_EQ(read.cut, (Lines{limit("c.zip", TVK_LIMIT_ENTRIES)}));
    // Read as an archive, the image is bounded as one.
    const Watched asArchive = readWatched(dir.file("disc.iso"), limits);
    EXPECT_LE(asArchive.sink.rows.size(), 20u);
    EXPECT_EQ(asArchive.cut,
              (Lines{limit("a.zip", TVK_LIMIT_SPOOL), limit("b.zip", TVK_LIMIT_SPOOL),
                     limit("c.zip", TVK_LIMIT_SPOOL), limit("", TVK_LIMIT_ENTRIES)}));
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
