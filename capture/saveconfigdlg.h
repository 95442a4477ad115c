// The modeless "Config Property of Save" dialog of a camera window: the "Snap", "Video" and
// (for the hub camera) "Resolution" tabs edit the window's settings record. OK stores the pages
// and, when the preview resolution changed, closes the camera and opens it again 200 ms later
// with the background correction applied; Cancel puts the snapshot back; closing the window
// keeps the record as it was. Each way ends with WM_SAVECONFIG_CLOSED to the frame, which
// deletes the dialog later.
#pragma once

#include <QDialog>

#include "capture/saveconfiglogic.h"
#include "ui/msgbridge.h"

class CResolutionPage;
class CSnapSavePage;
class CVideoSavePage;
class QPushButton;
class QTabWidget;

class CSaveConfigDlg : public QDialog, public CMessageTarget {
public:
    enum : int { IDC_OK = 1067, IDC_CANCEL = 1031 };
    enum Page : int { kSnapPage = 0, kVideoPage = 1, kResolutionPage = 2 };

    // frame receives the dialog's messages. Without withResolution the dialog has no
    // "Resolution" tab and never reopens the camera (the DirectShow window sets its size
    // through its own command).
    CSaveConfigDlg(HWND frame, QWidget* parent = nullptr, bool withResolution = true);
    ~CSaveConfigDlg() override;

    // Every page loads from the record, the tab of page is selected and the snapshot taken.
    void SetSettings(CameraSettings* settings, int page);

    void OnOK();
    void OnCancel();
    // The frame is going: the dialog sends it nothing more, a pending reopen included.
    void Abandon() {
        m_finished = true;
        m_frame = nullptr;
    }

    // How a frame lets the dialog go, on WM_SAVECONFIG_CLOSED or when the frame itself goes:
    // abandoned, out of the message bridge, hidden, deleted once control is back in the loop.
    void Dismiss();

    // Whether the recorder's encoder has settings of its own (the "Config" button).
    static bool CompressorHasSettings(const AviCompressor& compressor);

    CSaveConfigLogic& Logic() { return m_logic; }
    QTabWidget* Tabs() const { return m_tabs; }
    CSnapSavePage* SnapPage() const { return m_snap; }
    CVideoSavePage* VideoPage() const { return m_video; }
    CResolutionPage* ResolutionPage() const { return m_resolution; }
    bool IsFinished() const { return m_finished; }

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override { OnCancel(); }

private:
    void Finish();

    CSaveConfigLogic m_logic;
    HWND m_frame;
    QTabWidget* m_tabs = nullptr;
    CSnapSavePage* m_snap = nullptr;
    CVideoSavePage* m_video = nullptr;
    CResolutionPage* m_resolution = nullptr;
    bool m_finished = false;
    bool m_reopening = false;
};
