// The program's entry point, main loop and shutdown, and the process-wide handles they own.
#pragma once

#include "platform/module.h"

#include <QString>

namespace tvk {

// The language module chosen at start-up; the only source of user-interface resources.
extern ModuleHandle langModule;

// Runs the program: start-up, main loop, shutdown. Returns the process exit code: 5 when
// the language module is missing, otherwise 0.
int taviskMain(int argc, char** argv);

// The file name of the language module for a Windows language identifier:
// "tavisk_fr.so" for primary language French, "tavisk_en.so" for every other.
QString languageFileName(unsigned langId);

// A string of the language module, whole; empty when the module does not define it.
QString loadLangString(unsigned id);

} // namespace tvk
