// The help engine as the program uses it: hhctrl.so loaded at run time, HtmlHelpA called with
// a book's bare name. The real help window on the offscreen platform.
#include "help/htmlhelp.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace {

QString envPath(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    return QString::fromLocal8Bit(value ? value : fallback);
}

class HelpEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const QByteArray path = QFile::encodeName(envPath("TAVISK_BIN_DIR", ".") + "/hhctrl.so");
        library = dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_TRUE(library) << dlerror();
        htmlHelp = reinterpret_cast<HtmlHelpFunction>(dlsym(library, "HtmlHelpA"));
        ASSERT_TRUE(htmlHelp);
    }

    // Unloading the engine destroys the windows it still has open.
    static void TearDownTestSuite() {
        if (library)
            dlclose(library);
        library = nullptr;
        htmlHelp = nullptr;
    }

    static QWidget* open(const char* book, unsigned command = HH_DISPLAY_TOPIC,
                         QWidget* caller = nullptr) {
        return static_cast<QWidget*>(htmlHelp(caller, book, command, 0));
    }

    static inline void* library = nullptr;
    static inline HtmlHelpFunction htmlHelp = nullptr;
};

QTextBrowser* browserOf(QWidget* window) {
    return window->findChild<QTextBrowser*>("helpBrowser");
}

QTreeWidget* contentsOf(QWidget* window) {
    return window->findChild<QTreeWidget*>("helpContents");
}

int itemCount(QTreeWidget* tree) {
    int count = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++count;
    return count;
}

// The number of entries in a book's contents source.
int contentsEntries(const char* language) {
    QFile file(envPath("TAVISK_SOURCE_DIR", ".") + "/help/" + language + "/contents.hhc");
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return QString::fromUtf8(file.readAll()).count("type=\"text/sitemap\"");
}

void saveScreenshot(QWidget* window, const QString& name) {
    const QString folder = envPath("TAVISK_TEST_OUTPUT_DIR", "test-output");
    ASSERT_TRUE(QDir().mkpath(folder));
    QApplication::processEvents();
    EXPECT_TRUE(window->grab().save(folder + "/" + name)) << name.toStdString();
}

struct BookCase {
    const char* file;
    const char* language;
    const char* title;
    const char* welcome;
    const char* firstEntry;
    const char* homeButton;
};

class HelpWindow : public HelpEngine, public ::testing::WithParamInterface<BookCase> {};

TEST_P(HelpWindow, OpensTheBookAtItsDefaultTopicWithItsContents) {
    const BookCase& book = GetParam();
    QWidget caller;
    QWidget* window = open(book.file, HH_DISPLAY_TOPIC, &caller);
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->parentWidget(), nullptr); // not owned by the caller
    EXPECT_EQ(window->windowTitle(), book.title);

    QTextBrowser* browser = browserOf(window);
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->source(), QUrl("chm:/index.html"));
    EXPECT_TRUE(browser->toPlainText().contains(QString::fromUtf8(book.welcome)));
    // The page's picture and style sheet come out of the book, relative to the page.
    const QVariant logo =
        browser->loadResource(QTextDocument::ImageResource, QUrl("images/logo.png"));
    EXPECT_EQ(QImage::fromData(logo.toByteArray()).size(), QSize(64, 64));
    EXPECT_TRUE(browser->loadResource(QTextDocument::StyleSheetResource, QUrl("tavisk.css"))
                    .toString()
                    .contains("font-family"));

    QTreeWidget* contents = contentsOf(window);
    ASSERT_TRUE(contents);
    ASSERT_GT(contents->topLevelItemCount(), 0);
    EXPECT_EQ(contents->topLevelItem(0)->text(0), QString::fromUtf8(book.firstEntry));
    EXPECT_EQ(itemCount(contents), contentsEntries(book.language));
    EXPECT_EQ(contents->currentItem(), contents->topLevelItem(0)); // the page shown is marked
    EXPECT_TRUE(window->findChild<QTreeWidget*>("helpIndex"));
    const auto* home = window->findChild<QToolButton*>("helpHome");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->text(), QString::fromUtf8(book.homeButton));

    saveScreenshot(window, QString("help_%1.png").arg(book.language));
}

TEST_P(HelpWindow, ASecondCallBringsTheSameWindowBackToTheDefaultTopic) {
    QWidget* window = open(GetParam().file);
    ASSERT_TRUE(window);
    QTextBrowser* browser = browserOf(window);
    browser->setSource(QUrl("chm:/search.html#dates"));
    window->showMinimized();
    EXPECT_EQ(open(GetParam().file), window);
    EXPECT_FALSE(window->isMinimized());
    EXPECT_EQ(browser->source(), QUrl("chm:/index.html"));
    // A path to the same book names the same window.
    const QString path = envPath("TAVISK_BIN_DIR", ".") + "/" + GetParam().file;
    EXPECT_EQ(open(QFile::encodeName(path).constData()), window);
}

INSTANTIATE_TEST_SUITE_P(
    Books, HelpWindow,
    ::testing::Values(BookCase{"Tavisk_en.chm", "en", "Tavisk Help", "Welcome to Tavisk",
                               "Welcome to Tavisk", "Home"},
                      BookCase{"Tavisk_fr.chm", "fr", "Aide de Tavisk", "Bienvenue dans Tavisk",
                               "Bienvenue dans Tavisk", "Accueil"}),
    [](const auto& info) { return std::string(info.param.language); });

TEST_F(HelpEngine, ContentsLinksAndHistoryNavigate) {
    QWidget* window = open("Tavisk_en.chm");
    ASSERT_TRUE(window);
    QTextBrowser* browser = browserOf(window);
    QTreeWidget* contents = contentsOf(window);
    auto* back = window->findChild<QToolButton*>("helpBack");
    auto* forward = window->findChild<QToolButton*>("helpForward");
    auto* home = window->findChild<QToolButton*>("helpHome");
    ASSERT_TRUE(browser && contents && back && forward && home);
    browser->setSource(QUrl("chm:/index.html"));

    const auto entry = [&](const QString& name) {
        const auto found = contents->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.first();
    };
    ASSERT_TRUE(entry("Sorting"));
    contents->setCurrentItem(entry("Sorting"));
    EXPECT_EQ(browser->source(), QUrl("chm:/browse.html#sort"));
    EXPECT_TRUE(back->isEnabled());

    // A link clicked on the page, as the browser reports it: resolved against the page.
    emit browser->anchorClicked(QUrl("chm:/search.html#patterns"));
    EXPECT_EQ(browser->source(), QUrl("chm:/search.html#patterns"));
    EXPECT_EQ(contents->currentItem(), entry("Name patterns"));
    emit browser->anchorClicked(QUrl("ms-its:Tavisk_en.chm::/hits.html"));
    EXPECT_EQ(browser->source(), QUrl("chm:/hits.html"));
    EXPECT_EQ(contents->currentItem(), entry("Where is a result?"));

    back->click();
    EXPECT_EQ(browser->source(), QUrl("chm:/search.html#patterns"));
    EXPECT_TRUE(forward->isEnabled());
    forward->click();
    EXPECT_EQ(browser->source(), QUrl("chm:/hits.html"));
    home->click();
    EXPECT_EQ(browser->source(), QUrl("chm:/index.html"));

    // A page the book lacks says so; nothing outside the book is ever read.
    browser->setSource(QUrl("chm:/nothere.html"));
    EXPECT_TRUE(
        browser->toPlainText().contains("This page is not in the help book: /nothere.html"));
    EXPECT_TRUE(
        browser->loadResource(QTextDocument::ImageResource, QUrl("file:///etc/hostname")).isNull());
    EXPECT_TRUE(browser->loadResource(QTextDocument::HtmlResource, QUrl("../../../etc/hostname"))
                    .toString()
                    .contains("not in the help book"));
}

TEST_F(HelpEngine, OtherCommandsAndMissingOrBrokenBooksShowNothing) {
    for (unsigned command : {1u, 2u, 0xfu, 0x12u, 0xffffffffu})
        EXPECT_EQ(open("Tavisk_en.chm", command), nullptr) << command;
    EXPECT_EQ(open("Tavisk_xx.chm"), nullptr);
    EXPECT_EQ(open(""), nullptr);
    EXPECT_EQ(htmlHelp(nullptr, nullptr, HH_DISPLAY_TOPIC, 0), nullptr);

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile text(dir.filePath("text.chm"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a help book");
    text.close();
    EXPECT_EQ(open(QFile::encodeName(text.fileName()).constData()), nullptr);

    // A book whose compression header makes chmlib divide by zero.
    QFile good(envPath("TAVISK_BIN_DIR", ".") + "/Tavisk_fr.chm");
    ASSERT_TRUE(good.open(QIODevice::ReadOnly));
    QByteArray data = good.readAll();
    const qsizetype control = data.indexOf("LZXC");
    ASSERT_GT(control, 0);
    data.replace(control + 12, 4, QByteArray(4, '\0'));
    QFile broken(dir.filePath("broken.chm"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write(data);
    broken.close();
    EXPECT_EQ(open(QFile::encodeName(broken.fileName()).constData()), nullptr);
}

TEST_F(HelpEngine, AClosedWindowIsGoneAndTheNextCallOpensANewOne) {
    QPointer<QWidget> window = open("Tavisk_en.chm");
    ASSERT_TRUE(window);
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    QWidget* again = open("Tavisk_en.chm");
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->isVisible());
    EXPECT_FALSE(again->testAttribute(Qt::WA_QuitOnClose)); // it never keeps the program alive
}

TEST_F(HelpEngine, EscapeAndCtrlWCloseTheWindow) {
    for (const QKeyCombination keys :
         {QKeyCombination(Qt::Key_Escape), QKeyCombination(Qt::ControlModifier, Qt::Key_W)}) {
        QPointer<QWidget> window = open("Tavisk_en.chm");
        ASSERT_TRUE(window);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        contentsOf(window)->setFocus();
        QTest::keyClick(contentsOf(window), keys.key(), keys.keyboardModifiers());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(window.isNull()) << keys.toCombined();
    }
}

} // namespace
