// The folder and file choosers, with a hook through which tests answer them.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tvk {

struct FileChooserCall {
    QWidget* owner = nullptr;
    QString caption;
    QString filter; // name filters, ";;" between them (files only)
    bool folder = false;
};

// Asks for an existing folder; empty when the user cancels.
QString chooseFolder(QWidget* owner, const QString& caption);

// Asks for an existing file among those `filter` shows; empty when the user cancels.
QString chooseFile(QWidget* owner, const QString& caption, const QString& filter);

// Test hook: while set, the choosers call it instead of showing a dialog and return its answer
// (empty: cancelled). Pass an empty function to remove it.
using FileChooserHook = std::function<QString(const FileChooserCall&)>;
void setFileChooserHook(FileChooserHook hook);

} // namespace tvk
