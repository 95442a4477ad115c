#include "capture/camerasettingdlg.h"

#include <algorithm>

#include <QCloseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "capture/cameraparamdlg.h"
#include "capture/exposuregainpage.h"
#include "capture/exposurepage.h"
#include "capture/imageadjustpage.h"
#include "ui/messages.h"
#include "resources/resourcetable.h"

CCameraSettingDlg::CCameraSettingDlg(CameraSettings* settings, HWND frame, QWidget* parent)
    : QDialog(parent), m_logic(settings), m_frame(frame) {
    setWindowTitle("Digital Camera Setting");
    setModal(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    m_tabs = new QTabWidget(this);
    if (settings && settings->bLongExposure)
        m_main = new CExposurePage();
    else
        m_main = new CExposureGainPage();
    m_adjust = new CImageAdjustPage();
    m_param = new CCameraParamDlg();
    m_tabs->addTab(m_main, ResourceString(1249));
    m_tabs->addTab(m_adjust, ResourceString(1250));
    m_tabs->addTab(m_param, ResourceString(1251));
    // Wider than its usual 388 pixels when a page's captions need it.
    const int tabsWidth = std::max(388, m_tabs->sizeHint().width());
    m_tabs->setGeometry(6, 6, tabsWidth, 292);
    resize(tabsWidth + 12, 340);
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(QString::number(IDC_OK));
    ok->setGeometry(width() - 186, 306, 84, 26);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName(QString::number(IDC_CANCEL));
    cancel->setGeometry(width() - 94, 306, 84, 26);
    QObject::connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    QObject::connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });

    m_logic.sendToFrame = [this](UINT msg, WPARAM w) { return m_frame ? SendMessage(m_frame, msg, w, 0) : 0; };
    m_logic.runLater = [this](int ms, std::function<void()> next) {
        QTimer::singleShot(ms, this, std::move(next));
    };
    m_logic.reloadParamPage = [this] { m_param->Load(m_logic.Settings()); };
    m_logic.reloadImageAdjustPage = [this] { m_adjust->Load(m_logic.Settings()); };
    RegisterWindow(this);
    m_main->SetTargets(GetSafeHwnd(), m_frame);
    m_param->SetFrame(m_frame);
    SetSettings(settings);
    if (parent) {
        const QRect p = parent->frameGeometry();
        move(p.center() - QPoint(width() / 2, height() / 2));
    }
}

CCameraSettingDlg::~CCameraSettingDlg() {
    UnregisterWindow();
}

void CCameraSettingDlg::SetSettings(CameraSettings* settings) {
    m_logic.SetSettings(settings);
    m_main->Load(settings);
    m_adjust->Load(settings);
    m_param->Load(settings);
}

void CCameraSettingDlg::RefreshExposurePage() {
    m_main->Refresh();
}

void CCameraSettingDlg::Finish() {
    if (m_finished) return;
    m_finished = true;
    hide();
    if (m_frame) SendMessage(m_frame, WM_CAMERA_SETTINGDLG_CLOSED, 0, 0);
}

void CCameraSettingDlg::OnOK() {
    if (m_finished) return;
    // A refused typed value keeps the dialog open with nothing stored.
    if (!m_adjust->Store()) return;
    m_main->Store();
    m_param->Store();
    m_logic.OnOK();
    Finish();
}

void CCameraSettingDlg::OnCancel() {
    if (m_finished) return;
    m_logic.OnCancel();
    Finish();
}

void CCameraSettingDlg::closeEvent(QCloseEvent* e) {
    Finish();
    e->accept();
}

LRESULT CCameraSettingDlg::WindowProc(UINT message, WPARAM, LPARAM) {
    switch (message) {
    case WM_CAMERA_WHITEBALANCE: return m_logic.OnWhiteBalance();
    case WM_CAMERA_BLACKBALANCE: return m_logic.OnBlackBalance();
    case WM_CLOSE: Finish(); return 0;
    default: return 0;
    }
}
