// The Increase Bpp dialog: the target depth 4, 8 or 24.
#pragma once

#include <QDialog>

class QRadioButton;

class CIncreaseBppDialog : public QDialog {
public:
    explicit CIncreaseBppDialog(int bits, QWidget* parent = nullptr);

    int m_bits = 24;

    void accept() override;

private:
    QRadioButton* m_bits4 = nullptr;
    QRadioButton* m_bits8 = nullptr;
    QRadioButton* m_bits24 = nullptr;
};
