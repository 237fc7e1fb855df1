// hhctrl.so: the help engine that the program loads at run time and calls through HtmlHelpA.
#include "help/htmlhelp.h"

#include "help/chm_book.h"
#include "help/help_window.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <dlfcn.h>

#include <map>

namespace {

// The open help windows, one per book file. Windows still open when the library is unloaded
// are destroyed then: their code lives in this library. After the application object is
// gone there is nothing left to destroy them with, and the process is ending anyway.
struct OpenWindows {
    std::map<QString, QPointer<QWidget>> byBook;

    ~OpenWindows() {
        if (!QCoreApplication::instance())
            return;
        for (auto& [book, window] : byBook)
            delete window.data();
    }
};

OpenWindows openWindows;

// The folder that holds this library, without a trailing slash; empty when unknown.
QString libraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&HtmlHelpA), &info) == 0 || !info.dli_fname)
        return {};
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

// The book file that `file` names, or empty when there is none: a bare name beside the
// program first, then beside this library; a name with a slash as it is.
QString findBook(const char* file) {
    const QString name = QFile::decodeName(file);
    if (name.contains(QLatin1Char('/')))
        return QFileInfo(name).isFile() ? QFileInfo(name).canonicalFilePath() : QString();
    for (const QString& folder : {QCoreApplication::applicationDirPath(), libraryFolder()}) {
        const QFileInfo candidate(folder + QLatin1Char('/') + name);
        if (!folder.isEmpty() && candidate.isFile())
            return candidate.canonicalFilePath();
    }
    return {};
}

void bringForward(QWidget* window) {
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

extern "C" __attribute__((visibility("default"))) void*
HtmlHelpA(void* window, const char* file, unsigned command, uintptr_t /*data*/) {
    if (command != HH_DISPLAY_TOPIC || !file || !*file)
        return nullptr;
    // Widgets need the application object, and the thread it runs on.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QThread::currentThread() != QCoreApplication::instance()->thread())
        return nullptr;
    const QString path = findBook(file);
    if (path.isEmpty())
        return nullptr;
    QPointer<QWidget>& open = openWindows.byBook[path];
    if (open) {
        tvk::help::showDefaultTopic(open);
        bringForward(open);
        return open.data();
    }
    std::optional<tvk::help::ChmBook> book = tvk::help::loadChmBook(path);
    if (!book)
        return nullptr;
    QWidget* helpWindow =
        tvk::help::createHelpWindow(std::move(*book), static_cast<QWidget*>(window));
    // The application ending closes its help windows with it.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, helpWindow, &QObject::deleteLater);
    open = helpWindow;
    bringForward(helpWindow);
    return helpWindow;
}
