// The table of content fingerprints, shared by the archive library (which writes it while
// indexing) and the program (which creates, reads and prunes it). It sits beside the catalogue's
// own tables; a program that does not know it never reads it.
#pragma once

#include <cstddef>

namespace tvk {

// Bytes of one fingerprint (XXH3-128, its canonical big-endian form).
constexpr std::size_t FINGERPRINT_BYTES = 16;

// One row per fingerprinted entry, keyed like fic_fichiers. The (hash, size) key serves the
// duplicate grouping (read from the index alone) and the lookup by contents; the size key serves
// the question "does any disc hold a file of this size?" before a local file is read.
constexpr char SQL_CREATE_FINGERPRINT_TABLE[] =
    "create table if not exists tvk_file_hashes (cd_id int not null, fic_id int not null, "
    "size bigint unsigned not null, hash binary(16) not null, primary key (cd_id, fic_id), "
    "key tvk_file_hashes_hash (hash, size), key tvk_file_hashes_size (size)) "
    "engine=MyISAM default charset=latin1";

} // namespace tvk
