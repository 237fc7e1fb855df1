#include "help/help_window.h"

#include "help/book_html.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

namespace tvk::help {

namespace {

// The window's own words, in the language of the book it shows.
struct WindowTexts {
    const char* back;
    const char* forward;
    const char* home;
    const char* contents;
    const char* index;
    const char* missingPage; // %1: the page's path
};

const WindowTexts englishTexts{"Back",     "Forward", "Home",
                               "Contents", "Index",   "This page is not in the help book: %1"};
const WindowTexts frenchTexts{"Précédent", "Suivant",
                              "Accueil",   "Sommaire",
                              "Index",     "Cette page ne figure pas dans le livre d'aide : %1"};

const WindowTexts& textsFor(const ChmBook& book) {
    const uint32_t primaryLanguage = book.language & 0x3ff;
    return primaryLanguage == 0x0c ? frenchTexts : englishTexts;
}

// The page view. Every page, style sheet and image comes out of the book; nothing outside it
// (local files, the network) is ever read.
class BookBrowser : public QTextBrowser {
public:
    BookBrowser(ChmBook book, QWidget* parent) : QTextBrowser(parent), book_(std::move(book)) {}

    const ChmBook& book() const { return book_; }

    QVariant loadResource(int type, const QUrl& name) override {
        QUrl url = name;
        if (url.isRelative()) {
            const QUrl base = document()->baseUrl();
            url = (base.isEmpty() ? pageUrl(QStringLiteral("/")) : base).resolved(name);
        }
        const QString path = bookPathOf(url);
        const QByteArray* data = path.isEmpty() ? nullptr : findObject(book_, path);
        switch (type) {
        case QTextDocument::HtmlResource:
            return data ? decodeHtml(*data) : missingPage(path.isEmpty() ? url.toString() : path);
        case QTextDocument::StyleSheetResource:
            return data ? QVariant(decodeText(*data)) : QVariant();
        default:
            return data ? QVariant(*data) : QVariant();
        }
    }

private:
    QString missingPage(const QString& path) const {
        const QString text = QString::fromUtf8(textsFor(book_).missingPage).arg(path);
        return QStringLiteral("<html><body><p>%1</p></body></html>").arg(text.toHtmlEscaped());
    }

    ChmBook book_;
};

BookBrowser* browserOf(QWidget* window) {
    return dynamic_cast<BookBrowser*>(window->findChild<QTextBrowser*>("helpBrowser"));
}

// A link clicked on a page: pages of the book open in the browser, web and mail links in the
// desktop's own programs; anything else (local files, other schemes) is left alone.
void followLink(QTextBrowser* browser, const QUrl& url) {
    const QString path = bookPathOf(url);
    if (!path.isEmpty()) {
        QUrl page = pageUrl(path);
        page.setFragment(url.fragment());
        browser->setSource(page);
        return;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("mailto"))
        QDesktopServices::openUrl(url);
}

// A tree of the entries of the book's sitemap `file` (contents or index). Each item that
// opens a page carries the page's URL in Qt::UserRole.
QTreeWidget* sitemapTree(const ChmBook& book, const QString& file, const char* objectName) {
    auto* tree = new QTreeWidget;
    tree->setObjectName(QLatin1String(objectName));
    tree->setHeaderHidden(true);
    tree->setColumnCount(1);
    tree->setUniformRowHeights(true);
    const QByteArray* data = findObject(book, file);
    if (!data)
        return tree;
    // parents[d] is the last item placed at depth d; an entry is at most one level deeper
    // than the one before it, so its parent is always there.
    std::vector<QTreeWidgetItem*> parents;
    for (const SitemapEntry& entry : parseSitemap(decodeHtml(*data))) {
        const auto depth = static_cast<size_t>(entry.depth);
        auto* item =
            depth == 0 ? new QTreeWidgetItem(tree) : new QTreeWidgetItem(parents[depth - 1]);
        parents.resize(depth);
        parents.push_back(item);
        item->setText(0, entry.name);
        if (!entry.local.isEmpty())
            item->setData(0, Qt::UserRole, pageUrl(entry.local));
    }
    const QIcon folder = tree->style()->standardIcon(QStyle::SP_DirIcon);
    const QIcon page = tree->style()->standardIcon(QStyle::SP_FileIcon);
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        (*it)->setIcon(0, (*it)->childCount() > 0 ? folder : page);
    tree->expandAll();
    return tree;
}

// Marks the entry of `tree` that opens `url`, without opening it again; an entry naming the
// same page and fragment wins over one naming the page alone.
void markEntry(QTreeWidget* tree, const QUrl& url) {
    const QString path = bookPathOf(url);
    const auto opens = [&](QTreeWidgetItem* item, bool withFragment) {
        const QUrl target = item->data(0, Qt::UserRole).toUrl();
        return target.isValid() && bookPathOf(target).compare(path, Qt::CaseInsensitive) == 0 &&
               (!withFragment || target.fragment() == url.fragment());
    };
    if (tree->currentItem() && opens(tree->currentItem(), false))
        return;
    QTreeWidgetItem* found = nullptr;
    for (bool withFragment : {true, false}) {
        for (QTreeWidgetItemIterator it(tree); *it && !found; ++it) {
            if (opens(*it, withFragment))
                found = *it;
        }
    }
    const QSignalBlocker blocker(tree);
    tree->setCurrentItem(found);
    if (found)
        tree->scrollToItem(found);
}

QToolButton* navigationButton(const char* objectName, const char* text, QStyle::StandardPixmap icon,
                              QWidget* window) {
    auto* button = new QToolButton;
    button->setObjectName(QLatin1String(objectName));
    button->setText(QString::fromUtf8(text));
    button->setIcon(window->style()->standardIcon(icon));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    return button;
}

} // namespace

QWidget* createHelpWindow(ChmBook book, QWidget* caller) {
    const WindowTexts& texts = textsFor(book);
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("helpWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setWindowTitle(book.title.isEmpty() ? QFileInfo(book.filePath).completeBaseName()
                                                : book.title);

    auto* browser = new BookBrowser(std::move(book), window);
    browser->setObjectName(QStringLiteral("helpBrowser"));
    browser->setOpenLinks(false);
    const ChmBook& shown = browser->book();

    auto* tabs = new QTabWidget;
    QTreeWidget* contents = sitemapTree(shown, shown.contentsFile, "helpContents");
    tabs->addTab(contents, QString::fromUtf8(texts.contents));
    std::vector<QTreeWidget*> trees{contents};
    if (!shown.indexFile.isEmpty()) {
        QTreeWidget* index = sitemapTree(shown, shown.indexFile, "helpIndex");
        index->setRootIsDecorated(false);
        tabs->addTab(index, QString::fromUtf8(texts.index));
        trees.push_back(index);
    }

    auto* splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(tabs);
    splitter->addWidget(browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({280, 620});

    auto* back = navigationButton("helpBack", texts.back, QStyle::SP_ArrowBack, window);
    auto* forward = navigationButton("helpForward", texts.forward, QStyle::SP_ArrowForward, window);
    auto* home = navigationButton("helpHome", texts.home, QStyle::SP_DirHomeIcon, window);
    back->setEnabled(false);
    forward->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addWidget(home);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);

    QObject::connect(back, &QToolButton::clicked, browser, &QTextBrowser::backward);
    QObject::connect(forward, &QToolButton::clicked, browser, &QTextBrowser::forward);
    QObject::connect(home, &QToolButton::clicked, window, [window] { showDefaultTopic(window); });
    QObject::connect(browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    QObject::connect(browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);
    QObject::connect(browser, &QTextBrowser::anchorClicked, browser,
                     [browser](const QUrl& url) { followLink(browser, url); });
    for (QTreeWidget* tree : trees) {
        QObject::connect(tree, &QTreeWidget::currentItemChanged, browser,
                         [browser](QTreeWidgetItem* item) {
                             const QUrl url = item ? item->data(0, Qt::UserRole).toUrl() : QUrl();
                             if (url.isValid())
                                 browser->setSource(url);
                         });
    }
    QObject::connect(browser, &QTextBrowser::sourceChanged, contents,
                     [contents](const QUrl& url) { markEntry(contents, url); });

    // Escape and Ctrl+W close the window, wherever the focus is in it.
    for (const QKeySequence& keys :
         {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto* shortcut = new QShortcut(keys, window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, window, &QWidget::close);
    }

    window->resize(900, 640);
    if (caller)
        window->move(caller->window()->frameGeometry().topLeft() + QPoint(40, 40));
    showDefaultTopic(window);
    return window;
}

void showDefaultTopic(QWidget* window) {
    if (BookBrowser* browser = browserOf(window))
        browser->setSource(pageUrl(browser->book().defaultTopic));
}

} // namespace tvk::help
