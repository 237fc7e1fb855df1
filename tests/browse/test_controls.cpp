// The tree and list controls as the main window creates them: the list's columns, images
// and model, the tree's images.
#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "shell/startup.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstdio>

namespace tvk::test {
namespace {

class Controls : public ::testing::Test {
protected:
    void SetUp() override {
        langModule = loadLibrary("tavisk_en.so");
        ASSERT_NE(langModule, nullptr);
    }
    void TearDown() override { langModule = nullptr; }
};

FileRow rowOfType(const char* name, const char* type) {
    FileRow row;
    row.name = name;
    std::snprintf(row.typeCode, sizeof row.typeCode, "%s", type);
    return row;
}

TEST_F(Controls, FileListHasFourTitledColumnsOf100Pixels) {
    QWidget parent;
    QTreeView* list = createFileList(&parent, ID_LIST);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->parentWidget(), &parent);
    EXPECT_EQ(list->property("controlId").toInt(), ID_LIST);
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
    QAbstractItemModel* model = list->model();
    ASSERT_EQ(model->columnCount(), 4);
    const char* titles[] = {"Name", "Size", "Type", "Last update"};
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(model->headerData(column, Qt::Horizontal).toString(),
                  QString::fromUtf8(titles[column]));
        EXPECT_EQ(list->header()->sectionSize(column), 100);
        const int alignment =
            model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt();
        EXPECT_EQ(alignment & Qt::AlignHorizontal_Mask,
                  column == COL_SIZE ? Qt::AlignRight : Qt::AlignLeft)
            << column;
    }
    EXPECT_FALSE(list->header()->stretchLastSection());
}

TEST_F(Controls, FileListRowsShowTheirNameAndTheImageOfTheirType) {
    QWidget parent;
    QTreeView* list = createFileList(&parent, ID_LIST);
    FileListModel* model = fileListModel(list);
    ASSERT_NE(model, nullptr);
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    model->appendRow(rowOfType("docs", "R"));
    model->appendRow(rowOfType("backup.zip", "Z"));
    model->appendRow(rowOfType("readme.txt", "F"));
    model->appendRow(rowOfType("caf\xC3\xA9", "X"));
    model->appendRow(rowOfType("", ""));
    ASSERT_EQ(model->rowCount(), 5);
    EXPECT_EQ(model->data(model->index(0, COL_NAME), Qt::DisplayRole).toString(),
              QStringLiteral("docs"));
    EXPECT_EQ(model->data(model->index(3, COL_NAME), Qt::DisplayRole).toString(),
              QStringLiteral("café"));

    const FileListImage expected[] = {IMAGE_DIRECTORY, IMAGE_ARCHIVE, IMAGE_FILE, IMAGE_FILE,
                                      IMAGE_FILE};
    auto imageOf = [&](int row) {
        return model->data(model->index(row, COL_NAME), Qt::DecorationRole)
            .value<QIcon>()
            .pixmap(16, 16)
            .toImage();
    };
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(FileListModel::imageFor(model->fileRow(row)), expected[row]) << row;
        EXPECT_FALSE(imageOf(row).isNull()) << row;
    }
    // Directory, archive and file pictures differ.
    EXPECT_NE(imageOf(0), imageOf(1));
    EXPECT_NE(imageOf(0), imageOf(2));
    EXPECT_NE(imageOf(1), imageOf(2));
    EXPECT_EQ(imageOf(2), imageOf(3));

    model->clearRows();
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(Controls, TreeImagesCarryTheirSelectedPictures) {
    QWidget parent;
    QTreeWidget* tree = createCatalogueTree(&parent, ID_TREE);
    ASSERT_NE(tree, nullptr);
    EXPECT_EQ(tree->property("controlId").toInt(), ID_TREE);
    EXPECT_EQ(tree->geometry(), QRect(0, 0, 0, 0));
    ASSERT_TRUE(createTreeImageList(tree));
    auto picture = [](const QIcon& icon, QIcon::Mode mode) {
        return icon.pixmap(QSize(16, 16), mode).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    for (const QIcon* icon : {&discImage, &folderImage, &archiveImage})
        EXPECT_FALSE(icon->isNull());
    // Bitmaps 107 and 111 are the selected variants of 108 and 112; the disc has one picture.
    EXPECT_NE(picture(folderImage, QIcon::Normal), picture(folderImage, QIcon::Selected));
    EXPECT_NE(picture(archiveImage, QIcon::Normal), picture(archiveImage, QIcon::Selected));
    EXPECT_EQ(picture(discImage, QIcon::Normal), picture(discImage, QIcon::Selected));
    EXPECT_NE(picture(discImage, QIcon::Normal), picture(folderImage, QIcon::Normal));
    // Magenta is transparent.
    const QImage disc = picture(discImage, QIcon::Normal);
    for (int y = 0; y < disc.height(); ++y)
        for (int x = 0; x < disc.width(); ++x) {
            const QColor colour = disc.pixelColor(x, y);
            EXPECT_FALSE(colour.alpha() == 255 && colour.red() == 255 && colour.green() == 0 &&
                         colour.blue() == 255)
                << x << "," << y;
        }
}

TEST_F(Controls, TreeWorksWithoutImagesWhenTheyAreMissing) {
    QWidget parent;
    QTreeWidget* tree = createCatalogueTree(&parent, ID_TREE);
    langModule = nullptr; // no module: no bitmaps
    EXPECT_FALSE(createTreeImageList(tree));
    EXPECT_TRUE(discImage.isNull());
    EXPECT_TRUE(folderImage.isNull());
    EXPECT_TRUE(archiveImage.isNull());
}

} // namespace
} // namespace tvk::test
