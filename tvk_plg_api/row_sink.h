// The narrow interface between whatever produces catalogue rows (the program's walk through
// composeReqInsertion, the archive reader) and whatever keeps them (the catalogue writer, or an
// in-memory list for tests and the fuzzer).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tvk::plg {

// Date and time of an entry, in UTC, as separate fields. All zeros (or any value that is not
// a valid date and time) is stored as NULL.
struct EntryDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// One entry to store. `name` points at `nameLength` bytes, not necessarily NUL-terminated; the
// bytes are only borrowed for the duration of the store call. `parentId` -1 is the disc's root.
struct EntryRow {
    const char* name = nullptr;
    std::size_t nameLength = 0;
    char type = 'F'; // 'R' directory, 'Z' archive, 'F' other file
    std::uint64_t size = 0;
    EntryDate date;
    int discId = 0;
    int parentId = -1;
};

class RowSink {
public:
    virtual ~RowSink() = default;
    // Stores one row. Returns the entry's new id (> 0); 0 when the row itself is refused
    // (a type other than 'R', 'Z', 'F', or no name); -1 when the sink has failed, after which
    // every later row is refused with -1 too.
    virtual int store(const EntryRow& row) = 0;
    // Gives the row `id` of disc `discId`, stored earlier without a date, the date `date`.
    // Returns 1 when done (or to be done with the next rows sent), 0 when there is no such row
    // or the date is not valid, -1 when the sink has failed.
    virtual int setDate(int discId, int id, const EntryDate& date) = 0;
    // Records the fingerprint (16 bytes) of the contents of the row `id` of disc `discId`, stored
    // earlier, which holds `size` bytes. Returns 1 when kept (or to be sent with the next rows),
    // 0 when refused, -1 when the sink has failed. Sinks that keep no fingerprints accept it.
    virtual int storeFingerprint(int discId, int id, std::uint64_t size,
                                 const unsigned char* hash) {
        return 1;
    }
    // Told that the contents of the row `id`, whose fingerprint was asked for, could not be read
    // to their end (a read error, a damaged archive): it gets no fingerprint.
    virtual void markUnreadable(int discId, int id) {}
};

// A row as an in-memory sink keeps it.
struct StoredRow {
    std::string name;
    char type = 'F';
    std::uint64_t size = 0;
    EntryDate date;
    int discId = 0;
    int id = 0;
    int parentId = -1;
};

// A fingerprint as an in-memory sink keeps it.
struct StoredFingerprint {
    int discId = 0;
    int id = 0;
    std::uint64_t size = 0;
    std::array<unsigned char, 16> hash{};
};

// Keeps every row in memory, numbering them from `nextId` up. With `failAfter` >= 0 it accepts
// that many rows and then fails for good, as a writer whose server went away would.
class MemorySink final : public RowSink {
public:
    std::vector<StoredRow> rows;
    std::vector<StoredFingerprint> fingerprints;
    std::vector<int> unreadable; // ids of rows whose contents could not be read
    int nextId = 1;
    long failAfter = -1;

    int store(const EntryRow& row) override;
    int setDate(int discId, int id, const EntryDate& date) override;
    int storeFingerprint(int discId, int id, std::uint64_t size,
                         const unsigned char* hash) override;
    void markUnreadable(int discId, int id) override { unreadable.push_back(id); }
};

// Whether the six fields make a date and time the catalogue can hold (years 1000 to 9999).
bool isValidDate(const EntryDate& date);

} // namespace tvk::plg
