#include "ui/window/window_program.h"

#include "batch/single_file.h"
#include "settings/working_paths.h"
#include "ui/window/main_window.h"
#include "ui/window_places.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QStyleFactory>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

// Resources of a static library are registered by name, outside any namespace.
static void registerWindowResources()
{
    Q_INIT_RESOURCE(pagelift_window);
}

namespace pagelift::window {
namespace {

// A signal handler may only write to a descriptor; the window's thread reads
// the signal number from the other end and ends the program in order.
int signalPipe[2] = {-1, -1};

void onEndSignal(int signalNumber)
{
    const int savedErrno = errno;
    const char number = static_cast<char>(signalNumber);
    [[maybe_unused]] const ssize_t ignored = ::write(signalPipe[0], &number, 1);
    errno = savedErrno;
}

bool routeEndSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) return false;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = onEndSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(signalNumber, &action, nullptr);
    }
    return true;
}

}  // namespace

int runWindowProgram(int argc, char** argv, int32_t jobs, const DecodeSettings& decode)
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));  // it honours the window's colours
    // Closing the about box while the window is hidden must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    registerWindowResources();

    WorkingPaths& paths = processWorkingPaths();
    paths.settingsFile = settingsFilePath(paths.programFolder);
    WindowSetup setup;
    setup.settingsFile = paths.settingsFile;
    setup.programPath = paths.programPath;
    setup.logPath = paths.resultsLog;
    setup.logFolderCreation = paths.resultsLogMakesParents ? LogFolderCreation::AllParents : LogFolderCreation::OneLevel;
    setup.jobs = jobs;
    setup.decode = decode;
    setup.workingFiles = paths.workingFiles;
    setup.convert = convertFile;

    // Routed before the window exists: a signal that comes while it is being
    // made waits in the pipe until the event loop reads it.
    const bool signalsRouted = routeEndSignals();
    MainWindow window(setup);
    if (signalsRouted) {
        auto* notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char number = 0;
            if (::read(signalPipe[1], &number, 1) == 1) window.requestEnd(128 + number);
        });
    }
    QObject::connect(&application, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.storeSettings(); });
    window.show();
    return QApplication::exec();
}

}  // namespace pagelift::window
