#include "app/palettefile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/atomicfile.h"

namespace {

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void PutTag(std::vector<uint8_t>& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A cursor over the text of a JASC file.
struct TextCursor {
    const uint8_t* p;
    const uint8_t* end;

    // The next line without its line feed and a carriage return before it; false at the end.
    bool Line(const uint8_t** begin, const uint8_t** stop) {
        if (p >= end) return false;
        const uint8_t* lf = static_cast<const uint8_t*>(memchr(p, '\n', static_cast<size_t>(end - p)));
        const uint8_t* e = lf ? lf : end;
        *begin = p;
        *stop = (e > p && e[-1] == '\r') ? e - 1 : e;
        p = lf ? lf + 1 : end;
        return true;
    }

    // The next decimal number after blanks and line feeds, as its low byte; false when none.
    bool LowByte(BYTE* value) {
        while (p < end && IsBlank(*p)) p++;
        const uint8_t* q = p;
        const bool negative = q < end && *q == '-';
        if (q < end && (*q == '-' || *q == '+')) q++;
        if (q >= end || *q < '0' || *q > '9') return false;
        unsigned m = 0;  // the number modulo 256, exact however long it is
        for (; q < end && *q >= '0' && *q <= '9'; q++) m = (m * 10 + (*q - '0')) & 0xFF;
        p = q;
        *value = static_cast<BYTE>(negative ? (256 - m) & 0xFF : m);
        return true;
    }
};

// The count line: digits with blanks around them; -1 for anything else (a sign included).
long ParseCount(const uint8_t* b, const uint8_t* e) {
    while (b < e && (*b == ' ' || *b == '\t')) b++;
    while (e > b && (e[-1] == ' ' || e[-1] == '\t' || e[-1] == '\r')) e--;
    if (b == e) return -1;
    long n = 0;
    for (; b < e; b++) {
        if (*b < '0' || *b > '9') return -1;
        n = std::min<long>(n * 10 + (*b - '0'), 1000000);  // far above any palette, never overflows
    }
    return n;
}

}  // namespace

CPaletteFile::LoadResult CPaletteFile::Load(const char* path, RGBQUAD* palette, int count) {
    FILE* fp = fopen(path, "rb");
    if (!fp) {
        LoadResult r;
        r.status = Status::CannotOpen;
        return r;
    }
    std::vector<uint8_t> data(kMaxJascBytes);
    const size_t got = fread(data.data(), 1, data.size(), fp);
    fclose(fp);
    return Parse(data.data(), got, palette, count);
}

CPaletteFile::LoadResult CPaletteFile::Parse(const uint8_t* data, size_t size, RGBQUAD* palette, int count) {
    count = std::clamp(count, 0, kMaxColors);
    if (size >= 4 && memcmp(data, "JASC", 4) == 0) return ParseJasc(data, size, palette, count);
    if (size >= 4 && memcmp(data, "RIFF", 4) == 0) return ParseRiff(data, size, palette, count);
    return LoadResult();
}

CPaletteFile::LoadResult CPaletteFile::ParseRiff(const uint8_t* data, size_t size, RGBQUAD* palette, int count) {
    LoadResult r;
    if (size < 24) return r;
    const int n = U16(data + 22);  // unsigned: a count above 32767 is too many, not negative
    if (n > kMaxColors) {
        r.status = Status::TooManyColors;
        return r;
    }
    // A file that ends before its last entry is not read at all.
    if (size < 24 + 4 * static_cast<size_t>(n)) return r;
    r.countMismatch = n != count;
    r.entries = std::min(n, count);
    for (int i = 0; i < r.entries; i++) {
        const uint8_t* e = data + 24 + 4 * i;
        palette[i] = RGBQUAD{e[2], e[1], e[0], e[3]};
    }
    r.status = Status::Loaded;
    return r;
}

CPaletteFile::LoadResult CPaletteFile::ParseJasc(const uint8_t* data, size_t size, RGBQUAD* palette, int count) {
    LoadResult r;
    TextCursor text{data, data + size};
    const uint8_t *b = nullptr, *e = nullptr;
    // First line (the signature's), the version line, then the count line.
    if (!text.Line(&b, &e) || !text.Line(&b, &e) || !text.Line(&b, &e)) return r;
    const long n = ParseCount(b, e);
    if (n < 0) return r;
    if (n > kMaxColors) {
        r.status = Status::TooManyColors;
        return r;
    }
    r.countMismatch = n != count;
    const int want = static_cast<int>(std::min<long>(n, count));
    // A text that ends early keeps what it holds: the entries read, and the numbers of the
    // entry it ended in.
    for (int i = 0; i < want; i++) {
        RGBQUAD& c = palette[i];
        if (!text.LowByte(&c.rgbRed)) break;
        r.entries = i + 1;
        if (!text.LowByte(&c.rgbGreen) || !text.LowByte(&c.rgbBlue)) break;
    }
    r.status = Status::Loaded;
    return r;
}

std::vector<uint8_t> CPaletteFile::EncodeRiff(const RGBQUAD* palette, int count) {
    const uint32_t n = static_cast<uint32_t>(std::clamp(count, 0, kMaxColors));
    std::vector<uint8_t> out;
    out.reserve(28 + 4 * n);
    PutTag(out, "RIFF");
    PutU32(out, 4 * n + 20);
    PutTag(out, "PAL ");
    PutTag(out, "data");
    PutU32(out, 4 * n + 8);
    PutU16(out, 0x0300);
    PutU16(out, static_cast<uint16_t>(n));
    for (uint32_t i = 0; i < n; i++) {
        out.push_back(palette[i].rgbRed);
        out.push_back(palette[i].rgbGreen);
        out.push_back(palette[i].rgbBlue);
        out.push_back(palette[i].rgbReserved);
    }
    PutU32(out, 0);
    return out;
}

bool CPaletteFile::SaveRiff(const char* path, const RGBQUAD* palette, int count, int* errnoValue) {
    const std::vector<uint8_t> bytes = EncodeRiff(palette, count);
    AtomicFile file(path ? path : "");
    if (!file.Create() || !file.Write(bytes.data(), bytes.size()) || !file.Commit()) {
        if (errnoValue) *errnoValue = file.Error() ? file.Error() : EIO;
        return false;
    }
    if (errnoValue) *errnoValue = 0;
    return true;
}
