// The search dialog: modeless beside the main window while the program is in search mode. It
// reads what the user asks for, runs one statement over every disc and streams the hits into
// the file list, keeping both windows responsive; Stop ends the stream, Close ends search mode.
#pragma once

#include "browse/search_query.h"
#include "platform/dialog.h"

#include <cstdint>

class QWidget;

namespace tvk {

// Command Search: opens the dialog (template 300) beside `owner`, empties the tree and the
// list, and greys New, Update, Delete, Search and MySQL Connection. Nothing happens when the
// dialog is already open, nor (nothing at all is changed) when it cannot be built.
void openSearchDialog(QWidget* owner);

// The dialog's procedure: its initial texts and icon, the Date box enabling the range, Search
// (309), Stop (302) and Close (2, also Escape and the close box).
bool searchDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                      std::intptr_t lParam);

// What the dialog's fields ask for, as typed: words and names up to 254 characters each, the
// limit up to 18 digits (anything else in the field is left out).
SearchRequest readSearchRequest(Dialog* dialog);

// Close: ends a stream in progress, destroys the dialog, empties the list, enables MySQL
// Connection and refills the tree, which brings the main window back to browsing.
void closeSearchDialog(Dialog* dialog);

} // namespace tvk
