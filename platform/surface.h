// The drawing target of the image library: a 32-bit BGRA pixel surface, top row first, that
// stands where Windows code drew into a device context. The Qt side wraps one around a QImage
// (Format_ARGB32 / Format_RGB32 have this byte order on little-endian machines) without copying,
// so screen painting, printing and off-screen buffers share one path. No Qt here.
#pragma once

#include <cstdint>

#include "wintypes.h"

struct PxSurface {
    uint8_t* pixels = nullptr;  // top row first, 4 bytes per pixel: blue, green, red, alpha
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;  // bytes from one row to the next
    // Drawing is cut to this rectangle, in device pixels (right and bottom exclusive). It is
    // always kept inside the surface by PxSurfaceClipBox.
    RECT clip = {0, 0, 0, 0};
    // The logical point that lands on device pixel (0, 0), as a window origin does: logical
    // (x, y) is device (x - origin.x, y - origin.y).
    POINT origin = {0, 0};
    // Printing targets take stretched drawing without off-screen compositing.
    bool printing = false;
};

// Raster operations of the stretching calls, with the platform's values.
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCPAINT = 0x00EE0086;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCINVERT = 0x00660046;
constexpr DWORD DSTINVERT = 0x00550009;

// Makes a surface over caller-owned BGRA memory with the whole area as clip rectangle.
inline PxSurface PxSurfaceOver(uint8_t* pixels, int32_t width, int32_t height, int32_t stride) {
    PxSurface s;
    s.pixels = pixels;
    s.width = width > 0 ? width : 0;
    s.height = height > 0 ? height : 0;
    s.stride = stride;
    s.clip = RECT{0, 0, s.width, s.height};
    return s;
}

// The clip rectangle cut to the surface, in device pixels (what GetClipBox gives, before the
// origin is applied). Empty when nothing can be drawn.
inline RECT PxSurfaceClipBox(const PxSurface& s) {
    RECT all{0, 0, s.width, s.height};
    RECT r;
    if (s.pixels == nullptr || !IntersectRect(&r, s.clip, all)) return RECT{0, 0, 0, 0};
    return r;
}

// Address of device pixel (x, y); the caller keeps x, y inside the surface.
inline uint8_t* PxSurfacePixel(const PxSurface& s, int32_t x, int32_t y) {
    return s.pixels + static_cast<int64_t>(y) * s.stride + static_cast<int64_t>(x) * 4;
}
