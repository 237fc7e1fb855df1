#include "indexing/disc_commands.h"

#include "indexing/disc_checks.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "indexing/disc_sources.h"
#include "indexing/index_summary.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/file_chooser.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "platform/text.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QFile>
#include <QMainWindow>
#include <QTreeWidget>

#include <sys/stat.h>

#include <cstdio>
#include <optional>

namespace tvk {

namespace {

// A string of the language module with its "%s" and "%d" filled by the C library's formatter.
template <typename... Args>
QString formatLangString(unsigned id, Args... args) {
    return QString::asprintf(loadLangString(id).toUtf8().constData(), args...);
}

QByteArray shown(const std::string& bytes) {
    return fromServerText(bytes).toUtf8();
}

// A path of this machine as the messages show it.
QByteArray shownPath(const std::string& path) {
    return QString::fromLocal8Bit(path.c_str()).toUtf8();
}

// The entries disc `discId` holds now, as the questions show them.
QByteArray entriesOf(int discId) {
    return countText(countDiscEntries(discId).value_or(0)).toUtf8();
}

// Asks whether the disc in the drive at `root` is to be added (discId -1) or to become the new
// contents of disc `discId`.
bool offerDisc(const std::string& root, const VolumeInformation& volume, int discId) {
    const QByteArray label = shown(volume.label);
    const QByteArray letter = driveLetter(root).toUtf8();
    const QString question =
        discId == -1
            ? formatLangString(IDS_ASK_ADD_DISC, label.constData(), letter.constData())
            : formatLangString(IDS_ASK_UPDATE_DISC, discId, label.constData(), letter.constData());
    return messageBox(mainWindow, question, loadLangString(IDS_DISC_READING),
                      MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// A warning question whose default answer is No; true for Yes.
bool confirmed(const QString& question, unsigned caption) {
    return messageBox(mainWindow, question, loadLangString(caption),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Before an update replaces a disc's entries from a drive: when the recorded disc and the one in
// the drive are told apart by their label or serial, asks whether to go on all the same (No is
// the default). True to go on.
bool sameDiscOrConfirmed(const std::optional<DiscSource>& recorded, const std::string& root,
                         const VolumeInformation& volume, int discId) {
    if (!recorded || !isAnotherDisc(*recorded, volume))
        return true;
    const QByteArray label = shown(volume.label);
    const QByteArray letter = driveLetter(root).toUtf8();
    const QByteArray recordedLabel = shown(recorded->label);
    return confirmed(formatLangString(IDS_ASK_REPLACE_ANOTHER_DISC, label.constData(),
                                      letter.constData(), discId, recordedLabel.constData()),
                     IDS_ANOTHER_DISC);
}

// Before an update replaces a disc's entries from the folder or image `path` that is not the
// volume recorded for it: asks whether to go on all the same, naming what the disc holds (No
// is the default). True to go on.
bool sameSourceOrConfirmed(const DiscSource& recorded, const std::string& path,
                           const VolumeInformation& volume) {
    if (!isAnotherDisc(recorded, volume))
        return true;
    const QByteArray name = shownPath(path);
    const QByteArray recordedLabel = shown(recorded.label);
    const QByteArray entries = entriesOf(recorded.discId);
    return confirmed(formatLangString(IDS_ASK_REPLACE_FROM_ANOTHER, name.constData(),
                                      recorded.discId, recordedLabel.constData(),
                                      entries.constData()),
                     IDS_ANOTHER_DISC);
}

// Before an update replaces the entries of disc `discId` from a source that holds none (`path`
// names it): asks whether to empty the disc all the same, naming what it holds (No is the
// default). True to go on; always when the disc holds nothing either.
bool notEmptiedOrConfirmed(int discId, bool sourceEmpty, const std::string& path) {
    const std::uint64_t held = entriesLostToEmptySource(discId, sourceEmpty);
    if (held == 0)
        return true;
    const QByteArray entries = countText(held).toUtf8();
    const QByteArray name = shownPath(path);
    return confirmed(formatLangString(IDS_ASK_REPLACE_WITH_NOTHING, discId, entries.constData(),
                                      name.constData()),
                     IDS_NOTHING_TO_READ);
}

// Tells the user the number of the disc just added from a source of kind `kind`, and how many
// entries it holds: a CD-ROM is to have its number written on it; a folder or an image is told
// as such.
void showDiscNumber(int discId, const std::string& label, char kind) {
    const QByteArray name = shown(label);
    const QByteArray entries = countText(lastIndexing.entries).toUtf8();
    const bool drive = kind == SOURCE_DRIVE;
    const QString text =
        drive ? formatLangString(IDS_WRITE_DISC_NUMBER, discId, name.constData())
              : formatLangString(kind == SOURCE_FOLDER ? IDS_FOLDER_ADDED : IDS_IMAGE_ADDED,
                                 name.constData(), discId);
    messageBox(mainWindow,
               text + QLatin1Char('\n') + formatLangString(IDS_ENTRIES_STORED, entries.constData()),
               loadLangString(drive ? IDS_DISC_IDENTIFICATION : IDS_DISC_ADDED), MB_OK);
}

// After dialog 550 has read disc `discId`: an update that was stopped says what the disc holds
// now, and whatever the reading left out is named.
void showIndexingEnd(int discId) {
    const IndexSummary& summary = lastIndexing;
    if (summary.result <= 0)
        return;
    if (summary.stopped && !summary.newDisc) {
        const QByteArray entries = countText(summary.entries).toUtf8();
        messageBox(mainWindow, formatLangString(IDS_UPDATE_STOPPED, discId, entries.constData()),
                   loadLangString(IDS_INDEXING_STOPPED), MB_OK | MB_ICONWARNING);
    }
    if (summary.leftOut())
        messageBox(mainWindow, leftOutText(summary, discId), loadLangString(IDS_INCOMPLETE_DISC),
                   MB_OK | MB_ICONWARNING);
}

// The number of entries of the image `image` as checkImage tells it, under the hourglass; a
// refused image is said (its result is then below 0).
int checkedImage(const std::string& image) {
    pushCursor(waitCursor);
    // The check reads the whole image: the window stays painted meanwhile, taking no input.
    const TvkPlgCallbacks painting{[](void*) {
                                       pumpMessages(QEventLoop::ExcludeUserInputEvents);
                                       return 0;
                                   },
                                   nullptr, nullptr};
    taviskPlg_set_callbacks(&painting);
    const int check = checkImage(image);
    taviskPlg_set_callbacks(nullptr);
    popCursor();
    if (check < 0)
        showImageRefused(image, check);
    return check;
}

// Before New adds the volume, folder or image `wanted` describes: when the directory holds a
// disc read from the same one, asks whether to update that disc, add another disc or add
// nothing. The disc to read: that disc's id, -1 for a new disc, 0 for nothing.
int discToRead(const DiscSource& wanted) {
    const std::optional<RecordedDisc> recorded = findRecordedDisc(wanted);
    if (!recorded)
        return -1;
    const QByteArray label = shown(wanted.label);
    const QByteArray name = shown(recorded->name);
    switch (messageBox(mainWindow,
                       formatLangString(IDS_ASK_ALREADY_CATALOGUED, label.constData(),
                                        recorded->discId, name.constData()),
                       loadLangString(IDS_ALREADY_CATALOGUED), MB_YESNOCANCEL | MB_ICONQUESTION)) {
    case IDYES:
        return recorded->discId;
    case IDNO:
        return -1;
    default:
        return 0;
    }
}

// Dialog 550 for the folder or image `path` (of kind `kind`) as a new disc (-1) or as disc
// `discId`; its source recorded. Returns the dialog's result.
int readSource(char kind, const std::string& path, const VolumeInformation& volume, int discId) {
    const IndexRequest request = kind == SOURCE_FOLDER
                                     ? IndexRequest{folderRoot(path), volume.label, discId, {}}
                                     : IndexRequest{std::string(), volume.label, discId, path};
    const int result = runIndexingDialog(request);
    recordSource(discId == -1 ? result : discId,
                 describeSource(kind, kind == SOURCE_FOLDER ? withoutSlash(path) : path, volume),
                 lastIndexing);
    return result;
}

// The end of an update of disc `discId` by the window: what the reading left out or a stop
// said, the tree refilled with the disc selected.
void finishUpdate(int discId) {
    showIndexingEnd(discId);
    refillCatalogueTree(mainWindow);
    selectDiscItem(mainWindow, discId);
}

// Updates disc `discId` from the folder or image `path` (of kind `kind`), after the checks: an
// image is read whole first; a source chosen in place of the recorded one (`chosen`) that is
// another volume, and a source holding nothing, are asked about.
void updateFromSource(int discId, char kind, const std::string& path, const DiscSource& recorded,
                      bool chosen) {
    int imageEntries = 0;
    if (kind == SOURCE_IMAGE && (imageEntries = checkedImage(path)) < 0)
        return;
    const VolumeInformation volume = kind == SOURCE_FOLDER ? folderVolume(path) : imageVolume(path);
    if (chosen && !sameSourceOrConfirmed(recorded, path, volume))
        return;
    const bool empty = kind == SOURCE_FOLDER ? folderHoldsNothing(path) : imageEntries == 0;
    if (!notEmptiedOrConfirmed(discId, empty, path))
        return;
    readSource(kind, path, volume, discId);
    finishUpdate(discId);
}

// Update of disc `recorded.discId`, read last from a folder or an image: that source is
// offered, or the user is told why it is not and may choose another. False when the drives are
// to be offered instead.
bool updateFromRecordedSource(const DiscSource& recorded) {
    const int discId = recorded.discId;
    const bool folder = recorded.kind == SOURCE_FOLDER;
    const QByteArray path = shownPath(recorded.path);
    const unsigned why = whyNotOffered(recorded);
    if (why == 0) {
        if (messageBox(mainWindow,
                       formatLangString(IDS_ASK_UPDATE_FROM_SOURCE, discId, path.constData()),
                       loadLangString(IDS_DISC_READING), MB_YESNO | MB_ICONQUESTION) != IDYES)
            return false;
        updateFromSource(discId, recorded.kind, recorded.path, recorded, false);
        return true;
    }
    const QByteArray host = shown(recorded.host);
    const QString reason = formatLangString(why, discId, path.constData(), host.constData());
    if (messageBox(mainWindow,
                   reason + QLatin1Char('\n') +
                       loadLangString(folder ? IDS_ASK_CHOOSE_FOLDER : IDS_ASK_CHOOSE_IMAGE),
                   loadLangString(IDS_DISC_READING), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return false;
    const QString caption =
        formatLangString(folder ? IDS_CHOOSE_UPDATE_FOLDER : IDS_CHOOSE_UPDATE_IMAGE, discId);
    const QString chosen = folder
                               ? chooseFolder(mainWindow, caption)
                               : chooseFile(mainWindow, caption, loadLangString(IDS_IMAGE_FILTER));
    if (!chosen.isEmpty())
        updateFromSource(discId, recorded.kind, QFile::encodeName(chosen).toStdString(), recorded,
                         true);
    return true;
}

// New from the folder or image `path` (of kind `kind`): checked, asked about when it is in the
// directory already, read, and told.
void newFromSource(char kind, const std::string& path) {
    int imageEntries = 0;
    if (kind == SOURCE_IMAGE && (imageEntries = checkedImage(path)) < 0)
        return;
    const VolumeInformation volume = kind == SOURCE_FOLDER ? folderVolume(path) : imageVolume(path);
    const int target =
        discToRead(describeSource(kind, kind == SOURCE_FOLDER ? withoutSlash(path) : path, volume));
    if (target == 0)
        return;
    if (target > 0) {
        const bool empty = kind == SOURCE_FOLDER ? folderHoldsNothing(path) : imageEntries == 0;
        if (notEmptiedOrConfirmed(target, empty, path)) {
            readSource(kind, path, volume, target);
            finishUpdate(target);
        }
        return;
    }
    const int result = readSource(kind, path, volume, -1);
    if (result > 0) {
        showDiscNumber(result, volume.label, kind);
        showIndexingEnd(result);
    }
    refillCatalogueTree(mainWindow);
    if (result > 0)
        selectDiscItem(mainWindow, result);
}

// Reads the disc in the drive at `root` as disc `discId` (-1: a new disc) and records it.
// Returns the dialog's result.
int readDrive(const std::string& root, const VolumeInformation& volume, int discId) {
    const int result = runIndexingDialog(IndexRequest{root, volume.label, discId, {}});
    recordSource(discId == -1 ? result : discId,
                 describeSource(SOURCE_DRIVE, withoutSlash(root), volume), lastIndexing);
    return result;
}

} // namespace

QString driveLetter(const std::string& root) {
    return fromServerText(withoutSlash(root));
}

QString driveTypeText(DriveType type, const VolumeInformation* volume) {
    switch (type) {
    case DRIVE_UNKNOWN:
        return loadLangString(IDS_DRIVE_UNDETERMINED);
    case DRIVE_NO_ROOT_DIR:
        return loadLangString(IDS_DRIVE_NO_ROOT);
    case DRIVE_REMOVABLE:
        return loadLangString(IDS_DRIVE_REMOVABLE);
    case DRIVE_FIXED:
        return loadLangString(IDS_DRIVE_FIXED);
    case DRIVE_REMOTE:
        return loadLangString(IDS_DRIVE_REMOTE);
    case DRIVE_RAMDISK:
        return loadLangString(IDS_DRIVE_RAM);
    case DRIVE_CDROM:
        if (!volume)
            return QStringLiteral("CD-ROM-") + loadLangString(IDS_NO_DISC_IN_DRIVE);
        return QStringLiteral("CD-ROM-") + fromServerText(volume->label) +
               QStringLiteral(", sn=%1, mfl=%2, fsf=%3")
                   .arg(static_cast<std::int32_t>(volume->serial))
                   .arg(volume->maxComponentLength)
                   .arg(volume->fileSystemFlags, 0, 16);
    }
    return QStringLiteral("???????");
}

void scanDrives(int discId) {
    QString summary;
    int lastNewId = -1;
    bool indexed = false;
    const std::optional<DiscSource> recorded = discId != -1 ? readDiscSource(discId) : std::nullopt;
    for (const std::string& root : logicalDrives()) {
        const DriveType type = getDriveType(root);
        VolumeInformation volume;
        const bool readable = type == DRIVE_CDROM && getVolumeInformation(root, volume);
        summary += driveLetter(root) + QLatin1Char(':') +
                   driveTypeText(type, readable ? &volume : nullptr);
        if (readable && offerDisc(root, volume, discId)) {
            if (discId != -1) {
                if (sameDiscOrConfirmed(recorded, root, volume, discId) &&
                    notEmptiedOrConfirmed(discId, folderHoldsNothing(root), withoutSlash(root))) {
                    readDrive(root, volume, discId);
                    // The update is made: the tree shows the disc again, and the scan ends here.
                    finishUpdate(discId);
                    return;
                }
            } else {
                // A disc the directory holds already may be updated instead.
                const int target =
                    discToRead(describeSource(SOURCE_DRIVE, withoutSlash(root), volume));
                if (target > 0 &&
                    notEmptiedOrConfirmed(target, folderHoldsNothing(root), withoutSlash(root))) {
                    readDrive(root, volume, target);
                    showIndexingEnd(target);
                    indexed = true;
                    lastNewId = target;
                } else if (target == -1) {
                    const int result = readDrive(root, volume, -1);
                    indexed = true;
                    // A disc whose row could not be written (0) or renewed (-1) has no number.
                    if (result > 0) {
                        lastNewId = result;
                        showDiscNumber(result, volume.label, SOURCE_DRIVE);
                        showIndexingEnd(result);
                    }
                }
            }
        }
        summary += QLatin1Char(' ');
    }
    setStatusText(summary);
    if (indexed) {
        refillCatalogueTree(mainWindow);
        if (lastNewId != -1)
            selectDiscItem(mainWindow, lastNewId);
    }
}

void updateDisc(QTreeWidget* tree, QTreeWidgetItem* item) {
    const TreeNodeData* data = treeNodeData(item);
    if (!data)
        return;
    // A disc read from a folder or an image is offered that source first, or told why not.
    const std::optional<DiscSource> source = readDiscSource(data->discId);
    if (source && (source->kind == SOURCE_FOLDER || source->kind == SOURCE_IMAGE) &&
        updateFromRecordedSource(*source))
        return;
    scanDrives(data->discId);
}

void newFromFolder() {
    setStatusText(loadLangString(IDS_NEW_DISC));
    const QString folder = chooseFolder(mainWindow, loadLangString(IDS_CHOOSE_FOLDER));
    if (folder.isEmpty())
        return;
    newFromSource(SOURCE_FOLDER, QFile::encodeName(folder).toStdString());
}

void newFromImage() {
    setStatusText(loadLangString(IDS_NEW_DISC));
    const QString image =
        chooseFile(mainWindow, loadLangString(IDS_CHOOSE_IMAGE), loadLangString(IDS_IMAGE_FILTER));
    if (image.isEmpty())
        return;
    newFromSource(SOURCE_IMAGE, QFile::encodeName(image).toStdString());
}

void deleteDisc(QTreeWidget* tree, QTreeWidgetItem* item) {
    const TreeNodeData* data = treeNodeData(item);
    if (!tree || !data)
        return;
    // The statements remove the whole disc, whichever of its items was chosen: the question
    // names the disc, and the disc's own item leaves the tree.
    QTreeWidgetItem* discItem = item;
    while (discItem->parent())
        discItem = discItem->parent();
    const int discId = data->discId;
    const QByteArray text = discItem->text(0).left(DELETE_PROMPT_TEXT_MAX).toUtf8();
    if (messageBox(mainWindow, formatLangString(IDS_ASK_DELETE_DISC, text.constData()),
                   loadLangString(IDS_CONFIRM_DELETE_DISC), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (!deleteDiscRows(discId)) {
        showMySqlError(mainWindow);
        return;
    }
    enableCommand(CMD_UPDATE, false);
    enableCommand(CMD_DELETE, false);
    clearFileList(fileList);
    delete discItem;
    setStatusText(loadLangString(IDS_DISC_DELETING));
    // The record of where the disc came from goes after it.
    if (!forgetDiscSource(discId))
        showMySqlError(mainWindow);
}

void selectDiscItem(QWidget* mainWindow, int discId) {
    QTreeWidget* tree = catalogueTree;
    if (!tree)
        return;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        const TreeNodeData* data = treeNodeData(item);
        if (data && data->discId == discId) {
            tree->scrollToItem(item);
            tree->setCurrentItem(item);
            if (!tree->window()->isActiveWindow())
                tree->window()->activateWindow(); // as after the indexing dialog closes
            tree->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

} // namespace tvk
