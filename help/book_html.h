// Reading the HTML of a help book: its text encodings and its sitemaps (the table of contents
// and the keyword index, lists of OBJECT elements inside nested UL elements).
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace tvk::help {

// Text of unknown encoding, such as the book's title: UTF-8 when the bytes are valid UTF-8,
// otherwise Windows-1252 (Latin-1 when that codec is not available).
QString decodeText(const QByteArray& bytes);

// An HTML page: the encoding that the page declares (byte order mark or meta charset) when it
// is known and decodes the bytes cleanly, otherwise as decodeText.
QString decodeHtml(const QByteArray& bytes);

// One entry of a sitemap. depth is 0 for the top level, 1 for the entries below it, and so on.
struct SitemapEntry {
    QString name;  // the text shown
    QString local; // the page it opens ("Local"), empty for a heading that opens nothing
    int depth = 0;
};

// The most entries and the deepest level that parseSitemap keeps: a damaged or hostile file
// cannot make the window build an endless or endlessly deep tree.
inline constexpr int maxSitemapEntries = 20000;
inline constexpr int maxSitemapDepth = 32;

// The entries of a sitemap, in document order. Lenient with what help compilers and editors
// produce: any case, quoted or bare attribute values, missing closing tags, stray </UL>,
// comments, character references. Entries deeper than maxSitemapDepth are kept at that depth;
// an entry never lies more than one level below the one before it.
std::vector<SitemapEntry> parseSitemap(const QString& html);

} // namespace tvk::help
