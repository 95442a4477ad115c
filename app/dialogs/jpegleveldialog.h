// The JPEG compression dialog: a quality level and the format, JPEG or JPEG 2000.
#pragma once

#include <QDialog>

class QLineEdit;
class QRadioButton;

class CJpegLevelDialog : public QDialog {
public:
    explicit CJpegLevelDialog(int level = 50, QWidget* parent = nullptr);

    int m_level = 50;
    int m_format = 0;  // 0 JPEG, 1 JPEG 2000

    void accept() override;

private:
    QLineEdit* m_edit = nullptr;
    QRadioButton* m_jpeg = nullptr;
    QRadioButton* m_jpeg2000 = nullptr;
};
