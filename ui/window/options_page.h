#pragma once

#include "ui/ini_file.h"
#include "ui/page_values.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace pagelift::window {

// The Options tab: directory or named files, subfolders, hierarchy, dates,
// extensions, JPEG quality and optimisation, automatic conversion, and what
// is written (a format of the output table).
class OptionsPage : public QWidget {
    Q_OBJECT
public:
    // Arms (enabled 1) or cancels the period timer; false when it could not
    // be armed.
    using AutoConvertSwitch = std::function<bool(int32_t minutes, int32_t enabled)>;

    OptionsPage(const OptionsValues& stored, AutoConvertSwitch autoConvert, QWidget* parent = nullptr);

    // Fields into controls; controls into fields. A quality box that holds
    // no number gives 0, a beep and the focus, and leaves the
    // automatic-conversion fields as they were; a minutes box that holds no
    // number gives a beep and the focus. False then. The period is at least
    // 1 minute, and the minutes box shows the period used.
    void loadControls();
    bool readControls();

    // Automatic conversion stored as on resumes by itself for a directory
    // source: the box ticked, the minutes box disabled, the timer armed.
    void resumeAutomaticConversion();

    const OptionsValues& values() const { return values_; }
    void saveToSettings(IniFile& file);

    QRadioButton* directoryButton() const { return directory_; }
    QRadioButton* filesButton() const { return files_; }
    QCheckBox* subfoldersBox() const { return subfolders_; }
    QCheckBox* hierarchyBox() const { return hierarchy_; }
    QCheckBox* keepDateBox() const { return keepDate_; }
    QCheckBox* extensionBox() const { return extension_; }
    QCheckBox* optimizeBox() const { return optimize_; }
    QCheckBox* autoConvertBox() const { return autoConvert_; }
    QLineEdit* qualityBox() const { return quality_; }
    QLineEdit* minutesBox() const { return minutes_; }
    QComboBox* outputList() const { return output_; }
    QCheckBox* ocrBox() const { return ocr_; }

private:
    void buildControls();
    void onSourceModeClicked();
    void onAutoConvertClicked();

    OptionsValues values_;
    // Automatic conversion stored as on but held by another running copy: the
    // box shows clear, yet the stored choice stays until the user changes it.
    bool keepStoredAutoConvert_ = false;
    // Without the OCR module the box is disabled and clear, so runs
    // recognise nothing, yet the stored choice stays for when it returns.
    int32_t storedOcr_ = 0;
    bool ocrMissing_ = false;
    AutoConvertSwitch autoConvertSwitch_;
    QRadioButton* directory_ = nullptr;
    QRadioButton* files_ = nullptr;
    QCheckBox* subfolders_ = nullptr;
    QCheckBox* hierarchy_ = nullptr;
    QCheckBox* keepDate_ = nullptr;
    QCheckBox* autoConvert_ = nullptr;
    QLineEdit* minutes_ = nullptr;
    QLineEdit* quality_ = nullptr;
    QCheckBox* optimize_ = nullptr;
    QCheckBox* extension_ = nullptr;
    QComboBox* output_ = nullptr;
    QCheckBox* ocr_ = nullptr;
};

// A check box showing a stored field (0 clear, 1 ticked, 2 grayed; other
// values as 0), and the field a check box gives back.
void showCheckField(QCheckBox& box, int32_t field);
int32_t checkFieldOf(const QCheckBox& box);

// A number box's value, or nothing (with a beep and the focus on the box)
// when its text is no number.
std::optional<int32_t> readNumberBox(QLineEdit& box);

}  // namespace pagelift::window
