#include "platform/volumes.h"

#include "tests/support/without_dac_override.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/capability.h>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using namespace tvk;
using tvk::test::WithoutDacOverride;

// A fresh folder under the temporary directory, removed with everything in it (rm copes with
// trees deeper than PATH_MAX).
struct TempDir {
    std::string path;
    explicit TempDir(const char* base = getenv("TMPDIR")) {
        std::string pattern = std::string(base ? base : "/tmp") + "/tavisk-volumes-XXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~TempDir() { run({"rm", "-rf", path}); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }

    // Runs a program quietly, in folder `cwd` when given; its exit status, or -1 when it
    // cannot be started.
    static int run(std::vector<std::string> args, const std::string& cwd = {}) {
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        if (!cwd.empty())
            posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        pid_t pid = 0;
        const int started = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        if (started != 0 || waitpid(pid, &status, 0) != pid)
            return -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

int openDescriptors() {
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dir && readdir(dir))
        ++count;
    if (dir)
        closedir(dir);
    return count;
}

std::optional<DirectoryEntry> findEntry(const std::vector<DirectoryEntry>& entries,
                                        const std::string& name) {
    for (const DirectoryEntry& entry : entries)
        if (entry.name == name)
            return entry;
    return std::nullopt;
}

// ---- Replacement table ----

TEST(DriveTable, ReplacementAnswersInItsOwnOrderUntilRemoved) {
    VolumeInformation disc{"Disc 'one'", 0x1234ABCD, 110, FILE_READ_ONLY_VOLUME, "iso9660"};
    setDriveTable(std::vector<FakeDrive>{{"/tmp/z/", DRIVE_CDROM, disc},
                                         {"/tmp/a/", DRIVE_CDROM, std::nullopt},
                                         {"/tmp/f/", DRIVE_FIXED, std::nullopt}});
    EXPECT_EQ(logicalDrives(), (std::vector<std::string>{"/tmp/z/", "/tmp/a/", "/tmp/f/"}));
    EXPECT_EQ(getDriveType("/tmp/z/"), DRIVE_CDROM);
    EXPECT_EQ(getDriveType("/tmp/f"), DRIVE_FIXED);
    EXPECT_EQ(getDriveType("/"), DRIVE_NO_ROOT_DIR);
    VolumeInformation info;
    ASSERT_TRUE(getVolumeInformation("/tmp/z/", info));
    EXPECT_EQ(info.label, "Disc 'one'");
    EXPECT_EQ(info.serial, 0x1234ABCDu);
    EXPECT_FALSE(getVolumeInformation("/tmp/a/", info)); // a drive without a medium
    EXPECT_TRUE(info.label.empty());
    EXPECT_FALSE(getVolumeInformation("/", info));
    setDriveTable(std::nullopt);
    const std::vector<std::string> real = logicalDrives();
    EXPECT_NE(std::find(real.begin(), real.end(), "/"), real.end());
}

// ---- The real table of this machine ----

TEST(DriveTable, RealTableListsMountedRootsSorted) {
    const std::vector<std::string> roots = logicalDrives();
    ASSERT_FALSE(roots.empty());
    EXPECT_TRUE(std::is_sorted(roots.begin(), roots.end()));
    EXPECT_NE(std::find(roots.begin(), roots.end(), "/"), roots.end());
    for (const std::string& root : roots) {
        EXPECT_EQ(root.back(), '/') << root;
        EXPECT_NE(root.rfind("/proc/", 0), 0u) << root;
        EXPECT_NE(root.rfind("/sys/", 0), 0u) << root;
        EXPECT_NE(getDriveType(root), DRIVE_NO_ROOT_DIR) << root;
    }
    VolumeInformation info;
    ASSERT_TRUE(getVolumeInformation("/", info));
    EXPECT_FALSE(info.fileSystemName.empty());
    EXPECT_GT(info.maxComponentLength, 0u);
    TempDir dir; // a folder, not a mount point
    EXPECT_EQ(getDriveType(dir.path + "/"), DRIVE_NO_ROOT_DIR);
    EXPECT_FALSE(getVolumeInformation(dir.path + "/", info));
}

// ---- Mount table text fed to libmount, with a sysfs tree of our own ----

struct FakeSystem {
    TempDir dir;
    SystemPaths paths{dir / "mountinfo", dir / "sys"};

    // A disk in sysfs: /sys/block/<name> with its attributes, reachable from /sys/dev/block.
    void disk(const std::string& name, const std::string& number, const std::string& removable,
              const std::string& scsiType = "0") {
        const std::string folder = paths.sysfs + "/block/" + name;
        TempDir::run({"mkdir", "-p", folder + "/device", paths.sysfs + "/dev/block"});
        writeFile(folder + "/dev", number + "\n");
        writeFile(folder + "/removable", removable + "\n");
        writeFile(folder + "/device/type", scsiType + "\n");
        symlink(("../../block/" + name).c_str(), (paths.sysfs + "/dev/block/" + number).c_str());
    }
    void partition(const std::string& diskName, const std::string& name,
                   const std::string& number) {
        const std::string folder = paths.sysfs + "/block/" + diskName + "/" + name;
        TempDir::run({"mkdir", "-p", folder});
        writeFile(folder + "/partition", "1\n");
        symlink(("../../block/" + diskName + "/" + name).c_str(),
                (paths.sysfs + "/dev/block/" + number).c_str());
    }
    std::map<std::string, DriveType> listed() const {
        std::map<std::string, DriveType> drives;
        for (const MountedDrive& drive : readMountTable(paths))
            if (drive.listed)
                drives[drive.root] = drive.type;
        return drives;
    }
};

TEST(MountTable, ListsDrivesWithTheirTypesAndLeavesOutSystemMounts) {
    FakeSystem sys;
    sys.disk("sda", "8:0", "0");
    sys.partition("sda", "sda1", "8:1");
    sys.partition("sda", "sda2", "8:2");
    sys.disk("sdb", "8:16", "1");
    sys.partition("sdb", "sdb1", "8:17");
    sys.disk("sr0", "11:0", "1", "5");
    sys.disk("sr1", "11:1", "1", "5");
    sys.disk("loop0", "7:0", "0");
    const std::string fileBind = sys.dir / "hosts";
    writeFile(fileBind, "127.0.0.1 localhost\n");
    writeFile(sys.paths.mountinfo,
              "1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
              "2 1 0:21 / /proc rw - proc proc rw\n"
              "3 1 0:22 / /sys rw - sysfs sysfs rw\n"
              "4 3 0:29 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
              "5 1 0:6 / /dev rw - devtmpfs devtmpfs rw\n"
              "6 5 0:24 / /dev/pts rw - devpts devpts rw\n"
              "7 1 0:25 / /run rw - tmpfs tmpfs rw\n"
              "8 7 0:26 / /run/user/1000 rw - tmpfs tmpfs rw\n"
              "9 7 8:17 / /run/media/ann/USB\\040KEY rw - vfat /dev/sdb1 rw\n"
              "10 1 8:2 / /home rw - ext4 /dev/sda2 rw\n"
              "11 1 8:17 / /boot/efi rw - vfat /dev/sdb1 rw\n"
              "12 1 7:0 / /snap/core/123 ro - squashfs /dev/loop0 ro\n"
              "13 1 0:27 / /tmp rw - tmpfs tmpfs rw\n"
              "14 1 0:28 / /mnt/ram rw - tmpfs tmpfs rw\n"
              "15 1 0:30 / /media/quick rw - ramfs ramfs rw\n"
              "16 1 11:0 / /media/cdrom ro - iso9660 /dev/sr0 ro\n"
              "17 1 0:50 / /mnt/nas rw - nfs4 server:/export rw\n"
              "18 1 0:51 / /mnt/share rw - cifs //server/share rw\n"
              "19 1 0:52 / /mnt/ssh rw - fuse.sshfs ann@host:/ rw\n"
              "20 1 0:53 / /mnt/iso rw - fuse.fuseiso fuseiso rw,user_id=0\n"
              "21 1 7:0 / /mnt/disc ro - udf /dev/loop0 ro\n"
              "22 1 0:54 / /mnt/auto rw - autofs systemd-1 rw\n"
              "23 1 0:55 / /mnt/proc rw - proc proc rw\n"
              "24 1 8:1 /etc/hosts " +
                  fileBind + " rw - ext4 /dev/sda1 rw\n" +
                  "25 3 0:56 / /sys/fs/fuse/connections rw - fusectl fusectl rw\n"
                  "26 1 0:57 / /mnt/dav rw - davfs http://host/dav rw\n"
                  "27 1 8:2 / /mnt/over rw - ext4 /dev/sda2 rw\n"
                  "28 27 8:17 / /mnt/over/inner rw - vfat /dev/sdb1 rw\n"
                  "29 27 0:58 / /mnt/over rw - tmpfs tmpfs rw\n");
    const std::map<std::string, DriveType> expected = {
        {"/", DRIVE_FIXED},
        {"/dev/sr1/", DRIVE_CDROM}, // an optical drive without a mounted medium
        {"/home/", DRIVE_FIXED},
        {"/media/cdrom/", DRIVE_CDROM},
        {"/media/quick/", DRIVE_RAMDISK},
        {"/mnt/dav/", DRIVE_REMOTE},
        {"/mnt/disc/", DRIVE_CDROM},
        {"/mnt/iso/", DRIVE_CDROM},
        {"/mnt/nas/", DRIVE_REMOTE},
        {"/mnt/over/", DRIVE_RAMDISK}, // the topmost of two; what it hides is gone
        {"/mnt/ram/", DRIVE_RAMDISK},
        {"/mnt/share/", DRIVE_REMOTE},
        {"/mnt/ssh/", DRIVE_REMOTE},
        {"/run/media/ann/USB KEY/", DRIVE_REMOVABLE},
    };
    EXPECT_EQ(sys.listed(), expected);

    // Mounts left out of the list still have their type.
    std::map<std::string, DriveType> all;
    for (const MountedDrive& drive : readMountTable(sys.paths))
        all[drive.root] = drive.type;
    EXPECT_EQ(all["/boot/efi/"], DRIVE_REMOVABLE);
    EXPECT_EQ(all["/proc/"], DRIVE_UNKNOWN);
    EXPECT_EQ(all.count("/mnt/over/inner/"), 0u);
    EXPECT_EQ(all.count("/dev/sr0/"), 0u); // sr0 is mounted at /media/cdrom
}

TEST(MountTable, ContainerRootAndBrokenTables) {
    FakeSystem sys;
    writeFile(sys.paths.mountinfo, "600 500 0:40 / / rw - overlay overlay rw,lowerdir=/l\n"
                                   "601 600 0:41 / /proc rw - proc proc rw\n");
    EXPECT_EQ(sys.listed(), (std::map<std::string, DriveType>{{"/", DRIVE_FIXED}}));

    // Parents that point at each other: neither can be reached, and nothing hangs.
    writeFile(sys.paths.mountinfo, "1 0 0:40 / / rw - ext4 /dev/x rw\n"
                                   "5 6 0:41 / /mnt/a rw - ext4 /dev/y rw\n"
                                   "6 5 0:42 / /mnt/b rw - ext4 /dev/z rw\n");
    EXPECT_EQ(sys.listed().size(), 1u);
    writeFile(sys.paths.mountinfo, std::string("\0\xff garbage\n\n# x\n", 16));
    EXPECT_TRUE(readMountTable(sys.paths).empty());
    EXPECT_TRUE(readMountTable({sys.dir / "missing", sys.paths.sysfs}).empty());
}

// ---- Serial numbers ----

TEST(Serials, CdromLanesSumWithoutCarryAndLaneZeroLeads) {
    unsigned char sector[2048] = {};
    sector[0] = 1, sector[1] = 2, sector[2] = 3, sector[3] = 4;
    EXPECT_EQ(cdromSerial(sector), 0x01020304u);
    sector[4] = 0xFF; // lane 0 wraps to 0x00 without touching lane 1
    sector[2047] = 0x10;
    EXPECT_EQ(cdromSerial(sector), 0x00020314u);
}

TEST(Serials, FromUuids) {
    EXPECT_EQ(serialFromUuid("vfat", "ABCD-1234"), 0xABCD1234u);
    EXPECT_EQ(serialFromUuid("exfat", "0ab1-77ff"), 0x0AB177FFu);
    EXPECT_EQ(serialFromUuid("ntfs", "0123456789ABCDEF"), 0x89ABCDEFu);
    EXPECT_EQ(serialFromUuid("ext4", "1b4e28ba-2fa1-11d2-883f-0016d3cca427"), 0x1B4E28BAu);
    EXPECT_EQ(serialFromUuid("ext4", ""), 0u);
    EXPECT_EQ(serialFromUuid("xfs", "not a uuid"), 0u);
}

// ---- A real ISO image ----

// Builds an image of `content` with genisoimage; empty when the tool is missing.
std::string makeImage(const TempDir& dir, const std::string& name, const std::string& label,
                      bool joliet) {
    const std::string content = dir / "content";
    mkdir(content.c_str(), 0755);
    mkdir((content + "/sub").c_str(), 0755);
    writeFile(content + "/sub/Read Me.txt", "hello\n");
    std::vector<std::string> args{"genisoimage", "-quiet", "-R", "-V", label, "-o", dir / name};
    if (joliet)
        args.insert(args.begin() + 2, "-J");
    args.push_back(content);
    return TempDir::run(args) == 0 ? dir / name : std::string();
}

// The Windows CD-ROM serial of an image, read here byte by byte from its sector 16.
std::uint32_t expectedSerial(const std::string& image) {
    std::ifstream in(image, std::ios::binary);
    in.seekg(16 * 2048);
    unsigned lanes[4] = {};
    for (int i = 0; i < 2048; ++i)
        lanes[i % 4] = (lanes[i % 4] + static_cast<unsigned char>(in.get())) & 0xFF;
    return lanes[0] << 24 | lanes[1] << 16 | lanes[2] << 8 | lanes[3];
}

TEST(IsoImage, LabelSerialAndJolietFromTheImageFile) {
    TempDir dir;
    const std::string image = makeImage(dir, "disc one.iso", "Tavisk Disc 7", true);
    ASSERT_FALSE(image.empty()) << "genisoimage is needed (scripts/deps)";
    const std::optional<ProbedVolume> volume = probeVolume(image);
    ASSERT_TRUE(volume);
    EXPECT_EQ(volume->fileSystem, "iso9660");
    EXPECT_EQ(volume->label, "Tavisk Disc 7");
    EXPECT_EQ(volume->serial, expectedSerial(image));
    EXPECT_NE(volume->serial, 0u);
    EXPECT_TRUE(volume->joliet);
    const std::string plain = makeImage(dir, "plain.iso", "PLAIN", false);
    ASSERT_TRUE(probeVolume(plain));
    EXPECT_FALSE(probeVolume(plain)->joliet);

    // Unreadable or meaningless input: no volume, no crash.
    EXPECT_FALSE(probeVolume(dir / "missing.iso"));
    EXPECT_FALSE(probeVolume(dir.path));
    std::string truncated(16 * 2048 + 6, '\0');
    truncated.replace(16 * 2048, 6,
                      "\x01"
                      "CD001");
    writeFile(dir / "truncated.iso", truncated);
    EXPECT_FALSE(probeVolume(dir / "truncated.iso"));
}

// fuseiso keeps its notes in the home of the user it runs as, whatever HOME says.
bool mtabMentions(const std::string& point) {
    const passwd* user = getpwuid(getuid());
    std::ifstream in(std::string(user ? user->pw_dir : "") + "/.mtab.fuseiso");
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    return text.find(" " + point + " ") != std::string::npos;
}

// Waits up to five seconds for ~/.mtab.fuseiso to mention `point`, or not to.
void waitForMtab(const std::string& point, bool mentioned) {
    for (int tries = 0; tries < 100 && mtabMentions(point) != mentioned; ++tries)
        usleep(50000);
}

// A FUSE ISO mount of `image` at `point`, made by fuseiso run in `cwd` with the arguments
// given (relative or not); unmounted whatever happens in the test. fuseiso notes its mounts in
// ~/.mtab.fuseiso from its daemon, and rewrites the file when it unmounts: the guard waits for
// both, so that one test's unmount cannot drop the next one's line.
struct FuseIsoMount {
    std::string point;
    bool mounted = false;
    FuseIsoMount(const std::string& cwd, const std::string& imageArgument,
                 const std::string& pointArgument, const std::string& point)
        : point(point) {
        mounted = access("/dev/fuse", R_OK | W_OK) == 0 &&
                  TempDir::run({"fuseiso", imageArgument, pointArgument}, cwd) == 0;
        if (mounted)
            waitForMtab(point, true);
    }
    ~FuseIsoMount() {
        if (!mounted)
            return;
        if (TempDir::run({"fusermount", "-u", point}) != 0 &&
            TempDir::run({"fusermount3", "-u", point}) != 0)
            umount2(point.c_str(), MNT_DETACH);
        waitForMtab(point, false);
    }
};

const char* const kNoFuseIso = "fuseiso cannot mount here (no usable /dev/fuse, or no fuseiso)";

// Relative paths on fuseiso's command line: the image is found through ~/.mtab.fuseiso.
TEST(IsoImage, FuseIsoMountIsACdromWithTheImagesLabelAndSerial) {
    TempDir dir;
    const std::string image = makeImage(dir, "my disc.iso", "Fuse Disc", true);
    ASSERT_FALSE(image.empty());
    mkdir((dir / "mnt").c_str(), 0755);
    const FuseIsoMount mount(dir.path, "my disc.iso", "mnt", dir / "mnt");
    if (!mount.mounted)
        GTEST_SKIP() << kNoFuseIso;
    const std::string root = dir / "mnt/";
    const std::vector<std::string> roots = logicalDrives();
    EXPECT_NE(std::find(roots.begin(), roots.end(), root), roots.end());
    EXPECT_EQ(getDriveType(root), DRIVE_CDROM);
    VolumeInformation info;
    ASSERT_TRUE(getVolumeInformation(root, info));
    EXPECT_EQ(info.label, "Fuse Disc");
    EXPECT_EQ(info.serial, expectedSerial(image));
    EXPECT_EQ(info.fileSystemName, "fuse.fuseiso");
    EXPECT_TRUE(info.fileSystemFlags & FILE_READ_ONLY_VOLUME);
    EXPECT_TRUE(info.fileSystemFlags & FILE_UNICODE_ON_DISK);

    // The mount point is listed as a directory of its parent, but never entered from there.
    const Directory parent = Directory::open(dir.path);
    std::optional<DirectoryEntry> entry = findEntry(listDirectory(parent, false), "mnt");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->directory);
    EXPECT_FALSE(parent.child("mnt").valid());
    const Directory disc = Directory::open(root);
    ASSERT_TRUE(disc.valid());
    entry = findEntry(listDirectory(disc, false), "sub");
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->directory);
    EXPECT_TRUE(disc.child("sub").valid());
}

// A mount that no ~/.mtab.fuseiso we look at mentions (another user's, whose home we cannot
// see): the image is found on the daemon's command line.
TEST(IsoImage, FuseIsoImageFoundOnTheDaemonsCommandLine) {
    TempDir dir;
    const std::string image = makeImage(dir, "my disc.iso", "Fuse Disc", true);
    ASSERT_FALSE(image.empty());
    mkdir((dir / "mnt").c_str(), 0755);
    const FuseIsoMount mount("/", image, dir / "mnt", dir / "mnt");
    if (!mount.mounted)
        GTEST_SKIP() << kNoFuseIso;
    std::optional<MountedDrive> drive;
    for (const MountedDrive& candidate : readMountTable())
        if (candidate.mountPoint == dir / "mnt")
            drive = candidate;
    ASSERT_TRUE(drive);
    drive->options = "rw,user_id=4000000000"; // no such user
    const char* home = getenv("HOME");
    const std::optional<std::string> savedHome =
        home ? std::optional<std::string>(home) : std::nullopt;
    setenv("HOME", dir.path.c_str(), 1);
    EXPECT_EQ(fuseIsoImage(*drive), image);
    if (savedHome)
        setenv("HOME", savedHome->c_str(), 1);
    else
        unsetenv("HOME");
}

// ---- Directory listing ----

TEST(Listing, OddNamesComeBackByteForByte) {
    TempDir dir;
    const std::vector<std::string> names = {"quote's \"double\"",    "back\\slash", "new\nline",
                                            "not utf8 \xff\xfe\x80", "100% _wild_", "tab\there",
                                            std::string(255, 'n'),   "sub"};
    for (const std::string& name : names)
        if (name == "sub")
            mkdir((dir / name).c_str(), 0755);
        else
            writeFile(dir / name, name);
    const Directory directory = Directory::open(dir.path);
    ASSERT_TRUE(directory.valid());
    for (bool details : {true, false}) {
        std::set<std::string> seen;
        for (const DirectoryEntry& entry : listDirectory(directory, details)) {
            seen.insert(entry.name);
            EXPECT_EQ(entry.directory, entry.name == "sub");
            EXPECT_EQ(entry.size, details && !entry.directory ? entry.name.size() : 0u);
            EXPECT_EQ(entry.hasTime, details);
        }
        EXPECT_EQ(seen, std::set<std::string>(names.begin(), names.end()));
    }
    for (const char* bad : {"", ".", "..", "sub/", "no such"})
        EXPECT_FALSE(directory.child(bad).valid()) << bad;
    EXPECT_FALSE(directory.child(std::string("sub\0x", 5)).valid());
    EXPECT_FALSE(directory.child(std::string(255, 'n')).valid()); // a file
    EXPECT_FALSE(Directory::open(dir / "no such").valid());
    EXPECT_TRUE(listDirectory(Directory()).empty());
}

TEST(Listing, PathsDeeperThanPathMaxWithBoundedDescriptors) {
    TempDir dir;
    const std::string level(200, 'd');
    int fd = open(dir.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int depth = 2 * PATH_MAX / 200;
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(mkdirat(fd, level.c_str(), 0755), 0);
        const int next = openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd);
        fd = next;
    }
    close(openat(fd, "bottom.txt", O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    close(fd);

    const int before = openDescriptors();
    {
        std::vector<Directory> path;
        path.push_back(Directory::open(dir.path));
        for (int i = 0; i < depth; ++i) {
            ASSERT_EQ(listDirectory(path.back()).size(), 1u);
            path.push_back(path.back().child(level));
            ASSERT_TRUE(path.back().valid()) << "level " << i;
        }
        EXPECT_EQ(openDescriptors(), before + depth + 1); // one per level, none for listings
        const std::vector<DirectoryEntry> bottom = listDirectory(path.back());
        ASSERT_EQ(bottom.size(), 1u);
        EXPECT_EQ(bottom[0].name, "bottom.txt");
        EXPECT_EQ(listDirectory(path.back()).size(), 1u); // the second listing starts over
    }
    EXPECT_EQ(openDescriptors(), before);
}

TEST(Listing, SymbolicLinksAreFilesAndNeverFollowed) {
    TempDir dir;
    mkdir((dir / "sub").c_str(), 0755);
    writeFile(dir / "sub/inside", "x");
    ASSERT_EQ(symlink("b", (dir / "a").c_str()), 0);
    ASSERT_EQ(symlink("a", (dir / "b").c_str()), 0);
    ASSERT_EQ(symlink("sub", (dir / "to-sub").c_str()), 0);
    const Directory directory = Directory::open(dir.path);
    for (bool details : {true, false}) {
        const std::vector<DirectoryEntry> entries = listDirectory(directory, details);
        ASSERT_EQ(entries.size(), 4u);
        for (const char* link : {"a", "b", "to-sub"}) {
            std::optional<DirectoryEntry> entry = findEntry(entries, link);
            ASSERT_TRUE(entry) << link;
            EXPECT_FALSE(entry->directory) << link;
            EXPECT_EQ(entry->size, details ? std::string(link) == "to-sub" ? 3u : 1u : 0u);
        }
    }
    EXPECT_FALSE(directory.child("a").valid());
    EXPECT_FALSE(directory.child("to-sub").valid());
    EXPECT_TRUE(Directory::open(dir / "to-sub").valid()); // the volume's root may be a link
}

TEST(Listing, UnreadableFolderGivesAnInvalidDirectory) {
    TempDir dir;
    mkdir((dir / "closed").c_str(), 0755);
    writeFile(dir / "closed/secret", "x");
    chmod((dir / "closed").c_str(), 0);
    const Directory directory = Directory::open(dir.path);
    bool refused = false;
    std::thread([&] { // capabilities are per thread: the rest of the process keeps its own
        WithoutDacOverride guard;
        if (geteuid() == 0 && !guard.dropped)
            return;
        refused = true;
        EXPECT_FALSE(directory.child("closed").valid());
        EXPECT_FALSE(Directory::open(dir / "closed").valid());
        EXPECT_EQ(listDirectory(directory).size(), 1u); // still listed by its parent
    })
        .join();
    chmod((dir / "closed").c_str(), 0755);
    if (!refused)
        GTEST_SKIP() << "running as root and the capabilities cannot be lowered here";
}

TEST(Listing, LargeSparseFileKeepsItsWholeSize) {
    TempDir dir;
    const int fd = open((dir / "big").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const off_t size = 5ll << 30;
    ASSERT_EQ(ftruncate(fd, size), 0);
    close(fd);
    const std::vector<DirectoryEntry> entries = listDirectory(Directory::open(dir.path));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, static_cast<std::uint64_t>(size));
}

TEST(Listing, ModificationTimesInUtcAndOutOfRangeYears) {
    // tmpfs keeps any time; ext4 would clamp years before 1901 and after 2446.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : nullptr;
    if (!base)
        GTEST_SKIP() << "no /dev/shm for times outside what disk file systems store";
    TempDir dir(base);
    setenv("TZ", "EST5EDT", 1); // local time must not leak in
    tzset();
    struct Case {
        const char* name;
        time_t time;
        bool hasTime;
    };
    const Case cases[] = {{"y2001", 1000000000, true},     // 2001-09-09 01:46:40 UTC
                          {"y1000", -30610224000, true},   // 1000-01-01 00:00:00 UTC
                          {"y999", -30610224001, false},   // 999-12-31 23:59:59 UTC
                          {"y9999", 253402300799, true},   // 9999-12-31 23:59:59 UTC
                          {"y10000", 253402300800, false}, // 10000-01-01 00:00:00 UTC
                          {"huge", 1ll << 62, false}};     // beyond what gmtime converts
    for (const Case& c : cases) {
        writeFile(dir / c.name, "");
        const timespec times[2] = {{c.time, 0}, {c.time, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir / c.name).c_str(), times, 0), 0) << c.name;
        struct stat st {};
        stat((dir / c.name).c_str(), &st);
        if (st.st_mtime != c.time)
            GTEST_SKIP() << base << " does not keep the time of " << c.name;
    }
    const std::vector<DirectoryEntry> entries = listDirectory(Directory::open(dir.path));
    unsetenv("TZ");
    tzset();
    for (const Case& c : cases) {
        std::optional<DirectoryEntry> entry = findEntry(entries, c.name);
        ASSERT_TRUE(entry);
        EXPECT_EQ(entry->hasTime, c.hasTime) << c.name;
    }
    const std::optional<DirectoryEntry> y2001 = findEntry(entries, "y2001");
    EXPECT_EQ((std::vector<int>{y2001->year, y2001->month, y2001->day, y2001->hour, y2001->minute,
                                y2001->second}),
              (std::vector<int>{2001, 9, 9, 1, 46, 40}));
    const std::optional<DirectoryEntry> y9999 = findEntry(entries, "y9999");
    EXPECT_EQ((std::vector<int>{y9999->year, y9999->month, y9999->day, y9999->hour}),
              (std::vector<int>{9999, 12, 31, 23}));
}

TEST(Listing, BindMountBelowTheRootIsNotEntered) {
    TempDir dir;
    mkdir((dir / "real").c_str(), 0755);
    mkdir((dir / "real/loop").c_str(), 0755);
    // The folder bound into itself: the same device, so only the mount tells it apart.
    const std::string loop = dir / "real/loop";
    if (mount((dir / "real").c_str(), loop.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "bind mounts need root: " << strerror(errno);
    struct Unmount {
        std::string point;
        ~Unmount() { umount2(point.c_str(), MNT_DETACH); }
    } unmount{loop};
    const Directory real = Directory::open(dir / "real");
    EXPECT_TRUE(findEntry(listDirectory(real), "loop"));
    EXPECT_FALSE(real.child("loop").valid());
}

} // namespace
