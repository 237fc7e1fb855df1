#include "browse/locate.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/text.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QItemSelectionModel>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace tvk {

const char* const SQL_PATH_ENTRY =
    "select fic_rep_id, fic_nom, fic_type from fic_fichiers where fic_cd_id = %u and  fic_id = %u";
const char* const SQL_PATH_DISC =
    "select -2, concat(cd_id, ' - ', cd_nom) from cd_disques_compact where cd_id = %u";

namespace {

constexpr std::size_t PATH_STATEMENT_SIZE = 512;
constexpr int STATUS_TEXT_MAX = 255;
constexpr int TREE_TEXT_MAX = 255;
// The first column of the disc's row: the top of the path.
constexpr std::int32_t DISC_ROW_MARK = -2;

bool searchMode() {
    return isDialogAlive(searchDialog);
}

// One level of a path as the catalogue gives it.
struct PathLevel {
    std::int32_t entryId = -1;  // -1 for the disc
    std::int32_t parentId = -1; // DISC_ROW_MARK for the disc's row; -1 for a NULL parent
    QString text;
    bool directory = false; // type 'R': the folder image below a parent, else the archive image
};

enum class LevelRead { Found, Missing, Failed };

// Reads the level of entry `entryId` (-1: the disc's row) of disc `discId`. A failed query is
// reported in a "MySQL Error" box owned by the main window.
LevelRead readPathLevel(std::int32_t discId, std::int32_t entryId, PathLevel& level) {
    char statement[PATH_STATEMENT_SIZE];
    if (entryId == -1)
        std::snprintf(statement, sizeof statement, SQL_PATH_DISC, unsigned(discId));
    else
        std::snprintf(statement, sizeof statement, SQL_PATH_ENTRY, unsigned(discId),
                      unsigned(entryId));
    MYSQL_RES* result = nullptr;
    if (queryCatalogue(statement))
        result = mysql_store_result(catalogueConnection);
    if (!result) {
        showMySqlError(mainWindow);
        return LevelRead::Failed;
    }
    MYSQL_ROW row = mysql_fetch_row(result);
    if (!row) {
        mysql_free_result(result);
        return LevelRead::Missing;
    }
    const unsigned long* lengths = mysql_fetch_lengths(result);
    level.entryId = entryId;
    level.parentId = row[0] ? static_cast<std::int32_t>(std::strtol(row[0], nullptr, 10)) : -1;
    level.text = row[1] ? fromServerText(std::string_view(row[1], lengths[1])) : QString();
    level.directory = entryId != -1 && row[2] && row[2][0] == 'R';
    mysql_free_result(result);
    return LevelRead::Found;
}

// `icon`'s normal picture as both its normal and its selected picture.
QIcon sameWhenSelected(const QIcon& icon) {
    if (icon.isNull())
        return icon;
    const QPixmap picture = icon.pixmap(QSize(16, 16), QIcon::Normal);
    QIcon single;
    single.addPixmap(picture, QIcon::Normal);
    single.addPixmap(picture, QIcon::Selected);
    return single;
}

// Whether `item` is an item of `tree` (compared by address only: `item` may be gone).
bool treeHolds(QTreeWidget* tree, const QTreeWidgetItem* item) {
    if (!tree || !item)
        return false;
    if (tree->currentItem() == item)
        return true;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if (*it == item)
            return true;
    }
    return false;
}

} // namespace

QTreeWidgetItem* insertEntryPath(std::int32_t discId, std::int32_t entryId) {
    // The climb, from the entry up to its disc, one query per level. It ends at the disc's row,
    // at a level that cannot be read, or where a parent link leads back into the path.
    std::vector<PathLevel> path;
    std::set<std::int32_t> climbed;
    for (std::int32_t id = entryId;;) {
        PathLevel level;
        if (readPathLevel(discId, id, level) != LevelRead::Found)
            break;
        path.push_back(level);
        climbed.insert(id);
        if (level.parentId == DISC_ROW_MARK || climbed.count(level.parentId))
            break;
        id = level.parentId;
    }
    QTreeWidget* tree = catalogueTree;
    if (!tree || path.empty())
        return nullptr;

    // The insertion, from the top down: each item the last child of the one above; the topmost
    // (the disc, or the highest level read) at the end of the root level.
    const QIcon folder = sameWhenSelected(folderImage);
    const QIcon archive = sameWhenSelected(archiveImage);
    QTreeWidgetItem* above = nullptr;
    for (auto level = path.rbegin(); level != path.rend(); ++level) {
        auto* item = new CatalogueTreeItem({discId, level->entryId, true});
        item->setText(0, level->text);
        if (above) {
            item->setIcon(0, level->directory ? folder : archive);
            above->addChild(item);
        } else {
            item->setIcon(0, discImage);
            tree->addTopLevelItem(item);
        }
        above = item;
    }
    return above;
}

void expandFirstChildren() {
    QTreeWidget* tree = catalogueTree;
    if (!tree)
        return;
    for (QTreeWidgetItem* item = tree->topLevelItem(0); item; item = item->child(0))
        item->setExpanded(true);
}

void showHitLocation(QTreeView* list, int row) {
    FileListModel* model = fileListModel(list);
    if (!model || !catalogueTree || row < 0 || row >= model->rowCount())
        return;
    // The row may go while a box is up (a Close of the search, say): keep what is needed.
    showPlace(model->fileRow(row).discId, model->fileRow(row).parentId);
}

void showEntryPlace(std::int32_t discId, std::int32_t entryId) {
    PathLevel level;
    if (catalogueTree && readPathLevel(discId, entryId, level) == LevelRead::Found)
        showPlace(discId, level.parentId);
}

void showPlace(std::int32_t discId, std::int32_t parentId) {
    QPointer<QTreeWidget> tree = catalogueTree;
    if (!tree)
        return;
    tree->setUpdatesEnabled(false);
    tree->clear();
    statusText = QString::asprintf(loadLangString(IDS_HIT_PLACE).toUtf8().constData(), int(discId),
                                   int(parentId))
                     .left(STATUS_TEXT_MAX);
    setStatusText(statusText);
    insertEntryPath(discId, parentId);
    expandFirstChildren();
    if (tree)
        tree->setUpdatesEnabled(true);
}

void openListRow(QTreeView* list, int row) {
    FileListModel* model = fileListModel(list);
    if (!model || row < 0 || row >= model->rowCount())
        return;
    // Selecting the child replaces every row: nothing of the row is used after that.
    const FileRow& file = model->fileRow(row);
    const bool container =
        std::strcmp(file.typeCode, "R") == 0 || std::strcmp(file.typeCode, "Z") == 0;
    if (!container) {
        setStatusText(loadLangString(IDS_FILE_HIT));
        return;
    }
    const QString name = fromServerText(file.name);
    QTreeWidgetItem* listed = file.listedItem;
    setStatusText(loadLangString(IDS_DIRECTORY_OR_ARCHIVE));
    QTreeWidget* tree = catalogueTree;
    if (!treeHolds(tree, listed))
        return;
    listed->setExpanded(true);
    for (int i = 0; i < listed->childCount(); ++i) {
        QTreeWidgetItem* child = listed->child(i);
        if (child->text(0).left(TREE_TEXT_MAX) == name) {
            setStatusText(loadLangString(IDS_DIRECTORY_FOUND));
            tree->setCurrentItem(child);
            return;
        }
    }
}

namespace {

// The hit that the last selection change showed. The keyboard moves the focus after it selects
// a row (the mouse does it before), so the focus arriving there asks for the same hit again.
QPersistentModelIndex shownBySelection;

// Rows that became selected in search mode: the hit shown is the focused row when it is among
// them, else the last of them (each one would rebuild the tree in turn; the last stays).
void onListSelection(QTreeView* list, const QItemSelection& selected) {
    if (!searchMode() || selected.isEmpty())
        return;
    const QModelIndex current = list->selectionModel()->currentIndex();
    const int row =
        current.isValid() && selected.contains(current) ? current.row() : selected.last().bottom();
    shownBySelection = list->model()->index(row, 0);
    showHitLocation(list, row);
}

// The focus moving onto a row that is already selected shows that hit too.
void onListCurrentRow(QTreeView* list, const QModelIndex& current) {
    const bool justShown = current.isValid() && current.row() == shownBySelection.row();
    shownBySelection = QPersistentModelIndex();
    if (searchMode() && !justShown && current.isValid() &&
        list->selectionModel()->isRowSelected(current.row()))
        showHitLocation(list, current.row());
}

} // namespace

void connectLocating(QTreeView* list) {
    if (!list || !list->selectionModel())
        return;
    QItemSelectionModel* selection = list->selectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, list,
                     [list](const QItemSelection& selected, const QItemSelection&) {
                         onListSelection(list, selected);
                     });
    QObject::connect(selection, &QItemSelectionModel::currentRowChanged, list,
                     [list](const QModelIndex& current, const QModelIndex&) {
                         onListCurrentRow(list, current);
                     });
    QObject::connect(list, &QAbstractItemView::doubleClicked, list,
                     [list](const QModelIndex& index) {
                         if (!searchMode() && index.isValid())
                             openListRow(list, index.row());
                     });
}

} // namespace tvk
