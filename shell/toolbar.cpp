#include "shell/toolbar.h"

#include "lang/resource.h"
#include "platform/resources.h"
#include "shell/commands.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QAction>
#include <QPixmap>
#include <QToolBar>
#include <QToolButton>

namespace tvk {

QToolBar* toolBar = nullptr;

namespace {

struct ToolBarButton {
    int command;
    unsigned label;
};

// Button order; the images of bitmap 106 are in the same order.
constexpr ToolBarButton toolBarButtons[] = {
    {CMD_NEW, IDS_TB_NEW},       {CMD_UPDATE, IDS_TB_UPDATE},        {CMD_DELETE, IDS_TB_DELETE},
    {CMD_SEARCH, IDS_TB_SEARCH}, {CMD_CONNECTION, IDS_TB_CONFIGURE}, {CMD_HELP, IDS_TB_HELP},
};

constexpr int TOOLBAR_IMAGE_SIZE = 16;

// A button that shows the enable state of its command's action and issues it when clicked.
// The button has no tooltip of its own and takes no focus.
QToolButton* createCommandButton(QToolBar* bar, int command, const QIcon& image,
                                 const QString& label) {
    QAction* action = commandAction(command);
    auto* button = new QToolButton(bar);
    button->setProperty("commandId", command);
    button->setIcon(image);
    button->setText(label);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setIconSize(QSize(TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setEnabled(action->isEnabled());
    QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
    QObject::connect(button, &QToolButton::clicked, action, &QAction::trigger);
    return button;
}

} // namespace

QToolBar* createToolBar(QWidget* parent) {
    auto* bar = new QToolBar(parent);
    bar->hide();
    bar->setObjectName(QStringLiteral("toolBar"));
    bar->setProperty("controlId", ID_TOOLBAR);
    bar->setGeometry(0, 0, 0, 0);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setContextMenuPolicy(Qt::PreventContextMenu);
    bar->setFocusPolicy(Qt::TabFocus);
    bar->setCursor(Qt::ArrowCursor); // not the sizing cursor of the client area behind it
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE));

    const QImage strip = loadBitmap(langModule, IDB_TOOLBAR);
    int index = 0;
    for (const ToolBarButton& entry : toolBarButtons) {
        QIcon image;
        if (!strip.isNull())
            image = QIcon(QPixmap::fromImage(
                strip.copy(index * TOOLBAR_IMAGE_SIZE, 0, TOOLBAR_IMAGE_SIZE, TOOLBAR_IMAGE_SIZE)));
        routeCommand(entry.command);
        bar->addWidget(createCommandButton(bar, entry.command, image, loadLangString(entry.label)));
        ++index;
    }
    bar->show();
    toolBar = bar;
    QObject::connect(bar, &QObject::destroyed, [bar] {
        if (toolBar == bar)
            toolBar = nullptr;
    });
    return bar;
}

} // namespace tvk
