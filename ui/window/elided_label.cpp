#include "ui/window/elided_label.h"

#include <QFontMetrics>
#include <QResizeEvent>

#include <algorithm>

namespace pagelift::window {

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent)
{
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString& text)
{
    fullText_ = text;
    showFitted();
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    showFitted();
}

void ElidedLabel::showFitted()
{
    // A label with a frame and no indent of its own indents its text by half an 'x'.
    const int indentPixels = indent() >= 0 ? indent()
                             : frameWidth() > 0 ? fontMetrics().horizontalAdvance(QLatin1Char('x')) / 2
                                                : 0;
    const int room = contentsRect().width() - 2 * margin() - 2 * indentPixels;
    const QString shown = fontMetrics().elidedText(fullText_, Qt::ElideMiddle, std::max(0, room));
    setText(shown);
    setToolTip(shown == fullText_ ? QString() : fullText_);
}

}  // namespace pagelift::window
