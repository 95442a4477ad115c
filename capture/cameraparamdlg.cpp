#include "capture/cameraparamdlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <QRadioButton>

#include "controls/bitmapslider.h"
#include "ui/messages.h"

using C = CCameraParamLogic::Colour;

namespace {

constexpr int kColumnWidth = 178;  // the narrowest a group box of the page gets

// A control as wide as its text needs, never narrower than the layout gave it.
void FitToText(QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(x, y, std::max(width, w->sizeHint().width()), height);
}

// Two radios of their own group box, so the boxes exclude only among themselves; the box is as
// wide as the two captions need.
QGroupBox* MakePair(QWidget* page, const char* title, int id, const char* a, const char* b, int x, int y, QRadioButton** out) {
    auto* box = new QGroupBox(title, page);
    box->setObjectName(QString::number(id));
    out[0] = new QRadioButton(a, box);
    FitToText(out[0], 8, 20, 80, 20);
    out[1] = new QRadioButton(b, box);
    FitToText(out[1], std::max(92, out[0]->geometry().right() + 5), 20, 80, 20);
    box->setGeometry(x, y, std::max(kColumnWidth, out[1]->geometry().right() + 9), 48);
    return box;
}

}  // namespace

CCameraParamDlg::CCameraParamDlg(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    auto* rgb = new QGroupBox("RGB", this);
    const char* names[] = {"R", "G", "B"};
    const int ids[] = {IDC_RED, IDC_GREEN, IDC_BLUE};
    const UINT channels[] = {194, 192, 188};
    for (int c = 0; c < 3; ++c) {
        auto* l = new QLabel(names[c], this);
        l->setGeometry(16, 22 + 24 * c, 16, 20);
        m_slider[c] = new CBitmapSlider(this, ids[c]);
        m_slider[c]->SetBitmapChannel(channels[c], 0);
        m_slider[c]->SetBitmapThumb(202, 199, true);
        m_slider[c]->SetMargin(2, 3, 2, 0);
        m_slider[c]->setGeometry(36, 24 + 24 * c, 250, 18);
        m_edit[c] = new QLineEdit(this);
        m_edit[c]->setGeometry(296, 22 + 24 * c, 60, 22);
        QObject::connect(m_edit[c], &QLineEdit::textEdited, this, [this, c](const QString& text) {
            if (m_logic.OnGainEdit(static_cast<C>(c), text)) Show();
        });
        QObject::connect(m_edit[c], &QLineEdit::editingFinished, this, [this, c] {
            // A refused number goes back to the value the camera has.
            m_edit[c]->setText(m_logic.gain[c].text);
        });
    }
    QGroupBox* speed = MakePair(this, "Frame Speed", 1071, "Normal Speed", "High Speed", 6, 100, m_speed);
    QGroupBox* freq = MakePair(this, "Light Frequency", 1072, "50 Hz", "60 Hz", 196, 100, m_freq);
    QGroupBox* quality = MakePair(this, "Image Quality", 1073, "Smooth", "Sharp", 6, 150, m_quality);
    for (int v = 0; v < 2; ++v) {
        QObject::connect(m_speed[v], &QRadioButton::clicked, this, [this, v] { m_logic.OnFrameSpeed(v); });
        QObject::connect(m_freq[v], &QRadioButton::clicked, this, [this, v] { m_logic.OnLightFrequency(v); });
        QObject::connect(m_quality[v], &QRadioButton::clicked, this, [this, v] { m_logic.OnQuality(v); });
    }
    auto* mode = new QGroupBox("Parameter Mode", this);
    mode->setObjectName("1074");
    const char* teams[] = {"A", "B", "C", "D"};
    for (int r = 0; r < 4; ++r) {
        m_team[r] = new QRadioButton(teams[r], mode);
        m_team[r]->setGeometry(8 + 42 * r, 20, 40, 20);
        QObject::connect(m_team[r], &QRadioButton::clicked, this, [this, r] {
            m_logic.OnTeamRadio(static_cast<CCameraParamLogic::Radio>(r));
            Show();
        });
    }
    m_save = new QPushButton("Save", mode);
    m_save->setGeometry(8, 46, 76, 24);
    m_load = new QPushButton("Load", mode);
    m_load->setGeometry(92, 46, 76, 24);
    m_startup = new QCheckBox("Load this mode when next start", mode);
    FitToText(m_startup, 8, 76, 168, 20);
    mode->setGeometry(196, 150, std::max(kColumnWidth, m_startup->geometry().right() + 9), 104);
    // Two columns as wide as their widest box; the RGB box spans both.
    const int left = std::max(speed->width(), quality->width());
    const int right = std::max(freq->width(), mode->width());
    for (QGroupBox* box : {speed, quality}) box->resize(left, box->height());
    for (QGroupBox* box : {freq, mode}) box->setGeometry(6 + left + 12, box->y(), right, box->height());
    rgb->setGeometry(6, 4, left + 12 + right, 92);
    m_baseWidth = std::max(kPageWidth, rgb->geometry().right() + 7);
    resize(m_baseWidth, 260);
    QObject::connect(m_save, &QPushButton::clicked, this, [this] { m_logic.OnSave(); });
    QObject::connect(m_load, &QPushButton::clicked, this, [this] { m_logic.OnLoad(); });
    QObject::connect(m_startup, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnStartupCheck(on); });
    for (QGroupBox* box : {speed, freq, quality, mode}) m_anchored.emplace_back(box, box->width());
    m_logic.sendToFrame = [this](UINT msg, WPARAM w) { return m_frame ? SendMessage(m_frame, msg, w, 0) : 0; };
    RegisterWindow(this);
}

CCameraParamDlg::~CCameraParamDlg() {
    UnregisterWindow();
}

void CCameraParamDlg::Load(CameraSettings* settings) {
    m_logic.Load(settings);
    Show();
}

void CCameraParamDlg::Store() {
    m_logic.Store();
}

void CCameraParamDlg::Show() {
    const CCameraParamLogic& l = m_logic;
    for (int c = 0; c < 3; ++c) {
        m_slider[c]->SetRange(l.gain[c].min, l.gain[c].max);
        m_slider[c]->SetPos(l.gain[c].pos);
        m_slider[c]->Enable(l.gain[c].enabled);
        m_edit[c]->setEnabled(l.gain[c].enabled);
        if (!m_edit[c]->hasFocus() || m_edit[c]->text().toInt() != l.gain[c].pos) m_edit[c]->setText(l.gain[c].text);
    }
    auto pair = [](QRadioButton** r, const CCameraParamLogic::Choice& c) {
        for (int v = 0; v < 2; ++v) {
            r[v]->setEnabled(c.enabled);
            r[v]->setAutoExclusive(false);
            r[v]->setChecked(c.selected == v);
            r[v]->setAutoExclusive(true);
        }
    };
    pair(m_speed, l.speed);
    pair(m_freq, l.frequency);
    pair(m_quality, l.quality);
    const int radio = CCameraParamLogic::RadioOfTeam(l.team);
    for (int r = 0; r < 4; ++r) {
        m_team[r]->setAutoExclusive(false);
        m_team[r]->setChecked(r == radio);
        m_team[r]->setAutoExclusive(true);
    }
    m_startup->setEnabled(l.startup.enabled);
    m_startup->setChecked(l.startup.checked);
}

LRESULT CCameraParamDlg::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_SLIDER_CHANGING && message != WM_SLIDER_CHANGED) return 0;
    for (int c = 0; c < 3; ++c)
        if (m_slider[c]->GetDlgCtrlID() == static_cast<int>(wParam)) {
            m_logic.OnGainSlider(static_cast<C>(c), m_slider[c]->GetPos());
            Show();
        }
    return 0;
}

QSize CCameraParamDlg::sizeHint() const {
    return QSize(m_baseWidth, 260);
}

void CCameraParamDlg::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int grow = (e->size().width() - m_baseWidth) / 2;
    for (auto& [w, base] : m_anchored) w->resize(std::max(base + grow, 20), w->height());
}
