#include "shell/commands.h"

#include "lang/resource.h"

#include <QAction>
#include <map>
#include <memory>

namespace tvk {

namespace {

std::map<int, std::unique_ptr<QAction>>& commandTable() {
    static std::map<int, std::unique_ptr<QAction>> table;
    return table;
}

} // namespace

QAction* commandAction(int id) {
    auto& slot = commandTable()[id];
    if (!slot) {
        slot = std::make_unique<QAction>();
        slot->setData(id);
    }
    return slot.get();
}

void enableCommand(int id, bool enable) {
    commandAction(id)->setEnabled(enable);
    // The three ways to add a disc (from a drive, a folder, an image) share one state.
    if (id == CMD_NEW) {
        commandAction(CMD_NEW_FOLDER)->setEnabled(enable);
        commandAction(CMD_NEW_IMAGE)->setEnabled(enable);
    }
    // The duplicates and the files on discs ask the catalogue as a search does; a disc is
    // verified when it could be updated.
    if (id == CMD_SEARCH) {
        commandAction(CMD_DUPLICATES)->setEnabled(enable);
        commandAction(CMD_FIND_ON_DISCS)->setEnabled(enable);
    }
    if (id == CMD_UPDATE)
        commandAction(CMD_VERIFY)->setEnabled(enable);
}

bool isCommandEnabled(int id) {
    auto found = commandTable().find(id);
    return found == commandTable().end() || found->second->isEnabled();
}

void resetCommands() {
    commandTable().clear();
}

} // namespace tvk
