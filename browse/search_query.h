// The statement of a search over every disc: what the search dialog hands over, as a plain
// record, and the one statement made from it.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tvk {

// A day as the date pickers give it.
struct SearchDay {
    int year = 0;
    int month = 0;
    int day = 0;
};

// What the user asks for, as read from the search dialog. The texts are UTF-8 bytes.
struct SearchRequest {
    std::string words;   // words looked for in the names (full-text search); may be empty
    std::string names;   // name patterns with '*' and '?', separated by ';'
    bool byDate = false; // restrict to modification dates from `firstDay` to `lastDay`
    SearchDay firstDay;
    SearchDay lastDay;
    std::string limit; // the largest number of hits, decimal digits only; empty: no limit
};

// Longest words and names read from the dialog, and longest limit, in characters.
constexpr int SEARCH_TEXT_MAX = 254;
constexpr int SEARCH_LIMIT_MAX = 18;

// `request` with its words and names escaped for string literals on `connection` (latin1, so
// byte by byte). Each backslash of the names is doubled first, so that in a pattern it stands
// for itself, and each pattern with characters outside ASCII is followed by its Windows-1252
// form as one more pattern. Without a connection the client library's escaping is done here.
SearchRequest escapeSearchRequest(MYSQL* connection, const SearchRequest& request);

// The search statement for a request whose words and names are already escaped: the seven
// columns the file list expects, an entry matching any of the ';'-separated name patterns
// ('%' and '_' matching themselves, '*' any run of characters, '?' any one), then in this order
// the date range (both days at midnight), the full-text words and the limit, each when asked
// for. The statement grows with the number of patterns; it is never cut. Every byte of the
// limit must be a decimal digit.
std::string buildSearchQuery(const SearchRequest& escaped);

// Conditions a search may add to those of the search dialog: one disc, one type of entry, a
// range of sizes. Unset members add nothing.
struct SearchFilters {
    int discId = -1;                      // fic_cd_id; -1: every disc
    char type = 0;                        // fic_type ('F', 'R' or 'Z'); 0: any
    std::optional<std::uint64_t> minSize; // fic_taille at least, in bytes
    std::optional<std::uint64_t> maxSize; // fic_taille at most, in bytes
};

// The search statement of buildSearchQuery with the conditions of `filters` after its own and
// before its limit. Without filters it is buildSearchQuery's statement, byte for byte.
std::string buildFilteredSearchQuery(const SearchRequest& escaped, const SearchFilters& filters);

} // namespace tvk
