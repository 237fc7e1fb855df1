// The status bar and the program's running commentary in it.
#pragma once

#include <QString>

class QStatusBar;
class QWidget;

namespace tvk {

// The status bar of the main window; null before it is created and when its creation failed.
extern QStatusBar* statusBar;

// Creates the status bar of `parent` (one stretched text part and the size grip) with
// `text` into statusBar. Returns 1, or 0 when it could not be created.
int createStatusBar(QWidget* parent, const QString& text, int parts);

// Shows `text` in the status bar (part and drawing type are always 0 in this program). The
// status bar keeps its own copy. Without a status bar nothing happens.
void setStatusText(const QString& text, int part = 0, int type = 0);

// The text the status bar shows now; empty without a status bar.
QString currentStatusText();

} // namespace tvk
