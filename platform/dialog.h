// The one generic dialog builder: every dialog of the program is built at run time from its
// template in the language module and driven by a dialog procedure, as on Windows.
//
// Keys and close requests reach the procedure as Windows delivers them: Enter presses the
// focused push button, else the default button (nothing when it is disabled), else sends
// IDOK; Escape sends IDCANCEL; the close box and Alt+F4 send WM_CLOSE, then IDCANCEL when the
// procedure leaves WM_CLOSE unhandled; a template without WS_SYSMENU has no close box and
// refuses close requests. A dialog's window handles its own keyboard (Tab in template order
// over the WS_TABSTOP controls), so a modeless dialog needs no help from the main loop.
// Close requests that Qt makes itself are refused too: end the program's loop with
// QCoreApplication::exit, not quit (which asks every window to close first).
#pragma once

#include "platform/module.h"
#include "platform/resources.h"

#include <QDate>
#include <QFont>
#include <QString>
#include <cstdint>

class QWidget;

namespace tvk {

// Messages a dialog procedure receives (Windows values).
enum DialogMessage : unsigned {
    WM_CLOSE = 0x0010,      // close box / Alt+F4; unhandled: becomes command IDCANCEL
    WM_INITDIALOG = 0x0110, // wParam: 0; lParam: the initialisation parameter
    WM_COMMAND = 0x0111,    // wParam: id in the low 16 bits, notification in the high 16 bits;
                            // lParam: the control's QWidget* (0 when there is none)
    WM_TIMER = 0x0113,      // wParam: the timer identifier
};

// Notifications carried by WM_COMMAND.
enum DialogNotification : unsigned {
    BN_CLICKED = 0,
    EN_CHANGE = 0x0300,
};

enum DialogCommand : int { IDOK = 1, IDCANCEL = 2 };

// Window and control styles of dialog templates that the builder understands.
enum DialogStyle : std::uint32_t {
    WS_POPUP = 0x80000000,
    WS_VISIBLE = 0x10000000,
    WS_DISABLED = 0x08000000,
    WS_CAPTION = 0x00C00000,
    WS_BORDER = 0x00800000,
    WS_SYSMENU = 0x00080000,
    WS_GROUP = 0x00020000,
    WS_TABSTOP = 0x00010000,
    WS_MINIMIZEBOX = 0x00020000, // top-level windows only (shares its bit with WS_GROUP)
    WS_MAXIMIZEBOX = 0x00010000, // top-level windows only (shares its bit with WS_TABSTOP)
    WS_EX_CLIENTEDGE = 0x00000200,
    DS_SETFONT = 0x0040,
    DS_MODALFRAME = 0x0080,
    DS_CENTER = 0x0800,
    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    BS_CHECKBOX = 0x2,
    BS_AUTOCHECKBOX = 0x3,
    BS_GROUPBOX = 0x7,
    BS_TYPEMASK = 0xF,
    ES_CENTER = 0x0001,
    ES_RIGHT = 0x0002,
    ES_MULTILINE = 0x0004,
    ES_PASSWORD = 0x0020,
    ES_AUTOHSCROLL = 0x0080,
    ES_READONLY = 0x0800,
    ES_NUMBER = 0x2000,
    SS_LEFT = 0x00,
    SS_CENTER = 0x01,
    SS_RIGHT = 0x02,
    SS_ICON = 0x03,
    SS_LEFTNOWORDWRAP = 0x0C,
    SS_SIMPLE = 0x0B,
    SS_TYPEMASK = 0x1F,
    SS_NOPREFIX = 0x80,
};

class Dialog; // a built dialog window; owned by the builder

// A dialog procedure: returns true when it handled the message. For WM_INITDIALOG, true
// means "give the focus to the first tab-stop control" (false: the procedure set it itself).
using DialogProc = bool (*)(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);

// Builds dialog `templateId` of `module` and runs it modally in a nested event loop, owned by
// `owner` (may be null: then every other window of the program waits for it). The owner's
// window, and the other windows it owns, take no input while the dialog runs. The client area
// is placed at the template's position from the owner window's top-left (from the screen's
// without an owner), kept on the screen. Returns the value given to endDialog, or -1 when the
// template is missing or the dialog cannot be built.
std::intptr_t dialogBoxParam(ModuleHandle module, unsigned templateId, QWidget* owner,
                             DialogProc proc, std::intptr_t initParam);

// The same from a template already read. `module` serves the template's icons (may be null).
std::intptr_t dialogBoxIndirectParam(ModuleHandle module, const DialogTemplate& tmpl,
                                     QWidget* owner, DialogProc proc, std::intptr_t initParam);

// Builds dialog `templateId` and leaves it modeless, shown when its template has WS_VISIBLE.
// Returns null when it cannot be built. The dialog lives until destroyDialog (or its owner's
// destruction).
Dialog* createDialogParam(ModuleHandle module, unsigned templateId, QWidget* owner, DialogProc proc,
                          std::intptr_t initParam);
Dialog* createDialogIndirectParam(ModuleHandle module, const DialogTemplate& tmpl, QWidget* owner,
                                  DialogProc proc, std::intptr_t initParam);

// Ends a modal dialog with `result` once the procedure returns; its timers stop at once.
// Works inside WM_INITDIALOG (the dialog is then never shown).
void endDialog(Dialog* dialog, std::intptr_t result);
// Destroys a modeless dialog: it disappears at once, its controls and timers are gone and
// isDialogAlive turns false. Safe inside its own procedure, also in a procedure call nested in
// another one (a message pumped during a long command): the window's memory is released only
// when the outermost procedure call has returned, and calls on a destroyed dialog do nothing.
// A modal dialog is ended with 0 instead.
void destroyDialog(Dialog* dialog);
// Whether `dialog` still names a live dialog built here (never dereferences it).
bool isDialogAlive(const Dialog* dialog);

// The dialog's own window, and its controls by numeric identifier (null when absent or when
// the dialog is destroyed). Identifiers compare as 16-bit values: -1 and 65535 are the same.
QWidget* dialogWindow(Dialog* dialog);
QWidget* getDlgItem(Dialog* dialog, int id);

QString getWindowText(Dialog* dialog);
void setWindowText(Dialog* dialog, const QString& text);
// Text of a control, cut to maxChars characters (-1: whole). Static texts and buttons give
// their text as written, '&' mnemonics included.
QString getDlgItemText(Dialog* dialog, int id, int maxChars = -1);
void setDlgItemText(Dialog* dialog, int id, const QString& text);
bool isDlgButtonChecked(Dialog* dialog, int id);
void checkDlgButton(Dialog* dialog, int id, bool checked);
void enableDlgItem(Dialog* dialog, int id, bool enable);
// The day selected in a date picker control; a null date when `id` is no date picker.
QDate getDlgItemDate(Dialog* dialog, int id);
// Moves a progress bar control (range 0..100) to `pos`, clamped to the range as Windows does.
// Returns the previous position, or -1 when `control` is no progress bar.
int setProgressPos(QWidget* control, int pos);

// Timers by identifier, delivered as WM_TIMER to the procedure every `milliseconds` until
// killed; setting an identifier again restarts it. A killed timer, or any timer of a dialog
// that has ended or been destroyed, never fires again. False when the dialog is not alive.
// A dialog that is to be shown (modal, or modeless and visible) starts its timers only once it
// has painted itself for the first time (at most a second after it was shown), so that work
// begun from a timer runs below a window the user already sees.
bool setTimer(Dialog* dialog, unsigned timerId, unsigned milliseconds);
bool killTimer(Dialog* dialog, unsigned timerId);

// The font a template asks for: its Windows face name stands for DejaVu Sans, at the
// template's point size (8 when the template names no font) in whole pixels, as Windows
// rounds it.
QFont dialogFont(const DialogTemplate& tmpl);

// Conversion of dialog units to pixels with the dialog's font, as Windows does it: each value
// separately, x * baseX / 4 and y * baseY / 8, rounded to the nearest pixel.
struct DialogUnits {
    // Average character width as Windows computes it: w / 26 + 1, halved, in whole-number
    // arithmetic, where w is the QFontMetrics horizontal advance of "A..Za..z" (52 letters).
    double baseX = 0;
    double baseY = 0; // QFontMetrics::height(): ascent + descent, no leading
    int toPixelsX(int du) const;
    int toPixelsY(int du) const;
};
DialogUnits dialogUnitsFor(const QFont& font);
DialogUnits dialogUnitsFor(const DialogTemplate& tmpl);

} // namespace tvk
