#include "platform/module.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

using namespace tvk;

std::vector<std::uint8_t> readFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ResourceReader : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bytes = readFile(READER_RES_PATH);
        set = parseResources(bytes);
    }
    static void TearDownTestSuite() { set.reset(); }

    static std::vector<std::uint8_t> bytes;
    static std::unique_ptr<ResourceSet> set;
};
std::vector<std::uint8_t> ResourceReader::bytes;
std::unique_ptr<ResourceSet> ResourceReader::set;

TEST_F(ResourceReader, StringsAcrossBlockEdgesAndMissingIds) {
    ASSERT_TRUE(set);
    EXPECT_EQ(loadString(*set, 1), "One");
    EXPECT_EQ(loadString(*set, 15), "Last of the first block");
    EXPECT_EQ(loadString(*set, 16), "First of the second block");
    EXPECT_EQ(loadString(*set, 31), "Last of the second block");
    EXPECT_EQ(loadString(*set, 65535), "The very last id");
    for (unsigned missing : {0u, 2u, 14u, 17u, 32u, 199u, 65534u, 70000u})
        EXPECT_TRUE(loadString(*set, missing).isEmpty()) << missing;
    EXPECT_EQ(resourceIds(*set, RT_STRING),
              (std::vector<unsigned>{1, 15, 16, 31, 100, 200, 300, 65535}));
}

TEST_F(ResourceReader, StringsKeepNonAsciiLineBreaksAndQuotes) {
    EXPECT_EQ(loadString(*set, 100), QString::fromUtf8("café – Ελληνικά – 日本語 – 😀"));
    EXPECT_EQ(loadString(*set, 200), "Line one\nLine two");
    EXPECT_EQ(loadString(*set, 300), "Say \"hello\"");
}

TEST_F(ResourceReader, StandardMenuWithPopupsSeparatorsAndNesting) {
    auto menu = loadMenu(*set, 600);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), 2u);
    const MenuItem& file = menu->items[0];
    EXPECT_TRUE(file.isPopup());
    EXPECT_EQ(file.text, "&File");
    ASSERT_EQ(file.items.size(), 3u);
    EXPECT_EQ(file.items[0].text, "&New\tIns");
    EXPECT_EQ(file.items[0].id, 200);
    EXPECT_TRUE(file.items[1].isSeparator());
    EXPECT_EQ(file.items[2].id, 270);
    EXPECT_TRUE(file.items[2].flags & MF_GRAYED);
    const MenuItem& help = menu->items[1];
    EXPECT_EQ(help.text, QString::fromUtf8("&Hélp"));
    ASSERT_EQ(help.items.size(), 2u);
    ASSERT_TRUE(help.items[0].isPopup());
    ASSERT_EQ(help.items[0].items.size(), 1u);
    EXPECT_EQ(help.items[0].items[0].id, 900);
    EXPECT_EQ(help.items[1].id, 500);
    EXPECT_FALSE(loadMenu(*set, 602));
}

TEST_F(ResourceReader, ExtendedMenu) {
    auto menu = loadMenu(*set, 601);
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->items.size(), 1u);
    const MenuItem& context = menu->items[0];
    EXPECT_TRUE(context.isPopup());
    ASSERT_EQ(context.items.size(), 3u);
    EXPECT_EQ(context.items[0].id, 751);
    EXPECT_TRUE(context.items[1].isSeparator());
    EXPECT_EQ(context.items[2].id, 750);
    EXPECT_TRUE(context.items[2].flags & MF_GRAYED);
}

TEST_F(ResourceReader, AcceleratorTable) {
    auto table = loadAccelerators(*set, 10000);
    ASSERT_TRUE(table);
    ASSERT_EQ(table->size(), 4u);
    EXPECT_EQ((*table)[0].key, 'Q');
    EXPECT_EQ((*table)[0].flags, FVIRTKEY | FCONTROL);
    EXPECT_EQ((*table)[0].command, 270);
    EXPECT_EQ((*table)[1].key, 0x2D);
    EXPECT_EQ((*table)[1].flags, FVIRTKEY);
    EXPECT_EQ((*table)[2].flags, FVIRTKEY | FSHIFT);
    EXPECT_EQ((*table)[2].command, 420);
    EXPECT_EQ((*table)[3].key, 'a');
    EXPECT_EQ((*table)[3].flags & FVIRTKEY, 0);
    EXPECT_FALSE(loadAccelerators(*set, 1));
}

TEST_F(ResourceReader, DialogTemplate) {
    auto dialog = loadDialog(*set, 100);
    ASSERT_TRUE(dialog);
    EXPECT_FALSE(dialog->extended);
    EXPECT_EQ(dialog->style, 0x80C800C0u);
    EXPECT_EQ(dialog->x, 85);
    EXPECT_EQ(dialog->y, 30);
    EXPECT_EQ(dialog->cx, 220);
    EXPECT_EQ(dialog->cy, 140);
    EXPECT_EQ(dialog->caption, QString::fromUtf8("Caption é"));
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->faceName, "MS Sans Serif");
    ASSERT_EQ(dialog->items.size(), 5u);

    const DialogItem& button = dialog->items[0];
    EXPECT_EQ(button.id, 101);
    EXPECT_EQ(button.windowClass.ordinal, DLG_BUTTON);
    EXPECT_EQ(button.title.text, "Close");
    EXPECT_EQ(button.style & 0xF, 1u); // BS_DEFPUSHBUTTON
    EXPECT_EQ(button.x, 90);
    EXPECT_EQ(button.y, 120);
    EXPECT_EQ(button.cx, 40);
    EXPECT_EQ(button.cy, 14);

    EXPECT_EQ(dialog->items[1].id, -1);
    EXPECT_EQ(dialog->items[1].windowClass.ordinal, DLG_STATIC);

    const DialogItem& picker = dialog->items[2];
    EXPECT_TRUE(picker.windowClass.isText());
    EXPECT_EQ(picker.windowClass.text.compare("SysDateTimePick32", Qt::CaseInsensitive), 0);
    EXPECT_EQ(picker.style, 0x50010000u);
    EXPECT_EQ(dialog->items[3].windowClass.text.compare("msctls_progress32", Qt::CaseInsensitive),
              0);
    EXPECT_EQ(dialog->items[4].windowClass.ordinal, DLG_EDIT);
    EXPECT_EQ(dialog->items[4].style & 0x2080u, 0x2080u);
    EXPECT_FALSE(loadDialog(*set, 102));
}

TEST_F(ResourceReader, ExtendedDialogTemplate) {
    auto dialog = loadDialog(*set, 101);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->extended);
    EXPECT_EQ(dialog->style, 0x80C00848u);
    EXPECT_EQ(dialog->exStyle, 1u);
    EXPECT_EQ(dialog->faceName, "MS Shell Dlg");
    EXPECT_EQ(dialog->pointSize, 8);
    EXPECT_EQ(dialog->weight, 400);
    EXPECT_EQ(dialog->charset, 1);
    ASSERT_EQ(dialog->items.size(), 4u);
    // Class names written as text stay text, whatever their case.
    EXPECT_EQ(dialog->items[0].windowClass.text.compare("Button", Qt::CaseInsensitive), 0);
    EXPECT_EQ(dialog->items[0].title.text, "Check");
    EXPECT_EQ(dialog->items[1].id, -1);
    EXPECT_EQ(dialog->items[1].windowClass.text.compare("Static", Qt::CaseInsensitive), 0);
    EXPECT_EQ(dialog->items[2].windowClass.text.compare("Edit", Qt::CaseInsensitive), 0);
    EXPECT_EQ(dialog->items[2].id, 481);
    EXPECT_TRUE(dialog->items[3].windowClass.isText());
    EXPECT_EQ(dialog->items[3].style & 0x08000000u, 0x08000000u); // WS_DISABLED
}

TEST_F(ResourceReader, BitmapWithMagentaMadeTransparent) {
    QImage image = loadBitmap(*set, 103);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(4, 2));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(image.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(image.pixel(2, 0), qRgb(0, 255, 0));
    EXPECT_EQ(image.pixel(3, 0), qRgb(0, 0, 255));
    EXPECT_EQ(qAlpha(image.pixel(0, 1)), 0);
    EXPECT_EQ(image.pixel(3, 1), qRgb(255, 255, 255));
    EXPECT_TRUE(loadBitmap(*set, 104).isNull());
}

TEST_F(ResourceReader, IconGroupWithEveryImage) {
    QIcon icon = loadIcon(*set, 102);
    ASSERT_FALSE(icon.isNull());
    auto sizes = icon.availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(24, 24)));
    QImage small = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(qAlpha(small.pixel(0, 0)), 0);
    EXPECT_EQ(small.pixel(8, 8), qRgb(0, 100, 200));
    QImage larger = icon.pixmap(24, 24).toImage();
    EXPECT_EQ(qAlpha(larger.pixel(0, 12)), 0);
    EXPECT_EQ(larger.pixel(12, 12), qRgb(0, 128, 0));
    EXPECT_TRUE(loadIcon(*set, 103).isNull());
}

TEST_F(ResourceReader, VersionBlock) {
    auto version = loadVersionInfo(*set);
    ASSERT_TRUE(version);
    EXPECT_EQ(version->fileVersionMS, (2u << 16) | 21u);
    EXPECT_EQ(version->productVersionMS, (2u << 16) | 21u);
    ASSERT_TRUE(version->strings.count("040C04B0"));
    EXPECT_EQ(version->strings["040C04B0"]["FileDescription"],
              QString::fromUtf8("Interface française"));
    EXPECT_EQ(version->strings["040C04B0"]["FileVersion"], "2.21");
    EXPECT_EQ(version->translations, (std::vector<std::uint32_t>{(1200u << 16) | 0x40Cu}));
}

// Damaged images must never make a loader read outside the bytes it was given (the sanitizer
// build checks), and must not be taken for a .res file at all when the header is wrong.
TEST_F(ResourceReader, DamagedImagesAreReadSafely) {
    EXPECT_FALSE(parseResources({}));
    std::vector<std::uint8_t> garbage(64, 0xAB);
    EXPECT_FALSE(parseResources(garbage));

    auto exercise = [](const ResourceSet& damaged) {
        for (unsigned id : {1u, 15u, 31u, 100u, 65535u})
            (void)loadString(damaged, id);
        (void)loadMenu(damaged, 600);
        (void)loadMenu(damaged, 601);
        (void)loadAccelerators(damaged, 10000);
        (void)loadDialog(damaged, 100);
        (void)loadDialog(damaged, 101);
        (void)loadVersionInfo(damaged);
        (void)loadBitmap(damaged, 103);
        (void)loadIcon(damaged, 102);
        (void)resourceIds(damaged, RT_STRING);
    };
    for (size_t length = 0; length < bytes.size(); length += 7) {
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + long(length));
        if (auto damaged = parseResources(cut))
            exercise(*damaged);
    }
    std::uint32_t seed = 12345;
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint8_t> flipped = bytes;
        for (int i = 0; i < 8; ++i) {
            seed = seed * 1103515245u + 12345u;
            flipped[(seed >> 8) % flipped.size()] = std::uint8_t(seed >> 24);
        }
        if (auto damaged = parseResources(flipped))
            exercise(*damaged);
    }
}

TEST(ModuleResources, ReadFromTheModulesOwnSection) {
    ModuleHandle module = loadLibrary(READER_MODULE_PATH);
    ASSERT_TRUE(module);
    ASSERT_TRUE(moduleResources(module));
    EXPECT_EQ(loadString(module, 31), "Last of the second block");
    EXPECT_TRUE(loadDialog(module, 101));
    auto getLangInstance =
        reinterpret_cast<const void* (*)()>(getProcAddress(module, "getLangInstance"));
    ASSERT_TRUE(getLangInstance);
    EXPECT_EQ(getLangInstance(), module);
    EXPECT_EQ(moduleFileName(module), READER_MODULE_PATH);
    freeLibrary(module);
    EXPECT_TRUE(moduleFileName(module).empty());
}

TEST(ModuleResources, MissingModulesAndHandlesGiveNothing) {
    EXPECT_FALSE(loadLibrary("tavisk_xx_no_such_module.so"));
    EXPECT_FALSE(moduleResources(nullptr));
    EXPECT_TRUE(loadString(ModuleHandle(nullptr), 1).isEmpty());
    EXPECT_FALSE(loadMenu(ModuleHandle(nullptr), 600));
    EXPECT_EQ(getProcAddress(nullptr, "LibMain"), nullptr);
}

} // namespace
