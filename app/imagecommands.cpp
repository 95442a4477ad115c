#include "app/imagecommands.h"

#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "app/cmdids.h"
#include "ui/commandrouter.h"
#include "app/dialogs/decreasebppdialog.h"
#include "app/dialogs/decreasebpplogic.h"
#include "app/dialogs/ditherdialog.h"
#include "app/dialogs/increasebppdialog.h"
#include "app/dialogs/resampledialog.h"
#include "app/dialogs/resamplelogic.h"
#include "app/dialogs/rotatedialog.h"
#include "app/dialogs/rotatelogic.h"
#include "app/dialogs/skewdialog.h"
#include "app/mainframe.h"
#include "app/pelidorapp.h"
#include "ui/promptservice.h"
#include "ui/messages.h"
#include "imagelib/ops/quantize/colorquantizer.h"

int32_t SlopeToParam(double slope) {
    const float f = static_cast<float>(slope);
    int32_t p;
    std::memcpy(&p, &f, sizeof p);
    return p;
}

float SlopeFromParam(int32_t param) {
    float f;
    std::memcpy(&f, &param, sizeof f);
    return std::isfinite(f) ? f : 0.0f;
}

bool FilterKernelOf(unsigned id, FilterKernel* out) {
    static const struct {
        unsigned id;
        FilterKernel k;
    } kTable[] = {
        {ID_IMAGE_FILTERS_EMBOSS, {3, {0, 0, -1, 0, 0, 0, 1, 0, 0}, 0, 127}},
        {ID_IMAGE_FILTERS_BLUR, {3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, 9, 0}},
        {ID_IMAGE_FILTERS_SOFTEN, {3, {1, 1, 1, 1, 8, 1, 1, 1, 1}, 16, 0}},
        {ID_IMAGE_FILTERS_SHARPEN, {3, {-1, -1, -1, -1, 15, -1, -1, -1, -1}, 7, 0}},
        {ID_IMAGE_FILTERS_EDGE, {3, {-1, -1, -1, -1, 8, -1, -1, -1, -1}, -1, 255}},
        {ID_IMAGE_FILTERS_GAUSSIAN3X3, {3, {1, 2, 1, 2, 4, 2, 1, 2, 1}, 16, 0}},
        {ID_IMAGE_FILTERS_GAUSSIAN5X5,
         {5, {0, 1, 2, 1, 0, 1, 3, 4, 3, 1, 2, 4, 8, 4, 2, 1, 3, 4, 3, 1, 0, 1, 2, 1, 0}, 52, 0}},
    };
    for (const auto& row : kTable)
        if (row.id == id) {
            *out = row.k;
            return true;
        }
    return false;
}

namespace {
using Params = ImageCommandParams;

QWidget* DialogParent() { return AfxGetMainFrame(); }

// After a command that ran on the UI thread: the document shows and saves the change.
void Changed(CPelidorDoc& doc) {
    doc.SetModifiedFlag();
    doc.UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc.RefreshStatusPanes();
    if (CMainFrame* mf = AfxGetMainFrame()) mf->Router()->UpdateAll();
}

void Idle(CPelidorDoc& doc, CCmdUI* ui) { ui->Enable(doc.CommandEnableImageIdle()); }

// ---- worker operations ----

bool Rotate(PxImage& img, const Params& p) {
    const int method = CRotateLogic::InterpolationMethod(p.P1);
    const int overflow = CRotateLogic::OverflowMethod(p.P2);
    if (method < 0 || overflow < 0) return true;  // an unknown index runs no operation
    RGBQUAD background = {0, 0, 0, 0};
    RGBQUAD* replace = nullptr;
    if (p.P2 == 0) {
        background = img.GetPixelColor(0, 0, true);
        replace = &background;
    } else if (p.P2 == 1) {
        replace = &background;
    }
    return img.Rotate2(static_cast<float>(p.P0) * 0.001f, nullptr, static_cast<PxImage::InterpolationMethod>(method),
                static_cast<PxImage::OverflowMethod>(overflow), replace, true, p.P3 != 0);
}

bool Resample(PxImage& img, const Params& p) {
    const LONG w = std::max<LONG>(1, p.P0), h = std::max<LONG>(1, p.P1);
    if (p.P2 == 0) return img.Resample(w, h, 1);
    if (p.P2 == 1) return img.Resample(w, h, 0);
    const int method = CRotateLogic::ResampleInterpolation(p.P2);
    if (method < 0) return true;  // an unknown quality runs no operation
    return img.Resample2(w, h, static_cast<PxImage::InterpolationMethod>(method), PxImage::OM_REPEAT);
}

bool DecreaseBpp(PxImage& img, const Params& p) {
    const int bits = p.P0;
    if (bits != 1 && bits != 4 && bits != 8) return true;  // an unknown depth runs no operation
    const bool diffusion = p.P2 != 0;
    if (p.P1 == 1 && (bits == 4 || bits == 8)) {
        // The table holds what the depth can index: more colours than that are not asked for.
        const int table = CDecreaseBppLogic::TableSize(bits);
        const int colours = std::clamp(p.P3, 2, table);
        std::vector<RGBQUAD> palette(256, RGBQUAD{0, 0, 0, 0});
        ColorQuantizer q(static_cast<unsigned>(colours), bits == 4 || colours <= 16 ? 8u : 7u);
        q.AddImageColors(img.GetDIB());
        q.GetColorTable(palette.data());
        if (!img.DecreaseBpp(static_cast<DWORD>(bits), diffusion, palette.data(), static_cast<DWORD>(colours)))
            return false;
    } else if (!img.DecreaseBpp(static_cast<DWORD>(bits), diffusion, nullptr, 0)) {
        return false;
    }
    if (!img.AlphaPaletteIsValid()) img.AlphaPaletteEnable(false);
    return true;
}

bool Skew(PxImage& img, const Params& p) {
    return img.Skew(SlopeFromParam(p.P0), SlopeFromParam(p.P1), p.P2, p.P3, p.P4 != 0);
}

void RegisterOperations() {
    using Op = CPelidorDoc::ImageOperation;
    const std::pair<UINT, Op> ops[] = {
        {ID_IMAGE_GRAYSCALE, [](PxImage& i, const Params&) { return i.GrayScale(); }},
        {ID_IMAGE_DECREASEBPP, DecreaseBpp},
        {ID_IMAGE_INCREASEBPP, [](PxImage& i, const Params& p) { return i.IncreaseBpp(static_cast<DWORD>(p.P0)); }},
        {ID_IMAGE_DITHER, [](PxImage& i, const Params& p) { return i.Dither(p.P0); }},
        {ID_IMAGE_FILTERS_ERODE, [](PxImage& i, const Params&) { return i.Erode(2); }},
        {ID_IMAGE_FILTERS_DILATE, [](PxImage& i, const Params&) { return i.Dilate(2); }},
        {ID_IMAGE_FILTERS_MEDIAN, [](PxImage& i, const Params&) { return i.Median(3); }},
        {ID_IMAGE_FILTERS_ADDNOISE, [](PxImage& i, const Params&) { return i.Noise(50); }},
        {ID_IMAGE_FILTERS_CONTOUR, [](PxImage& i, const Params&) { return i.Contour(); }},
        {ID_IMAGE_FILTERS_JITTER, [](PxImage& i, const Params&) { return i.Jitter(2); }},
        {ID_IMAGE_FILTERS_NONLINEAR_EDGE, [](PxImage& i, const Params&) { return i.Edge(2); }},
        {ID_IMAGE_FILTERS_PINCH, [](PxImage& i, const Params&) { return i.CircleTransform(1, 0, 100); }},
        {ID_IMAGE_FILTERS_PUNCH, [](PxImage& i, const Params&) { return i.CircleTransform(0, 0, 100); }},
        {ID_IMAGE_FILTERS_SWIRL, [](PxImage& i, const Params&) { return i.CircleTransform(2, 0, 100); }},
        {ID_IMAGE_FILTERS_CYLINDER, [](PxImage& i, const Params&) { return i.CircleTransform(3, 0, 100); }},
        {ID_IMAGE_FILTERS_BATHROOM, [](PxImage& i, const Params&) { return i.CircleTransform(4, 0, 1); }},
        {ID_IMAGE_SKEW, Skew},
    };
    for (const auto& [id, op] : ops) CPelidorDoc::RegisterImageOperation(static_cast<int>(id), op);
    // The geometric ones say how the picture moved, so the measurements move with it.
    CPelidorDoc::RegisterImageOperation(static_cast<int>(ID_IMAGE_ROTATE), Rotate,
                                        [](const Params& p, const QSizeF& before, const QSizeF& after) {
                                            return CPelidorDoc::TurnGeometry(p.P0 * 0.001, before, after);
                                        });
    CPelidorDoc::RegisterImageOperation(static_cast<int>(ID_IMAGE_RESAMPLE), Resample,
                                        [](const Params&, const QSizeF& before, const QSizeF& after) {
                                            return QTransform::fromScale(after.width() / before.width(),
                                                                         after.height() / before.height());
                                        });
    for (UINT id : {ID_IMAGE_FILTERS_EMBOSS, ID_IMAGE_FILTERS_BLUR, ID_IMAGE_FILTERS_SOFTEN, ID_IMAGE_FILTERS_SHARPEN,
                    ID_IMAGE_FILTERS_EDGE, ID_IMAGE_FILTERS_GAUSSIAN3X3, ID_IMAGE_FILTERS_GAUSSIAN5X5}) {
        FilterKernel k{};
        FilterKernelOf(id, &k);
        CPelidorDoc::RegisterImageOperation(static_cast<int>(id), [k](PxImage& i, const Params&) {
            FilterKernel copy = k;
            return i.Filter(copy.kernel, copy.size, copy.divisor, copy.offset);
        });
    }
}

// ---- handlers with a dialog ----

void OnRotate(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CRotateDialog dlg(*doc.GetImage(), DialogParent());
    dlg.m_angle = 0;
    dlg.m_interpolation = 1;
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    p.P0 = static_cast<int32_t>(dlg.m_angle * 1000.0f);
    p.P1 = dlg.m_interpolation;
    p.P2 = dlg.m_overflow;
    p.P3 = dlg.m_keepSize ? 1 : 0;
    doc.StartImageCommand(ID_IMAGE_ROTATE, p);
}

void OnResample(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    const int w = static_cast<int>(doc.GetImage()->GetWidth()), h = static_cast<int>(doc.GetImage()->GetHeight());
    CResampleDialog dlg(w, h, DialogParent());
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    if (dlg.m_mode == 1) {
        p.P0 = CResampleLogic::Scaled(dlg.m_factor, w);
        p.P1 = CResampleLogic::Scaled(dlg.m_factor, h);
    } else {
        p.P0 = dlg.m_width;
        p.P1 = dlg.m_height;
    }
    p.P2 = dlg.m_interpolation;
    doc.StartImageCommand(ID_IMAGE_RESAMPLE, p);
}

void OnSkew(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CSkewDialog dlg(static_cast<int>(doc.GetImage()->GetWidth()), static_cast<int>(doc.GetImage()->GetHeight()),
                    DialogParent());
    dlg.m_interpolation = true;
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    p.P0 = SlopeToParam(dlg.m_slopeX);
    p.P1 = SlopeToParam(dlg.m_slopeY);
    p.P2 = dlg.m_pivotX;
    p.P3 = dlg.m_pivotY;
    p.P4 = dlg.m_interpolation ? 1 : 0;
    doc.StartImageCommand(ID_IMAGE_SKEW, p);
}

void OnDecreaseBpp(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CDecreaseBppDialog dlg(4, 256, DialogParent());
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    p.P0 = dlg.m_bits;
    p.P1 = dlg.m_paletteKind;
    p.P2 = dlg.m_errorDiffusion ? 1 : 0;
    p.P3 = dlg.m_maxColors;
    doc.StartImageCommand(ID_IMAGE_DECREASEBPP, p);
}

void OnIncreaseBpp(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CIncreaseBppDialog dlg(24, DialogParent());
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    p.P0 = dlg.m_bits;
    doc.StartImageCommand(ID_IMAGE_INCREASEBPP, p);
}

void OnDither(CPelidorDoc& doc) {
    if (!doc.CommandEnableImageIdle()) return;
    CDitherDialog dlg(DialogParent());
    if (CPromptService::Instance().DoModal(&dlg) != QDialog::Accepted) return;
    Params p;
    p.P0 = dlg.m_method;
    doc.StartImageCommand(ID_IMAGE_DITHER, p);
}

// ---- synchronous commands ----

// A new document without a file holding `image` (taken over), titled `title`.
void NewDocument(CPelidorDoc& source, PxImage* image, const QString& title) {
    auto* doc = dynamic_cast<CPelidorDoc*>(source.GetDocTemplate()->OpenDocumentFile(QString()));
    if (!doc) {
        delete image;
        return;
    }
    doc->SetImage(image);
    doc->SetTitle(title);
    doc->SetModifiedFlag();
    doc->UpdateAllViews(nullptr, WM_IMAGE_OP_DONE);
    doc->RefreshStatusPanes();
}

using SplitFn = std::function<bool(PxImage& src, PxImage* parts)>;

// Runs a channel split under the stopwatch; each part becomes a document titled from
// `names` with one number for the whole command, counted up first.
void Split(CPelidorDoc& doc, std::vector<const char*> names, const SplitFn& split) {
    if (!doc.CommandEnableImageIdle() || !doc.GetDocTemplate()) return;
    std::vector<PxImage> parts(names.size());
    doc.CommandTimer(true);
    const bool ok = split(*doc.GetImage(), parts.data());
    doc.CommandTimer(false);
    if (ok) {
        const int number = ++AfxGetPelidorApp()->m_nNewImage;
        const QString from = doc.GetTitle();
        for (size_t i = 0; i < names.size(); i++)
            if (parts[i].IsValid())
                NewDocument(doc, new PxImage(parts[i]), QString(names[i]).arg(number).arg(from));
    }
    doc.RefreshStatusPanes();
}

// Runs `change` on the image with an undo step first.
void WithUndo(CPelidorDoc& doc, const std::function<void(PxImage&)>& change) {
    if (!doc.CommandEnableImageIdle()) return;
    doc.PushUndoSnapshot();
    change(*doc.GetImage());
    Changed(doc);
}

void RegisterSplits() {
    struct SplitRow {
        UINT id;
        std::vector<const char*> names;
        SplitFn fn;
    };
    const SplitRow rows[] = {
        {ID_IMAGE_SPLITRGB,
         {"Red Channel %1 from %2", "Green Channel %1 from %2", "Blue Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitRGB(&p[0], &p[1], &p[2]); }},
        {ID_IMAGE_SPLITYUV,
         {"Y Channel %1 from %2", "U Channel %1 from %2", "V Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitYUV(&p[0], &p[1], &p[2]); }},
        {ID_IMAGE_SPLITHSL,
         {"Hue Channel %1 from %2", "Saturation Channel %1 from %2", "Lightness Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitHSL(&p[0], &p[1], &p[2]); }},
        {ID_IMAGE_SPLITCMYK,
         {"C Channel %1 from %2", "M Channel %1 from %2", "Y Channel %1 from %2", "K Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitCMYK(&p[0], &p[1], &p[2], &p[3]); }},
        {ID_IMAGE_SPLITYIQ,
         {"Y Channel %1 from %2", "I Channel %1 from %2", "Q Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitYIQ(&p[0], &p[1], &p[2]); }},
        {ID_IMAGE_SPLITXYZ,
         {"X Channel %1 from %2", "Y Channel %1 from %2", "Z Channel %1 from %2"},
         [](PxImage& s, PxImage* p) { return s.SplitXYZ(&p[0], &p[1], &p[2]); }},
    };
    for (const SplitRow& r : rows) {
        auto names = r.names;
        auto fn = r.fn;
        CPelidorDoc::RegisterDocumentCommand(r.id, [names, fn](CPelidorDoc& d) { Split(d, names, fn); }, Idle);
    }
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_SPLIT,
        [](CPelidorDoc& d) {
            if (!d.GetImage() || !d.GetImage()->AlphaIsValid()) return;
            Split(d, {"Alpha Channel %1 from %2"}, [](PxImage& s, PxImage* p) { return s.AlphaSplit(&p[0]); });
        },
        [](CPelidorDoc& d, CCmdUI* ui) { ui->Enable(d.CommandEnableImageIdle() && d.GetImage()->AlphaIsValid()); });
}

void RegisterSynchronous() {
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_PSEUDOCOLORS,
        [](CPelidorDoc& d) {
            WithUndo(d, [](PxImage& i) {
                if (!i.IsGrayScale()) i.GrayScale();
                i.HuePalette(1);
            });
        },
        Idle);
    auto alphaValid = [](CPelidorDoc& d, CCmdUI* ui) {
        ui->Enable(d.CommandEnableImageIdle() && d.GetImage()->AlphaIsValid());
    };
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_REMOVE,
        [](CPelidorDoc& d) {
            if (!d.GetImage() || !d.GetImage()->AlphaIsValid()) return;
            WithUndo(d, [](PxImage& i) {
                i.AlphaDelete();
                i.AlphaSetMax(255);
            });
        },
        alphaValid);
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_INVERT,
        [](CPelidorDoc& d) {
            if (!d.GetImage() || !d.GetImage()->AlphaIsValid()) return;
            WithUndo(d, [](PxImage& i) { i.AlphaInvert(); });
        },
        alphaValid);
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_PALETTETOGGLE,
        [](CPelidorDoc& d) {
            if (!d.GetImage() || !d.GetImage()->AlphaPaletteIsValid()) return;
            WithUndo(d, [](PxImage& i) { i.AlphaPaletteEnable(!i.AlphaPaletteIsEnabled()); });
        },
        [](CPelidorDoc& d, CCmdUI* ui) {
            ui->Enable(d.CommandEnableImageIdle() && d.GetImage()->AlphaPaletteIsValid());
        });
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_STRIP,
        [](CPelidorDoc& d) {
            if (!d.GetImage() || !(d.GetImage()->AlphaIsValid() || d.GetImage()->AlphaPaletteIsValid())) return;
            WithUndo(d, [](PxImage& i) {
                i.SetTransColor(RGBQUAD{255, 255, 255, 0});
                i.AlphaStrip();
            });
        },
        [](CPelidorDoc& d, CCmdUI* ui) {
            ui->Enable(d.CommandEnableImageIdle() &&
                       (d.GetImage()->AlphaIsValid() || d.GetImage()->AlphaPaletteIsValid()));
        });
    CPelidorDoc::RegisterDocumentCommand(
        ID_IMAGE_ALPHA_CREATEFROMLIGHTNESS,
        [](CPelidorDoc& d) {
            if (!d.CommandEnableImageIdle()) return;
            PxImage* img = d.GetImage();
            PxImage lightness(*img, true, false, false);
            if (lightness.GetBpp() < 8) lightness.IncreaseBpp(8);
            lightness.Negative();
            lightness.GrayScale();
            img->AlphaSet(lightness);
            Changed(d);
        },
        Idle);
}

void RegisterHandlers() {
    const std::pair<UINT, CPelidorDoc::DocCommand> withDialog[] = {
        {ID_IMAGE_ROTATE, OnRotate},           {ID_IMAGE_RESAMPLE, OnResample},
        {ID_IMAGE_SKEW, OnSkew},               {ID_IMAGE_DECREASEBPP, OnDecreaseBpp},
        {ID_IMAGE_INCREASEBPP, OnIncreaseBpp}, {ID_IMAGE_DITHER, OnDither},
    };
    for (const auto& [id, handler] : withDialog) CPelidorDoc::RegisterDocumentCommand(id, handler, Idle);
    for (UINT id :
         {ID_IMAGE_GRAYSCALE, ID_IMAGE_FILTERS_EMBOSS, ID_IMAGE_FILTERS_BLUR, ID_IMAGE_FILTERS_SOFTEN,
          ID_IMAGE_FILTERS_SHARPEN, ID_IMAGE_FILTERS_EDGE, ID_IMAGE_FILTERS_GAUSSIAN3X3, ID_IMAGE_FILTERS_GAUSSIAN5X5,
          ID_IMAGE_FILTERS_ERODE, ID_IMAGE_FILTERS_DILATE, ID_IMAGE_FILTERS_MEDIAN, ID_IMAGE_FILTERS_ADDNOISE,
          ID_IMAGE_FILTERS_CONTOUR, ID_IMAGE_FILTERS_JITTER, ID_IMAGE_FILTERS_NONLINEAR_EDGE, ID_IMAGE_FILTERS_PINCH,
          ID_IMAGE_FILTERS_PUNCH, ID_IMAGE_FILTERS_SWIRL, ID_IMAGE_FILTERS_CYLINDER, ID_IMAGE_FILTERS_BATHROOM}) {
        CPelidorDoc::RegisterDocumentCommand(
            id, [id](CPelidorDoc& d) { d.StartImageCommand(static_cast<int>(id)); }, Idle);
    }
}
}  // namespace

void RegisterImageCommands() {
    static bool done = false;
    if (done) return;
    done = true;
    RegisterOperations();
    RegisterHandlers();
    RegisterSplits();
    RegisterSynchronous();
}
