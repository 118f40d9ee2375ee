// The window itself, offscreen: what the tabs show at start, a run over real
// fax files, the list's texts and what its rows open, stopping, ending during
// a run, where the focus stays, the period timer, a window that grows, the
// folder dialogs, help, the copy of the Options values and the settings file
// written at every end.

#include "batch/single_file.h"
#include "faxdoc/fax_document.h"
#include "faxdoc/fax_format.h"
#include "platform/file_lock.h"
#include "platform/partial_file.h"
#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "tests/support/corpus_folder.h"
#include "tests/support/held_converter.h"
#include "tests/support/ocr_module.h"
#include "ui/window/convert_page.h"
#include "ui/window/elided_label.h"
#include "ui/window/main_window.h"
#include "ui/window/options_page.h"
#include "ui/window/preview_pane.h"
#include "ui/window/settings_page.h"
#include "ui/window_places.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QProcess>
#include <QPushButton>
#include <QToolButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QWheelEvent>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QScopeGuard>
#include <QMenu>

#include <cstdlib>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace pagelift::window {
namespace {

using pagelift::testing::HeldConverter;
using pagelift::testing::realConverter;

const QString kCorpus = QString::fromStdString(pagelift::testing::corpusFolder());
const QString kSamples = QStringLiteral(PAGELIFT_SOURCE_DIR "/samples");

std::string text(const QString& qt)
{
    return qt.toStdString();
}

// Closes every message box that opens and keeps its text; cancels every
// file dialog and keeps the folder it showed.
class MessageCatcher : public QObject {
public:
    MessageCatcher()
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + ": " + box->text();
                box->accept();
            }
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dialogFolders << dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        poll_.start(20);
    }
    QStringList seen;
    QStringList dialogFolders;

private:
    QTimer poll_;
};

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> makeWindow(FileConverter convert = realConverter(),
                                           std::chrono::milliseconds stopWait = std::chrono::milliseconds(5000),
                                           const std::string& programPath = {}, PreviewOpener openPreview = {})
    {
        WindowSetup setup;
        setup.settingsFile = settingsFile();
        setup.logPath = text(scratch_->filePath(QStringLiteral("log/plflog.txt")));
        setup.convert = std::move(convert);
        setup.stopWait = stopWait;
        setup.programPath = programPath;
        setup.openPreview = std::move(openPreview);
        // Nothing is ever opened on the desktop: the URLs are kept.
        setup.openUrl = [this](const QUrl& url) {
            opened_ << url;
            return openerWorks_;
        };
        auto window = std::make_unique<MainWindow>(setup);
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
        return window;
    }

    std::string settingsFile() const { return text(scratch_->filePath(QStringLiteral("config/pagelift.ini"))); }

    void writeSettings(const QByteArray& contents)
    {
        QDir().mkpath(scratch_->filePath(QStringLiteral("config")));
        QFile file(QString::fromStdString(settingsFile()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }

    QString readFile(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromLocal8Bit(file.readAll());
    }

    // A folder with `count` fax files copied from the project's samples.
    QString faxFolder(const QString& name, int count)
    {
        const QString folder = scratch_->filePath(name);
        QDir().mkpath(folder);
        const QStringList sources = {QStringLiteral("letter-g3.tif"), QStringLiteral("memo-g4.tif"),
                                     QStringLiteral("notice-packbits.tif")};
        for (int i = 0; i < count; ++i) {
            const QString copy = folder + QStringLiteral("/fax%1.tif").arg(i);
            if (!QFile::copy(kSamples + "/" + sources[i % sources.size()], copy)) qFatal("cannot copy a sample to %s", qPrintable(copy));
        }
        return folder;
    }

    void setSource(MainWindow& window, const QString& source, const QString& destination)
    {
        window.convertPage()->sourceBox()->setText(source);
        window.convertPage()->destinationBox()->setText(destination);
    }

    // Copies a sample fax into `folder` (made as needed) under `name`.
    void copySample(const QString& sample, const QString& folder, const QString& name)
    {
        QDir().mkpath(folder);
        if (!QFile::copy(kSamples + "/" + sample, folder + "/" + name)) qFatal("cannot copy %s", qPrintable(sample));
    }

    void writeFile(const QString& path, const QByteArray& contents)
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
        file.write(contents);
    }

    // Waits for the end of the page's current run.
    bool runEnds(ConvertPage& page)
    {
        return QTest::qWaitFor([&] { return !page.controller().running() && page.controller().workerIdle(); },
                               120000);
    }


    // Converts the faxes of `folder` with the real converter, so that the
    // list holds a row per fax, and widens the window until the preview opens.
    bool listAndOpenPreview(MainWindow& window, const QString& folder)
    {
        ConvertPage& page = *window.convertPage();
        setSource(window, folder, scratch_->filePath(QStringLiteral("out")));
        if (page.startRun(false) != StartResult::Started || !runEnds(page)) return false;
        window.resize(ConvertPage::kPreviewOpensAt + 300, 900);
        return QTest::qWaitFor([&] { return page.previewPane()->width() > 200; }, 5000);
    }

    // A fax of `pages` pages 1728 pixels wide at 204 x `yDpi` dpi, written by
    // ImageMagick in Group 4: black blocks and stripes, placed anew on each page.
    bool blockFax(const QString& path, int yDpi, int pages)
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QStringList arguments;
        for (int number = 0; number < pages; ++number) {
            QImage page(1728, yDpi == 98 ? 1100 : 2200, QImage::Format_Mono);
            page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
            page.fill(0);
            QPainter painter(&page);
            const int shift = number * 150;
            for (const QRect& block : {QRect(100 + shift, 100, 600, 300), QRect(900, 150 + shift, 100, 850),
                                       QRect(200, 600 + shift, 1400, 40), QRect(1200 - shift, 500, 450, 400)}) {
                painter.fillRect(block, Qt::black);
            }
            for (int x = 100; x < 800; x += 6) painter.fillRect(QRect(x, 450 + shift, 3, 100), Qt::black);
            painter.end();
            const QString pbm = path + QStringLiteral(".%1.pbm").arg(number);
            if (!page.save(pbm, "PBM")) return false;
            arguments << pbm;
        }
        arguments << QStringLiteral("-units") << QStringLiteral("PixelsPerInch") << QStringLiteral("-density")
                  << QStringLiteral("204x%1").arg(yDpi) << QStringLiteral("-compress") << QStringLiteral("Group4") << path;
        QProcess convert;
        convert.start(QStringLiteral("/usr/bin/convert"), arguments);
        const bool made = convert.waitForFinished(60000) && convert.exitCode() == 0;
        for (int number = 0; number < pages; ++number) QFile::remove(path + QStringLiteral(".%1.pbm").arg(number));
        return made;
    }

    // The list's row of the file called `name`.
    QTreeWidgetItem* rowNamed(ConvertPage& page, const QString& name)
    {
        const QList<QTreeWidgetItem*> rows = page.resultsList()->findItems(name, Qt::MatchExactly, 0);
        return rows.size() == 1 ? rows.front() : nullptr;
    }

    // ImageMagick's reading of page `index` of a fax, its rows repeated
    // `repeat` times and averaged down to `size`, in 8-bit gray; null when
    // ImageMagick is absent.
    static QImage scaledByImageMagick(const QString& fax, int index, int repeat, QSize size, const QString& scratch)
    {
        const QString output = scratch + QStringLiteral("/oracle.pgm");
        QProcess convert;
        convert.start(QStringLiteral("/usr/bin/convert"),
                      {QStringLiteral("%1[%2]").arg(fax).arg(index), QStringLiteral("-sample"),
                       QStringLiteral("100%x%1%").arg(100 * repeat), QStringLiteral("-scale"),
                       QStringLiteral("%1x%2!").arg(size.width()).arg(size.height()), QStringLiteral("-depth"),
                       QStringLiteral("8"), QStringLiteral("pgm:") + output});
        if (!convert.waitForFinished(60000) || convert.exitCode() != 0) return {};
        return QImage(output).convertToFormat(QImage::Format_Grayscale8);
    }

    // Compares what the preview's view shows with the page scaled by
    // ImageMagick at a grid of points over the page: the mean difference
    // stays within a few levels, and points in plain black or white (the
    // oracle's 3 x 3 neighbourhood one level) match within rounding.
    static void compareShownPage(PageView& view, const QImage& expected)
    {
        QCOMPARE(expected.size(), view.pictureSize());
        const QImage shown = view.viewport()->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
        const QPoint origin = view.pageOrigin();
        double differences = 0;
        int points = 0;
        int plainBlack = 0;
        int plainWhite = 0;
        for (int y = 1; y + 1 < expected.height(); y += 3) {
            for (int x = 1; x + 1 < expected.width(); x += 3) {
                const QPoint at = origin + QPoint(x, y);
                if (!shown.rect().contains(at)) continue;
                const int want = qGray(expected.pixel(x, y));
                const int got = qGray(shown.pixel(at));
                differences += std::abs(want - got);
                ++points;
                bool plain = want == 0 || want == 255;
                for (int dy = -1; dy <= 1 && plain; ++dy) {
                    for (int dx = -1; dx <= 1 && plain; ++dx) plain = qGray(expected.pixel(x + dx, y + dy)) == want;
                }
                if (!plain) continue;
                QVERIFY2(std::abs(want - got) <= 2, qPrintable(QStringLiteral("at %1,%2: %3 for %4").arg(x).arg(y).arg(got).arg(want)));
                (want == 0 ? plainBlack : plainWhite) += 1;
            }
        }
        QVERIFY(points > 10000);
        QVERIFY2(plainBlack > 100 && plainWhite > 1000, qPrintable(QStringLiteral("%1 %2").arg(plainBlack).arg(plainWhite)));
        QVERIFY2(differences / points < 4.0, qPrintable(QString::number(differences / points)));
    }

    std::unique_ptr<QTemporaryDir> scratch_;
    QList<QUrl> opened_;
    bool openerWorks_ = true;

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setQuitOnLastWindowClosed(false);
        // The windows find the OCR module this build made, as the installed
        // program finds its own.
        qputenv("PAGELIFT_OCR_MODULE", QByteArray::fromStdString(testing::builtOcrModule()));
    }

    void init()
    {
        scratch_ = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch_->isValid());
        opened_.clear();
        openerWorks_ = true;
    }

    void everyTabStartsWithItsDefaultsWithoutASettingsFile()
    {
        const auto window = makeWindow();
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Zoziv Pagelift"));
        QCOMPARE(window->tabs()->count(), 3);
        QCOMPARE(window->tabs()->tabText(0), QStringLiteral("Convert"));
        QCOMPARE(window->tabs()->tabText(1), QStringLiteral("Options"));
        QCOMPARE(window->tabs()->tabText(2), QStringLiteral("Settings"));
        QCOMPARE(window->tabs()->currentIndex(), 0);

        ConvertPage& convert = *window->convertPage();
        QCOMPARE(convert.filterBox()->text(), QStringLiteral("*.*"));
        QVERIFY(convert.sourceBox()->text().isEmpty());
        QVERIFY(convert.destinationBox()->text().isEmpty());
        QVERIFY(convert.backupBox()->text().isEmpty());
        QCOMPARE(convert.statusLine()->text(),
                 QStringLiteral("It's a GOOD idea to backup your fax files, and NEVER delete them"));
        QVERIFY(convert.goButton()->isEnabled());
        QVERIFY(!convert.cancelButton()->isEnabled());
        QCOMPARE(convert.resultsList()->headerItem()->text(1), QStringLiteral("Destination JPEG Files"));

        const OptionsPage& options = *window->optionsPage();
        QVERIFY(options.directoryButton()->isChecked());
        QVERIFY(!options.filesButton()->isChecked());
        QVERIFY(options.subfoldersBox()->isEnabled());
        QVERIFY(!options.subfoldersBox()->isChecked());
        QVERIFY(!options.hierarchyBox()->isChecked());
        QVERIFY(!options.keepDateBox()->isChecked());
        QVERIFY(options.extensionBox()->isChecked());
        QVERIFY(options.optimizeBox()->isChecked());
        QCOMPARE(options.qualityBox()->text(), QStringLiteral("50"));
        QVERIFY(!options.autoConvertBox()->isChecked());
        QCOMPARE(options.minutesBox()->text(), QStringLiteral("60"));
        QVERIFY(!window->convertPage()->autoConvertArmed());

        const SettingsPage& settings = *window->settingsPage();
        QVERIFY(settings.bitOrderButton(0)->isChecked());
        QCOMPARE(settings.resolutionList()->currentText(), QStringLiteral("Auto detect"));
        QCOMPARE(settings.thresholdBox()->text(), QStringLiteral("50"));
        QCOMPARE(settings.flagNumBox()->text(), QStringLiteral("3"));
        QVERIFY(settings.anyWidthBox()->isChecked());
        QCOMPARE(settings.minWidthBox()->text(), QStringLiteral("1728"));
        QVERIFY(settings.minWidthBox()->isEnabled());
        QVERIFY(!settings.rawDataBox()->isChecked());
        QVERIFY(!settings.recountBox()->isChecked());
        QVERIFY(!settings.recountBox()->isEnabled());
    }

    void storedValuesOutsideTheirRangesShowAsTheFileSays()
    {
        writeSettings("[Options]\nDirFile=2\nKeepExt=7\nQuality=\n[Settings]\nAutoBit=5\nFlagNum=300\nNStdWidth=0\n");
        const auto window = makeWindow();
        QVERIFY(window);
        OptionsPage& options = *window->optionsPage();
        QVERIFY(!options.directoryButton()->isChecked());
        QVERIFY(!options.filesButton()->isChecked());
        QVERIFY(!options.extensionBox()->isChecked());
        QCOMPARE(window->convertPage()->controller().choices.sourceMode, -1);  // treated as files mode
        QCOMPARE(window->convertPage()->controller().choices.quality, 0);      // an empty box reads 0
        SettingsPage& settings = *window->settingsPage();
        for (int position = 0; position < 3; ++position) QVERIFY(!settings.bitOrderButton(position)->isChecked());
        QVERIFY(!settings.minWidthBox()->isEnabled());
        // The decoding settings runs take: the Convert tab's.
        const auto decode = [&] { return window->convertPage()->controller().decode.settings; };
        QCOMPARE(int{decode().bitOrder}, 255);
        QCOMPARE(int{decode().flagNum}, 44);

        // An empty threshold box: 0, and the boxes after it keep their fields.
        settings.thresholdBox()->clear();
        settings.flagNumBox()->setText(QStringLiteral("9"));
        DecodeSettings applied = decode();
        settings.applySettings(applied);
        QCOMPARE(int{applied.threshold}, 0);
        QCOMPARE(int{applied.flagNum}, 44);
        // A resolution chosen reaches the decoding settings at the switch to Convert.
        settings.resolutionList()->setCurrentIndex(2);
        window->tabs()->setCurrentIndex(2);
        window->tabs()->setCurrentIndex(0);
        QCOMPARE(int{decode().resolution}, 200);
    }

    void aRunOverRealFaxFilesFillsTheListProgressAndStatus()
    {
        if (!QFile::exists(kCorpus + "/fax2d.tif")) QSKIP(qPrintable("the fax corpus is absent: " + kCorpus + " (PAGELIFT_CORPUS names another)"));
        const QString out = scratch_->filePath(QStringLiteral("out"));
        writeSettings(QStringLiteral("[Main]\nFaxDir=%1\nSaveDir=%2\n").arg(kCorpus, out).toLocal8Bit());
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        page.filterBox()->setText(QStringLiteral("*.tif*"));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_G, Qt::AltModifier);  // "&Go"
        QTRY_VERIFY(page.controller().running());
        QVERIFY(!page.goButton()->isEnabled());
        QVERIFY(page.cancelButton()->isEnabled());

        QTRY_COMPARE_WITH_TIMEOUT(page.statusLine()->text(), QStringLiteral("Done. 5 FAX files converted"), 120000);
        QTreeWidget& list = *page.resultsList();
        QCOMPARE(list.topLevelItemCount(), 5);
        for (int row = 0; row < list.topLevelItemCount(); ++row) {
            const QTreeWidgetItem& item = *list.topLevelItem(row);
            // The source relative to the source folder, the whole path as its tooltip.
            QVERIFY2(!item.text(0).contains('/'), qPrintable(item.text(0)));
            QCOMPARE(item.toolTip(0), kCorpus + "/" + item.text(0));
            QVERIFY2(item.text(1).startsWith(out + "/") && (item.text(1).endsWith(".jpg") || item.text(1).endsWith(" pages)")),
                     qPrintable(item.text(1)));
            QCOMPARE(item.text(2), QStringLiteral("Converted!"));
        }
        const QList<QTreeWidgetItem*> multi = list.findItems(QStringLiteral("g4-multi.tiff"), Qt::MatchExactly, 0);
        QCOMPARE(multi.size(), 1);
        QCOMPARE(multi.front()->text(1), out + "/g4-multi.tiff001.jpg ... 003.jpg (3 pages)");
        QCOMPARE(page.progressBar()->maximum(), 5);
        QCOMPARE(page.progressBar()->value(), 5);
        QTRY_VERIFY(!page.controller().running());
        QVERIFY(page.goButton()->isEnabled());
        // The Options tab keeps extensions unless told otherwise.
        QVERIFY(QFile::exists(out + "/g4-multi.tiff001.jpg"));
        QVERIFY(QFile::exists(out + "/g4-multi.tiff003.jpg"));
        QVERIFY(QFile::exists(out + "/fax2d.tif.jpg"));
        const QString log = readFile(scratch_->filePath(QStringLiteral("log/plflog.txt")));
        QVERIFY(log.contains(QStringLiteral("Zoziv Pagelift in GUI mode : convert folder\r\nSource Folder: ") + kCorpus));
    }

    void aStopThatGaveUpLetsNoRunStartBeforeTheOldWorkerEnds()
    {
        HeldConverter held;
        const auto window = makeWindow(held.converter(), std::chrono::milliseconds(100));
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        const QString deep = QStringLiteral("in/received by the fax server of the office/2025/March/week eleven");
        setSource(*window, faxFolder(deep, 3), scratch_->filePath(QStringLiteral("out")));
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QTRY_VERIFY(held.holding());
        QTRY_COMPARE(page.resultsList()->topLevelItemCount(), 1);
        // A long path is shortened in the middle: the start and the file name stay.
        const ElidedLabel& status = *page.statusLine();
        const QString held1 = page.resultsList()->rowOf(0)->text(0);  // the folder lists its files in its own order
        QCOMPARE(status.fullText(), "Doing: " + scratch_->filePath(deep) + "/" + held1);
        QVERIFY2(status.text().startsWith(QStringLiteral("Doing: ")) && status.text().contains(QChar(0x2026)) &&
                     status.text().endsWith("/" + held1),
                 qPrintable(status.text()));
        QVERIFY(status.fontMetrics().horizontalAdvance(status.text()) <= status.contentsRect().width());
        QCOMPARE(status.toolTip(), status.fullText());

        QTest::mouseClick(page.cancelButton(), Qt::LeftButton);  // gives up after 100 ms
        QVERIFY(!page.controller().running());
        QVERIFY(page.goButton()->isEnabled());
        QVERIFY(!page.cancelButton()->isEnabled());

        MessageCatcher catcher;
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QCOMPARE(catcher.seen, QStringList{QStringLiteral("Warning: Please wait while running conversion stops")});
        QCOMPARE(page.startRun(true), StartResult::Dropped);  // a timer tick says nothing
        QCOMPARE(catcher.seen.size(), 1);

        held.release();
        QTRY_VERIFY(page.controller().workerIdle());
        QTRY_COMPARE(page.statusLine()->text(), QStringLiteral("Cancelled after 1 of 3 files: 1 FAX files converted"));
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QTRY_COMPARE(page.statusLine()->text(), QStringLiteral("Done. 3 FAX files converted"));
        QCOMPARE(page.resultsList()->topLevelItemCount(), 3);
        QCOMPARE(catcher.seen.size(), 1);
    }

    void endingDuringARunWaitsForTheWorkerWithoutFreezing()
    {
        HeldConverter held;
        const auto window = makeWindow(held.converter());
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        setSource(*window, faxFolder(QStringLiteral("in"), 2), scratch_->filePath(QStringLiteral("out")));
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QTRY_VERIFY(held.holding());

        QSignalSpy ended(window.get(), &MainWindow::ended);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
        ticker.start(10);
        QTest::qWait(300);
        QVERIFY2(ticks > 10, "the window's event loop must keep running while the worker finishes");
        QCOMPARE(ended.count(), 0);
        QVERIFY(!QFile::exists(QString::fromStdString(settingsFile())));

        held.release();
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toInt(), 2);
        QVERIFY(page.controller().workerIdle());
        QCOMPARE(page.resultsList()->topLevelItemCount(), 1);  // the stop came before the second file
        QVERIFY(QFile::exists(QString::fromStdString(settingsFile())));
    }

    void thePeriodTimerRunsAgainAndSkipsWhatExists()
    {
        // A period of 0 in the file reads as 1 minute.
        writeSettings("[Options]\nCycleMinutes=0\n");
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        OptionsPage& options = *window->optionsPage();
        QCOMPARE(options.minutesBox()->text(), QStringLiteral("1"));
        page.controller().settleTime = std::chrono::seconds(0);  // the fax was written just now
        const QString watched = faxFolder(QStringLiteral("watched"), 1);
        setSource(*window, watched, scratch_->filePath(QStringLiteral("out")));
        window->tabs()->setCurrentIndex(1);
        options.minutesBox()->setText(QStringLiteral("0"));  // typed: 1 minute too
        QTest::mouseClick(options.autoConvertBox(), Qt::LeftButton);
        QVERIFY(options.autoConvertBox()->isChecked());
        QVERIFY(!options.minutesBox()->isEnabled());
        QCOMPARE(options.minutesBox()->text(), QStringLiteral("1"));
        QVERIFY(page.autoConvertArmed());
        QCOMPARE(page.autoConvertIntervalMs(), 60000);
        // The status line and the tray say when the next run is due.
        const QString next = QString::fromStdString(page.nextRunNote());
        QVERIFY2(next.startsWith(QStringLiteral("next run at ")), qPrintable(next));
        QVERIFY(page.statusLine()->fullText().startsWith(QStringLiteral("Automatic conversion every minute - next run at ")));
        QVERIFY(window->trayTip().startsWith("Zoziv Pagelift\nWatching " + watched + " - next run at "));

        // Each tick is a run that skips what exists.
        page.automaticTick();
        QVERIFY(runEnds(page));
        QCOMPARE(page.resultsList()->topLevelItemCount(), 1);
        QCOMPARE(page.resultsList()->topLevelItem(0)->text(2), QStringLiteral("Converted!"));
        QVERIFY(page.statusLine()->fullText().startsWith(QStringLiteral("Done. 1 FAX files converted - next run at ")));
        page.automaticTick();
        QVERIFY(runEnds(page));
        QCOMPARE(page.resultsList()->topLevelItem(0)->text(2), QStringLiteral("Already exist, skipped!"));
        QVERIFY(page.statusLine()->fullText().startsWith(QStringLiteral("Done. 0 FAX files converted, 1 skipped - next run ")));

        // A watched folder that went away is said on the status line, with no box.
        MessageCatcher catcher;
        QVERIFY(QDir(watched).removeRecursively());
        page.automaticTick();
        QVERIFY(page.statusLine()->fullText().startsWith("Source folder not found: " + watched + " - next run "));
        QTest::qWait(100);
        QVERIFY(catcher.seen.isEmpty());

        // Clicking a source mode clears automatic conversion and its timer.
        QTest::mouseClick(options.filesButton(), Qt::LeftButton);
        QVERIFY(!options.autoConvertBox()->isChecked());
        QVERIFY(!options.autoConvertBox()->isEnabled());
        QVERIFY(!options.subfoldersBox()->isEnabled());
        QVERIFY(!page.autoConvertArmed());
        QCOMPARE(window->trayTip(), QStringLiteral("Zoziv Pagelift\nConvert ALL fax documents to jpg"));
        QVERIFY(!page.statusLine()->fullText().contains(QStringLiteral("next run")));
    }

    void automaticConversionResumesInOneCopyPerSettingsFile()
    {
        writeSettings("[Options]\nDirFile=0\nCyclely=1\nCycleMinutes=5\n");
        ExclusiveFileLock other;
        QVERIFY(other.tryAcquire(automaticConversionLockPath(settingsFile())));
        {
            const auto window = makeWindow();
            QVERIFY(window);
            QVERIFY(!window->optionsPage()->autoConvertBox()->isChecked());
            QVERIFY(!window->convertPage()->autoConvertArmed());
            QVERIFY(window->convertPage()->statusLine()->fullText().contains(QStringLiteral("another running copy")));
            QVERIFY(window->storeSettings());
            // The other copy's choice is not overwritten.
            QVERIFY(readFile(QString::fromStdString(settingsFile())).contains(QStringLiteral("Cyclely=1\n")));
        }
        other.release();
        const auto window = makeWindow();
        QVERIFY(window);
        QVERIFY(window->optionsPage()->autoConvertBox()->isChecked());
        QVERIFY(!window->optionsPage()->minutesBox()->isEnabled());
        QVERIFY(window->convertPage()->autoConvertArmed());
        QCOMPARE(window->convertPage()->autoConvertIntervalMs(), 5 * 60000);
    }

    void theListShowsWhatEachFileBecameOnOneLine()
    {
        writeSettings("[Options]\nSubdir=1\nKeepExt=0\n");
        // HOME is where "~" leads; the program starts in a folder of its own.
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", scratch_->path().toLocal8Bit());
        const QString savedFolder = QDir::currentPath();
        QDir().mkpath(scratch_->filePath(QStringLiteral("cwd")));
        QDir::setCurrent(scratch_->filePath(QStringLiteral("cwd")));
        const auto restore = qScopeGuard([&] {
            QDir::setCurrent(savedFolder);
            qputenv("HOME", savedHome);
        });
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();

        // A source folder that does not exist is said, and nothing is made.
        MessageCatcher catcher;
        setSource(*window, QStringLiteral("~/faxin"), QStringLiteral("~/out"));
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QCOMPARE(catcher.seen, QStringList{"Warning: Source folder not found:\n" + scratch_->filePath("faxin")});
        QVERIFY(!QFile::exists(scratch_->filePath(QStringLiteral("out"))));
        QVERIFY(QDir(scratch_->filePath(QStringLiteral("cwd"))).isEmpty());
        QVERIFY(!page.statusLine()->fullText().startsWith(QStringLiteral("Done.")));

        // Faxes six folders deep: a letter of two pages, a JPEG, no fax at all.
        const QString deep = QStringLiteral("2025/03-March/week-11/Monday/line-2/received");
        const QString folder = scratch_->filePath("faxin/" + deep);
        copySample(QStringLiteral("letter-g3.tif"), folder, QStringLiteral("letter-g3.tif"));
        writeFile(folder + "/scan.jpg", "a picture");
        writeFile(folder + "/notes.g3", "no fax data in here at all");
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QVERIFY(runEnds(page));
        QCOMPARE(catcher.seen.size(), 1);

        const ResultsList& list = *page.resultsList();
        QCOMPARE(list.topLevelItemCount(), 3);
        const QString out = scratch_->filePath(QStringLiteral("out"));
        const QTreeWidgetItem* letter = nullptr;
        for (int index = 0; index < 3; ++index) {
            const QTreeWidgetItem& row = *list.rowOf(index);
            QVERIFY2(row.text(0).startsWith(deep + "/"), qPrintable(row.text(0)));
            QCOMPARE(row.toolTip(0), scratch_->filePath("faxin/" + row.text(0)));
            if (row.text(0).endsWith(QStringLiteral("letter-g3.tif"))) letter = &row;
            for (int column = 0; column < 3; ++column) QVERIFY(!row.text(column).contains('\n'));
        }
        QVERIFY(letter != nullptr);
        // What was written, not the name the pages are made from.
        QCOMPARE(letter->text(1), out + "/letter-g3001.jpg ... 002.jpg (2 pages)");
        QCOMPARE(letter->toolTip(1), out + "/letter-g3001.jpg\n" + out + "/letter-g3002.jpg");
        QVERIFY(QFile::exists(out + "/letter-g3002.jpg"));
        QVERIFY(!QFile::exists(out + "/letter-g3.jpg"));
        const QList<QTreeWidgetItem*> jpeg = list.findItems(QStringLiteral("Already JPEG!"), Qt::MatchExactly, 2);
        QCOMPARE(jpeg.size(), 1);
        // Every row is one line high.
        for (int row = 1; row < 3; ++row) {
            QCOMPARE(list.visualItemRect(list.topLevelItem(row)).height(),
                     list.visualItemRect(list.topLevelItem(0)).height());
        }
        QCOMPARE(page.statusLine()->fullText(), QStringLiteral("Done. 1 FAX files converted, 1 failed, 1 skipped"));
        QCOMPARE(list.textElideMode(), Qt::ElideMiddle);

        // A click on a heading sorts by it; each file keeps its row.
        const QHeaderView& header = *list.header();
        QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                          QPoint(header.sectionViewportPosition(2) + 5, header.height() / 2));
        QCOMPARE(header.sortIndicatorSection(), 2);
        QStringList results;
        for (int row = 0; row < 3; ++row) results << list.topLevelItem(row)->text(2);
        QStringList sorted = results;
        sorted.sort();
        if (header.sortIndicatorOrder() == Qt::DescendingOrder) std::reverse(sorted.begin(), sorted.end());
        QCOMPARE(results, sorted);
        QVERIFY(list.rowOf(0)->toolTip(0).endsWith(list.rowOf(0)->text(0)));
    }

    void rowsOpenTheirJpegAndEnterOnARowDoesNotEndTheProgram()
    {
        writeSettings("[Options]\nKeepExt=0\n");
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        const QString in = scratch_->filePath(QStringLiteral("in"));
        const QString out = scratch_->filePath(QStringLiteral("out"));
        copySample(QStringLiteral("letter-g3.tif"), in, QStringLiteral("a-letter.tif"));
        writeFile(in + "/b-notes.g3", "no fax data in here at all");
        setSource(*window, in, out);
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QVERIFY(runEnds(page));
        ResultsList& list = *page.resultsList();
        QTreeWidgetItem& letter = *list.rowOf(0);
        QTreeWidgetItem& notes = *list.rowOf(1);
        const QUrl firstPage = QUrl::fromLocalFile(out + "/a-letter001.jpg");

        // A double click opens the first page.
        // The events of a double click: press, release, double click, release.
        const QPoint onLetter = list.visualItemRect(&letter).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, onLetter);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, onLetter);
        QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, onLetter);
        QCOMPARE(opened_, QList<QUrl>{firstPage});

        // So does Enter on a row; the program goes on.
        QSignalSpy ended(window.get(), &MainWindow::ended);
        list.setFocus();
        list.setCurrentItem(&letter);
        QTest::keyClick(&list, Qt::Key_Return);
        QCOMPARE(opened_.size(), 2);
        QCOMPARE(opened_.back(), firstPage);
        QTest::qWait(50);
        QCOMPARE(ended.count(), 0);

        // The context menu.
        std::unique_ptr<QMenu> menu = list.rowMenu(letter);
        QStringList texts;
        for (const QAction* action : menu->actions()) texts << action->text();
        QCOMPARE(texts, (QStringList{QStringLiteral("Open"), QStringLiteral("Open Containing Folder"),
                                     QStringLiteral("Copy Path")}));
        menu->actions().at(1)->trigger();
        QCOMPARE(opened_.back(), QUrl::fromLocalFile(out));
        menu->actions().at(2)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), out + "/a-letter001.jpg");

        // A row with no JPEG cannot be opened; its source can be found.
        MessageCatcher catcher;
        std::unique_ptr<QMenu> failed = list.rowMenu(notes);
        QVERIFY(!failed->actions().at(0)->isEnabled());
        failed->actions().at(2)->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), in + "/b-notes.g3");
        const qsizetype openedBefore = opened_.size();
        QVERIFY(!list.openRow(notes));
        QCOMPARE(opened_.size(), openedBefore);
        QCOMPARE(catcher.seen, QStringList{"Warning: No JPEG file was written for\n" + in + "/b-notes.g3"});

        // No program to open it with: said, with the file's path.
        openerWorks_ = false;
        QVERIFY(!list.openRow(letter));
        QCOMPARE(catcher.seen.back(), "Warning: No program could be started to open\n" + out + "/a-letter001.jpg");
        // Enter elsewhere still ends the program, as it always did.
        QTest::keyClick(page.filterBox(), Qt::Key_Return);
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toInt(), 1);
    }

    void runsLeaveTheFocusWhereItWas_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("focusDuringRun");
        QTest::addColumn<QString>("focusAfterRun");
        QTest::newRow("timer run while the source is edited") << QStringLiteral("timer") << QStringLiteral("source")
                                                              << QStringLiteral("source");
        QTest::newRow("Go pressed with the keyboard") << QStringLiteral("go") << QStringLiteral("cancel")
                                                      << QStringLiteral("go");
        QTest::newRow("Alt+G in the destination box") << QStringLiteral("alt+g") << QStringLiteral("cancel")
                                                      << QStringLiteral("destination");
        QTest::newRow("stopped with Cancel") << QStringLiteral("cancel") << QStringLiteral("cancel")
                                             << QStringLiteral("go");
    }

    void runsLeaveTheFocusWhereItWas()
    {
        QFETCH(QString, start);
        QFETCH(QString, focusDuringRun);
        QFETCH(QString, focusAfterRun);
        HeldConverter held;
        // "&Cancel" gives up on the held file at once; the run ends when it is let go.
        const auto window = makeWindow(held.converter(), std::chrono::milliseconds(50));
        QVERIFY(window);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        ConvertPage& page = *window->convertPage();
        page.controller().settleTime = std::chrono::seconds(0);  // the fax was written just now
        setSource(*window, faxFolder(QStringLiteral("in"), 1), scratch_->filePath(QStringLiteral("out")));
        const QMap<QString, QWidget*> widgets{{QStringLiteral("source"), page.sourceBox()},
                                              {QStringLiteral("destination"), page.destinationBox()},
                                              {QStringLiteral("go"), page.goButton()},
                                              {QStringLiteral("cancel"), page.cancelButton()}};
        const auto focusName = [&] { return widgets.key(QApplication::focusWidget(), QStringLiteral("elsewhere")); };

        if (start == "timer") {
            page.sourceBox()->setFocus();
            page.sourceBox()->setCursorPosition(3);
            page.automaticTick();
        } else if (start == "alt+g") {
            page.destinationBox()->setFocus();
            page.destinationBox()->setCursorPosition(2);
            QTest::keyClick(page.destinationBox(), Qt::Key_G, Qt::AltModifier);
        } else {
            page.goButton()->setFocus();
            QTest::keyClick(page.goButton(), Qt::Key_Space);
        }
        QTRY_VERIFY(held.holding());
        QCOMPARE(focusName(), focusDuringRun);
        if (start == "timer") QVERIFY(page.sourceBox()->isEnabled());  // still open to typing
        if (start == "cancel") {
            QTest::keyClick(page.cancelButton(), Qt::Key_Space);  // the stop waits for the held file
        }
        held.release();
        QVERIFY(runEnds(page));
        QTRY_COMPARE(focusName(), focusAfterRun);
        // No text was selected on the way, the cursor is where it was.
        for (const QLineEdit* box : {page.filterBox(), page.sourceBox(), page.destinationBox()}) {
            QVERIFY(!box->hasSelectedText());
        }
        if (start == "timer") QCOMPARE(page.sourceBox()->cursorPosition(), 3);
        if (start == "alt+g") QCOMPARE(page.destinationBox()->cursorPosition(), 2);
    }

    void theWindowGrowsWithItsListAndColumns()
    {
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        const QSize start = window->size();
        QCOMPARE(window->minimumSize(), start);
        QVERIFY(window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        ResultsList& list = *page.resultsList();
        // The list and the preview share the list's place.
        QSplitter& place = *page.previewSplitter();
        const QRect listAtStart = place.geometry();
        const QRect sourceAtStart = page.sourceBox()->geometry();
        const QRect browseAtStart = page.sourceBrowseButton()->geometry();
        const QRect statusAtStart = page.statusLine()->geometry();
        const QRect goAtStart = page.goButton()->geometry();
        const int firstColumnAtStart = list.header()->sectionSize(0);
        QCOMPARE(firstColumnAtStart, list.header()->sectionSizeHint(0));  // sized to its heading

        const auto checkGrownBy = [&](int x, int y) {
            QCOMPARE(place.geometry(), listAtStart.adjusted(0, 0, x, y));
            // The preview opens once the window is wide, the list keeping the rest.
            const bool wide = window->width() > ConvertPage::kPreviewOpensAt;
            QTRY_COMPARE(page.previewPane()->width() > 0, wide);
            QCOMPARE(list.width() + place.handleWidth() + page.previewPane()->width(), place.width());
            QCOMPARE(page.sourceBox()->geometry(), sourceAtStart.adjusted(0, 0, x, 0));
            QCOMPARE(page.sourceBrowseButton()->geometry(), browseAtStart.translated(x, 0));
            QCOMPARE(page.statusLine()->geometry(), statusAtStart.translated(0, y).adjusted(0, 0, x, 0));
            QCOMPARE(page.goButton()->geometry(), goAtStart);
            // The first column keeps its share of the list's width.
            const double share = double(firstColumnAtStart) / (listAtStart.width() - place.handleWidth());
            QVERIFY(qAbs(list.header()->sectionSize(0) - share * list.width()) <= 1.0);
        };
        window->resize(start + QSize(400, 300));
        QTRY_COMPARE(window->size(), start + QSize(400, 300));
        checkGrownBy(400, 300);

        window->showMaximized();
        QTRY_VERIFY(window->isMaximized());
        QTRY_VERIFY(window->width() > start.width() && window->height() > start.height());
        checkGrownBy(window->width() - start.width(), window->height() - start.height());

        window->showNormal();
        window->resize(start);
        QTRY_COMPARE(window->size(), start);
        checkGrownBy(0, 0);
    }

    void browseDialogsStartInTheFolderTheFieldNames()
    {
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        const QString existing = scratch_->filePath(QStringLiteral("faxes"));
        QDir().mkpath(existing);
        setSource(*window, existing, existing + "/not/made/yet");
        MessageCatcher catcher;
        QTest::mouseClick(page.sourceBrowseButton(), Qt::LeftButton);
        QTest::mouseClick(page.destinationBrowseButton(), Qt::LeftButton);
        QCOMPARE(catcher.dialogFolders, (QStringList{existing, existing}));
        // A cancelled dialog changes nothing.
        QCOMPARE(page.destinationBox()->text(), existing + "/not/made/yet");
    }

    void helpSaysWhenNoBrowserCanShowIt()
    {
        const QString program = scratch_->filePath(QStringLiteral("bin/pagelift"));
        QDir().mkpath(scratch_->filePath(QStringLiteral("bin")));
        const auto window = makeWindow(realConverter(), std::chrono::milliseconds(5000), text(program));
        QVERIFY(window);
        MessageCatcher catcher;
        window->showHelp();  // no page beside the program, none installed
        QCOMPARE(catcher.seen.size(), 1);
        QVERIFY2(catcher.seen.front().startsWith(QStringLiteral("Help: The help page pagelift.html was found neither")),
                 qPrintable(catcher.seen.front()));

        writeFile(program + ".html", "<html></html>");
        window->showHelp();
        QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(program + ".html")});
        QCOMPARE(catcher.seen.size(), 1);
        openerWorks_ = false;
        window->showHelp();
        QCOMPARE(catcher.seen.size(), 2);
        QCOMPARE(catcher.seen.back(),
                 "Help: No web browser could be started to show the help page. It is the file\n" + program + ".html");
    }

    void optionsReachTheConvertTabAtTheSwitchAndTypedTextStays()
    {
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        OptionsPage& options = *window->optionsPage();
        QTest::keyClicks(page.sourceBox(), QStringLiteral("/typed/but/not/saved"));
        window->tabs()->setCurrentIndex(1);
        QTest::mouseClick(options.hierarchyBox(), Qt::LeftButton);
        options.qualityBox()->setText(QStringLiteral("80"));
        // Until the switch back, runs use the values of the last switch.
        QCOMPARE(page.controller().choices.keepHierarchy, 0);
        QCOMPARE(page.controller().choices.quality, 50);
        window->tabs()->setCurrentIndex(2);
        QCOMPARE(page.controller().choices.keepHierarchy, 0);
        window->tabs()->setCurrentIndex(0);
        QCOMPARE(page.controller().choices.keepHierarchy, 1);
        QCOMPARE(page.controller().choices.quality, 80);
        QCOMPARE(page.sourceBox()->text(), QStringLiteral("/typed/but/not/saved"));
        QCOMPARE(page.controller().texts.sourceText, std::string("/typed/but/not/saved"));
    }

    void theOutputChosenIsWhatRunsWriteAndTheListShows_data()
    {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QString>("word");     // in the list's heading
        QTest::addColumn<QString>("shown");    // the row of a two-page fax, after the folder
        QTest::addColumn<QString>("written");  // a file the run wrote
        QTest::addColumn<QString>("stored");   // the settings file's value
        QTest::addColumn<bool>("ocr");         // "Searchable (OCR)" checked
        QTest::newRow("PNG") << QStringLiteral("PNG per page") << QStringLiteral("PNG")
                             << QStringLiteral("/fax0.tif001.png ... 002.png (2 pages)") << QStringLiteral("/fax0.tif002.png")
                             << QStringLiteral("png") << false;
        QTest::newRow("PDF") << QStringLiteral("PDF per fax") << QStringLiteral("PDF") << QStringLiteral("/fax0.tif.pdf")
                             << QStringLiteral("/fax0.tif.pdf") << QStringLiteral("pdf") << false;
        QTest::newRow("JPEG searchable") << QStringLiteral("JPEG per page") << QStringLiteral("JPEG")
                                         << QStringLiteral("/fax0.tif001.jpg ... 002.jpg (2 pages)")
                                         << QStringLiteral("/fax0.tif.txt") << QStringLiteral("jpg") << true;
    }

    void theOutputChosenIsWhatRunsWriteAndTheListShows()
    {
        QFETCH(QString, choice);
        QFETCH(QString, word);
        QFETCH(QString, shown);
        QFETCH(QString, written);
        QFETCH(QString, stored);
        QFETCH(bool, ocr);
        if (ocr && !testing::ocrUnavailableReason().empty()) QSKIP(testing::ocrUnavailableReason().c_str());
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        OptionsPage& options = *window->optionsPage();
        QCOMPARE(options.outputList()->currentText(), QStringLiteral("JPEG per page"));
        QCOMPARE(page.resultsList()->headerItem()->text(1), QStringLiteral("Destination JPEG Files"));
        window->tabs()->setCurrentIndex(1);
        options.outputList()->setCurrentIndex(options.outputList()->findText(choice));
        if (ocr) QTest::mouseClick(options.ocrBox(), Qt::LeftButton);
        window->tabs()->setCurrentIndex(0);
        QCOMPARE(page.resultsList()->headerItem()->text(1), QStringLiteral("Destination %1 Files").arg(word));

        const QString out = scratch_->filePath(QStringLiteral("out"));
        setSource(*window, faxFolder(QStringLiteral("in"), 1), out);
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QVERIFY(runEnds(page));
        const QTreeWidgetItem& row = *page.resultsList()->rowOf(0);
        QCOMPARE(row.text(1), out + shown);
        QVERIFY(QFile::exists(out + written));
        // The choice is kept in the settings file.
        QSignalSpy ended(window.get(), &MainWindow::ended);
        QTest::keyClick(window.get(), Qt::Key_Escape);
        QTRY_COMPARE(ended.count(), 1);
        QVERIFY(readFile(QString::fromStdString(settingsFile())).contains(QStringLiteral("OutputFormat=%1\n").arg(stored)));
        QVERIFY(readFile(QString::fromStdString(settingsFile())).contains(QStringLiteral("Ocr=%1\n").arg(ocr ? 1 : 0)));
    }

    // The OCR box is looked at when the window opens: without the module it
    // is disabled and clear, says what to install, and the stored choice
    // stays in the settings file for when the module returns.
    void theOcrBoxWaitsForTheModuleAndKeepsTheStoredChoice()
    {
        if (testing::builtOcrModule().empty()) QSKIP("this build has no OCR module");
        struct Case {
            const char* name;
            std::string module;
            bool enabled;
        };
        for (const Case& test : {Case{"missing", text(scratch_->filePath(QStringLiteral("none/pagelift-ocr.so"))), false},
                                 Case{"built", testing::builtOcrModule(), true}}) {
            qInfo("%s", test.name);
            const testing::ScopedEnvironment module("PAGELIFT_OCR_MODULE", test.module);
            writeSettings("[Options]\nOcr=1\n");
            const auto window = makeWindow();
            QVERIFY(window);
            const QCheckBox& box = *window->optionsPage()->ocrBox();
            QCOMPARE(box.isEnabled(), test.enabled);
            QCOMPARE(box.isChecked(), test.enabled);
            QCOMPARE(box.toolTip().contains(QStringLiteral("install the package pagelift-ocr")), !test.enabled);
            QCOMPARE(window->convertPage()->controller().choices.ocr, test.enabled ? 1 : 0);
            QVERIFY(window->storeSettings());
            QVERIFY(readFile(QString::fromStdString(settingsFile())).contains(QStringLiteral("Ocr=1\n")));
        }
    }

    // The preview of the selected row at its true proportions against
    // ImageMagick's reading of the same page; PgDn, PgUp and a thumbnail
    // move between pages; the zoom buttons and Ctrl with the wheel.
    void thePreviewShowsTheSelectedFaxPageByPage()
    {
        if (!QFile::exists(QStringLiteral("/usr/bin/convert"))) QSKIP("ImageMagick (/usr/bin/convert) is absent");
        const QString folder = scratch_->filePath(QStringLiteral("faxes"));
        QVERIFY(blockFax(folder + QStringLiteral("/standard.tif"), 98, 2));
        QVERIFY(blockFax(folder + QStringLiteral("/fine.tif"), 196, 1));
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        QCOMPARE(page.previewSplitter()->sizes().at(1), 0);  // folded at the starting size
        QVERIFY(listAndOpenPreview(*window, folder));
        PreviewPane& preview = *page.previewPane();
        PageView& view = *preview.view();

        struct Shown {
            const char* file;
            int repeat;  // rows shown per page row
        };
        const Shown faxes[] = {{"standard.tif", 2}, {"fine.tif", 1}};
        for (const Shown& fax : faxes) {
            QSignalSpy shown(&preview, &PreviewPane::pageShown);
            QTreeWidgetItem* row = rowNamed(page, QString::fromLatin1(fax.file));
            QVERIFY(row != nullptr);
            page.resultsList()->setCurrentItem(row);
            QVERIFY(shown.wait(20000));
            QVERIFY(view.isVisible());
            const QSize size = view.pictureSize();
            // Fit to width, and as tall as the page's rows times their repeat.
            QVERIFY(size.width() <= view.viewport()->width() && size.width() >= view.viewport()->width() - 30);
            QVERIFY2(qAbs(size.height() - double(view.page()->rows) * fax.repeat * size.width() / view.page()->width) <= 1.0,
                     qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
            compareShownPage(view, scaledByImageMagick(folder + "/" + fax.file, 0, fax.repeat, size, scratch_->path()));
            if (QTest::currentTestFailed()) return;
        }
        QVERIFY(!preview.thumbnails()->isVisible());  // one page: no strip

        page.resultsList()->setCurrentItem(rowNamed(page, QStringLiteral("standard.tif")));
        QTRY_COMPARE(preview.pageLabel()->text(), QStringLiteral("page 1 of 2"));
        QTRY_COMPARE(preview.shownPage(), 0);
        QVERIFY(preview.thumbnails()->isVisible());
        QCOMPARE(preview.thumbnails()->count(), 2);
        QTRY_VERIFY(!preview.thumbnails()->item(1)->icon().isNull());
        view.setFocus();
        QTest::keyClick(&view, Qt::Key_PageDown);
        QCOMPARE(preview.pageLabel()->text(), QStringLiteral("page 2 of 2"));
        QTRY_COMPARE(preview.shownPage(), 1);
        compareShownPage(view, scaledByImageMagick(folder + "/standard.tif", 1, 2, view.pictureSize(), scratch_->path()));
        if (QTest::currentTestFailed()) return;
        QTest::keyClick(&view, Qt::Key_PageDown);  // past the last page: stays
        QCOMPARE(preview.pageLabel()->text(), QStringLiteral("page 2 of 2"));
        QTest::keyClick(&view, Qt::Key_PageUp);
        QTRY_COMPARE(preview.shownPage(), 0);
        const QRect second = preview.thumbnails()->visualItemRect(preview.thumbnails()->item(1));
        QTest::mouseClick(preview.thumbnails()->viewport(), Qt::LeftButton, {}, second.center());
        QTRY_COMPARE(preview.shownPage(), 1);

        // Zoom: the whole page in the view, then two notches in from there.
        QTest::mouseClick(preview.fitPageButton(), Qt::LeftButton);
        QVERIFY2(view.pictureSize().height() <= view.viewport()->height(), qPrintable(QStringLiteral("%1 %2 %3").arg(view.pictureSize().height()).arg(view.viewport()->height()).arg(view.maximumViewportSize().height())));
        const double fitted = view.scale();
        QWheelEvent wheel(QPointF(20, 20), view.viewport()->mapToGlobal(QPointF(20, 20)), {}, QPoint(0, 240),
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.viewport(), &wheel);
        QVERIFY(qAbs(view.scale() - fitted * 1.5625) < 1e-9);
        QTest::mouseClick(preview.fitWidthButton(), Qt::LeftButton);
        QVERIFY(view.pictureSize().width() <= view.viewport()->width());

        // The pane folds back with the window, and a drag of its handle
        // opens it at any size.
        window->resize(window->minimumSize());
        QTRY_COMPARE(page.previewSplitter()->sizes().at(1), 0);
        QSplitterHandle* handle = page.previewSplitter()->handle(1);
        QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(2, 10));
        QTest::mouseMove(handle, QPoint(-150, 10));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(-150, 10));
        QTRY_VERIFY(page.previewSplitter()->sizes().at(1) > 100);
    }

    // With the decoder held on the first fax, the arrow keys still walk the
    // list; once it is let go only the latest row's page appears.
    void aHeldPreviewDecoderLetsTheListMoveAndShowsOnlyTheLatest()
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        QStringList asked;
        const auto held = [&](const std::string& path, const DecodeSetup& setup) {
            std::unique_lock<std::mutex> lock(mutex);
            asked << QString::fromStdString(path);
            changed.wait(lock, [&] { return released; });
            return openFaxForPreview(path, setup);
        };
        const auto release = [&] {
            const std::lock_guard<std::mutex> lock(mutex);
            released = true;
            changed.notify_all();
        };
        const auto window = makeWindow(realConverter(), std::chrono::milliseconds(5000), {}, held);
        // Before the window goes, whatever happens: its end waits for the decoder.
        auto letGo = qScopeGuard(release);
        QVERIFY(window);
        QVERIFY(listAndOpenPreview(*window, faxFolder(QStringLiteral("walk"), 4)));
        ConvertPage& page = *window->convertPage();
        ResultsList& list = *page.resultsList();
        QSignalSpy shown(page.previewPane(), &PreviewPane::pageShown);

        list.setFocus();
        list.setCurrentItem(list.topLevelItem(0));
        QTRY_COMPARE(asked.size(), 1);
        for (int row = 1; row < 4; ++row) {
            QTest::keyClick(&list, Qt::Key_Down);
            QCOMPARE(list.indexOfTopLevelItem(list.currentItem()), row);
        }
        QCOMPARE(shown.count(), 0);
        const QString latest = ResultsList::sourceOf(*list.currentItem());
        release();
        QVERIFY(shown.wait(20000));
        QTest::qWait(300);
        QCOMPARE(shown.count(), 1);
        QCOMPARE(page.previewPane()->faxPath(), latest);
        // Only the first file and the latest were opened: the rows between went by.
        QCOMPARE(asked.size(), 2);
        QCOMPARE(asked.back(), latest);
        FaxDocument expected;
        expected.open(text(latest), identifyFormat(text(latest)));
        QVERIFY(page.previewPane()->view()->page() != nullptr);
        QCOMPARE(page.previewPane()->view()->page()->pixels, expected.page().pixels);
    }

    // A row whose file holds no fax, is gone by now or is a JPEG file shows
    // the report's words for it.
    void thePreviewOfAnUnreadableFaxSaysWhy()
    {
        const QString folder = scratch_->filePath(QStringLiteral("faxes"));
        QDir().mkpath(folder);
        writeFile(folder + QStringLiteral("/broken.tif"), QByteArray("II*\0\x08\0\0\0not a fax at all", 24));
        copySample(QStringLiteral("memo-g4.tif"), folder, QStringLiteral("gone.tif"));
        writeFile(folder + QStringLiteral("/scan.jpg"), QByteArray("\xff\xd8\xff\xe0 a picture"));
        const auto window = makeWindow();
        QVERIFY(window);
        QVERIFY(listAndOpenPreview(*window, folder));
        ConvertPage& page = *window->convertPage();
        QVERIFY(QFile::remove(folder + QStringLiteral("/gone.tif")));
        struct Unreadable {
            QString name;
            QString reason;  // after the path
        };
        const Unreadable rows[] = {{QStringLiteral("broken.tif"), QStringLiteral(" - Not Fax")},
                                   {QStringLiteral("gone.tif"), QStringLiteral(" - Not Fax")},
                                   {QStringLiteral("scan.jpg"), QStringLiteral(" : already JPEG format, need no converting!")}};
        for (const Unreadable& row : rows) {
            QSignalSpy shown(page.previewPane(), &PreviewPane::pageShown);
            page.resultsList()->setCurrentItem(rowNamed(page, row.name));
            QVERIFY(shown.wait(20000));
            const QString failed = row.name.endsWith(QStringLiteral(".jpg")) ? QString() : QStringLiteral("Failed : ");
            QCOMPARE(page.previewPane()->messageLabel()->text(), failed + folder + "/" + row.name + row.reason);
            QVERIFY(page.previewPane()->messageLabel()->isVisible());
            QVERIFY(!page.previewPane()->view()->isVisible());
        }
    }

    // A fax whose pages could not be written: its row says so, its tooltip
    // and its preview, above its pages, say why.
    void aFaxNotWrittenSaysWhyInItsRowAndPreview()
    {
        const QString folder = scratch_->filePath(QStringLiteral("faxes"));
        QDir().mkpath(folder);
        copySample(QStringLiteral("memo-g4.tif"), folder, QStringLiteral("memo.tif"));
        const auto window = makeWindow();
        QVERIFY(window);
        failPartialFilesAt(PartialFileStep::Write, ENOSPC);
        const bool listed = listAndOpenPreview(*window, folder);
        failPartialFilesAt(PartialFileStep::Write, 0);
        QVERIFY(listed);
        ConvertPage& page = *window->convertPage();
        QTreeWidgetItem* row = rowNamed(page, QStringLiteral("memo.tif"));
        QVERIFY(row != nullptr);
        const QString cause = QStringLiteral("No space left on device: ") + scratch_->filePath(QStringLiteral("out/memo.tif.jpg"));
        QCOMPARE(row->text(2), QStringLiteral("Not written!"));
        QCOMPARE(row->toolTip(2), cause);
        QSignalSpy shown(page.previewPane(), &PreviewPane::pageShown);
        page.resultsList()->setCurrentItem(row);
        QVERIFY(shown.wait(20000));
        QCOMPARE(page.previewPane()->noteLabel()->text(), QStringLiteral("Not written: ") + cause);
        QVERIFY(page.previewPane()->noteLabel()->isVisible());
        QVERIFY(page.previewPane()->view()->isVisible());
    }

    void everyEndStoresTheSettingsWithItsExitCode_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("Esc") << QStringLiteral("escape") << 2;
        QTest::newRow("Enter in a box") << QStringLiteral("enter") << 1;
        QTest::newRow("close box") << QStringLiteral("close") << 2;
        QTest::newRow("tray Exit") << QStringLiteral("exit") << 1;
    }

    void everyEndStoresTheSettingsWithItsExitCode()
    {
        QFETCH(QString, how);
        QFETCH(int, exitCode);
        const auto window = makeWindow();
        QVERIFY(window);
        setSource(*window, QStringLiteral("/srv/My Faxes"), QStringLiteral("/srv/out"));
        window->optionsPage()->qualityBox()->setText(QStringLiteral("75"));
        QSignalSpy ended(window.get(), &MainWindow::ended);
        if (how == "escape") QTest::keyClick(window.get(), Qt::Key_Escape);
        if (how == "enter") QTest::keyClick(window->convertPage()->filterBox(), Qt::Key_Return);
        if (how == "close") window->close();
        if (how == "exit") window->requestEnd(1);  // what the tray menu's "E&xit" asks
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toInt(), exitCode);

        const QString stored = readFile(QString::fromStdString(settingsFile()));
        const qsizetype main = stored.indexOf(QStringLiteral("[Main]\nFaxDir=/srv/My Faxes\nSaveDir=/srv/out\nBakDir=\n"));
        const qsizetype options = stored.indexOf(QStringLiteral("[Options]\nDirFile=0\n"));
        const qsizetype settings = stored.indexOf(QStringLiteral("[Settings]\nAutoBit=0\n"));
        QVERIFY2(main == 0 && options > main && settings > options, qPrintable(stored));
        QVERIFY(stored.contains(QStringLiteral("Quality=75\n")));

        const auto again = makeWindow();
        QVERIFY(again);
        QCOMPARE(again->convertPage()->sourceBox()->text(), QStringLiteral("/srv/My Faxes"));
        QCOMPARE(again->optionsPage()->qualityBox()->text(), QStringLiteral("75"));
    }
};

}  // namespace
}  // namespace pagelift::window

QTEST_MAIN(pagelift::window::WindowTest)
#include "window_test.moc"
