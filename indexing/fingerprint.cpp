#include "indexing/fingerprint.h"
#include "platform/volumes.h"

// The library's XXH3 picks the widest vector unit of the processor at run time (AVX2 where
// there is one): reading from the page cache, the hash must keep up with memory.
#include <xxh_x86dispatch.h>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk {

namespace {

constexpr std::size_t blockSize = 1 << 20;

struct HashStateDeleter {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

// One pread of the whole block, EINTR taken care of; -1 with errno on failure.
ssize_t readBlock(int fd, char* buffer, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
        if (n >= 0 || errno != EINTR)
            return n;
    }
}

// Reads `fd` to its end into the hash. A failed read is tried once more at the same offset.
FileFingerprint hashDescriptor(int fd, const ReadProgress& progress) {
    FileFingerprint result;
    thread_local std::unique_ptr<char[]> buffer(new char[blockSize]);
    std::unique_ptr<XXH3_state_t, HashStateDeleter> state(XXH3_createState());
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK) {
        result.error = ENOMEM;
        return result;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    for (;;) {
        ssize_t n = readBlock(fd, buffer.get(), blockSize, result.size);
        if (n < 0)
            n = readBlock(fd, buffer.get(), blockSize, result.size);
        if (n < 0) {
            result.error = errno;
            return result;
        }
        if (n == 0)
            break;
        XXH3_128bits_update(state.get(), buffer.get(), static_cast<std::size_t>(n));
        result.size += static_cast<std::uint64_t>(n);
        if (progress && !progress(result.size)) {
            result.state = FileReadState::Stopped;
            return result;
        }
    }
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(state.get()));
    std::copy(canonical.digest, canonical.digest + result.hash.size(), result.hash.begin());
    result.state = FileReadState::Read;
    return result;
}

void walkFolder(DirectoryPath& dirs, const std::string& path, FolderListing& listing) {
    const Directory& here = dirs.current();
    if (!here.valid()) {
        listing.unreadableFolders.push_back({path, ENOENT});
        return;
    }
    for (const DirectoryEntry& entry : listDirectory(here)) {
        const std::string child = path + "/" + entry.name;
        if (entry.regular) {
            listing.files.push_back({child, entry.size});
        } else if (entry.directory) {
            int error = 0;
            if (!dirs.enter(entry.name, error)) {
                if (error != 0)
                    listing.unreadableFolders.push_back({child, error});
                continue;
            }
            walkFolder(dirs, child, listing);
            dirs.leave();
        }
    }
}

} // namespace

FileFingerprint fingerprintFileAt(int dirFd, const std::string& name, bool followLink,
                                  const ReadProgress& progress) {
    FileFingerprint result;
    // Not blocking on open: a FIFO named like a file would wait for a writer forever.
    const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLink ? 0 : O_NOFOLLOW);
    const int fd = ::openat(dirFd, name.c_str(), flags);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return result;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    result = hashDescriptor(fd, progress);
    ::close(fd);
    return result;
}

FileFingerprint fingerprintFile(const std::string& path, const ReadProgress& progress) {
    return fingerprintFileAt(AT_FDCWD, path, true, progress);
}

FolderListing listLocalFiles(const std::string& root) {
    FolderListing listing;
    struct stat info;
    if (::stat(root.c_str(), &info) != 0) {
        listing.unreadableFolders.push_back({root, errno});
        return listing;
    }
    if (S_ISREG(info.st_mode)) {
        listing.files.push_back({root, static_cast<std::uint64_t>(info.st_size)});
        return listing;
    }
    Directory top = Directory::open(root);
    if (!top.valid()) {
        listing.unreadableFolders.push_back({root, errno ? errno : EACCES});
        return listing;
    }
    std::string base = root;
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    DirectoryPath dirs(std::move(top));
    walkFolder(dirs, base == "/" ? std::string() : base, listing);
    return listing;
}

bool findOnDiscs(MYSQL* connection, const std::vector<std::string>& paths, WhichReport& report,
                 const ReadProgress& progress) {
    report = WhichReport{};
    std::vector<LocalFile> files;
    for (const std::string& path : paths) {
        FolderListing listing = listLocalFiles(path);
        files.insert(files.end(), listing.files.begin(), listing.files.end());
        report.unreadableFolders.insert(report.unreadableFolders.end(),
                                        listing.unreadableFolders.begin(),
                                        listing.unreadableFolders.end());
    }
    std::vector<std::uint64_t> sizes;
    for (const LocalFile& file : files)
        sizes.push_back(file.size);
    std::set<std::uint64_t> present;
    if (!sizesOnDiscs(connection, sizes, present))
        return false;
    // Only files of a size some disc holds are read.
    std::vector<ContentKey> keys(files.size());
    bool stopped = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        WhichFile which{files[i].path, files[i].size, WhichState::OnNoDisc, 0, {}};
        if (stopped) {
            which.state = WhichState::Unreadable;
            which.error = ECANCELED;
        } else if (present.count(files[i].size)) {
            const FileFingerprint read =
                fingerprintFileAt(AT_FDCWD, files[i].path, false, progress);
            if (read.state == FileReadState::Read) {
                keys[i] = {read.size, read.hash};
                which.size = read.size;
            } else {
                stopped = read.state == FileReadState::Stopped;
                which.state = WhichState::Unreadable;
                which.error = stopped ? ECANCELED : read.error;
            }
        }
        report.files.push_back(std::move(which));
    }
    std::vector<ContentKey> wanted;
    for (std::size_t i = 0; i < files.size(); ++i)
        if (report.files[i].state == WhichState::OnNoDisc && present.count(files[i].size))
            wanted.push_back(keys[i]);
    std::map<ContentKey, std::vector<CatalogueFile>> found;
    if (!filesWithContents(connection, wanted, found))
        return false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        WhichFile& which = report.files[i];
        report.bytesTotal += which.size;
        if (which.state != WhichState::OnNoDisc || !present.count(files[i].size))
            continue;
        const auto holders = found.find(keys[i]);
        if (holders == found.end())
            continue;
        which.state = WhichState::OnDiscs;
        which.holders = holders->second;
        ++report.filesOnDiscs;
        report.bytesOnDiscs += which.size;
    }
    return true;
}

} // namespace tvk
