#pragma once

#include "ui/ini_file.h"
#include "ui/page_values.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace pagelift::window {

// The Settings tab: how data of no known container is decoded. Its values
// reach the process's decoding settings at every switch to the Convert tab.
class SettingsPage : public QWidget {
    Q_OBJECT
public:
    // `stored` holds the file's values, `resolution` the current class.
    SettingsPage(const SettingsValues& stored, uint16_t resolution, QWidget* parent = nullptr);

    // Fields into controls (the check boxes only when every number box took
    // its value); controls into fields, stopping at a box that holds no
    // number (0 for it, a beep and the focus). False then.
    bool loadControls();
    bool readControls();

    // readControls(), then every field into the process's decoding settings
    // (their low bits) and the chosen vertical resolution, under its guard.
    void applySettings(DecodeSettings& decode);

    const SettingsValues& values() const { return values_; }
    void saveToSettings(IniFile& file);

    QRadioButton* bitOrderButton(int position) const { return bitOrder_[position]; }
    QComboBox* resolutionList() const { return resolution_; }
    QLineEdit* thresholdBox() const { return threshold_; }
    QLineEdit* flagNumBox() const { return flagNum_; }
    QLineEdit* minWidthBox() const { return minWidth_; }
    QCheckBox* anyWidthBox() const { return anyWidth_; }
    QCheckBox* rawDataBox() const { return rawData_; }
    QCheckBox* recountBox() const { return recount_; }

private:
    void buildControls();

    SettingsValues values_;
    QRadioButton* bitOrder_[3] = {};
    QComboBox* resolution_ = nullptr;
    QLineEdit* threshold_ = nullptr;
    QLineEdit* flagNum_ = nullptr;
    QCheckBox* anyWidth_ = nullptr;
    QLineEdit* minWidth_ = nullptr;
    QCheckBox* rawData_ = nullptr;
    QCheckBox* recount_ = nullptr;
};

}  // namespace pagelift::window
