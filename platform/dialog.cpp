// The generic dialog builder: one window class (Dialog) and one control factory serve every
// template. Dialog procedures see Windows messages; this file turns Qt's events into them.
#include "platform/dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <map>
#include <set>
#include <vector>

namespace tvk {

namespace {

// What kind of control a template item builds; Unsupported makes the whole dialog fail.
enum class ControlKind {
    PushButton,
    CheckBox,
    GroupBox,
    Edit,
    Static,
    DatePicker,
    Progress,
    Unsupported
};

// Property holding the text a static or button was given, '&' mnemonics included.
constexpr const char* rawTextProperty = "tvkRawText";

// Control identifiers are 16-bit on Windows; -1 and 65535 name the same control.
int controlKey(int id) {
    return std::int16_t(std::uint16_t(id));
}

} // namespace

// The window of every built dialog. It owns its controls (as Qt children) and its timers, and
// hands keys, close requests and timers to the dialog procedure as Windows messages.
class Dialog final : public QDialog {
public:
    Dialog(QWidget* owner, DialogProc proc, bool modal);
    ~Dialog() override;

    // Calls the procedure; false when the dialog is destroyed. The window's memory stays valid
    // while any call is on the stack (procDepth), see releaseWhenIdle.
    bool send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);
    void command(int id, unsigned notification, QWidget* control);
    void stopAllTimers();
    void startTimer(unsigned timerId, unsigned milliseconds);
    void markDestroyed();
    QWidget* item(int id) const; // null when no control has `id`

    DialogProc proc = nullptr;
    bool modal = false;
    bool hasSystemMenu = false;
    bool ended = false;     // endDialog was called
    bool destroyed = false; // destroyDialog was called: no controls, no messages
    bool releaseQueued = false;
    int procDepth = 0;
    std::intptr_t result = 0;
    int defaultId = 0;
    bool hasDefault = false;
    std::map<int, QWidget*> controls; // first control of each identifier (key: controlKey)
    std::map<QWidget*, int> idOf;     // identifier of each control, as written in the template
    std::vector<QWidget*> tabStops;   // WS_TABSTOP controls in template order
    std::map<unsigned, QTimer*> timers;
    // Timers set before the dialog first painted itself start once it has (see startTimer).
    bool willShow = false; // the dialog is shown once built (modal, or modeless and visible)
    bool painted = false;  // its first paint is done
    std::set<unsigned> timersAwaitingPaint;
    QEventLoop* loop = nullptr;

    // Tab and Shift+Tab leave a date picker for the next control, as on Windows (Qt's date
    // edit would walk its day, month and year sections instead).
    bool eventFilter(QObject* watched, QEvent* event) override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void releaseWhenIdle();
    void startTimersAwaitingPaint();
};

namespace {

std::set<const Dialog*>& liveDialogs() {
    static std::set<const Dialog*> dialogs;
    return dialogs;
}

// `dialog` when it names a dialog built here that is not destroyed, otherwise null.
Dialog* live(Dialog* dialog) {
    if (!dialog || !liveDialogs().count(dialog) || dialog->destroyed) {
        return nullptr;
    }
    return dialog;
}

} // namespace

Dialog::Dialog(QWidget* owner, DialogProc proc, bool modal)
    : QDialog(owner ? owner->window() : nullptr), proc(proc), modal(modal) {
    liveDialogs().insert(this);
}

Dialog::~Dialog() {
    liveDialogs().erase(this);
    if (loop) {
        loop->exit(); // destroyed with its owner while running modally
    }
}

bool Dialog::send(unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    if (destroyed || !proc) {
        return false;
    }
    QPointer<Dialog> guard(this);
    ++procDepth;
    bool handled = proc(this, message, wParam, lParam);
    if (!guard) {
        return handled; // its owner was destroyed meanwhile, and the dialog with it
    }
    --procDepth;
    releaseWhenIdle();
    return handled;
}

void Dialog::command(int id, unsigned notification, QWidget* control) {
    send(WM_COMMAND, (std::uintptr_t(notification) << 16) | (std::uint16_t(id)),
         reinterpret_cast<std::intptr_t>(control));
}

QWidget* Dialog::item(int id) const {
    auto found = controls.find(controlKey(id));
    return found == controls.end() ? nullptr : found->second;
}

void Dialog::stopAllTimers() {
    for (auto& [id, timer] : timers) {
        timer->stop();
        timer->deleteLater();
    }
    timers.clear();
    timersAwaitingPaint.clear();
}

// A timer of a dialog that is about to be shown waits for the dialog's first paint: work that
// the dialog starts from its timer (the upgrade, the indexing) then runs below a window the
// user already sees, also where the window system shows a window some time after it was asked
// to (X11), not at once as the offscreen platform does.
void Dialog::startTimer(unsigned timerId, unsigned milliseconds) {
    QTimer* timer = timers[timerId];
    // A 0 ms QTimer would fire at every turn of the event loop; Windows raises tiny periods too.
    timer->setInterval(int(std::clamp<unsigned>(milliseconds, 1, INT32_MAX)));
    if (willShow && !painted) {
        timer->stop();
        timersAwaitingPaint.insert(timerId);
        return;
    }
    timersAwaitingPaint.erase(timerId);
    timer->start();
}

void Dialog::startTimersAwaitingPaint() {
    for (unsigned timerId : timersAwaitingPaint) {
        auto found = timers.find(timerId);
        if (found != timers.end()) {
            found->second->start();
        }
    }
    timersAwaitingPaint.clear();
}

// The first paint of the window: its own, then its controls', then the flush to the screen all
// happen while this event is handled, so the waiting timers start once it is over. A window
// system that never shows the dialog (a minimised owner, say) holds the timers back a second at
// most.
bool Dialog::event(QEvent* event) {
    if (!painted && willShow && (event->type() == QEvent::Paint || event->type() == QEvent::Show)) {
        if (event->type() == QEvent::Show) {
            QTimer::singleShot(1000, this, [this] {
                painted = true;
                startTimersAwaitingPaint();
            });
        } else {
            painted = true;
            // Once the paint is over, the picture is sent to the window system and waited for
            // (a display server draws what it has received; the work that follows blocks the
            // thread that would send it).
            QMetaObject::invokeMethod(
                this,
                [this] {
                    // The wait handles pending events: the dialog may go meanwhile (its owner
                    // closed, say).
                    QPointer<Dialog> guard(this);
                    QGuiApplication::sync();
                    if (guard) {
                        startTimersAwaitingPaint();
                    }
                },
                Qt::QueuedConnection);
        }
    }
    return QDialog::event(event);
}

// A destroyed modeless dialog is hidden at once; its memory goes once no procedure call is
// running (deleteLater then waits until control is back in the event loop that was running
// when the outermost call began, so no Qt handler of the window is left on the stack).
void Dialog::markDestroyed() {
    destroyed = true;
    stopAllTimers();
    controls.clear();
    idOf.clear();
    tabStops.clear();
    hide();
    releaseWhenIdle();
}

void Dialog::releaseWhenIdle() {
    if (destroyed && !modal && procDepth == 0 && !releaseQueued) {
        releaseQueued = true;
        deleteLater();
    }
}

// Enter presses the focused push button, else the default button when it is enabled, else
// sends IDOK; Escape sends IDCANCEL whether or not a control has that identifier.
void Dialog::keyPressEvent(QKeyEvent* event) {
    const auto modifiers = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
        QWidget* focus = focusWidget();
        if (auto* button = qobject_cast<QPushButton*>(focus); button && idOf.count(button)) {
            if (button->isEnabled()) {
                command(idOf[button], BN_CLICKED, button);
            }
        } else if (hasDefault) {
            QWidget* button = item(defaultId);
            if (!button || button->isEnabled()) {
                command(defaultId, BN_CLICKED, button);
            }
        } else {
            command(IDOK, BN_CLICKED, item(IDOK));
        }
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape && modifiers == Qt::NoModifier) {
        command(IDCANCEL, BN_CLICKED, item(IDCANCEL));
        event->accept();
        return;
    }
    event->ignore();
}

bool Dialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool control = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier);
        if (!control && key->key() == Qt::Key_Tab && !(key->modifiers() & Qt::ShiftModifier)) {
            focusNextPrevChild(true);
            return true;
        }
        if (!control && (key->key() == Qt::Key_Backtab ||
                         (key->key() == Qt::Key_Tab && (key->modifiers() & Qt::ShiftModifier)))) {
            focusNextPrevChild(false);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// The close box and Alt+F4: WM_CLOSE, and IDCANCEL when the procedure leaves it. Qt never
// closes the window itself; only endDialog and destroyDialog take it away. Without a system
// menu the request is refused outright.
void Dialog::closeEvent(QCloseEvent* event) {
    event->ignore();
    if (!hasSystemMenu || destroyed) {
        return;
    }
    QPointer<Dialog> guard(this);
    if (!send(WM_CLOSE, 0, 0) && guard) {
        command(IDCANCEL, BN_CLICKED, item(IDCANCEL));
    }
}

namespace {

bool classIs(const ResName& name, DialogClass ordinal, const char* text) {
    if (name.isText()) {
        return name.text.compare(QLatin1String(text), Qt::CaseInsensitive) == 0;
    }
    return name.ordinal == ordinal;
}

ControlKind controlKind(const DialogItem& item) {
    const ResName& cls = item.windowClass;
    if (classIs(cls, DLG_BUTTON, "Button")) {
        switch (item.style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
        case BS_DEFPUSHBUTTON:
            return ControlKind::PushButton;
        case BS_CHECKBOX:
        case BS_AUTOCHECKBOX:
            return ControlKind::CheckBox;
        case BS_GROUPBOX:
            return ControlKind::GroupBox;
        default:
            return ControlKind::Unsupported;
        }
    }
    if (classIs(cls, DLG_EDIT, "Edit")) {
        return (item.style & ES_MULTILINE) ? ControlKind::Unsupported : ControlKind::Edit;
    }
    if (classIs(cls, DLG_STATIC, "Static")) {
        return ControlKind::Static;
    }
    if (cls.isText() && cls.text.compare("SysDateTimePick32", Qt::CaseInsensitive) == 0) {
        return ControlKind::DatePicker;
    }
    if (cls.isText() && cls.text.compare("msctls_progress32", Qt::CaseInsensitive) == 0) {
        return ControlKind::Progress;
    }
    return ControlKind::Unsupported;
}

QString className(const ResName& name) {
    return name.isText() ? name.text : QString("#%1").arg(name.ordinal);
}

// A static text as Windows draws it: '&' underlines the next character (shown plainly here)
// and "&&" is one '&', unless the control has SS_NOPREFIX.
QString staticDisplayText(const QString& text, std::uint32_t style) {
    if (style & SS_NOPREFIX) {
        return text;
    }
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        } else if (text[i] == '&') {
            continue;
        }
        shown += text[i];
    }
    return shown;
}

QWidget* makeStatic(const DialogItem& item, ModuleHandle module, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFocusPolicy(Qt::NoFocus);
    const std::uint32_t type = item.style & SS_TYPEMASK;
    if (type == SS_ICON) {
        if (module && !item.title.isText() && item.title.ordinal) {
            const QIcon icon = loadIcon(module, item.title.ordinal);
            label->setPixmap(icon.pixmap(32, 32));
        }
        return label;
    }
    Qt::Alignment horizontal = Qt::AlignLeft;
    if (type == SS_CENTER) {
        horizontal = Qt::AlignHCenter;
    } else if (type == SS_RIGHT) {
        horizontal = Qt::AlignRight;
    }
    // Windows statics draw from the top and wrap at word boundaries (all but the no-wrap kinds).
    label->setAlignment(horizontal | Qt::AlignTop);
    label->setWordWrap(type != SS_LEFTNOWORDWRAP && type != SS_SIMPLE);
    label->setText(staticDisplayText(item.title.text, item.style));
    label->setProperty(rawTextProperty, item.title.text);
    return label;
}

QWidget* makeEdit(const DialogItem& item, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setText(item.title.text);
    edit->setFrame((item.style & WS_BORDER) || (item.exStyle & WS_EX_CLIENTEDGE));
    if (item.style & ES_PASSWORD) {
        edit->setEchoMode(QLineEdit::Password);
    }
    if (item.style & ES_READONLY) {
        edit->setReadOnly(true);
    }
    if (item.style & ES_NUMBER) {
        // Digits 0-9 only. The validator refuses a keystroke or a paste that would leave
        // anything else in the field.
        static const QRegularExpression digits("[0-9]*");
        edit->setValidator(new QRegularExpressionValidator(digits, edit));
    }
    if (item.style & ES_CENTER) {
        edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    } else if (item.style & ES_RIGHT) {
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return edit;
}

QWidget* makeDatePicker(QWidget* parent) {
    auto* picker = new QDateEdit(QDate::currentDate(), parent);
    picker->setCalendarPopup(true);
    // The locale's short date, always with a four-digit year.
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains("yyyy")) {
        format.replace("yy", "yyyy");
    }
    picker->setDisplayFormat(format);
    return picker;
}

QWidget* makeProgress(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QWidget* makeControl(ControlKind kind, const DialogItem& item, ModuleHandle module,
                     QWidget* parent) {
    switch (kind) {
    case ControlKind::PushButton: {
        auto* button = new QPushButton(item.title.text, parent);
        button->setAutoDefault(false); // Enter is the dialog's business, as on Windows
        button->setDefault((item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        button->setProperty(rawTextProperty, item.title.text);
        return button;
    }
    case ControlKind::CheckBox: {
        auto* box = new QCheckBox(item.title.text, parent);
        box->setProperty(rawTextProperty, item.title.text);
        return box;
    }
    case ControlKind::GroupBox: {
        auto* group = new QGroupBox(item.title.text, parent);
        group->setFocusPolicy(Qt::NoFocus);
        return group;
    }
    case ControlKind::Edit:
        return makeEdit(item, parent);
    case ControlKind::Static:
        return makeStatic(item, module, parent);
    case ControlKind::DatePicker:
        return makeDatePicker(parent);
    case ControlKind::Progress:
        return makeProgress(parent);
    case ControlKind::Unsupported:
        break;
    }
    return nullptr;
}

// Turns the control's user actions into WM_COMMAND notifications.
void connectNotifications(Dialog* dialog, ControlKind kind, QWidget* control, int id,
                          std::uint32_t style) {
    if (kind == ControlKind::PushButton) {
        QObject::connect(static_cast<QPushButton*>(control), &QPushButton::clicked, dialog,
                         [dialog, control, id] { dialog->command(id, BN_CLICKED, control); });
    } else if (kind == ControlKind::CheckBox) {
        const bool automatic = (style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
        auto* box = static_cast<QCheckBox*>(control);
        QObject::connect(
            box, &QCheckBox::clicked, dialog, [dialog, box, id, automatic](bool checked) {
                if (!automatic) {
                    box->setChecked(!checked); // BS_CHECKBOX: only the procedure checks it
                }
                dialog->command(id, BN_CLICKED, box);
            });
    } else if (kind == ControlKind::Edit) {
        QObject::connect(static_cast<QLineEdit*>(control), &QLineEdit::textChanged, dialog,
                         [dialog, control, id] { dialog->command(id, EN_CHANGE, control); });
    }
}

bool canTakeTabStop(ControlKind kind) {
    return kind != ControlKind::Static && kind != ControlKind::GroupBox &&
           kind != ControlKind::Progress;
}

// Whether `text` drawn as a Windows static (wrapped at words unless `wrap` is false) fits a box
// of `size`: every line within the width and all lines within the height.
bool textFits(const QFontMetrics& metrics, const QString& text, QSize size, bool wrap) {
    const int flags = Qt::AlignLeft | Qt::AlignTop | (wrap ? Qt::TextWordWrap : 0);
    const QRect needed = metrics.boundingRect(QRect(0, 0, size.width(), 1 << 20), flags, text);
    return needed.width() <= size.width() && needed.height() <= size.height();
}

// DejaVu Sans sets ordinary text a little wider, against its average letter width, than the
// Windows fonts the templates were drawn for, so a tight left-aligned static text can overflow
// its box. Such a text takes the free room to its right, up to the nearest control beside it
// or the dialog's edge, as much as it needs (all of it at most); a text that fits keeps its box.
void widenStaticToFit(QLabel* label, const std::vector<QWidget*>& siblings, int clientWidth) {
    if (!(label->alignment() & Qt::AlignLeft) || label->text().isEmpty()) {
        return;
    }
    const QFontMetrics metrics(label->font());
    const QRect box = label->geometry();
    if (textFits(metrics, label->text(), box.size(), label->wordWrap())) {
        return;
    }
    int limit = clientWidth;
    for (QWidget* other : siblings) {
        const QRect rect = other->geometry();
        const bool beside = rect.top() <= box.bottom() && rect.bottom() >= box.top();
        if (other != label && beside && rect.left() > box.right()) {
            limit = std::min(limit, rect.left());
        }
    }
    for (int width = box.width() + 1; box.left() + width <= limit; ++width) {
        if (textFits(metrics, label->text(), QSize(width, box.height()), label->wordWrap())) {
            label->resize(width, box.height());
            return;
        }
    }
    label->resize(std::max(box.width(), limit - box.left()), box.height()); // all there is
}

// Places the dialog's client area at the template's position: relative to the owner window's
// top-left, or to the screen without an owner; kept on the screen as Windows does.
void placeDialog(Dialog* dialog, const DialogTemplate& tmpl, const DialogUnits& units,
                 QWidget* owner) {
    const QSize size(units.toPixelsX(tmpl.cx), units.toPixelsY(tmpl.cy));
    QScreen* screen = owner ? owner->window()->screen() : QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    QPoint origin = owner ? owner->window()->mapToGlobal(QPoint(0, 0))
                          : (screen ? screen->geometry().topLeft() : QPoint());
    QPoint topLeft = origin + QPoint(units.toPixelsX(tmpl.x), units.toPixelsY(tmpl.y));
    if (tmpl.style & DS_CENTER) {
        const QRect area = owner ? owner->window()->geometry() : available;
        topLeft = area.center() - QPoint(size.width() / 2, size.height() / 2);
    }
    if (!available.isEmpty()) {
        topLeft.setX(std::max(available.left(),
                              std::min(topLeft.x(), available.right() + 1 - size.width())));
        topLeft.setY(std::max(available.top(),
                              std::min(topLeft.y(), available.bottom() + 1 - size.height())));
    }
    dialog->setFixedSize(size);
    dialog->setGeometry(QRect(topLeft, size));
}

// Builds the window and every control; null (with a warning naming the culprit) when an item
// asks for a control this builder does not make.
Dialog* buildDialog(ModuleHandle module, const DialogTemplate& tmpl, QWidget* owner,
                    DialogProc proc, bool modal) {
    std::vector<ControlKind> kinds;
    for (const DialogItem& item : tmpl.items) {
        kinds.push_back(controlKind(item));
        if (kinds.back() == ControlKind::Unsupported) {
            qWarning("Dialog \"%s\": control %d of class %s (style 0x%08x) cannot be built",
                     qUtf8Printable(tmpl.caption), int(item.id),
                     qUtf8Printable(className(item.windowClass)), unsigned(item.style));
            return nullptr;
        }
    }

    auto* dialog = new Dialog(owner, proc, modal);
    dialog->hasSystemMenu = tmpl.style & WS_SYSMENU;
    dialog->willShow = modal || (tmpl.style & WS_VISIBLE);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (dialog->hasSystemMenu) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (tmpl.style & WS_MINIMIZEBOX) {
            flags |= Qt::WindowMinimizeButtonHint;
        }
    }
    dialog->setWindowFlags(flags);
    dialog->setSizeGripEnabled(false);
    dialog->setWindowTitle(tmpl.caption);
    const QFont font = dialogFont(tmpl);
    dialog->setFont(font);
    const DialogUnits units = dialogUnitsFor(font);

    std::vector<QWidget*> built;
    for (std::size_t i = 0; i < tmpl.items.size(); ++i) {
        const DialogItem& item = tmpl.items[i];
        QWidget* control = makeControl(kinds[i], item, module, dialog);
        built.push_back(control);
        control->setGeometry(units.toPixelsX(item.x), units.toPixelsY(item.y),
                             units.toPixelsX(item.cx), units.toPixelsY(item.cy));
        control->setEnabled(!(item.style & WS_DISABLED));
        control->setVisible(item.style & WS_VISIBLE);
        if (canTakeTabStop(kinds[i])) {
            const bool tabStop = item.style & WS_TABSTOP;
            control->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
            if (tabStop) {
                dialog->tabStops.push_back(control);
            }
        }
        const int id = item.id;
        dialog->controls.emplace(controlKey(id), control);
        dialog->idOf[control] = id;
        if (kinds[i] == ControlKind::PushButton && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON &&
            !dialog->hasDefault) {
            dialog->hasDefault = true;
            dialog->defaultId = id;
        }
        connectNotifications(dialog, kinds[i], control, id, item.style);
        if (kinds[i] == ControlKind::DatePicker) {
            control->installEventFilter(dialog);
            for (QWidget* part : control->findChildren<QWidget*>()) {
                part->installEventFilter(dialog);
            }
        }
    }
    for (QWidget* control : built) {
        if (auto* label = qobject_cast<QLabel*>(control)) {
            widenStaticToFit(label, built, units.toPixelsX(tmpl.cx));
        }
    }
    for (std::size_t i = 1; i < dialog->tabStops.size(); ++i) {
        QWidget::setTabOrder(dialog->tabStops[i - 1], dialog->tabStops[i]);
    }
    placeDialog(dialog, tmpl, units, owner);
    return dialog;
}

// WM_INITDIALOG, then the focus as Windows gives it when the procedure returns true: the
// first enabled, visible tab stop (an edit gets its text selected), else the default button.
// Returns false when the procedure ended or destroyed the dialog meanwhile.
bool initialise(Dialog* dialog, std::intptr_t initParam) {
    QPointer<Dialog> guard(dialog);
    const bool setFocus = dialog->send(WM_INITDIALOG, 0, initParam);
    if (!guard || dialog->destroyed || dialog->ended) {
        return false;
    }
    if (setFocus) {
        QWidget* target = nullptr;
        for (QWidget* control : dialog->tabStops) {
            if (control->isEnabled() && !control->isHidden()) {
                target = control;
                break;
            }
        }
        if (!target && dialog->hasDefault) {
            target = dialog->item(dialog->defaultId);
        }
        if (target) {
            target->setFocus(Qt::TabFocusReason);
        }
    }
    return true;
}

} // namespace

std::intptr_t dialogBoxIndirectParam(ModuleHandle module, const DialogTemplate& tmpl,
                                     QWidget* owner, DialogProc proc, std::intptr_t initParam) {
    Dialog* dialog = buildDialog(module, tmpl, owner, proc, true);
    if (!dialog) {
        return -1;
    }
    // The owner's window (with its own owners) takes no input while the dialog runs; a dialog
    // without an owner holds every window of the program.
    dialog->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
    QPointer<Dialog> guard(dialog);
    if (initialise(dialog, initParam)) {
        QEventLoop loop;
        dialog->loop = &loop;
        dialog->show();
        dialog->activateWindow();
        if (guard && !dialog->ended) {
            loop.exec(QEventLoop::DialogExec);
        }
        if (guard) {
            dialog->loop = nullptr;
        }
    }
    if (!guard) {
        return 0; // destroyed with its owner
    }
    const std::intptr_t result = dialog->result;
    dialog->stopAllTimers();
    dialog->hide();
    delete dialog; // no handler of the dialog is on the stack once its loop has returned
    return result;
}

Dialog* createDialogIndirectParam(ModuleHandle module, const DialogTemplate& tmpl, QWidget* owner,
                                  DialogProc proc, std::intptr_t initParam) {
    Dialog* dialog = buildDialog(module, tmpl, owner, proc, false);
    if (!dialog) {
        return nullptr;
    }
    QPointer<Dialog> guard(dialog);
    if (!initialise(dialog, initParam)) {
        if (guard && !dialog->destroyed) {
            dialog->markDestroyed(); // endDialog during initialisation: no dialog
        }
        return nullptr;
    }
    if (tmpl.style & WS_VISIBLE) {
        dialog->show();
        dialog->activateWindow();
    }
    return dialog;
}

std::intptr_t dialogBoxParam(ModuleHandle module, unsigned templateId, QWidget* owner,
                             DialogProc proc, std::intptr_t initParam) {
    const std::optional<DialogTemplate> tmpl = loadDialog(module, templateId);
    if (!tmpl) {
        return -1;
    }
    return dialogBoxIndirectParam(module, *tmpl, owner, proc, initParam);
}

Dialog* createDialogParam(ModuleHandle module, unsigned templateId, QWidget* owner, DialogProc proc,
                          std::intptr_t initParam) {
    const std::optional<DialogTemplate> tmpl = loadDialog(module, templateId);
    if (!tmpl) {
        return nullptr;
    }
    return createDialogIndirectParam(module, *tmpl, owner, proc, initParam);
}

void endDialog(Dialog* dialog, std::intptr_t result) {
    dialog = live(dialog);
    if (!dialog) {
        return;
    }
    dialog->ended = true;
    dialog->result = result;
    dialog->stopAllTimers();
    if (dialog->loop) {
        dialog->loop->exit();
    } else if (!dialog->modal) {
        dialog->hide(); // a modeless dialog is only hidden; destroyDialog removes it
    }
}

void destroyDialog(Dialog* dialog) {
    dialog = live(dialog);
    if (!dialog) {
        return;
    }
    if (dialog->modal) {
        endDialog(dialog, 0);
        return;
    }
    dialog->markDestroyed();
}

bool isDialogAlive(const Dialog* dialog) {
    return dialog && liveDialogs().count(dialog) && !dialog->destroyed;
}

QWidget* dialogWindow(Dialog* dialog) {
    return live(dialog);
}

QWidget* getDlgItem(Dialog* dialog, int id) {
    dialog = live(dialog);
    return dialog ? dialog->item(id) : nullptr;
}

QString getWindowText(Dialog* dialog) {
    dialog = live(dialog);
    return dialog ? dialog->windowTitle() : QString();
}

void setWindowText(Dialog* dialog, const QString& text) {
    if ((dialog = live(dialog))) {
        dialog->setWindowTitle(text);
    }
}

QString getDlgItemText(Dialog* dialog, int id, int maxChars) {
    QWidget* control = getDlgItem(dialog, id);
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        text = edit->text();
    } else if (auto* picker = qobject_cast<QDateEdit*>(control)) {
        text = picker->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        text = group->title();
    } else if (control) {
        text = control->property(rawTextProperty).toString();
    }
    return maxChars >= 0 ? text.left(maxChars) : text;
}

void setDlgItemText(Dialog* dialog, int id, const QString& text) {
    QWidget* control = getDlgItem(dialog, id);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        edit->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setProperty(rawTextProperty, text);
        label->setText(staticDisplayText(text, 0));
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setProperty(rawTextProperty, text);
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    }
}

bool isDlgButtonChecked(Dialog* dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(getDlgItem(dialog, id));
    return button && button->isCheckable() && button->isChecked();
}

void checkDlgButton(Dialog* dialog, int id, bool checked) {
    auto* button = qobject_cast<QAbstractButton*>(getDlgItem(dialog, id));
    if (button && button->isCheckable()) {
        button->setChecked(checked);
    }
}

void enableDlgItem(Dialog* dialog, int id, bool enable) {
    if (QWidget* control = getDlgItem(dialog, id)) {
        control->setEnabled(enable);
    }
}

QDate getDlgItemDate(Dialog* dialog, int id) {
    auto* picker = qobject_cast<QDateEdit*>(getDlgItem(dialog, id));
    return picker ? picker->date() : QDate();
}

int setProgressPos(QWidget* control, int pos) {
    auto* bar = qobject_cast<QProgressBar*>(control);
    if (!bar) {
        return -1;
    }
    const int previous = bar->value() < bar->minimum() ? bar->minimum() : bar->value();
    bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
    return previous;
}

bool setTimer(Dialog* dialog, unsigned timerId, unsigned milliseconds) {
    dialog = live(dialog);
    if (!dialog || dialog->ended) {
        return false;
    }
    QTimer*& timer = dialog->timers[timerId];
    if (!timer) {
        timer = new QTimer(dialog);
        QTimer* self = timer;
        QObject::connect(timer, &QTimer::timeout, dialog, [dialog, timerId, self] {
            // A timeout already under way when the timer was killed is dropped here.
            auto found = dialog->timers.find(timerId);
            if (found != dialog->timers.end() && found->second == self && !dialog->ended) {
                dialog->send(WM_TIMER, timerId, 0);
            }
        });
    }
    dialog->startTimer(timerId, milliseconds);
    return true;
}

bool killTimer(Dialog* dialog, unsigned timerId) {
    dialog = live(dialog);
    if (!dialog) {
        return false;
    }
    auto found = dialog->timers.find(timerId);
    if (found == dialog->timers.end()) {
        return false;
    }
    found->second->stop();
    found->second->deleteLater(); // it may be the timer whose timeout is running now
    dialog->timers.erase(found);
    dialog->timersAwaitingPaint.erase(timerId);
    return true;
}

// Windows asks for the font at -MulDiv(points, dpi, 72) pixels: a whole pixel size. DejaVu Sans
// stands in for the Windows face names; its condensed member must not be chosen.
QFont dialogFont(const DialogTemplate& tmpl) {
    const int points = (tmpl.style & DS_SETFONT) && tmpl.pointSize ? tmpl.pointSize : 8;
    QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    QFont font("DejaVu Sans");
    font.setStyleHint(QFont::SansSerif);
    font.setStretch(QFont::Unstretched);
    // Fractional advances whatever the desktop's hinting, so texts measure the same everywhere.
    font.setHintingPreference(QFont::PreferVerticalHinting);
    font.setPixelSize(std::max(1, int(std::lround(points * dpi / 72.0))));
    if (tmpl.weight) {
        font.setWeight(QFont::Weight(std::clamp<int>(tmpl.weight, 1, 1000)));
    }
    font.setItalic(tmpl.italic);
    return font;
}

int DialogUnits::toPixelsX(int du) const {
    return int(std::lround(du * baseX / 4.0));
}
int DialogUnits::toPixelsY(int du) const {
    return int(std::lround(du * baseY / 8.0));
}

DialogUnits dialogUnitsFor(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogUnits units;
    units.baseX = (width / 26 + 1) / 2;
    units.baseY = metrics.height();
    return units;
}

DialogUnits dialogUnitsFor(const DialogTemplate& tmpl) {
    return dialogUnitsFor(dialogFont(tmpl));
}

} // namespace tvk
