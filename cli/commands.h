// The commands of tavisk-cli. Each returns the process's exit code (session.h); the catalogue is
// open when they are called.
#pragma once

#include "cli/session.h"

#include <optional>
#include <string>
#include <vector>

namespace tvk::cli {

struct AddOptions {
    std::string path;
    std::optional<std::string> name;
    bool fingerprint = false; // fingerprint every file, whatever the indexing options say
};

struct UpdateOptions {
    int discId = 0;
    std::optional<std::string> path;
    bool force = false;
    bool fingerprint = false;
};

struct SearchOptions {
    std::vector<std::string> words;
    std::vector<std::string> names;
    std::optional<std::string> from; // YYYY-MM-DD
    std::optional<std::string> to;
    std::optional<std::string> limit;
    std::optional<int> disc;
    std::optional<std::string> type; // file, dir, archive
    std::optional<std::string> minSize;
    std::optional<std::string> maxSize;
};

int listDiscs(const GlobalOptions& options);
int addDisc(const GlobalOptions& options, const AddOptions& add);
int updateDisc(const GlobalOptions& options, const UpdateOptions& update);
int deleteDisc(const GlobalOptions& options, int discId, bool yes);
// `target` is "N" or "N:/path/in/disc".
int listFolder(const GlobalOptions& options, const std::string& target);
int search(const GlobalOptions& options, const SearchOptions& search);
// `discId` none: every disc.
int exportEntries(const GlobalOptions& options, std::optional<int> discId);

// The groups of files with the same contents across every disc, the most wasteful first, one
// row per file; nothing found: EXIT_NOTHING_FOUND. `minSize` as parseSize takes it.
int listDuplicates(const GlobalOptions& options, const std::optional<std::string>& minSize);
// For each local file (folders walked for theirs), the entries of the discs that hold the same
// contents. EXIT_DONE when every file is on a disc, EXIT_NOTHING_FOUND when any is not.
int whichFiles(const GlobalOptions& options, const std::vector<std::string>& paths);
// Reads disc `discId` again from `path` (else its recorded folder or image) and prints every
// entry that is not unchanged. EXIT_DONE when the disc is as catalogued, EXIT_NOTHING_FOUND when
// anything differs or cannot be read; nothing in the catalogue changes.
int verifyDisc(const GlobalOptions& options, int discId, const std::optional<std::string>& path);

// A size as the options take it: decimal bytes, or followed by K, M or G (1024-based, upper or
// lower case); none when it is not one or does not fit 64 bits.
std::optional<std::uint64_t> parseSize(const std::string& text);

// A day "YYYY-MM-DD" that exists in the calendar; none otherwise.
struct Day {
    int year = 0, month = 0, day = 0;
};
std::optional<Day> parseDay(const std::string& text);

// The word an entry type is shown with ("file", "dir", "archive"), and back (0: none such).
const char* typeWord(char type);
char typeCode(const std::string& word);

// Runs tavisk-cli with its arguments; returns the exit code.
int runCli(int argc, char** argv);

} // namespace tvk::cli
