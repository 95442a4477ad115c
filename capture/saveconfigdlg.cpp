#include "capture/saveconfigdlg.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include "ui/promptservice.h"
#include "capture/resolutionpage.h"
#include "capture/snapsavepage.h"
#include "capture/videosavepage.h"
#include "ui/messages.h"
#include "controls/numberedit.h"
#include "resources/resourcetable.h"
#include "video/avlibraries.h"

bool CSaveConfigDlg::CompressorHasSettings(const AviCompressor& compressor) {
    const CAvLibraries& av = CAvLibraries::Shared();
    if (!av.Loaded()) return false;
    const AVCodec* codec = av.Fn().avcodec_find_encoder_by_name(compressor.name.c_str());
    if (!codec || !codec->priv_class) return false;
    // The encoder's own options (its private class) are its settings.
    const AVClass* cls = codec->priv_class;
    return av.Fn().av_opt_next(&cls, nullptr) != nullptr;
}

CSaveConfigDlg::CSaveConfigDlg(HWND frame, QWidget* parent, bool withResolution)
    : QDialog(parent), m_logic(CAviFile::EnumerateCompressors(), &CSaveConfigDlg::CompressorHasSettings), m_frame(frame) {
    setWindowTitle("Config Property of Save");
    setModal(false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 230, 252));
    setPalette(pal);
    resize(400, 370);
    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName("1056");
    m_tabs->setGeometry(6, 6, 388, 322);
    m_snap = new CSnapSavePage(&m_logic);
    m_video = new CVideoSavePage(&m_logic);
    m_tabs->addTab(m_snap, ResourceString(1255));
    m_tabs->addTab(m_video, ResourceString(1256));
    if (withResolution) {
        m_resolution = new CResolutionPage();
        m_tabs->addTab(m_resolution, ResourceString(61446));
    }
    auto* ok = new QPushButton("OK", this);
    ok->setObjectName(QString::number(IDC_OK));
    ok->setGeometry(214, 336, 84, 26);
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName(QString::number(IDC_CANCEL));
    cancel->setGeometry(306, 336, 84, 26);
    QObject::connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    QObject::connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    RegisterWindow(this);
    if (parent) {
        const QRect p = parent->frameGeometry();
        move(p.center() - QPoint(width() / 2, height() / 2));
    }
}

CSaveConfigDlg::~CSaveConfigDlg() { UnregisterWindow(); }

void CSaveConfigDlg::SetSettings(CameraSettings* settings, int page) {
    m_logic.SetSettings(settings);
    m_logic.LoadSnap();
    m_logic.LoadVideo();
    m_snap->Show();
    m_video->Show();
    if (m_resolution) m_resolution->Load(settings);
    if (page >= 0 && page < m_tabs->count()) m_tabs->setCurrentIndex(page);
    m_logic.CopySnapshot(true);
}

void CSaveConfigDlg::Dismiss() {
    Abandon();
    UnregisterWindow();
    hide();
    deleteLater();
}

void CSaveConfigDlg::Finish() {
    if (m_finished) return;
    m_finished = true;
    hide();
    if (m_frame) SendMessage(m_frame, WM_SAVECONFIG_CLOSED, 0, 0);
}

void CSaveConfigDlg::OnOK() {
    if (m_finished || m_reopening || !m_logic.Settings()) return;
    m_snap->Read();
    m_video->Read();
    const CSaveConfigLogic::NumberField* refused = nullptr;
    if (!m_logic.Store(&refused)) {
        // A number outside its field's range stores nothing; the dialog stays with the field.
        if (refused) {
            CPromptService::Instance().MessageBox(
                this, QString("Please enter an integer between %1 and %2.").arg(refused->minimum).arg(refused->maximum),
                windowTitle(), MB_OK);
            if (QWidget* w = findChild<QWidget*>(QString::number(refused->id))) {
                for (int i = 0; i < m_tabs->count(); ++i)
                    if (m_tabs->widget(i)->isAncestorOf(w)) m_tabs->setCurrentIndex(i);
                w->setFocus();
                if (auto* edit = dynamic_cast<QLineEdit*>(w)) edit->selectAll();
            }
        }
        return;
    }
    if (m_resolution) m_resolution->Store();
    if (m_resolution && m_logic.PreviewChanged() && m_frame) {
        // The camera opens again at the new preview size, with the background correction on.
        m_reopening = true;
        hide();
        SendMessage(m_frame, WM_CAMERA_CLOSE, 0, 0);
        QTimer::singleShot(200, this, [this] {
            m_reopening = false;
            if (!m_frame) return;
            SendMessage(m_frame, WM_CAMERA_OPEN, 1, 0);
            Finish();
        });
        return;
    }
    Finish();
}

void CSaveConfigDlg::OnCancel() {
    if (m_finished || m_reopening) return;
    m_logic.CopySnapshot(false);
    Finish();
}

void CSaveConfigDlg::closeEvent(QCloseEvent* e) {
    QDialog::closeEvent(e);
    if (!m_reopening) Finish();
}

LRESULT CSaveConfigDlg::WindowProc(UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE && !m_reopening) Finish();
    return 0;
}
