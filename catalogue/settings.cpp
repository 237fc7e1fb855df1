#include "catalogue/settings.h"

#include "lang/resource.h"
#include "platform/messagebox.h"
#include "platform/settings_store.h"
#include "shell/startup.h"

namespace tvk {

ConnectionSettings connectionSettings;

namespace {

// Value names in the settings key (compared case-sensitively).
const QString VALUE_HOST = QStringLiteral("hote");
const QString VALUE_PORT = QStringLiteral("port");
const QString VALUE_USER = QStringLiteral("util");
const QString VALUE_PASSWORD = QStringLiteral("mdp");
const QString VALUE_DATABASE = QStringLiteral("base");

void applyDefaults(ConnectionSettings& settings) {
    if (settings.host.empty())
        settings.host = "localhost";
    if (settings.port == 0)
        settings.port = 3306;
    if (settings.user.empty())
        settings.user = "root";
    if (settings.database.empty())
        settings.database = "Tavisk";
}

} // namespace

std::string settingText(const QString& text) {
    QString cut = text.left(SETTING_TEXT_MAX);
    if (!cut.isEmpty() && cut.back().isHighSurrogate())
        cut.chop(1);
    return cut.toStdString();
}

std::uint32_t portNumber(const QString& text) {
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok, 10);
    return ok ? value : 0;
}

void readConnectionSettings() {
    std::unique_ptr<SettingsKey> key = openSettingsKey();
    if (!key)
        return;
    long status = SETTINGS_OK;
    QString name;
    QString data;
    for (int index = 0; (status = enumSettingsValue(*key, index, name, data)) == SETTINGS_OK;
         ++index) {
        if (name == VALUE_HOST)
            connectionSettings.host = settingText(data);
        else if (name == VALUE_USER)
            connectionSettings.user = settingText(data);
        else if (name == VALUE_PASSWORD)
            connectionSettings.password = settingText(data);
        else if (name == VALUE_DATABASE)
            connectionSettings.database = settingText(data);
        else if (name == VALUE_PORT)
            connectionSettings.port = portNumber(data);
    }
    if (status == SETTINGS_NO_MORE_ITEMS) {
        applyDefaults(connectionSettings);
        return;
    }
    messageBox(nullptr, settingsErrorText(status, key->path()), QStringLiteral("GetLastError"),
               MB_OK | MB_ICONINFORMATION);
}

void storeConnectionSettings() {
    std::unique_ptr<SettingsKey> key = openSettingsKey();
    if (!key)
        return;
    setSettingsString(*key, VALUE_HOST, QString::fromStdString(connectionSettings.host));
    setSettingsNumber(*key, VALUE_PORT, connectionSettings.port);
    setSettingsString(*key, VALUE_USER, QString::fromStdString(connectionSettings.user));
    setSettingsString(*key, VALUE_PASSWORD, QString::fromStdString(connectionSettings.password));
    setSettingsString(*key, VALUE_DATABASE, QString::fromStdString(connectionSettings.database));
}

} // namespace tvk
