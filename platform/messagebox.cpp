#include "platform/messagebox.h"

#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace tvk {

namespace {

MessageBoxHook& hookSlot() {
    static MessageBoxHook hook;
    return hook;
}

QMessageBox::Icon iconFor(unsigned flags) {
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

// Keeps a Yes/No box open against Escape and close requests: on Windows such a box has no
// Cancel, so Escape does nothing and there is no close box; only Yes or No ends it.
class NoEscape : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape || key->matches(QKeySequence::Cancel))
                return true;
        }
        if (event->type() == QEvent::Close && watched == parent()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

} // namespace

void setMessageBoxHook(MessageBoxHook hook) {
    hookSlot() = std::move(hook);
}

int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags) {
    if (hookSlot())
        return hookSlot()(MessageBoxCall{owner, text, caption, flags});

    QMessageBox box(iconFor(flags), caption, text, QMessageBox::NoButton, owner);
    const bool second = (flags & MB_DEFMASK) == MB_DEFBUTTON2;
    switch (flags & MB_TYPEMASK) {
    case MB_YESNO: {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
        // As on Windows, a Yes/No box has no Cancel: no close box, and Escape does nothing.
        box.setWindowFlags((box.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                           ~(Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
        auto* noEscape = new NoEscape(&box);
        box.installEventFilter(noEscape);
        for (QAbstractButton* button : box.buttons())
            button->installEventFilter(noEscape);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    case MB_YESNOCANCEL: {
        // Cancel, Escape and the close box answer Cancel.
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(second ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
        const int answer = box.exec();
        return answer == QMessageBox::Yes ? IDYES : answer == QMessageBox::No ? IDNO : IDCANCEL_BOX;
    }
    case MB_OKCANCEL: {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(second ? QMessageBox::Cancel : QMessageBox::Ok);
        return box.exec() == QMessageBox::Ok ? IDOK_BOX : IDCANCEL_BOX;
    }
    default:
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        return IDOK_BOX;
    }
}

} // namespace tvk
