#include <QSet>

#include <gtest/gtest.h>

#include <vector>

#include "resources/resourcetable.h"

namespace {

int ColourCount(const QImage& img) {
    QSet<QRgb> colours;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) colours.insert(img.pixel(x, y));
    return static_cast<int>(colours.size());
}

}  // namespace

TEST(ControlResourcesTest, EveryBitmapTheControlsLoadHasItsSizeAndIsReallyDrawn) {
    const struct {
        int id;
        int w, h;
    } bitmaps[] = {
        {188, 100, 17}, {189, 240, 17}, {190, 240, 17}, {191, 162, 17}, {192, 100, 17}, {193, 162, 17},
        {194, 100, 17}, {200, 110, 15}, {201, 110, 15}, {186, 23, 11},  {187, 23, 11},  {199, 15, 9},
        {202, 15, 9},   {233, 16, 16},  {234, 16, 16},  {154, 16, 16},  {155, 16, 16},  {156, 16, 16},
        {214, 32, 32},  {215, 32, 32},  {261, 34, 24},  {264, 38, 24},  {262, 57, 24},  {265, 57, 24},
        // The start page's "Video" tile and the tile of a file that cannot be shown.
        {195, 200, 180}, {210, 200, 180},
    };
    std::vector<QImage> images;
    for (const auto& b : bitmaps) {
        const QPixmap pm = ResourcePixmap(b.id);
        ASSERT_FALSE(pm.isNull()) << b.id;
        EXPECT_EQ(pm.size(), QSize(b.w, b.h)) << b.id;
        EXPECT_GE(ColourCount(pm.toImage()), 4) << b.id;
        images.push_back(pm.toImage().convertToFormat(QImage::Format_ARGB32));
    }
    // No two ids share one picture.
    for (size_t i = 0; i < images.size(); ++i)
        for (size_t j = i + 1; j < images.size(); ++j)
            EXPECT_NE(images[i], images[j]) << bitmaps[i].id << " " << bitmaps[j].id;
}

TEST(ControlResourcesTest, ThumbsCarryTheirKeyColourAtTheTopLeftAndInTheOtherCorners) {
    for (int id : {186, 187, 199, 202}) {
        const QImage img = ResourcePixmap(id).toImage();
        const QRgb key = img.pixel(0, 0);
        EXPECT_EQ(img.pixel(img.width() - 1, 0), key) << id;
        EXPECT_EQ(img.pixel(0, img.height() - 1), key) << id;
        // The body of the thumb is not keyed out.
        EXPECT_NE(img.pixel(img.width() / 2, img.height() / 2), key) << id;
        EXPECT_EQ(qAlpha(key), 255) << id;
    }
    // Channels are opaque.
    const QImage channel = ResourcePixmap(200).toImage();
    EXPECT_EQ(qAlpha(channel.pixel(0, 0)), 255);
}

TEST(ControlResourcesTest, CameraPanelTexts) {
    EXPECT_EQ(ResourceString(1248), QStringLiteral("Auto-Exposure"));
    EXPECT_EQ(ResourceString(1249), QStringLiteral("Main"));
    EXPECT_EQ(ResourceString(1250), QStringLiteral("Image Adjust"));
    EXPECT_EQ(ResourceString(1251), QStringLiteral("Parameter"));
    EXPECT_EQ(ResourceString(61447), QStringLiteral("Set"));
    EXPECT_EQ(ResourceString(61448), QStringLiteral("Update"));
    EXPECT_EQ(ResourceString(61449), QStringLiteral("Set time"));
    EXPECT_EQ(ResourceString(61450), QStringLiteral("Update time"));
}
