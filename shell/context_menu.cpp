#include "shell/context_menu.h"

#include "browse/tree_contents.h"
#include "lang/resource.h"
#include "platform/resources.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMainWindow>
#include <QMenu>
#include <QTreeWidget>

namespace tvk {

namespace {

// The position of the keyboard form of the request: all ones in each half.
constexpr int KEYBOARD_POSITION = 0xFFFF;

// Context-menu requests on the tree's item area, as the main window would receive them.
class TreeContextMenuWatch : public QObject {
public:
    TreeContextMenuWatch(QTreeWidget* tree) : QObject(tree), tree_(tree) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ContextMenu)
            return false;
        auto* request = static_cast<QContextMenuEvent*>(event);
        int x = KEYBOARD_POSITION;
        int y = KEYBOARD_POSITION;
        if (request->reason() != QContextMenuEvent::Keyboard) {
            x = request->globalPos().x() & 0xFFFF;
            y = request->globalPos().y() & 0xFFFF;
        }
        onTreeContextMenu(mainWindow ? static_cast<QWidget*>(mainWindow) : tree_->window(), x, y,
                          tree_);
        return true;
    }

private:
    QTreeWidget* tree_;
};

} // namespace

int onTreeContextMenu(QWidget* window, int x, int y, QTreeWidget* tree) {
    if (!tree)
        return 0;
    // The hit test covers the item area only: a point outside it (the keyboard form's among
    // them) finds nothing.
    const QPoint inTree = tree->viewport()->mapFromGlobal(QPoint(x, y));
    QTreeWidgetItem* item =
        tree->viewport()->rect().contains(inTree) ? tree->itemAt(inTree) : nullptr;
    currentTreeItem = item;
    if (!item)
        return 0;
    tree->setCurrentItem(item);
    if (!window || !window->rect().contains(window->mapFromGlobal(QPoint(x, y))))
        return 0;
    showTreeContextMenu(window, x, y);
    return 1;
}

void showTreeContextMenu(QWidget* window, int x, int y) {
    const std::optional<MenuTemplate> menu = loadMenu(langModule, IDM_CONTEXT);
    if (!menu || menu->items.empty())
        return;
    QMenu popup(window);
    for (const MenuItem& item : menu->items.front().items) {
        if (item.isSeparator()) {
            popup.addSeparator();
            continue;
        }
        if (item.isPopup())
            continue;
        QAction* action = popup.addAction(item.text);
        action->setData(int(item.id));
        const int id = item.id;
        QObject::connect(action, &QAction::triggered, &popup, [id] { onCommand(mainWindow, id); });
    }
    connectMenuHelp(&popup);
    popup.exec(QPoint(x, y));
}

void connectTreeContextMenu(QTreeWidget* tree) {
    if (!tree)
        return;
    tree->setContextMenuPolicy(Qt::DefaultContextMenu);
    // A right-click reaches the item area; the keyboard form reaches the tree itself.
    auto* watch = new TreeContextMenuWatch(tree);
    tree->viewport()->installEventFilter(watch);
    tree->installEventFilter(watch);
}

} // namespace tvk
