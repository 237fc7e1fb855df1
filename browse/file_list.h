// The file list: the right pane of the main window, the entries of the directory, archive
// or disc selected in the tree (or the hits of a search) in four columns.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QTreeView;
class QTreeWidgetItem;
class QWidget;

namespace tvk {

constexpr int ID_LIST = 20001;

// The record behind one row of the file list. Texts are NUL-terminated, cut to their field.
struct FileRow {
    std::string name;            // fic_nom (UTF-8 bytes), at most 255 bytes; empty for NULL
    char sizeText[20] = {};      // fic_taille as the server sends it; empty for NULL
    char typeCode[20] = {};      // fic_type: "F", "R" or "Z"; empty for NULL
    char dateText[20] = {};      // "dd/mm/yyyy hh:mm"; empty for NULL
    std::int32_t dateStamp = -1; // seconds since 1970; -1 for NULL
    QTreeWidgetItem* listedItem = nullptr; // the tree item whose contents are listed; null for
                                           // a search hit
    std::int32_t discId = -1;              // fic_cd_id
    std::int32_t parentId = -1;            // fic_rep_id; -1 at the root of its disc
    // Sort keys, each computed once: the size as a number (0 for NULL) when the row is made,
    // the name's locale-aware, case-insensitive collation key (compared bytewise) when the
    // rows are first sorted by name.
    std::uint64_t sizeValue = 0;
    std::optional<std::string> nameKey;
};

// Columns of the list, in order.
enum FileListColumn : int { COL_NAME = 0, COL_SIZE = 1, COL_TYPE = 2, COL_DATE = 3 };
constexpr int FILE_LIST_COLUMNS = 4;

// Indexes of the list's three images.
enum FileListImage : int { IMAGE_DIRECTORY = 0, IMAGE_FILE = 1, IMAGE_ARCHIVE = 2 };

// The table model of the file list: one FileRow per row, owned by the model.
class FileListModel : public QAbstractTableModel {
public:
    explicit FileListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setColumnTitle(int column, const QString& title);
    void setImage(FileListImage index, const QIcon& icon);
    // The words of the Type column for "F", "R" and "Z" (strings 56, 57, 58).
    void setTypeWords(const QString& file, const QString& directory, const QString& archive);

    // The record of row `row` (0 <= row < rowCount()).
    const FileRow& fileRow(int row) const { return rows_[static_cast<size_t>(row)]; }
    // Drops every row and its record.
    void clearRows();
    // Adds one row at the end.
    void appendRow(FileRow row);
    // Adds rows at the end, all at once.
    void appendRows(std::vector<FileRow> rows);
    // Gives every row without a name key the key `makeKey` computes from its name.
    void computeNameKeys(const std::function<std::string(const char*)>& makeKey);
    // Puts the rows in `order`: order[i] is the row that comes at position i (a permutation of
    // the rows). Selected and focused rows stay with their records.
    void reorderRows(const std::vector<int>& order);

    // The image a row shows, chosen by the first letter of its type code: "R" a directory,
    // "Z" an archive, anything else a file.
    static FileListImage imageFor(const FileRow& row);

private:
    std::vector<FileRow> rows_;
    std::array<QString, FILE_LIST_COLUMNS> titles_;
    std::array<QIcon, 3> images_;
    std::array<QString, 3> typeWords_;
};

// The list control of the main window; null before the main window creates it and after
// the main window is gone.
extern QTreeView* fileList;

// The model of `list` (a list made by createFileList); null for any other view.
FileListModel* fileListModel(QTreeView* list);

// Creates the list control as a child of `parent` with control identifier `id`, with its
// images and columns. Returns null (and leaves nothing behind) when either cannot be made.
// Owned by `parent`.
QTreeView* createFileList(QWidget* parent, int id);

// Gives the list its images: icons 120 (directory), 121 (file) and 104 (archive) of the
// language module. Always succeeds.
bool createFileListImages(QTreeView* list);

// Gives the list its four columns: titles from strings 2011 to 2014, 100 pixels wide, the
// size right-aligned and the others left-aligned.
bool createFileListColumns(QTreeView* list);

} // namespace tvk
