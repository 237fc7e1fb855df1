#include "platform/resources.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace tvk {

namespace {

// ---------------------------------------------------------------------------------------------
// Bounds-checked little-endian reading of a byte span. Every read past the end fails the
// cursor (ok() turns false) and yields zeros, so a damaged resource never reads outside
// its own bytes.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> bytes, size_t offset = 0)
        : bytes_(bytes), pos_(offset), ok_(offset <= bytes.size()) {}

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }
    size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }

    std::uint8_t u8() {
        if (!need(1))
            return 0;
        return bytes_[pos_++];
    }
    std::uint16_t u16() {
        if (!need(2))
            return 0;
        const std::uint16_t value = bytes_[pos_] | (bytes_[pos_ + 1] << 8);
        pos_ += 2;
        return value;
    }
    std::uint32_t u32() {
        const std::uint32_t low = u16();
        const std::uint32_t high = u16();
        return low | (high << 16);
    }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }

    // A NUL-terminated UTF-16 text.
    QString text() {
        QString result;
        for (;;) {
            if (!need(2))
                return result;
            const char16_t unit = static_cast<char16_t>(u16());
            if (unit == 0)
                return result;
            result.append(QChar(unit));
        }
    }

    // A "string or ordinal" field: 0x0000 (none), 0xFFFF followed by a number, or a text.
    ResName nameOrOrdinal() {
        ResName name;
        if (!need(2))
            return name;
        const std::uint16_t first = bytes_[pos_] | (bytes_[pos_ + 1] << 8);
        if (first == 0xFFFF) {
            pos_ += 2;
            name.ordinal = u16();
        } else {
            name.text = text();
        }
        return name;
    }

    std::span<const std::uint8_t> take(size_t count) {
        if (!need(count))
            return {};
        auto part = bytes_.subspan(pos_, count);
        pos_ += count;
        return part;
    }

    void alignTo(size_t boundary) {
        const size_t aligned = (pos_ + boundary - 1) / boundary * boundary;
        if (aligned > bytes_.size()) {
            pos_ = bytes_.size();
            return;
        }
        pos_ = aligned;
    }
    void seek(size_t offset) {
        if (offset > bytes_.size())
            ok_ = false;
        else
            pos_ = offset;
    }

private:
    bool need(size_t count) {
        if (!ok_ || bytes_.size() - pos_ < count) {
            ok_ = false;
            return false;
        }
        return true;
    }

    std::span<const std::uint8_t> bytes_;
    size_t pos_;
    bool ok_;
};

// ---------------------------------------------------------------------------------------------
// The .res container.

// Reads one entry starting at the cursor; false at the end or on damage.
bool readEntry(Cursor& cursor, ResourceEntry& entry) {
    const size_t start = cursor.pos();
    const std::uint32_t dataSize = cursor.u32();
    const std::uint32_t headerSize = cursor.u32();
    if (!cursor.ok() || headerSize < 8)
        return false;
    Cursor header(cursor.take(headerSize - 8));
    if (!cursor.ok())
        return false;
    entry.type = header.nameOrOrdinal();
    entry.name = header.nameOrOrdinal();
    header.alignTo(4);
    header.u32(); // data version
    header.u16(); // memory flags
    entry.language = header.u16();
    entry.data = cursor.take(dataSize);
    if (!cursor.ok() || !header.ok())
        return false;
    cursor.seek(start + headerSize + dataSize);
    cursor.alignTo(4);
    return true;
}

const ResourceEntry* findEntry(const ResourceSet& set, std::uint16_t type, std::uint16_t id) {
    for (const ResourceEntry& entry : set.entries) {
        if (!entry.type.isText() && entry.type.ordinal == type && !entry.name.isText() &&
            entry.name.ordinal == id)
            return &entry;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Strings: blocks of 16 counted UTF-16 texts; string id n lives in block n / 16 + 1.

// Calls `visit(id, text)` for every string of a block, empty ones included.
template <typename Visit>
void forEachStringOfBlock(const ResourceEntry& block, Visit visit) {
    Cursor cursor(block.data);
    const unsigned first = (block.name.ordinal - 1u) * 16u;
    for (unsigned index = 0; index < 16 && cursor.ok(); ++index) {
        const std::uint16_t length = cursor.u16();
        auto units = cursor.take(size_t(length) * 2);
        if (!cursor.ok())
            return;
        QString text;
        text.reserve(length);
        for (size_t i = 0; i + 1 < units.size(); i += 2)
            text.append(QChar(char16_t(units[i] | (units[i + 1] << 8))));
        visit(first + index, text);
    }
}

// ---------------------------------------------------------------------------------------------
// Menus: the standard template (version 0) and the extended one (version 1).

bool readMenuItems(Cursor& cursor, std::vector<MenuItem>& items, int depth) {
    if (depth > 16)
        return false;
    for (;;) {
        MenuItem item;
        item.flags = cursor.u16();
        if (!(item.flags & MF_POPUP))
            item.id = cursor.u16();
        item.text = cursor.text();
        if (!cursor.ok())
            return false;
        if (item.flags & MF_POPUP) {
            if (!readMenuItems(cursor, item.items, depth + 1))
                return false;
        }
        const bool last = item.flags & MF_END;
        item.flags &= static_cast<std::uint16_t>(~MF_END);
        items.push_back(std::move(item));
        if (last)
            return true;
    }
}

bool readMenuExItems(Cursor& cursor, std::vector<MenuItem>& items, int depth) {
    if (depth > 16)
        return false;
    for (;;) {
        const std::uint32_t type = cursor.u32();
        const std::uint32_t state = cursor.u32();
        const std::uint32_t id = cursor.u32();
        const std::uint16_t info = cursor.u16();
        MenuItem item;
        item.text = cursor.text();
        cursor.alignTo(4);
        item.id = static_cast<std::uint16_t>(id);
        if (type & MF_SEPARATOR)
            item.flags |= MF_SEPARATOR;
        if (state & 0x3) // MFS_GRAYED / MFS_DISABLED
            item.flags |= MF_GRAYED;
        if (state & MF_CHECKED)
            item.flags |= MF_CHECKED;
        if (!cursor.ok())
            return false;
        if (info & 0x01) {
            item.flags |= MF_POPUP;
            item.id = 0;
            cursor.u32(); // help id
            if (!readMenuExItems(cursor, item.items, depth + 1))
                return false;
        }
        items.push_back(std::move(item));
        if (info & 0x80)
            return true;
    }
}

// ---------------------------------------------------------------------------------------------
// Dialog templates: DIALOG (DLGTEMPLATE) and DIALOGEX.

constexpr std::uint32_t DS_SETFONT = 0x40;

bool readDialogItem(Cursor& cursor, bool extended, DialogItem& item) {
    cursor.alignTo(4);
    if (extended) {
        item.helpId = cursor.u32();
        item.exStyle = cursor.u32();
        item.style = cursor.u32();
    } else {
        item.style = cursor.u32();
        item.exStyle = cursor.u32();
    }
    item.x = cursor.i16();
    item.y = cursor.i16();
    item.cx = cursor.i16();
    item.cy = cursor.i16();
    item.id = extended ? static_cast<std::int32_t>(cursor.u32()) : cursor.i16();
    item.windowClass = cursor.nameOrOrdinal();
    item.title = cursor.nameOrOrdinal();
    const std::uint16_t extra = cursor.u16();
    auto bytes = cursor.take(extra);
    item.creationData.assign(bytes.begin(), bytes.end());
    return cursor.ok();
}

std::optional<DialogTemplate> readDialog(std::span<const std::uint8_t> data) {
    Cursor cursor(data);
    DialogTemplate dialog;
    std::uint16_t count = 0;
    if (data.size() >= 4 && data[0] == 1 && data[1] == 0 && data[2] == 0xFF && data[3] == 0xFF) {
        dialog.extended = true;
        cursor.u32(); // version and signature
        dialog.helpId = cursor.u32();
        dialog.exStyle = cursor.u32();
        dialog.style = cursor.u32();
    } else {
        dialog.style = cursor.u32();
        dialog.exStyle = cursor.u32();
    }
    count = cursor.u16();
    dialog.x = cursor.i16();
    dialog.y = cursor.i16();
    dialog.cx = cursor.i16();
    dialog.cy = cursor.i16();
    dialog.menu = cursor.nameOrOrdinal();
    dialog.windowClass = cursor.nameOrOrdinal();
    dialog.caption = cursor.text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = cursor.u16();
        if (dialog.extended) {
            dialog.weight = cursor.u16();
            dialog.italic = cursor.u8() != 0;
            dialog.charset = cursor.u8();
        }
        dialog.faceName = cursor.text();
    }
    if (!cursor.ok())
        return std::nullopt;
    for (std::uint16_t i = 0; i < count; ++i) {
        DialogItem item;
        if (!readDialogItem(cursor, dialog.extended, item))
            return std::nullopt;
        dialog.items.push_back(std::move(item));
    }
    return dialog;
}

// ---------------------------------------------------------------------------------------------
// Version block: a tree of nodes (length, value length, type, key, value, children).

struct VersionNode {
    QString key;
    std::span<const std::uint8_t> value;
    bool textValue = false;
    std::vector<VersionNode> children;
};

// Reads the node at the cursor and skips to its end; false on damage.
bool readVersionNode(Cursor& cursor, VersionNode& node, int depth) {
    if (depth > 8)
        return false;
    cursor.alignTo(4);
    const size_t start = cursor.pos();
    const std::uint16_t length = cursor.u16();
    const std::uint16_t valueLength = cursor.u16();
    const std::uint16_t type = cursor.u16();
    if (!cursor.ok() || length < 6 || size_t(length - 6) > cursor.remaining())
        return false;
    const size_t end = start + length;
    node.key = cursor.text();
    cursor.alignTo(4);
    node.textValue = type == 1;
    // A text value's length counts UTF-16 units, a binary value's counts bytes.
    size_t valueBytes = node.textValue ? size_t(valueLength) * 2 : valueLength;
    if (cursor.pos() + valueBytes > end)
        valueBytes = cursor.pos() < end ? end - cursor.pos() : 0;
    node.value = cursor.take(valueBytes);
    while (cursor.ok()) {
        cursor.alignTo(4);
        if (cursor.pos() >= end)
            break;
        VersionNode child;
        if (!readVersionNode(cursor, child, depth + 1))
            return false;
        node.children.push_back(std::move(child));
    }
    cursor.seek(end);
    return cursor.ok();
}

QString textOfValue(std::span<const std::uint8_t> value) {
    QString text;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        const char16_t unit = char16_t(value[i] | (value[i + 1] << 8));
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

std::optional<VersionInfo> readVersion(std::span<const std::uint8_t> data) {
    Cursor cursor(data);
    VersionNode root;
    if (!readVersionNode(cursor, root, 0) || root.key != QLatin1String("VS_VERSION_INFO"))
        return std::nullopt;
    VersionInfo info;
    Cursor fixed(root.value);
    if (fixed.u32() == 0xFEEF04BD) {
        fixed.u32(); // structure version
        info.fileVersionMS = fixed.u32();
        info.fileVersionLS = fixed.u32();
        info.productVersionMS = fixed.u32();
        info.productVersionLS = fixed.u32();
    }
    for (const VersionNode& block : root.children) {
        if (block.key == QLatin1String("StringFileInfo")) {
            for (const VersionNode& table : block.children) {
                auto& values = info.strings[table.key.toUpper()];
                for (const VersionNode& entry : table.children)
                    values[entry.key] = textOfValue(entry.value);
            }
        } else if (block.key == QLatin1String("VarFileInfo")) {
            for (const VersionNode& var : block.children) {
                Cursor words(var.value);
                while (words.remaining() >= 4)
                    info.translations.push_back(words.u32());
            }
        }
    }
    return info;
}

// ---------------------------------------------------------------------------------------------
// Images. Bitmaps are DIBs without a file header; icon images are DIBs (height doubled, an AND
// mask after the colours) or PNG files. Both are handed to Qt's readers wrapped in the file
// header they lack.

void putU16(QByteArray& out, std::uint16_t value) {
    out.append(char(value & 0xFF));
    out.append(char(value >> 8));
}
void putU32(QByteArray& out, std::uint32_t value) {
    putU16(out, std::uint16_t(value & 0xFFFF));
    putU16(out, std::uint16_t(value >> 16));
}

// Offset of the pixel bits within a DIB: header, bit masks, palette. 0 when damaged.
size_t dibBitsOffset(std::span<const std::uint8_t> dib) {
    Cursor cursor(dib);
    const std::uint32_t headerSize = cursor.u32();
    if (!cursor.ok() || headerSize < 12 || headerSize > dib.size())
        return 0;
    if (headerSize == 12) { // BITMAPCOREHEADER: 3-byte palette entries
        cursor.seek(10);
        const std::uint16_t bits = cursor.u16();
        return 12 + (bits <= 8 ? (size_t(1) << bits) * 3 : 0);
    }
    cursor.seek(14);
    const std::uint16_t bits = cursor.u16();
    const std::uint32_t compression = cursor.u32();
    cursor.seek(32);
    std::uint32_t colours = cursor.u32();
    if (!cursor.ok())
        return 0;
    if (colours == 0 && bits <= 8)
        colours = 1u << bits;
    if (colours > 256 && bits <= 8)
        return 0;
    size_t offset = headerSize + size_t(colours) * 4;
    if (headerSize == 40 && (compression == 3 || compression == 6)) // BI_BITFIELDS masks
        offset += compression == 3 ? 12 : 16;
    return offset <= dib.size() ? offset : 0;
}

QImage imageFromDib(std::span<const std::uint8_t> dib) {
    const size_t bitsOffset = dibBitsOffset(dib);
    if (bitsOffset == 0)
        return {};
    QByteArray file;
    file.append("BM");
    putU32(file, std::uint32_t(14 + dib.size()));
    putU32(file, 0);
    putU32(file, std::uint32_t(14 + bitsOffset));
    file.append(reinterpret_cast<const char*>(dib.data()), qsizetype(dib.size()));
    QImage image;
    image.loadFromData(file, "BMP");
    return image;
}

// Direct decoding of the uncompressed DIBs the modules carry (1, 4, 8, 24 and 32 bits per
// pixel): cheaper than Qt's image readers, which look for plugins on first use. An icon image
// is a DIB of twice its height, the colours followed by an AND mask (1 = transparent); a 32-bit
// icon image with any alpha uses its alpha instead. Returns a null image for every other form,
// which the callers hand to Qt's readers.
QImage decodeDib(std::span<const std::uint8_t> dib, bool iconImage) {
    Cursor cursor(dib);
    const std::uint32_t headerSize = cursor.u32();
    const std::int32_t width = static_cast<std::int32_t>(cursor.u32());
    const std::int32_t height = static_cast<std::int32_t>(cursor.u32());
    cursor.u16(); // planes
    const std::uint16_t bits = cursor.u16();
    const std::uint32_t compression = cursor.u32();
    cursor.seek(32);
    std::uint32_t colours = cursor.u32();
    if (!cursor.ok() || headerSize < 40 || headerSize > dib.size() || compression != 0)
        return {};
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
        return {};
    if (width <= 0 || width > 4096 || height == 0 || height > 8192 || height < -8192)
        return {};
    const bool bottomUp = height > 0;
    int rows = bottomUp ? height : -height;
    if (iconImage)
        rows /= 2;
    if (rows == 0)
        return {};

    std::vector<QRgb> palette;
    if (bits <= 8) {
        if (colours == 0 || colours > (1u << bits))
            colours = 1u << bits;
        Cursor entries(dib, headerSize);
        for (std::uint32_t i = 0; i < colours; ++i) {
            const std::uint8_t blue = entries.u8(), green = entries.u8(), red = entries.u8();
            entries.u8();
            palette.push_back(qRgb(red, green, blue));
        }
        if (!entries.ok())
            return {};
        palette.resize(size_t(1) << bits, qRgb(0, 0, 0));
    }
    const size_t bitsOffset = headerSize + size_t(colours) * 4 * (bits <= 8);
    const size_t stride = (size_t(width) * bits + 31) / 32 * 4;
    const size_t maskStride = (size_t(width) + 31) / 32 * 4;
    const size_t needed = bitsOffset + stride * rows + (iconImage ? maskStride * rows : 0);
    if (needed > dib.size())
        return {};

    QImage image(width, rows, QImage::Format_ARGB32);
    if (image.isNull())
        return {};
    bool anyAlpha = false;
    for (int row = 0; row < rows; ++row) {
        const std::uint8_t* in = dib.data() + bitsOffset + stride * size_t(row);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(bottomUp ? rows - 1 - row : row));
        for (int x = 0; x < width; ++x) {
            switch (bits) {
            case 32:
                out[x] = qRgba(in[x * 4 + 2], in[x * 4 + 1], in[x * 4], in[x * 4 + 3]);
                anyAlpha = anyAlpha || in[x * 4 + 3] != 0;
                break;
            case 24:
                out[x] = qRgb(in[x * 3 + 2], in[x * 3 + 1], in[x * 3]);
                break;
            case 8:
                out[x] = palette[in[x]];
                break;
            case 4:
                out[x] = palette[(in[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F];
                break;
            default:
                out[x] = palette[(in[x / 8] >> (7 - x % 8)) & 1];
                break;
            }
        }
    }
    if (bits == 32 && iconImage && anyAlpha)
        return image;
    for (int row = 0; row < rows; ++row) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(bottomUp ? rows - 1 - row : row));
        const std::uint8_t* mask =
            iconImage ? dib.data() + bitsOffset + stride * rows + maskStride * size_t(row)
                      : nullptr;
        for (int x = 0; x < width; ++x) {
            const bool transparent = mask && ((mask[x / 8] >> (7 - x % 8)) & 1);
            out[x] = transparent ? 0 : (out[x] | 0xFF000000u);
        }
    }
    return image;
}

// Makes every magenta pixel transparent.
QImage withMagentaTransparent(const QImage& source) {
    QImage image = source.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if ((line[x] & 0x00FFFFFF) == 0x00FF00FF)
                line[x] = 0;
        }
    }
    return image;
}

// An icon image of a group: a one-image .ico file read by Qt's ICO reader.
QImage imageFromIconResource(std::span<const std::uint8_t> data, std::uint8_t width,
                             std::uint8_t height, std::uint16_t bitCount) {
    QByteArray file;
    putU16(file, 0);
    putU16(file, 1);
    putU16(file, 1);
    file.append(char(width));
    file.append(char(height));
    file.append(char(0));
    file.append(char(0));
    putU16(file, 1);
    putU16(file, bitCount);
    putU32(file, std::uint32_t(data.size()));
    putU32(file, 22);
    file.append(reinterpret_cast<const char*>(data.data()), qsizetype(data.size()));
    QBuffer buffer(&file);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ICO");
    return reader.read();
}

// ---------------------------------------------------------------------------------------------
// The ELF section of a loaded module.

int findModulePath(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<std::pair<ModuleHandle, std::string>*>(data);
    if (reinterpret_cast<ModuleHandle>(info->dlpi_addr) == search->first && info->dlpi_name &&
        *info->dlpi_name) {
        search->second = info->dlpi_name;
        return 1;
    }
    return 0;
}

// The address and size of section ".tvkres" in the mapped module, read from the file's
// section headers. Empty span when the module has no such section.
std::span<const std::uint8_t> resourceSection(ModuleHandle module) {
    std::pair<ModuleHandle, std::string> search{module, {}};
    dl_iterate_phdr(findModulePath, &search);
    if (search.second.empty())
        return {};
    const int fd = open(search.second.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    std::span<const std::uint8_t> section;
    Elf64_Ehdr header{};
    if (pread(fd, &header, sizeof header, 0) == ssize_t(sizeof header) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
        header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_shentsize == sizeof(Elf64_Shdr) &&
        header.e_shnum > 0 && header.e_shstrndx < header.e_shnum) {
        std::vector<Elf64_Shdr> sections(header.e_shnum);
        const ssize_t tableSize = ssize_t(sections.size() * sizeof(Elf64_Shdr));
        if (pread(fd, sections.data(), size_t(tableSize), off_t(header.e_shoff)) == tableSize) {
            const Elf64_Shdr& names = sections[header.e_shstrndx];
            std::string nameTable(names.sh_size, '\0');
            if (names.sh_size < (1u << 20) &&
                pread(fd, nameTable.data(), nameTable.size(), off_t(names.sh_offset)) ==
                    ssize_t(nameTable.size())) {
                for (const Elf64_Shdr& candidate : sections) {
                    if (candidate.sh_name < nameTable.size() &&
                        std::strcmp(nameTable.c_str() + candidate.sh_name, ".tvkres") == 0 &&
                        (candidate.sh_flags & SHF_ALLOC) && candidate.sh_addr != 0) {
                        section = {static_cast<const std::uint8_t*>(module) + candidate.sh_addr,
                                   size_t(candidate.sh_size)};
                        break;
                    }
                }
            }
        }
    }
    close(fd);
    return section;
}

std::map<ModuleHandle, std::unique_ptr<ResourceSet>>& parsedModules() {
    static std::map<ModuleHandle, std::unique_ptr<ResourceSet>> modules;
    return modules;
}

const ResourceSet& emptySet() {
    static const ResourceSet empty;
    return empty;
}

const ResourceSet& setOf(ModuleHandle module) {
    const ResourceSet* set = moduleResources(module);
    return set ? *set : emptySet();
}

} // namespace

// ---------------------------------------------------------------------------------------------

std::unique_ptr<ResourceSet> parseResources(std::span<const std::uint8_t> bytes) {
    auto set = std::make_unique<ResourceSet>();
    Cursor cursor(bytes);
    // A .res file starts with an empty entry: data size 0, header size 32, type and name 0.
    ResourceEntry first;
    if (!readEntry(cursor, first) || !first.data.empty() || first.type.ordinal != 0)
        return nullptr;
    while (cursor.remaining() >= 8) {
        ResourceEntry entry;
        if (!readEntry(cursor, entry))
            break;
        set->entries.push_back(entry);
    }
    return set;
}

const ResourceSet* moduleResources(ModuleHandle module) {
    if (!module)
        return nullptr;
    auto& modules = parsedModules();
    auto found = modules.find(module);
    if (found == modules.end()) {
        std::unique_ptr<ResourceSet> set;
        if (auto section = resourceSection(module); !section.empty())
            set = parseResources(section);
        found = modules.emplace(module, std::move(set)).first;
    }
    return found->second.get();
}

void forgetModuleResources(ModuleHandle module) {
    parsedModules().erase(module);
}

std::span<const std::uint8_t> findResource(const ResourceSet& set, std::uint16_t type,
                                           std::uint16_t id) {
    const ResourceEntry* entry = findEntry(set, type, id);
    return entry ? entry->data : std::span<const std::uint8_t>();
}

std::vector<unsigned> resourceIds(const ResourceSet& set, std::uint16_t type) {
    std::vector<unsigned> ids;
    for (const ResourceEntry& entry : set.entries) {
        if (entry.type.isText() || entry.type.ordinal != type || entry.name.isText())
            continue;
        if (type == RT_STRING) {
            forEachStringOfBlock(entry, [&](unsigned id, const QString& text) {
                if (!text.isEmpty())
                    ids.push_back(id);
            });
        } else {
            ids.push_back(entry.name.ordinal);
        }
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

QString loadString(const ResourceSet& set, unsigned id) {
    if (id > 0xFFFF)
        return {};
    const ResourceEntry* block = findEntry(set, RT_STRING, std::uint16_t(id / 16 + 1));
    QString found;
    if (block) {
        forEachStringOfBlock(*block, [&](unsigned stringId, const QString& text) {
            if (stringId == id)
                found = text;
        });
    }
    return found;
}

std::optional<MenuTemplate> loadMenu(const ResourceSet& set, unsigned id) {
    auto data = findResource(set, RT_MENU, std::uint16_t(id));
    if (data.empty())
        return std::nullopt;
    Cursor cursor(data);
    const std::uint16_t version = cursor.u16();
    const std::uint16_t offset = cursor.u16();
    MenuTemplate menu;
    bool ok = false;
    if (version == 0) {
        cursor.seek(4 + size_t(offset));
        ok = readMenuItems(cursor, menu.items, 0);
    } else if (version == 1) {
        cursor.seek(4 + size_t(offset));
        ok = readMenuExItems(cursor, menu.items, 0);
    }
    if (!ok)
        return std::nullopt;
    return menu;
}

std::optional<std::vector<AccelEntry>> loadAccelerators(const ResourceSet& set, unsigned id) {
    auto data = findResource(set, RT_ACCELERATOR, std::uint16_t(id));
    if (data.empty())
        return std::nullopt;
    std::vector<AccelEntry> table;
    Cursor cursor(data);
    while (cursor.remaining() >= 8) {
        AccelEntry entry;
        const std::uint16_t flags = cursor.u16();
        entry.key = cursor.u16();
        entry.command = cursor.u16();
        cursor.u16(); // padding
        entry.flags = flags & 0x7F;
        table.push_back(entry);
        if (flags & 0x80) // the last entry
            break;
    }
    return table;
}

std::optional<DialogTemplate> loadDialog(const ResourceSet& set, unsigned id) {
    auto data = findResource(set, RT_DIALOG, std::uint16_t(id));
    if (data.empty())
        return std::nullopt;
    return readDialog(data);
}

std::optional<VersionInfo> loadVersionInfo(const ResourceSet& set) {
    for (const ResourceEntry& entry : set.entries) {
        if (!entry.type.isText() && entry.type.ordinal == RT_VERSION)
            return readVersion(entry.data);
    }
    return std::nullopt;
}

QImage loadBitmap(const ResourceSet& set, unsigned id) {
    auto data = findResource(set, RT_BITMAP, std::uint16_t(id));
    if (data.empty())
        return {};
    QImage image = decodeDib(data, false);
    if (image.isNull())
        image = imageFromDib(data);
    return image.isNull() ? image : withMagentaTransparent(image);
}

QIcon loadIcon(const ResourceSet& set, unsigned groupId) {
    auto group = findResource(set, RT_GROUP_ICON, std::uint16_t(groupId));
    if (group.empty())
        return {};
    Cursor cursor(group);
    cursor.u16(); // reserved
    const std::uint16_t type = cursor.u16();
    const std::uint16_t count = cursor.u16();
    if (!cursor.ok() || type != 1)
        return {};
    QIcon icon;
    for (std::uint16_t i = 0; i < count && cursor.ok(); ++i) {
        const std::uint8_t width = cursor.u8();
        const std::uint8_t height = cursor.u8();
        cursor.u8();  // colour count
        cursor.u8();  // reserved
        cursor.u16(); // planes
        const std::uint16_t bitCount = cursor.u16();
        cursor.u32(); // bytes in resource
        const std::uint16_t imageId = cursor.u16();
        if (!cursor.ok())
            break;
        auto data = findResource(set, RT_ICON, imageId);
        if (data.empty())
            continue;
        QImage image = decodeDib(data, true);
        if (image.isNull())
            image = imageFromIconResource(data, width, height, bitCount);
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QString loadString(ModuleHandle module, unsigned id) {
    return loadString(setOf(module), id);
}
std::optional<MenuTemplate> loadMenu(ModuleHandle module, unsigned id) {
    return loadMenu(setOf(module), id);
}
std::optional<std::vector<AccelEntry>> loadAccelerators(ModuleHandle module, unsigned id) {
    return loadAccelerators(setOf(module), id);
}
std::optional<DialogTemplate> loadDialog(ModuleHandle module, unsigned id) {
    return loadDialog(setOf(module), id);
}
std::optional<VersionInfo> loadVersionInfo(ModuleHandle module) {
    return loadVersionInfo(setOf(module));
}
QImage loadBitmap(ModuleHandle module, unsigned id) {
    return loadBitmap(setOf(module), id);
}
QIcon loadIcon(ModuleHandle module, unsigned groupId) {
    return loadIcon(setOf(module), groupId);
}

} // namespace tvk
