// The drawing side of the metafile player: object table, DC state stack, coordinate mapping,
// paths, text and bitmaps, over the rasteriser. The WMF and EMF readers decode records into
// these calls; all coordinates here are logical unless named device.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imagelib/codecs/metafile/pxmetaraster.h"
#include "imagelib/codecs/metafile/pxmetastate.h"

class PxMetaPlayer {
public:
    static constexpr size_t kMaxObjects = 4096;
    static constexpr size_t kMaxSaveDepth = 256;
    static constexpr size_t kMaxPoints = 1u << 18;       // per record and per path
    static constexpr size_t kMaxTextChars = 8192;
    static constexpr int kMaxDibs = 2048;
    static constexpr int64_t kMaxDibPixels = int64_t{1} << 24;
    // Work charged for each record and each glyph loaded, besides the painted pixels.
    static constexpr int64_t kRecordCost = 16;
    static constexpr int64_t kGlyphCost = 64;

    enum Kind { kNone, kPen, kBrush, kFont, kOther };
    struct Object {
        Kind kind = kNone;
        PxMetaPen pen;
        PxMetaBrush brush;
        PxMetaFont font;
    };

    PxMetaPlayer(PxSurface* surface, int64_t budget);
    static std::u32string Ansi(const uint8_t* s, size_t n);
    ~PxMetaPlayer();

    PxMetaState st;
    // Maps the reference device onto the output: out = ref * scale + offset.
    void SetDeviceMap(double sx, double sy, double ox, double oy) { m_dsx = sx, m_dsy = sy, m_dox = ox, m_doy = oy; }
    // Reference-device pixels per millimetre, for the fixed mapping modes.
    void SetReferenceResolution(double pxPerMmX, double pxPerMmY) { m_pxmmX = pxPerMmX, m_pxmmY = pxPerMmY; }
    bool Exhausted() const { return m_raster.Exhausted(); }
    void ChargeRecord() { m_raster.Charge(kRecordCost); }

    PxMetaPoint ToDevice(double x, double y) const;

    // objects
    bool PutObject(size_t index, const Object& o);  // EMF: at the record's index
    int AddObject(const Object& o);                 // WMF: the lowest free slot, -1 when full
    void SelectObject(size_t index);
    void SelectStockObject(DWORD stock);
    void DeleteObject(size_t index);

    // state
    void SaveDC();
    void RestoreDC(int which);  // negative: relative; positive: absolute level
    void SetMapMode(int mode) { st.mapMode = mode; }
    void ModifyWorld(const double x[6], int mode);

    // clipping
    void IntersectClipRect(double l, double t, double r, double b);
    void ExcludeClipRect(double l, double t, double r, double b);
    void ResetClip();
    void SetDeviceClip(const std::vector<RECT>& rects, int mode);

    // drawing
    void MoveTo(double x, double y);
    void LineTo(double x, double y);
    void Polyline(const std::vector<PxMetaPoint>& pts, bool fromCurrent);
    void Polygons(const std::vector<std::vector<PxMetaPoint>>& polys);
    void Polylines(const std::vector<std::vector<PxMetaPoint>>& lines);
    void Bezier(const std::vector<PxMetaPoint>& pts, bool fromCurrent);
    void Rectangle(double l, double t, double r, double b);
    void RoundRect(double l, double t, double r, double b, double w, double h);
    void Ellipse(double l, double t, double r, double b);
    // kind: 0 arc, 1 chord, 2 pie, 3 arc-to (moves the current position)
    void Arc(double l, double t, double r, double b, double xs, double ys, double xe, double ye, int kind);
    void SetPixel(double x, double y, COLORREF c);
    // options: ETO_OPAQUE 2, ETO_CLIPPED 4; rect in logical units; dx per character, logical.
    void Text(double x, double y, const std::u32string& text, UINT options, const double* rect, const std::vector<double>* dx);
    // A packed DIB (info header, colours, bits) into a logical destination rectangle.
    void Dib(const uint8_t* bmi, size_t cbBmi, const uint8_t* bits, size_t cbBits, LONG sx, LONG sy, LONG sw, LONG sh,
             double dx, double dy, double dw, double dh, DWORD rop);
    void PatBlt(double x, double y, double w, double h, DWORD rop);

    // paths
    void BeginPath();
    void EndPath() { m_inPath = false; }
    void AbortPath();
    void CloseFigure();
    void FillPath(bool stroke, bool fill);
    void SelectClipPath(int mode);

private:
    void StrokeDevice(const std::vector<std::vector<PxMetaPoint>>& lines, const std::vector<bool>& closed);
    void FillDevice(const std::vector<std::vector<PxMetaPoint>>& polys);
    // Draws a closed shape given in logical points: filled with the brush, outlined with the pen.
    void Shape(const std::vector<PxMetaPoint>& logical);
    std::vector<PxMetaPoint> Dev(const std::vector<PxMetaPoint>& logical) const;
    double DeviceScale() const;
    PxMetaInk BrushInk() const;
    void EllipsePoints(double l, double t, double r, double b, double a0, double a1, bool full, std::vector<PxMetaPoint>& out) const;
    void AddToPath(const std::vector<PxMetaPoint>& dev, bool closed, bool startNew);
    void* Face(int heightPx);

    PxSurface* m_surf;
    PxMetaRaster m_raster;
    std::vector<Object> m_objects;
    std::vector<PxMetaState> m_saved;
    double m_dsx = 1, m_dsy = 1, m_dox = 0, m_doy = 0;
    double m_pxmmX = 96 / 25.4, m_pxmmY = 96 / 25.4;
    bool m_inPath = false;
    std::vector<std::vector<PxMetaPoint>> m_path;
    std::vector<bool> m_pathClosed;
    size_t m_pathPoints = 0;
    int m_dibs = 0;
    void* m_ft = nullptr;    // FT_Library
    void* m_face = nullptr;  // FT_Face of m_faceKey
    std::string m_faceKey;
    std::string m_fileKey, m_file;
};
