#include "tests/catalogue/catalogue_support.h"

#include "platform/module.h"
#include "shell/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tvk::test {

void useEnglishModule() {
    if (langModule)
        return;
    const char* bin = std::getenv("TAVISK_BIN_DIR");
    langModule = loadLibrary(std::string(bin ? bin : ".") + "/tavisk_en.so");
    ASSERT_NE(langModule, nullptr) << "tavisk_en.so not found";
}

ScopedConfigHome::ScopedConfigHome() {
    hadPrevious_ = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    previous_ = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", dir_.path().toLocal8Bit());
}

ScopedConfigHome::~ScopedConfigHome() {
    if (hadPrevious_)
        qputenv("XDG_CONFIG_HOME", previous_);
    else
        qunsetenv("XDG_CONFIG_HOME");
}

} // namespace tvk::test
