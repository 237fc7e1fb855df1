#include "platform/settings_store.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tvk {

namespace {

QString configHome() {
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && xdg.startsWith('/'))
        return QString::fromLocal8Bit(xdg);
    return QString::fromLocal8Bit(qgetenv("HOME")) + QStringLiteral("/.config");
}

// mkdir -p with mode 0700 for every folder it makes; existing folders are left as they are.
bool makeFolders(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st {};
    if (::stat(bytes.constData(), &st) == 0)
        return S_ISDIR(st.st_mode);
    const QString parent = QFileInfo(path).path();
    if (parent != path && !makeFolders(parent))
        return false;
    return ::mkdir(bytes.constData(), 0700) == 0 || errno == EEXIST;
}

// Tightens the mode of a folder or file of ours; failures are left to the later access.
void keepPrivate(const QString& path, mode_t mode) {
    const QByteArray bytes = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(bytes.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return;
    if ((st.st_mode & 07777) != mode && st.st_uid == ::geteuid())
        ::chmod(bytes.constData(), mode);
}

// Makes the settings file 0600, following a symbolic link (a settings file kept among
// dotfiles) to the file it names, when this user owns that file. When the file stays readable
// by others (another user's file, a change refused), says so on stderr if `report`. The file
// is opened once and changed through that descriptor, so that a link changed meanwhile cannot
// turn the change onto another file.
void keepFilePrivate(const QString& path, bool report) {
    const QByteArray bytes = QFile::encodeName(path);
    const int fd = ::open(bytes.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return; // the later access reports it
    struct stat st {};
    const char* why = nullptr;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 07777) != 0600) {
        if (st.st_uid != ::geteuid())
            why = "it belongs to another user";
        else if (::fchmod(fd, 0600) != 0)
            why = std::strerror(errno);
    }
    ::close(fd);
    if (why && (st.st_mode & 077) && report)
        std::fprintf(stderr,
                     "tavisk: the settings file %s holds the connection password and stays "
                     "readable by other users (mode %04o): %s\n",
                     bytes.constData(), unsigned(st.st_mode & 07777), why);
}

// Creates the file empty with mode 0600 unless something is there already.
bool createPrivateFile(const QString& path) {
    const QByteArray bytes = QFile::encodeName(path);
    const int fd = ::open(bytes.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    return errno == EEXIST;
}

} // namespace

SettingsKey::SettingsKey(const QString& path)
    : path_(path), settings_(path, QSettings::NativeFormat) {
    names_ = settings_.allKeys();
}

SettingsKey::~SettingsKey() {
    settings_.sync();
    keepFilePrivate(path_, false); // a rewrite that changed the mode; opening said the rest
}

QString settingsFilePath() {
    return configHome() + QStringLiteral("/vorka/tavisk.conf");
}

std::unique_ptr<SettingsKey> openSettingsKey() {
    const QString path = settingsFilePath();
    const QString folder = QFileInfo(path).path();
    if (!makeFolders(folder))
        return nullptr;
    keepPrivate(folder, 0700);
    if (!createPrivateFile(path))
        return nullptr;
    keepFilePrivate(path, true);
    return std::make_unique<SettingsKey>(path);
}

long enumSettingsValue(SettingsKey& key, int index, QString& name, QString& data) {
    switch (key.settings().status()) {
    case QSettings::NoError:
        break;
    case QSettings::AccessError:
        return SETTINGS_ACCESS_DENIED;
    case QSettings::FormatError:
        return SETTINGS_INVALID_DATA;
    }
    if (index < 0 || index >= key.names().size())
        return SETTINGS_NO_MORE_ITEMS;
    name = key.names().at(index);
    const QVariant value = key.settings().value(name);
    // An unquoted value with commas reads back as a list; its text is the items rejoined.
    data = value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                    : value.toString();
    if (name.size() > SETTINGS_VALUE_MAX || data.size() > SETTINGS_VALUE_MAX)
        return SETTINGS_MORE_DATA;
    return SETTINGS_OK;
}

void setSettingsString(SettingsKey& key, const QString& name, const QString& value) {
    key.settings().setValue(name, value);
}

void setSettingsNumber(SettingsKey& key, const QString& name, std::uint32_t value) {
    key.settings().setValue(name, QString::number(value));
}

QString settingsErrorText(long code, const QString& path) {
    switch (code) {
    case SETTINGS_OK:
        return QStringLiteral("The operation completed successfully.");
    case SETTINGS_ACCESS_DENIED:
        return QStringLiteral("Access is denied.") +
               (path.isEmpty() ? QString() : QStringLiteral("\n") + path);
    case SETTINGS_INVALID_DATA:
        return QStringLiteral("The data is invalid.") +
               (path.isEmpty() ? QString() : QStringLiteral("\n") + path);
    case SETTINGS_MORE_DATA:
        return QStringLiteral("More data is available.");
    case SETTINGS_NO_MORE_ITEMS:
        return QStringLiteral("No more data is available.");
    default:
        return QStringLiteral("Unknown error %1.").arg(code);
    }
}

} // namespace tvk
