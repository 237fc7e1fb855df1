// Fingerprints taken by the archive reader from the data it decompresses: the same contents give
// the same fingerprint whatever holds them (plain, compressed, nested, spooled, in a disc image),
// other contents another one, and a file not read to its end none.
#include "tests/plg/archive_tools.h"
#include "tvk_plg_api/archive_reader.h"

#include <gtest/gtest.h>

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <map>

namespace tvk::test {
namespace {

constexpr int disc = 4;
constexpr int root = 500;

using Hash = std::array<unsigned char, 16>;

// The fingerprint of `bytes`, straight from xxHash: what the reader must arrive at.
Hash expected(const std::string& bytes) {
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits(bytes.data(), bytes.size()));
    Hash hash;
    std::copy(canonical.digest, canonical.digest + 16, hash.begin());
    return hash;
}

// Each fingerprinted row's path (below the archive's row) with its fingerprint and size.
struct Printed {
    Hash hash;
    std::uint64_t size;
};
std::map<std::string, Printed> readPrinted(const std::string& path, long* stored = nullptr,
                                           bool fingerprint = true,
                                           std::vector<std::string>* unreadable = nullptr) {
    plg::MemorySink sink;
    sink.nextId = root + 1;
    plg::ReadRequest request;
    request.fingerprint = fingerprint;
    const plg::ReadOutcome outcome = plg::readArchive(path.c_str(), sink, disc, root, request);
    if (stored)
        *stored = outcome.stored;
    const std::map<int, std::string> paths = pathsById(sink.rows, root);
    if (unreadable)
        for (int id : sink.unreadable)
            unreadable->push_back(paths.at(id));
    std::map<std::string, Printed> printed;
    for (const plg::StoredFingerprint& f : sink.fingerprints) {
        EXPECT_EQ(f.discId, disc);
        EXPECT_TRUE(paths.count(f.id)) << f.id;
        EXPECT_FALSE(printed.count(paths.at(f.id))) << "twice: " << paths.at(f.id);
        printed[paths.at(f.id)] = {f.hash, f.size};
    }
    return printed;
}

// Contents large enough to span several 64 KiB blocks and compress well.
std::string bigText(char seed) {
    std::string text;
    for (int i = 0; text.size() < 300'000; ++i)
        text += std::string("line ") + seed + std::to_string(i * 7919 % 10007) + "\n";
    return text;
}

TEST(ArchiveReaderFingerprints, SameContentsSameFingerprintInEveryHolder) {
    WorkDir dir;
    const std::string big = bigText('a');
    const std::string small = "small contents\n";
    dir.write("t/big.txt", big);
    dir.write("t/dir/small.txt", small);
    dir.write("t/other.txt", "other contents\n");
    dir.write("t/empty.txt", "");
    dir.run({"zip", "-qr", "../deflated.zip", "."}, "t");
    dir.run({"zip", "-qr0", "../stored.zip", "."}, "t");
    dir.run({"tar", "czf", "../gz.tar.gz", "."}, "t");
    dir.run({"tar", "cf", "../plain.tar", "."}, "t");
    dir.run({"7z", "a", "-bd", "../seven.7z", "."}, "t");
    dir.run({"genisoimage", "-quiet", "-R", "-o", "image.iso", "t"});
    // Nested: a tar.gz streamed out of a zip, and a 7z (spooled) inside a tar.
    dir.run({"zip", "-q0", "outer.zip", "gz.tar.gz"});
    dir.run({"tar", "cf", "outer.tar", "seven.7z"});

    const std::map<std::string, std::string> cases = {
        {"deflated.zip", ""},        {"stored.zip", ""},        {"gz.tar.gz", ""},
        {"plain.tar", ""},           {"seven.7z", ""},          {"image.iso", ""},
        {"outer.zip", "gz.tar.gz/"}, {"outer.tar", "seven.7z/"}};
    for (const auto& [archive, prefix] : cases) {
        SCOPED_TRACE(archive);
        const std::uint64_t before = plg::fingerprintedBytes();
        const auto printed = readPrinted(dir.file(archive));
        EXPECT_GE(plg::fingerprintedBytes() - before, big.size() + small.size());
        ASSERT_TRUE(printed.count(prefix + "big.txt"));
        EXPECT_EQ(printed.at(prefix + "big.txt").hash, expected(big));
        EXPECT_EQ(printed.at(prefix + "big.txt").size, big.size());
        ASSERT_TRUE(printed.count(prefix + "dir/small.txt"));
        EXPECT_EQ(printed.at(prefix + "dir/small.txt").hash, expected(small));
        ASSERT_TRUE(printed.count(prefix + "other.txt"));
        EXPECT_NE(printed.at(prefix + "other.txt").hash, expected(small));
        ASSERT_TRUE(printed.count(prefix + "empty.txt"));
        EXPECT_EQ(printed.at(prefix + "empty.txt").hash, expected(""));
        EXPECT_FALSE(printed.count(prefix + "dir")) << "a folder has no contents to print";
    }
    // The archive inside is a file too: its own bytes are fingerprinted, as read from the outer.
    const auto outer = readPrinted(dir.file("outer.zip"));
    ASSERT_TRUE(outer.count("gz.tar.gz"));
    EXPECT_EQ(outer.at("gz.tar.gz").hash, expected(readFile(dir.file("gz.tar.gz"))));
    const auto outerTar = readPrinted(dir.file("outer.tar"));
    ASSERT_TRUE(outerTar.count("seven.7z"));
    EXPECT_EQ(outerTar.at("seven.7z").hash, expected(readFile(dir.file("seven.7z"))));
}

TEST(ArchiveReaderFingerprints, NoneUnlessAskedAndNoneForAFileCutShort) {
    WorkDir dir;
    const std::string first = bigText('f');
    dir.write("t/1-first.txt", first);
    dir.write("t/2-second.txt", bigText('s'));
    dir.run({"tar", "cf", "../whole.tar", "1-first.txt", "2-second.txt"}, "t");
    EXPECT_TRUE(readPrinted(dir.file("whole.tar"), nullptr, false).empty());

    // The archive ends in the middle of the second file's data: its row stays, unprinted.
    const std::string whole = readFile(dir.file("whole.tar"));
    writeFile(dir.file("cut.tar"), whole.substr(0, 512 + first.size() + 600 + 512 + 100'000));
    long stored = 0;
    std::vector<std::string> unreadable;
    const auto printed = readPrinted(dir.file("cut.tar"), &stored, true, &unreadable);
    EXPECT_EQ(stored, 2);
    EXPECT_EQ(unreadable, std::vector<std::string>{"2-second.txt"});
    ASSERT_TRUE(printed.count("1-first.txt"));
    EXPECT_EQ(printed.at("1-first.txt").hash, expected(first));
    EXPECT_FALSE(printed.count("2-second.txt"));

    // A file left unread because a bound ended the reading is not called unreadable.
    dir.run({"tar", "czf", "../whole.tgz", "1-first.txt", "2-second.txt"}, "t");
    plg::MemorySink sink;
    plg::ReadRequest request;
    request.fingerprint = true;
    request.limits.ratioFloor = 100'000;
    request.limits.ratio = 1;
    const plg::ReadOutcome outcome =
        plg::readArchive(dir.file("whole.tgz").c_str(), sink, disc, root, request);
    ASSERT_GE(outcome.stored, 1);
    EXPECT_EQ(sink.rows[0].name, "1-first.txt");
    EXPECT_TRUE(sink.fingerprints.empty());
    EXPECT_TRUE(sink.unreadable.empty());
}

} // namespace
} // namespace tvk::test
