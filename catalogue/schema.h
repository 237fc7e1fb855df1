// The catalogue's three tables, their creation and the schema versions: the version check that
// decides whether this program may use a catalogue, and the step-by-step upgrade of an older
// one behind the wait dialog 280.
#pragma once

#include "lang/resource.h"
#include "platform/dialog.h"

#include <cstdint>

namespace tvk {

// This program's level: it works with a catalogue whose version_mini is at most this.
constexpr int PROGRAM_LEVEL = 3;
// The schema version this program creates and upgrades to.
constexpr int SCHEMA_VERSION = 3;
// The version_mini this program writes, on creation and after every upgrade step.
constexpr int MIN_PROGRAM_LEVEL = 1;

// Longest part of the dialog's caption kept before the step suffix.
constexpr int UPGRADE_CAPTION_MAX = 248;

// Size of the statement buffer of the catalogue subsystem.
constexpr std::size_t CATALOGUE_STATEMENT_SIZE = 2000;

// The statements, byte for byte as the server must receive them (Latin-1: the comment's
// accented letter is the single byte 0xE9). "%u" takes an unsigned number, "%s" a text as it
// stands.
extern const char* const SQL_CREATE_VERSION_TABLE; // version table
extern const char* const SQL_INSERT_VERSION_ROW;   // %u version_mini, %u version_bd
extern const char* const SQL_CREATE_DISC_TABLE;    // discs
extern const char* const SQL_CREATE_ENTRY_TABLE;   // entries
extern const char* const SQL_SELECT_VERSION;       // version query
extern const char* const SQL_CREATE_DATABASE;      // %s database name (quoted unless plain)
extern const char* const SQL_UPGRADE_FULLTEXT;     // step 1->2
extern const char* const SQL_UPGRADE_BIGINT_SIZE;  // step 2->3
extern const char* const SQL_UPDATE_VERSION_ROW;   // %u version_mini, %u version_bd

// Runs the four creation statements on catalogueConnection (version table, its row at version
// 3, discs, entries). 0 when all succeeded; 1 after the first failure, which is reported under
// "MySQL Error". What succeeded stays done; the connection stays open.
int createCatalogueTables();

// Creates database `name` (quoted in the statement unless it is a plain identifier of letters,
// digits, "_" and "$"), selects it and creates its tables. 0 on success; 1 when the
// creation failed (the connection is then closed) or a table failed (it stays open); 2 when
// the database was created but cannot be selected (the connection is then closed).
int createCatalogueDatabase(const char* name);

// Reads the version row and decides: 0 when the catalogue may be used as it stands (also after
// a creation or an upgrade the user agreed to), 1 when it is refused. Never closes the
// connection.
int checkCatalogueVersion();

// Brings a catalogue at schema version `versionBd` to the current version (-1: creates the
// tables). 0 on success, any other value on failure.
int upgradeCatalogue(int versionBd);

// One upgrade step, from `fromVersion` (1 or 2) to the next, run in dialog 280. 0 on success,
// 1 when a statement failed, -1 when the dialog cannot be created.
int runUpgradeStep(int fromVersion);

// Procedure of dialog 280; the initialisation parameter is the step's starting version (1 or
// 2). The dialog runs the step from its timer and ends with 0 (done) or 1 (failed).
bool upgradeDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                       std::intptr_t lParam);

} // namespace tvk
