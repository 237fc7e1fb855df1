// The window's side of an indexing: dialog 550 and the progress bar as progress sinks, whose
// failures become the main window's message boxes.
#include "indexing/indexing_options.h"
#include "indexing/scanner.h"

#include "catalogue/connection.h"
#include "indexing/plg_api.h"
#include "lang/resource.h"
#include "platform/cursor.h"
#include "platform/messagebox.h"
#include "platform/pump.h"
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QElapsedTimer>
#include <QMainWindow>

namespace tvk {

IndexSummary lastIndexing;

namespace {

// The indexing dialog that runs: its request, from its creation until its work ends, and
// whether the user asked it to stop.
struct RunningDialog {
    const IndexRequest* request = nullptr;
    bool working = false;
    bool cancelled = false;
};
RunningDialog running;

// How often a long walk pumps messages between the entries that move the bar, and how often
// the dialog's count of entries changes, in milliseconds.
constexpr qint64 PUMP_INTERVAL_MS = 50;
constexpr qint64 COUNT_INTERVAL_MS = 100;

// What the window does with an indexing's failures: boxes owned by the main window, and the
// hourglass while the work runs.
class WindowSink : public ProgressSink {
public:
    void catalogueFailed() override { showMySqlError(mainWindow); }
    void imageRefused(const std::string& imagePath, int failure) override {
        showImageRefused(imagePath, failure);
    }
    void busy(bool working) override {
        if (working)
            pushCursor(waitCursor);
        else
            popCursor();
    }
};

// Dialog 550 as a progress sink: the bar, the count of entries read, messages pumped at each
// counted entry and every PUMP_INTERVAL_MS in between, and the Cancel of the user.
class DialogSink final : public WindowSink {
public:
    explicit DialogSink(Dialog* dialog) : dialog_(dialog), bar_(getDlgItem(dialog, IDC_PROGRESS)) {
        sincePump_.start();
    }
    void counted(int position, std::uint64_t entries) override {
        setProgressPos(bar_, position);
        showCount(entries);
        pump();
    }
    bool stopRequested(std::uint64_t entries) override {
        if (sincePump_.elapsed() >= PUMP_INTERVAL_MS) {
            showCount(entries);
            pump();
        }
        return running.cancelled;
    }
    void bytesRead(std::uint64_t bytes) override { bytes_ = bytes; }

private:
    void showCount(std::uint64_t entries) {
        if (sinceCount_.isValid() && sinceCount_.elapsed() < COUNT_INTERVAL_MS)
            return;
        const QByteArray count = countText(entries).toUtf8();
        const QByteArray bytes = countText(bytes_).toUtf8();
        // While contents are fingerprinted the bytes read tell how far a large file has come.
        setDlgItemText(
            dialog_, IDC_INDEXING_COUNT,
            bytes_ ? QString::asprintf(loadLangString(IDS_ENTRIES_BYTES_READ).toUtf8().constData(),
                                       count.constData(), bytes.constData())
                   : QString::asprintf(loadLangString(IDS_ENTRIES_READ).toUtf8().constData(),
                                       count.constData()));
        sinceCount_.start();
    }
    void pump() {
        pumpMessages();
        sincePump_.start();
    }
    Dialog* dialog_;
    QWidget* bar_;
    QElapsedTimer sincePump_;
    QElapsedTimer sinceCount_;
    std::uint64_t bytes_ = 0; // contents read for fingerprints so far
};

// A bare progress bar as a progress sink (null: none): moved and messages pumped at each
// counted entry, as the walk has always done; it never asks to stop.
class BarSink final : public WindowSink {
public:
    explicit BarSink(QWidget* bar) : bar_(bar) {}
    void counted(int position, std::uint64_t) override {
        setProgressPos(bar_, position);
        pumpMessages();
    }
    bool stopRequested(std::uint64_t) override { return false; }

private:
    QWidget* bar_;
};

} // namespace

void showImageRefused(const std::string& imagePath, int failure) {
    const QByteArray name = QString::fromLocal8Bit(imagePath.c_str()).toUtf8();
    const QString text =
        loadLangString(failure == PARCOURE_DAMAGED ? IDS_DAMAGED_IMAGE : IDS_NOT_AN_IMAGE);
    messageBox(mainWindow, QString::asprintf(text.toUtf8().constData(), name.constData()),
               loadLangString(IDS_DISC_IMAGE), MB_OK | MB_ICONERROR);
}

int runIndexingDialog(const IndexRequest& request) {
    lastIndexing = IndexSummary{};
    return static_cast<int>(dialogBoxParam(langModule, IDD_INDEXING, mainWindow, indexingDialogProc,
                                           reinterpret_cast<std::intptr_t>(&request)));
}

bool indexingDialogProc(Dialog* dialog, unsigned message, std::uintptr_t wParam,
                        std::intptr_t lParam) {
    if (message == WM_INITDIALOG) {
        running = RunningDialog{reinterpret_cast<const IndexRequest*>(lParam), false, false};
        setTimer(dialog, INDEXING_TIMER_ID, 1);
        return true;
    }
    if (message == WM_COMMAND && (wParam & 0xFFFF) == IDCANCEL) {
        running.cancelled = true;
        enableDlgItem(dialog, IDCANCEL, false);
        if (!running.working) {
            // Stopped before anything was written.
            lastIndexing = IndexSummary{};
            lastIndexing.result = 0;
            lastIndexing.stopped = true;
            running.request = nullptr;
            endDialog(dialog, 0);
        }
        return true;
    }
    if (message != WM_TIMER || wParam != INDEXING_TIMER_ID)
        return false;
    // Killed first, so that the work runs once.
    killTimer(dialog, INDEXING_TIMER_ID);
    const IndexRequest* request = running.request;
    int result = -1;
    if (request) {
        running.working = true;
        const IndexingOptions options = readIndexingOptions();
        const bool image = !request->imagePath.empty();
        const bool fingerprint = image ? options.fingerprintImages : options.fingerprintFolders;
        DialogSink sink(dialog);
        result = image ? indexImage(request->imagePath, request->volumeName, request->discId, sink,
                                    lastIndexing, fingerprint)
                       : indexVolume(request->rootPath, request->volumeName, request->discId, sink,
                                     lastIndexing, fingerprint);
    }
    running = RunningDialog{};
    endDialog(dialog, result);
    return true;
}

int indexVolume(const std::string& rootPath, const std::string& volumeName, int discId,
                QWidget* progressBar) {
    BarSink sink(progressBar);
    return indexVolume(rootPath, volumeName, discId, sink, lastIndexing);
}

int indexImage(const std::string& imagePath, const std::string& volumeName, int discId,
               QWidget* progressBar) {
    BarSink sink(progressBar);
    return indexImage(imagePath, volumeName, discId, sink, lastIndexing);
}

} // namespace tvk
