// What the stand-in paints of a page: the body's background colour and its text.
#include "PagePainting.h"

#include <gtest/gtest.h>

using namespace standin;

namespace {

TEST(PagePainting, TheBodyChoosesTheBackground)
{
    EXPECT_EQ(RGB(0x12, 0x34, 0xAB), BodyBackground(*ParseDocument(L"<body bgcolor='#1234ab'>x</body>"), 0));
    EXPECT_EQ(RGB(0xFF, 0xEE, 0x00),
              BodyBackground(*ParseDocument(L"<body style='margin:0; Background-Color: #FFEE00'>x</body>"), 0));
    EXPECT_EQ(RGB(1, 2, 3), BodyBackground(*ParseDocument(L"<body bgcolor='red'>x</body>"), RGB(1, 2, 3)));
    EXPECT_EQ(RGB(1, 2, 3), BodyBackground(*ParseDocument(L"<body>x</body>"), RGB(1, 2, 3)));
}

TEST(PagePainting, TheTextIsDrawnOnTheBackground)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 60);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    RECT area = {0, 0, 200, 60};
    PaintPage(dc, area, *ParseDocument(L"<body bgcolor='#FFFFE0'><script>var x;</script><p>Hello pop-up</p></body>"));
    EXPECT_EQ(RGB(0xFF, 0xFF, 0xE0), GetPixel(dc, 2, 2));
    EXPECT_EQ(RGB(0xFF, 0xFF, 0xE0), GetPixel(dc, 199, 59));
    int dark = 0;
    for (int y = 8; y < 30; ++y)
        for (int x = 8; x < 120; ++x)
            dark += GetPixel(dc, x, y) == RGB(0, 0, 0) ? 1 : 0;
    EXPECT_GT(dark, 20);
    SelectObject(dc, previous);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

}  // namespace
