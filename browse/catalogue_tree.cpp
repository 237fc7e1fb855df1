#include "browse/catalogue_tree.h"

#include "lang/resource.h"
#include "platform/resources.h"
#include "shell/startup.h"

#include <QHeaderView>
#include <QPixmap>
#include <QTreeWidget>

namespace tvk {

QTreeWidget* catalogueTree = nullptr;
QIcon discImage;
QIcon folderImage;
QIcon archiveImage;

QTreeWidget* createCatalogueTree(QWidget* parent, int id) {
    auto* tree = new QTreeWidget(parent);
    tree->setObjectName(QStringLiteral("catalogueTree"));
    tree->setProperty("controlId", id);
    tree->setGeometry(0, 0, 0, 0);
    tree->setColumnCount(1);
    tree->setHeaderHidden(true);
    // Expand buttons and lines down to the root level; no drag and drop.
    tree->setRootIsDecorated(true);
    tree->setItemsExpandable(true);
    tree->setDragDropMode(QAbstractItemView::NoDragDrop);
    tree->setSelectionMode(QAbstractItemView::SingleSelection);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    tree->setIconSize(QSize(16, 16));
    tree->setUniformRowHeights(true);
    tree->show();
    return tree;
}

namespace {

// An icon whose normal picture is bitmap `normal` and whose selected picture is bitmap
// `selected`; null when either is missing.
QIcon iconFromBitmaps(unsigned normal, unsigned selected) {
    const QImage normalImage = loadBitmap(langModule, normal);
    const QImage selectedImage = loadBitmap(langModule, selected);
    if (normalImage.isNull() || selectedImage.isNull())
        return QIcon();
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(normalImage), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(selectedImage), QIcon::Selected);
    return icon;
}

} // namespace

bool createTreeImageList(QTreeWidget* tree) {
    discImage = iconFromBitmaps(IDB_DISC, IDB_DISC);
    folderImage = iconFromBitmaps(IDB_FOLDER, IDB_FOLDER_SELECTED);
    archiveImage = iconFromBitmaps(IDB_ARCHIVE, IDB_ARCHIVE_SELECTED);
    if (tree && !discImage.isNull() && !folderImage.isNull() && !archiveImage.isNull())
        return true;
    discImage = folderImage = archiveImage = QIcon();
    return false;
}

} // namespace tvk
