#include "browse/file_list_contents.h"

#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/pump.h"
#include "platform/text.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLocale>
#include <QPointer>
#include <QTreeView>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <strings.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

namespace tvk {

int sortedColumn = -1;
int sortDirection = 1;

// Listing of a disc's root and of a directory or archive. Each "%%" reaches the server as "%".
const char* const SQL_LIST_ROOT =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%%d/%%m/%%Y %%H:%%i'), fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where fic_cd_id = "
    "%u and  fic_rep_id is null";
const char* const SQL_LIST_CONTAINER =
    "select fic_nom, fic_taille, date_format(fic_date_modif, '%%d/%%m/%%Y %%H:%%i'), fic_type, "
    "unix_timestamp(fic_date_modif), fic_cd_id, fic_rep_id from fic_fichiers where fic_cd_id = "
    "%u and  fic_rep_id = %u";

namespace {

constexpr std::size_t LIST_STATEMENT_SIZE = 512;
// Longest name of a row, terminator excluded.
constexpr std::size_t ROW_NAME_MAX = 255;

// Copies a column into a row's text field of `N` bytes: at most N - 1 bytes, never cutting a
// UTF-8 character, always terminated; empty for NULL.
template <std::size_t N>
void copyColumn(char (&field)[N], const char* bytes, unsigned long length) {
    if (!bytes) {
        field[0] = '\0';
        return;
    }
    std::size_t size = std::min<std::size_t>(length, N - 1);
    if (size < length) {
        while (size > 0 && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
            --size;
    }
    std::memcpy(field, bytes, size);
    field[size] = '\0';
}

// The name column: at most 255 bytes, never cutting a UTF-8 character; empty for NULL.
void copyName(std::string& name, const char* bytes, unsigned long length) {
    if (!bytes) {
        name.clear();
        return;
    }
    std::size_t size = std::min<std::size_t>(length, ROW_NAME_MAX);
    if (size < length) {
        while (size > 0 && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
            --size;
    }
    name.assign(bytes, size);
}

std::int32_t columnNumber(const char* bytes, std::int32_t missing) {
    return bytes ? static_cast<std::int32_t>(std::strtol(bytes, nullptr, 10)) : missing;
}

// The locale whose collation orders names, as the C library resolves the collation category:
// LC_ALL, else LC_COLLATE, else LANG; its encoding and modifier ("sv_SE.UTF-8@euro") dropped.
// Empty for the C and POSIX locales and when nothing is set (the root collation).
std::string collationLocaleName() {
    const char* name = nullptr;
    for (const char* variable : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) {
            name = value;
            break;
        }
    }
    if (!name)
        return std::string();
    std::string locale(name);
    locale = locale.substr(0, locale.find_first_of(".@"));
    if (locale == "C" || locale == "POSIX")
        return std::string();
    return locale;
}

// The collator of names for the collation locale, at secondary strength, so that accents count
// and case does not. Opened again when the locale changes; null if ICU has none.
UCollator* nameCollator() {
    static std::string openedFor;
    static UCollator* collator = nullptr;
    static bool opened = false;
    const std::string locale = collationLocaleName();
    if (opened && locale == openedFor)
        return collator;
    if (collator)
        ucol_close(collator);
    collator = nullptr;
    UErrorCode status = U_ZERO_ERROR;
    UCollator* made = ucol_open(locale.c_str(), &status);
    if (U_SUCCESS(status)) {
        ucol_setStrength(made, UCOL_SECONDARY);
        collator = made;
    }
    openedFor = locale;
    opened = true;
    return collator;
}

} // namespace

std::string nameSortKey(const char* name) {
    UCollator* collator = nameCollator();
    if (!collator)
        return name;
    // The name as it shows: UTF-8, or the server's latin1 for bytes that are not UTF-8.
    const QString text = fromServerText(name);
    const auto* units = reinterpret_cast<const UChar*>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    std::uint8_t key[1024];
    const int32_t size = ucol_getSortKey(collator, units, length, key, sizeof key);
    if (size <= 0)
        return std::string();
    if (static_cast<std::size_t>(size) <= sizeof key)
        return std::string(reinterpret_cast<const char*>(key), std::size_t(size) - 1);
    std::string large(std::size_t(size), '\0');
    ucol_getSortKey(collator, units, length, reinterpret_cast<std::uint8_t*>(large.data()), size);
    large.pop_back(); // the key's terminating 0
    return large;
}

namespace {

// Fills `file` from a row of the listing statements (and of the search): name, size, date
// text, type, date stamp, disc, parent; the size is also kept as a number for sorting.
void fillFileRow(FileRow& file, MYSQL_ROW row, const unsigned long* lengths,
                 QTreeWidgetItem* item) {
    copyName(file.name, row[0], lengths[0]);
    copyColumn(file.sizeText, row[1], lengths[1]);
    copyColumn(file.dateText, row[2], lengths[2]);
    copyColumn(file.typeCode, row[3], lengths[3]);
    file.dateStamp = columnNumber(row[4], -1);
    file.listedItem = item;
    file.discId = columnNumber(row[5], -1);
    file.parentId = columnNumber(row[6], -1);
    file.sizeValue = std::strtoull(file.sizeText, nullptr, 10);
}

template <typename T>
int threeWay(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// One round of pending events while a search streams its rows into the list.
void pumpOneRound() {
    pumpMessages();
    if (quitRequested)
        searchRunning = false;
}

// Holds back the timers of a list while a search streams rows into it. The view answers each
// new row by scheduling a layout of every row, which its timer would run at each pumped round:
// a stream of n rows would cost n^2. The layout runs once, when the hold ends (its timer is
// still pending then). Nothing of the list is drawn meanwhile anyway.
class ListTimerHold : public QObject {
public:
    explicit ListTimerHold(QTreeView* list) : list_(list) {
        if (list)
            list->installEventFilter(this);
    }
    ~ListTimerHold() override {
        if (list_)
            list_->removeEventFilter(this);
    }

protected:
    // Installed on the list alone, which may be in the middle of its destruction here.
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Timer; }

private:
    QPointer<QObject> list_;
};

void clearSortArrow(QTreeView* list) {
    if (sortedColumn == -1)
        return;
    if (list)
        list->header()->setSortIndicatorShown(false);
    sortedColumn = -1;
}

} // namespace

void clearFileList(QTreeView* list) {
    FileListModel* model = fileListModel(list);
    if (!model)
        return;
    list->setUpdatesEnabled(false);
    model->clearRows();
    list->setUpdatesEnabled(true);
}

void showDirectoryContents(QTreeView* list, const TreeNodeData* data, QTreeWidgetItem* item) {
    if (!catalogueConnection || !data)
        return;
    statusText = QString::asprintf("CD %u", unsigned(data->discId));
    setStatusText(statusText);
    char statement[LIST_STATEMENT_SIZE];
    if (data->entryId == -1)
        std::snprintf(statement, sizeof statement, SQL_LIST_ROOT, unsigned(data->discId));
    else
        std::snprintf(statement, sizeof statement, SQL_LIST_CONTAINER, unsigned(data->discId),
                      unsigned(data->entryId));
    if (!queryCatalogue(statement) || !fillFileList(list, item, false))
        setStatusText(loadLangString(IDS_NO_FILE_LIST));
}

bool fillFileList(QTreeView* list, QTreeWidgetItem* item, bool pumping) {
    // The result first: a result that cannot be fetched (the server gone, an error met while
    // the rows were produced) leaves the rows the list has.
    MYSQL_RES* result = catalogueConnection ? mysql_store_result(catalogueConnection) : nullptr;
    if (!result)
        return false;
    QPointer<QTreeView> guard(list);
    FileListModel* model = fileListModel(list);
    if (model) {
        list->setUpdatesEnabled(false);
        model->clearRows();
        std::vector<FileRow> rows;
        if (!pumping)
            rows.reserve(static_cast<std::size_t>(mysql_num_rows(result)));
        std::optional<ListTimerHold> hold;
        if (pumping)
            hold.emplace(list);
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            if (!pumping) {
                fillFileRow(rows.emplace_back(), row, mysql_fetch_lengths(result), item);
                continue;
            }
            FileRow file;
            fillFileRow(file, row, mysql_fetch_lengths(result), item);
            model->appendRow(std::move(file));
            if (!searchRunning)
                break;
            pumpOneRound();
            if (!guard || !searchRunning)
                break;
        }
        if (!pumping)
            model->appendRows(std::move(rows));
    }
    mysql_free_result(result);
    if (guard && model)
        list->setUpdatesEnabled(true);
    return true;
}

int compareFileRows(const FileRow& a, const FileRow& b, int p) {
    const int sign = p < 0 ? -1 : 1;
    int result = 0;
    switch (p < 0 ? -p : p) {
    case 1:
        if (a.nameKey && b.nameKey)
            result = a.nameKey->compare(*b.nameKey);
        else
            result = nameSortKey(a.name.c_str()).compare(nameSortKey(b.name.c_str()));
        break;
    case 2:
        result = threeWay(a.sizeValue, b.sizeValue);
        break;
    case 3:
        result = ::strcasecmp(a.typeCode, b.typeCode);
        break;
    case 4:
        // As unsigned numbers: an entry without a date (-1) comes after every dated one.
        result = threeWay(static_cast<std::uint32_t>(a.dateStamp),
                          static_cast<std::uint32_t>(b.dateStamp));
        break;
    default:
        return 0;
    }
    return sign * (result < 0 ? -1 : (result > 0 ? 1 : 0));
}

namespace {

// A name's sort key with its first eight bytes packed for quick comparison (big-endian, so
// that comparing the numbers compares the bytes); the whole key settles ties.
struct NameSortEntry {
    std::uint64_t head;
    const std::string* key;
    bool operator<(const NameSortEntry& other) const {
        return head != other.head ? head < other.head : *key < *other.key;
    }
};

NameSortEntry nameSortEntry(const std::string& key) {
    std::uint64_t head = 0;
    for (std::size_t i = 0; i < 8; ++i)
        head = (head << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return {head, &key};
}

std::string lowerCase(const char* text) {
    std::string lower(text);
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// The positions of `keys` in the order of their keys (descending when sign < 0), equal keys
// keeping their order.
template <typename Key>
std::vector<int> orderOf(std::vector<std::pair<Key, int>>& keys, int sign) {
    if (sign > 0)
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    else
        std::stable_sort(keys.begin(), keys.end(),
                         [](const auto& a, const auto& b) { return b.first < a.first; });
    std::vector<int> order;
    order.reserve(keys.size());
    for (const auto& entry : keys)
        order.push_back(entry.second);
    return order;
}

template <typename Key, typename KeyOf>
std::vector<int> orderBy(const FileListModel& model, int sign, KeyOf keyOf) {
    std::vector<std::pair<Key, int>> keys;
    keys.reserve(std::size_t(model.rowCount()));
    for (int row = 0; row < model.rowCount(); ++row)
        keys.emplace_back(keyOf(model.fileRow(row)), row);
    return orderOf(keys, sign);
}

} // namespace

std::vector<int> sortedRowOrder(FileListModel& model, int parameter) {
    const int sign = parameter < 0 ? -1 : 1;
    switch (parameter < 0 ? -parameter : parameter) {
    case 1:
        model.computeNameKeys(nameSortKey);
        return orderBy<NameSortEntry>(
            model, sign, [](const FileRow& row) { return nameSortEntry(*row.nameKey); });
    case 2:
        return orderBy<std::uint64_t>(model, sign,
                                      [](const FileRow& row) { return row.sizeValue; });
    case 3:
        return orderBy<std::string>(model, sign,
                                    [](const FileRow& row) { return lowerCase(row.typeCode); });
    case 4:
        // As unsigned numbers: an entry without a date (-1) comes after every dated one.
        return orderBy<std::uint32_t>(model, sign, [](const FileRow& row) {
            return static_cast<std::uint32_t>(row.dateStamp);
        });
    default: {
        std::vector<int> order(std::size_t(model.rowCount()));
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = static_cast<int>(i);
        return order;
    }
    }
}

void onFileListColumnClick(QTreeView* list, int column) {
    FileListModel* model = fileListModel(list);
    if (!model)
        return;
    QHeaderView* header = list->header();
    const bool showsUp = sortedColumn == column && sortDirection == 1;
    sortDirection = showsUp ? -1 : 1;
    sortedColumn = column;
    header->setSortIndicator(column, sortDirection == 1 ? Qt::AscendingOrder : Qt::DescendingOrder);
    header->setSortIndicatorShown(true);
    model->reorderRows(sortedRowOrder(*model, (column + 1) * sortDirection));
}

void onFileListFocus(QTreeView* list) {
    FileListModel* model = fileListModel(list);
    if (!model || model->rowCount() == 0 || list->currentIndex().isValid())
        return;
    list->selectionModel()->setCurrentIndex(model->index(0, 0), QItemSelectionModel::NoUpdate);
}

namespace {

// Focus arrivals of the list, as the control would notify them.
class FileListFocusWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn)
            onFileListFocus(qobject_cast<QTreeView*>(watched));
        return false;
    }
};

} // namespace

void connectFileList(QTreeView* list) {
    FileListModel* model = fileListModel(list);
    if (!model)
        return;
    QHeaderView* header = list->header();
    list->setSortingEnabled(false);
    header->setSortIndicatorShown(false);
    header->setSectionsClickable(true);
    QObject::connect(header, &QHeaderView::sectionClicked, list,
                     [list](int column) { onFileListColumnClick(list, column); });
    QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, list,
                     [list] { clearSortArrow(list); });
    list->installEventFilter(new FileListFocusWatch(list));
}

} // namespace tvk
