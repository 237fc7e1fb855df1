// Message boxes with the Windows flag and result values. The program shows them through
// messageBox; tests replace the real box with a hook that records and answers each call.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace tvk {

enum MessageBoxFlags : unsigned {
    MB_OK = 0x00000000,
    MB_OKCANCEL = 0x00000001,
    MB_YESNOCANCEL = 0x00000003,
    MB_YESNO = 0x00000004,
    MB_ICONERROR = 0x00000010,
    MB_ICONQUESTION = 0x00000020,
    MB_ICONWARNING = 0x00000030,
    MB_ICONINFORMATION = 0x00000040,
    MB_DEFBUTTON2 = 0x00000100,
    MB_TYPEMASK = 0x0000000F,
    MB_ICONMASK = 0x000000F0,
    MB_DEFMASK = 0x00000F00,
};

enum MessageBoxResult : int { IDOK_BOX = 1, IDCANCEL_BOX = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxCall {
    QWidget* owner = nullptr;
    QString text;
    QString caption;
    unsigned flags = 0;
};

// Shows a modal message box owned by `owner` (null: no owner) and returns the button pressed
// (IDOK_BOX, IDCANCEL_BOX, IDYES or IDNO). As on Windows, a Yes/No box has no close box and ignores
// Escape: only its buttons end it. The first button is the default that Enter presses, unless
// MB_DEFBUTTON2 names the second.
int messageBox(QWidget* owner, const QString& text, const QString& caption, unsigned flags);

// Test hook: while set, messageBox calls the hook instead of showing a box and returns its
// answer. Pass an empty function to remove it.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
void setMessageBoxHook(MessageBoxHook hook);

} // namespace tvk
