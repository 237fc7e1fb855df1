#include "browse/fingerprint_windows.h"

#include "browse/locate.h"
#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "catalogue/fingerprints.h"
#include "indexing/disc_sources.h"
#include "indexing/fingerprint.h"
#include "indexing/index_summary.h"
#include "indexing/plg_api.h"
#include "indexing/scanner.h"
#include "indexing/verify.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/file_chooser.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "platform/text.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace tvk {

namespace {

// The texts of the language module with their "%s" and "%d" filled, as the C formatter does.
template <typename... Args>
QString formatText(unsigned id, Args... args) {
    return QString::asprintf(loadLangString(id).toUtf8().constData(), args...);
}

// Where a member of a list lies: its disc and entry, kept in the item.
constexpr int DISC_ROLE = Qt::UserRole;
constexpr int ENTRY_ROLE = Qt::UserRole + 1;

// "Disc <n> "<name>": <path>" for an entry of the catalogue, selectable to show its place.
QTreeWidgetItem* holderItem(const CatalogueFile& file) {
    auto* item = new QTreeWidgetItem(QStringList{
        formatText(IDS_FP_HOLDER, file.discId, fromServerText(file.discName).toUtf8().constData(),
                   fromServerText(file.path).toUtf8().constData())});
    item->setData(0, DISC_ROLE, file.discId);
    item->setData(0, ENTRY_ROLE, file.ficId);
    return item;
}

// A window of the main window's that deletes itself when closed, with a summary line above a
// one-column list, and Close below; `extra` buttons go before Close. A place shown from the
// list (the tree then holds its path only) is given back when the window closes: the tree is
// filled again.
class ResultWindow : public QDialog {
public:
    ResultWindow(QWidget* owner, const QString& title) : QDialog(owner) {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(title);
        resize(720, 480);
        auto* layout = new QVBoxLayout(this);
        summary = new QLabel(this);
        summary->setWordWrap(true);
        summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(summary);
        list = new QTreeWidget(this);
        list->setHeaderHidden(true);
        list->setUniformRowHeights(true);
        layout->addWidget(list, 1);
        buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
        layout->addWidget(buttons);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
        connect(list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
            if (!item || !item->data(0, DISC_ROLE).isValid())
                return;
            placeShown = true;
            showEntryPlace(item->data(0, DISC_ROLE).toInt(), item->data(0, ENTRY_ROLE).toInt());
        });
    }
    ~ResultWindow() override {
        if (placeShown && catalogueConnection)
            refillCatalogueTree(mainWindow);
    }
    QPushButton* addButton(unsigned textId) {
        return buttons->addButton(loadLangString(textId), QDialogButtonBox::ActionRole);
    }

    QLabel* summary = nullptr;
    QTreeWidget* list = nullptr;
    QDialogButtonBox* buttons = nullptr;
    bool placeShown = false;
};

// Keeps the windows painted while files are read (user input waits), and the wait cursor up.
struct LongWork {
    LongWork() { pushCursor(waitCursorShape()); }
    ~LongWork() { popCursor(); }
    static bool pump(std::uint64_t) {
        pumpMessages(QEventLoop::ExcludeUserInputEvents);
        return true;
    }
};

// Fills the duplicates window with `groups`.
void showDuplicates(ResultWindow& window, const std::vector<DuplicateGroup>& groups) {
    std::uint64_t wasted = 0;
    for (const DuplicateGroup& group : groups) {
        wasted += group.waste();
        QString text =
            formatText(IDS_FP_DUPLICATE_GROUP, countText(group.members.size()).toUtf8().constData(),
                       bytesText(group.size).toUtf8().constData(),
                       bytesText(group.waste()).toUtf8().constData());
        if (group.byName)
            text += " " + loadLangString(IDS_FP_BY_NAME_AND_SIZE);
        auto* item = new QTreeWidgetItem(window.list, QStringList{text});
        for (const CatalogueFile& member : group.members)
            item->addChild(holderItem(member));
        item->setExpanded(true);
    }
    window.summary->setText(groups.empty()
                                ? loadLangString(IDS_FP_NO_DUPLICATES)
                                : formatText(IDS_FP_DUPLICATES_FOUND,
                                             countText(groups.size()).toUtf8().constData(),
                                             bytesText(wasted).toUtf8().constData()));
}

// The line of one local file: its path and what the catalogue says of it.
QTreeWidgetItem* whichItem(const WhichFile& file) {
    const QString path = QFile::decodeName(QByteArray::fromStdString(file.path));
    QString state;
    if (file.state == WhichState::OnNoDisc)
        state = loadLangString(IDS_FP_ON_NO_DISC);
    else if (file.state == WhichState::Unreadable)
        state = formatText(IDS_FP_UNREADABLE, std::strerror(file.error));
    auto* item =
        new QTreeWidgetItem(QStringList{state.isEmpty() ? path : path + " \u2014 " + state});
    for (const CatalogueFile& holder : file.holders)
        item->addChild(holderItem(holder));
    item->setExpanded(true);
    return item;
}

// Looks for the files at `paths` on the discs and shows what was found in `window`.
void findAndShow(ResultWindow& window, const std::vector<std::string>& paths) {
    window.list->clear();
    WhichReport report;
    bool found = false;
    {
        LongWork work;
        found = findOnDiscs(catalogueConnection, paths, report, &LongWork::pump);
    }
    if (!found) {
        showMySqlError(&window);
        return;
    }
    // The files on no disc first: the answer to "may I delete this folder?".
    for (const bool onDiscs : {false, true})
        for (const WhichFile& file : report.files)
            if ((file.state == WhichState::OnDiscs) == onDiscs)
                window.list->addTopLevelItem(whichItem(file));
    for (const auto& [folder, error] : report.unreadableFolders)
        window.list->addTopLevelItem(new QTreeWidgetItem(QStringList{
            formatText(IDS_FP_FOLDER_NOT_READ,
                       QFile::decodeName(QByteArray::fromStdString(folder)).toUtf8().constData(),
                       std::strerror(error))}));
    window.summary->setText(formatText(IDS_FP_FILES_ON_DISCS,
                                       countText(report.filesOnDiscs).toUtf8().constData(),
                                       countText(report.files.size()).toUtf8().constData(),
                                       bytesText(report.bytesOnDiscs).toUtf8().constData(),
                                       bytesText(report.bytesTotal).toUtf8().constData()));
}

// The folder, drive or image from which disc `discId` is read again: its recorded one when it
// is still there (a drive's mount point only while it holds the same volume), else one the
// user chooses. Empty when the user cancels; `image` tells which kind it is.
std::string verifySource(int discId, bool& image) {
    const std::optional<DiscSource> source = readDiscSource(discId);
    image = source && source->kind == SOURCE_IMAGE;
    if (source && source->host == thisHost()) {
        const QFileInfo info(QFile::decodeName(QByteArray::fromStdString(source->path)));
        VolumeInformation volume;
        const bool there = image ? info.isFile() : info.isDir();
        const bool sameVolume =
            source->kind != SOURCE_DRIVE ||
            (getVolumeInformation(source->path, volume) && !isAnotherDisc(*source, volume));
        if (there && sameVolume)
            return source->path;
    }
    const QString chosen =
        image ? chooseFile(mainWindow, formatText(IDS_FP_VERIFY_CHOOSE_IMAGE, discId),
                           loadLangString(IDS_IMAGE_FILTER))
              : chooseFolder(mainWindow, formatText(IDS_FP_VERIFY_CHOOSE_FOLDER, discId));
    return QFile::encodeName(chosen).toStdString();
}

// The words of the report, by kind.
std::array<std::string, VERIFY_KINDS> verifyWords() {
    std::array<std::string, VERIFY_KINDS> words;
    for (std::size_t kind = 0; kind < VERIFY_KINDS; ++kind)
        words[kind] = loadLangString(IDS_FP_VERIFY_UNCHANGED + unsigned(kind)).toStdString();
    return words;
}

// The archive library's progress while an image is read again: the windows stay painted.
int pumpWhileReading(void*) {
    pumpMessages(QEventLoop::ExcludeUserInputEvents);
    return 0;
}

// Reads disc `discId` again from `source`; false when nothing could be read (an image the
// library refuses is told).
bool rereadDisc(const std::string& source, bool image, bool hash, std::vector<RereadEntry>& disc) {
    LongWork work;
    if (!image) {
        disc = rereadFolder(source, hash, &LongWork::pump);
        return true;
    }
    TvkPlgCallbacks callbacks{};
    callbacks.progress = pumpWhileReading;
    taviskPlg_set_callbacks(&callbacks);
    const int read = rereadImage(source, hash, disc);
    taviskPlg_set_callbacks(nullptr);
    return read >= 0 || read == PARCOURE_DAMAGED;
}

// The report window of a verification; Save... writes the report as text.
QWidget* showVerifyReport(int discId, const VerifyReport& report) {
    auto* window = new ResultWindow(mainWindow, formatText(IDS_FP_VERIFY_TITLE, discId));
    const std::string text = verifyReportText(report, verifyWords());
    const auto& n = report.counts;
    window->summary->setText(
        formatText(IDS_FP_VERIFY_SUMMARY, countText(n[0]).toUtf8().constData(),
                   countText(n[1]).toUtf8().constData(), countText(n[2]).toUtf8().constData(),
                   countText(n[3]).toUtf8().constData(), countText(n[4]).toUtf8().constData()));
    const std::array<std::string, VERIFY_KINDS> words = verifyWords();
    for (const VerifyItem& item : report.items)
        if (item.kind != VerifyKind::Unchanged)
            window->list->addTopLevelItem(new QTreeWidgetItem(
                QStringList{QString::fromStdString(words[std::size_t(item.kind)]) + "\t" +
                            fromServerText(item.path)}));
    QPushButton* save = window->addButton(IDS_FP_VERIFY_SAVE);
    QObject::connect(save, &QPushButton::clicked, window, [window, text] {
        const QString path =
            chooseSaveFile(window, loadLangString(IDS_FP_VERIFY_SAVE_TITLE), "*.txt");
        if (path.isEmpty())
            return;
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(text.data(), qint64(text.size())) != qint64(text.size()) || !file.commit())
            messageBox(window,
                       formatText(IDS_FP_CANNOT_SAVE, path.toUtf8().constData(),
                                  file.errorString().toUtf8().constData()),
                       loadLangString(IDS_FP_VERIFY_SAVE_TITLE), MB_OK | MB_ICONERROR);
    });
    window->show();
    return window;
}

// The window of its kind that is open already, raised and activated; false when there is none.
bool broughtForward(ResultWindow* open) {
    if (!open)
        return false;
    open->raise();
    open->activateWindow();
    return true;
}

} // namespace

QString bytesText(std::uint64_t bytes) {
    return QLocale().toString(qulonglong(bytes));
}

QWidget* openDuplicateGroupsWindow(QWidget* owner) {
    static QPointer<ResultWindow> open;
    if (broughtForward(open) || !catalogueConnection)
        return open;
    std::vector<DuplicateGroup> groups;
    bool found = false;
    {
        LongWork work;
        found = findDuplicates(catalogueConnection, 1, groups);
    }
    if (!found) {
        showMySqlError(owner);
        return nullptr;
    }
    open = new ResultWindow(owner, loadLangString(IDS_FP_DUPLICATES_TITLE));
    showDuplicates(*open, groups);
    open->show();
    return open;
}

QWidget* openFindOnDiscsWindow(QWidget* owner) {
    static QPointer<ResultWindow> open;
    if (broughtForward(open) || !catalogueConnection)
        return open;
    open = new ResultWindow(owner, loadLangString(IDS_FP_FIND_TITLE));
    open->summary->setText(loadLangString(IDS_FP_FIND_PROMPT));
    ResultWindow* window = open;
    QObject::connect(window->addButton(IDS_FP_FIND_FILE), &QPushButton::clicked, window, [window] {
        const QString file = chooseFile(window, loadLangString(IDS_FP_CHOOSE_FILE), "*");
        if (!file.isEmpty())
            findAndShow(*window, {QFile::encodeName(file).toStdString()});
    });
    QObject::connect(
        window->addButton(IDS_FP_FIND_FOLDER), &QPushButton::clicked, window, [window] {
            const QString folder = chooseFolder(window, loadLangString(IDS_FP_CHOOSE_FOLDER));
            if (!folder.isEmpty())
                findAndShow(*window, {QFile::encodeName(folder).toStdString()});
        });
    window->show();
    return window;
}

QWidget* verifyDisc(QTreeWidgetItem* item) {
    const TreeNodeData* data = treeNodeData(item);
    if (!data || !catalogueConnection)
        return nullptr;
    const int discId = data->discId;
    bool image = false;
    const std::string source = verifySource(discId, image);
    if (source.empty())
        return nullptr;
    std::vector<DiscEntry> catalogue;
    if (!discEntries(catalogueConnection, discId, catalogue)) {
        showMySqlError(mainWindow);
        return nullptr;
    }
    // Every byte is read, fingerprints or not: a file that cannot be read is what an ageing
    // disc shows first.
    std::vector<RereadEntry> disc;
    if (!rereadDisc(source, image, true, disc)) {
        showImageRefused(source, PARCOURE_UNREADABLE);
        return nullptr;
    }
    return showVerifyReport(discId, compareDisc(catalogue, disc));
}

} // namespace tvk
