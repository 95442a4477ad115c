#include "app/dialogs/thresholddialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

#include "app/dialogs/adjustwidgets.h"
#include "app/dialogs/dataexchange.h"
#include "controls/bitmapslider.h"
#include "ui/messages.h"

CThresholdDialog::CThresholdDialog(PxImage& source, BYTE level, QWidget* parent) : QDialog(parent), m_level(level) {
    setWindowTitle("Threshold");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    grid->addWidget(new QLabel("Threshold:", this), 0, 0);
    m_slider = MakeImageSlider(this, kSliderId, 0, 255, level, false);
    m_slider->setMinimumWidth(240);
    grid->addWidget(m_slider, 0, 1);
    m_edit = Named(new QLineEdit("0", this), kLevelEditId);
    m_edit->setReadOnly(true);
    m_edit->setMaximumWidth(50);
    grid->addWidget(m_edit, 0, 2);
    auto* hidden = new QLabel("Level [0 ... 255]", this);
    hidden->hide();

    auto* previews = new QGridLayout;
    top->addLayout(previews);
    previews->addWidget(new QLabel("Before", this), 0, 0);
    previews->addWidget(new QLabel("After", this), 0, 1);
    m_before = MakePreviewStatic(this, kBeforeId);
    m_after = MakePreviewStatic(this, kAfterId);
    previews->addWidget(m_before, 1, 0);
    previews->addWidget(m_after, 1, 1);

    auto* buttons = new QHBoxLayout;
    top->addLayout(buttons);
    AddOkCancel(this, buttons);

    if (m_preview.Open(source)) ShowImage(m_before, m_preview.Thumbnail());
    UpdatePreview();
    RegisterWindow(this);
}

CThresholdDialog::~CThresholdDialog() { UnregisterWindow(); }

void CThresholdDialog::UpdatePreview() {
    const BYTE level = m_level;
    m_preview.Recompute([level](PxImage& img) { img.Threshold(level); });
    ShowImage(m_after, m_preview.After());
    m_edit->setText(QString::number(m_level));
}

LRESULT CThresholdDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if ((message == WM_SLIDER_CHANGING || message == WM_SLIDER_CHANGED) && static_cast<int>(wParam) == kSliderId) {
        m_level = static_cast<BYTE>(std::clamp<LPARAM>(lParam, 0, 255));
        UpdatePreview();
    }
    return 0;
}

void CThresholdDialog::accept() {
    CDataExchange dx(this);
    BYTE level = m_level;
    if (!dx.Byte(m_edit, level)) return;
    m_level = level;
    m_preview.DropAfter();
    ShowImage(m_after, nullptr);
    QDialog::accept();
}

void CThresholdDialog::reject() {
    m_preview.DropAfter();
    ShowImage(m_after, nullptr);
    QDialog::reject();
}
