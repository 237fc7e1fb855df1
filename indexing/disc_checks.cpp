#include "indexing/disc_checks.h"

#include "catalogue/connection.h"
#include "catalogue/fingerprints.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "lang/resource.h"

#include <sys/stat.h>

namespace tvk {

std::string withoutSlash(std::string root) {
    if (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return root;
}

std::string folderRoot(const std::string& folder) {
    const std::string path = withoutSlash(folder);
    return path == "/" ? path : path + "/";
}

bool folderHoldsNothing(const std::string& path) {
    const Directory dir = Directory::open(path);
    return !dir.valid() || listDirectory(dir, false).empty();
}

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

DiscSource describeSource(char kind, const std::string& path, const VolumeInformation& volume) {
    DiscSource source;
    source.kind = kind;
    source.path = path;
    source.host = thisHost();
    source.label = volume.label;
    source.serial = volume.serial;
    source.fileSystem = volume.fileSystemName;
    source.uuid = volume.uuid;
    if (kind == SOURCE_IMAGE)
        fileSizeAndDate(path, source.fileSize, source.fileDate);
    return source;
}

void recordSource(int discId, const DiscSource& read, const IndexSummary& summary) {
    if (discId <= 0 || summary.result <= 0)
        return;
    if (summary.writeFailed) {
        markDiscIncomplete(discId);
        return;
    }
    if (summary.imageRefused)
        return;
    DiscSource source = read;
    source.discId = discId;
    source.complete = summary.complete();
    recordDiscSource(source);
}

unsigned whyNotOffered(const DiscSource& source) {
    if (source.host != thisHost())
        return IDS_SOURCE_ON_OTHER_HOST;
    struct stat info {};
    const bool folder = source.kind == SOURCE_FOLDER;
    if (source.path.empty() || ::stat(source.path.c_str(), &info) != 0 ||
        (folder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)))
        return IDS_SOURCE_GONE;
    // The same volume still, not another one in its place: a USB stick unplugged leaves its
    // mount point behind as an empty folder of another name, which must not empty the disc.
    if (isAnotherDisc(source, folder ? folderVolume(source.path) : imageVolume(source.path)))
        return IDS_SOURCE_OTHER_VOLUME;
    return 0;
}

std::uint64_t entriesLostToEmptySource(int discId, bool sourceEmpty) {
    if (!sourceEmpty)
        return 0;
    return countDiscEntries(discId).value_or(0);
}

bool deleteDiscRows(int discId) {
    for (const char* format : {SQL_DELETE_DISC_ENTRIES, SQL_DELETE_DISC}) {
        if (!runCatalogueStatement(composeStatement(format, {}, discId).c_str()))
            return false;
    }
    // The disc's fingerprints after its rows, so that none outlives them.
    return removeDiscFingerprints(catalogueConnection, discId);
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
    // A folder below a mount point is told apart by the file system that holds it.
    if (volume.uuid.empty())
        volume.uuid = fileSystemUuid(folder);
    return volume;
}

VolumeInformation imageVolume(const std::string& image) {
    VolumeInformation volume;
    if (const std::optional<ProbedVolume> probed = probeVolume(image)) {
        volume.label = probed->label;
        volume.serial = probed->serial;
        volume.fileSystemName = probed->fileSystem;
        volume.uuid = probed->uuid;
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

} // namespace tvk
