#include "shell/startup.h"

#include "platform/language.h"
#include "platform/messagebox.h"
#include "platform/resources.h"

#include <QApplication>

namespace tvk {

ModuleHandle langModule = nullptr;

QString languageFileName(unsigned langId) {
    const bool french = primaryLangId(static_cast<std::uint16_t>(langId)) == LANG_FRENCH;
    return QStringLiteral("tavisk_%1.so").arg(french ? QStringLiteral("fr") : QStringLiteral("en"));
}

QString loadLangString(unsigned id) {
    return loadString(langModule, id);
}

int taviskMain(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString fileName = languageFileName(getUserDefaultLangId());
    langModule = loadLibrary(fileName.toStdString());
    if (!langModule) {
        messageBox(nullptr, QStringLiteral("Language file not found"), fileName,
                   MB_OK | MB_ICONERROR);
        return 5;
    }
    return 0;
}

} // namespace tvk
