#pragma once

#include "platform/file_lock.h"
#include "ui/convert_controller.h"
#include "ui/ini_file.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;

namespace pagelift::window {

// Hands a run's events from the worker's thread to the window's thread as
// queued signals, in the worker's order; the worker never waits for them.
class QueuedRunEvents : public QObject, public RunEvents {
    Q_OBJECT
public:
    using QObject::QObject;
    void runPrepared(uint64_t runId, int entryCount) override;
    void fileStarted(uint64_t runId, int index, const std::string& source, const std::string& status) override;
    void fileFinished(uint64_t runId, int index, const std::string& target, const std::string& result) override;
    void runFinished(uint64_t runId, int converted, const std::string& status) override;

signals:
    void prepared(quint64 runId, int entryCount);
    void started(quint64 runId, int index, QString source, QString status);
    void finished(quint64 runId, int index, QString target, QString result);
    void ended(quint64 runId, int converted, QString status);
};

// The Convert tab: source, destination and "Move to" boxes, "&Go" and
// "&Cancel", the results list, progress bar and status line, and the period
// timer of automatic conversion.
class ConvertPage : public QWidget, private PageNotices {
    Q_OBJECT
public:
    ConvertPage(const MainTexts& stored, FileConverter convert, std::chrono::milliseconds stopWait,
                std::string lockPath, QWidget* parent = nullptr);

    // Box texts into the fields, and fields into the boxes.
    void saveBoxes();
    void loadBoxes();

    // The Options values a run uses (copied at every switch to this tab).
    void setChoices(const RunChoices& choices) { controller_.choices = choices; }

    void setLog(const std::string& path, LogFolderCreation creation);

    // "&Go" (automatic false) and the period timer (true).
    StartResult startRun(bool automatic);
    // "&Cancel": stops a run (waiting at most the stop wait) and goes idle.
    void cancelRun();

    // Arms the period timer (enabled 1) or cancels it (anything else). Only
    // one running copy per settings file converts automatically: false, with
    // the reason in the status line, when another copy holds that role.
    bool setAutoConvert(int32_t minutes, int32_t enabled);
    bool autoConvertArmed() const { return autoTimer_.isActive(); }
    int autoConvertIntervalMs() const { return autoTimer_.interval(); }

    // The program is ending: asks a running worker to stop. True when no
    // worker thread is left (then workerEnded is not awaited).
    bool stopForEnd();

    // Writes the "Main" section.
    void saveToSettings(IniFile& file);

    ConvertController& controller() { return controller_; }
    QTreeWidget* resultsList() const { return list_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* statusLine() const { return status_; }
    QPushButton* goButton() const { return goButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QLineEdit* filterBox() const { return filterBox_; }
    QLineEdit* sourceBox() const { return sourceBox_; }
    QLineEdit* destinationBox() const { return destinationBox_; }
    QLineEdit* backupBox() const { return backupBox_; }

signals:
    // A worker thread has ended (or was found gone).
    void workerEnded();

private:
    void showMessage(const std::string& text, const std::string& caption) override;
    void buildControls();
    void setBusy(bool busy);
    void showStatus(const std::string& status);
    void browseSource();
    void browseFolder(QLineEdit* box, std::string PageTexts::*field);

    void onPrepared(quint64 runId, int entryCount);
    void onStarted(quint64 runId, int index, const QString& source, const QString& status);
    void onFinished(quint64 runId, int index, const QString& target, const QString& result);
    void onEnded(quint64 runId, int converted, const QString& status);

    QueuedRunEvents events_;       // before the controller: outlives its worker
    ConvertController controller_;
    std::chrono::milliseconds stopWait_;
    std::string lockPath_;
    ExclusiveFileLock autoLock_;
    QTimer autoTimer_;

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
    QLabel* status_ = nullptr;
    QTreeWidget* list_ = nullptr;
};

}  // namespace pagelift::window
