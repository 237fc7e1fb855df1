// Verifying a disc: what the catalogue holds of it against what reading it again gives.
// The comparison is a pure function over records; reading a folder or mounted disc again is a
// walk of its own. Texts are the caller's: the report is records, and its text form takes the
// caller's words.
#pragma once

#include "catalogue/fingerprints.h"
#include "indexing/fingerprint.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tvk {

// An entry as the disc gives it now. `path` and `date` as DiscEntry has them (the path from the
// disc's root, "/" between names; the date "YYYY-MM-DD HH:MM:SS" UTC, empty when unknown).
// `readable` false: the entry (a file's contents, or a folder's listing) could not be read.
struct RereadEntry {
    std::string path;
    char type = 'F';
    std::uint64_t size = 0;
    std::string date;
    bool readable = true;
    bool hashed = false;
    ContentHash hash{};
};

enum class VerifyKind { Unchanged, Changed, Unreadable, Missing, New };
constexpr std::size_t VERIFY_KINDS = 5;

struct VerifyItem {
    VerifyKind kind = VerifyKind::Unchanged;
    std::string path;
    // For Changed: what differs.
    bool typeDiffers = false;
    bool sizeDiffers = false;
    bool dateDiffers = false;
    bool contentsDiffer = false;
};

struct VerifyReport {
    std::vector<VerifyItem> items;                  // in path order
    std::array<std::size_t, VERIFY_KINDS> counts{}; // by VerifyKind
};

// Compares the catalogue's entries of a disc with the same disc read again. Entries are paired
// by path (the k-th of a path with the k-th of the same path, for archives that repeat a name).
// A pair is Unreadable when the disc could not give the entry; Changed when the type differs,
// or for files the size, the date (when both are known) or the contents (when both have a
// fingerprint); otherwise Unchanged. An entry only in the catalogue is Missing, unless a folder
// above it could not be listed (then Unreadable); one only on the disc is New.
VerifyReport compareDisc(const std::vector<DiscEntry>& catalogue,
                         const std::vector<RereadEntry>& disc);

// Reads the folder or mounted disc at `root` again as the scanner walks it (links not followed,
// never onto another file system): every folder and file below it with its path from `root`,
// type ('R', 'Z' for names the archive library reads, 'F'), size, date and, when `hash`, the
// fingerprint of each file; the contents of each archive follow it (read by the archive
// library). Files and folders that cannot be read are entries with `readable` false; the walk
// goes on. `progress` as for fingerprintFile, per file; a stop ends the walk.
std::vector<RereadEntry> rereadFolder(const std::string& root, bool hash,
                                      const ReadProgress& progress = {});

// Reads the disc image `image` again as the disc it holds (through the archive library, with
// the archives inside), fingerprinting each file when `hash`. Returns the library's result: the
// number of entries, or PARCOURE_UNREADABLE, PARCOURE_DAMAGED (the entries read are given),
// PARCOURE_STOPPED (by the library's progress callback).
int rereadImage(const std::string& image, bool hash, std::vector<RereadEntry>& entries);

// The report as lines of text: each item that is not Unchanged as "<word>\t<path>", then one
// line "<word>\t<count>" for each kind. `words` are the caller's, by VerifyKind.
std::string verifyReportText(const VerifyReport& report,
                             const std::array<std::string, VERIFY_KINDS>& words);

} // namespace tvk
