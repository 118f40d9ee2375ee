#include "ui/window/preview_pane.h"

#include "ui/window/window_look.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace pagelift::window {
namespace {

constexpr int kThumbnailWidth = 72;
constexpr int kThumbnailHeight = 102;  // an A4 page's proportions
const QColor kBehindPage(128, 128, 128);

// A picture as an image sharing none of its memory.
QImage imageOf(const PagePicture& picture)
{
    if (picture.width < 1 || picture.height < 1) return {};
    QImage image(picture.width, picture.height, QImage::Format_Grayscale8);
    if (image.isNull()) return {};
    for (int y = 0; y < picture.height; ++y) {
        std::copy_n(picture.gray.data() + size_t(y) * size_t(picture.width), picture.width, image.scanLine(y));
    }
    return image;
}

}  // namespace

PageView::PageView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
}

void PageView::setPage(std::shared_ptr<const PageBitmap> page)
{
    page_ = std::move(page);
    picture_ = QImage();
    shownSize_ = QSize();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    layOut();
}

void PageView::fitWidth()
{
    zoom_.fitWidth();
    layOut();
}

void PageView::fitPage()
{
    zoom_.fitPage();
    layOut();
}

void PageView::zoomBy(int steps)
{
    if (steps == 0) return;
    zoom_.zoomBy(steps, scale_);
    layOut();
}

void PageView::layOut()
{
    const PageShape shape = page_ != nullptr ? trueShapeOf(*page_) : PageShape{};
    if (shape.width <= 0 || shape.height <= 0) {
        picture_ = QImage();
        shownSize_ = QSize();
        horizontalScrollBar()->setRange(0, 0);
        verticalScrollBar()->setRange(0, 0);
        viewport()->update();
        return;
    }
    // The view's room without scroll bars, so that fitting does not hop as
    // they come and go; fit to width leaves room for the vertical one.
    const QSize room = maximumViewportSize();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    const int fitRoom = zoom_.fit() == PreviewZoom::Fit::Width ? room.width() - barWidth : room.width();
    const double scale = zoom_.scaleFor(shape, std::max(fitRoom, 1), room.height());
    int width = std::max(1, int(std::lround(shape.width * scale)));
    // Rounding must not push a fitted page out of the view.
    const int fitHeight = zoom_.fit() == PreviewZoom::Fit::Page ? room.height() : INT32_MAX;
    while (width > 1 && (width > std::max(fitRoom, 1) || heightAtWidth(shape, width) > fitHeight) &&
           zoom_.fit() != PreviewZoom::Fit::Free) {
        --width;
    }
    const QSize shown(width, heightAtWidth(shape, width));
    if (shown != shownSize_ || picture_.isNull()) {
        // Enlarged pages are drawn at their own size and enlarged pixel by
        // pixel when painted: the picture never holds more than the page.
        const int pictureWidth = std::min(shown.width(), shape.width);
        const int pictureHeight = std::min(shown.height(), shape.height);
        picture_ = imageOf(pictureOf(*page_, pictureWidth, pictureHeight));
        shownSize_ = shown;
    }
    const bool changed = scale != scale_;
    scale_ = scale;
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, shownSize_.width() - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, shownSize_.height() - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(std::max(20, view.height() / 20));
    viewport()->update();
    if (changed) emit scaleChanged(scale_);
}

QPoint PageView::pageOrigin() const
{
    const QSize view = viewport()->size();
    // A page narrower or shorter than the view is centred in it.
    const int x = shownSize_.width() < view.width() ? (view.width() - shownSize_.width()) / 2
                                                    : -horizontalScrollBar()->value();
    const int y = shownSize_.height() < view.height() ? (view.height() - shownSize_.height()) / 2
                                                      : -verticalScrollBar()->value();
    return {x, y};
}

void PageView::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kBehindPage);
    if (picture_.isNull()) return;
    const QRect target(pageOrigin(), shownSize_);
    if (picture_.size() == shownSize_) {
        painter.drawImage(target.topLeft(), picture_);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(target, picture_);
    }
}

void PageView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    layOut();
}

void PageView::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    // A notch is 120; fine-grained wheels send parts of one.
    wheelRest_ += event->angleDelta().y();
    const int steps = wheelRest_ / 120;
    wheelRest_ -= steps * 120;
    zoomBy(steps);
    event->accept();
}

void PageView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp) {
        emit pageStepWanted(event->key() == Qt::Key_PageDown ? 1 : -1);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

// Hands the loader's news from its thread to the pane's, queued; news for
// a pane that is gone is dropped with the queue.
class PreviewPane::Events final : public QObject, public PreviewEvents {
public:
    explicit Events(PreviewPane& pane) : pane_(pane) {}
    void opened(uint64_t request, int pageCount) override
    {
        post([this, request, pageCount] { pane_.onOpened(request, pageCount); });
    }
    void failed(uint64_t request, const std::string& reason) override
    {
        post([this, request, reason = toQt(reason)] { pane_.onFailed(request, reason); });
    }
    void pageDecoded(uint64_t request, int index, std::shared_ptr<const PageBitmap> page) override
    {
        post([this, request, index, page = std::move(page)] { pane_.onPageDecoded(request, index, page); });
    }
    void thumbnailMade(uint64_t request, int index, std::shared_ptr<const PagePicture> picture) override
    {
        post([this, request, index, picture = std::move(picture)] { pane_.onThumbnail(request, index, picture); });
    }

private:
    template <class Call>
    void post(Call call)
    {
        QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
    }
    PreviewPane& pane_;
};

PreviewPane::PreviewPane(PreviewOpener opener, QWidget* parent)
    : QWidget(parent), events_(std::make_unique<Events>(*this))
{
    pageLabel_ = new QLabel(this);
    zoomLabel_ = new QLabel(this);
    fitWidthButton_ = new QToolButton(this);
    fitWidthButton_->setText(QStringLiteral("Fit width"));
    fitPageButton_ = new QToolButton(this);
    fitPageButton_->setText(QStringLiteral("Fit page"));
    note_ = new QLabel(this);
    note_->setWordWrap(true);
    note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    note_->hide();
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    message_->setAlignment(Qt::AlignCenter);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    view_ = new PageView(this);
    thumbnails_ = new QListWidget(this);
    thumbnails_->setViewMode(QListView::IconMode);
    thumbnails_->setFlow(QListView::LeftToRight);
    thumbnails_->setWrapping(false);
    thumbnails_->setMovement(QListView::Static);
    thumbnails_->setIconSize(QSize(kThumbnailWidth, kThumbnailHeight));
    thumbnails_->setFixedHeight(kThumbnailHeight + thumbnails_->fontMetrics().height() + 28);
    thumbnails_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    thumbnails_->hide();

    auto* bar = new QHBoxLayout;
    bar->addWidget(pageLabel_, 1);
    bar->addWidget(zoomLabel_);
    bar->addWidget(fitWidthButton_);
    bar->addWidget(fitPageButton_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(note_);
    layout->addWidget(message_, 1);
    layout->addWidget(view_, 1);
    layout->addWidget(thumbnails_);
    showMessage(QStringLiteral("Select a fax in the list to see its pages."));

    connect(fitWidthButton_, &QToolButton::clicked, view_, &PageView::fitWidth);
    connect(fitPageButton_, &QToolButton::clicked, view_, &PageView::fitPage);
    connect(view_, &PageView::pageStepWanted, this, [this](int step) { showPage(wantedPage_ + step); });
    connect(view_, &PageView::scaleChanged, this, [this](double scale) {
        zoomLabel_->setText(QStringLiteral("%1 %").arg(std::lround(scale * 100)));
    });
    connect(thumbnails_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { showPage(thumbnails_->row(item)); });

    loader_ = std::make_unique<PreviewLoader>(*events_, std::move(opener), kThumbnailWidth);
}

PreviewPane::~PreviewPane()
{
    // The loader's thread goes first: it may still be telling the events.
    loader_.reset();
}

bool PreviewPane::unfolded() const
{
    return isVisible() && width() > 0;
}

void PreviewPane::showFax(const QString& path, const DecodeSetup& setup, const QString& note)
{
    note_->setText(note);
    note_->setVisible(!note.isEmpty());
    if (path == path_ && loaded_) return;
    path_ = path;
    setup_ = setup;
    loaded_ = false;
    pageCount_ = 0;
    wantedPage_ = 0;
    shownPage_ = -1;
    thumbnails_->clear();
    thumbnails_->hide();
    updatePageLabel();
    // Otherwise the page shown so far stays until the new one comes, so that
    // walking the list does not flicker.
    if (path.isEmpty()) showMessage(QStringLiteral("Select a fax in the list to see its pages."));
    load();
}

void PreviewPane::load()
{
    if (loaded_ || !unfolded()) return;
    loaded_ = true;
    request_ = loader_->show(fromQt(path_), setup_);
    if (path_.isEmpty()) emit pageShown();
}

void PreviewPane::showPage(int index)
{
    if (pageCount_ <= 0) return;
    wantedPage_ = std::clamp(index, 0, pageCount_ - 1);
    if (QListWidgetItem* item = thumbnails_->item(wantedPage_)) thumbnails_->setCurrentItem(item);
    updatePageLabel();
    if (wantedPage_ != shownPage_) loader_->wantPage(request_, wantedPage_);
}

void PreviewPane::showMessage(const QString& text)
{
    view_->setPage(nullptr);
    view_->hide();
    message_->setText(text);
    message_->show();
}

void PreviewPane::updatePageLabel()
{
    pageLabel_->setText(pageCount_ > 0 ? QStringLiteral("page %1 of %2").arg(wantedPage_ + 1).arg(pageCount_)
                                       : QString());
}

void PreviewPane::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    load();
}

void PreviewPane::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    load();
}

void PreviewPane::onOpened(uint64_t request, int pageCount)
{
    if (request != request_) return;
    pageCount_ = pageCount;
    updatePageLabel();
    for (int page = 0; page < pageCount && pageCount > 1; ++page) {
        auto* item = new QListWidgetItem(QString::number(page + 1), thumbnails_);
        item->setTextAlignment(Qt::AlignHCenter);
        item->setSizeHint(QSize(kThumbnailWidth + 12, thumbnails_->iconSize().height() +
                                                           thumbnails_->fontMetrics().height() + 12));
    }
    thumbnails_->setVisible(pageCount > 1);
    if (pageCount > 1) thumbnails_->setCurrentRow(wantedPage_);
}

void PreviewPane::onFailed(uint64_t request, const QString& reason)
{
    if (request != request_) return;
    pageCount_ = 0;
    updatePageLabel();
    thumbnails_->hide();
    showMessage(reason);
    emit pageShown();
}

void PreviewPane::onPageDecoded(uint64_t request, int index, std::shared_ptr<const PageBitmap> page)
{
    if (request != request_) return;
    shownPage_ = index;
    if (page == nullptr || !page->hasPage()) {
        showMessage(QStringLiteral("Page %1 of this fax cannot be read.").arg(index + 1));
    } else {
        message_->hide();
        view_->show();
        view_->setPage(std::move(page));
    }
    if (index == wantedPage_) emit pageShown();
}

void PreviewPane::onThumbnail(uint64_t request, int index, std::shared_ptr<const PagePicture> picture)
{
    if (request != request_ || picture == nullptr) return;
    QListWidgetItem* item = thumbnails_->item(index);
    const QImage image = imageOf(*picture);
    if (item == nullptr || image.isNull()) return;
    item->setIcon(QIcon(QPixmap::fromImage(image)));
}

}  // namespace pagelift::window
