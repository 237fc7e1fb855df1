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
    QString directory; // where the chooser opens
    bool save = false; // a file to write, which may not exist yet (files only)
};

// Each chooser opens in the home folder at first, then where the user last chose with it: the
// folder that holds the folder last chosen, or the folder of the file last chosen (the home
// folder again when that folder is gone). Folders and files keep their places apart.

// Asks for an existing folder; empty when the user cancels.
QString chooseFolder(QWidget* owner, const QString& caption);

// Asks for an existing file among those `filter` shows; empty when the user cancels.
QString chooseFile(QWidget* owner, const QString& caption, const QString& filter);

// Asks for a file to write, new or existing (the dialog asks before one is replaced); empty
// when the user cancels. It opens where files were last chosen.
QString chooseSaveFile(QWidget* owner, const QString& caption, const QString& filter);

// Test hook: while set, the choosers call it instead of showing a dialog and return its answer
// (empty: cancelled). Pass an empty function to remove it.
using FileChooserHook = std::function<QString(const FileChooserCall&)>;
void setFileChooserHook(FileChooserHook hook);

} // namespace tvk
