// Start-up time: from the program's entry to its main window shown, against a bare Qt main
// window with a menu bar, in the same run. Each measurement is a fresh process (this program
// run again with --bare or --tavisk), alternating, and the medians are compared.
#include "shell/main_window.h"
#include "shell/startup.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point started;

// Prints the time from the entry to the first paint of `window` once that paint is done,
// then ends the event loop.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(QWidget* window) : window_(window) { qApp->installEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && watched == window_ && event->type() == QEvent::Paint) {
            seen_ = true;
            QTimer::singleShot(0, [] {
                const auto elapsed =
                    std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
                std::printf("%lld\n", static_cast<long long>(elapsed.count()));
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
        return false;
    }

private:
    QWidget* window_;
    bool seen_ = false;
};

int runBare(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Bare"));
    QMenuBar* bar = window.menuBar();
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    for (const char* text : {"&New\tIns", "&Update\tF5", "&Delete\tDel", "&Search...", "&Quit"})
        file->addAction(QString::fromUtf8(text));
    bar->addMenu(QStringLiteral("&Configuration"))
        ->addAction(QStringLiteral("MySQL C&onnection..."));
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("Summary and inde&x..."));
    help->addAction(QStringLiteral("&About..."));
    // The same size as Tavisk's main window: three quarters of the screen's work area.
    window.resize(QGuiApplication::primaryScreen()->availableGeometry().size() * 3 / 4);
    FirstPaint watch(&window);
    window.show();
    return app.exec();
}

int runTavisk(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (tvk::startApplication())
        return 1;
    FirstPaint watch(tvk::mainWindow);
    const int code = tvk::runMessageLoop();
    tvk::shutdownApplication();
    return code;
}

// Runs this program in `mode` once and returns its start-up time in microseconds.
long long measure(const QString& program, const char* mode) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QString::fromLatin1(mode)});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s run failed\n", mode);
        std::exit(1);
    }
    return std::atoll(child.readAllStandardOutput().constData());
}

long long median(std::vector<long long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    started = Clock::now();
    if (argc > 1 && std::strcmp(argv[1], "--bare") == 0)
        return runBare(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--tavisk") == 0)
        return runTavisk(argc, argv);

    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") &&
        !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    measure(self, "--bare"); // warm the file cache for both
    measure(self, "--tavisk");
    std::vector<long long> bare;
    std::vector<long long> tavisk;
    for (int i = 0; i < runs; ++i) {
        bare.push_back(measure(self, "--bare"));
        tavisk.push_back(measure(self, "--tavisk"));
    }
    const long long bareMedian = median(bare);
    const long long taviskMedian = median(tavisk);
    const long long bareBest = *std::min_element(bare.begin(), bare.end());
    const long long taviskBest = *std::min_element(tavisk.begin(), tavisk.end());
    std::printf("start-up to main window shown, %d runs each (%s)\n", runs,
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("                                   median      best\n");
    std::printf("  bare Qt main window with menu: %7.1f ms %7.1f ms\n", bareMedian / 1000.0,
                bareBest / 1000.0);
    std::printf("  tavisk:                        %7.1f ms %7.1f ms\n", taviskMedian / 1000.0,
                taviskBest / 1000.0);
    std::printf("  ratio:                         %7.2f    %7.2f    (target <= 1.50)\n",
                static_cast<double>(taviskMedian) / static_cast<double>(bareMedian),
                static_cast<double>(taviskBest) / static_cast<double>(bareBest));
    return 0;
}
