#include "app/adjustcommands.h"

#include <QApplication>
#include <QDialog>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/cmdids.h"
#include "app/dialogs/colorizedialog.h"
#include "app/dialogs/combinedialog.h"
#include "app/dialogs/fftdialog.h"
#include "app/dialogs/lightcontrastgammadialog.h"
#include "app/dialogs/mixdialog.h"
#include "app/dialogs/opacitydialog.h"
#include "app/dialogs/repairdialog.h"
#include "app/dialogs/thresholddialog.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "app/pelidordoc.h"
#include "ui/promptservice.h"
#include "ui/messages.h"

namespace {

QWidget* DialogParent() { return AfxGetMainFrame(); }

bool Accepted(QDialog& dialog) { return CPromptService::Instance().DoModal(&dialog) == QDialog::Accepted; }

// A document made without a file, holding `image` (taken) under `title`.
CPelidorDoc* NewDocument(CPelidorDoc& from, PxImage* image, const QString& title) {
    std::unique_ptr<PxImage> owned(image);
    if (!owned || !owned->IsValid() || !from.GetDocTemplate()) return nullptr;
    auto* doc = dynamic_cast<CPelidorDoc*>(from.GetDocTemplate()->OpenDocumentFile(QString()));
    if (!doc) return nullptr;
    doc->SetImage(owned.release());
    doc->SetTitle(title);
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
    return doc;
}

// After a synchronous change of the document's own image.
void ImageChanged(CPelidorDoc& doc) {
    doc.SetModifiedFlag();
    doc.UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc.RefreshStatusPanes();
}

// What another document shows, copied; null when it has no image to read.
std::unique_ptr<PxImage> CopyOfDisplay(CPelidorDoc* doc) {
    if (!doc) return nullptr;
    PxImage* shown = doc->GetDisplayImage();
    if (!shown || !shown->IsValid()) return nullptr;
    auto copy = std::make_unique<PxImage>(*shown, true, true, true);
    if (!copy->IsValid()) return nullptr;
    return copy;
}

// One channel of a combine source: 0 the gray-scaled image, 1 to 3 its red, green or blue plane.
std::unique_ptr<PxImage> Plane(CPelidorDoc* doc, int channel) {
    std::unique_ptr<PxImage> image = CopyOfDisplay(doc);
    if (!image) return nullptr;
    if (channel <= 0 || channel > 3) {
        if (!image->GrayScale()) return nullptr;
        return image;
    }
    auto plane = std::make_unique<PxImage>();
    PxImage* outs[3] = {nullptr, nullptr, nullptr};
    outs[channel - 1] = plane.get();
    if (!image->SplitRGB(outs[0], outs[1], outs[2]) || !plane->IsValid()) return nullptr;
    return plane;
}

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
};

// ---- threaded commands ----

void OnThreshold(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    PxImage copy(*doc.GetImage(), true, true, true);
    const float mean = copy.Mean();
    const BYTE level = static_cast<BYTE>(std::clamp(std::trunc(mean), 0.0f, 255.0f));
    CThresholdDialog dlg(copy, level, DialogParent());
    if (!Accepted(dlg)) return;
    ImageCommandParams p;
    p.P0 = dlg.Level();
    doc.StartImageCommand(ID_IMAGE_THRESHOLD, p);
}

void OnColorize(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CColorizeDialog dlg(CColorizeDialog::Values(), DialogParent());
    if (!Accepted(dlg)) return;
    const CColorizeDialog::Values& v = dlg.GetValues();
    ImageCommandParams p;
    p.P0 = v.mode;
    if (v.mode == 1) {
        p.P1 = v.hue;
        p.P2 = v.sat;
        p.P3 = v.blend;
    } else {
        p.P1 = v.red;
        p.P2 = v.green;
        p.P3 = v.blue;
    }
    doc.StartImageCommand(ID_IMAGE_COLORIZE, p);
}

void OnLightContrastGamma(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    PxImage copy(*doc.GetImage(), true, true, true);
    CLightContrastGammaDialog dlg(copy, DialogParent());
    if (!Accepted(dlg)) return;
    ImageCommandParams p;
    p.P0 = dlg.Lighten();
    p.P1 = dlg.Contrast();
    // Gamma travels as value x 1000; the slider counts hundredths, so in integers 10 per step.
    p.P2 = 10 * dlg.GammaPosition();
    doc.StartImageCommand(ID_IMAGE_LIGHTCONTRASTGAMMA, p);
}

// ---- synchronous commands ----

void OnOpacity(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    COpacityDialog dlg(doc.GetImage()->AlphaGetMax(), DialogParent());
    if (!Accepted(dlg) || !doc.CommandEnableImageIdle()) return;
    doc.PushUndoSnapshot();
    PxImage* img = doc.GetImage();
    if (!img->AlphaIsValid()) img->AlphaCreate();
    img->AlphaSetMax(dlg.Level());
    ImageChanged(doc);
}

void OnCombine(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CCombineDialog dlg(DialogParent());
    if (!Accepted(dlg)) return;
    doc.CommandTimer(true);
    std::unique_ptr<PxImage> planes[4];
    for (int i = 0; i < 4; i++)
        if (dlg.Source(i)) planes[i] = Plane(dlg.Source(i), dlg.Channel(i));
    std::unique_ptr<PxImage> result;
    // Every colour channel needs its source; a missing one makes no document.
    if (planes[0] && planes[1] && planes[2]) {
        result = std::make_unique<PxImage>();
        if (!result->Combine(planes[0].get(), planes[1].get(), planes[2].get(), planes[3].get(), dlg.ColorSpace()))
            result.reset();
    }
    doc.CommandTimer(false);
    if (!result) return;
    CPelidorApp* app = AfxGetPelidorApp();
    NewDocument(doc, result.release(), QString("NewImage%1").arg(app->m_nNewImage++));
}

void OnFft(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CFftDialog dlg(DialogParent());
    if (!Accepted(dlg)) return;
    doc.CommandTimer(true);
    std::unique_ptr<PxImage> real = CopyOfDisplay(dlg.Real());
    std::unique_ptr<PxImage> imag = CopyOfDisplay(dlg.Imaginary());
    bool ok = real || imag;
    if (ok) {
        // A missing part is a black gray image of the other's size.
        PxImage* other = real ? real.get() : imag.get();
        auto blank = [other] {
            auto img = std::make_unique<PxImage>(other->GetWidth(), other->GetHeight(), 8);
            img->SetGrayPalette();
            img->Clear(0);
            return img;
        };
        if (!real) real = blank();
        if (!imag) imag = blank();
        ok = real->FFT2(real.get(), imag.get(), nullptr, nullptr, dlg.Direction(), dlg.Force(), dlg.Magnitude()) &&
             real->IsValid() && imag->IsValid();
    }
    doc.CommandTimer(false);
    if (!ok) return;
    CPelidorApp* app = AfxGetPelidorApp();
    const int n = ++app->m_nNewImage;
    const bool mag = dlg.Magnitude();
    NewDocument(doc, real.release(), QString(mag ? "FFT Magnitude %1" : "FFT Real %1").arg(n));
    NewDocument(doc, imag.release(), QString(mag ? "FFT Phase %1" : "FFT Imag %1").arg(n));
}

void OnRepair(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CRepairDialog dlg(0.25f, 2, DialogParent());
    if (!Accepted(dlg) || !doc.CommandEnableImageIdle()) return;
    doc.PushUndoSnapshot();
    {
        CWaitCursor wait;
        doc.CommandTimer(true);
        doc.GetImage()->Repair(dlg.Radius(), dlg.Iterations(), dlg.ColorSpace());
        doc.CommandTimer(false);
    }
    ImageChanged(doc);
}

void OnMix(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CMixDialog dlg(DialogParent());
    if (!Accepted(dlg)) return;
    doc.CommandTimer(true);
    std::unique_ptr<PxImage> result = CopyOfDisplay(dlg.Destination());
    std::unique_ptr<PxImage> src = CopyOfDisplay(dlg.Source());
    if (result && src) result->Mix(*src, dlg.Op(), dlg.XOffset(), dlg.YOffset(), dlg.MixAlpha());
    doc.CommandTimer(false);
    // Both documents are needed: with either missing nothing is made.
    if (!result || !src || !result->IsValid()) return;
    CPelidorApp* app = AfxGetPelidorApp();
    NewDocument(doc, result.release(), QString("Mix %1").arg(++app->m_nNewImage));
}

}  // namespace

void RegisterAdjustCommands() {
    CPelidorDoc::RegisterImageOperation(static_cast<int>(ID_IMAGE_THRESHOLD), [](PxImage& img, const ImageCommandParams& p) {
        return img.Threshold(static_cast<BYTE>(p.P0));
    });
    CPelidorDoc::RegisterImageOperation(static_cast<int>(ID_IMAGE_COLORIZE), [](PxImage& img, const ImageCommandParams& p) {
        if (p.P0 == 1) return img.Colorize(static_cast<BYTE>(p.P1), static_cast<BYTE>(p.P2), static_cast<BYTE>(p.P3) * 0.01f);
        return img.ShiftRGB(p.P1, p.P2, p.P3);
    });
    CPelidorDoc::RegisterImageOperation(static_cast<int>(ID_IMAGE_LIGHTCONTRASTGAMMA),
                                        [](PxImage& img, const ImageCommandParams& p) {
                                            return img.Light(p.P0, p.P1) && img.Gamma(static_cast<float>(p.P2) * 0.001f);
                                        });
    auto idle = [](CPelidorDoc& doc, CCmdUI* ui) { ui->Enable(doc.CommandEnableImageIdle()); };
    const struct {
        UINT id;
        void (*handler)(CPelidorDoc&);
    } commands[] = {{ID_IMAGE_THRESHOLD, OnThreshold},
                    {ID_IMAGE_COLORIZE, OnColorize},
                    {ID_IMAGE_LIGHTCONTRASTGAMMA, OnLightContrastGamma},
                    {ID_IMAGE_ALPHA_OPACITY, OnOpacity},
                    {ID_IMAGE_COMBINE, OnCombine},
                    {ID_IMAGE_FFT, OnFft},
                    {ID_IMAGE_REPAIR, OnRepair},
                    {ID_IMAGE_MIX, OnMix}};
    for (const auto& c : commands) CPelidorDoc::RegisterDocumentCommand(c.id, c.handler, idle);
}
