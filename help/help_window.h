// The help window: a book's table of contents (and keyword index) beside its pages.
#pragma once

#include "help/chm_book.h"

class QWidget;

namespace tvk::help {

// Builds the help window of `book`, which the window keeps, at the book's default topic. The
// window is top-level, deletes itself when closed (also on Escape and Ctrl+W) and does not
// keep the application running.
// `caller` (may be null) only serves to place the window beside it. The caller shows it.
// Children by object name: "helpContents" and "helpIndex" (QTreeWidget; the index only when
// the book has one), "helpBrowser" (QTextBrowser), "helpBack", "helpForward", "helpHome".
QWidget* createHelpWindow(ChmBook book, QWidget* caller);

// Shows the book's default topic in a window made by createHelpWindow.
void showDefaultTopic(QWidget* window);

} // namespace tvk::help
