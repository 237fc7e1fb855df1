// The two language modules as built: what they export, their entry point, and that the
// English and French catalogues carry the same resources under the same identifiers.
#include "lang/resource.h"
#include "lang/version.h"
#include "platform/module.h"
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <tuple>

namespace {

using namespace tvk;

std::string binDir() {
    const char* dir = std::getenv("TAVISK_BIN_DIR");
    return dir ? dir : ".";
}

std::string modulePath(const char* code) {
    return binDir() + "/tavisk_" + code + ".so";
}

// Names of the symbols a shared library defines in its dynamic table, as nm lists them.
std::set<std::string> definedDynamicSymbols(const std::string& path) {
    std::set<std::string> names;
    FILE* nm = popen(("nm -D --defined-only '" + path + "' 2>/dev/null").c_str(), "r");
    if (!nm)
        return names;
    char line[512];
    while (std::fgets(line, sizeof line, nm)) {
        char address[128], kind[8], name[256];
        if (std::sscanf(line, "%127s %7s %255s", address, kind, name) == 3)
            names.insert(name);
    }
    if (pclose(nm) != 0)
        names.insert("<nm failed>");
    return names;
}

TEST(LanguageModuleExports, OnlyLibMainAndGetLangInstance) {
    for (const char* code : {"en", "fr"}) {
        EXPECT_EQ(definedDynamicSymbols(modulePath(code)),
                  (std::set<std::string>{"LibMain", "getLangInstance"}))
            << code;
    }
}

using LibMainFn = int (*)(const void*, unsigned long, void*);
using GetLangInstanceFn = const void* (*)();

// The handle the module keeps is the one the loader returned; LibMain succeeds for every
// reason and only an attach (reason 1) stores a handle.
TEST(LanguageModuleEntry, InstanceIsTheLoadersHandle) {
    for (const char* code : {"en", "fr"}) {
        SCOPED_TRACE(code);
        ModuleHandle module = loadLibrary(modulePath(code));
        ASSERT_TRUE(module);
        auto getLangInstance =
            reinterpret_cast<GetLangInstanceFn>(getProcAddress(module, "getLangInstance"));
        auto libMain = reinterpret_cast<LibMainFn>(getProcAddress(module, "LibMain"));
        ASSERT_TRUE(getLangInstance);
        ASSERT_TRUE(libMain);
        EXPECT_EQ(getLangInstance(), module);

        int other = 0;
        for (unsigned long reason : {0ul, 2ul, 3ul, 4ul, 1000ul})
            EXPECT_EQ(libMain(&other, reason, nullptr), 1) << reason;
        EXPECT_EQ(getLangInstance(), module);
        EXPECT_EQ(libMain(module, 1, nullptr), 1);
        EXPECT_EQ(getLangInstance(), module);
    }
}

// Both modules, loaded once for the catalogue checks below.
class LanguageCatalogue : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        en = loadLibrary(modulePath("en"));
        fr = loadLibrary(modulePath("fr"));
    }
    void SetUp() override {
        ASSERT_TRUE(en && moduleResources(en));
        ASSERT_TRUE(fr && moduleResources(fr));
    }
    static const ResourceSet& resources(ModuleHandle module) { return *moduleResources(module); }

    static ModuleHandle en;
    static ModuleHandle fr;
};
ModuleHandle LanguageCatalogue::en;
ModuleHandle LanguageCatalogue::fr;

// clang-format off
const std::vector<unsigned> stringIds = {
    1,   2,   6,   7,   8,   10,  11,  13,   16,   18,   19,   20,   21,   23,   24,  31,
    32,  33,  34,  35,  36,  37,  38,  39,   40,   42,   43,   44,   45,   46,   50,  51,
    52,  53,  54,  56,  57,  58,  59,  60,   61,   62,   63,   64,   65,   66,   67,  68,
    69,  70,  71,  72,  80,  81,  82,  83,   84,   85,   86,   87,   88,   200,  201, 202,
    270, 475, 500, 510, 700, 750, 751, 2000, 2001, 2010, 2011, 2012, 2013, 2014, 2030,
    // Indexing: the count and the end, what was left out, the checks of Update and New.
    3000, 3001, 3002, 3003, 3004, 3005, 3006, 3007, 3008, 3009, 3010, 3011, 3012, 3013, 3014,
    3015, 3016, 3017, 3020, 3021, 3022, 3023, 3024, 3025, 3026, 3027, 3028, 3029, 3030, 3031,
    3200, 3201, 3202,
    // tavisk-cli: messages, question, progress and column titles.
    4000, 4001, 4002, 4003, 4004, 4005, 4006, 4007, 4008, 4009, 4010, 4011, 4012, 4013, 4014,
    4015, 4016, 4017, 4018, 4019, 4020, 4021, 4022, 4030, 4031, 4032, 4033, 4034, 4035, 4036,
    4037, 4038, 4039};
// clang-format on

TEST_F(LanguageCatalogue, SameIdentifiersOfEveryKind) {
    const std::map<std::uint16_t, std::vector<unsigned>> expected = {
        {RT_STRING, stringIds},
        {RT_MENU, {IDM_MAIN, IDM_CONTEXT}},
        {RT_ACCELERATOR, {IDA_MAIN}},
        {RT_DIALOG, {IDD_ABOUT, IDD_UPGRADE, IDD_SEARCH, IDD_CONNECTION, IDD_INDEXING}},
        {RT_BITMAP,
         {IDB_DISC, IDB_TOOLBAR, IDB_FOLDER_SELECTED, IDB_FOLDER, IDB_ARCHIVE_SELECTED,
          IDB_ARCHIVE}},
        {RT_GROUP_ICON, {IDI_APP, IDI_ARCHIVE, IDI_SEARCH, IDI_FOLDER, IDI_FILE}},
        {RT_VERSION, {1}},
    };
    for (const auto& [type, ids] : expected) {
        EXPECT_EQ(resourceIds(resources(en), type), ids) << "type " << type;
        EXPECT_EQ(resourceIds(resources(fr), type), ids) << "type " << type;
    }
    EXPECT_EQ(resourceIds(resources(en), RT_ICON), resourceIds(resources(fr), RT_ICON));

    // Nothing else is in either module, and every entry is tagged with its module's language.
    for (auto [module, language] : {std::pair{en, 0x0409}, std::pair{fr, 0x040C}}) {
        for (const ResourceEntry& entry : resources(module).entries) {
            EXPECT_FALSE(entry.type.isText());
            EXPECT_TRUE(expected.count(entry.type.ordinal) || entry.type.ordinal == RT_ICON)
                << "unexpected type " << entry.type.ordinal;
            EXPECT_EQ(entry.language, language) << entry.type.ordinal << "/" << entry.name.ordinal;
        }
    }
    for (unsigned id : stringIds) {
        EXPECT_FALSE(loadString(en, id).isEmpty()) << id;
        EXPECT_FALSE(loadString(fr, id).isEmpty()) << id;
    }
}

// Menus: the same popups holding the same commands in the same order, only texts differ.
TEST_F(LanguageCatalogue, MenusCarryTheSameCommands) {
    auto commandsOf = [](const MenuTemplate& menu) {
        std::vector<std::vector<unsigned>> popups;
        for (const MenuItem& popup : menu.items) {
            EXPECT_TRUE(popup.isPopup());
            std::vector<unsigned> ids;
            for (const MenuItem& item : popup.items) {
                EXPECT_FALSE(item.isPopup() || item.isSeparator());
                EXPECT_EQ(item.flags & (MF_GRAYED | MF_DISABLED), 0) << item.id;
                ids.push_back(item.id);
            }
            popups.push_back(ids);
        }
        return popups;
    };
    const std::vector<std::vector<unsigned>> mainMenu = {
        {CMD_NEW, CMD_NEW_FOLDER, CMD_NEW_IMAGE, CMD_UPDATE, CMD_DELETE, CMD_SEARCH, CMD_QUIT},
        {CMD_CONNECTION},
        {CMD_HELP, CMD_ABOUT}};
    const std::vector<std::vector<unsigned>> contextMenu = {{CMD_UPDATE, CMD_DELETE}};
    for (ModuleHandle module : {en, fr}) {
        auto menu = loadMenu(module, IDM_MAIN);
        auto context = loadMenu(module, IDM_CONTEXT);
        ASSERT_TRUE(menu && context);
        EXPECT_EQ(commandsOf(*menu), mainMenu);
        EXPECT_EQ(commandsOf(*context), contextMenu);
    }
    auto english = loadMenu(en, IDM_MAIN);
    auto french = loadMenu(fr, IDM_MAIN);
    EXPECT_EQ(english->items[0].items[0].text, "&New\tIns");
    EXPECT_EQ(french->items[0].items[4].text, "&Supprimer\tSuppr");
    EXPECT_EQ(english->items[0].items[1].text, "New from a &folder...");
    EXPECT_EQ(french->items[0].items[2].text,
              QString::fromUtf8("Nouveau depuis une &image de disque..."));
    EXPECT_EQ(french->items[2].text, "&Aide");
}

TEST_F(LanguageCatalogue, SameAcceleratorTable) {
    auto english = loadAccelerators(en, IDA_MAIN);
    auto french = loadAccelerators(fr, IDA_MAIN);
    ASSERT_TRUE(english && french);
    auto entries = [](const std::vector<AccelEntry>& table) {
        std::vector<std::tuple<unsigned, unsigned, unsigned>> out;
        for (const AccelEntry& entry : table)
            out.emplace_back(entry.flags & ~FNOINVERT, entry.key, entry.command);
        return out;
    };
    const std::vector<std::tuple<unsigned, unsigned, unsigned>> expected = {
        {FVIRTKEY | FCONTROL, 'Q', CMD_QUIT},
        {FVIRTKEY, 0x2D, CMD_NEW},
        {FVIRTKEY, 0x2E, CMD_DELETE},
        {FVIRTKEY, 0x74, CMD_UPDATE},
        {FVIRTKEY, 0x09, CMD_NEXT_PANE},
        {FVIRTKEY | FSHIFT, 0x09, CMD_PREV_PANE},
        {FVIRTKEY, 0x70, CMD_HELP}};
    EXPECT_EQ(entries(*english), expected);
    EXPECT_EQ(entries(*french), expected);
}

bool sameGeometry(const DialogItem& a, const DialogItem& b) {
    return a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy;
}

// Dialogs: identical frames and controls in both languages; only the texts differ, and the
// French label 305 of the search dialog has its own place.
TEST_F(LanguageCatalogue, DialogsDifferOnlyInTexts) {
    const std::map<unsigned, std::vector<int>> controls = {
        {IDD_ABOUT, {IDC_ABOUT_CLOSE, -1, -1, -1}},
        {IDD_UPGRADE, {-1, -1}},
        {IDD_SEARCH,
         {-1, IDC_SEARCH_WORDS, IDC_SEARCH_NAME_LABEL, IDC_SEARCH_NAME, IDC_SEARCH_DATE,
          IDC_SEARCH_BETWEEN, IDC_SEARCH_FROM, IDC_SEARCH_AND, IDC_SEARCH_TO, -1, IDC_SEARCH_LIMIT,
          -1, IDC_SEARCH_START, 2, IDC_SEARCH_STOP}},
        {IDD_CONNECTION,
         {IDC_CONNECTION_PROMPT, IDC_HOST_LABEL, IDC_PORT_LABEL, IDC_BASE_LABEL, IDC_ACCOUNT_LABEL,
          IDC_PASSWORD_LABEL, IDC_HOST, IDC_PORT, IDC_BASE, IDC_ACCOUNT, IDC_PASSWORD, 1, 2}},
        {IDD_INDEXING, {IDC_PROGRESS, IDC_WAIT_TEXT, IDC_INDEXING_COUNT, 2}},
    };
    for (const auto& [dialogId, ids] : controls) {
        SCOPED_TRACE(dialogId);
        auto english = loadDialog(en, dialogId);
        auto french = loadDialog(fr, dialogId);
        ASSERT_TRUE(english && french);
        EXPECT_EQ(english->style, french->style);
        EXPECT_EQ(english->exStyle, french->exStyle);
        EXPECT_EQ(english->extended, french->extended);
        EXPECT_TRUE(english->x == french->x && english->y == french->y &&
                    english->cx == french->cx && english->cy == french->cy);
        EXPECT_EQ(english->faceName, french->faceName);
        EXPECT_EQ(english->pointSize, 8);
        EXPECT_EQ(french->pointSize, 8);
        EXPECT_NE(english->caption, french->caption);
        ASSERT_EQ(english->items.size(), ids.size());
        ASSERT_EQ(french->items.size(), ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            const DialogItem& a = english->items[i];
            const DialogItem& b = french->items[i];
            SCOPED_TRACE(a.id);
            EXPECT_EQ(a.id, ids[i]);
            EXPECT_EQ(b.id, ids[i]);
            EXPECT_EQ(a.style, b.style);
            EXPECT_EQ(a.exStyle, b.exStyle);
            EXPECT_EQ(a.windowClass.ordinal, b.windowClass.ordinal);
            EXPECT_EQ(a.windowClass.text, b.windowClass.text);
            EXPECT_EQ(sameGeometry(a, b), !(dialogId == IDD_SEARCH && a.id == IDC_SEARCH_BETWEEN));
        }
    }
    auto english = loadDialog(en, IDD_SEARCH);
    auto french = loadDialog(fr, IDD_SEARCH);
    const DialogItem& between = french->items[5];
    EXPECT_EQ(std::tuple(between.x, between.y, between.cx, between.cy),
              std::tuple(100, 77, 47, 12));
    EXPECT_EQ(english->items[5].title.text, "updated between");
    EXPECT_EQ(between.title.text, QString::fromUtf8("créés entre le"));
}

// The styles the dialog procedures rely on: which frames have a system menu or a modal
// frame, which controls start disabled, and the special edits and control classes.
TEST_F(LanguageCatalogue, DialogStylesAndInitialStates) {
    constexpr std::uint32_t sysMenu = 0x00080000, modalFrame = 0x80, disabled = 0x08000000,
                            tabStop = 0x00010000, visible = 0x10000000;
    const std::map<unsigned, std::pair<bool, bool>> frames = {{IDD_ABOUT, {true, false}},
                                                              {IDD_UPGRADE, {false, false}},
                                                              {IDD_SEARCH, {true, false}},
                                                              {IDD_CONNECTION, {true, true}},
                                                              {IDD_INDEXING, {false, true}}};
    for (ModuleHandle module : {en, fr}) {
        for (const auto& [dialogId, frame] : frames) {
            auto dialog = loadDialog(module, dialogId);
            ASSERT_TRUE(dialog);
            EXPECT_EQ(bool(dialog->style & sysMenu), frame.first) << dialogId;
            EXPECT_EQ(bool(dialog->style & modalFrame), frame.second) << dialogId;
            const bool shellFont = dialogId == IDD_CONNECTION || dialogId == IDD_INDEXING;
            EXPECT_EQ(dialog->faceName, shellFont ? "MS Shell Dlg" : "MS Sans Serif") << dialogId;
        }
        // The search dialog is modeless and shows itself when created.
        auto search = loadDialog(module, IDD_SEARCH);
        EXPECT_TRUE(search->style & visible);
        std::set<int> disabledIds, tabStops;
        for (const DialogItem& item : search->items) {
            if (item.style & disabled)
                disabledIds.insert(item.id);
            if (item.style & tabStop)
                tabStops.insert(item.id);
        }
        EXPECT_EQ(disabledIds, (std::set<int>{IDC_SEARCH_BETWEEN, IDC_SEARCH_FROM, IDC_SEARCH_AND,
                                              IDC_SEARCH_TO, IDC_SEARCH_STOP}));
        EXPECT_EQ(tabStops, (std::set<int>{IDC_SEARCH_WORDS, IDC_SEARCH_NAME, IDC_SEARCH_DATE,
                                           IDC_SEARCH_FROM, IDC_SEARCH_TO, IDC_SEARCH_LIMIT,
                                           IDC_SEARCH_START, 2, IDC_SEARCH_STOP}));
        auto item = [](const DialogTemplate& dialog, int id) {
            for (const DialogItem& it : dialog.items)
                if (it.id == id)
                    return it;
            return DialogItem{};
        };
        EXPECT_EQ(item(*search, IDC_SEARCH_LIMIT).style & 0x2000, 0x2000u); // ES_NUMBER
        EXPECT_EQ(item(*search, IDC_SEARCH_START).style & 0xF, 1u);         // default
        EXPECT_EQ(item(*search, IDC_SEARCH_DATE).style & 0xF, 3u);          // auto check
        EXPECT_EQ(item(*search, IDC_SEARCH_FROM).windowClass.text.toLower(), "sysdatetimepick32");
        EXPECT_EQ(item(*search, IDC_SEARCH_TO).windowClass.text.toLower(), "sysdatetimepick32");
        EXPECT_EQ(item(*search, IDC_SEARCH_WORDS).windowClass.ordinal, DLG_EDIT);

        auto connection = loadDialog(module, IDD_CONNECTION);
        for (int id : {IDC_HOST, IDC_PORT, IDC_BASE, IDC_ACCOUNT, IDC_PASSWORD}) {
            EXPECT_EQ(item(*connection, id).style & 0x80, 0x80u) << id; // ES_AUTOHSCROLL
            EXPECT_EQ(bool(item(*connection, id).style & 0x20), id == IDC_PASSWORD) << id;
        }
        EXPECT_EQ(item(*connection, 1).style & 0xF, 1u);
        auto indexing = loadDialog(module, IDD_INDEXING);
        EXPECT_EQ(item(*indexing, IDC_PROGRESS).windowClass.text.toLower(), "msctls_progress32");
        auto about = loadDialog(module, IDD_ABOUT);
        EXPECT_EQ(item(*about, IDC_ABOUT_CLOSE).style & 0xF, 1u);
    }
}

TEST_F(LanguageCatalogue, AboutBoxNamesTheDevelopersAndTheLibraries) {
    auto english = loadDialog(en, IDD_ABOUT);
    auto french = loadDialog(fr, IDD_ABOUT);
    EXPECT_TRUE(english->items[2].title.text.contains("The Tavisk developers"));
    EXPECT_TRUE(
        french->items[2].title.text.contains(QString::fromUtf8("Les développeurs de Tavisk")));
    for (const auto& about : {english, french}) {
        const QString credits = about->items[3].title.text;
        for (const char* library : {"MariaDB", "libarchive", "Qt"})
            EXPECT_TRUE(credits.contains(library)) << library;
    }
}

// The whole string table of both modules, as the program must show it: misspellings, line
// breaks and quotes included.
struct StringEntry {
    unsigned id;
    const char* english;
    const char* french;
};
const StringEntry stringTable[] = {
    {1, "Tavisk", "Tavisk"},
    {2, "MySQL Error", "Erreur MySQL"},
    {6, "Unable to select of base %s !", "Impossible de sélectionner la base %s !"},
    {7, "Unable to connect to MySQL server on port %d !",
     "Impossible de se connecter au serveur MySQL sur le port %d !"},
    {8,
     "This version of Tavisk is too old to work with this database.\nPlease download the latest "
     "version of Tavisk",
     "Cette version de Tavisk est trop ancienne par rapport à la base de données.\nVeuillez "
     "télécharger la dernière version de Tavisk"},
    {10, "Update of Tavisk required", "Mise à jour de Tavisk nécessaire"},
    {11,
     "This version of the database is too old or uninitialized.\nWould you like that Tavisk "
     "performs its upgrade ?",
     "La version de la base de données est trop ancienne ou n'est pas initialisée.\nVoulez-vous "
     "que Tavisk procède à sa mise à jour ?"},
    {13, "Database upgrade", "Mise à jour de la base de données"},
    {16,
     "Tavisk cannot work with these connection parameters.\nWould you like however to store them ?",
     "L'utilisation de Tavisk est impossible avec ces paramètres de connexion.\nVoulez-vous tout "
     "de même les enregistrer ?"},
    {18, "MySQL connection failure", "Echec de la connexion MySQL"},
    {19, "This database doesn't exist.\nWould you to create and initialize it ?",
     "Cette base de données n'existe pas.\nVoulez-vous la créer et l'initialiser ?"},
    {20, "Database creation", "Création de la base de données"},
    {21,
     "The database has not been properly initialized.\nWould you like however to store the "
     "connection parameters ?",
     "La base de données n'a pas été initialisée correctement.\nVoulez-vous tout de même "
     "enregistrer les paramètres de connexion ?"},
    {23, "Database creation failure", "Echec de la création de la base de données"},
    {24,
     "Unable to connect with these connection parameters.\nWould you like however to store them ?",
     "Connexion impossible avec ces paramètres de connexion.\nVoulez-vous tout de même les "
     "enregistrer ?"},
    {31, "indefinite", "indéterminé"},
    {32, "inexistant root directory", "répertoire racine inexistant"},
    {33, "removable", "amovible"},
    {34, "fixed", "fixe"},
    {35, "netword", "réseau"},
    {36,
     "Would you like to add to the directory the filenames of the CD-ROM \"%s\" present in drive "
     "%s: ?",
     "Voulez-vous répertorier les fichiers du CD \"%s\" présent dans le lecteur %s: ?"},
    {37, "CD-ROM reading", "Lecture de CD"},
    {38, "Please write the number %d on the CD-ROM \"%s\"",
     "Veuillez inscrire le numéro %d sur le CD \"%s\""},
    {39, "CD-ROM identification", "Identification du CD"},
    {40,
     "Would you like to update the CD-ROM number %d of the directory with the filenames of the "
     "CD-ROM \"%s\" present in drive %s: ?",
     "Voulez-vous mettre à jour le CD n°%d du répertoire avec les fichiers du CD \"%s\" présent "
     "dans le lecteur %s: ?"},
    {42, "<<No CD-ROM in drive>>", "<<Pas de CD dans le lecteur>>"},
    {43, "Memory", "Mémoire"},
    {44, "Do you really want to delete the CD-ROM %s from directory ?",
     "Etes-vous sûr de vouloir retirer le CD %s du répertoire ?"},
    {45, "Confirmation of CD-ROM delete", "Confirmation de la suppression du CD"},
    {46, "CD-ROM deleting", "Suppression de CD"},
    {50, "New CD to add to the directory", "Nouveau CD à lire"},
    {51, "Connected to MySQL", "Connecté à MySQL"},
    {52, "Unable to find the CD-ROM list !", "Impossible de trouver la liste des CD !"},
    {53, "Unable to find the directories list !",
     "Impossible de trouver la liste des répertoires !"},
    {54, "Unable to find the directory's files list !",
     "Impossible de trouver la liste des fichiers du répertoire !"},
    {56, "File", "Fichier"},
    {57, "Directoy", "Répertoire"},
    {58, "Archive", "Archive"},
    {59, "CD %d, Directory %d", "CD %d, Répertoire %d"},
    {60, "Directory or Archive !", "Répertoire ou Archive !"},
    {61, "Directory found !", "Répertoire trouvé !"},
    {62, "File !", "Fichier !"},
    {63, "New...", "Nouveau..."},
    {64, "Update...", "Actualiser..."},
    {65, "Delete...", "Supprimer..."},
    {66, "Search...", "Rechercher..."},
    {67, "Configure...", "Configurer..."},
    {68, "Help...", "Aide..."},
    {69, "Ready", "Prêt"},
    {70, "Tavisk_en.chm", "Tavisk_fr.chm"},
    {71, "The database version is unknown ! Unable to upgrade the database !",
     "Cette version de BD est inconnue ! La mise à niveau est impossible !"},
    {72, "Unknown database version ", "Version BD inconnue"},
    {80, "Another CD-ROM", "Autre CD"},
    {81,
     "The CD-ROM \"%s\" present in drive %s: is not the CD-ROM number %d \"%s\" of the "
     "directory.\nWould you like to replace its filenames all the same ?",
     "Le CD \"%s\" présent dans le lecteur %s: n'est pas le CD n°%d \"%s\" du "
     "répertoire.\nVoulez-vous quand même remplacer ses noms de fichiers ?"},
    {82,
     "Would you like to update the CD-ROM number %d of the directory with the files of \"%s\" ?",
     "Voulez-vous mettre à jour le CD n°%d du répertoire avec les fichiers de \"%s\" ?"},
    {83, "Choose the folder to add to the directory", "Choisissez le dossier à répertorier"},
    {84, "Choose the disc image to add to the directory",
     "Choisissez l'image de disque à répertorier"},
    {85, "Disc images (*.iso *.ISO);;All files (*)",
     "Images de disque (*.iso *.ISO);;Tous les fichiers (*)"},
    {86, "Disc image", "Image de disque"},
    {87,
     "The file \"%s\" is not a disc image that Tavisk can read.\nNothing was added to the "
     "directory.",
     "Le fichier \"%s\" n'est pas une image de disque que Tavisk sait lire.\nRien n'a été ajouté "
     "au répertoire."},
    {88,
     "The disc image \"%s\" is damaged: it could not be read to its end.\nNothing was added to the "
     "directory.",
     "L'image de disque \"%s\" est endommagée : elle n'a pas pu être lue jusqu'au bout.\nRien n'a "
     "été ajouté au répertoire."},
    {200, "Add a new CD-ROM entry", "Créer une nouvelle entrée de CD-ROM"},
    {201, "Add the files of a folder, a USB stick or an external disk as a new CD-ROM entry",
     "Répertorier les fichiers d'un dossier, d'une clé USB ou d'un disque externe comme un nouveau "
     "CD"},
    {202, "Add the files of a disc image (.iso) as a new CD-ROM entry, without mounting it",
     "Répertorier les fichiers d'une image de disque (.iso) comme un nouveau CD, sans la monter"},
    {270, "Quit this application", "Quitter cette application"},
    {475, "Parameter the MySQL connection", "Paramétrer la connexion à MySQL"},
    {500, "Display information about this application",
     "Afficher des informations à propos de cette application"},
    {510, "Display help", "Afficher l'aide"},
    {700,
     "Find the locations of files in all the CD-ROM presents in the directory. The * and ? "
     "character are allowed in the searched name.",
     "Rechercher la ou les localisations d'un fichier dans les CD-ROM présents au catalogue. Les "
     "caractères * et ? sont autorisés."},
    {750, "Delete a CD-ROM entry", "Supprimer une entrée de CD-ROM"},
    {751,
     "Update an existing CD-ROM entry, for example when a new session has been added to the CD-ROM",
     "Mettre à jour une entrée de CD-ROM existante, par exemple quand une session a été ajoutée au "
     "CD-ROM"},
    {2000, "Create, update, delete, or find entries in the CD-ROM directory",
     "Créer, mettre à jour, supprimer, ou rechercher des entrées dans le catalogue de CD-ROM"},
    {2001, "Configurate Tavisk", "Configurer Tavisk"},
    {2010, "Get help", "Obtenir de l'aide"},
    {2011, "Name", "Nom"},
    {2012, "Size", "Taille"},
    {2013, "Type", "Type"},
    {2014, "Last update", "Modifié le"},
    {2030, "Systel menu", "Menu système"},
};

TEST_F(LanguageCatalogue, StringsAsWritten) {
    std::vector<unsigned> ids;
    for (const StringEntry& entry : stringTable) {
        ids.push_back(entry.id);
        EXPECT_EQ(loadString(en, entry.id), QString::fromUtf8(entry.english)) << entry.id;
        EXPECT_EQ(loadString(fr, entry.id), QString::fromUtf8(entry.french)) << entry.id;
    }
    // The texts of the later strings (3000 on) are checked where they are shown.
    std::vector<unsigned> designIds = stringIds;
    std::erase_if(designIds, [](unsigned id) { return id >= 3000; });
    EXPECT_EQ(ids, designIds);
    EXPECT_EQ(loadDialog(en, IDD_SEARCH)->items[0].title.text,
              "Searh files or directories containing the following words :");
}

TEST_F(LanguageCatalogue, ToolbarLabelsFollowTheImageOrder) {
    QStringList english, french;
    for (unsigned id = IDS_TB_NEW; id <= IDS_TB_HELP; ++id) {
        english << loadString(en, id);
        french << loadString(fr, id);
    }
    EXPECT_EQ(english, QStringList({"New...", "Update...", "Delete...", "Search...", "Configure...",
                                    "Help..."}));
    // The first four buttons are New, Update, Delete and Search of the File menu (its items 0,
    // 3, 4, 5: New from a folder and New from an image have no button): each label is that
    // item's text without its mnemonic, shortcut and dots, in either language.
    for (ModuleHandle module : {en, fr}) {
        auto menu = loadMenu(module, IDM_MAIN);
        const int items[] = {0, 3, 4, 5};
        for (int i = 0; i < 4; ++i) {
            QString item = menu->items[0].items[items[i]].text;
            item = item.section('\t', 0, 0).remove('&').remove("...");
            EXPECT_EQ(loadString(module, IDS_TB_NEW + i).remove("..."), item) << i;
        }
    }
}

// Both version blocks and both About boxes carry the one version of lang/version.h, in
// numbers and in text.
TEST_F(LanguageCatalogue, VersionBlock) {
    const unsigned number = (TAVISK_VERSION_MAJOR << 16) | TAVISK_VERSION_MINOR;
    for (auto [module, key, language] :
         {std::tuple{en, "040904B0", 0x0409u}, std::tuple{fr, "040C04B0", 0x040Cu}}) {
        auto version = loadVersionInfo(module);
        ASSERT_TRUE(version);
        EXPECT_EQ(version->fileVersionMS, number);
        EXPECT_EQ(version->fileVersionLS, 0u);
        EXPECT_EQ(version->productVersionMS, number);
        ASSERT_EQ(version->strings.size(), 1u);
        ASSERT_TRUE(version->strings.count(key));
        auto& values = version->strings[key];
        EXPECT_EQ(values["FileVersion"], TAVISK_VERSION_TEXT);
        EXPECT_EQ(values["ProductVersion"], TAVISK_VERSION_TEXT);
        EXPECT_TRUE(loadDialog(module, IDD_ABOUT)
                        ->items[1]
                        .title.text.startsWith("Tavisk V" TAVISK_VERSION_TEXT " "));
        EXPECT_EQ(version->translations, (std::vector<std::uint32_t>{(1200u << 16) | language}));
    }
    EXPECT_EQ(loadVersionInfo(en)->strings["040904B0"]["FileDescription"],
              "English interface of the CD-ROM files indexing application");
    EXPECT_EQ(loadVersionInfo(fr)->strings["040C04B0"]["FileDescription"],
              QString::fromUtf8(
                  "Interface française de l'application d'indexation des fichiers de CD-ROM"));
}

// The header of a bitmap resource (a DIB without the file header).
struct DibHeader {
    std::int32_t width = 0, height = 0;
    std::uint16_t bitCount = 0;
    std::uint32_t compression = 0;
};
DibHeader dibHeader(std::span<const std::uint8_t> dib) {
    DibHeader header;
    if (dib.size() < 40)
        return header;
    std::memcpy(&header.width, dib.data() + 4, 4);
    std::memcpy(&header.height, dib.data() + 8, 4);
    std::memcpy(&header.bitCount, dib.data() + 14, 2);
    std::memcpy(&header.compression, dib.data() + 16, 4);
    return header;
}

bool sameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Every bitmap is an 8-bit palette image, 16 pixels high, with a transparent background
// around a drawing; the toolbar strip holds six such images side by side. Both languages
// carry the same pictures.
TEST_F(LanguageCatalogue, BitmapsAreEightBitPicturesWithTransparentBackground) {
    for (unsigned id : resourceIds(resources(en), RT_BITMAP)) {
        SCOPED_TRACE(id);
        auto raw = findResource(resources(en), RT_BITMAP, id);
        EXPECT_TRUE(sameBytes(raw, findResource(resources(fr), RT_BITMAP, id)));
        DibHeader header = dibHeader(raw);
        EXPECT_EQ(header.bitCount, 8);
        EXPECT_EQ(header.compression, 0u);
        EXPECT_EQ(header.width, id == IDB_TOOLBAR ? 96 : 16);
        EXPECT_EQ(header.height, 16);

        QImage image = loadBitmap(en, id);
        ASSERT_EQ(image.size(), QSize(header.width, 16));
        for (int cell = 0; cell < image.width() / 16; ++cell) {
            int transparent = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x)
                    transparent += qAlpha(image.pixel(cell * 16 + x, y)) == 0;
            EXPECT_GT(transparent, 0) << "image " << cell;
            EXPECT_GT(256 - transparent, 96) << "image " << cell; // a real drawing
        }
    }
}

TEST_F(LanguageCatalogue, IconGroupsHoldTheirSizes) {
    const std::map<unsigned, QList<QSize>> sizes = {
        {IDI_APP, {{16, 16}, {24, 24}, {32, 32}, {48, 48}, {64, 64}}},
        {IDI_ARCHIVE, {{16, 16}}},
        {IDI_SEARCH, {{16, 16}}},
        {IDI_FOLDER, {{16, 16}}},
        {IDI_FILE, {{16, 16}}}};
    for (const auto& [id, expected] : sizes) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(sameBytes(findResource(resources(en), RT_GROUP_ICON, id),
                              findResource(resources(fr), RT_GROUP_ICON, id)));
        QIcon icon = loadIcon(en, id);
        ASSERT_FALSE(icon.isNull());
        QList<QSize> available = icon.availableSizes();
        std::sort(available.begin(), available.end(),
                  [](QSize a, QSize b) { return a.width() < b.width(); });
        EXPECT_EQ(available, expected);
        for (QSize size : expected) {
            QImage image = icon.pixmap(size).toImage();
            ASSERT_EQ(image.size(), size);
            int opaque = 0, transparent = 0;
            for (int y = 0; y < size.height(); ++y) {
                for (int x = 0; x < size.width(); ++x) {
                    opaque += qAlpha(image.pixel(x, y)) == 255;
                    transparent += qAlpha(image.pixel(x, y)) == 0;
                }
            }
            EXPECT_GT(opaque, size.width() * size.height() / 3) << size.width();
            EXPECT_GT(transparent, 0) << size.width(); // a shaped picture
        }
    }
    for (unsigned id : resourceIds(resources(en), RT_ICON))
        EXPECT_TRUE(sameBytes(findResource(resources(en), RT_ICON, id),
                              findResource(resources(fr), RT_ICON, id)))
            << id;
}

} // namespace
