// The archive library's functions (libtvk_plg_api.so, C ABI). The program links against
// the library; the library writes the catalogue rows itself, on the connection handed to it
// with setMsc.
#pragma once

#include <mysql.h>

#ifdef __cplusplus
extern "C" {
#endif

// Called once at start-up; the library needs no preparing (it knows its formats by their
// endings). Returns 0.
int taviskPlg_init_plugins(void);

// Called at shutdown: forgets the callbacks of taviskPlg_set_callbacks. Safe twice, and without
// a prior init. Returns 0.
int taviskPlg_remove_plugins(void);

// Hands the library the catalogue connection it writes rows on; null: none. The library
// keeps the handle, it does not own it, and no longer uses the previous one (an answer still
// due on it is not read: call taviskPlg_wait_writes first if the handle stays in use).
int setMsc(MYSQL* connection);

// The library sends its INSERTs without waiting for the server's answer, and reads that answer
// before its next statement. The program calls this before it sends anything of its own on the
// connection of setMsc (or closes it) while a walk may be open: it reads the answer still due,
// if any. Returns 1 when there was none or it succeeded, 0 when it failed (the walk has failed;
// the connection's mysql_error holds the server's text). May be called from the callbacks.
int taviskPlg_wait_writes(void);

// Nonzero when `name` (a bare file name, no path) is that of an archive the library reads:
// zip and jar (war, ear), 7z, rar, tar and its compressed forms (tgz, tbz2, txz, tzst, tlz,
// tar.lz, tar.lz4, tar.Z), cab, lha/lzh, cpio, iso, xar, ar and deb, rpm. The ending is compared
// without regard to case and must follow at least one byte (".zip" alone is a file). Office
// documents, e-books and static libraries are files, not archives. Works before
// taviskPlg_init_plugins and after taviskPlg_remove_plugins.
int isSupportedArchive(const char* name);

// Stores one entry of a walk as a row of fic_fichiers on the connection of setMsc. Rows are
// buffered and sent as multi-row INSERTs; the library numbers the entries of each disc itself
// (the highest fic_id of the disc, read when a walk starts, plus one, counting up). A call for
// another disc sends what is buffered and goes on with that disc's own numbering.
// Returns the entry's new fic_id (> 0) for every type, at once; 0 when the call is refused (a
// type other than 'R', 'Z', 'F', or a null name outside the closing call: nothing is stored);
// -1 once a write of this walk is known to have failed (its answer is read when the next
// statement goes out; nothing more is sent until the closing call) or without a connection.
// Names longer than 255 bytes are cut at a UTF-8 boundary (at 255 when they are not UTF-8);
// sizes above the BIGINT range are stored as its maximum; a date that is not a valid date and
// time (years 1000 to 9999) is stored as NULL; parent -1 is the disc's root (NULL).
// The closing call (null name, type ' ', zeros) sends what is buffered and ends the walk: once
// it returns, every row of the walk is in the table. It returns 1 when every write of the walk
// succeeded (or nothing was stored), otherwise 0; the connection's mysql_error then still
// holds the server's text of the first failure. setMsc during a walk fails the walk: its
// buffered rows are dropped, and the rest of it answers -1 up to the closing call, which
// returns 0.
int composeReqInsertion(const char* name, char type, unsigned long long size, int year, int month,
                        int day, int hour, int minute, int second, int discId, int parentId);

// What the fourth argument of ParcoureArchive asks for (bits), and its failure results.
#define PARCOURE_WHOLE 1      /* the archive must be read to its end: a damaged one is reported */
#define PARCOURE_CHECK_ONLY 2 /* read the archive whole, store nothing: is it readable? */
/* Fingerprint each file's contents (archives' too) from the data as it is decompressed, and
   store the fingerprints in tvk_file_hashes with the entries. */
#define PARCOURE_FINGERPRINT 4
#define PARCOURE_UNREADABLE (-1) /* not an archive the library reads (or the writer failed) */
#define PARCOURE_DAMAGED (-2)    /* the reading ended on an error before the archive's end */

#define PARCOURE_STOPPED (-3) /* the reading was stopped by the progress callback's answer */

/* The limits that cut an archive's contents short, as the cutShort callback reports them. Each
   archive read whole (the one handed to ParcoureArchive; for a disc image read as a disc, each
   archive the image holds, as the same disc mounted would give) has its own budgets, shared by
   the archives nested in it. */
/* Its data decompressed (to pass over entries or to reach the archives inside) outgrew 4096
   times its compressed size (at least 64 MiB are allowed). */
#define TVK_LIMIT_RATIO 1
#define TVK_LIMIT_BYTES 2      /* the ceiling of data decompressed for one archive (32 GiB) */
#define TVK_LIMIT_DISC_BYTES 3 /* the ceiling of data decompressed for one disc (128 GiB) */
#define TVK_LIMIT_ENTRIES 4    /* the most entries one archive may hold (1,000,000) */
#define TVK_LIMIT_NESTING 5    /* archives nested deeper than the library reads (8 levels) */
#define TVK_LIMIT_SPOOL 6      /* a nested archive too large for its temporary copy */

// What the library calls while ParcoureArchive reads. Each member may be null. Neither callback
// may call the library but for taviskPlg_wait_writes.
struct TvkPlgCallbacks {
    // Called inside ParcoureArchive (a check with PARCOURE_CHECK_ONLY too) between entries and
    // between blocks of data (64 KiB decompressed, copied or passed over), whenever 20 ms or
    // more have passed since the last call or since ParcoureArchive began: a long decompression
    // calls it about every 20 ms, a short reading may not call it at all. A nonzero answer stops
    // the reading at once: ParcoureArchive then returns PARCOURE_STOPPED (unless the writer
    // failed: PARCOURE_UNREADABLE), what was stored stays, and nothing more is reported.
    int (*progress)(void* context);
    // Called during ParcoureArchive (never for a check), once for each archive whose contents a
    // limit cut short (TVK_LIMIT_*): an archive whose listing ended before its end, or one that
    // was stored without being opened. `innerPath` is its path inside the archive or image
    // handed to ParcoureArchive, "/" between names ("" for that archive itself); it lives for
    // the call only. An archive that ends cut short this way is no error: the result is the
    // count of entries stored.
    void (*cutShort)(void* context, const char* innerPath, int limit);
    void* context;
};

// Sets the callbacks of every later ParcoureArchive (copied; null: none).
int taviskPlg_set_callbacks(const struct TvkPlgCallbacks* callbacks);

// Sets what every later fingerprinting ParcoureArchive (or taviskPlg_list_archive) calls for
// each file whose data could not be read to its end (a read error, a damaged archive): its
// entry is stored without a fingerprint. `innerPath` as for cutShort, living for the call only;
// `context` is handed back. Files left unread because a limit cut the reading short are not
// reported here. Null: none. It may not call the library.
int taviskPlg_set_unreadable_callback(void (*unreadable)(void* context, const char* innerPath),
                                      void* context);

// Switches fingerprinting on (nonzero) or off (0) for every later ParcoureArchive, as if each
// had PARCOURE_FINGERPRINT in its flags (a program's walk asks for it once, before the walk).
// Off at load. Returns the previous setting.
int taviskPlg_set_fingerprinting(int on);

// Bytes of file contents fingerprinted by the library since it was loaded (all readings
// together): a progress display takes the difference between two calls.
unsigned long long taviskPlg_fingerprinted_bytes(void);

// Keeps the fingerprint (XXH3-128, 16 bytes, canonical big-endian form) of the contents of an
// entry the current walk stored through composeReqInsertion (`ficId`, as it returned), holding
// `size` bytes. It is buffered and sent with the walk's rows (into tvk_file_hashes, made when
// absent), so the closing call leaves both tables complete. Returns 1 when kept; 0 for a null
// hash, no walk, or an entry of another disc or not stored by this walk; -1 once a write of the
// walk has failed.
int taviskPlg_store_fingerprint(int discId, int ficId, unsigned long long size,
                                const unsigned char* hash);

// Reads the archive at `path` and stores its entries, through the same writer, beneath the
// archive's row (discId, archiveId; -1: the disc's root, for a disc image read as a disc,
// whose own entries are not bounded in number):
// directories made explicit, archives inside stored as 'Z' with their own contents. Returns the
// number of entries stored, or PARCOURE_UNREADABLE when the archive could not be opened. A
// damaged or hostile archive ends cleanly, keeping what was read; with PARCOURE_WHOLE in
// `flags` a reading that ended on an error returns PARCOURE_DAMAGED (what was read stays
// stored). With PARCOURE_CHECK_ONLY nothing is stored and the connection is not used: the
// result is the number of entries the archive holds (its archives inside are not opened),
// PARCOURE_UNREADABLE or PARCOURE_DAMAGED. With PARCOURE_FINGERPRINT every regular file read to
// its end gets its fingerprint, sent with the rows; a file not read completely gets none.
// `flags` is 0 for an archive met during a walk. The
// data decompressed for one disc is counted from its walk's first ParcoureArchive to the walk's
// closing call (a reading outside a walk counts alone).
int ParcoureArchive(const char* path, int discId, int archiveId, int flags);

// One entry as taviskPlg_list_archive gives it. `path` is from the archive's root ("/" between
// names) and lives for the call only; the date is all zeros when the entry has none.
struct TvkPlgListedEntry {
    const char* path;
    char type; /* 'R', 'Z' or 'F' */
    unsigned long long size;
    int year, month, day, hour, minute, second;
    int readable; /* 0: a regular file whose data could not be read to its end */
    int hashed;   /* 1: `hash` holds the fingerprint of its contents */
    unsigned char hash[16];
};

/* A disc image read as the disc itself, for taviskPlg_list_archive. */
#define PARCOURE_AS_DISC 8

// Reads the archive at `path` as ParcoureArchive does (archives inside opened, the same limits
// and callbacks) but stores nothing and uses no connection: `each` is called once for every
// entry, in the order read, after the whole reading. With PARCOURE_FINGERPRINT the files'
// contents are fingerprinted; with PARCOURE_AS_DISC the archive is a disc image read as the
// disc. Returns the number of entries, PARCOURE_UNREADABLE, PARCOURE_STOPPED, or with
// PARCOURE_WHOLE PARCOURE_DAMAGED (the entries read are given all the same).
int taviskPlg_list_archive(const char* path, int flags,
                           void (*each)(void* context, const struct TvkPlgListedEntry* entry),
                           void* context);

#ifdef __cplusplus
}
#endif
