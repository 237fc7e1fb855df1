#include "browse/file_list.h"

#include "lang/resource.h"
#include "platform/resources.h"
#include "platform/text.h"
#include "shell/startup.h"

#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace tvk {

QTreeView* fileList = nullptr;

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : FILE_LIST_COLUMNS;
}

namespace {

QVariant columnAlignment(int column) {
    const Qt::Alignment alignment =
        (column == COL_SIZE ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    return QVariant(static_cast<int>(alignment));
}

} // namespace

FileListImage FileListModel::imageFor(const FileRow& row) {
    const char type = row.typeCode[0];
    if (type == 'R')
        return IMAGE_DIRECTORY;
    if (type == 'Z')
        return IMAGE_ARCHIVE;
    return IMAGE_FILE;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const FileRow& row = fileRow(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case COL_NAME:
            return fromServerText(row.name);
        case COL_SIZE:
            return QString::fromLatin1(row.sizeText);
        case COL_TYPE:
            if (std::strcmp(row.typeCode, "F") == 0)
                return typeWords_[0];
            if (std::strcmp(row.typeCode, "R") == 0)
                return typeWords_[1];
            if (std::strcmp(row.typeCode, "Z") == 0)
                return typeWords_[2];
            return QString();
        case COL_DATE:
            return QString::fromLatin1(row.dateText);
        default:
            return QVariant();
        }
    case Qt::DecorationRole:
        if (index.column() == COL_NAME)
            return images_[imageFor(row)];
        return QVariant();
    case Qt::TextAlignmentRole:
        return columnAlignment(index.column());
    default:
        return QVariant();
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= FILE_LIST_COLUMNS)
        return QVariant();
    if (role == Qt::DisplayRole)
        return titles_[static_cast<size_t>(section)];
    if (role == Qt::TextAlignmentRole)
        return columnAlignment(section);
    return QVariant();
}

void FileListModel::setColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= FILE_LIST_COLUMNS)
        return;
    titles_[static_cast<size_t>(column)] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void FileListModel::setImage(FileListImage index, const QIcon& icon) {
    images_[static_cast<size_t>(index)] = icon;
    if (!rows_.empty())
        emit dataChanged(this->index(0, COL_NAME), this->index(rowCount() - 1, COL_NAME),
                         {Qt::DecorationRole});
}

void FileListModel::setTypeWords(const QString& file, const QString& directory,
                                 const QString& archive) {
    typeWords_ = {file, directory, archive};
    if (!rows_.empty())
        emit dataChanged(index(0, COL_TYPE), index(rowCount() - 1, COL_TYPE), {Qt::DisplayRole});
}

void FileListModel::clearRows() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void FileListModel::appendRow(FileRow row) {
    const int at = rowCount();
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

void FileListModel::appendRows(std::vector<FileRow> rows) {
    if (rows.empty())
        return;
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    if (rows_.empty()) {
        rows_ = std::move(rows);
    } else {
        rows_.reserve(rows_.size() + rows.size());
        std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    }
    endInsertRows();
}

void FileListModel::computeNameKeys(const std::function<std::string(const char*)>& makeKey) {
    for (FileRow& row : rows_) {
        if (!row.nameKey)
            row.nameKey = makeKey(row.name.c_str());
    }
}

void FileListModel::reorderRows(const std::vector<int>& order) {
    if (order.size() != rows_.size() || rows_.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<FileRow> reordered;
    reordered.reserve(rows_.size());
    std::vector<int> newRowOf(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        reordered.push_back(std::move(rows_[std::size_t(order[i])]));
        newRowOf[std::size_t(order[i])] = static_cast<int>(i);
    }
    rows_ = std::move(reordered);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before)
        after.append(index(newRowOf[std::size_t(old.row())], old.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

FileListModel* fileListModel(QTreeView* list) {
    return list ? dynamic_cast<FileListModel*>(list->model()) : nullptr;
}

QTreeView* createFileList(QWidget* parent, int id) {
    auto* list = new QTreeView(parent);
    list->setObjectName(QStringLiteral("fileList"));
    list->setProperty("controlId", id);
    list->setModel(new FileListModel(list));
    list->move(0, 0);
    // Report view: flat rows, several of them selectable at once, the selection shown also
    // while the list has no focus.
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    list->setIconSize(QSize(16, 16));
    list->header()->setStretchLastSection(false);
    list->header()->setSectionsMovable(false);
    if (!createFileListImages(list) || !createFileListColumns(list)) {
        delete list;
        return nullptr;
    }
    list->show();
    return list;
}

bool createFileListImages(QTreeView* list) {
    FileListModel* model = fileListModel(list);
    if (!model)
        return true;
    model->setImage(IMAGE_DIRECTORY, loadIcon(langModule, IDI_FOLDER));
    model->setImage(IMAGE_FILE, loadIcon(langModule, IDI_FILE));
    model->setImage(IMAGE_ARCHIVE, loadIcon(langModule, IDI_ARCHIVE));
    return true;
}

bool createFileListColumns(QTreeView* list) {
    FileListModel* model = fileListModel(list);
    if (!model)
        return false;
    static constexpr unsigned titles[FILE_LIST_COLUMNS] = {IDS_COL_NAME, IDS_COL_SIZE, IDS_COL_TYPE,
                                                           IDS_COL_DATE};
    for (int column = 0; column < FILE_LIST_COLUMNS; ++column) {
        model->setColumnTitle(column, loadLangString(titles[column]));
        list->header()->resizeSection(column, 100);
    }
    model->setTypeWords(loadLangString(IDS_TYPE_FILE), loadLangString(IDS_TYPE_DIRECTORY),
                        loadLangString(IDS_TYPE_ARCHIVE));
    return true;
}

} // namespace tvk
