#pragma once

#include "ui/dialog_units.h"

#include <QColor>
#include <QFont>
#include <QRect>

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

}  // namespace pagelift::window
