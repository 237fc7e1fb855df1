#include "platform/messagebox.h"
#include "tests/support/message_box_script.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <vector>

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

// The real box on screen, once it is up.
QMessageBox* shownBox() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            return box;
    return nullptr;
}

// Shows a real box and, once it is up, presses `keys` on it one after the other. Returns the
// box's answer; a box still open a second later is closed with its default button and fails
// the test.
int answerRealBox(unsigned flags, std::vector<Qt::Key> keys) {
    QTimer::singleShot(0, [keys] {
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr);
        for (Qt::Key key : keys)
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box, key);
    });
    QTimer::singleShot(1000, [] {
        if (QMessageBox* box = shownBox()) {
            ADD_FAILURE() << "the box is still open";
            box->defaultButton()->click();
        }
    });
    return messageBox(nullptr, "Text", "Caption", flags);
}

TEST(MessageBoxReal, EnterPressesTheFirstButtonUnlessTheSecondIsNamed) {
    EXPECT_EQ(answerRealBox(MB_YESNO | MB_ICONQUESTION, {Qt::Key_Return}), IDYES);
    EXPECT_EQ(answerRealBox(MB_YESNO | MB_DEFBUTTON2, {Qt::Key_Return}), IDNO);
    EXPECT_EQ(answerRealBox(MB_OK | MB_ICONERROR, {Qt::Key_Return}), IDOK_BOX);
}

// A Yes/No box has no Cancel: Escape does nothing, and the box has no close box.
TEST(MessageBoxReal, AYesNoBoxIgnoresEscapeAndCannotBeClosed) {
    bool stillOpen = false;
    bool closeBox = true;
    QTimer::singleShot(0, [&] {
        QMessageBox* box = shownBox();
        ASSERT_NE(box, nullptr);
        closeBox = box->windowFlags() & Qt::WindowCloseButtonHint;
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                        Qt::Key_Escape);
        box->close();
        QCoreApplication::processEvents();
        stillOpen = box->isVisible();
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : box,
                        Qt::Key_Return);
    });
    EXPECT_EQ(messageBox(nullptr, "Text", "Caption", MB_YESNO | MB_ICONWARNING), IDYES);
    EXPECT_TRUE(stillOpen);
    EXPECT_FALSE(closeBox);
}

} // namespace
