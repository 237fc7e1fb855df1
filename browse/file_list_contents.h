// What the file list shows: the entries of a disc root, directory or archive (or the hits of a
// search), one FileRow per row, sorted by a header click.
#pragma once

#include "browse/file_list.h"

#include <string>
#include <vector>

class QTreeView;
class QTreeWidgetItem;

namespace tvk {

struct TreeNodeData;

// Listing of a disc's root (%u disc) and of a directory or archive (%u disc, %u entry): the
// seven columns every statement feeding the list yields.
extern const char* const SQL_LIST_ROOT;
extern const char* const SQL_LIST_CONTAINER;

// The column whose header shows the sort arrow (-1: none), and the direction of that sort
// (+1 ascending, -1 descending).
extern int sortedColumn;
extern int sortDirection;

// Empties `list` with its redrawing suspended; its records go with the rows and the sort arrow
// is cleared. Null is ignored.
void clearFileList(QTreeView* list);

// Lists the entries of a disc root (entryId -1), directory or archive in `list`: "CD <n>" in
// the status bar, then the listing statement. Nothing happens without a connection; a failed
// statement, or a result that cannot be fetched, is reported in the status bar (string 54)
// and leaves the rows as they were.
void showDirectoryContents(QTreeView* list, const TreeNodeData* data, QTreeWidgetItem* item);

// Turns the result of the statement just run on catalogueConnection into the rows of `list`,
// each listing `item` (null for search hits). With `pumping`, one round of pending events is
// handled after each row while searchRunning stays set; the fill stops when it is cleared, when
// a quit is requested, or when the list goes away meanwhile; the list lays its rows out once,
// when the fill ends, not after each row. False, with the list's rows left as they were, when
// the result cannot be fetched; the result is consumed either way.
bool fillFileList(QTreeView* list, QTreeWidgetItem* item, bool pumping);

// The collation key of a name, to be compared bytewise: the name as it shows (UTF-8, or the
// server's latin1 for bytes that are not UTF-8), in the collation of the user's locale
// // (LC_ALL, else LC_COLLATE, else LANG), case-insensitive.
std::string nameSortKey(const char* name);

// Compares two rows for sort parameter p: |p| is the column + 1 (1 name, 2 size, 3 type,
// 4 date), its sign the direction. Negative, zero or positive.
int compareFileRows(const FileRow& a, const FileRow& b, int p);

// The order of the rows of `model` for sort parameter p, as compareFileRows orders them, equal
// rows keeping their order: element i is the row that comes at position i. Computes the rows'
// name keys first when sorting by name.
std::vector<int> sortedRowOrder(FileListModel& model, int parameter);

// A header click on `column`: the first click on a column sorts it ascending, the next one
// descending, and so on; the arrow moves to that column.
void onFileListColumnClick(QTreeView* list, int column);

// The list receives the focus: when no row has the focus, the first row takes it (without
// being selected).
void onFileListFocus(QTreeView* list);

// Connects the list's header clicks, focus and emptying to the handlers above.
void connectFileList(QTreeView* list);

} // namespace tvk
