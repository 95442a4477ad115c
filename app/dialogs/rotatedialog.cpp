#include "app/dialogs/rotatedialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <cmath>

#include "app/dialogs/dataexchange.h"
#include "app/dialogs/dialogbuttons.h"
#include "app/dialogs/rotatelogic.h"
#include "app/imageconvert.h"
#include "controls/bitmapslider.h"
#include "controls/iconbutton.h"
#include "ui/messages.h"

namespace {
constexpr int kSliderId = 1083;
constexpr int kPreviewBox = 290;  // the rotated 200-pixel thumbnail fits
}

CRotateDialog::CRotateDialog(const PxImage& source, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Rotate");
    setObjectName("132");
    auto* top = new QVBoxLayout(this);
    auto* pictures = new QHBoxLayout;
    auto* beforeBox = new QGroupBox("Before", this);
    auto* afterBox = new QGroupBox("After", this);
    m_before = new QLabel(beforeBox);
    m_before->setObjectName("1067");
    m_afterLabel = new QLabel(afterBox);
    m_afterLabel->setObjectName("1072");
    for (QLabel* l : {m_before, m_afterLabel}) {
        l->setAlignment(Qt::AlignCenter);
        l->setFixedSize(kPreviewBox, kPreviewBox);
    }
    (new QVBoxLayout(beforeBox))->addWidget(m_before);
    (new QVBoxLayout(afterBox))->addWidget(m_afterLabel);
    pictures->addWidget(beforeBox);
    pictures->addWidget(afterBox);
    top->addLayout(pictures);

    auto* row = new QHBoxLayout;
    m_left = new CIconButton(this, BS_PUSHBUTTON | BS_PUSHLIKE);
    m_left->setObjectName("1082");
    m_left->SetIcon(214);
    m_left->setIconSize(QSize(32, 32));
    m_left->setFixedSize(40, 40);
    m_slider = new CBitmapSlider(this, kSliderId);
    m_slider->setObjectName(QString::number(kSliderId));
    m_slider->SetBitmapChannel(189, 190);
    m_slider->SetBitmapThumb(186, 187, true);
    m_slider->SetMargin(2, 3, 2, 0);
    m_slider->SetRange(0, 360);
    m_slider->SetPos(0);
    m_right = new CIconButton(this, BS_PUSHBUTTON | BS_PUSHLIKE);
    m_right->setObjectName("1031");
    m_right->SetIcon(215);
    m_right->setIconSize(QSize(32, 32));
    m_right->setFixedSize(40, 40);
    row->addWidget(m_left);
    row->addWidget(m_slider, 1);
    row->addWidget(m_right);
    top->addLayout(row);

    auto* angleRow = new QHBoxLayout;
    angleRow->addWidget(new QLabel("Angle [degrees]", this));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName("1000");
    m_edit->setAlignment(Qt::AlignCenter);
    m_edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*\\.?[0-9]*"), m_edit));
    m_edit->setFixedWidth(80);
    angleRow->addWidget(m_edit);
    angleRow->addStretch(1);
    top->addLayout(angleRow);

    m_interpolationList = new QComboBox(this);
    m_interpolationList->setObjectName("1019");
    m_interpolationList->addItems({"Nearest neighbour", "Bilinear", "Bicubic (hard)", "Bicubic 2 (soft)",
                                   "BSpline (blur)", "Lanzcos (sharp)", "Hermite"});
    m_overflowList = new QComboBox(this);
    m_overflowList->setObjectName("1020");
    m_overflowList->addItems({"Background (or [0,0] color)", "Background (or Black)", "Background (or White)", "Wrap",
                              "Repeat", "Mirror", "Transparent"});
    m_keep = new QCheckBox("Keep original size", this);
    m_keep->setObjectName("1002");
    for (QWidget* w : {static_cast<QWidget*>(m_interpolationList), static_cast<QWidget*>(m_overflowList),
                       static_cast<QWidget*>(m_keep)}) {
        w->setEnabled(false);
        w->hide();
    }
    m_interpolationList->setCurrentIndex(1);
    m_overflowList->setCurrentIndex(1);
    m_keep->setChecked(false);
    AddOkCancel(this, top);

    m_edit->setText(QString::number(m_angle));
    connect(m_edit, &QLineEdit::textEdited, this, [this](const QString& t) { AngleEdited(t); });
    connect(m_left, &QPushButton::clicked, this, [this] { Quarter(false); });
    connect(m_right, &QPushButton::clicked, this, [this] { Quarter(true); });

    MakeThumbnail(source);
    m_edit->setFocus();
    m_edit->selectAll();
    RegisterWindow(this);
}

CRotateDialog::~CRotateDialog() { UnregisterWindow(); }

void CRotateDialog::MakeThumbnail(const PxImage& source) {
    if (!source.IsValid()) return;
    int w = 1, h = 1;
    CRotateLogic::ThumbnailSize(static_cast<int>(source.GetWidth()), static_cast<int>(source.GetHeight()),
                                kThumbnailLimit, &w, &h);
    // Resampling into another image leaves the source as it is.
    if (!const_cast<PxImage&>(source).Resample(w, h, 1, &m_thumbnail) || !m_thumbnail.IsValid()) {
        m_thumbnail.Copy(source);
        m_thumbnail.Resample(w, h, 1);
    }
    m_before->setPixmap(QPixmap::fromImage(QImageFromImage(m_thumbnail)));
    m_after = std::make_unique<PxImage>(m_thumbnail, true, true, true);
    m_afterLabel->setPixmap(QPixmap::fromImage(QImageFromImage(*m_after)));
}

void CRotateDialog::Preview() {
    if (!m_thumbnail.IsValid()) return;
    auto after = std::make_unique<PxImage>(m_thumbnail, true, true, true);
    RGBQUAD black = {0, 0, 0, 0};
    const float degrees = std::trunc(m_angle);
    after->Rotate2(degrees, nullptr, PxImage::IM_BILINEAR, PxImage::OM_BACKGROUND, &black, true, false);
    if (!after->IsValid()) return;  // keep what is shown rather than show nothing
    m_after = std::move(after);
    m_afterLabel->setPixmap(QPixmap::fromImage(QImageFromImage(*m_after)));
}

void CRotateDialog::ReadChoices() {
    m_interpolation = m_interpolationList->currentIndex();
    m_overflow = m_overflowList->currentIndex();
    m_keepSize = m_keep->isChecked();
}

void CRotateDialog::AngleEdited(const QString& text) {
    bool parsed = false;
    text.trimmed().toDouble(&parsed);
    if (!parsed) return;  // still being typed; OK reports it
    bool changed = false;
    m_angle = CRotateLogic::ClampAngle(text, &changed);
    m_slider->SetPos(static_cast<int>(m_angle));
    Preview();
    if (changed) m_edit->setText(QString::number(m_angle));
}

void CRotateDialog::Quarter(bool right) {
    const int pos = m_slider->GetPos();
    m_slider->SetPos(right ? CRotateLogic::QuarterRight(pos) : CRotateLogic::QuarterLeft(pos));
    SendMessage(GetSafeHwnd(), WM_SLIDER_CHANGED, kSliderId, 0);
}

LRESULT CRotateDialog::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_SLIDER_CHANGING && message != WM_SLIDER_CHANGED) return 0;
    if (static_cast<int>(wParam) == kSliderId) {
        m_angle = static_cast<float>(m_slider->GetPos());
        m_edit->setText(QString::number(m_angle));
    }
    ReadChoices();
    Preview();
    return 0;
}

void CRotateDialog::FreePreview() {
    m_after.reset();
    m_afterLabel->clear();
}

void CRotateDialog::accept() {
    CDataExchange dx(this);
    float angle = m_angle;
    if (!dx.Float(m_edit, angle, 0.0f, 360.0f)) return;
    m_angle = angle;
    ReadChoices();
    FreePreview();
    QDialog::accept();
}

void CRotateDialog::reject() {
    FreePreview();
    QDialog::reject();
}
