#include "indexing/plg_api.h"
#include "tvk_plg_api/plugins.h"

#include <gtest/gtest.h>

namespace {

TEST(ArchiveLibraryLifetime, RemoveIsSafeWithoutInitAndTwice) {
    taviskPlg_remove_plugins();
    taviskPlg_remove_plugins();
    EXPECT_FALSE(tvk::plg::pluginsInitialised());
    EXPECT_TRUE(tvk::plg::archiveFormats().empty());
}

TEST(ArchiveLibraryLifetime, InitBuildsTheFormatTableOnce) {
    taviskPlg_init_plugins();
    ASSERT_TRUE(tvk::plg::pluginsInitialised());
    const size_t formats = tvk::plg::archiveFormats().size();
    EXPECT_GT(formats, 0u);
    taviskPlg_init_plugins();
    EXPECT_EQ(tvk::plg::archiveFormats().size(), formats);
    taviskPlg_remove_plugins();
    EXPECT_TRUE(tvk::plg::archiveFormats().empty());
    taviskPlg_remove_plugins();
}

TEST(ArchiveRecognition, ArchivesByTheirEndingWhateverTheCase) {
    taviskPlg_remove_plugins(); // works without init
    for (const char* name :
         {"a.zip",   "A.ZIP",     "lib.jar", "app.war",      "app.ear",    "x.7z",  "x.rar",
          "x.tar",   "x.tar.gz",  "x.TGZ",   "x.tar.bz2",    "x.tbz2",     "x.tbz", "x.tar.xz",
          "x.txz",   "x.tar.zst", "x.tzst",  "x.tar.lz",     "x.tar.lzma", "x.tlz", "x.tar.Z",
          "x.cab",   "x.lha",     "x.LZH",   "x.cpio",       "disc.iso",   "x.xar", "pkg.deb",
          "pkg.rpm", "..zip",     "a.b.zip", "\xe9t\xe9.zip"})
        EXPECT_EQ(isSupportedArchive(name), 1) << name;
    for (const char* name :
         {".zip", "zip", ".tar.gz", "x.docx", "x.odt", "x.xlsx", "x.epub", "libc.a", "x.gz", "x.z",
          "x.zip.txt", "x.zip ", "x", "", "x.tar.gz/", "x.apk"})
        EXPECT_EQ(isSupportedArchive(name), 0) << name;
    EXPECT_EQ(isSupportedArchive(nullptr), 0);
}

} // namespace
