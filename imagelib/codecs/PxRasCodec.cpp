// Sun raster reader and writer. Colour-mapped pictures come out as three components through
// their map; 1- and 8-bit ones without a map are grey, a set bit black.
#include "imagelib/codecs/PxRasCodec.h"

#include <algorithm>
#include <vector>

namespace {

const char* const kEnd = "RAS: unexpected end of file";

constexpr DWORD kMagic = 0x59A66A95;
constexpr DWORD kTypeEncoded = 2, kTypeRgb = 3;

DWORD Get32(const BYTE* p) { return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | p[3]; }
void Put32(BYTE* p, DWORD v) {
    p[0] = static_cast<BYTE>(v >> 24);
    p[1] = static_cast<BYTE>(v >> 16);
    p[2] = static_cast<BYTE>(v >> 8);
    p[3] = static_cast<BYTE>(v);
}

// Rows of the file, plain or through the run escape: 0x80 0 is a literal 0x80, 0x80 n v is
// n + 1 bytes of v. A run may go on into the next row.
class RowSource {
public:
    RowSource(PxFile* f, bool encoded) : m_file(f), m_encoded(encoded) {}

    void Next(std::vector<BYTE>& row) {
        if (!m_encoded) {
            if (m_file->Read(row.data(), 1, row.size()) != row.size()) throw kEnd;
            return;
        }
        for (BYTE& b : row) {
            if (m_run == 0) {
                const LONG c = Get();
                if (c != 0x80) {
                    b = static_cast<BYTE>(c);
                    continue;
                }
                const LONG n = Get();
                if (n == 0) {
                    b = 0x80;
                    continue;
                }
                m_value = static_cast<BYTE>(Get());
                m_run = n + 1;
            }
            b = m_value;
            --m_run;
        }
    }

private:
    LONG Get() {
        if (m_pos == m_len) {
            m_len = m_file->Read(m_buffer, 1, sizeof m_buffer);
            m_pos = 0;
            if (m_len == 0) throw kEnd;
        }
        return m_buffer[m_pos++];
    }

    PxFile* m_file;
    bool m_encoded;
    BYTE m_buffer[4096];
    size_t m_pos = 0, m_len = 0;
    LONG m_run = 0;
    BYTE m_value = 0;
};

}  // namespace

PxRasCodec::Layout PxRasCodec::ReadLayout(PxFile* f) {
    BYTE h[32];
    if (f->Read(h, 1, sizeof h) != sizeof h) throw kEnd;
    if (Get32(h) != kMagic) throw "RAS: not a Sun raster file";
    Layout l;
    l.width = Get32(h + 4), l.height = Get32(h + 8), l.depth = Get32(h + 12);
    const DWORD type = Get32(h + 20), mapType = Get32(h + 24), mapLength = Get32(h + 28);
    if (l.width == 0 || l.height == 0 || l.width > INT32_MAX || l.height > INT32_MAX) throw "RAS: bad header";
    if (l.depth != 1 && l.depth != 8 && l.depth != 24 && l.depth != 32) throw "RAS: unsupported depth";
    if (type > kTypeRgb) throw "RAS: unsupported type";
    if (mapType > 1) throw "RAS: unsupported colour map";
    const int64_t left = int64_t{f->Size()} - f->Tell();
    if (left < 0 || mapLength > static_cast<uint64_t>(left)) throw kEnd;

    // An RGB map: all reds, then all greens, then all blues.
    if (mapLength) {
        l.map.resize(mapLength);
        if (f->Read(l.map.data(), 1, l.map.size()) != l.map.size()) throw kEnd;
        if (mapType == 1) l.entries = mapLength / 3;
    }
    l.mapped = mapType == 1 && l.depth <= 8;
    if (l.mapped && l.entries == 0) throw "RAS: bad colour map";

    l.comps = l.depth > 8 || l.mapped ? 3 : 1;
    const uint64_t samples = uint64_t{l.width} * l.height * l.comps;
    l.rowBytes = ((uint64_t{l.width} * l.depth + 15) / 16) * 2;
    // A run of three bytes gives at most 256, a literal byte one.
    l.encoded = type == kTypeEncoded;
    l.rgbOrder = type == kTypeRgb;
    const uint64_t total = l.rowBytes * l.height;
    const uint64_t need = l.encoded ? total / 256 * 3 + std::min<uint64_t>(total % 256, 3) : total;
    if (need > static_cast<uint64_t>(left) - mapLength) throw kEnd;
    if (samples > PXIMAGE_MAX_MEMORY) throw "PXIMAGE_MAX_MEMORY exceeded";
    return l;
}

void PxRasCodec::Read(PxFile* f, PxJasperPicture& picture) {
    const Layout l = ReadLayout(f);
    const DWORD width = l.width, height = l.height, depth = l.depth;
    std::vector<int32_t*> planes;
    for (int c = 0; c < l.comps; ++c) planes.push_back(picture.Add(width, height, depth == 1 && !l.mapped ? 1 : 8).own.data());
    RowSource source(f, l.encoded);
    std::vector<BYTE> row(static_cast<size_t>(l.rowBytes));
    for (DWORD y = 0; y < height; ++y) {
        source.Next(row);
        const size_t base = static_cast<size_t>(y) * width;
        for (DWORD x = 0; x < width; ++x) {
            if (depth <= 8) {
                const DWORD v = depth == 1 ? (row[x >> 3] >> (7 - (x & 7))) & 1 : row[x];
                if (l.mapped) {
                    const DWORD i = v < l.entries ? v : 0;
                    for (int c = 0; c < 3; ++c) planes[c][base + x] = l.map[c * l.entries + i];
                } else {
                    planes[0][base + x] = depth == 1 ? static_cast<int32_t>(1 - v) : static_cast<int32_t>(v);
                }
            } else {
                // 32-bit pixels carry a pad (or alpha) byte first.
                const BYTE* p = &row[static_cast<size_t>(x) * (depth / 8) + (depth == 32 ? 1 : 0)];
                planes[0][base + x] = l.rgbOrder ? p[0] : p[2];
                planes[1][base + x] = p[1];
                planes[2][base + x] = l.rgbOrder ? p[2] : p[0];
            }
        }
    }
}

void PxRasCodec::ReadRows8(PxFile* f, const Layout& l, PxImage& image) {
    RowSource source(f, l.encoded);
    std::vector<BYTE> row(static_cast<size_t>(l.rowBytes));
    const DWORD width = l.width;
    for (DWORD y = 0; y < l.height; ++y) {
        source.Next(row);
        BYTE* dst = image.GetBits(l.height - 1 - y);
        if (l.comps == 1) {
            std::copy(row.begin(), row.begin() + width, dst);
        } else if (l.mapped) {
            const BYTE *reds = l.map.data(), *greens = reds + l.entries, *blues = greens + l.entries;
            for (DWORD x = 0; x < width; ++x, dst += 3) {
                const DWORD i = row[x] < l.entries ? row[x] : 0;
                dst[0] = blues[i], dst[1] = greens[i], dst[2] = reds[i];
            }
        } else {
            const size_t step = l.depth / 8;
            const BYTE* p = row.data() + (l.depth == 32 ? 1 : 0);
            for (DWORD x = 0; x < width; ++x, p += step, dst += 3) {
                dst[0] = l.rgbOrder ? p[2] : p[0];
                dst[1] = p[1];
                dst[2] = l.rgbOrder ? p[0] : p[2];
            }
        }
    }
}

void PxRasCodec::Write(PxFile* f, PxImage& image) {
    const DWORD width = image.GetWidth(), height = image.GetHeight();
    const bool grey = image.GetBpp() == 8;
    const size_t rowBytes = ((static_cast<size_t>(width) * (grey ? 8 : 24) + 15) / 16) * 2;
    BYTE h[32] = {};
    Put32(h, kMagic);
    Put32(h + 4, width);
    Put32(h + 8, height);
    Put32(h + 12, grey ? 8 : 24);
    Put32(h + 16, static_cast<DWORD>(rowBytes * height));
    Put32(h + 20, 1);
    if (f->Write(h, 1, sizeof h) != sizeof h) throw "RAS: writing failed";
    std::vector<BYTE> row(rowBytes, 0);
    for (DWORD y = height; y-- > 0;) {
        const BYTE* src = image.GetBits(y);
        std::copy(src, src + static_cast<size_t>(width) * (grey ? 1 : 3), row.begin());
        if (f->Write(row.data(), 1, rowBytes) != rowBytes) throw "RAS: writing failed";
    }
}
