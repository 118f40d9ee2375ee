#include "ui/window/results_list.h"

#include "ui/run_texts.h"
#include "ui/window/window_look.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QStyle>
#include <QStyledItemDelegate>

namespace pagelift::window {
namespace {

constexpr int kIndexRole = Qt::UserRole;
constexpr int kSourceRole = Qt::UserRole + 1;
constexpr int kJpegRole = Qt::UserRole + 2;
constexpr int kWordRole = Qt::UserRole + 3;  // the word of the row's output format: "JPEG"
constexpr int kMovedRole = Qt::UserRole + 4; // where the source went in the backup folder
constexpr int kCauseRole = Qt::UserRole + 5; // why an output was not written

enum Column { SourceColumn, DestinationColumn, ResultColumn };

// Draws a path that does not fit with its folder shortened in the middle,
// so that the file name stays whole.
class PathDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QWidget* view = option->widget;
        const QStyle* style = view != nullptr ? view->style() : QApplication::style();
        // Where the style draws the text, less the margin it keeps on either side.
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
        const int room = style->subElementRect(QStyle::SE_ItemViewItemText, option, view).width() - 2 * margin;
        const QFontMetrics& metrics = option->fontMetrics;
        const auto widthOf = [&](const std::string& text) { return metrics.horizontalAdvance(toQt(text)); };
        const auto elideMiddle = [&](const std::string& text, int width) {
            return fromQt(metrics.elidedText(toQt(text), Qt::ElideMiddle, width));
        };
        option->text = toQt(shortenedPath(fromQt(option->text), room, widthOf, elideMiddle));
        // Shortened here already: the style must not shorten it again when
        // its layout rounds the text's width up by a pixel.
        option->textElideMode = Qt::ElideNone;
    }
};

}  // namespace

ResultsList::ResultsList(UrlOpener opener, QWidget* parent) : QTreeWidget(parent), opener_(std::move(opener))
{
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setColumnCount(3);
    setHeaderLabels({QStringLiteral("Source Fax Files"), QString(), QStringLiteral("Results")});
    setOutputWord(std::string(defaultOutputFormat().reportName));
    header()->setStretchLastSection(true);
    // Deep folders make long paths: the middle of the folders goes, the file
    // names stay.
    setTextElideMode(Qt::ElideMiddle);
    auto* paths = new PathDelegate(this);
    setItemDelegateForColumn(SourceColumn, paths);
    setItemDelegateForColumn(DestinationColumn, paths);
    // Rows stay in the order of the run until a heading is clicked.
    header()->setSortIndicator(-1, Qt::AscendingOrder);
    setSortingEnabled(true);
    setContextMenuPolicy(Qt::CustomContextMenu);

    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* row, int) {
        if (row != nullptr) openRow(*row);
    });
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
        QTreeWidgetItem* row = itemAt(position);
        if (row == nullptr) return;
        setCurrentItem(row);
        rowMenu(*row)->exec(viewport()->mapToGlobal(position));
    });
    // A column the user drags keeps its new share of the width.
    connect(header(), &QHeaderView::sectionResized, this, [this](int column, int, int) {
        if (settingWidths_ || column >= columnCount() - 1) return;
        std::vector<int> widths;
        for (int held = 0; held < columnCount() - 1; ++held) widths.push_back(header()->sectionSize(held));
        shares_.take(widths, width());
    });
}

void ResultsList::sizeColumnsToHeadings()
{
    std::vector<int> widths;
    for (int column = 0; column < columnCount() - 1; ++column) {
        widths.push_back(header()->sectionSizeHint(column));
    }
    shares_.take(widths, width());
    applyColumnShares();
}

void ResultsList::applyColumnShares()
{
    settingWidths_ = true;
    const std::vector<int> widths = shares_.widthsFor(width());
    for (size_t column = 0; column < widths.size(); ++column) {
        header()->resizeSection(static_cast<int>(column), widths[column]);
    }
    settingWidths_ = false;
}

void ResultsList::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    applyColumnShares();
}

void ResultsList::clearRows()
{
    clear();
    rows_.clear();
}

void ResultsList::addRow(int index, const std::string& source, const std::string& entry)
{
    auto* row = new QTreeWidgetItem(this);
    row->setText(SourceColumn, toQt(singleLine(entry)));
    row->setToolTip(SourceColumn, toQt(source));
    row->setData(SourceColumn, kIndexRole, index);
    row->setData(SourceColumn, kSourceRole, toQt(source));
    if (index >= 0 && static_cast<size_t>(index) >= rows_.size()) rows_.resize(static_cast<size_t>(index) + 1, nullptr);
    if (index >= 0) rows_[static_cast<size_t>(index)] = row;
    scrollToItem(row);
}

QTreeWidgetItem* ResultsList::rowOf(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= rows_.size()) return nullptr;
    return rows_[static_cast<size_t>(index)];
}

void ResultsList::finishRow(int index, const FileResult& result)
{
    QTreeWidgetItem* row = rowOf(index);
    if (row == nullptr) return;
    if (!result.written.empty()) {
        row->setText(DestinationColumn, toQt(singleLine(writtenFilesText(result.target, result.written))));
        QStringList written;
        for (const std::string& name : result.written) written << toQt(name);
        row->setToolTip(DestinationColumn, written.join(QLatin1Char('\n')));
    }
    row->setText(ResultColumn, toQt(singleLine(result.result)));
    row->setToolTip(ResultColumn, toQt(result.cause));
    row->setData(SourceColumn, kCauseRole, toQt(result.cause));
    row->setData(SourceColumn, kJpegRole, toQt(result.jpeg));
    row->setData(SourceColumn, kWordRole, toQt(result.format));
    row->setData(SourceColumn, kMovedRole, toQt(result.movedTo));
}

void ResultsList::setOutputWord(const std::string& word)
{
    headerItem()->setText(DestinationColumn, QStringLiteral("Destination %1 Files").arg(toQt(word)));
}

QString ResultsList::jpegOf(const QTreeWidgetItem& row)
{
    return row.data(SourceColumn, kJpegRole).toString();
}

QString ResultsList::sourceOf(const QTreeWidgetItem& row)
{
    return row.data(SourceColumn, kSourceRole).toString();
}

QString ResultsList::causeOf(const QTreeWidgetItem& row)
{
    return row.data(SourceColumn, kCauseRole).toString();
}

QString ResultsList::faxOf(const QTreeWidgetItem& row)
{
    const QString moved = row.data(SourceColumn, kMovedRole).toString();
    return moved.isEmpty() ? sourceOf(row) : moved;
}

bool ResultsList::openRow(const QTreeWidgetItem& row)
{
    return openJpeg(jpegOf(row), sourceOf(row), row.data(SourceColumn, kWordRole).toString());
}

bool ResultsList::openJpeg(const QString& jpeg, const QString& source, const QString& word)
{
    const QString kind = word.isEmpty() ? QStringLiteral("JPEG") : word;
    if (jpeg.isEmpty()) {
        showMessage(QStringLiteral("No %1 file was written for\n%2").arg(kind, source));
        return false;
    }
    if (!QFileInfo(jpeg).isFile()) {
        showMessage(QStringLiteral("The %1 file is no longer there:\n%2").arg(kind, jpeg));
        return false;
    }
    if (!opener_(QUrl::fromLocalFile(jpeg))) {
        showMessage(QStringLiteral("No program could be started to open\n%1").arg(jpeg));
        return false;
    }
    return true;
}

std::unique_ptr<QMenu> ResultsList::rowMenu(const QTreeWidgetItem& row)
{
    // The row may go while the menu is open (a new run empties the list):
    // the actions keep its paths, not the row.
    const QString jpeg = jpegOf(row);
    const QString source = sourceOf(row);
    const QString word = row.data(SourceColumn, kWordRole).toString();
    const QString path = jpeg.isEmpty() ? source : jpeg;
    auto menu = std::make_unique<QMenu>(this);
    QAction* open =
        menu->addAction(QStringLiteral("Open"), this, [this, jpeg, source, word] { openJpeg(jpeg, source, word); });
    open->setEnabled(!jpeg.isEmpty());
    menu->addAction(QStringLiteral("Open Containing Folder"), this, [this, path] {
        const QString folder = QFileInfo(path).absolutePath();
        if (!opener_(QUrl::fromLocalFile(folder))) {
            showMessage(QStringLiteral("No program could be started to open\n%1").arg(folder));
        }
    });
    menu->addAction(QStringLiteral("Copy Path"), this, [path] { QGuiApplication::clipboard()->setText(path); });
    return menu;
}

void ResultsList::keyPressEvent(QKeyEvent* event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (enter && plain && currentItem() != nullptr) {
        openRow(*currentItem());
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

void ResultsList::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), text, QMessageBox::Ok, this);
    box.exec();
}

}  // namespace pagelift::window
