// The search statement made from a plain request, without the dialog or a server.
#include "browse/search_query.h"

#include <gtest/gtest.h>

#include <string>

namespace tvk::test {
namespace {

const std::string HEAD =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'),fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where (fic_nom like "
    "replace(replace(replace(replace('";
const std::string SEPARATOR = "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_') or fic_nom like "
                              "replace(replace(replace(replace('";
const std::string END = "', '%', '\\%'), '_', '\\_'), '*', '%'), '?', '_'))";

SearchRequest request(std::string names) {
    SearchRequest r;
    r.names = std::move(names);
    return r;
}

TEST(SearchQuery, TheWorkedExample) {
    SearchRequest r = request("*.jpg;*.png");
    r.words = "holiday";
    r.byDate = true;
    r.firstDay = {2009, 3, 3};
    r.lastDay = {2009, 3, 4};
    r.limit = "1000";
    EXPECT_EQ(buildSearchQuery(r),
              "select fic_nom, fic_taille, date_format(fic_date_modif, '%d/%m/%Y %H:%i'),fic_type, "
              "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where "
              "(fic_nom like replace(replace(replace(replace('*.jpg', '%', '\\%'), '_', '\\_'), "
              "'*', '%'), '?', '_') or fic_nom like replace(replace(replace(replace('*.png', '%', "
              "'\\%'), '_', '\\_'), '*', '%'), '?', '_')) and fic_date_modif between '2009-03-03 "
              "00:00:00' and '2009-03-04 00:00:00' and match(fic_nom) against ('holiday') limit "
              "1000");
}

TEST(SearchQuery, EverySemicolonStartsAPatternAndTheStatementGrowsAsNeeded) {
    EXPECT_EQ(buildSearchQuery(request("")), HEAD + END);
    EXPECT_EQ(buildSearchQuery(request("a;")), HEAD + "a" + SEPARATOR + END);
    EXPECT_EQ(buildSearchQuery(request(";;b")), HEAD + SEPARATOR + SEPARATOR + "b" + END);
    const std::string many(254, ';');
    const std::string statement = buildSearchQuery(request(many));
    EXPECT_EQ(statement.size(), HEAD.size() + 254 * SEPARATOR.size() + END.size());
    EXPECT_GT(statement.size(), 2048u);
    EXPECT_EQ(statement.substr(statement.size() - END.size()), END);
}

// Without a connection the client's own escaping still keeps quotes and backslashes inside
// their literals.
TEST(SearchQuery, EscapingWithoutAConnection) {
    SearchRequest r = request("it's\\");
    r.words = "\"a\"\n";
    const SearchRequest escaped = escapeSearchRequest(nullptr, r);
    EXPECT_EQ(escaped.names, "it\\'s\\\\\\\\"); // the backslash doubled, then escaped
    EXPECT_EQ(escaped.words, "\\\"a\\\"\\n");
}

} // namespace
} // namespace tvk::test
