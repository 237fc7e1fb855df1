// Fingerprinting local files against a plain read of the same files, in the same run: a folder
// of large files (in the page cache after the first pass, the hardest case for the hash: no
// disc is slower than this) read whole by read(2) in the same block size, vs fingerprintFile.
// Best of several interleaved runs; exits 1 when the fingerprint's rate falls below 0.9 of the
// plain read's.
#include "bench/bench_support.h"
#include "indexing/fingerprint.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int FILES = 4;
constexpr std::size_t FILE_BYTES = 256u << 20;
constexpr std::size_t BLOCK = 1u << 20;
constexpr int RUNS = 5;

bool makeFile(const std::string& path, unsigned seed) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::vector<std::uint64_t> block(BLOCK / 8);
    std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
    bool ok = true;
    for (std::size_t written = 0; ok && written < FILE_BYTES; written += BLOCK) {
        for (std::uint64_t& word : block) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            word = x;
        }
        ok = ::write(fd, block.data(), BLOCK) == static_cast<ssize_t>(BLOCK);
    }
    return ::close(fd) == 0 && ok;
}

// The floor: every byte read into user memory, nothing more.
std::uint64_t plainRead(const std::vector<std::string>& files) {
    static std::unique_ptr<char[]> buffer(new char[BLOCK]);
    std::uint64_t total = 0;
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ssize_t n;
        while ((n = ::read(fd, buffer.get(), BLOCK)) > 0)
            total += static_cast<std::uint64_t>(n) + static_cast<unsigned char>(buffer[0]) * 0;
        ::close(fd);
    }
    return total;
}

// Drops the files from the page cache, so that the next pass reads them from the disk.
void dropFromCache(const std::vector<std::string>& files) {
    for (const std::string& path : files) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

std::uint64_t fingerprinted(const std::vector<std::string>& files) {
    std::uint64_t total = 0;
    for (const std::string& path : files) {
        const tvk::FileFingerprint read = tvk::fingerprintFile(path);
        if (read.state != tvk::FileReadState::Read)
            std::fprintf(stderr, "unreadable: %s\n", path.c_str());
        total += read.size + read.hash[0] * 0;
    }
    return total;
}

} // namespace

int main() {
    QTemporaryDir dir(QDir::tempPath() + "/tavisk-bench-fp-XXXXXX");
    std::vector<std::string> files;
    for (int i = 0; i < FILES; ++i) {
        files.push_back(dir.path().toStdString() + "/large-" + std::to_string(i));
        if (!makeFile(files.back(), unsigned(i))) {
            std::fprintf(stderr, "could not write %s\n", files.back().c_str());
            return 2;
        }
    }
    std::uint64_t bytes = 0;
    const auto cold = [&] { dropFromCache(files); };
    // From the disk: what indexing a disc or a folder meets.
    tvk::bench::Timed floor{[&] { bytes = plainRead(files); }, cold};
    tvk::bench::Timed ours{[&] { fingerprinted(files); }, cold};
    tvk::bench::measure(floor, ours, RUNS);
    // From the page cache: the hash's own cost laid bare (no disc is this fast).
    tvk::bench::Timed warmFloor{[&] { bytes = plainRead(files); }, {}};
    tvk::bench::Timed warmOurs{[&] { fingerprinted(files); }, {}};
    plainRead(files);
    tvk::bench::measure(warmFloor, warmOurs, RUNS);
    const auto show = [&](const char* what, const tvk::bench::Timed& f,
                          const tvk::bench::Timed& o) {
        std::printf("%s, %d files of %zu MiB: plain read %.0f ms (%.2f GB/s), fingerprint %.0f ms "
                    "(%.2f GB/s), rate ratio %.2f\n",
                    what, FILES, FILE_BYTES >> 20, f.bestMs, bytes / f.bestMs / 1e6, o.bestMs,
                    bytes / o.bestMs / 1e6, f.bestMs / o.bestMs);
        return f.bestMs / o.bestMs;
    };
    const double ratio = show("from the disk", floor, ours);
    show("from the page cache", warmFloor, warmOurs);
    std::printf("target: from the disk, rate ratio >= 0.90\n");
    return ratio >= 0.9 ? 0 : 1;
}
