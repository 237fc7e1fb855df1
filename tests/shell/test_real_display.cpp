// The main window and the work dialogs on a real X display (a private Xvfb, Qt's xcb platform),
// where windows are shown, painted and given the mouse and keyboard the way a desktop does it;
// the offscreen platform paints at once on show and routes synthetic events straight to a
// widget. The mouse and the keys come through the X server (xdotool) wherever routing matters.
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "browse/tree_contents.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "platform/pump.h"
#include "platform/volumes.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/panes.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>

#include <xcb/xcb.h>

namespace tvk::test {
namespace {

// Runs xdotool with `arguments` and waits for it; false when it failed.
bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Starts a shell script of xdotool steps in the background: for steps that must reach the
// program while a nested loop of its own runs (an open context menu).
void xdotoolLater(const QString& script) {
    QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script});
}

QStringList at(QPoint global) {
    return {QStringLiteral("mousemove"), QString::number(global.x()), QString::number(global.y())};
}

class RealDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsSet("TAVISK_NO_DISPLAY"))
            GTEST_SKIP() << "no X display: " << qgetenv("TAVISK_NO_DISPLAY").toStdString();
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            GTEST_SKIP() << "not on the xcb platform (run through tests/shell/on-xvfb)";
        tavisk = std::make_unique<RunningTavisk>();
        ASSERT_TRUE(tavisk->started());
        mainWindow->setGeometry(20, 40, 900, 600);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(mainWindow));
        QTest::qWait(100);
    }
    void TearDown() override { setDriveTable(std::nullopt); }
    static void needXdotool() {
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "xdotool is not installed";
    }

    MessageBoxScript boxes;
    std::unique_ptr<RunningTavisk> tavisk;
};

// The work of dialogs 280 (upgrade) and 550 (indexing) starts from a 1 ms timer: it must find
// the dialog on screen and painted, or a long upgrade shows a blank window.
struct PaintCount : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
PaintCount* paintCount = nullptr;
bool paintedWhenTheWorkBegan = false;
int shownColoursWhenTheWorkBegan = 0;

// The number of different colours the X server shows in `window` now, asked on a connection
// of our own: the program's connection is not flushed by it, so this is what the user sees.
// -1 when the server cannot be asked.
int coloursOnScreen(QWidget* window) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    int colours = -1;
    if (!xcb_connection_has_error(connection)) {
        const auto cookie =
            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, xcb_window_t(window->winId()), 0,
                          0, std::uint16_t(window->width()), std::uint16_t(window->height()), ~0u);
        if (xcb_get_image_reply_t* reply = xcb_get_image_reply(connection, cookie, nullptr)) {
            const auto* pixels = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply));
            const int count = xcb_get_image_data_length(reply) / 4;
            std::set<std::uint32_t> seen(pixels, pixels + count);
            colours = int(seen.size());
            std::free(reply);
        }
    }
    xcb_disconnect(connection);
    return colours;
}

bool workDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
    if (message == WM_INITDIALOG) {
        dialogWindow(dialog)->installEventFilter(paintCount);
        setTimer(dialog, UPGRADE_TIMER_ID, 1);
        return true;
    }
    if (message == WM_TIMER && wParam == UPGRADE_TIMER_ID) {
        killTimer(dialog, UPGRADE_TIMER_ID);
        QWindow* window = dialogWindow(dialog)->windowHandle();
        paintedWhenTheWorkBegan = paintCount->paints > 0 && window && window->isExposed();
        shownColoursWhenTheWorkBegan = coloursOnScreen(dialogWindow(dialog));
        QThread::msleep(30); // the work, blocking the thread as a statement does
        endDialog(dialog, 0);
        return true;
    }
    return false;
}

TEST_F(RealDisplay, WorkDialogsArePaintedBeforeTheirWorkBegins) {
    for (unsigned id : {unsigned(IDD_UPGRADE), unsigned(IDD_INDEXING)}) {
        for (int run = 0; run < 16; ++run) {
            PaintCount count;
            paintCount = &count;
            paintedWhenTheWorkBegan = false;
            QWidget* owner = run % 2 ? mainWindow : nullptr;
            EXPECT_EQ(dialogBoxParam(langModule, id, owner, workDialogProc, 0), 0);
            EXPECT_TRUE(paintedWhenTheWorkBegan) << "dialog " << id << ", run " << run;
            // Its background and its text at least: the picture has reached the screen.
            EXPECT_GE(shownColoursWhenTheWorkBegan, 2) << "dialog " << id << ", run " << run;
            paintCount = nullptr;
        }
    }
}

TEST_F(RealDisplay, ACommandChosenWithTheMouseKeepsItsStatusText) {
    needXdotool();
    setDriveTable(std::vector<FakeDrive>{{"/data/", DRIVE_FIXED, std::nullopt}});
    enableCommand(CMD_NEW, true);
    setStatusText(QStringLiteral("Ready"));
    QAction* file = mainMenu->actions().at(0);
    QMenu* fileMenu = file->menu();
    ASSERT_TRUE(xdotool(at(mainMenu->mapToGlobal(mainMenu->actionGeometry(file).center())) +
                        QStringList{"click", "1"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    const QPoint item =
        fileMenu->mapToGlobal(fileMenu->actionGeometry(commandAction(CMD_NEW)).center());
    ASSERT_TRUE(xdotool(at(item)));
    EXPECT_TRUE(QTest::qWaitFor([] { return currentStatusText() == "Add a new CD-ROM entry"; }));
    ASSERT_TRUE(xdotool({"click", "1"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fileMenu->isVisible(); }));
    QTest::qWait(200);
    EXPECT_EQ(currentStatusText(), "/data:fixed "); // New's drive summary
}

TEST_F(RealDisplay, ClosingTheTreesContextMenuEmptiesTheStatusBar) {
    needXdotool();
    auto* disc = new CatalogueTreeItem({1, -1, true});
    disc->setText(0, QStringLiteral("1 - disc"));
    catalogueTree->addTopLevelItem(disc);
    QTest::qWait(50);
    const QPoint onDisc =
        catalogueTree->viewport()->mapToGlobal(catalogueTree->visualItemRect(disc).center());
    // The texts the status bar shows meanwhile, sampled while the menu's own loop runs.
    QStringList seen;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        if (seen.isEmpty() || seen.back() != currentStatusText())
            seen << currentStatusText();
    });
    sampler.start(10);
    xdotoolLater("sleep 0.6; xdotool key Down; sleep 0.4; xdotool key Escape");
    ASSERT_TRUE(xdotool(at(onDisc) + QStringList{"click", "3"}));
    const QString help =
        "Update an existing CD-ROM entry, for example when a new session has been added to the "
        "CD-ROM";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return seen.contains(help) && !QApplication::activePopupWidget(); }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(currentStatusText(), "");
}

TEST_F(RealDisplay, OnlyAPressInTheGapDragsTheSplitter) {
    needXdotool();
    auto* statusPart = statusBar->findChild<QLabel*>();
    ASSERT_NE(statusPart, nullptr);
    const QPoint emptyToolbar(toolBar->width() - 10, toolBar->height() / 2);
    for (QPoint press : {statusPart->mapToGlobal(statusPart->rect().center()),
                         toolBar->mapToGlobal(emptyToolbar)}) {
        ASSERT_TRUE(xdotool(at(press) + QStringList{"mousedown", "1"}));
        ASSERT_TRUE(xdotool(at(press - QPoint(120, 0))));
        ASSERT_TRUE(xdotool(at(press - QPoint(150, 0)) + QStringList{"mouseup", "1"}));
        QTest::qWait(100);
        EXPECT_FALSE(splitterDragging);
        EXPECT_EQ(treeWidth, 300);
        EXPECT_EQ(catalogueTree->width(), 300);
    }
    const int middle = catalogueTree->geometry().center().y();
    const QPoint gap = clientArea->mapToGlobal(QPoint(301, middle));
    ASSERT_TRUE(xdotool(at(gap) + QStringList{"mousedown", "1"}));
    ASSERT_TRUE(xdotool(at(gap - QPoint(60, 0))));
    ASSERT_TRUE(xdotool(at(gap - QPoint(101, 0)) + QStringList{"mouseup", "1"}));
    EXPECT_TRUE(QTest::qWaitFor([] { return catalogueTree->width() == 200; }));
    EXPECT_EQ(treeWidth, 200);
}

TEST_F(RealDisplay, KeysOfTheTableActInOtherWindowsButNotInAPump) {
    needXdotool();
    // Another window of the program, as the help window is.
    QWidget other;
    other.setGeometry(950, 60, 250, 120);
    auto* field = new QLineEdit(&other);
    field->setGeometry(10, 10, 200, 30);
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    field->setFocus();
    ASSERT_TRUE(xdotool({"key", "Tab"}));
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() == catalogueTree; }))
        << "Tab in another window";

    // Inside a pump the keys reach their control and the table does nothing.
    ASSERT_TRUE(QTest::qWaitForWindowActive(mainWindow));
    catalogueTree->setFocus();
    xdotoolLater("sleep 0.2; xdotool key Tab; xdotool key ctrl+q");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        pumpMessages();
        QThread::msleep(5);
    }
    EXPECT_EQ(QApplication::focusWidget(), catalogueTree) << "Tab inside a pump";
    EXPECT_FALSE(quitRequested) << "Ctrl+Q inside a pump";
    ASSERT_NE(mainWindow, nullptr);

    // Back in the main loop, the table acts.
    ASSERT_TRUE(xdotool({"key", "Tab"}));
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() == fileList; }));
}

} // namespace
} // namespace tvk::test
