// A flat button whose face is a shaded 8-bit image computed once by SetShade: a palette from the
// button shadow through the face to the highlight colour, tinted, with pixel noise; the hover
// face is the same image lightened. UI thread only.
#pragma once

#include "controls/dibbuffer.h"
#include "controls/flatbutton.h"

class CShadeButton : public CFlatButton {
public:
    enum Shade {
        ShadeNoise = 0,
        ShadeDiagonal = 1,
        ShadeVertical = 2,     // dark at the bottom, light at the top
        ShadeHorizontal = 3,   // light at the left, dark at the right
        ShadeVBump = 4,
        ShadeHBump = 5,
        ShadeSoftBump = 6,
        ShadeHardBump = 7,     // lens-shaped light and dark bands at the sides
        ShadeMetal = 8,        // random scratches
    };

    explicit CShadeButton(QWidget* parent = nullptr, DWORD style = BS_PUSHBUTTON);

    // Builds both faces at the button's present size; noise comes from the library's 15-bit
    // generator. A size it cannot shade (zero, too small for the type, or beyond 32767) leaves
    // the faces empty and the button draws the plain flat background.
    void SetShade(int type, int granularity = 8, int highlight = 10, int colouring = 0, COLORREF colour = 0);

    const CDibBuffer& GetNormalFace() const { return m_normal; }
    const CDibBuffer& GetHoverFace() const { return m_hover; }

protected:
    void DrawBackground(QPainter& p, const QRect& r) const override;

private:
    CDibBuffer m_normal;
    CDibBuffer m_hover;
};
