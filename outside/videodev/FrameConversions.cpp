// Turning device frames into the bitmap layout. Every read is bounded by the length the device
// reported; whatever a short frame lacks stays black.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include "VideoDevice.h"

namespace videodev {

namespace {

uint8_t Clamp(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

void YuvToBgr(int y, int u, int v, uint8_t* out) {
    const int c = y - 16;
    const int d = u - 128;
    const int e = v - 128;
    out[0] = Clamp((298 * c + 516 * d + 128) >> 8);
    out[1] = Clamp((298 * c - 100 * d - 208 * e + 128) >> 8);
    out[2] = Clamp((298 * c + 409 * e + 128) >> 8);
}

struct JpegError {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) { longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }
void JpegSilent(j_common_ptr, int) {}

// Free of objects with destructors because of the longjmp; rows go straight into the bitmap.
bool DecodeJpeg(const uint8_t* jpeg, size_t length, int width, int height, uint8_t* dib, size_t stride) {
    jpeg_decompress_struct cinfo;
    JpegError jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = JpegErrorExit;
    jerr.pub.emit_message = JpegSilent;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, const_cast<unsigned char*>(jpeg), static_cast<unsigned long>(length));
    // The size is checked before decompression starts: a progressive frame claiming a huge
    // picture would otherwise have its whole coefficient store allocated and zeroed.
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || static_cast<int>(cinfo.image_width) != width ||
        static_cast<int>(cinfo.image_height) != height) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    if (static_cast<int>(cinfo.output_width) != width || static_cast<int>(cinfo.output_height) != height ||
        cinfo.output_components != 3) {
        jpeg_abort_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        const uint64_t dibRow = static_cast<uint64_t>(height - 1) - cinfo.output_scanline;
        JSAMPROW row = dib + dibRow * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

size_t DibStride(int width) {
    const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 0;
    return static_cast<size_t>((w * 3u + 3u) & ~uint64_t{3});
}

void ConvertYuyvToDib(const uint8_t* yuyv, size_t length, int width, int height, uint8_t* dib) {
    if (width <= 0 || height <= 0)
        return;
    const size_t stride = DibStride(width);
    std::memset(dib, 0, stride * static_cast<size_t>(height));
    if (!yuyv)
        return;
    const size_t srcStride = static_cast<size_t>(width) * 2u;
    for (int y = 0; y < height; ++y) {
        const size_t rowStart = static_cast<size_t>(y) * srcStride;
        if (rowStart >= length)
            break;
        const uint8_t* src = yuyv + rowStart;
        const size_t available = std::min(srcStride, length - rowStart);
        uint8_t* out = dib + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; x += 2) {
            const size_t i = static_cast<size_t>(x) * 2u;
            if (i + 4 > available)
                break;
            YuvToBgr(src[i], src[i + 1], src[i + 3], out + x * 3);
            if (x + 1 < width)
                YuvToBgr(src[i + 2], src[i + 1], src[i + 3], out + (x + 1) * 3);
        }
    }
}

bool DecodeMjpegToDib(const uint8_t* jpeg, size_t length, int width, int height, uint8_t* dib) {
    if (!jpeg || length < 4 || width <= 0 || height <= 0)
        return false;
    return DecodeJpeg(jpeg, length, width, height, dib, DibStride(width));
}

void TestPatternPixel(int x, int y, int width, uint64_t n, uint8_t bgr[3]) {
    // White, yellow, cyan, green, magenta, red, blue, black bars, moving by 4 pixels a frame.
    static const uint8_t bars[8][3] = {{255, 255, 255}, {0, 255, 255}, {255, 255, 0}, {0, 255, 0},
                                       {255, 0, 255},   {0, 0, 255},   {255, 0, 0},   {0, 0, 0}};
    (void)y;
    const uint64_t w = width > 0 ? static_cast<uint64_t>(width) : 1;
    const uint64_t shifted = (static_cast<uint64_t>(x) + n * 4u) % w;
    const uint64_t bar = shifted * 8u / w;
    std::memcpy(bgr, bars[bar], 3);
}

}  // namespace videodev
