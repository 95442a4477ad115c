// A small writer of metafile records for the tests: WMF records behind a placeable header, and
// EMF records behind an enhanced header, each record given as its words or 32-bit values.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/le.h"

struct WmfWriter {
    std::vector<uint8_t> body;  // records after the 18-byte header
    // One record: function number and 16-bit parameters (negative values as two's complement).
    WmfWriter& Rec(uint16_t fn, std::initializer_list<int> words) { return RecV(fn, std::vector<int>(words)); }
    WmfWriter& RecV(uint16_t fn, const std::vector<int>& words) {
        const size_t at = body.size();
        body.resize(at + 6 + 2 * words.size());
        le::put32(body.data() + at, static_cast<uint32_t>(3 + words.size()));
        le::put16(body.data() + at + 4, fn);
        for (size_t i = 0; i < words.size(); i++) le::put16(body.data() + at + 6 + 2 * i, static_cast<uint16_t>(words[i]));
        return *this;
    }
    static std::vector<int> Color(uint32_t c) { return {static_cast<int>(c & 0xFFFF), static_cast<int>(c >> 16)}; }
    // The placeable file: box in units, units per inch, then header, records and META_EOF.
    std::vector<uint8_t> Placeable(int left, int top, int right, int bottom, int upi) const {
        std::vector<uint8_t> f(22 + 18);
        le::put32(f.data(), 0x9AC6CDD7u);
        le::put16(f.data() + 6, static_cast<uint16_t>(left));
        le::put16(f.data() + 8, static_cast<uint16_t>(top));
        le::put16(f.data() + 10, static_cast<uint16_t>(right));
        le::put16(f.data() + 12, static_cast<uint16_t>(bottom));
        le::put16(f.data() + 14, static_cast<uint16_t>(upi));
        uint16_t sum = 0;
        for (int i = 0; i < 10; i++) sum ^= le::get16(f.data() + 2 * i);
        le::put16(f.data() + 20, sum);
        const size_t words = (18 + body.size() + 6) / 2;
        le::put16(f.data() + 22, 1);
        le::put16(f.data() + 24, 9);
        le::put16(f.data() + 26, 0x300);
        le::put32(f.data() + 28, static_cast<uint32_t>(words));
        // Other readers want the largest record and the object count filled in.
        uint32_t largest = 3;
        for (size_t at = 0; at + 6 <= body.size(); at += 2 * le::get32(body.data() + at))
            largest = std::max(largest, le::get32(body.data() + at));
        le::put16(f.data() + 32, 16);
        le::put32(f.data() + 34, largest);
        f.insert(f.end(), body.begin(), body.end());
        const uint8_t eof[6] = {3, 0, 0, 0, 0, 0};
        f.insert(f.end(), eof, eof + 6);
        return f;
    }
};

struct EmfWriter {
    std::vector<uint8_t> body;
    EmfWriter& Rec(uint32_t type, std::initializer_list<int64_t> values) { return RecV(type, std::vector<int64_t>(values)); }
    EmfWriter& RecV(uint32_t type, const std::vector<int64_t>& values) {
        std::vector<uint8_t> b;
        for (int64_t v : values) {
            b.resize(b.size() + 4);
            le::put32(b.data() + b.size() - 4, static_cast<uint32_t>(v));
        }
        return Raw(type, b);
    }
    EmfWriter& Raw(uint32_t type, std::vector<uint8_t> params) {
        while (params.size() % 4) params.push_back(0);
        const size_t at = body.size();
        body.resize(at + 8 + params.size());
        le::put32(body.data() + at, type);
        le::put32(body.data() + at + 4, static_cast<uint32_t>(8 + params.size()));
        std::copy(params.begin(), params.end(), body.begin() + static_cast<long>(at) + 8);
        return *this;
    }
    // Bounds in device pixels of a 96 DPI reference device; the frame matches them.
    std::vector<uint8_t> File(int l, int t, int r, int b) const {
        std::vector<uint8_t> h(108, 0);
        le::put32(h.data(), 1);
        le::put32(h.data() + 4, 108);
        const int v[4] = {l, t, r, b};
        for (int i = 0; i < 4; i++) le::put32(h.data() + 8 + 4 * i, static_cast<uint32_t>(v[i]));
        // 1000 x 1000 pixels over 264.583 mm: frame in 0.01 mm.
        for (int i = 0; i < 4; i++) le::put32(h.data() + 24 + 4 * i, static_cast<uint32_t>(std::lround(v[i] * 2540.0 / 96)));
        le::put32(h.data() + 40, 0x464D4520u);
        le::put32(h.data() + 44, 0x10000);
        le::put32(h.data() + 48, static_cast<uint32_t>(108 + body.size() + 20));
        le::put16(h.data() + 56, 16);
        le::put32(h.data() + 72, 960);
        le::put32(h.data() + 76, 960);
        le::put32(h.data() + 80, 254);
        le::put32(h.data() + 84, 254);
        h.insert(h.end(), body.begin(), body.end());
        const uint8_t eof[20] = {14, 0, 0, 0, 20, 0, 0, 0};
        h.insert(h.end(), eof, eof + 20);
        return h;
    }
};
