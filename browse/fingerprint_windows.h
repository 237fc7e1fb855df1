// The windows of the content fingerprints: the duplicates across every disc, the discs that
// hold files of this computer, and the verification of a disc against the catalogue. Each is
// one window of its kind, owned by the main window, that the user closes; selecting a file of
// a disc in the first two shows its place in the tree as a search hit does.
#pragma once

#include <QString>

#include <cstdint>

class QTreeWidgetItem;
class QWidget;

namespace tvk {

// File > Duplicates...: the groups of files stored more than once, the most wasteful first.
// Returns the window (shown), or null without a connection; a server error is reported.
QWidget* openDuplicateGroupsWindow(QWidget* owner);

// File > Find on discs...: asks for files or a folder of this computer and tells, for each
// file, which discs hold the same contents, or that none does.
QWidget* openFindOnDiscsWindow(QWidget* owner);

// File > Verify...: reads the disc that holds `item` again (from its recorded folder, drive
// or image, else from one the user chooses) and shows what is unchanged, changed, unreadable,
// missing and new, in a report the user may save. Nothing in the catalogue changes. Returns
// the report window, or null when nothing was read.
QWidget* verifyDisc(QTreeWidgetItem* item);

// `bytes` as the windows show sizes: digits grouped by threes with the locale's separator.
QString bytesText(std::uint64_t bytes);

} // namespace tvk
