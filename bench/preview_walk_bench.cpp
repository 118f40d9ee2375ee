// How long the window stops answering while the arrow keys walk a list of
// faxes with the preview open. A list of N rows (copies of the samples, raw
// streams among them) is walked twice, a key every K ms: as fast as a held
// key repeats, where most pages are passed before they arrive, and slowly
// enough for every page to be drawn. A timer ticking every 5 ms on the
// window's thread marks the gaps in which nothing else could run.
//
//   preview_walk_bench [--rows=300] [--fast=30] [--slow=250] SAMPLES_FOLDER
//
// A walk of 0 ms is left out. Prints, per walk, the longest gap, the 99th percentile, the gaps over
// 100 ms and the pages drawn. Runs offscreen unless QT_QPA_PLATFORM says
// otherwise.

#include "ui/window/convert_page.h"
#include "ui/window/main_window.h"
#include "ui/window/preview_pane.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace pagelift;
using namespace pagelift::window;

double elapsedMs(const QElapsedTimer& clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

struct WalkFigures {
    double longestMs = 0;
    double percentile99Ms = 0;
    int over100 = 0;
    int pagesDrawn = 0;
    double lastPageAfterMs = 0;  // from the last key to the last row's page
};

// Walks the list from its first row to its last, a Down key every
// `intervalMs`, and measures the window thread's gaps meanwhile.
WalkFigures walk(ConvertPage& page, int intervalMs)
{
    ResultsList& list = *page.resultsList();
    PreviewPane& preview = *page.previewPane();
    list.setFocus();
    list.setCurrentItem(list.topLevelItem(0));
    QTest::qWait(1500);  // the first page settles

    WalkFigures figures;
    std::vector<double> gaps;
    QElapsedTimer clock;
    clock.start();
    double lastTick = 0;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double now = elapsedMs(clock);
        gaps.push_back(now - lastTick);
        lastTick = now;
    });
    const QString last = ResultsList::faxOf(*list.topLevelItem(list.topLevelItemCount() - 1));
    double lastShown = 0;
    const auto drawn = QObject::connect(&preview, &PreviewPane::pageShown, [&] {
        ++figures.pagesDrawn;
        if (preview.faxPath() == last) lastShown = elapsedMs(clock);
    });
    heartbeat.start(5);
    lastTick = elapsedMs(clock);

    double lastKey = 0;
    QTimer keys;
    keys.setTimerType(Qt::PreciseTimer);
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (list.indexOfTopLevelItem(list.currentItem()) >= list.topLevelItemCount() - 1) {
            keys.stop();
            return;
        }
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(&list, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(&list, &release);
        lastKey = elapsedMs(clock);
    });
    keys.start(intervalMs);
    if (!QTest::qWaitFor([&] { return !keys.isActive() && lastShown > lastKey; }, 600000)) {
        std::fprintf(stderr, "the last row's page did not appear\n");
    }
    figures.lastPageAfterMs = lastShown - lastKey;
    heartbeat.stop();
    QObject::disconnect(drawn);

    // The tick's own 5 ms are no stall.
    for (double& gap : gaps) gap = std::max(0.0, gap - 5.0);
    std::sort(gaps.begin(), gaps.end());
    if (!gaps.empty()) {
        figures.longestMs = gaps.back();
        figures.percentile99Ms = gaps[gaps.size() * 99 / 100];
        figures.over100 = int(std::count_if(gaps.begin(), gaps.end(), [](double gap) { return gap > 100.0; }));
    }
    return figures;
}

int numberOption(int argc, char** argv, const char* name, int fallback)
{
    const size_t length = std::strlen(name);
    for (int index = 1; index < argc; ++index) {
        if (std::strncmp(argv[index], name, length) == 0) return std::atoi(argv[index] + length);
    }
    return fallback;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = numberOption(argc, argv, "--rows=", 300);
    const int fast = numberOption(argc, argv, "--fast=", 30);
    const int slow = numberOption(argc, argv, "--slow=", 250);
    const QString samples = argc > 1 && argv[argc - 1][0] != '-' ? QString::fromLocal8Bit(argv[argc - 1]) : QString();
    const QStringList sources = QDir(samples).entryList({QStringLiteral("*.tif"), QStringLiteral("*.tiff"), QStringLiteral("*.g3")}, QDir::Files);
    if (sources.isEmpty()) {
        std::fprintf(stderr, "usage: preview_walk_bench [--rows=N] [--fast=MS] [--slow=MS] SAMPLES_FOLDER\n");
        return 2;
    }

    QTemporaryDir scratch;
    const QString folder = scratch.filePath(QStringLiteral("faxes"));
    QDir().mkpath(folder);
    for (int row = 0; row < rows; ++row) {
        const QString source = sources[row % sources.size()];
        const QString copy = folder + QStringLiteral("/fax%1.%2").arg(row, 3, 10, QLatin1Char('0')).arg(QFileInfo(source).suffix());
        if (!QFile::copy(samples + "/" + source, copy)) return 1;
    }

    WindowSetup setup;
    setup.settingsFile = scratch.filePath(QStringLiteral("pagelift.ini")).toStdString();
    // The list's rows are what the bench needs, not their outputs.
    setup.convert = [](const ConversionOptions&, const std::string&, const std::string&, const FileContext&) {
        return FileConversion{};
    };
    setup.openUrl = [](const QUrl&) { return true; };
    MainWindow window(setup);
    window.show();
    window.resize(1400, 900);
    if (!QTest::qWaitForWindowExposed(&window)) return 1;
    ConvertPage& page = *window.convertPage();
    page.sourceBox()->setText(folder);
    page.destinationBox()->setText(scratch.filePath(QStringLiteral("out")));
    page.startRun(false);
    if (!QTest::qWaitFor([&] { return !page.controller().running() && page.controller().workerIdle(); }, 120000) ||
        page.resultsList()->topLevelItemCount() != rows) {
        std::fprintf(stderr, "the list was not filled\n");
        return 1;
    }
    std::printf("%d rows of %lld samples, preview %d x %d pixels\n", rows, static_cast<long long>(sources.size()),
                page.previewPane()->width(), page.previewPane()->height());
    std::fflush(stdout);
    for (const int interval : {fast, slow}) {
        if (interval <= 0) continue;
        const WalkFigures figures = walk(page, interval);
        std::printf("key every %3d ms: longest stall %6.1f ms, 99th percentile %5.1f ms, over 100 ms: %d, "
                    "pages drawn %d, last page %.0f ms after the last key\n",
                    interval, figures.longestMs, figures.percentile99Ms, figures.over100, figures.pagesDrawn,
                    figures.lastPageAfterMs);
        std::fflush(stdout);
    }
    return 0;
}
