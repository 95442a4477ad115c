#include "capture/camerawindowbase.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <utility>

#include "capture/camerathread.h"
#include "capture/toolbarcommands.h"
#include "capture/windowplacement.h"
#include "controls/flatprogressctrl.h"
#include "controls/progressdialog.h"
#include "resources/resourcetable.h"
#include "ui/messages.h"
#include "ui/promptservice.h"

namespace {

constexpr const char* kRecordPrompt = "Record";           // string 1246
constexpr const char* kStopRecordPrompt = "Stop Record";  // string 1247
constexpr UINT kStatusBarId = 59393;
constexpr UINT kBrightnessPaneId = 32988;

// The camera commands' prompts ("Tooltip\nCaption"; one line is both), of both windows.
const std::pair<UINT, const char*> kPrompts[] = {
    {284, "Cross\nCross"},
    {1230, "Camera Snap\nSnap"},
    {1231, "Camera Resolution\nResolution"},
    {1234, "Camera Record\nRecord"},
    {1261, "Auto White Balance\nAuto WB"},
    {6003, "Camera Preview\nPreview"},
    {32923, "Camera Image Browser\n Browser"},
    {32927, "Area White Balance\nArea WB"},
    {32928, "Camera Exposure\nExposure"},
    {32930, "Camera Property\nProperty"},
    {32938, "Camera Back Correction\nBK Correction"},
    {32940, "Camera Black Balance\nB.Balance"},
    {32979, "Toolbar"},
    {32983, "Video Cut\nCut"},
    {32984, "Video Restore\nRestore"},
    {32985, "Full Screen"},
    {32986, "Image Size\nImage Size"},
    {32994, "Wizard WhiteBalance "},
    {32995, "Quick WhiteBalance"},
    {32997, "Area WhiteBalance"},
    {32998, "Quick BlackBalance"},
    {32999, "Config..."},
    {33001, "Config..."},
    {33002, "Config..."},
    {33003, "DS Bin\nBin"},
    {33004, "Filter \nFilter"},
    {33008, "Show"},
    {33009, "Hide"},
};

// The router's row of a camera command: the caption is the prompt's second line (the first
// when there is none), the tooltip its first.
const CommandInfo* CameraCommandInfo(UINT id) {
    struct Row {
        QByteArray caption, tip;
        CommandInfo info;
    };
    static const std::map<UINT, Row> rows = [] {
        std::map<UINT, Row> m;
        for (const auto& [cmd, prompt] : kPrompts) {
            const QString text = QString::fromUtf8(prompt);
            const QString caption = text.section('\n', 1, 1).trimmed();
            Row& r = m[cmd];
            r.caption = (caption.isEmpty() ? text.section('\n', 0, 0) : caption).toUtf8();
            r.tip = text.section('\n', 0, 0).toUtf8();
        }
        for (auto& [cmd, r] : m) r.info = {cmd, r.caption.constData(), r.tip.constData(), 0, false};
        return m;
    }();
    auto it = rows.find(id);
    return it == rows.end() ? nullptr : &it->second.info;
}

}  // namespace

// The "Interval Complete" dialog as the snap thread sees it. The dialog's calls are safe from
// that thread; the window joins the thread before it deletes the dialog.
class CCameraWindowBase::IntervalLink : public CCameraSnapThread::IIntervalProgress {
public:
    explicit IntervalLink(CProgressDialog* dialog) : m_dialog(dialog) {}
    void Show(bool visible) override {
        m_dialog->ShowWindow(visible ? CProgressDialog::SW_SHOWNA : CProgressDialog::SW_HIDE);
    }
    void SetPos(int perMille) override { m_dialog->SetPos(perMille); }
    bool IsCancelled() override { return m_dialog->IsCancelled(); }
    void ClearCancelled() override { m_dialog->SetCancelled(false); }

private:
    CProgressDialog* m_dialog;
};

CCameraWindowBase::CCameraWindowBase(const CameraWindowHost& host, QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_host(host), m_pRouter(new CCommandRouter(this)) {
    m_pRouter->SetCommandTable(&CameraCommandInfo, &ResourceCommandIcon);
    m_pRouter->SetChain([this] { return std::vector<CCmdTarget*>{this}; });
    setAttribute(Qt::WA_DeleteOnClose);
    RegisterWindow(this);
}

CCameraWindowBase::~CCameraWindowBase() = default;

// ---- commands -------------------------------------------------------------------------------

void CCameraWindowBase::AddCommand(UINT id, std::function<void()> run, std::function<bool()> enabled,
                                   std::function<bool()> checked) {
    CCmdTarget::OnCommand(id, std::move(run));
    if (!enabled) enabled = [this] { return CameraOpen(); };
    const bool checkable = static_cast<bool>(checked);
    OnUpdateUI(id, [enabled = std::move(enabled), checked = std::move(checked)](CCmdUI* ui) {
        ui->Enable(enabled());
        if (checked) ui->SetCheck(checked() ? 1 : 0);
    });
    QAction* a = m_pRouter->Action(id);
    a->setObjectName(QString::number(id));
    a->setCheckable(checkable);
    // The router brings the actions in line after a command; the prompts follow.
    connect(a, &QAction::triggered, this, [this] { RefreshPrompts(); });
}

QAction* CCameraWindowBase::Action(UINT id) const { return HasHandler(id) ? m_pRouter->Action(id) : nullptr; }

QToolButton* CCameraWindowBase::Button(UINT id) const {
    auto it = m_buttons.find(id);
    return it == m_buttons.end() ? nullptr : it->second;
}

QToolButton* CCameraWindowBase::AddSplitButton(UINT id, const QList<UINT>& menuIds) {
    QList<QAction*> items;
    for (UINT item : menuIds) items << Action(item);
    QToolButton* button = AddSplitToolButton(m_pToolBar, id, Action(id), items);
    m_buttons[id] = button;
    return button;
}

bool CCameraWindowBase::IsCommandEnabled(UINT id) const { return HasHandler(id) && m_pRouter->Query(id).m_bEnabled; }

bool CCameraWindowBase::OnCommand(UINT id) {
    if (!HasHandler(id)) return false;
    m_pRouter->Execute(id);
    return true;
}

void CCameraWindowBase::UpdateCommands() {
    m_pRouter->UpdateAll();
    RefreshPrompts();
}

void CCameraWindowBase::RefreshPrompts() {
    if (QAction* a = Action(ID_CAMERA_RECORD)) a->setText(m_bRecording ? kStopRecordPrompt : kRecordPrompt);
    if (QAction* a = Action(ID_CAMERA_SNAP)) a->setToolTip(CCaptureSession::SnapToolTip(Session().Settings().snap));
}

QString CCameraWindowBase::StatusText() const { return m_pPane0 ? m_pPane0->text() : QString(); }

// ---- the frame ------------------------------------------------------------------------------

void CCameraWindowBase::BuildFrame(const QString& toolBarName) {
    m_pToolBar = addToolBar("Camera");
    m_pToolBar->setObjectName(toolBarName);
    QStatusBar* sb = statusBar();
    sb->setObjectName(QString::number(kStatusBarId));
    m_pPane0 = new QLabel(this);
    m_pPane0->setObjectName("pane0");
    m_pPane0->setFixedWidth(120);
    sb->addWidget(m_pPane0);
    m_pPane1 = new QLabel(this);
    m_pPane1->setObjectName("pane1");
    m_pPane1->setMaximumWidth(1000);
    sb->addWidget(m_pPane1, 1);
    m_pBrightness = new CFlatProgressCtrl(this);
    m_pBrightness->setObjectName(QString::number(kBrightnessPaneId));
    m_pBrightness->SetRange(0, 255);
    m_pBrightness->SetPos(0);
    m_pBrightness->setFixedWidth(120);
    sb->addPermanentWidget(m_pBrightness);
}

void CCameraWindowBase::CreateIntervalDialog() {
    // A quarter of the screen off each side until the picture's size is known.
    if (QScreen* sc = QGuiApplication::primaryScreen()) {
        const QRect r = sc->availableGeometry();
        setGeometry(r.adjusted(r.width() / 4, r.height() / 4, -r.width() / 4, -r.height() / 4));
    }
    m_pInterval = new CProgressDialog(this);
    m_pInterval->SetText("Interval Complete");
    m_pInterval->SetRange(0, 1000);
    m_pInterval->Create(this);
    m_pInterval->SetPos(0);
    m_pInterval->EnableCancel(true);
    m_pInterval->SetFlag(1);
    m_pInterval->ShowWindow(CProgressDialog::SW_HIDE);
    m_pIntervalLink = std::make_unique<IntervalLink>(m_pInterval);
}

void CCameraWindowBase::StopSnaps() {
    // The snap thread first: it would poll the interval dialog and ask for shots.
    Session().SnapThread().Stop();
    m_pIntervalLink.reset();
    delete m_pInterval;
    m_pInterval = nullptr;
}

void CCameraWindowBase::PlaceOnImage(int width, int height, int chromeAbove) {
    int chrome = chromeAbove + statusBar()->sizeHint().height();
    if (m_pToolBar && m_pToolBar->isVisible()) chrome += m_pToolBar->sizeHint().height();
    setGeometry(WindowPlacementOnScreen(this, width, height, chrome));
}

// ---- snaps and recording --------------------------------------------------------------------

bool CCameraWindowBase::HandleCaptureMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CAMERA_SNAP: OnShot(static_cast<int>(wParam)); return true;
    case WM_CAMERA_LAPSEDONE:
        Session().SnapThread().Finish();
        UpdateCommands();
        return true;
    case WM_CAMERA_FILESAVED:
        // Raw snaps leave files the start page cannot show.
        if (Session().FileSaved() && (lParam || !m_bAnnounceOnlyWritten))
            SendMessage(m_host.mainWindow, WM_CAMERA_FILESAVED, wParam, lParam);
        return true;
    case WM_CAMERA_STATUSTEXT:
        if (lParam) m_pPane0->setText(QString::fromUtf8(reinterpret_cast<const char*>(lParam)));
        return true;
    case WM_COMMAND:
        OnCommand(static_cast<UINT>(LOWORD(static_cast<DWORD>(wParam))));
        UpdateCommands();
        return true;
    case WM_CLOSE: close(); return true;
    default: return false;
    }
}

void CCameraWindowBase::OnSnap() { Session().Snap(GetSafeHwnd(), CameraOpen(), m_pIntervalLink.get()); }

void CCameraWindowBase::OnShot(int index) {
    Session().Shot(index, CameraOpen() && HasView(), AskFile(), [this](const QString& path) { TakeShot(path); });
}

void CCameraWindowBase::OnRecord() {
    SetCaptureMode(Session().Record(CaptureMode(), CameraOpen(), m_bRecording, AskFile(), Recorder()));
    RefreshPrompts();
}

CCaptureSession::AskFile CCameraWindowBase::AskFile() {
    return [this](FileDialogRequest& r) { return CPromptService::Instance().FileDialog(this, r); };
}

void CCameraWindowBase::closeEvent(QCloseEvent* e) {
    ShutdownCamera();
    if (m_host.closed) std::exchange(m_host.closed, nullptr)(this);
    if (m_bCameraClosed) {
        e->accept();
        return;
    }
    e->ignore();
    hide();
    CCameraThread::Instance().Post(this, {}, [this] {
        m_bCameraClosed = true;
        close();
    });
}
