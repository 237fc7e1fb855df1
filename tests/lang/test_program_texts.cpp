// The program holds no text of the interface: every text comes from the language module.
// Only three texts, the same in every language, are the program's own.
#include "platform/module.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace {

using namespace tvk;

std::string binDir() {
    const char* dir = std::getenv("TAVISK_BIN_DIR");
    return dir ? dir : ".";
}

// The bytes of every section of an ELF file that is loaded into memory: what the program
// holds when it runs (debug information, which names enumerators such as "Cancel", is not).
std::vector<std::string> loadedSections(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::string> sections;
    Elf64_Ehdr header;
    if (file.size() < sizeof header)
        return sections;
    std::memcpy(&header, file.data(), sizeof header);
    for (unsigned i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        const size_t at = header.e_shoff + size_t(i) * sizeof section;
        if (at + sizeof section > file.size())
            break;
        std::memcpy(&section, file.data() + at, sizeof section);
        if ((section.sh_flags & SHF_ALLOC) && section.sh_type != SHT_NOBITS &&
            section.sh_offset + section.sh_size <= file.size())
            sections.push_back(file.substr(section.sh_offset, section.sh_size));
    }
    return sections;
}

// Whether `text` lies in `bytes` in the given encoding (units of 1 or 2 bytes). A whole match
// must be a complete NUL-terminated string; otherwise any occurrence counts.
bool holdsText(const std::string& bytes, const std::string& encoded, size_t unit, bool whole) {
    const std::string nul(unit, '\0');
    for (size_t at = bytes.find(encoded); at != std::string::npos;
         at = bytes.find(encoded, at + 1)) {
        if (!whole)
            return true;
        const bool startsString = at < unit || bytes.compare(at - unit, unit, nul) == 0;
        const bool endsString = bytes.compare(at + encoded.size(), unit, nul) == 0;
        if (startsString && endsString)
            return true;
    }
    return false;
}

std::string utf16Bytes(const QString& text) {
    return std::string(reinterpret_cast<const char*>(text.utf16()), size_t(text.size()) * 2);
}

// Whether the program holds `text` as UTF-8 or as UTF-16 (the form of a QStringLiteral).
bool programHolds(const std::vector<std::string>& sections, const QString& text, bool whole) {
    for (const std::string& section : sections) {
        if (holdsText(section, text.toStdString(), 1, whole) ||
            holdsText(section, utf16Bytes(text), 2, whole))
            return true;
    }
    return false;
}

void addMenuTexts(const std::vector<MenuItem>& items, std::set<QString>& texts) {
    for (const MenuItem& item : items) {
        texts.insert(item.text);
        addMenuTexts(item.items, texts);
    }
}

// Every text of a module's catalogue: strings, menus, dialog captions and control texts.
std::set<QString> catalogueTexts(const char* code) {
    ModuleHandle module = loadLibrary(binDir() + "/tavisk_" + code + ".so");
    EXPECT_TRUE(module) << code;
    std::set<QString> texts;
    const ResourceSet* set = moduleResources(module);
    if (!set)
        return texts;
    for (unsigned id : resourceIds(*set, RT_STRING))
        texts.insert(loadString(*set, id));
    for (unsigned id : resourceIds(*set, RT_MENU)) {
        if (auto menu = loadMenu(*set, id))
            addMenuTexts(menu->items, texts);
    }
    for (unsigned id : resourceIds(*set, RT_DIALOG)) {
        if (auto dialog = loadDialog(*set, id)) {
            texts.insert(dialog->caption);
            for (const DialogItem& item : dialog->items)
                texts.insert(item.title.text);
        }
    }
    texts.erase(QString());
    return texts;
}

TEST(ProgramTexts, TheProgramHoldsNoTextOfTheCatalogue) {
    const auto sections = loadedSections(binDir() + "/tavisk");
    ASSERT_FALSE(sections.empty());
    // "Tavisk" is also a piece of data the program holds: the default catalogue database
    // name (and the version table's application row), the same word as string 1.
    const std::set<QString> ownTexts = {"Language file not found", "Handle non valide",
                                        QString::fromUtf8("Requête SQL"), "Tavisk"};
    for (const char* code : {"en", "fr"}) {
        for (const QString& text : catalogueTexts(code)) {
            // Two letters ("OK") say nothing about where a text comes from.
            if (ownTexts.count(text) || text.size() < 3)
                continue;
            // A short word may be part of an unrelated string; a whole string may not.
            EXPECT_FALSE(programHolds(sections, text, text.size() < 10))
                << code << " text \"" << text.toStdString() << "\" is in the program";
        }
    }
}

TEST(ProgramTexts, TheProgramsOwnTextIsThere) {
    const auto sections = loadedSections(binDir() + "/tavisk");
    EXPECT_TRUE(programHolds(sections, "Language file not found", true));
}

} // namespace
