#include "ui/window/convert_page.h"

#include "batch/single_file.h"
#include "platform/paths.h"
#include "ui/dialog_units.h"
#include "ui/file_list.h"
#include "ui/folder_fields.h"
#include "ui/run_texts.h"
#include "platform/work_folder.h"
#include "ui/window/elided_label.h"
#include "ui/window/preview_pane.h"

#include <QDateTime>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>

namespace pagelift::window {

void QueuedRunEvents::runPrepared(uint64_t runId, int entryCount)
{
    emit prepared(runId, entryCount);
}

void QueuedRunEvents::fileStarted(uint64_t runId, int index, const std::string& source, const std::string& entry,
                                  const std::string& status)
{
    emit started(runId, index, toQt(source), toQt(entry), toQt(status));
}

void QueuedRunEvents::fileFinished(uint64_t runId, int index, const FileResult& result)
{
    emit finished(runId, index, result);
}

void QueuedRunEvents::runFinished(uint64_t runId, const RunTally& /*tally*/, const std::string& status)
{
    emit ended(runId, toQt(status));
}

ConvertPage::ConvertPage(const MainTexts& stored, FileConverter convert, std::chrono::milliseconds stopWait,
                         std::string lockPath, UrlOpener opener, PreviewOpener previewOpener, QWidget* parent)
    : QWidget(parent),
      controller_(events_, std::move(convert)),
      stopWait_(stopWait),
      lockPath_(std::move(lockPath)),
      opener_(std::move(opener)),
      previewOpener_(std::move(previewOpener))
{
    controller_.texts.sourceText = stored.sourceText;
    controller_.texts.destinationText = stored.destinationText;
    controller_.texts.backupText = stored.backupText;
    statusWithoutNote_ = controller_.texts.statusText;
    buildControls();
    paintWidget(*this, colours::page, colours::convertEdit);

    // The worker's events arrive here queued, on this thread, in its order.
    connect(&events_, &QueuedRunEvents::prepared, this, &ConvertPage::onPrepared, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::started, this, &ConvertPage::onStarted, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::finished, this, &ConvertPage::onFinished, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::ended, this, &ConvertPage::onEnded, Qt::QueuedConnection);
    connect(&autoTimer_, &QTimer::timeout, this, &ConvertPage::automaticTick);

    setBusy(false);
    loadBoxes();
}

void ConvertPage::buildControls()
{
    const DialogGeometry geometry(font());
    const auto edit = [&](int x, int y, int w, int h) {
        auto* box = new QLineEdit(this);
        growing_.place(*box, geometry, x, y, w, h, Follow::Width);
        return box;
    };
    const auto button = [&](const char* text, int x, int y, int w, int h, Follow follow) {
        auto* pushButton = new QPushButton(QString::fromUtf8(text), this);
        growing_.place(*pushButton, geometry, x, y, w, h, follow);
        return pushButton;
    };
    const auto label = [&](const char* text, int x, int y, int w, int h) {
        auto* shown = new QLabel(QString::fromUtf8(text), this);
        shown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        place(*shown, geometry, x, y, w, h);
        return shown;
    };

    // Created in the page's tab order.
    sourceBox_ = edit(64, 28, 223, 12);
    destinationBox_ = edit(64, 41, 223, 12);
    goButton_ = button("&Go", 13, 74, 46, 15, Follow::Nothing);
    filterBox_ = new QLineEdit(this);
    place(*filterBox_, geometry, 64, 15, 104, 12);
    sourceBrowse_ = button("...", 291, 28, 13, 13, Follow::Right);
    destinationBrowse_ = button("...", 291, 41, 13, 13, Follow::Right);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    growing_.place(*progress_, geometry, 8, 169, 303, 10, Follow::WidthBottom);
    auto* frame = new QGroupBox(QStringLiteral("Convert Fax to Jpeg"), this);
    growing_.place(*frame, geometry, 7, 4, 304, 165, Follow::Size);
    frame->lower();  // a frame only: the controls inside stay on top of it
    label("File &filter", 12, 18, 48, 8)->setBuddy(filterBox_);
    label("Source", 12, 30, 48, 8);
    label("Destniation", 12, 43, 48, 8);
    cancelButton_ = button("&Cancel", 13, 97, 46, 15, Follow::Nothing);
    status_ = new ElidedLabel(this);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    growing_.place(*status_, geometry, 8, 180, 303, 12, Follow::WidthBottom);
    splitter_ = new QSplitter(Qt::Horizontal, this);
    list_ = new ResultsList(opener_, splitter_);
    preview_ = new PreviewPane(previewOpener_, splitter_);
    splitter_->setCollapsible(0, false);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    growing_.place(*splitter_, geometry, 64, 68, 242, 97, Follow::Size);
    // Folded at first: the list as wide as the place allows.
    splitter_->setSizes({splitter_->width(), 0});
    list_->resize(splitter_->width() - splitter_->handleWidth(), splitter_->height());
    list_->sizeColumnsToHeadings();
    label("Move to", 25, 54, 36, 8);
    backupBox_ = edit(64, 54, 223, 14);
    backupBrowse_ = button("...", 291, 54, 13, 13, Follow::Right);
    for (QPushButton* browse : {sourceBrowse_, destinationBrowse_, backupBrowse_}) browse->setAutoDefault(false);

    connect(goButton_, &QPushButton::clicked, this, [this] { startRun(false); });
    connect(cancelButton_, &QPushButton::clicked, this, &ConvertPage::cancelRun);
    connect(sourceBrowse_, &QPushButton::clicked, this, &ConvertPage::browseSource);
    connect(destinationBrowse_, &QPushButton::clicked, this,
            [this] { browseFolder(destinationBox_, &PageTexts::destinationText); });
    connect(backupBrowse_, &QPushButton::clicked, this, [this] { browseFolder(backupBox_, &PageTexts::backupText); });
    connect(filterBox_, &QLineEdit::editingFinished, this, [this] { saveBoxes(); });
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { handlePlaced_ = true; });
    connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* row) { previewRow(row); });
}

void ConvertPage::growBy(int grownX, int grownY)
{
    growing_.growBy(grownX, grownY);
    arrangePreview();
}

void ConvertPage::arrangePreview()
{
    if (handlePlaced_) return;
    const int room = std::max(0, splitter_->width() - splitter_->handleWidth());
    if (window()->width() <= kPreviewOpensAt) {
        splitter_->setSizes({room, 0});
        return;
    }
    // The list keeps a little under half: its paths are shortened in the
    // middle, the pages are not.
    const int listWidth = room * 9 / 20;
    splitter_->setSizes({listWidth, room - listWidth});
}

void ConvertPage::previewRow(const QTreeWidgetItem* row)
{
    const QString fax = row != nullptr ? ResultsList::faxOf(*row) : QString();
    const QString cause = row != nullptr ? ResultsList::causeOf(*row) : QString();
    preview_->showFax(fax, withFilePrefix(controller_.decode, previewFilePrefix()),
                      cause.isEmpty() ? cause : QStringLiteral("Not written: ") + cause);
}

void ConvertPage::saveBoxes()
{
    PageTexts& texts = controller_.texts;
    texts.filterText = fromQt(filterBox_->text());
    texts.sourceText = fromQt(sourceBox_->text());
    texts.destinationText = fromQt(destinationBox_->text());
    texts.backupText = fromQt(backupBox_->text());
}

void ConvertPage::loadBoxes()
{
    // Setting a box's text moves its cursor to the end and drops its
    // selection: only a changed text is set.
    const auto show = [](QLineEdit* box, const std::string& text) {
        const QString shown = toQt(text);
        if (box->text() != shown) box->setText(shown);
    };
    const PageTexts& texts = controller_.texts;
    show(filterBox_, texts.filterText);
    show(sourceBox_, texts.sourceText);
    show(destinationBox_, texts.destinationText);
    show(backupBox_, texts.backupText);
    status_->setFullText(toQt(singleLine(texts.statusText)));
}

void ConvertPage::setChoices(const RunChoices& choices)
{
    controller_.choices = choices;
    list_->setOutputWord(std::string(choices.outputFormat->reportName));
}

void ConvertPage::setLog(const std::string& path, LogFolderCreation creation)
{
    controller_.logPath = path;
    controller_.logFolderCreation = creation;
}

std::string ConvertPage::nextRunNote() const
{
    if (!autoTimer_.isActive()) return {};
    const auto now = std::chrono::system_clock::now();
    return nextRunText(now + std::chrono::milliseconds(std::max(0, autoTimer_.remainingTime())), now);
}

std::string ConvertPage::watchedFolder() const
{
    // The box, not the field: the next run takes what the box holds then.
    return expandHomeFolder(fromQt(sourceBox_->text()));
}

void ConvertPage::showStatus(const std::string& status)
{
    statusWithoutNote_ = status;
    const std::string note = controller_.running() ? std::string() : nextRunNote();
    controller_.texts.statusText = note.empty() ? status : statusWithNextRun(status, note);
    status_->setFullText(toQt(singleLine(controller_.texts.statusText)));
    emit automaticConversionChanged();
}

void ConvertPage::showNote(const std::string& text)
{
    showStatus(text);
}

void ConvertPage::setBusy(bool busy, bool automatic)
{
    // A manual run locks what names its folders; a timer run works on its own
    // copy of them, so the boxes stay open to whoever is typing in them.
    std::vector<QWidget*> locked{goButton_};
    if (!automatic || !busy) {
        for (QWidget* control : std::initializer_list<QWidget*>{sourceBrowse_, destinationBrowse_, backupBrowse_,
                                                                sourceBox_, destinationBox_, backupBox_}) {
            locked.push_back(control);
        }
    }
    // Qt hands the focus of a control it disables to the next one in the tab
    // order, selecting all of its text ("File filter" after "&Go"); the focus
    // waits on "&Cancel" instead and goes back when the run is over.
    QWidget* focused = window()->focusWidget();
    if (busy) {
        cancelButton_->setEnabled(true);
        const bool focusLocked = std::find(locked.begin(), locked.end(), focused) != locked.end();
        focusBeforeRun_ = focusLocked ? focused : nullptr;
        if (focusLocked) cancelButton_->setFocus(Qt::OtherFocusReason);
        for (QWidget* control : locked) control->setEnabled(false);
        if (!automatic) setCursor(Qt::WaitCursor);
        return;
    }
    for (QWidget* control : locked) control->setEnabled(true);
    if (focused == cancelButton_) {
        QWidget* back = focusBeforeRun_ != nullptr && focusBeforeRun_->isEnabled() ? focusBeforeRun_.data() : goButton_;
        back->setFocus(Qt::OtherFocusReason);
    }
    focusBeforeRun_ = nullptr;
    cancelButton_->setEnabled(false);
    unsetCursor();
}

void ConvertPage::showMessage(const std::string& text, const std::string& caption)
{
    QMessageBox box(caption == "Error" ? QMessageBox::Critical : QMessageBox::Warning, toQt(caption), toQt(text),
                    QMessageBox::Ok, this);
    box.exec();
}

StartResult ConvertPage::startRun(bool automatic)
{
    saveBoxes();
    const StartResult result = controller_.startRun(automatic, *this);
    if (const std::optional<int> entries = controller_.listedEntries()) {
        progress_->setRange(0, std::max(1, *entries));
        progress_->setValue(0);
    }
    if (result == StartResult::Started) setBusy(true, automatic);
    return result;
}

void ConvertPage::automaticTick()
{
    const StartResult result = startRun(true);
    // A tick that started nothing moves the next run on.
    if (result != StartResult::Started && !controller_.running()) showStatus(statusWithoutNote_);
}

void ConvertPage::cancelRun()
{
    const bool hadWorker = !controller_.workerIdle();
    controller_.stopRun(stopWait_);
    setBusy(false);
    if (hadWorker && controller_.workerIdle()) emit workerEnded();
}

bool ConvertPage::stopForEnd()
{
    controller_.requestStop();
    return controller_.workerIdle();
}

namespace {

std::string everyMinutesText(int32_t minutes)
{
    return minutes == 1 ? "every minute" : "every " + std::to_string(minutes) + " minutes";
}

}  // namespace

bool ConvertPage::setAutoConvert(int32_t minutes, int32_t enabled)
{
    constexpr const char* kOnStatus = "Automatic conversion ";
    if (enabled != 1) {
        const bool wasArmed = autoTimer_.isActive();
        autoTimer_.stop();
        autoLock_.release();
        if (wasArmed && !controller_.running()) {
            const bool aboutIt = statusWithoutNote_.rfind(kOnStatus, 0) == 0;
            showStatus(aboutIt ? "Automatic conversion is off" : statusWithoutNote_);
        }
        return true;
    }
    // The settings folder may not exist yet before the first end stores the file.
    const std::string lockFolder = folderOfPath(lockPath_);
    if (!lockFolder.empty()) ensureFolder(lockFolder);
    if (!autoLock_.tryAcquire(lockPath_)) {
        autoTimer_.stop();
        showStatus("Automatic conversion is off: another running copy of Zoziv Pagelift converts automatically "
                   "with the same settings file");
        return false;
    }
    autoTimer_.start(automaticConversionIntervalMs(minutes));
    if (controller_.running()) {
        emit automaticConversionChanged();
    } else {
        showStatus(kOnStatus + everyMinutesText(automaticConversionMinutes(minutes)));
    }
    return true;
}

void ConvertPage::saveToSettings(IniFile& file)
{
    saveBoxes();
    const PageTexts& texts = controller_.texts;
    writeMainSection(file, {texts.sourceText, texts.destinationText, texts.backupText});
}

void ConvertPage::browseSource()
{
    saveBoxes();
    if (controller_.choices.sourceMode == 0) {
        browseFolder(sourceBox_, &PageTexts::sourceText);
        return;
    }
    const std::string start = namedFilesStartFolder(expandHomeFolder(controller_.texts.sourceText),
                                                    controller_.selection);
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QString(), toQt(start), toQt(controller_.texts.filterText));
    if (files.isEmpty()) return;
    FileSelection selection;
    selection.folder = fromQt(QFileInfo(files.front()).absolutePath());
    for (const QString& file : files) selection.names.push_back(fromQt(QFileInfo(file).fileName()));
    controller_.texts.sourceText = sourceTextOf(selection);
    controller_.selection = std::move(selection);
    loadBoxes();
}

void ConvertPage::browseFolder(QLineEdit* box, std::string PageTexts::*field)
{
    saveBoxes();
    const std::string start = nearestExistingFolder(controller_.texts.*field);
    const QString folder = QFileDialog::getExistingDirectory(this, QString(), toQt(start));
    if (folder.isEmpty()) return;
    controller_.texts.*field = fromQt(folder);
    box->setText(folder);
}

void ConvertPage::onPrepared(quint64 runId, int entryCount)
{
    if (!controller_.isCurrentRun(runId)) return;
    progress_->setRange(0, std::max(1, entryCount));
    progress_->setValue(0);
    list_->clearRows();
}

void ConvertPage::onStarted(quint64 runId, int index, const QString& source, const QString& entry,
                            const QString& status)
{
    if (!controller_.isCurrentRun(runId)) return;
    list_->addRow(index, fromQt(source), fromQt(entry));
    showStatus(fromQt(status));
}

void ConvertPage::onFinished(quint64 runId, int index, const FileResult& result)
{
    if (!controller_.isCurrentRun(runId)) return;
    list_->finishRow(index, result);
    // A fax moved into the backup folder is read from there.
    if (QTreeWidgetItem* row = list_->rowOf(index); row != nullptr && row == list_->currentItem()) previewRow(row);
    progress_->setValue(std::min(progress_->maximum(), progress_->value() + 1));
}

void ConvertPage::onEnded(quint64 runId, const QString& status)
{
    if (controller_.isCurrentRun(runId)) {
        controller_.runFinished(runId);  // first: an idle page shows when the next automatic run is due
        showStatus(fromQt(status));
        setBusy(false);
    }
    // The worker posts this as its last act, so it is about to return.
    if (controller_.workerIdle()) emit workerEnded();
}

}  // namespace pagelift::window
