// The resolution tab of the save configuration dialog: preview and capture resolution from the
// hub's list for the current camera, optionally locked together. A thin shell over
// CResolutionLogic; it stands alone until that dialog hosts it.
#pragma once

#include <QWidget>

#include "capture/resolutionlogic.h"

class CIconButton;
class QComboBox;

class CResolutionPage : public QWidget {
public:
    explicit CResolutionPage(QWidget* parent = nullptr);

    void Load(CameraSettings* settings);
    void Store();

    CResolutionLogic& Logic() { return m_logic; }
    QComboBox* PreviewCombo() const { return m_preview; }
    QComboBox* CaptureCombo() const { return m_capture; }
    CIconButton* LockButton() const { return m_lock; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void Show();

    CResolutionLogic m_logic;
    QComboBox* m_preview = nullptr;
    QComboBox* m_capture = nullptr;
    CIconButton* m_lock = nullptr;
};
