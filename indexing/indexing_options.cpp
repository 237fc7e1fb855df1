#include "indexing/indexing_options.h"

#include "lang/resource.h"
#include "platform/settings_store.h"
#include "shell/startup.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tvk {

namespace {

// The values' names in the settings file, written as 0 or 1.
const char* const VALUE_FINGERPRINT_FOLDERS = "empreintes_dossiers";
const char* const VALUE_FINGERPRINT_IMAGES = "empreintes_images";

} // namespace

IndexingOptions readIndexingOptions() {
    IndexingOptions options;
    std::unique_ptr<SettingsKey> key = openSettingsKey();
    if (!key)
        return options;
    QString name, data;
    for (int index = 0; enumSettingsValue(*key, index, name, data) == SETTINGS_OK; ++index) {
        if (name == VALUE_FINGERPRINT_FOLDERS)
            options.fingerprintFolders = data.trimmed() == "1";
        else if (name == VALUE_FINGERPRINT_IMAGES)
            options.fingerprintImages = data.trimmed() != "0";
    }
    return options;
}

void storeIndexingOptions(const IndexingOptions& options) {
    std::unique_ptr<SettingsKey> key = openSettingsKey();
    if (!key)
        return;
    setSettingsNumber(*key, VALUE_FINGERPRINT_FOLDERS, options.fingerprintFolders ? 1 : 0);
    setSettingsNumber(*key, VALUE_FINGERPRINT_IMAGES, options.fingerprintImages ? 1 : 0);
}

bool showIndexingOptionsDialog(QWidget* owner) {
    const IndexingOptions current = readIndexingOptions();
    QDialog dialog(owner);
    dialog.setWindowTitle(loadLangString(IDS_OPTIONS_TITLE));
    auto* layout = new QVBoxLayout(&dialog);
    auto* about = new QLabel(loadLangString(IDS_OPTIONS_ABOUT), &dialog);
    about->setWordWrap(true);
    layout->addWidget(about);
    auto* folders = new QCheckBox(loadLangString(IDS_OPTIONS_FOLDERS), &dialog);
    folders->setChecked(current.fingerprintFolders);
    layout->addWidget(folders);
    auto* images = new QCheckBox(loadLangString(IDS_OPTIONS_IMAGES), &dialog);
    images->setChecked(current.fingerprintImages);
    layout->addWidget(images);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    storeIndexingOptions({folders->isChecked(), images->isChecked()});
    return true;
}

} // namespace tvk
