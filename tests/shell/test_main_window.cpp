// The main window in process: menu bar, accelerators, the Tab ring, the enable state shared
// by menu and toolbar, the About box, the toolbar, menu help and the busy cursor.
#include "tests/shell/running_tavisk.h"
#include "tests/support/message_box_script.h"

#include "browse/catalogue_tree.h"
#include "browse/file_list.h"
#include "lang/resource.h"
#include "platform/pump.h"
#include "platform/volumes.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/panes.h"
#include "shell/statusbar.h"
#include "shell/toolbar.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QTreeView>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <functional>

namespace tvk::test {
namespace {

// The drive table of these tests: one fixed disk, so that New's drive summary is known.
const QString DRIVE_SUMMARY = QStringLiteral("/data:fixed ");

class MainWindow : public ::testing::Test {
protected:
    MessageBoxScript boxes;
    RunningTavisk tavisk;
    void SetUp() override {
        ASSERT_TRUE(tavisk.started());
        setDriveTable(std::vector<FakeDrive>{{"/data/", DRIVE_FIXED, std::nullopt}});
    }
    void TearDown() override { setDriveTable(std::nullopt); }
};

QToolButton* toolButton(int command) {
    for (auto* button : toolBar->findChildren<QToolButton*>())
        if (button->property("commandId").toInt() == command)
            return button;
    return nullptr;
}

// The toolbar's command buttons from left to right.
std::vector<QToolButton*> toolButtonsInOrder() {
    std::vector<QToolButton*> buttons;
    for (auto* button : toolBar->findChildren<QToolButton*>())
        if (button->property("commandId").isValid())
            buttons.push_back(button);
    std::sort(buttons.begin(), buttons.end(),
              [](QWidget* a, QWidget* b) { return a->x() < b->x(); });
    return buttons;
}

QAction* menuItem(int command) {
    for (QAction* popup : mainMenu->actions())
        for (QAction* item : popup->menu()->actions())
            if (item->data().toInt() == command)
                return item;
    return nullptr;
}

// Where the keyboard focus can be when Tab or Shift+Tab is pressed.
enum class FocusState { Tree, List, ToolBar, StatusBar, MainWindow, Nowhere };

void putFocus(FocusState state) {
    switch (state) {
    case FocusState::Tree:
        catalogueTree->setFocus();
        break;
    case FocusState::List:
        fileList->setFocus();
        break;
    case FocusState::ToolBar:
        toolBar->setFocus();
        break;
    case FocusState::StatusBar:
        statusBar->setFocus();
        break;
    case FocusState::MainWindow:
        mainWindow->setFocus();
        break;
    case FocusState::Nowhere:
        if (QWidget* focus = QApplication::focusWidget())
            focus->clearFocus();
        break;
    }
}

QWidget* keyTarget() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus : mainWindow;
}

TEST_F(MainWindow, TabRingRunsBothWaysFromEveryFocusState) {
    struct Case {
        FocusState from;
        const char* name;
        QWidget* afterTab;
        QWidget* afterShiftTab;
    };
    const Case cases[] = {
        {FocusState::Tree, "tree", fileList, toolBar},
        {FocusState::List, "list", toolBar, catalogueTree},
        {FocusState::ToolBar, "toolbar", catalogueTree, fileList},
        {FocusState::StatusBar, "status bar", catalogueTree, toolBar},
        {FocusState::MainWindow, "main window", catalogueTree, toolBar},
        {FocusState::Nowhere, "nowhere", catalogueTree, toolBar},
    };
    for (const Case& c : cases) {
        putFocus(c.from);
        QTest::keyClick(keyTarget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), c.afterTab) << "Tab from " << c.name;

        putFocus(c.from);
        QTest::keyClick(keyTarget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), c.afterShiftTab) << "Shift+Tab from " << c.name;
    }
    // Three Tabs make the whole round.
    catalogueTree->setFocus();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(keyTarget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), catalogueTree);
}

TEST_F(MainWindow, InsertDeleteAndF5DoNothingWhileGreyed) {
    catalogueTree->setFocus();
    QSignalSpy updates(commandAction(CMD_UPDATE), &QAction::triggered);
    QSignalSpy deletions(commandAction(CMD_DELETE), &QAction::triggered);
    QSignalSpy news(commandAction(CMD_NEW), &QAction::triggered);

    for (int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE})
        enableCommand(command, false);
    setStatusText(QStringLiteral("before"));
    for (Qt::Key key : {Qt::Key_Insert, Qt::Key_Delete, Qt::Key_F5})
        QTest::keyClick(keyTarget(), key);
    EXPECT_EQ(news.count(), 0);
    EXPECT_EQ(updates.count(), 0);
    EXPECT_EQ(deletions.count(), 0);
    EXPECT_EQ(currentStatusText(), QStringLiteral("before"));

    for (int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE})
        enableCommand(command, true);
    for (Qt::Key key : {Qt::Key_Insert, Qt::Key_Delete, Qt::Key_F5})
        QTest::keyClick(keyTarget(), key);
    EXPECT_EQ(news.count(), 1);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_EQ(deletions.count(), 1);
    EXPECT_EQ(currentStatusText(), DRIVE_SUMMARY); // New's drive summary
}

TEST_F(MainWindow, MenuBarIsMenu600OnTheCommandActions) {
    ASSERT_NE(mainMenu, nullptr);
    const QList<QAction*> popups = mainMenu->actions();
    ASSERT_EQ(popups.size(), 3);
    EXPECT_EQ(popups[0]->text(), QStringLiteral("&File"));
    EXPECT_EQ(popups[1]->text(), QStringLiteral("&Configuration"));
    EXPECT_EQ(popups[2]->text(), QStringLiteral("&Help"));
    const std::pair<int, const char*> items[] = {
        {CMD_NEW, "&New\tIns"},
        {CMD_NEW_FOLDER, "New from a &folder..."},
        {CMD_NEW_IMAGE, "New from a disc &image..."},
        {CMD_UPDATE, "&Update\tF5"},
        {CMD_DELETE, "&Delete\tDel"},
        {CMD_SEARCH, "&Search..."},
        {CMD_DUPLICATES, "Du&plicates..."},
        {CMD_FIND_ON_DISCS, "Find &on discs..."},
        {CMD_VERIFY, "&Verify..."},
        {CMD_QUIT, "&Quit"},
        {CMD_CONNECTION, "MySQL C&onnection..."},
        {CMD_INDEXING_OPTIONS, "&Indexing options..."},
        {CMD_HELP, "Summary and inde&x..."},
        {CMD_ABOUT, "&About Tavisk..."},
    };
    for (const auto& [command, text] : items) {
        QAction* item = menuItem(command);
        ASSERT_NE(item, nullptr) << command;
        EXPECT_EQ(item, commandAction(command));
        EXPECT_EQ(item->text(), QString::fromUtf8(text));
        // The menu shows the template's text alone: no icon, no shortcut label of Qt's own.
        EXPECT_FALSE(item->isIconVisibleInMenu() && !item->icon().isNull()) << command;
        EXPECT_TRUE(item->shortcut().isEmpty()) << command;
    }
}

TEST_F(MainWindow, MenuItemAndToolbarButtonAlwaysAgree) {
    for (int command : {CMD_NEW, CMD_UPDATE, CMD_DELETE, CMD_SEARCH, CMD_CONNECTION}) {
        QToolButton* button = toolButton(command);
        QAction* item = menuItem(command);
        ASSERT_TRUE(button && item) << command;
        QSignalSpy issued(item, &QAction::triggered);
        for (bool enable : {false, true, false, false, true}) {
            enableCommand(command, enable);
            EXPECT_EQ(item->isEnabled(), enable) << command;
            EXPECT_EQ(button->isEnabled(), enable) << command;
            EXPECT_EQ(isCommandEnabled(command), enable) << command;
        }
        // A greyed button issues nothing; an enabled one issues its command.
        enableCommand(command, false);
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(issued.count(), 0) << command;
        enableCommand(command, true);
        if (command != CMD_CONNECTION && command != CMD_SEARCH) {
            QTest::mouseClick(button, Qt::LeftButton);
            EXPECT_EQ(issued.count(), 1) << command;
        }
    }
}

TEST_F(MainWindow, ToolbarHasSixLabelledButtonsAndNoTooltips) {
    ASSERT_NE(toolBar, nullptr);
    EXPECT_FALSE(toolBar->isMovable());
    EXPECT_FALSE(toolBar->isFloatable());
    EXPECT_EQ(toolBar->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    const std::vector<QToolButton*> buttons = toolButtonsInOrder();
    ASSERT_EQ(buttons.size(), 6u);
    const std::pair<int, const char*> expected[] = {
        {CMD_NEW, "New..."},       {CMD_UPDATE, "Update..."},        {CMD_DELETE, "Delete..."},
        {CMD_SEARCH, "Search..."}, {CMD_CONNECTION, "Configure..."}, {CMD_HELP, "Help..."},
    };
    {
        // The way of asking shows a tooltip where there is one.
        QToolButton withTip(toolBar);
        withTip.setToolTip(QStringLiteral("tip"));
        withTip.show();
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), withTip.mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(&withTip, &help);
        ASSERT_TRUE(QToolTip::isVisible());
        QToolTip::hideText();
        ASSERT_TRUE(QTest::qWaitFor([] { return !QToolTip::isVisible(); }));
    }
    QList<QImage> images;
    for (size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_EQ(buttons[i]->property("commandId").toInt(), expected[i].first) << i;
        EXPECT_EQ(buttons[i]->text(), QString::fromUtf8(expected[i].second)) << i;
        EXPECT_EQ(buttons[i]->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
        EXPECT_EQ(buttons[i]->focusPolicy(), Qt::NoFocus);
        EXPECT_FALSE(buttons[i]->icon().isNull()) << i;
        images.append(buttons[i]->icon().pixmap(16, 16).toImage());
        // Hovering asks for a tooltip; none shows.
        const QPoint centre = buttons[i]->rect().center();
        QHelpEvent help(QEvent::ToolTip, centre, buttons[i]->mapToGlobal(centre));
        QApplication::sendEvent(buttons[i], &help);
        EXPECT_FALSE(QToolTip::isVisible()) << i;
        EXPECT_TRUE(buttons[i]->toolTip().isEmpty()) << i;
    }
    // Nor does the button that shows the buttons a narrow window hides.
    mainWindow->resize(200, 300);
    QCoreApplication::processEvents();
    for (auto* button : toolBar->findChildren<QToolButton*>()) {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(button, &help);
        EXPECT_FALSE(QToolTip::isVisible()) << button->metaObject()->className();
    }
    // Six different pictures, cut from the strip in order.
    for (int i = 0; i < images.size(); ++i)
        for (int j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << i << " " << j;
    // No context menu on the toolbar.
    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, QPoint(2, 2),
                                  toolBar->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(toolBar, &menuRequest);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(MainWindow, RightClickOnTheFileListOpensNoMenu) {
    QTest::mouseClick(fileList->viewport(), Qt::RightButton, {}, QPoint(10, 10));
    QContextMenuEvent menuRequest(QContextMenuEvent::Mouse, QPoint(10, 10),
                                  fileList->viewport()->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(fileList->viewport(), &menuRequest);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// Runs the About box and, once it is up, `whileOpen` on it. Returns what the box ended with.
std::intptr_t runAboutBox(std::function<void(QWidget*)> whileOpen) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        ran = true;
        whileOpen(box);
    });
    // Guard: a box that stays open fails the test instead of hanging it.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "About box still open";
            box->close();
        }
    });
    guard.start(3000);
    const std::intptr_t result =
        dialogBoxParam(langModule, IDD_ABOUT, mainWindow, aboutDialogProc, 0);
    EXPECT_TRUE(ran);
    return result;
}

QPushButton* closeButton(QWidget* box) {
    for (auto* button : box->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("Close"))
            return button;
    return nullptr;
}

TEST_F(MainWindow, AboutBoxClosesOnEnterButtonAndCloseBoxButNotEscape) {
    // Escape leaves it open; Enter (the default button) then closes it.
    EXPECT_EQ(runAboutBox([](QWidget* box) {
                  QTest::keyClick(box, Qt::Key_Escape);
                  QCoreApplication::processEvents();
                  EXPECT_TRUE(box->isVisible()) << "Escape closed the About box";
                  // The main window's keys do not act inside a modal dialog.
                  QTest::keyClick(box, Qt::Key_Q, Qt::ControlModifier);
                  QCoreApplication::processEvents();
                  EXPECT_TRUE(box->isVisible());
                  EXPECT_NE(mainWindow, nullptr);
                  EXPECT_FALSE(quitRequested);
                  QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                                  Qt::Key_Return);
              }),
              1);
    EXPECT_EQ(runAboutBox([](QWidget* box) {
                  QPushButton* button = closeButton(box);
                  ASSERT_NE(button, nullptr);
                  QTest::mouseClick(button, Qt::LeftButton);
              }),
              1);
    EXPECT_EQ(runAboutBox([](QWidget* box) { box->close(); }), 0);
    // From the menu: the command opens it, owned by the main window.
    bool opened = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        opened = box && box->parentWidget() == mainWindow;
        if (box)
            box->close();
    });
    commandAction(CMD_ABOUT)->trigger();
    EXPECT_TRUE(opened);
}

bool ignoreEverything(Dialog*, unsigned, std::uintptr_t, std::intptr_t) {
    return false;
}

// The rectangle of `item` inside the open `menu`, in the menu's coordinates.
QPoint itemCentre(QMenu* menu, QAction* item) {
    return menu->actionGeometry(item).center();
}

TEST_F(MainWindow, MenuHelpShowsEachEntrysStringAndEmptiesWhenTheMenuCloses) {
    setStatusText(QStringLiteral("Ready"));
    QAction* file = mainMenu->actions().at(0);
    QTest::mouseClick(mainMenu, Qt::LeftButton, {}, mainMenu->actionGeometry(file).center());
    QMenu* fileMenu = file->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    EXPECT_EQ(currentStatusText(),
              QStringLiteral("Create, update, delete, or find entries in the CD-ROM directory"));

    QTest::mouseMove(fileMenu, itemCentre(fileMenu, menuItem(CMD_NEW)));
    EXPECT_EQ(currentStatusText(), QStringLiteral("Add a new CD-ROM entry"));
    QTest::mouseMove(fileMenu, itemCentre(fileMenu, menuItem(CMD_QUIT)));
    EXPECT_EQ(currentStatusText(), QStringLiteral("Quit this application"));

    // The keyboard moves on to the next popup, which opens with its first item highlighted:
    // that item's help shows.
    QTest::keyClick(fileMenu, Qt::Key_Right);
    QMenu* configuration = mainMenu->actions().at(1)->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return configuration->isVisible(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(currentStatusText(), QStringLiteral("Parameter the MySQL connection"));
    QTest::keyClick(configuration, Qt::Key_Right);
    QMenu* help = mainMenu->actions().at(2)->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return help->isVisible(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(currentStatusText(), QStringLiteral("Display help"));
    QTest::mouseMove(help, itemCentre(help, menuItem(CMD_ABOUT)));
    EXPECT_EQ(currentStatusText(), QStringLiteral("Display information about this application"));

    // Closing the menu leaves the status bar empty, not the text shown before.
    QTest::keyClick(help, Qt::Key_Escape);
    if (QApplication::activePopupWidget())
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
    QTest::keyClick(mainMenu, Qt::Key_Escape);
    QTest::qWait(10);
    EXPECT_EQ(currentStatusText(), QString());
}

// Items as a real menu highlights them: one with its string, one whose string the module lacks,
// and the end of the menu.
TEST_F(MainWindow, MenuHelpOfASeparatorOrOfAnItemWithoutStringIsEmpty) {
    QMenu menu(mainWindow);
    QAction* known = menu.addAction(QStringLiteral("Quit"));
    known->setData(CMD_QUIT);
    QAction* separator = menu.addSeparator();
    QAction* unknown = menu.addAction(QStringLiteral("No string"));
    unknown->setData(12345);
    connectMenuHelp(&menu);
    menu.popup(mainWindow->mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu.isVisible(); }));

    menu.setActiveAction(known);
    EXPECT_EQ(currentStatusText(), QStringLiteral("Quit this application"));
    // A real menu never highlights a separator; the handler empties the bar for one all the
    // same, as for an item whose string the module lacks.
    onMenuSelect(separator);
    EXPECT_EQ(currentStatusText(), QString());
    menu.setActiveAction(known);
    menu.setActiveAction(unknown);
    EXPECT_EQ(currentStatusText(), QString());
    menu.setActiveAction(known);
    menu.hide();
    EXPECT_EQ(currentStatusText(), QString());
}

// The mouse passing over the menu bar, no menu open, highlights its popups (Qt reports them as
// hovered) but shows no help: the menu mode has not begun.
TEST_F(MainWindow, MerelyPassingOverTheMenuBarShowsNoHelp) {
    setStatusText(QStringLiteral("Ready"));
    QSignalSpy hovered(mainMenu, &QMenuBar::hovered);
    for (int popup : {2, 0}) {
        const QPointF at = mainMenu->actionGeometry(mainMenu->actions().at(popup)).center();
        QMouseEvent move(QEvent::MouseMove, at, mainMenu->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(mainMenu, &move);
    }
    ASSERT_EQ(hovered.count(), 2); // the moves did reach the menu bar
    EXPECT_EQ(currentStatusText(), QStringLiteral("Ready"));
}

// A command chosen in a menu shows its own status text: the menu's help ends as the menu
// closes, before the command runs, and nothing empties the bar after it.
TEST_F(MainWindow, ACommandChosenInAMenuKeepsItsStatusText) {
    const QString newDisc = DRIVE_SUMMARY; // New's own status text, its drive summary
    enableCommand(CMD_NEW, true);          // greyed at start-up without a server
    // With the mouse.
    QAction* file = mainMenu->actions().at(0);
    QTest::mouseClick(mainMenu, Qt::LeftButton, {}, mainMenu->actionGeometry(file).center());
    QMenu* fileMenu = file->menu();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    QTest::mouseMove(fileMenu, itemCentre(fileMenu, menuItem(CMD_NEW)));
    EXPECT_EQ(currentStatusText(), QStringLiteral("Add a new CD-ROM entry"));
    QTest::mouseClick(fileMenu, Qt::LeftButton, {}, itemCentre(fileMenu, menuItem(CMD_NEW)));
    QTest::qWait(20);
    EXPECT_EQ(currentStatusText(), newDisc);

    // With the keyboard: the menu bar keeps the focus a while after the command; its leaving
    // keyboard mode later must not empty the command's text either.
    setStatusText(QStringLiteral("Ready"));
    QTest::keyClick(mainWindow, Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fileMenu->isVisible(); }));
    fileMenu->setActiveAction(menuItem(CMD_NEW));
    QTest::keyClick(fileMenu, Qt::Key_Return);
    QTest::qWait(20);
    EXPECT_EQ(currentStatusText(), newDisc);
    catalogueTree->setFocus();
    QTest::qWait(20);
    EXPECT_EQ(currentStatusText(), newDisc);
}

// The keys of the accelerator table act in every window of the program but the search
// dialog, and not inside a pump.
TEST_F(MainWindow, AcceleratorsActInOtherWindowsButNotInThePumpNorTheSearchDialog) {
    // Another window of the program, such as the help window.
    QWidget other;
    auto* field = new QLineEdit(&other);
    new QLineEdit(&other);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Tab);
    // The main window comes forward with the focus on the tree.
    EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::focusWidget() == catalogueTree; }))
        << "Tab in another window";

    // Inside a pump (the fill of a search, the walk of a volume) the keys reach their control.
    catalogueTree->setFocus();
    QTimer::singleShot(0, [] {
        QTest::keyClick(catalogueTree, Qt::Key_Tab);
        QTest::keyClick(catalogueTree, Qt::Key_Q, Qt::ControlModifier);
    });
    pumpMessages();
    QTest::qWait(20);
    EXPECT_EQ(QApplication::focusWidget(), catalogueTree) << "Tab inside a pump";
    EXPECT_FALSE(quitRequested) << "Ctrl+Q inside a pump";
    ASSERT_NE(mainWindow, nullptr);

    // In the search dialog the dialog's own keys act, none of the table.
    searchDialog = createDialogParam(langModule, IDD_SEARCH, mainWindow, ignoreEverything, 0);
    ASSERT_NE(searchDialog, nullptr);
    QWidget* words = getDlgItem(searchDialog, IDC_SEARCH_WORDS);
    QSignalSpy news(commandAction(CMD_NEW), &QAction::triggered);
    QSignalSpy nextPane(commandAction(CMD_NEXT_PANE), &QAction::triggered);
    QTest::keyClick(words, Qt::Key_Insert);
    QTest::keyClick(words, Qt::Key_Tab);
    QTest::keyClick(dialogWindow(searchDialog), Qt::Key_Tab);
    EXPECT_EQ(news.count(), 0);
    EXPECT_EQ(nextPane.count(), 0);
    destroyDialog(searchDialog);
    searchDialog = nullptr;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(MainWindow, BusyCursorOverTheWindowWhileASearchRuns) {
    auto moveOver = [](QWidget* widget) {
        QTest::mouseMove(widget, widget->rect().center());
        QCoreApplication::processEvents();
    };
    searchRunning = true;
    moveOver(catalogueTree->viewport());
    for (QWidget* widget :
         {static_cast<QWidget*>(catalogueTree->viewport()),
          static_cast<QWidget*>(fileList->viewport()), static_cast<QWidget*>(toolBar),
          static_cast<QWidget*>(clientArea), static_cast<QWidget*>(mainMenu)})
        EXPECT_EQ(widget->cursor().shape(), Qt::BusyCursor) << widget->metaObject()->className();
    searchRunning = false;
    moveOver(fileList->viewport());
    EXPECT_EQ(catalogueTree->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(fileList->viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(toolBar->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(clientArea->cursor().shape(), Qt::SplitHCursor);
    // A move inside the widget already under the mouse is enough to notice a search.
    searchRunning = true;
    QTest::mouseMove(fileList->viewport(), fileList->viewport()->rect().center() + QPoint(5, 5));
    QCoreApplication::processEvents();
    EXPECT_EQ(fileList->viewport()->cursor().shape(), Qt::BusyCursor);
    searchRunning = false;
}

// Screenshots of the main window in both languages, for a look by eye.
TEST(MainWindowScreenshots, BothLanguages) {
    const QString folder = QString::fromLocal8Bit(qgetenv("TAVISK_TEST_OUTPUT_DIR"));
    if (folder.isEmpty())
        GTEST_SKIP() << "TAVISK_TEST_OUTPUT_DIR not set";
    QDir().mkpath(folder);
    for (const auto& [locale, code] :
         {std::pair{"en_US.UTF-8", "en"}, std::pair{"fr_FR.UTF-8", "fr"}}) {
        MessageBoxScript boxes;
        RunningTavisk tavisk(locale);
        ASSERT_TRUE(tavisk.started());
        mainWindow->resize(760, 420);
        QCoreApplication::processEvents();
        const QString name = folder + "/main_window_" + code + ".png";
        EXPECT_TRUE(mainWindow->grab().save(name)) << name.toStdString();
        QMenu* fileMenu = mainMenu->actions().at(0)->menu();
        fileMenu->popup(mainWindow->mapToGlobal(QPoint(0, mainMenu->height())));
        QCoreApplication::processEvents();
        EXPECT_TRUE(fileMenu->grab().save(folder + "/file_menu_" + code + ".png"));
        fileMenu->hide();
    }
}

} // namespace
} // namespace tvk::test
