// The status bar, the program's running commentary in it, and the menu help shown there
// while a menu is open.
#pragma once

#include <QString>

class QAction;
class QMenu;
class QMenuBar;
class QStatusBar;
class QWidget;

namespace tvk {

constexpr int ID_STATUSBAR = 3000;

// The status bar of the main window; null before it is created and when its creation failed.
extern QStatusBar* statusBar;

// The shared text in which status texts are composed before setStatusText shows them. The
// status bar keeps its own copy, so the text may be reused at once.
extern QString statusText;

// Creates the status bar of `parent` (one stretched text part and the size grip) with
// `text` into statusBar. Returns 1, or 0 when it could not be created.
int createStatusBar(QWidget* parent, const QString& text, int parts);

// Shows `text` in the status bar (part and drawing type are always 0 in this program). The
// status bar keeps its own copy. Without a status bar nothing happens.
void setStatusText(const QString& text, int part = 0, int type = 0);

// The text the status bar shows now; empty without a status bar.
QString currentStatusText();

// Menu help: shows the help text of the highlighted menu entry in the status bar. A popup of
// the menu bar shows string 2000, 2001 or 2010 by its position (File, Configuration, Help);
// an item shows the string numbered as its command (the action's data); a separator, an
// entry without a string and `item` null (the menu has closed) leave the status bar empty.
void onMenuSelect(QAction* item);

// Gives `menu` menu help for its items, emptied when the last open menu closes. Menus built
// from templates call this; their actions carry the command id as data.
void connectMenuHelp(QMenu* menu);
// Gives the popups of a filled menu bar their own help, by position, as they open or as the
// keyboard highlights them.
void connectMenuBarHelp(QMenuBar* menuBar);

} // namespace tvk
