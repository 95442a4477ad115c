// "Opacity": the image's alpha maximum as one byte.
#pragma once

#include <QDialog>

#include "platform/wintypes.h"

class QLineEdit;

class COpacityDialog : public QDialog {
public:
    static constexpr int kLevelId = 1000;

    explicit COpacityDialog(BYTE level, QWidget* parent = nullptr);
    BYTE Level() const { return m_level; }
    void accept() override;

private:
    BYTE m_level;
    QLineEdit* m_edit = nullptr;
};
