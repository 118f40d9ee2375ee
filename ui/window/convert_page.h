#pragma once

#include "platform/file_lock.h"
#include "ui/convert_controller.h"
#include "ui/ini_file.h"
#include "ui/preview_loader.h"
#include "ui/window/results_list.h"
#include "ui/window/window_look.h"

#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QSplitter;

Q_DECLARE_METATYPE(pagelift::FileResult)

namespace pagelift::window {

class ElidedLabel;
class PreviewPane;

// Hands a run's events from the worker's thread to the window's thread as
// queued signals, in the worker's order; the worker never waits for them.
class QueuedRunEvents : public QObject, public RunEvents {
    Q_OBJECT
public:
    using QObject::QObject;
    void runPrepared(uint64_t runId, int entryCount) override;
    void fileStarted(uint64_t runId, int index, const std::string& source, const std::string& entry,
                     const std::string& status) override;
    void fileFinished(uint64_t runId, int index, const FileResult& result) override;
    void runFinished(uint64_t runId, const RunTally& tally, const std::string& status) override;

signals:
    void prepared(quint64 runId, int entryCount);
    void started(quint64 runId, int index, QString source, QString entry, QString status);
    void finished(quint64 runId, int index, pagelift::FileResult result);
    void ended(quint64 runId, QString status);
};

// The Convert tab: source, destination and "Move to" boxes, "&Go" and
// "&Cancel", the results list with the preview of the selected row's fax
// beside it, progress bar and status line, and the period timer of automatic
// conversion. Laid out for the window's starting size; the path boxes, the
// list, the progress bar and the status line follow the window as it grows
// (growBy). The preview is folded to its splitter handle until the window is
// wider than kPreviewOpensAt or the user drags the handle. A run leaves the
// keyboard focus where it was.
class ConvertPage : public QWidget, private PageNotices {
    Q_OBJECT
public:
    ConvertPage(const MainTexts& stored, FileConverter convert, std::chrono::milliseconds stopWait,
                std::string lockPath, UrlOpener opener, PreviewOpener previewOpener, QWidget* parent = nullptr);

    static constexpr int kPreviewOpensAt = 1000;  // window width in pixels

    // Box texts into the fields, and fields into the boxes (a box whose text
    // is unchanged is left alone, with its cursor and selection).
    void saveBoxes();
    void loadBoxes();

    // The Options values a run uses (copied at every switch to this tab).
    void setChoices(const RunChoices& choices);

    void setLog(const std::string& path, LogFolderCreation creation);

    // "&Go" (automatic false) and the period timer (true).
    StartResult startRun(bool automatic);
    // "&Cancel": stops a run (waiting at most the stop wait) and goes idle.
    void cancelRun();

    // Arms the period timer (enabled 1) or cancels it (anything else); a
    // period below 1 minute is 1 minute. Only one running copy per settings
    // file converts automatically: false, with the reason in the status
    // line, when another copy holds that role.
    bool setAutoConvert(int32_t minutes, int32_t enabled);
    bool autoConvertArmed() const { return autoTimer_.isActive(); }
    int autoConvertIntervalMs() const { return autoTimer_.interval(); }
    // What the period timer does at each tick: an automatic start, then the
    // status says when the next run is due.
    void automaticTick();
    // While automatic conversion is on: "next run at 14:05" (when the next
    // tick comes); empty when it is off.
    std::string nextRunNote() const;
    // The folder automatic runs watch (the Source box's text, "~" expanded).
    std::string watchedFolder() const;

    // Lays the controls out for a window `grownX` pixels wider and `grownY`
    // taller than its starting size.
    void growBy(int grownX, int grownY);

    // The program is ending: asks a running worker to stop. True when no
    // worker thread is left (then workerEnded is not awaited).
    bool stopForEnd();

    // Writes the "Main" section.
    void saveToSettings(IniFile& file);

    ConvertController& controller() { return controller_; }
    ResultsList* resultsList() const { return list_; }
    PreviewPane* previewPane() const { return preview_; }
    QSplitter* previewSplitter() const { return splitter_; }
    QProgressBar* progressBar() const { return progress_; }
    ElidedLabel* statusLine() const { return status_; }
    QPushButton* goButton() const { return goButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QPushButton* sourceBrowseButton() const { return sourceBrowse_; }
    QPushButton* destinationBrowseButton() const { return destinationBrowse_; }
    QLineEdit* filterBox() const { return filterBox_; }
    QLineEdit* sourceBox() const { return sourceBox_; }
    QLineEdit* destinationBox() const { return destinationBox_; }
    QLineEdit* backupBox() const { return backupBox_; }

signals:
    // A worker thread has ended (or was found gone).
    void workerEnded();
    // Automatic conversion was turned on or off, or its next run moved.
    void automaticConversionChanged();

private:
    void showMessage(const std::string& text, const std::string& caption) override;
    void showNote(const std::string& text) override;
    void buildControls();
    void setBusy(bool busy, bool automatic = false);
    // The status line: `status`, and while automatic conversion is on and no
    // run is going, when the next run is due.
    void showStatus(const std::string& status);
    void browseSource();
    void browseFolder(QLineEdit* box, std::string PageTexts::*field);
    // Opens or folds the preview for the window's width, unless the user
    // has placed the handle.
    void arrangePreview();
    void previewRow(const QTreeWidgetItem* row);

    void onPrepared(quint64 runId, int entryCount);
    void onStarted(quint64 runId, int index, const QString& source, const QString& entry, const QString& status);
    void onFinished(quint64 runId, int index, const FileResult& result);
    void onEnded(quint64 runId, const QString& status);

    QueuedRunEvents events_;       // before the controller: outlives its worker
    ConvertController controller_;
    std::chrono::milliseconds stopWait_;
    std::string lockPath_;
    UrlOpener opener_;
    PreviewOpener previewOpener_;
    bool handlePlaced_ = false;          // the user dragged the preview's handle
    ExclusiveFileLock autoLock_;
    QTimer autoTimer_;
    std::string statusWithoutNote_;      // the status without the next-run note
    QPointer<QWidget> focusBeforeRun_;
    GrowingControls growing_;

    QLineEdit* filterBox_ = nullptr;
    QLineEdit* sourceBox_ = nullptr;
    QLineEdit* destinationBox_ = nullptr;
    QLineEdit* backupBox_ = nullptr;
    QPushButton* goButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QPushButton* sourceBrowse_ = nullptr;
    QPushButton* destinationBrowse_ = nullptr;
    QPushButton* backupBrowse_ = nullptr;
    QProgressBar* progress_ = nullptr;
    ElidedLabel* status_ = nullptr;
    ResultsList* list_ = nullptr;
    QSplitter* splitter_ = nullptr;
    PreviewPane* preview_ = nullptr;
};

}  // namespace pagelift::window
