// The Dither dialog: one of eight dithering methods.
#pragma once

#include <QDialog>

#include <vector>

class QRadioButton;

class CDitherDialog : public QDialog {
public:
    explicit CDitherDialog(QWidget* parent = nullptr);

    int m_method = 0;

    void accept() override;

private:
    std::vector<QRadioButton*> m_radios;
};
