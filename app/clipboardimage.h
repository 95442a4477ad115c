// Images through the system clipboard. Our own copies travel as the packed DIB of the image
// library (and as an ordinary image for other programs); a paste takes our DIB, a BMP that
// another program offers (its file header stripped), or any image Qt can read.
#pragma once

#include "imagelib/pximage.h"

constexpr const char* kDibMimeType = "application/x-quillory-dib";

bool ClipboardHasImage();
// A new image from the clipboard, or nullptr (the caller owns it).
PxImage* ImageFromClipboard();
// false when the clipboard refuses the data.
bool CopyImageToClipboard(PxImage& image);
