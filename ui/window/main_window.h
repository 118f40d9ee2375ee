#pragma once

#include "ui/conversion_run.h"
#include "ui/preview_loader.h"
#include "ui/window/results_list.h"
#include "ui/window/window_look.h"

#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <string>

class QPushButton;
class QTabWidget;

namespace pagelift::window {

class ConvertPage;
class OptionsPage;
class SettingsPage;

// What the window is started with.
struct WindowSetup {
    std::string settingsFile;  // read at start, written at every end
    std::string programPath;   // the help page is found from it
    std::string logPath;
    LogFolderCreation logFolderCreation = LogFolderCreation::OneLevel;
    FileConverter convert;     // converts one file
    int32_t jobs = 1;          // files a run converts at a time (/j= on the command line); 0 one per core
    DecodeSettings decode;     // the decoding settings the command line left; the settings file's win
    WorkingFiles workingFiles; // the working files of the window's runs
    std::chrono::milliseconds stopWait{5000};
    // Opens the help page, a row's JPEG or its folder with the desktop's
    // program for it; QDesktopServices::openUrl when not set.
    UrlOpener openUrl;
    // Opens a fax for the preview; openFaxForPreview when not set.
    PreviewOpener openPreview;
};

// The Zoziv Pagelift window: the Convert, Options and Settings tabs, "&Help"
// and "&About", and the tray icon that hides and brings back the window.
// It starts at the dialog's size, which is also its smallest; made larger or
// maximised, the tabs grow with it and the buttons stay at its right edge.
// Every end (OK or Enter 1, Cancel, Esc or the close box 2, the tray's
// "E&xit" 1) stops a running worker, waits for it without blocking the
// window, stores the three sections of the settings file and leaves the
// event loop with its exit code.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(WindowSetup setup, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Copies the Options values into the Convert tab, applies the Settings
    // tab to the decoding settings and refreshes the Convert boxes (after
    // saving what was typed in them).
    void syncPages();

    // Queues the end of the program with an exit code; the first request
    // counts. The end waits for open dialogs to close (an end by a signal,
    // exit code 128 and above, closes them) and for the worker.
    void requestEnd(int exitCode);

    // Writes the three sections into the settings file.
    bool storeSettings();

    // Shows a hidden window, restores a minimised one, raises it.
    void restore();

    ConvertPage* convertPage() const { return convertPage_; }
    OptionsPage* optionsPage() const { return optionsPage_; }
    SettingsPage* settingsPage() const { return settingsPage_; }
    QTabWidget* tabs() const { return tabs_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }
    // The tray icon's tip: while automatic conversion is on, that the window
    // is watching its folder and when the next run is due.
    QString trayTip() const;
    // Opens the help page with the desktop's browser; when there is no page
    // or no browser could be started, a message says so (with the page's path).
    void showHelp();
    bool ending() const { return endCode_ >= 0; }

signals:
    // The settings are stored and the event loop is told to end with this code.
    void ended(int exitCode);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildTray();
    void onTabChanged(int index);
    void updateTrayTip();
    void showAbout();
    void continueEnd();
    bool dialogOpen() const;

    WindowSetup setup_;
    QTabWidget* tabs_ = nullptr;
    ConvertPage* convertPage_ = nullptr;
    OptionsPage* optionsPage_ = nullptr;
    SettingsPage* settingsPage_ = nullptr;
    QPointer<QSystemTrayIcon> tray_;
    GrowingControls growing_;
    QSize startSize_;
    QTimer trayWatch_;     // brings the window back when the tray goes away
    QTimer endWatch_;      // follows an end until dialogs and worker are gone
    int endCode_ = -1;
};

}  // namespace pagelift::window
