// Start-up, the main loop and shutdown, in process: the language choice, the missing
// language module, the missing help engine, quitting, and the archive plug-ins' life.
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"

#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/resources.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <tuple>

// Counts the program's calls into the archive library and passes each on to the real one.
namespace {
int pluginInits = 0;
int pluginRemovals = 0;

// The archive library's own entry point `name`.
template <typename Fn>
Fn realFunction(const char* name) {
    static void* library = dlopen("libtvk_plg_api.so", RTLD_NOW | RTLD_LOCAL);
    return library ? reinterpret_cast<Fn>(dlsym(library, name)) : nullptr;
}
} // namespace

extern "C" int taviskPlg_init_plugins(void) {
    ++pluginInits;
    return realFunction<int (*)()>("taviskPlg_init_plugins")();
}

extern "C" int taviskPlg_remove_plugins(void) {
    ++pluginRemovals;
    return realFunction<int (*)()>("taviskPlg_remove_plugins")();
}

namespace tvk::test {
namespace {

class Startup : public ::testing::Test {
protected:
    void SetUp() override { pluginInits = pluginRemovals = 0; }
};

std::string moduleFile() {
    return moduleFileName(langModule);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The text Qt's message boxes give their Yes button in the current translation.
QString yesButtonText() {
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes);
    return box.button(QMessageBox::Yes)->text();
}

TEST_F(Startup, EveryFrenchLocaleLoadsTheFrenchModule) {
    for (const char* locale : {"fr_BE.UTF-8", "fr_CA.UTF-8", "fr_CH.UTF-8", "fr_FR.UTF-8"}) {
        MessageBoxScript boxes;
        RunningTavisk tavisk(locale);
        ASSERT_TRUE(tavisk.started()) << locale;
        EXPECT_TRUE(endsWith(moduleFile(), "/tavisk_fr.so")) << locale << " " << moduleFile();
        // The first connection finds no server (the tests' settings lead nowhere).
        EXPECT_EQ(currentStatusText(),
                  QStringLiteral("Impossible de se connecter au serveur MySQL sur le port 3306 !"))
            << locale;
        EXPECT_EQ(mainWindow->windowTitle(), QStringLiteral("Tavisk"));
        // Qt's own buttons speak the same language.
        EXPECT_EQ(yesButtonText(), QStringLiteral("&Oui")) << locale;
    }
}

TEST_F(Startup, EveryOtherLocaleLoadsTheEnglishModule) {
    for (const char* locale :
         {"de_DE.UTF-8", "en_US.UTF-8", "C", static_cast<const char*>(nullptr)}) {
        const std::string name = locale ? locale : "(none)";
        MessageBoxScript boxes;
        RunningTavisk tavisk(locale);
        ASSERT_TRUE(tavisk.started()) << name;
        EXPECT_TRUE(endsWith(moduleFile(), "/tavisk_en.so")) << name << " " << moduleFile();
        EXPECT_EQ(currentStatusText(),
                  QStringLiteral("Unable to connect to MySQL server on port 3306 !"))
            << name;
        EXPECT_EQ(yesButtonText(), QStringLiteral("&Yes")) << name;
    }
}

TEST_F(Startup, MissingLanguageModuleShowsOnlyItsBoxAndEndsWithFive) {
    QTemporaryDir emptyFolder;
    ASSERT_TRUE(emptyFolder.isValid());
    for (const auto& [locale, fileName] :
         {std::pair{"fr_FR.UTF-8", "tavisk_fr.so"}, std::pair{"en_US.UTF-8", "tavisk_en.so"}}) {
        setLocale(locale);
        const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());
        MessageBoxScript boxes;
        boxes.expect(QString::fromLatin1(fileName), QStringLiteral("Language file not found"),
                     IDOK_BOX);
        const std::optional<int> exitCode =
            startApplication(StartupOptions{emptyFolder.path().toStdString()});
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_EQ(*exitCode, 5);
        ASSERT_EQ(boxes.calls().size(), 1u);
        EXPECT_EQ(boxes.calls()[0].owner, nullptr);
        EXPECT_EQ(boxes.calls()[0].flags, unsigned(MB_OK | MB_ICONERROR));
        // Nothing else: no window, no bars, no plug-ins, no help engine.
        EXPECT_EQ(mainWindow, nullptr);
        EXPECT_EQ(statusBar, nullptr);
        EXPECT_EQ(toolBar, nullptr);
        EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
        EXPECT_EQ(pluginInits, 0);
        EXPECT_EQ(helpModule, nullptr);
        shutdownApplication(); // safe after the early end
    }
    setLocale("en_US.UTF-8");
}

TEST_F(Startup, WithoutHelpEngineTheProgramStartsAndHelpDoesNothing) {
    // A folder with both language modules and no hhctrl.so.
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const char* module : {"tavisk_en.so", "tavisk_fr.so"})
        ASSERT_TRUE(QFile::copy(binFolder() + "/" + module, folder.filePath(module)));
    MessageBoxScript boxes;
    {
        RunningTavisk tavisk("en_US.UTF-8", StartupOptions{folder.path().toStdString()});
        ASSERT_TRUE(tavisk.started());
        EXPECT_EQ(helpModule, nullptr);
        EXPECT_EQ(htmlHelp, nullptr);
        // Archive reading does not depend on help: the plug-ins are initialised all the same.
        EXPECT_EQ(pluginInits, 1);

        QAction* help = commandAction(CMD_HELP);
        EXPECT_TRUE(help->isEnabled());
        const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());
        help->trigger();
        QToolButton* button = nullptr;
        for (auto* candidate : toolBar->findChildren<QToolButton*>())
            if (candidate->property("commandId").toInt() == CMD_HELP)
                button = candidate;
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
        QCoreApplication::processEvents();
        EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
        EXPECT_TRUE(help->isEnabled());
        EXPECT_TRUE(button->isEnabled());
    }
    EXPECT_EQ(pluginRemovals, 1);
}

// The visible help window, if any.
QWidget* helpWindow() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == QStringLiteral("helpWindow") && window->isVisible())
            return window;
    return nullptr;
}

TEST_F(Startup, HelpOpensTheBookOfTheLanguageAtItsDefaultTopic) {
    for (const auto& [locale, title, topic] :
         {std::tuple{"en_US.UTF-8", "Tavisk Help", "Welcome to Tavisk"},
          std::tuple{"fr_FR.UTF-8", "Aide de Tavisk", "Bienvenue dans Tavisk"}}) {
        MessageBoxScript boxes;
        RunningTavisk tavisk(locale);
        ASSERT_TRUE(tavisk.started());
        ASSERT_NE(helpModule, nullptr) << "hhctrl.so not found";
        ASSERT_NE(htmlHelp, nullptr);
        EXPECT_EQ(pluginInits, 1);
        ASSERT_EQ(helpWindow(), nullptr);
        QTest::keyClick(mainWindow, Qt::Key_F1);
        QWidget* window = helpWindow();
        ASSERT_NE(window, nullptr) << locale;
        EXPECT_EQ(window->windowTitle(), QString::fromUtf8(title));
        auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("helpBrowser"));
        ASSERT_NE(browser, nullptr);
        EXPECT_EQ(browser->documentTitle(), QString::fromUtf8(topic));
        // The French window stays open: shutdown releases the engine with it.
        if (std::string(locale).starts_with("en")) {
            window->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        pluginInits = 0;
    }
    EXPECT_EQ(helpWindow(), nullptr);
    // Releasing the engine at shutdown leaves the plug-ins removed as well.
    EXPECT_EQ(helpModule, nullptr);
    EXPECT_EQ(htmlHelp, nullptr);
    EXPECT_EQ(pluginRemovals, 2);
}

TEST_F(Startup, ShutdownRemovesThePluginsOnce) {
    {
        RunningTavisk tavisk;
        ASSERT_TRUE(tavisk.started());
        EXPECT_EQ(pluginInits, 1);
        EXPECT_EQ(pluginRemovals, 0);
    }
    EXPECT_EQ(pluginRemovals, 1);
    EXPECT_EQ(mainWindow, nullptr);
}

TEST_F(Startup, LoadLangStringIsWholeOrEmpty) {
    RunningTavisk tavisk;
    ASSERT_TRUE(tavisk.started());
    EXPECT_TRUE(loadLangString(9999).isEmpty());
    EXPECT_TRUE(loadLangString(3).isEmpty());
    const QString longest = loadLangString(CMD_SEARCH);
    EXPECT_TRUE(longest.startsWith(QStringLiteral("Find the locations of files")));
    EXPECT_TRUE(longest.endsWith(QStringLiteral("allowed in the searched name.")));
}

// Runs `quit` once the main loop runs, and returns the loop's exit code.
int quitThroughLoop(std::function<void()> quit) {
    QTimer::singleShot(0, quit);
    // A loop that never ends would hang the test: end it after a while with another code.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
    return runMessageLoop();
}

TEST_F(Startup, CtrlQMenuAndCloseBoxEndTheMainLoopWithZero) {
    {
        RunningTavisk tavisk;
        ASSERT_TRUE(tavisk.started());
        EXPECT_EQ(
            quitThroughLoop([] { QTest::keyClick(mainWindow, Qt::Key_Q, Qt::ControlModifier); }),
            0);
        EXPECT_EQ(mainWindow, nullptr);
    }
    {
        RunningTavisk tavisk;
        ASSERT_TRUE(tavisk.started());
        QAction* quit = nullptr;
        for (QAction* item : mainMenu->actions().at(0)->menu()->actions())
            if (item->data().toInt() == CMD_QUIT)
                quit = item;
        ASSERT_NE(quit, nullptr);
        EXPECT_EQ(quit->text(), QStringLiteral("&Quit"));
        EXPECT_EQ(quitThroughLoop([quit] { quit->trigger(); }), 0);
        EXPECT_EQ(mainWindow, nullptr);
    }
    {
        RunningTavisk tavisk;
        ASSERT_TRUE(tavisk.started());
        EXPECT_EQ(quitThroughLoop([] { mainWindow->close(); }), 0);
        EXPECT_EQ(mainWindow, nullptr);
        EXPECT_EQ(toolBar, nullptr);
        EXPECT_EQ(statusBar, nullptr);
    }
}

} // namespace
} // namespace tvk::test
