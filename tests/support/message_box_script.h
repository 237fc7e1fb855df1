// Message boxes in tests: every box the program shows is recorded and answered from a
// script of expected boxes, in order. A box the script did not expect fails the test.
#pragma once

#include "platform/messagebox.h"

#include <QString>
#include <deque>
#include <vector>

namespace tvk::test {

class MessageBoxScript {
public:
    MessageBoxScript();  // installs the hook
    ~MessageBoxScript(); // removes it; expected boxes that never came fail the test

    // The next box must have this caption (and, when `text` is not empty, this text);
    // it is answered with `answer` (IDYES, IDNO or IDOK_BOX).
    MessageBoxScript& expect(const QString& caption, const QString& text, int answer);
    MessageBoxScript& expect(const QString& caption, int answer) {
        return expect(caption, QString(), answer);
    }

    const std::vector<MessageBoxCall>& calls() const { return calls_; }
    bool allShown() const { return expected_.empty(); }

private:
    struct Expected {
        QString caption;
        QString text;
        int answer;
    };
    int answer(const MessageBoxCall& call);

    std::deque<Expected> expected_;
    std::vector<MessageBoxCall> calls_;
};

} // namespace tvk::test
