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

// Where a disc was read, and what it held then.
struct DiscSource {
    int discId = -1;
    char kind = SOURCE_DRIVE;
    std::string path;          // the drive's mount point, the folder or the image file (bytes)
    std::string host;          // the machine it was read on
    std::string label;         // the volume label (bytes)
    std::uint32_t serial = 0;  // the volume serial; 0 when unknown
    std::string fileSystem;    // "iso9660", "ext4", ...; empty when unknown
    std::uint64_t entries = 0; // rows the disc holds in the catalogue
    std::uint64_t bytes = 0;   // the sizes of its files and archives (their contents included)
    std::string readAt;        // "YYYY-MM-DD HH:MM:SS", UTC
};

// Records where disc `source.discId` was just read (its counts are taken from the catalogue),
// making the table first when it is missing. False when the server refused.
bool recordDiscSource(const DiscSource& source);

// The recorded source of disc `discId`; none when the table or the row is missing.
std::optional<DiscSource> readDiscSource(int discId);

// Removes the record of disc `discId`. A missing table is no failure; false when the server
// refused otherwise.
bool forgetDiscSource(int discId);

// This machine's name, as the records keep it.
std::string thisHost();

// Whether the volume in a drive is another disc than the recorded one: its label differs, or
// both serials are known and differ.
bool isAnotherDisc(const DiscSource& recorded, const VolumeInformation& inserted);

} // namespace tvk
