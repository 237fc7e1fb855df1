// The commands that read the catalogue: discs, ls, search and export.
#include "browse/search_query.h"
#include "catalogue/connection.h"
#include "cli/catalogue_reads.h"
#include "cli/commands.h"
#include "indexing/disc_sources.h"
#include "lang/resource.h"
#include "platform/text.h"

#include <QDate>

#include <algorithm>
#include <cctype>
#include <climits>
#include <map>

namespace tvk::cli {

namespace {

// Text output has a header only for a person at a terminal.
bool textHeader(const GlobalOptions& options) {
    return options.format == Format::Text && stdoutIsTerminal();
}

Cell dateCell(const std::string& date) {
    return date.empty() ? nullCell() : textCell(date);
}

// The entry columns shared by ls, search and export, after those of the disc and path.
std::vector<Column> entryColumns() {
    return {Column{"type", IDS_CLI_COL_TYPE, false, 7}, Column{"size", IDS_CLI_COL_SIZE, true, 14},
            Column{"date", IDS_CLI_COL_DATE, false, 19}};
}

std::vector<Cell> entryCells(const EntryRow& entry) {
    return {textCell(typeWord(entry.type)), numberCell(entry.size), dateCell(entry.date)};
}

// The widths of a disc number and a disc name in streamed text, from every disc.
struct DiscWidths {
    int number = 4;
    int name = 4;
};

// Disc names by number, read once; the widths that fit them (names cut to 40 columns).
struct DiscNames {
    std::map<int, std::string> names;
    DiscWidths widths;
    bool load() {
        const auto discs = readDiscNames();
        if (!discs)
            return false;
        for (const DiscRow& disc : *discs) {
            names[disc.id] = disc.name;
            widths.number = std::max<int>(widths.number, int(std::to_string(disc.id).size()));
            widths.name =
                std::min(40, std::max<int>(widths.name, int(fromServerText(disc.name).size())));
        }
        return true;
    }
};

// The columns of a hit or an exported entry: disc, disc name, path, type, size, date. The path
// comes last in text, where it is not padded.
std::vector<Column> placedColumns(const GlobalOptions& options, const DiscWidths& widths) {
    std::vector<Column> columns{Column{"disc", IDS_CLI_COL_DISC, true, widths.number},
                                Column{"disc_name", IDS_CLI_COL_NAME, false, widths.name}};
    for (const Column& column : entryColumns())
        columns.push_back(column);
    columns.push_back(Column{"path", IDS_CLI_COL_PATH, false, 1});
    return columns;
}

std::vector<Cell> placedCells(const EntryRow& entry, const std::string& discName,
                              const std::string& path) {
    std::vector<Cell> cells{numberCell(entry.discId), nameCell(discName)};
    for (Cell& cell : entryCells(entry))
        cells.push_back(std::move(cell));
    cells.push_back(nameCell(path));
    return cells;
}

// An interruption during a listing: what was printed stays, the rest is not read.
int interruptedListing(Table& table) {
    table.finish();
    say(loadLangString(IDS_CLI_INTERRUPTED));
    return EXIT_INTERRUPTED;
}

// `text` as a disc number; none when it is not one.
std::optional<int> discNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    return std::stoi(text);
}

} // namespace

const char* typeWord(char type) {
    switch (type) {
    case 'R':
        return "dir";
    case 'Z':
        return "archive";
    default:
        return "file";
    }
}

char typeCode(const std::string& word) {
    if (word == "file")
        return 'F';
    if (word == "dir")
        return 'R';
    if (word == "archive")
        return 'Z';
    return 0;
}

std::optional<std::uint64_t> parseSize(const std::string& text) {
    std::string number = text;
    std::uint64_t unit = 1;
    if (!number.empty()) {
        switch (std::toupper(static_cast<unsigned char>(number.back()))) {
        case 'K':
            unit = 1024;
            break;
        case 'M':
            unit = 1024ull * 1024;
            break;
        case 'G':
            unit = 1024ull * 1024 * 1024;
            break;
        }
        if (unit != 1)
            number.pop_back();
    }
    if (number.empty() || number.size() > 19 ||
        !std::all_of(number.begin(), number.end(), [](unsigned char c) { return std::isdigit(c); }))
        return std::nullopt;
    const std::uint64_t value = std::stoull(number);
    if (value > std::uint64_t(LLONG_MAX) / unit)
        return std::nullopt;
    return value * unit;
}

std::optional<Day> parseDay(const std::string& text) {
    const QDate date =
        QDate::fromString(QString::fromStdString(text), QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid() || text.size() != 10)
        return std::nullopt;
    return Day{date.year(), date.month(), date.day()};
}

int listDiscs(const GlobalOptions& options) {
    const auto discs = readDiscs();
    if (!discs)
        return EXIT_CATALOGUE;
    Table table(stdout, options.format,
                {Column{"disc", IDS_CLI_COL_DISC, true, 0},
                 Column{"name", IDS_CLI_COL_NAME, false, 0},
                 Column{"entries", IDS_CLI_COL_ENTRIES, true, 0},
                 Column{"bytes", IDS_CLI_COL_BYTES, true, 0},
                 Column{"read_at", IDS_CLI_COL_READ_AT, false, 0},
                 Column{"source", IDS_CLI_COL_SOURCE, false, 0}},
                textHeader(options));
    for (const DiscRow& disc : *discs) {
        const std::optional<DiscSource> source = readDiscSource(disc.id);
        Cell where = nullCell();
        if (source && !source->path.empty())
            where = nameCell(source->host == thisHost() ? source->path
                                                        : source->host + ":" + source->path);
        table.row({numberCell(disc.id), nameCell(disc.name), numberCell(std::int64_t(disc.entries)),
                   numberCell(std::int64_t(disc.bytes)),
                   source ? dateCell(source->readAt) : nullCell(), where});
    }
    table.finish();
    return EXIT_DONE;
}

int listFolder(const GlobalOptions& options, const std::string& target) {
    const std::size_t colon = target.find(':');
    const std::optional<int> discId = discNumber(target.substr(0, colon));
    if (!discId) {
        say(langText(IDS_CLI_BAD_DISC, target.substr(0, colon).c_str()));
        return EXIT_USAGE;
    }
    if (!discName(*discId)) {
        say(langText(IDS_CLI_NO_DISC, *discId));
        return EXIT_NOTHING_FOUND;
    }
    const std::string path = colon == std::string::npos ? std::string() : target.substr(colon + 1);
    const std::optional<int> container = findContainer(catalogueConnection, *discId, path);
    if (!container) {
        say(langText(IDS_CLI_NO_SUCH_PATH, *discId, path.c_str()));
        return EXIT_NOTHING_FOUND;
    }
    std::vector<Column> columns = entryColumns();
    columns.push_back(Column{"name", IDS_CLI_COL_NAME, false, 1});
    Table table(stdout, options.format, columns, textHeader(options));
    const bool read = readChildren(*discId, *container, [&](const EntryRow& entry) {
        std::vector<Cell> cells = entryCells(entry);
        cells.push_back(nameCell(entry.name));
        table.row(cells);
    });
    const std::uint64_t rows = table.finish();
    if (!read)
        return EXIT_CATALOGUE;
    return rows ? EXIT_DONE : EXIT_NOTHING_FOUND;
}

int exportEntries(const GlobalOptions& options, std::optional<int> discId) {
    DiscNames discs;
    if (!discs.load())
        return EXIT_CATALOGUE;
    if (discId && !discs.names.count(*discId)) {
        say(langText(IDS_CLI_NO_DISC, *discId));
        return EXIT_NOTHING_FOUND;
    }
    Table table(stdout, options.format, placedColumns(options, discs.widths), textHeader(options));
    for (const auto& [id, name] : discs.names) {
        if (discId && id != *discId)
            continue;
        PathMap paths;
        if (!paths.load(catalogueConnection, id)) {
            table.finish();
            return EXIT_CATALOGUE;
        }
        const bool complete = streamDiscEntries(id, [&](const EntryRow& entry) {
            if (interrupted())
                return false;
            table.row(placedCells(entry, name, paths.pathOf(entry.parent, entry.name)));
            return true;
        });
        if (interrupted())
            return interruptedListing(table);
        if (!complete) {
            table.finish();
            return EXIT_CATALOGUE;
        }
    }
    table.finish();
    return EXIT_DONE;
}

namespace {

// `parts` with `separator` between them.
std::string joined(const std::vector<std::string>& parts, char separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (&part != &parts.front())
            text += separator;
        text += part;
    }
    return text;
}

// The request of the search dialog that the options describe: the words joined by one blank as
// the words field would hold them, the name patterns joined by ';' ("*" when there are none),
// the days as the date pickers would give them. Sets `error` to a usage message on bad input.
SearchRequest searchRequest(const SearchOptions& search, QString& error) {
    SearchRequest request;
    request.words = joined(search.words, ' ');
    request.names = search.names.empty() ? std::string("*") : joined(search.names, ';');
    if (search.from || search.to) {
        request.byDate = true;
        // An open end of the range reaches as far as the column does.
        request.firstDay = SearchDay{1000, 1, 1};
        request.lastDay = SearchDay{9999, 12, 31};
        for (const auto& [text, day] : {std::pair{&search.from, &request.firstDay},
                                        std::pair{&search.to, &request.lastDay}}) {
            if (!*text)
                continue;
            const std::optional<Day> parsed = parseDay(**text);
            if (!parsed) {
                error = langText(IDS_CLI_BAD_DATE, (*text)->c_str());
                return request;
            }
            *day = SearchDay{parsed->year, parsed->month, parsed->day};
        }
    }
    if (search.limit) {
        const std::string& limit = *search.limit;
        if (limit.empty() || limit.size() > std::size_t(SEARCH_LIMIT_MAX) ||
            !std::all_of(limit.begin(), limit.end(),
                         [](unsigned char c) { return std::isdigit(c); }))
            error = QString::fromStdString("--limit " + limit);
        request.limit = limit;
    }
    return request;
}

// The filters of the options the dialog does not have.
SearchFilters searchFilters(const SearchOptions& search, QString& error) {
    SearchFilters filters;
    if (search.disc)
        filters.discId = *search.disc;
    if (search.type)
        filters.type = typeCode(*search.type);
    for (const auto& [text, size] : {std::pair{&search.minSize, &filters.minSize},
                                     std::pair{&search.maxSize, &filters.maxSize}}) {
        if (!*text)
            continue;
        *size = parseSize(**text);
        if (!*size)
            error = langText(IDS_CLI_BAD_SIZE, (*text)->c_str());
    }
    return filters;
}

} // namespace

int search(const GlobalOptions& options, const SearchOptions& search) {
    QString error;
    const SearchRequest request = searchRequest(search, error);
    const SearchFilters filters = searchFilters(search, error);
    if (!error.isEmpty()) {
        say(error);
        return EXIT_USAGE;
    }
    DiscNames discs;
    if (!discs.load())
        return EXIT_CATALOGUE;
    const std::string statement =
        buildFilteredSearchQuery(escapeSearchRequest(catalogueConnection, request), filters);
    MYSQL* second = openSecondConnection();
    HitPaths paths(second);
    Table table(stdout, options.format, placedColumns(options, discs.widths), textHeader(options));
    const bool complete = streamSearch(statement, [&](const EntryRow& hit) {
        if (interrupted())
            return false;
        const auto name = discs.names.find(hit.discId);
        table.row(placedCells(hit, name == discs.names.end() ? std::string() : name->second,
                              paths.pathOf(hit.discId, hit.parent, hit.name)));
        return true;
    });
    if (second)
        mysql_close(second);
    if (interrupted())
        return interruptedListing(table);
    const std::uint64_t hits = table.finish();
    if (!complete)
        return EXIT_CATALOGUE;
    return hits ? EXIT_DONE : EXIT_NOTHING_FOUND;
}

} // namespace tvk::cli
