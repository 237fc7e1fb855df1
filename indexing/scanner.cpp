#include "indexing/scanner.h"

#include "catalogue/connection.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "platform/utf8.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QMainWindow>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tvk {

const char* const SQL_INSERT_DISC =
    "insert into cd_disques_compact(cd_nom, cd_type) values('%s','D')";
const char* const SQL_DELETE_DISC_ENTRIES = "delete from fic_fichiers where fic_cd_id = %d";
const char* const SQL_DELETE_DISC = "delete from cd_disques_compact where cd_id = %d";
const char* const SQL_UPDATE_DISC =
    "update cd_disques_compact set cd_nom='%s', cd_type='D' where cd_id = %d";

bool indexingComplete = false;

namespace {

// The request of the indexing dialog that runs, from its creation until its work ends.
const IndexRequest* currentRequest = nullptr;

// Paths longer than this are handed to the archive library through the directory's descriptor
// ("/proc/self/fd/N/name"), which has no length limit of its own.
constexpr std::size_t ARCHIVE_PATH_MAX = 4000;

} // namespace

std::string composeStatement(const char* format, const std::string& text, int number) {
    std::string statement(std::string(format).size() + text.size() + 16, '\0');
    const int length =
        std::strstr(format, "%s")
            ? std::snprintf(statement.data(), statement.size(), format, text.c_str(), number)
            : std::snprintf(statement.data(), statement.size(), format, number);
    statement.resize(std::size_t(std::max(length, 0)));
    return statement;
}

namespace {

// Writes the disc's row: a new disc is inserted, an existing one loses its old entries and
// takes the new label. Returns the disc id, 0 when the row cannot be written (reported), -1
// when the old entries cannot be removed.
int writeDiscRow(const std::string& volumeName, int discId) {
    // The label cut first to what the disc name column holds.
    const std::string label = escapeCatalogueText(cutAtCharacter(volumeName, DISC_NAME_MAX));
    std::string statement;
    if (discId == -1) {
        statement = composeStatement(SQL_INSERT_DISC, label, 0);
    } else {
        if (!runCatalogueStatement(composeStatement(SQL_DELETE_DISC_ENTRIES, {}, discId).c_str()))
            return -1;
        statement = composeStatement(SQL_UPDATE_DISC, label, discId);
    }
    if (!runCatalogueStatement(statement.c_str())) {
        showMySqlError(mainWindow);
        return 0;
    }
    if (discId == -1)
        return static_cast<int>(static_cast<std::uint32_t>(mysql_insert_id(catalogueConnection)));
    return discId;
}

// The path of `name` in the directory `dir` whose path is `path`, as the archive library
// opens it.
std::string archivePath(const Directory& dir, const std::string& path, const std::string& name) {
    if (path.size() + name.size() <= ARCHIVE_PATH_MAX)
        return path + name;
    return "/proc/self/fd/" + std::to_string(dir.fd()) + "/" + name;
}

// The start of every indexing: the hourglass shown and the disc's row written. Returns the disc
// id, or 0 or -1 as writeDiscRow does, the hourglass then gone again.
int beginIndexing(const std::string& volumeName, int discId) {
    indexingComplete = false;
    pushCursor(waitCursor);
    const int id = catalogueConnection ? writeDiscRow(volumeName, discId) : 0;
    if (id <= 0)
        popCursor();
    return id;
}

// Removes a disc that was just made and could not be filled: its entries, then its row.
void removeDisc(int discId) {
    runCatalogueStatement(composeStatement(SQL_DELETE_DISC_ENTRIES, {}, discId).c_str());
    runCatalogueStatement(composeStatement(SQL_DELETE_DISC, {}, discId).c_str());
}

} // namespace

void showImageRefused(const std::string& imagePath, int failure) {
    const QByteArray name = QString::fromLocal8Bit(imagePath.c_str()).toUtf8();
    const QString text =
        loadLangString(failure == PARCOURE_DAMAGED ? IDS_DAMAGED_IMAGE : IDS_NOT_AN_IMAGE);
    messageBox(mainWindow, QString::asprintf(text.toUtf8().constData(), name.constData()),
               loadLangString(IDS_DISC_IMAGE), MB_OK | MB_ICONERROR);
}

int progressPosition(int counter, int total) {
    if (total <= 0)
        return 100;
    const long long position = static_cast<long long>(counter) * 100 / total;
    return static_cast<int>(std::clamp<long long>(position, 0, 100));
}

int runIndexingDialog(const IndexRequest& request) {
    return static_cast<int>(dialogBoxParam(langModule, IDD_INDEXING, mainWindow, indexingDialogProc,
                                           reinterpret_cast<std::intptr_t>(&request)));
}

bool indexingDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        currentRequest = reinterpret_cast<const IndexRequest*>(lParam);
        setTimer(dialog, INDEXING_TIMER_ID, 1);
        return true;
    }
    if (message != WM_TIMER || wParam != INDEXING_TIMER_ID)
        return false;
    // Killed first, so that the work runs once.
    killTimer(dialog, INDEXING_TIMER_ID);
    const IndexRequest* request = currentRequest;
    int result = -1;
    if (request)
        result = request->imagePath.empty()
                     ? indexVolume(request->rootPath, request->volumeName, request->discId,
                                   getDlgItem(dialog, IDC_PROGRESS))
                     : indexImage(request->imagePath, request->volumeName, request->discId,
                                  getDlgItem(dialog, IDC_PROGRESS));
    currentRequest = nullptr;
    endDialog(dialog, result);
    return true;
}

int indexVolume(const std::string& rootPath, const std::string& volumeName, int discId,
                QWidget* progressBar) {
    const int id = beginIndexing(volumeName, discId);
    if (id <= 0)
        return id;
    WalkProgress progress;
    progress.progressBar = progressBar;
    const Directory root = Directory::open(rootPath);
    if (root.valid()) {
        progress.progressLevel = chooseProgressLevel(root, progress.total);
        std::string path = rootPath;
        if (path.empty() || path.back() != '/')
            path += '/';
        walkDirectory(root, path, id, -1, 0, progress);
    }
    // The closing call sends what the writer holds; once it returns, every row is stored.
    if (storeEntry(nullptr, id, -1) <= 0 || progress.writeFailed)
        showMySqlError(mainWindow);
    else
        indexingComplete = true;
    popCursor();
    return id;
}

int indexImage(const std::string& imagePath, const std::string& volumeName, int discId,
               QWidget* progressBar) {
    const int id = beginIndexing(volumeName, discId);
    if (id <= 0)
        return id;
    pumpMessages();
    const int read = ParcoureArchive(imagePath.c_str(), id, -1, PARCOURE_WHOLE);
    setProgressPos(progressBar, 100);
    int result = id;
    if (read >= 0) {
        indexingComplete = true;
    } else if (read == PARCOURE_UNREADABLE && mysql_errno(catalogueConnection) != 0) {
        showMySqlError(mainWindow); // the writer failed; the disc stays, to be updated later
    } else {
        // The image changed since it was checked: a new disc leaves nothing behind.
        showImageRefused(imagePath, read);
        if (discId == -1) {
            removeDisc(id);
            result = 0;
        }
    }
    popCursor();
    return result;
}

int chooseProgressLevel(const Directory& root, int& total) {
    int level = 0;
    int previous = 0;
    for (;;) {
        const int count = countEntries(root, level, 0);
        if (count >= 100 || count <= previous) {
            total = count;
            return level;
        }
        previous = count;
        ++level;
    }
}

int countEntries(const Directory& dir, int maxDepth, int depth) {
    if (depth > maxDepth)
        return 0;
    int count = 0;
    for (const DirectoryEntry& entry : listDirectory(dir, false)) {
        ++count;
        if (entry.directory && depth < maxDepth)
            count += countEntries(dir.child(entry.name), maxDepth, depth + 1);
    }
    return count;
}

void walkDirectory(const Directory& dir, const std::string& path, int discId, int parentId,
                   int depth, WalkProgress& progress) {
    for (const DirectoryEntry& entry : listDirectory(dir, true)) {
        if (progress.writeFailed)
            return;
        indexEntry(entry, dir, path, discId, parentId, depth, progress);
    }
}

void indexEntry(const DirectoryEntry& entry, const Directory& dir, const std::string& path,
                int discId, int parentId, int depth, WalkProgress& progress) {
    if (entry.name == "." || entry.name == "..")
        return;
    const char type = entryType(entry);
    const int id = storeEntry(&entry, discId, parentId);
    if (depth <= progress.progressLevel) {
        ++progress.counter;
        setProgressPos(progress.progressBar, progressPosition(progress.counter, progress.total));
        pumpMessages();
    }
    if (id < 0) {
        // The writer has failed; nothing more of this walk can be stored.
        progress.writeFailed = true;
        return;
    }
    if (id == 0)
        return;
    if (type == ENTRY_DIRECTORY) {
        const Directory child = dir.child(entry.name);
        if (child.valid())
            walkDirectory(child, path + entry.name + '/', discId, id, depth + 1, progress);
    } else if (type == ENTRY_ARCHIVE) {
        ParcoureArchive(archivePath(dir, path, entry.name).c_str(), discId, id, 0);
    }
}

char entryType(const DirectoryEntry& entry) {
    if (entry.directory)
        return ENTRY_DIRECTORY;
    return isSupportedArchive(entry.name.c_str()) ? ENTRY_ARCHIVE : ENTRY_FILE;
}

int storeEntry(const DirectoryEntry* entry, int discId, int parentId) {
    if (!entry)
        return composeReqInsertion(nullptr, ENTRY_NONE, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    const bool dated = entry->hasTime;
    return composeReqInsertion(
        entry->name.c_str(), entryType(*entry), entry->size, dated ? entry->year : 0,
        dated ? entry->month : 0, dated ? entry->day : 0, dated ? entry->hour : 0,
        dated ? entry->minute : 0, dated ? entry->second : 0, discId, parentId);
}

} // namespace tvk
