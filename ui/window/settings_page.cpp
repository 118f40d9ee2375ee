#include "ui/window/settings_page.h"

#include "settings/decode_settings.h"
#include "ui/window/options_page.h"
#include "ui/window/window_look.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace pagelift::window {

SettingsPage::SettingsPage(const SettingsValues& stored, uint16_t resolution, QWidget* parent)
    : QWidget(parent), values_(stored)
{
    buildControls();
    paintWidget(*this, colours::page, colours::optionsEdit);
    resolution_->setCurrentIndex(resolutionEntryFor(resolution));
    loadControls();
    minWidth_->setEnabled(anyWidth_->isChecked());
}

void SettingsPage::buildControls()
{
    const DialogGeometry geometry(font());
    const auto frame = [&](const char* text, int x, int y, int w, int h) {
        auto* group = new QGroupBox(QString::fromUtf8(text), this);
        place(*group, geometry, x, y, w, h);
        group->lower();
    };
    const auto label = [&](const char* text, int x, int y, int w, int h, Qt::Alignment alignment) {
        auto* shown = new QLabel(QString::fromUtf8(text), this);
        shown->setAlignment(alignment | Qt::AlignVCenter);
        place(*shown, geometry, x, y, w, h);
        return shown;
    };
    const auto numberBox = [&](int x, int y, int w, int h) {
        auto* box = new QLineEdit(this);
        box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
        place(*box, geometry, x, y, w, h);
        return box;
    };
    const auto check = [&](const char* text, int x, int y, int w, int h) {
        auto* box = new QCheckBox(QString::fromUtf8(text), this);
        place(*box, geometry, x, y, w, h);
        return box;
    };

    frame("Set Bit Order", 9, 8, 106, 53);
    auto* orders = new QButtonGroup(this);
    const char* orderTexts[] = {"Auto bit order", "Highest bit first", "Least bit first"};
    for (int position = 0; position < 3; ++position) {
        bitOrder_[position] = new QRadioButton(QString::fromUtf8(orderTexts[position]), this);
        place(*bitOrder_[position], geometry, 25, 23 + 11 * position, 76, 10);
        orders->addButton(bitOrder_[position], position);
    }
    resolution_ = new QComboBox(this);
    for (const char* entry : {"Auto detect", "Standard (3.85lines/mm)", "Fine (7.7lines/mm)",
                              "SFine (11.55lines/mm)", "High (15.4lines/mm)"}) {
        resolution_->addItem(QString::fromUtf8(entry));
    }
    // A drop-down list is as high as its closed box; the rest is its list.
    const QRect listRect = geometry.rect(160, 30, 105, 50);
    resolution_->setGeometry(listRect.x(), listRect.y(), listRect.width(), resolution_->sizeHint().height());
    frame("Set Resolution", 121, 9, 151, 52);
    label("Vertical", 126, 32, 32, 8, Qt::AlignRight)->setBuddy(resolution_);
    label("These settings are useful to unknown fax converting\nsuch as .g3,.g32d,.g4,.f01,...", 5, 125, 272, 19,
          Qt::AlignHCenter);
    frame("Advanced", 9, 62, 263, 58);
    label("Threshold", 28, 77, 37, 8, Qt::AlignRight);
    threshold_ = numberBox(69, 75, 40, 14);
    label("Flag Num", 32, 91, 33, 8, Qt::AlignRight);
    flagNum_ = numberBox(69, 89, 40, 14);
    anyWidth_ = check("Support none-standard width ", 28, 106, 136, 10);
    minWidth_ = numberBox(213, 103, 40, 14);
    label("Min Width", 173, 106, 37, 8, Qt::AlignRight);
    rawData_ = check("Raw Fax File", 157, 75, 66, 10);
    recount_ = check("Re-caculate Scan Lines", 157, 87, 111, 10);
    recount_->setEnabled(false);  // shown, stored and applied, never changed here

    connect(anyWidth_, &QCheckBox::clicked, this, [this] { minWidth_->setEnabled(anyWidth_->isChecked()); });
}

bool SettingsPage::loadControls()
{
    threshold_->setText(QString::number(values_.threshold));
    flagNum_->setText(QString::number(values_.flagNum));
    minWidth_->setText(QString::number(values_.minWidth));
    for (QRadioButton* button : bitOrder_) button->setAutoExclusive(false);
    for (int position = 0; position < 3; ++position) bitOrder_[position]->setChecked(values_.bitOrder == position);
    for (QRadioButton* button : bitOrder_) button->setAutoExclusive(true);
    showCheckField(*anyWidth_, values_.anyWidth);
    showCheckField(*rawData_, values_.rawData);
    showCheckField(*recount_, values_.recountLines);
    return true;
}

bool SettingsPage::readControls()
{
    const struct {
        QLineEdit* box;
        int32_t SettingsValues::*field;
    } numbers[] = {{threshold_, &SettingsValues::threshold},
                   {flagNum_, &SettingsValues::flagNum},
                   {minWidth_, &SettingsValues::minWidth}};
    for (const auto& number : numbers) {
        const std::optional<int32_t> value = readNumberBox(*number.box);
        values_.*number.field = value.value_or(0);
        if (!value) return false;  // the controls after it keep their fields
    }
    values_.bitOrder = -1;
    for (int position = 0; position < 3; ++position) {
        if (bitOrder_[position]->isChecked()) values_.bitOrder = position;
    }
    values_.anyWidth = checkFieldOf(*anyWidth_);
    values_.rawData = checkFieldOf(*rawData_);
    values_.recountLines = checkFieldOf(*recount_);
    return true;
}

void SettingsPage::applySettings(DecodeSettings& decode)
{
    readControls();
    const int entry = resolution_->currentIndex();
    const std::optional<int> chosen = entry >= 0 ? std::optional<int>(entry) : std::nullopt;
    const SettingsValues values = values_;
    applySettingsValues(values, chosen, decode);
}

void SettingsPage::saveToSettings(IniFile& file)
{
    readControls();
    writeSettingsSection(file, values_);
}

}  // namespace pagelift::window
