// A help book read from a compiled HTML help file (.chm).
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdint>
#include <map>
#include <optional>

namespace tvk::help {

// Everything the help window needs of one book. Paths inside the book are absolute and
// '/'-separated ("/index.html"); they are compared without regard to ASCII case, as the
// format wants.
struct ChmBook {
    QString filePath;      // the file the book was read from
    QString title;         // may be empty
    QString defaultTopic;  // the page shown first; empty when the book has no page at all
    QString contentsFile;  // the table of contents (a sitemap), empty when there is none
    QString indexFile;     // the keyword index (a sitemap), empty when there is none
    uint32_t language = 0; // the Windows language id the book was written for, 0 if unknown
    // Every file of the book, by its path folded to lower case (UTF-8 bytes).
    std::map<QByteArray, QByteArray> objects;
};

// Reads the whole book at `filePath` with chmlib. chmlib is not safe with damaged files (it can
// crash inside chm_open or while decompressing), so it runs in a child process that hands the
// files over a pipe; a child that fails, crashes or takes too long means no book. Books larger
// than a few hundred megabytes are refused. Returns nothing when the file is missing, is not a
// readable CHM file, or holds no page.
std::optional<ChmBook> loadChmBook(const QString& filePath);

// The file at `path` inside the book, or null when the book has no such file.
const QByteArray* findObject(const ChmBook& book, const QString& path);

// Fills title, defaultTopic, contentsFile, indexFile and language from the content of the
// book's "/#SYSTEM" file. Damaged records end the reading; what was read before stays.
void readSystemFile(const QByteArray& data, ChmBook& book);

// The book path that a "Local" entry or a link names, made absolute: "a.html" -> "/a.html".
// A "something.chm::/page" form keeps the part after "::".
QString bookPath(const QString& name);

// The help window names the pages of its book with URLs of the scheme "chm": "chm:/a.html".
// pageUrl makes one from a reference relative to the book's root, fragment kept
// ("a.html#part" -> "chm:/a.html#part").
QUrl pageUrl(const QString& reference);

// The book path that `url` names: the path of a "chm:" URL, or the part after "::" of the
// "ms-its:" and "mk:@MSITStore:" forms; empty for a URL that points outside the book.
QString bookPathOf(const QUrl& url);

} // namespace tvk::help
