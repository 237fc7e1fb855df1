// Where each disc came from: a table of this program's own beside the catalogue's three,
// tvk_disc_sources, made when first needed and written after every successful New and Update.
// It lets Update offer a disc's folder or image again, and warn when the disc in a drive is not
// the one being updated. Programs that know nothing of it use the catalogue as before.
#pragma once

#include "platform/volumes.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tvk {

// Kinds of source, as src_kind stores them.
constexpr char SOURCE_DRIVE = 'D';
constexpr char SOURCE_FOLDER = 'F';
constexpr char SOURCE_IMAGE = 'I';

// The table (MyISAM, latin1, as the catalogue's own tables).
extern const char* const SQL_CREATE_DISC_SOURCES;

// The columns added since the table was first made, each as "name definition": a table made
// before them gets them when a record is next written.
extern const char* const DISC_SOURCES_ADDED_COLUMNS[4];

// Where a disc was read, and what it held then.
struct DiscSource {
    int discId = -1;
    char kind = SOURCE_DRIVE;
    std::string path;           // the drive's mount point, the folder or the image file (bytes)
    std::string host;           // the machine it was read on
    std::string label;          // the volume label (bytes)
    std::uint32_t serial = 0;   // the volume serial; 0 when unknown
    std::string fileSystem;     // "iso9660", "ext4", ...; empty when unknown
    std::uint64_t entries = 0;  // rows the disc holds in the catalogue
    std::uint64_t bytes = 0;    // the sizes of its files and archives (their contents included)
    std::string readAt;         // "YYYY-MM-DD HH:MM:SS", UTC
    std::string uuid;           // the file system's UUID (of the folder's file system for a
                                // folder); empty when unknown
    bool complete = true;       // every entry was stored: nothing cut short, left out or stopped
    std::uint64_t fileSize = 0; // an image's size in bytes; 0 otherwise
    std::string fileDate;       // an image's modification time, "YYYY-MM-DD HH:MM:SS" UTC;
                                // empty otherwise
};

// A disc of the catalogue, as found by its record.
struct RecordedDisc {
    int discId = 0;
    std::string name; // cd_nom
};

// Records where disc `source.discId` was just read (its counts are taken from the catalogue),
// making the table first when it is missing, and adding the columns it lacks. False when the
// server refused.
bool recordDiscSource(const DiscSource& source);

// Marks the record of disc `discId`, if any, as incomplete (a reading that failed part way).
void markDiscIncomplete(int discId);

// The disc whose record says it was read from what `source` describes: the same label and
// serial (a serial known), or, on this machine, the same folder, or the same image file with
// the same size and date. The one read last when several match; none when nothing matches or
// the table is missing.
std::optional<RecordedDisc> findRecordedDisc(const DiscSource& source);

// The number of entries disc `discId` holds in the catalogue; none when it cannot be counted.
std::optional<std::uint64_t> countDiscEntries(int discId);

// The recorded source of disc `discId`; none when the table or the row is missing.
std::optional<DiscSource> readDiscSource(int discId);

// Removes the record of disc `discId`. A missing table is no failure; false when the server
// refused otherwise.
bool forgetDiscSource(int discId);

// This machine's name, as the records keep it.
std::string thisHost();

// Whether the volume in a drive is another disc than the recorded one: its label differs, or
// both serials are known and differ, or both file system UUIDs are known and differ.
bool isAnotherDisc(const DiscSource& recorded, const VolumeInformation& inserted);

// The size and modification time (UTC, "YYYY-MM-DD HH:MM:SS") of the file at `path`; false
// when it cannot be looked at.
bool fileSizeAndDate(const std::string& path, std::uint64_t& size, std::string& date);

} // namespace tvk
