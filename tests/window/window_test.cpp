// The window itself, offscreen: what the tabs show at start, a run over real
// fax files, stopping, ending during a run, the period timer, the copy of the
// Options values and the settings file written at every end.

#include "batch/single_file.h"
#include "platform/file_lock.h"
#include "settings/decode_settings.h"
#include "settings/working_paths.h"
#include "tests/support/corpus_folder.h"
#include "tests/support/held_converter.h"
#include "ui/window/convert_page.h"
#include "ui/window/main_window.h"
#include "ui/window/options_page.h"
#include "ui/window/settings_page.h"
#include "ui/window_places.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStyleFactory>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

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

// Closes the next message box that opens and keeps its text.
class MessageCatcher : public QObject {
public:
    MessageCatcher()
    {
        connect(&poll_, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen << box->windowTitle() + ": " + box->text();
                box->accept();
            }
        });
        poll_.start(20);
    }
    QStringList seen;

private:
    QTimer poll_;
};

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> makeWindow(FileConverter convert = realConverter(),
                                           std::chrono::milliseconds stopWait = std::chrono::milliseconds(5000))
    {
        WindowSetup setup;
        setup.settingsFile = settingsFile();
        setup.logPath = text(scratch_->filePath(QStringLiteral("log/plflog.txt")));
        setup.convert = std::move(convert);
        setup.stopWait = stopWait;
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

    std::unique_ptr<QTemporaryDir> scratch_;

private slots:
    void initTestCase()
    {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setQuitOnLastWindowClosed(false);
    }

    void init()
    {
        scratch_ = std::make_unique<QTemporaryDir>();
        QVERIFY(scratch_->isValid());
        processWorkingPaths().intermediateBitmap = text(scratch_->filePath(QStringLiteral("tmpbmp.tmp")));
        processDecodeSettings() = DecodeSettings{};
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
        const DecodeSettings decode = copyProcessDecodeSettings();
        QCOMPARE(int{decode.bitOrder}, 255);
        QCOMPARE(int{decode.flagNum}, 44);

        // An empty threshold box: 0, and the boxes after it keep their fields.
        settings.thresholdBox()->clear();
        settings.flagNumBox()->setText(QStringLiteral("9"));
        settings.applySettings();
        QCOMPARE(int{copyProcessDecodeSettings().threshold}, 0);
        QCOMPARE(int{copyProcessDecodeSettings().flagNum}, 44);
        // A resolution chosen reaches the decoding settings at the switch to Convert.
        settings.resolutionList()->setCurrentIndex(2);
        window->tabs()->setCurrentIndex(2);
        window->tabs()->setCurrentIndex(0);
        QCOMPARE(int{copyProcessDecodeSettings().resolution}, 200);
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
            QVERIFY2(item.text(0).startsWith(kCorpus + "/"), qPrintable(item.text(0)));
            QVERIFY2(item.text(1).startsWith(out + "/") && item.text(1).endsWith(".jpg"), qPrintable(item.text(1)));
            QCOMPARE(item.text(2), QStringLiteral("Converted!"));
        }
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
        setSource(*window, faxFolder(QStringLiteral("in"), 3), scratch_->filePath(QStringLiteral("out")));
        QTest::mouseClick(page.goButton(), Qt::LeftButton);
        QTRY_VERIFY(held.holding());
        QTRY_COMPARE(page.resultsList()->topLevelItemCount(), 1);

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
        QTRY_COMPARE(page.statusLine()->text(), QStringLiteral("Done. 1 FAX files converted"));
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
        const auto window = makeWindow();
        QVERIFY(window);
        ConvertPage& page = *window->convertPage();
        OptionsPage& options = *window->optionsPage();
        setSource(*window, faxFolder(QStringLiteral("watched"), 1), scratch_->filePath(QStringLiteral("out")));
        window->tabs()->setCurrentIndex(1);
        options.minutesBox()->setText(QStringLiteral("0"));  // once a second
        QTest::mouseClick(options.autoConvertBox(), Qt::LeftButton);
        QVERIFY(options.autoConvertBox()->isChecked());
        QVERIFY(!options.minutesBox()->isEnabled());
        QVERIFY(page.autoConvertArmed());
        QCOMPARE(page.autoConvertIntervalMs(), 1000);

        QTRY_COMPARE_WITH_TIMEOUT(page.resultsList()->topLevelItemCount() > 0
                                      ? page.resultsList()->topLevelItem(0)->text(2)
                                      : QString(),
                                  QStringLiteral("Converted!"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(page.resultsList()->topLevelItem(0)->text(2),
                                  QStringLiteral("Already exist, skipped!"), 10000);

        // Clicking a source mode clears automatic conversion and its timer.
        QTest::mouseClick(options.filesButton(), Qt::LeftButton);
        QVERIFY(!options.autoConvertBox()->isChecked());
        QVERIFY(!options.autoConvertBox()->isEnabled());
        QVERIFY(!options.subfoldersBox()->isEnabled());
        QVERIFY(!page.autoConvertArmed());
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
            QVERIFY(window->convertPage()->statusLine()->text().contains(QStringLiteral("another running copy")));
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
