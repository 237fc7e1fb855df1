// The program's commands and their one enable state, shared by menu item and toolbar button.
#pragma once

class QAction;

namespace tvk {

// The action that carries command `id`: its menu item and its toolbar button are built on
// it, so both always show the same enable state. Created enabled on first use; lives until
// resetCommands. Owned by the command table.
QAction* commandAction(int id);

// Enables or greys command `id` in the menu and on the toolbar together. The only operation
// that changes the enable state of a command. New (200) carries New from a folder and New
// from a disc image along.
void enableCommand(int id, bool enable);

// Whether command `id` is enabled (a command never created counts as enabled).
bool isCommandEnabled(int id);

// Drops every action (the main window is gone); the next use starts enabled again.
void resetCommands();

} // namespace tvk
