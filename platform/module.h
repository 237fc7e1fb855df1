// Loading of shared libraries by name, in the manner the program expects of the platform:
// a module is known by its handle, which is its load address.
#pragma once

#include <string>

namespace tvk {

// A loaded module's handle: the address at which the module is mapped. The language module's
// own LibMain receives the same value when it is attached. Null means "no module".
using ModuleHandle = const void*;

// Opens the shared library `name`. A bare name is looked for in the program's own folder
// first, then through the usual library search; a name with a slash is opened as given.
// Returns null when the library cannot be loaded. A module stays loaded until freeLibrary.
ModuleHandle loadLibrary(const std::string& name);

// Looks up an exported symbol of a module loaded with loadLibrary; null when absent.
void* getProcAddress(ModuleHandle module, const char* symbol);

// Unloads a module loaded with loadLibrary. Null is ignored.
void freeLibrary(ModuleHandle module);

// The file a loaded module was read from; empty for an unknown handle.
std::string moduleFileName(ModuleHandle module);

// The folder that holds the running program, without a trailing slash.
std::string programFolder();

} // namespace tvk
