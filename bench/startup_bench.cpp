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
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point started;

// CPU time of the whole process, which other programs running meanwhile do not inflate.
long long processCpuMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}
long long startedCpu = 0;

// Prints the time from the entry to the end of the first paint of the window that `window`
// names (the window and its children painted and flushed), then ends the event loop. Every
// event of the window or of its platform window is delivered from here, so that the watch
// sees when the delivery that painted returns. The window may not exist yet when the watch
// starts: Tavisk paints its main window during start-up, before the first connection.
class FirstPaint : public QObject {
public:
    explicit FirstPaint(std::function<QWidget*()> window) : window_(std::move(window)) {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        QWidget* window = window_();
        if (done_ || !window)
            return false;
        if (delivering_) {
            if (watched == window && event->type() == QEvent::Paint)
                painted_ = true;
            return false;
        }
        if (watched != window && watched != static_cast<QObject*>(window->windowHandle()))
            return false;
        delivering_ = true;
        QCoreApplication::sendEvent(watched, event);
        delivering_ = false;
        if (painted_) {
            done_ = true;
            const auto elapsed =
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - started);
            std::printf("%lld %lld\n", static_cast<long long>(elapsed.count()),
                        processCpuMicroseconds() - startedCpu);
            std::fflush(stdout);
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
        }
        return true;
    }

private:
    std::function<QWidget*()> window_;
    bool delivering_ = false;
    bool painted_ = false;
    bool done_ = false;
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
    FirstPaint watch([&window]() -> QWidget* { return &window; });
    window.show();
    return app.exec();
}

int runTavisk(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    FirstPaint watch([]() -> QWidget* { return tvk::mainWindow; });
    if (tvk::startApplication())
        return 1;
    const int code = tvk::runMessageLoop();
    tvk::shutdownApplication();
    return code;
}

struct Timing {
    long long wall = 0; // microseconds
    long long cpu = 0;
};

// Runs this program in `mode` once and returns its start-up time.
Timing measure(const QString& program, const char* mode) {
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, {QString::fromLatin1(mode)});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) {
        std::fprintf(stderr, "%s run failed\n", mode);
        std::exit(1);
    }
    Timing timing;
    if (std::sscanf(child.readAllStandardOutput().constData(), "%lld %lld", &timing.wall,
                    &timing.cpu) != 2) {
        std::fprintf(stderr, "%s run printed no timing\n", mode);
        std::exit(1);
    }
    return timing;
}

long long median(std::vector<long long> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    started = Clock::now();
    startedCpu = processCpuMicroseconds();
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
    std::vector<long long> bareWall, bareCpu, taviskWall, taviskCpu;
    for (int i = 0; i < runs; ++i) {
        const Timing bare = measure(self, "--bare");
        const Timing tavisk = measure(self, "--tavisk");
        bareWall.push_back(bare.wall);
        bareCpu.push_back(bare.cpu);
        taviskWall.push_back(tavisk.wall);
        taviskCpu.push_back(tavisk.cpu);
    }
    std::printf("start-up to main window shown, %d runs each (%s), medians\n", runs,
                qgetenv("QT_QPA_PLATFORM").constData());
    std::printf("                                  wall time   CPU time\n");
    std::printf("  bare Qt main window with menu: %7.1f ms %8.1f ms\n", median(bareWall) / 1000.0,
                median(bareCpu) / 1000.0);
    std::printf("  tavisk:                        %7.1f ms %8.1f ms\n", median(taviskWall) / 1000.0,
                median(taviskCpu) / 1000.0);
    std::printf("  ratio:                         %7.2f    %8.2f    (target <= 1.50)\n",
                static_cast<double>(median(taviskWall)) / static_cast<double>(median(bareWall)),
                static_cast<double>(median(taviskCpu)) / static_cast<double>(median(bareCpu)));
    return 0;
}
