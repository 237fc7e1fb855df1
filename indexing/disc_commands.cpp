#include "indexing/disc_commands.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "indexing/disc_sources.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/file_chooser.h"
#include "platform/messagebox.h"
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
    return messageBox(mainWindow,
                      formatLangString(IDS_ASK_REPLACE_ANOTHER_DISC, label.constData(),
                                       letter.constData(), discId, recordedLabel.constData()),
                      loadLangString(IDS_ANOTHER_DISC),
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Records where disc `discId` was read, after an indexing that stored it whole.
void recordSource(int discId, char kind, const std::string& path, const VolumeInformation& volume) {
    if (discId <= 0 || !indexingComplete)
        return;
    DiscSource source;
    source.discId = discId;
    source.kind = kind;
    source.path = path;
    source.host = thisHost();
    source.label = volume.label;
    source.serial = volume.serial;
    source.fileSystem = volume.fileSystemName;
    recordDiscSource(source);
}

// `root` without its final '/' ("/" stays).
std::string withoutSlash(std::string root) {
    if (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

// The root path of the folder `folder` as the walk takes it: with one final '/'.
std::string folderRoot(const std::string& folder) {
    const std::string path = withoutSlash(folder);
    return path == "/" ? path : path + "/";
}

// Tells the user the number to write on the new disc.
void showDiscNumber(int discId, const std::string& label) {
    const QByteArray name = shown(label);
    messageBox(mainWindow, formatLangString(IDS_WRITE_DISC_NUMBER, discId, name.constData()),
               loadLangString(IDS_DISC_IDENTIFICATION), MB_OK);
}

// Whether a recorded folder or image source is of this machine and still there.
bool sourceStillHere(const DiscSource& source) {
    if (source.kind != SOURCE_FOLDER && source.kind != SOURCE_IMAGE)
        return false;
    if (source.host != thisHost() || source.path.empty())
        return false;
    struct stat info {};
    if (::stat(source.path.c_str(), &info) != 0)
        return false;
    const bool folder = source.kind == SOURCE_FOLDER;
    if (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode))
        return false;
    // The same volume still, not another one in its place: a USB stick unplugged leaves its
    // mount point behind as an empty folder of another name, which must not empty the disc.
    return !isAnotherDisc(source, folder ? folderVolume(source.path) : imageVolume(source.path));
}

// Whether the file at `image` is a disc image that can be read whole: the number of entries it
// holds, or PARCOURE_UNREADABLE (not the image of a disc's file system: an archive such as a zip
// is no disc) or PARCOURE_DAMAGED (cut short, or unreadable before its end).
int checkImage(const std::string& image) {
    const std::optional<ProbedVolume> probed = probeVolume(image);
    if (!probed || (probed->fileSystem != "iso9660" && probed->fileSystem != "udf"))
        return PARCOURE_UNREADABLE;
    const int check = ParcoureArchive(image.c_str(), 0, -1, PARCOURE_CHECK_ONLY);
    // An image cut short may still list its entries (their data is not read): its descriptor
    // tells the size the whole volume has.
    struct stat info {};
    if (check >= 0 && ::stat(image.c_str(), &info) == 0 &&
        probed->volumeBytes > std::uint64_t(info.st_size))
        return PARCOURE_DAMAGED;
    return check;
}

// A disc just made by New (from a drive, a folder or an image): its number message, then the
// tree refilled with the disc selected.
void finishNewDisc(const std::pair<int, std::string>& made) {
    const auto& [discId, label] = made;
    if (discId > 0)
        showDiscNumber(discId, label);
    if (discId == -2) // nothing was tried
        return;
    refillCatalogueTree(mainWindow);
    if (discId > 0)
        selectDiscItem(mainWindow, discId);
}

// Indexes the folder `folder` as a new disc (-1) or as disc `discId`, in dialog 550. Returns
// the dialog's result and the disc's name.
std::pair<int, std::string> indexFolder(const std::string& folder, int discId) {
    const VolumeInformation volume = folderVolume(folder);
    const int result =
        runIndexingDialog(IndexRequest{folderRoot(folder), volume.label, discId, {}});
    recordSource(discId == -1 ? result : discId, SOURCE_FOLDER, withoutSlash(folder), volume);
    return {result, volume.label};
}

// Checks the disc image `image` and indexes it as a new disc (-1) or as disc `discId`, in
// dialog 550. An image that cannot be read whole is refused with its reason, before anything
// is written: the result is then -2.
std::pair<int, std::string> indexImageFile(const std::string& image, int discId) {
    pushCursor(waitCursor);
    const int check = checkImage(image);
    popCursor();
    if (check < 0) {
        showImageRefused(image, check);
        return {-2, std::string()};
    }
    const VolumeInformation volume = imageVolume(image);
    IndexRequest request{std::string(), volume.label, discId, image};
    const int result = runIndexingDialog(request);
    recordSource(discId == -1 ? result : discId, SOURCE_IMAGE, image, volume);
    return {result, volume.label};
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
                if (sameDiscOrConfirmed(recorded, root, volume, discId)) {
                    runIndexingDialog(IndexRequest{root, volume.label, discId, {}});
                    recordSource(discId, SOURCE_DRIVE, withoutSlash(root), volume);
                    // The update is made: the tree shows the disc again, and the scan ends here.
                    refillCatalogueTree(mainWindow);
                    selectDiscItem(mainWindow, discId);
                    return;
                }
            } else {
                const int result = runIndexingDialog(IndexRequest{root, volume.label, -1, {}});
                indexed = true;
                // A disc whose row could not be written (0) or renewed (-1) has no number.
                if (result > 0) {
                    lastNewId = result;
                    recordSource(result, SOURCE_DRIVE, withoutSlash(root), volume);
                    showDiscNumber(result, volume.label);
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
    // A disc read from a folder or an image of this machine is offered that source first.
    const std::optional<DiscSource> source = readDiscSource(data->discId);
    if (source && sourceStillHere(*source)) {
        const QByteArray path = QString::fromLocal8Bit(source->path.c_str()).toUtf8();
        if (messageBox(mainWindow,
                       formatLangString(IDS_ASK_UPDATE_FROM_SOURCE, data->discId, path.constData()),
                       loadLangString(IDS_DISC_READING), MB_YESNO | MB_ICONQUESTION) == IDYES) {
            const int discId = data->discId;
            if (source->kind == SOURCE_FOLDER)
                indexFolder(source->path, discId);
            else
                indexImageFile(source->path, discId);
            refillCatalogueTree(mainWindow);
            selectDiscItem(mainWindow, discId);
            return;
        }
    }
    scanDrives(data->discId);
}

void newFromFolder() {
    setStatusText(loadLangString(IDS_NEW_DISC));
    const QString folder = chooseFolder(mainWindow, loadLangString(IDS_CHOOSE_FOLDER));
    if (folder.isEmpty())
        return;
    finishNewDisc(indexFolder(QFile::encodeName(folder).toStdString(), -1));
}

void newFromImage() {
    setStatusText(loadLangString(IDS_NEW_DISC));
    const QString image =
        chooseFile(mainWindow, loadLangString(IDS_CHOOSE_IMAGE), loadLangString(IDS_IMAGE_FILTER));
    if (image.isEmpty())
        return;
    finishNewDisc(indexImageFile(QFile::encodeName(image).toStdString(), -1));
}

VolumeInformation folderVolume(const std::string& folder) {
    const std::string root = folderRoot(folder);
    VolumeInformation volume;
    if (getDriveType(root) == DRIVE_NO_ROOT_DIR || !getVolumeInformation(root, volume))
        volume = VolumeInformation{};
    if (volume.label.empty()) {
        const std::string path = withoutSlash(folder);
        volume.label = path.substr(path.rfind('/') + 1);
    }
    return volume;
}

VolumeInformation imageVolume(const std::string& image) {
    VolumeInformation volume;
    if (const std::optional<ProbedVolume> probed = probeVolume(image)) {
        volume.label = probed->label;
        volume.serial = probed->serial;
        volume.fileSystemName = probed->fileSystem;
    }
    if (volume.label.empty()) {
        std::string name = image.substr(image.rfind('/') + 1);
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0)
            name.erase(dot);
        volume.label = name;
    }
    return volume;
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
    for (const char* format : {SQL_DELETE_DISC_ENTRIES, SQL_DELETE_DISC}) {
        if (!runCatalogueStatement(composeStatement(format, {}, discId).c_str())) {
            showMySqlError(mainWindow);
            return;
        }
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
