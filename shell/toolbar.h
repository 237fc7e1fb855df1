// The toolbar along the top of the main window: six labelled buttons for the main commands.
#pragma once

class QToolBar;
class QWidget;

namespace tvk {

constexpr int ID_TOOLBAR = 5000;

// The toolbar of the main window; null before its creation and after the window is gone.
extern QToolBar* toolBar;

// Creates the toolbar as a child of `parent` into toolBar and returns it: the buttons New,
// Update, Delete, Search, Configure and Help, in that order, each with its image from
// bitmap 106 and its label (strings 63 to 68) beside it, each showing and issuing its
// command's action. No tooltips, not movable, no context menu; it takes the focus from the
// Tab ring only. Owned by `parent`.
QToolBar* createToolBar(QWidget* parent);

} // namespace tvk
