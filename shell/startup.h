// The program's entry point, main loop and shutdown, and the process-wide handles they own.
#pragma once

#include "help/htmlhelp.h"
#include "platform/module.h"

#include <QCursor>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

namespace tvk {

// The language module's file name, "%s" standing for the two-letter language code.
constexpr const char* LANGUAGE_FILE_PATTERN = "tavisk_%s.so";
// The help engine, loaded by name at start-up.
constexpr const char* HELP_ENGINE_FILE = "hhctrl.so";
// Exit code when the language module cannot be loaded.
constexpr int EXIT_NO_LANGUAGE_FILE = 5;

// The language module chosen at start-up; the only source of user-interface resources.
// Never released: it lives until the process ends.
extern ModuleHandle langModule;
// The help engine and its entry point; null when help is unavailable.
extern ModuleHandle helpModule;
extern HtmlHelpFunction htmlHelp;
// Icon 113 of the language module, for the search dialog.
extern QIcon searchIcon;
// The hourglass (indexing, start of a search) and the arrow with hourglass (a search
// streaming its results).
extern QCursor waitCursor;
extern QCursor busyCursor;

// Where start-up finds its modules.
struct StartupOptions {
    // Folder of the language module and the help engine; empty: the usual library search
    // (the program's own folder first).
    std::string moduleFolder;
};

// Runs the program: start-up, main loop, shutdown. Returns the process exit code: 5 when
// the language module is missing, otherwise the code of the quit request (0).
int taviskMain(int argc, char** argv);

// Start-up, up to the main window shown with its menu, bars and first connection. A
// QApplication must exist. Returns nothing when the program is ready for its main loop,
// otherwise the exit code to end with at once (5: language module missing, after its box).
std::optional<int> startApplication(const StartupOptions& options = {});

// The main loop: runs until the quit request and returns its code.
int runMessageLoop();

// Shutdown after the main loop: closes the catalogue, releases the help engine and removes
// the archive plug-ins. A main window still open (start-up run without the loop) is
// destroyed first. Safe when start-up stopped early.
void shutdownApplication();

// Asks the main loop to end with `code` (the destruction of the main window does this).
// Outside the main loop the request stays pending in quitRequested.
void postQuitMessage(int code);
// Whether a quit request is pending or has ended the loop, and its code.
extern bool quitRequested;
extern int quitCode;

// The file name of the language module for a Windows language identifier:
// "tavisk_fr.so" for primary language French, "tavisk_en.so" for every other.
QString languageFileName(unsigned langId);

// A string of the language module, whole; empty when the module does not define it.
QString loadLangString(unsigned id);

} // namespace tvk
