// What every command of tavisk-cli shares: its options, its exit codes, its messages (from the
// language module, on stderr), the catalogue connection and the interruption by Ctrl+C.
#pragma once

#include "cli/output.h"
#include "indexing/index_summary.h"
#include "shell/startup.h"

#include <QString>

#include <mysql.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tvk::cli {

enum ExitCode : int {
    EXIT_DONE = 0,
    EXIT_NOTHING_FOUND = 1,
    EXIT_USAGE = 2,
    EXIT_CATALOGUE = 3,
    EXIT_SOURCE = 4,
    EXIT_NO_LANGUAGE = 5,
    EXIT_INTERRUPTED = 130,
};

// The options that come before or after the command.
struct GlobalOptions {
    std::optional<std::string> host;
    std::optional<unsigned> port;
    std::optional<std::string> user;
    std::optional<std::string> database;
    Format format = Format::Text;
};

// A string of the language module with its "%s", "%d" and "%u" filled by the C library's
// formatter; texts are handed as UTF-8.
template <typename... Args>
QString langText(unsigned id, Args... args) {
    return QString::asprintf(loadLangString(id).toUtf8().constData(), args...);
}

// Prints `text` and a line break on stderr.
void say(const QString& text);

// The shown form of catalogue bytes (a name, a label), as UTF-8 for the formatter.
QByteArray shownText(const std::string& bytes);
// A path of this machine as messages show it, as UTF-8.
QByteArray shownPath(const std::string& path);

// Loads the language module of the locale; false when it is missing (said on stderr).
bool loadLanguage();

// Opens the catalogue from the window's settings and `options`; the password from
// TAVISK_PASSWORD, else the settings, else (when the server refuses an empty one) asked on the
// terminal. Returns EXIT_DONE with catalogueConnection open on the catalogue database, or
// EXIT_CATALOGUE after saying why, or EXIT_INTERRUPTED when Ctrl+C ended the password question.
int openCatalogue(const GlobalOptions& options);

// A second connection to the same catalogue, for lookups while a result streams on the first;
// null when it cannot be made. The caller closes it.
MYSQL* openSecondConnection();

// Ctrl+C: from the call on, SIGINT sets a flag instead of ending the process.
void catchInterrupt();
bool interrupted();

// Whether stdin, stdout and stderr are terminals.
bool stdinIsTerminal();
bool stdoutIsTerminal();
bool stderrIsTerminal();

// Prints the last server error of catalogueConnection under the "MySQL Error" caption.
void sayCatalogueError();

// The indexing's progress sink: a progress line on stderr when it is a terminal (entries,
// bytes, rate, current folder), failures said on stderr, and Ctrl+C as the request to stop.
class CliSink final : public ProgressSink {
public:
    CliSink();
    ~CliSink() override;
    void counted(int position, std::uint64_t entries) override;
    bool stopRequested(std::uint64_t entries) override;
    void catalogueFailed() override;
    void imageRefused(const std::string& imagePath, int failure) override;
    void enteredFolder(const std::string& path, std::uint64_t bytes) override;
    // Clears the progress line.
    void done();

private:
    void showProgress(std::uint64_t entries, bool force);
    bool terminal_;
    std::int64_t started_;
    std::int64_t shown_ = 0;
    std::uint64_t bytes_ = 0;
    std::string folder_;
    bool lineShown_ = false;
};

// Decimal digits of `value`, for messages.
std::string digits(std::uint64_t value);

} // namespace tvk::cli
