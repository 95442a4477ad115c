#include "app/pelidordoc.h"
#include "app/pelidorview.h"

#include <QImage>
#include <QPainter>

#include <cstring>

#include "outside/vekmeasure/qomeasure.h"
#include "platform/surface.h"

// Burns the measurement units into a copy of the image. The result keeps the source's
// information block (resolution, quality, codec options, transparency), its alpha plane and,
// for indexed images, its depth and palette.
PxImage* CPelidorDoc::RenderMeasureOverlay() {
    const int w = static_cast<int>(m_pImage->GetWidth()), h = static_cast<int>(m_pImage->GetHeight());
    QImage canvas(w, h, QImage::Format_RGB32);
    canvas.fill(Qt::white);  // a defined background under transparent pixels
    PxSurface s = PxSurfaceOver(canvas.bits(), w, h, static_cast<int32_t>(canvas.bytesPerLine()));
    m_pImage->Draw(&s, 0, 0, w, h);
    const QImage plain = canvas.copy();
    {
        QPainter p(&canvas);
        p.setRenderHint(QPainter::Antialiasing);
        m_pMeasure->SetScale(1.0);
        // The labels are burnt at the size the user sees them in the first view.
        const CPelidorView* view = GetFirstPelidorView();
        const float zoom = view ? view->m_fZoom : 1.0f;
        m_pMeasure->SetInfoFrmZoom(1, zoom < 1.0f ? 0.9 / zoom : 1.0);
        m_pMeasure->DrawAllUnit(&p, QPoint(0, 0));
        m_pMeasure->SetInfoFrmZoom(0, 1.0);
    }
    PxImage burnt;
    if (!burnt.CreateFromHBITMAP(&s)) return nullptr;
    auto* out = new PxImage(*m_pImage, false, false, true);  // information block, palette and alpha
    if (m_pImage->IsIndexed()) {
        // Overlay pixels take the nearest palette colour; where that is the colour already
        // there (a red line on a black-and-white image), the most distant one keeps it visible.
        const DWORD n = out->GetNumColors();
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                const BYTE old = m_pImage->GetPixelIndex(x, y);
                if (canvas.pixel(x, h - 1 - y) == plain.pixel(x, h - 1 - y)) {
                    out->SetPixelIndex(x, y, old);
                    continue;
                }
                BYTE idx = out->GetNearestIndex(burnt.GetPixelColor(x, y, false));
                if (idx == old) {
                    const RGBQUAD o = out->GetPaletteColor(old);
                    int64_t best = -1;
                    for (DWORD i = 0; i < n; i++) {
                        const RGBQUAD c = out->GetPaletteColor(static_cast<BYTE>(i));
                        const int64_t d = (c.rgbRed - o.rgbRed) * (c.rgbRed - o.rgbRed) +
                                       (c.rgbGreen - o.rgbGreen) * (c.rgbGreen - o.rgbGreen) +
                                       (c.rgbBlue - o.rgbBlue) * (c.rgbBlue - o.rgbBlue);
                        if (d > best) {
                            best = d;
                            idx = static_cast<BYTE>(i);
                        }
                    }
                }
                out->SetPixelIndex(x, y, idx);
            }
    } else {
        // Pixels the overlay left alone keep their exact values (a transparent colour included).
        for (int y = 0; y < h; y++) {
            memcpy(out->GetBits(y), m_pImage->GetBits(y), out->GetEffWidth());
            for (int x = 0; x < w; x++)
                if (canvas.pixel(x, h - 1 - y) != plain.pixel(x, h - 1 - y))
                    memcpy(out->GetBits(y) + x * 3, burnt.GetBits(y) + x * 3, 3);
        }
    }
    return out;
}
