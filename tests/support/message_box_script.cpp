#include "tests/support/message_box_script.h"

#include <gtest/gtest.h>

namespace tvk::test {

MessageBoxScript::MessageBoxScript() {
    setMessageBoxHook([this](const MessageBoxCall& call) { return answer(call); });
}

MessageBoxScript::~MessageBoxScript() {
    setMessageBoxHook({});
    for (const Expected& missing : expected_)
        ADD_FAILURE() << "expected message box never shown: caption \""
                      << missing.caption.toStdString() << "\" text \"" << missing.text.toStdString()
                      << "\"";
}

MessageBoxScript& MessageBoxScript::expect(const QString& caption, const QString& text,
                                           int answer) {
    expected_.push_back({caption, text, answer});
    return *this;
}

int MessageBoxScript::answer(const MessageBoxCall& call) {
    calls_.push_back(call);
    if (expected_.empty()) {
        ADD_FAILURE() << "unexpected message box: caption \"" << call.caption.toStdString()
                      << "\" text \"" << call.text.toStdString() << "\"";
        return (call.flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK_BOX;
    }
    Expected next = expected_.front();
    expected_.pop_front();
    EXPECT_EQ(call.caption.toStdString(), next.caption.toStdString());
    if (!next.text.isEmpty()) {
        EXPECT_EQ(call.text.toStdString(), next.text.toStdString());
    }
    return next.answer;
}

} // namespace tvk::test
