// What both exposure pop-ups of the camera window share: a tool window of the frame that is
// dragged from anywhere in it, ignores Enter, and reports losing the activation to the frame as
// WM_CAMERA_EXPOSUREPANEL (1), after which the frame decides whether it stays open. Gaining it
// is not reported: Qt activates the pop-up after the frame entered its pop-up mode.
#pragma once

#include <QPoint>
#include <QWidget>

#include "capture/camerasettings.h"
#include "ui/msgbridge.h"

class CBitmapSlider;
class CExposureTimeCtrl;

class CExposurePopup : public QWidget, public CMessageTarget {
public:
    ~CExposurePopup() override;

    CameraSettings* Settings() const { return m_s; }
    HWND Frame() const { return m_frame; }
    // The auto-exposure check as the frame copies it when the pop-up closes.
    virtual bool GetAuto() const = 0;

protected:
    CExposurePopup(CameraSettings* settings, HWND frame, QWidget* parent);
    LRESULT SendToFrame(UINT message, WPARAM wParam);
    // The slider's range and the time control's maximum: a table index range in long-exposure
    // mode (the time then goes up to 59:59.999), else milliseconds.
    static void ApplyExposureRange(CBitmapSlider* slider, CExposureTimeCtrl* time, int minimum, int maximum,
                                   bool longExposure);

    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    CameraSettings* m_s;
    HWND m_frame;
    bool m_dragging = false;
    QPoint m_grab;
};
