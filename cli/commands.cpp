// The commands that change the catalogue: add, update and delete. They take the same decisions as
// the window's New, Update and Delete; where the window asks, they refuse unless told to go on.
#include "cli/commands.h"
#include "catalogue/connection.h"
#include "cli/catalogue_reads.h"
#include "indexing/disc_checks.h"
#include "indexing/indexing_options.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "lang/resource.h"

#include <sys/stat.h>

#include <filesystem>
#include <iostream>

namespace tvk::cli {

namespace {

// What PATH names: a folder, or a regular file taken as a disc image; 0 when neither.
char sourceKind(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    if (S_ISDIR(info.st_mode))
        return SOURCE_FOLDER;
    return S_ISREG(info.st_mode) ? SOURCE_IMAGE : 0;
}

// `path` made absolute (not resolved: a mount point stays what it is), without a final '/'.
std::string absolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return withoutSlash(error ? path : absolute.lexically_normal().string());
}

// The image check, stopped by Ctrl+C; its result as checkImage gives it.
int checkImageStoppable(const std::string& image) {
    const TvkPlgCallbacks stopping{[](void*) { return interrupted() ? 1 : 0; }, nullptr, nullptr};
    taviskPlg_set_callbacks(&stopping);
    const int check = checkImage(image);
    taviskPlg_set_callbacks(nullptr);
    return check;
}

// Checks the source `path` of kind `kind` before it is read: an image must be read whole. Its
// entries (0 for a folder that holds something, or -1 when it holds nothing), or the exit code
// after saying why it is refused.
struct CheckedSource {
    int exitCode = EXIT_DONE;
    bool empty = false;
};
CheckedSource checkSource(char kind, const std::string& path) {
    if (kind == 0) {
        const QByteArray name = shownPath(path);
        say(langText(IDS_CLI_SOURCE_UNREADABLE, name.constData()));
        return {EXIT_SOURCE, false};
    }
    if (kind == SOURCE_FOLDER)
        return {EXIT_DONE, folderHoldsNothing(path)};
    const int check = checkImageStoppable(path);
    if (interrupted()) {
        say(loadLangString(IDS_CLI_INTERRUPTED));
        return {EXIT_INTERRUPTED, false};
    }
    if (check < 0) {
        const QByteArray name = shownPath(path);
        say(langText(check == PARCOURE_DAMAGED ? IDS_DAMAGED_IMAGE : IDS_NOT_AN_IMAGE,
                     name.constData()));
        return {EXIT_SOURCE, false};
    }
    return {EXIT_DONE, check == 0};
}

VolumeInformation volumeOf(char kind, const std::string& path) {
    return kind == SOURCE_FOLDER ? folderVolume(path) : imageVolume(path);
}

// Reads `path` (of kind `kind`, giving `volume`) as disc `discId` (-1: a new disc) under
// `label`, reporting to a progress line; the source recorded. Fills `summary`.
int readSource(char kind, const std::string& path, const VolumeInformation& volume,
               const std::string& label, int discId, bool fingerprint, IndexSummary& summary) {
    // Fingerprints when asked for, else as the window's indexing options say for the kind.
    const IndexingOptions options = readIndexingOptions();
    fingerprint = fingerprint ||
                  (kind == SOURCE_FOLDER ? options.fingerprintFolders : options.fingerprintImages);
    CliSink sink;
    const int result =
        kind == SOURCE_FOLDER
            ? indexVolume(folderRoot(path), label, discId, sink, summary, fingerprint)
            : indexImage(path, label, discId, sink, summary, fingerprint);
    sink.done();
    // The source is recorded as it is, whatever name the disc was given, so that an update
    // finds the same volume again.
    recordSource(discId == -1 ? result : discId, describeSource(kind, path, volume), summary);
    return result;
}

// The lines that end a reading that stored disc `discId`: the entries it holds and whatever
// was left out.
void sayStored(const IndexSummary& summary, int discId) {
    say(langText(IDS_ENTRIES_STORED, digits(summary.entries).c_str()));
    if (summary.leftOut())
        say(leftOutText(summary, discId));
}

// The exit code of a reading that did not store its disc, or wrote only part of it.
int failedReading(const IndexSummary& summary) {
    return summary.imageRefused ? EXIT_SOURCE : EXIT_CATALOGUE;
}

} // namespace

int addDisc(const GlobalOptions&, const AddOptions& add) {
    const std::string path = absolutePath(add.path);
    const char kind = sourceKind(path);
    const CheckedSource checked = checkSource(kind, path);
    if (checked.exitCode != EXIT_DONE)
        return checked.exitCode;
    const VolumeInformation volume = volumeOf(kind, path);
    const std::string label = add.name ? *add.name : volume.label;
    // The window offers to update a disc read from the same source; here it is only noted.
    if (const auto recorded = findRecordedDisc(describeSource(kind, path, volume))) {
        const QByteArray name = shownPath(path);
        const QByteArray disc = shownText(recorded->name);
        say(langText(IDS_CLI_ALREADY_CATALOGUED, name.constData(), recorded->discId,
                     disc.constData()));
    }
    IndexSummary summary;
    const int result = readSource(kind, path, volume, label, -1, add.fingerprint, summary);
    if (summary.stopped) {
        say(loadLangString(IDS_CLI_ADD_STOPPED));
        return EXIT_INTERRUPTED;
    }
    if (result <= 0)
        return failedReading(summary);
    std::printf("%d\n", result);
    std::fflush(stdout);
    const QByteArray shownLabel = shownText(label);
    say(langText(kind == SOURCE_FOLDER ? IDS_FOLDER_ADDED : IDS_IMAGE_ADDED, shownLabel.constData(),
                 result));
    sayStored(summary, result);
    return summary.writeFailed ? EXIT_CATALOGUE : EXIT_DONE;
}

namespace {

// The recorded source of disc `discId` as the source of an update without PATH: its kind and
// path, or the exit code after saying why it cannot be read again. A source that holds another
// volume now goes on to the wrong-disc check.
struct RecordedSource {
    int exitCode = EXIT_DONE;
    char kind = 0;
    std::string path;
};
RecordedSource recordedSource(int discId, const std::optional<DiscSource>& recorded) {
    if (!recorded || recorded->path.empty()) {
        say(langText(IDS_CLI_NO_RECORDED_SOURCE, discId));
        return {EXIT_USAGE, 0, {}};
    }
    // A drive's mount point is read again as a folder.
    DiscSource source = *recorded;
    if (source.kind == SOURCE_DRIVE)
        source.kind = SOURCE_FOLDER;
    const unsigned why = whyNotOffered(source);
    if (why != 0 && why != IDS_SOURCE_OTHER_VOLUME) {
        const QByteArray path = shownPath(source.path);
        const QByteArray host = shownText(source.host);
        say(langText(why, discId, path.constData(), host.constData()));
        return {EXIT_SOURCE, 0, {}};
    }
    return {EXIT_DONE, source.kind, source.path};
}

} // namespace

int updateDisc(const GlobalOptions&, const UpdateOptions& update) {
    const int discId = update.discId;
    if (!discName(discId)) {
        say(langText(IDS_CLI_NO_DISC, discId));
        return EXIT_NOTHING_FOUND;
    }
    const std::optional<DiscSource> recorded = readDiscSource(discId);
    std::string path;
    char kind = 0;
    if (update.path) {
        path = absolutePath(*update.path);
        kind = sourceKind(path);
    } else {
        const RecordedSource source = recordedSource(discId, recorded);
        if (source.exitCode != EXIT_DONE)
            return source.exitCode;
        path = source.path;
        kind = source.kind;
    }
    const CheckedSource checked = checkSource(kind, path);
    if (checked.exitCode != EXIT_DONE)
        return checked.exitCode;
    const VolumeInformation volume = volumeOf(kind, path);
    if (recorded && isAnotherDisc(*recorded, volume) && !update.force) {
        const QByteArray name = shownPath(path);
        const QByteArray label = shownText(volume.label);
        const QByteArray recordedLabel = shownText(recorded->label);
        say(langText(IDS_CLI_WRONG_DISC, name.constData(), label.constData(), discId,
                     recordedLabel.constData()));
        return EXIT_SOURCE;
    }
    if (const std::uint64_t lost = entriesLostToEmptySource(discId, checked.empty);
        lost != 0 && !update.force) {
        const QByteArray name = shownPath(path);
        say(langText(IDS_CLI_WOULD_EMPTY, name.constData(), discId, digits(lost).c_str()));
        return EXIT_SOURCE;
    }
    IndexSummary summary;
    const int result =
        readSource(kind, path, volume, volume.label, discId, update.fingerprint, summary);
    if (summary.stopped) {
        say(langText(IDS_UPDATE_STOPPED, discId, digits(summary.entries).c_str()));
        return EXIT_INTERRUPTED;
    }
    if (result <= 0)
        return failedReading(summary);
    const QByteArray name = shownPath(path);
    say(langText(IDS_CLI_DISC_UPDATED, discId, name.constData()));
    sayStored(summary, discId);
    return summary.writeFailed ? EXIT_CATALOGUE : EXIT_DONE;
}

namespace {

// Asks on the terminal whether to delete; true for an answer that starts with y or o (oui).
bool confirmedOnTerminal(int discId, const std::string& name) {
    const QByteArray shown = shownText(name);
    const std::string entries = digits(countDiscEntries(discId).value_or(0));
    std::fputs(langText(IDS_CLI_ASK_DELETE, discId, shown.constData(), entries.c_str())
                   .toUtf8()
                   .constData(),
               stderr);
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer) || answer.empty())
        return false;
    const char first = char(std::tolower(static_cast<unsigned char>(answer[0])));
    return first == 'y' || first == 'o';
}

} // namespace

int deleteDisc(const GlobalOptions&, int discId, bool yes) {
    const std::optional<std::string> name = discName(discId);
    if (!name) {
        say(langText(IDS_CLI_NO_DISC, discId));
        return EXIT_NOTHING_FOUND;
    }
    if (!yes) {
        if (!stdinIsTerminal()) {
            say(langText(IDS_CLI_DELETE_NEEDS_YES, discId));
            return EXIT_USAGE;
        }
        if (!confirmedOnTerminal(discId, *name))
            return interrupted() ? EXIT_INTERRUPTED : EXIT_NOTHING_FOUND;
    }
    if (!deleteDiscRows(discId)) {
        sayCatalogueError();
        return EXIT_CATALOGUE;
    }
    // The record of where the disc came from goes after it.
    if (!forgetDiscSource(discId))
        sayCatalogueError();
    say(langText(IDS_CLI_DISC_DELETED, discId));
    return EXIT_DONE;
}

} // namespace tvk::cli
