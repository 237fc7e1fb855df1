// The disc commands New, Update and Delete: the drive scan that lists every drive in the status
// bar and offers each readable disc for indexing, and the removal of a disc from the catalogue.
#pragma once

#include "indexing/disc_checks.h"
#include "platform/volumes.h"

#include <QString>

#include <cstdint>
#include <string>

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tvk {

// The longest tree item text the Delete question shows.
constexpr int DELETE_PROMPT_TEXT_MAX = 19;

// Scans the drives. With -1 every CD-ROM drive that holds a readable disc is offered as a new
// disc (each one indexed gets its number message, which names the entries stored; a disc the
// directory holds already may be updated instead; at the end the tree is refilled and the last
// disc read selected); with a disc id the discs are offered, one drive after the other, as the
// new contents of that catalogue disc, and the first Yes ends the scan (after the questions when
// the disc in the drive is another one, or holds nothing). Whatever an indexing left out, and an
// update stopped, are told. The drive summary goes to the status bar unless an update was made.
void scanDrives(int discId);

// Update of the disc that holds `item` (none: nothing happens). A disc read last from a folder
// or an image is offered that source again; when it is gone, of another machine or no longer
// the same volume, the user is told why and may choose another folder or image (checked as the
// drives are), or look in the drives.
void updateDisc(QTreeWidget* tree, QTreeWidgetItem* item);

// Delete of the disc that holds `item`, after the question naming the disc (none: nothing).
// Its entries and its row leave the catalogue, and its item leaves the tree.
void deleteDisc(QTreeWidget* tree, QTreeWidgetItem* item);

// New from a folder: asks for a folder (a USB stick's or an external disk's mount point, a
// network share, any folder) and puts it into the catalogue as a new disc, walked as a disc is,
// never leaving the folder's file system; its name is the volume label when the folder is a
// mount point that has one, else the folder's own name. When the directory holds that folder
// or volume already, asks whether to update that disc instead. A message names the new disc's
// number and its entries.
void newFromFolder();

// New from a disc image: asks for an image file and reads it with the archive library, without
// mounting it, as a new disc; its name is the image's volume label (or its file name). An image
// that cannot be read is refused with the reason, and no disc is left behind. An image the
// directory holds already is asked about as in newFromFolder.
void newFromImage();

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
