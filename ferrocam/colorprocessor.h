// Turns the sensor's 8-bit Bayer mosaic into a 24-bit blue-green-red image and applies the
// colour settings: demosaicing, mirror and rotation, one-shot white balance, green smoothing,
// saturation, per-channel gains, gamma and contrast through lookup tables.
#pragma once

#include <atomic>
#include <mutex>
#include <cstdint>
#include <vector>

#include "platform/wintypes.h"

class CColorProcessor {
public:
    CColorProcessor();
    virtual ~CColorProcessor() = default;

    // Codes 1..7 are accepted; only 6 (even rows G R, odd rows B G) is used by this camera,
    // and every code demosaics as 6.
    bool SetPattern(int code);
    int Pattern() const { return pattern_; }
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }

    // 64 = 1.0 for gains; gamma 20..150; contrast and saturation the low byte.
    void SetGains(int red, int green, int blue);
    void GetGains(int& red, int& green, int& blue) const;
    void SetGamma(int gamma);
    void SetContrast(int contrast);
    void SetSaturation(int saturation);
    void RequestWhiteBalance(int state) { wbRequest_.store(state); }
    int WhiteBalanceRequested() const { return wbRequest_.load(); }

    // The passes the device derives from the caller's mirror flags.
    void SetGeometry(bool rotate180, bool mirrorRows);

    // Demosaics width × height samples into rgb (width × height × 3 bytes, rows top-down).
    void Demosaic(const BYTE* mosaic, BYTE* rgb) const;
    // The rest of the colour step after the per-frame hook: geometry, white balance, green
    // smoothing and the lookup into rgb, rows still top-down.
    void Finish(BYTE* rgb);
    // The whole colour step in one go: demosaic into the working buffer, the hook on it,
    // geometry, white balance, then smoothing and lookup into rgb with the rows already
    // bottom-up. Same result as Demosaic, hook, Finish and a row flip, without the copies.
    using ImageHook = void (*)(void* context, BYTE* rgb, int width, int height);
    void Process(const BYTE* mosaic, BYTE* rgb, ImageHook hook, void* hookContext);

    const BYTE* Table(int channel) const { return tables_[channel]; }  // 0 blue, 1 green, 2 red
    int IdentityFlag() const { return identity_ ? 1 : 0; }  // 0 when every setting is neutral
    float BaseGamma() const { return gamma_; }
    float ContrastFactor() const { return contrast_; }
    int Saturation16() const { return s16_; }

private:
    void RebuildTables();
    void MeasureWhiteBalance(const BYTE* image);
    struct LookupPlan {
        int pairs, firstKindStart, secondKindStart, firstCount, secondCount;
        bool neutralSaturation;
        // The first column and the count of the pixels row y repairs; start 0 when it repairs none.
        void RowRun(int y, int& start, int& count) const {
            auto kindOf = [&](int first) { return y >= first && y < first + 2 * pairs && (y - first) % 2 == 0; };
            start = count = 0;
            if (kindOf(firstKindStart)) {
                start = 1;
                count = firstCount;
            } else if (kindOf(secondKindStart)) {
                start = 2;
                count = secondCount;
            }
        }
    };
    void PrepareLookup(LookupPlan& plan) const;
    void SmoothAndLookupRow(const LookupPlan& plan, const BYTE* up, const BYTE* row, const BYTE* down, int y,
                            BYTE* out, BYTE* greens) const;
    // Rows y0..y1 of the finished image. Their demosaiced rows come from the mosaic, or, when
    // image is given, from that demosaiced (not yet turned) image.
    void FusedRows(const BYTE* mosaic, const BYTE* image, BYTE* out, int y0, int y1) const;
    // The fused path keeps its demosaiced rows as blue, green and red planes, so that the
    // neighbour means and the green smoothing run sixteen pixels at a time.
    void DemosaicRowPlanar(const BYTE* mosaic, int y, BYTE* blue, BYTE* green, BYTE* red) const;
    void SmoothGreenRow(const LookupPlan& plan, const BYTE* up, const BYTE* row, const BYTE* down, int y,
                        BYTE* greens) const;
    void LookupRow(const LookupPlan& plan, const BYTE* blue, const BYTE* greens, const BYTE* red, BYTE* out) const;
    void ApplyGeometry(BYTE* work);
    // Smoothing and lookup from the working image into out; with flip, row y lands in row
    // height - 1 - y.
    void SmoothGreenAndLookup(const BYTE* work, BYTE* out, bool flip) const;
    void SmoothAndLookupRows(const BYTE* work, BYTE* out, bool flip, int y0, int y1) const;

    float contrast_ = 1.0f;
    float offset_ = 0.0f;
    float gamma_ = 1.0f;
    int s16_ = 65536;
    int pattern_ = 1;
    // Guards the tables and gains: setters run on the caller's thread while frames run under
    // the engine's pipeline lock.
    mutable std::mutex settingsLock_;
    std::vector<BYTE> work_;
    int width_ = 0, height_ = 0;
    BYTE tables_[3][256];
    // Blue and red outputs by (green << 8 | byte), for saturations other than 1.0: the lookup of
    // G + s16 × (byte − G) / 65536, clamped, through the channel's table.
    std::vector<BYTE> satBlue_, satRed_;
    std::atomic<int> wbRequest_{0};
    float gains_[3] = {1.0f, 1.0f, 1.0f};  // blue, green, red
    float means_[3] = {0, 0, 0};
    bool identity_ = false;  // true when some setting is not neutral
    bool rotate_ = false, mirror_ = false;
};
