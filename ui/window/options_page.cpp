#include "ui/window/options_page.h"

#include "ocr/recognition_loader.h"
#include "ocr/recognition_module.h"
#include "ui/window/window_look.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace pagelift::window {

void showCheckField(QCheckBox& box, int32_t field)
{
    const int32_t shown = checkBoxShown(field);
    box.setTristate(shown == 2);
    box.setCheckState(shown == 2 ? Qt::PartiallyChecked : shown == 1 ? Qt::Checked : Qt::Unchecked);
}

int32_t checkFieldOf(const QCheckBox& box)
{
    switch (box.checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    default: return 0;
    }
}

std::optional<int32_t> readNumberBox(QLineEdit& box)
{
    const std::optional<int32_t> number = readBoxNumber(box.text().toStdString());
    if (!number) {
        QApplication::beep();
        box.setFocus();
    }
    return number;
}

OptionsPage::OptionsPage(const OptionsValues& stored, AutoConvertSwitch autoConvert, QWidget* parent)
    : QWidget(parent), values_(stored), storedOcr_(stored.ocr), autoConvertSwitch_(std::move(autoConvert))
{
    buildControls();
    paintWidget(*this, colours::page, colours::optionsEdit);
    loadControls();
    subfolders_->setEnabled(directory_->isChecked());
}

void OptionsPage::buildControls()
{
    const DialogGeometry geometry(font());
    const auto check = [&](const char* text, int x, int y, int w, int h) {
        auto* box = new QCheckBox(QString::fromUtf8(text), this);
        place(*box, geometry, x, y, w, h);
        return box;
    };
    const auto label = [&](const char* text, int x, int y, int w, int h, Qt::Alignment alignment) {
        auto* shown = new QLabel(QString::fromUtf8(text), this);
        shown->setAlignment(alignment | Qt::AlignVCenter);
        place(*shown, geometry, x, y, w, h);
        return shown;
    };
    const auto frame = [&](const char* text, int x, int y, int w, int h) {
        auto* group = new QGroupBox(QString::fromUtf8(text), this);
        place(*group, geometry, x, y, w, h);
        group->lower();
    };
    const auto digitsOnly = [](QLineEdit* box) {
        box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    };

    frame("Source Options", 7, 11, 125, 81);
    directory_ = new QRadioButton(QStringLiteral("Convert Directory"), this);
    place(*directory_, geometry, 14, 30, 87, 10);
    files_ = new QRadioButton(QStringLiteral("Convert File(s)"), this);
    place(*files_, geometry, 14, 60, 87, 10);
    // Both buttons may be clear (a stored mode of neither 0 nor 1).
    auto* modes = new QButtonGroup(this);
    modes->addButton(directory_, 0);
    modes->addButton(files_, 1);
    subfolders_ = check("Include subdir", 29, 43, 78, 10);
    hierarchy_ = check("Keep Hiberarchy", 142, 40, 118, 10);
    frame("Destinaion Options", 136, 11, 142, 81);
    keepDate_ = check("Keep File Date and Time", 142, 26, 118, 10);
    autoConvert_ = check("Enable Conversion Automatically", 16, 109, 186, 10);
    minutes_ = new QLineEdit(this);
    place(*minutes_, geometry, 72, 124, 38, 14);
    label("minutes", 114, 126, 29, 8, Qt::AlignLeft);
    quality_ = new QLineEdit(this);
    digitsOnly(quality_);
    place(*quality_, geometry, 173, 71, 30, 14);
    label("Quality", 142, 74, 29, 8, Qt::AlignLeft);
    optimize_ = check("Optimize", 225, 74, 47, 10);
    extension_ = check("Include Source File Extention", 142, 54, 130, 10);
    frame("Auto File Convertion", 7, 94, 271, 49);
    label("Convert every", 18, 126, 52, 8, Qt::AlignRight)->setBuddy(minutes_);
    frame("Output", 7, 146, 271, 32);
    output_ = new QComboBox(this);
    for (const OutputFormat& format : outputFormats()) {
        output_->addItem(QString::fromUtf8(format.choiceLabel.data(), qsizetype(format.choiceLabel.size())),
                         QString::fromUtf8(format.name.data(), qsizetype(format.name.size())));
    }
    place(*output_, geometry, 72, 158, 90, 14);
    label("&Write", 18, 161, 52, 8, Qt::AlignRight)->setBuddy(output_);
    // Recognition applies to every format: PDF pages carry the text, the
    // others get a text file beside them.
    ocr_ = check("Searchable (OCR)", 172, 160, 100, 10);
    // Only the module's file is looked at here: its libraries are loaded
    // when a run first asks for text.
    if (!recognitionModuleFound()) {
        ocrMissing_ = true;
        ocr_->setEnabled(false);
        ocr_->setToolTip(QString::fromStdString(std::string("Needs the OCR module: install the package ") +
                                                kRecognitionPackage));
    }

    connect(directory_, &QRadioButton::clicked, this, &OptionsPage::onSourceModeClicked);
    connect(files_, &QRadioButton::clicked, this, &OptionsPage::onSourceModeClicked);
    connect(autoConvert_, &QCheckBox::clicked, this, &OptionsPage::onAutoConvertClicked);
}

void OptionsPage::loadControls()
{
    // A group whose buttons may all be clear: exclusivity off while setting.
    directory_->setAutoExclusive(false);
    files_->setAutoExclusive(false);
    directory_->setChecked(values_.sourceMode == 0);
    files_->setChecked(values_.sourceMode == 1);
    directory_->setAutoExclusive(true);
    files_->setAutoExclusive(true);
    showCheckField(*subfolders_, values_.includeSubfolders);
    showCheckField(*hierarchy_, values_.keepHierarchy);
    showCheckField(*keepDate_, values_.keepDate);
    showCheckField(*extension_, values_.keepExtension);
    showCheckField(*optimize_, values_.optimize);
    showCheckField(*ocr_, ocrMissing_ ? 0 : values_.ocr);
    quality_->setText(QString::number(values_.quality));
    showCheckField(*autoConvert_, values_.autoConvert);
    minutes_->setText(QString::number(values_.cycleMinutes));
    // A name the table does not hold shows as the format a run then uses.
    const int chosen = output_->findData(QString::fromStdString(values_.outputFormat), Qt::UserRole,
                                         Qt::MatchFixedString);
    output_->setCurrentIndex(std::max(chosen, 0));
}

bool OptionsPage::readControls()
{
    values_.sourceMode = directory_->isChecked() ? 0 : files_->isChecked() ? 1 : -1;
    values_.includeSubfolders = checkFieldOf(*subfolders_);
    values_.keepHierarchy = checkFieldOf(*hierarchy_);
    values_.keepDate = checkFieldOf(*keepDate_);
    values_.keepExtension = checkFieldOf(*extension_);
    values_.optimize = checkFieldOf(*optimize_);
    values_.ocr = checkFieldOf(*ocr_);
    values_.outputFormat = output_->currentData().toString().toStdString();
    const std::optional<int32_t> quality = readNumberBox(*quality_);
    values_.quality = quality.value_or(0);
    if (!quality) return false;
    values_.autoConvert = checkFieldOf(*autoConvert_);
    const std::optional<int32_t> minutes = readNumberBox(*minutes_);
    // The box shows the period that is used: 0, a negative number or no
    // number at all give 1 minute.
    values_.cycleMinutes = automaticConversionMinutes(minutes.value_or(0));
    if (minutes != values_.cycleMinutes) minutes_->setText(QString::number(values_.cycleMinutes));
    return minutes.has_value();
}

void OptionsPage::onSourceModeClicked()
{
    const bool directory = directory_->isChecked();
    for (QCheckBox* box : {subfolders_, hierarchy_, autoConvert_}) {
        box->setTristate(false);
        box->setChecked(false);
        box->setEnabled(directory);
    }
    onAutoConvertClicked();
}

void OptionsPage::onAutoConvertClicked()
{
    keepStoredAutoConvert_ = false;
    minutes_->setEnabled(!autoConvert_->isChecked());
    readControls();
    const int32_t ticked = autoConvert_->isChecked() ? 1 : 0;
    if (!autoConvertSwitch_(values_.cycleMinutes, ticked) && ticked == 1) {
        autoConvert_->setChecked(false);
        minutes_->setEnabled(true);
        values_.autoConvert = 0;
    }
}

void OptionsPage::resumeAutomaticConversion()
{
    if (values_.autoConvert != 1 || values_.sourceMode != 0) return;
    minutes_->setEnabled(false);
    if (!autoConvertSwitch_(values_.cycleMinutes, 1)) {
        autoConvert_->setChecked(false);
        minutes_->setEnabled(true);
        keepStoredAutoConvert_ = true;
    }
}

void OptionsPage::saveToSettings(IniFile& file)
{
    readControls();
    OptionsValues stored = values_;
    if (keepStoredAutoConvert_) stored.autoConvert = 1;
    if (ocrMissing_) stored.ocr = storedOcr_;
    writeOptionsSection(file, stored);
}

}  // namespace pagelift::window
