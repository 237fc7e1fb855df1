#include "platform/file_chooser.h"

#include <QFileDialog>

namespace tvk {

namespace {

FileChooserHook& hookSlot() {
    static FileChooserHook hook;
    return hook;
}

} // namespace

void setFileChooserHook(FileChooserHook hook) {
    hookSlot() = std::move(hook);
}

QString chooseFolder(QWidget* owner, const QString& caption) {
    if (hookSlot())
        return hookSlot()(FileChooserCall{owner, caption, QString(), true});
    return QFileDialog::getExistingDirectory(owner, caption, QString(), QFileDialog::ShowDirsOnly);
}

QString chooseFile(QWidget* owner, const QString& caption, const QString& filter) {
    if (hookSlot())
        return hookSlot()(FileChooserCall{owner, caption, filter, false});
    return QFileDialog::getOpenFileName(owner, caption, QString(), filter);
}

} // namespace tvk
