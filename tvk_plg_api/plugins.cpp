#include "tvk_plg_api/plugins.h"
#include "indexing/plg_api.h"

namespace tvk::plg {

namespace {

struct LibraryState {
    bool initialised = false;
    std::vector<ArchiveFormat> formats;
    MYSQL* connection = nullptr;
};

LibraryState& state() {
    static LibraryState library;
    return library;
}

// Every format that libarchive reads on a stock Debian system, by the endings that name it.
std::vector<ArchiveFormat> builtInFormats() {
    return {
        {"zip",
         {".zip", ".jar", ".war", ".ear", ".apk", ".xpi", ".odt", ".ods", ".odp", ".docx", ".xlsx",
          ".pptx", ".epub"}},
        {"tar", {".tar"}},
        {"tar.gz", {".tar.gz", ".tgz", ".taz"}},
        {"tar.bz2", {".tar.bz2", ".tbz", ".tbz2", ".tb2"}},
        {"tar.xz", {".tar.xz", ".txz"}},
        {"tar.zst", {".tar.zst", ".tzst"}},
        {"tar.lz", {".tar.lz", ".tlz"}},
        {"tar.Z", {".tar.z"}},
        {"7z", {".7z"}},
        {"rar", {".rar"}},
        {"cab", {".cab"}},
        {"lha", {".lha", ".lzh"}},
        {"cpio", {".cpio"}},
        {"ar", {".ar", ".deb", ".a"}},
        {"iso9660", {".iso"}},
        {"xar", {".xar", ".pkg"}},
        {"rpm", {".rpm"}},
    };
}

} // namespace

const std::vector<ArchiveFormat>& archiveFormats() {
    return state().formats;
}
bool pluginsInitialised() {
    return state().initialised;
}
MYSQL* currentConnection() {
    return state().connection;
}

} // namespace tvk::plg

using tvk::plg::state;

extern "C" int taviskPlg_init_plugins(void) {
    auto& library = state();
    if (!library.initialised) {
        library.formats = tvk::plg::builtInFormats();
        library.initialised = true;
    }
    return 0;
}

extern "C" int taviskPlg_remove_plugins(void) {
    auto& library = state();
    library.formats.clear();
    library.initialised = false;
    return 0;
}

extern "C" int setMsc(MYSQL* connection) {
    state().connection = connection;
    return 0;
}
