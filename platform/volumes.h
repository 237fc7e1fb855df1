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
    std::string uuid{}; // the file system's UUID as blkid gives it; empty when it has none
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
// out) and optical drives without a medium, in mount point order (the roots sorted by their
// bytes). Each root ends with '/'. An optical drive whose device is not mounted has the root
// "/dev/<name>/" (e.g. "/dev/sr0/"): a stable name that no walk can enter.
std::vector<std::string> logicalDrives();

// The type of the drive at `root` (a root from logicalDrives, or any mount point; the final
// '/' may be left out). DRIVE_NO_ROOT_DIR for a path that is not a mounted root.
DriveType getDriveType(const std::string& root);

// The volume in the drive at `root`; false when it cannot be read (an optical drive without a
// medium, a root that is not mounted, a mount that cannot be looked at). `info` is reset first.
bool getVolumeInformation(const std::string& root, VolumeInformation& info);

// Where the drive functions read the system. Tests point them at files of their own.
struct SystemPaths {
    std::string mountinfo = "/proc/self/mountinfo"; // mount table, mountinfo format
    std::string sysfs = "/sys";                     // sysfs tree (block devices)
};

// One mount, or one optical drive without a mounted medium, as the drive functions see it.
struct MountedDrive {
    std::string root;       // mount point and '/'; "/dev/<name>/" for an unmounted optical drive
    std::string mountPoint; // as the table gives it (unescaped); empty for an unmounted drive
    std::string fileSystem; // mount type: "ext4", "iso9660", "fuse.fuseiso"; empty if unmounted
    std::string source;     // mount source: a device, "server:/share", "fuseiso"
    std::string options;    // the file system's own options ("rw,user_id=0,group_id=0")
    dev_t device = 0;       // device number of the mount, or of the unmounted drive
    DriveType type = DRIVE_UNKNOWN;
    bool listed = false;       // a drive of logicalDrives: not a pseudo or system mount
    std::uint64_t mountId = 0; // the mount's id (as statx reports it); 0 for an unmounted drive
};

// The reachable mounts of `paths.mountinfo` (only the topmost at a mount point; none hidden
// beneath an over-mounted folder), then the optical drives of `paths.sysfs` whose device is
// not mounted, sorted by root. Empty when the table cannot be read.
std::vector<MountedDrive> readMountTable(const SystemPaths& paths = {});

// What a device or an image file holds, read with libblkid and, for ISO 9660, from its own
// volume descriptors.
struct ProbedVolume {
    std::string fileSystem; // blkid's TYPE: "iso9660", "udf", "vfat", "ext4", ...
    std::string label;      // blkid's LABEL (the Joliet label where blkid prefers it)
    std::string uuid;       // blkid's UUID; empty when the file system has none
    std::uint32_t serial = 0;
    bool joliet = false;           // an ISO 9660 volume with a Joliet (UTF-16 names) descriptor
    std::uint64_t volumeBytes = 0; // the ISO 9660 volume's size as its descriptor gives it; 0
                                   // when unknown (an image shorter than this is cut short)
};

// Probes the device or image file at `path`. nullopt when it cannot be opened (no medium, no
// read permission) or holds no file system that blkid knows.
std::optional<ProbedVolume> probeVolume(const std::string& path);

// The serial number Windows (NT family) gives a CD-ROM: the 2048 bytes of the volume
// descriptor at sector 16 are summed into four byte lanes (byte i into lane i % 4, each lane
// modulo 256, no carry between lanes), and lane 0 is the most significant byte of the result.
std::uint32_t cdromSerial(const unsigned char* descriptor);

// The serial number of a volume of blkid type `fileSystem` from its blkid UUID: FAT and exFAT
// "ABCD-1234" give 0xABCD1234, NTFS's 64-bit serial its low 32 bits, any other UUID its first
// four bytes. 0 when the UUID holds fewer than eight hexadecimal digits.
std::uint32_t serialFromUuid(const std::string& fileSystem, const std::string& uuid);

// The image file behind the FUSE ISO mount `drive`, from the mounting user's ~/.mtab.fuseiso
// or from the command line of the fuseiso process. Empty when it cannot be found.
std::string fuseIsoImage(const MountedDrive& drive);

// The UUID of the file system that holds `path` (a folder or a file below any mount point):
// the mount's volume as getVolumeInformation reads it, with the replacement table the drive
// whose root holds `path`. Empty when unknown (no such mount, a file system without UUID, a
// device that cannot be read and that the system's /dev/disk/by-uuid does not name).
std::string fileSystemUuid(const std::string& path);

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
    bool regular = false;   // a regular file: not a directory, link, FIFO, socket or device
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
    // another file system or mount (a mount point below the volume's root, a bind mount
    // included, opens as invalid). A name that is empty, "." or "..", or holds '/' or a NUL
    // byte, opens as invalid. `error`, when given, receives why an invalid one could not be
    // opened: the system's error number (EACCES, ENOENT, EMFILE...), or 0 when it was left
    // unopened on purpose (another file system or mount, a name refused as above).
    Directory child(const std::string& name, int* error = nullptr) const;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    dev_t device() const { return device_; }
    ino_t inode() const { return inode_; }

private:
    int fd_ = -1;
    dev_t device_ = 0;
    ino_t inode_ = 0;
    std::uint64_t mountId_ = 0; // the mount's id (statx); 0 when the kernel does not tell
};

// The directories of a walk, from its root down to the one being walked, holding a bounded
// number of descriptors however deep the tree goes: below depth HELD a directory gives up its
// descriptor while its subdirectories are walked, and is opened again (from the nearest
// directory above it that kept one, checked to be the very same directory) when it is needed
// again. A walk thus never runs into the process's limit of open descriptors.
class DirectoryPath {
public:
    static constexpr std::size_t HELD = 64;

    // Starts at `root` (which should be valid).
    explicit DirectoryPath(Directory root);

    // Makes the subdirectory `name` of the current directory the current one. False when it
    // cannot be opened (nothing changes); `error` then says why, as Directory::child does.
    bool enter(const std::string& name, int& error);
    // Goes back to the directory above the current one (the root stays).
    void leave();
    // The current directory, opened again when it had given up its descriptor; invalid when it
    // can no longer be opened as the same directory (removed or replaced meanwhile).
    const Directory& current();
    // 0 at the root.
    std::size_t depth() const { return levels_.size() - 1; }

private:
    struct Level {
        std::string name; // in the directory above; empty for the root
        Directory dir;    // invalid while its descriptor is given up
        dev_t device = 0;
        ino_t inode = 0;
    };
    std::vector<Level> levels_;
};

// The entries of `dir`, "." and ".." left out, in the listing's order. With `details` false
// only `name` and `directory` are filled (no fstatat per entry: the counting passes). A
// directory that cannot be listed gives no entries; a read error part way gives the entries
// read until then. A mount point below the volume's root is listed as a directory (that
// child() will not open). An entry that vanishes before its fstatat keeps its name and the
// directory flag of the listing, with size 0 and no time. The Directory's own descriptor
// stays open and its position does not matter: every call lists from the start.
std::vector<DirectoryEntry> listDirectory(const Directory& dir, bool details = true);

} // namespace tvk
