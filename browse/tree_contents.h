// What the catalogue tree shows: one top-level item per disc, and below it the disc's
// directories and archives, loaded from the catalogue level by level on first expansion.
#pragma once

#include <QTreeWidgetItem>

#include <cstdint>

class QTreeWidget;
class QWidget;

namespace tvk {

// The disc list, and the children of a disc (%u disc) or of a directory or archive (%u disc,
// %u entry) with, for each child, whether it has directory or archive children of its own.
extern const char* const SQL_DISC_LIST;
extern const char* const SQL_ROOT_CHILDREN;
extern const char* const SQL_SUB_CHILDREN;

// The record of a tree item.
struct TreeNodeData {
    std::int32_t discId = -1;    // cd_id of the disc
    std::int32_t entryId = -1;   // fic_id of the directory or archive; -1 for a disc item
    bool childrenLoaded = false; // the item's children have been queried and inserted
};

// A tree item with its record; the record lives and dies with the item.
class CatalogueTreeItem : public QTreeWidgetItem {
public:
    static constexpr int Type = QTreeWidgetItem::UserType + 1;
    explicit CatalogueTreeItem(const TreeNodeData& node) : QTreeWidgetItem(Type), node(node) {}
    TreeNodeData node;
};

// The record of `item`; null for none or for an item without one.
TreeNodeData* treeNodeData(QTreeWidgetItem* item);

// The item Update and Delete act on; null after every refill and after a right-click on
// nothing.
extern QTreeWidgetItem* currentTreeItem;

// Empties the tree and the file list, connects when no connection is open, and lists the
// discs. Returns 1 when a connection is open at the end (also when the disc list could not be
// read), otherwise the non-zero result of connectCatalogue.
int refillCatalogueTree(QWidget* mainWindow);

// Inserts the directories and archives below `item` once; a failed query leaves them to be
// loaded at the next expansion.
void loadTreeChildren(QTreeWidget* tree, QTreeWidgetItem* item, TreeNodeData* data);

// The tree's notifications: an item expanded (children loaded on the first expansion) and the
// selection changed (the list shows the item's contents; Update and Delete follow the item's
// kind). Both are ignored while the search dialog is open.
void onTreeItemExpanded(QTreeWidget* tree, QTreeWidgetItem* item);
void onTreeSelectionChanged(QTreeWidget* tree, QTreeWidgetItem* item);

// Connects the tree's signals to the handlers above.
void connectCatalogueTree(QTreeWidget* tree);

} // namespace tvk
