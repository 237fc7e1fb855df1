#include "platform/pump.h"

#include <QCoreApplication>

namespace tvk {

namespace {
int pumpDepth = 0;
} // namespace

void pumpMessages(QEventLoop::ProcessEventsFlags flags) {
    ++pumpDepth;
    QCoreApplication::processEvents(flags);
    --pumpDepth;
}

bool insidePump() {
    return pumpDepth > 0;
}

} // namespace tvk
