// PGX reader and writer. ML files hold their samples most significant byte first, LM ones least
// significant first; a "-" marks two's complement samples of the stated precision.
#include "imagelib/codecs/PxPgxCodec.h"

#include <cstdio>
#include <vector>

namespace {

const char* const kEnd = "PGX: unexpected end of file";
const char* const kBadHeader = "PGX: bad header";

LONG SkipBlanks(PxFile* f) {
    LONG c = f->GetC();
    while (c == ' ' || c == '\t') c = f->GetC();
    return c;
}

uint32_t ReadNumber(PxFile* f, LONG& c, uint32_t limit) {
    if (c < '0' || c > '9') throw c < 0 ? kEnd : kBadHeader;
    uint64_t v = 0;
    while (c >= '0' && c <= '9') {
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > limit) throw kBadHeader;
        c = f->GetC();
    }
    return static_cast<uint32_t>(v);
}

}  // namespace

void PxPgxCodec::Read(PxFile* f, PxJasperPicture& picture) {
    BYTE magic[2];
    if (f->Read(magic, 1, 2) != 2) throw kEnd;
    if (magic[0] != 'P' || magic[1] != 'G') throw "PGX: not a PGX file";
    LONG c = SkipBlanks(f);
    const LONG c2 = f->GetC();
    bool bigEndian;
    if (c == 'M' && c2 == 'L')
        bigEndian = true;
    else if (c == 'L' && c2 == 'M')
        bigEndian = false;
    else
        throw c < 0 || c2 < 0 ? kEnd : kBadHeader;
    // The sign may stand alone, touch the precision, or be missing (unsigned).
    c = SkipBlanks(f);
    bool sign = false;
    if (c == '+' || c == '-') {
        sign = c == '-';
        c = SkipBlanks(f);
    }
    const uint32_t precision = ReadNumber(f, c, 32);
    if (c != ' ' && c != '\t') throw kBadHeader;
    c = SkipBlanks(f);
    const uint32_t width = ReadNumber(f, c, INT32_MAX);
    if (c != ' ' && c != '\t') throw kBadHeader;
    c = SkipBlanks(f);
    const uint32_t height = ReadNumber(f, c, INT32_MAX);
    while (c == ' ' || c == '\t' || c == '\r') c = f->GetC();
    if (c != '\n') throw c < 0 ? kEnd : kBadHeader;
    if (precision == 0 || width == 0 || height == 0) throw kBadHeader;

    const size_t bytes = precision <= 8 ? 1 : precision <= 16 ? 2 : 4;
    const uint64_t samples = uint64_t{width} * height;
    const int64_t left = int64_t{f->Size()} - f->Tell();
    if (left < 0 || samples * bytes > static_cast<uint64_t>(left)) throw kEnd;
    if (samples > PXIMAGE_MAX_MEMORY) throw "PXIMAGE_MAX_MEMORY exceeded";

    PxJasperPicture::Component& comp = picture.Add(width, height, static_cast<int>(precision));
    comp.sign = sign;
    // Unsigned 32-bit samples keep their top 31 bits, so that every sample fits the plane.
    const int drop = !sign && precision == 32 ? 1 : 0;
    comp.precision -= drop;
    const uint64_t mask = (uint64_t{1} << precision) - 1, top = uint64_t{1} << (precision - 1);
    std::vector<BYTE> row(static_cast<size_t>(width) * bytes);
    for (uint32_t y = 0; y < height; ++y) {
        if (f->Read(row.data(), 1, row.size()) != row.size()) throw kEnd;
        int32_t* out = comp.own.data() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            const BYTE* p = &row[x * bytes];
            uint64_t v = 0;
            for (size_t i = 0; i < bytes; ++i) v = (v << 8) | p[bigEndian ? i : bytes - 1 - i];
            v &= mask;
            // Two's complement of `precision` bits, widened.
            const int64_t s = sign && (v & top) ? static_cast<int64_t>(v) - static_cast<int64_t>(mask) - 1
                                                : static_cast<int64_t>(v);
            out[x] = static_cast<int32_t>(sign ? s : static_cast<int64_t>(v >> drop));
        }
    }
}

void PxPgxCodec::Write(PxFile* f, PxImage& image) {
    const DWORD width = image.GetWidth(), height = image.GetHeight();
    char header[64];
    const int n = std::snprintf(header, sizeof header, "PG ML + 8 %u %u\n", width, height);
    if (f->Write(header, 1, static_cast<size_t>(n)) != static_cast<size_t>(n)) throw "PGX: writing failed";
    for (DWORD y = height; y-- > 0;)
        if (f->Write(image.GetBits(y), 1, width) != width) throw "PGX: writing failed";
}
