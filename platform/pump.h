// Message pumping inside long work on the one GUI thread: the windows stay painted and
// responsive while a command runs, and code that must not act inside such a nested round (the
// accelerators of the main loop) can tell.
#pragma once

#include <QEventLoop>

namespace tvk {

// Handles the pending events once (QCoreApplication::processEvents with `flags`), counted as a
// nested pump while it runs.
void pumpMessages(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

// Whether a pump is running further up the stack.
bool insidePump();

} // namespace tvk
