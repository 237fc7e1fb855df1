// The five connection settings: their record, their store (the settings key) and dialog 480
// in which the user edits them.
#pragma once

#include "platform/dialog.h"

#include <QString>

#include <cstdint>
#include <string>

namespace tvk {

// Longest text of a setting, in characters.
constexpr int SETTING_TEXT_MAX = 255;

// One record for the program. Texts are UTF-8 bytes, as handed to the client library.
struct ConnectionSettings {
    std::string host;
    std::string user;
    std::string password;
    std::string database;
    std::uint32_t port = 0;
};

extern ConnectionSettings connectionSettings;

// A text of the user's or of the store as a setting: its first 255 characters, in UTF-8.
std::string settingText(const QString& text);
// A port as typed or stored: an unsigned decimal number; any other text gives 0.
std::uint32_t portNumber(const QString& text);

// Reads the record from the settings key, then applies the defaults ("localhost", 3306,
// "root", empty password, "Tavisk") to what is still empty. A key that cannot be opened leaves
// the record as it was, silently. A value that cannot be read (too long, or a file that cannot
// be read or parsed) is reported in a box captioned "GetLastError" and no default is applied.
void readConnectionSettings();

// Writes the five values of the record to the settings key together; silent on failure.
void storeConnectionSettings();

// Procedure of dialog 480 (connection parameters).
bool connectionDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam);

// The OK button of dialog 480: closes the open connection, takes the dialog's values into the
// record, connects with them, stores them when accepted (or when the user chooses to keep
// them) and refills the tree of discs.
void applyConnectionSettings(Dialog* dialog);

// Command 475: dialog 480, modal, owned by the main window.
void showConnectionDialog();

} // namespace tvk
