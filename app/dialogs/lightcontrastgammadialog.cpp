#include "app/dialogs/lightcontrastgammadialog.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>

#include "app/dialogs/adjustwidgets.h"
#include "controls/bitmapslider.h"
#include "ui/messages.h"

namespace {

QLineEdit* ReadOnlyEdit(QWidget* parent, int id, const QString& text) {
    auto* e = Named(new QLineEdit(text, parent), id);
    e->setReadOnly(true);
    e->setMaximumWidth(50);
    return e;
}

}  // namespace

CLightContrastGammaDialog::CLightContrastGammaDialog(PxImage& source, QWidget* parent) : QDialog(parent) {
    setWindowTitle("Light/Contrast/Gamma");
    auto* top = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    top->addLayout(grid);
    m_light = MakeImageSlider(this, kLightId, -100, 100, 0, true);
    m_contrast = MakeImageSlider(this, kContrastId, -100, 100, 0, true);
    m_gamma = MakeImageSlider(this, kGammaId, 0, 1000, kGammaStart, false);
    m_lightEdit = ReadOnlyEdit(this, kLightEditId, "0");
    m_contrastEdit = ReadOnlyEdit(this, kContrastEditId, "0");
    m_gammaEdit = ReadOnlyEdit(this, kGammaEditId, "1.23");
    const struct {
        const char* label;
        CBitmapSlider* slider;
        QLineEdit* edit;
    } rows[] = {{"Lighten:", m_light, m_lightEdit}, {"Contrast:", m_contrast, m_contrastEdit}, {"Gamma:", m_gamma, m_gammaEdit}};
    int r = 0;
    for (const auto& row : rows) {
        grid->addWidget(new QLabel(row.label, this), r, 0);
        row.slider->setMinimumWidth(240);
        grid->addWidget(row.slider, r, 1);
        grid->addWidget(row.edit, r, 2);
        r++;
    }
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

    // Opening shows the thumbnail unchanged on both sides, whatever the gamma slider says.
    if (m_preview.Open(source)) ShowImage(m_before, m_preview.Thumbnail());
    ShowImage(m_after, m_preview.After());
    RegisterWindow(this);
}

CLightContrastGammaDialog::~CLightContrastGammaDialog() { UnregisterWindow(); }

int CLightContrastGammaDialog::Lighten() const { return m_light->GetPos(); }
int CLightContrastGammaDialog::Contrast() const { return m_contrast->GetPos(); }
int CLightContrastGammaDialog::GammaPosition() const { return m_gamma->GetPos(); }

void CLightContrastGammaDialog::UpdatePreview() {
    const LONG light = Lighten(), contrast = Contrast();
    const float gamma = static_cast<float>(GammaPosition()) * 0.01f;
    m_preview.Recompute([=](PxImage& img) {
        img.Light(light, contrast);
        img.Gamma(gamma);
    });
    ShowImage(m_after, m_preview.After());
}

LRESULT CLightContrastGammaDialog::WindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message != WM_SLIDER_CHANGING && message != WM_SLIDER_CHANGED) return 0;
    // The edits follow the sliders as they stand now (a queued notification may be older).
    switch (static_cast<int>(wParam)) {
    case kLightId: m_lightEdit->setText(QString::asprintf("%d", Lighten())); break;
    case kContrastId: m_contrastEdit->setText(QString::asprintf("%d", Contrast())); break;
    case kGammaId: m_gammaEdit->setText(QString::asprintf("%2.2f", GammaPosition() * 0.01)); break;
    default: return 0;
    }
    UpdatePreview();
    return 0;
}

void CLightContrastGammaDialog::accept() {
    m_preview.DropAfter();
    ShowImage(m_after, nullptr);
    QDialog::accept();
}

void CLightContrastGammaDialog::reject() {
    m_preview.DropAfter();
    ShowImage(m_after, nullptr);
    QDialog::reject();
}
