// The volume scanner: puts one volume into the catalogue inside the modal indexing dialog 550.
// It writes or renews the disc's row, walks every directory of the volume, stores each entry
// through the archive library's writer and hands each archive to the library's reader, moving
// the dialog's progress bar and pumping messages as it goes.
#pragma once

#include "indexing/index_summary.h"
#include "platform/dialog.h"
#include "platform/volumes.h"

#include <QString>

#include <cstdint>
#include <string>

class QWidget;

namespace tvk {

// What the indexing dialog is asked to do. The caller owns it while the dialog runs.
struct IndexRequest {
    std::string rootPath;   // the volume's root directory (a mount point); ends with '/'
    std::string volumeName; // the volume label as bytes; may be empty
    int discId = -1;        // the cd_id of the disc to renew, or -1 for a new disc
    std::string imagePath;  // a disc image read in place of a volume (rootPath unused); empty:
                            // a volume
};

// How the last indexing ended (the dialog's, or the last call of indexVolume or indexImage).
extern IndexSummary lastIndexing;

// Entry type codes as fic_type stores them; ' ' only in the closing call of a walk.
constexpr char ENTRY_DIRECTORY = 'R';
constexpr char ENTRY_ARCHIVE = 'Z';
constexpr char ENTRY_FILE = 'F';
constexpr char ENTRY_NONE = ' ';

// The disc statements, as the server receives them ("%s": the escaped label; "%d": a disc id):
// a new disc, the removal of a disc's entries (Update and Delete), a renewed disc, the removal
// of a disc's row (Delete).
extern const char* const SQL_INSERT_DISC;
extern const char* const SQL_DELETE_DISC_ENTRIES;
extern const char* const SQL_DELETE_DISC;
extern const char* const SQL_UPDATE_DISC;

// The longest disc name the catalogue keeps (cd_nom is varchar(255)): a longer label is cut at
// a UTF-8 character boundary.
constexpr std::size_t DISC_NAME_MAX = 255;

// How far a walk has come: the depth down to which entries are counted and move the bar, how
// many entries there are down to it, how many have been reached, the entries stored, whether a
// write failed or the sink asked to stop (the walk then stops), and what it left out.
struct WalkProgress {
    int progressLevel = 0;
    int total = 0;
    int counter = 0;
    std::uint64_t stored = 0;
    std::uint64_t bytes = 0; // the sizes of the files stored so far (archives' contents not)
    ProgressSink* sink = nullptr;
    IndexSummary* summary = nullptr;
    std::string rootPath;       // the volume's root, ending with '/'
    std::string currentArchive; // the archive the library reads, from the root
    bool writeFailed = false;
    bool stopped = false;
    bool fingerprint = false;      // each file's contents are fingerprinted as it is stored
    std::uint64_t bytesHashed = 0; // bytes of contents read for fingerprints so far
};

// Runs dialog 550 modally, owned by the main window, for `request`; returns the dialog's result
// (indexVolume's), or -1 when the dialog cannot be made. The dialog shows the entries read and
// stops the indexing on its Cancel button or Escape. How it ended is in lastIndexing.
int runIndexingDialog(const IndexRequest& request);

// The procedure of dialog 550: its 1 ms timer starts indexVolume once the dialog shows, and the
// dialog ends with indexVolume's result. The initialisation parameter is the IndexRequest.
// Command 2 (Cancel, Escape) asks the indexing to stop.
bool indexingDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam);

// Puts the volume at `rootPath` into the catalogue under a new disc (discId -1) or as the new
// contents of disc `discId`, reporting to `sink`, and fills `summary`. Returns the disc id; 0
// when the disc row cannot be written, -1 when the old entries of the disc cannot be removed
// (each after the "MySQL Error" box; nothing is walked, the disc is left as it was). A write
// that fails during the walk is reported once in the "MySQL Error" box and stops the walk; the
// disc row stays and its id is returned, so that the disc can be updated later. When the sink
// asks to stop, the walk ends there: a new disc is removed again (the result is then 0), an
// updated one keeps what was stored.
// With `fingerprint`, every file's contents (archives' included) get a fingerprint, stored in
// tvk_file_hashes with the entries; a file that cannot be read is stored without one and named
// in the summary. Update removes the disc's old fingerprints with its entries either way.
int indexVolume(const std::string& rootPath, const std::string& volumeName, int discId,
                ProgressSink& sink, IndexSummary& summary, bool fingerprint = false);

// The same, moving `progressBar` (may be null) and pumping messages, never stopped; the
// summary goes to lastIndexing.
int indexVolume(const std::string& rootPath, const std::string& volumeName, int discId,
                QWidget* progressBar);

// The depth down to which entries move the progress bar: the first level at which the entries
// down to it number 100 or more, or at which a deeper pass finds no more than the one before
// (the whole volume is counted then). The count of the last pass goes to `total`.
int chooseProgressLevel(const Directory& root, int& total);

// Puts the disc image at `imagePath` into the catalogue as indexVolume puts a volume: its
// entries at the disc's root, directories made explicit, archives inside read as on a disc.
// Returns as indexVolume does. An image that turns out unreadable or damaged (it was checked
// before, but may have changed) is reported, and a new disc's row and entries are removed
// again: the result is then 0.
int indexImage(const std::string& imagePath, const std::string& volumeName, int discId,
               ProgressSink& sink, IndexSummary& summary, bool fingerprint = false);
int indexImage(const std::string& imagePath, const std::string& volumeName, int discId,
               QWidget* progressBar);

// Tells why the disc image at `imagePath` is refused: `failure` is PARCOURE_DAMAGED (read
// partly) or any other failure (not an image the library reads).
void showImageRefused(const std::string& imagePath, int failure);

// The number of entries of `dir` and below it at depths from `depth` to `maxDepth`, archives'
// contents not included. A directory that cannot be listed counts 0.
int countEntries(const Directory& dir, int maxDepth, int depth);

// Stores every entry of the current directory of `dirs` (whose path is `path`, ending with
// '/') beneath `parentId`, and the contents of its directories and archives, depth first. A
// folder that cannot be opened is stored without contents and noted in the summary.
void walkDirectory(DirectoryPath& dirs, const std::string& path, int discId, int parentId,
                   int depth, WalkProgress& progress);

// Stores one entry of the current directory of `dirs` and, for a directory or an archive, its
// contents.
void indexEntry(const DirectoryEntry& entry, DirectoryPath& dirs, const std::string& path,
                int discId, int parentId, int depth, WalkProgress& progress);

// 'R' for a directory; 'Z' for a regular file whose name the archive library reads; 'F'
// otherwise (a link, FIFO, socket or device is a file whatever its name).
char entryType(const DirectoryEntry& entry);

// Hands one entry to the library's writer (null: the closing call of the walk) and returns the
// writer's result: the new entry id, or 0 or less on failure.
int storeEntry(const DirectoryEntry* entry, int discId, int parentId);

// The position of the progress bar for `counter` entries out of `total`: 0 to 100, also when
// the volume changed between the counting pass and the walk (100 for an empty count).
int progressPosition(int counter, int total);

// `format` (one of the disc statements) with its "%s" and "%d" filled, as the C library's
// formatter does, in a string as long as needed.
std::string composeStatement(const char* format, const std::string& text, int number);

} // namespace tvk
