// The tree's context menu: a right-click on a tree item selects it and offers Update and
// Delete for it.
#pragma once

class QTreeWidget;
class QWidget;

namespace tvk {

// A context-menu request on the tree at screen position (x, y), each an unsigned 16-bit value
// (65535, 65535 for the keyboard form, which finds no item). Sets currentTreeItem to the item
// hit (or none), selects it, and shows menu 1000 at the position when it lies inside the main
// window. Returns 1 when the menu was shown, 0 otherwise.
int onTreeContextMenu(QWidget* window, int x, int y, QTreeWidget* tree);

// Shows the popup of menu 1000 at screen position (x, y); its commands go to onCommand of the
// main window. The menu is built anew for each opening, its items always enabled.
void showTreeContextMenu(QWidget* window, int x, int y);

// Routes the tree's context-menu requests (mouse and keyboard) to onTreeContextMenu.
void connectTreeContextMenu(QTreeWidget* tree);

} // namespace tvk
