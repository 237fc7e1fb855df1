#include "shell/panes.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "platform/cursor.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>

#include <algorithm>

namespace tvk {

PaneArea paneArea;
int treeWidth = INITIAL_TREE_WIDTH;
bool splitterDragging = false;
int lastDragX = -4;
QWidget* clientArea = nullptr;

namespace {

// The client area receives the mouse only where the panes and bars leave it uncovered, the
// gap, and while a press made there holds the mouse.
class ClientArea : public QWidget {
public:
    explicit ClientArea(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

protected:
    void resizeEvent(QResizeEvent*) override { onMainWindowSize(); }
    // Presses that the bars or the panes leave unhandled come up to the client area too; only
    // a press where no child covers the client area, the gap, starts a drag.
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && !childAt(event->position().toPoint()))
            beginSplitterDrag(*event);
    }
    void mouseMoveEvent(QMouseEvent* event) override { trackSplitterDrag(*event); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            endSplitterDrag(*event);
    }
    // Tab and Shift+Tab move the focus between the panes as accelerators of the main loop;
    // the panes themselves do nothing with them (inside a pump, say, they stay where they are).
    bool focusNextPrevChild(bool) override { return true; }
};

int outerHeight(const QWidget* bar) {
    return bar ? bar->geometry().height() : 0;
}

// The drag position of a mouse event: its x measured from the main window's outer left edge,
// kept between 0 and the outer width minus 4. A frame of unknown size counts as 0; the right
// limit then lets the gap reach the client area's right edge, so that the list can vanish as
// it does behind a real frame.
int dragPosition(const QMouseEvent& event) {
    const QRect outer = clientArea->window()->frameGeometry();
    const QPoint clientLeft = clientArea->mapToGlobal(QPoint(0, 0));
    const QPoint screen = clientArea->mapToGlobal(event.position().toPoint());
    const int listGone = clientLeft.x() - outer.left() + clientArea->width() - SPLITTER_WIDTH;
    int x = screen.x() - outer.left();
    x = std::max(x, 0);
    x = std::min(x, std::max(outer.width() - 4, listGone));
    return x;
}

// The tree width for a drag position: the position taken back to client coordinates.
int treeWidthFor(int position) {
    const QRect outer = clientArea->window()->frameGeometry();
    return clientArea->mapFromGlobal(QPoint(position + outer.left(), outer.top())).x();
}

} // namespace

QWidget* createClientArea(QMainWindow* window) {
    paneArea = PaneArea();
    treeWidth = INITIAL_TREE_WIDTH;
    splitterDragging = false;
    lastDragX = -4;
    auto* area = new ClientArea(window);
    area->setObjectName(QStringLiteral("clientArea"));
    window->setCentralWidget(area);
    clientArea = area;
    QObject::connect(area, &QObject::destroyed, [area] {
        if (clientArea == area)
            clientArea = nullptr;
    });
    return area;
}

void onMainWindowSize() {
    if (!clientArea)
        return;
    const int width = clientArea->width();
    const int height = clientArea->height();
    if (statusBar) {
        const int barHeight = statusBar->sizeHint().height();
        statusBar->setGeometry(0, height - barHeight, width, barHeight);
    }
    if (toolBar)
        toolBar->setGeometry(0, 0, width, toolBar->sizeHint().height());
    paneArea = PaneArea{0, 0, width, height};
    paneArea.height -= outerHeight(statusBar);
    paneArea.top += outerHeight(toolBar);
    paneArea.height -= outerHeight(toolBar);
    layoutPanes();
}

void layoutPanes() {
    const int height = std::max(paneArea.height, 0);
    if (catalogueTree)
        catalogueTree->setGeometry(paneArea.left, paneArea.top, std::max(treeWidth, 0), height);
    if (fileList)
        fileList->setGeometry(treeWidth + SPLITTER_WIDTH, paneArea.top,
                              std::max(paneArea.right - treeWidth - SPLITTER_WIDTH, 0), height);
}

void beginSplitterDrag(const QMouseEvent& event) {
    if (!clientArea)
        return;
    const int position = dragPosition(event);
    splitterDragging = true;
    lastDragX = position;
}

void trackSplitterDrag(const QMouseEvent& event) {
    if (!splitterDragging || !clientArea)
        return;
    const int position = dragPosition(event);
    if (position == lastDragX || !(event.buttons() & Qt::LeftButton))
        return;
    lastDragX = position;
    treeWidth = treeWidthFor(position);
    layoutPanes();
}

void endSplitterDrag(const QMouseEvent& event) {
    if (!splitterDragging || !clientArea)
        return;
    const int position = dragPosition(event);
    lastDragX = position;
    splitterDragging = false;
    treeWidth = treeWidthFor(position);
    layoutPanes();
}

void applyPaneCursors(bool busy) {
    const QCursor arrow(Qt::ArrowCursor);
    const QCursor& paneCursor = busy ? busyCursor : arrow;
    if (clientArea)
        clientArea->setCursor(busy ? busyCursor : sizeWestEastCursorShape());
    for (QWidget* pane : {static_cast<QWidget*>(catalogueTree), static_cast<QWidget*>(fileList),
                          static_cast<QWidget*>(toolBar), static_cast<QWidget*>(statusBar)})
        if (pane)
            pane->setCursor(paneCursor);
    if (mainWindow) {
        if (busy)
            mainWindow->setCursor(busyCursor);
        else
            mainWindow->unsetCursor();
    }
}

} // namespace tvk
