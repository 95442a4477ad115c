// JPEG files (format id 3) through libjpeg's classic decompress/compress interface, with the
// EXIF record of the decoded file and its carry-over into the next file this object writes.
#pragma once

#include "imagelib/pximage.h"

// Encode bits of the JPEG codec option.
constexpr DWORD JPG_ENC_BASELINE = 0x001;
constexpr DWORD JPG_ENC_ARITHMETIC = 0x002;
constexpr DWORD JPG_ENC_GRAYSCALE = 0x004;
constexpr DWORD JPG_ENC_OPTIMIZE = 0x008;
constexpr DWORD JPG_ENC_PROGRESSIVE = 0x010;
constexpr DWORD JPG_ENC_SMOOTHING = 0x040;
// Decode bits.
constexpr DWORD JPG_DEC_GRAYSCALE = 0x080;
constexpr DWORD JPG_DEC_QUANTIZE = 0x100;
constexpr DWORD JPG_DEC_DITHER = 0x200;
constexpr DWORD JPG_DEC_ONEPASS = 0x400;
constexpr DWORD JPG_DEC_NOSMOOTH = 0x800;

class PxImageJPG : public PxImage {
public:
    // The EXIF record. The application reads its fields directly, so the order and the types
    // are part of the interface.
    struct tag_ExifInfo {
        char version[5];
        char make[32];
        char model[40];
        char dateTime[20];
        int32_t height;
        int32_t width;
        int32_t orientation;
        int32_t isColor;
        int32_t process;
        int32_t flashUsed;
        float focalLength;
        float exposureTime;
        float fNumber;
        float subjectDistance;
        float ccdWidth;  // millimetres
        float exposureBias;
        int32_t lightSource;
        int32_t meteringMode;
        int32_t exposureProgram;
        int32_t isoSpeed;
        int32_t compressionLevel;
        float focalPlaneXRes;
        float focalPlaneYRes;
        float focalPlaneUnits;  // millimetres per focal-plane unit
        float xResolution;
        float yResolution;
        float resolutionUnit;  // divisor from per-unit to per-inch
        float brightness;
        char comment[1000];
        BYTE* thumbnail;
        uint32_t thumbnailSize;
        bool isExif;
    };

    class PxExifInfo;  // PxExifInfo.h

    PxImageJPG();
    PxImageJPG(const PxImageJPG& src);
    PxImageJPG& operator=(const PxImageJPG& src);
    ~PxImageJPG() override;

    bool Decode(PxFile* hFile);
    bool Decode(FILE* hFile);
    bool Encode(PxFile* hFile);
    bool Encode(FILE* hFile);
    bool DecodeExif(PxFile* hFile);
    bool DecodeExif(FILE* hFile);

    PxExifInfo* m_exif = nullptr;
    tag_ExifInfo m_exifinfo;
    int32_t m_nPredictor = 0;
    int32_t m_nPointTransform = 0;
    int32_t m_nSmoothing = 0;
    int32_t m_nQuality = 0;
    int32_t m_nDither = 0;

    // Format detection's test of a stream's first bytes: the start-of-image marker.
    static bool HasSignature(const BYTE* head, size_t count) { return count >= 2 && head[0] == 0xFF && head[1] == 0xD8; }

protected:
    bool CodecDecode(PxFile* stream) override { return Decode(stream); }
    bool CodecEncode(PxFile* stream) override { return Encode(stream); }

private:
    bool Compress(PxFile* hFile);
    void CopySettings(const PxImageJPG& src);
};
