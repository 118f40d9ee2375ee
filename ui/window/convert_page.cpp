#include "ui/window/convert_page.h"

#include "batch/single_file.h"
#include "platform/paths.h"
#include "ui/dialog_units.h"
#include "ui/window/window_look.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

namespace pagelift::window {
namespace {

QString toQt(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

}  // namespace

void QueuedRunEvents::runPrepared(uint64_t runId, int entryCount)
{
    emit prepared(runId, entryCount);
}

void QueuedRunEvents::fileStarted(uint64_t runId, int index, const std::string& source, const std::string& status)
{
    emit started(runId, index, toQt(source), toQt(status));
}

void QueuedRunEvents::fileFinished(uint64_t runId, int index, const std::string& target, const std::string& result)
{
    emit finished(runId, index, toQt(target), toQt(result));
}

void QueuedRunEvents::runFinished(uint64_t runId, int converted, const std::string& status)
{
    emit ended(runId, converted, toQt(status));
}

ConvertPage::ConvertPage(const MainTexts& stored, FileConverter convert, std::chrono::milliseconds stopWait,
                         std::string lockPath, QWidget* parent)
    : QWidget(parent),
      controller_(events_, std::move(convert)),
      stopWait_(stopWait),
      lockPath_(std::move(lockPath))
{
    controller_.texts.sourceText = stored.sourceText;
    controller_.texts.destinationText = stored.destinationText;
    controller_.texts.backupText = stored.backupText;
    buildControls();
    paintWidget(*this, colours::page, colours::convertEdit);

    // The worker's events arrive here queued, on this thread, in its order.
    connect(&events_, &QueuedRunEvents::prepared, this, &ConvertPage::onPrepared, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::started, this, &ConvertPage::onStarted, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::finished, this, &ConvertPage::onFinished, Qt::QueuedConnection);
    connect(&events_, &QueuedRunEvents::ended, this, &ConvertPage::onEnded, Qt::QueuedConnection);
    connect(&autoTimer_, &QTimer::timeout, this, [this] { startRun(true); });

    setBusy(false);
    loadBoxes();
}

void ConvertPage::buildControls()
{
    const DialogGeometry geometry(font());
    const auto edit = [&](int x, int y, int w, int h) {
        auto* box = new QLineEdit(this);
        place(*box, geometry, x, y, w, h);
        return box;
    };
    const auto button = [&](const char* text, int x, int y, int w, int h) {
        auto* pushButton = new QPushButton(QString::fromUtf8(text), this);
        place(*pushButton, geometry, x, y, w, h);
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
    goButton_ = button("&Go", 13, 74, 46, 15);
    filterBox_ = edit(64, 15, 104, 12);
    sourceBrowse_ = button("...", 291, 28, 13, 13);
    destinationBrowse_ = button("...", 291, 41, 13, 13);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    place(*progress_, geometry, 8, 169, 303, 10);
    auto* frame = new QGroupBox(QStringLiteral("Convert Fax to Jpeg"), this);
    place(*frame, geometry, 7, 4, 304, 165);
    frame->lower();  // a frame only: the controls inside stay on top of it
    label("File &filter", 12, 18, 48, 8)->setBuddy(filterBox_);
    label("Source", 12, 30, 48, 8);
    label("Destniation", 12, 43, 48, 8);
    cancelButton_ = button("&Cancel", 13, 97, 46, 15);
    status_ = new QLabel(this);
    status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    place(*status_, geometry, 8, 180, 303, 12);
    list_ = new QTreeWidget(this);
    list_->setRootIsDecorated(false);
    list_->setColumnCount(3);
    list_->setHeaderLabels({QStringLiteral("Source Fax Files"), QStringLiteral("Destination JPEG Files"),
                            QStringLiteral("Results")});
    list_->header()->setStretchLastSection(true);
    for (int column = 0; column < 2; ++column) {
        list_->header()->resizeSection(column, list_->header()->sectionSizeHint(column));
    }
    place(*list_, geometry, 64, 68, 242, 97);
    label("Move to", 25, 54, 36, 8);
    backupBox_ = edit(64, 54, 223, 14);
    backupBrowse_ = button("...", 291, 54, 13, 13);
    for (QPushButton* browse : {sourceBrowse_, destinationBrowse_, backupBrowse_}) browse->setAutoDefault(false);

    connect(goButton_, &QPushButton::clicked, this, [this] { startRun(false); });
    connect(cancelButton_, &QPushButton::clicked, this, &ConvertPage::cancelRun);
    connect(sourceBrowse_, &QPushButton::clicked, this, &ConvertPage::browseSource);
    connect(destinationBrowse_, &QPushButton::clicked, this,
            [this] { browseFolder(destinationBox_, &PageTexts::destinationText); });
    connect(backupBrowse_, &QPushButton::clicked, this, [this] { browseFolder(backupBox_, &PageTexts::backupText); });
    connect(filterBox_, &QLineEdit::editingFinished, this, [this] { saveBoxes(); });
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
    const PageTexts& texts = controller_.texts;
    filterBox_->setText(toQt(texts.filterText));
    sourceBox_->setText(toQt(texts.sourceText));
    destinationBox_->setText(toQt(texts.destinationText));
    backupBox_->setText(toQt(texts.backupText));
    status_->setText(toQt(texts.statusText));
}

void ConvertPage::setLog(const std::string& path, LogFolderCreation creation)
{
    controller_.logPath = path;
    controller_.logFolderCreation = creation;
}

void ConvertPage::showStatus(const std::string& status)
{
    controller_.texts.statusText = status;
    status_->setText(toQt(status));
}

void ConvertPage::setBusy(bool busy)
{
    for (QWidget* control : std::initializer_list<QWidget*>{goButton_, sourceBrowse_, destinationBrowse_,
                                                            backupBrowse_, sourceBox_, destinationBox_, backupBox_}) {
        control->setEnabled(!busy);
    }
    cancelButton_->setEnabled(busy);
    if (busy) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
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
    if (result == StartResult::Started) setBusy(true);
    return result;
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

bool ConvertPage::setAutoConvert(int32_t minutes, int32_t enabled)
{
    if (enabled != 1) {
        autoTimer_.stop();
        autoLock_.release();
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
    const QStringList files =
        QFileDialog::getOpenFileNames(this, QString(), QString(), toQt(controller_.texts.filterText));
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
    const QString folder = QFileDialog::getExistingDirectory(this, QString(), QString());
    if (folder.isEmpty()) return;
    controller_.texts.*field = fromQt(folder);
    box->setText(folder);
}

void ConvertPage::onPrepared(quint64 runId, int entryCount)
{
    if (!controller_.isCurrentRun(runId)) return;
    progress_->setRange(0, std::max(1, entryCount));
    progress_->setValue(0);
    list_->clear();
}

void ConvertPage::onStarted(quint64 runId, int index, const QString& source, const QString& status)
{
    if (!controller_.isCurrentRun(runId)) return;
    auto* row = new QTreeWidgetItem(list_);
    row->setText(0, source);
    row->setData(0, Qt::UserRole, index);
    list_->scrollToItem(row);
    showStatus(fromQt(status));
}

void ConvertPage::onFinished(quint64 runId, int index, const QString& target, const QString& result)
{
    if (!controller_.isCurrentRun(runId)) return;
    QTreeWidgetItem* row = list_->topLevelItem(index);
    if (row != nullptr) {
        if (!target.isEmpty()) row->setText(1, target);
        row->setText(2, result);
    }
    progress_->setValue(std::min(progress_->maximum(), progress_->value() + 1));
}

void ConvertPage::onEnded(quint64 runId, int /*converted*/, const QString& status)
{
    if (controller_.isCurrentRun(runId)) {
        showStatus(fromQt(status));
        controller_.runFinished(runId);
        setBusy(false);
    }
    // The worker posts this as its last act, so it is about to return.
    if (controller_.workerIdle()) emit workerEnded();
}

}  // namespace pagelift::window
