// Dialog 480 with its real template and the real builder: what it shows, what OK, Cancel and
// the close box do, and the questions and second connection that follow OK.
#include "catalogue/connection.h"
#include "catalogue/settings.h"
#include "lang/resource.h"
#include "platform/dialog.h"
#include "shell/startup.h"
#include "shell/statusbar.h"
#include "tests/catalogue/catalogue_support.h"
#include "tests/support/message_box_script.h"
#include "tests/support/query_log.h"
#include "tests/support/test_server.h"

#include <QAbstractButton>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace tvk;
using namespace tvk::test;

const QString KEEP_UNCONNECTABLE = "Unable to connect with these connection parameters.\nWould "
                                   "you like however to store them ?";
const QString KEEP_UNUSABLE = "Tavisk cannot work with these connection parameters.\nWould you "
                              "like however to store them ?";

// What the test does once the dialog is up: it gets the dialog and returns when done; the
// dialog must have ended by then or be ended by what it did.
std::function<void(Dialog*)> userActions;
QWidget* shownWindow = nullptr; // for comparison only: gone once the dialog ends

// The real procedure, with the test's hand on the dialog once it is initialised.
bool observedProc(Dialog* dialog, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
    const bool handled = connectionDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        shownWindow = dialogWindow(dialog);
        QTimer::singleShot(0, [dialog] { userActions(dialog); });
    }
    return handled;
}

// Runs dialog 480 as command 475 does, with `actions` performed in it.
std::intptr_t runDialog(std::function<void(Dialog*)> actions) {
    userActions = std::move(actions);
    shownWindow = nullptr;
    return dialogBoxParam(langModule, IDD_CONNECTION, nullptr, observedProc, 0);
}

QLineEdit* edit(Dialog* dialog, int id) {
    return qobject_cast<QLineEdit*>(getDlgItem(dialog, id));
}

void type(Dialog* dialog, int id, const QString& text) {
    QLineEdit* line = edit(dialog, id);
    ASSERT_NE(line, nullptr) << id;
    line->setText(text);
}

void press(Dialog* dialog, int id) {
    auto* button = qobject_cast<QAbstractButton*>(getDlgItem(dialog, id));
    ASSERT_NE(button, nullptr) << id;
    button->click();
}

// Types the test server's address into the dialog, with `database`.
void typeTestServer(Dialog* dialog, const std::string& database) {
    type(dialog, IDC_HOST, "127.0.0.1");
    type(dialog, IDC_PORT, QString::number(TestServer::get().port));
    type(dialog, IDC_BASE, QString::fromStdString(database));
    type(dialog, IDC_ACCOUNT, "root");
    type(dialog, IDC_PASSWORD, QString::fromStdString(TestServer::get().password));
}

class ConnectionDialog : public ::testing::Test {
protected:
    void SetUp() override {
        useEnglishModule();
        libraryCalls().clear();
        createStatusBar(&window, QString(), 1);
        connectionSettings = {"127.0.0.1", "root", TestServer::get().password, db.name,
                              TestServer::get().port};
    }
    void TearDown() override { closeCatalogueConnection(); }

    bool stored() const { return QFileInfo(home.settingsFile()).size() > 0; }
    ConnectionSettings storedSettings() {
        const ConnectionSettings inMemory = connectionSettings;
        connectionSettings = ConnectionSettings{};
        readConnectionSettings();
        ConnectionSettings read = connectionSettings;
        connectionSettings = inMemory;
        return read;
    }

    QWidget window;
    ScopedConfigHome home;
    ScopedDatabase db{"tvk_dialog"};
};

TEST_F(ConnectionDialog, ShowsTheSettingsWithThePasswordMasked) {
    connectionSettings = {"db.example", "alice", "secret", "Base", 4321};
    const auto result = runDialog([](Dialog* dialog) {
        EXPECT_EQ(edit(dialog, IDC_HOST)->text(), "db.example");
        EXPECT_EQ(edit(dialog, IDC_PORT)->text(), "4321");
        EXPECT_EQ(edit(dialog, IDC_BASE)->text(), "Base");
        EXPECT_EQ(edit(dialog, IDC_ACCOUNT)->text(), "alice");
        EXPECT_EQ(edit(dialog, IDC_PASSWORD)->text(), "secret");
        EXPECT_EQ(edit(dialog, IDC_PASSWORD)->echoMode(), QLineEdit::Password);
        EXPECT_EQ(edit(dialog, IDC_HOST)->echoMode(), QLineEdit::Normal);
        press(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, 0);
}

TEST_F(ConnectionDialog, CancelAndTheCloseBoxChangeNothing) {
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    MYSQL* open = catalogueConnection;
    EXPECT_EQ(runDialog([](Dialog* dialog) {
                  type(dialog, IDC_HOST, "changed");
                  press(dialog, IDCANCEL);
              }),
              0);
    EXPECT_EQ(runDialog([](Dialog* dialog) {
                  type(dialog, IDC_HOST, "changed");
                  dialogWindow(dialog)->close();
              }),
              0);
    EXPECT_EQ(connectionSettings.host, "127.0.0.1");
    EXPECT_EQ(catalogueConnection, open);
    EXPECT_FALSE(stored());
}

TEST_F(ConnectionDialog, OkAlwaysClosesTheOpenConnectionFirstThenStoresWhatWorks) {
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    ASSERT_EQ(connectToTestServer(db.name), CONNECT_OK);
    const unsigned long before = mysql_thread_id(catalogueConnection);
    QueryLog log;
    EXPECT_EQ(runDialog([](Dialog* dialog) { press(dialog, IDOK); }), 1);
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_NE(mysql_thread_id(catalogueConnection), before);
    // The old connection quit before the new one connected.
    const auto commands = log.commands();
    std::size_t quit = commands.size(), connect = commands.size();
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (commands[i].threadId == before && commands[i].command == "Quit")
            quit = std::min(quit, i);
        if (commands[i].threadId == mysql_thread_id(catalogueConnection) &&
            commands[i].command == "Connect")
            connect = std::min(connect, i);
    }
    EXPECT_LT(quit, connect);
    EXPECT_EQ(libraryCalls(),
              (std::vector<std::string>{"setMsc(open)", "setMsc(none)", "setMsc(open)"}));
    ASSERT_TRUE(stored());
    EXPECT_EQ(storedSettings().database, db.name);
}

TEST_F(ConnectionDialog, AnUnreachableServerAsksWhetherToKeepAndTriesOnceMore) {
    MessageBoxScript boxes;
    boxes.expect("MySQL connection failure", KEEP_UNCONNECTABLE, IDNO);
    QueryLog log;
    EXPECT_EQ(runDialog([](Dialog* dialog) {
                  type(dialog, IDC_PASSWORD, "wrong");
                  press(dialog, IDOK);
              }),
              1);
    ASSERT_EQ(boxes.calls().size(), 1u);
    EXPECT_EQ(boxes.calls()[0].flags, unsigned(MB_YESNO | MB_ICONWARNING));
    EXPECT_EQ(boxes.calls()[0].owner, shownWindow);
    // The record holds what was typed; nothing was stored.
    EXPECT_EQ(connectionSettings.password, "wrong");
    EXPECT_FALSE(stored());
    EXPECT_EQ(catalogueConnection, nullptr);
    // Two attempts: the dialog's, and the refill's with the same settings.
    int connects = 0;
    for (const LoggedCommand& command : log.commands())
        connects += command.command == "Connect" && command.argument.find("root@") == 0;
    EXPECT_GE(connects, 2);
    EXPECT_EQ(
        currentStatusText(),
        QString("Unable to connect to MySQL server on port %1 !").arg(TestServer::get().port));
}

TEST_F(ConnectionDialog, KeepingUnconnectableSettingsStoresThem) {
    MessageBoxScript boxes;
    boxes.expect("MySQL connection failure", KEEP_UNCONNECTABLE, IDYES);
    runDialog([](Dialog* dialog) {
        type(dialog, IDC_PASSWORD, QString(300, 'p'));
        press(dialog, IDOK);
    });
    // Texts are cut to 255 characters.
    EXPECT_EQ(connectionSettings.password, std::string(255, 'p'));
    EXPECT_EQ(storedSettings().password, std::string(255, 'p'));
}

TEST_F(ConnectionDialog, ARefusedCatalogueAsksAndTheRefillRefusesItOnceMore) {
    makeCatalogueWithVersion(db.name, 4, 3);
    MessageBoxScript boxes;
    boxes.expect("Update of Tavisk required", IDOK_BOX)
        .expect("MySQL connection failure", KEEP_UNUSABLE, IDNO)
        .expect("Update of Tavisk required", IDOK_BOX);
    EXPECT_EQ(runDialog([](Dialog* dialog) { press(dialog, IDOK); }), 1);
    EXPECT_EQ(catalogueConnection, nullptr);
    EXPECT_FALSE(stored());
}

TEST_F(ConnectionDialog, APortThatIsNotANumberConnectsWithPortZero) {
    // Over the Unix socket ("localhost") the port does not matter; port 0 is stored as 0 and
    // read back as 3306.
    makeCatalogueWithVersion(db.name, 1, 3);
    MessageBoxScript none;
    runDialog([this](Dialog* dialog) {
        typeTestServer(dialog, db.name);
        type(dialog, IDC_HOST, "localhost");
        type(dialog, IDC_PORT, "33o6");
        press(dialog, IDOK);
    });
    EXPECT_EQ(connectionSettings.port, 0u);
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_EQ(storedSettings().port, 3306u);
}

TEST_F(ConnectionDialog, EmptyFieldsAreUsedAndStoredEmptyThenReadAsDefaults) {
    MessageBoxScript boxes;
    boxes.expect("MySQL connection failure", KEEP_UNCONNECTABLE, IDYES);
    runDialog([](Dialog* dialog) {
        type(dialog, IDC_HOST, "");
        type(dialog, IDC_ACCOUNT, "");
        type(dialog, IDC_BASE, "");
        type(dialog, IDC_PASSWORD, "wrong");
        press(dialog, IDOK);
    });
    EXPECT_EQ(connectionSettings.host, "");
    EXPECT_EQ(connectionSettings.user, "");
    const ConnectionSettings next = storedSettings();
    EXPECT_EQ(next.host, "localhost");
    EXPECT_EQ(next.user, "root");
    EXPECT_EQ(next.database, "Tavisk");
}

TEST_F(ConnectionDialog, AMissingDatabaseIsOfferedAndCreatedFromTheDialog) {
    ScopedDatabase fresh("tvk_dialog", false);
    MessageBoxScript boxes;
    boxes.expect("Database creation", IDYES);
    runDialog([&fresh](Dialog* dialog) {
        type(dialog, IDC_BASE, QString::fromStdString(fresh.name));
        press(dialog, IDOK);
    });
    ASSERT_NE(catalogueConnection, nullptr);
    EXPECT_EQ(versionRow(fresh.name), (std::vector<std::string>{"1", "3"}));
    EXPECT_EQ(storedSettings().database, fresh.name);
}

} // namespace
