// The two help books as the build compiles them, read through chmlib as any CHM viewer reads
// them: the book's own header names its default topic, title, contents and language; every
// link and picture leads to a file of the book; both languages hold the same pages.
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QString>
#include <QUrl>

#include <chm_lib.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>

namespace {

struct ChmCloser {
    void operator()(chmFile* file) const { chm_close(file); }
};
using ChmHandle = std::unique_ptr<chmFile, ChmCloser>;

ChmHandle openBook(const std::string& name) {
    const char* bin = std::getenv("TAVISK_BIN_DIR");
    const std::string path = std::string(bin ? bin : ".") + "/" + name;
    return ChmHandle(chm_open(path.c_str()));
}

std::optional<QByteArray> readFile(chmFile* book, const QString& path) {
    chmUnitInfo unit{};
    if (chm_resolve_object(book, path.toUtf8().constData(), &unit) != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    QByteArray data(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
    const auto length = static_cast<LONGINT64>(unit.length);
    if (length > 0 &&
        chm_retrieve_object(book, &unit, reinterpret_cast<unsigned char*>(data.data()), 0,
                            length) != length)
        return std::nullopt;
    return data;
}

int collectPath(chmFile*, chmUnitInfo* unit, void* context) {
    static_cast<std::set<QString>*>(context)->insert(QString::fromUtf8(unit->path));
    return CHM_ENUMERATOR_CONTINUE;
}

// The book's own files (not the compiler's bookkeeping).
std::set<QString> bookFiles(chmFile* book) {
    std::set<QString> files;
    chm_enumerate(book, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collectPath, &files);
    return files;
}

struct SystemInfo {
    QString contentsFile, indexFile, defaultTopic, title;
    uint32_t language = 0;
};

SystemInfo readSystem(chmFile* book) {
    SystemInfo info;
    const std::optional<QByteArray> data = readFile(book, "/#SYSTEM");
    if (!data)
        return info;
    const auto byte = [&](qsizetype at) { return static_cast<unsigned char>((*data)[at]); };
    for (qsizetype at = 4; at + 4 <= data->size();) {
        const int code = byte(at) | byte(at + 1) << 8;
        const int length = byte(at + 2) | byte(at + 3) << 8;
        at += 4;
        if (length > data->size() - at)
            break;
        const QByteArray value = data->mid(at, length);
        const QString text = QString::fromUtf8(value.left(value.indexOf('\0')));
        at += length;
        if (code == 0)
            info.contentsFile = text;
        else if (code == 1)
            info.indexFile = text;
        else if (code == 2)
            info.defaultTopic = text;
        else if (code == 3)
            info.title = text;
        else if (code == 4 && length >= 4)
            info.language = byte(at - length) | byte(at - length + 1) << 8;
    }
    return info;
}

QStringList matches(const QString& text, const char* pattern) {
    QStringList found;
    const QRegularExpression expression(QString::fromLatin1(pattern),
                                        QRegularExpression::CaseInsensitiveOption);
    for (auto it = expression.globalMatch(text); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

// Links and pictures of a page, as written.
QStringList references(const QString& html) {
    return matches(html, R"re((?:href|src)\s*=\s*"([^"]*)")re");
}

// The pages that the entries of a sitemap (contents, index) open.
QStringList sitemapPages(const QString& sitemap) {
    return matches(sitemap, R"re(<param\s+name="Local"\s+value="([^"]*)")re");
}

std::set<QString> anchors(const QString& html) {
    const QStringList found = matches(html, R"re(\s(?:name|id)\s*=\s*"([^"]*)")re");
    return {found.begin(), found.end()};
}

// Where `reference`, written on the page at `page`, leads; nothing when it leaves the book.
std::optional<QUrl> target(const QString& page, const QString& reference) {
    const QUrl url(reference);
    if (!url.scheme().isEmpty())
        return std::nullopt;
    return QUrl(QStringLiteral("chm:") + page).resolved(url);
}

struct BookCase {
    const char* file;
    const char* title;
    uint32_t language;
    const char* htmlLanguage;
};

class HelpBook : public ::testing::TestWithParam<BookCase> {
protected:
    void SetUp() override {
        book = openBook(GetParam().file);
        ASSERT_TRUE(book) << GetParam().file << " is missing or not a CHM file";
        system = readSystem(book.get());
    }

    QString page(const QString& path) {
        const std::optional<QByteArray> data = readFile(book.get(), path);
        return data ? QString::fromUtf8(*data) : QString();
    }

    // Checks that a reference made on `from` leads to a file of the book, and to an anchor
    // of that file when it names one. Returns the file's path, or empty.
    QString checkTarget(const QString& from, const QString& reference) {
        const std::optional<QUrl> url = target(from, reference);
        if (!url)
            return {};
        const QString path = url->path();
        const std::optional<QByteArray> data = readFile(book.get(), path);
        EXPECT_TRUE(data) << from.toStdString() << ": " << reference.toStdString()
                          << " leads nowhere";
        if (data && url->hasFragment()) {
            EXPECT_TRUE(anchors(QString::fromUtf8(*data)).count(url->fragment()))
                << from.toStdString() << ": " << reference.toStdString()
                << " names a missing anchor";
        }
        return data ? path : QString();
    }

    ChmHandle book;
    SystemInfo system;
};

TEST_P(HelpBook, HeaderNamesTopicTitleContentsIndexAndLanguage) {
    EXPECT_EQ(system.defaultTopic, "index.html");
    EXPECT_EQ(system.title, GetParam().title);
    EXPECT_EQ(system.contentsFile, "contents.hhc");
    EXPECT_EQ(system.indexFile, "index.hhk");
    EXPECT_EQ(system.language, GetParam().language);
    for (const QString& file : {system.defaultTopic, system.contentsFile, system.indexFile})
        EXPECT_TRUE(readFile(book.get(), "/" + file)) << file.toStdString();
}

TEST_P(HelpBook, EveryLinkAndPictureFromTheDefaultTopicLeadsToAFileOfTheBook) {
    const QString start = "/" + system.defaultTopic;
    ASSERT_FALSE(page(start).isEmpty());
    std::set<QString> reached{start};
    std::deque<QString> pending{start};
    while (!pending.empty()) {
        const QString from = pending.front();
        pending.pop_front();
        for (const QString& reference : references(page(from))) {
            const QString path = checkTarget(from, reference);
            if (path.isEmpty() || !reached.insert(path).second)
                continue;
            if (path.endsWith(".html"))
                pending.push_back(path);
            if (path.endsWith(".png")) {
                const std::optional<QByteArray> picture = readFile(book.get(), path);
                EXPECT_FALSE(QImage::fromData(*picture).isNull()) << path.toStdString();
            }
        }
    }
    // Every page and picture of the book is reachable from the default topic.
    for (const QString& file : bookFiles(book.get())) {
        if (file.endsWith(".html") || file.endsWith(".png") || file.endsWith(".css")) {
            EXPECT_TRUE(reached.count(file)) << file.toStdString() << " is never linked";
        }
    }
}

TEST_P(HelpBook, ContentsAndIndexEntriesOpenPagesOfTheBook) {
    for (const QString& sitemap : {system.contentsFile, system.indexFile}) {
        const QStringList pages = sitemapPages(page("/" + sitemap));
        EXPECT_GE(pages.size(), 10) << sitemap.toStdString();
        for (const QString& local : pages)
            EXPECT_FALSE(checkTarget("/" + sitemap, local).isEmpty()) << local.toStdString();
    }
}

TEST_P(HelpBook, PagesAreUtf8InTheLanguageOfTheBook) {
    const QString language = QString::fromLatin1("<html lang=\"%1\">").arg(GetParam().htmlLanguage);
    for (const QString& file : bookFiles(book.get())) {
        if (!file.endsWith(".html"))
            continue;
        const QString html = page(file);
        EXPECT_TRUE(html.contains(language)) << file.toStdString();
        EXPECT_TRUE(html.contains("charset=utf-8")) << file.toStdString();
        EXPECT_FALSE(html.contains(QChar::ReplacementCharacter)) << file.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Books, HelpBook,
                         ::testing::Values(BookCase{"Tavisk_en.chm", "Tavisk Help", 0x409, "en"},
                                           BookCase{"Tavisk_fr.chm", "Aide de Tavisk", 0x40c,
                                                    "fr"}),
                         [](const auto& info) { return std::string(info.param.htmlLanguage); });

TEST(HelpBooks, BothLanguagesHoldTheSamePagesAnchorsAndContents) {
    const ChmHandle english = openBook("Tavisk_en.chm");
    const ChmHandle french = openBook("Tavisk_fr.chm");
    ASSERT_TRUE(english && french);
    const std::set<QString> files = bookFiles(english.get());
    EXPECT_EQ(files, bookFiles(french.get()));
    for (const QString& file : files) {
        if (!file.endsWith(".html"))
            continue;
        const auto englishPage = readFile(english.get(), file);
        const auto frenchPage = readFile(french.get(), file);
        ASSERT_TRUE(englishPage && frenchPage) << file.toStdString();
        EXPECT_EQ(anchors(QString::fromUtf8(*englishPage)), anchors(QString::fromUtf8(*frenchPage)))
            << file.toStdString();
    }
    const auto contents = [](chmFile* book) {
        return sitemapPages(QString::fromUtf8(readFile(book, "/contents.hhc").value_or("")));
    };
    EXPECT_EQ(contents(english.get()), contents(french.get()));
}

// The texts the program shows in `language`: those of its language module's resource script
// (strings, captions, controls, menu items without their '&' and shortcut), those it holds
// itself or composes, and Qt's own Yes and No. Each as a pattern in which the values the
// program fills in (%s, %d, %u) match anything.
std::vector<QRegularExpression> programTexts(const QString& language, bool labels) {
    const char* source = std::getenv("TAVISK_SOURCE_DIR");
    QFile script(QString::fromLocal8Bit(source ? source : ".") + "/lang/" + language +
                 "/tavisk.rc");
    if (!script.open(QIODevice::ReadOnly))
        return {};
    QStringList texts = matches(QString::fromUtf8(script.readAll()), R"re("((?:[^"\n]|"")*)")re");
    // A file chooser's filter list ("Disc images (*.iso);;All files (*)") shows each filter on
    // its own.
    for (const QString& text : QStringList(texts)) {
        if (text.contains(";;"))
            texts << text.split(";;");
    }
    texts << "Language file not found"
          << "Handle non valide"
          << "Requête SQL"
          << "GetLastError"
          << "CD %u";
    texts << (language == "fr" ? QStringList{"Oui", "Non"} : QStringList{"Yes", "No"});
    const QString upgrade =
        language == "fr" ? "Mise à niveau de la base de données" : "Database upgrade";
    texts << upgrade + " : 1->2" << upgrade + " : 2->3";
    std::vector<QRegularExpression> patterns;
    for (QString text : texts) {
        text.replace("\"\"", "\"").replace("\\n", "\n").replace("\\t", "\t");
        if (labels)
            text = text.remove('&').section('\t', 0, 0);
        QString pattern = QRegularExpression::escape(text);
        pattern.replace(QRegularExpression(R"re(\\%[sdu])re"), ".+"); // escape() made "%s" "\\%s"
        patterns.emplace_back(QRegularExpression::anchoredPattern(pattern));
    }
    return patterns;
}

// The texts of the elements of `cssClass` on a page, as a reader sees them: line breaks kept,
// markup gone, the quotation marks around program texts removed.
QStringList quotedTexts(const QString& html, const QString& cssClass) {
    QStringList texts;
    const QRegularExpression element("class=\"" + cssClass + "\">(.*?)</(?:span|td)>",
                                     QRegularExpression::DotMatchesEverythingOption);
    for (auto it = element.globalMatch(html); it.hasNext();) {
        QString text = it.next().captured(1);
        text.replace(QRegularExpression("\\s+"), " ");
        text.replace(QRegularExpression(" ?<br> ?"), "\n");
        text.remove(QRegularExpression("<[^>]*>"));
        text.replace("&lt;", "<").replace("&gt;", ">").replace("&nbsp;", QChar(0xa0));
        text.replace("&amp;", "&");
        text = text.trimmed();
        if ((text.startsWith('"') && text.endsWith('"')) ||
            (text.startsWith(QChar(0xab)) && text.endsWith(QChar(0xbb)))) {
            text = text.mid(1, text.size() - 2);
            if (text.startsWith(QChar(0xa0)))
                text.remove(0, 1);
            if (text.endsWith(QChar(0xa0)))
                text.chop(1);
        }
        texts << text;
    }
    return texts;
}

bool isProgramText(const QString& text, const std::vector<QRegularExpression>& patterns) {
    for (const QRegularExpression& pattern : patterns) {
        if (pattern.match(text).hasMatch())
            return true;
    }
    return false;
}

// The books quote the program's messages, captions, menus, buttons and field labels exactly
// as the language module of their language has them.
TEST(HelpBooks, QuoteTheProgramsTextsExactly) {
    for (const QString language : {"en", "fr"}) {
        const ChmHandle book = openBook(("Tavisk_" + language + ".chm").toStdString());
        ASSERT_TRUE(book);
        const std::vector<QRegularExpression> messages = programTexts(language, false);
        const std::vector<QRegularExpression> labels = programTexts(language, true);
        ASSERT_GT(messages.size(), 150u) << "the resource script of " << language.toStdString();
        int quoted = 0;
        for (const QString& file : bookFiles(book.get())) {
            if (!file.endsWith(".html"))
                continue;
            const QString html = QString::fromUtf8(readFile(book.get(), file).value_or(""));
            for (const QString& text : quotedTexts(html, "msg")) {
                ++quoted;
                EXPECT_TRUE(isProgramText(text, messages))
                    << language.toStdString() << file.toStdString() << ": " << text.toStdString();
            }
            for (const QString& path : quotedTexts(html, "ui")) {
                for (const QString& label : path.split(" > ")) {
                    ++quoted;
                    EXPECT_TRUE(isProgramText(label, labels))
                        << language.toStdString() << file.toStdString() << ": "
                        << label.toStdString();
                }
            }
        }
        EXPECT_GT(quoted, 250);
    }
}

} // namespace
