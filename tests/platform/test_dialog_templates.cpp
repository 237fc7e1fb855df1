// Dialogs follow their templates: windres-compiled scripts read by the resource reader, built
// by the one builder. A moved or an added control changes the built dialog accordingly.
#include "tests/platform/dialog_script.h"

#include <QDateEdit>
#include <QFontInfo>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QValidator>
#include <gtest/gtest.h>

namespace {

using namespace tvk;
using namespace tvk::test;

class DialogTemplates : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dialogTestModule()) << DIALOG_MODULE_PATH;
        currentScript() = &script;
    }
    void TearDown() override {
        for (Dialog* dialog : built)
            destroyDialog(dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        currentScript() = nullptr;
    }
    Dialog* build(unsigned id, QWidget* owner = nullptr) {
        Dialog* dialog = createDialogParam(dialogTestModule(), id, owner, recordingProc, 0);
        if (dialog)
            built.push_back(dialog);
        return dialog;
    }
    // A rectangle in dialog units, converted with the built dialog's own font.
    static QRect pixels(Dialog* dialog, int x, int y, int cx, int cy) {
        const DialogUnits units = dialogUnitsFor(dialogWindow(dialog)->font());
        return QRect(units.toPixelsX(x), units.toPixelsY(y), units.toPixelsX(cx),
                     units.toPixelsY(cy));
    }

    DialogScript script;
    std::vector<Dialog*> built;
};

TEST_F(DialogTemplates, MovedControlMovesAndOthersStay) {
    Dialog* original = build(20);
    Dialog* moved = build(21);
    ASSERT_TRUE(original && moved);
    EXPECT_EQ(getDlgItem(original, IDOK)->geometry(), pixels(original, 50, 40, 40, 14));
    EXPECT_EQ(getDlgItem(moved, IDOK)->geometry(), pixels(moved, 100, 38, 45, 16));
    EXPECT_EQ(getDlgItem(moved, 300)->geometry(), getDlgItem(original, 300)->geometry());
    EXPECT_EQ(getDlgItem(moved, -1)->geometry(), getDlgItem(original, -1)->geometry());
    EXPECT_EQ(dialogWindow(moved)->size(), dialogWindow(original)->size());
}

TEST_F(DialogTemplates, ExtraControlIsBuiltInItsPlaceAndTabOrder) {
    Dialog* original = build(20);
    Dialog* extended = build(22);
    ASSERT_TRUE(original && extended);
    EXPECT_EQ(getDlgItem(original, 301), nullptr);
    auto* extra = qobject_cast<QLineEdit*>(getDlgItem(extended, 301));
    ASSERT_TRUE(extra);
    EXPECT_EQ(extra->geometry(), pixels(extended, 50, 21, 40, 12));
    EXPECT_TRUE(extra->validator()); // ES_NUMBER
    EXPECT_EQ(dialogWindow(extended)->findChildren<QLineEdit*>(Qt::FindDirectChildrenOnly).size(),
              2);
    // Tab goes from the name to the added edit, then to the button.
    getDlgItem(extended, 300)->setFocus();
    press(extended, Qt::Key_Tab);
    EXPECT_EQ(dialogWindow(extended)->focusWidget(), extra);
    press(extended, Qt::Key_Tab);
    EXPECT_EQ(dialogWindow(extended)->focusWidget(), getDlgItem(extended, IDOK));
}

TEST_F(DialogTemplates, ClassNamesInAnyCaseAndTheTemplateFont) {
    Dialog* dialog = build(12);
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(qobject_cast<QDateEdit*>(getDlgItem(dialog, 201)));
    auto* bar = qobject_cast<QProgressBar*>(getDlgItem(dialog, 202));
    ASSERT_TRUE(bar);
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_TRUE(qobject_cast<QPushButton*>(getDlgItem(dialog, IDOK))->isDefault());
    EXPECT_TRUE(qobject_cast<QLineEdit*>(getDlgItem(dialog, 203)));
    // "MS Shell Dlg" 8 pt: DejaVu Sans in whole pixels, as Windows rounds 8 pt.
    const QFont font = dialogWindow(dialog)->font();
    EXPECT_EQ(QFontInfo(font).family(), "DejaVu Sans");
    EXPECT_EQ(font.pixelSize(),
              qRound(8 * QGuiApplication::primaryScreen()->logicalDotsPerInchY() / 72));
    EXPECT_EQ(QFontInfo(getDlgItem(dialog, 203)->font()).family(), "DejaVu Sans");
}

// A left-aligned static text too long for its box takes the free room to its right, never
// over the control beside it; a text that fits keeps its box.
TEST_F(DialogTemplates, StaticTextTooWideTakesTheRoomBesideIt) {
    DialogTemplate tmpl;
    tmpl.style = WS_POPUP | WS_CAPTION | DS_SETFONT;
    tmpl.cx = 200;
    tmpl.cy = 40;
    tmpl.pointSize = 8;
    tmpl.faceName = "MS Sans Serif";
    auto item = [](int id, std::uint16_t cls, const char* text, std::uint32_t style, int x,
                   int cx) {
        DialogItem it;
        it.id = id;
        it.windowClass.ordinal = cls;
        it.title.text = text;
        it.style = 0x50000000 | style;
        it.x = std::int16_t(x);
        it.y = 5;
        it.cx = std::int16_t(cx);
        it.cy = 12;
        return it;
    };
    tmpl.items = {
        item(1, DLG_STATIC, "A bit too long", SS_LEFT, 5, 20),
        item(2, DLG_EDIT, "", WS_BORDER, 100, 40), item(3, DLG_STATIC, "Fits", SS_LEFT, 150, 40),
        item(4, DLG_STATIC,
             "Far too long for the room it has, even with the whole width of the dialog beside it",
             SS_LEFT, 5, 20)};
    tmpl.items[3].y = 20;
    Dialog* dialog = createDialogIndirectParam(nullptr, tmpl, nullptr, recordingProc, 0);
    ASSERT_TRUE(dialog);
    built.push_back(dialog);
    const QRect wide = getDlgItem(dialog, 1)->geometry();
    const QRect edit = getDlgItem(dialog, 2)->geometry();
    EXPECT_EQ(wide.topLeft(), pixels(dialog, 5, 5, 20, 12).topLeft());
    EXPECT_EQ(wide.height(), pixels(dialog, 5, 5, 20, 12).height());
    EXPECT_GT(wide.width(), pixels(dialog, 5, 5, 20, 12).width());
    EXPECT_LE(wide.right(), edit.left() - 1);
    const QFontMetrics metrics(getDlgItem(dialog, 1)->font());
    EXPECT_LE(metrics.horizontalAdvance("A bit too long"), wide.width());
    EXPECT_GT(metrics.horizontalAdvance("A bit too long"), wide.width() - 2); // no more than needed
    // Nothing beside the last one: it may take the room up to the dialog's edge, no more.
    EXPECT_EQ(getDlgItem(dialog, 4)->geometry().right(), dialogWindow(dialog)->width() - 1);
    EXPECT_EQ(getDlgItem(dialog, 3)->geometry(), pixels(dialog, 150, 5, 40, 12));
}

} // namespace
