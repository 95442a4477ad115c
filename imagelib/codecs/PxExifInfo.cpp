#include "imagelib/codecs/PxExifInfo.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Bytes per component for the EXIF formats 0-12.
const int BytesPerFormat[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
constexpr int NUM_FORMATS = 12;

enum {
    FMT_BYTE = 1, FMT_STRING, FMT_USHORT, FMT_ULONG, FMT_URATIONAL, FMT_SBYTE, FMT_UNDEFINED,
    FMT_SSHORT, FMT_SLONG, FMT_SRATIONAL, FMT_SINGLE, FMT_DOUBLE
};

enum : int {
    TAG_MAKE = 0x010F, TAG_MODEL = 0x0110, TAG_ORIENTATION = 0x0112, TAG_XRESOLUTION = 0x011A,
    TAG_YRESOLUTION = 0x011B, TAG_RESOLUTIONUNIT = 0x0128, TAG_THUMBNAIL_OFFSET = 0x0201,
    TAG_THUMBNAIL_LENGTH = 0x0202, TAG_EXPOSURETIME = 0x829A, TAG_FNUMBER = 0x829D, TAG_EXIF_OFFSET = 0x8769,
    TAG_EXPOSURE_PROGRAM = 0x8822, TAG_ISO_EQUIVALENT = 0x8827, TAG_EXIF_VERSION = 0x9000,
    TAG_DATETIME_ORIGINAL = 0x9003, TAG_COMPRESSION_LEVEL = 0x9102, TAG_SHUTTERSPEED = 0x9201,
    TAG_APERTURE = 0x9202, TAG_BRIGHTNESS = 0x9203, TAG_EXPOSURE_BIAS = 0x9204, TAG_MAXAPERTURE = 0x9205,
    TAG_SUBJECT_DISTANCE = 0x9206, TAG_METERING_MODE = 0x9207, TAG_LIGHT_SOURCE = 0x9208, TAG_FLASH = 0x9209,
    TAG_FOCALLENGTH = 0x920A, TAG_USERCOMMENT = 0x9286, TAG_EXIF_IMAGEWIDTH = 0xA002,
    TAG_EXIF_IMAGELENGTH = 0xA003, TAG_INTEROP_OFFSET = 0xA005, TAG_FOCALPLANEXRES = 0xA20E,
    TAG_FOCALPLANEYRES = 0xA20F, TAG_FOCALPLANEUNITS = 0xA210
};

enum : int { M_SOS = 0xDA, M_EOI = 0xD9, M_COM = 0xFE, M_JFIF = 0xE0, M_EXIF = 0xE1 };

// Directory links deeper than this are a loop or garbage.
constexpr int MAX_DIR_NESTING = 8;

// Resolution unit as a divisor that turns per-unit into per-inch; false leaves the field alone.
bool ResolutionUnitDivisor(int unit, float* out) {
    switch (unit) {
    case 1: case 2: *out = 1.0f; return true;
    case 3: *out = 0.3937008f; return true;
    case 4: *out = 0.03937008f; return true;
    case 5: *out = 0.00003937008f; return true;
    default: return false;
    }
}

// Focal-plane unit in millimetres, so that the CCD width comes out in millimetres.
bool FocalPlaneUnitMillimetres(int unit, float* out) {
    switch (unit) {
    case 1: case 2: *out = 25.4f; return true;
    case 3: *out = 10.0f; return true;
    case 4: *out = 1.0f; return true;
    case 5: *out = 0.001f; return true;
    default: return false;
    }
}

// Copies at most limit characters of a value of count bytes, stopping at a NUL.
void CopyString(char* dst, size_t limit, const BYTE* src, uint64_t count) {
    size_t n = 0;
    while (n < limit && n < count && src[n] != 0) {
        dst[n] = static_cast<char>(src[n]);
        ++n;
    }
    dst[n] = 0;
}

}  // namespace

PxImageJPG::PxExifInfo::PxExifInfo(tag_ExifInfo* info) {
    if (info) {
        m_exifinfo = info;
        freeinfo = false;
    } else {
        m_exifinfo = new tag_ExifInfo;
        std::memset(m_exifinfo, 0, sizeof(tag_ExifInfo));
        freeinfo = true;
    }
    m_szLastError[0] = 0;
    ExifImageWidth = 0;
    MotorolaOrder = 0;
    SectionsRead = 0;
    std::memset(Sections, 0, sizeof(Sections));
    std::memset(m_dirsRead, 0, sizeof(m_dirsRead));
}

PxImageJPG::PxExifInfo::~PxExifInfo() {
    for (int i = 0; i < SectionsRead; i++) std::free(Sections[i].Data);
    if (freeinfo) delete m_exifinfo;
}

void PxImageJPG::PxExifInfo::SetError(const char* text) {
    std::snprintf(m_szLastError, sizeof(m_szLastError), "%s", text);
}

void PxImageJPG::PxExifInfo::DropSection() {
    std::free(Sections[SectionsRead].Data);
    Sections[SectionsRead].Data = nullptr;
}

bool PxImageJPG::PxExifInfo::HasComment() const {
    for (int i = 0; i < SectionsRead; i++)
        if (Sections[i].Type == M_COM) return true;
    return false;
}

bool PxImageJPG::PxExifInfo::DecodeExif(PxFile* hFile, int nReadMode) {
    if (!hFile) return false;
    if (hFile->GetC() != 0xFF || hFile->GetC() != 0xD8) return false;

    for (;;) {
        if (SectionsRead >= MAX_SECTIONS) {
            SetError("Too many sections in jpg file");
            return false;
        }
        LONG marker = 0;
        int a;
        for (a = 0; a < 7; a++) {
            marker = hFile->GetC();
            if (marker != 0xFF) break;
        }
        if (a >= 6 && marker == 0xFF) {
            std::printf("too many padding bytes\n");
            return false;
        }
        if (marker < 0) {
            SetError("Premature end of file?");
            return false;
        }

        LONG lh = hFile->GetC();
        LONG ll = hFile->GetC();
        if (lh < 0 || ll < 0) {
            SetError("Premature end of file?");
            return false;
        }
        unsigned itemlen = static_cast<unsigned>((lh << 8) | ll);
        if (itemlen < 2) {
            SetError("invalid marker");
            return false;
        }
        Section_t& sec = Sections[SectionsRead];
        sec.Size = itemlen;
        sec.Type = static_cast<int>(marker);
        sec.Data = static_cast<BYTE*>(std::malloc(itemlen));
        if (!sec.Data) {
            SetError("Could not allocate memory");
            return false;
        }
        sec.Data[0] = static_cast<BYTE>(lh);
        sec.Data[1] = static_cast<BYTE>(ll);
        if (hFile->Read(sec.Data + 2, 1, itemlen - 2) != itemlen - 2) {
            DropSection();
            SetError("Premature end of file?");
            return false;
        }

        switch (marker) {
        case M_SOS:
            SectionsRead++;
            if (nReadMode & EXIF_READ_IMAGE) {
                LONG cp = hFile->Tell();
                hFile->Seek(0, SEEK_END);
                LONG ep = hFile->Tell();
                hFile->Seek(cp, SEEK_SET);
                if (cp < 0 || ep < cp) {
                    SetError("could not read the rest of the image");
                    return false;
                }
                if (SectionsRead >= MAX_SECTIONS) {
                    SetError("Too many sections in jpg file");
                    return false;
                }
                size_t size = static_cast<size_t>(ep - cp);
                BYTE* data = static_cast<BYTE*>(std::malloc(size ? size : 1));
                if (!data) {
                    SetError("could not allocate data for entire image");
                    return false;
                }
                if (hFile->Read(data, 1, size) != size) {
                    std::free(data);
                    SetError("could not read the rest of the image");
                    return false;
                }
                Sections[SectionsRead].Data = data;
                Sections[SectionsRead].Size = static_cast<unsigned>(size);
                Sections[SectionsRead].Type = M_IMAGEDATA;
                SectionsRead++;
            }
            return true;
        case M_EOI:
            DropSection();
            std::printf("No image in jpeg!\n");
            return false;
        case M_COM:
            if ((nReadMode & EXIF_READ_EXIF) && !HasComment()) {
                process_COM(sec.Data, itemlen);
                SectionsRead++;
            } else {
                DropSection();
            }
            break;
        case M_JFIF:
            DropSection();
            break;
        case M_EXIF:
            if ((nReadMode & EXIF_READ_EXIF) && itemlen >= 6 && std::memcmp(sec.Data + 2, "Exif", 4) == 0) {
                m_exifinfo->isExif = process_EXIF(sec.Data + 2, itemlen);
                SectionsRead++;
            } else {
                DropSection();
            }
            break;
        case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC5: case 0xC6: case 0xC7:
        case 0xC9: case 0xCA: case 0xCB: case 0xCD: case 0xCE: case 0xCF:
            process_SOFn(sec.Data, itemlen, static_cast<int>(marker));
            SectionsRead++;
            break;
        default:
            SectionsRead++;
            break;
        }
    }
}

bool PxImageJPG::PxExifInfo::process_EXIF(const BYTE* CharBuf, unsigned length) {
    m_exifinfo->flashUsed = 0;
    m_exifinfo->comment[0] = 0;
    ExifImageWidth = 0;

    // CharBuf starts at "Exif"; the section's two length bytes come before it, so it holds
    // length - 2 bytes: 6 of EXIF header and 8 of TIFF header at least.
    if (length < 16) {
        SetError("Incorrect Exif header");
        return false;
    }
    static const BYTE ExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    if (std::memcmp(CharBuf, ExifHeader, 6) != 0) {
        SetError("Incorrect Exif header");
        return false;
    }
    if (std::memcmp(CharBuf + 6, "II", 2) == 0) {
        MotorolaOrder = 0;
    } else if (std::memcmp(CharBuf + 6, "MM", 2) == 0) {
        MotorolaOrder = 1;
    } else {
        SetError("Invalid Exif alignment marker.");
        return false;
    }
    if (Get16u(CharBuf + 8) != 0x2A) {
        SetError("Invalid Exif start (1)");
        return false;
    }
    uint32_t FirstOffset = Get32u(CharBuf + 10);
    m_dirsReadCount = 0;

    const BYTE* OffsetBase = CharBuf + 6;
    unsigned ExifLength = length - 8;
    const BYTE* LastExifRefd = CharBuf;

    if (!ProcessExifDir(CharBuf + 14, OffsetBase, ExifLength, m_exifinfo, &LastExifRefd)) return false;
    if (FirstOffset > 8) {
        if (FirstOffset >= ExifLength) {  // checked before the pointer is formed
            SetError("Illegally sized directory");
            return false;
        }
        if (!ProcessExifDir(OffsetBase + FirstOffset, OffsetBase, ExifLength, m_exifinfo, &LastExifRefd))
            return false;
    }

    if (m_exifinfo->focalPlaneXRes != 0) {
        m_exifinfo->ccdWidth = static_cast<float>(ExifImageWidth * m_exifinfo->focalPlaneUnits /
                                                  m_exifinfo->focalPlaneXRes);
    }
    return true;
}

bool PxImageJPG::PxExifInfo::ProcessExifDir(const BYTE* DirStart, const BYTE* OffsetBase, unsigned ExifLength,
                                             tag_ExifInfo* pInfo, const BYTE** LastExifRefdP, int NestingLevel) {
    if (NestingLevel > MAX_DIR_NESTING) {
        SetError("Illegal subdirectory link");
        return false;
    }
    // Everything is checked against the data in 64 bits before it is read.
    const uint64_t end = ExifLength;
    const uint64_t dirOff = static_cast<uint64_t>(DirStart - OffsetBase);
    if (DirStart < OffsetBase || dirOff + 2 > end) {
        SetError("Illegally sized directory");
        return false;
    }
    const int NumDirEntries = Get16u(DirStart);
    if (dirOff + 2 + 12ull * NumDirEntries > end) {
        SetError("Illegally sized directory");
        return false;
    }
    // A directory linked from several entries, or from itself, is read once: without this a
    // handful of self-links multiply into years of reading.
    for (int i = 0; i < m_dirsReadCount; i++)
        if (m_dirsRead[i] == dirOff) return true;
    if (m_dirsReadCount >= MAX_EXIF_DIRS) {
        SetError("Illegal subdirectory link");
        return false;
    }
    m_dirsRead[m_dirsReadCount++] = dirOff;

    for (int de = 0; de < NumDirEntries; de++) {
        const BYTE* DirEntry = DirStart + 2 + 12 * de;
        const int Tag = Get16u(DirEntry);
        const int Format = Get16u(DirEntry + 2);
        const uint32_t Components = Get32u(DirEntry + 4);

        if (Format > NUM_FORMATS) {
            SetError("Illegal format code in EXIF dir");
            return false;
        }
        const uint64_t ByteCount = static_cast<uint64_t>(Components) * BytesPerFormat[Format];

        const BYTE* ValuePtr;
        if (ByteCount > 4) {
            const uint32_t OffsetVal = Get32u(DirEntry + 8);
            if (static_cast<uint64_t>(OffsetVal) + ByteCount > end) {
                SetError("Illegal pointer offset value in EXIF.");
                return false;
            }
            ValuePtr = OffsetBase + OffsetVal;
        } else {
            ValuePtr = DirEntry + 8;
        }
        if (*LastExifRefdP < ValuePtr + ByteCount) *LastExifRefdP = ValuePtr + ByteCount;

        // A number needs at least one whole component; a zero count has no value.
        auto number = [&]() -> double {
            if (Format == 0 || ByteCount < static_cast<uint64_t>(BytesPerFormat[Format])) return 0.0;
            return ConvertAnyFormat(ValuePtr, Format);
        };
        auto toInt = [](double v) -> int32_t {
            if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
            return static_cast<int32_t>(v);
        };

        switch (Tag) {
        case TAG_MAKE: CopyString(pInfo->make, 31, ValuePtr, ByteCount); break;
        case TAG_MODEL: CopyString(pInfo->model, 39, ValuePtr, ByteCount); break;
        case TAG_EXIF_VERSION: CopyString(pInfo->version, 4, ValuePtr, ByteCount); break;
        case TAG_DATETIME_ORIGINAL: CopyString(pInfo->dateTime, 19, ValuePtr, ByteCount); break;
        case TAG_USERCOMMENT: {
            // Trailing spaces end the text; an "ASCII" prefix and its padding are skipped.
            uint64_t n = ByteCount;
            while (n > 0 && (ValuePtr[n - 1] == ' ' || ValuePtr[n - 1] == 0)) --n;
            if (n >= 5 && std::memcmp(ValuePtr, "ASCII", 5) == 0) {
                uint64_t a;
                for (a = 5; a < 10 && a < n; a++) {
                    if (ValuePtr[a] != 0 && ValuePtr[a] != ' ') break;
                }
                if (a < 10 && a < n) CopyString(pInfo->comment, 199, ValuePtr + a, n - a);
            } else {
                CopyString(pInfo->comment, 199, ValuePtr, n);
            }
            break;
        }
        case TAG_FNUMBER: pInfo->fNumber = static_cast<float>(number()); break;
        case TAG_APERTURE:
        case TAG_MAXAPERTURE:
            if (pInfo->fNumber == 0) pInfo->fNumber = static_cast<float>(std::exp2(number() / 2));
            break;
        case TAG_BRIGHTNESS: pInfo->brightness = static_cast<float>(number()); break;
        case TAG_FOCALLENGTH: pInfo->focalLength = static_cast<float>(number()); break;
        case TAG_SUBJECT_DISTANCE: pInfo->subjectDistance = static_cast<float>(number()); break;
        case TAG_EXPOSURETIME: pInfo->exposureTime = static_cast<float>(number()); break;
        case TAG_SHUTTERSPEED:
            if (pInfo->exposureTime == 0) pInfo->exposureTime = static_cast<float>(1.0 / std::exp2(number()));
            break;
        case TAG_FLASH: pInfo->flashUsed = (toInt(number()) & 7) ? 1 : 0; break;
        case TAG_ORIENTATION: {
            int32_t o = toInt(number());
            if (o < 1 || o > 8) {
                SetError("Undefined rotation value");
                o = 0;
            }
            pInfo->orientation = o;
            break;
        }
        case TAG_EXIF_IMAGELENGTH:
        case TAG_EXIF_IMAGEWIDTH: {
            int32_t a = toInt(number());
            if (ExifImageWidth < a) ExifImageWidth = a;
            break;
        }
        case TAG_FOCALPLANEXRES: pInfo->focalPlaneXRes = static_cast<float>(number()); break;
        case TAG_FOCALPLANEYRES: pInfo->focalPlaneYRes = static_cast<float>(number()); break;
        case TAG_RESOLUTIONUNIT: ResolutionUnitDivisor(toInt(number()), &pInfo->resolutionUnit); break;
        case TAG_FOCALPLANEUNITS: FocalPlaneUnitMillimetres(toInt(number()), &pInfo->focalPlaneUnits); break;
        case TAG_EXPOSURE_BIAS: pInfo->exposureBias = static_cast<float>(number()); break;
        case TAG_LIGHT_SOURCE: pInfo->lightSource = toInt(number()); break;
        case TAG_METERING_MODE: pInfo->meteringMode = toInt(number()); break;
        case TAG_EXPOSURE_PROGRAM: pInfo->exposureProgram = toInt(number()); break;
        case TAG_ISO_EQUIVALENT: {
            // Old cameras stored a multiplier; the product is clamped so a hostile value cannot
            // overflow.
            int64_t iso = toInt(number());
            if (iso < 50) iso *= 200;
            pInfo->isoSpeed = static_cast<int32_t>(iso < INT32_MIN ? INT32_MIN : iso);
            break;
        }
        case TAG_COMPRESSION_LEVEL: pInfo->compressionLevel = toInt(number()); break;
        case TAG_XRESOLUTION: pInfo->xResolution = static_cast<float>(number()); break;
        case TAG_YRESOLUTION: pInfo->yResolution = static_cast<float>(number()); break;
        default: break;
        }

        if (Tag == TAG_EXIF_OFFSET || Tag == TAG_INTEROP_OFFSET) {
            if (ByteCount >= 4) {
                const uint32_t sub = Get32u(ValuePtr);
                if (sub >= 9) {
                    if (sub >= end) {
                        SetError("Illegal subdirectory link");
                        return false;
                    }
                    ProcessExifDir(OffsetBase + sub, OffsetBase, ExifLength, pInfo, LastExifRefdP, NestingLevel + 1);
                }
            }
        }
    }

    // The link to the next directory follows the entries, when the data holds it.
    const uint64_t linkOff = dirOff + 2 + 12ull * NumDirEntries;
    if (linkOff + 4 <= end) {
        const uint32_t next = Get32u(DirStart + 2 + 12 * NumDirEntries);
        if (next) {
            if (next >= end) {
                SetError("Illegal subdirectory link");
                return false;
            }
            ProcessExifDir(OffsetBase + next, OffsetBase, ExifLength, pInfo, LastExifRefdP, NestingLevel + 1);
        }
    }

    // The thumbnail's tags may come in either order, so they are read after the loop.
    uint32_t thumbOffset = 0, thumbSize = 0;
    for (int de = 0; de < NumDirEntries; de++) {
        const BYTE* DirEntry = DirStart + 2 + 12 * de;
        const int Tag = Get16u(DirEntry);
        const int Format = Get16u(DirEntry + 2);
        if (Tag != TAG_THUMBNAIL_OFFSET && Tag != TAG_THUMBNAIL_LENGTH) continue;
        if (Format < 1 || Format > NUM_FORMATS) continue;
        const uint64_t ByteCount = static_cast<uint64_t>(Get32u(DirEntry + 4)) * BytesPerFormat[Format];
        if (ByteCount > 4 || ByteCount < static_cast<uint64_t>(BytesPerFormat[Format])) continue;
        const double v = ConvertAnyFormat(DirEntry + 8, Format);
        const uint32_t u = (v >= 0 && v < 4294967296.0) ? static_cast<uint32_t>(v) : 0;
        if (Tag == TAG_THUMBNAIL_OFFSET) thumbOffset = u;
        else thumbSize = u;
    }
    if (thumbSize && thumbOffset && static_cast<uint64_t>(thumbOffset) + thumbSize <= end) {
        pInfo->thumbnailSize = thumbSize;
        pInfo->thumbnail = const_cast<BYTE*>(OffsetBase) + thumbOffset;
    }
    return true;
}

void PxImageJPG::PxExifInfo::process_COM(const BYTE* Data, unsigned length) {
    char Comment[1000];
    int nch = 0;
    if (length > 1000) length = 1000;
    for (unsigned a = 2; a < length; a++) {
        int ch = Data[a];
        if (ch == '\r' && a + 1 < length && Data[a + 1] == '\n') continue;
        if ((ch >= 0x20 && ch < 0x7F) || ch == '\n' || ch == '\t') Comment[nch++] = static_cast<char>(ch);
        else Comment[nch++] = '?';
    }
    Comment[nch] = 0;
    std::memcpy(m_exifinfo->comment, Comment, static_cast<size_t>(nch) + 1);
}

void PxImageJPG::PxExifInfo::process_SOFn(const BYTE* Data, unsigned length, int marker) {
    if (length < 8) return;
    m_exifinfo->height = Get16m(Data + 3);
    m_exifinfo->width = Get16m(Data + 5);
    m_exifinfo->isColor = (Data[7] == 3) ? 1 : 0;
    m_exifinfo->process = marker;
}

PxImageJPG::PxExifInfo::Section_t* PxImageJPG::PxExifInfo::FindSection(int SectionType) {
    for (int a = 0; a < SectionsRead - 1; a++)
        if (Sections[a].Type == SectionType) return &Sections[a];
    return nullptr;
}

bool PxImageJPG::PxExifInfo::EncodeExif(PxFile* hFile) {
    if (!hFile) return false;
    if (FindSection(M_SOS) == nullptr) {
        SetError("Can't write exif : didn't read all");
        return false;
    }
    bool ok = hFile->PutC(0xFF) && hFile->PutC(0xD8);
    if (Sections[0].Type != M_EXIF && Sections[0].Type != M_JFIF) {
        static const BYTE JfifHead[18] = {0xFF, 0xE0, 0x00, 0x10, 0x4A, 0x46, 0x49, 0x46, 0x00,
                                          0x01, 0x01, 0x01, 0x01, 0x2C, 0x01, 0x2C, 0x00, 0x00};
        ok = ok && hFile->Write(JfifHead, 18, 1) == 1;
    }
    for (int a = 0; a < SectionsRead - 1; a++) {
        ok = ok && hFile->PutC(0xFF) && hFile->PutC(static_cast<unsigned char>(Sections[a].Type));
        ok = ok && hFile->Write(Sections[a].Data, Sections[a].Size, 1) == 1;
    }
    const Section_t& last = Sections[SectionsRead - 1];
    if (last.Size) ok = ok && hFile->Write(last.Data, last.Size, 1) == 1;
    return ok;
}

void PxImageJPG::PxExifInfo::DiscardAllButExif() {
    Section_t ExifKeeper = {};
    Section_t CommentKeeper = {};
    for (int a = 0; a < SectionsRead; a++) {
        if (Sections[a].Type == M_EXIF && ExifKeeper.Type == 0) {
            ExifKeeper = Sections[a];
        } else if (Sections[a].Type == M_COM && CommentKeeper.Type == 0) {
            CommentKeeper = Sections[a];
        } else {
            std::free(Sections[a].Data);
        }
        Sections[a] = Section_t{};
    }
    SectionsRead = 0;
    if (ExifKeeper.Type) Sections[SectionsRead++] = ExifKeeper;
    if (CommentKeeper.Type) Sections[SectionsRead++] = CommentKeeper;
}

double PxImageJPG::PxExifInfo::ConvertAnyFormat(const BYTE* ValuePtr, int Format) {
    switch (Format) {
    case FMT_SBYTE: return static_cast<signed char>(*ValuePtr);
    case FMT_BYTE: return *ValuePtr;
    case FMT_USHORT: return Get16u(ValuePtr);
    case FMT_ULONG: return Get32u(ValuePtr);
    case FMT_URATIONAL:
    case FMT_SRATIONAL: {
        const int32_t Num = Get32s(ValuePtr);
        const int32_t Den = Get32s(ValuePtr + 4);
        return Den == 0 ? 0.0 : static_cast<double>(Num) / Den;
    }
    case FMT_SSHORT: return static_cast<int16_t>(Get16u(ValuePtr));
    case FMT_SLONG: return Get32s(ValuePtr);
    case FMT_SINGLE: {
        uint32_t u = Get32u(ValuePtr);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case FMT_DOUBLE: {
        uint64_t hi = Get32u(ValuePtr), lo = Get32u(ValuePtr + 4);
        uint64_t u = MotorolaOrder ? ((hi << 32) | lo) : ((lo << 32) | hi);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    default: return 0.0;
    }
}

int PxImageJPG::PxExifInfo::Get16m(const void* Short) {
    const BYTE* p = static_cast<const BYTE*>(Short);
    return (p[0] << 8) | p[1];
}

int PxImageJPG::PxExifInfo::Get16u(const void* Short) {
    const BYTE* p = static_cast<const BYTE*>(Short);
    return MotorolaOrder ? ((p[0] << 8) | p[1]) : ((p[1] << 8) | p[0]);
}

int32_t PxImageJPG::PxExifInfo::Get32s(const void* Long) { return static_cast<int32_t>(Get32u(Long)); }

uint32_t PxImageJPG::PxExifInfo::Get32u(const void* Long) {
    const BYTE* p = static_cast<const BYTE*>(Long);
    if (MotorolaOrder)
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | p[3];
    return (static_cast<uint32_t>(p[3]) << 24) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[1]) << 8) | p[0];
}
