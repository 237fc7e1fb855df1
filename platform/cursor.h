// The three cursors of the program and the program-wide cursor of long work.
#pragma once

#include <QCursor>

namespace tvk {

// The hourglass (Qt::WaitCursor), the arrow with hourglass for work in the background
// (Qt::BusyCursor) and the west-east sizing arrow of the splitter gap (Qt::SplitHCursor).
QCursor waitCursorShape();
QCursor busyCursorShape();
QCursor sizeWestEastCursorShape();

// Shows `cursor` over every window of the program until the matching popCursor; pairs nest,
// so each caller restores exactly the cursor it found.
void pushCursor(const QCursor& cursor);
void popCursor();

} // namespace tvk
