#include "platform/volumes.h"

#include <blkid.h>
#include <libmount.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace tvk {

namespace {

// ---- Small file helpers ----

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// `path` is `place` itself or lies below it.
bool isAtOrBelow(const std::string& path, const std::string& place) {
    return path == place || startsWith(path, place + "/");
}

// The first line of a small file (sysfs attributes), without its trailing blanks; empty when
// the file cannot be read.
std::string readSmallFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    char buffer[256];
    const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (got <= 0)
        return {};
    std::string text(buffer, static_cast<size_t>(got));
    text = text.substr(0, text.find('\n'));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r' || text.back() == '\t'))
        text.pop_back();
    return text;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string orEmpty(const char* text) {
    return text ? std::string(text) : std::string();
}

// A root as the drive functions compare it: the path with exactly one final '/'.
std::string normalRoot(const std::string& path) {
    std::string root = path;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (root.empty())
        return {};
    if (root != "/")
        root += '/';
    return root;
}

// ---- Kinds of file systems ----

bool isFuseIsoType(const std::string& type) {
    static const char* const types[] = {"fuse.fuseiso", "fuse.fuseiso9660", "fuse.iso9660",
                                        "fuse.isofs", "fuseiso"};
    return std::any_of(std::begin(types), std::end(types),
                       [&](const char* known) { return type == known; });
}

bool isOpticalType(const std::string& type) {
    return type == "iso9660" || type == "udf" || isFuseIsoType(type);
}

bool isRamType(const std::string& type) {
    return type == "ramfs" || type == "tmpfs";
}

// Network file systems beyond libmount's own list, and the shares of a virtual machine's host,
// which behave as network drives.
bool isRemoteType(const std::string& type) {
    static const char* const types[] = {
        "nfs",      "nfs4",      "cifs",       "smb3",           "smbfs",         "9p",
        "virtiofs", "vboxsf",    "davfs",      "fuse.davfs",     "glusterfs",     "fuse.glusterfs",
        "ceph",     "fuse.ceph", "fuse.sshfs", "sshfs",          "fuse.rclone",   "fuse.s3fs",
        "afs",      "ncpfs",     "lustre",     "fuse.curlftpfs", "fuse.smbnetfs", "fuse.cephfs"};
    return std::any_of(std::begin(types), std::end(types),
                       [&](const char* known) { return type == known; });
}

// Local file systems that have no block device of their own to look at (anonymous device
// numbers): a container's root, ZFS datasets.
bool isLocalWithoutDeviceType(const std::string& type) {
    return type == "overlay" || type == "zfs" || type == "aufs" || type == "btrfs" ||
           type == "bcachefs";
}

// Pseudo file systems that libmount does not know as such.
bool isExtraPseudoType(const std::string& type) {
    return type == "fuse.portal" || type == "fuse.gvfsd-fuse" || type == "fuse.lxcfs" ||
           type == "fuse.snapfuse" || type == "rootfs";
}

// ---- Block devices in sysfs ----

// The sysfs folder of the whole disk that holds device `device` (a partition's parent), or
// empty when sysfs does not know it as a block device.
std::string diskFolder(const std::string& sysfs, dev_t device) {
    if (major(device) == 0)
        return {};
    const std::string link =
        sysfs + "/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    char resolved[PATH_MAX];
    if (!::realpath(link.c_str(), resolved))
        return {};
    std::string folder = resolved;
    if (fileExists(folder + "/partition"))
        folder = folder.substr(0, folder.rfind('/'));
    return folder;
}

std::string leafName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// An optical drive: named sr* by the kernel, or a SCSI device of type 5 (CD/DVD).
bool isOpticalDisk(const std::string& diskFolder) {
    return startsWith(leafName(diskFolder), "sr") ||
           readSmallFile(diskFolder + "/device/type") == "5";
}

// The device number that a "major:minor" text names; 0 when it names none.
dev_t parseDeviceNumber(const std::string& text) {
    unsigned maj = 0, min = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u:%u%c", &maj, &min, &extra) != 2)
        return 0;
    return makedev(maj, min);
}

// The device number of the block device a mount comes from: the table's own number, or, for
// file systems that show an anonymous one (btrfs, fuseblk), the device node of the source.
dev_t blockDeviceOf(const std::string& source, dev_t device) {
    if (major(device) != 0)
        return device;
    struct stat st {};
    if (startsWith(source, "/dev/") && ::stat(source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        return st.st_rdev;
    return 0;
}

// ---- The mount table ----

DriveType classify(const std::string& type, const std::string& source, dev_t device,
                   const std::string& sysfs, bool netfs) {
    if (isOpticalType(type))
        return DRIVE_CDROM;
    const std::string disk = diskFolder(sysfs, blockDeviceOf(source, device));
    if (!disk.empty() && isOpticalDisk(disk))
        return DRIVE_CDROM;
    if (netfs || isRemoteType(type))
        return DRIVE_REMOTE;
    if (isRamType(type))
        return DRIVE_RAMDISK;
    if (!disk.empty())
        return readSmallFile(disk + "/removable") == "1" ? DRIVE_REMOVABLE : DRIVE_FIXED;
    if (isLocalWithoutDeviceType(type))
        return DRIVE_FIXED;
    return DRIVE_UNKNOWN;
}

// Places of the system's own mounts; /run/media holds the user's removable media.
bool isSystemPlace(const std::string& target) {
    if (isAtOrBelow(target, "/run/media") && target != "/run/media")
        return false;
    static const char* const places[] = {"/proc", "/sys",  "/dev",          "/run",
                                         "/boot", "/snap", "/var/lib/snapd"};
    return std::any_of(std::begin(places), std::end(places),
                       [&](const char* place) { return isAtOrBelow(target, place); });
}

// Places where a user mounts a volume on purpose: a RAM disk there is a drive.
bool isUserMediaPlace(const std::string& target) {
    return startsWith(target, "/mnt/") || startsWith(target, "/media/") ||
           startsWith(target, "/run/media/");
}

// Whether a mount is one of the drives: "/" always; system places never; tmpfs and ramfs at
// the user's media places only; pseudo file systems never; a bind mount of a single file never
// (looked at only for local mounts, so that a network server that does not answer cannot
// block the drive list).
bool isListed(const std::string& target, const std::string& type, bool pseudo, bool netfs) {
    if (target == "/")
        return true;
    if (isSystemPlace(target))
        return false;
    if (isRamType(type))
        return isUserMediaPlace(target);
    if (type == "virtiofs")
        return true;
    if (pseudo || isExtraPseudoType(type))
        return false;
    if (!netfs && !isRemoteType(type)) {
        struct stat st {};
        if (::fstatat(AT_FDCWD, target.c_str(), &st, AT_NO_AUTOMOUNT) == 0 && !S_ISDIR(st.st_mode))
            return false;
    }
    return true;
}

struct TableRow {
    int id = 0;
    int parent = 0;
    MountedDrive drive;
    bool pseudo = false;
    bool netfs = false;
};

std::vector<TableRow> readRows(const std::string& mountinfo) {
    std::vector<TableRow> rows;
    libmnt_table* table = mnt_new_table_from_file(mountinfo.c_str());
    if (!table)
        return rows;
    libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
    libmnt_fs* fs = nullptr;
    while (iter && mnt_table_next_fs(table, iter, &fs) == 0) {
        TableRow row;
        row.id = mnt_fs_get_id(fs);
        row.parent = mnt_fs_get_parent_id(fs);
        row.drive.mountPoint = orEmpty(mnt_fs_get_target(fs));
        row.drive.fileSystem = orEmpty(mnt_fs_get_fstype(fs));
        row.drive.source = orEmpty(mnt_fs_get_source(fs));
        row.drive.options = orEmpty(mnt_fs_get_fs_options(fs));
        row.drive.device = mnt_fs_get_devno(fs);
        row.drive.mountId = static_cast<std::uint64_t>(std::max(row.id, 0));
        row.pseudo = mnt_fs_is_pseudofs(fs);
        row.netfs = mnt_fs_is_netfs(fs);
        if (!row.drive.mountPoint.empty() && row.drive.mountPoint[0] == '/')
            rows.push_back(std::move(row));
    }
    mnt_free_iter(iter);
    mnt_unref_table(table);
    return rows;
}

// Marks the rows that can be reached: the topmost mount at its mount point, standing on a
// mount that can be reached (or outside the table: the root). An over-mounted folder hides
// the mounts below it.
std::vector<bool> reachableRows(const std::vector<TableRow>& rows) {
    std::map<int, size_t> byId;
    for (size_t i = 0; i < rows.size(); ++i)
        byId.emplace(rows[i].id, i);
    // A mount is covered when another mount at the same point sits on it.
    std::vector<bool> covered(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) {
        const auto parent = byId.find(rows[i].parent);
        if (parent != byId.end() && parent->second != i &&
            rows[parent->second].drive.mountPoint == rows[i].drive.mountPoint)
            covered[parent->second] = true;
    }
    // A mount stands on its parent: stacked on it at the same point, or on a folder of it.
    // It is anchored when the mount it stands on can be reached (or is outside the table).
    enum State { Unknown, Visiting, Yes, No };
    std::vector<State> state(rows.size(), Unknown);
    auto anchored = [&](auto&& self, size_t i) -> bool {
        if (state[i] == Yes || state[i] == No)
            return state[i] == Yes;
        if (state[i] == Visiting) // a loop of parents in a broken table
            return false;
        state[i] = Visiting;
        bool result = true;
        const auto parent = byId.find(rows[i].parent);
        if (parent != byId.end() && parent->second != i) {
            const size_t p = parent->second;
            const bool stacked = rows[p].drive.mountPoint == rows[i].drive.mountPoint;
            result = (stacked || !covered[p]) && self(self, p);
        }
        state[i] = result ? Yes : No;
        return result;
    };
    std::vector<bool> result(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        result[i] = !covered[i] && anchored(anchored, i);
    return result;
}

// Optical drives of sysfs whose device number no mount of the table uses.
void addUnmountedOpticalDrives(const SystemPaths& paths, const std::vector<TableRow>& rows,
                               std::vector<MountedDrive>& drives) {
    DIR* dir = ::opendir((paths.sysfs + "/block").c_str());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const std::string folder = paths.sysfs + "/block/" + name;
        if (!isOpticalDisk(folder))
            continue;
        const dev_t device = parseDeviceNumber(readSmallFile(folder + "/dev"));
        const bool mounted = std::any_of(rows.begin(), rows.end(), [&](const TableRow& row) {
            return blockDeviceOf(row.drive.source, row.drive.device) == device;
        });
        if (device == 0 || mounted)
            continue;
        MountedDrive drive;
        drive.root = "/dev/" + name + "/";
        drive.device = device;
        drive.type = DRIVE_CDROM;
        drive.listed = true;
        drives.push_back(std::move(drive));
    }
    ::closedir(dir);
}

} // namespace

std::vector<MountedDrive> readMountTable(const SystemPaths& paths) {
    std::vector<TableRow> rows = readRows(paths.mountinfo);
    const std::vector<bool> reachable = reachableRows(rows);
    std::vector<MountedDrive> drives;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!reachable[i])
            continue;
        MountedDrive drive = rows[i].drive;
        drive.root = normalRoot(drive.mountPoint);
        drive.type =
            classify(drive.fileSystem, drive.source, drive.device, paths.sysfs, rows[i].netfs);
        drive.listed = isListed(drive.mountPoint, drive.fileSystem, rows[i].pseudo, rows[i].netfs);
        drives.push_back(std::move(drive));
    }
    if (!rows.empty())
        addUnmountedOpticalDrives(paths, rows, drives);
    std::sort(drives.begin(), drives.end(),
              [](const MountedDrive& a, const MountedDrive& b) { return a.root < b.root; });
    return drives;
}

// ---- Serial numbers ----

std::uint32_t cdromSerial(const unsigned char* descriptor) {
    unsigned char lanes[4] = {0, 0, 0, 0};
    for (int i = 0; i < 2048; ++i)
        lanes[i % 4] = static_cast<unsigned char>(lanes[i % 4] + descriptor[i]);
    return std::uint32_t(lanes[0]) << 24 | std::uint32_t(lanes[1]) << 16 |
           std::uint32_t(lanes[2]) << 8 | std::uint32_t(lanes[3]);
}

std::uint32_t serialFromUuid(const std::string& fileSystem, const std::string& uuid) {
    std::string digits;
    for (char c : uuid)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c != '-')
            return 0;
    if (digits.size() < 8)
        return 0;
    // NTFS's serial is 64 bits, shown most significant digit first; Windows keeps the low half.
    if (fileSystem == "ntfs" && digits.size() == 16)
        digits = digits.substr(8);
    return static_cast<std::uint32_t>(std::stoul(digits.substr(0, 8), nullptr, 16));
}

namespace {

constexpr off_t kSectorSize = 2048;
constexpr off_t kFirstDescriptor = 16 * kSectorSize;
constexpr int kMaxDescriptors = 64; // more than any real disc holds; bounds a hostile image

// Reads the 2048-byte sector `index` of the open volume; false on a short read.
bool readSector(int fd, off_t index, unsigned char (&sector)[2048]) {
    const ssize_t got = ::pread(fd, sector, sizeof sector, index * kSectorSize);
    return got == static_cast<ssize_t>(sizeof sector);
}

bool isIsoDescriptor(const unsigned char (&sector)[2048]) {
    return std::memcmp(sector + 1, "CD001", 5) == 0;
}

// A supplementary volume descriptor whose escape sequence names UCS-2 (Joliet levels 1-3).
bool isJolietDescriptor(const unsigned char (&sector)[2048]) {
    if (sector[0] != 2 || !isIsoDescriptor(sector))
        return false;
    const unsigned char* escape = sector + 88;
    return escape[0] == '%' && escape[1] == '/' &&
           (escape[2] == '@' || escape[2] == 'C' || escape[2] == 'E');
}

// The ISO 9660 side of a volume: the CD-ROM serial and the volume's size from its primary
// descriptor, and whether a Joliet descriptor follows. False when sector 16 holds no ISO 9660
// descriptor (pure UDF).
bool readIsoDescriptors(const std::string& path, std::uint32_t& serial, bool& joliet,
                        std::uint64_t& volumeBytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char sector[2048];
    bool iso = readSector(fd, kFirstDescriptor / kSectorSize, sector) && isIsoDescriptor(sector);
    if (iso) {
        serial = cdromSerial(sector);
        // Both-endian fields: the volume space size in blocks (bytes 80..83, little-endian
        // first) and the logical block size (bytes 128..129).
        const std::uint64_t blocks = std::uint64_t(sector[80]) | std::uint64_t(sector[81]) << 8 |
                                     std::uint64_t(sector[82]) << 16 |
                                     std::uint64_t(sector[83]) << 24;
        const std::uint64_t blockSize = std::uint64_t(sector[128]) | std::uint64_t(sector[129])
                                                                         << 8;
        volumeBytes = blocks * blockSize;
        for (int i = 1; i < kMaxDescriptors && !joliet; ++i) {
            if (!readSector(fd, kFirstDescriptor / kSectorSize + i, sector) ||
                !isIsoDescriptor(sector) || sector[0] == 255)
                break;
            joliet = isJolietDescriptor(sector);
        }
    }
    ::close(fd);
    return iso;
}

std::string probeValue(blkid_probe probe, const char* name) {
    const char* data = nullptr;
    size_t size = 0;
    if (blkid_probe_lookup_value(probe, name, &data, &size) != 0 || !data)
        return {};
    return std::string(data, strnlen(data, size));
}

} // namespace

std::optional<ProbedVolume> probeVolume(const std::string& path) {
    blkid_probe probe = blkid_new_probe_from_filename(path.c_str());
    if (!probe)
        return std::nullopt;
    blkid_probe_enable_superblocks(probe, 1);
    blkid_probe_set_superblocks_flags(probe,
                                      BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE);
    std::optional<ProbedVolume> volume;
    if (blkid_do_safeprobe(probe) == 0) {
        volume.emplace();
        volume->fileSystem = probeValue(probe, "TYPE");
        volume->label = probeValue(probe, "LABEL");
        const std::string uuid = probeValue(probe, "UUID");
        volume->uuid = uuid;
        const bool optical = volume->fileSystem == "iso9660" || volume->fileSystem == "udf";
        if (!optical ||
            !readIsoDescriptors(path, volume->serial, volume->joliet, volume->volumeBytes))
            volume->serial = serialFromUuid(volume->fileSystem, uuid);
    }
    blkid_free_probe(probe);
    return volume;
}

namespace {

// ---- The image behind a FUSE ISO mount ----

// The value of `name` in a mount's option text ("rw,user_id=1000" gives "1000" for user_id).
std::string optionValue(const std::string& options, const char* name) {
    char* value = nullptr;
    size_t size = 0;
    if (mnt_optstr_get_option(options.c_str(), name, &value, &size) != 0 || !value)
        return {};
    return std::string(value, size);
}

// The home folders where fuseiso may have noted its mounts: the mounting user's, then ours.
std::vector<std::string> fuseIsoHomes(const MountedDrive& drive) {
    std::vector<std::string> homes;
    const std::string user = optionValue(drive.options, "user_id");
    if (!user.empty()) {
        char* end = nullptr;
        const unsigned long uid = std::strtoul(user.c_str(), &end, 10);
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (*end == 0 &&
            ::getpwuid_r(static_cast<uid_t>(uid), &entry, buffer, sizeof buffer, &found) == 0 &&
            found && found->pw_dir)
            homes.push_back(found->pw_dir);
    }
    if (const char* home = std::getenv("HOME"); home && *home)
        homes.push_back(home);
    return homes;
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// fuseiso notes "image mountpoint fuseiso options 0 0" lines (fstab format) in
// ~/.mtab.fuseiso; the last line for the mount point that names an existing file wins.
std::string imageFromFuseIsoMtab(const std::string& file, const std::string& mountPoint) {
    std::string image;
    libmnt_table* table = mnt_new_table();
    if (table && mnt_table_parse_fstab(table, file.c_str()) == 0) {
        libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
        libmnt_fs* fs = nullptr;
        while (iter && mnt_table_next_fs(table, iter, &fs) == 0) {
            const std::string source = orEmpty(mnt_fs_get_source(fs));
            if (orEmpty(mnt_fs_get_target(fs)) == mountPoint && isRegularFile(source))
                image = source;
        }
        mnt_free_iter(iter);
    }
    mnt_unref_table(table);
    return image;
}

// The arguments of process `pid` (NUL-separated in /proc/<pid>/cmdline).
std::vector<std::string> processArguments(const std::string& pid) {
    std::vector<std::string> arguments;
    const int fd = ::open(("/proc/" + pid + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return arguments;
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0 && text.size() < (1u << 20))
        text.append(buffer, static_cast<size_t>(got));
    ::close(fd);
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\0', start);
        arguments.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return arguments;
}

// A running "fuseiso [options] image mountpoint" whose mount point is `mountPoint`. Only
// absolute paths are trusted: the daemon runs in "/", so relative ones cannot be resolved.
std::string imageFromFuseIsoProcess(const std::string& mountPoint) {
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return {};
    std::string image;
    while (const dirent* entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        const std::vector<std::string> arguments = processArguments(pid);
        if (arguments.empty() || leafName(arguments[0]) != "fuseiso")
            continue;
        // "-c charset" and "-o options" take a value; the other options stand alone.
        std::vector<std::string> operands;
        for (size_t i = 1; i < arguments.size(); ++i)
            if (arguments[i] == "-c" || arguments[i] == "-o")
                ++i;
            else if (!startsWith(arguments[i], "-"))
                operands.push_back(arguments[i]);
        if (operands.size() >= 2 && operands[1] == mountPoint && startsWith(operands[0], "/") &&
            isRegularFile(operands[0])) {
            image = operands[0];
            break;
        }
    }
    ::closedir(proc);
    return image;
}

} // namespace

std::string fuseIsoImage(const MountedDrive& drive) {
    if (!isFuseIsoType(drive.fileSystem) || drive.mountPoint.empty())
        return {};
    for (const std::string& home : fuseIsoHomes(drive)) {
        std::string image = imageFromFuseIsoMtab(home + "/.mtab.fuseiso", drive.mountPoint);
        if (!image.empty())
            return image;
    }
    return imageFromFuseIsoProcess(drive.mountPoint);
}

namespace {

// ---- Volume information of a real mount ----

// The file that holds the mount's file system: its block device (when the node in /dev is
// the one the table names) or the image of a FUSE ISO mount.
std::string volumeFile(const MountedDrive& drive) {
    if (isFuseIsoType(drive.fileSystem))
        return fuseIsoImage(drive);
    struct stat st {};
    if (!startsWith(drive.source, "/") || ::stat(drive.source.c_str(), &st) != 0 ||
        !S_ISBLK(st.st_mode))
        return {};
    if (major(drive.device) != 0 && st.st_rdev != drive.device)
        return {};
    return drive.source;
}

// Windows flags for a file system of type `type` (blkid's type where the volume could be
// probed, else the mount's). Names on POSIX file systems are case-sensitive and kept as
// written; FAT and exFAT compare without case; UTF-16 names on disk mark Unicode.
std::uint32_t fileSystemFlags(const std::string& type, bool joliet, bool readOnly) {
    std::uint32_t flags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES;
    if (type == "vfat" || type == "exfat")
        flags = FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    else if (type == "msdos")
        flags = 0;
    else if (type == "ntfs" || type == "ntfs3")
        flags |= FILE_UNICODE_ON_DISK | FILE_PERSISTENT_ACLS;
    else if (type == "udf" || (type == "iso9660" && joliet))
        flags |= FILE_UNICODE_ON_DISK;
    // An ISO 9660 file system cannot be written, whatever the mount says.
    if (readOnly || type == "iso9660")
        flags |= FILE_READ_ONLY_VOLUME;
    return flags;
}

// The UUID under which the system names block device `device` in /dev/disk/by-uuid (udev
// makes these links readable by every user, where the device itself is not). Empty when none.
std::string uuidFromDiskLinks(dev_t device) {
    if (major(device) == 0)
        return {};
    DIR* dir = ::opendir("/dev/disk/by-uuid");
    if (!dir)
        return {};
    std::string uuid;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (entry->d_name[0] != '.' && ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0 &&
            S_ISBLK(st.st_mode) && st.st_rdev == device) {
            uuid = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return uuid;
}

bool volumeInformationOf(const MountedDrive& drive, VolumeInformation& info) {
    if (drive.mountPoint.empty())
        return false;
    struct statvfs vfs {};
    if (::statvfs(drive.mountPoint.c_str(), &vfs) != 0)
        return false;
    info.fileSystemName = drive.fileSystem;
    info.maxComponentLength = static_cast<std::uint32_t>(vfs.f_namemax);
    std::string type = isFuseIsoType(drive.fileSystem) ? "iso9660" : drive.fileSystem;
    const std::string file = volumeFile(drive);
    const std::optional<ProbedVolume> probed = file.empty() ? std::nullopt : probeVolume(file);
    if (probed) {
        info.label = probed->label;
        info.serial = probed->serial;
        info.uuid = probed->uuid;
        if (!probed->fileSystem.empty())
            type = probed->fileSystem;
    } else {
        info.label = drive.mountPoint == "/" ? std::string() : leafName(drive.mountPoint);
    }
    if (info.uuid.empty())
        info.uuid = uuidFromDiskLinks(blockDeviceOf(drive.source, drive.device));
    info.fileSystemFlags =
        fileSystemFlags(type, probed && probed->joliet, (vfs.f_flag & ST_RDONLY) != 0);
    return true;
}

// ---- The replacement table ----

std::optional<std::vector<FakeDrive>>& fakeTable() {
    static std::optional<std::vector<FakeDrive>> table;
    return table;
}

const FakeDrive* findFake(const std::string& root) {
    const std::string wanted = normalRoot(root);
    for (const FakeDrive& drive : *fakeTable())
        if (drive.root == root || normalRoot(drive.root) == wanted)
            return &drive;
    return nullptr;
}

// The mount at `root` in the real table, or nullopt.
std::optional<MountedDrive> findMounted(const std::string& root) {
    const std::string wanted = normalRoot(root);
    if (wanted.empty())
        return std::nullopt;
    for (MountedDrive& drive : readMountTable())
        if (drive.root == wanted)
            return std::move(drive);
    return std::nullopt;
}

} // namespace

void setDriveTable(std::optional<std::vector<FakeDrive>> table) {
    fakeTable() = std::move(table);
}

std::vector<std::string> logicalDrives() {
    std::vector<std::string> roots;
    if (fakeTable()) {
        for (const FakeDrive& drive : *fakeTable())
            roots.push_back(drive.root);
        return roots;
    }
    for (const MountedDrive& drive : readMountTable())
        if (drive.listed)
            roots.push_back(drive.root);
    return roots;
}

DriveType getDriveType(const std::string& root) {
    if (fakeTable()) {
        const FakeDrive* drive = findFake(root);
        return drive ? drive->type : DRIVE_NO_ROOT_DIR;
    }
    const std::optional<MountedDrive> drive = findMounted(root);
    return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

bool getVolumeInformation(const std::string& root, VolumeInformation& info) {
    info = VolumeInformation{};
    if (fakeTable()) {
        const FakeDrive* drive = findFake(root);
        if (!drive || !drive->volume)
            return false;
        info = *drive->volume;
        return true;
    }
    const std::optional<MountedDrive> drive = findMounted(root);
    return drive && volumeInformationOf(*drive, info);
}

std::string fileSystemUuid(const std::string& path) {
    if (fakeTable()) {
        // The drive whose root is the longest one above `path`.
        const FakeDrive* holder = nullptr;
        std::size_t longest = 0;
        const std::string wanted = normalRoot(path);
        for (const FakeDrive& drive : *fakeTable()) {
            const std::string root = normalRoot(drive.root);
            if (!root.empty() && (wanted == root || startsWith(wanted, root)) &&
                root.size() > longest) {
                holder = &drive;
                longest = root.size();
            }
        }
        return holder && holder->volume ? holder->volume->uuid : std::string();
    }
    struct statx stx {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_MNT_ID, &stx) != 0 ||
        !(stx.stx_mask & STATX_MNT_ID))
        return {};
    for (const MountedDrive& drive : readMountTable()) {
        VolumeInformation info;
        if (drive.mountId == stx.stx_mnt_id)
            return volumeInformationOf(drive, info) ? info.uuid : std::string();
    }
    return {};
}

// ---- Directory listing ----

namespace {

// The mount id of an open descriptor; 0 when the kernel does not report it.
std::uint64_t mountIdOf(int fd) {
    struct statx stx {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MNT_ID, &stx) != 0 || !(stx.stx_mask & STATX_MNT_ID))
        return 0;
    return stx.stx_mnt_id;
}

// A name that openat takes as one entry of the directory itself.
bool isPlainEntryName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// Fills the modification time of `entry` from `seconds`, in UTC; years outside 1000..9999
// and times that gmtime cannot convert leave hasTime false.
void setTime(DirectoryEntry& entry, time_t seconds) {
    struct tm fields {};
    if (!::gmtime_r(&seconds, &fields))
        return;
    const long long year = static_cast<long long>(fields.tm_year) + 1900;
    if (year < 1000 || year > 9999)
        return;
    entry.hasTime = true;
    entry.year = static_cast<int>(year);
    entry.month = fields.tm_mon + 1;
    entry.day = fields.tm_mday;
    entry.hour = fields.tm_hour;
    entry.minute = fields.tm_min;
    entry.second = fields.tm_sec;
}

DirectoryEntry describeEntry(int dirFd, const dirent& item, bool details) {
    DirectoryEntry entry;
    entry.name = item.d_name;
    entry.directory = item.d_type == DT_DIR;
    entry.regular = item.d_type == DT_REG;
    if (!details && item.d_type != DT_UNKNOWN)
        return entry;
    struct stat st {};
    if (::fstatat(dirFd, item.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return entry;
    entry.directory = S_ISDIR(st.st_mode);
    entry.regular = S_ISREG(st.st_mode);
    if (!details)
        return entry;
    entry.size = entry.directory ? 0 : static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
    setTime(entry, st.st_mtim.tv_sec);
    return entry;
}

} // namespace

Directory::~Directory() {
    if (fd_ >= 0)
        ::close(fd_);
}

Directory::Directory(Directory&& other) noexcept
    : fd_(other.fd_), device_(other.device_), inode_(other.inode_), mountId_(other.mountId_) {
    other.fd_ = -1;
}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.fd_;
        device_ = other.device_;
        inode_ = other.inode_;
        mountId_ = other.mountId_;
        other.fd_ = -1;
    }
    return *this;
}

Directory Directory::open(const std::string& path) {
    Directory dir;
    if (path.empty() || path.find('\0') != std::string::npos)
        return dir;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0)
        return dir;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return dir;
    }
    dir.fd_ = fd;
    dir.device_ = st.st_dev;
    dir.inode_ = st.st_ino;
    dir.mountId_ = mountIdOf(fd);
    return dir;
}

Directory Directory::child(const std::string& name, int* error) const {
    Directory dir;
    int failure = 0;
    if (fd_ >= 0 && isPlainEntryName(name)) {
        const int fd = ::openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        struct stat st {};
        if (fd < 0) {
            failure = errno;
        } else if (::fstat(fd, &st) != 0) {
            failure = errno;
            ::close(fd);
        } else {
            const std::uint64_t mountId = mountIdOf(fd);
            const bool otherMount = mountId != 0 && mountId_ != 0 && mountId != mountId_;
            if (st.st_dev != device_ || otherMount) {
                ::close(fd);
            } else {
                dir.fd_ = fd;
                dir.device_ = st.st_dev;
                dir.inode_ = st.st_ino;
                dir.mountId_ = mountId;
            }
        }
    }
    if (error)
        *error = failure;
    return dir;
}

DirectoryPath::DirectoryPath(Directory root) {
    Level level;
    level.device = root.device();
    level.inode = root.inode();
    level.dir = std::move(root);
    levels_.push_back(std::move(level));
}

bool DirectoryPath::enter(const std::string& name, int& error) {
    const Directory& parent = current();
    if (!parent.valid()) {
        error = ENOENT;
        return false;
    }
    Directory child = parent.child(name, &error);
    if (!child.valid())
        return false;
    // Past the levels that keep their descriptors, the parent gives up its own while its
    // subdirectory is walked.
    if (levels_.size() > HELD)
        levels_.back().dir = Directory();
    Level level;
    level.name = name;
    level.device = child.device();
    level.inode = child.inode();
    level.dir = std::move(child);
    levels_.push_back(std::move(level));
    return true;
}

void DirectoryPath::leave() {
    if (levels_.size() > 1)
        levels_.pop_back();
}

const Directory& DirectoryPath::current() {
    Level& deepest = levels_.back();
    if (deepest.dir.valid())
        return deepest.dir;
    // Down from the nearest level that kept its descriptor, one level at a time, each one
    // checked to be the directory it was: at most two descriptors more are open meanwhile.
    std::size_t kept = levels_.size() - 1;
    while (kept > 0 && !levels_[kept].dir.valid())
        --kept;
    Directory step;
    for (std::size_t i = kept + 1; i < levels_.size(); ++i) {
        const Directory& from = i == kept + 1 ? levels_[kept].dir : step;
        Directory next = from.child(levels_[i].name);
        if (!next.valid() || next.device() != levels_[i].device || next.inode() != levels_[i].inode)
            return deepest.dir; // still invalid
        step = std::move(next);
    }
    deepest.dir = std::move(step);
    return deepest.dir;
}

std::vector<DirectoryEntry> listDirectory(const Directory& dir, bool details) {
    std::vector<DirectoryEntry> entries;
    if (!dir.valid())
        return entries;
    // A second descriptor for the stream, so that closing it leaves the Directory's own open;
    // both share one position, hence the rewind.
    const int fd = ::fcntl(dir.fd(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0)
        return entries;
    DIR* stream = ::fdopendir(fd);
    if (!stream) {
        ::close(fd);
        return entries;
    }
    ::rewinddir(stream);
    for (;;) {
        errno = 0;
        const dirent* item = ::readdir(stream);
        if (!item)
            break; // the end, or a read error: the entries read so far stand
        if (std::strcmp(item->d_name, ".") == 0 || std::strcmp(item->d_name, "..") == 0)
            continue;
        entries.push_back(describeEntry(fd, *item, details));
    }
    ::closedir(stream);
    return entries;
}

} // namespace tvk
