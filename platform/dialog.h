// The one generic dialog builder: every dialog of the program is built at run time from its
// template in the language module and driven by a dialog procedure, as on Windows.
#pragma once

#include "platform/module.h"
#include "platform/resources.h"

#include <QString>
#include <cstdint>

class QWidget;

namespace tvk {

// Messages a dialog procedure receives (Windows values).
enum DialogMessage : unsigned {
    WM_CLOSE = 0x0010,      // close box / Alt+F4; unhandled: becomes command IDCANCEL
    WM_SETCURSOR = 0x0020,  // the mouse is over the dialog; handled (true): the procedure set it
    WM_INITDIALOG = 0x0110, // wParam: 0; lParam: the initialisation parameter
    WM_COMMAND = 0x0111,    // wParam: id in the low 16 bits, notification in the high 16 bits
    WM_TIMER = 0x0113,      // wParam: the timer identifier
};

// Notifications carried by WM_COMMAND.
enum DialogNotification : unsigned {
    BN_CLICKED = 0,
    EN_CHANGE = 0x0300,
};

enum DialogCommand : int { IDOK = 1, IDCANCEL = 2 };

class Dialog; // a built dialog window; owned by the builder

// A dialog procedure: returns true when it handled the message. For WM_INITDIALOG, true
// means "give the focus to the default control".
using DialogProc = bool (*)(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam);

// Builds dialog `templateId` of `module` and runs it modally, owned by `owner` (may be null).
// Returns the value given to endDialog, or -1 when the dialog cannot be created.
std::intptr_t dialogBoxParam(ModuleHandle module, unsigned templateId, QWidget* owner,
                             DialogProc proc, std::intptr_t initParam);

// The same from a template already read (tests, and programs that build templates).
std::intptr_t dialogBoxIndirectParam(ModuleHandle module, const DialogTemplate& tmpl,
                                     QWidget* owner, DialogProc proc, std::intptr_t initParam);

// Builds dialog `templateId` and shows it modeless. Returns null when it cannot be created.
// The dialog lives until destroyDialog (or its owner's destruction).
Dialog* createDialogParam(ModuleHandle module, unsigned templateId, QWidget* owner, DialogProc proc,
                          std::intptr_t initParam);

// Ends a modal dialog with `result` once the procedure returns.
void endDialog(Dialog* dialog, std::intptr_t result);
// Destroys a modeless dialog (safe inside its own procedure: deletion is deferred).
void destroyDialog(Dialog* dialog);
// Whether `dialog` still names a live dialog built here.
bool isDialogAlive(const Dialog* dialog);

// The dialog's own window, and its controls by numeric identifier (null when absent).
QWidget* dialogWindow(Dialog* dialog);
QWidget* getDlgItem(Dialog* dialog, int id);

QString getWindowText(Dialog* dialog);
void setWindowText(Dialog* dialog, const QString& text);
// Text of a control, cut to maxChars characters (-1: whole).
QString getDlgItemText(Dialog* dialog, int id, int maxChars = -1);
void setDlgItemText(Dialog* dialog, int id, const QString& text);
bool isDlgButtonChecked(Dialog* dialog, int id);
void checkDlgButton(Dialog* dialog, int id, bool checked);
void enableDlgItem(Dialog* dialog, int id, bool enable);

// One-shot-or-periodic timers by identifier, delivered as WM_TIMER to the procedure.
bool setTimer(Dialog* dialog, unsigned timerId, unsigned milliseconds);
bool killTimer(Dialog* dialog, unsigned timerId);

// Conversion of dialog units to pixels with the dialog's font, as Windows does it.
struct DialogUnits {
    double baseX = 0; // average character width: width("A..Za..z") / 52
    double baseY = 0; // font height
    int toPixelsX(int du) const;
    int toPixelsY(int du) const;
};
DialogUnits dialogUnitsFor(const DialogTemplate& tmpl);

} // namespace tvk
