#pragma once

#include "ui/page_picture.h"
#include "ui/preview_loader.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QListWidget;
class QToolButton;

namespace pagelift::window {

// One page of a fax drawn at its true proportions, fit to the view's width
// at first; Ctrl and the wheel zoom, the scroll bars and the arrow keys move
// over a page larger than the view. PgDn and PgUp ask for the next and the
// previous page (pageStepWanted).
class PageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit PageView(QWidget* parent = nullptr);

    // Shows `page`; null shows an empty view.
    void setPage(std::shared_ptr<const PageBitmap> page);
    const PageBitmap* page() const { return page_.get(); }

    void fitWidth();
    void fitPage();
    // Zooms by `steps` notches of 25 % (negative: out).
    void zoomBy(int steps);
    // The scale page pixels are drawn at now; 1 without a page.
    double scale() const { return scale_; }
    // Where the page's top left corner is drawn in the viewport.
    QPoint pageOrigin() const;
    // The page drawn at the current scale: its size is the page's true shape
    // times the scale.
    QSize pictureSize() const { return shownSize_; }

signals:
    void pageStepWanted(int step);
    void scaleChanged(double scale);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Works out the scale for the view and draws the picture anew when it changed.
    void layOut();

    std::shared_ptr<const PageBitmap> page_;
    PreviewZoom zoom_;
    double scale_ = 1.0;
    QSize shownSize_;     // the page at scale_
    QImage picture_;      // the page drawn at up to its own size; enlarged by the painter
    int wheelRest_ = 0;   // wheel turns short of a notch
};

// The preview beside the results list: the selected fax's pages, read from
// its source file in the background, "page n of N", fit and zoom buttons and
// a strip of thumbnails for a fax of several pages. A file that cannot be
// read shows the report's words for it. Nothing is decoded while the pane is
// folded away; the latest fax asked for is shown once it opens.
class PreviewPane : public QWidget {
    Q_OBJECT
public:
    explicit PreviewPane(PreviewOpener opener, QWidget* parent = nullptr);
    ~PreviewPane() override;

    // Shows the fax at `path` (empty: none), decoded with `setup`, with
    // `note` above its pages (what became of its conversion; empty: none).
    void showFax(const QString& path, const DecodeSetup& setup, const QString& note = {});
    // Shows page `index` (from 0) of the fax shown.
    void showPage(int index);

    PageView* view() const { return view_; }
    QLabel* pageLabel() const { return pageLabel_; }
    QLabel* messageLabel() const { return message_; }
    QLabel* noteLabel() const { return note_; }
    QListWidget* thumbnails() const { return thumbnails_; }
    QToolButton* fitWidthButton() const { return fitWidthButton_; }
    QToolButton* fitPageButton() const { return fitPageButton_; }
    // The fax shown or to be shown, and the page shown (-1 before its arrival).
    QString faxPath() const { return path_; }
    int shownPage() const { return shownPage_; }
    int pageCount() const { return pageCount_; }

signals:
    // The page asked for last is drawn (or the fax's reason is shown).
    void pageShown();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class Events;
    // Shown and not folded away: only then is anything decoded.
    bool unfolded() const;
    void load();
    void showMessage(const QString& text);
    void updatePageLabel();

    void onOpened(uint64_t request, int pageCount);
    void onFailed(uint64_t request, const QString& reason);
    void onPageDecoded(uint64_t request, int index, std::shared_ptr<const PageBitmap> page);
    void onThumbnail(uint64_t request, int index, std::shared_ptr<const PagePicture> picture);

    std::unique_ptr<Events> events_;
    std::unique_ptr<PreviewLoader> loader_;
    QString path_;
    DecodeSetup setup_;
    bool loaded_ = false;    // the loader was asked for path_
    uint64_t request_ = 0;
    int pageCount_ = 0;
    int wantedPage_ = 0;
    int shownPage_ = -1;

    QLabel* pageLabel_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QToolButton* fitWidthButton_ = nullptr;
    QToolButton* fitPageButton_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* note_ = nullptr;
    PageView* view_ = nullptr;
    QListWidget* thumbnails_ = nullptr;
};

}  // namespace pagelift::window
