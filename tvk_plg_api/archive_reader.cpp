#include "tvk_plg_api/archive_reader.h"
#include "platform/utf8.h"

#include "tvk_plg_api/plugins.h"

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace tvk::plg {

namespace {

constexpr std::size_t blockSize = 64 * 1024;
constexpr std::size_t maxComponentBytes = 255;
// Header reads in a row that libarchive reports as failed before a level gives up.
constexpr int maxHeaderFailures = 64;

struct ArchiveDeleter {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

// A reader for every format and compression of the format table, and no filter that would
// run an outside program.
ArchivePtr newArchive() {
    ArchivePtr a(archive_read_new());
    if (!a)
        return a;
    archive* r = a.get();
    archive_read_support_format_7zip(r);
    archive_read_support_format_ar(r);
    archive_read_support_format_cab(r);
    archive_read_support_format_cpio(r);
    archive_read_support_format_empty(r);
    archive_read_support_format_iso9660(r);
    archive_read_support_format_lha(r);
    archive_read_support_format_rar(r);
    archive_read_support_format_rar5(r);
    archive_read_support_format_tar(r);
    archive_read_support_format_xar(r);
    archive_read_support_format_zip(r);
    archive_read_support_filter_bzip2(r);
    archive_read_support_filter_compress(r);
    archive_read_support_filter_gzip(r);
    archive_read_support_filter_lz4(r);
    archive_read_support_filter_lzip(r);
    archive_read_support_filter_lzma(r);
    archive_read_support_filter_rpm(r);
    archive_read_support_filter_xz(r);
    archive_read_support_filter_zstd(r);
    return a;
}

// A temporary file that has no name (removed at once); -1 when none can be made.
int openTemporaryFile() {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir)
        dir = "/tmp";
    int fd = ::open(dir, O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
    std::string pattern = std::string(dir) + "/tavisk-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd >= 0)
        ::unlink(pattern.c_str());
    return fd;
}

bool writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

EntryDate entryDate(archive_entry* entry) {
    EntryDate date;
    if (!archive_entry_mtime_is_set(entry))
        return date;
    const time_t seconds = archive_entry_mtime(entry);
    struct tm utc;
    if (!gmtime_r(&seconds, &utc))
        return date;
    date.year = utc.tm_year + 1900;
    date.month = utc.tm_mon + 1;
    date.day = utc.tm_mday;
    date.hour = utc.tm_hour;
    date.minute = utc.tm_min;
    date.second = utc.tm_sec;
    return date;
}

// One archive being read; `seekable` when its source can seek (a file, memory, a spooled
// copy) rather than being streamed out of the entry of an outer archive.
struct Level {
    archive* a;
    int parentId;
    int nesting;
    bool seekable;
};

class Reader {
public:
    Reader(RowSink& sink, int discId, const ReaderLimits& limits)
        : sink_(sink), discId_(discId), limits_(limits) {}

    // Reads the entries of `a`, opened already. Returns the rows stored so far in all.
    long read(archive* a, int parentId, bool seekable) {
        readLevel({a, parentId, 0, seekable});
        return stored_;
    }
    // Whether the reading of the top-level archive ended on an error before its end.
    bool damaged() const { return damaged_; }

private:
    struct Stream {
        Reader* reader;
        archive* outer;
        std::unique_ptr<char[]> buffer;
    };

    void readLevel(const Level& level);
    void storeEntry(const Level& level, archive_entry* entry);
    bool splitPath(const char* path);
    int directory(int parentId, std::string_view name, const EntryDate& date);
    int storeRow(int parentId, std::string_view name, char type, std::uint64_t size,
                 const EntryDate& date);
    void readNested(const Level& outer, int archiveId, const ArchiveFormat& format,
                    archive_entry* entry);
    void readSpooled(const Level& outer, int archiveId, archive_entry* entry);
    void readStreamed(const Level& outer, int archiveId);
    void passOverData(const Level& level);
    bool levelDone(const Level& level) const {
        return stop_ || (level.nesting > 0 && nestedExhausted_);
    }
    static la_ssize_t readFromOuter(archive* inner, void* data, const void** block);

    RowSink& sink_;
    int discId_;
    ReaderLimits limits_;
    long stored_ = 0;
    long headers_ = 0;
    bool stop_ = false;            // a bound was reached or the sink failed: every level ends
    bool damaged_ = false;         // the top-level archive could not be read to its end
    bool nestedExhausted_ = false; // the nested data budget is spent: nested levels end
    std::uint64_t nestedBytes_ = 0;
    std::uint64_t skippedBytes_ = 0;
    std::uint64_t spoolInUse_ = 0;
    // Directories stored so far, by parent id and name: an implied directory is made once and
    // an explicit entry for it later reuses it.
    std::unordered_map<std::string, int> directories_;
    std::string key_;
    std::vector<std::string_view> components_;
    std::string path_;
};

void Reader::readLevel(const Level& level) {
    int failures = 0;
    while (!levelDone(level)) {
        if (headers_ >= limits_.maxEntries) {
            stop_ = true;
            break;
        }
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(level.a, &entry);
        ++headers_;
        if (r == ARCHIVE_EOF)
            break;
        if (r == ARCHIVE_FATAL) {
            damaged_ = damaged_ || level.nesting == 0;
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            if (++failures > maxHeaderFailures) {
                damaged_ = damaged_ || level.nesting == 0;
                break;
            }
            continue;
        }
        failures = 0;
        storeEntry(level, entry);
        if (!levelDone(level))
            passOverData(level);
    }
}

// Splits `path` into its clean components in components_: no empty, "." or ".." component
// (".." takes back the one before it, never climbing above the root), no drive prefix, each cut
// to 255 bytes at a UTF-8 boundary. (libarchive already gives the names of zip entries made on
// Windows with slashes for their backslashes; elsewhere a backslash is part of a name.)
bool Reader::splitPath(const char* path) {
    path_.assign(path);
    components_.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path_.size(); ++i) {
        const bool end = i == path_.size();
        if (!end && path_[i] != '/')
            continue;
        const std::size_t partStart = start;
        std::string_view part(path_.data() + start, i - start);
        start = i + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!components_.empty())
                components_.pop_back();
            continue;
        }
        const bool letter =
            (part[0] >= 'A' && part[0] <= 'Z') || (part[0] >= 'a' && part[0] <= 'z');
        if (partStart == 0 && part.size() == 2 && part[1] == ':' && letter)
            continue; // a leading drive, "C:"
        part = part.substr(0, utf8CutLength(part.data(), part.size(), maxComponentBytes));
        components_.push_back(part);
    }
    return !components_.empty();
}

int Reader::storeRow(int parentId, std::string_view name, char type, std::uint64_t size,
                     const EntryDate& date) {
    if (stored_ >= limits_.maxEntries) {
        stop_ = true;
        return -1;
    }
    EntryRow row;
    row.name = name.data();
    row.nameLength = name.size();
    row.type = type;
    row.size = size;
    row.date = date;
    row.discId = discId_;
    row.parentId = parentId;
    const int id = sink_.store(row);
    if (id <= 0) {
        stop_ = true;
        return -1;
    }
    ++stored_;
    return id;
}

int Reader::directory(int parentId, std::string_view name, const EntryDate& date) {
    key_.assign(reinterpret_cast<const char*>(&parentId), sizeof parentId);
    key_.append(name);
    if (auto found = directories_.find(key_); found != directories_.end())
        return found->second;
    const int id = storeRow(parentId, name, 'R', 0, date);
    if (id > 0)
        directories_.emplace(key_, id);
    return id;
}

void Reader::storeEntry(const Level& level, archive_entry* entry) {
    const char* path = archive_entry_pathname_utf8(entry);
    if (!path)
        path = archive_entry_pathname(entry);
    if (!path)
        return;
    if (!splitPath(path))
        return;
    int parentId = level.parentId;
    for (std::size_t i = 0; i + 1 < components_.size(); ++i) {
        parentId = directory(parentId, components_[i], EntryDate{});
        if (parentId <= 0)
            return;
    }
    const std::string_view name = components_.back();
    const EntryDate date = entryDate(entry);
    const auto fileType = archive_entry_filetype(entry);
    if (fileType == AE_IFDIR) {
        directory(parentId, name, date);
        return;
    }
    const la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    // Links and special files are plain files: their targets are never followed or read.
    const bool regular = fileType == AE_IFREG && !archive_entry_hardlink(entry);
    const ArchiveFormat* format = regular ? formatOfName(name.data(), name.size()) : nullptr;
    const int id = storeRow(parentId, name, format ? 'Z' : 'F',
                            size > 0 ? static_cast<std::uint64_t>(size) : 0, date);
    if (id > 0 && format && level.nesting < limits_.maxNesting && !nestedExhausted_ &&
        !archive_entry_is_encrypted(entry))
        readNested(level, id, *format, entry);
}

void Reader::readNested(const Level& outer, int archiveId, const ArchiveFormat& format,
                        archive_entry* entry) {
    if (format.needsSeeking)
        readSpooled(outer, archiveId, entry);
    else
        readStreamed(outer, archiveId);
}

// Copies the entry's data to a temporary file (within the spool bound and the nested data
// budget) and reads the copy as an archive.
void Reader::readSpooled(const Level& outer, int archiveId, archive_entry* entry) {
    const std::uint64_t room = limits_.maxSpoolBytes - spoolInUse_;
    if (archive_entry_size_is_set(entry) &&
        static_cast<std::uint64_t>(archive_entry_size(entry)) > room)
        return;
    const int fd = openTemporaryFile();
    if (fd < 0)
        return;
    auto buffer = std::make_unique<char[]>(blockSize);
    std::uint64_t copied = 0;
    bool complete = false;
    for (;;) {
        const la_ssize_t n = archive_read_data(outer.a, buffer.get(), blockSize);
        if (n == 0) {
            complete = true;
            break;
        }
        if (n < 0)
            break;
        copied += static_cast<std::uint64_t>(n);
        nestedBytes_ += static_cast<std::uint64_t>(n);
        if (nestedBytes_ > limits_.maxNestedBytes)
            nestedExhausted_ = true;
        if (copied > room || nestedExhausted_ || !writeAll(fd, buffer.get(), std::size_t(n)))
            break;
    }
    spoolInUse_ += copied;
    if (complete && ::lseek(fd, 0, SEEK_SET) == 0) {
        ArchivePtr inner = newArchive();
        if (inner && archive_read_open_fd(inner.get(), fd, blockSize) == ARCHIVE_OK)
            readLevel({inner.get(), archiveId, outer.nesting + 1, true});
    }
    spoolInUse_ -= copied;
    ::close(fd);
}

la_ssize_t Reader::readFromOuter(archive* inner, void* data, const void** block) {
    auto* stream = static_cast<Stream*>(data);
    Reader& reader = *stream->reader;
    if (reader.stop_ || reader.nestedExhausted_)
        return 0;
    if (reader.nestedBytes_ >= reader.limits_.maxNestedBytes) {
        reader.nestedExhausted_ = true;
        return 0;
    }
    const std::uint64_t left = reader.limits_.maxNestedBytes - reader.nestedBytes_;
    const std::size_t want = left < blockSize ? static_cast<std::size_t>(left) : blockSize;
    const la_ssize_t n = archive_read_data(stream->outer, stream->buffer.get(), want);
    if (n < 0) {
        archive_set_error(inner, EIO, "the outer archive cannot be read");
        return -1;
    }
    reader.nestedBytes_ += static_cast<std::uint64_t>(n);
    *block = stream->buffer.get();
    return n;
}

// Reads the inner archive straight out of the outer entry's data.
void Reader::readStreamed(const Level& outer, int archiveId) {
    Stream stream{this, outer.a, std::make_unique<char[]>(blockSize)};
    ArchivePtr inner = newArchive();
    if (!inner)
        return;
    if (archive_read_open(inner.get(), &stream, nullptr, readFromOuter, nullptr) != ARCHIVE_OK)
        return;
    readLevel({inner.get(), archiveId, outer.nesting + 1, false});
}

// Passes over what is left of the current entry's data. Where libarchive can seek past it
// cheaply (an uncompressed, seekable source of a format with entries at known offsets), it
// does; otherwise the data is read and counted against the bound of its level.
void Reader::passOverData(const Level& level) {
    const int base = archive_format(level.a) & ARCHIVE_FORMAT_BASE_MASK;
    const bool cheapFormat = base == ARCHIVE_FORMAT_TAR || base == ARCHIVE_FORMAT_CPIO ||
                             base == ARCHIVE_FORMAT_AR || base == ARCHIVE_FORMAT_ISO9660 ||
                             base == ARCHIVE_FORMAT_ZIP;
    if (level.seekable && archive_filter_count(level.a) == 1 && cheapFormat) {
        archive_read_data_skip(level.a);
        return;
    }
    std::uint64_t& spent = level.nesting == 0 ? skippedBytes_ : nestedBytes_;
    const std::uint64_t bound =
        level.nesting == 0 ? limits_.maxSkippedBytes : limits_.maxNestedBytes;
    for (;;) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(level.a, &block, &size, &offset);
        if (r != ARCHIVE_OK && !(r == ARCHIVE_WARN && size > 0))
            return;
        spent += size;
        if (spent > bound) {
            if (level.nesting == 0)
                stop_ = true;
            else
                nestedExhausted_ = true;
            return;
        }
    }
}

} // namespace

long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits) {
    bool damaged = false;
    return readArchiveFile(path, sink, discId, parentId, limits, damaged);
}

long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits, bool& damaged) {
    damaged = false;
    if (!path)
        return -1;
    // Opened without following a link and without blocking (a FIFO named like an archive
    // would otherwise wait for a writer forever); only a regular file is read.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    long result = -1;
    ArchivePtr a = newArchive();
    if (a && archive_read_open_fd(a.get(), fd, blockSize) == ARCHIVE_OK) {
        Reader reader(sink, discId, limits);
        result = reader.read(a.get(), parentId, true);
        damaged = reader.damaged();
    }
    a.reset();
    ::close(fd);
    return result;
}

long readArchiveMemory(const void* data, std::size_t size, RowSink& sink, int discId, int parentId,
                       const ReaderLimits& limits) {
    ArchivePtr a = newArchive();
    if (!a || archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK)
        return -1;
    return Reader(sink, discId, limits).read(a.get(), parentId, true);
}

} // namespace tvk::plg
