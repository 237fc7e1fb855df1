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

TEST(ArchiveLibraryConnection, SetMscKeepsTheHandleItIsGiven) {
    MYSQL* handle = reinterpret_cast<MYSQL*>(0x1000);
    setMsc(handle);
    EXPECT_EQ(tvk::plg::currentConnection(), handle);
    setMsc(nullptr);
    EXPECT_EQ(tvk::plg::currentConnection(), nullptr);
}

} // namespace
