// Splits a JPEG stream into its marker sections, decodes the EXIF APP1 section, the first
// comment and the frame header into tag_ExifInfo, and writes a JPEG back from the kept sections.
#pragma once

#include "imagelib/codecs/PxImageJPG.h"

// Not a JPEG marker: the compressed data after the SOS header, to the end of the file.
constexpr int M_IMAGEDATA = 0x123;
constexpr int EXIF_READ_EXIF = 1;
constexpr int EXIF_READ_IMAGE = 2;
constexpr int MAX_SECTIONS = 20;
// More directories than a camera writes (IFD0, EXIF, interoperability, thumbnail, makers').
constexpr int MAX_EXIF_DIRS = 32;

class PxImageJPG::PxExifInfo {
public:
    struct Section_t {
        BYTE* Data;  // heap copy, starting with the two length bytes
        int Type;
        unsigned Size;
    };

    explicit PxExifInfo(tag_ExifInfo* info = nullptr);
    PxExifInfo(const PxExifInfo&) = delete;
    PxExifInfo& operator=(const PxExifInfo&) = delete;
    ~PxExifInfo();

    bool DecodeExif(PxFile* hFile, int nReadMode = EXIF_READ_EXIF);
    bool EncodeExif(PxFile* hFile);
    void DiscardAllButExif();

    const char* GetLastError() const { return m_szLastError; }
    int GetSectionCount() const { return SectionsRead; }
    const Section_t* GetSection(int i) const { return (i >= 0 && i < SectionsRead) ? &Sections[i] : nullptr; }

protected:
    bool process_EXIF(const BYTE* CharBuf, unsigned length);
    bool ProcessExifDir(const BYTE* DirStart, const BYTE* OffsetBase, unsigned ExifLength, tag_ExifInfo* pInfo,
                        const BYTE** LastExifRefdP, int NestingLevel = 0);
    void process_COM(const BYTE* Data, unsigned length);
    void process_SOFn(const BYTE* Data, unsigned length, int marker);
    Section_t* FindSection(int SectionType);
    double ConvertAnyFormat(const BYTE* ValuePtr, int Format);
    int Get16m(const void* Short);
    int Get16u(const void* Short);
    int32_t Get32s(const void* Long);
    uint32_t Get32u(const void* Long);

    tag_ExifInfo* m_exifinfo;
    char m_szLastError[256];
    int ExifImageWidth;
    int MotorolaOrder;
    Section_t Sections[MAX_SECTIONS];
    int SectionsRead;
    bool freeinfo;
    // Directories read by the current process_EXIF: links may point back or fan out to the
    // same directory, which is read once.
    uint64_t m_dirsRead[MAX_EXIF_DIRS];
    int m_dirsReadCount = 0;

private:
    void SetError(const char* text);
    void DropSection();
    bool HasComment() const;
};
