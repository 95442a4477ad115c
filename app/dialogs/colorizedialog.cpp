#include "app/dialogs/colorizedialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/dataexchange.h"
#include "ui/promptservice.h"
#include "controls/iconbutton.h"
#include "imagelib/pximage.h"

CColorizeDialog::CColorizeDialog(const Values& preset, QWidget* parent) : QDialog(parent), m_values(preset) {
    setWindowTitle("Colorize");
    for (COLORREF& c : m_custom) c = RGB(255, 255, 255);
    auto* top = new QVBoxLayout(this);
    auto* modes = new QHBoxLayout;
    top->addLayout(modes);
    m_hsl = Named(new QRadioButton("HSL", this), kHslId);
    m_rgb = Named(new QRadioButton("RGB", this), kRgbId);
    modes->addWidget(m_hsl);
    modes->addWidget(m_rgb);
    modes->addStretch(1);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    const struct {
        const char* label;
        int id;
        QLineEdit** edit;
        int row, column;
    } edits[] = {{"Hue:        [0 : 255]", kHueId, &m_hue, 0, 0},        {"Saturation: [0 : 255]", kSatId, &m_sat, 1, 0},
                 {"Blend: [%]", kBlendId, &m_blend, 2, 0},               {"Red:     [-255 : 255]", kRedId, &m_red, 0, 2},
                 {"Green:   [-255 : 255]", kGreenId, &m_green, 1, 2},    {"Blue:    [-255 : 255]", kBlueId, &m_blue, 2, 2}};
    for (const auto& e : edits) {
        grid->addWidget(new QLabel(e.label, this), e.row, e.column);
        *e.edit = Named(new QLineEdit(this), e.id);
        (*e.edit)->setMaximumWidth(60);
        grid->addWidget(*e.edit, e.row, e.column + 1);
    }
    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    CIconButton* colors = MakeIconButton(this, kColorsId, "Colors...", 156);
    buttons->addWidget(colors);
    connect(colors, &QPushButton::clicked, this, [this] { OnColors(); });
    AddOkCancel(this, buttons);
    Load();
    // The dialog always opens in HSL mode.
    m_hsl->setChecked(true);
}

void CColorizeDialog::Load() {
    m_hsl->setChecked(m_values.mode == 1);
    m_rgb->setChecked(m_values.mode != 1);
    m_hue->setText(QString::number(m_values.hue));
    m_sat->setText(QString::number(m_values.sat));
    m_blend->setText(QString::number(m_values.blend));
    m_red->setText(QString::number(m_values.red));
    m_green->setText(QString::number(m_values.green));
    m_blue->setText(QString::number(m_values.blue));
}

bool CColorizeDialog::Store() {
    Values v = m_values;
    v.mode = m_hsl->isChecked() ? 1 : 0;
    CDataExchange dx(this);
    dx.Byte(m_hue, v.hue);
    dx.Byte(m_sat, v.sat);
    dx.Byte(m_blend, v.blend);
    dx.Long(m_red, v.red, -255, 255);
    dx.Long(m_green, v.green, -255, 255);
    dx.Long(m_blue, v.blue, -255, 255);
    if (!dx.Ok()) return false;
    m_values = v;
    return true;
}

COLORREF CColorizeDialog::PickerStart(const Values& v) {
    if (v.mode == 1) {
        const RGBQUAD c = PxImage::HSLtoRGB(RGB(v.hue, v.sat, 128));
        return RGB(c.rgbRed, c.rgbGreen, c.rgbBlue);
    }
    return RGB(static_cast<BYTE>(v.red & 0xFF), static_cast<BYTE>(v.green & 0xFF), static_cast<BYTE>(v.blue & 0xFF));
}

void CColorizeDialog::TakePicked(Values& v, COLORREF picked) {
    if (v.mode == 1) {
        RGBQUAD c{};
        c.rgbRed = GetRValue(picked);
        c.rgbGreen = GetGValue(picked);
        c.rgbBlue = GetBValue(picked);
        const RGBQUAD hsl = PxImage::RGBtoHSL(c);
        // The HSL quad carries hue, saturation and lightness in red, green and blue.
        v.hue = hsl.rgbRed;
        v.sat = hsl.rgbGreen;
    } else {
        v.red = GetRValue(picked);
        v.green = GetGValue(picked);
        v.blue = GetBValue(picked);
    }
}

void CColorizeDialog::OnColors() {
    if (!Store()) return;
    COLORREF colour = PickerStart(m_values);
    if (!CPromptService::Instance().ChooseColor(this, colour, m_custom)) return;
    TakePicked(m_values, colour);
    Load();
}

void CColorizeDialog::accept() {
    if (!Store()) return;
    QDialog::accept();
}
