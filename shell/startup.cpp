#include "shell/startup.h"

#include "browse/catalogue_tree.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "catalogue/settings.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/language.h"
#include "platform/messagebox.h"
#include "platform/resources.h"
#include "shell/main_window.h"
#include "shell/panes.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMainWindow>
#include <QTranslator>

#include <memory>

namespace tvk {

ModuleHandle langModule = nullptr;
ModuleHandle helpModule = nullptr;
HtmlHelpFunction htmlHelp = nullptr;
QIcon searchIcon;
QCursor waitCursor;
QCursor busyCursor;
bool quitRequested = false;
int quitCode = 0;

namespace {

bool messageLoopRunning = false;
// Qt's own texts (the standard buttons of message boxes) in the chosen language.
std::unique_ptr<QTranslator> qtTranslator;

// The two-letter code of the language for a Windows language identifier: French for
// primary language 12 whatever the country, English for every other language.
const char* languageCode(unsigned langId) {
    return primaryLangId(static_cast<std::uint16_t>(langId)) == LANG_FRENCH ? "fr" : "en";
}

// `name` in the module folder of `options`, or bare for the usual library search.
std::string modulePath(const StartupOptions& options, const QString& name) {
    if (options.moduleFolder.empty())
        return name.toStdString();
    return options.moduleFolder + "/" + name.toStdString();
}

void installQtTranslation(const char* code) {
    auto translator = std::make_unique<QTranslator>();
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (translator->load(QStringLiteral("qtbase_") + QLatin1String(code), folder) &&
        QCoreApplication::installTranslator(translator.get()))
        qtTranslator = std::move(translator);
}

void removeQtTranslation() {
    if (qtTranslator)
        QCoreApplication::removeTranslator(qtTranslator.get());
    qtTranslator.reset();
}

// The icon of the search dialog, the two cursors, the help engine and the archive
// plug-ins. A help engine that is missing, or lacks its entry point, leaves help
// unavailable; the plug-ins are initialised in either case, since archive reading does not
// depend on help.
bool initApplication(const StartupOptions& options) {
    searchIcon = loadIcon(langModule, IDI_SEARCH);
    waitCursor = waitCursorShape();
    busyCursor = busyCursorShape();

    htmlHelp = nullptr;
    helpModule = loadLibrary(modulePath(options, QLatin1String(HELP_ENGINE_FILE)));
    if (helpModule) {
        htmlHelp = reinterpret_cast<HtmlHelpFunction>(getProcAddress(helpModule, "HtmlHelpA"));
        if (!htmlHelp) {
            freeLibrary(helpModule);
            helpModule = nullptr;
        }
    }
    taviskPlg_init_plugins();
    return true;
}

// The catalogue's part of start-up: reading the connection settings and the first
// connection, made by the first refill of the tree. It joins here with the catalogue code.
void openCatalogueAtStartup() {
    readConnectionSettings();
    refillCatalogueTree(mainWindow);
}

// The catalogue's part of shutdown: closing the connection and handing the archive library
// none. It joins here with the catalogue code.
void closeCatalogueAtShutdown() {
    closeCatalogueConnection();
}

} // namespace

QString languageFileName(unsigned langId) {
    return QString::asprintf(LANGUAGE_FILE_PATTERN, languageCode(langId));
}

QString loadLangString(unsigned id) {
    return loadString(langModule, id);
}

std::optional<int> startApplication(const StartupOptions& options) {
    quitRequested = false;
    quitCode = 0;

    const unsigned langId = getUserDefaultLangId();
    const QString fileName = languageFileName(langId);
    langModule = loadLibrary(modulePath(options, fileName));
    if (!langModule) {
        messageBox(nullptr, QStringLiteral("Language file not found"), fileName,
                   MB_OK | MB_ICONERROR);
        return EXIT_NO_LANGUAGE_FILE;
    }
    installQtTranslation(languageCode(langId));

    if (!initApplication(options))
        return 0;
    const std::vector<AccelEntry> accelerators =
        loadAccelerators(langModule, IDA_MAIN).value_or(std::vector<AccelEntry>());

    if (!createMainWindow())
        return 0;
    installAccelerators(accelerators);
    attachMainMenu();
    createStatusBar(clientArea, loadLangString(IDS_READY), 1);
    createToolBar(clientArea);
    // The window had its first sizes before the bars existed: lay it out once with both.
    onMainWindowSize();

    // The window has been visible since its creation; let it paint before the first
    // connection, which may take as long as the connect timeout.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    openCatalogueAtStartup();
    mainWindow->show();
    return std::nullopt;
}

// The open search dialog handles its own keyboard navigation (Tab, Enter, Escape); every other
// key press of the program meets the accelerator table first (installAccelerators), which acts
// only here, never in the nested loops.
int runMessageLoop() {
    if (quitRequested)
        return quitCode;
    messageLoopRunning = true;
    const int code = QApplication::exec();
    messageLoopRunning = false;
    return code;
}

void postQuitMessage(int code) {
    quitRequested = true;
    quitCode = code;
    if (messageLoopRunning)
        QCoreApplication::exit(code);
}

void shutdownApplication() {
    delete mainWindow;
    // Pictures held outside any widget go before the application object does.
    searchIcon = QIcon();
    discImage = folderImage = archiveImage = QIcon();
    closeCatalogueAtShutdown();
    htmlHelp = nullptr;
    if (helpModule)
        freeLibrary(helpModule);
    helpModule = nullptr;
    taviskPlg_remove_plugins();
    removeQtTranslation();
}

int taviskMain(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (const std::optional<int> early = startApplication())
        return *early;
    const int code = runMessageLoop();
    shutdownApplication();
    return code;
}

} // namespace tvk
