#include "stillwriters.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

#include "platform/atomicfile.h"
#include "platform/le.h"

namespace {

StillWriterMessageBox g_messageBox = nullptr;
bool g_saveMessages = false;

void ShowMessage(const char* text) {
    if (g_messageBox)
        g_messageBox(text);
}

// SaveJpegFile's own messages.
void ShowSaveMessage(const char* text) {
    if (g_saveMessages)
        ShowMessage(text);
}

// Widths and heights are ints at the interface; everything derived from them is 64-bit, and
// images whose sizes would not fit the file formats' 32-bit fields are refused.
bool ImageSize(int width, int height, uint64_t& bytes) {
    if (width <= 0 || height <= 0)
        return false;
    bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3u;
    return bytes <= 0xFFFFFFFFull - 54u;
}

struct JpegErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);  // formatted for the record; the write ends silently
    longjmp(err->jump, 1);
}

// Runs the compressor; kept free of objects with destructors because of the longjmp.
bool CompressJpeg(FILE* file, const BYTE* rows, int width, int height, int components, int quality) {
    jpeg_compress_struct cinfo;
    JpegErrorManager jerr;
    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = JpegErrorExit;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const uint64_t stride = static_cast<uint64_t>(width) * static_cast<uint64_t>(components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows + stride * cinfo.next_scanline);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

void SetStillWriterMessageBox(StillWriterMessageBox sink, bool saveMessages) {
    g_messageBox = sink;
    g_saveMessages = saveMessages;
}

StillWriterMessageBox GetStillWriterMessageBox() { return g_messageBox; }

void FlipRows(BYTE* data, uint64_t rowBytes, int rowCount) {
    if (!data || rowCount <= 1 || rowBytes == 0)
        return;
    // In place, without a row buffer: nothing here can run out of memory.
    for (int i = 0; i < (rowCount + 1) / 2; ++i) {
        int j = rowCount - 1 - i;
        if (i == j)
            continue;
        BYTE* a = data + rowBytes * static_cast<uint64_t>(i);
        BYTE* b = data + rowBytes * static_cast<uint64_t>(j);
        std::swap_ranges(a, a + rowBytes, b);
    }
}

void SwapRedBlue(BYTE* data, int width, int height) {
    if (!data || width <= 0 || height <= 0)
        return;
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    for (uint64_t i = 0; i < pixels; ++i) {
        BYTE t = data[i * 3];
        data[i * 3] = data[i * 3 + 2];
        data[i * 3 + 2] = t;
    }
}

int WriteJpegFile(const char* path, const BYTE* data, int width, int height, int colourFlag, int quality) {
    try {
        uint64_t bytes = 0;
        if (!path || !data || !ImageSize(width, height, bytes))
            return 0;
        std::vector<BYTE> grey;
        const BYTE* rows = data;
        if (colourFlag == 0) {
            const uint64_t pixels = bytes / 3;
            try {
                grey.resize(pixels);
            } catch (const std::bad_alloc&) {
                ShowMessage("Memory error");
                return 0;
            }
            for (uint64_t i = 0; i < pixels; ++i) {
                const BYTE* p = data + i * 3;
                grey[i] = static_cast<BYTE>(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]);
            }
            rows = grey.data();
        }
        AtomicFile out(path);
        if (!out.Create()) {
            char text[4200];
            std::snprintf(text, sizeof text, "JpegFile :\nCan't open %s\n", path);
            ShowMessage(text);
            return 0;
        }
        if (!CompressJpeg(out.Stream(), rows, width, height, colourFlag == 0 ? 1 : 3, quality))
            return 0;
        return out.Commit() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int SaveJpegFile(const char* path, const BYTE* image, int width, int height) {
    try {
        uint64_t bytes = 0;
        if (!image || !ImageSize(width, height, bytes)) {
            ShowSaveMessage("No Image!");
            return 0;
        }
        std::vector<BYTE> copy;
        try {
            copy.assign(image, image + bytes);
        } catch (const std::bad_alloc&) {
            ShowSaveMessage("memory is over!");
            return 0;
        }
        FlipRows(copy.data(), static_cast<uint64_t>(width) * 3u, height);
        SwapRedBlue(copy.data(), width, height);
        if (!WriteJpegFile(path, copy.data(), width, height, 1, 75)) {
            ShowSaveMessage("Write Error");
            return 0;
        }
        return 1;
    } catch (...) {
        return 0;
    }
}

int WriteBmpFile(const char* path, const BYTE* image, int width, int height) {
    try {
        uint64_t bytes = 0;
        if (!path || !image || !ImageSize(width, height, bytes))
            return 0;
        BYTE header[54] = {};
        header[0] = 'B';
        header[1] = 'M';
        le::put32(header + 2, static_cast<uint32_t>(bytes + 54));
        le::put32(header + 10, 54);
        le::put32(header + 14, 40);
        le::put32(header + 18, static_cast<uint32_t>(width));
        le::put32(header + 22, static_cast<uint32_t>(height));
        le::put16(header + 26, 1);
        le::put16(header + 28, 24);
        AtomicFile out(path);
        if (!out.Create() || !out.Write(header, sizeof header) || !out.Write(image, bytes))
            return 0;
        return out.Commit() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int WriteRawFile(const char* path, const BYTE* data, uint64_t length) {
    try {
        if (!path || (!data && length))
            return 0;
        AtomicFile out(path);
        if (!out.Create() || !out.Write(data, length))
            return 0;
        return out.Commit() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int WriteTiffFile(const char* path, int width, int height, int imageType, int bitsPerPixel, int compression,
                  int byteSwapMode, const RGBQUAD* /*palette*/, int /*paletteSize*/, const BYTE* data) {
    // The copies and the file names allocate; no exception may reach a camera library's caller.
    try {
        if (imageType != 2 || bitsPerPixel != 24 || compression != 0 || byteSwapMode != 1)
            return TIFF_WRITE_UNSUPPORTED;
        uint64_t bytes = 0;
        if (!path || !data || !ImageSize(width, height, bytes))
            return TIFF_WRITE_FAILED;
        std::vector<BYTE> copy(data, data + bytes);
        SwapRedBlue(copy.data(), width, height);

        // An existing TIFF gets this image as one more page: its bytes go into the temporary file
        // first, and libtiff appends there.
        AtomicFile out(path);
        if (!out.Create(true) || !out.CloseStream()) {
            std::fprintf(stderr, "Cannot open file for output.\n");
            return TIFF_WRITE_NOTOPENED;
        }
        TIFF* tif = TIFFOpen(out.TempPath().c_str(), "a");
        if (!tif) {
            std::fprintf(stderr, "Cannot open file for output.\n");
            return TIFF_WRITE_NOTOPENED;
        }
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
        TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
        const uint64_t rowBytes = static_cast<uint64_t>(width) * 3u;
        FlipRows(copy.data(), rowBytes, height);
        bool ok = true;
        for (int row = 0; row < height; ++row) {
            if (TIFFWriteScanline(tif, copy.data() + rowBytes * static_cast<uint64_t>(row), static_cast<uint32_t>(row),
                                  0) < 0) {
                std::fprintf(stderr, "scanline %lu: Write error.\n", static_cast<unsigned long>(row));
                ok = false;
                break;
            }
        }
        if (ok && !TIFFFlush(tif))
            ok = false;
        TIFFClose(tif);
        if (!ok || !out.Commit())
            return TIFF_WRITE_FAILED;
        return TIFF_WRITE_OK;
    } catch (...) {
        return TIFF_WRITE_FAILED;
    }
}

int SaveTiffFile(const char* path, const BYTE* image, int width, int height) {
    try {
        uint64_t bytes = 0;
        if (!path || !image || !ImageSize(width, height, bytes))
            return 0;
        return WriteTiffFile(path, width, height, 2, 24, 0, 1, nullptr, 0, image) == TIFF_WRITE_OK ? 1 : 0;
    } catch (...) {
        return 0;
    }
}
