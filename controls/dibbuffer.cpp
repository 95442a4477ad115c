#include "controls/dibbuffer.h"

#include <algorithm>

BITMAPINFOHEADER* CDibBuffer::Create(int width, int height, int bpp) {
    Free();
    if (width <= 0 || height <= 0) return nullptr;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return nullptr;
    const int64_t stride = ((static_cast<int64_t>(width) * bpp + 31) / 32) * 4;
    const int64_t size = stride * height;
    if (size > INT32_MAX) return nullptr;
    m_header = BITMAPINFOHEADER{};
    m_header.biSize = 40;
    m_header.biWidth = width;
    m_header.biHeight = height;
    m_header.biPlanes = 1;
    m_header.biBitCount = static_cast<WORD>(bpp);
    m_header.biCompression = BI_RGB;
    m_header.biSizeImage = static_cast<DWORD>(size);
    m_stride = static_cast<int>(stride);
    const int entries = bpp == 1 ? 2 : bpp == 4 ? 16 : bpp == 8 ? 256 : 0;
    m_header.biClrUsed = static_cast<DWORD>(entries);
    m_palette.assign(static_cast<size_t>(entries), RGBQUAD{0, 0, 0, 0});
    m_bits.assign(static_cast<size_t>(size), 0);
    return &m_header;
}

void CDibBuffer::Free() {
    m_header = BITMAPINFOHEADER{};
    m_stride = 0;
    m_palette.clear();
    m_bits.clear();
}

RGBQUAD CDibBuffer::GetPaletteEntry(int index) const {
    if (index < 0 || index >= GetPaletteSize()) return RGBQUAD{0, 0, 0, 0};
    return m_palette[static_cast<size_t>(index)];
}

void CDibBuffer::SetPaletteIndex(int index, BYTE r, BYTE g, BYTE b) {
    if (index < 0 || index >= GetPaletteSize()) return;
    m_palette[static_cast<size_t>(index)] = RGBQUAD{b, g, r, 0};
}

void CDibBuffer::BlendPalette(COLORREF colour, int percent) {
    const int p = std::min(percent, 100);
    auto blend = [p](int c, int e) { return static_cast<BYTE>((c * p + e * (100 - p)) / 100); };
    for (RGBQUAD& q : m_palette) {
        q.rgbRed = blend(GetRValue(colour), q.rgbRed);
        q.rgbGreen = blend(GetGValue(colour), q.rgbGreen);
        q.rgbBlue = blend(GetBValue(colour), q.rgbBlue);
    }
}

void CDibBuffer::Clear(BYTE value) { std::fill(m_bits.begin(), m_bits.end(), value); }

void CDibBuffer::SetPixelIndex(int x, int y, BYTE value) {
    if (m_bits.empty() || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return;
    BYTE* row = m_bits.data() + static_cast<size_t>(GetHeight() - 1 - y) * static_cast<size_t>(m_stride);
    switch (GetBpp()) {
    case 8: row[x] = value; break;
    case 4: {
        BYTE& b = row[x / 2];
        b = (x % 2) ? static_cast<BYTE>((b & 0xF0) | (value & 0x0F)) : static_cast<BYTE>((b & 0x0F) | (value << 4));
        break;
    }
    case 1: {
        const BYTE bit = static_cast<BYTE>(0x80 >> (x % 8));
        row[x / 8] = (value & 1) ? static_cast<BYTE>(row[x / 8] | bit) : static_cast<BYTE>(row[x / 8] & ~bit);
        break;
    }
    default: break;  // no palette index to set
    }
}

BYTE CDibBuffer::GetPixelIndex(int x, int y) const {
    if (m_bits.empty() || x < 0 || y < 0 || x >= GetWidth() || y >= GetHeight()) return 0;
    const BYTE* row = m_bits.data() + static_cast<size_t>(GetHeight() - 1 - y) * static_cast<size_t>(m_stride);
    switch (GetBpp()) {
    case 8: return row[x];
    case 4: return (x % 2) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
    default: return 0;
    }
}

void CDibBuffer::CopyFrom(const CDibBuffer& other) {
    m_header = other.m_header;
    m_stride = other.m_stride;
    m_palette = other.m_palette;
    m_bits = other.m_bits;
}

QImage CDibBuffer::ToImage() const {
    if (m_bits.empty()) return QImage();
    const int w = GetWidth(), h = GetHeight();
    QImage image;
    const int bpp = GetBpp();
    if (bpp <= 8) {
        // 1- and 4-bit rows are widened to one index a byte; the stride stays 4-byte aligned.
        image = QImage(w, h, QImage::Format_Indexed8);
        QList<QRgb> table;
        for (const RGBQUAD& q : m_palette) table.append(qRgb(q.rgbRed, q.rgbGreen, q.rgbBlue));
        image.setColorTable(table);
        for (int y = 0; y < h; ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < w; ++x) line[x] = GetPixelIndex(x, y);
        }
        return image;
    }
    const QImage::Format format =
        bpp == 16 ? QImage::Format_RGB555 : bpp == 24 ? QImage::Format_BGR888 : QImage::Format_RGB32;
    image = QImage(w, h, format);
    const int rowBytes = std::min<int>(m_stride, static_cast<int>(image.bytesPerLine()));
    for (int y = 0; y < h; ++y)
        std::copy_n(m_bits.data() + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(m_stride), rowBytes,
                    image.scanLine(y));
    return image;
}

void CDibBuffer::Draw(QPainter& p, int x, int y) const {
    if (m_bits.empty()) return;
    p.drawImage(QPoint(x, y), ToImage());
}
