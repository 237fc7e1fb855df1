// The pane layout and the splitter gap, driven by real mouse events on the main window.
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "shell/main_window.h"
#include "shell/panes.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace tvk::test {
namespace {

class Panes : public ::testing::Test {
protected:
    MessageBoxScript boxes;
    RunningTavisk tavisk;
    void SetUp() override { ASSERT_TRUE(tavisk.started()); }

    // Resizes the main window so that its client area is `width` by `height`... as near as
    // the menu bar allows.
    static void resizeWindow(int width, int height) {
        mainWindow->resize(width, height);
        QCoreApplication::processEvents();
    }
    static int paneTop() { return toolBar->geometry().bottom() + 1; }
    static int paneHeight() { return statusBar->geometry().top() - paneTop(); }
    static int middleY() { return paneTop() + paneHeight() / 2; }
    // The width of the window frame left of the client area (0 where it is unknown).
    static int frameLeft() {
        return clientArea->mapToGlobal(QPoint(0, 0)).x() - mainWindow->frameGeometry().left();
    }

    static void press(int x) {
        QTest::mousePress(clientArea, Qt::LeftButton, {}, QPoint(x, middleY()));
    }
    static void moveHeld(int x) { sendMove(x, Qt::LeftButton); }
    static void release(int x) {
        QTest::mouseRelease(clientArea, Qt::LeftButton, {}, QPoint(x, middleY()));
    }
    // A mouse move with `buttons` down, as the captured mouse reports it.
    static void sendMove(int x, Qt::MouseButtons buttons) {
        const QPointF local(x, middleY());
        QMouseEvent move(QEvent::MouseMove, local, clientArea->mapToGlobal(local), Qt::NoButton,
                         buttons, Qt::NoModifier);
        QApplication::sendEvent(clientArea, &move);
    }
};

TEST_F(Panes, AtStartTheTreeIs300WideAndBothFillTheHeightBetweenTheBars) {
    // The layout made once both bars existed, without any resize since.
    const int width = clientArea->width();
    EXPECT_EQ(toolBar->geometry(), QRect(0, 0, width, toolBar->sizeHint().height()));
    EXPECT_EQ(statusBar->geometry().bottom(), clientArea->height() - 1);
    EXPECT_EQ(statusBar->width(), width);
    EXPECT_GT(paneHeight(), 0);
    EXPECT_EQ(catalogueTree->geometry(), QRect(0, paneTop(), 300, paneHeight()));
    EXPECT_EQ(fileList->geometry(), QRect(302, paneTop(), width - 302, paneHeight()));
}

TEST_F(Panes, ResizingTheWindowChangesOnlyTheListsWidth) {
    for (const auto& [width, height] : {std::pair{900, 500}, std::pair{500, 350}}) {
        resizeWindow(width, height);
        EXPECT_EQ(catalogueTree->geometry(), QRect(0, paneTop(), 300, paneHeight()));
        EXPECT_EQ(fileList->geometry(),
                  QRect(302, paneTop(), clientArea->width() - 302, paneHeight()));
        // The status bar's single text field spans its whole width, grip aside.
        auto* part = statusBar->findChild<QLabel*>();
        ASSERT_NE(part, nullptr);
        EXPECT_EQ(statusBar->width(), clientArea->width());
        EXPECT_GE(part->width(), statusBar->width() - 40);
    }
}

TEST_F(Panes, TheGapShowsTheWindowAndTheSizingCursorThere) {
    const QPoint gap(301, middleY());
    EXPECT_EQ(clientArea->childAt(gap), nullptr); // the client area itself shows there
    EXPECT_EQ(clientArea->childAt(QPoint(150, middleY())), catalogueTree->viewport());
    EXPECT_EQ(clientArea->cursor().shape(), Qt::SplitHCursor);
    EXPECT_EQ(catalogueTree->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(fileList->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(toolBar->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(statusBar->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(Panes, PressAndReleaseInTheGapShiftsItByTheOffsetOfThePress) {
    press(301);
    EXPECT_TRUE(splitterDragging);
    EXPECT_EQ(catalogueTree->width(), 300); // a press alone moves nothing
    release(301);
    EXPECT_FALSE(splitterDragging);
    EXPECT_EQ(treeWidth, 301);
    EXPECT_EQ(catalogueTree->width(), 301);
    EXPECT_EQ(fileList->x(), 303);
    EXPECT_EQ(fileList->width(), clientArea->width() - 303);
}

TEST_F(Panes, ThePanesFollowTheMouseDuringADrag) {
    press(300);
    moveHeld(200);
    EXPECT_EQ(catalogueTree->width(), 200);
    EXPECT_EQ(fileList->geometry(), QRect(202, paneTop(), clientArea->width() - 202, paneHeight()));
    moveHeld(250);
    EXPECT_EQ(catalogueTree->width(), 250);
    release(260);
    EXPECT_EQ(catalogueTree->width(), 260);
    // Once released, moves move nothing.
    sendMove(100, Qt::NoButton);
    EXPECT_EQ(catalogueTree->width(), 260);
}

TEST_F(Panes, DraggingBeyondTheEdgesClampsTheGap) {
    const int outerWidth = mainWindow->frameGeometry().width();
    press(300);
    moveHeld(-500);
    EXPECT_EQ(treeWidth, -frameLeft());
    EXPECT_EQ(catalogueTree->width(), 0); // the tree vanishes
    EXPECT_EQ(fileList->x(), 2 - frameLeft());
    moveHeld(clientArea->width() + 500);
    // Four pixels short of the outer right edge, or far enough for the list to vanish where
    // the frame is thinner than that (unknown frames count as 0).
    const int rightmost =
        std::max(outerWidth - 4 - frameLeft(), clientArea->width() - SPLITTER_WIDTH);
    EXPECT_EQ(treeWidth, rightmost);
    EXPECT_EQ(fileList->x(), rightmost + 2);
    EXPECT_EQ(fileList->width(), std::max(clientArea->width() - rightmost - 2, 0));
    release(clientArea->width() + 900);
    EXPECT_EQ(treeWidth, rightmost);
    EXPECT_EQ(fileList->width(), 0); // the list vanishes, frame or no frame
    // Dragged back, the tree reappears.
    press(rightmost + 1);
    moveHeld(120);
    release(120);
    EXPECT_EQ(catalogueTree->width(), 120);
}

// Where the frame is unknown it counts as 0 (a window without frame stands for it): the gap
// can still go far enough right for the list to vanish.
TEST_F(Panes, WithoutAFrameTheListCanVanishToo) {
    mainWindow->setWindowFlag(Qt::FramelessWindowHint);
    mainWindow->show();
    resizeWindow(700, 400);
    ASSERT_EQ(frameLeft(), 0);
    ASSERT_EQ(mainWindow->frameGeometry().width(), clientArea->width());
    press(300);
    moveHeld(clientArea->width() + 100);
    release(clientArea->width() + 100);
    EXPECT_EQ(treeWidth, clientArea->width() - 2);
    EXPECT_EQ(fileList->width(), 0);
}

TEST_F(Panes, MovesWithTheButtonUpDuringADragMoveNothing) {
    // The capture was lost (the release went elsewhere): the drag is still on, but moves
    // without the button move nothing, and the next release ends the drag where it is.
    press(301);
    sendMove(100, Qt::NoButton);
    sendMove(150, Qt::RightButton);
    EXPECT_TRUE(splitterDragging);
    EXPECT_EQ(catalogueTree->width(), 300);
    release(180);
    EXPECT_FALSE(splitterDragging);
    EXPECT_EQ(catalogueTree->width(), 180);
}

TEST_F(Panes, OnlyTheLeftButtonStartsADrag) {
    QTest::mousePress(clientArea, Qt::RightButton, {}, QPoint(301, middleY()));
    EXPECT_FALSE(splitterDragging);
    sendMove(100, Qt::RightButton);
    QTest::mouseRelease(clientArea, Qt::RightButton, {}, QPoint(100, middleY()));
    EXPECT_EQ(catalogueTree->width(), 300);
}

// Presses the bars leave unhandled reach the client area as well; only one in the gap drags.
TEST_F(Panes, PressingOnTheBarsOrThePanesStartsNoDrag) {
    auto* statusPart = statusBar->findChild<QLabel*>();
    ASSERT_NE(statusPart, nullptr);
    const QPoint emptyToolbar(toolBar->width() - 5, toolBar->height() / 2);
    ASSERT_EQ(toolBar->childAt(emptyToolbar), nullptr);
    const std::pair<QWidget*, QPoint> presses[] = {
        {statusPart, statusPart->rect().center()},
        {statusBar, QPoint(statusBar->width() / 2, 2)},
        {toolBar, emptyToolbar},
    };
    for (const auto& [widget, at] : presses) {
        QTest::mousePress(widget, Qt::LeftButton, {}, at);
        EXPECT_FALSE(splitterDragging) << widget->metaObject()->className();
        moveHeld(100);
        QTest::mouseRelease(widget, Qt::LeftButton, {}, at);
        EXPECT_EQ(treeWidth, 300) << widget->metaObject()->className();
        EXPECT_EQ(catalogueTree->width(), 300);
    }
}

TEST_F(Panes, NegativeSizesCountAsZero) {
    // A window narrower than the tree: the tree keeps its width, the list gets none.
    resizeWindow(200, 400);
    ASSERT_LT(clientArea->width(), 300);
    EXPECT_EQ(catalogueTree->width(), 300);
    EXPECT_EQ(fileList->x(), 302);
    EXPECT_EQ(fileList->width(), 0);
    // Panes squeezed to no height between the bars.
    paneArea.height = -25;
    layoutPanes();
    EXPECT_EQ(catalogueTree->height(), 0);
    EXPECT_EQ(fileList->height(), 0);
    // Widened again, the list comes back with the tree as wide as before.
    resizeWindow(800, 400);
    EXPECT_EQ(catalogueTree->geometry(), QRect(0, paneTop(), 300, paneHeight()));
    EXPECT_EQ(fileList->width(), clientArea->width() - 302);
}

} // namespace
} // namespace tvk::test
