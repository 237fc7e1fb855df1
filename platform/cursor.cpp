#include "platform/cursor.h"

#include <QGuiApplication>

namespace tvk {

QCursor waitCursorShape() {
    return QCursor(Qt::WaitCursor);
}
QCursor busyCursorShape() {
    return QCursor(Qt::BusyCursor);
}
QCursor sizeWestEastCursorShape() {
    return QCursor(Qt::SplitHCursor);
}

void pushCursor(const QCursor& cursor) {
    QGuiApplication::setOverrideCursor(cursor);
}

void popCursor() {
    QGuiApplication::restoreOverrideCursor();
}

} // namespace tvk
