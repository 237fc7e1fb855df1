// Text that comes from the catalogue server: names and error messages. The connection speaks
// latin1, so the server hands bytes back as they were stored: UTF-8 for names written on Linux,
// a Windows code page for names written by programs on Windows, Latin-1 for the server's own
// messages. Only the text shown is decoded; the bytes stay as they are for every statement.
#pragma once

#include <QString>

#include <optional>
#include <string>
#include <string_view>

namespace tvk {

// `bytes` as text: decoded as UTF-8 when they are valid UTF-8, otherwise as the server's latin1,
// which is Windows-1252 (0x80 to 0x9F are the euro sign, typographic quotes and the like).
QString fromServerText(std::string_view bytes);
inline QString fromServerText(const char* bytes) {
    return bytes ? fromServerText(std::string_view(bytes)) : QString();
}

// `text` in Windows-1252 bytes, the form in which programs on Windows store names; none when a
// character of it has no such form. The bytes that form shows as `text` again.
std::optional<std::string> toWindows1252(const QString& text);

} // namespace tvk
