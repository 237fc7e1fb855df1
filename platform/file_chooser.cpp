#include "platform/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace tvk {

namespace {

FileChooserHook& hookSlot() {
    static FileChooserHook hook;
    return hook;
}

// The folder that holds the last folder chosen, and the folder of the last file chosen: each
// chooser opens there next time. Empty until a choice is made.
QString& lastPlace(bool folder) {
    static QString places[2];
    return places[folder ? 1 : 0];
}

// Where a chooser opens: where the user last chose, while that folder is still there; the home
// folder before any choice (the program's working folder says nothing to the user).
QString startingPlace(bool folder) {
    const QString& last = lastPlace(folder);
    return !last.isEmpty() && QFileInfo(last).isDir() ? last : QDir::homePath();
}

// Asks through the hook or the dialog; a choice made moves the chooser's starting place to the
// folder it was made in.
QString choose(FileChooserCall call) {
    call.directory = startingPlace(call.folder);
    QString chosen;
    if (hookSlot())
        chosen = hookSlot()(call);
    else if (call.folder)
        chosen = QFileDialog::getExistingDirectory(call.owner, call.caption, call.directory,
                                                   QFileDialog::ShowDirsOnly);
    else if (call.save)
        chosen =
            QFileDialog::getSaveFileName(call.owner, call.caption, call.directory, call.filter);
    else
        chosen =
            QFileDialog::getOpenFileName(call.owner, call.caption, call.directory, call.filter);
    if (!chosen.isEmpty())
        lastPlace(call.folder) = QFileInfo(QDir::cleanPath(chosen)).absolutePath();
    return chosen;
}

} // namespace

void setFileChooserHook(FileChooserHook hook) {
    hookSlot() = std::move(hook);
}

QString chooseFolder(QWidget* owner, const QString& caption) {
    return choose(FileChooserCall{owner, caption, QString(), true, QString()});
}

QString chooseFile(QWidget* owner, const QString& caption, const QString& filter) {
    return choose(FileChooserCall{owner, caption, filter, false, QString()});
}

QString chooseSaveFile(QWidget* owner, const QString& caption, const QString& filter) {
    return choose(FileChooserCall{owner, caption, filter, false, QString(), true});
}

} // namespace tvk
