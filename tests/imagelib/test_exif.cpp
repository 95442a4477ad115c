// The EXIF reader: the record in both byte orders, the fallbacks between tags, comments, the
// resolution the JPEG codec takes from it, hostile directories, and the carry-over of a decoded
// file's EXIF into the next file written.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "imagelib/codecs/PxExifInfo.h"
#include "codectest.h"
#include "filebytes.h"
#include "tempdir.h"

namespace {

using Exif = PxImageJPG::PxExifInfo;

// Builds an EXIF APP1 segment: IFD0, an optional EXIF sub-directory, values past 4 bytes in a
// data area behind them. Each test states only the entries it cares about.
struct ExifBuilder {
    struct Entry {
        WORD tag, format;
        uint32_t count;
        Bytes value;  // already in the builder's byte order
    };
    bool motorola = false;
    std::vector<Entry> ifd0, sub;
    uint32_t nextIfd = 0;  // link after IFD0

    void put16(Bytes& b, uint32_t v) const {
        if (motorola) b.insert(b.end(), {BYTE(v >> 8), BYTE(v)});
        else b.insert(b.end(), {BYTE(v), BYTE(v >> 8)});
    }
    void put32(Bytes& b, uint32_t v) const {
        if (motorola) b.insert(b.end(), {BYTE(v >> 24), BYTE(v >> 16), BYTE(v >> 8), BYTE(v)});
        else b.insert(b.end(), {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)});
    }
    Entry Ascii(WORD tag, const std::string& s) const {
        Bytes v(s.begin(), s.end());
        v.push_back(0);
        return {tag, 2, uint32_t(v.size()), v};
    }
    Entry Short(WORD tag, uint32_t n) const {
        Bytes v;
        put16(v, n);
        return {tag, 3, 1, v};
    }
    Entry Long(WORD tag, uint32_t n) const {
        Bytes v;
        put32(v, n);
        return {tag, 4, 1, v};
    }
    Entry Rational(WORD tag, uint32_t num, uint32_t den, WORD format = 5) const {
        Bytes v;
        put32(v, num), put32(v, den);
        return {tag, format, 1, v};
    }
    Entry Undefined(WORD tag, const Bytes& bytes) const { return {tag, 7, uint32_t(bytes.size()), bytes}; }

    // The TIFF structure (from the byte-order mark on).
    Bytes Tiff() const {
        std::vector<Entry> first = ifd0;
        const bool hasSub = !sub.empty();
        if (hasSub) first.push_back(Long(0x8769, 0));
        const uint32_t ifd0Size = 2 + 12 * uint32_t(first.size()) + 4;
        const uint32_t subOff = 8 + ifd0Size;
        const uint32_t subSize = hasSub ? 2 + 12 * uint32_t(sub.size()) + 4 : 0;
        uint32_t dataOff = subOff + subSize;
        Bytes head, data;
        head.insert(head.end(), motorola ? std::initializer_list<BYTE>{'M', 'M'} : std::initializer_list<BYTE>{'I', 'I'});
        put16(head, 42);
        put32(head, 8);
        auto writeIfd = [&](const std::vector<Entry>& entries, uint32_t link) {
            put16(head, uint32_t(entries.size()));
            for (const Entry& e : entries) {
                put16(head, e.tag), put16(head, e.format), put32(head, e.count);
                if (e.tag == 0x8769 && hasSub) {
                    put32(head, subOff);
                } else if (e.value.size() > 4) {
                    put32(head, dataOff + uint32_t(data.size()));
                    data.insert(data.end(), e.value.begin(), e.value.end());
                } else {
                    Bytes v = e.value;
                    v.resize(4, 0);
                    head.insert(head.end(), v.begin(), v.end());
                }
            }
            put32(head, link);
        };
        writeIfd(first, nextIfd);
        if (hasSub) writeIfd(sub, 0);
        head.insert(head.end(), data.begin(), data.end());
        return head;
    }
    Bytes App1() const { return Segment(0xE1, Concat({'E', 'x', 'i', 'f', 0, 0}, Tiff())); }

    static Bytes Concat(Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }
    static Bytes Segment(BYTE marker, const Bytes& payload) {
        const size_t len = payload.size() + 2;
        Bytes s{0xFF, marker, BYTE(len >> 8), BYTE(len)};
        s.insert(s.end(), payload.begin(), payload.end());
        return s;
    }
};

// A real 16 x 8 JPEG from our own encoder, with the given segments put right after SOI.
Bytes JpegWith(const std::vector<Bytes>& segments) {
    PxImage img(16, 8, 24);
    img.Clear(0x80);
    const Bytes jpg = EncodeToBytes(img, PXIMAGE_FORMAT_JPG);
    if (jpg.empty()) return {};
    // Drop the JFIF APP0 that follows SOI, so that what the test puts in comes first.
    const size_t app0 = 4 + ((jpg[4] << 8) | jpg[5]);
    Bytes out{0xFF, 0xD8};
    for (const Bytes& s : segments) out.insert(out.end(), s.begin(), s.end());
    out.insert(out.end(), jpg.begin() + 2 + app0 - 2, jpg.end());
    return out;
}

struct Read {
    PxImageJPG jpg;
    bool exif = false;
    explicit Read(Bytes bytes) {
        PxMemFile f(bytes.data(), static_cast<unsigned long>(bytes.size()));
        exif = jpg.DecodeExif(&f);
    }
    const PxImageJPG::tag_ExifInfo& rec() const { return jpg.m_exifinfo; }
    std::string error() const { return jpg.m_exif ? jpg.m_exif->GetLastError() : "(no reader)"; }
};

ExifBuilder CameraExif(bool motorola) {
    ExifBuilder b;
    b.motorola = motorola;
    b.ifd0 = {b.Ascii(0x010F, "Quill"), b.Ascii(0x0110, "Scope 9000"), b.Short(0x0112, 6),
              b.Rational(0x011A, 100, 1), b.Rational(0x011B, 50, 1), b.Short(0x0128, 3)};
    b.sub = {b.Long(0x8827, 1),
             b.Ascii(0x9003, "2026:01:02 03:04:05"),
             b.Rational(0x9201, 8, 1, 10),
             b.Rational(0x9202, 4, 1),
             b.Short(0x9209, 0x19),
             b.Rational(0x920A, 35, 2),
             b.Undefined(0x9286, {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'l', 'i', 'v', 'e', ' ', ' '}),
             b.Long(0xA002, 3000),
             b.Long(0xA003, 2000),
             b.Rational(0xA20E, 1000, 1),
             b.Short(0xA210, 3)};
    return b;
}

}  // namespace

TEST(ExifRecord, BothByteOrdersGiveTheSameRecord) {
    for (bool motorola : {false, true}) {
        SCOPED_TRACE(motorola ? "MM" : "II");
        Read r(JpegWith({CameraExif(motorola).App1()}));
        ASSERT_TRUE(r.exif) << r.error();
        const auto& e = r.rec();
        EXPECT_STREQ(e.make, "Quill");
        EXPECT_STREQ(e.model, "Scope 9000");
        EXPECT_STREQ(e.dateTime, "2026:01:02 03:04:05");
        EXPECT_EQ(e.orientation, 6);
        EXPECT_EQ(e.isoSpeed, 200);                        // below 50: times 200
        EXPECT_FLOAT_EQ(e.exposureTime, 1.0f / 256);       // from the shutter speed
        EXPECT_FLOAT_EQ(e.fNumber, 4.0f);                  // from the aperture
        EXPECT_EQ(e.flashUsed, 1);
        EXPECT_FLOAT_EQ(e.focalLength, 17.5f);
        EXPECT_STREQ(e.comment, "live");
        EXPECT_FLOAT_EQ(e.xResolution, 100.0f);
        EXPECT_FLOAT_EQ(e.resolutionUnit, 0.3937008f);
        // 3000 pixels at 1000 per centimetre: a 30 mm sensor.
        EXPECT_NEAR(e.ccdWidth, 30.0f, 1e-3);
        EXPECT_EQ(e.width, 16);
        EXPECT_EQ(e.height, 8);
        EXPECT_EQ(e.isColor, 1);
        EXPECT_EQ(e.process, 0xC0);
    }
}

TEST(ExifRecord, ExposureTimeTagWinsOverShutterSpeedAndThumbnailIsFound) {
    ExifBuilder b;
    const Bytes thumb{0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
    b.ifd0 = {b.Long(0x0201, 0), b.Long(0x0202, uint32_t(thumb.size()))};
    b.sub = {b.Rational(0x829A, 1, 60), b.Rational(0x9201, 8, 1, 10)};
    // The thumbnail goes at the end of the TIFF data; its offset is known once the rest is built.
    const uint32_t at = uint32_t(b.Tiff().size());
    b.ifd0[0] = b.Long(0x0201, at);
    Bytes app1 = ExifBuilder::Segment(0xE1, ExifBuilder::Concat(ExifBuilder::Concat({'E', 'x', 'i', 'f', 0, 0}, b.Tiff()), thumb));
    Read r(JpegWith({app1}));
    ASSERT_TRUE(r.exif) << r.error();
    EXPECT_FLOAT_EQ(r.rec().exposureTime, 1.0f / 60);
    ASSERT_EQ(r.rec().thumbnailSize, thumb.size());
    ASSERT_NE(r.rec().thumbnail, nullptr);
    EXPECT_EQ(Bytes(r.rec().thumbnail, r.rec().thumbnail + thumb.size()), thumb);
}

TEST(ExifRecord, CommentSectionAndFrameHeaderWithoutExif) {
    const std::string text = "a\r\nb\x01" "c\td";
    Read r(JpegWith({ExifBuilder::Segment(0xFE, Bytes(text.begin(), text.end())),
                     ExifBuilder::Segment(0xFE, {'s', 'e', 'c', 'o', 'n', 'd'})}));
    EXPECT_FALSE(r.exif);
    EXPECT_STREQ(r.rec().comment, "a\nb?c\td");
    EXPECT_EQ(r.rec().width, 16);
    EXPECT_EQ(r.rec().isColor, 1);
}

TEST(ExifRecord, PaddingBeforeAMarkerIsLimited) {
    const Bytes com = ExifBuilder::Segment(0xFE, {'x'});
    for (int pad : {6, 7}) {
        SCOPED_TRACE(pad);
        Bytes jpg = JpegWith({com});
        // SOI, then the comment segment with pad 0xFF bytes in front of its marker byte.
        jpg.insert(jpg.begin() + 2, static_cast<size_t>(pad - 1), 0xFF);
        Read r(jpg);
        EXPECT_EQ(r.rec().comment[0] == 'x', pad == 6);
    }
}

TEST(ExifResolution, DecodedDpiComesFromExifRoundedOverJfif) {
    ExifBuilder b;
    b.ifd0 = {b.Rational(0x011A, 100, 1), b.Rational(0x011B, 72, 1), b.Short(0x0128, 3)};
    Bytes jpg = JpegWith({b.App1()});
    PxImage img;
    PxMemFile f(jpg.data(), static_cast<unsigned long>(jpg.size()));
    ASSERT_TRUE(img.Decode(&f, PXIMAGE_FORMAT_JPG)) << img.GetLastError();
    EXPECT_EQ(img.GetXDPI(), 254);  // 100 per centimetre, 253.99998 before rounding
    EXPECT_EQ(img.GetYDPI(), 183);

    ExifBuilder inch;
    inch.ifd0 = {inch.Rational(0x011A, 72, 1), inch.Rational(0x011B, 72, 1), inch.Short(0x0128, 2)};
    jpg = JpegWith({inch.App1()});
    PxMemFile g(jpg.data(), static_cast<unsigned long>(jpg.size()));
    ASSERT_TRUE(img.Decode(&g, PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(img.GetXDPI(), 72);
}

TEST(ExifHostile, BrokenDirectoriesAreRefusedWithinTheSection) {
    struct Case {
        const char* name;
        Bytes app1;
        const char* error;
    };
    std::vector<Case> cases;
    {
        ExifBuilder b;
        b.ifd0 = {b.Ascii(0x010F, "Quill")};
        Bytes tiff = b.Tiff();
        tiff[8] = 200;  // 200 entries in a directory of one
        cases.push_back({"count", ExifBuilder::Segment(0xE1, ExifBuilder::Concat({'E', 'x', 'i', 'f', 0, 0}, tiff)),
                         "Illegally sized directory"});
    }
    {
        ExifBuilder b;
        auto e = b.Ascii(0x010F, "Quill");
        b.ifd0 = {e};
        b.ifd0[0].count = 0x40000001;  // a byte count that wraps in 32 bits
        b.ifd0[0].format = 4;
        cases.push_back({"wrap", b.App1(), "Illegal pointer offset value in EXIF."});
    }
    {
        // A value that would end in the section's last two bytes beyond the TIFF data.
        ExifBuilder b;
        b.ifd0 = {b.Ascii(0x010F, "Quill")};
        Bytes tiff = b.Tiff();
        const uint32_t off = uint32_t(tiff.size()) + 2 - 6;
        tiff[8 + 2 + 8] = BYTE(off), tiff[8 + 2 + 9] = BYTE(off >> 8);
        cases.push_back({"tail", ExifBuilder::Segment(0xE1, ExifBuilder::Concat({'E', 'x', 'i', 'f', 0, 0}, tiff)),
                         "Illegal pointer offset value in EXIF."});
    }
    {
        ExifBuilder b;
        b.ifd0 = {b.Short(0x0112, 1)};
        b.nextIfd = 0x7FFFFFF0;
        cases.push_back({"next", b.App1(), "Illegal subdirectory link"});
    }
    {
        // A first-directory offset past the data: that directory cannot fit.
        ExifBuilder b;
        b.ifd0 = {b.Short(0x0112, 1)};
        Bytes tiff = b.Tiff();
        tiff[4] = 0xF0, tiff[5] = 0xFF, tiff[6] = 0xFF, tiff[7] = 0x7F;
        cases.push_back({"first", ExifBuilder::Segment(0xE1, ExifBuilder::Concat({'E', 'x', 'i', 'f', 0, 0}, tiff)),
                         "Illegally sized directory"});
    }
    {
        ExifBuilder b;
        b.ifd0 = {{0x0112, 13, 1, {1, 0, 0, 0}}};
        cases.push_back({"format", b.App1(), "Illegal format code in EXIF dir"});
    }
    cases.push_back({"short", ExifBuilder::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'}), "Incorrect Exif header"});
    cases.push_back({"align", ExifBuilder::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'X', 'X', 42, 0, 8, 0, 0, 0, 0, 0}),
                     "Invalid Exif alignment marker."});
    cases.push_back({"start", ExifBuilder::Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 43, 0, 8, 0, 0, 0, 0, 0}),
                     "Invalid Exif start (1)"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Read r(JpegWith({c.app1}));
        EXPECT_FALSE(r.exif);
        EXPECT_EQ(r.error(), c.error);
    }

    // A directory that links to itself ends; the entries read stay.
    ExifBuilder loop;
    loop.ifd0 = {loop.Ascii(0x010F, "Quill")};
    loop.nextIfd = 8;
    Read r(JpegWith({loop.App1()}));
    EXPECT_TRUE(r.exif);
    EXPECT_STREQ(r.rec().make, "Quill");

    // Forty sub-directory links back to the same directory are read once each, not forty to
    // the power of the nesting depth.
    ExifBuilder fan;
    fan.ifd0 = {fan.Ascii(0x010F, "Quill")};
    for (int i = 0; i < 40; i++) fan.ifd0.push_back(fan.Long(0x8769, 8));
    fan.nextIfd = 8;
    Read f(JpegWith({fan.App1()}));
    EXPECT_TRUE(f.exif);
    EXPECT_STREQ(f.rec().make, "Quill");

    // An orientation outside 1-8 is noted and stored as 0; the rest is read.
    ExifBuilder odd;
    odd.ifd0 = {odd.Short(0x0112, 9), odd.Ascii(0x010F, "Quill")};
    Read o(JpegWith({odd.App1()}));
    EXPECT_TRUE(o.exif);
    EXPECT_EQ(o.rec().orientation, 0);
    EXPECT_EQ(o.error(), "Undefined rotation value");

    // A section that claims more bytes than the file holds.
    Bytes cut = JpegWith({CameraExif(false).App1()});
    cut.resize(40);
    Read t(cut);
    EXPECT_FALSE(t.exif);
    EXPECT_EQ(t.error(), "Premature end of file?");
}

TEST(ExifCarryOver, SavingADecodedExifJpegKeepsItsExifAndCommentWithoutJfif) {
    const Bytes src = JpegWith({CameraExif(true).App1(), ExifBuilder::Segment(0xFE, {'n', 'o', 't', 'e'})});
    PxImageJPG jpg;
    PxMemFile in(const_cast<BYTE*>(src.data()), static_cast<unsigned long>(src.size()));
    ASSERT_TRUE(jpg.Decode(&in)) << jpg.GetLastError();
    ASSERT_TRUE(jpg.m_exifinfo.isExif);
    // A different picture size, so that the new frame header is visibly the one kept.
    jpg.Crop(0, 0, 8, 4);

    // The object that decoded the file writes it, into a stream that cannot be read back.
    TempDir dir;
    const std::string path = dir.File("carry.jpg");
    FILE* fp = std::fopen(path.c_str(), "wb");
    ASSERT_NE(fp, nullptr);
    const bool written = jpg.Encode(fp);
    std::fclose(fp);
    ASSERT_TRUE(written) << jpg.GetLastError();
    const Bytes out = ReadFile(path);

    ASSERT_GT(out.size(), 12u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
    EXPECT_EQ(std::memcmp(&out[6], "Exif", 4), 0);
    const size_t afterExif = 4 + ((out[4] << 8) | out[5]);
    EXPECT_EQ(out[afterExif + 1], 0xFE);  // the comment comes next
    EXPECT_EQ(std::search(out.begin(), out.end(), std::begin("JFIF"), std::end("JFIF") - 1), out.end());

    Read back(out);
    ASSERT_TRUE(back.exif) << back.error();
    EXPECT_STREQ(back.rec().make, "Quill");
    EXPECT_STREQ(back.rec().comment, "note");  // the comment section follows the EXIF one
    EXPECT_EQ(back.rec().width, 8);
    EXPECT_EQ(back.rec().height, 4);
    PxImage img;
    ASSERT_TRUE(img.Decode(const_cast<BYTE*>(out.data()), static_cast<DWORD>(out.size()), PXIMAGE_FORMAT_JPG));
    EXPECT_EQ(img.GetWidth(), 8u);
}
