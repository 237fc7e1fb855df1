#include "browse/search_query.h"

#include "platform/text.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace tvk {

namespace {

// The head of the statement, up to the opening quote of the first name pattern. Copied as it
// stands: its '%' characters reach the server as written.
constexpr const char* SEARCH_HEAD =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'),fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where (fic_nom like "
    "replace(replace(replace(replace('";
// Ends one pattern and opens the next, in place of each ';' of the names. Each pattern goes
// through the same four replacements on the server: '%' and '_' escaped so that they match
// themselves, then '*' and '?' turned into the wildcards of like.
constexpr const char* SEARCH_PATTERN_SEPARATOR =
    "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') or fic_nom like "
    "replace(replace(replace(replace('";
// Ends the last pattern and the name condition.
constexpr const char* SEARCH_PATTERN_END = "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_'))";

std::string midnightOf(const SearchDay& day) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d 00:00:00", day.year, day.month, day.day);
    return text;
}

// The escaping of the client library for a single-byte character set, for want of a
// connection: NUL, line feed, carriage return, backslash, quotes and Ctrl+Z get a backslash.
std::string escapeWithoutConnection(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size() * 2);
    for (const char c : text) {
        switch (c) {
        case '\0':
            escaped += "\\0";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\x1a':
            escaped += "\\Z";
            break;
        case '\\':
        case '\'':
        case '"':
            escaped += '\\';
            escaped += c;
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

// A backslash is the escape character of like: doubled, a typed one matches itself, as names
// on Linux may hold one.
std::string withDoubledBackslashes(const std::string& text) {
    std::string doubled;
    for (const char c : text) {
        doubled += c;
        if (c == '\\')
            doubled += c;
    }
    return doubled;
}

// The name patterns as the statement takes them, ';' between them: each as typed, and after
// each one holding characters outside ASCII its Windows-1252 form, so that names stored by
// programs on Windows (which show the same) are found too. A pattern with a character that
// Windows-1252 lacks gets no such twin.
std::string likePatterns(const std::string& names) {
    std::string patterns;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = names.find(';', start);
        const std::string pattern = names.substr(start, end - start);
        if (start != 0)
            patterns += ';';
        patterns += withDoubledBackslashes(pattern);
        const bool ascii = std::all_of(pattern.begin(), pattern.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (!ascii) {
            if (const auto codePage = toWindows1252(QString::fromStdString(pattern)))
                patterns += ';' + withDoubledBackslashes(*codePage);
        }
        if (end == std::string::npos)
            return patterns;
        start = end + 1;
    }
}

} // namespace

SearchRequest escapeSearchRequest(MYSQL* connection, const SearchRequest& request) {
    const auto escape = [connection](const std::string& text) {
        if (!connection)
            return escapeWithoutConnection(text);
        std::vector<char> escaped(text.size() * 2 + 1);
        const unsigned long length =
            mysql_real_escape_string(connection, escaped.data(), text.data(), text.size());
        return std::string(escaped.data(), length);
    };
    SearchRequest escaped = request;
    escaped.words = escape(request.words);
    escaped.names = escape(likePatterns(request.names));
    return escaped;
}

std::string buildSearchQuery(const SearchRequest& escaped) {
    std::string statement = SEARCH_HEAD;
    statement.reserve(statement.size() + escaped.names.size() + escaped.words.size() + 256);
    for (const char c : escaped.names) {
        if (c == ';')
            statement += SEARCH_PATTERN_SEPARATOR;
        else
            statement += c;
    }
    statement += SEARCH_PATTERN_END;
    if (escaped.byDate) {
        statement += " and fic_date_modif between '" + midnightOf(escaped.firstDay) + "' and '" +
                     midnightOf(escaped.lastDay) + "'";
    }
    if (!escaped.words.empty())
        statement += " and match(fic_nom) against ('" + escaped.words + "')";
    if (!escaped.limit.empty())
        statement += " limit " + escaped.limit;
    return statement;
}

std::string buildFilteredSearchQuery(const SearchRequest& escaped, const SearchFilters& filters) {
    // The dialog's statement without its limit, which has to stay last.
    SearchRequest unlimited = escaped;
    unlimited.limit.clear();
    std::string statement = buildSearchQuery(unlimited);
    if (filters.discId >= 0)
        statement += " and fic_cd_id = " + std::to_string(filters.discId);
    if (filters.type != 0)
        statement += std::string(" and fic_type = '") + filters.type + "'";
    if (filters.minSize)
        statement += " and fic_taille >= " + std::to_string(*filters.minSize);
    if (filters.maxSize)
        statement += " and fic_taille <= " + std::to_string(*filters.maxSize);
    if (!escaped.limit.empty())
        statement += " limit " + escaped.limit;
    return statement;
}

} // namespace tvk
