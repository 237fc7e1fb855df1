#include "tvk_plg_api/plugins.h"

namespace tvk::plg {

namespace {

// The formats libarchive reads on a stock Debian system that people keep files in, by the
// endings that name them. Office documents, e-books and static libraries are zip or ar inside,
// but they are documents and libraries, not archives: they are left out.
std::vector<ArchiveFormat> builtInFormats() {
    return {
        {"zip", {".zip", ".jar", ".war", ".ear"}, true},
        {"tar", {".tar"}, false},
        {"tar.gz", {".tar.gz", ".tgz", ".taz"}, false},
        {"tar.bz2", {".tar.bz2", ".tbz2", ".tbz", ".tb2"}, false},
        {"tar.xz", {".tar.xz", ".txz"}, false},
        {"tar.zst", {".tar.zst", ".tzst"}, false},
        {"tar.lz", {".tar.lz"}, false},
        {"tar.lzma", {".tar.lzma", ".tlz"}, false},
        {"tar.lz4", {".tar.lz4"}, false},
        {"tar.Z", {".tar.z"}, false},
        {"7z", {".7z"}, true},
        {"rar", {".rar"}, true},
        {"cab", {".cab"}, true},
        {"lha", {".lha", ".lzh"}, false},
        {"cpio", {".cpio"}, false},
        {"ar", {".ar", ".deb", ".udeb"}, false},
        {"iso9660", {".iso"}, true},
        {"xar", {".xar"}, true},
        {"rpm", {".rpm"}, false},
    };
}

bool endsWithIgnoringCase(const char* name, std::size_t length, const std::string& suffix) {
    if (length <= suffix.size()) // the stem must not be empty
        return false;
    const char* tail = name + (length - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

} // namespace

const ArchiveFormat* formatOfName(const char* name, std::size_t length) {
    static const std::vector<ArchiveFormat> table = builtInFormats();
    if (!name)
        return nullptr;
    for (const ArchiveFormat& format : table) {
        for (const std::string& suffix : format.suffixes) {
            if (endsWithIgnoringCase(name, length, suffix))
                return &format;
        }
    }
    return nullptr;
}

} // namespace tvk::plg
