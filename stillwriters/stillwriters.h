// Still-image writers shared by the camera hub and the model driver. Input images are 24-bit
// blue-green-red pixels, rows bottom-up, width × 3 bytes per row without padding. The writers
// never change the caller's buffer, and never leave a partial file under the final name: they
// write a temporary file in the same folder and rename it over the path on success.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/wintypes.h"

// Where the writers' message boxes go ("Memory error", "JpegFile :\nCan't open ..."). Default
// none. Both libraries set one; with saveMessages, SaveJpegFile also reports "No Image!",
// "memory is over!" and "Write Error" (the hub's writers do, the model driver's do not).
using StillWriterMessageBox = void (*)(const char* text);
void SetStillWriterMessageBox(StillWriterMessageBox sink, bool saveMessages = true);
StillWriterMessageBox GetStillWriterMessageBox();

// 1 written, 0 failed.
int SaveJpegFile(const char* path, const BYTE* image, int width, int height);
// Pixel data top-down; colourFlag 1: red-green-blue bytes, 0: grey from each pixel's three
// bytes. 1 written, 0 failed.
int WriteJpegFile(const char* path, const BYTE* data, int width, int height, int colourFlag, int quality);
int WriteBmpFile(const char* path, const BYTE* image, int width, int height);
int WriteRawFile(const char* path, const BYTE* data, uint64_t length);
// Appends the image as a further page when the file is already a TIFF. 1 written, 0 failed.
int SaveTiffFile(const char* path, const BYTE* image, int width, int height);

constexpr int TIFF_WRITE_OK = 0;
constexpr int TIFF_WRITE_NOTOPENED = 2;
constexpr int TIFF_WRITE_FAILED = 3;  // a scanline or the final flush failed; nothing was saved
constexpr int TIFF_WRITE_UNSUPPORTED = -1;
// Only type 2 (RGB, 24 bits, no compression, no byte swap, no palette) is supported.
int WriteTiffFile(const char* path, int width, int height, int imageType, int bitsPerPixel, int compression,
                  int byteSwapMode, const RGBQUAD* palette, int paletteSize, const BYTE* data);

// Exchanges row i and row count-1-i for i below (count+1)/2.
void FlipRows(BYTE* data, uint64_t rowBytes, int rowCount);
// Exchanges the first and third byte of every pixel.
void SwapRedBlue(BYTE* data, int width, int height);
