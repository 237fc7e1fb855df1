#include "catalogue/settings.h"

#include "browse/tree_contents.h"
#include "catalogue/connection.h"
#include "lang/resource.h"
#include "platform/messagebox.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QMainWindow>

namespace tvk {

namespace {

// Asks whether to keep settings that did not give a usable connection; Yes stores them.
void offerToKeepSettings(Dialog* dialog, unsigned textId) {
    const int answer =
        messageBox(dialogWindow(dialog), loadLangString(textId),
                   loadLangString(IDS_CONNECTION_FAILURE), MB_YESNO | MB_ICONWARNING);
    if (answer == IDYES)
        storeConnectionSettings();
}

} // namespace

bool connectionDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                          std::intptr_t lParam) {
    switch (message) {
    case WM_INITDIALOG:
        setDlgItemText(dialog, IDC_HOST, QString::fromStdString(connectionSettings.host));
        setDlgItemText(dialog, IDC_PORT, QString::number(connectionSettings.port));
        setDlgItemText(dialog, IDC_BASE, QString::fromStdString(connectionSettings.database));
        setDlgItemText(dialog, IDC_ACCOUNT, QString::fromStdString(connectionSettings.user));
        setDlgItemText(dialog, IDC_PASSWORD, QString::fromStdString(connectionSettings.password));
        return true;
    case WM_COMMAND:
        switch (wParam & 0xFFFF) {
        case IDOK:
            applyConnectionSettings(dialog);
            endDialog(dialog, 1);
            return true;
        case IDCANCEL:
            endDialog(dialog, 0);
            return true;
        default:
            return false;
        }
    case WM_CLOSE:
        endDialog(dialog, 0);
        return true;
    default:
        return false;
    }
}

void applyConnectionSettings(Dialog* dialog) {
    closeCatalogueConnection();
    connectionSettings.host = settingText(getDlgItemText(dialog, IDC_HOST, SETTING_TEXT_MAX));
    connectionSettings.port = portNumber(getDlgItemText(dialog, IDC_PORT, SETTING_TEXT_MAX));
    connectionSettings.database = settingText(getDlgItemText(dialog, IDC_BASE, SETTING_TEXT_MAX));
    connectionSettings.user = settingText(getDlgItemText(dialog, IDC_ACCOUNT, SETTING_TEXT_MAX));
    connectionSettings.password =
        settingText(getDlgItemText(dialog, IDC_PASSWORD, SETTING_TEXT_MAX));

    const ConnectResult result =
        connectCatalogue(connectionSettings.host.c_str(), connectionSettings.user.c_str(),
                         connectionSettings.password.c_str(), connectionSettings.port,
                         connectionSettings.database.c_str());
    switch (result) {
    case CONNECT_OK:
        storeConnectionSettings();
        break;
    case CONNECT_REFUSED:
        offerToKeepSettings(dialog, IDS_ASK_KEEP_UNUSABLE_SETTINGS);
        break;
    case CONNECT_FAILED:
        offerToKeepSettings(dialog, IDS_ASK_KEEP_UNCONNECTABLE_SETTINGS);
        break;
    case CONNECT_NO_DATABASE:
        break;
    }
    refillCatalogueTree(mainWindow);
}

void showConnectionDialog() {
    dialogBoxParam(langModule, IDD_CONNECTION, mainWindow, connectionDialogProc, 0);
}

} // namespace tvk
