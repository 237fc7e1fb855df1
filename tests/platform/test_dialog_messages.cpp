// The dialog builder's behaviour towards dialog procedures: keys, close requests, timers,
// modal and modeless lives, and the controls' own behaviour, on real widgets.
#include "tests/platform/dialog_script.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

using namespace tvk;
using namespace tvk::test;

class DialogMessages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialogTestModule()) << DIALOG_MODULE_PATH;
        currentScript() = &script;
    }
    void TearDown() override { currentScript() = nullptr; }

    DialogScript script;
};

bool handleInit(Dialog*, unsigned message, std::uintptr_t, std::intptr_t) {
    return message == WM_INITDIALOG;
}

TEST_F(DialogMessages, EnterPressesFocusedOrDefaultButtonAndEscapeSendsCancel) {
    script.handle = handleInit;
    runModal(script, 10, nullptr, [](Dialog* dialog) {
        // Focus went to the first tab stop, the words edit.
        EXPECT_EQ(dialogWindow(dialog)->focusWidget(), getDlgItem(dialog, 100));
        press(dialog, Qt::Key_Return); // from an edit: the default button 105
        getDlgItem(dialog, 104)->setFocus();
        press(dialog, Qt::Key_Enter, Qt::KeypadModifier); // a focused push button: itself
        getDlgItem(dialog, 105)->setFocus();
        press(dialog, Qt::Key_Return);
        getDlgItem(dialog, 100)->setFocus();
        enableDlgItem(dialog, 105, false);
        press(dialog, Qt::Key_Return); // default button disabled: nothing
        press(dialog, Qt::Key_Escape); // no control 2, still IDCANCEL
        endDialog(dialog, 0);
    });
    EXPECT_EQ(script.commands(),
              (std::vector<std::uintptr_t>{clicked(105), clicked(104), clicked(105), clicked(2)}));
    const auto& escape = script.log.back();
    EXPECT_EQ(escape.lParam, 0); // no control 2 to name
}

TEST_F(DialogMessages, EnterWithoutDefaultButtonSendsOk) {
    script.handle = handleInit;
    runModal(script, 11, nullptr, [](Dialog* dialog) {
        press(dialog, Qt::Key_Return);
        press(dialog, Qt::Key_Escape);
        endDialog(dialog, 0);
    });
    EXPECT_EQ(script.commands(), (std::vector<std::uintptr_t>{clicked(IDOK), clicked(IDCANCEL)}));
}

TEST_F(DialogMessages, CloseRequestSendsCloseThenCancelWhenUnhandled) {
    bool handleClose = false;
    script.handle = [&](Dialog*, unsigned message, std::uintptr_t, std::intptr_t) {
        return message == WM_CLOSE && handleClose;
    };
    runModal(script, 10, nullptr, [&](Dialog* dialog) {
        QWidget* window = dialogWindow(dialog);
        EXPECT_TRUE(window->windowFlags() & Qt::WindowCloseButtonHint);
        window->close();
        EXPECT_TRUE(window->isVisible()); // only the procedure ends a dialog
        handleClose = true;
        window->close();
        endDialog(dialog, 0);
    });
    std::vector<unsigned> sequence;
    for (const auto& record : script.log)
        if (record.message != WM_INITDIALOG)
            sequence.push_back(record.message);
    EXPECT_EQ(sequence, (std::vector<unsigned>{WM_CLOSE, WM_COMMAND, WM_CLOSE}));
    EXPECT_EQ(script.commands(), (std::vector<std::uintptr_t>{clicked(IDCANCEL)}));
}

TEST_F(DialogMessages, WithoutSystemMenuNoCloseBoxAndNoCloseRequest) {
    runModal(script, 11, nullptr, [](Dialog* dialog) {
        QWidget* window = dialogWindow(dialog);
        EXPECT_FALSE(window->windowFlags() & Qt::WindowCloseButtonHint);
        EXPECT_FALSE(window->windowFlags() & Qt::WindowSystemMenuHint);
        window->close(); // what Alt+F4 or a window manager would ask
        EXPECT_TRUE(window->isVisible());
        endDialog(dialog, 0);
    });
    EXPECT_EQ(script.count(WM_CLOSE, 0), 0);
    EXPECT_TRUE(script.commands().empty());
}

TEST_F(DialogMessages, TimersFireByIdAndNeverAfterKill) {
    int fives = 0;
    script.handle = [&](Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
        if (message == WM_INITDIALOG) {
            EXPECT_TRUE(setTimer(dialog, 5, 1));
            EXPECT_TRUE(setTimer(dialog, 8, 5));
            EXPECT_TRUE(setTimer(dialog, 9, 5));
        } else if (message == WM_TIMER && wParam == 5 && ++fives == 3) {
            EXPECT_TRUE(killTimer(dialog, 5));
            EXPECT_FALSE(killTimer(dialog, 5));
            setTimer(dialog, 6, 40); // long enough for a stray 5 to show
        } else if (message == WM_TIMER && (wParam == 8 || wParam == 9)) {
            // Both are due together: the first kills both, the other must not follow.
            killTimer(dialog, 8);
            killTimer(dialog, 9);
        } else if (message == WM_TIMER && wParam == 6) {
            endDialog(dialog, 66);
        }
        return message != WM_COMMAND;
    };
    EXPECT_EQ(dialogBoxParam(dialogTestModule(), 10, nullptr, recordingProc, 0), 66);
    EXPECT_EQ(script.count(WM_TIMER, 5), 3);
    EXPECT_EQ(script.count(WM_TIMER, 8) + script.count(WM_TIMER, 9), 1);
    EXPECT_EQ(script.count(WM_TIMER, 6), 1);
}

TEST_F(DialogMessages, NoTimerAfterTheDialogEnds) {
    script.handle = [&](Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
        if (message == WM_INITDIALOG) {
            setTimer(dialog, 281, 1);
            setTimer(dialog, 282, 1);
        } else if (message == WM_TIMER) {
            endDialog(dialog, 7); // neither timer killed
            EXPECT_FALSE(setTimer(dialog, 283, 1));
            pump(20); // work that pumps messages after ending
        }
        return true;
    };
    EXPECT_EQ(dialogBoxParam(dialogTestModule(), 10, nullptr, recordingProc, 0), 7);
    pump(20);
    EXPECT_EQ(script.count(WM_TIMER, 281) + script.count(WM_TIMER, 282), 1);
    EXPECT_EQ(script.count(WM_TIMER, 283), 0);
}

TEST_F(DialogMessages, EndDialogDuringInitialisationNeverShowsIt) {
    bool shown = true;
    script.handle = [&](Dialog* dialog, unsigned message, std::uintptr_t, std::intptr_t lParam) {
        if (message == WM_INITDIALOG) {
            EXPECT_EQ(lParam, 77);
            setTimer(dialog, 1, 1);
            endDialog(dialog, lParam + 1);
            shown = dialogWindow(dialog)->isVisible();
        }
        return true;
    };
    EXPECT_EQ(dialogBoxParam(dialogTestModule(), 10, nullptr, recordingProc, 77), 78);
    pump(10);
    EXPECT_FALSE(shown);
    ASSERT_EQ(script.log.size(), 1u);
    EXPECT_EQ(script.log[0].message, unsigned(WM_INITDIALOG));
}

TEST_F(DialogMessages, ModalResultOwnerBlockedAndPlacedRelativeToOwner) {
    QWidget owner;
    owner.setGeometry(60, 40, 500, 400);
    auto* ownerButton = new QPushButton("Owner's", &owner);
    ownerButton->setGeometry(10, 10, 100, 30);
    int ownerClicks = 0;
    QObject::connect(ownerButton, &QPushButton::clicked, [&] { ++ownerClicks; });
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    const QPoint inButton = ownerButton->geometry().center();

    std::intptr_t init = 0;
    script.handle = [&](Dialog*, unsigned message, std::uintptr_t, std::intptr_t lParam) {
        if (message == WM_INITDIALOG)
            init = lParam;
        return message == WM_INITDIALOG;
    };
    const std::intptr_t result = runModal(script, 10, &owner, [&](Dialog* dialog) {
        QWidget* window = dialogWindow(dialog);
        EXPECT_EQ(QApplication::activeModalWidget(), window);
        QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, inButton);
        EXPECT_EQ(ownerClicks, 0) << "the owner took a click while the modal dialog ran";
        const DialogUnits units = dialogUnitsFor(window->font());
        EXPECT_EQ(window->geometry().topLeft(),
                  owner.mapToGlobal(QPoint(0, 0)) +
                      QPoint(units.toPixelsX(20), units.toPixelsY(10)));
        EXPECT_EQ(window->size(), QSize(units.toPixelsX(200), units.toPixelsY(120)));
        EXPECT_EQ(window->windowTitle(), "Everything");
        endDialog(dialog, 42);
    });
    EXPECT_EQ(result, 42);
    EXPECT_EQ(init, 1234);
    QTest::mouseClick(owner.windowHandle(), Qt::LeftButton, {}, inButton);
    EXPECT_EQ(ownerClicks, 1) << "the owner stayed blocked after the dialog";
}

TEST_F(DialogMessages, ModalWithoutOwnerHoldsTheWholeProgram) {
    QWidget other;
    other.show();
    const std::intptr_t result = runModal(script, 11, nullptr, [&](Dialog* dialog) {
        QWidget* window = dialogWindow(dialog);
        EXPECT_EQ(window->parentWidget(), nullptr);
        EXPECT_EQ(window->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(QApplication::activeModalWidget(), window);
        endDialog(dialog, 0);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(DialogMessages, MissingOrUnbuildableTemplateGivesMinusOneOrNull) {
    EXPECT_EQ(dialogBoxParam(dialogTestModule(), 999, nullptr, recordingProc, 0), -1);
    EXPECT_EQ(createDialogParam(dialogTestModule(), 999, nullptr, recordingProc, 0), nullptr);
    EXPECT_EQ(dialogBoxParam(nullptr, 10, nullptr, recordingProc, 0), -1);
    EXPECT_EQ(dialogBoxParam(dialogTestModule(), 13, nullptr, recordingProc, 0), -1);
    EXPECT_EQ(createDialogParam(dialogTestModule(), 13, nullptr, recordingProc, 0), nullptr);
    EXPECT_TRUE(script.log.empty()); // the procedure never ran
}

TEST_F(DialogMessages, ModelessDestroyedFromItsOwnProcedure) {
    QWidget owner;
    script.handle = [](Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
        if (message == WM_COMMAND && wParam == clicked(IDOK)) {
            destroyDialog(dialog);
            EXPECT_FALSE(isDialogAlive(dialog));
            destroyDialog(dialog); // twice is harmless
        }
        return true;
    };
    Dialog* dialog = createDialogParam(dialogTestModule(), 12, &owner, recordingProc, 5);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(isDialogAlive(dialog));
    QPointer<QWidget> window = dialogWindow(dialog);
    EXPECT_TRUE(window->isVisible()); // WS_VISIBLE
    EXPECT_EQ(window->parentWidget(), &owner);
    static_cast<QPushButton*>(getDlgItem(dialog, IDOK))->click();
    EXPECT_FALSE(isDialogAlive(dialog));
    ASSERT_TRUE(window);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(getDlgItem(dialog, IDOK), nullptr);
    EXPECT_EQ(dialogWindow(dialog), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

// A long command pumps messages; a click on another button meanwhile destroys the dialog. The
// long command then finds no controls, and the window goes only once it has returned.
TEST_F(DialogMessages, ModelessDestroyedInsideANestedProcedureCall) {
    bool afterPump = false;
    script.handle = [&](Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t) {
        if (message == WM_INITDIALOG)
            setTimer(dialog, 3, 1);
        if (message == WM_COMMAND && wParam == clicked(104)) {
            QTimer::singleShot(
                0, [dialog] { static_cast<QPushButton*>(getDlgItem(dialog, 105))->click(); });
            QDeadlineTimer deadline(5000);
            while (isDialogAlive(dialog) && !deadline.hasExpired())
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(isDialogAlive(dialog));
            EXPECT_EQ(getDlgItem(dialog, 100), nullptr);
            enableDlgItem(dialog, 105, true);
            setDlgItemText(dialog, 100, "gone");
            EXPECT_FALSE(setTimer(dialog, 4, 1));
            afterPump = true;
        }
        if (message == WM_COMMAND && wParam == clicked(105))
            destroyDialog(dialog);
        return true;
    };
    Dialog* dialog = createDialogParam(dialogTestModule(), 10, nullptr, recordingProc, 0);
    ASSERT_TRUE(dialog);
    QPointer<QWidget> window = dialogWindow(dialog);
    EXPECT_FALSE(window->isVisible()); // no WS_VISIBLE in this template
    window->show();
    static_cast<QPushButton*>(getDlgItem(dialog, 104))->click();
    EXPECT_TRUE(afterPump);
    const int timersSeen = script.count(WM_TIMER, 3);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    pump(10);
    EXPECT_EQ(script.count(WM_TIMER, 3), timersSeen);
}

class DialogControls : public DialogMessages {
protected:
    void SetUp() override {
        DialogMessages::SetUp();
        dialog = createDialogParam(dialogTestModule(), 10, nullptr, recordingProc, 0);
        ASSERT_TRUE(dialog);
        dialogWindow(dialog)->show();
        script.log.clear();
    }
    void TearDown() override {
        destroyDialog(dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        DialogMessages::TearDown();
    }
    QLineEdit* edit(int id) { return qobject_cast<QLineEdit*>(getDlgItem(dialog, id)); }

    Dialog* dialog = nullptr;
};

TEST_F(DialogControls, DigitsOnlyEditRefusesTypedAndPastedNonDigits) {
    QLineEdit* number = edit(101);
    ASSERT_TRUE(number);
    QTest::keyClicks(number, "12a3-4 ");
    EXPECT_EQ(number->text(), "1234");
    QApplication::clipboard()->setText("5x6");
    number->paste();
    EXPECT_EQ(number->text(), "1234");
    QApplication::clipboard()->setText("\xd9\xa5"); // ARABIC-INDIC DIGIT FIVE: not 0-9
    number->paste();
    EXPECT_EQ(number->text(), "1234");
    QApplication::clipboard()->setText("56");
    number->paste();
    EXPECT_EQ(getDlgItemText(dialog, 101), "123456");
    EXPECT_EQ(script.count(WM_COMMAND, changed(101)), 5); // 4 keys and one paste
}

TEST_F(DialogControls, PasswordEditMasksItsText) {
    QLineEdit* password = edit(102);
    ASSERT_TRUE(password);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_EQ(getDlgItemText(dialog, 102), "secret");
    EXPECT_FALSE(password->displayText().contains("secret"));
    EXPECT_EQ(edit(100)->echoMode(), QLineEdit::Normal);
}

TEST_F(DialogControls, TextsByIdentifierWithLimitsAndMnemonics) {
    setDlgItemText(dialog, 100, "abcdef");
    EXPECT_EQ(script.commands(), (std::vector<std::uintptr_t>{changed(100)}));
    EXPECT_EQ(getDlgItemText(dialog, 100, 3), "abc");
    EXPECT_EQ(getDlgItemText(dialog, 100), "abcdef");
    // Two statics share -1; the first one answers, also as 65535.
    auto* label = qobject_cast<QLabel*>(getDlgItem(dialog, -1));
    ASSERT_TRUE(label);
    EXPECT_EQ(getDlgItem(dialog, 65535), label);
    EXPECT_EQ(label->text(), "Label one");
    EXPECT_EQ(getDlgItemText(dialog, -1), "Label &one");
    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
    EXPECT_TRUE(label->wordWrap());
    EXPECT_EQ(getDlgItemText(dialog, 105), "&Go");
    EXPECT_EQ(getDlgItem(dialog, 4242), nullptr);
    setWindowText(dialog, "Everything : 1->2");
    EXPECT_EQ(getWindowText(dialog), "Everything : 1->2");
}

TEST_F(DialogControls, CheckBoxesNotifyAndOnlyTheAutomaticOneTogglesItself) {
    static_cast<QCheckBox*>(getDlgItem(dialog, 103))->click();
    EXPECT_TRUE(isDlgButtonChecked(dialog, 103));
    static_cast<QCheckBox*>(getDlgItem(dialog, 109))->click();
    EXPECT_FALSE(isDlgButtonChecked(dialog, 109));
    EXPECT_EQ(script.commands(), (std::vector<std::uintptr_t>{clicked(103), clicked(109)}));
    checkDlgButton(dialog, 109, true); // the procedure's own check sends nothing
    EXPECT_TRUE(isDlgButtonChecked(dialog, 109));
    getDlgItem(dialog, 103)->setFocus();
    press(dialog, Qt::Key_Space);
    EXPECT_FALSE(isDlgButtonChecked(dialog, 103));
    EXPECT_EQ(script.commands().size(), 3u);
}

TEST_F(DialogControls, StylesGiveDisabledHiddenAndTabOrder) {
    EXPECT_FALSE(getDlgItem(dialog, 111)->isEnabled());
    EXPECT_TRUE(getDlgItem(dialog, 111)->isVisible());
    EXPECT_FALSE(getDlgItem(dialog, 110)->isVisible());
    EXPECT_TRUE(getDlgItem(dialog, 100)->isVisible());
    // Tab walks the WS_TABSTOP controls in template order, skipping 108 (no tab stop) and
    // the disabled 111.
    getDlgItem(dialog, 100)->setFocus();
    std::vector<int> order;
    for (int i = 0; i < 8; ++i) {
        press(dialog, Qt::Key_Tab);
        QWidget* focus = dialogWindow(dialog)->focusWidget();
        int found = 0;
        for (int id : {100, 101, 102, 103, 104, 105, 106, 108, 109, 111})
            if (getDlgItem(dialog, id) == focus || getDlgItem(dialog, id)->isAncestorOf(focus))
                found = id;
        order.push_back(found);
    }
    EXPECT_EQ(order, (std::vector<int>{101, 102, 103, 106, 109, 104, 105, 100}));
}

TEST_F(DialogControls, DatePickerStartsTodayAndProgressBarClamps) {
    auto* picker = qobject_cast<QDateEdit*>(getDlgItem(dialog, 106));
    ASSERT_TRUE(picker);
    EXPECT_TRUE(picker->calendarPopup());
    EXPECT_EQ(getDlgItemDate(dialog, 106), QDate::currentDate());
    EXPECT_TRUE(picker->displayFormat().contains("yyyy"));
    EXPECT_FALSE(getDlgItemDate(dialog, 100).isValid());

    QWidget* bar = getDlgItem(dialog, 107);
    ASSERT_TRUE(qobject_cast<QProgressBar*>(bar));
    EXPECT_EQ(setProgressPos(bar, 50), 0);
    EXPECT_EQ(setProgressPos(bar, 150), 50);
    EXPECT_EQ(static_cast<QProgressBar*>(bar)->value(), 100);
    EXPECT_EQ(setProgressPos(bar, -3), 100);
    EXPECT_EQ(static_cast<QProgressBar*>(bar)->value(), 0);
    EXPECT_EQ(setProgressPos(getDlgItem(dialog, 100), 5), -1);
}

} // namespace
