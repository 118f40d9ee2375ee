#pragma once

#include "ui/dialog_units.h"
#include "ui/window_growth.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>

#include <string>
#include <vector>

class QWidget;

namespace pagelift::window {

// The window's colours: blue text everywhere, a pale green main window and
// pages, near-white edit boxes.
namespace colours {
inline const QColor text{0, 0, 255};
inline const QColor mainWindow{236, 255, 245};
inline const QColor mainEdit{249, 249, 249};
inline const QColor page{196, 255, 225};
inline const QColor convertEdit{252, 252, 252};
inline const QColor optionsEdit{255, 255, 255};
}  // namespace colours

// Gives a widget and its children blue text on `background`, with edit
// boxes on `editBackground`, and fills the widget's background.
void paintWidget(QWidget& widget, const QColor& background, const QColor& editBackground);

// Places controls by dialog units of the window's font.
class DialogGeometry {
public:
    explicit DialogGeometry(const QFont& font);
    QRect rect(int x, int y, int width, int height) const;
    int pixelsX(int x) const { return dialogUnitsToPixelsX(x, base_); }
    int pixelsY(int y) const { return dialogUnitsToPixelsY(y, base_); }

private:
    DialogBaseUnits base_;
};

// Sets a control's place in dialog units.
void place(QWidget& widget, const DialogGeometry& geometry, int x, int y, int width, int height);

// Controls placed for the window's starting size that follow the window's
// edges as it grows (resized or maximised).
class GrowingControls {
public:
    // Places the control at its starting place, in dialog units, and keeps
    // it following the window as `follow` says.
    void place(QWidget& widget, const DialogGeometry& geometry, int x, int y, int width, int height,
               Follow follow);

    // Moves and sizes every control for a window that is `grownX` pixels
    // wider and `grownY` taller than its starting size.
    void growBy(int grownX, int grownY);

private:
    struct Control {
        QPointer<QWidget> widget;
        ControlPlace start;
        Follow follow;
    };
    std::vector<Control> controls_;
};

// Texts between the program (8-bit, as the file system names files) and Qt.
QString toQt(const std::string& text);
std::string fromQt(const QString& text);

}  // namespace pagelift::window
