// The commands of the content fingerprints: duplicates across every disc, the discs that hold
// files of this machine, and the verification of a disc against what reading it again gives.
// They read the catalogue only.
#include "cli/commands.h"

#include "catalogue/connection.h"
#include "catalogue/fingerprints.h"
#include "cli/catalogue_reads.h"
#include "indexing/disc_checks.h"
#include "indexing/fingerprint.h"
#include "indexing/plg_api.h"
#include "indexing/verify.h"
#include "lang/resource.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace tvk::cli {

namespace {

// The columns shared by the lines that name an entry of a disc.
std::vector<Column> holderColumns() {
    return {Column{"disc", IDS_CLI_COL_DISC, true, 0},
            Column{"disc_name", IDS_CLI_COL_NAME, false, 0},
            Column{"path", IDS_CLI_COL_PATH, false, 0}};
}

// A path in a disc as search and export print it: from the disc's root, with a leading '/'.
Cell discPathCell(const std::string& path) {
    return nameCell("/" + path);
}

std::vector<Cell> holderCells(const CatalogueFile& file) {
    return {numberCell(file.discId), nameCell(file.discName), discPathCell(file.path)};
}

std::vector<Cell> noHolderCells() {
    return {nullCell(), nullCell(), nullCell()};
}

// A local path as the rows show it: UTF-8 when it is, else decoded as the locale's file names
// are, its bytes kept for JSON.
Cell localPathCell(const std::string& path) {
    Cell cell = textCell(QFile::decodeName(QByteArray::fromStdString(path)).toStdString());
    if (cell.text != path)
        cell.bytes = path;
    return cell;
}

std::string lower(const QString& text) {
    return text.toLower().toStdString();
}

// Progress of a long reading: nothing shown, Ctrl+C stops it.
bool goOn(std::uint64_t) {
    return !interrupted();
}

// The folder or image to read disc `discId` again from: `path` when given, else its recorded
// source. Empty after saying why there is none.
std::string verifySource(int discId, const std::optional<std::string>& path, bool& image) {
    std::string source;
    if (path) {
        std::error_code error;
        source = std::filesystem::absolute(*path, error).lexically_normal().string();
        if (error)
            source = *path;
    } else if (const std::optional<DiscSource> recorded = readDiscSource(discId);
               recorded && recorded->host == thisHost()) {
        source = recorded->path;
    }
    struct stat info {};
    if (source.empty()) {
        say(langText(IDS_CLI_NO_RECORDED_SOURCE, discId));
        return {};
    }
    if (::stat(source.c_str(), &info) != 0 || (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode))) {
        const QByteArray name = shownPath(source);
        say(langText(IDS_CLI_SOURCE_UNREADABLE, name.constData()));
        return {};
    }
    image = S_ISREG(info.st_mode);
    return source;
}

} // namespace

int listDuplicates(const GlobalOptions& options, const std::optional<std::string>& minSize) {
    std::uint64_t least = 1;
    if (minSize) {
        const std::optional<std::uint64_t> size = parseSize(*minSize);
        if (!size) {
            say(langText(IDS_CLI_BAD_SIZE, minSize->c_str()));
            return EXIT_USAGE;
        }
        least = std::max<std::uint64_t>(*size, 1);
    }
    std::vector<DuplicateGroup> groups;
    if (!findDuplicates(catalogueConnection, least, groups)) {
        sayCatalogueError();
        return EXIT_CATALOGUE;
    }
    std::vector<Column> columns{
        Column{"group", IDS_CLI_COL_GROUP, true, 0}, Column{"size", IDS_CLI_COL_SIZE, true, 0},
        Column{"copies", IDS_CLI_COL_COPIES, true, 0},
        Column{"wasted", IDS_CLI_COL_WASTED, true, 0}, Column{"same", IDS_CLI_COL_MATCH, false, 0}};
    for (const Column& column : holderColumns())
        columns.push_back(column);
    Table table(stdout, options.format, columns, true);
    const std::string byContents = lower(loadLangString(IDS_CLI_MATCH_CONTENTS));
    const std::string byName = lower(loadLangString(IDS_CLI_MATCH_NAME));
    std::int64_t number = 0;
    for (const DuplicateGroup& group : groups) {
        ++number;
        for (const CatalogueFile& member : group.members) {
            std::vector<Cell> cells{numberCell(number), numberCell(std::int64_t(group.size)),
                                    numberCell(std::int64_t(group.members.size())),
                                    numberCell(std::int64_t(group.waste())),
                                    textCell(group.byName ? byName : byContents)};
            for (Cell& cell : holderCells(member))
                cells.push_back(std::move(cell));
            table.row(cells);
        }
    }
    table.finish();
    if (groups.empty()) {
        say(loadLangString(IDS_FP_NO_DUPLICATES));
        return EXIT_NOTHING_FOUND;
    }
    return EXIT_DONE;
}

int whichFiles(const GlobalOptions& options, const std::vector<std::string>& paths) {
    WhichReport report;
    if (!findOnDiscs(catalogueConnection, paths, report, goOn)) {
        sayCatalogueError();
        return EXIT_CATALOGUE;
    }
    std::vector<Column> columns{Column{"file", IDS_CLI_COL_FILE, false, 0},
                                Column{"size", IDS_CLI_COL_SIZE, true, 0},
                                Column{"state", IDS_CLI_COL_STATE, false, 0}};
    for (const Column& column : holderColumns())
        columns.push_back(column);
    Table table(stdout, options.format, columns, true);
    const std::string onDisc = lower(loadLangString(IDS_CLI_ON_DISC));
    const std::string onNoDisc = lower(loadLangString(IDS_FP_ON_NO_DISC));
    const std::string unreadable = lower(loadLangString(IDS_CLI_UNREADABLE));
    for (const WhichFile& file : report.files) {
        const std::vector<Cell> head{localPathCell(file.path), numberCell(std::int64_t(file.size)),
                                     textCell(file.state == WhichState::OnDiscs    ? onDisc
                                              : file.state == WhichState::OnNoDisc ? onNoDisc
                                                                                   : unreadable)};
        const auto write = [&](std::vector<Cell> tail) {
            std::vector<Cell> cells = head;
            for (Cell& cell : tail)
                cells.push_back(std::move(cell));
            table.row(cells);
        };
        if (file.holders.empty())
            write(noHolderCells());
        for (const CatalogueFile& holder : file.holders)
            write(holderCells(holder));
    }
    table.finish();
    for (const auto& [folder, error] : report.unreadableFolders) {
        const QByteArray name = shownPath(folder);
        say(langText(IDS_FP_FOLDER_NOT_READ, name.constData(), std::strerror(error)));
    }
    say(langText(IDS_FP_FILES_ON_DISCS, digits(report.filesOnDiscs).c_str(),
                 digits(report.files.size()).c_str(), digits(report.bytesOnDiscs).c_str(),
                 digits(report.bytesTotal).c_str()));
    if (interrupted())
        return EXIT_INTERRUPTED;
    // Every file on a disc (a folder that may go): 0; any file on none, or unread: 1.
    return report.filesOnDiscs == report.files.size() && report.unreadableFolders.empty()
               ? EXIT_DONE
               : EXIT_NOTHING_FOUND;
}

int verifyDisc(const GlobalOptions& options, int discId, const std::optional<std::string>& path) {
    if (!discName(discId)) {
        say(langText(IDS_CLI_NO_DISC, discId));
        return EXIT_USAGE;
    }
    bool image = false;
    const std::string source = verifySource(discId, path, image);
    if (source.empty())
        return EXIT_SOURCE;
    std::vector<DiscEntry> catalogue;
    if (!discEntries(catalogueConnection, discId, catalogue)) {
        sayCatalogueError();
        return EXIT_CATALOGUE;
    }
    // Every byte is read: a file that cannot be read is what an ageing disc shows first.
    std::vector<RereadEntry> disc;
    if (image) {
        const TvkPlgCallbacks stopping{[](void*) { return interrupted() ? 1 : 0; }, nullptr,
                                       nullptr};
        taviskPlg_set_callbacks(&stopping);
        const int read = rereadImage(source, true, disc);
        taviskPlg_set_callbacks(nullptr);
        if (read < 0 && read != PARCOURE_DAMAGED && read != PARCOURE_STOPPED) {
            const QByteArray name = shownPath(source);
            say(langText(IDS_NOT_AN_IMAGE, name.constData()));
            return EXIT_SOURCE;
        }
    } else {
        disc = rereadFolder(source, true, goOn);
    }
    if (interrupted()) {
        say(loadLangString(IDS_CLI_INTERRUPTED));
        return EXIT_INTERRUPTED;
    }
    const VerifyReport report = compareDisc(catalogue, disc);
    Table table(
        stdout, options.format,
        {Column{"state", IDS_CLI_COL_STATE, false, 0}, Column{"path", IDS_CLI_COL_PATH, false, 0}},
        true);
    for (const VerifyItem& item : report.items)
        if (item.kind != VerifyKind::Unchanged)
            table.row(
                {textCell(lower(loadLangString(IDS_FP_VERIFY_UNCHANGED + unsigned(item.kind)))),
                 discPathCell(item.path)});
    table.finish();
    const auto& n = report.counts;
    say(langText(IDS_FP_VERIFY_SUMMARY, digits(n[0]).c_str(), digits(n[1]).c_str(),
                 digits(n[2]).c_str(), digits(n[3]).c_str(), digits(n[4]).c_str()));
    // The disc as the catalogue holds it: 0; any difference: 1.
    return n[0] == report.items.size() ? EXIT_DONE : EXIT_NOTHING_FOUND;
}

} // namespace tvk::cli
