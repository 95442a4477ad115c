// The metafile player's rasteriser: an own scan-line filler and thin-line drawer over a BGRA
// surface, without smoothing, cut to a list of clip rectangles. Every painted pixel and every
// scan-line edge visit is charged to a work budget so that no file can keep it busy for long.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/surface.h"

struct PxMetaPoint {
    double x, y;
};

// What a fill or line paints with: a colour, or a hatch of it over a background.
struct PxMetaInk {
    COLORREF color = 0;
    int hatch = -1;              // -1 solid, else HS_HORIZONTAL .. HS_DIAGCROSS
    bool opaqueBack = false;     // hatch gaps take backColor
    COLORREF backColor = 0xFFFFFF;
    int rop2 = 13;               // R2_COPYPEN
};

class PxMetaRaster {
public:
    static constexpr size_t kMaxClipRects = 256;

    PxMetaRaster(PxSurface* surface, int64_t budget);

    int Width() const { return m_s->width; }
    int Height() const { return m_s->height; }
    bool Exhausted() const { return m_budget <= 0; }
    void Charge(int64_t work) { m_budget -= work; }

    // Clipping, in device pixels (right and bottom exclusive).
    void ResetClip();
    void IntersectClip(const RECT& r);
    void ExcludeClip(const RECT& r);
    const std::vector<RECT>& Clip() const { return m_clip; }
    void SetClip(const std::vector<RECT>& rects) { m_clip = rects; }

    // Fills the polygons (device coordinates; pixel centres decide) by winding or alternate rule.
    void FillPolygons(const std::vector<std::vector<PxMetaPoint>>& polys, bool winding, const PxMetaInk& ink);
    // One-pixel line from a to b; the end pixel is left out unless `last`. `pattern` is a
    // bit mask of 32 on/off steps (all set for a solid line), `phase` carries it across segments.
    void ThinLine(PxMetaPoint a, PxMetaPoint b, const PxMetaInk& ink, uint32_t pattern, int& phase, bool last);
    // One device pixel.
    void Pixel(int64_t x, int64_t y, const PxMetaInk& ink);
    // A run of pixels on row y, [x0, x1).
    void Span(int64_t y, int64_t x0, int64_t x1, const PxMetaInk& ink);

    // Coordinates are clamped to this distance around the surface before they reach the filler.
    double Clamp(double v, bool vertical) const;

private:
    void Put(uint8_t* p, int64_t x, int64_t y, const PxMetaInk& ink);

    PxSurface* m_s;
    int64_t m_budget;
    std::vector<RECT> m_clip;
};
