// The Resample dialog: the new size by a factor or in pixels, with the aspect ratio kept on
// request, and the quality of the resampling.
#pragma once

#include <QDialog>

#include "app/dialogs/resamplelogic.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

class CResampleDialog : public QDialog {
public:
    CResampleDialog(int imageWidth, int imageHeight, QWidget* parent = nullptr);

    // Results: mode 1 scales by the factor, 0 takes width and height.
    int m_mode = 1;
    int m_interpolation = 2;
    float m_factor = 2.0f;
    int m_width = 100;
    int m_height = 100;

    void accept() override;

private:
    void ShowSize();
    void ShowMode();

    CResampleLogic m_logic;
    QRadioButton* m_byFactor = nullptr;
    QRadioButton* m_byPixels = nullptr;
    QLineEdit* m_factorEdit = nullptr;
    QLineEdit* m_widthEdit = nullptr;
    QLineEdit* m_heightEdit = nullptr;
    QCheckBox* m_aspect = nullptr;
    QComboBox* m_list = nullptr;
};
