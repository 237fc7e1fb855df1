#include "tvk_plg_api/archive_reader.h"
#include "platform/utf8.h"

#include "tvk_plg_api/plugins.h"

#include <archive.h>
#include <archive_entry.h>
#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// What one archive read whole (with the archives inside it) may still spend. The archive handed
// over has one; for a disc image, so has each archive the image holds.
struct Budget {
    std::uint64_t allowed = 0;   // data it may decompress
    int limit = TVK_LIMIT_BYTES; // the bound `allowed` stands for
    std::uint64_t decompressed = 0;
    std::uint64_t spoolInUse = 0; // temporary copies of its nested archives, open at once
    long rows = 0;
    long headers = 0;
    bool boundedEntries = true; // false for a disc image: a disc has no entry bound
    bool counted = true;        // false for a disc image stored plainly: nothing is decompressed
    int spent = 0;              // the bound reached: nothing more is decompressed
    bool full = false;          // the entry bound reached: nothing more of it is read
};

Budget budgetFor(std::uint64_t compressedSize, const ReaderLimits& limits) {
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t byRatio =
        limits.ratio && compressedSize > most / limits.ratio ? most : compressedSize * limits.ratio;
    Budget budget;
    budget.allowed = std::max(byRatio, limits.ratioFloor);
    budget.limit = TVK_LIMIT_RATIO;
    if (budget.allowed >= limits.maxArchiveBytes) {
        budget.allowed = limits.maxArchiveBytes;
        budget.limit = TVK_LIMIT_BYTES;
    }
    return budget;
}

std::uint64_t bytesFingerprinted = 0;

struct HashStateDeleter {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

// The fingerprint of the entry a level is reading, fed with its data as it passes.
struct EntryHash {
    std::unique_ptr<XXH3_state_t, HashStateDeleter> state;
    bool active = false;
    std::uint64_t bytes = 0;
    std::string path; // the entry's, inside the archive handed over

    void begin() {
        if (!state)
            state.reset(XXH3_createState());
        active = state && XXH3_128bits_reset(state.get()) == XXH_OK;
        bytes = 0;
    }
    void feed(const void* data, std::size_t size) {
        if (active && size > 0) {
            XXH3_128bits_update(state.get(), data, size);
            bytes += size;
            bytesFingerprinted += size;
        }
    }
    // Holes of a sparse entry read as zeros, up to `offset`.
    void feedZerosUpTo(std::uint64_t offset) {
        static const char zeros[4096] = {};
        while (active && bytes < offset)
            feed(zeros, std::size_t(std::min<std::uint64_t>(sizeof zeros, offset - bytes)));
    }
};

// One archive being read; `seekable` when its source can seek (a file, memory, a spooled
// copy) rather than being streamed out of the entry of an outer archive.
struct Level {
    archive* a;
    int parentId;
    int depth; // archives around it inside its budget's archive (0: that archive)
    bool seekable;
    bool disc; // the disc image itself: each archive it holds has a budget of its own
    Budget* budget;
    std::string path; // inside the archive handed over; "" for that one (entries have names)
    int cutBy = 0;    // the bound that ended its reading before its end
    EntryHash hash;   // the fingerprint of the current entry, when asked for
};

using Clock = std::chrono::steady_clock;

class Reader {
public:
    Reader(RowSink& sink, int discId, const ReadRequest& request)
        : sink_(sink), discId_(discId), request_(request), limits_(request.limits),
          discBytes_(request.discBytes ? request.discBytes : &ownDiscBytes_) {}

    // Reads the entries of `a`, opened already, whose source holds `compressedSize` bytes.
    ReadOutcome read(archive* a, std::uint64_t compressedSize, int parentId, bool seekable) {
        Budget budget = budgetFor(compressedSize, limits_);
        budget.boundedEntries = !request_.disc;
        budget.counted = !request_.disc || archive_filter_count(a) > 1;
        Level top{a, parentId, 0, seekable, request_.disc, &budget, std::string(), 0, {}};
        lastProgress_ = Clock::now();
        readLevel(top);
        return {stored_, damaged_, stopped_};
    }

private:
    struct Stream {
        Reader* reader;
        Level* outer;
        Level* inner;
        std::unique_ptr<char[]> buffer;
    };
    struct KnownDirectory {
        int id;
        bool dated;
    };

    void tick();
    int charge(Budget& budget, std::uint64_t bytes);
    int refusal(const Budget& budget) const;
    void report(const std::string& path, int limit);
    void readLevel(Level& level);
    int storeEntry(Level& level, archive_entry* entry);
    bool splitPath(const char* path);
    std::string innerPath(const Level& outer) const;
    int directory(Level& level, int parentId, std::string_view name, const EntryDate* date);
    int storeRow(Level& level, int parentId, std::string_view name, char type, std::uint64_t size,
                 const EntryDate& date);
    void readNested(Level& outer, int archiveId, const ArchiveFormat& format, archive_entry* entry);
    void readSpooled(Level& outer, Level& inner, archive_entry* entry);
    void readStreamed(Level& outer, Level& inner);
    void releaseTemporaryFile(int fd, std::uint64_t size);
    bool passOverData(Level& level);
    void storeFingerprint(Level& level, int id, archive_entry* entry, bool complete);
    bool levelDone(const Level& level) const {
        return stop_ || level.budget->full || level.cutBy != 0;
    }
    static la_ssize_t readFromOuter(archive* inner, void* data, const void** block);

    RowSink& sink_;
    int discId_;
    const ReadRequest& request_;
    const ReaderLimits& limits_;
    std::uint64_t ownDiscBytes_ = 0;
    std::uint64_t* discBytes_;
    long stored_ = 0;
    bool stop_ = false;    // the sink failed or the caller asked to stop: every level ends
    bool stopped_ = false; // the caller asked to stop
    bool damaged_ = false; // the archive handed over could not be read to its end
    Clock::time_point lastProgress_;
    // Directories stored so far, by parent id and name: an implied directory is made once and
    // an explicit entry for it later reuses it, giving it its date.
    std::unordered_map<std::string, KnownDirectory> directories_;
    std::string key_;
    std::vector<std::string_view> components_;
    std::string path_;
};

// Calls the progress callback when its interval has passed since the last call; a nonzero
// answer stops the reading.
void Reader::tick() {
    const TvkPlgCallbacks& callbacks = request_.callbacks;
    if (!callbacks.progress || stop_)
        return;
    if (Clock::now() - lastProgress_ < std::chrono::milliseconds(limits_.progressInterval))
        return;
    const int answer = callbacks.progress(callbacks.context);
    lastProgress_ = Clock::now();
    if (answer != 0)
        stop_ = stopped_ = true;
}

// Counts `bytes` just decompressed against `budget` and the disc. Returns the bound passed
// (from then on every charge of the budget fails), 0 while within them.
int Reader::charge(Budget& budget, std::uint64_t bytes) {
    if (!budget.counted)
        return 0;
    if (const int refused = refusal(budget))
        return refused;
    budget.decompressed += bytes;
    *discBytes_ += bytes;
    if (*discBytes_ > limits_.maxDiscBytes)
        budget.spent = TVK_LIMIT_DISC_BYTES;
    else if (budget.decompressed > budget.allowed)
        budget.spent = budget.limit;
    return budget.spent;
}

// The bound that forbids `budget` to decompress anything more, 0 for none.
int Reader::refusal(const Budget& budget) const {
    if (!budget.counted)
        return 0;
    if (budget.spent)
        return budget.spent;
    return *discBytes_ >= limits_.maxDiscBytes ? TVK_LIMIT_DISC_BYTES : 0;
}

void Reader::report(const std::string& path, int limit) {
    const TvkPlgCallbacks& callbacks = request_.callbacks;
    if (callbacks.cutShort && !stop_ && !request_.listOnly)
        callbacks.cutShort(callbacks.context, path.c_str(), limit);
}

void Reader::readLevel(Level& level) {
    Budget& budget = *level.budget;
    int failures = 0;
    while (!levelDone(level)) {
        tick();
        if (stop_)
            break;
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(level.a, &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (budget.boundedEntries && ++budget.headers > limits_.maxEntries) {
            budget.full = true;
            break;
        }
        if (r == ARCHIVE_FATAL) {
            damaged_ = damaged_ || level.path.empty();
            break;
        }
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            if (++failures > maxHeaderFailures) {
                damaged_ = damaged_ || level.path.empty();
                break;
            }
            continue;
        }
        failures = 0;
        level.hash.active = false;
        const int id = storeEntry(level, entry);
        const bool complete = !levelDone(level) && passOverData(level);
        if (level.hash.active)
            storeFingerprint(level, id, entry, complete && !levelDone(level));
    }
    if (budget.full && !level.cutBy)
        level.cutBy = TVK_LIMIT_ENTRIES;
    if (level.cutBy)
        report(level.path, level.cutBy);
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

// The path inside the archive handed over of the entry just split, held by `outer`.
std::string Reader::innerPath(const Level& outer) const {
    std::string path = outer.path;
    for (std::string_view component : components_)
        path.append(path.empty() ? "" : "/").append(component);
    return path;
}

int Reader::storeRow(Level& level, int parentId, std::string_view name, char type,
                     std::uint64_t size, const EntryDate& date) {
    Budget& budget = *level.budget;
    if (budget.boundedEntries && budget.rows >= limits_.maxEntries) {
        budget.full = true;
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
    ++budget.rows;
    return id;
}

// The directory `name` beneath `parentId`, stored when it is new. `date` is null for a
// directory implied by the path of an entry; a directory made so takes the date of its own
// entry when that follows.
int Reader::directory(Level& level, int parentId, std::string_view name, const EntryDate* date) {
    key_.assign(reinterpret_cast<const char*>(&parentId), sizeof parentId);
    key_.append(name);
    const bool dated = date && isValidDate(*date);
    if (auto found = directories_.find(key_); found != directories_.end()) {
        KnownDirectory& known = found->second;
        if (dated && !known.dated) {
            const int done = sink_.setDate(discId_, known.id, *date);
            known.dated = done > 0;
            stop_ = stop_ || done < 0;
        }
        return known.id;
    }
    const int id = storeRow(level, parentId, name, 'R', 0, date ? *date : EntryDate{});
    if (id > 0)
        directories_.emplace(key_, KnownDirectory{id, dated});
    return id;
}

// Stores the entry (and the directories its path implies); returns the id of a regular file's
// row, whose data is then fingerprinted when asked for, or 0.
int Reader::storeEntry(Level& level, archive_entry* entry) {
    const char* path = archive_entry_pathname_utf8(entry);
    if (!path)
        path = archive_entry_pathname(entry);
    if (!path)
        return 0;
    if (!splitPath(path))
        return 0;
    int parentId = level.parentId;
    for (std::size_t i = 0; i + 1 < components_.size(); ++i) {
        parentId = directory(level, parentId, components_[i], nullptr);
        if (parentId <= 0)
            return 0;
    }
    const std::string_view name = components_.back();
    const EntryDate date = entryDate(entry);
    const auto fileType = archive_entry_filetype(entry);
    if (fileType == AE_IFDIR) {
        directory(level, parentId, name, &date);
        return 0;
    }
    const la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    // Links and special files are plain files: their targets are never followed or read.
    const bool regular = fileType == AE_IFREG && !archive_entry_hardlink(entry);
    const ArchiveFormat* format = regular ? formatOfName(name.data(), name.size()) : nullptr;
    const int id = storeRow(level, parentId, name, format ? 'Z' : 'F',
                            size > 0 ? static_cast<std::uint64_t>(size) : 0, date);
    if (id <= 0 || !regular)
        return 0;
    if (request_.fingerprint && !request_.listOnly && !archive_entry_is_encrypted(entry)) {
        level.hash.begin();
        level.hash.path = innerPath(level);
    }
    if (format && !request_.listOnly && !archive_entry_is_encrypted(entry))
        readNested(level, id, *format, entry);
    return id;
}

// Hands the sink the fingerprint of the entry `id` just read, when its data was read to its end
// and has the size its header gives; otherwise the entry is reported unreadable, unless a bound
// or the caller ended the reading (that is no read error).
void Reader::storeFingerprint(Level& level, int id, archive_entry* entry, bool complete) {
    EntryHash& hash = level.hash;
    hash.active = false;
    if (stop_ || id <= 0 || (!complete && (level.cutBy || level.budget->full)))
        return;
    const bool sized = archive_entry_size_is_set(entry);
    const la_int64_t size = sized ? archive_entry_size(entry) : 0;
    if (!complete || (sized && (size < 0 || hash.bytes != static_cast<std::uint64_t>(size)))) {
        sink_.markUnreadable(discId_, id);
        if (request_.unreadable)
            request_.unreadable(request_.unreadableContext, hash.path.c_str());
        return;
    }
    const XXH128_hash_t value = XXH3_128bits_digest(hash.state.get());
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, value);
    if (sink_.storeFingerprint(discId_, id, hash.bytes, canonical.digest) < 0)
        stop_ = true;
}

// Reads the archive entry just stored as `archiveId`, unless a bound forbids it (then it is
// reported, stored without contents).
void Reader::readNested(Level& outer, int archiveId, const ArchiveFormat& format,
                        archive_entry* entry) {
    std::string path = innerPath(outer);
    const int depth = outer.disc ? 0 : outer.depth + 1;
    const int refused = depth > limits_.maxNesting ? TVK_LIMIT_NESTING : refusal(*outer.budget);
    Budget own;
    Budget* budget = outer.budget;
    if (outer.disc) {
        const la_int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        own = budgetFor(size > 0 ? static_cast<std::uint64_t>(size) : 0, limits_);
        budget = &own;
    }
    if (refused) {
        report(path, refused);
        return;
    }
    Level inner{nullptr, archiveId, depth, false, false, budget, std::move(path), 0, {}};
    if (format.needsSeeking)
        readSpooled(outer, inner, entry);
    else
        readStreamed(outer, inner);
}

// Copies the entry's data to a temporary file (within the spool bound and the budget of the
// outer archive) and reads the copy as an archive. The copy of an archive that a disc image
// holds may take the entry's own size: its data is the image's, no bomb can swell it.
void Reader::readSpooled(Level& outer, Level& inner, archive_entry* entry) {
    Budget& payer = *outer.budget;
    const bool sized = archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0;
    const std::uint64_t size = sized ? static_cast<std::uint64_t>(archive_entry_size(entry)) : 0;
    const std::uint64_t room =
        outer.disc ? std::max(limits_.maxSpoolBytes, size)
                   : limits_.maxSpoolBytes - std::min(payer.spoolInUse, limits_.maxSpoolBytes);
    const int fd = sized && size > room ? -1 : openTemporaryFile();
    struct statvfs space;
    if (fd < 0 ||
        (::fstatvfs(fd, &space) == 0 && std::uint64_t(space.f_bavail) * space.f_frsize < size)) {
        if (fd >= 0)
            ::close(fd);
        report(inner.path, TVK_LIMIT_SPOOL);
        return;
    }
    auto buffer = std::make_unique<char[]>(blockSize);
    std::uint64_t copied = 0;
    bool complete = false;
    int cut = 0;
    while (!stop_) {
        tick();
        const la_ssize_t n = stop_ ? 0 : archive_read_data(outer.a, buffer.get(), blockSize);
        if (n == 0) {
            complete = !stop_;
            break;
        }
        if (n < 0)
            break;
        copied += static_cast<std::uint64_t>(n);
        outer.hash.feed(buffer.get(), std::size_t(n));
        cut = charge(payer, static_cast<std::uint64_t>(n));
        if (!cut && (copied > room || !writeAll(fd, buffer.get(), std::size_t(n))))
            cut = TVK_LIMIT_SPOOL;
        if (cut)
            break;
    }
    payer.spoolInUse += copied;
    if (complete && ::lseek(fd, 0, SEEK_SET) == 0) {
        ArchivePtr a = newArchive();
        if (a && archive_read_open_fd(a.get(), fd, blockSize) == ARCHIVE_OK) {
            inner.a = a.get();
            inner.seekable = true;
            readLevel(inner);
        }
    } else if (cut) {
        report(inner.path, cut);
    }
    payer.spoolInUse -= copied;
    releaseTemporaryFile(fd, copied);
}

// Closes the temporary file of `size` bytes. Freeing a large file at once takes tens of
// milliseconds (35 ms for 600 MB): it is shortened step by step, the progress called between.
void Reader::releaseTemporaryFile(int fd, std::uint64_t size) {
    constexpr std::uint64_t step = 32ull << 20;
    while (size > step && ::ftruncate(fd, off_t(size - step)) == 0) {
        size -= step;
        tick();
    }
    ::close(fd);
}

la_ssize_t Reader::readFromOuter(archive* inner, void* data, const void** block) {
    auto* stream = static_cast<Stream*>(data);
    Reader& reader = *stream->reader;
    reader.tick();
    if (reader.stop_ || stream->inner->cutBy)
        return 0;
    const la_ssize_t n = archive_read_data(stream->outer->a, stream->buffer.get(), blockSize);
    if (n < 0) {
        archive_set_error(inner, EIO, "the outer archive cannot be read");
        return -1;
    }
    stream->outer->hash.feed(stream->buffer.get(), std::size_t(n));
    // The block is handed over all the same; the inner archive ends at the next read.
    stream->inner->cutBy = reader.charge(*stream->outer->budget, static_cast<std::uint64_t>(n));
    *block = stream->buffer.get();
    return n;
}

// Reads the inner archive straight out of the outer entry's data.
void Reader::readStreamed(Level& outer, Level& inner) {
    Stream stream{this, &outer, &inner, std::make_unique<char[]>(blockSize)};
    ArchivePtr a = newArchive();
    if (!a)
        return;
    if (archive_read_open(a.get(), &stream, nullptr, readFromOuter, nullptr) != ARCHIVE_OK) {
        if (inner.cutBy)
            report(inner.path, inner.cutBy);
        return;
    }
    inner.a = a.get();
    readLevel(inner);
}

// Passes over what is left of the current entry's data. Where libarchive can seek past it
// cheaply (an uncompressed, seekable source of a format with entries at known offsets) and no
// fingerprint is wanted, it does; otherwise the data is read, fed to the entry's fingerprint
// and counted against the level's budget: the level ends when that is spent. True when the data
// was read to its end.
bool Reader::passOverData(Level& level) {
    const int base = archive_format(level.a) & ARCHIVE_FORMAT_BASE_MASK;
    const bool cheapFormat = base == ARCHIVE_FORMAT_TAR || base == ARCHIVE_FORMAT_CPIO ||
                             base == ARCHIVE_FORMAT_AR || base == ARCHIVE_FORMAT_ISO9660 ||
                             base == ARCHIVE_FORMAT_ZIP;
    const bool unfiltered = archive_filter_count(level.a) == 1;
    if (level.seekable && unfiltered && cheapFormat && !level.hash.active) {
        archive_read_data_skip(level.a);
        return false;
    }
    // The data of an uncompressed archive streamed out of another one is the outer archive's
    // data, counted as it was handed over.
    const bool counted = level.seekable || !unfiltered || base == ARCHIVE_FORMAT_ZIP;
    for (;;) {
        tick();
        if (stop_)
            return false;
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int r = archive_read_data_block(level.a, &block, &size, &offset);
        if (r == ARCHIVE_EOF)
            return true;
        if (r != ARCHIVE_OK && !(r == ARCHIVE_WARN && size > 0))
            return false;
        if (level.hash.active) {
            level.hash.feedZerosUpTo(offset > 0 ? static_cast<std::uint64_t>(offset) : 0);
            level.hash.feed(block, size);
        }
        if (const int cut = counted ? charge(*level.budget, size) : 0) {
            level.cutBy = cut;
            return false;
        }
    }
}

} // namespace

std::uint64_t fingerprintedBytes() {
    return bytesFingerprinted;
}

ReadOutcome readArchive(const char* path, RowSink& sink, int discId, int parentId,
                        const ReadRequest& request) {
    ReadOutcome outcome;
    if (!path)
        return outcome;
    // Opened without following a link and without blocking (a FIFO named like an archive
    // would otherwise wait for a writer forever); only a regular file is read.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return outcome;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return outcome;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ArchivePtr a = newArchive();
    if (a && archive_read_open_fd(a.get(), fd, blockSize) == ARCHIVE_OK) {
        Reader reader(sink, discId, request);
        outcome = reader.read(a.get(), static_cast<std::uint64_t>(info.st_size), parentId, true);
    }
    a.reset();
    ::close(fd);
    return outcome;
}

long readArchiveFile(const char* path, RowSink& sink, int discId, int parentId,
                     const ReaderLimits& limits) {
    ReadRequest request;
    request.limits = limits;
    return readArchive(path, sink, discId, parentId, request).stored;
}

long readArchiveMemory(const void* data, std::size_t size, RowSink& sink, int discId, int parentId,
                       const ReaderLimits& limits) {
    ArchivePtr a = newArchive();
    if (!a || archive_read_open_memory(a.get(), data, size) != ARCHIVE_OK)
        return -1;
    ReadRequest request;
    request.limits = limits;
    return Reader(sink, discId, request).read(a.get(), size, parentId, true).stored;
}

} // namespace tvk::plg
