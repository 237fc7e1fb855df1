// The main window: its creation with the two panes, the menu bar and the accelerators, and
// the routing of every command.
#pragma once

#include "platform/dialog.h"
#include "platform/resources.h"

#include <cstdint>
#include <vector>

class QAction;
class QMainWindow;
class QMenuBar;
class QWidget;

namespace tvk {

// The main window; null before its creation and once it is destroyed (which ends the
// program's main loop).
extern QMainWindow* mainWindow;
// Menu 600 of the language module, the main window's menu bar; null when the module has
// none.
extern QMenuBar* mainMenu;

// The open search dialog, whose existence means search mode (check with isDialogAlive),
// and the flag that keeps a search's result stream going. While it is set the cursor over
// the main window and its panes is busyCursor.
extern Dialog* searchDialog;
extern bool searchRunning;

// Creates the main window, visible at once, with the product name as title, icon 102, and
// the tree and the list in its client area. The window deletes itself when closed; its
// destruction asks the main loop to end.
QMainWindow* createMainWindow();

// Builds menu 600 of the language module into the main window's menu bar, each item on its
// command's action. Nothing happens when the module has no menu 600.
void attachMainMenu();

// Puts the accelerator table to work: a key of the table pressed in any window of the program
// issues its command's action, as the main loop translates accelerators. The key of a greyed
// command is not taken; Tab and Shift+Tab (never greyed) always act. Keys do not act in the
// search dialog, nor inside the nested loops: modal dialogs, message boxes, open menus and the
// pumps of long work.
void installAccelerators(const std::vector<AccelEntry>& table);

// The action of command `id`, connected once to onCommand: menu items, toolbar buttons and
// accelerators issue the command through it.
QAction* routeCommand(int id);

// Performs command `id`, wherever it came from (menu bar, toolbar, accelerator, context
// menu). The enable state is not checked here: a greyed command cannot be issued.
void onCommand(QWidget* window, int id);

// The procedure of dialog 100 (About): Enter, its Close button and its close box end it;
// Escape does not.
bool aboutDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

} // namespace tvk
