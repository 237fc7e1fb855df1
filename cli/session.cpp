#include "cli/session.h"

#include "catalogue/connection.h"
#include "catalogue/settings.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/language.h"
#include "platform/messagebox.h"
#include "platform/module.h"
#include "platform/text.h"

#include <QDateTime>

#include <errmsg.h>
#include <mysqld_error.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace tvk::cli {

namespace {

volatile sig_atomic_t interruptFlag = 0;

void onInterrupt(int) {
    interruptFlag = 1;
}

// What the catalogue's own questions were answered while connecting: the window asks whether to
// create a missing database or upgrade an old catalogue, which only the window does.
struct CatalogueQuestions {
    bool databaseCreation = false;
};
CatalogueQuestions asked;

// The catalogue code's message boxes, without a window: errors and notices are printed, and every
// question is answered No (the window is where a catalogue is created or upgraded).
int answerBox(const MessageBoxCall& call) {
    const unsigned type = call.flags & MB_TYPEMASK;
    if (type == MB_YESNO || type == MB_YESNOCANCEL) {
        if (call.caption == loadLangString(IDS_DATABASE_CREATION))
            asked.databaseCreation = true;
        return IDNO;
    }
    say(call.caption + QStringLiteral(": ") + call.text);
    return IDOK_BOX;
}

// Reads a line from the terminal without echo. The echo is off before the prompt shows, so
// that a password typed as soon as it appears is not shown either.
std::string readPassword(const QString& prompt) {
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::fputs(prompt.toUtf8().constData(), stderr);
    std::fflush(stderr);
    std::string line;
    std::getline(std::cin, line);
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    std::fputs("\n", stderr);
    return line;
}

// Connects a handle as the catalogue connection does (latin1, bounded wait); the server's
// error number and text when it refuses. The handle is closed.
std::pair<unsigned, std::string> tryConnection(const ConnectionSettings& settings) {
    MYSQL* handle = mysql_init(nullptr);
    if (!handle)
        return {CR_OUT_OF_MEMORY, "out of memory"};
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    const unsigned timeout = CONNECT_TIMEOUT_SECONDS;
    mysql_options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    std::pair<unsigned, std::string> outcome{0, {}};
    if (!mysql_real_connect(handle, settings.host.c_str(), settings.user.c_str(),
                            settings.password.c_str(), nullptr, settings.port, nullptr, 0))
        outcome = {mysql_errno(handle), mysql_error(handle)};
    mysql_close(handle);
    return outcome;
}

// Says why the catalogue cannot be used after connectCatalogue gave `result`.
void sayRefused(ConnectResult result, const ConnectionSettings& settings) {
    const QByteArray database = shownText(settings.database);
    if (result == CONNECT_FAILED) {
        const std::string error = tryConnection(settings).second;
        const QByteArray host = shownText(settings.host);
        say(langText(IDS_CLI_CANNOT_CONNECT, host.constData(), unsigned(settings.port),
                     fromServerText(error).toUtf8().constData()));
        return;
    }
    say(langText(asked.databaseCreation ? IDS_CLI_NO_DATABASE : IDS_CLI_CATALOGUE_REFUSED,
                 database.constData()));
    say(loadLangString(IDS_CLI_OPEN_IN_WINDOW));
}

ConnectionSettings effectiveSettings(const GlobalOptions& options) {
    readConnectionSettings();
    ConnectionSettings settings = connectionSettings;
    if (options.host)
        settings.host = *options.host;
    if (options.port)
        settings.port = *options.port;
    if (options.user)
        settings.user = *options.user;
    if (options.database)
        settings.database = *options.database;
    if (const char* password = std::getenv("TAVISK_PASSWORD"))
        settings.password = password;
    return settings;
}

ConnectResult connectWith(const ConnectionSettings& settings) {
    asked = CatalogueQuestions{};
    ConnectResult result =
        connectCatalogue(settings.host.c_str(), settings.user.c_str(), settings.password.c_str(),
                         settings.port, settings.database.c_str());
    // A database the user declined to create leaves a connection without a database.
    if (result == CONNECT_OK && asked.databaseCreation) {
        closeCatalogueConnection();
        result = CONNECT_NO_DATABASE;
    }
    return result;
}

} // namespace

void say(const QString& text) {
    std::fflush(stdout);
    std::fputs((text.toUtf8() + '\n').constData(), stderr);
}

QByteArray shownText(const std::string& bytes) {
    return fromServerText(bytes).toUtf8();
}

QByteArray shownPath(const std::string& path) {
    return QString::fromLocal8Bit(path.c_str()).toUtf8();
}

std::string digits(std::uint64_t value) {
    return std::to_string(value);
}

bool loadLanguage() {
    const QString fileName = languageFileName(getUserDefaultLangId());
    langModule = loadLibrary(fileName.toStdString());
    if (!langModule) {
        std::fprintf(stderr, "Language file not found: %s\n", fileName.toUtf8().constData());
        return false;
    }
    return true;
}

int openCatalogue(const GlobalOptions& options) {
    setMessageBoxHook(answerBox);
    taviskPlg_init_plugins();
    ConnectionSettings settings = effectiveSettings(options);
    ConnectResult result = connectWith(settings);
    // No password anywhere and the server wants one: asked on the terminal.
    if (result == CONNECT_FAILED && settings.password.empty() && stdinIsTerminal() &&
        tryConnection(settings).first == ER_ACCESS_DENIED_ERROR) {
        const QByteArray user = shownText(settings.user);
        const QByteArray host = shownText(settings.host);
        settings.password =
            readPassword(langText(IDS_CLI_PASSWORD_PROMPT, user.constData(), host.constData()));
        if (interrupted())
            return EXIT_INTERRUPTED;
        result = connectWith(settings);
    }
    if (result != CONNECT_OK || !catalogueConnection) {
        sayRefused(result, settings);
        return EXIT_CATALOGUE;
    }
    connectionSettings = settings;
    return EXIT_DONE;
}

MYSQL* openSecondConnection() {
    const ConnectionSettings& settings = connectionSettings;
    MYSQL* handle = mysql_init(nullptr);
    if (!handle)
        return nullptr;
    mysql_options(handle, MYSQL_SET_CHARSET_NAME, "latin1");
    if (!mysql_real_connect(handle, settings.host.c_str(), settings.user.c_str(),
                            settings.password.c_str(), settings.database.c_str(), settings.port,
                            nullptr, 0)) {
        mysql_close(handle);
        return nullptr;
    }
    return handle;
}

void catchInterrupt() {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool interrupted() {
    return interruptFlag != 0;
}

bool stdinIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}
bool stdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}
bool stderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

void sayCatalogueError() {
    say(loadLangString(IDS_MYSQL_ERROR) + QStringLiteral(": ") + catalogueErrorText());
}

namespace {

std::int64_t nowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The progress line's most characters: the terminal's width less one.
std::size_t lineWidth() {
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col - 1;
    return 79;
}

} // namespace

CliSink::CliSink() : terminal_(stderrIsTerminal()), started_(nowMs()) {}

CliSink::~CliSink() {
    done();
}

void CliSink::counted(int, std::uint64_t entries) {
    showProgress(entries, false);
}

bool CliSink::stopRequested(std::uint64_t entries) {
    showProgress(entries, false);
    return interrupted();
}

void CliSink::catalogueFailed() {
    done();
    sayCatalogueError();
}

void CliSink::imageRefused(const std::string& imagePath, int failure) {
    done();
    const QByteArray name = shownPath(imagePath);
    say(langText(failure == PARCOURE_DAMAGED ? IDS_DAMAGED_IMAGE : IDS_NOT_AN_IMAGE,
                 name.constData()));
}

void CliSink::enteredFolder(const std::string& path, std::uint64_t bytes) {
    folder_ = path;
    bytes_ = bytes;
}

void CliSink::showProgress(std::uint64_t entries, bool force) {
    if (!terminal_)
        return;
    const std::int64_t now = nowMs();
    if (!force && now - shown_ < 200)
        return;
    shown_ = now;
    const double seconds = std::max<double>(0.001, double(now - started_) / 1000.0);
    const std::string rate = digits(std::uint64_t(double(entries) / seconds));
    const QByteArray folder = shownPath(folder_);
    QString line = langText(IDS_CLI_PROGRESS, digits(entries).c_str(), digits(bytes_).c_str(),
                            rate.c_str(), folder.constData());
    const QByteArray text = QString::fromStdString(oneLine(line.toStdString())).toUtf8();
    QString shown = QString::fromUtf8(text).left(int(lineWidth()));
    std::fputs(("\r\033[K" + shown.toUtf8()).constData(), stderr);
    std::fflush(stderr);
    lineShown_ = true;
}

void CliSink::done() {
    if (lineShown_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        lineShown_ = false;
    }
}

} // namespace tvk::cli
