// The file list's comparison of rows, and the sort the header clicks run, which must order the
// rows exactly as that comparison does.
#include "browse/file_list.h"
#include "browse/file_list_contents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

namespace tvk::test {
namespace {

FileRow row(const char* name, const char* size, const char* type, std::int32_t stamp) {
    FileRow file;
    file.name = name;
    std::snprintf(file.sizeText, sizeof file.sizeText, "%s", size);
    std::snprintf(file.typeCode, sizeof file.typeCode, "%s", type);
    file.dateStamp = stamp;
    file.sizeValue = std::strtoull(size, nullptr, 10);
    file.nameKey = nameSortKey(name);
    return file;
}

TEST(CompareFileRows, SizesCompareAsUnsigned64BitNumbers) {
    const FileRow small = row("a", "1", "F", 0);
    const FileRow twoGiB = row("b", "2147483648", "F", 0);
    const FileRow fourGiB = row("c", "4294967296", "F", 0);
    const FileRow huge = row("d", "9223372036854775807", "F", 0);
    const FileRow none = row("e", "", "F", 0);
    EXPECT_LT(compareFileRows(small, twoGiB, 2), 0);
    EXPECT_LT(compareFileRows(twoGiB, fourGiB, 2), 0);
    EXPECT_LT(compareFileRows(fourGiB, huge, 2), 0);
    EXPECT_GT(compareFileRows(fourGiB, small, 2), 0); // not 0 modulo 2^32
    EXPECT_EQ(compareFileRows(none, row("f", "0", "F", 0), 2), 0);
    EXPECT_GT(compareFileRows(small, twoGiB, -2), 0);
}

TEST(CompareFileRows, AnEntryWithoutDateComesAfterEveryDatedOneAscending) {
    const FileRow undated = row("a", "1", "F", -1);
    const FileRow late = row("b", "1", "F", 2000000000);
    const FileRow early = row("c", "1", "F", 0);
    EXPECT_GT(compareFileRows(undated, late, 4), 0);
    EXPECT_LT(compareFileRows(early, late, 4), 0);
    EXPECT_LT(compareFileRows(undated, late, -4), 0);
}

TEST(CompareFileRows, TypesByTheirCodeLetterWhateverTheirCase) {
    EXPECT_LT(compareFileRows(row("a", "", "F", 0), row("b", "", "R", 0), 3), 0);
    EXPECT_LT(compareFileRows(row("a", "", "R", 0), row("b", "", "Z", 0), 3), 0);
    EXPECT_EQ(compareFileRows(row("a", "", "r", 0), row("b", "", "R", 0), 3), 0);
}

TEST(CompareFileRows, NamesIgnoreCaseAndSortAccentsWithTheirLetters) {
    EXPECT_EQ(compareFileRows(row("readme", "", "F", 0), row("README", "", "F", 0), 1), 0);
    EXPECT_LT(compareFileRows(row("apple", "", "F", 0), row("Banana", "", "F", 0), 1), 0);
    EXPECT_LT(compareFileRows(row("e", "", "F", 0), row("\xC3\xA9", "", "F", 0), 1), 0);
    EXPECT_LT(compareFileRows(row("\xC3\x89t\xC3\xA9", "", "F", 0), row("f", "", "F", 0), 1), 0);
    EXPECT_GT(compareFileRows(row("apple", "", "F", 0), row("Banana", "", "F", 0), -1), 0);
    // Rows without their key yet compare the same.
    FileRow a = row("apple", "", "F", 0), b = row("Banana", "", "F", 0);
    a.nameKey.reset();
    EXPECT_LT(compareFileRows(a, b, 1), 0);
}

TEST(CompareFileRows, OtherColumnsCompareEqual) {
    EXPECT_EQ(compareFileRows(row("a", "1", "F", 1), row("b", "2", "R", 2), 5), 0);
    EXPECT_EQ(compareFileRows(row("a", "1", "F", 1), row("b", "2", "R", 2), 0), 0);
}

// Bytes that are not UTF-8 sort as the server's latin1 shows them: "caf\xE9" with "café".
TEST(NameSortKey, TakesBadBytesAndLongNames) {
    const std::string latin1 = nameSortKey("caf\xE9");
    EXPECT_EQ(latin1, nameSortKey("caf\xC3\xA9"));
    EXPECT_NE(latin1, nameSortKey("cafe"));
    EXPECT_LT(nameSortKey("\xFF\xFE"
                          "abc"),
              nameSortKey("\xFF\xFE"
                          "abd"));
    const std::string a255(255, 'a');
    EXPECT_LT(nameSortKey(a255.c_str()), nameSortKey((a255 + "b").c_str()));
    EXPECT_LT(nameSortKey(""), nameSortKey("a"));
}

// Names sort by the collation of LC_COLLATE (LC_ALL first, LANG last), not by the number
// format's locale: in Swedish "ä" comes after "z", in German beside "a".
TEST(NameSortKey, FollowsTheCollationLocale) {
    struct Saved {
        const char* name;
        std::string value;
        bool set;
    };
    std::vector<Saved> saved;
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG", "LC_NUMERIC"}) {
        const char* value = std::getenv(name);
        saved.push_back({name, value ? value : "", value != nullptr});
    }
    const char* const apple = "\xC3\xA4pple"; // äpple
    unsetenv("LC_ALL");
    setenv("LANG", "en_US.UTF-8", 1);
    setenv("LC_NUMERIC", "en_US.UTF-8", 1);
    setenv("LC_COLLATE", "sv_SE.UTF-8", 1);
    EXPECT_GT(nameSortKey(apple), nameSortKey("zebra")) << "Swedish";
    setenv("LC_COLLATE", "de_DE.UTF-8", 1);
    EXPECT_LT(nameSortKey(apple), nameSortKey("zebra")) << "German";
    setenv("LC_ALL", "sv_SE.UTF-8", 1);
    EXPECT_GT(nameSortKey(apple), nameSortKey("zebra")) << "LC_ALL before LC_COLLATE";
    unsetenv("LC_ALL");
    unsetenv("LC_COLLATE");
    setenv("LANG", "sv_SE.UTF-8", 1);
    EXPECT_GT(nameSortKey(apple), nameSortKey("zebra")) << "LANG";
    for (const Saved& variable : saved) {
        if (variable.set)
            setenv(variable.name, variable.value.c_str(), 1);
        else
            unsetenv(variable.name);
    }
}

// The header's sort gives the order a stable sort by compareFileRows gives, for every column
// and direction, on rows with many equal keys.
TEST(SortedRowOrder, MatchesAStableSortByTheComparison) {
    static const char* const names[] = {"alpha", "Alpha", "beta",  "\xC3\xA9t\xC3\xA9",
                                        "Zeta",  "zeta",  "b.txt", "B_TXT",
                                        "",      "10",    "9"};
    static const char* const sizes[] = {
        "", "0", "1", "10", "2147483648", "4294967296", "18446744073709551615"};
    static const char* const types[] = {"F", "R", "Z", "f", "X", ""};
    std::mt19937 random(7);
    FileListModel model;
    std::vector<FileRow> rows;
    for (int i = 0; i < 500; ++i) {
        FileRow file = row(names[random() % std::size(names)], sizes[random() % std::size(sizes)],
                           types[random() % std::size(types)],
                           random() % 5 == 0 ? -1 : std::int32_t(random() % 1000));
        file.discId = i;
        rows.push_back(file);
        file.nameKey.reset(); // the model computes its own at the first sort by name
        model.appendRow(file);
    }
    for (int parameter : {1, -1, 2, -2, 3, -3, 4, -4}) {
        std::vector<FileRow> expected = rows;
        std::stable_sort(expected.begin(), expected.end(),
                         [parameter](const FileRow& a, const FileRow& b) {
                             return compareFileRows(a, b, parameter) < 0;
                         });
        const std::vector<int> order = sortedRowOrder(model, parameter);
        ASSERT_EQ(order.size(), expected.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            ASSERT_EQ(model.fileRow(order[i]).discId, expected[i].discId)
                << "parameter " << parameter << " position " << i;
    }
}

} // namespace
} // namespace tvk::test
