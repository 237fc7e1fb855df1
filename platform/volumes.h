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
    bool listed = false; // a drive of logicalDrives: not a pseudo or system mount
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
    // another file system or mount (a mount point below the volume's root, a bind mount
    // included, opens as invalid). A name that is empty, "." or "..", or holds '/' or a NUL
    // byte, opens as invalid.
    Directory child(const std::string& name) const;

    bool valid() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    dev_t device() const { return device_; }

private:
    int fd_ = -1;
    dev_t device_ = 0;
    std::uint64_t mountId_ = 0; // the mount's id (statx); 0 when the kernel does not tell
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
