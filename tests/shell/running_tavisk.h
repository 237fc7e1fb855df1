// Tavisk started in the test process, without its main loop: the language chosen from the
// locale given, the main window created and made the active window. Shut down on
// destruction.
#pragma once

#include "shell/startup.h"

#include <QString>

#include <ostream>

// Texts in test failures read as text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace tvk::test {

// Sets LC_ALL, LC_MESSAGES and LANG for the language choice; null unsets all three.
void setLocale(const char* locale);

class RunningTavisk {
public:
    explicit RunningTavisk(const char* locale = "en_US.UTF-8", StartupOptions options = {});
    ~RunningTavisk();
    RunningTavisk(const RunningTavisk&) = delete;
    RunningTavisk& operator=(const RunningTavisk&) = delete;

    // Whether start-up reached the main loop's door (false: it ended with an exit code).
    bool started() const { return started_; }

private:
    bool started_ = false;
};

// The folder of the program's deliverables (TAVISK_BIN_DIR).
QString binFolder();

} // namespace tvk::test
