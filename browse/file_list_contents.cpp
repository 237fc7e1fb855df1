#include "browse/file_list_contents.h"

#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QCollator>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTreeView>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

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
// Field sizes of a row's texts, terminator excluded.
constexpr std::size_t ROW_NAME_MAX = 255;
constexpr std::size_t SHORT_TEXT_MAX = 19;

// The first `max` bytes of a column, never cutting a UTF-8 character; empty for NULL.
std::string columnText(const char* bytes, unsigned long length, std::size_t max) {
    if (!bytes)
        return std::string();
    std::size_t size = std::min<std::size_t>(length, max);
    if (size < length) {
        while (size > 0 && (static_cast<unsigned char>(bytes[size]) & 0xC0) == 0x80)
            --size;
    }
    return std::string(bytes, size);
}

std::int32_t columnNumber(const char* bytes, std::int32_t missing) {
    return bytes ? static_cast<std::int32_t>(std::strtol(bytes, nullptr, 10)) : missing;
}

const QCollator& nameCollator() {
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

// A row of the listing statements (and of the search): name, size, date text, type, date
// stamp, disc, parent; with its sort keys.
FileRow makeFileRow(MYSQL_ROW row, const unsigned long* lengths, QTreeWidgetItem* item) {
    FileRow file;
    file.name = columnText(row[0], lengths[0], ROW_NAME_MAX);
    file.sizeText = columnText(row[1], lengths[1], SHORT_TEXT_MAX);
    file.dateText = columnText(row[2], lengths[2], SHORT_TEXT_MAX);
    file.typeCode = columnText(row[3], lengths[3], SHORT_TEXT_MAX);
    file.dateStamp = columnNumber(row[4], -1);
    file.listedItem = item;
    file.discId = columnNumber(row[5], -1);
    file.parentId = columnNumber(row[6], -1);
    file.nameKey =
        nameCollator().sortKey(QString::fromUtf8(file.name.data(), qsizetype(file.name.size())));
    file.sizeValue = std::strtoull(file.sizeText.c_str(), nullptr, 10);
    return file;
}

template <typename T>
int threeWay(T a, T b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

// One round of pending events while a search streams its rows into the list.
void pumpOneRound() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (quitRequested)
        searchRunning = false;
}

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
    if (!queryCatalogue(statement)) {
        setStatusText(loadLangString(IDS_NO_FILE_LIST));
        return;
    }
    fillFileList(list, item, false);
}

void fillFileList(QTreeView* list, QTreeWidgetItem* item, bool pumping) {
    QPointer<QTreeView> guard(list);
    FileListModel* model = fileListModel(list);
    if (model) {
        list->setUpdatesEnabled(false);
        model->clearRows();
    }
    MYSQL_RES* result = catalogueConnection ? mysql_store_result(catalogueConnection) : nullptr;
    if (result && model) {
        std::vector<FileRow> rows;
        if (!pumping)
            rows.reserve(static_cast<std::size_t>(mysql_num_rows(result)));
        while (MYSQL_ROW row = mysql_fetch_row(result)) {
            FileRow file = makeFileRow(row, mysql_fetch_lengths(result), item);
            if (!pumping) {
                rows.push_back(std::move(file));
                continue;
            }
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
    if (result)
        mysql_free_result(result);
    if (guard && model)
        list->setUpdatesEnabled(true);
}

int compareFileRows(const FileRow& a, const FileRow& b, int p) {
    const int sign = p < 0 ? -1 : 1;
    int result = 0;
    switch (p < 0 ? -p : p) {
    case 1:
        if (a.nameKey && b.nameKey)
            result = a.nameKey->compare(*b.nameKey);
        break;
    case 2:
        result = threeWay(a.sizeValue, b.sizeValue);
        break;
    case 3:
        result = ::strcasecmp(a.typeCode.c_str(), b.typeCode.c_str());
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
    const int parameter = (column + 1) * sortDirection;
    model->sortRows([parameter](const FileRow& a, const FileRow& b) {
        return compareFileRows(a, b, parameter) < 0;
    });
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
