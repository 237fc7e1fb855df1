// The same ISO image put into the catalogue twice, side by side: read in place by the archive
// library (New from a disc image) and walked through a fuseiso mount (the drive path), on a
// private catalogue server. Reports both times and rows; the mount is skipped, saying so, where
// FUSE is not usable. Best of interleaved runs.
#include "bench/bench_program.h"
#include "indexing/scanner.h"

#include <QApplication>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

using tvk::bench::run;

constexpr int RUNS = 3;
constexpr int FOLDERS = 200;
constexpr int FILES_PER_FOLDER = 100;
constexpr int ARCHIVE_EVERY = 20; // folders

// A folder of FOLDERS folders of FILES_PER_FOLDER files, a zip every ARCHIVE_EVERY folders,
// made into an ISO image with genisoimage.
bool makeImage(const std::string& work, const std::string& image) {
    const std::string source = work + "/source";
    ::mkdir(source.c_str(), 0755);
    for (int f = 0; f < FOLDERS; ++f) {
        const std::string folder = source + "/folder " + std::to_string(f);
        ::mkdir(folder.c_str(), 0755);
        for (int i = 0; i < FILES_PER_FOLDER; ++i)
            std::ofstream(folder + "/file_" + std::to_string(i) + ".txt") << i;
        if (f % ARCHIVE_EVERY == 0 &&
            std::system(("cd '" + folder + "' && zip -q -r pack.zip . -i '*.txt'").c_str()) != 0)
            return false;
    }
    return std::system(("genisoimage -quiet -R -J -V BENCHISO -o '" + image + "' '" + source +
                        "' && rm -rf '" + source + "'")
                           .c_str()) == 0;
}

long long rowsOf(MYSQL* c, int disc) {
    if (mysql_query(c,
                    ("select count(*) from fic_fichiers where fic_cd_id = " + std::to_string(disc))
                        .c_str()) != 0)
        return -1;
    MYSQL_RES* result = mysql_store_result(c);
    MYSQL_ROW row = mysql_fetch_row(result);
    const long long count = row && row[0] ? std::atoll(row[0]) : -1;
    mysql_free_result(result);
    return count;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char pattern[] = "/tmp/tavisk-bench-image-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    const std::string work = pattern;
    const std::string image = work + "/bench.iso";
    std::printf("making the image...\n");
    std::fflush(stdout);
    if (!makeImage(work, image)) {
        std::fprintf(stderr, "could not make the image (zip and genisoimage are needed)\n");
        return 2;
    }
    tvk::bench::ProgramCatalogue catalogue;
    if (!catalogue.open())
        return 2;
    MYSQL* c = catalogue.connection;

    const std::string mountPoint = work + "/mnt";
    ::mkdir(mountPoint.c_str(), 0755);
    const bool mounted = ::access("/dev/fuse", R_OK | W_OK) == 0 &&
                         std::system(("fuseiso '" + image + "' '" + mountPoint + "'").c_str()) == 0;
    if (!mounted)
        std::printf("the fuseiso mount is skipped: FUSE is not usable here\n");

    double bestImage = 1e9, bestMount = 1e9;
    long long imageRows = 0, mountRows = 0;
    for (int runIndex = 0; runIndex < RUNS; ++runIndex) {
        if (!catalogue.empty())
            return 2;
        auto start = std::chrono::steady_clock::now();
        const int fromImage = tvk::indexImage(image, "BENCHISO", -1, nullptr);
        const double imageTime = tvk::bench::secondsSince(start);
        imageRows = rowsOf(c, fromImage);
        bestImage = std::min(bestImage, imageTime);
        std::printf("run %d: image %.3f s (%lld rows)", runIndex + 1, imageTime, imageRows);
        if (mounted) {
            if (!catalogue.empty())
                return 2;
            start = std::chrono::steady_clock::now();
            const int fromMount = tvk::indexVolume(mountPoint + "/", "BENCHISO", -1, nullptr);
            const double mountTime = tvk::bench::secondsSince(start);
            mountRows = rowsOf(c, fromMount);
            bestMount = std::min(bestMount, mountTime);
            std::printf(", fuseiso mount %.3f s (%lld rows)", mountTime, mountRows);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    if (mounted)
        std::system(("fusermount -u '" + mountPoint + "'").c_str());
    std::printf("from the image: %.3f s, %.0f rows/s\n", bestImage, imageRows / bestImage);
    if (mounted)
        std::printf("from the mount: %.3f s, %.0f rows/s (the image takes %.2f of the mount's "
                    "time)\n",
                    bestMount, mountRows / bestMount, bestImage / bestMount);
    std::system(("rm -rf '" + work + "/mnt' '" + image + "'").c_str());
    return mounted && imageRows != mountRows ? 1 : 0;
}
