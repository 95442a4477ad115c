#include "capture/imageadjustpage.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>

#include "ui/promptservice.h"
#include "controls/bitmapslider.h"
#include "ui/messages.h"

using W = CImageAdjustLogic::Which;

CImageAdjustPage::CImageAdjustPage(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(216, 231, 252));
    setPalette(pal);
    resize(kPageWidth, 260);
    auto* group = new QGroupBox("Image Adjust", this);
    group->setObjectName("1075");
    group->setGeometry(6, 4, 368, 130);
    const char* names[] = {"Gamma:", "Contrast:", "Saturation:"};
    const int ids[] = {IDC_GAMMA, IDC_CONTRAST, IDC_SATURATION};
    for (int w = 0; w < CImageAdjustLogic::kCount; ++w) {
        auto* label = new QLabel(names[w], this);
        label->setGeometry(16, 26 + 32 * w, 70, 20);
        if (w == CImageAdjustLogic::kSaturation) m_satLabel = label;
        m_slider[w] = new CBitmapSlider(this, ids[w]);
        m_slider[w]->SetBitmapChannel(191, 0);
        m_slider[w]->SetBitmapThumb(202, 199, true);
        m_slider[w]->SetMargin(2, 3, 2, 0);
        m_slider[w]->setGeometry(90, 28 + 32 * w, 200, 18);
        m_edit[w] = new QLineEdit(this);
        m_edit[w]->setGeometry(300, 26 + 32 * w, 50, 22);
        QObject::connect(m_edit[w], &QLineEdit::textEdited, this, [this, w](const QString& text) {
            m_logic.OnEditChanged(static_cast<W>(w), text);
            m_slider[w]->SetPos(m_logic.level[w].pos);
        });
        QObject::connect(m_edit[w], &QLineEdit::editingFinished, this, [this, w] { Confirm(static_cast<W>(w)); });
    }
    m_color = new QCheckBox("Color Enhancement", this);
    m_color->setGeometry(16, 140, 160, 20);
    m_useBack = new QCheckBox("Use Back Correction", this);
    m_useBack->setGeometry(16, 166, 160, 20);
    m_backButton = new QPushButton("Back Correction", this);
    m_backButton->setObjectName("1088");
    m_backButton->setGeometry(190, 164, 130, 24);
    m_flipGroup = new QGroupBox("Flip", this);
    m_flipGroup->setObjectName("1090");
    m_flipGroup->setGeometry(6, 194, 368, 56);
    m_flipH = new QCheckBox("H Flip", this);
    m_flipH->setGeometry(16, 218, 90, 20);
    m_flipV = new QCheckBox("V Flip", this);
    m_flipV->setGeometry(120, 218, 90, 20);
    m_mono = new QCheckBox("Monochrome", this);
    m_mono->setGeometry(230, 218, 120, 20);
    for (QWidget* w : {static_cast<QWidget*>(group), static_cast<QWidget*>(m_backButton), static_cast<QWidget*>(m_flipGroup)})
        m_anchored.emplace_back(w, w->width());
    QObject::connect(m_color, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnColorEnhancement(on); Show(); });
    QObject::connect(m_flipH, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnFlipH(on); });
    QObject::connect(m_flipV, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnFlipV(on); });
    QObject::connect(m_mono, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnMonochrome(on); });
    QObject::connect(m_useBack, &QCheckBox::clicked, this, [this](bool on) { m_logic.OnBackCorrection(on); });
    RegisterWindow(this);
}

CImageAdjustPage::~CImageAdjustPage() {
    UnregisterWindow();
}

void CImageAdjustPage::Load(CameraSettings* settings) {
    m_logic.Load(settings);
    Show();
}

bool CImageAdjustPage::Confirm(W w) {
    QString message;
    if (m_logic.Validate(w, &message)) return true;
    if (m_prompting) return false;  // the prompt itself takes the focus away
    m_prompting = true;
    CPromptService::Instance().MessageBox(this, message, "Quillory", MB_OK | MB_ICONINFORMATION);
    m_prompting = false;
    // Back to the value the camera has.
    m_logic.level[w].text = QString::number(m_logic.level[w].pos);
    m_edit[w]->setText(m_logic.level[w].text);
    m_edit[w]->setFocus();
    return false;
}

bool CImageAdjustPage::Store() {
    for (int w = 0; w < CImageAdjustLogic::kCount; ++w)
        if (!Confirm(static_cast<W>(w))) return false;
    m_logic.Store();
    return true;
}

void CImageAdjustPage::Show() {
    const CImageAdjustLogic& l = m_logic;
    for (int w = 0; w < CImageAdjustLogic::kCount; ++w) {
        m_slider[w]->SetRange(l.level[w].min, l.level[w].max);
        m_slider[w]->SetPos(l.level[w].pos);
        m_slider[w]->Enable(l.level[w].enabled);
        m_edit[w]->setEnabled(l.level[w].enabled);
        if (m_edit[w]->text() != l.level[w].text) m_edit[w]->setText(l.level[w].text);
    }
    m_satLabel->setEnabled(l.level[CImageAdjustLogic::kSaturation].enabled);
    auto check = [](QCheckBox* b, const CImageAdjustLogic::Check& c) {
        b->setEnabled(c.enabled);
        b->setChecked(c.checked);
    };
    check(m_color, l.colorEnhancement);
    check(m_useBack, l.backCorr);
    m_backButton->setEnabled(l.backCorr.enabled);
    check(m_flipH, l.flipH);
    check(m_flipV, l.flipV);
    check(m_mono, l.monochrome);
    m_flipGroup->setEnabled(l.flipGroupEnabled);
}

LRESULT CImageAdjustPage::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_SLIDER_CHANGING && message != WM_SLIDER_CHANGED) return 0;
    for (int w = 0; w < CImageAdjustLogic::kCount; ++w)
        if (m_slider[w]->GetDlgCtrlID() == static_cast<int>(wParam)) {
            m_logic.OnSlider(static_cast<W>(w), m_slider[w]->GetPos());
            m_edit[w]->setText(m_logic.level[w].text);
        }
    return 0;
}

void CImageAdjustPage::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    const int grow = (e->size().width() - kPageWidth) / 2;
    for (auto& [w, base] : m_anchored) w->resize(std::max(base + grow, 20), w->height());
}
