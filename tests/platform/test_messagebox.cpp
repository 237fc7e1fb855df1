#include "platform/messagebox.h"
#include "tests/support/message_box_script.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using namespace tvk;

TEST(MessageBoxHook, RecordsEveryBoxAndAnswersFromTheScript) {
    test::MessageBoxScript script;
    script.expect("Caption one", "First", IDYES).expect("Caption two", IDNO);
    QWidget owner;
    EXPECT_EQ(messageBox(&owner, "First", "Caption one", MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(messageBox(nullptr, "Second", "Caption two", MB_YESNO | MB_ICONWARNING), IDNO);
    ASSERT_EQ(script.calls().size(), 2u);
    EXPECT_EQ(script.calls()[0].owner, &owner);
    EXPECT_EQ(script.calls()[0].flags, unsigned(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(script.calls()[1].owner, nullptr);
    EXPECT_TRUE(script.allShown());
}

// The real box: Enter presses the default button, which is the first one unless the flags
// name the second.
int answerRealBoxWithEnter(unsigned flags) {
    QTimer::singleShot(0, [] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible()) {
                box->defaultButton()->click();
                return;
            }
        }
    });
    return messageBox(nullptr, "Text", "Caption", flags);
}

TEST(MessageBoxReal, FirstButtonIsTheDefaultUnlessTheSecondIsNamed) {
    EXPECT_EQ(answerRealBoxWithEnter(MB_YESNO | MB_ICONQUESTION), IDYES);
    EXPECT_EQ(answerRealBoxWithEnter(MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(answerRealBoxWithEnter(MB_OK | MB_ICONERROR), IDOK_BOX);
}

} // namespace
