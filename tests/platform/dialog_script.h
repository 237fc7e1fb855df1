// Test helpers for the dialog builder: a dialog procedure that records every message and
// answers through a per-test handler, and the test module holding the templates of
// tests/platform/data/dialogs.rc.
#pragma once

#include "platform/dialog.h"
#include "platform/module.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>

#include <functional>
#include <vector>

namespace tvk::test {

struct DialogMessageRecord {
    Dialog* dialog;
    unsigned message;
    std::uintptr_t wParam;
    std::intptr_t lParam;
};

// What the recording procedure does: records, then asks `handle` (false when unset).
struct DialogScript {
    std::vector<DialogMessageRecord> log;
    std::function<bool(Dialog*, unsigned, std::uintptr_t, std::intptr_t)> handle;
    Dialog* dialog = nullptr; // the dialog of the last WM_INITDIALOG

    // wParam of every WM_COMMAND, in order.
    std::vector<std::uintptr_t> commands() const {
        std::vector<std::uintptr_t> result;
        for (const auto& record : log)
            if (record.message == WM_COMMAND)
                result.push_back(record.wParam);
        return result;
    }
    int count(unsigned message, std::uintptr_t wParam) const {
        int n = 0;
        for (const auto& record : log)
            n += record.message == message && record.wParam == wParam;
        return n;
    }
};

inline DialogScript*& currentScript() {
    static DialogScript* script = nullptr;
    return script;
}

inline bool recordingProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    DialogScript* script = currentScript();
    if (message == WM_INITDIALOG)
        script->dialog = dialog;
    script->log.push_back({dialog, message, wParam, lParam});
    return script->handle ? script->handle(dialog, message, wParam, lParam) : false;
}

inline std::uintptr_t clicked(int id) {
    return std::uintptr_t(std::uint16_t(id));
}
inline std::uintptr_t changed(int id) {
    return (std::uintptr_t(EN_CHANGE) << 16) | id;
}

inline ModuleHandle dialogTestModule() {
    static ModuleHandle module = loadLibrary(DIALOG_MODULE_PATH);
    return module;
}

// A key pressed where the dialog's keyboard focus is (the window itself when none).
inline void press(Dialog* dialog, Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
    QWidget* window = dialogWindow(dialog);
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    QTest::keyClick(target, key, modifiers);
}

// Runs dialog `id` modally and calls `actions` once its loop runs. A dialog still running
// half a second later ends with 99, so a failing test cannot hang.
inline std::intptr_t runModal(DialogScript& script, unsigned id, QWidget* owner,
                              std::function<void(Dialog*)> actions, std::intptr_t init = 1234) {
    QObject context;
    QTimer::singleShot(0, &context, [&script, &context, actions] {
        if (actions)
            actions(script.dialog);
        QTimer::singleShot(500, &context, [&script] { endDialog(script.dialog, 99); });
    });
    return dialogBoxParam(dialogTestModule(), id, owner, recordingProc, init);
}

// Pumps events for `ms` milliseconds.
inline void pump(int ms) {
    QTest::qWait(ms);
}

} // namespace tvk::test
