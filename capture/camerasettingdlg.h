// The modeless "Digital Camera Setting" dialog of a camera window: the "Main", "Image Adjust"
// and "Parameter" tabs edit the window's settings record live. OK stores the pages and saves the
// camera's team 0; Cancel restores record and camera from the snapshot taken at opening. Closing
// the window (its close button, or Escape) keeps every change made live; only Cancel restores.
// Each way the window hears WM_CAMERA_SETTINGDLG_CLOSED and deletes the dialog later.
#pragma once

#include <QDialog>

#include "capture/camerasettinglogic.h"
#include "ui/msgbridge.h"

class CCameraParamDlg;
class CExposurePageBase;
class CImageAdjustPage;
class QPushButton;
class QTabWidget;

class CCameraSettingDlg : public QDialog, public CMessageTarget {
public:
    enum : int { IDC_OK = 1067, IDC_CANCEL = 1031 };

    // Takes the snapshot of the record; frame gets the dialog's messages.
    CCameraSettingDlg(CameraSettings* settings, HWND frame, QWidget* parent = nullptr);
    ~CCameraSettingDlg() override;

    // Hands the record to the pages, which load from it (also after the frame re-applied it).
    void SetSettings(CameraSettings* settings);
    // The exposure pages read the camera again (the frame's auto exposure changed it).
    void RefreshExposurePage();

    void OnOK();
    void OnCancel();

    CCameraSettingLogic& Logic() { return m_logic; }
    QTabWidget* Tabs() const { return m_tabs; }
    CExposurePageBase* MainPage() const { return m_main; }
    CImageAdjustPage* ImageAdjustPage() const { return m_adjust; }
    CCameraParamDlg* ParamPage() const { return m_param; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    // Escape and the close button end here: QDialog would take them for Cancel.
    void reject() override { Finish(); }

private:
    void Finish();

    CCameraSettingLogic m_logic;
    HWND m_frame;
    QTabWidget* m_tabs = nullptr;
    CExposurePageBase* m_main = nullptr;
    CImageAdjustPage* m_adjust = nullptr;
    CCameraParamDlg* m_param = nullptr;
    bool m_finished = false;
};
