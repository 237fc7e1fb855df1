#include "tvk_plg_api/catalogue_writer.h"
#include "platform/utf8.h"
#include "tvk_plg_api/fingerprint_table.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tvk::plg {

namespace {

constexpr char insertHead[] = "insert into fic_fichiers (fic_cd_id, fic_id, fic_nom, fic_taille, "
                              "fic_type, fic_date_modif, fic_rep_id) values ";
constexpr std::size_t insertHeadLength = sizeof insertHead - 1;
constexpr std::size_t maxNameBytes = 255;
// Everything of a row but its escaped name: "(", two ids, the size, the type, a quoted date,
// the parent, the separators, the comma before the next row, with room to spare.
constexpr std::size_t rowOverhead = 128;
// Room kept below max_allowed_packet for the packet's own header bytes.
constexpr std::size_t packetMargin = 256;

// Longest row: the escaped name takes at most two bytes per byte, plus the escape's NUL.
constexpr std::size_t rowBound(std::size_t nameLength) {
    return rowOverhead + 2 * nameLength + 1;
}

char* putInt(char* out, long long value) {
    return std::to_chars(out, out + 24, value).ptr;
}

char* putTwoDigits(char* out, int value) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

// "'YYYY-MM-DD HH:MM:SS'" or NULL.
char* putDate(char* out, const EntryDate& d) {
    if (!isValidDate(d)) {
        std::memcpy(out, "NULL", 4);
        return out + 4;
    }
    *out++ = '\'';
    out = putTwoDigits(out, d.year / 100);
    out = putTwoDigits(out, d.year % 100);
    *out++ = '-';
    out = putTwoDigits(out, d.month);
    *out++ = '-';
    out = putTwoDigits(out, d.day);
    *out++ = ' ';
    out = putTwoDigits(out, d.hour);
    *out++ = ':';
    out = putTwoDigits(out, d.minute);
    *out++ = ':';
    out = putTwoDigits(out, d.second);
    *out++ = '\'';
    return out;
}

// Dates sent by one UPDATE at most.
constexpr std::size_t maxDatesPerStatement = 500;

// Runs a query whose result is one number; false on a server error or no usable value.
bool queryNumber(MYSQL* connection, const char* statement, long long& value, bool nullIsZero) {
    if (mysql_query(connection, statement) != 0)
        return false;
    MYSQL_RES* result = mysql_store_result(connection);
    if (!result)
        return false;
    MYSQL_ROW row = mysql_fetch_row(result);
    bool ok = row != nullptr;
    if (ok && row[0])
        value = std::strtoll(row[0], nullptr, 10);
    else if (ok)
        ok = nullIsZero, value = 0;
    mysql_free_result(result);
    return ok;
}

} // namespace

CatalogueWriter::CatalogueWriter() = default;
CatalogueWriter::~CatalogueWriter() = default;

void CatalogueWriter::setConnection(MYSQL* connection) {
    // An answer still due on the previous handle is left unread: that handle may be closed.
    pending_ = false;
    if (walkOpen_)
        fail();
    connection_ = connection;
    tableKnown_ = false;
}

void CatalogueWriter::fail() {
    // Nothing more is sent in this walk; an answer still due is read, so that the program
    // finds its connection ready.
    settle();
    failed_ = true;
    walkOpen_ = true;
    length_ = 0;
    rows_ = 0;
    dates_.clear();
    fingerprints_.clear();
    fingerprintRows_ = 0;
}

void CatalogueWriter::resetWalk() {
    walkOpen_ = false;
    failed_ = false;
    packetKnown_ = false;
    fingerprintsReady_ = false;
    length_ = 0;
    rows_ = 0;
    dates_.clear();
    fingerprints_.clear();
    fingerprintRows_ = 0;
}

bool CatalogueWriter::startWalk(int discId) {
    if (!buffer_) {
        capacity_ = insertHeadLength + maxRowsPerStatement * rowBound(maxNameBytes);
        buffer_ = std::make_unique<char[]>(capacity_);
    }
    if (!settle())
        return false;
    char statement[128];
    std::snprintf(statement, sizeof statement,
                  "select max(fic_id) from fic_fichiers where fic_cd_id = %d", discId);
    long long highest = 0;
    if (!queryNumber(connection_, statement, highest, true))
        return false;
    if (!packetKnown_) {
        long long packet = 0;
        if (!queryNumber(connection_, "select @@max_allowed_packet", packet, false))
            return false;
        const std::size_t usable = packet > static_cast<long long>(2 * packetMargin)
                                       ? static_cast<std::size_t>(packet) - packetMargin
                                       : static_cast<std::size_t>(packetMargin);
        limit_ = usable < capacity_ ? usable : capacity_;
        packetKnown_ = true;
    }
    walkOpen_ = true;
    discId_ = discId;
    nextId_ = highest + 1;
    firstId_ = nextId_;
    fingerprintsReady_ = false;
    length_ = 0;
    rows_ = 0;
    return true;
}

bool CatalogueWriter::settle() {
    if (!pending_)
        return true;
    pending_ = false;
    return mysql_read_query_result(connection_) == 0;
}

bool CatalogueWriter::sendOverlapped(const char* statement, std::size_t length) {
    if (!settle())
        return false;
    // The client library has handed the whole statement to the socket when this returns, so
    // the buffer may be filled again at once.
    pending_ = mysql_send_query(connection_, statement, static_cast<unsigned long>(length)) == 0;
    return pending_;
}

bool CatalogueWriter::flush() {
    if (rows_ > 0) {
        const bool ok = sendOverlapped(buffer_.get(), length_);
        length_ = 0;
        rows_ = 0;
        if (!ok)
            return false;
    }
    return sendFingerprints() && sendDates();
}

bool CatalogueWriter::sendFingerprints() {
    if (fingerprintRows_ == 0)
        return true;
    const bool ok = sendOverlapped(fingerprints_.data(), fingerprints_.size());
    fingerprints_.clear();
    fingerprintRows_ = 0;
    return ok;
}

// Before the walk's first fingerprint: the table made once per connection, and a disc walked
// from its first entry cleared of fingerprints that no longer belong to any of its entries.
bool CatalogueWriter::prepareFingerprints() {
    if (!settle())
        return false;
    if (!tableKnown_) {
        if (mysql_query(connection_, SQL_CREATE_FINGERPRINT_TABLE) != 0)
            return false;
        tableKnown_ = true;
    }
    if (firstId_ == 1) {
        char statement[96];
        std::snprintf(statement, sizeof statement, "delete from tvk_file_hashes where cd_id = %d",
                      discId_);
        if (mysql_query(connection_, statement) != 0)
            return false;
    }
    fingerprintsReady_ = true;
    return true;
}

int CatalogueWriter::storeFingerprint(int discId, int id, std::uint64_t size,
                                      const unsigned char* hash) {
    if (failed_)
        return -1;
    if (!hash || !walkOpen_ || discId != discId_ || id < firstId_ || id >= nextId_)
        return 0;
    if (!fingerprintsReady_ && !prepareFingerprints()) {
        fail();
        return -1;
    }
    static constexpr char digits[] = "0123456789abcdef";
    char row[96];
    char* out = row;
    if (fingerprintRows_ == 0) {
        fingerprints_ = "replace into tvk_file_hashes (cd_id, fic_id, size, hash) values ";
    } else {
        *out++ = ',';
    }
    *out++ = '(';
    out = putInt(out, discId);
    *out++ = ',';
    out = putInt(out, id);
    *out++ = ',';
    out = std::to_chars(out, out + 24, size).ptr;
    *out++ = ',';
    *out++ = 'x';
    *out++ = '\'';
    for (std::size_t i = 0; i < FINGERPRINT_BYTES; ++i) {
        *out++ = digits[hash[i] >> 4];
        *out++ = digits[hash[i] & 15];
    }
    *out++ = '\'';
    *out++ = ')';
    fingerprints_.append(row, out);
    // At most one fingerprint per row: they go out with the rows, unless many wait for rows
    // sent already.
    if (++fingerprintRows_ >= maxRowsPerStatement && !flush()) {
        fail();
        return -1;
    }
    return 1;
}

// "update fic_fichiers set fic_date_modif = case fic_id when 5 then '...' ... end where
// fic_cd_id = 3 and fic_id in (5, ...)", for the dates waiting; their rows are sent already.
bool CatalogueWriter::sendDates() {
    if (dates_.empty())
        return true;
    if (!settle())
        return false;
    std::string statement;
    char number[24];
    for (std::size_t first = 0; first < dates_.size(); first += maxDatesPerStatement) {
        const std::size_t end = std::min(dates_.size(), first + maxDatesPerStatement);
        statement = "update fic_fichiers set fic_date_modif = case fic_id";
        for (std::size_t i = first; i < end; ++i) {
            char date[32];
            *putDate(date, dates_[i].second) = '\0';
            statement.append(" when ").append(number, putInt(number, dates_[i].first));
            statement.append(" then ").append(date);
        }
        statement.append(" end where fic_cd_id = ").append(number, putInt(number, discId_));
        statement.append(" and fic_id in (");
        for (std::size_t i = first; i < end; ++i) {
            statement.append(i == first ? "" : ",");
            statement.append(number, putInt(number, dates_[i].first));
        }
        statement.append(")");
        if (mysql_real_query(connection_, statement.data(), statement.size()) != 0)
            return false;
    }
    dates_.clear();
    return true;
}

void CatalogueWriter::appendRow(const EntryRow& row, int id) {
    char* out = buffer_.get() + length_;
    if (rows_ == 0) {
        std::memcpy(out, insertHead, insertHeadLength);
        out += insertHeadLength;
    } else {
        *out++ = ',';
    }
    *out++ = '(';
    out = putInt(out, row.discId);
    *out++ = ',';
    out = putInt(out, id);
    *out++ = ',';
    *out++ = '\'';
    const std::size_t nameLength = utf8CutLength(row.name, row.nameLength, maxNameBytes);
    out += mysql_real_escape_string(connection_, out, row.name, nameLength);
    *out++ = '\'';
    *out++ = ',';
    const std::uint64_t size = row.size > static_cast<std::uint64_t>(LLONG_MAX)
                                   ? static_cast<std::uint64_t>(LLONG_MAX)
                                   : row.size;
    out = putInt(out, static_cast<long long>(size));
    *out++ = ',';
    *out++ = '\'';
    *out++ = row.type;
    *out++ = '\'';
    *out++ = ',';
    out = putDate(out, row.date);
    *out++ = ',';
    if (row.parentId == -1) {
        std::memcpy(out, "NULL", 4);
        out += 4;
    } else {
        out = putInt(out, row.parentId);
    }
    *out++ = ')';
    length_ = static_cast<std::size_t>(out - buffer_.get());
    ++rows_;
}

int CatalogueWriter::store(const EntryRow& row) {
    if (!row.name || (row.type != 'R' && row.type != 'Z' && row.type != 'F'))
        return 0;
    if (failed_)
        return -1;
    if (!connection_) {
        fail();
        return -1;
    }
    if (!walkOpen_ || row.discId != discId_) {
        if ((walkOpen_ && !flush()) || !startWalk(row.discId)) {
            fail();
            return -1;
        }
    }
    if (nextId_ > INT_MAX) {
        fail();
        return -1;
    }
    const std::size_t nameLength = row.nameLength < maxNameBytes ? row.nameLength : maxNameBytes;
    const std::size_t room = rowBound(nameLength) + (rows_ == 0 ? insertHeadLength : 0);
    if (rows_ > 0 && (rows_ == maxRowsPerStatement || length_ + room > limit_)) {
        if (!flush()) {
            fail();
            return -1;
        }
    }
    const int id = static_cast<int>(nextId_++);
    appendRow(row, id);
    return id;
}

int CatalogueWriter::setDate(int discId, int id, const EntryDate& date) {
    if (failed_)
        return -1;
    if (!walkOpen_ || discId != discId_ || id <= 0 || id >= nextId_ || !isValidDate(date))
        return 0;
    dates_.emplace_back(id, date);
    if (dates_.size() >= maxDatesPerStatement && !flush()) {
        fail();
        return -1;
    }
    return 1;
}

int CatalogueWriter::close() {
    if (!walkOpen_) {
        resetWalk();
        return 1;
    }
    const bool ok = !failed_ && flush() && settle();
    resetWalk();
    return ok ? 1 : 0;
}

int CatalogueWriter::waitWrites() {
    if (settle())
        return 1;
    fail();
    return 0;
}

CatalogueWriter& catalogueWriter() {
    static CatalogueWriter writer;
    return writer;
}

} // namespace tvk::plg
