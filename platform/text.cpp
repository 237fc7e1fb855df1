#include "platform/text.h"

#include "platform/utf8.h"

namespace tvk {

namespace {

// Windows-1252 for 0x80 to 0x9F; the five bytes it leaves undefined keep their C1 code points,
// as the server's latin1 does.
constexpr char16_t windows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString fromWindows1252(std::string_view bytes) {
    QString text(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = QChar(byte >= 0x80 && byte <= 0x9F ? windows1252High[byte - 0x80] : byte);
    }
    return text;
}

// The byte of Windows-1252 that shows as `c`, or 0 when there is none.
unsigned char windows1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<unsigned char>(c);
    for (unsigned char i = 0; i < 32; ++i) {
        if (windows1252High[i] == c)
            return static_cast<unsigned char>(0x80 + i);
    }
    return 0;
}

} // namespace

std::optional<std::string> toWindows1252(const QString& text) {
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        const unsigned char byte = windows1252Byte(c.unicode());
        if (byte == 0 && c.unicode() != 0)
            return std::nullopt;
        bytes += static_cast<char>(byte);
    }
    return bytes;
}

QString fromServerText(std::string_view bytes) {
    if (isValidUtf8(bytes.data(), bytes.size()))
        return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return fromWindows1252(bytes);
}

} // namespace tvk
