#include "indexing/disc_commands.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "indexing/scanner.h"
#include "lang/resource.h"
#include "platform/messagebox.h"
#include "platform/text.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QMainWindow>
#include <QTreeWidget>

#include <cstdio>
#include <optional>

namespace tvk {

const char* const SQL_DELETE_DISC_FILES = "delete from fic_fichiers where fic_cd_id = %d";
const char* const SQL_DELETE_DISC = "delete from cd_disques_compact where cd_id = %d";

namespace {

// A string of the language module with its "%s" and "%d" filled by the C library's formatter.
template <typename... Args>
QString formatLangString(unsigned id, Args... args) {
    return QString::asprintf(loadLangString(id).toUtf8().constData(), args...);
}

QByteArray shown(const std::string& bytes) {
    return fromServerText(bytes).toUtf8();
}

// Offers the disc in the drive at `root` for a new disc (discId -1) or as the new contents of
// disc `discId`. Returns the result of the indexing dialog when it ran, or nothing when the
// user declined.
std::optional<int> offerDisc(const std::string& root, const VolumeInformation& volume, int discId) {
    const QByteArray label = shown(volume.label);
    const QByteArray letter = driveLetter(root).toUtf8();
    const QString question =
        discId == -1
            ? formatLangString(IDS_ASK_ADD_DISC, label.constData(), letter.constData())
            : formatLangString(IDS_ASK_UPDATE_DISC, discId, label.constData(), letter.constData());
    if (messageBox(mainWindow, question, loadLangString(IDS_DISC_READING),
                   MB_YESNO | MB_ICONQUESTION) != IDYES)
        return std::nullopt;
    return runIndexingDialog(IndexRequest{root, volume.label, discId});
}

// Tells the user the number to write on the new disc.
void showDiscNumber(int discId, const std::string& label) {
    const QByteArray name = shown(label);
    messageBox(mainWindow, formatLangString(IDS_WRITE_DISC_NUMBER, discId, name.constData()),
               loadLangString(IDS_DISC_IDENTIFICATION), MB_OK);
}

std::string statement(const char* format, int discId) {
    char text[128];
    std::snprintf(text, sizeof text, format, discId);
    return text;
}

} // namespace

QString driveLetter(const std::string& root) {
    std::string letter = root;
    if (letter.size() > 1 && letter.back() == '/')
        letter.pop_back();
    return fromServerText(letter);
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
    for (const std::string& root : logicalDrives()) {
        const DriveType type = getDriveType(root);
        VolumeInformation volume;
        const bool readable = type == DRIVE_CDROM && getVolumeInformation(root, volume);
        summary += driveLetter(root) + QLatin1Char(':') +
                   driveTypeText(type, readable ? &volume : nullptr);
        if (readable) {
            const std::optional<int> result = offerDisc(root, volume, discId);
            if (result && discId != -1) {
                // The update is made: the tree shows the disc again, and the scan ends here.
                refillCatalogueTree(mainWindow);
                selectDiscItem(mainWindow, discId);
                return;
            }
            if (result) {
                indexed = true;
                // A disc whose row could not be written (0) or renewed (-1) has no number.
                if (*result > 0) {
                    lastNewId = *result;
                    showDiscNumber(*result, volume.label);
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
    if (const TreeNodeData* data = treeNodeData(item))
        scanDrives(data->discId);
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
    for (const char* format : {SQL_DELETE_DISC_FILES, SQL_DELETE_DISC}) {
        if (!runCatalogueStatement(statement(format, discId).c_str())) {
            showMySqlError(mainWindow);
            return;
        }
    }
    enableCommand(CMD_UPDATE, false);
    enableCommand(CMD_DELETE, false);
    clearFileList(fileList);
    delete discItem;
    setStatusText(loadLangString(IDS_DISC_DELETING));
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
