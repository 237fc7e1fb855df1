// Volumes and directory listing, standing in for the drive letters, drive types, volume
// information and directory enumeration the program was designed around. A "drive" is a
// mounted file system (or an optical drive without a medium); its "letter" is its mount point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tvk {

// Drive types, with the values the Windows drive-type query returns.
enum DriveType : unsigned {
    DRIVE_UNKNOWN = 0,     // type not determined
    DRIVE_NO_ROOT_DIR = 1, // no root directory
    DRIVE_REMOVABLE = 2,   // the disk's removable flag is set (USB sticks, card readers)
    DRIVE_FIXED = 3,       // any other block device
    DRIVE_REMOTE = 4,      // nfs, cifs/smb3, sshfs, 9p and the like
    DRIVE_CDROM = 5,       // an optical drive, an iso9660/udf file system, a FUSE ISO mount
    DRIVE_RAMDISK = 6,     // ramfs
};

// What the volume in a drive says of itself.
struct VolumeInformation {
    std::string label;                    // volume label (UTF-8 bytes); may be empty
    std::uint32_t serial = 0;             // volume serial number; 0 when unknown
    std::uint32_t maxComponentLength = 0; // longest name component (statvfs f_namemax)
    std::uint32_t fileSystemFlags = 0;    // FILE_* flags, Windows values
    std::string fileSystemName;           // "iso9660", "udf", "vfat", "ext4", ...
};

// Windows values of the file system flags.
enum FileSystemFlags : std::uint32_t {
    FILE_CASE_SENSITIVE_SEARCH = 0x00000001,
    FILE_CASE_PRESERVED_NAMES = 0x00000002,
    FILE_UNICODE_ON_DISK = 0x00000004,
    FILE_PERSISTENT_ACLS = 0x00000008,
    FILE_READ_ONLY_VOLUME = 0x00080000,
};

// The drives: the mount points of the mounted file systems (pseudo and system mounts left
// out) and optical drives without a medium, in mount point order. Each root ends with '/'.
std::vector<std::string> logicalDrives();

// The type of the drive at `root` (a root from logicalDrives, or any mount point).
DriveType getDriveType(const std::string& root);

// The volume in the drive at `root`; false when it cannot be read (an optical drive without a
// medium, a root that is not mounted).
bool getVolumeInformation(const std::string& root, VolumeInformation& info);

// A drive of a replacement drive table (tests). Without `volume` the drive has no readable
// medium.
struct FakeDrive {
    std::string root; // ends with '/'; may name any directory
    DriveType type = DRIVE_UNKNOWN;
    std::optional<VolumeInformation> volume;
};

// Replaces the drive table in this process: logicalDrives, getDriveType and
// getVolumeInformation answer from `table` in its order. nullopt goes back to the real one.
void setDriveTable(std::optional<std::vector<FakeDrive>> table);

// One entry of a directory listing. Symbolic links are never followed: a link is a plain
// file entry with the link's own size and time.
struct DirectoryEntry {
    std::string name;       // the bare name as the directory holds it (bytes)
    bool directory = false; // a directory (not a link to one)
    std::uint64_t size = 0; // bytes; 0 for a directory
    bool hasTime = false;   // false when the modification time cannot be shown as a date
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0; // modification time, UTC
};

// An open directory: a descriptor (the listing goes through openat/fdopendir/fstatat, so paths
// have no length limit). Move-only; closes its descriptor.
class Directory {
public:
    Directory() = default;
    ~Directory();
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens the directory at `path` (the volume's root; a link there is followed). An invalid
    // Directory when it cannot be opened.
    static Directory open(const std::string& path);
    // Opens the subdirectory `name` of this one, without following a link, and never onto
    // another file system (a mount point below the volume's root opens as invalid).
    Directory child(const std::string& name) const;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    dev_t device() const { return device_; }

private:
    int fd_ = -1;
    dev_t device_ = 0;
};

// The entries of `dir`, "." and ".." left out, in the listing's order. With `details` false
// only `name` and `directory` are filled (no fstatat per entry: the counting passes). A
// directory that cannot be listed gives no entries.
std::vector<DirectoryEntry> listDirectory(const Directory& dir, bool details = true);

} // namespace tvk
