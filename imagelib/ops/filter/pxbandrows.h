// Bands of rows that worker threads change in place. A band reads rows up to `margin` beyond
// its ends, which its neighbours change meanwhile, so every band first keeps copies of those
// rows (all bands before any changes, see Save) and reads them from there.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imagelib/ops/colour/pxopsutil.h"
#include "imagelib/pximage.h"

namespace px_ops {

class BandRows {
public:
    BandRows(PxImage& img, int64_t bandRows, int64_t margin)
        : img_(img),
          h_(img.GetHeight()),
          eff_(img.GetEffWidth()),
          band_(std::max<int64_t>(1, bandRows)),
          margin_(std::max<int64_t>(0, margin)) {}

    int64_t Bands() const { return (h_ + band_ - 1) / band_; }
    int64_t Begin(int64_t b) const { return b * band_; }
    int64_t End(int64_t b) const { return std::min(h_, (b + 1) * band_); }

    // Copies every band's outside rows; false when the memory for them is missing.
    bool Save() {
        if (!Prepare()) return false;
        std::atomic<bool> ok{true};
        ParallelItems(Bands(), [&](int64_t b) {
            if (!SaveBand(b)) ok = false;
            return true;
        });
        return ok;
    }

    // The same in steps, for workers that go on to change the bands themselves: Prepare once, then
    // SaveBand for every band, all before any band changes a row. SaveBand of different bands may
    // run at once; false when the memory for the band's copies is missing.
    bool Prepare() {
        try {
            saved_.clear();
            saved_.resize(static_cast<size_t>(Bands()));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    bool SaveBand(int64_t b) {
        std::unique_ptr<BYTE[]>& kept = saved_[static_cast<size_t>(b)];
        kept.reset(new (std::nothrow) BYTE[std::max<size_t>(1, SavedCount(b) * eff_)]);
        if (!kept) return false;
        BYTE* d = kept.get();
        for (int64_t q = Low(b); q < Begin(b); q++, d += eff_)
            std::memcpy(d, img_.GetBits(static_cast<DWORD>(q)), eff_);
        for (int64_t q = End(b); q < High(b); q++, d += eff_)
            std::memcpy(d, img_.GetBits(static_cast<DWORD>(q)), eff_);
        return true;
    }

    // Row q (within margin of band b) as it was before any band changed it.
    const BYTE* Row(int64_t b, int64_t q) const {
        if (q >= Begin(b) && q < End(b)) return img_.GetBits(static_cast<DWORD>(q));
        const BYTE* s = saved_[static_cast<size_t>(b)].get();
        if (q < Begin(b)) return s + static_cast<size_t>(q - Low(b)) * eff_;
        return s + static_cast<size_t>(Begin(b) - Low(b) + q - End(b)) * eff_;
    }

private:
    int64_t Low(int64_t b) const { return std::max<int64_t>(0, Begin(b) - margin_); }
    int64_t High(int64_t b) const { return std::min(h_, End(b) + margin_); }
    size_t SavedCount(int64_t b) const { return static_cast<size_t>(Begin(b) - Low(b) + High(b) - End(b)); }

    PxImage& img_;
    int64_t h_;
    size_t eff_;
    int64_t band_, margin_;
    std::vector<std::unique_ptr<BYTE[]>> saved_;
};

}  // namespace px_ops
