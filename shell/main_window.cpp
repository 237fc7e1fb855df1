#include "shell/main_window.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/file_list_contents.h"
#include "browse/fingerprint_windows.h"
#include "browse/locate.h"
#include "browse/search_dialog.h"
#include "browse/tree_contents.h"
#include "catalogue/settings.h"
#include "indexing/disc_commands.h"
#include "indexing/indexing_options.h"
#include "lang/resource.h"
#include "platform/pump.h"
#include "shell/commands.h"
#include "shell/context_menu.h"
#include "shell/panes.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QWindow>

#include <map>

namespace tvk {

QMainWindow* mainWindow = nullptr;
QMenuBar* mainMenu = nullptr;
Dialog* searchDialog = nullptr;
bool searchRunning = false;

namespace {

// Shows the busy cursor over the main window while a search streams its results. The state
// is looked at whenever the mouse moves over the window, as a cursor request would: the
// window itself hears every move, whichever widget lies under the mouse.
class SearchCursorWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::HoverMove:
        case QEvent::Enter:
            if (busyShown != searchRunning && isInMainWindow(watched)) {
                busyShown = searchRunning;
                applyPaneCursors(busyShown);
            }
            break;
        default:
            break;
        }
        return false;
    }

private:
    static bool isInMainWindow(QObject* object) {
        if (auto* window = qobject_cast<QWindow*>(object))
            return mainWindow && window == mainWindow->windowHandle();
        auto* widget = qobject_cast<QWidget*>(object);
        return widget && mainWindow && widget->window() == mainWindow;
    }
    bool busyShown = false;
};

// Gives `control` the keyboard focus, bringing its window forward when another window of the
// program has it (the key that moved the focus may come from there).
void setFocusTo(QWidget* control) {
    if (!control)
        return;
    if (!control->window()->isActiveWindow())
        control->window()->activateWindow();
    control->setFocus(Qt::TabFocusReason);
}

bool hasFocusIn(const QWidget* control) {
    const QWidget* focus = QApplication::focusWidget();
    return control && focus && (focus == control || control->isAncestorOf(focus));
}

// Tab: tree, list, toolbar, and round again; from anywhere else to the tree.
void focusNextPane() {
    if (hasFocusIn(catalogueTree))
        setFocusTo(fileList);
    else if (hasFocusIn(fileList))
        setFocusTo(toolBar);
    else
        setFocusTo(catalogueTree);
}

// Shift+Tab: the same ring backwards; from anywhere else to the toolbar.
void focusPreviousPane() {
    if (hasFocusIn(toolBar))
        setFocusTo(fileList);
    else if (hasFocusIn(fileList))
        setFocusTo(catalogueTree);
    else
        setFocusTo(toolBar);
}

void showHelp(QWidget* window) {
    if (!htmlHelp)
        return;
    const QByteArray file = loadLangString(IDS_HELP_FILE).toLocal8Bit();
    htmlHelp(window, file.constData(), HH_DISPLAY_TOPIC, 0);
}

void onMainWindowDestroyed() {
    mainWindow = nullptr;
    mainMenu = nullptr;
    resetCommands();
    postQuitMessage(0);
}

// Fills `menu` from template items, each item on its command's action.
void fillMenu(QMenu* menu, const std::vector<MenuItem>& items) {
    for (const MenuItem& item : items) {
        if (item.isPopup()) {
            QMenu* popup = menu->addMenu(item.text);
            connectMenuHelp(popup);
            fillMenu(popup, item.items);
        } else if (item.isSeparator()) {
            menu->addSeparator();
        } else {
            QAction* action = routeCommand(item.id);
            action->setText(item.text);
            menu->addAction(action);
        }
    }
}

// The Qt key of a Windows virtual-key code; 0 for a code without one.
int qtKeyOfVirtualKey(std::uint16_t vk, Qt::KeyboardModifiers& modifiers) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        return vk;
    if (vk >= 0x60 && vk <= 0x69) { // numeric keypad digits
        modifiers |= Qt::KeypadModifier;
        return Qt::Key_0 + (vk - 0x60);
    }
    if (vk >= 0x70 && vk <= 0x87) // F1 to F24
        return Qt::Key_F1 + (vk - 0x70);
    static const std::map<std::uint16_t, int> keys = {
        {0x08, Qt::Key_Backspace}, {0x09, Qt::Key_Tab},    {0x0D, Qt::Key_Return},
        {0x1B, Qt::Key_Escape},    {0x20, Qt::Key_Space},  {0x21, Qt::Key_PageUp},
        {0x22, Qt::Key_PageDown},  {0x23, Qt::Key_End},    {0x24, Qt::Key_Home},
        {0x25, Qt::Key_Left},      {0x26, Qt::Key_Up},     {0x27, Qt::Key_Right},
        {0x28, Qt::Key_Down},      {0x2D, Qt::Key_Insert}, {0x2E, Qt::Key_Delete},
        {0x6A, Qt::Key_Asterisk},  {0x6B, Qt::Key_Plus},   {0x6D, Qt::Key_Minus},
        {0x6E, Qt::Key_Period},    {0x6F, Qt::Key_Slash},
    };
    const auto found = keys.find(vk);
    return found == keys.end() ? 0 : found->second;
}

// The key sequences of an accelerator entry. Shift+Tab arrives as Backtab, so it is listed
// under both names.
QList<QKeySequence> acceleratorKeys(const AccelEntry& entry) {
    Qt::KeyboardModifiers modifiers;
    int key = 0;
    if (entry.flags & FVIRTKEY) {
        key = qtKeyOfVirtualKey(entry.key, modifiers);
        if (entry.flags & FSHIFT)
            modifiers |= Qt::ShiftModifier;
        if (entry.flags & FCONTROL)
            modifiers |= Qt::ControlModifier;
        if (entry.flags & FALT)
            modifiers |= Qt::AltModifier;
    } else if (entry.key >= 0x20 && entry.key < 0x7F) {
        key = QChar(entry.key).toUpper().unicode();
        if (entry.flags & FALT)
            modifiers |= Qt::AltModifier;
    } else if (entry.key >= 1 && entry.key <= 26) { // "^A" to "^Z": a control character
        key = 'A' + entry.key - 1;
        modifiers |= Qt::ControlModifier;
    }
    if (key == 0)
        return {};
    QList<QKeySequence> keys{QKeySequence(QKeyCombination(modifiers, Qt::Key(key)))};
    if (key == Qt::Key_Tab && (modifiers & Qt::ShiftModifier))
        keys.append(QKeySequence(QKeyCombination(modifiers, Qt::Key_Backtab)));
    return keys;
}

// Whether the accelerators may act now: only in the main loop, that is outside the pumps of
// long work, outside modal dialogs and message boxes (their own loops), and while no popup menu
// is open (a menu has its own loop on Windows).
bool acceleratorsLive() {
    return mainWindow && !insidePump() && !QApplication::activeModalWidget() &&
           !QApplication::activePopupWidget();
}

// Whether `target` is the open search dialog or one of its controls: the dialog handles its own
// keys (Tab, Enter, Escape) and no accelerator acts there.
bool inSearchDialog(QObject* target) {
    QWidget* dialog = isDialogAlive(searchDialog) ? dialogWindow(searchDialog) : nullptr;
    auto* widget = qobject_cast<QWidget*>(target);
    return dialog && widget && (widget == dialog || dialog->isAncestorOf(widget));
}

// The accelerator table at work: every key press of every window of the program, the search
// dialog's aside, is looked up before it reaches its window; a key of the table issues its
// command to the main window instead. The key of a greyed command (one with a menu item) is
// not taken: it reaches the focused control as any other key. Owned by the main window.
class AcceleratorTranslator : public QObject {
public:
    using QObject::QObject;
    void add(QKeyCombination keys, int command) { commands_[keys.toCombined()] = command; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const auto modifiers = key->modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
        const auto found =
            commands_.find(QKeyCombination(modifiers, Qt::Key(key->key())).toCombined());
        if (found == commands_.end() || !acceleratorsLive() || inSearchDialog(watched))
            return false;
        QAction* action = commandAction(found->second);
        if (!action->isEnabled())
            return false;
        action->trigger();
        return true;
    }

private:
    std::map<int, int> commands_;
};

} // namespace

QAction* routeCommand(int id) {
    QAction* action = commandAction(id);
    if (!action->property("routed").toBool()) {
        action->setProperty("routed", true);
        QObject::connect(action, &QAction::triggered, [id] { onCommand(mainWindow, id); });
    }
    return action;
}

QMainWindow* createMainWindow() {
    auto* window = new QMainWindow;
    window->setObjectName(QStringLiteral("mainWindow"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(loadLangString(IDS_PRODUCT_NAME));
    window->setWindowIcon(loadIcon(langModule, IDI_APP));
    mainWindow = window;
    QObject::connect(window, &QObject::destroyed, [] { onMainWindowDestroyed(); });

    QWidget* client = createClientArea(window);
    catalogueTree = createCatalogueTree(client, ID_TREE);
    createTreeImageList(catalogueTree);
    QObject::connect(catalogueTree, &QObject::destroyed, [] { catalogueTree = nullptr; });
    connectCatalogueTree(catalogueTree);
    connectTreeContextMenu(catalogueTree);
    fileList = createFileList(client, ID_LIST);
    if (fileList) {
        fileList->setContextMenuPolicy(Qt::PreventContextMenu);
        QObject::connect(fileList, &QObject::destroyed, [] { fileList = nullptr; });
        connectFileList(fileList);
        connectLocating(fileList);
    }
    applyPaneCursors(false);
    qApp->installEventFilter(new SearchCursorWatch(window));

    // The platform's default size: three quarters of the screen's work area.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window->resize(screen->availableGeometry().size() * 3 / 4);
    window->show();
    return window;
}

void attachMainMenu() {
    const std::optional<MenuTemplate> menu = loadMenu(langModule, IDM_MAIN);
    if (!menu || !mainWindow)
        return;
    auto* bar = new QMenuBar(mainWindow);
    bar->setNativeMenuBar(false);
    for (const MenuItem& item : menu->items) {
        if (item.isPopup()) {
            QMenu* popup = bar->addMenu(item.text);
            connectMenuHelp(popup);
            fillMenu(popup, item.items);
        } else if (!item.isSeparator()) {
            QAction* action = routeCommand(item.id);
            action->setText(item.text);
            bar->addAction(action);
        }
    }
    connectMenuBarHelp(bar);
    mainWindow->setMenuBar(bar);
    mainMenu = bar;
}

void installAccelerators(const std::vector<AccelEntry>& table) {
    if (!mainWindow)
        return;
    auto* translator = new AcceleratorTranslator(mainWindow);
    for (const AccelEntry& entry : table) {
        routeCommand(entry.command);
        for (const QKeySequence& keys : acceleratorKeys(entry))
            translator->add(keys[0], entry.command);
    }
    qApp->installEventFilter(translator);
}

void onCommand(QWidget* window, int id) {
    switch (id) {
    case CMD_NEW:
        setStatusText(loadLangString(IDS_NEW_DISC));
        scanDrives(-1);
        break;
    case CMD_NEW_FOLDER:
        newFromFolder();
        break;
    case CMD_NEW_IMAGE:
        newFromImage();
        break;
    case CMD_UPDATE:
        updateDisc(catalogueTree, currentTreeItem);
        break;
    case CMD_DELETE:
        deleteDisc(catalogueTree, currentTreeItem);
        break;
    case CMD_SEARCH:
        openSearchDialog(window); // nothing when it is open already
        break;
    case CMD_DUPLICATES:
        openDuplicateGroupsWindow(window);
        break;
    case CMD_FIND_ON_DISCS:
        openFindOnDiscsWindow(window);
        break;
    case CMD_VERIFY:
        verifyDisc(currentTreeItem);
        break;
    case CMD_CONNECTION:
        showConnectionDialog();
        break;
    case CMD_INDEXING_OPTIONS:
        showIndexingOptionsDialog(window);
        break;
    case CMD_QUIT:
        if (window)
            QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
        break;
    case CMD_ABOUT:
        dialogBoxParam(langModule, IDD_ABOUT, window, aboutDialogProc, 0);
        break;
    case CMD_HELP:
        showHelp(window);
        break;
    case CMD_NEXT_PANE:
        focusNextPane();
        break;
    case CMD_PREV_PANE:
        focusPreviousPane();
        break;
    default:
        break;
    }
}

bool aboutDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                     std::intptr_t lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return true;
    case WM_CLOSE:
        endDialog(dialog, 0);
        return true;
    case WM_COMMAND: {
        const unsigned id = wParam & 0xFFFF;
        if (id == IDOK || id == IDC_ABOUT_CLOSE) {
            endDialog(dialog, 1);
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace tvk
