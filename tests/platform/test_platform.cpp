// Platform value types: Windows widths, little-endian fields, rectangle conventions, debug output.
#include <gtest/gtest.h>

#include <string>

#include "platform/debugout.h"
#include "platform/le.h"
#include "platform/rectconv.h"
#include "platform/wintypes.h"

namespace {

// Has QRect's interface and inclusive right/bottom, without needing Qt here.
struct InclusiveRect {
    int x, y, w, h;
    InclusiveRect(int x_, int y_, int w_, int h_) : x(x_), y(y_), w(w_), h(h_) {}
    int left() const { return x; }
    int top() const { return y; }
    int width() const { return w; }
    int height() const { return h; }
    int right() const { return x + w - 1; }
    int bottom() const { return y + h - 1; }
};

std::string g_captured;
void Capture(const char* text) { g_captured += text; }

}  // namespace

TEST(WinTypes, WindowsWidthsAndColours) {
    static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(WORD) == 2 && sizeof(BOOL) == 4);
    static_assert(sizeof(LPARAM) == sizeof(void*) && sizeof(WPARAM) == sizeof(void*));
    constexpr COLORREF c = RGB(1, 2, 3);
    EXPECT_EQ(c, 0x030201u);
    EXPECT_EQ(GetRValue(c), 1);
    EXPECT_EQ(GetGValue(c), 2);
    EXPECT_EQ(GetBValue(c), 3);
    EXPECT_EQ(LOWORD(0x12345678u), 0x5678);
    EXPECT_EQ(HIWORD(0x12345678u), 0x1234);
}

TEST(LittleEndian, FieldsRoundTripInFileOrder) {
    uint8_t buf[4];
    le::put32(buf, 0x11223344u);
    EXPECT_EQ(buf[0], 0x44);
    EXPECT_EQ(buf[3], 0x11);
    EXPECT_EQ(le::get32(buf), 0x11223344u);
    le::put32(buf, 0xFFFFFFFEu);
    EXPECT_EQ(le::get32s(buf), -2);
    le::put16(buf, 0xBEEF);
    EXPECT_EQ(buf[0], 0xEF);
    EXPECT_EQ(le::get16(buf), 0xBEEF);
    EXPECT_EQ(le::get16s(buf), static_cast<int16_t>(0xBEEF));
    le::put32be(buf, 0x01020304u);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(le::get32be(buf), 0x01020304u);
    le::put16be(buf, 0x0A0B);
    EXPECT_EQ(le::get16be(buf), 0x0A0B);
}

TEST(Rects, ExclusiveEdgesAndConversions) {
    RECT r;
    SetRect(&r, 10, 20, 30, 50);
    EXPECT_TRUE(PtInRect(r, POINT{10, 20}));
    EXPECT_FALSE(PtInRect(r, POINT{30, 20}));
    EXPECT_FALSE(PtInRect(r, POINT{10, 50}));

    InclusiveRect q = RectToQRect<InclusiveRect>(r);
    EXPECT_EQ(q.width(), 20);
    EXPECT_EQ(q.right(), 29);
    EXPECT_EQ(q.bottom(), 49);
    RECT back = QRectToRect(q);
    EXPECT_EQ(back.right, 30);
    EXPECT_EQ(back.bottom, 50);

    RECT a{0, 0, 10, 10}, b{5, 5, 20, 20}, out;
    EXPECT_TRUE(IntersectRect(&out, a, b));
    EXPECT_EQ(out.left, 5);
    EXPECT_EQ(out.right, 10);
    RECT c{10, 0, 20, 10};  // touching edges do not overlap
    EXPECT_FALSE(IntersectRect(&out, a, c));
    EXPECT_TRUE(IsRectEmpty(out));

    RECT n{30, 40, 10, 20};
    NormalizeRect(&n);
    EXPECT_EQ(n.left, 10);
    EXPECT_EQ(n.bottom, 40);
    OffsetRect(&n, 1, -1);
    InflateRect(&n, 2, 2);
    EXPECT_EQ(n.left, 9);
    EXPECT_EQ(n.top, 17);
}

TEST(DebugOutput, GoesToTheSinkFormatted) {
    SetDebugOutputSink(Capture);
    g_captured.clear();
    OutputDebugStringA("one ");
    OutputDebugStringA(nullptr);
    DebugPrintf("%d-%s", 7, "x");
    SetDebugOutputSink(nullptr);
    EXPECT_EQ(g_captured, "one 7-x");
    // Overlong text is cut, not overrun.
    SetDebugOutputSink(Capture);
    g_captured.clear();
    DebugPrintf("%s", std::string(5000, 'a').c_str());
    SetDebugOutputSink(nullptr);
    EXPECT_EQ(g_captured.size(), 1023u);
}
