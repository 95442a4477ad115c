// The image object: creation limits, copies, transfers, ghosts and the protected helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "imagelib/pximage.h"

namespace {

// Opens the protected helpers that codecs and dispatch use.
class OpenImage : public PxImage {
public:
    using PxImage::Bitfield2RGB;
    using PxImage::CompareColors;
    using PxImage::CopyInfo;
    using PxImage::Ghost;
    using PxImage::PxImage;
    const PxImageInfo& Info() const { return info; }
    void SetBkgndColor(RGBQUAD c) { info.nBkgndColor = c; }
    // Lays an 8-bit image out with only n palette entries, as a quantized JPEG decode does.
    void ShortenPalette(DWORD n) {
        head.biClrUsed = n;
        std::memcpy(pDib, &head, sizeof(head));
        pBits = static_cast<BYTE*>(pDib) + head.biSize + n * sizeof(RGBQUAD);
    }
};

}  // namespace

TEST(ImageCreate, NormalisesDepthAndZeroFills) {
    PxImage img;
    ASSERT_NE(img.Create(10, 10, 3), nullptr);
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(img.GetNumColors(), 16u);
    EXPECT_EQ(img.GetEffWidth(), 8u);
    for (int i = 0; i < 16; i++) EXPECT_EQ(PxImage::RGBQUADtoRGB(img.GetPaletteColor(i)), 0u);

    ASSERT_NE(img.Create(10, 10, 9), nullptr);
    EXPECT_EQ(img.GetBpp(), 24);
    EXPECT_EQ(img.GetEffWidth(), 32u);
    EXPECT_EQ(img.GetSize(), 40u + 32u * 10u);
    const BYTE* bits = img.GetBits();
    for (DWORD i = 0; i < img.GetEffWidth() * img.GetHeight(); i++) ASSERT_EQ(bits[i], 0) << i;

    // The DIB carries its own copy of the header.
    BITMAPINFOHEADER h;
    std::memcpy(&h, img.GetDIB(), sizeof h);
    EXPECT_EQ(h.biWidth, 10);
    EXPECT_EQ(h.biBitCount, 24);
    EXPECT_EQ(h.biSizeImage, 320u);
}

TEST(ImageCreate, RefusesEmptyAndOversizedImages) {
    PxImage img(4, 4, 8);
    EXPECT_EQ(img.Create(0, 5, 8), nullptr);
    EXPECT_STREQ(img.GetLastError(), "PxImage::Create : width and height must be greater than zero");
    EXPECT_FALSE(img.IsValid());

    // Passes the pixel-count limit, but the row block would not fit the 32-bit size field.
    EXPECT_EQ(img.Create(40000, 40000, 24), nullptr);
    EXPECT_STREQ(img.GetLastError(), "PXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(img.Create(0xFFFFFFFFu, 0xFFFFFFFFu, 24), nullptr);
    EXPECT_STREQ(img.GetLastError(), "PXIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(img.Create(100000, 100000, 8), nullptr);
    EXPECT_STREQ(img.GetLastError(), "PXIMAGE_MAX_MEMORY exceeded");
    EXPECT_FALSE(img.IsValid());
}

TEST(ImageCreate, GeometryAndClear) {
    PxImage img(5, 3, 1);
    EXPECT_EQ(img.GetBits(0), img.GetBits());
    EXPECT_EQ(img.GetBits(2), img.GetBits() + 2 * img.GetEffWidth());
    EXPECT_EQ(img.GetBits(3), nullptr);
    EXPECT_TRUE(img.IsInside(4, 2));
    EXPECT_FALSE(img.IsInside(5, 0));
    EXPECT_FALSE(img.IsInside(0, -1));
    img.Clear(1);
    EXPECT_EQ(img.GetBits()[0], 255);
    EXPECT_EQ(img.GetBits(2)[3], 255);

    PxImage nib(3, 2, 4);
    nib.Clear(0x1F);
    EXPECT_EQ(nib.GetBits(1)[0], 0xFF);
    nib.Clear(0x12);
    EXPECT_EQ(nib.GetBits(1)[0], 0x22);

    // Destroy keeps the header readable.
    img.Destroy();
    EXPECT_FALSE(img.IsValid());
    EXPECT_EQ(img.GetWidth(), 5u);
    EXPECT_EQ(img.GetBits(), nullptr);
}

TEST(ImageInfo, DefaultsAndAccessors) {
    PxImage img(PXIMAGE_FORMAT_GIF);
    EXPECT_EQ(img.GetType(), 2u);
    EXPECT_EQ(img.GetJpegQuality(), 90);
    EXPECT_EQ(img.AlphaGetMax(), 255);
    EXPECT_EQ(img.GetTransIndex(), -1);
    EXPECT_TRUE(img.IsEnabled());
    EXPECT_EQ(img.GetXDPI(), 96);
    EXPECT_EQ(img.GetHeader().biXPelsPerMeter, 3780);

    img.SetXDPI(0);
    EXPECT_EQ(img.GetXDPI(), 96);
    EXPECT_EQ(img.GetHeader().biXPelsPerMeter, 3780);
    img.SetYDPI(300);
    EXPECT_EQ(img.GetHeader().biYPelsPerMeter, 11811);
    // A resolution read from a file may be absurd: the metre count stops at the field's limit.
    img.SetYDPI(INT32_MAX);
    EXPECT_EQ(img.GetYDPI(), INT32_MAX);
    EXPECT_EQ(img.GetHeader().biYPelsPerMeter, INT32_MAX);
    img.SetXDPI(54546085);
    EXPECT_EQ(img.GetHeader().biXPelsPerMeter, INT32_MAX);

    EXPECT_EQ(img.GetCodecOption(16), 0u);
    EXPECT_FALSE(img.SetCodecOption(7, 16));
    EXPECT_TRUE(img.SetCodecOption(2, 0));
    EXPECT_EQ(img.GetCodecOption(PXIMAGE_FORMAT_GIF), 2u);

    img.SetFlags(0xABCD1234);
    EXPECT_EQ(img.GetFlags(), 0x1234u);
    img.SetFlags(0xABCD1234, false);
    EXPECT_EQ(img.GetFlags(), 0xABCD1234u);

    img.SetTransColor(RGBQUAD{1, 2, 3, 4});
    EXPECT_EQ(img.GetTransColor().rgbReserved, 0);
    EXPECT_EQ(img.GetTransColor().rgbRed, 3);
}

TEST(ImageInfo, TransColorNeverReadsPastThePalette) {
    PxImage img(2, 2, 1);
    img.SetPaletteColor(1, 10, 20, 30);
    img.SetTransIndex(1);
    EXPECT_EQ(img.GetTransColor().rgbGreen, 20);
    img.SetTransColor(RGBQUAD{7, 7, 7, 0});
    img.SetTransIndex(200);  // from a file: outside a 2-entry palette
    EXPECT_EQ(img.GetTransColor().rgbBlue, 7);
}

TEST(ImageCopy, CopiesPixelsPlanesAndSettingsButNoMemory) {
    PxImage src(3, 2, 8);
    src.SetGrayPalette();
    src.SetPixelIndex(2, 1, 77);
    src.AlphaCreate();
    src.AlphaSet(1, 1, 9);
    src.SetJpegQuality(33);
    src.SetXDPI(200);

    PxImage copy(src);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.GetDIB(), src.GetDIB());
    EXPECT_NE(copy.GetBits(), src.GetBits());
    EXPECT_EQ(copy.GetPixelIndex(2, 1), 77);
    EXPECT_EQ(copy.AlphaGet(1, 1), 9);
    EXPECT_EQ(copy.GetJpegQuality(), 33);
    EXPECT_EQ(copy.GetHeader().biXPelsPerMeter, src.GetHeader().biXPelsPerMeter);

    // Changing the copy leaves the source alone.
    copy.SetPixelIndex(2, 1, 5);
    copy.AlphaSet(1, 1, 1);
    EXPECT_EQ(src.GetPixelIndex(2, 1), 77);
    EXPECT_EQ(src.AlphaGet(1, 1), 9);

    PxImage shape(src, false, true, false);
    EXPECT_EQ(shape.GetPixelIndex(2, 1), 0);
    EXPECT_EQ(shape.GetPaletteColor(200).rgbRed, 200);
    EXPECT_FALSE(shape.AlphaIsValid());

    PxImage assigned;
    assigned = src;
    assigned = assigned;
    EXPECT_EQ(assigned.GetPixelIndex(2, 1), 77);
}

TEST(ImageTransfer, MovesEverythingAndEmptiesTheSource) {
    PxImage a(4, 4, 24, PXIMAGE_FORMAT_PNG);
    a.AlphaCreate();
    void* dib = a.GetDIB();
    PxImage b(2, 2, 8);
    ASSERT_TRUE(b.Transfer(a));
    EXPECT_EQ(b.GetDIB(), dib);
    EXPECT_TRUE(b.AlphaIsValid());
    EXPECT_EQ(b.GetType(), 4u);
    EXPECT_FALSE(a.IsValid());
    EXPECT_FALSE(a.AlphaIsValid());
    EXPECT_EQ(a.GetType(), 0u);
    EXPECT_EQ(a.GetTransIndex(), 0);
    EXPECT_EQ(a.GetXDPI(), 0);
    EXPECT_TRUE(b.Transfer(b));
    EXPECT_TRUE(b.IsValid());
}

TEST(ImageGhost, SharesMemoryAndFreesNothing) {
    OpenImage body(3, 3, 24);
    body.SetPixelColor(1, 1, RGBQUAD{5, 6, 7, 0});
    {
        OpenImage ghost;
        ghost.Ghost(&body);
        EXPECT_EQ(ghost.GetDIB(), body.GetDIB());
        EXPECT_EQ(ghost.GetPixelColor(1, 1).rgbRed, 7);
        EXPECT_FALSE(ghost.Destroy());
        EXPECT_EQ(ghost.Create(2, 2, 8), nullptr);
        PxImage other;
        EXPECT_FALSE(other.Transfer(ghost));  // taking a ghost's memory would free it twice
        EXPECT_FALSE(other.IsValid());
    }
    EXPECT_TRUE(body.IsValid());
    EXPECT_EQ(body.GetPixelColor(1, 1).rgbGreen, 6);
}

TEST(ImageCopyInfo, OnlyIntoAnEmptyImage) {
    OpenImage src(PXIMAGE_FORMAT_JPG);
    src.SetFrame(3);
    src.SetJpegScale(2);
    OpenImage fresh;
    fresh.CopyInfo(src);
    EXPECT_EQ(fresh.GetFrame(), 3);
    EXPECT_EQ(fresh.GetJpegScale(), 2);
    OpenImage full(2, 2, 8);
    full.CopyInfo(src);
    EXPECT_EQ(full.GetFrame(), 0);
}

TEST(ImageFromArray, DepthsFlipAndAlphaRows) {
    // 2 x 2 BGRA, row 0 first in the array.
    BYTE px[16] = {1, 2, 3, 40, 4, 5, 6, 41, 7, 8, 9, 50, 10, 11, 12, 51};
    PxImage img;
    ASSERT_TRUE(img.CreateFromArray(px, 2, 2, 32, 8, true));
    EXPECT_EQ(img.GetBpp(), 24);
    // Array row 0 lands on image row 1, colour and alpha alike.
    EXPECT_EQ(img.GetPixelColor(0, 1, false).rgbBlue, 1);
    EXPECT_EQ(img.AlphaGet(0, 1), 40);
    EXPECT_EQ(img.GetPixelColor(1, 0, false).rgbRed, 12);
    EXPECT_EQ(img.AlphaGet(1, 0), 51);

    BYTE gray[4] = {9, 8, 7, 6};
    ASSERT_TRUE(img.CreateFromArray(gray, 2, 2, 8, 2, false));
    EXPECT_EQ(img.GetPixelIndex(1, 1), 6);
    EXPECT_TRUE(img.IsGrayScale());

    EXPECT_FALSE(img.CreateFromArray(gray, 2, 2, 16, 4, false));
    EXPECT_FALSE(img.CreateFromArray(nullptr, 2, 2, 8, 2, false));

    BYTE r0[2] = {1, 2};
    BYTE* rows[2] = {r0, nullptr};
    ASSERT_TRUE(img.CreateFromMatrix(rows, 2, 2, 8, 2, false));
    EXPECT_EQ(img.GetPixelIndex(1, 0), 2);
    EXPECT_EQ(img.GetPixelIndex(1, 1), 0);
}

TEST(ImageBitfields, SixteenBitMasksAndHostileMasks) {
    OpenImage img(2, 1, 24);
    // 5-6-5 white and 5-5-5 pure red, as little-endian words.
    BYTE src565[4] = {0xFF, 0xFF, 0x00, 0x00};
    img.Bitfield2RGB(src565, 0xF800, 0x07E0, 0x001F, 16);
    RGBQUAD c = img.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbRed, 0xF8);
    EXPECT_EQ(c.rgbGreen, 0xFC);
    EXPECT_EQ(c.rgbBlue, 0xF8);

    BYTE src555[4] = {0x00, 0x7C, 0xE0, 0x03};
    img.Bitfield2RGB(src555, 0x7C00, 0x03E0, 0x001F, 16);
    c = img.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbRed, 0xF8);
    EXPECT_EQ(c.rgbGreen, 0);
    c = img.GetPixelColor(1, 0);
    EXPECT_EQ(c.rgbGreen, 0xF8);
    EXPECT_EQ(c.rgbRed, 0);

    // Masks from a hostile file: zero, single bit, overlapping; nothing may shift out of range.
    img.Bitfield2RGB(src565, 0, 0x8000, 0xFFFF, 16);
    c = img.GetPixelColor(0, 0);
    EXPECT_EQ(c.rgbRed, 0);
    EXPECT_EQ(c.rgbGreen, 0x80);
    EXPECT_EQ(c.rgbBlue, 0xFF);

    BYTE src32[8] = {10, 20, 30, 0, 40, 50, 60, 0};
    img.Bitfield2RGB(src32, 0x00FF0000, 0x0000FF00, 0x000000FF, 32);
    c = img.GetPixelColor(1, 0);
    EXPECT_EQ(c.rgbBlue, 40);
    EXPECT_EQ(c.rgbRed, 60);
}

TEST(ImageBitfields, SixteenBitConvertsInPlace) {
    // The BMP reader puts the narrow rows at the start of the pixel buffer.
    OpenImage img(3, 2, 24);
    BYTE* bits = img.GetBits();
    // Source pixels 0..2 of row 0 then row 1, each row padded to 8 bytes.
    const BYTE src[16] = {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0, 0, 0x00, 0x7C, 0x1F, 0x00, 0xE0, 0x03, 0, 0};
    std::memcpy(bits, src, sizeof src);
    img.Bitfield2RGB(bits, 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 0xF8);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbGreen, 0xF8);
    EXPECT_EQ(img.GetPixelColor(2, 0).rgbRed, 0xF8);
    EXPECT_EQ(img.GetPixelColor(0, 1).rgbRed, 0xF8);
    EXPECT_EQ(img.GetPixelColor(1, 1).rgbBlue, 0xF8);
    EXPECT_EQ(img.GetPixelColor(2, 1).rgbGreen, 0xF8);
    EXPECT_EQ(img.GetPixelColor(2, 1).rgbBlue, 0);
}

TEST(ImageHelpers, CompareColorsByLuminance) {
    RGBQUAD dark{0, 0, 10, 0}, light{0, 200, 0, 0};
    EXPECT_LT(OpenImage::CompareColors(&dark, &light), 0);
    EXPECT_GT(OpenImage::CompareColors(&light, &dark), 0);
    EXPECT_EQ(OpenImage::CompareColors(&dark, &dark), 0);
}

TEST(ImageCopy, ShortPaletteSourceKeepsItsPixelsAndColours) {
    OpenImage src(7, 3, 8);
    src.ShortenPalette(5);
    for (BYTE i = 0; i < 5; i++) src.SetPaletteColor(i, BYTE(40 * i), BYTE(i), BYTE(255 - i));
    for (LONG y = 0; y < 3; y++)
        for (LONG x = 0; x < 7; x++) src.SetPixelIndex(x, y, static_cast<BYTE>((x + y) % 5));
    PxImage copy(src);
    ASSERT_TRUE(copy.IsValid());
    for (LONG y = 0; y < 3; y++) {
        for (LONG x = 0; x < 7; x++) {
            EXPECT_EQ(copy.GetPixelIndex(x, y), (x + y) % 5) << x << "," << y;
            const RGBQUAD a = copy.GetPixelColor(x, y), b = src.GetPixelColor(x, y);
            EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << x << "," << y;
        }
    }
}
