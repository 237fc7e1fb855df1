// The archive library's six functions (libtvk_plg_api.so, C ABI). The program links against
// the library; the library writes the catalogue rows itself, on the connection handed to it
// with setMsc.
#pragma once

#include <mysql.h>

#ifdef __cplusplus
extern "C" {
#endif

// Builds the library's table of archive formats. Called once at start-up; its result is
// not looked at.
int taviskPlg_init_plugins(void);

// Releases what taviskPlg_init_plugins built. Safe twice, and without a prior init.
int taviskPlg_remove_plugins(void);

// Hands the library the catalogue connection it writes rows on; null: none. The library
// keeps the handle, it does not own it, and no longer uses the previous one.
int setMsc(MYSQL* connection);

// Nonzero when `name` (a bare file name, no path) is that of an archive the library reads.
int isSupportedArchive(const char* name);

// Writes one entry as a row of fic_fichiers on the connection of setMsc. For a directory
// ('R') or archive ('Z') returns its new fic_id (> 0); 0 or less means failure. The closing
// call (null name, type ' ', zeros) ends a walk: once it returns every row is stored.
int composeReqInsertion(const char* name, char type, unsigned long long size, int year, int month,
                        int day, int hour, int minute, int second, int discId, int parentId);

// Reads the archive at `path` and writes its entries under (discId, archiveId).
int ParcoureArchive(const char* path, int discId, int archiveId, int flags);

#ifdef __cplusplus
}
#endif
