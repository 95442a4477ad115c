// The JPEG-2000 family (format ids 11-15): JP2 files and JPC code streams through OpenJPEG, and
// PGX, PNM and Sun raster through their own readers and writers. Reading goes by the file's
// signature, so any of the ids reads any of the five formats; id 0 detects and reports the format
// it found, the others keep their own id.
#pragma once

#include "imagelib/codecs/PxJasperPicture.h"
#include "imagelib/pximage.h"

class PxJasperCodec : public PxImage {
public:
    explicit PxJasperCodec(DWORD imagetype = 0) : PxImage(imagetype), m_format(imagetype) {}

    using PxImage::Decode;
    using PxImage::Encode;
    bool Decode(PxFile* hFile, DWORD imagetype);
    bool Encode(PxFile* hFile, DWORD imagetype);

    // The format a file's first bytes announce (11-15), or 0.
    static DWORD Detect(const BYTE* head, size_t length);

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream, m_format); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream, m_format); }

private:
    void MakeImage(const PxJasperPicture& picture, DWORD imagetype);
    // A binary netpbm or a Sun raster file of 8-bit samples read into the image: false (the
    // stream where it was) for any other kind.
    bool DecodeRows8(PxFile* hFile, DWORD format, DWORD imagetype);
    void MakeImage8(DWORD width, DWORD height, int comps, DWORD imagetype);
    // Decodes a JP2 file or a code stream and makes the image of it.
    void DecodeOpenJpeg(PxFile* file, DWORD format, DWORD imagetype);
    void EncodeOpenJpeg(PxFile* file, DWORD format, PxImage& source);
    // One encoding at a compression ratio (1 or less: lossless).
    void EncodeOpenJpegAt(PxFile* file, DWORD format, PxImage& source, float ratio);

    // CopyInfo replaces the whole information block, type included: the id lives here.
    DWORD m_format;
};
