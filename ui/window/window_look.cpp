#include "ui/window/window_look.h"

#include <QFontMetrics>
#include <QPalette>
#include <QWidget>

namespace pagelift::window {

void paintWidget(QWidget& widget, const QColor& background, const QColor& editBackground)
{
    QPalette palette = widget.palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Window, background);
        palette.setColor(group, QPalette::Button, background);
        palette.setColor(group, QPalette::Base, editBackground);
        palette.setColor(group, QPalette::WindowText, colours::text);
        palette.setColor(group, QPalette::ButtonText, colours::text);
        palette.setColor(group, QPalette::Text, colours::text);
    }
    palette.setColor(QPalette::Disabled, QPalette::Window, background);
    palette.setColor(QPalette::Disabled, QPalette::Button, background);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

DialogGeometry::DialogGeometry(const QFont& font)
{
    const QFontMetrics metrics(font);
    base_.averageCharWidth =
        averageCharWidthOfAlphabet(metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    base_.charHeight = metrics.height();
}

QRect DialogGeometry::rect(int x, int y, int width, int height) const
{
    return {pixelsX(x), pixelsY(y), pixelsX(width), pixelsY(height)};
}

void place(QWidget& widget, const DialogGeometry& geometry, int x, int y, int width, int height)
{
    widget.setGeometry(geometry.rect(x, y, width, height));
}

void GrowingControls::place(QWidget& widget, const DialogGeometry& geometry, int x, int y, int width, int height,
                            Follow follow)
{
    const QRect start = geometry.rect(x, y, width, height);
    widget.setGeometry(start);
    controls_.push_back({&widget, {start.x(), start.y(), start.width(), start.height()}, follow});
}

void GrowingControls::growBy(int grownX, int grownY)
{
    for (const Control& control : controls_) {
        if (control.widget == nullptr) continue;
        const ControlPlace place = grownPlace(control.start, control.follow, grownX, grownY);
        control.widget->setGeometry(place.x, place.y, place.width, place.height);
    }
}

QString toQt(const std::string& text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string fromQt(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

}  // namespace pagelift::window
