#include "tests/shell/running_tavisk.h"

#include "shell/main_window.h"

#include <QApplication>
#include <QMainWindow>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>

namespace tvk::test {

void setLocale(const char* locale) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (locale)
            setenv(name, locale, 1);
        else
            unsetenv(name);
    }
}

RunningTavisk::RunningTavisk(const char* locale, StartupOptions options) {
    setLocale(locale);
    started_ = !startApplication(options).has_value();
    if (started_ && mainWindow) {
        mainWindow->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(mainWindow));
    }
}

RunningTavisk::~RunningTavisk() {
    shutdownApplication();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    setLocale("en_US.UTF-8");
}

QString binFolder() {
    return QString::fromLocal8Bit(qgetenv("TAVISK_BIN_DIR"));
}

} // namespace tvk::test
