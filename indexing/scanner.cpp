#include "indexing/scanner.h"

#include "catalogue/connection.h"
#include "catalogue/fingerprints.h"
#include "indexing/disc_sources.h"
#include "indexing/fingerprint.h"
#include "indexing/plg_api.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cerrno>
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

namespace {

// The archive library's callbacks while a walk reads archives: its progress goes to the
// walk's sink (whose "stop" it passes back), and each archive cut short to the summary.
int libraryProgress(void* context) {
    auto* progress = static_cast<WalkProgress*>(context);
    if (!progress->stopped && progress->sink && progress->sink->stopRequested(progress->stored))
        progress->stopped = true;
    return progress->stopped ? 1 : 0;
}

void libraryCutShort(void* context, const char* innerPath, int limit) {
    auto* progress = static_cast<WalkProgress*>(context);
    if (progress->summary)
        progress->summary->cutShort.push_back(
            CutShortArchive{progress->currentArchive, innerPath ? innerPath : "", limit});
}

// A file inside an archive whose contents could not be read: stored without a fingerprint.
void libraryUnreadable(void* context, const char* innerPath) {
    auto* progress = static_cast<WalkProgress*>(context);
    if (!progress->summary)
        return;
    std::string path = progress->currentArchive;
    if (innerPath && *innerPath)
        path += (path.empty() ? "" : "/") + std::string(innerPath);
    progress->summary->unreadFiles.push_back(path);
}

// Registers the callbacks, and the walk's fingerprinting, for the lifetime of the object.
class LibraryCallbacks {
public:
    explicit LibraryCallbacks(WalkProgress& progress) {
        const TvkPlgCallbacks callbacks{libraryProgress, libraryCutShort, &progress};
        taviskPlg_set_callbacks(&callbacks);
        taviskPlg_set_unreadable_callback(libraryUnreadable, &progress);
        taviskPlg_set_fingerprinting(progress.fingerprint ? 1 : 0);
    }
    ~LibraryCallbacks() {
        taviskPlg_set_fingerprinting(0);
        taviskPlg_set_unreadable_callback(nullptr, nullptr);
        taviskPlg_set_callbacks(nullptr);
    }
    LibraryCallbacks(const LibraryCallbacks&) = delete;
    LibraryCallbacks& operator=(const LibraryCallbacks&) = delete;
};

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
// takes the new label. Returns the disc id, 0 when the row cannot be written, -1 when the old
// entries cannot be removed (both reported).
int writeDiscRow(const std::string& volumeName, int discId, ProgressSink& sink) {
    // The label cut first to what the disc name column holds.
    const std::string label = escapeCatalogueText(cutAtCharacter(volumeName, DISC_NAME_MAX));
    std::string statement;
    if (discId == -1) {
        statement = composeStatement(SQL_INSERT_DISC, label, 0);
    } else {
        if (!runCatalogueStatement(composeStatement(SQL_DELETE_DISC_ENTRIES, {}, discId).c_str())) {
            // The update cannot start: said as any other write failure is.
            sink.catalogueFailed();
            return -1;
        }
        statement = composeStatement(SQL_UPDATE_DISC, label, discId);
    }
    if (!runCatalogueStatement(statement.c_str())) {
        sink.catalogueFailed();
        return 0;
    }
    // The old fingerprints go with the old entries, whose numbers the new ones take.
    if (discId != -1 && !removeDiscFingerprints(catalogueConnection, discId)) {
        sink.catalogueFailed();
        return -1;
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

// The start of every indexing: the summary emptied, the sink told that work begins and the
// disc's row written. Returns the disc id, or 0 or -1 as writeDiscRow does, the sink then told
// that the work is over.
int beginIndexing(const std::string& source, const std::string& volumeName, int discId,
                  ProgressSink& sink, IndexSummary& summary) {
    summary = IndexSummary{};
    summary.newDisc = discId == -1;
    summary.source = source;
    sink.busy(true);
    const int id = catalogueConnection ? writeDiscRow(volumeName, discId, sink) : 0;
    summary.result = id;
    if (id <= 0)
        sink.busy(false);
    return id;
}

// Removes a disc that was just made and could not be filled: its entries, then its row.
void removeDisc(int discId) {
    runCatalogueStatement(composeStatement(SQL_DELETE_DISC_ENTRIES, {}, discId).c_str());
    runCatalogueStatement(composeStatement(SQL_DELETE_DISC, {}, discId).c_str());
    removeDiscFingerprints(catalogueConnection, discId);
}

// The end of every indexing that wrote its disc row: a stopped new disc removed again, the
// entries counted, the sink told that the work is over. Returns the summary's result.
int endIndexing(int id, const WalkProgress& progress, ProgressSink& sink, IndexSummary& summary) {
    summary.stopped = progress.stopped;
    summary.writeFailed = summary.writeFailed || progress.writeFailed;
    if (summary.newDisc && (summary.stopped || summary.imageRefused)) {
        removeDisc(id);
        summary.result = 0;
    } else {
        summary.entries = countDiscEntries(id).value_or(progress.stored);
    }
    sink.busy(false);
    return summary.result;
}

// Whether a folder that `child` could not open was left out of the disc: not when it was
// another file system (left on purpose) or is no longer there.
bool leftOut(int error) {
    return error != 0 && error != ENOENT && error != ENOTDIR;
}

} // namespace

int progressPosition(int counter, int total) {
    if (total <= 0)
        return 100;
    const long long position = static_cast<long long>(counter) * 100 / total;
    return static_cast<int>(std::clamp<long long>(position, 0, 100));
}

int indexVolume(const std::string& rootPath, const std::string& volumeName, int discId,
                ProgressSink& sink, IndexSummary& summary, bool fingerprint) {
    std::string path = rootPath;
    if (path.empty() || path.back() != '/')
        path += '/';
    const int id = beginIndexing(path, volumeName, discId, sink, summary);
    if (id <= 0)
        return id;
    WalkProgress progress;
    progress.sink = &sink;
    progress.summary = &summary;
    progress.rootPath = path;
    progress.fingerprint = fingerprint;
    const LibraryCallbacks callbacks(progress);
    Directory root = Directory::open(rootPath);
    if (root.valid()) {
        progress.progressLevel = chooseProgressLevel(root, progress.total);
        DirectoryPath dirs(std::move(root));
        walkDirectory(dirs, path, id, -1, 0, progress);
    } else {
        summary.unopenedFolders.push_back(path);
    }
    // The closing call sends what the writer holds; once it returns, every row is stored.
    if (storeEntry(nullptr, id, -1) <= 0 || progress.writeFailed) {
        sink.catalogueFailed();
        summary.writeFailed = true;
    }
    return endIndexing(id, progress, sink, summary);
}

int indexImage(const std::string& imagePath, const std::string& volumeName, int discId,
               ProgressSink& sink, IndexSummary& summary, bool fingerprint) {
    const int id = beginIndexing(imagePath, volumeName, discId, sink, summary);
    if (id <= 0)
        return id;
    WalkProgress progress;
    progress.sink = &sink;
    progress.summary = &summary;
    progress.fingerprint = fingerprint;
    const LibraryCallbacks callbacks(progress);
    sink.counted(0, 0); // the window painted before the library's one long call
    const int read = ParcoureArchive(imagePath.c_str(), id, -1, PARCOURE_WHOLE);
    if (read > 0)
        progress.stored = std::uint64_t(read);
    sink.counted(100, progress.stored);
    if (read == PARCOURE_STOPPED || progress.stopped) {
        progress.stopped = true;
    } else if (read == PARCOURE_UNREADABLE && mysql_errno(catalogueConnection) != 0) {
        sink.catalogueFailed(); // the writer failed; the disc stays, to be updated later
        summary.writeFailed = true;
    } else if (read < 0) {
        // The image changed since it was checked: a new disc leaves nothing behind.
        sink.imageRefused(imagePath, read);
        summary.imageRefused = true;
    }
    return endIndexing(id, progress, sink, summary);
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

void walkDirectory(DirectoryPath& dirs, const std::string& path, int discId, int parentId,
                   int depth, WalkProgress& progress) {
    for (const DirectoryEntry& entry : listDirectory(dirs.current(), true)) {
        if (progress.writeFailed || progress.stopped)
            return;
        indexEntry(entry, dirs, path, discId, parentId, depth, progress);
    }
}

namespace {

// The contents of the directory entry `name` (stored as `id`) of the current directory.
void walkSubdirectory(const std::string& name, DirectoryPath& dirs, const std::string& path,
                      int discId, int id, int depth, WalkProgress& progress) {
    int error = 0;
    if (progress.sink)
        progress.sink->enteredFolder(path.substr(progress.rootPath.size()) + name, progress.bytes);
    if (dirs.enter(name, error)) {
        walkDirectory(dirs, path + name + '/', discId, id, depth + 1, progress);
        dirs.leave();
    } else if (leftOut(error) && progress.summary) {
        progress.summary->unopenedFolders.push_back(path.substr(progress.rootPath.size()) + name);
    }
}

// The contents of the archive `name` (stored as `id`) of the current directory, read by the
// library.
void readArchive(const std::string& name, DirectoryPath& dirs, const std::string& path, int discId,
                 int id, WalkProgress& progress) {
    progress.currentArchive = path.substr(progress.rootPath.size()) + name;
    const int read =
        ParcoureArchive(archivePath(dirs.current(), path, name).c_str(), discId, id, 0);
    if (read > 0)
        progress.stored += std::uint64_t(read);
    else if (read == PARCOURE_STOPPED)
        progress.stopped = true;
}

// Fingerprints the regular file `entry` of the current directory, stored as `id`, and keeps the
// fingerprint with the walk's rows; a file that cannot be read is named in the summary. The
// sink is asked between blocks whether to stop, and told the bytes read.
void fingerprintEntry(const DirectoryEntry& entry, DirectoryPath& dirs, const std::string& path,
                      int discId, int id, WalkProgress& progress) {
    const std::uint64_t before = progress.bytesHashed;
    const FileFingerprint read =
        fingerprintFileAt(dirs.current().fd(), entry.name, false, [&](std::uint64_t bytes) {
            progress.bytesHashed = before + bytes;
            if (!progress.sink)
                return true;
            progress.sink->bytesRead(progress.bytesHashed);
            return !progress.sink->stopRequested(progress.stored);
        });
    progress.bytesHashed = before + read.size;
    if (read.state == FileReadState::Stopped) {
        progress.stopped = true;
    } else if (read.state == FileReadState::Read) {
        if (taviskPlg_store_fingerprint(discId, id, read.size, read.hash.data()) < 0)
            progress.writeFailed = true;
        else if (progress.summary)
            ++progress.summary->fingerprinted;
    } else if (progress.summary) {
        progress.summary->unreadFiles.push_back(path.substr(progress.rootPath.size()) + entry.name);
    }
}

} // namespace

void indexEntry(const DirectoryEntry& entry, DirectoryPath& dirs, const std::string& path,
                int discId, int parentId, int depth, WalkProgress& progress) {
    if (entry.name == "." || entry.name == "..")
        return;
    if (progress.sink && progress.sink->stopRequested(progress.stored)) {
        progress.stopped = true;
        return;
    }
    const char type = entryType(entry);
    const int id = storeEntry(&entry, discId, parentId);
    if (id > 0) {
        ++progress.stored;
        if (type != ENTRY_DIRECTORY)
            progress.bytes += entry.size;
    }
    if (depth <= progress.progressLevel) {
        ++progress.counter;
        if (progress.sink)
            progress.sink->counted(progressPosition(progress.counter, progress.total),
                                   progress.stored);
    }
    if (id < 0) {
        // The writer has failed; nothing more of this walk can be stored.
        progress.writeFailed = true;
        return;
    }
    if (id == 0)
        return;
    if (progress.fingerprint && entry.regular)
        fingerprintEntry(entry, dirs, path, discId, id, progress);
    if (progress.stopped)
        return;
    if (type == ENTRY_DIRECTORY)
        walkSubdirectory(entry.name, dirs, path, discId, id, depth, progress);
    else if (type == ENTRY_ARCHIVE)
        readArchive(entry.name, dirs, path, discId, id, progress);
}

char entryType(const DirectoryEntry& entry) {
    if (entry.directory)
        return ENTRY_DIRECTORY;
    // Only a regular file is read as an archive: a link, a FIFO or a device so named is not.
    return entry.regular && isSupportedArchive(entry.name.c_str()) ? ENTRY_ARCHIVE : ENTRY_FILE;
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
