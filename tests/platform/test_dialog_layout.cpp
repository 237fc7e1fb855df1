// The five dialogs of both language modules as the builder makes them: the pixel geometry of
// the search and connection dialogs against their tables (dialog units typed here, converted
// with font metrics measured here), no text clipped in either language, and screenshots in
// TAVISK_TEST_OUTPUT_DIR/dialogs/ for a look.
#include "platform/dialog.h"
#include "platform/module.h"
#include "platform/resources.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace {

using namespace tvk;

struct Row {
    int id;
    int x, y, cx, cy;
};

struct Layout {
    int cx, cy;
    std::vector<Row> rows; // in template order
};

// Dialog 300, search. French label 305 has its own place.
Layout searchLayout(bool french) {
    return {225,
            166,
            {{-1, 10, 13, 203, 12},
             {313, 9, 25, 206, 12},
             {303, 10, 42, 203, 12},
             {304, 9, 54, 206, 12},
             {301, 9, 77, 40, 10},
             french ? Row{305, 100, 77, 47, 12} : Row{305, 86, 77, 60, 12},
             {306, 156, 74, 60, 14},
             {307, 129, 97, 20, 12},
             {308, 156, 94, 60, 14},
             {-1, 10, 117, 71, 12},
             {316, 83, 115, 32, 12},
             {-1, 120, 117, 28, 12},
             {309, 14, 139, 50, 14},
             {2, 174, 139, 40, 14},
             {302, 74, 139, 40, 14}}};
}

// Dialog 480, connection parameters.
Layout connectionLayout() {
    return {238,
            113,
            {{402, 43, 14, 151, 12},
             {403, 32, 35, 49, 12},
             {404, 32, 47, 58, 12},
             {405, 32, 59, 58, 12},
             {406, 32, 71, 58, 12},
             {407, 32, 83, 58, 12},
             {481, 87, 33, 64, 12},
             {482, 87, 45, 64, 12},
             {483, 87, 57, 64, 12},
             {484, 87, 69, 64, 12},
             {485, 87, 81, 64, 12},
             {1, 169, 46, 40, 14},
             {2, 169, 67, 40, 14}}};
}

// Dialog units to pixels with DejaVu Sans 8 pt measured here: the average character width is
// the width of "A..Za..z" divided by 52, rounded to a whole pixel as Windows does, and x is
// that width / 4; y is the font's height / 8; each value rounded.
struct Measured {
    int baseX, baseY;
    QRect rect(int x, int y, int cx, int cy) const {
        auto px = [](int du, int base, int div) {
            return int(std::lround(du * base / double(div)));
        };
        return {px(x, baseX, 4), px(y, baseY, 8), px(cx, baseX, 4), px(cy, baseY, 8)};
    }
};

Measured measureDialogFont() {
    QFont font("DejaVu Sans");
    font.setStretch(QFont::Unstretched);
    font.setHintingPreference(QFont::PreferVerticalHinting);
    font.setPixelSize(qRound(8 * QGuiApplication::primaryScreen()->logicalDotsPerInchY() / 72));
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {int(std::lround(letters / 52.0)), metrics.height()};
}

QString plainText(QString text) {
    text.replace("&&", QChar(0xE000));
    text.remove('&');
    return text.replace(QChar(0xE000), "&");
}

// The text a widget shows does not fit it: wrapped lines wider or taller than a label,
// a button's or check box's text wider than the room its style leaves for it.
QString clipped(QWidget* widget) {
    const QFontMetrics metrics(widget->font());
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        const int flags = Qt::AlignLeft | Qt::AlignTop | (label->wordWrap() ? Qt::TextWordWrap : 0);
        const QRect needed =
            metrics.boundingRect(QRect(0, 0, label->width(), 1 << 20), flags, label->text());
        if (needed.width() > label->width() || needed.height() > label->height())
            return QString("label \"%1\" needs %2x%3 in %4x%5")
                .arg(label->text())
                .arg(needed.width())
                .arg(needed.height())
                .arg(label->width())
                .arg(label->height());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool box = qobject_cast<QCheckBox*>(button);
        const QRect room = button->style()->subElementRect(
            box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        const QString text = plainText(button->text());
        if (metrics.horizontalAdvance(text) > room.width() || metrics.height() > room.height())
            return QString("button \"%1\" needs %2x%3 in %4x%5")
                .arg(text)
                .arg(metrics.horizontalAdvance(text))
                .arg(metrics.height())
                .arg(room.width())
                .arg(room.height());
    }
    return {};
}

class DialogLayout : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        const char* bin = std::getenv("TAVISK_BIN_DIR");
        ASSERT_TRUE(bin) << "TAVISK_BIN_DIR is not set";
        const std::string path = std::string(bin) + "/tavisk_" + GetParam() + ".so";
        module = loadLibrary(path);
        ASSERT_TRUE(module) << path;
        const ResourceSet* set = moduleResources(module);
        if (!set || resourceIds(*set, RT_DIALOG).empty())
            GTEST_SKIP() << path << " carries no dialog templates yet";
        french = std::string(GetParam()) == "fr";
    }
    void TearDown() override {
        for (Dialog* dialog : built)
            destroyDialog(dialog);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    Dialog* build(unsigned id) {
        Dialog* dialog = createDialogParam(module, id, nullptr, ignoreAll, 0);
        if (dialog)
            built.push_back(dialog);
        return dialog;
    }
    static bool ignoreAll(Dialog*, unsigned message, std::uintptr_t, std::intptr_t) {
        return message == WM_INITDIALOG;
    }

    // Each control of the table where the table puts it. A static text may only be wider,
    // when its text needs it, and then never over the control to its right.
    void expectLayout(Dialog* dialog, const Layout& layout) {
        const Measured units = measureDialogFont();
        QWidget* window = dialogWindow(dialog);
        EXPECT_EQ(window->size(), units.rect(0, 0, layout.cx, layout.cy).size());
        std::vector<QWidget*> withoutId;
        for (QWidget* child : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            bool named = false;
            for (const Row& row : layout.rows)
                named = named || (row.id != -1 && getDlgItem(dialog, row.id) == child);
            if (!named)
                withoutId.push_back(child);
        }
        std::size_t nextWithoutId = 0;
        for (const Row& row : layout.rows) {
            QWidget* control =
                row.id == -1
                    ? (nextWithoutId < withoutId.size() ? withoutId[nextWithoutId++] : nullptr)
                    : getDlgItem(dialog, row.id);
            ASSERT_TRUE(control) << "control " << row.id;
            const QRect expected = units.rect(row.x, row.y, row.cx, row.cy);
            const QRect actual = control->geometry();
            auto* label = qobject_cast<QLabel*>(control);
            if (label && actual.width() > expected.width()) {
                EXPECT_EQ(actual.topLeft(), expected.topLeft()) << row.id;
                EXPECT_EQ(actual.height(), expected.height()) << row.id;
                const QFontMetrics metrics(label->font());
                EXPECT_GT(metrics.horizontalAdvance(label->text()), expected.width())
                    << "label \"" << label->text().toStdString() << "\" widened without need";
                for (QWidget* other : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
                    const bool runsOver = other != control &&
                                          other->geometry().intersects(actual) &&
                                          !other->geometry().intersects(expected);
                    EXPECT_FALSE(runsOver)
                        << "label \"" << label->text().toStdString() << "\" runs over a control";
                }
            } else {
                EXPECT_EQ(actual, expected) << "control " << row.id;
            }
        }
        EXPECT_EQ(nextWithoutId, withoutId.size()) << "controls the table does not list";
    }

    ModuleHandle module = nullptr;
    bool french = false;
    std::vector<Dialog*> built;
};

TEST_P(DialogLayout, SearchDialogGeometry) {
    Dialog* dialog = build(300);
    ASSERT_TRUE(dialog);
    expectLayout(dialog, searchLayout(french));
}

TEST_P(DialogLayout, ConnectionDialogGeometry) {
    Dialog* dialog = build(480);
    ASSERT_TRUE(dialog);
    expectLayout(dialog, connectionLayout());
}

TEST_P(DialogLayout, NoTextClipped) {
    for (unsigned id : {100u, 280u, 300u, 480u, 550u}) {
        Dialog* dialog = build(id);
        ASSERT_TRUE(dialog) << "dialog " << id;
        for (QWidget* child :
             dialogWindow(dialog)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            const QString fault = clipped(child);
            EXPECT_TRUE(fault.isEmpty()) << "dialog " << id << ": " << fault.toStdString();
        }
    }
}

// A picture of each dialog, with a plain title bar naming its caption (the offscreen platform
// draws no window frame), for a person to look at.
TEST_P(DialogLayout, Screenshots) {
    const char* out = std::getenv("TAVISK_TEST_OUTPUT_DIR");
    const QString folder = QString(out ? out : ".") + "/dialogs";
    ASSERT_TRUE(QDir().mkpath(folder));
    for (unsigned id : {100u, 280u, 300u, 480u, 550u}) {
        Dialog* dialog = build(id);
        ASSERT_TRUE(dialog) << "dialog " << id;
        QWidget* window = dialogWindow(dialog);
        window->show();
        const QPixmap client = window->grab();
        const int bar = 24;
        QImage picture(client.width() + 2, client.height() + bar + 1, QImage::Format_RGB32);
        picture.fill(QColor(60, 60, 70));
        QPainter painter(&picture);
        painter.setPen(Qt::white);
        painter.setFont(window->font());
        painter.drawText(QRect(8, 0, client.width() - 30, bar), Qt::AlignVCenter,
                         window->windowTitle());
        if (window->windowFlags() & Qt::WindowCloseButtonHint)
            painter.drawText(QRect(client.width() - 20, 0, 20, bar), Qt::AlignCenter, "X");
        painter.drawPixmap(1, bar, client);
        painter.end();
        const QString file = QString("%1/%2_%3.png").arg(folder).arg(id).arg(GetParam());
        EXPECT_TRUE(picture.save(file)) << file.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, DialogLayout, ::testing::Values("en", "fr"),
                         [](const auto& info) { return std::string(info.param); });

} // namespace
