// The program's calls into the archive library pass through here on their way to it (the
// tests link with --wrap for these two functions).
#include "indexing/plg_api.h"
#include "tests/catalogue/catalogue_support.h"

namespace tvk::test {
MYSQL*& heldByLibrary();
}

extern "C" {
int __real_setMsc(MYSQL* connection);
int __real_taviskPlg_remove_plugins(void);

// The program's calls into the archive library pass through here on their way to it.
int __wrap_setMsc(MYSQL* connection) {
    tvk::test::libraryCalls().push_back(connection ? "setMsc(open)" : "setMsc(none)");
    tvk::test::heldByLibrary() = connection;
    return __real_setMsc(connection);
}

int __wrap_taviskPlg_remove_plugins(void) {
    tvk::test::libraryCalls().push_back("remove_plugins");
    return __real_taviskPlg_remove_plugins();
}
}

namespace tvk::test {

std::vector<std::string>& libraryCalls() {
    static std::vector<std::string> calls;
    return calls;
}

MYSQL*& heldByLibrary() {
    static MYSQL* held = nullptr;
    return held;
}

MYSQL* libraryConnection() {
    return heldByLibrary();
}

} // namespace tvk::test
