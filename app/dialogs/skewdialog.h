// The Skew dialog: pivot and skew in pixels, with the slopes and angles they give shown live.
#pragma once

#include <QDialog>

#include "app/dialogs/skewlogic.h"
#include "platform/wintypes.h"

class QCheckBox;
class QLineEdit;

class CSkewDialog : public QDialog {
public:
    CSkewDialog(int imageWidth, int imageHeight, QWidget* parent = nullptr);

    // Results. Slopes stay doubles: a few pixels over a wide image are a tiny slope.
    double m_slopeX = 0, m_slopeY = 0;
    LONG m_pivotX = 0, m_pivotY = 0;
    bool m_interpolation = true;

    void accept() override;

private:
    void SkewEdited();
    void ShowDerived();

    CSkewLogic m_logic;
    QLineEdit* m_pivotXEdit = nullptr;
    QLineEdit* m_pivotYEdit = nullptr;
    QLineEdit* m_skewXEdit = nullptr;
    QLineEdit* m_skewYEdit = nullptr;
    QLineEdit* m_angleXEdit = nullptr;
    QLineEdit* m_angleYEdit = nullptr;
    QLineEdit* m_slopeXEdit = nullptr;
    QLineEdit* m_slopeYEdit = nullptr;
    QCheckBox* m_interp = nullptr;
};
