// "Colorize": either an HSL colourisation (hue, saturation, blend) or an RGB shift, with the
// colour picker to choose the hue or the shift.
#pragma once

#include <QDialog>

#include "platform/wintypes.h"

class CIconButton;
class QLineEdit;
class QRadioButton;

class CColorizeDialog : public QDialog {
public:
    static constexpr int kHslId = 1005, kRgbId = 1006;
    static constexpr int kHueId = 1000, kSatId = 1001, kBlendId = 1007;
    static constexpr int kRedId = 1002, kGreenId = 1003, kBlueId = 1004;
    static constexpr int kColorsId = 3;

    struct Values {
        int mode = 1;  // 1 HSL, 0 RGB
        BYTE hue = 12, sat = 50, blend = 50;
        LONG red = 50, green = 0, blue = -50;
    };

    CColorizeDialog(const Values& preset, QWidget* parent = nullptr);
    const Values& GetValues() const { return m_values; }

    // The picker's starting colour for the values, and the values after a picked colour.
    static COLORREF PickerStart(const Values& v);
    static void TakePicked(Values& v, COLORREF picked);

    void accept() override;

private:
    bool Store();  // false (with the standard message) on a bad entry
    void Load();
    void OnColors();

    Values m_values;
    QRadioButton* m_hsl = nullptr;
    QRadioButton* m_rgb = nullptr;
    QLineEdit* m_hue = nullptr;
    QLineEdit* m_sat = nullptr;
    QLineEdit* m_blend = nullptr;
    QLineEdit* m_red = nullptr;
    QLineEdit* m_green = nullptr;
    QLineEdit* m_blue = nullptr;
    COLORREF m_custom[16] = {};
};
