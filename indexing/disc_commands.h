// The disc commands New, Update and Delete: the drive scan that lists every drive in the status
// bar and offers each readable disc for indexing, and the removal of a disc from the catalogue.
#pragma once

#include "platform/volumes.h"

#include <QString>

#include <cstdint>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tvk {

// The disc statements of Delete ("%d": the disc id).
extern const char* const SQL_DELETE_DISC_FILES;
extern const char* const SQL_DELETE_DISC;

// The longest tree item text the Delete question shows.
constexpr int DELETE_PROMPT_TEXT_MAX = 19;

// Scans the drives. With -1 every CD-ROM drive that holds a readable disc is offered as a new
// disc (each one indexed gets its number message; at the end the tree is refilled and the last
// new disc selected); with a disc id the discs are offered, one drive after the other, as the
// new contents of that catalogue disc, and the first Yes ends the scan. The drive summary goes
// to the status bar unless an update was made.
void scanDrives(int discId);

// Update of the disc that holds `item` (none: nothing happens).
void updateDisc(QTreeWidget* tree, QTreeWidgetItem* item);

// Delete of the disc that holds `item`, after the question naming the disc (none: nothing).
// Its entries and its row leave the catalogue, and its item leaves the tree.
void deleteDisc(QTreeWidget* tree, QTreeWidgetItem* item);

// Selects the tree's item of disc `discId`, makes it visible and gives the tree the focus; the
// selection lists the disc's root and enables Update and Delete. Nothing when there is none.
void selectDiscItem(QWidget* mainWindow, int discId);

// The drive summary's text for the drive at `root` of type `type`: the type's word, or for a
// CD-ROM drive "CD-ROM-" and the volume's label, serial, name length and flags (or the
// no-disc text). `volume` is null when the drive's volume cannot be read.
QString driveTypeText(DriveType type, const VolumeInformation* volume);

// The "letter" of a drive in the summary and the questions: its mount point ("/" stays "/",
// other roots lose their final '/').
QString driveLetter(const std::string& root);

} // namespace tvk
