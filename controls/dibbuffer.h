// A small device-independent bitmap: header, palette (1, 4 and 8 bits) and bottom-up pixel rows
// of ((width * bpp + 31) / 32) * 4 bytes. Drawing goes through a QImage over the same pixels.
#pragma once

#include <QPainter>

#include <vector>

#include "platform/wintypes.h"

class CDibBuffer {
public:
    // Frees the old buffer; returns the header of the new one, or nullptr for a size or depth
    // it cannot hold.
    BITMAPINFOHEADER* Create(int width, int height, int bpp);
    void Free();
    bool IsEmpty() const { return m_bits.empty(); }
    int GetWidth() const { return m_header.biWidth; }
    int GetHeight() const { return m_header.biHeight; }
    int GetStride() const { return m_stride; }
    int GetBpp() const { return m_header.biBitCount; }
    BYTE* GetBits() { return m_bits.empty() ? nullptr : m_bits.data(); }
    const BYTE* GetBits() const { return m_bits.empty() ? nullptr : m_bits.data(); }
    int GetPaletteSize() const { return static_cast<int>(m_palette.size()); }
    RGBQUAD GetPaletteEntry(int index) const;

    void SetPaletteIndex(int index, BYTE r, BYTE g, BYTE b);
    // Every entry moves percent (at most 100) of the way to the colour.
    void BlendPalette(COLORREF colour, int percent);
    void Clear(BYTE value);
    // y counts from the top row; outside the image nothing happens.
    void SetPixelIndex(int x, int y, BYTE value);
    // y counts from the top row; 0 outside the image.
    BYTE GetPixelIndex(int x, int y) const;
    void CopyFrom(const CDibBuffer& other);

    // The pixels as an image the right way up.
    QImage ToImage() const;
    void Draw(QPainter& p, int x, int y) const;

private:
    BITMAPINFOHEADER m_header{};
    int m_stride = 0;
    std::vector<RGBQUAD> m_palette;
    std::vector<BYTE> m_bits;
};
