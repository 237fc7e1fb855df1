// From a row of the file list to a place in the catalogue tree: in search mode, selecting a hit
// shows the path from its disc down to the directory or archive that holds it; in browsing
// mode, a double click on a directory or archive row selects it in the tree.
#pragma once

#include <cstdint>

class QTreeView;
class QTreeWidgetItem;

namespace tvk {

// The level of a path: an entry's parent, name and type (%u disc, %u entry), and a disc's
// label made by the server (%u disc), whose first column -2 marks the top of the path.
extern const char* const SQL_PATH_ENTRY;
extern const char* const SQL_PATH_DISC;

// Inserts the path from disc `discId` down to entry `entryId` (-1: the disc alone) at the end
// of the tree, one query per level from the entry up, each item below the one above it, all
// with their children counted as loaded. Returns the entry's item, or null when its own row
// cannot be read (a failed query is reported in a "MySQL Error" box; a row deleted meanwhile
// is not). A level that cannot be read, or a parent link that leads back into the path,
// ends the climb: the levels read so far are inserted, the topmost at the root with the disc
// image.
QTreeWidgetItem* insertEntryPath(std::int32_t discId, std::int32_t entryId);

// Expands, level by level from the root, the first child of each level.
void expandFirstChildren();

// Search mode: shows the place of the hit of `row` (its disc and parent), as showPlace does.
void showHitLocation(QTreeView* list, int row);

// The place of a hit: the tree rebuilt as the path from disc `discId` down to its folder or
// archive `parentId` (-1: the disc's root), all expanded, nothing selected, with
// "CD <disc>, Directory <parent>" in the status bar.
void showPlace(std::int32_t discId, std::int32_t parentId);

// The place of entry `entryId` of disc `discId` (a file shown outside the list: a duplicate,
// a file found on the discs), as showPlace gives its holder's. Nothing when the entry is gone.
void showEntryPlace(std::int32_t discId, std::int32_t entryId);

// Browsing mode: a double click on `row`. A directory or archive is looked for among the
// children of the tree item the list shows (expanded first) and the first of the same name is
// selected, which lists it; for any other row the status bar says it is a file.
void openListRow(QTreeView* list, int row);

// Routes the list's selections (search mode) and double clicks (browsing mode) to the two
// above.
void connectLocating(QTreeView* list);

} // namespace tvk
