// The program's settings key, standing in for the user's registry key: a QSettings file in
// its native format, $XDG_CONFIG_HOME/vorka/tavisk.conf (~/.config when the variable is unset).
// The file holds a password, so its folder is kept 0700 and the file 0600.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace tvk {

// Result codes of the store, with the Windows values of the registry functions.
enum SettingsResult : long {
    SETTINGS_OK = 0,              // ERROR_SUCCESS
    SETTINGS_ACCESS_DENIED = 5,   // ERROR_ACCESS_DENIED: the file cannot be read or written
    SETTINGS_INVALID_DATA = 13,   // ERROR_INVALID_DATA: the file cannot be parsed
    SETTINGS_MORE_DATA = 234,     // ERROR_MORE_DATA: a name or value longer than the buffer
    SETTINGS_NO_MORE_ITEMS = 259, // ERROR_NO_MORE_ITEMS: the enumeration is complete
};

// Longest name or value text the enumeration hands out: a 256-byte buffer with its terminator,
// as the registry's enumeration is given.
constexpr int SETTINGS_VALUE_MAX = 255;

// An open settings key. Values written through it reach the file when it is closed
// (destroyed); the file keeps mode 0600.
class SettingsKey {
public:
    explicit SettingsKey(const QString& path);
    ~SettingsKey();
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;

    QSettings& settings() { return settings_; }
    const QString& path() const { return path_; }
    // The value names, in the store's order, as the key was opened.
    const QStringList& names() const { return names_; }

private:
    QString path_;
    QSettings settings_;
    QStringList names_;
};

// The settings file's path: <config home>/vorka/tavisk.conf.
QString settingsFilePath();

// Opens the settings key, creating the folder (0700) and an empty file (0600) when they are
// absent, and tightening their modes when they exist (a file that is a symbolic link: the file
// it names, when this user owns it; when it stays readable by others, a line on stderr says
// so). Null when the folder or the file cannot be made.
std::unique_ptr<SettingsKey> openSettingsKey();

// The value at `index` (from 0) of an open key: its name (compared case-sensitively by the
// caller) and its data as text. SETTINGS_OK, SETTINGS_NO_MORE_ITEMS after the last value,
// SETTINGS_MORE_DATA for a name or value over SETTINGS_VALUE_MAX characters, or
// SETTINGS_ACCESS_DENIED / SETTINGS_INVALID_DATA when the file cannot be read or parsed.
long enumSettingsValue(SettingsKey& key, int index, QString& name, QString& data);

// Writes one value (text, or an unsigned number stored in decimal).
void setSettingsString(SettingsKey& key, const QString& name, const QString& value);
void setSettingsNumber(SettingsKey& key, const QString& name, std::uint32_t value);

// A result code in words, as the system would word it; for the file errors the path is named.
QString settingsErrorText(long code, const QString& path = QString());

} // namespace tvk
