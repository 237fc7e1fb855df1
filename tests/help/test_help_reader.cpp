// The help engine's reading of books: sitemaps, the book header, text encodings, and books
// that are missing, damaged or hostile.
#include "help/book_html.h"
#include "help/chm_book.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace {

using namespace tvk::help;

QString binPath(const char* name) {
    const char* bin = std::getenv("TAVISK_BIN_DIR");
    return QString::fromLocal8Bit(bin ? bin : ".") + "/" + QString::fromLatin1(name);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString writeFile(const QTemporaryDir& dir, const char* name, const QByteArray& data) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
    return path;
}

TEST(Sitemap, ReadsWhatHelpEditorsWrite) {
    const QString html = QString::fromUtf8(R"(
<!-- <OBJECT type="text/sitemap"><param name="Name" value="commented out"></OBJECT> -->
<object type="text/site properties"><param name="Window Styles" value="0x800025"></object>
<UL>
 <LI><OBJECT TYPE='text/sitemap'><PARAM NAME=Name VALUE=Start><PARAM NAME=Local VALUE=index.html></OBJECT>
 <UL>
  <li><object type="text/sitemap"><param name="Local" value="a.html#x"><param name="Name" value="Caf&eacute; &amp; th&#233;"></object>
  <li><object type="text/sitemap"><param name="Name" value="Heading only">
  <li><object type="text/sitemap"><param name="Name" value="  Spaced  "><param name="Local" value="b.html"></object>
 </UL>
 </UL></UL>
 <LI><object type="text/sitemap"><param name="Local" value="nameless.html"></object>
</UL>
<LI><object type="text/sitemap"><param name="Local" value="c.html"><param name="Name" value="unclosed quote)");
    const std::vector<SitemapEntry> entries = parseSitemap(html);
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].name, "Start");
    EXPECT_EQ(entries[0].local, "index.html");
    EXPECT_EQ(entries[0].depth, 0);
    EXPECT_EQ(entries[1].name, QString::fromUtf8("Café & thé"));
    EXPECT_EQ(entries[1].local, "a.html#x");
    EXPECT_EQ(entries[1].depth, 1);
    EXPECT_EQ(entries[2].name, "Heading only"); // its OBJECT is never closed
    EXPECT_TRUE(entries[2].local.isEmpty());
    EXPECT_EQ(entries[3].name, "Spaced");
    EXPECT_EQ(entries[3].depth, 1);
    EXPECT_EQ(entries[4].name, "nameless.html"); // the stray </UL> left the depth at 0
    EXPECT_EQ(entries[4].depth, 0);
    EXPECT_EQ(entries[5].name, "unclosed quote"); // the text ends inside the quote
    EXPECT_EQ(entries[5].local, "c.html");
}

TEST(Sitemap, DepthNeverSkipsALevelNorPassesTheLimit) {
    QString html =
        "<ul><ul><ul><li><object type=text/sitemap><param name=Name value=deep></object>";
    for (int i = 0; i < maxSitemapDepth + 20; ++i)
        html += QString("<ul><li><object type=text/sitemap><param name=Name value=l%1></object>")
                    .arg(i);
    const std::vector<SitemapEntry> entries = parseSitemap(html);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].depth, 0); // three lists deep, but the first entry
    for (size_t i = 1; i < entries.size(); ++i) {
        EXPECT_LE(entries[i].depth, entries[i - 1].depth + 1);
        EXPECT_LE(entries[i].depth, maxSitemapDepth);
    }
    EXPECT_EQ(entries.back().depth, maxSitemapDepth);
}

TEST(Sitemap, GarbageIsHarmlessAndTooManyEntriesAreCut) {
    static const char alphabet[] = "<>/=\"' ulioLIULOBJECTparamnamevaluetext/sitemap&#;x\n!-";
    std::mt19937 random(4);
    for (int round = 0; round < 300; ++round) {
        QByteArray bytes(static_cast<qsizetype>(random() % 400), '\0');
        for (char& c : bytes)
            c = alphabet[random() % (sizeof alphabet - 1)];
        parseSitemap(decodeHtml(bytes)); // must simply return
    }
    QString many = "<ul>";
    for (int i = 0; i < maxSitemapEntries + 100; ++i)
        many += "<li><object type=text/sitemap><param name=Name value=x></object>";
    EXPECT_EQ(parseSitemap(many).size(), static_cast<size_t>(maxSitemapEntries));
}

QByteArray systemRecord(int code, const QByteArray& value) {
    QByteArray record;
    record.append(char(code & 0xff)).append(char(code >> 8));
    record.append(char(value.size() & 0xff)).append(char(value.size() >> 8));
    return record + value;
}

TEST(BookHeader, ReadsItsRecordsAndStopsAtADamagedOne) {
    QByteArray data("\x03\0\0\0", 4);
    data += systemRecord(2, QByteArray("start.html\0", 11));
    data += systemRecord(3, QByteArray("Caf\xe9", 4)); // no terminator, Windows-1252
    data += systemRecord(4, QByteArray("\x0c\x04\0\0\0\0\0\0", 8));
    data += systemRecord(0, QByteArray("toc.hhc\0", 8));
    data += systemRecord(1, "index.hhk") + QByteArray("\x09\0\xff\x7f", 4); // runs past the end
    ChmBook book;
    readSystemFile(data, book);
    EXPECT_EQ(book.defaultTopic, "/start.html");
    EXPECT_EQ(book.title, QString::fromUtf8("Café"));
    EXPECT_EQ(book.language, 0x40cu);
    EXPECT_EQ(book.contentsFile, "/toc.hhc");
    EXPECT_EQ(book.indexFile, "/index.hhk");

    ChmBook empty;
    readSystemFile(QByteArray("\x03\0", 2), empty);
    EXPECT_TRUE(empty.title.isEmpty());
}

TEST(BookText, DecodesDeclaredAndUndeclaredEncodings) {
    EXPECT_EQ(decodeHtml("<html><body>\xc3\xa9t\xc3\xa9</body></html>"),
              QString::fromUtf8("<html><body>été</body></html>"));
    EXPECT_EQ(decodeHtml("<meta charset=\"iso-8859-1\"><p>\xe9t\xe9"),
              QString::fromUtf8("<meta charset=\"iso-8859-1\"><p>été"));
    // Undeclared and not UTF-8: the Windows code page of old help books.
    EXPECT_EQ(decodeHtml("<p>\x93quoted\x94 \xe9t\xe9"), QString::fromUtf8("<p>“quoted” été"));
    EXPECT_EQ(decodeText("Aide de Tavisk"), "Aide de Tavisk");
}

TEST(BookUrls, NamePagesOfTheBookAndNothingElse) {
    EXPECT_EQ(pageUrl("index.html").toString(), "chm:/index.html");
    EXPECT_EQ(pageUrl("search.html#dates").fragment(), "dates");
    EXPECT_EQ(pageUrl("Tavisk_en.chm::/add.html").toString(), "chm:/add.html");
    EXPECT_EQ(bookPathOf(QUrl("chm:/a%20b.html#x")), "/a b.html");
    EXPECT_EQ(bookPathOf(QUrl("ms-its:Tavisk_en.chm::/sub/page.html")), "/sub/page.html");
    EXPECT_EQ(bookPathOf(QUrl("mk:@MSITStore:Tavisk_en.chm::/page.html")), "/page.html");
    EXPECT_TRUE(bookPathOf(QUrl("http://example.org/index.html")).isEmpty());
    EXPECT_TRUE(bookPathOf(QUrl("file:///etc/passwd")).isEmpty());
    EXPECT_TRUE(bookPathOf(QUrl("ms-its:no-separator.html")).isEmpty());
}

TEST(BookLoading, ReadsTheWholeBookAndItsHeader) {
    const std::optional<ChmBook> book = loadChmBook(binPath("Tavisk_fr.chm"));
    ASSERT_TRUE(book);
    EXPECT_EQ(book->title, "Aide de Tavisk");
    EXPECT_EQ(book->defaultTopic, "/index.html");
    EXPECT_EQ(book->contentsFile, "/contents.hhc");
    EXPECT_EQ(book->indexFile, "/index.hhk");
    EXPECT_EQ(book->language, 0x40cu);
    const QByteArray* page = findObject(*book, "/INDEX.HTML");
    ASSERT_TRUE(page);
    EXPECT_TRUE(decodeHtml(*page).contains(QString::fromUtf8("Bienvenue dans Tavisk")));
    EXPECT_TRUE(findObject(*book, "/images/logo.png"));
    EXPECT_FALSE(findObject(*book, "/nothere.html"));
}

TEST(BookLoading, MissingOrForeignFilesGiveNoBook) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_FALSE(loadChmBook(dir.filePath("missing.chm")));
    EXPECT_FALSE(loadChmBook(dir.path()));
    EXPECT_FALSE(loadChmBook(writeFile(dir, "empty.chm", {})));
    EXPECT_FALSE(loadChmBook(writeFile(dir, "text.chm", "This is not a help book.\n")));
    EXPECT_FALSE(loadChmBook("/dev/null"));
}

// chmlib itself divides by the window size of the book's compression: a book that claims
// 0 kills whichever process reads it. The engine must survive it.
TEST(BookLoading, ABookThatKillsChmlibGivesNoBook) {
    QByteArray book = readAll(binPath("Tavisk_en.chm"));
    const qsizetype control = book.indexOf("LZXC");
    ASSERT_GT(control, 0);
    for (int i = 12; i < 16; ++i)
        book[control + i] = 0;
    QTemporaryDir dir;
    EXPECT_FALSE(loadChmBook(writeFile(dir, "zero-window.chm", book)));
}

TEST(BookLoading, DamagedBooksNeverCrashTheEngine) {
    const QByteArray original = readAll(binPath("Tavisk_en.chm"));
    ASSERT_GT(original.size(), 1000);
    QTemporaryDir dir;
    for (qsizetype length : {qsizetype(16), qsizetype(0x60)})
        EXPECT_FALSE(loadChmBook(writeFile(dir, "truncated.chm", original.left(length))));
    // Cut further on, what can still be read is a book; every book that comes back has a
    // page to show.
    for (qsizetype length : {original.size() / 3, original.size() / 2, original.size() - 1}) {
        if (const auto book = loadChmBook(writeFile(dir, "truncated.chm", original.left(length)))) {
            EXPECT_TRUE(findObject(*book, book->defaultTopic));
        }
    }
    std::mt19937 random(11);
    int loaded = 0;
    for (int round = 0; round < 60; ++round) {
        QByteArray damaged = original;
        for (int flips = 1 + random() % 8; flips > 0; --flips)
            damaged[random() % damaged.size()] = char(random());
        if (const auto book = loadChmBook(writeFile(dir, "damaged.chm", damaged))) {
            ++loaded;
            EXPECT_TRUE(findObject(*book, book->defaultTopic));
        }
    }
    EXPECT_GT(loaded, 0); // most single flips hit page text, which stays readable
}

} // namespace
