// The catalogue writer: the sink that sends rows to fic_fichiers on the library's connection,
// many rows per INSERT, numbering the entries of each disc itself.
#pragma once

#include "tvk_plg_api/row_sink.h"

#include <mysql.h>

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tvk::plg {

// A walk starts at the first row after a close (or after a new connection): one
// "select max(fic_id) from fic_fichiers where fic_cd_id = N" gives the disc's highest id, and
// the entries are numbered from there up, as the table's per-disc auto-increment would number
// them; "select @@max_allowed_packet" bounds the size of a statement. Rows wait in a buffer and
// go out as INSERTs of at most 1000 rows that the server accepts; a row for another disc sends
// what waits and starts over for that disc.
//
// A date given later to a stored row (a folder made for the entries beneath it before its own
// entry came) waits too, and goes out after the rows as one UPDATE for many rows.
//
// Fingerprints of the walk's entries wait in a second buffer and go out at the same points as
// the rows, right after them, as "replace into tvk_file_hashes" statements of at most 1000 rows;
// the table is created (if absent) before the first of them on each connection. Before the first
// fingerprint of a walk of a disc that had no entries, fingerprints left for that disc (by a
// program that removed its entries without knowing of them) are removed. Without fingerprints
// the statements are those of the rows alone.
//
// Row and fingerprint statements are sent without waiting for the server's answer, so that the
// walk goes on while the server stores them; the answer is read before anything else is sent
// on the connection, by close(), and by waitWrites(), which the program calls before it sends
// statements of its own on the same connection. A failure is thus seen at the next statement:
// rows stored meanwhile get their ids, and are dropped with the walk.
//
// The first failure (server error, server gone, no connection) fails the walk: every later row
// of the walk is refused with -1 without sending anything, so that mysql_error of the
// connection still holds the server's text; close() then reports it.
class CatalogueWriter final : public RowSink {
public:
    static constexpr std::size_t maxRowsPerStatement = 1000;

    CatalogueWriter();
    ~CatalogueWriter() override;

    // The connection rows go to from now on (not owned; null for none). A walk in progress is
    // failed and its waiting rows dropped: the previous handle is not used again.
    void setConnection(MYSQL* connection);

    // The new fic_id (> 0) for every type; 0 for a refused row (type not 'R', 'Z', 'F', or no
    // name); -1 when the walk has failed. Names are cut to 255 bytes at a UTF-8 boundary, sizes
    // above the BIGINT range are stored as its maximum, invalid dates as NULL, parent -1 as NULL.
    int store(const EntryRow& row) override;

    // 1 when the date will be sent (at the latest by close()), 0 for a row of another disc than
    // the walk's or a date that is not valid, -1 when the walk has failed.
    int setDate(int discId, int id, const EntryDate& date) override;

    // Keeps the fingerprint of the entry `id` of the walk's disc, stored by this walk. 1 when
    // kept, 0 for an entry of another disc or one this walk did not store, -1 when the walk has
    // failed.
    int storeFingerprint(int discId, int id, std::uint64_t size,
                         const unsigned char* hash) override;

    // Ends the walk: sends what waits. 1 when every statement of the walk succeeded (or there
    // was no walk), 0 after a failure. Afterwards the next row starts a new walk.
    int close();

    // Reads the answer to a statement still running on the connection, if any. 1 when there
    // was none or it succeeded; 0 when it failed, which fails the walk.
    int waitWrites();

    // Whether a walk is in progress (rows were stored since the last close), failed or not.
    bool walkOpen() const { return walkOpen_; }

private:
    bool startWalk(int discId);
    bool flush();
    bool settle();
    bool sendOverlapped(const char* statement, std::size_t length);
    bool sendDates();
    bool sendFingerprints();
    bool prepareFingerprints();
    void fail();
    void resetWalk();
    void appendRow(const EntryRow& row, int id);

    MYSQL* connection_ = nullptr;
    bool walkOpen_ = false;
    bool failed_ = false;
    bool packetKnown_ = false;
    int discId_ = 0;
    long long nextId_ = 1;
    long long firstId_ = 1;          // the first id of this walk
    bool fingerprintsReady_ = false; // the table made and stale rows removed for this walk
    bool tableKnown_ = false;        // the fingerprint table exists on this connection
    bool pending_ = false;           // a statement sent, its answer not read yet
    std::size_t limit_ = 0;          // longest statement we send in this walk

    // The statement being built: a fixed buffer allocated once, reused for every statement.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
    std::size_t rows_ = 0;
    // Dates waiting for the rows they belong to, by fic_id.
    std::vector<std::pair<int, EntryDate>> dates_;
    // The fingerprint rows waiting, as one statement being built.
    std::string fingerprints_;
    std::size_t fingerprintRows_ = 0;
};

// The library's one writer, on the connection of setMsc.
CatalogueWriter& catalogueWriter();

} // namespace tvk::plg
