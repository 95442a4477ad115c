// Netpbm reader and writer. Every count in a header is checked against the bytes the file still
// holds before anything is allocated, and a short file ends with a text, never with a hang.
#include "imagelib/codecs/PxPnmCodec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imagelib/core/pxworkerpool.h"

namespace {

const char* const kEnd = "PNM: unexpected end of file";

// job(first, last) over the rows [0, rows) in bands of bandRows, on the library's workers when
// the rows hold enough bytes to pay for them.
template <class Job>
void InBands(uint32_t rows, size_t rowBytes, uint32_t bandRows, Job&& job) {
    const uint32_t bands = (rows + bandRows - 1) / bandRows;
    auto band = [&](unsigned b) { job(b * bandRows, std::min(rows, (b + 1) * bandRows)); };
    if (size_t{rows} * rowBytes >= (size_t{1} << 18)) pxcore::PxWorkerPool::Instance().Run(bands, band);
    else for (unsigned b = 0; b < bands; ++b) band(b);
}
const char* const kBadHeader = "PNM: bad header";

bool IsSpace(LONG c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The next character after white space and comments; -1 at the end.
LONG NextToken(PxFile* f) {
    for (;;) {
        LONG c = f->GetC();
        if (c == '#') {
            while (c >= 0 && c != '\n' && c != '\r') c = f->GetC();
            if (c < 0) return -1;
            continue;
        }
        if (!IsSpace(c)) return c;
    }
}

// An unsigned decimal number of a header or a plain raster; the character after it is consumed.
uint32_t ReadNumber(PxFile* f, uint32_t limit) {
    LONG c = NextToken(f);
    if (c < 0) throw kEnd;
    if (c < '0' || c > '9') throw kBadHeader;
    uint64_t v = 0;
    while (c >= '0' && c <= '9') {
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) throw kBadHeader;
        c = f->GetC();
    }
    // The character ending a number belongs to it (netpbm's single white space before a raster).
    if (c >= 0 && !IsSpace(c) && c != '#') throw kBadHeader;
    if (c == '#') {
        while (c >= 0 && c != '\n' && c != '\r') c = f->GetC();
    }
    return static_cast<uint32_t>(v);
}

int BitsOf(uint32_t maxval) {
    int bits = 0;
    while (bits < 32 && (uint64_t{1} << bits) - 1 < maxval) ++bits;
    return bits;
}

int64_t BytesLeft(PxFile* f) { return int64_t{f->Size()} - f->Tell(); }

}  // namespace

PxPnmCodec::Header PxPnmCodec::ReadHeader(PxFile* f) {
    BYTE magic[2];
    if (f->Read(magic, 1, 2) != 2) throw kEnd;
    if (magic[0] != 'P' || magic[1] < '1' || magic[1] > '6') throw "PNM: not a netpbm file";
    Header h;
    h.kind = magic[1] - '0';
    const bool bits = h.kind == 1 || h.kind == 4, colour = h.kind == 3 || h.kind == 6, plain = h.kind <= 3;
    h.width = ReadNumber(f, INT32_MAX), h.height = ReadNumber(f, INT32_MAX);
    h.maxval = bits ? 1 : ReadNumber(f, 65535);
    if (h.width == 0 || h.height == 0 || h.maxval == 0) throw kBadHeader;
    h.comps = colour ? 3 : 1;
    const uint64_t samples = uint64_t{h.width} * h.height * h.comps;

    // The fewest bytes the raster can take: plain samples need a digit and (but for bits) a
    // separator; binary ones their full width.
    h.rowBytes = h.kind == 4 ? (uint64_t{h.width} + 7) / 8 : uint64_t{h.width} * h.comps * (h.maxval > 255 ? 2 : 1);
    const uint64_t need = h.kind == 1 ? samples : plain ? 2 * samples - 1 : h.rowBytes * h.height;
    if (need > static_cast<uint64_t>(std::max<int64_t>(BytesLeft(f), 0))) throw kEnd;
    if (samples > PXIMAGE_MAX_MEMORY) throw "PXIMAGE_MAX_MEMORY exceeded";
    return h;
}

void PxPnmCodec::ReadRows8(PxFile* f, const Header& h, PxImage& image) {
    // Each row is read into its place as the file has it; colour rows are then turned from RGB to
    // BGR in place, in bands on the library's workers.
    const size_t rowBytes = static_cast<size_t>(h.rowBytes);
    const uint32_t bandRows = 64;
    // A fresh picture's pages are mapped on first touch: touched on the workers first, the read
    // on this thread only copies.
    InBands(h.height, rowBytes, bandRows, [&](uint32_t first, uint32_t last) {
        for (uint32_t y = first; y < last; ++y) std::memset(image.GetBits(y), 0, rowBytes);
    });
    for (uint32_t y = 0; y < h.height; ++y)
        if (f->Read(image.GetBits(h.height - 1 - y), 1, rowBytes) != rowBytes) throw kEnd;
    if (h.comps == 3)
        InBands(h.height, rowBytes, bandRows, [&](uint32_t first, uint32_t last) {
            for (uint32_t y = first; y < last; ++y) {
                BYTE* p = image.GetBits(y);
                for (uint32_t x = 0; x < h.width; ++x, p += 3) std::swap(p[0], p[2]);
            }
        });
}

void PxPnmCodec::Read(PxFile* f, PxJasperPicture& picture) {
    const Header h = ReadHeader(f);
    const int kind = h.kind, comps = h.comps;
    const bool plain = kind <= 3;
    const uint32_t width = h.width, height = h.height, maxval = h.maxval;
    const uint64_t rowBytes = h.rowBytes;

    const int precision = BitsOf(maxval);
    std::vector<int32_t*> planes;
    for (int c = 0; c < comps; ++c) planes.push_back(picture.Add(width, height, precision, maxval).own.data());

    if (plain) {
        for (uint64_t i = 0; i < uint64_t{width} * height; ++i) {
            for (int c = 0; c < comps; ++c) {
                int32_t v;
                if (kind == 1) {
                    // Plain bits may follow each other without white space.
                    const LONG ch = NextToken(f);
                    if (ch < 0) throw kEnd;
                    if (ch != '0' && ch != '1') throw "PNM: bad sample";
                    v = ch == '0' ? 1 : 0;  // a set bit is black
                } else {
                    const uint32_t s = ReadNumber(f, UINT32_MAX >> 1);
                    v = static_cast<int32_t>(std::min(s, maxval));
                }
                planes[c][i] = v;
            }
        }
        return;
    }

    std::vector<BYTE> row(static_cast<size_t>(rowBytes));
    for (uint32_t y = 0; y < height; ++y) {
        if (f->Read(row.data(), 1, row.size()) != row.size()) throw kEnd;
        const size_t base = static_cast<size_t>(y) * width;
        if (kind == 4) {
            for (uint32_t x = 0; x < width; ++x) planes[0][base + x] = (row[x >> 3] >> (7 - (x & 7))) & 1 ? 0 : 1;
        } else if (maxval > 255) {
            for (uint32_t x = 0; x < width; ++x)
                for (int c = 0; c < comps; ++c) {
                    const BYTE* p = &row[2 * (static_cast<size_t>(x) * comps + c)];
                    planes[c][base + x] = static_cast<int32_t>(std::min<uint32_t>((p[0] << 8) | p[1], maxval));
                }
        } else {
            for (uint32_t x = 0; x < width; ++x)
                for (int c = 0; c < comps; ++c)
                    planes[c][base + x] = std::min<int32_t>(row[static_cast<size_t>(x) * comps + c], static_cast<int32_t>(maxval));
        }
    }
}

void PxPnmCodec::Write(PxFile* f, PxImage& image) {
    const DWORD width = image.GetWidth(), height = image.GetHeight();
    const bool grey = image.GetBpp() == 8;
    char header[64];
    const int n = std::snprintf(header, sizeof header, "%s\n%u %u\n255\n", grey ? "P5" : "P6", width, height);
    if (f->Write(header, 1, static_cast<size_t>(n)) != static_cast<size_t>(n)) throw "PNM: writing failed";
    const size_t rowBytes = static_cast<size_t>(width) * (grey ? 1 : 3);
    if (rowBytes == 0 || height == 0) return;
    // Rows from the top, turned to RGB a megabyte at a time: the rows of a chunk on the library's
    // workers, then one write.
    const DWORD chunkRows = static_cast<DWORD>(std::clamp<size_t>((size_t{1} << 20) / rowBytes, 1, height));
    std::vector<BYTE> chunk(rowBytes * chunkRows);
    const DWORD bandRows = std::max<DWORD>(1, chunkRows / 8);
    for (DWORD top = 0; top < height; top += chunkRows) {
        const DWORD rows = std::min(chunkRows, height - top);
        InBands(rows, rowBytes, bandRows, [&](uint32_t first, uint32_t last) {
            for (DWORD r = first; r < last; ++r) {
                const BYTE* src = image.GetBits(height - 1 - (top + r));
                BYTE* dst = chunk.data() + r * rowBytes;
                if (grey) {
                    std::copy(src, src + width, dst);
                } else {
                    for (DWORD x = 0; x < width; ++x) {
                        dst[3 * x] = src[3 * x + 2];
                        dst[3 * x + 1] = src[3 * x + 1];
                        dst[3 * x + 2] = src[3 * x];
                    }
                }
            }
        });
        const size_t bytes = rows * rowBytes;
        if (f->Write(chunk.data(), 1, bytes) != bytes) throw "PNM: writing failed";
    }
}
