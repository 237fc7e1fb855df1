#include "shell/statusbar.h"

#include <QLabel>
#include <QStatusBar>

namespace tvk {

QStatusBar* statusBar = nullptr;

namespace {

// The single text part: a label stretched over the whole bar, left of the size grip.
QLabel* statusLabel() {
    return statusBar ? statusBar->findChild<QLabel*>(QStringLiteral("statusPart0")) : nullptr;
}

} // namespace

int createStatusBar(QWidget* parent, const QString& text, int parts) {
    auto* bar = new QStatusBar(parent);
    bar->setSizeGripEnabled(true);
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
    if (QLabel* label = statusLabel())
        label->setText(text);
}

QString currentStatusText() {
    QLabel* label = statusLabel();
    return label ? label->text() : QString();
}

} // namespace tvk
