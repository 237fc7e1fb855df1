#include "shell/statusbar.h"

#include "lang/resource.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStatusBar>
#include <QTimer>

namespace tvk {

QStatusBar* statusBar = nullptr;
QString statusText;

namespace {

// The single text part: a label stretched over the whole bar, left of the size grip.
QLabel* statusLabel() {
    return statusBar ? statusBar->findChild<QLabel*>(QStringLiteral("statusPart0")) : nullptr;
}

// Whether the user is in a menu: a popup menu open, or the menu bar taken by the keyboard.
bool inMenu() {
    if (qobject_cast<QMenu*>(QApplication::activePopupWidget()))
        return true;
    return mainMenu && mainMenu->hasFocus();
}

// The string of menu help for a popup of the menu bar, by its position.
unsigned popupHelpString(QAction* popup) {
    const int position = mainMenu ? static_cast<int>(mainMenu->actions().indexOf(popup)) : -1;
    switch (position) {
    case 0:
        return IDS_MENU_FILE;
    case 1:
        return IDS_MENU_CONFIGURATION;
    case 2:
        return IDS_MENU_HELP;
    default:
        return 0;
    }
}

// Whether the text in the status bar is menu help (the last text shown came from
// onMenuSelect). A menu that closes empties only its own help, never a command's text.
bool menuHelpShown = false;

// Whether a popup menu other than `closing` is still visible: moving from one popup of the
// menu bar to the next shows the next before hiding the one before.
bool anotherMenuVisible(const QMenu* closing) {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* menu = qobject_cast<QMenu*>(widget);
        if (menu && menu != closing && menu->isVisible())
            return true;
    }
    return false;
}

// The menu mode is over: the status bar empties, when it still shows menu help.
void endMenuHelp() {
    if (menuHelpShown)
        onMenuSelect(nullptr);
}

// The object that carries the deferred check of the end of the menu mode. It lives as long as
// the program, unlike the menus whose closing schedules the check.
QObject* menuCloseContext() {
    static QObject* const context = new QObject(qApp);
    return context;
}

// A menu has closed: when no other menu stays open, the menu mode ends now, before any command
// the menu issues runs (Qt hides a menu before triggering the chosen item). The keyboard mode of
// the menu bar ends later, on its own; a check once the events of the moment are handled covers
// it.
void onMenuClosed(const QMenu* menu) {
    if (!anotherMenuVisible(menu))
        endMenuHelp();
    QTimer::singleShot(0, menuCloseContext(), [] {
        if (!inMenu())
            endMenuHelp();
    });
}

// Watches the menu bar leaving keyboard mode, which ends the menu mode as well.
class MenuBarFocusWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) {
            QTimer::singleShot(0, menuCloseContext(), [] {
                if (!inMenu())
                    endMenuHelp();
            });
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int createStatusBar(QWidget* parent, const QString& text, int parts) {
    auto* bar = new QStatusBar(parent);
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setProperty("controlId", ID_STATUSBAR);
    bar->setSizeGripEnabled(true);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setCursor(Qt::ArrowCursor); // not the sizing cursor of the client area behind it
    auto* label = new QLabel(text, bar);
    label->setObjectName(QStringLiteral("statusPart0"));
    label->setTextFormat(Qt::PlainText);
    label->setMinimumWidth(0);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(label, 1);
    bar->show();
    statusBar = bar;
    QObject::connect(bar, &QObject::destroyed, [bar] {
        if (statusBar == bar)
            statusBar = nullptr;
    });
    return 1;
}

void setStatusText(const QString& text, int part, int type) {
    menuHelpShown = false;
    if (QLabel* label = statusLabel())
        label->setText(text);
}

QString currentStatusText() {
    QLabel* label = statusLabel();
    return label ? label->text() : QString();
}

void onMenuSelect(QAction* item) {
    statusText.clear();
    unsigned id = 0;
    if (item && !item->isSeparator()) {
        if (item->menu())
            id = popupHelpString(item);
        else if (item->data().toInt() > 0)
            id = static_cast<unsigned>(item->data().toInt());
    }
    if (id != 0)
        statusText = loadLangString(id);
    setStatusText(statusText, 0, 0);
    menuHelpShown = statusBar != nullptr;
}

namespace {

// Menus highlight greyed items too, as Windows menus do, so that their help shows as well.
class GreyedItemsHighlightStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
};

} // namespace

void connectMenuHelp(QMenu* menu) {
    static GreyedItemsHighlightStyle* const style = new GreyedItemsHighlightStyle;
    menu->setStyle(style);
    QObject::connect(menu, &QMenu::hovered, menu, [](QAction* item) { onMenuSelect(item); });
    QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] { onMenuClosed(menu); });
}

void connectMenuBarHelp(QMenuBar* menuBar) {
    // The menu bar reports the mouse passing over its popups even when no menu is open, and
    // reports a popup before opening it: a popup shows its help as it opens, or as the
    // keyboard highlights it in the menu bar.
    QObject::connect(menuBar, &QMenuBar::hovered, menuBar, [menuBar](QAction* item) {
        if (menuBar->hasFocus())
            onMenuSelect(item);
    });
    menuBar->installEventFilter(new MenuBarFocusWatch(menuBar));
    for (QAction* popup : menuBar->actions()) {
        if (QMenu* menu = popup->menu())
            QObject::connect(menu, &QMenu::aboutToShow, menu, [popup] { onMenuSelect(popup); });
    }
}

} // namespace tvk
