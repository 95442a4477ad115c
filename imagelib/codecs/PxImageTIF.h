// TIFF files (format id 6) through libtiff over PxFile: one page at a time on reading,
// single and multi-page writing.
#pragma once

#include "imagelib/pximage.h"

struct tiff;
class PxMemFile;

class PxImageTIF : public PxImage {
public:
    PxImageTIF() : PxImage(PXIMAGE_FORMAT_TIF) {}
    PxImageTIF(const PxImageTIF& src);
    PxImageTIF& operator=(const PxImageTIF& src);
    ~PxImageTIF() override;

    bool Decode(PxFile* hFile);
    bool Decode(FILE* hFile);
    // Writes the image as one page; with bAppend the file stays open for further pages.
    bool Encode(PxFile* hFile, bool bAppend = false);
    bool Encode(FILE* hFile, bool bAppend = false);
    // Writes pagecount images as the pages of one file.
    bool Encode(PxFile* hFile, PxImage** pImages, int pagecount);
    bool Encode(FILE* hFile, PxImage** pImages, int pagecount);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream, false); }
    bool CodecEncodeMulti(PxFile* stream, PxImage** images, int count) override {
        return Encode(stream, images, count);
    }

    struct tiff* TIFFOpenEx(PxFile* hFile);
    void TIFFCloseEx(struct tiff* tif);
    void TileToStrip(BYTE* out, BYTE* in, uint32_t rows, uint32_t cols, int64_t outskew, int64_t inskew);
    bool EncodeBody(struct tiff* m_tif, bool multipage = false, int page = 0, int pagecount = 0);

    struct tiff* m_tif2 = nullptr;  // write handle kept open between pages
    bool m_multipage = false;
    int m_pages = 0;
    // Appended pages are built here and copied to m_pageTarget at m_pageStart after each page.
    PxMemFile* m_pageBuffer = nullptr;
    PxFile* m_pageTarget = nullptr;
    LONG m_pageStart = 0;

private:
    void CloseWriteHandle();
    // Turns the decoded picture upright for a TIFF orientation (1-8).
    void ApplyOrientation(uint16_t orientation);
    bool DecodeStrips(struct tiff* m_tif, int photometric, int bitspersample, int samplesperpixel,
                      uint32_t rowsperstrip);
    // 8-bit RGB(A) strips straight into the rows, as libtiff's RGBA reader would show them; large
    // files with many strips are read on the library's worker pool, one libtiff handle each.
    void DecodeRgbStrips(PxFile* hFile, struct tiff* m_tif, int samplesperpixel, int alphaMode,
                         uint32_t rowsperstrip);
};
