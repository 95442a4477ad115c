#include "imagelib/codecs/PxWmfCodec.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imagelib/codecs/metafile/pxemfreader.h"
#include "imagelib/codecs/metafile/pxmetaplayer.h"
#include "imagelib/codecs/metafile/pxwmfreader.h"
#include "platform/le.h"

namespace {
constexpr int kScreenDpi = 96;
constexpr uint32_t kPlaceableKey = 0x9AC6CDD7u;
// Work of one play: records and painted pixels together. Enough for any real plot many times
// over, and a few seconds at most for a hostile file.
constexpr int64_t kWorkBudget = int64_t{120} * 1000 * 1000;
}  // namespace

bool PxWmfCodec::HasSignature(const BYTE* head, size_t count) {
    const bool placeable = count >= 40 && le::get32(head) == kPlaceableKey;
    const bool enhanced = count >= 100 && le::get32(head) == 1 && le::get32(head + 40) == 0x464D4520u && le::get32(head + 4) >= 88;
    return placeable || enhanced;
}

void PxWmfCodec::CapSize(int64_t& width, int64_t& height) {
    if (width > 4000) {
        height = std::max<int64_t>(1, height * 4000 / width);
        width = 4000;
    }
    if (height > 4000) {
        width = std::max<int64_t>(1, width * 4000 / height);
        height = 4000;
    }
}

bool PxWmfCodec::Encode(PxFile* hFile) {
    if (hFile) SetLastError("Save WMF not supported");
    return false;
}

bool PxWmfCodec::Decode(PxFile* hFile, LONG forcedWidth, LONG forcedHeight) {
    if (!hFile) return false;
    const LONG start = hFile->Tell();
    const LONG fileSize = hFile->Size();
    std::vector<uint8_t> bits;
    bool placeable = false;
    RECT box{0, 0, 0, 0};
    int64_t width = 0, height = 0;

    uint8_t ph[40];
    if (fileSize >= start && hFile->Read(ph, 1, sizeof ph) == sizeof ph && le::get32(ph) == kPlaceableKey) {
        WORD sum = 0;
        for (int i = 0; i < 10; i++) sum ^= le::get16(ph + 2 * i);
        const int upi = le::get16(ph + 14);
        const int type = le::get16(ph + 22);
        const int64_t words = le::get32(ph + 28);
        // The metafile follows the header at start + 22, and all of it must lie in the file.
        if (sum == le::get16(ph + 20) && upi >= 1 && upi <= 2540 && (type == 1 || type == 2) &&
            int64_t{start} + 22 + 2 * words <= fileSize && words >= 9) {
            bits.resize(static_cast<size_t>(2 * words));
            if (hFile->Seek(start + 22, SEEK_SET) && hFile->Read(bits.data(), 1, bits.size()) == bits.size()) {
                placeable = true;
                box = RECT{le::get16s(ph + 6), le::get16s(ph + 8), le::get16s(ph + 10), le::get16s(ph + 12)};
                width = (int64_t{box.right} - box.left) * kScreenDpi / upi;
                height = (int64_t{box.bottom} - box.top) * kScreenDpi / upi;
            }
        }
    }
    if (!placeable) {
        // An enhanced metafile: everything from the start on.
        hFile->Seek(start, SEEK_SET);
        const int64_t avail = int64_t{fileSize} - start;
        uint8_t eh[100];
        if (avail < 100 || hFile->Read(eh, 1, sizeof eh) != sizeof eh || le::get32(eh) != 1 || le::get32(eh + 40) != 0x464D4520u ||
            le::get32(eh + 4) < 88) {
            SetLastError("corrupted WMF");
            return false;
        }
        bits.resize(static_cast<size_t>(avail));
        std::memcpy(bits.data(), eh, sizeof eh);
        if (hFile->Read(bits.data() + 100, 1, bits.size() - 100) != bits.size() - 100) {
            SetLastError("corrupted WMF");
            return false;
        }
        width = int64_t{le::get32s(eh + 16)} - le::get32s(eh + 8);
        height = int64_t{le::get32s(eh + 20)} - le::get32s(eh + 12);
    }
    if (GetEscape()) {
        SetLastError("Cancelled");
        return false;
    }
    // An EMF that drew nothing has bounds (0, 0, -1, -1): nothing to show.
    if (width <= 0 || height <= 0) {
        SetLastError("empty WMF");
        return false;
    }
    if (forcedWidth > 0) width = forcedWidth;
    if (forcedHeight > 0) height = forcedHeight;
    CapSize(width, height);

    const LONG w = static_cast<LONG>(width), h = static_cast<LONG>(height);
    std::vector<uint8_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0xFF);
    PxSurface surface = PxSurfaceOver(pixels.data(), w, h, w * 4);
    PxMetaPlayer player(&surface, kWorkBudget);
    const auto cancelled = [this] { return GetEscape() != 0; };
    bool played;
    if (placeable)
        played = PxWmfReader::Play(bits.data(), bits.size(), player, box, w, h, cancelled);
    else
        played = PxEmfReader::Play(bits.data(), bits.size(), player, w, h, cancelled);
    if (!played || GetEscape()) {
        SetLastError("Cancelled");
        return false;
    }
    if (!Create(static_cast<DWORD>(w), static_cast<DWORD>(h), 24, PXIMAGE_FORMAT_WMF)) return false;
    for (LONG y = 0; y < h; y++) {
        BYTE* dst = GetBits(static_cast<DWORD>(h - 1 - y));
        const uint8_t* src = pixels.data() + static_cast<size_t>(y) * w * 4;
        for (LONG x = 0; x < w; x++) {
            dst[3 * x] = src[4 * x], dst[3 * x + 1] = src[4 * x + 1], dst[3 * x + 2] = src[4 * x + 2];
        }
    }
    return true;
}
