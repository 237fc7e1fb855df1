// Reader of the Windows resources (.res, as GNU windres writes them) that a language module
// carries in its own ELF section. Resources are found by number only.
#pragma once

#include "platform/module.h"

#include <QIcon>
#include <QImage>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace tvk {

// Resource type numbers of the .res format.
enum ResourceType : std::uint16_t {
    RT_CURSOR = 1,
    RT_BITMAP = 2,
    RT_ICON = 3,
    RT_MENU = 4,
    RT_DIALOG = 5,
    RT_STRING = 6,
    RT_ACCELERATOR = 9,
    RT_GROUP_CURSOR = 12,
    RT_GROUP_ICON = 14,
    RT_VERSION = 16,
};

// Menu item flags as the menu template stores them.
enum MenuFlags : std::uint16_t {
    MF_GRAYED = 0x0001,
    MF_DISABLED = 0x0002,
    MF_CHECKED = 0x0008,
    MF_POPUP = 0x0010,
    MF_END = 0x0080,
    MF_SEPARATOR = 0x0800,
};

// Accelerator flags as the accelerator table stores them.
enum AccelFlags : std::uint16_t {
    FVIRTKEY = 0x01,
    FNOINVERT = 0x02,
    FSHIFT = 0x04,
    FCONTROL = 0x08,
    FALT = 0x10,
};

// A name in a template: either a number (ordinal) or a text. A template field that is
// absent reads as ordinal 0 with an empty text.
struct ResName {
    std::uint16_t ordinal = 0;
    QString text;
    bool isText() const { return !text.isEmpty(); }
    bool isEmpty() const { return ordinal == 0 && text.isEmpty(); }
};

struct MenuItem {
    QString text;         // as written: '&' mnemonics and a '\t' before the shortcut label
    std::uint16_t id = 0; // command identifier; 0 for popups and separators
    std::uint16_t flags = 0;
    std::vector<MenuItem> items; // the popup's own items
    bool isPopup() const { return flags & MF_POPUP; }
    bool isSeparator() const {
        return (flags & MF_SEPARATOR) || (!isPopup() && id == 0 && text.isEmpty());
    }
};

struct MenuTemplate {
    std::vector<MenuItem> items; // the menu bar's popups (or a context menu's single popup)
};

struct AccelEntry {
    std::uint16_t flags = 0; // AccelFlags
    std::uint16_t key = 0;   // virtual-key code (FVIRTKEY) or character
    std::uint16_t command = 0;
};

// Window class ordinals of dialog items.
enum DialogClass : std::uint16_t {
    DLG_BUTTON = 0x80,
    DLG_EDIT = 0x81,
    DLG_STATIC = 0x82,
    DLG_LISTBOX = 0x83,
    DLG_SCROLLBAR = 0x84,
    DLG_COMBOBOX = 0x85,
};

struct DialogItem {
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t helpId = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0; // dialog units
    std::int32_t id = 0;                       // -1 for static texts without an identifier
    ResName windowClass;                       // ordinal (DialogClass) or a class name
    ResName title;                             // text, or an ordinal (icon/bitmap resource)
    std::vector<std::uint8_t> creationData;
};

struct DialogTemplate {
    bool extended = false; // DIALOGEX
    std::uint32_t style = 0;
    std::uint32_t exStyle = 0;
    std::uint32_t helpId = 0;
    std::int16_t x = 0, y = 0, cx = 0, cy = 0; // dialog units
    ResName menu;
    ResName windowClass;
    QString caption;
    // Font, present when the style has DS_SETFONT (0x40).
    std::uint16_t pointSize = 0;
    std::uint16_t weight = 0;
    bool italic = false;
    std::uint8_t charset = 0;
    QString faceName;
    std::vector<DialogItem> items;
};

struct VersionInfo {
    std::uint32_t fileVersionMS = 0, fileVersionLS = 0;
    std::uint32_t productVersionMS = 0, productVersionLS = 0;
    // String tables by their "llllcccc" key (language and code page in hex, e.g. "040904B0"),
    // each a map from value name ("FileDescription", ...) to text.
    std::map<QString, std::map<QString, QString>> strings;
    std::vector<std::uint32_t> translations; // "Translation" var: language in the low 16 bits
};

// One entry of a .res image: its type and name, and where its data lies.
struct ResourceEntry {
    ResName type;
    ResName name;
    std::uint16_t language = 0;
    std::span<const std::uint8_t> data;
};

// A parsed .res image. It does not own the bytes it was parsed from: they must outlive it
// (a module's section lives as long as the module stays loaded).
struct ResourceSet {
    std::vector<ResourceEntry> entries;
};

// Parses a .res image held in memory. Returns null when the bytes are not a .res file.
std::unique_ptr<ResourceSet> parseResources(std::span<const std::uint8_t> bytes);

// The resources of a loaded module, found in its ELF section ".tvkres" and parsed once.
// Null when the module carries none. Owned by the reader; valid while the module is loaded.
const ResourceSet* moduleResources(ModuleHandle module);

// Drops the parsed resources of a module that is being unloaded.
void forgetModuleResources(ModuleHandle module);

// Raw data of the resource (type, id), language ignored; empty when absent.
std::span<const std::uint8_t> findResource(const ResourceSet& set, std::uint16_t type,
                                           std::uint16_t id);
// Every identifier of a type present in the set, ascending. For RT_STRING: string ids.
std::vector<unsigned> resourceIds(const ResourceSet& set, std::uint16_t type);

QString loadString(const ResourceSet& set, unsigned id); // empty when missing
std::optional<MenuTemplate> loadMenu(const ResourceSet& set, unsigned id);
std::optional<std::vector<AccelEntry>> loadAccelerators(const ResourceSet& set, unsigned id);
std::optional<DialogTemplate> loadDialog(const ResourceSet& set, unsigned id);
std::optional<VersionInfo> loadVersionInfo(const ResourceSet& set);
// Bitmap as an ARGB image with magenta (255, 0, 255) made transparent; null image if absent.
QImage loadBitmap(const ResourceSet& set, unsigned id);
// Every image of an icon group; null icon if absent.
QIcon loadIcon(const ResourceSet& set, unsigned groupId);

// The same loaders on a module handle; a module without resources behaves as an empty set.
QString loadString(ModuleHandle module, unsigned id);
std::optional<MenuTemplate> loadMenu(ModuleHandle module, unsigned id);
std::optional<std::vector<AccelEntry>> loadAccelerators(ModuleHandle module, unsigned id);
std::optional<DialogTemplate> loadDialog(ModuleHandle module, unsigned id);
std::optional<VersionInfo> loadVersionInfo(ModuleHandle module);
QImage loadBitmap(ModuleHandle module, unsigned id);
QIcon loadIcon(ModuleHandle module, unsigned groupId);

} // namespace tvk
