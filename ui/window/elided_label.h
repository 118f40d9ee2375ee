#pragma once

#include <QLabel>
#include <QString>

namespace pagelift::window {

// A one-line label whose text, when it does not fit, is shortened in the
// middle ("Doing: /srv/fax/in/2024…/letter.tif"), so that both the start
// and the file name at the end stay visible. The whole text is its tooltip
// then. It never asks for more width than it has.
class ElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    const QString& fullText() const { return fullText_; }

    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void showFitted();

    QString fullText_;
};

}  // namespace pagelift::window
