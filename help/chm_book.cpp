#include "help/chm_book.h"

#include "help/book_html.h"

#include <QFileInfo>

#include <chm_lib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace tvk::help {

namespace {

// Limits on what a book may hold; beyond them the book is refused (or the file left out).
constexpr uint64_t maxObjectSize = 64u << 20;
constexpr uint64_t maxBookSize = 256u << 20;
constexpr size_t maxObjectCount = 200000;
constexpr auto maxReadingTime = std::chrono::seconds(30);

// The child sends each file as: path length (4 bytes), data length (8 bytes), path, data.
// A path length of 0 ends the stream.
struct RecordHeader {
    uint32_t pathLength;
    uint64_t dataLength;
};

using Deadline = std::chrono::steady_clock::time_point;

QByteArray foldCase(QByteArray path) {
    for (char& c : path) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return path;
}

// ---- child side: only chmlib, malloc and write; no Qt ----

bool writeFully(int fd, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// chm_enumerate callback: sends one file. Files that cannot be read whole are left out.
int sendObject(chmFile* file, chmUnitInfo* unit, void* context) {
    const int fd = *static_cast<int*>(context);
    const size_t pathLength = strnlen(unit->path, sizeof unit->path);
    if (pathLength == 0 || unit->length > maxObjectSize)
        return CHM_ENUMERATOR_CONTINUE;
    auto* data = static_cast<unsigned char*>(malloc(unit->length + 1));
    if (!data)
        return CHM_ENUMERATOR_CONTINUE;
    const LONGINT64 length = static_cast<LONGINT64>(unit->length);
    const bool whole = length == 0 || chm_retrieve_object(file, unit, data, 0, length) == length;
    bool sent = true;
    if (whole) {
        const RecordHeader header{static_cast<uint32_t>(pathLength), unit->length};
        sent = writeFully(fd, &header, sizeof header) && writeFully(fd, unit->path, pathLength) &&
               writeFully(fd, data, unit->length);
    }
    free(data);
    return sent ? CHM_ENUMERATOR_CONTINUE : CHM_ENUMERATOR_FAILURE;
}

[[noreturn]] void sendBook(const char* path, int fd) {
    chmFile* file = chm_open(path);
    if (!file)
        _exit(2);
    int context = fd;
    const int result =
        chm_enumerate(file, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_SPECIAL | CHM_ENUMERATE_FILES,
                      sendObject, &context);
    chm_close(file);
    const RecordHeader end{0, 0};
    if (!result || !writeFully(fd, &end, sizeof end))
        _exit(3);
    _exit(0);
}

// ---- parent side ----

// Reads exactly `size` bytes before the deadline.
bool readFully(int fd, char* out, size_t size, Deadline deadline) {
    while (size > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = read(fd, out, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

// Takes the child's files into book.objects; true when the stream ended properly.
bool receiveObjects(int fd, ChmBook& book) {
    const Deadline deadline = std::chrono::steady_clock::now() + maxReadingTime;
    uint64_t total = 0;
    for (;;) {
        RecordHeader header{};
        if (!readFully(fd, reinterpret_cast<char*>(&header), sizeof header, deadline))
            return false;
        if (header.pathLength == 0)
            return true;
        if (header.pathLength > CHM_MAX_PATHLEN || header.dataLength > maxObjectSize ||
            total + header.dataLength > maxBookSize || book.objects.size() >= maxObjectCount)
            return false;
        total += header.dataLength;
        QByteArray path(header.pathLength, Qt::Uninitialized);
        QByteArray data(static_cast<qsizetype>(header.dataLength), Qt::Uninitialized);
        if (!readFully(fd, path.data(), header.pathLength, deadline) ||
            !readFully(fd, data.data(), header.dataLength, deadline))
            return false;
        book.objects[foldCase(path)] = data;
    }
}

// Reads every file of the CHM file at `path` through a child process.
bool readObjects(const QByteArray& path, ChmBook& book) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        sendBook(path.constData(), fds[1]);
    }
    close(fds[1]);
    if (child < 0) {
        close(fds[0]);
        return false;
    }
    const bool complete = receiveObjects(fds[0], book);
    close(fds[0]);
    if (!complete)
        kill(child, SIGKILL);
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    // Without the child's status (SIGCHLD ignored by the program), the end record decides.
    if (waited < 0)
        return complete && errno == ECHILD;
    return complete && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

uint32_t littleEndian(const QByteArray& data, qsizetype at, int size) {
    uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(data[at + i]);
    return value;
}

QByteArray untilNul(const QByteArray& value) {
    const qsizetype nul = value.indexOf('\0');
    return nul < 0 ? value : value.left(nul);
}

bool hasObject(const ChmBook& book, const QString& path) {
    return !path.isEmpty() && findObject(book, path) != nullptr;
}

// The first file whose name ends with one of `suffixes`, in path order; empty if none.
QString firstObjectEndingWith(const ChmBook& book, std::initializer_list<const char*> suffixes) {
    for (const auto& [path, data] : book.objects) {
        for (const char* suffix : suffixes) {
            if (path.endsWith(suffix) && path.startsWith('/') && !path.startsWith("/#") &&
                !path.startsWith("/$"))
                return QString::fromUtf8(path);
        }
    }
    return {};
}

// Settles the default topic, contents and index on files that exist.
void completeBook(ChmBook& book) {
    if (!hasObject(book, book.defaultTopic)) {
        book.defaultTopic.clear();
        for (const char* name : {"/index.html", "/index.htm", "/default.html", "/default.htm"}) {
            if (hasObject(book, QString::fromLatin1(name))) {
                book.defaultTopic = QString::fromLatin1(name);
                break;
            }
        }
        if (book.defaultTopic.isEmpty())
            book.defaultTopic = firstObjectEndingWith(book, {".html", ".htm"});
    }
    if (!hasObject(book, book.contentsFile))
        book.contentsFile = firstObjectEndingWith(book, {".hhc"});
    if (!hasObject(book, book.indexFile))
        book.indexFile = firstObjectEndingWith(book, {".hhk"});
}

} // namespace

std::optional<ChmBook> loadChmBook(const QString& filePath) {
    const QFileInfo info(filePath);
    if (!info.isFile() || !info.isReadable())
        return std::nullopt;
    ChmBook book;
    book.filePath = info.absoluteFilePath();
    if (!readObjects(QFile::encodeName(book.filePath), book))
        return std::nullopt;
    if (const QByteArray* system = findObject(book, QStringLiteral("/#SYSTEM")))
        readSystemFile(*system, book);
    completeBook(book);
    if (book.defaultTopic.isEmpty())
        return std::nullopt;
    return book;
}

const QByteArray* findObject(const ChmBook& book, const QString& path) {
    const auto found = book.objects.find(foldCase(path.toUtf8()));
    return found == book.objects.end() ? nullptr : &found->second;
}

void readSystemFile(const QByteArray& data, ChmBook& book) {
    // A version (4 bytes), then records: code (2 bytes), length (2 bytes), value.
    qsizetype at = 4;
    while (at + 4 <= data.size()) {
        const uint32_t code = littleEndian(data, at, 2);
        const qsizetype length = littleEndian(data, at + 2, 2);
        at += 4;
        if (length > data.size() - at)
            return;
        const QByteArray value = data.mid(at, length);
        at += length;
        switch (code) {
        case 0:
            book.contentsFile = bookPath(decodeText(untilNul(value)));
            break;
        case 1:
            book.indexFile = bookPath(decodeText(untilNul(value)));
            break;
        case 2:
            book.defaultTopic = bookPath(decodeText(untilNul(value)));
            break;
        case 3:
            book.title = decodeText(untilNul(value)).trimmed();
            break;
        case 4:
            if (length >= 4)
                book.language = littleEndian(value, 0, 4);
            break;
        default:
            break;
        }
    }
}

QString bookPath(const QString& name) {
    QString path = name.trimmed();
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const qsizetype inside = path.lastIndexOf(QLatin1String("::"));
    if (inside >= 0)
        path = path.mid(inside + 2);
    if (path.isEmpty())
        return path;
    if (!path.startsWith(QLatin1Char('/')))
        path.prepend(QLatin1Char('/'));
    return path;
}

QUrl pageUrl(const QString& reference) {
    return QUrl(QStringLiteral("chm:") + bookPath(reference));
}

QString bookPathOf(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("chm"))
        return bookPath(url.path(QUrl::FullyDecoded));
    if (scheme == QLatin1String("ms-its") || scheme == QLatin1String("mk") ||
        scheme == QLatin1String("its")) {
        const QString whole = url.toString(QUrl::RemoveFragment | QUrl::FullyDecoded);
        if (whole.contains(QLatin1String("::")))
            return bookPath(whole);
    }
    return {};
}

} // namespace tvk::help
