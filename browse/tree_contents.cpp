#include "browse/tree_contents.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "catalogue/connection.h"
#include "catalogue/settings.h"
#include "lang/resource.h"
#include "platform/text.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QTreeView>
#include <QTreeWidget>

#include <cstdio>
#include <cstdlib>

namespace tvk {

QTreeWidgetItem* currentTreeItem = nullptr;

const char* const SQL_DISC_LIST = "select cd_id, cd_nom from cd_disques_compact order by cd_id";

// Children of a disc: its root-level directories and archives. The self-join gives, for each,
// the smallest id among its own directory or archive children (NULL when it has none), which
// decides its expand button without a query per child.
const char* const SQL_ROOT_CHILDREN =
    "select p.fic_cd_id, p.fic_id, p.fic_nom, min(f.fic_id), p.fic_type from fic_fichiers p left "
    "join fic_fichiers f on p.fic_cd_id = f.fic_cd_id and p.fic_id = f.fic_rep_id and  "
    "(f.fic_type = 'R' or f.fic_type = 'Z') where p.fic_cd_id = %u and  p.fic_rep_id is null and "
    " (p.fic_type = 'R' or p.fic_type = 'Z') group by p.fic_cd_id, p.fic_id, p.fic_nom";
// Children of a directory or archive, the same way.
const char* const SQL_SUB_CHILDREN =
    "select p.fic_cd_id, p.fic_id, p.fic_nom, min(f.fic_id), p.fic_type from fic_fichiers p left "
    "join fic_fichiers f on p.fic_cd_id = f.fic_cd_id and p.fic_id = f.fic_rep_id and  "
    "(f.fic_type = 'R' or f.fic_type = 'Z') where p.fic_cd_id = %u and  p.fic_rep_id = %u and  "
    "(p.fic_type = 'R' or p.fic_type = 'Z') group by p.fic_cd_id, p.fic_id, p.fic_nom";

namespace {

constexpr std::size_t TREE_STATEMENT_SIZE = 512;
constexpr int STATUS_TEXT_MAX = 255;

bool searchMode() {
    return searchDialog && isDialogAlive(searchDialog);
}

QString textOf(const char* bytes, unsigned long length) {
    return bytes ? fromServerText(std::string_view(bytes, length)) : QString();
}

// A disc item: "<cd_id> - <cd_nom>", always with an expand button.
QTreeWidgetItem* newDiscItem(MYSQL_ROW row, const unsigned long* lengths) {
    auto* item = new CatalogueTreeItem({std::atoi(row[0] ? row[0] : "0"), -1, false});
    const QString label =
        textOf(row[0], lengths[0]) + QStringLiteral(" - ") + textOf(row[1], lengths[1]);
    item->setText(0, label.left(STATUS_TEXT_MAX));
    item->setIcon(0, discImage);
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

// A directory or archive item from a row of the children statements.
QTreeWidgetItem* newContainerItem(MYSQL_ROW row, const unsigned long* lengths) {
    auto* item = new CatalogueTreeItem(
        {std::atoi(row[0] ? row[0] : "0"), std::atoi(row[1] ? row[1] : "0"), false});
    item->setText(0, textOf(row[2], lengths[2]));
    const bool directory = row[4] && row[4][0] == 'R';
    item->setIcon(0, directory ? folderImage : archiveImage);
    item->setChildIndicatorPolicy(row[3] ? QTreeWidgetItem::ShowIndicator
                                         : QTreeWidgetItem::DontShowIndicator);
    return item;
}

void listDiscs(QTreeWidget* tree) {
    if (!queryCatalogue(SQL_DISC_LIST)) {
        setStatusText(loadLangString(IDS_NO_DISC_LIST));
        return;
    }
    MYSQL_RES* result = mysql_store_result(catalogueConnection);
    if (!result) {
        setStatusText(loadLangString(IDS_NO_DISC_LIST));
        return;
    }
    QList<QTreeWidgetItem*> discs;
    while (MYSQL_ROW row = mysql_fetch_row(result))
        discs.append(newDiscItem(row, mysql_fetch_lengths(result)));
    mysql_free_result(result);
    if (tree)
        tree->addTopLevelItems(discs);
    else
        qDeleteAll(discs);
}

} // namespace

TreeNodeData* treeNodeData(QTreeWidgetItem* item) {
    if (!item || item->type() != CatalogueTreeItem::Type)
        return nullptr;
    return &static_cast<CatalogueTreeItem*>(item)->node;
}

int refillCatalogueTree(QWidget* mainWindow) {
    QTreeWidget* tree = catalogueTree;
    if (tree) {
        tree->setUpdatesEnabled(false);
        tree->clear();
    }
    clearFileList(fileList);
    currentTreeItem = nullptr;
    enableCommand(CMD_UPDATE, false);
    enableCommand(CMD_DELETE, false);

    if (!catalogueConnection) {
        const ConnectionSettings& s = connectionSettings;
        const int result = connectCatalogue(s.host.c_str(), s.user.c_str(), s.password.c_str(),
                                            s.port, s.database.c_str());
        if (result != CONNECT_OK) {
            if (tree)
                tree->setUpdatesEnabled(true);
            enableCommand(CMD_NEW, false);
            enableCommand(CMD_SEARCH, false);
            return result;
        }
    }
    enableCommand(CMD_NEW, true);
    enableCommand(CMD_SEARCH, true);
    setStatusText(loadLangString(IDS_CONNECTED));
    listDiscs(tree);
    if (tree)
        tree->setUpdatesEnabled(true);
    return 1;
}

void loadTreeChildren(QTreeWidget* tree, QTreeWidgetItem* item, TreeNodeData* data) {
    if (!item || !data || data->childrenLoaded)
        return;
    char statement[TREE_STATEMENT_SIZE];
    if (data->entryId == -1)
        std::snprintf(statement, sizeof statement, SQL_ROOT_CHILDREN, unsigned(data->discId));
    else
        std::snprintf(statement, sizeof statement, SQL_SUB_CHILDREN, unsigned(data->discId),
                      unsigned(data->entryId));
    MYSQL_RES* result = nullptr;
    if (queryCatalogue(statement))
        result = mysql_store_result(catalogueConnection);
    if (!result) {
        setStatusText(loadLangString(IDS_NO_DIRECTORY_LIST));
        return;
    }
    QList<QTreeWidgetItem*> children;
    children.reserve(static_cast<qsizetype>(mysql_num_rows(result)));
    while (MYSQL_ROW row = mysql_fetch_row(result))
        children.append(newContainerItem(row, mysql_fetch_lengths(result)));
    mysql_free_result(result);
    item->addChildren(children);
    data->childrenLoaded = true;
}

void onTreeItemExpanded(QTreeWidget* tree, QTreeWidgetItem* item) {
    if (searchMode())
        return;
    TreeNodeData* data = treeNodeData(item);
    if (!data) {
        setStatusText(QStringLiteral("Handle non valide"));
        return;
    }
    loadTreeChildren(tree, item, data);
}

void onTreeSelectionChanged(QTreeWidget* tree, QTreeWidgetItem* item) {
    if (searchMode())
        return;
    TreeNodeData* data = treeNodeData(item);
    if (!data)
        return;
    showDirectoryContents(fileList, data, item);
    currentTreeItem = item;
    const bool disc = data->entryId == -1;
    enableCommand(CMD_UPDATE, disc);
    enableCommand(CMD_DELETE, disc);
}

void connectCatalogueTree(QTreeWidget* tree) {
    if (!tree)
        return;
    QObject::connect(tree, &QTreeWidget::itemExpanded, tree,
                     [tree](QTreeWidgetItem* item) { onTreeItemExpanded(tree, item); });
    // The selection, not the focus: a tree that receives the focus with nothing selected
    // focuses its first item without selecting it, and that lists nothing.
    QObject::connect(tree, &QTreeWidget::itemSelectionChanged, tree, [tree] {
        const QList<QTreeWidgetItem*> selected = tree->selectedItems();
        if (!selected.isEmpty())
            onTreeSelectionChanged(tree, selected.front());
    });
    // An item going away takes currentTreeItem with it.
    QObject::connect(tree->model(), &QAbstractItemModel::modelAboutToBeReset, tree,
                     [] { currentTreeItem = nullptr; });
    QObject::connect(tree->model(), &QAbstractItemModel::rowsAboutToBeRemoved, tree,
                     [tree](const QModelIndex& parent, int first, int last) {
                         if (!currentTreeItem)
                             return;
                         QTreeWidgetItem* container = parent.isValid() ? tree->itemFromIndex(parent)
                                                                       : tree->invisibleRootItem();
                         for (int row = first; container && row <= last; ++row) {
                             for (QTreeWidgetItem* up = currentTreeItem; up; up = up->parent()) {
                                 if (up == container->child(row)) {
                                     currentTreeItem = nullptr;
                                     return;
                                 }
                             }
                         }
                     });
}

} // namespace tvk
