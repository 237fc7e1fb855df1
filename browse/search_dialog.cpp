#include "browse/search_dialog.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/messagebox.h"
#include "platform/text.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/panes.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QApplication>
#include <QDate>
#include <QEvent>
#include <QMainWindow>
#include <QPointer>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>

#include <optional>
#include <utility>
#include <vector>

namespace tvk {

namespace {

// The caption of the box that shows a statement the server refused, in every language.
const char* const STATEMENT_BOX_CAPTION = "Requête SQL";
// Longest status text: the status bar shares a 256-byte text buffer.
constexpr int STATUS_TEXT_MAX = 255;

// The date range: its two labels and its two pickers, enabled by the Date box.
constexpr int DATE_RANGE_CONTROLS[] = {IDC_SEARCH_BETWEEN, IDC_SEARCH_FROM, IDC_SEARCH_AND,
                                       IDC_SEARCH_TO};

void enableDateRange(Dialog* dialog, bool enable) {
    for (const int id : DATE_RANGE_CONTROLS)
        enableDlgItem(dialog, id, enable);
}

// A field's text as UTF-8, cut to `maxChars` characters (never inside a surrogate pair).
std::string fieldText(Dialog* dialog, int id, int maxChars) {
    QString text = getDlgItemText(dialog, id);
    if (text.size() > maxChars) {
        qsizetype cut = maxChars;
        if (cut > 0 && text.at(cut - 1).isHighSurrogate())
            --cut;
        text.truncate(cut);
    }
    return text.toStdString();
}

SearchDay dayOf(const QDate& date) {
    return {date.year(), date.month(), date.day()};
}

// True for the events on which a window asks which cursor to show: the mouse moving over it
// or entering it.
bool isCursorRequest(const QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::HoverMove:
    case QEvent::Enter:
        return true;
    default:
        return false;
    }
}

// The cursors of one search. The hourglass shows from the start of the search until the mouse
// next moves (a cursor the program sets lasts until the next cursor request); from then on the
// dialog shows the busy arrow while the search runs (the main window shows its own). When the
// search ends, the hourglass if it is still up, and the busy arrows, give way to the cursors
// that were there before.
class SearchCursors : public QObject {
public:
    explicit SearchCursors(Dialog* dialog) : dialog_(dialog) {
        pushCursor(waitCursor);
        qApp->installEventFilter(this);
    }
    ~SearchCursors() override {
        qApp->removeEventFilter(this);
        releaseWait();
        showBusy(false);
        if (mainWindow)
            applyPaneCursors(false);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (isCursorRequest(event)) {
            releaseWait();
            if (inDialog(watched))
                showBusy(searchRunning);
        }
        return false;
    }

private:
    void releaseWait() {
        if (waitShown_) {
            waitShown_ = false;
            popCursor();
        }
    }
    bool inDialog(QObject* object) {
        QWidget* window = dialogWindow(dialog_);
        if (!window)
            return false;
        if (auto* handle = qobject_cast<QWindow*>(object))
            return handle == window->windowHandle();
        auto* widget = qobject_cast<QWidget*>(object);
        return widget && widget->window() == window;
    }
    // The busy arrow over the dialog and every control in it, or their own cursors back.
    void showBusy(bool busy) {
        if (busy == busyShown_)
            return;
        busyShown_ = busy;
        if (!busy) {
            for (auto& [widget, cursor] : saved_) {
                if (widget && cursor)
                    widget->setCursor(*cursor);
                else if (widget)
                    widget->unsetCursor();
            }
            saved_.clear();
            return;
        }
        QWidget* window = dialogWindow(dialog_);
        if (!window)
            return;
        QList<QWidget*> widgets = window->findChildren<QWidget*>();
        widgets.prepend(window);
        for (QWidget* widget : widgets) {
            saved_.emplace_back(widget, widget->testAttribute(Qt::WA_SetCursor)
                                            ? std::optional<QCursor>(widget->cursor())
                                            : std::nullopt);
            widget->setCursor(busyCursor);
        }
    }

    Dialog* dialog_;
    bool waitShown_ = true;
    bool busyShown_ = false;
    std::vector<std::pair<QPointer<QWidget>, std::optional<QCursor>>> saved_;
};

// Empties the tree with its redrawing suspended.
void clearCatalogueTree() {
    if (QTreeWidget* tree = catalogueTree) {
        tree->setUpdatesEnabled(false);
        tree->clear();
        tree->setUpdatesEnabled(true);
    }
}

// A statement the server refused, or whose hits could not be fetched: the statement itself,
// then the server's reason. The reason is read first: the dialog stays usable while the
// first box is up, and what it does there may run other statements.
void reportFailedSearch(const std::string& statement) {
    const QString reason = catalogueErrorText();
    messageBox(mainWindow, fromServerText(statement), QString::fromUtf8(STATEMENT_BOX_CAPTION),
               MB_OK | MB_ICONERROR);
    messageBox(mainWindow, reason, loadLangString(IDS_MYSQL_ERROR), MB_OK | MB_ICONERROR);
}

// The end of a search in the status bar: how many hits the list holds, or that there is none;
// after a Stop, how many it holds so far.
void showSearchCount(bool stopped) {
    const FileListModel* model = fileListModel(fileList);
    const int hits = model ? model->rowCount() : 0;
    QString text;
    if (stopped)
        text = QString::asprintf(loadLangString(IDS_SEARCH_STOPPED).toUtf8().constData(), hits);
    else if (hits == 0)
        text = loadLangString(IDS_SEARCH_NOTHING_FOUND);
    else
        text = QString::asprintf(loadLangString(IDS_SEARCH_FOUND).toUtf8().constData(), hits);
    statusText = text.left(STATUS_TEXT_MAX);
    setStatusText(statusText);
}

// Search (309): the statement run and its hits streamed into the list, one pending round of
// events handled after each row, until the hits are all there or the search is stopped
// (Stop, Close, a quit). Close may destroy the dialog meanwhile: then only the cursor is
// restored at the end.
void runSearch(Dialog* dialog) {
    SearchCursors cursors(dialog);
    clearCatalogueTree();
    enableDlgItem(dialog, IDC_SEARCH_STOP, true);
    enableDlgItem(dialog, IDC_SEARCH_START, false);
    enableDlgItem(dialog, IDC_SEARCH_NAME, false);
    enableDlgItem(dialog, IDC_SEARCH_DATE, false);
    enableDateRange(dialog, false);
    searchRunning = true;

    const SearchRequest request = readSearchRequest(dialog);
    const std::string statement =
        buildSearchQuery(escapeSearchRequest(catalogueConnection, request));
    // A result that cannot be fetched fails like a refused statement; the list keeps its rows.
    const bool listed = queryCatalogue(statement.c_str()) && fillFileList(fileList, nullptr, true);
    if (!listed)
        reportFailedSearch(statement);

    const bool stopped = !searchRunning;
    searchRunning = false;
    if (!isDialogAlive(dialog))
        return;
    if (listed)
        showSearchCount(stopped);
    enableDlgItem(dialog, IDC_SEARCH_START, true);
    enableDlgItem(dialog, IDC_SEARCH_STOP, false);
    enableDlgItem(dialog, IDC_SEARCH_NAME, true);
    enableDlgItem(dialog, IDC_SEARCH_DATE, true);
    if (isDlgButtonChecked(dialog, IDC_SEARCH_DATE))
        enableDateRange(dialog, true);
}

} // namespace

SearchRequest readSearchRequest(Dialog* dialog) {
    SearchRequest request;
    request.words = fieldText(dialog, IDC_SEARCH_WORDS, SEARCH_TEXT_MAX);
    request.names = fieldText(dialog, IDC_SEARCH_NAME, SEARCH_TEXT_MAX);
    request.byDate = isDlgButtonChecked(dialog, IDC_SEARCH_DATE);
    request.firstDay = dayOf(getDlgItemDate(dialog, IDC_SEARCH_FROM));
    request.lastDay = dayOf(getDlgItemDate(dialog, IDC_SEARCH_TO));
    // The field takes digits only; anything else that got there never reaches the statement.
    for (const char c : fieldText(dialog, IDC_SEARCH_LIMIT, SEARCH_LIMIT_MAX)) {
        if (c >= '0' && c <= '9')
            request.limit += c;
    }
    return request;
}

void openSearchDialog(QWidget* owner) {
    if (isDialogAlive(searchDialog))
        return;
    Dialog* dialog = createDialogParam(langModule, IDD_SEARCH, owner, searchDialogProc, 0);
    if (!dialog)
        return;
    searchDialog = dialog;
    // Destroyed with its owner (the program ending), the dialog takes search mode with it.
    QObject::connect(dialogWindow(dialog), &QObject::destroyed, [dialog] {
        if (searchDialog == dialog)
            searchDialog = nullptr;
    });
    if (QTreeWidget* tree = catalogueTree) {
        tree->setUpdatesEnabled(false);
        tree->clear();
    }
    clearFileList(fileList);
    if (QTreeWidget* tree = catalogueTree)
        tree->setUpdatesEnabled(true);
    for (const int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE, CMD_SEARCH, CMD_CONNECTION})
        enableCommand(command, false);
}

void closeSearchDialog(Dialog* dialog) {
    searchRunning = false;
    destroyDialog(dialog);
    if (searchDialog == dialog)
        searchDialog = nullptr;
    clearFileList(fileList);
    enableCommand(CMD_CONNECTION, true);
    refillCatalogueTree(mainWindow);
}

bool searchDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
    switch (message) {
    case WM_INITDIALOG:
        if (QWidget* window = dialogWindow(dialog))
            window->setWindowIcon(searchIcon);
        setDlgItemText(dialog, IDC_SEARCH_NAME, QStringLiteral("*"));
        setDlgItemText(dialog, IDC_SEARCH_LIMIT, QStringLiteral("1000"));
        return true;
    case WM_COMMAND: {
        const int id = static_cast<int>(wParam & 0xFFFF);
        const unsigned notification = static_cast<unsigned>(wParam >> 16);
        switch (id) {
        case IDC_SEARCH_DATE:
            if (notification == BN_CLICKED)
                enableDateRange(dialog, isDlgButtonChecked(dialog, IDC_SEARCH_DATE));
            break;
        case IDC_SEARCH_STOP:
            searchRunning = false;
            break;
        case IDCANCEL:
            closeSearchDialog(dialog);
            break;
        case IDC_SEARCH_START:
            runSearch(dialog);
            break;
        default:
            break;
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace tvk
